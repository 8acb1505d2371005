// The lesson text of each view as print steps, and the lines they print on
// the sheet PictureTekst.
//
// The sheet is printed like a picture box: each string starts a new line at
// the current print position, indented to its column, in the current colour
// and size, and moves the position down by the height of that font. The
// column is where a line starts only while the whole line still fits on the
// sheet: the font actually used (Comic Neue where Comic Sans MS is missing)
// is wider than the one the columns were chosen for, so a line that would
// run past the right edge starts further left, just far enough to end on
// the sheet; a line wider than the sheet is wrapped between words. Positions
// are twips at the designed size, fonts are points at 96 dpi; the text keeps
// both when the window is scaled.
//
// Threads: GUI thread only.
#pragma once

#include <QFont>
#include <string>
#include <string_view>
#include <vector>

#include "trainer/core/StationModel.h"
#include "trainer/core/VbColour.h"

namespace brimlink::trainer {

class Main;

struct PrintStep {
  enum class Kind { SetY, MoveY, Colour, Size, Print };
  Kind kind;
  int value = 0;  // SetY, MoveY: twips; Colour: a VbColour; Size: points
  std::string_view text = {};
  int column = 1;  // Print: column 1 is the left edge
};

// The page of a view, top to bottom.
const std::vector<PrintStep>& LessonPage(View view);

struct PrintedLine {
  std::string text;
  int x;       // twips from the sheet's left edge
  int y;       // twips from the sheet's top: the top of the line
  int height;  // twips the line moved the print position down
  VbColour colour;
  int points;
};

// Where each line of a page lands, from the first print position (90 twips,
// body colour, 12 points). A wrapped string gives several lines.
std::vector<PrintedLine> PrintPage(const std::vector<PrintStep>& page);

// The sheet's font at a size: "Comic Sans MS", or Comic Neue where it is missing.
QFont SheetFont(int points);

// The lines PlaatsTekst printed last (empty before the first call and when no
// view is selected).
const std::vector<PrintedLine>& SheetLines(const Main& main);

// How far a printed string reaches from its start, in pixels: its advance or
// its ink, whichever ends further right.
int LineExtent(const QFont& font, std::string_view text);

inline constexpr int kSheetFirstLine = 90;  // twips
inline constexpr int kSheetWidth = 6255;    // twips, PictureTekst at the designed size
inline constexpr VbColour kSheetBodyColour = 0x00400000;
inline constexpr VbColour kSheetHeadingColour = 0x00C37C00;
inline constexpr VbColour kSheetClosingColour = 0x000000FF;
inline constexpr int kSheetBodyPoints = 12;
inline constexpr int kSheetHeadingPoints = 18;

}  // namespace brimlink::trainer
