// The main window scaling with its size, and the station buttons' colours
// and the caption refresh after a full reset.
#include <QFont>
#include <QRect>
#include <cmath>
#include <cstdlib>
#include <map>

#include "trainer/core/Layout.h"
#include "trainer/core/TrainerBench.h"
#include "trainer/presentation/SheetScroller.h"

namespace brimlink::trainertest {
namespace {

constexpr QSize kDesignClient{1000, 700};
constexpr trainer::VbColour kWhite = 0x00FFFFFF;

struct ControlState {
  QRect geometry;
  QFont font;
  bool operator==(const ControlState&) const = default;
};
using Snapshot = std::map<std::string, ControlState>;

// Every control the design names, as it stands now.
Snapshot Take(const Main& main) {
  Snapshot snapshot;
  for (const trainer::LayoutRow& row : trainer::DesignLayout()) {
    const QWidget* control = main.findChild<QWidget*>(QString::fromStdString(row.name));
    if (control != nullptr) snapshot[row.name] = {control->geometry(), control->font()};
  }
  return snapshot;
}

QWidget* Control(const Main& main, const std::string& name) {
  return main.findChild<QWidget*>(QString::fromStdString(name));
}

// Resizes the client area and lets the window settle.
bool ResizeClient(Main& main, QSize size) {
  main.resize(size);
  const bool reached = PumpUntil([&] { return main.size() == size; });
  PumpFor(50ms);
  return reached;
}

void ExpectSameAs(const Snapshot& now, const Snapshot& start, const char* when) {
  ASSERT_EQ(now.size(), start.size()) << when;
  for (const auto& [name, state] : start) {
    const ControlState& current = now.at(name);
    EXPECT_EQ(current.geometry, state.geometry) << name << " " << when;
    EXPECT_EQ(current.font, state.font) << name << " " << when;
  }
}

bool HasFont(const trainer::LayoutRow& row) { return row.fontPoints > 0; }

class MainResize : public ::testing::Test {
 protected:
  void SetUp() override {
    main_ = &bench_.Open();
    ASSERT_TRUE(ResizeClient(*main_, kDesignClient));
    start_ = Take(*main_);
    ASSERT_EQ(start_.size(), trainer::DesignLayout().size()) << "a control of the design is missing";
  }

  qttest::Watchdog watchdog_{30s};
  TrainerBench bench_;
  Main* main_ = nullptr;
  Snapshot start_;
};

TEST_F(MainResize, HalfWidthScalesEveryControlAcrossAndBackRestoresItExactly) {
  ASSERT_TRUE(ResizeClient(*main_, {500, 700}));
  const Snapshot half = Take(*main_);
  for (const trainer::LayoutRow& row : trainer::DesignLayout()) {
    const QRect before = start_.at(row.name).geometry;
    const QRect now = half.at(row.name).geometry;
    // Across: half of the design, within the rounding of one edge; down: as designed.
    EXPECT_LE(std::abs(2 * now.x() - before.x()), 2) << row.name;
    EXPECT_LE(std::abs(2 * now.width() - before.width()), 3) << row.name;
    EXPECT_EQ(now.y(), before.y()) << row.name;
    EXPECT_EQ(now.height(), before.height()) << row.name;
  }
  EXPECT_EQ(main_->FrameMain->geometry(), QRect(0, 0, 500, 700));

  ASSERT_TRUE(ResizeClient(*main_, kDesignClient));
  ExpectSameAs(Take(*main_), start_, "after half width and back");
}

TEST_F(MainResize, RepeatedOddResizesAccumulateNoRounding) {
  // Sizes whose factors round differently on every control.
  for (const QSize size : {QSize(733, 517), QSize(1291, 911), QSize(487, 350), QSize(999, 701), QSize(1001, 699)}) {
    ASSERT_TRUE(ResizeClient(*main_, size)) << size.width() << "x" << size.height();
  }
  ASSERT_TRUE(ResizeClient(*main_, kDesignClient));
  ExpectSameAs(Take(*main_), start_, "after five odd sizes and back");
}

TEST_F(MainResize, WidthOnlyKeepsEveryFontHeightOnlyScalesThem) {
  for (const int width : {500, 1600}) {
    ASSERT_TRUE(ResizeClient(*main_, {width, 700}));
    const Snapshot wide = Take(*main_);
    for (const auto& [name, state] : start_) EXPECT_EQ(wide.at(name).font, state.font) << name << " width " << width;
  }

  ASSERT_TRUE(ResizeClient(*main_, {1000, 350}));
  const Snapshot low = Take(*main_);
  for (const trainer::LayoutRow& row : trainer::DesignLayout()) {
    if (!HasFont(row)) continue;
    const QFont& before = start_.at(row.name).font;
    const QFont& now = low.at(row.name).font;
    if (row.name == "PictureTekst") {
      // The lesson text keeps its printed sizes at any window size.
      EXPECT_EQ(now, before);
      continue;
    }
    EXPECT_LT(now.pixelSize(), before.pixelSize()) << row.name;
    EXPECT_EQ(now.family(), before.family()) << row.name;
    EXPECT_EQ(now.bold(), before.bold()) << row.name;
  }
}

TEST_F(MainResize, TheLessonSheetKeepsItsTextAndTheViewportClipsIt) {
  const QRect viewport = start_.at("PictureTekstKader").geometry;
  const QRect sheet = start_.at("PictureTekst").geometry;
  ASSERT_TRUE(ResizeClient(*main_, {500, 350}));

  // The viewport scales like every control; the sheet never gets shorter
  // than the text printed on it, so its last panel is not cut off.
  EXPECT_LE(std::abs(2 * main_->PictureTekstKader->height() - viewport.height()), 3);
  EXPECT_LE(std::abs(2 * main_->PictureTekst->width() - sheet.width()), 3);
  EXPECT_GE(main_->PictureTekst->height(), sheet.height());

  ASSERT_TRUE(ResizeClient(*main_, {2000, 1400}));
  EXPECT_LE(std::abs(main_->PictureTekst->height() - 2 * sheet.height()), 2);
}

TEST_F(MainResize, ShrinkingToAlmostNothingNeverGivesAFontOfSizeZero) {
  for (const QSize size : {QSize(40, 30), QSize(10, 8), QSize(1, 1)}) {
    ASSERT_TRUE(ResizeClient(*main_, size)) << size.width() << "x" << size.height();
    for (const trainer::LayoutRow& row : trainer::DesignLayout()) {
      if (!HasFont(row)) continue;
      const QFont font = Control(*main_, row.name)->font();
      EXPECT_GT(font.pixelSize(), 0) << row.name << " at " << size.width() << "x" << size.height();
    }
    EXPECT_GT(main_->CMD_ResetAlles->iconSize().width(), 0);
  }
  // Restoring the window restores the design.
  ASSERT_TRUE(ResizeClient(*main_, kDesignClient));
  ExpectSameAs(Take(*main_), start_, "after shrinking and restoring");
  EXPECT_EQ(main_->CMD_ResetAlles->iconSize(), QSize(56, 56));
}

TEST_F(MainResize, PutsTheLessonTextBackAtItsFirstPanel) {
  main_->CMD_StapelMagazijn->click();
  PumpFor(50ms);
  main_->CMD_Verder_Click();
  const trainer::SheetScroller& scroller = trainer::SheetScroller::Of(*main_);
  ASSERT_TRUE(PumpUntil([&] { return !scroller.Animating(); }, 2000ms));
  ASSERT_EQ(main_->PictureTekst->y(), -trainer::kPanelStep / 15);
  main_->CMD_Verder_Click();
  ASSERT_EQ(main_->pictureTekstTop, -2 * trainer::kPanelStep);
  ASSERT_TRUE(scroller.Animating());

  // While the text is still moving towards the third panel.
  ASSERT_TRUE(ResizeClient(*main_, {800, 560}));
  EXPECT_EQ(main_->pictureTekstTop, 0);
  PumpFor(600ms);
  EXPECT_FALSE(scroller.Animating());
  EXPECT_EQ(main_->PictureTekst->y(), 0) << "a scroll under way moved the sheet again";
  EXPECT_EQ(main_->pictureTekstTop, 0);

  // "Verder" goes on from the first panel.
  main_->CMD_Verder_Click();
  EXPECT_EQ(main_->pictureTekstTop, -trainer::kPanelStep);
}

// ---- the station buttons' colours ---------------------------------------------

std::vector<trainer::VbColour> StationColours(const Main& main) {
  // Stapel magazijn, Transportband, Station handling, combined, interface.
  std::vector<trainer::VbColour> colours;
  for (const QPushButton* button : {main.CMD_StapelMagazijn, main.CMD_Transportband, main.CMD_Stationhandling,
                                    main.CMD_TransHandling, main.CMD_Interfacing})
    colours.push_back(BackColour(button));
  return colours;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { main_ = &bench_.Open(); }
  qttest::Watchdog watchdog_{30s};
  TrainerBench bench_;
  Main* main_ = nullptr;
};
using StationButtonColours = MainWindowTest;

TEST_F(StationButtonColours, MouseFromButtonToButtonRepaintsBothInOneStep) {
  using trainer::View;
  // At start the interface is the selected view.
  ASSERT_EQ(StationColours(*main_), (std::vector{kButtonFace, kButtonFace, kButtonFace, kButtonFace, kStationColour}));

  main_->StationButton_MouseMove(View::Transportband);
  EXPECT_EQ(StationColours(*main_), (std::vector{kButtonFace, kWhite, kButtonFace, kButtonFace, kStationColour}));
  EXPECT_EQ(main_->MuisStation, 0);

  main_->StationButton_MouseMove(View::StapelMagazijn);
  EXPECT_EQ(StationColours(*main_), (std::vector{kWhite, kButtonFace, kButtonFace, kButtonFace, kStationColour}));

  main_->StationButton_MouseMove(View::TransHandling);
  EXPECT_EQ(StationColours(*main_), (std::vector{kButtonFace, kButtonFace, kButtonFace, kWhite, kStationColour}));
  EXPECT_EQ(main_->MuisStation, 3);

  // The selected station stays light yellow under the mouse, and the white
  // one goes back to button face.
  main_->StationButton_MouseMove(View::Interfacing);
  EXPECT_EQ(StationColours(*main_), (std::vector{kButtonFace, kButtonFace, kButtonFace, kButtonFace, kStationColour}));
  EXPECT_EQ(main_->MuisStation, 5);
  EXPECT_EQ(main_->SelectedView(), View::Interfacing);
}

TEST_F(StationButtonColours, OffTheButtonsTheWhiteOneFadesAndTheMouseIsForgotten) {
  using trainer::View;
  main_->CMD_Stationhandling->click();
  PumpFor(50ms);
  ASSERT_EQ(main_->SelectedView(), View::Stationhandling);
  main_->StationButton_MouseMove(View::Transportband);
  ASSERT_EQ(BackColour(main_->CMD_Transportband), kWhite);

  main_->Frame_Sorvik_Buttons_MouseMove();
  EXPECT_EQ(StationColours(*main_), (std::vector{kButtonFace, kButtonFace, kStationColour, kButtonFace, kButtonFace}));
  EXPECT_EQ(main_->MuisStation, -1);

  // Back onto the button just left: it lights again.
  main_->StationButton_MouseMove(View::Transportband);
  EXPECT_EQ(BackColour(main_->CMD_Transportband), kWhite);
}

TEST_F(StationButtonColours, UnknownCodesChangeNothing) {
  main_->StationButton_MouseMove(trainer::View::Transportband);
  const std::vector<trainer::VbColour> before = StationColours(*main_);
  const QString caption = main_->CMD_SetReset[0]->text();
  for (const int code : {-1, 4, 6, 9, 11, 14, 16, 255}) {
    main_->KleurBeheer(code);
    EXPECT_EQ(StationColours(*main_), before) << code;
    EXPECT_EQ(main_->MuisStation, 0) << code;
  }
  EXPECT_EQ(main_->CMD_SetReset[0]->text(), caption);
}

// ---- captions after a full reset ----------------------------------------------

void MarkCaptions(Main& main) {
  for (std::size_t i = 0; i < 8; ++i) {
    main.CMD_SetReset[i]->setText(QStringLiteral("old output %1").arg(i));
    main.Label_Ingang[i]->setText(QStringLiteral("old input %1").arg(i));
  }
}

using FullResetCaptions = MainWindowTest;

TEST_F(FullResetCaptions, InterfaceViewReadsOneToEightWithoutGaps) {
  ASSERT_EQ(main_->SelectedView(), trainer::View::Interfacing);
  main_->CMD_ResetAlles->click();
  PumpFor(50ms);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(Caption(main_->CMD_SetReset[i]), "Uitgang " + std::to_string(i + 1));
    EXPECT_EQ(Caption(main_->Label_Ingang[i]), "Ingang " + std::to_string(i + 1));
  }
}

TEST_F(FullResetCaptions, OnlyTheFirstSixAreRefreshed) {
  MarkCaptions(*main_);
  main_->CMD_ResetAlles->click();
  PumpFor(50ms);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(Caption(main_->CMD_SetReset[i]), "Uitgang " + std::to_string(i + 1));
    EXPECT_EQ(Caption(main_->Label_Ingang[i]), "Ingang " + std::to_string(i + 1));
  }
  for (std::size_t i = 6; i < 8; ++i) {
    EXPECT_EQ(Caption(main_->CMD_SetReset[i]), "old output " + std::to_string(i));
    EXPECT_EQ(Caption(main_->Label_Ingang[i]), "old input " + std::to_string(i));
  }
}

TEST_F(FullResetCaptions, SingleStationsGetTheirNamesTheCombinedViewKeepsItsCaptions) {
  using trainer::View;
  const trainer::NameTables& t = main_->tables;
  const std::vector<std::tuple<QPushButton*, View, const trainer::NameTable*, const trainer::NameTable*>> stations{
      {main_->CMD_StapelMagazijn, View::StapelMagazijn, &t.uitgangenStapelmagazijn, &t.ingangenStapelmagazijn},
      {main_->CMD_Transportband, View::Transportband, &t.uitgangenTransportband, &t.ingangenTransportband},
      {main_->CMD_Stationhandling, View::Stationhandling, &t.uitgangenHandling, &t.ingangenHandling},
  };
  for (const auto& [button, view, outputs, inputs] : stations) {
    button->click();
    PumpFor(50ms);
    ASSERT_EQ(main_->SelectedView(), view);
    MarkCaptions(*main_);
    main_->KleurBeheer(15);
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(Caption(main_->CMD_SetReset[i]), (*outputs)[i]) << Caption(button) << " " << i;
      EXPECT_EQ(Caption(main_->Label_Ingang[i]), (*inputs)[i]) << Caption(button) << " " << i;
    }
    EXPECT_EQ(Caption(main_->CMD_SetReset[6]), "old output 6");
  }

  main_->CMD_TransHandling->click();
  PumpFor(50ms);
  ASSERT_EQ(main_->SelectedView(), View::TransHandling);
  MarkCaptions(*main_);
  main_->KleurBeheer(15);
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(Caption(main_->CMD_SetReset[i]), "old output " + std::to_string(i));
    EXPECT_EQ(Caption(main_->Label_Ingang[i]), "old input " + std::to_string(i));
  }
}

}  // namespace
}  // namespace brimlink::trainertest
