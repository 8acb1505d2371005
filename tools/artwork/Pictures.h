// One drawing function per picture. Each draws the whole picture on a
// painter over a blank picture of the size the catalogue gives it.
#pragma once

#include <QPainter>
#include <QSize>

namespace brimlink::artwork {

inline constexpr QSize kStationPhoto{429, 373};
inline constexpr QSize kComponentFigure{290, 290};
inline constexpr QSize kStopSign{56, 56};

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

// Component figures (Components.cpp).
void DrawCompactCylinderActuated(QPainter& painter);

}  // namespace brimlink::artwork
