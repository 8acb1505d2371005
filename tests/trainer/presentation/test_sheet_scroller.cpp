// Scrolling the lesson sheet: the logical top is exact at once, the visible
// sheet follows in steps while the window keeps handling events, and a
// station change during a scroll wins.
#include <QTimer>

#include "trainer/core/Layout.h"
#include "trainer/core/TrainerBench.h"
#include "trainer/presentation/SheetScroller.h"

namespace brimlink::trainertest {
namespace {

using trainer::SheetScroller;

int VisibleTopPixels(const Main& main) { return main.PictureTekst->y(); }

bool Settled(Main& main) { return !SheetScroller::Of(main).Animating(); }

TEST(SheetScroll, TwoScrollsForwardMoveTheSheetTwoPanelsInVisibleSteps) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_StapelMagazijn->click();
  ASSERT_EQ(VisibleTopPixels(main), 0);

  main.VerschuifTekst(0);
  EXPECT_EQ(main.pictureTekstTop, -1815);
  EXPECT_TRUE(SheetScroller::Of(main).Animating());
  EXPECT_EQ(VisibleTopPixels(main), 0);
  main.VerschuifTekst(0);
  // The logical top is exact at once; the sheet is still on its way.
  EXPECT_EQ(main.pictureTekstTop, -3630);
  EXPECT_GT(VisibleTopPixels(main), -3630 / 15);

  // Other events keep being handled while the sheet moves.
  bool otherEventHandled = false;
  QTimer::singleShot(0, &main, [&] { otherEventHandled = true; });
  std::vector<int> seen;
  const auto began = Clock::now();
  ASSERT_TRUE(PumpUntil([&] {
    if (seen.empty() || seen.back() != VisibleTopPixels(main)) seen.push_back(VisibleTopPixels(main));
    return Settled(main);
  }));
  const long long ms = qttest::ElapsedMs(began);
  EXPECT_TRUE(otherEventHandled);
  EXPECT_LE(ms, 1500);
  EXPECT_EQ(VisibleTopPixels(main), -3630 / 15);
  EXPECT_DOUBLE_EQ(SheetScroller::Of(main).VisibleTop(), -3630.0);
  EXPECT_EQ(main.pictureTekstTop, -3630);

  // Several positions in between, always moving up.
  EXPECT_GE(seen.size(), 4u);
  for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i], seen[i - 1]);

  // And back one panel.
  main.VerschuifTekst(1);
  EXPECT_EQ(main.pictureTekstTop, -1815);
  ASSERT_TRUE(PumpUntil([&] { return Settled(main); }));
  EXPECT_EQ(VisibleTopPixels(main), -1815 / 15);
}

TEST(SheetScroll, OtherValuesDoNothing) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_Transportband->click();
  for (int upDown : {-1, 2, 255}) {
    main.VerschuifTekst(upDown);
    EXPECT_EQ(main.pictureTekstTop, 0);
    EXPECT_FALSE(SheetScroller::Of(main).Animating());
    EXPECT_EQ(VisibleTopPixels(main), 0);
  }
}

TEST(SheetScroll, AStationChangeDuringAScrollPutsTheSheetBackAtItsTop) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_Stationhandling->click();
  main.VerschuifTekst(0);
  main.VerschuifTekst(0);
  PumpFor(30ms);
  ASSERT_TRUE(SheetScroller::Of(main).Animating());
  main.CMD_Transportband->click();
  EXPECT_EQ(main.pictureTekstTop, 0);
  EXPECT_FALSE(SheetScroller::Of(main).Animating());
  EXPECT_EQ(VisibleTopPixels(main), 0);
  PumpFor(400ms);
  EXPECT_EQ(VisibleTopPixels(main), 0);
  EXPECT_EQ(main.pictureTekstTop, 0);
}

TEST(SheetScroll, TheSheetPlacedElsewhereDuringAScrollStaysThere) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_Stationhandling->click();
  main.VerschuifTekst(0);
  PumpFor(40ms);
  // As a resize does: the sheet back at the top, without a redraw.
  main.pictureTekstTop = 0;
  trainer::PlaceSheet(main);
  PumpFor(400ms);
  EXPECT_FALSE(SheetScroller::Of(main).Animating());
  EXPECT_EQ(VisibleTopPixels(main), 0);
}

TEST(SheetScroll, VerderAndTerugAreIgnoredWhileTheSheetMoves) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_StapelMagazijn->click();
  main.CMD_Verder->click();
  ASSERT_EQ(main.pictureTekstTop, -1815);
  ASSERT_TRUE(SheetScroller::Of(main).Animating());
  main.CMD_Verder->click();
  EXPECT_EQ(main.pictureTekstTop, -1815);
  main.CMD_Terug->click();
  EXPECT_EQ(main.pictureTekstTop, -1815);
  ASSERT_TRUE(PumpUntil([&] { return Settled(main); }));
  main.CMD_Verder->click();
  EXPECT_EQ(main.pictureTekstTop, -3630);
}

TEST(SheetScroll, WithoutADurationTheSheetStandsAtOnce) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  SheetScroller::Of(main).SetDuration(std::chrono::milliseconds(0));
  main.CMD_Interfacing->click();
  main.VerschuifTekst(0);
  EXPECT_FALSE(SheetScroller::Of(main).Animating());
  EXPECT_EQ(VisibleTopPixels(main), -1815 / 15);
}

}  // namespace
}  // namespace brimlink::trainertest
