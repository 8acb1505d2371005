// "Help" and "Filmpje" per view: the information box with its text built
// from lines each ended by a carriage return, and the station's film window
// (or a configured video address opened through the desktop).
#include <QCoreApplication>
#include <QPointer>
#include <algorithm>

#include "TrainerBench.h"
#include "tools/station_view/StationFilm.h"
#include "trainer/presentation/HelpAndVideos.h"

namespace brimlink::trainertest {
namespace {

TEST(MainHelp, EachViewShowsItsTextAndTheCombinedViewNothing) {
  TrainerBench bench;
  Main& main = bench.Open();
  struct Case {
    QPushButton* button;
    std::string title;
  };
  for (const Case& c : {Case{main.CMD_StapelMagazijn, "Stapelmagazijn"}, Case{main.CMD_Transportband, "Transportband"},
                        Case{main.CMD_Stationhandling, "Station handling"}, Case{main.CMD_Interfacing, "Brimlink mini"}}) {
    c.button->click();
    bench.informations.clear();
    main.CMD_Help->click();
    ASSERT_EQ(bench.informations.size(), 1u) << c.title;
    const auto& [title, text] = bench.informations.front();
    EXPECT_EQ(title, c.title);
    EXPECT_EQ(text.back(), '\r') << title;
    EXPECT_EQ(text.find('\n'), std::string::npos) << title;
  }
  main.CMD_TransHandling->click();
  bench.informations.clear();
  main.CMD_Help->click();
  EXPECT_TRUE(bench.informations.empty());
  EXPECT_TRUE(bench.messages.empty());
}

TEST(MainHelp, TheInterfaceTextKeepsItsSpellingAndBlankLines) {
  const auto help = trainer::HelpFor(trainer::View::Interfacing);
  ASSERT_TRUE(help);
  EXPECT_NE(help->text.find("\r- Staton Handling.\r\rLees in je boek wat je moet doen.\r"), std::string::npos);
  EXPECT_EQ(help->text.rfind("Op het scherm staat de Brimlink Mini interface van Kavro.\r\r", 0), 0u);
  const auto stack = trainer::HelpFor(trainer::View::StapelMagazijn);
  ASSERT_TRUE(stack);
  EXPECT_EQ(stack->text,
            "Op het scherm staat het stapelmagazijn.\r\rHet stapelmagazijn heeft als doel...\r\r"
            "- een deksel uit magazijn schuiven.\r- doorschuiven tot het op het onderste deel van het bakje "
            "ligt.\r- het deksel 10 seconden aandrukken.\r");
}

TEST(MainVideos, EachSingleStationPlaysItsFilmOrOpensItsVideoAndTheOtherViewsNothing) {
  TrainerBench bench;
  Main& main = bench.Open();
  struct Case {
    QPushButton* button;
    trainer::View view;
    QString title;
  };
  size_t urls = 0;
  for (const Case& c : {Case{main.CMD_Transportband, trainer::View::Transportband, "Filmpje Transportband"},
                        Case{main.CMD_Stationhandling, trainer::View::Stationhandling, "Filmpje Station handling"},
                        Case{main.CMD_StapelMagazijn, trainer::View::StapelMagazijn, "Filmpje Stapel magazijn"}}) {
    c.button->click();
    ASSERT_TRUE(main.CMD_Filmpje->isVisible());
    main.CMD_Filmpje->click();
    if (const auto url = trainer::VideoFor(c.view)) {  // a build with a real address
      ASSERT_EQ(bench.openedUrls.size(), ++urls);
      EXPECT_EQ(bench.openedUrls.back(), std::string(*url));
      continue;
    }
    EXPECT_EQ(bench.openedUrls.size(), urls) << c.title.toStdString();
    const QList<stationview::StationFilm*> films = main.findChildren<stationview::StationFilm*>();
    const auto film = std::find_if(films.begin(), films.end(),
                                   [&](stationview::StationFilm* f) { return f->windowTitle() == c.title; });
    ASSERT_NE(film, films.end()) << c.title.toStdString();
    EXPECT_TRUE((*film)->isVisible());
    EXPECT_TRUE((*film)->isWindow());
    EXPECT_TRUE((*film)->Running());
    // Clicking again raises the same window rather than opening a second.
    main.CMD_Filmpje->click();
    EXPECT_EQ(main.findChildren<stationview::StationFilm*>().size(), films.size());
  }

  // The button is hidden in these views; a click reaching the handler anyway opens nothing.
  const qsizetype films = main.findChildren<stationview::StationFilm*>().size();
  main.CMD_TransHandling->click();
  EXPECT_FALSE(main.CMD_Filmpje->isVisible());
  main.CMD_Filmpje_Click();
  main.CMD_Interfacing->click();
  main.CMD_Filmpje_Click();
  EXPECT_EQ(bench.openedUrls.size(), urls);
  EXPECT_EQ(main.findChildren<stationview::StationFilm*>().size(), films);
}

TEST(MainVideos, AClosedFilmIsGoneAndTheNextClickStartsItAgain) {
  TrainerBench bench;
  Main& main = bench.Open();
  if (trainer::VideoFor(trainer::View::StapelMagazijn)) GTEST_SKIP() << "built with a video address";
  main.CMD_StapelMagazijn->click();
  QPointer<stationview::StationFilm> first = &trainer::ShowStationFilm(main, trainer::View::StapelMagazijn, "a");
  first->Play(station::Millis(2000));
  first->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  main.CMD_Filmpje->click();
  const auto films = main.findChildren<stationview::StationFilm*>();
  ASSERT_EQ(films.size(), 1);
  EXPECT_EQ(films.front()->Cycle().Rounds(), 0);
  EXPECT_EQ(films.front()->Model().Outputs(), 0);
}

TEST(MainVideos, AddressesOnHostsReservedForExamplesAreNeverOpened) {
  struct Case {
    std::string_view address;
    bool placeholder;
  };
  for (const Case& c : {
           Case{"https://video.example.org/sorvik/transportband.mp4", true},
           Case{"https://example.com/film", true},
           Case{"http://EXAMPLE.NET./x", true},
           Case{"video.example.org/sorvik", true},  // no scheme
           Case{"https://films.school.example/a.mp4", true},
           Case{"https://media.invalid/", true},
           Case{"https://stream.test:8080/?t=22", true},
           Case{"https://user@example.org/", true},
           Case{"https://video.school.nl/sorvik.mp4", false},
           Case{"https://notexample.org/x", false},     // only the name and its subdomains
           Case{"https://example.org.school.nl/", false},
           Case{"https://testing.school.nl/x", false},
           Case{"file:///srv/films/band.mp4", false},
       }) {
    EXPECT_EQ(trainer::IsPlaceholderAddress(c.address), c.placeholder) << c.address;
  }
  for (const trainer::View view : {trainer::View::Transportband, trainer::View::Stationhandling,
                                   trainer::View::StapelMagazijn}) {
    const auto address = trainer::VideoFor(view);
    if (address) EXPECT_FALSE(address->empty() || trainer::IsPlaceholderAddress(*address));
  }
  EXPECT_FALSE(trainer::VideoFor(trainer::View::TransHandling));
  EXPECT_FALSE(trainer::VideoFor(trainer::View::Interfacing));
}

}  // namespace
}  // namespace brimlink::trainertest
