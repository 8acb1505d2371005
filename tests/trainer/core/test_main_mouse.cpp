// The mouse over the window as a pupil moves it: an I/O point shows its
// figure once per entry, spare points show nothing, the station buttons are
// highlighted once per button entered, and a release on the connection panel
// itself (not on a child) is the only one that asks for the about box.
#include <QMouseEvent>

#include "TrainerBench.h"

namespace brimlink::trainertest {
namespace {

// A plain move (no button held) over `widget` at its centre, delivered as Qt
// delivers it: to the widget, passed on to its parents while ignored.
void MoveOver(QWidget* widget) {
  const QPointF local(widget->width() / 2.0, widget->height() / 2.0);
  QMouseEvent move(QEvent::MouseMove, local, widget->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

TEST(MainMouse, AnInputNameShowsItsFigureOnceAndASpareOneNothing) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_StapelMagazijn->click();
  main.Timer_Wissel_Afbeelding->start();

  MoveOver(main.Label_Ingang[0]);
  EXPECT_EQ(main.HuidigOnderdeel, 8);
  EXPECT_EQ(Title(main.FrameSensorActuator), "Magnetische sensor");
  // Moving from an output switch to an input name stops the alternation.
  EXPECT_FALSE(main.Timer_Wissel_Afbeelding->isActive());

  // A second move over the same name changes nothing.
  main.FrameSensorActuator->setTitle(QStringLiteral("marker"));
  MoveOver(main.Label_Ingang[0]);
  EXPECT_EQ(Title(main.FrameSensorActuator), "marker");

  // Input 2 is spare in this view: disabled, no figure.
  ASSERT_FALSE(main.Label_Ingang[1]->isEnabled());
  MoveOver(main.Label_Ingang[1]);
  EXPECT_EQ(main.HuidigOnderdeel, 8);
}

TEST(MainMouse, AnOutputSwitchShowsItsFigureAndStartsTheAlternationOnce) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_Stationhandling->click();
  MoveOver(main.CMD_SetReset[4]);
  EXPECT_EQ(main.HuidigOnderdeel, 4);
  EXPECT_EQ(Title(main.FrameSensorActuator), "Grijper");  // the handling station's gripper figure
  EXPECT_TRUE(main.Timer_Wissel_Afbeelding->isActive());
  const int remaining = main.Timer_Wissel_Afbeelding->remainingTime();
  PumpFor(50ms);
  MoveOver(main.CMD_SetReset[4]);
  // Not restarted by the second move.
  EXPECT_LT(main.Timer_Wissel_Afbeelding->remainingTime(), remaining);
  // Output 6 is spare: disabled, nothing happens.
  MoveOver(main.CMD_SetReset[5]);
  EXPECT_EQ(main.HuidigOnderdeel, 4);
}

TEST(MainMouse, StationButtonsAreHighlightedOncePerButtonEntered) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  MoveOver(main.CMD_Transportband);
  EXPECT_EQ(main.MuisStation, 0);
  const trainer::VbColour highlighted = trainer::BackColour(main.CMD_Transportband);
  EXPECT_NE(highlighted, kButtonFace);
  // The move does not reach the frame behind the button.
  MoveOver(main.CMD_Transportband);
  EXPECT_EQ(main.MuisStation, 0);
  MoveOver(main.CMD_Stationhandling);
  EXPECT_EQ(main.MuisStation, 2);
  EXPECT_EQ(trainer::BackColour(main.CMD_Transportband), kButtonFace);
  // The selected view keeps its colour throughout.
  EXPECT_EQ(trainer::BackColour(main.CMD_Interfacing), kStationColour);

  // The frame between the buttons clears the highlight.
  QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), main.Frame_Sorvik_Buttons->mapToGlobal(QPointF(2, 2)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(main.Frame_Sorvik_Buttons, &move);
  EXPECT_EQ(main.MuisStation, -1);
  EXPECT_EQ(trainer::BackColour(main.CMD_Stationhandling), kButtonFace);
  ASSERT_EQ(main.SelectedView(), trainer::View::Interfacing);
}

}  // namespace
}  // namespace brimlink::trainertest
