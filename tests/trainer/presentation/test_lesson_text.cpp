// The lesson text as it is printed on the sheet: every page's lines with
// their positions, colours and sizes, each line within its panel, and what
// the sheet actually shows.
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>

#include "trainer/core/TrainerBench.h"
#include "trainer/core/Layout.h"
#include "trainer/presentation/LessonText.h"
#include "trainer/presentation/SheetScroller.h"

namespace brimlink::trainertest {
namespace {

using trainer::LessonPage;
using trainer::PrintedLine;
using trainer::PrintPage;
using trainer::SheetLines;
using trainer::View;

constexpr trainer::VbColour kBody = 0x00400000;
constexpr trainer::VbColour kHeading = 0x00C37C00;
constexpr trainer::VbColour kRed = 0x000000FF;
constexpr int kPanel = 1815;
constexpr std::array kPanelStarts{90, 1905, 3720, 5535};

// A line as the page table gives it: where it starts (an absolute position,
// or a gap below the line before), its column, colour and size.
struct Expected {
  std::string text;
  int y;  // >= 0: absolute, twips
  int gap;  // with y < 0: twips between the previous line's end and this one
  int column;
  trainer::VbColour colour;
  int points;
};

Expected At(int y, std::string text, int column, trainer::VbColour colour, int points) {
  return {std::move(text), y, 0, column, colour, points};
}
Expected After(int gap, std::string text, int column, trainer::VbColour colour, int points) {
  return {std::move(text), -1, gap, column, colour, points};
}
Expected Body(std::string text) { return After(0, std::move(text), 1, kBody, 12); }
Expected BodyAt(int y, std::string text) { return At(y, std::move(text), 1, kBody, 12); }
Expected Subtitle() { return After(600, "Automatiseren voor het VMBO.", 25, kBody, 12); }
Expected Closing() { return After(600, "Lees verder in je boek.", 35, kRed, 12); }

int Twips(int pixels) { return pixels * 15; }
int LineHeight(int points) { return Twips(QFontMetrics(trainer::SheetFont(points)).height()); }
constexpr int kSheetPixels = 6255 / 15;
// The column's indent, or further left where the line would run past the
// sheet's right edge; never so far left that a letter's ink leaves the sheet.
int Indent(int column, int points, const std::string& text) {
  const QFont font = trainer::SheetFont(points);
  const QFontMetrics metrics(font);
  const int indent = (column - 1) * metrics.averageCharWidth();
  const int leftInk = std::max(0, -metrics.boundingRect(QString::fromStdString(text)).left());
  return Twips(std::max(leftInk, std::min(indent, kSheetPixels - trainer::LineExtent(font, text))));
}

void ExpectPage(const std::vector<PrintedLine>& lines, const std::vector<Expected>& expected) {
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const PrintedLine& line = lines[i];
    const Expected& want = expected[i];
    SCOPED_TRACE(want.text);
    EXPECT_EQ(line.text, want.text);
    EXPECT_EQ(line.colour, want.colour);
    EXPECT_EQ(line.points, want.points);
    EXPECT_EQ(line.height, LineHeight(line.points));
    EXPECT_EQ(line.x, Indent(want.column, want.points, want.text));
    if (want.y >= 0) {
      EXPECT_EQ(line.y, want.y);
    } else {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(line.y, lines[i - 1].y + lines[i - 1].height + want.gap);
    }
  }
}

std::vector<Expected> StapelMagazijn() {
  return {
      At(150, "Stapel magazijn.", 5, kHeading, 18),
      Subtitle(),
      BodyAt(1905, "Op het stapelmagazijn zitten 2 verschillende"),
      Body("cilinders. Dat zijn een"),
      After(120, "- enkelwerkende cilinder en een", 1, kBody, 12),
      Body("- dubbelwerkende cilinder."),
      BodyAt(3720, "Deze cilinders worden door 2 verschillende"),
      Body("ventielen gestuurd. Dat zijn een..."),
      After(120, "- monostabiel 4/2 ventiel en een", 1, kBody, 12),
      Body("- bistabiel 4/2 ventiel."),
      At(5535, "Stapelmagazijn.", 5, kHeading, 18),
      Closing(),
  };
}

std::vector<Expected> Transportband() {
  return {
      At(150, "Transportband.", 5, kHeading, 18),
      Subtitle(),
      BodyAt(1905, "De transportband werkt zonder perslucht."),
      After(120, "Er kunnen onderdelen mee verplaatst en gesorteerd", 1, kBody, 12),
      Body("worden."),
      Body("Verchroomde bakjes worden herkend."),
      At(3720, "Transportband.", 5, kHeading, 18),
      Closing(),
  };
}

std::vector<Expected> Stationhandling() {
  return {
      At(150, "Station handling.", 5, kHeading, 18),
      Subtitle(),
      BodyAt(1905, "Op het station handling zitten 2 bijzondere cilinders."),
      After(120, "Van gewone cilinders kan de zuigerstang draaien.", 1, kBody, 12),
      After(120, "De verticale cilinder zou dan zomaar scheef kunnen", 1, kBody, 12),
      Body("komen te staan."),
      BodyAt(3720, "Je ziet meteen dat ze niet rond maar vierkant zijn."),
      After(120, "Wanneer een cilinder uitgeschoven is kun je zien dat", 1, kBody, 12),
      Body("er 2 geleidestangen gemonteerd zijn."),
      After(120, "Die voorkomen dus dat de zuigerstang kan verdraaien.", 1, kBody, 12),
      At(5535, "Station handling.", 5, kHeading, 18),
      Closing(),
  };
}

std::vector<Expected> TransHandling() {
  return {
      At(150, "Transportband en station handling.", 2, kHeading, 18),
      Subtitle(),
  };
}

std::vector<Expected> Interfacing() {
  return {
      At(150, "Sorvik station besturing.", 5, kHeading, 18),
      After(600, "Lesmateriaal voor het VMBO.", 35, kBody, 10),
      BodyAt(1905, "Hierboven staat de Brimlink mini."),
      After(120, "Het is een apparaat dat elektrische signalen van en", 1, kBody, 12),
      Body("naar de computer kan sturen."),
      After(120, "We noemen dat een INTERFACE.", 1, kBody, 12),
      BodyAt(3720, "De interface zorgt er voor dat je met dit programma"),
      Body("de verschillende stations kunt aansturen."),
      After(120, "zo kun je op een eenvoudige manier ontdekken", 1, kBody, 12),
      Body("hoe de Sorvik stations werken."),
      At(5535, "Sorvik station besturing.", 5, kHeading, 18),
      Closing(),
  };
}

struct Page {
  const char* name;
  View view;
  QPushButton* Main::*button;
  std::vector<Expected> (*expected)();
  int closingPanel;  // 0-based; -1: no closing line
};

const std::vector<Page>& Pages() {
  static const std::vector<Page> pages = {
      {"stack magazine", View::StapelMagazijn, &Main::CMD_StapelMagazijn, StapelMagazijn, 3},
      {"conveyor", View::Transportband, &Main::CMD_Transportband, Transportband, 2},
      {"handling station", View::Stationhandling, &Main::CMD_Stationhandling, Stationhandling, 3},
      {"combined", View::TransHandling, &Main::CMD_TransHandling, TransHandling, -1},
      {"interface", View::Interfacing, &Main::CMD_Interfacing, Interfacing, 3},
  };
  return pages;
}

int PanelOf(int y) {
  for (int k = static_cast<int>(kPanelStarts.size()) - 1; k >= 0; --k)
    if (y >= kPanelStarts[static_cast<std::size_t>(k)]) return k;
  return -1;
}

TEST(LessonPages, EveryPagePrintsItsLinesWhereItsTableSays) {
  for (const Page& page : Pages()) {
    SCOPED_TRACE(page.name);
    ExpectPage(PrintPage(LessonPage(page.view)), page.expected());
  }
}

TEST(LessonPages, PanelsAreOneViewportApartAndEveryLineStaysInItsPanel) {
  for (std::size_t k = 1; k < kPanelStarts.size(); ++k) EXPECT_EQ(kPanelStarts[k] - kPanelStarts[k - 1], kPanel);
  for (const Page& page : Pages()) {
    SCOPED_TRACE(page.name);
    const std::vector<PrintedLine> lines = PrintPage(LessonPage(page.view));
    std::array<int, 4> perPanel{};
    for (const PrintedLine& line : lines) {
      SCOPED_TRACE(line.text);
      const int panel = PanelOf(line.y);
      ASSERT_GE(panel, 0);
      EXPECT_LE(line.y + line.height, kPanelStarts[static_cast<std::size_t>(panel)] + kPanel);
      ++perPanel[static_cast<std::size_t>(panel)];
    }
    const PrintedLine& last = lines.back();
    if (page.closingPanel < 0) {
      // Only the first panel: the heading and the subtitle.
      EXPECT_EQ(perPanel, (std::array<int, 4>{2, 0, 0, 0}));
      EXPECT_NE(last.colour, kRed);
    } else {
      EXPECT_EQ(last.colour, kRed);
      EXPECT_EQ(PanelOf(last.y), page.closingPanel);
      for (int k = 0; k <= page.closingPanel; ++k) EXPECT_GT(perPanel[static_cast<std::size_t>(k)], 0) << k;
      for (int k = page.closingPanel + 1; k < 4; ++k) EXPECT_EQ(perPanel[static_cast<std::size_t>(k)], 0) << k;
    }
  }
}

// Every line at the designed size, measured with the font the sheet really
// gets here (Comic Neue where Comic Sans MS is missing): its ink and its
// advance both lie between the sheet's edges, and the page's words are all
// printed, in their order, none changed.
TEST(LessonPages, EveryPrintedLineLiesWhollyOnTheSheet) {
  ASSERT_NE(trainer::FindLayoutRow("PictureTekst"), nullptr);
  EXPECT_EQ(trainer::FindLayoutRow("PictureTekst")->width, trainer::kSheetWidth);
  ASSERT_EQ(trainer::kSheetWidth / 15, kSheetPixels);
  for (const Page& page : Pages()) {
    SCOPED_TRACE(page.name);
    std::string printed;
    std::string given;
    for (const trainer::PrintStep& step : LessonPage(page.view))
      if (step.kind == trainer::PrintStep::Kind::Print) given += std::string(step.text) + ' ';
    for (const PrintedLine& line : PrintPage(LessonPage(page.view))) {
      const QFont font = trainer::SheetFont(line.points);
      SCOPED_TRACE(line.text + " in " + QFontInfo(font).family().toStdString());
      const QFontMetrics metrics(font);
      const QString text = QString::fromStdString(line.text);
      const QRect ink = metrics.boundingRect(text);
      ASSERT_EQ(line.x % 15, 0);
      const int left = line.x / 15;
      EXPECT_GE(left + std::min(0, ink.left()), 0);
      EXPECT_LE(left + ink.right() + 1, kSheetPixels);
      EXPECT_LE(left + metrics.horizontalAdvance(text), kSheetPixels);
      printed += line.text + ' ';
    }
    EXPECT_EQ(printed, given);
  }
}

// Pixels of the sheet as painted, in the given colour, between two heights in twips.
int PixelsOf(const QImage& sheet, trainer::VbColour colour, int fromTwips, int toTwips) {
  const QRgb wanted = trainer::ToQColor(colour).rgb();
  int count = 0;
  for (int y = std::max(0, fromTwips / 15); y < std::min(sheet.height(), toTwips / 15); ++y)
    for (int x = 0; x < sheet.width(); ++x)
      if (sheet.pixel(x, y) == wanted) ++count;
  return count;
}

QImage Painted(Main& main) { return main.PictureTekst->grab().toImage().convertToFormat(QImage::Format_RGB32); }

TEST(LessonSheet, EachViewPrintsItsPageFromThePanelShown) {
  qttest::Watchdog watchdog(30s);
  TrainerBench bench;
  Main& main = bench.Open();
  // At start the interface page is on the sheet.
  EXPECT_EQ(SheetLines(main).size(), Interfacing().size());
  for (const Page& page : Pages()) {
    SCOPED_TRACE(page.name);
    (main.*page.button)->click();
    ExpectPage(SheetLines(main), page.expected());

    const QImage sheet = Painted(main);
    EXPECT_EQ(sheet.pixel(sheet.width() - 1, sheet.height() - 1), trainer::ToQColor(kStationColour).rgb());
    // The heading's blue is in the first panel; red only where the closing line is.
    EXPECT_GT(PixelsOf(sheet, kHeading, 90, 90 + kPanel), 20);
    const PrintedLine& last = SheetLines(main).back();
    if (page.closingPanel >= 0) {
      EXPECT_GT(PixelsOf(sheet, kRed, last.y, last.y + last.height), 20);
      EXPECT_EQ(PixelsOf(sheet, kRed, 0, last.y), 0);
    } else {
      EXPECT_EQ(PixelsOf(sheet, kHeading, 90 + kPanel, 20235), 0);
      EXPECT_EQ(PixelsOf(sheet, kBody, 90 + kPanel, 20235), 0);
    }
  }
}

TEST(LessonSheet, NoMarkedStationLeavesTheSheetEmpty) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  main.CMD_Stationhandling->click();
  ASSERT_FALSE(SheetLines(main).empty());
  trainer::SetBackColour(main.CMD_Stationhandling, kButtonFace);
  main.PlaatsTekst();
  EXPECT_TRUE(SheetLines(main).empty());
  const QImage sheet = Painted(main);
  const QRgb back = trainer::ToQColor(kStationColour).rgb();
  int other = 0;
  for (int y = 0; y < sheet.height(); ++y)
    for (int x = 0; x < sheet.width(); ++x)
      if (sheet.pixel(x, y) != back) ++other;
  EXPECT_EQ(other, 0);
}

TEST(LessonSheet, RedrawingKeepsThePanelAndTakesTheFlashColour) {
  qttest::Watchdog watchdog(20s);
  TrainerBench bench;
  Main& main = bench.Open();
  trainer::SheetScroller::Of(main).SetDuration(0ms);
  main.CMD_StapelMagazijn->click();
  main.VerschuifTekst(0);
  main.VerschuifTekst(0);
  ASSERT_EQ(main.pictureTekstTop, -3630);
  const int y = main.PictureTekst->y();
  EXPECT_EQ(y, -3630 / 15);

  // "Terug" at the top flashes; here the page is redrawn on the flash colour in place.
  trainer::SetBackColour(main.PictureTekst, kFlashColour);
  main.PlaatsTekst();
  EXPECT_EQ(main.pictureTekstTop, -3630);
  EXPECT_EQ(main.PictureTekst->y(), y);
  ExpectPage(SheetLines(main), StapelMagazijn());
  const QImage sheet = Painted(main);
  EXPECT_EQ(sheet.pixel(sheet.width() - 1, sheet.height() - 1), trainer::ToQColor(kFlashColour).rgb());
  EXPECT_GT(PixelsOf(sheet, kBody, 3720, 3720 + kPanel), 20);
}

}  // namespace
}  // namespace brimlink::trainertest
