// One drawing function per picture. Each draws the whole picture on a
// painter over a blank picture of the size the catalogue gives it.
#pragma once

#include <QPainter>
#include <QSize>

namespace brimlink::artwork {

inline constexpr QSize kStationPhoto{429, 373};
inline constexpr QSize kComponentFigure{290, 290};
inline constexpr QSize kStopSign{56, 56};
inline constexpr QSize kAboutPicture{64, 64};  // Image1, 960 x 960 twips

// Interface modules and the I/O panel (Interfaces.cpp).
void DrawBrimlinkMini(QPainter& painter);
void DrawBrimlinkR16(QPainter& painter);
void DrawBrimlinkR8A(QPainter& painter);
void DrawMultiConnector(QPainter& painter);

// Station pictures (Stations.cpp).
void DrawStackMagazine(QPainter& painter);
void DrawConveyor(QPainter& painter);
void DrawHandlingStation(QPainter& painter);
void DrawConveyorWithHandling(QPainter& painter);
// The same stations without title and labels, in the station picture's
// coordinates; the overview photographs place them in a larger scene.
void DrawStackMagazineAssembly(QPainter& painter);
void DrawConveyorAssembly(QPainter& painter);
void DrawHandlingAssembly(QPainter& painter);

// The numbered overview photographs and their close-ups (Overviews.cpp): the
// station in its setting with a numbered badge on each component the
// description window names, and per number the same scene zoomed in on that
// component. Close-ups share the overview's size, because the trainer
// stretches them into the place the overview was fitted to.
inline constexpr QSize kOverviewPhoto{1024, 768};
enum class Overview { StackMagazine, Conveyor, Handling };
void DrawOverview(QPainter& painter, Overview station);
void DrawCloseUp(QPainter& painter, Overview station, int number);
template <Overview kStation>
void DrawOverviewOf(QPainter& painter) {
  DrawOverview(painter, kStation);
}
template <Overview kStation, int kNumber>
void DrawCloseUpOf(QPainter& painter) {
  DrawCloseUp(painter, kStation, kNumber);
}

// Component figures (Components.cpp).
void DrawCompactCylinderActuated(QPainter& painter);
void DrawCompactCylinder(QPainter& painter);
void DrawDoubleActingCylinder(QPainter& painter);
void DrawSingleActingCylinder(QPainter& painter);
void DrawValveMonostable(QPainter& painter);
void DrawValveBistable(QPainter& painter);
void DrawGripper(QPainter& painter);
void DrawMagneticSensor(QPainter& painter);
void DrawInductiveSensor(QPainter& painter);
void DrawOpticalSensor(QPainter& painter);
void DrawDcMotor(QPainter& painter);
void DrawRelay(QPainter& painter);
void DrawSolenoidStopper(QPainter& painter);

// The "About" frame's information badge (About.cpp).
void DrawAboutBadge(QPainter& painter);

}  // namespace brimlink::artwork
