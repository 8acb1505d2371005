// The component figure under the mouse: which picture and name each view
// shows for each I/O point, and how the pointed point is marked and unmarked.
#include <QMouseEvent>

#include "trainer/core/TrainerBench.h"
#include "trainer/presentation/Figures.h"

namespace brimlink::trainertest {
namespace {

using trainer::FigureOf;
using trainer::SetBackColour;
using trainer::View;

constexpr trainer::VbColour kOutputMark = 0x00F0BF93;
constexpr trainer::VbColour kInputMark = 0x0080FF80;
constexpr trainer::VbColour kInputPlate = 0x00D2FFD2;

void MoveOver(QWidget* widget) {
  const QPointF local(widget->width() / 2.0, widget->height() / 2.0);
  QMouseEvent move(QEvent::MouseMove, local, widget->mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

// A picture no file has: shows whether the box was loaded or cleared since.
QPixmap Marker() {
  QPixmap marker(7, 7);
  marker.fill(Qt::magenta);
  return marker;
}

std::string Name(View view, int index) {
  const auto figure = FigureOf(view, index);
  return figure ? std::string(figure->name) : std::string("-");
}
std::string Picture(View view, int index) {
  const auto figure = FigureOf(view, index);
  return figure ? std::string(figure->picture) : std::string("-");
}

TEST(FigureTables, EveryViewListsExactlyItsPoints) {
  // The points with a figure, per view; every other point has none.
  const std::vector<std::pair<View, std::vector<int>>> listed = {
      {View::Transportband, {0, 1, 2, 8, 9}},
      {View::StapelMagazijn, {0, 1, 2, 6, 8}},
      {View::Stationhandling, {0, 1, 2, 3, 4, 8, 9, 10, 11}},
      {View::TransHandling, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14}},
      {View::Interfacing, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
  };
  for (const auto& [view, points] : listed) {
    SCOPED_TRACE(static_cast<int>(view));
    for (int index = 0; index < 16; ++index) {
      const bool expected = std::find(points.begin(), points.end(), index) != points.end();
      EXPECT_EQ(FigureOf(view, index).has_value(), expected) << "index " << index;
    }
  }
}

TEST(FigureTables, SharedPicturesAndTheNamesOfTheTables) {
  // The stack magazine's output 6 is its magnetic sensor, as input 8 is; the
  // handling station uses the same file for its four sensors.
  EXPECT_EQ(Picture(View::StapelMagazijn, 6), "\\Afbeeldingen\\Stapel magazijn Magnetische Sensor.bmp");
  EXPECT_EQ(Picture(View::StapelMagazijn, 8), Picture(View::StapelMagazijn, 6));
  EXPECT_EQ(Name(View::StapelMagazijn, 6), "Magnetische sensor");
  for (int index : {8, 11}) EXPECT_EQ(Picture(View::Stationhandling, index), Picture(View::StapelMagazijn, 6));
  for (int index : {11, 14}) EXPECT_EQ(Picture(View::TransHandling, index), Picture(View::StapelMagazijn, 6));

  EXPECT_EQ(Picture(View::StapelMagazijn, 0), "\\Afbeeldingen\\Cilinder dubbelwerkend.bmp");
  EXPECT_EQ(Picture(View::StapelMagazijn, 1), Picture(View::StapelMagazijn, 0));
  EXPECT_EQ(Picture(View::StapelMagazijn, 2), "\\Afbeeldingen\\Cilinder enkelwerkend.bmp");
  EXPECT_EQ(Name(View::StapelMagazijn, 2), "Enkelwerkende cilinder");

  // The driven and the plain guided cylinder share a name, not a picture.
  EXPECT_EQ(Picture(View::Stationhandling, 0), "\\Afbeeldingen\\Cilinder Dubbelwerkend ADN Bediend.bmp");
  EXPECT_EQ(Picture(View::Stationhandling, 2), Picture(View::Stationhandling, 0));
  EXPECT_EQ(Picture(View::Stationhandling, 1), "\\Afbeeldingen\\Cilinder Dubbelwerkend ADN.bmp");
  EXPECT_EQ(Picture(View::Stationhandling, 3), Picture(View::Stationhandling, 1));
  EXPECT_EQ(Name(View::Stationhandling, 1), Name(View::Stationhandling, 0));
  EXPECT_EQ(Name(View::Stationhandling, 4), "Grijper");

  // The combined view: the conveyor first, the handling station shifted by three.
  for (int index : {0, 1, 2, 8, 9}) {
    EXPECT_EQ(Picture(View::TransHandling, index), Picture(View::Transportband, index));
    EXPECT_EQ(Name(View::TransHandling, index), Name(View::Transportband, index));
  }
  for (int index : {0, 1, 2, 3, 4}) EXPECT_EQ(Picture(View::TransHandling, index + 3), Picture(View::Stationhandling, index));
  EXPECT_EQ(Name(View::Transportband, 0), "Magneetspoel stopper");
  EXPECT_EQ(Name(View::Transportband, 1), "Gelijkstroom motor");
  EXPECT_EQ(Name(View::Transportband, 2), "Motor relais");
  EXPECT_EQ(Name(View::Transportband, 8), "Inductieve sensor");
  EXPECT_EQ(Name(View::Transportband, 9), "Optische sensor");

  EXPECT_EQ(Picture(View::Interfacing, 15), "\\Afbeeldingen\\Multi Connector.bmp");
  EXPECT_EQ(Name(View::Interfacing, 0), "I/O Aansluitpaneel");
}

TEST(Figures, HoveringTheSamePointTwiceShowsItOnce) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_Transportband->click();
  MoveOver(main.CMD_SetReset[1]);
  ASSERT_EQ(main.HuidigOnderdeel, 1);
  EXPECT_EQ(main.OnderdeelNaam, "Gelijkstroom motor");
  EXPECT_EQ(Title(main.FrameSensorActuator), "Gelijkstroom motor");
  EXPECT_EQ(BackColour(main.CMD_SetReset[1]), kOutputMark);

  // The second move does not reach the procedure: neither picture nor caption is redone.
  main.ImageSensorActuator->SetPicture(Marker());
  main.FrameSensorActuator->setTitle(QStringLiteral("marker"));
  MoveOver(main.CMD_SetReset[1]);
  EXPECT_EQ(Title(main.FrameSensorActuator), "marker");
  EXPECT_TRUE(main.ImageSensorActuator->HasPicture());
  EXPECT_EQ(main.HuidigOnderdeel, 1);
}

TEST(Figures, StackMagazineSharesTheMagneticSensorAndNamesTheRestGenerically) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_StapelMagazijn->click();

  main.FiguurActuatorSensor(6);
  EXPECT_EQ(main.OnderdeelNaam, "Magnetische sensor");
  EXPECT_EQ(Title(main.FrameSensorActuator), "Magnetische sensor");
  main.FiguurActuatorSensor(8);
  EXPECT_EQ(Title(main.FrameSensorActuator), "Magnetische sensor");

  for (int index : {3, 4, 5, 7, 9, 10, 11, 12, 13, 14, 15}) {
    SCOPED_TRACE(index);
    main.ImageSensorActuator->SetPicture(Marker());
    main.FiguurActuatorSensor(index);
    EXPECT_EQ(main.OnderdeelNaam, "Sensor / Actuator");
    EXPECT_EQ(Title(main.FrameSensorActuator), "Sensor / Actuator");
    EXPECT_FALSE(main.ImageSensorActuator->HasPicture());
    EXPECT_EQ(main.HuidigOnderdeel, index);
  }
}

TEST(Figures, CombinedViewHasNoFigureForItsSpareInputs) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_TransHandling->click();
  main.FiguurActuatorSensor(7);
  EXPECT_EQ(Title(main.FrameSensorActuator), "Grijper");
  for (int index : {10, 15}) {
    main.ImageSensorActuator->SetPicture(Marker());
    main.FiguurActuatorSensor(index);
    EXPECT_EQ(Title(main.FrameSensorActuator), "Sensor / Actuator");
    EXPECT_FALSE(main.ImageSensorActuator->HasPicture());
  }
  main.FiguurActuatorSensor(14);
  EXPECT_EQ(Title(main.FrameSensorActuator), "Magnetische sensor");
}

TEST(Figures, InterfacePanelIsLoadedOnceAndKeptWhileMovingOn) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  // At start the interface view is selected and nothing is named yet.
  ASSERT_EQ(main.OnderdeelNaam, "");
  main.FiguurActuatorSensor(0);
  EXPECT_EQ(main.OnderdeelNaam, "I/O Aansluitpaneel");
  EXPECT_EQ(Title(main.FrameSensorActuator), "I/O Aansluitpaneel");
  EXPECT_EQ(main.ImageSensorActuator->Literal(), "\\Afbeeldingen\\Multi Connector.bmp");

  const QPixmap marker = Marker();
  main.ImageSensorActuator->SetPicture(marker);
  for (int index : {3, 9, 15}) {
    main.FiguurActuatorSensor(index);
    EXPECT_EQ(main.ImageSensorActuator->pixmap().cacheKey(), marker.cacheKey()) << "reloaded at " << index;
    EXPECT_EQ(main.HuidigOnderdeel, index);
  }
  // The caption follows the name even when the picture is kept.
  main.FrameSensorActuator->setTitle(QStringLiteral("ADN cilinder."));
  main.FiguurActuatorSensor(4);
  EXPECT_EQ(Title(main.FrameSensorActuator), "I/O Aansluitpaneel");

  // ResetAll clears the name, and the next point loads the panel again.
  main.ResetAll();
  main.FiguurActuatorSensor(5);
  EXPECT_EQ(main.ImageSensorActuator->Literal(), "\\Afbeeldingen\\Multi Connector.bmp");
}

TEST(Figures, MarksFollowThePointerAndDisabledPointsReturnToButtonFace) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_StapelMagazijn->click();
  // Output 6 (index 5) is spare here: disabled, yet marked while pointed at.
  ASSERT_FALSE(main.CMD_SetReset[5]->isEnabled());
  main.FiguurActuatorSensor(5);
  EXPECT_EQ(BackColour(main.CMD_SetReset[5]), kOutputMark);
  main.FiguurActuatorSensor(0);
  EXPECT_EQ(BackColour(main.CMD_SetReset[5]), kButtonFace);
  EXPECT_EQ(BackColour(main.CMD_SetReset[0]), kOutputMark);

  main.FiguurActuatorSensor(8);
  EXPECT_EQ(BackColour(main.CMD_SetReset[0]), kOutputPlate);
  EXPECT_EQ(BackColour(main.PictureLabelIngangen[0]), kInputMark);
  // A disabled input plate, too, gets button face back rather than its plate colour.
  main.PictureLabelIngangen[1]->setEnabled(false);
  main.FiguurActuatorSensor(9);
  EXPECT_EQ(BackColour(main.PictureLabelIngangen[0]), kInputPlate);
  main.FiguurActuatorSensor(2);
  EXPECT_EQ(BackColour(main.PictureLabelIngangen[1]), kButtonFace);

  // After a station change nothing is restored: the station repaints itself.
  main.CMD_Transportband->click();
  ASSERT_EQ(main.HuidigOnderdeel, -1);
  SetBackColour(main.CMD_SetReset[2], kOutputMark);
  main.FiguurActuatorSensor(9);
  EXPECT_EQ(BackColour(main.CMD_SetReset[2]), kOutputMark);
  EXPECT_EQ(Title(main.FrameSensorActuator), "Optische sensor");
}

TEST(Figures, StationFoundInTheFiguresOwnOrderOrNotAtAll) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_StapelMagazijn->click();
  // With two buttons marked the conveyor wins here (the stack magazine wins for "Verder").
  SetBackColour(main.CMD_Transportband, kStationColour);
  main.FiguurActuatorSensor(1);
  EXPECT_EQ(Title(main.FrameSensorActuator), "Gelijkstroom motor");

  // No button marked: the mark moves, but picture and name stay.
  SetBackColour(main.CMD_Transportband, kButtonFace);
  SetBackColour(main.CMD_StapelMagazijn, kButtonFace);
  main.ImageSensorActuator->SetPicture(Marker());
  main.FiguurActuatorSensor(4);
  EXPECT_EQ(main.OnderdeelNaam, "Gelijkstroom motor");
  EXPECT_EQ(Title(main.FrameSensorActuator), "Gelijkstroom motor");
  EXPECT_TRUE(main.ImageSensorActuator->HasPicture());
  EXPECT_EQ(BackColour(main.CMD_SetReset[4]), kOutputMark);
  EXPECT_EQ(main.HuidigOnderdeel, 4);
}

}  // namespace
}  // namespace brimlink::trainertest
