// The full-screen view of a station's numbered photograph and the
// description window "Info" on top of it. The photographs are drawn by the
// tests into a folder of their own, each in a size of its own, so that the
// picture shown can be told apart by its size.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cmath>
#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "trainer/core/DataFolders.h"
#include "trainer/core/TrainerBench.h"
#include "trainer/presentation/Beschrijving.h"
#include "trainer/presentation/FullScreen.h"

namespace brimlink::trainer {
namespace {

using trainertest::TrainerBench;

// ---- the fitting rule ----------------------------------------------------------------------

TEST(FitPhotograph, APhotographAsWideAsTheScreenAndLowerIsFittedToTheWidth) {
  EXPECT_EQ(FitPhotograph(1920, 800, 1920, 1080), (PhotoRect{0, 140, 1920, 800}));
  // Scaled up as well as down.
  EXPECT_EQ(FitPhotograph(960, 400, 1920, 1080), (PhotoRect{0, 140, 1920, 800}));
}

TEST(FitPhotograph, EqualFreeRoomOnBothAxesIsFittedToTheHeight) {
  // 100 pixels free on both axes.
  EXPECT_EQ(FitPhotograph(900, 980, 1000, 1080), (PhotoRect{4, 0, 992, 1080}));
  // The screen's own shape: the height, and the width comes out exact.
  EXPECT_EQ(FitPhotograph(960, 540, 1920, 1080), (PhotoRect{0, 0, 1920, 1080}));
  EXPECT_EQ(FitPhotograph(1920, 1080, 1920, 1080), (PhotoRect{0, 0, 1920, 1080}));
}

TEST(FitPhotograph, EqualFreeRoomWithTheWidthTheLimitStaysOnTheScreen) {
  // Comparing free room would fit this to the height and make it 2005 wide.
  const PhotoRect place = FitPhotograph(1820, 980, 1920, 1080);
  EXPECT_EQ(place, (PhotoRect{0, 23, 1920, 1034}));
}

TEST(FitPhotograph, APortraitPhotographIsCentredBetweenTopAndBottom) {
  EXPECT_EQ(FitPhotograph(500, 1000, 1920, 1080), (PhotoRect{690, 0, 540, 1080}));
}

TEST(FitPhotograph, APhotographWithoutSizeFillsTheScreen) {
  EXPECT_EQ(FitPhotograph(0, 0, 800, 600), (PhotoRect{0, 0, 800, 600}));
  EXPECT_EQ(FitPhotograph(640, 0, 800, 600), (PhotoRect{0, 0, 800, 600}));
}

TEST(FitPhotograph, EveryPhotographStaysWholeOnTheScreenTouchingTwoOppositeEdges) {
  std::mt19937 random(6);
  std::uniform_int_distribution<int> photo(1, 5000);
  std::uniform_int_distribution<int> screen(200, 4000);
  for (int run = 0; run < 5000; ++run) {
    const int W = photo(random), H = photo(random), SW = screen(random), SH = screen(random);
    SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H) + " on " + std::to_string(SW) + "x" + std::to_string(SH));
    const PhotoRect p = FitPhotograph(W, H, SW, SH);
    ASSERT_GE(p.left, 0);
    ASSERT_GE(p.top, 0);
    ASSERT_LE(p.left + p.width, SW);
    ASSERT_LE(p.top + p.height, SH);
    const bool spansWidth = p.left == 0 && p.width == SW;
    const bool spansHeight = p.top == 0 && p.height == SH;
    ASSERT_TRUE(spansWidth || spansHeight);
    // Centred on the other axis, to the pixel.
    ASSERT_LE(std::abs((SW - p.width) - 2 * p.left), 1);
    ASSERT_LE(std::abs((SH - p.height) - 2 * p.top), 1);
    // Proportions kept within the rounding of one pixel.
    const double scale = spansWidth ? double(SW) / W : double(SH) / H;
    ASSERT_LE(std::abs(p.width - W * scale), 0.5 + 1e-9);
    ASSERT_LE(std::abs(p.height - H * scale), 0.5 + 1e-9);
  }
}

// ---- the component tables ------------------------------------------------------------------

std::string Name(View view, int number) { return std::string(DescriptionOf(view, number).value().name); }
std::string Info(View view, int number) { return std::string(DescriptionOf(view, number).value().description); }

TEST(ComponentTables, StackMagazine) {
  EXPECT_EQ(Name(View::StapelMagazijn, 1), "Snelheidsregelventiel");
  EXPECT_EQ(Info(View::StapelMagazijn, 2), "Aandrukken van deksels");
  EXPECT_EQ(Name(View::StapelMagazijn, 5), "4/2 Magneetventiel, bi-stabiel");
  EXPECT_EQ(Name(View::StapelMagazijn, 8), "Magnetische eindschakelaar");
  EXPECT_EQ(Name(View::StapelMagazijn, 9), "3/2 stuurventiel, handbediend");
  EXPECT_EQ(Name(View::StapelMagazijn, 11), "Magazijn");
  EXPECT_EQ(Info(View::StapelMagazijn, 11), "Opslag van producten");
}

TEST(ComponentTables, ConveyorBelt) {
  EXPECT_EQ(Name(View::Transportband, 1), "Optische sensor.");
  EXPECT_EQ(Info(View::Transportband, 2), "Drijft de transportband aan (vooruit en achteruit)");
  EXPECT_EQ(Info(View::Transportband, 5), "Uitsorteren van producten maar de glijbaan.");
  EXPECT_EQ(Info(View::Transportband, 6), "Waarnemen van metalen producten");
  EXPECT_EQ(Name(View::Transportband, 8), "Kabelgoot.");
  EXPECT_EQ(Info(View::Transportband, 8), "Nette geleiding van elektrische bedrading.");
  for (int number : {9, 10, 11}) EXPECT_FALSE(DescriptionOf(View::Transportband, number)) << number;
}

TEST(ComponentTables, HandlingStation) {
  EXPECT_EQ(Name(View::Stationhandling, 1), "Magnetische eindschakalaar (Steker)");
  EXPECT_EQ(Name(View::Stationhandling, 8), "Magnetische eindschakalaar");
  EXPECT_EQ(Info(View::Stationhandling, 4), "Plaats voor het oppakken, wegleggen of monteren van producten ");
  EXPECT_EQ(Info(View::Stationhandling, 7), "Pneumatische aandrijving voor de beweging in x-richting");
  EXPECT_EQ(Name(View::Stationhandling, 10), "3/2-Stuurventiel, handbediend");
  EXPECT_EQ(Info(View::Stationhandling, 11), "Nette geleiding van de elektrische bedrading");
}

TEST(ComponentTables, TheLimitSwitchesShareOneDescription) {
  const std::string shared =
      "Geeft een signaal af, zodra de zuiger van de dubbelwerkende cilinder dichtbij de sensor komt";
  EXPECT_EQ(Info(View::StapelMagazijn, 8), shared);
  EXPECT_EQ(Info(View::Stationhandling, 1), shared);
  EXPECT_EQ(Info(View::Stationhandling, 8), shared);
}

TEST(ComponentTables, ThePanelReadsTheSameOnEveryStation) {
  for (auto [view, number] : {std::pair{View::StapelMagazijn, 4}, {View::Transportband, 4}, {View::Stationhandling, 5}}) {
    EXPECT_EQ(Name(view, number), "I/O aansluitpaneel");
    EXPECT_EQ(Info(view, number), "Elektrische aansluiting van sensoren en actuatoren");
  }
}

TEST(ComponentTables, NoNumbersOutsideTheSingleStationsOrOutsideOneToEleven) {
  EXPECT_FALSE(DescriptionOf(View::TransHandling, 1));
  EXPECT_FALSE(DescriptionOf(View::Interfacing, 1));
  EXPECT_FALSE(DescriptionOf(View::StapelMagazijn, 0));
  EXPECT_FALSE(DescriptionOf(View::StapelMagazijn, 12));
  EXPECT_EQ(CloseUpLiteral(View::TransHandling, 3), "");
  EXPECT_EQ(CloseUpLiteral(View::Stationhandling, 12), "");
  EXPECT_EQ(OverviewLiteral(View::Interfacing), "");
}

// Every name of every station is whole in its box, with the font the box
// really gets here: no scrolling either way, no word cut, and a size still
// legible. The longest names take the box's second line.
TEST(NameBox, EveryComponentNameIsWholeInItsBox) {
  Beschrijving window;
  window.show();
  QCoreApplication::processEvents();
  QTextEdit& box = *window.Text_Benaming;
  int wrapped = 0;
  for (View view : {View::StapelMagazijn, View::Transportband, View::Stationhandling}) {
    for (int number = 1; number <= Beschrijving::kNumbers; ++number) {
      const std::optional<ComponentDescription> description = DescriptionOf(view, number);
      if (!description) continue;
      const std::string name(description->name);
      SCOPED_TRACE(name);
      window.ShowDescription(description);
      QCoreApplication::processEvents();
      EXPECT_EQ(box.toPlainText().toStdString(), name);
      EXPECT_EQ(box.verticalScrollBar()->maximum(), 0);
      EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0);
      EXPECT_LE(box.document()->size().height(), box.viewport()->height());
      EXPECT_LE(box.document()->idealWidth(), box.viewport()->width());
      EXPECT_GE(box.font().pixelSize(), 12);  // 9 points
      const int lines = box.document()->firstBlock().layout()->lineCount();
      EXPECT_LE(lines, 2);
      // Lines break only where the name allows it: after a blank or a slash
      // ("wissel/stopper"), never inside a word.
      for (int line = 1; line < lines; ++line) {
        const int start = box.document()->firstBlock().layout()->lineAt(line).textStart();
        const QChar before = box.toPlainText().at(start - 1);
        EXPECT_TRUE(before == QLatin1Char(' ') || before == QLatin1Char('/')) << line;
      }
      if (lines == 2) ++wrapped;
    }
  }
  EXPECT_GE(wrapped, 3);
  // A fresh opening starts at the design size again.
  window.ClearChoice();
  EXPECT_EQ(box.font().pixelSize(), 16);
  EXPECT_TRUE(box.toPlainText().isEmpty());
}

constexpr std::array kSingleStationViews{View::StapelMagazijn, View::Transportband, View::Stationhandling};

// A name too long for two lines at the design size gets a smaller font that
// shows it whole; below 9 points it would no longer be legible, so a name
// longer still stays at 9 points.
TEST(NameBox, ANameTooLongForTwoLinesGetsASmallerFontDownToNinePoints) {
  Beschrijving window;
  window.show();
  QCoreApplication::processEvents();
  QTextEdit& box = *window.Text_Benaming;
  window.ShowDescription(ComponentDescription{"Dubbelwerkende cilinder met geleiding en magnetische eindschakelaar", ""});
  QCoreApplication::processEvents();
  EXPECT_LT(box.font().pixelSize(), 16);
  EXPECT_GE(box.font().pixelSize(), 12);
  EXPECT_EQ(box.verticalScrollBar()->maximum(), 0);
  EXPECT_LE(box.document()->size().height(), box.viewport()->height());

  window.ShowDescription(ComponentDescription{
      "Dubbelwerkende cilinder met geleiding, magnetische eindschakelaar, snelheidsregelventiel en kabelgoot", ""});
  EXPECT_EQ(box.font().pixelSize(), 12);
  // A short name afterwards is back at the design size.
  window.ShowDescription(DescriptionOf(View::StapelMagazijn, 10));
  EXPECT_EQ(box.font().pixelSize(), 16);
}

// The areas cover every badge the committed overview photographs show: all
// their badge-yellow pixels lie in one of them.
TEST(DescriptionPlace, TheComponentAreasCoverEveryBadgeOfTheOverviews) {
  for (View view : kSingleStationViews) {
    SCOPED_TRACE(OverviewLiteral(view));
    const std::string path = ResolveDataFile(OverviewLiteral(view));
    ASSERT_FALSE(path.empty());
    const QImage photo(QString::fromStdString(path));
    ASSERT_FALSE(photo.isNull());
    const std::vector<QRect> areas = ComponentAreasOnScreen(view, photo.rect());
    EXPECT_EQ(areas.size(), view == View::Transportband ? 16u : 22u);
    int yellow = 0;
    int outside = 0;
    for (int y = 0; y < photo.height(); ++y) {
      for (int x = 0; x < photo.width(); ++x) {
        const QColor c = photo.pixelColor(x, y);
        if (c.red() < 220 || c.green() < 170 || c.green() > 215 || c.blue() > 70) continue;
        ++yellow;
        if (std::none_of(areas.begin(), areas.end(), [&](const QRect& area) { return area.contains(x, y); }))
          ++outside;
      }
    }
    EXPECT_GT(yellow, static_cast<int>(areas.size()) * 100);
    EXPECT_EQ(outside, 0);
  }
}

// On common screens the window, frame included, stays on the screen and
// covers no numbered component or badge of any overview. (At 1024 x 768 the
// photograph fills the screen and the stack magazine and the handling
// station leave no gap large enough; 1280 x 800 none on the handling
// station.)
TEST(DescriptionPlace, TheWindowCoversNoNumberedComponentOnCommonScreens) {
  const QSize window(226, 260);
  const QMargins frame(4, 28, 4, 4);
  for (const QSize screen : {QSize(1152, 864), QSize(1280, 1024), QSize(1366, 768), QSize(1400, 1050),
                             QSize(1440, 900), QSize(1600, 900), QSize(1680, 1050), QSize(1920, 1080),
                             QSize(1920, 1200), QSize(2560, 1440)}) {
    for (View view : kSingleStationViews) {
      SCOPED_TRACE(testing::Message() << screen.width() << "x" << screen.height() << " " << OverviewLiteral(view));
      const QRect area(QPoint(100, 50), screen);  // a second screen's origin
      const PhotoRect fit = FitPhotograph(1024, 768, screen.width(), screen.height());
      const QRect photo = QRect(fit.left, fit.top, fit.width, fit.height).translated(area.topLeft());
      const QPoint place = DescriptionPlace(view, photo, area, window, frame);
      const QRect outer(place, window.grownBy(frame));
      EXPECT_TRUE(area.contains(outer)) << outer.x() << "," << outer.y();
      for (const QRect& component : ComponentAreasOnScreen(view, photo))
        EXPECT_FALSE(outer.intersects(component)) << component.x() << "," << component.y();
    }
  }
}

// Where every place covers something (the stack magazine filling a
// 1024 x 768 screen), the one that covers least: no place of a coarser grid
// covers less.
TEST(DescriptionPlace, WithoutAFreePlaceTheWindowCoversAsLittleAsItCan) {
  const QRect screen(0, 0, 1024, 768);
  const QSize window(226, 260);
  const std::vector<QRect> components = ComponentAreasOnScreen(View::StapelMagazijn, screen);
  const auto covered = [&](const QRect& place) {
    long long area = 0;
    for (const QRect& component : components) {
      const QRect both = place.intersected(component);
      if (!both.isEmpty()) area += static_cast<long long>(both.width()) * both.height();
    }
    return area;
  };
  const QRect chosen(DescriptionPlace(View::StapelMagazijn, screen, screen, window, QMargins()), window);
  EXPECT_TRUE(screen.contains(chosen));
  EXPECT_GT(covered(chosen), 0);
  for (int y = 0; y + window.height() <= screen.height(); y += 16)
    for (int x = 0; x + window.width() <= screen.width(); x += 16)
      EXPECT_LE(covered(chosen), covered(QRect(QPoint(x, y), window))) << x << "," << y;
  EXPECT_TRUE(ComponentAreas(View::Interfacing).empty());
  EXPECT_EQ(DescriptionPlace(View::Interfacing, screen, screen, window, QMargins()), QPoint(8, 8));
}

// The close-up areas are where the committed close-ups draw their ring:
// points on the ring's middle circle are its yellow, wherever the title,
// the caption and the picture's edge leave it visible.
TEST(DescriptionPlace, TheCloseUpAreasHoldTheRingOfEveryCloseUp) {
  for (View view : kSingleStationViews) {
    for (int number = 1; number <= Beschrijving::kNumbers; ++number) {
      const std::vector<QRectF> areas = CloseUpAreas(view, number);
      if (view == View::Transportband && number > 8) {
        EXPECT_TRUE(areas.empty()) << number;
        continue;
      }
      SCOPED_TRACE(CloseUpLiteral(view, number));
      ASSERT_EQ(areas.size(), 2u);
      const QImage photo(QString::fromStdString(ResolveDataFile(CloseUpLiteral(view, number))));
      ASSERT_FALSE(photo.isNull());
      const QRectF ring(areas[0].left() * photo.width(), areas[0].top() * photo.height(),
                        areas[0].width() * photo.width(), areas[0].height() * photo.height());
      const double radius = ring.width() / 2 - 4.5;
      int seen = 0;
      int yellow = 0;
      for (int step = 0; step < 48; ++step) {
        const double angle = step * 2 * 3.14159265358979 / 48;
        const QPoint at = (ring.center() + QPointF(radius * std::cos(angle), radius * std::sin(angle))).toPoint();
        if (at.x() < 2 || at.x() >= photo.width() - 2 || at.y() < 75 || at.y() >= photo.height() - 62) continue;
        ++seen;
        const QColor c = photo.pixelColor(at);
        if (c.red() > 200 && c.green() > 150 && c.blue() < 100) ++yellow;
      }
      EXPECT_GE(seen, 12);
      EXPECT_GE(yellow * 10, seen * 9) << yellow << " of " << seen;
    }
  }
}

// Choosing a number: a window over the close-up's component steps aside,
// and then covers neither its ring nor its badge.
TEST(DescriptionPlace, AWindowOverTheCloseUpsComponentStepsAside) {
  const QSize outer = QSize(226, 260).grownBy(QMargins(4, 28, 4, 4));
  int moved = 0;
  for (const QSize size : {QSize(1024, 768), QSize(1280, 1024), QSize(1920, 1080)}) {
    const QRect screen(QPoint(0, 0), size);
    for (View view : kSingleStationViews) {
      const PhotoRect fit = FitPhotograph(1024, 768, size.width(), size.height());
      const QRect photo(fit.left, fit.top, fit.width, fit.height);
      const QPoint start = DescriptionPlace(view, photo, screen, QSize(226, 260), QMargins(4, 28, 4, 4));
      for (int number = 1; number <= Beschrijving::kNumbers; ++number) {
        const std::vector<QRect> areas = CloseUpAreasOnScreen(view, number, photo);
        const auto covers = [&](const QRect& window) {
          return std::any_of(areas.begin(), areas.end(), [&](const QRect& area) { return window.intersects(area); });
        };
        if (!covers(QRect(start, outer))) continue;
        ++moved;
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " " << CloseUpLiteral(view, number));
        const QRect window(ClearPlace(areas, screen, outer, start), outer);
        EXPECT_FALSE(covers(window));
        EXPECT_TRUE(screen.contains(window));
      }
    }
  }
  EXPECT_GT(moved, 0);
}

TEST(CloseUps, NineHasALeadingZeroAndTenNone) {
  EXPECT_EQ(CloseUpLiteral(View::StapelMagazijn, 3), "\\Afbeeldingen\\Station Stapel Magazijn cijfers 03.jpg");
  EXPECT_EQ(CloseUpLiteral(View::StapelMagazijn, 10), "\\Afbeeldingen\\Station Stapel Magazijn cijfers 10.jpg");
  EXPECT_EQ(CloseUpLiteral(View::Stationhandling, 9), "\\Afbeeldingen\\Station Handling cijfers 09.jpg");
  EXPECT_EQ(CloseUpLiteral(View::Stationhandling, 11), "\\Afbeeldingen\\Station Handling cijfers 11.jpg");
  EXPECT_EQ(CloseUpLiteral(View::Transportband, 8), "\\Afbeeldingen\\Station Transportband cijfers 08.jpg");
}

TEST(CloseUps, TheConveyorBeltsNineToElevenBringBackItsOverview) {
  for (int number : {9, 10, 11})
    EXPECT_EQ(CloseUpLiteral(View::Transportband, number), "\\Afbeeldingen\\Station Transportband cijfers.jpg");
  EXPECT_EQ(OverviewLiteral(View::StapelMagazijn), "\\Afbeeldingen\\Station Stapel Magazijn cijfers.jpg");
  EXPECT_EQ(OverviewLiteral(View::Stationhandling), "\\Afbeeldingen\\Station Handling cijfers.jpg");
}

// ---- the two windows -----------------------------------------------------------------------

class PhotoViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    ASSERT_TRUE(QDir(folder_.path()).mkdir("Afbeeldingen"));
    Draw("Station Stapel Magazijn cijfers.jpg", 1820, 980);
    Draw("Station Stapel Magazijn cijfers 03.jpg", 910, 490);
    Draw("Station Stapel Magazijn cijfers 08.jpg", 364, 196);
    Draw("Station Stapel Magazijn cijfers 10.jpg", 182, 98);
    Draw("Station Transportband cijfers.jpg", 640, 1000);
    Draw("Station Transportband cijfers 02.jpg", 320, 500);
    Draw("Station Handling cijfers.jpg", 1000, 750);
    main_ = &bench_.Open();
    PhotoViewerEnvironment environment;
    environment.dataFolder = folder_.path().toStdString();
    environment.showMessage = [this](const std::string& text) { messages_.push_back(text); };
    viewer_ = std::make_unique<StationPhotoViewer>(*main_, environment);
  }

  void TearDown() override {
    viewer_.reset();
    bench_.Close();
  }

  void Draw(const QString& name, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(folder_.path() + "/Afbeeldingen/" + name, "JPG")) << name.toStdString();
  }

  // Opens the view of a station as a click on the station photograph would.
  void OpenOn(View view) {
    main_->StationButton_Click(view);
    ASSERT_EQ(main_->SelectedView(), view);
    viewer_->Open();
    QCoreApplication::processEvents();
  }

  Full_Screen& Screen() { return *viewer_->FullScreenWindow(); }
  Beschrijving& Info() { return *viewer_->DescriptionWindow(); }
  void Choose(int number) { Info().Option_Nummers[static_cast<std::size_t>(number)]->click(); }
  QSize Shown() { return Screen().Image_Show_Fullscreen->pixmap().size(); }
  std::string Benaming() { return Info().Text_Benaming->toPlainText().toStdString(); }
  std::string InfoText() { return Info().Text_Info->toPlainText().toStdString(); }
  int Checked() {
    int checked = 0;
    for (int i = 1; i <= Beschrijving::kNumbers; ++i)
      if (Info().Option_Nummers[static_cast<std::size_t>(i)]->isChecked()) checked = checked * 100 + i;
    return checked;
  }
  bool Opened() { return viewer_->FullScreenWindow() != nullptr && Screen().isVisible(); }
  QRect ScreenArea() { return main_->screen()->geometry(); }

  void PressEscapeOn(QWidget* widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
    QCoreApplication::processEvents();
  }

  TrainerBench bench_;
  QTemporaryDir folder_;
  Main* main_ = nullptr;
  std::vector<std::string> messages_;
  std::unique_ptr<StationPhotoViewer> viewer_;
};

TEST_F(PhotoViewer, TheOverviewFillsABorderlessScreenWithTheDescriptionWindowOnTop) {
  OpenOn(View::StapelMagazijn);
  ASSERT_TRUE(Opened());
  EXPECT_TRUE(Screen().windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(Screen().geometry(), ScreenArea());
  EXPECT_EQ(Screen().ShownPicture(), "\\Afbeeldingen\\Station Stapel Magazijn cijfers.jpg");
  EXPECT_EQ(Shown(), QSize(1820, 980));
  const PhotoRect fit = FitPhotograph(1820, 980, ScreenArea().width(), ScreenArea().height());
  EXPECT_EQ(Screen().Image_Show_Fullscreen->geometry(), QRect(fit.left, fit.top, fit.width, fit.height));
  EXPECT_TRUE(Screen().rect().contains(Screen().Image_Show_Fullscreen->geometry()));
  EXPECT_FALSE(Screen().Picture_Measure_Size->isVisible());

  // Only the description window takes input; it is not the full-screen
  // window's child and so stays enabled.
  EXPECT_FALSE(Screen().isEnabled());
  ASSERT_TRUE(Info().isVisible());
  EXPECT_TRUE(Info().isEnabled());
  EXPECT_TRUE(Info().Option_Nummers[1]->isEnabled());
  EXPECT_EQ(Info().parentWidget(), nullptr);
  EXPECT_TRUE(Info().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(Info().windowTitle().toStdString(), "Info");
  EXPECT_EQ(Info().CMD_Close->text().toStdString(), "Sluiten");
  EXPECT_EQ(Info().size(), QSize(226, 260));
  for (int i = 1; i <= Beschrijving::kNumbers; ++i)
    EXPECT_EQ(Info().Option_Nummers[static_cast<std::size_t>(i)]->text().toStdString(), std::to_string(i));
  EXPECT_EQ(Benaming(), "");
  EXPECT_EQ(InfoText(), "");
  EXPECT_EQ(Checked(), 0);
}

// Opening puts the window where DescriptionPlace finds room for it over the
// photograph as fitted (its frame not yet known: a title bar assumed, no
// smaller than the frame it gets).
TEST_F(PhotoViewer, TheDescriptionWindowGoesWhereItCoversTheLeast) {
  for (View view : kSingleStationViews) {
    SCOPED_TRACE(OverviewLiteral(view));
    OpenOn(view);
    ASSERT_TRUE(Info().isVisible());
    const QRect photo = Screen().Image_Show_Fullscreen->geometry().translated(ScreenArea().topLeft());
    const QPoint place = DescriptionPlace(view, photo, ScreenArea(), Info().size(), QMargins(4, 28, 4, 4));
    EXPECT_EQ(Info().frameGeometry().topLeft(), place);
    EXPECT_TRUE(QRect(place, Info().size().grownBy(QMargins(4, 28, 4, 4))).contains(Info().frameGeometry()));
    EXPECT_TRUE(ScreenArea().contains(Info().frameGeometry()));
    Info().CMD_Close->click();
  }
}

TEST_F(PhotoViewer, ChoosingANumberMovesTheWindowOffItsCloseUpOnly) {
  OpenOn(View::StapelMagazijn);
  const QRect photo = Screen().Image_Show_Fullscreen->geometry().translated(ScreenArea().topLeft());
  for (int number = 1; number <= Beschrijving::kNumbers; ++number) {
    SCOPED_TRACE(number);
    const QRect before = Info().frameGeometry();
    const std::vector<QRect> areas = CloseUpAreasOnScreen(View::StapelMagazijn, number, photo);
    const bool covering =
        std::any_of(areas.begin(), areas.end(), [&](const QRect& area) { return before.intersects(area); });
    Choose(number);
    const QPoint expected = covering ? ClearPlace(areas, ScreenArea(), before.size(), before.topLeft()) : before.topLeft();
    EXPECT_EQ(Info().frameGeometry().topLeft(), expected);
  }
}

TEST_F(PhotoViewer, EachStationOpensItsOwnOverview) {
  OpenOn(View::Transportband);
  EXPECT_EQ(Screen().ShownPicture(), "\\Afbeeldingen\\Station Transportband cijfers.jpg");
  // Higher than wide: fitted to the height.
  EXPECT_EQ(Screen().Image_Show_Fullscreen->height(), ScreenArea().height());
  Info().CMD_Close->click();
  OpenOn(View::Stationhandling);
  EXPECT_EQ(Screen().ShownPicture(), "\\Afbeeldingen\\Station Handling cijfers.jpg");
  EXPECT_EQ(Shown(), QSize(1000, 750));
}

TEST_F(PhotoViewer, ANumberShowsItsComponentAndItsCloseUpInThePlaceOfTheOverview) {
  OpenOn(View::StapelMagazijn);
  const QRect fitted = Screen().Image_Show_Fullscreen->geometry();
  Choose(3);
  EXPECT_EQ(Benaming(), "Product montageplaats");
  EXPECT_EQ(InfoText(), "Plaats voor producten");
  EXPECT_EQ(Screen().ShownPicture(), "\\Afbeeldingen\\Station Stapel Magazijn cijfers 03.jpg");
  EXPECT_EQ(Shown(), QSize(910, 490));
  EXPECT_EQ(Screen().Image_Show_Fullscreen->geometry(), fitted);
  EXPECT_EQ(Checked(), 3);
  Choose(10);
  EXPECT_EQ(Benaming(), "Kabelgoot");
  EXPECT_EQ(Shown(), QSize(182, 98));
  EXPECT_EQ(Checked(), 10);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PhotoViewer, TheSameNumberTwiceReloadsTextsAndPicture) {
  OpenOn(View::StapelMagazijn);
  Choose(8);
  Info().Text_Benaming->clear();
  Info().Text_Info->clear();
  Screen().Image_Show_Fullscreen->Clear();
  Choose(8);
  EXPECT_EQ(Benaming(), "Magnetische eindschakelaar");
  EXPECT_EQ(InfoText(),
            "Geeft een signaal af, zodra de zuiger van de dubbelwerkende cilinder dichtbij de sensor komt");
  EXPECT_EQ(Shown(), QSize(364, 196));
  EXPECT_EQ(Checked(), 8);
}

TEST_F(PhotoViewer, AMissingCloseUpIsReportedAndLeavesThePictureAsItWas) {
  OpenOn(View::StapelMagazijn);
  Choose(3);
  Choose(5);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Kan het bestand " + folder_.path().toStdString() +
                              "/Afbeeldingen/Station Stapel Magazijn cijfers 05.jpg niet vinden.");
  EXPECT_EQ(Benaming(), "4/2 Magneetventiel, bi-stabiel");
  EXPECT_EQ(InfoText(), "Aansturing van de dubbelwerkende cilinder");
  EXPECT_EQ(Screen().ShownPicture(), "\\Afbeeldingen\\Station Stapel Magazijn cijfers 03.jpg");
  EXPECT_EQ(Shown(), QSize(910, 490));
  EXPECT_TRUE(Info().isVisible());
}

TEST_F(PhotoViewer, TheConveyorBeltsNineToElevenClearTheBoxesAndBringBackTheOverview) {
  OpenOn(View::Transportband);
  Choose(2);
  EXPECT_EQ(Benaming(), "Gelijkstroommotor (DC)");
  EXPECT_EQ(Shown(), QSize(320, 500));
  for (int number : {9, 10, 11}) {
    Choose(2);
    Choose(number);
    EXPECT_EQ(Benaming(), "") << number;
    EXPECT_EQ(InfoText(), "") << number;
    EXPECT_EQ(Shown(), QSize(640, 1000)) << number;
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PhotoViewer, TheCombinedStationAndTheInterfacePanelOpenNothing) {
  OpenOn(View::TransHandling);
  EXPECT_FALSE(Opened());
  OpenOn(View::Interfacing);
  EXPECT_FALSE(Opened());
  // Nor does it open behind the pupil's back when a single station follows.
  main_->StationButton_Click(View::StapelMagazijn);
  QCoreApplication::processEvents();
  EXPECT_FALSE(Opened());
}

TEST_F(PhotoViewer, SluitenHidesBothWindowsAndEnablesTheFullScreenViewAgain) {
  OpenOn(View::Stationhandling);
  Choose(1);
  Info().CMD_Close->click();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Screen().isVisible());
  EXPECT_FALSE(Info().isVisible());
  EXPECT_TRUE(Screen().isEnabled());
  EXPECT_TRUE(main_->isVisible());
  // Each opening starts afresh.
  OpenOn(View::Stationhandling);
  EXPECT_TRUE(Info().isVisible());
  EXPECT_EQ(Benaming(), "");
  EXPECT_EQ(InfoText(), "");
  EXPECT_EQ(Checked(), 0);
  EXPECT_EQ(Screen().ShownPicture(), "\\Afbeeldingen\\Station Handling cijfers.jpg");
  EXPECT_FALSE(Screen().isEnabled());
}

TEST_F(PhotoViewer, EscapeClosesLikeSluiten) {
  OpenOn(View::StapelMagazijn);
  Choose(3);
  // The key reaches whichever control has the focus.
  PressEscapeOn(Info().Option_Nummers[3]);
  EXPECT_FALSE(Screen().isVisible());
  EXPECT_FALSE(Info().isVisible());
  EXPECT_TRUE(Screen().isEnabled());

  OpenOn(View::StapelMagazijn);
  PressEscapeOn(Info().Text_Info);
  EXPECT_FALSE(Screen().isVisible());
  EXPECT_FALSE(Info().isVisible());

  // A click on the (disabled) full-screen view hands the keyboard back to
  // the description window, so that Esc still works.
  OpenOn(View::StapelMagazijn);
  Screen().activateWindow();
  trainertest::PumpFor(std::chrono::milliseconds(200));
  ASSERT_EQ(QApplication::activeWindow(), &Info());
  PressEscapeOn(QApplication::activeWindow());
  EXPECT_FALSE(Screen().isVisible());
  EXPECT_FALSE(Info().isVisible());
}

TEST_F(PhotoViewer, ClosingTheDescriptionWindowDoesNotLeaveADisabledScreenBehind) {
  OpenOn(View::Transportband);
  Info().close();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Screen().isVisible());
  EXPECT_TRUE(Screen().isEnabled());
}

TEST_F(PhotoViewer, ComingBackToTheWindowsChangesNothing) {
  OpenOn(View::StapelMagazijn);
  Choose(3);
  const QRect fitted = Screen().Image_Show_Fullscreen->geometry();
  // As after a message box or Alt-Tab.
  for (QWidget* window : {static_cast<QWidget*>(&Info()), static_cast<QWidget*>(&Screen())}) {
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(window, &activate);
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(Benaming(), "Product montageplaats");
  EXPECT_EQ(Checked(), 3);
  EXPECT_EQ(Shown(), QSize(910, 490));
  EXPECT_EQ(Screen().Image_Show_Fullscreen->geometry(), fitted);
  // A second click on the station photograph while the view is open does not restart it.
  viewer_->Open();
  EXPECT_EQ(Benaming(), "Product montageplaats");
  EXPECT_EQ(Checked(), 3);
  EXPECT_EQ(Shown(), QSize(910, 490));
}

}  // namespace
}  // namespace brimlink::trainer
