// PlaatsTekst: the lesson page of the selected view, printed on the sheet.
// The printed lines are kept with the sheet and painted from its paint
// handler, so the text stays when the sheet is covered, moved or recoloured.
#include "trainer/presentation/LessonText.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QWidget>
#include <QStringList>
#include <algorithm>
#include <initializer_list>

#include "trainer/core/Main.h"
#include "trainer/presentation/SheetScroller.h"

namespace brimlink::trainer {

namespace {

using Kind = PrintStep::Kind;
using Steps = std::vector<PrintStep>;

PrintStep SetY(int twips) { return {Kind::SetY, twips}; }
PrintStep MoveY(int twips) { return {Kind::MoveY, twips}; }
PrintStep Colour(VbColour colour) { return {Kind::Colour, static_cast<int>(colour)}; }
PrintStep Size(int points) { return {Kind::Size, points}; }
PrintStep Print(std::string_view text, int column = 1) { return {Kind::Print, 0, text, column}; }

// The colour and size of what follows a heading are set by the next step.
Steps Heading(std::string_view text, int column) {
  return {Colour(kSheetHeadingColour), Size(kSheetHeadingPoints), Print(text, column)};
}
Steps Subtitle() {
  return {Colour(kSheetBodyColour), Size(kSheetBodyPoints), MoveY(600), Print("Automatiseren voor het VMBO.", 25)};
}
Steps Closing() {
  return {Colour(kSheetClosingColour), Size(kSheetBodyPoints), MoveY(600), Print("Lees verder in je boek.", 35)};
}

Steps Join(std::initializer_list<Steps> parts) {
  Steps page;
  for (const Steps& part : parts) page.insert(page.end(), part.begin(), part.end());
  return page;
}

Steps StapelMagazijnPage() {
  return Join({
      {SetY(150)},
      Heading("Stapel magazijn.", 5),
      Subtitle(),
      {SetY(1905), Print("Op het stapelmagazijn zitten 2 verschillende"), Print("cilinders. Dat zijn een")},
      {MoveY(120), Print("- enkelwerkende cilinder en een"), Print("- dubbelwerkende cilinder.")},
      {SetY(3720), Print("Deze cilinders worden door 2 verschillende"), Print("ventielen gestuurd. Dat zijn een...")},
      {MoveY(120), Print("- monostabiel 4/2 ventiel en een"), Print("- bistabiel 4/2 ventiel.")},
      {SetY(5535)},
      Heading("Stapelmagazijn.", 5),
      Closing(),
  });
}

Steps TransportbandPage() {
  return Join({
      {SetY(150)},
      Heading("Transportband.", 5),
      Subtitle(),
      {SetY(1905), Print("De transportband werkt zonder perslucht.")},
      {MoveY(120), Print("Er kunnen onderdelen mee verplaatst en gesorteerd"), Print("worden."),
       Print("Verchroomde bakjes worden herkend.")},
      {SetY(3720)},
      Heading("Transportband.", 5),
      Closing(),
  });
}

Steps StationhandlingPage() {
  return Join({
      {SetY(150)},
      Heading("Station handling.", 5),
      Subtitle(),
      {SetY(1905), Print("Op het station handling zitten 2 bijzondere cilinders.")},
      {MoveY(120), Print("Van gewone cilinders kan de zuigerstang draaien.")},
      {MoveY(120), Print("De verticale cilinder zou dan zomaar scheef kunnen"), Print("komen te staan.")},
      {SetY(3720), Print("Je ziet meteen dat ze niet rond maar vierkant zijn.")},
      {MoveY(120), Print("Wanneer een cilinder uitgeschoven is kun je zien dat"),
       Print("er 2 geleidestangen gemonteerd zijn.")},
      {MoveY(120), Print("Die voorkomen dus dat de zuigerstang kan verdraaien.")},
      {SetY(5535)},
      Heading("Station handling.", 5),
      Closing(),
  });
}

Steps TransHandlingPage() {
  return Join({
      {SetY(150)},
      Heading("Transportband en station handling.", 2),
      Subtitle(),
  });
}

Steps InterfacingPage() {
  return Join({
      {SetY(150)},
      Heading("Sorvik station besturing.", 5),
      {MoveY(600), Colour(kSheetBodyColour), Size(10), Print("Lesmateriaal voor het VMBO.", 35),
       Size(kSheetBodyPoints)},
      {SetY(1905), Print("Hierboven staat de Brimlink mini.")},
      {MoveY(120), Print("Het is een apparaat dat elektrische signalen van en"), Print("naar de computer kan sturen.")},
      {MoveY(120), Print("We noemen dat een INTERFACE.")},
      {SetY(3720), Print("De interface zorgt er voor dat je met dit programma"),
       Print("de verschillende stations kunt aansturen.")},
      {MoveY(120), Print("zo kun je op een eenvoudige manier ontdekken"), Print("hoe de Sorvik stations werken.")},
      // Each station page repeats its own name here; so does this one.
      {SetY(5535)},
      Heading("Sorvik station besturing.", 5),
      Closing(),
  });
}

constexpr int kTwipsPerPixel = static_cast<int>(Main::kTwipsPerPixel);
constexpr int kSheetPixels = kSheetWidth / kTwipsPerPixel;

int Extent(const QFontMetrics& metrics, const QString& text) {
  return std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right() + 1);
}

// The string as lines that fit the sheet's width, broken between words; a
// single word wider than the sheet stays whole (no lesson text has one).
QStringList WrapToSheet(const QFontMetrics& metrics, const QString& text) {
  if (Extent(metrics, text) <= kSheetPixels) return {text};
  QStringList lines;
  QString line;
  for (const QString& word : text.split(QLatin1Char(' '))) {
    const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
    if (!line.isEmpty() && Extent(metrics, longer) > kSheetPixels) {
      lines.push_back(line);
      line = word;
    } else {
      line = longer;
    }
  }
  lines.push_back(line);
  return lines;
}

// Keeps the printed lines of the sheet and paints them over its back colour.
class SheetPainter final : public QObject {
  Q_OBJECT
 public:
  explicit SheetPainter(QWidget* sheet) : QObject(sheet) {
    setObjectName(QStringLiteral("SheetPainter"));
    sheet->installEventFilter(this);
  }

  std::vector<PrintedLine> lines;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    auto* sheet = static_cast<QWidget*>(watched);
    QPainter painter(sheet);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const PrintedLine& line : lines) {
      const QFont font = SheetFont(line.points);
      painter.setFont(font);
      painter.setPen(ToQColor(line.colour));
      painter.drawText(line.x / kTwipsPerPixel, line.y / kTwipsPerPixel + QFontMetrics(font).ascent(),
                       QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.text.size())));
    }
    // The back colour is the style's; the label itself shows nothing.
    return true;
  }
};

SheetPainter* PainterOf(const QWidget* sheet) {
  return sheet == nullptr ? nullptr : sheet->findChild<SheetPainter*>(QString(), Qt::FindDirectChildrenOnly);
}

}  // namespace

const std::vector<PrintStep>& LessonPage(View view) {
  static const Steps stapelMagazijn = StapelMagazijnPage();
  static const Steps transportband = TransportbandPage();
  static const Steps stationhandling = StationhandlingPage();
  static const Steps transHandling = TransHandlingPage();
  static const Steps interfacing = InterfacingPage();
  switch (view) {
    case View::StapelMagazijn:
      return stapelMagazijn;
    case View::Transportband:
      return transportband;
    case View::Stationhandling:
      return stationhandling;
    case View::TransHandling:
      return transHandling;
    case View::Interfacing:
      break;
  }
  return interfacing;
}

QFont SheetFont(int points) {
  QFont font(QStringLiteral("Comic Sans MS"));
  font.setFamilies({QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue")});
  font.setPixelSize(points * 96 / 72);
  return font;
}

std::vector<PrintedLine> PrintPage(const std::vector<PrintStep>& page) {
  std::vector<PrintedLine> lines;
  int y = kSheetFirstLine;
  VbColour colour = kSheetBodyColour;
  int points = kSheetBodyPoints;
  for (const PrintStep& step : page) {
    switch (step.kind) {
      case Kind::SetY:
        y = step.value;
        break;
      case Kind::MoveY:
        y += step.value;
        break;
      case Kind::Colour:
        colour = static_cast<VbColour>(step.value);
        break;
      case Kind::Size:
        points = step.value;
        break;
      case Kind::Print: {
        // Whole pixels, so that twips convert back exactly.
        const QFontMetrics metrics(SheetFont(points));
        const int indent = (step.column - 1) * metrics.averageCharWidth();
        const int height = metrics.height() * kTwipsPerPixel;
        const QString text = QString::fromUtf8(step.text.data(), static_cast<qsizetype>(step.text.size()));
        for (const QString& piece : WrapToSheet(metrics, text)) {
          const int leftInk = std::max(0, -metrics.boundingRect(piece).left());
          const int x = std::max(leftInk, std::min(indent, kSheetPixels - Extent(metrics, piece)));
          lines.push_back({piece.toStdString(), x * kTwipsPerPixel, y, height, colour, points});
          y += height;
        }
        break;
      }
    }
  }
  return lines;
}

int LineExtent(const QFont& font, std::string_view text) {
  return Extent(QFontMetrics(font), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

const std::vector<PrintedLine>& SheetLines(const Main& main) {
  static const std::vector<PrintedLine> none;
  const SheetPainter* painter = PainterOf(main.PictureTekst);
  return painter == nullptr ? none : painter->lines;
}

void Main::PlaatsTekst() {
  if (PictureTekst == nullptr) return;
  // A scroll under way towards a top that has since been set elsewhere ends here.
  if (sheetScroller_ != nullptr) sheetScroller_->Follow();

  SheetPainter* painter = PainterOf(PictureTekst);
  if (painter == nullptr) {
    PictureTekst->clear();
    painter = new SheetPainter(PictureTekst);
  }
  // The stack magazine's page goes first, as "Verder" finds the view.
  const std::optional<View> view = SelectedView();
  painter->lines = view ? PrintPage(LessonPage(*view)) : std::vector<PrintedLine>{};
  PictureTekst->update();
}

}  // namespace brimlink::trainer

#include "LessonText.moc"
