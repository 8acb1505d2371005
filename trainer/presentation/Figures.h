// The component figures as data: per view, the picture and the name of the
// component behind each of the sixteen I/O points (0..7 the output switches,
// 8..15 the input plates). FiguurActuatorSensor (Figures.cpp) shows them.
// Plain C++, no Qt.
#pragma once

#include <optional>
#include <string_view>

#include "trainer/core/StationModel.h"

namespace brimlink::trainer {

struct Figure {
  std::string_view picture;  // picture literal under "\Afbeeldingen\"
  std::string_view name;     // the frame's caption; also the key of the picture alternation
};

// The figure of point `index` in `view`; nothing for a point the view's table
// does not list. The interface view shows its connector panel for every point.
std::optional<Figure> FigureOf(View view, int index);

// Shown for a point without a figure.
inline constexpr std::string_view kNoFigureName = "Sensor / Actuator";
inline constexpr std::string_view kPanelFigureName = "I/O Aansluitpaneel";
inline constexpr std::string_view kPanelFigurePicture = "\\Afbeeldingen\\Multi Connector.bmp";

}  // namespace brimlink::trainer
