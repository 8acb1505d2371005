#include "trainer/presentation/Beschrijving.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFont>
#include <QKeyEvent>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

#include "trainer/core/VbColour.h"

namespace brimlink::trainer {
namespace {

using Table = std::array<ComponentDescription, Beschrijving::kNumbers>;

constexpr std::string_view kSignalsPiston =
    "Geeft een signaal af, zodra de zuiger van de dubbelwerkende cilinder dichtbij de sensor komt";
constexpr std::string_view kPanel = "I/O aansluitpaneel";
constexpr std::string_view kPanelUse = "Elektrische aansluiting van sensoren en actuatoren";

constexpr Table kStapelMagazijn = {{
    {"Snelheidsregelventiel", "Snelheidsregeling van de cilinder"},
    {"Enkelwerkende cilinder", "Aandrukken van deksels"},
    {"Product montageplaats", "Plaats voor producten"},
    {kPanel, kPanelUse},
    {"4/2 Magneetventiel, bi-stabiel", "Aansturing van de dubbelwerkende cilinder"},
    {"4/2 Magneetventiel, monostabiel", "Aansturing van de enkelwerkende cilinder"},
    {"Dubbelwerkende cilinder", "Doorschuiven Magazijn voorraad"},
    {"Magnetische eindschakelaar", kSignalsPiston},
    {"3/2 stuurventiel, handbediend", "Afsluiten van de perslucht"},
    {"Kabelgoot", "Nette geleiding van elektrische bedrading"},
    {"Magazijn", "Opslag van producten"},
}};

// Numbers 9 to 11 carry nothing on the conveyor belt's photograph.
constexpr int kConveyorNumbers = 8;
constexpr std::array<ComponentDescription, kConveyorNumbers> kTransportband = {{
    {"Optische sensor.", "Neemt waar of producten aanwezig zijn aan het begin van de band."},
    {"Gelijkstroommotor (DC)", "Drijft de transportband aan (vooruit en achteruit)"},
    {"Relais.", "Sturen van de gelijkstroommotor."},
    {kPanel, kPanelUse},
    {"Elektromagnetische wissel/stopper", "Uitsorteren van producten maar de glijbaan."},
    {"Inductieve sensor.", "Waarnemen van metalen producten"},
    {"Glijbaan.", "Opslag van uitgesorteerde producten."},
    {"Kabelgoot.", "Nette geleiding van elektrische bedrading."},
}};

constexpr Table kStationHandling = {{
    {"Magnetische eindschakalaar (Steker)", kSignalsPiston},
    {"Dubbelwerkende cilinder met geleiding", "Pneumatische aandrijving voor de beweging in z-richting"},
    {"Grijper", "Oppakken van het product"},
    {"Plaats voor producten", "Plaats voor het oppakken, wegleggen of monteren van producten "},
    {kPanel, kPanelUse},
    {"Snelheidsregelventiel", "Snelheidsregeling van de cilinder"},
    {"Dubbelwerkende cilinder met geleiding", "Pneumatische aandrijving voor de beweging in x-richting"},
    {"Magnetische eindschakalaar", kSignalsPiston},
    {"Magneetventiel", "Aansturen van een cilinder"},
    {"3/2-Stuurventiel, handbediend", "Afsluiten van de perslucht"},
    {"Kabelgoot", "Nette geleiding van de elektrische bedrading"},
}};

// The close-up's literal up to the number.
std::string_view CloseUpPrefix(View view) {
  switch (view) {
    case View::StapelMagazijn:
      return "\\Afbeeldingen\\Station Stapel Magazijn cijfers";
    case View::Transportband:
      return "\\Afbeeldingen\\Station Transportband cijfers";
    case View::Stationhandling:
      return "\\Afbeeldingen\\Station Handling cijfers";
    default:
      return {};
  }
}

bool IsNumber(int number) { return number >= 1 && number <= Beschrijving::kNumbers; }

constexpr double kTwipsPerPixel = 15.0;
int Pixels(int twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

QFont WindowFont(double points) {
  QFont font(QStringLiteral("Comic Sans MS"));
  font.setFamilies({QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue")});
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(points * 96.0 / 72.0))));
  return font;
}

void Place(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Pixels(left), Pixels(top), Pixels(width), Pixels(height));
}

}  // namespace

std::optional<ComponentDescription> DescriptionOf(View view, int number) {
  if (!IsNumber(number)) return std::nullopt;
  const auto row = static_cast<std::size_t>(number - 1);
  switch (view) {
    case View::StapelMagazijn:
      return kStapelMagazijn[row];
    case View::Transportband:
      if (number > kConveyorNumbers) return std::nullopt;
      return kTransportband[row];
    case View::Stationhandling:
      return kStationHandling[row];
    default:
      return std::nullopt;
  }
}

std::string CloseUpLiteral(View view, int number) {
  const std::string_view prefix = CloseUpPrefix(view);
  if (prefix.empty() || !IsNumber(number)) return {};
  if (view == View::Transportband && number > kConveyorNumbers) return OverviewLiteral(view);
  return std::string(prefix) + (number < 10 ? " 0" : " ") + std::to_string(number) + ".jpg";
}

std::string OverviewLiteral(View view) {
  switch (view) {
    case View::StapelMagazijn:
      return "\\Afbeeldingen\\Station Stapel Magazijn cijfers.jpg";
    case View::Transportband:
      return "\\Afbeeldingen\\Station Transportband cijfers.jpg";
    case View::Stationhandling:
      return "\\Afbeeldingen\\Station Handling cijfers.jpg";
    default:
      return {};
  }
}

Beschrijving::Beschrijving() : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("Beschrijving"));
  setWindowTitle(QStringLiteral("Info"));
  setFixedSize(Pixels(3390), Pixels(3900));
  setFont(WindowFont(8.25));

  // The box is two lines high: the longer names ("Dubbelwerkende cilinder
  // met geleiding") need both.
  Text_Benaming = new QTextEdit(this);
  Text_Benaming->setObjectName(QStringLiteral("Text_Benaming"));
  Place(Text_Benaming, 180, 120, 3120, 855);
  Text_Benaming->setFont(WindowFont(kNamePoints));
  Text_Benaming->setAcceptRichText(false);
  Text_Benaming->setLineWrapMode(QTextEdit::WidgetWidth);
  Text_Benaming->setWordWrapMode(QTextOption::WordWrap);
  Text_Benaming->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text_Benaming->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text_Benaming->document()->setDocumentMargin(2);

  Text_Info = new QPlainTextEdit(this);
  Text_Info->setObjectName(QStringLiteral("Text_Info"));
  Place(Text_Info, 180, 1020, 3120, 1545);
  Text_Info->setFont(WindowFont(12));

  // Clicks, not toggles, are what count: a second click on the chosen
  // number must load its close-up again.
  numbers_ = new QButtonGroup(this);
  numbers_->setExclusive(true);
  for (int i = 1; i <= kNumbers; ++i) {
    auto* option = new QRadioButton(QString::number(i), this);
    option->setObjectName(QStringLiteral("Option_Nummers_%1").arg(i));
    const bool firstRow = i <= 7;
    const int position = firstRow ? i - 1 : i - 8;
    Place(option, 150 + 450 * position, firstRow ? 2700 : 3240, 400, 495);
    option->setFont(WindowFont(9.75));
    SetBackColour(option, 0x00C0E0FF);
    numbers_->addButton(option, i);
    Option_Nummers[static_cast<std::size_t>(i)] = option;
    connect(option, &QRadioButton::clicked, this, [this, i] {
      if (onNumberClicked) onNumberClicked(i);
    });
  }

  CMD_Close = new QPushButton(QStringLiteral("Sluiten"), this);
  CMD_Close->setObjectName(QStringLiteral("CMD_Close"));
  Place(CMD_Close, 1980, 3240, 1275, 495);
  SetBackColour(CMD_Close, 0x00C0FFC0);
  connect(CMD_Close, &QPushButton::clicked, this, [this] {
    if (onClose) onClose();
  });
}

void Beschrijving::ClearChoice() {
  Text_Benaming->clear();
  Text_Benaming->setFont(WindowFont(kNamePoints));
  Text_Info->clear();
  // An exclusive group keeps one button checked; let go of it for a moment.
  numbers_->setExclusive(false);
  for (int i = 1; i <= kNumbers; ++i) Option_Nummers[static_cast<std::size_t>(i)]->setChecked(false);
  numbers_->setExclusive(true);
}

void Beschrijving::ShowDescription(const std::optional<ComponentDescription>& description) {
  if (!description) {
    Text_Benaming->clear();
    Text_Benaming->setFont(WindowFont(kNamePoints));
    Text_Info->clear();
    return;
  }
  Text_Benaming->setPlainText(
      QString::fromUtf8(description->name.data(), static_cast<qsizetype>(description->name.size())));
  FitName();
  Text_Info->setPlainText(
      QString::fromUtf8(description->description.data(), static_cast<qsizetype>(description->description.size())));
}

// The design size while the name fits the box on its two lines, else the
// largest half point size down to kSmallestNamePoints that lets it fit.
void Beschrijving::FitName() {
  // The contents rectangle, not the viewport: that is laid out only when
  // the window is first shown. No scroll bar ever takes room from it.
  const QRect room = Text_Benaming->contentsRect();
  QTextDocument& document = *Text_Benaming->document();
  document.setTextWidth(room.width());
  for (double points = kNamePoints; points >= kSmallestNamePoints; points -= 0.5) {
    Text_Benaming->setFont(WindowFont(points));
    document.setDefaultFont(Text_Benaming->font());
    if (document.size().height() <= room.height() && document.idealWidth() <= room.width()) return;
  }
}

void Beschrijving::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    if (onClose) onClose();
    return;
  }
  QWidget::keyPressEvent(event);
}

// The window's own close button must not leave the full-screen view behind,
// disabled: it closes like "Sluiten".
void Beschrijving::closeEvent(QCloseEvent* event) {
  event->accept();
  if (onClose) onClose();
}

}  // namespace brimlink::trainer
