// "Help" and "Filmpje" per view: the information box with its text built
// from lines each ended by a carriage return, and the video address opened
// through the desktop.
#include "TrainerBench.h"
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

TEST(MainVideos, EachSingleStationOpensItsVideoAndTheOtherViewsNothing) {
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_Transportband->click();
  ASSERT_TRUE(main.CMD_Filmpje->isVisible());
  main.CMD_Filmpje->click();
  main.CMD_Stationhandling->click();
  main.CMD_Filmpje->click();
  main.CMD_StapelMagazijn->click();
  main.CMD_Filmpje->click();
  ASSERT_EQ(bench.openedUrls.size(), 3u);
  EXPECT_EQ(bench.openedUrls[0], std::string(*trainer::VideoFor(trainer::View::Transportband)));
  EXPECT_EQ(bench.openedUrls[1], std::string(*trainer::VideoFor(trainer::View::Stationhandling)));
  EXPECT_EQ(bench.openedUrls[2], std::string(*trainer::VideoFor(trainer::View::StapelMagazijn)));
  EXPECT_NE(bench.openedUrls[1].find("22"), std::string::npos);  // starts 22 seconds in

  // The button is hidden in these views; a click reaching the handler anyway opens nothing.
  main.CMD_TransHandling->click();
  EXPECT_FALSE(main.CMD_Filmpje->isVisible());
  main.CMD_Filmpje_Click();
  main.CMD_Interfacing->click();
  main.CMD_Filmpje_Click();
  EXPECT_EQ(bench.openedUrls.size(), 3u);
}

}  // namespace
}  // namespace brimlink::trainertest
