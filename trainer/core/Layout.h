// The designed geometry of the main window: one row per control, in twips
// (15 twips = 1 pixel) relative to the control's container, with the design
// font size in points. The window is built from it at the designed size; the
// resize scaling recomputes every control from the same rows, so repeated
// resizing never accumulates rounding.
//
// Threads: GUI thread only.
#pragma once

#include <QFont>
#include <string>
#include <vector>

class QWidget;

namespace brimlink::trainer {

class Main;

struct LayoutRow {
  std::string name;  // the control's object name ("CMD_SetReset_0")
  double left;
  double top;
  double width;
  double height;
  double fontPoints;
  bool bold = false;
  const char* family = nullptr;  // null: the default sans family
};

// The designed client area of the window, in twips.
inline constexpr double kDesignClientWidth = 15000.0;
inline constexpr double kDesignClientHeight = 10500.0;

// Every control of Main, containers before their contents.
const std::vector<LayoutRow>& DesignLayout();

// The row of a control by object name; null when the design has none.
const LayoutRow* FindLayoutRow(const std::string& name);

// The font of a row at a vertical scale factor: points become pixels at
// 96 dpi, so fonts scale with the geometry whatever the screen's DPI.
QFont DesignFont(const LayoutRow& row, double scaleY = 1.0);

// Places a control by its row, scaled by sx / sy; rounds only here.
void ApplyLayoutRow(QWidget* widget, const LayoutRow& row, double scaleX = 1.0, double scaleY = 1.0);

// Moves the lesson sheet to Main::pictureTekstTop inside its viewport.
void PlaceSheet(Main& main);

}  // namespace brimlink::trainer
