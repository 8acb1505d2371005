// The main window's construction: every control of the design under its
// name, its design caption and colours, and its place from the one layout
// table below (twips, relative to the control's container).
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <cmath>
#include <numbers>

#include "trainer/core/Layout.h"
#include "trainer/core/Main.h"
#include "trainer/presentation/DesignGeometry.h"
#include "trainer/presentation/FullScreen.h"
#include "trainer/presentation/SheetScroller.h"

namespace brimlink::trainer {

namespace {

constexpr double kPointsDefault = 8.25;  // the form's design font
constexpr double kPointsSmall = 7.5;     // station buttons: the longest caption must fit
constexpr double kPointsState = 9.75;    // the connection state
constexpr double kPointsSheet = 12.0;    // the lesson sheet ("Comic Sans MS")

std::string Indexed(const char* name, int index) { return std::string(name) + "_" + std::to_string(index); }

std::vector<LayoutRow> BuildDesignLayout() {
  // Designed for a 1000 x 700 pixel client area: the station buttons, the
  // inputs and the outputs down the left; the station photo, the lesson text
  // and the command row in the middle; the connection panel and the
  // component figure on the right.
  std::vector<LayoutRow> rows = {
      {"FrameMain", 0, 0, 15000, 10500, kPointsDefault},

      {"Frame_Sorvik_Buttons", 90, 90, 3105, 2910, kPointsDefault, true},
      {"CMD_StapelMagazijn", 120, 300, 2865, 450, kPointsSmall},
      {"CMD_Transportband", 120, 810, 2865, 450, kPointsSmall},
      {"CMD_Stationhandling", 120, 1320, 2865, 450, kPointsSmall},
      {"CMD_TransHandling", 120, 1830, 2865, 450, kPointsSmall},
      {"CMD_Interfacing", 120, 2340, 2865, 450, kPointsSmall},

      {"FrameIngangen", 90, 3090, 3105, 3615, kPointsDefault, true},
      {"FrameUitgangen", 90, 6795, 3105, 3615, kPointsDefault, true},

      {"FrameModule", 3270, 90, 6615, 6450, kPointsDefault, true},
      {"Image_Module_Holder", 90, 300, 6435, 5595, kPointsDefault},
      {"CMD_Filmpje", 3825, 5970, 2700, 390, kPointsDefault},

      {"FrameInstructie", 3270, 6630, 6615, 2250, kPointsDefault, true},
      {"PictureTekstKader", 60, 330, 6495, 1815, kPointsDefault},
      {"PictureTekst", 120, 0, 6255, 20235, kPointsSheet, false, "Comic Sans MS"},

      {"Frame7", 3270, 8970, 1350, 1440, kPointsDefault, true},
      {"CMD_ResetAlles", 165, 315, 1020, 1020, kPointsDefault},

      {"FrameCommand", 4695, 8970, 3750, 1440, kPointsDefault, true},
      {"CMD_Terug", 120, 330, 1710, 450, kPointsDefault},
      {"CMD_Verder", 1920, 330, 1710, 450, kPointsDefault},
      {"CMD_Help", 120, 870, 1710, 450, kPointsDefault},
      {"CMD_Afsluiten", 1920, 870, 1710, 450, kPointsDefault},

      {"Frame5", 8520, 8970, 1365, 1440, kPointsDefault, true},
      {"Image1", 195, 330, 960, 960, kPointsDefault},

      {"FrameBrimlink", 9960, 90, 4950, 4890, kPointsDefault, true},
      {"Brimlink1", 75, 300, 4800, 3180, kPointsDefault},
      {"Command1", 75, 3600, 1680, 420, kPointsDefault},
      {"Label2", 1845, 3690, 480, 240, kPointsDefault},
      {"Label_Compoort", 2325, 3690, 750, 240, kPointsDefault},
      {"Label3", 3135, 3690, 720, 240, kPointsDefault},
      {"Label_Modulenummer", 3855, 3690, 930, 240, kPointsDefault},
      {"CMD_Verbinding", 75, 4170, 2250, 600, kPointsDefault, true},
      {"Label_VerbindingKader", 2415, 4170, 2460, 600, kPointsDefault},
      {"Label_Verbinding", 2460, 4215, 2370, 510, kPointsState, true},

      {"FrameSensorActuator", 9960, 5070, 4950, 5340, kPointsDefault, true},
      {"ImageSensorActuator", 300, 600, 4350, 4350, kPointsDefault},
  };
  // One row per input and per output, 405 twips apart: a plate (with its
  // label) or a switch, and the lamp beside it.
  for (int i = 0; i < 8; ++i) {
    const double top = 300 + 405.0 * i;
    rows.push_back({Indexed("PictureLabelIngangen", i), 120, top, 2505, 360, kPointsDefault});
    rows.push_back({Indexed("Label_Ingang", i), 60, 45, 2385, 270, kPointsDefault});
    rows.push_back({Indexed("Shape_LampjeIn", i + 1), 2730, top + 45, 270, 270, 0});
  }
  for (int i = 0; i < 8; ++i) {
    const double top = 300 + 405.0 * i;
    rows.push_back({Indexed("CMD_SetReset", i), 120, top, 2505, 360, kPointsDefault});
    rows.push_back({Indexed("Shape_Lampje", i), 2730, top + 45, 270, 270, 0});
  }
  return rows;
}

int Pixels(double twips) { return static_cast<int>(std::lround(twips / Main::kTwipsPerPixel)); }

// The stop sign of the reset button: a red octagon with a white ring and
// "STOP" in white, on white.
QPixmap StopSign() {
  constexpr int kSide = 56;
  QPixmap picture(kSide, kSide);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);

  const auto octagon = [](double radius) {
    QPainterPath path;
    const QPointF centre(kSide / 2.0, kSide / 2.0);
    for (int corner = 0; corner < 8; ++corner) {
      // Turned by half a sector so that the top and bottom edges are flat.
      const double angle = std::numbers::pi / 8.0 + corner * std::numbers::pi / 4.0;
      const QPointF point = centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
      if (corner == 0) {
        path.moveTo(point);
      } else {
        path.lineTo(point);
      }
    }
    path.closeSubpath();
    return path;
  };
  const QColor red(204, 0, 0);
  painter.setPen(Qt::NoPen);
  painter.fillPath(octagon(27.5), red);
  painter.fillPath(octagon(25.0), Qt::white);
  painter.fillPath(octagon(23.0), red);

  QFont font;
  font.setPixelSize(14);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(0, 0, kSide, kSide), Qt::AlignCenter, QStringLiteral("STOP"));
  return picture;
}

template <typename T>
T* Make(QWidget* parent, const std::string& name) {
  auto* widget = new T(parent);
  const QString qname = QString::fromStdString(name);
  widget->setObjectName(qname);
  widget->setAccessibleName(qname);
  return widget;
}

QGroupBox* MakeFrame(QWidget* parent, const char* name, const QString& caption) {
  QGroupBox* frame = Make<QGroupBox>(parent, name);
  frame->setTitle(caption);
  SetBackColour(frame, vb::kButtonFace);
  return frame;
}

QPushButton* MakeButton(QWidget* parent, const std::string& name, const QString& caption,
                        VbColour back = vb::kButtonFace) {
  auto* button = Make<QPushButton>(parent, name);
  button->setText(caption);
  SetBackColour(button, back);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption) {
  QLabel* label = Make<QLabel>(parent, name);
  label->setText(caption);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

}  // namespace

const std::vector<LayoutRow>& DesignLayout() {
  static const std::vector<LayoutRow> rows = BuildDesignLayout();
  return rows;
}

const LayoutRow* FindLayoutRow(const std::string& name) {
  for (const LayoutRow& row : DesignLayout()) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

QFont DesignFont(const LayoutRow& row, double scaleY) {
  QFont font;
  if (row.family != nullptr) font.setFamily(QString::fromLatin1(row.family));
  const int pixels = static_cast<int>(std::lround(row.fontPoints * scaleY * 96.0 / 72.0));
  font.setPixelSize(std::max(1, pixels));
  font.setBold(row.bold);
  return font;
}

void ApplyLayoutRow(QWidget* widget, const LayoutRow& row, double scaleX, double scaleY) {
  if (widget == nullptr) return;
  // Edges are rounded rather than sizes, so that neighbours stay flush.
  const int left = Pixels(row.left * scaleX);
  const int top = Pixels(row.top * scaleY);
  const int right = Pixels((row.left + row.width) * scaleX);
  const int bottom = Pixels((row.top + row.height) * scaleY);
  widget->setGeometry(left, top, std::max(0, right - left), std::max(0, bottom - top));
  if (row.fontPoints > 0) widget->setFont(DesignFont(row, scaleY));
}

void PlaceSheet(Main& main) {
  if (main.PictureTekst == nullptr) return;
  main.PictureTekst->move(main.PictureTekst->x(), Pixels(main.pictureTekstTop));
}

Main::Main(MainEnvironment environment, QWidget* parent) : QWidget(parent), environment_(std::move(environment)) {
  BuildWindow();
  FormLoad();
  ConnectHandlers();
}

Main::~Main() {
  // The control goes first, while its window is still a live child here.
  control_.Release();
}

void Main::BuildWindow() {
  setObjectName(QStringLiteral("Main"));
  setAccessibleName(QStringLiteral("Main"));
  setWindowTitle(QStringLiteral("BrimlinkMini Controller Sorvik RESIZEABLE"));

  FrameMain = MakeFrame(this, "FrameMain", QString());

  // Station buttons, in the order of "Verder".
  Frame_Sorvik_Buttons = MakeFrame(FrameMain, "Frame_Sorvik_Buttons", QStringLiteral("Sorvik stations"));
  CMD_StapelMagazijn = MakeButton(Frame_Sorvik_Buttons, "CMD_StapelMagazijn", QStringLiteral("Stapel magazijn"));
  CMD_Transportband = MakeButton(Frame_Sorvik_Buttons, "CMD_Transportband", QStringLiteral("Transportband"));
  CMD_Stationhandling = MakeButton(Frame_Sorvik_Buttons, "CMD_Stationhandling", QStringLiteral("Station handling"));
  CMD_TransHandling = MakeButton(Frame_Sorvik_Buttons, "CMD_TransHandling",
                                 QStringLiteral("Transportband en Station handling"));
  CMD_Interfacing = MakeButton(Frame_Sorvik_Buttons, "CMD_Interfacing", QStringLiteral("Brimlink Mini"));

  // Inputs: a plate with the input's name and a lamp per row.
  FrameIngangen = MakeFrame(FrameMain, "FrameIngangen", QStringLiteral("Ingangen"));
  SetBackColour(FrameIngangen, 0x00C0FFC0);
  for (std::size_t i = 0; i < 8; ++i) {
    const int index = static_cast<int>(i);
    PictureLabelIngangen[i] = Make<QWidget>(FrameIngangen, Indexed("PictureLabelIngangen", index));
    SetBackColour(PictureLabelIngangen[i], 0x00C0FFC0);
    Label_Ingang[i] = Make<QLabel>(PictureLabelIngangen[i], Indexed("Label_Ingang", index));
    Label_Ingang[i]->setText(QStringLiteral("Ingang 1"));
    Label_Ingang[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetForeColour(Label_Ingang[i], vb::kButtonText);
    Shape_LampjeIn[i + 1] = Make<Lamp>(FrameIngangen, Indexed("Shape_LampjeIn", index + 1));
  }

  // Outputs: a switch and a lamp per row.
  FrameUitgangen = MakeFrame(FrameMain, "FrameUitgangen", QStringLiteral("Uitgangen"));
  SetBackColour(FrameUitgangen, 0x00EAD2AE);
  for (std::size_t i = 0; i < 8; ++i) {
    const int index = static_cast<int>(i);
    CMD_SetReset[i] = MakeButton(FrameUitgangen, Indexed("CMD_SetReset", index),
                                 QStringLiteral("Set uitgang %1").arg(index + 1), 0x00FFD2D2);
    Shape_Lampje[i] = Make<Lamp>(FrameUitgangen, Indexed("Shape_Lampje", index));
  }

  FrameModule = MakeFrame(FrameMain, "FrameModule", QString::fromUtf8(kFrameModuleDesignCaption.data(),
                                                                      kFrameModuleDesignCaption.size()));
  Image_Module_Holder = Make<ImageBox>(FrameModule, "Image_Module_Holder");
  CMD_Filmpje = MakeButton(FrameModule, "CMD_Filmpje", QStringLiteral("Filmpje"));
  CMD_Filmpje->setVisible(false);

  FrameInstructie = MakeFrame(FrameMain, "FrameInstructie", QStringLiteral("Instructie"));
  PictureTekstKader = Make<QWidget>(FrameInstructie, "PictureTekstKader");
  SetBackColour(PictureTekstKader, 0x0080FFFF);
  PictureTekst = Make<QLabel>(PictureTekstKader, "PictureTekst");
  PictureTekst->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetBackColour(PictureTekst, 0x0080FFFF);
  SetForeColour(PictureTekst, 0x00400000);
  TimerNVT = new QTimer(this);
  TimerNVT->setObjectName(QStringLiteral("TimerNVT"));
  TimerNVT->setInterval(1000);
  TimerNVT->setSingleShot(false);

  Frame7 = MakeFrame(FrameMain, "Frame7", QStringLiteral("Noodstop"));
  CMD_ResetAlles = MakeButton(Frame7, "CMD_ResetAlles", QString(), vb::kWhite);
  CMD_ResetAlles->setIcon(QIcon(StopSign()));
  CMD_ResetAlles->setIconSize(QSize(56, 56));
  CMD_ResetAlles->setToolTip(QStringLiteral("RESET alle uitgangen."));

  FrameCommand = MakeFrame(FrameMain, "FrameCommand", QStringLiteral("Command"));
  CMD_Terug = MakeButton(FrameCommand, "CMD_Terug", QStringLiteral("Terug"));
  CMD_Verder = MakeButton(FrameCommand, "CMD_Verder", QStringLiteral("Verder"));
  CMD_Help = MakeButton(FrameCommand, "CMD_Help", QStringLiteral("Help"));
  CMD_Afsluiten = MakeButton(FrameCommand, "CMD_Afsluiten", QStringLiteral("Afsluiten"));

  Frame5 = MakeFrame(FrameMain, "Frame5", QStringLiteral("About"));
  Image1 = Make<ImageBox>(Frame5, "Image1");
  Image1->setCursor(Qt::PointingHandCursor);

  // Connection panel: the control's own window, its about button, port and
  // module type, the connect button and the state on its coloured border.
  FrameBrimlink = MakeFrame(FrameMain, "FrameBrimlink", QStringLiteral("Brimlink Control"));
  Brimlink1 = Make<QWidget>(FrameBrimlink, "Brimlink1");
  Command1 = MakeButton(FrameBrimlink, "Command1", QStringLiteral("Kavro DLL versie"));
  Label2 = MakeLabel(FrameBrimlink, "Label2", QStringLiteral("Com:"));
  Label_Compoort = MakeLabel(FrameBrimlink, "Label_Compoort", QStringLiteral("-"));
  Label3 = MakeLabel(FrameBrimlink, "Label3", QStringLiteral("Module:"));
  Label_Modulenummer = MakeLabel(FrameBrimlink, "Label_Modulenummer", QStringLiteral("-"));
  CMD_Verbinding = MakeButton(FrameBrimlink, "CMD_Verbinding", QStringLiteral("Zoek en verbind"), 0x00C0FFC0);
  CMD_Verbinding->setToolTip(QStringLiteral("Maak een verbinding met de Brimlink"));
  Label_VerbindingKader = MakeLabel(FrameBrimlink, "Label_VerbindingKader", QString());
  SetBackColour(Label_VerbindingKader, vb::kGrey);
  Label_Verbinding = MakeLabel(FrameBrimlink, "Label_Verbinding", QStringLiteral("Niet verbonden"));
  Label_Verbinding->setAlignment(Qt::AlignCenter);
  SetBackColour(Label_Verbinding, vb::kGrey);
  SetForeColour(Label_Verbinding, vb::kWhite);

  FrameSensorActuator = MakeFrame(FrameMain, "FrameSensorActuator", QStringLiteral("I/O Aansluitpaneel"));
  ImageSensorActuator = Make<ImageBox>(FrameSensorActuator, "ImageSensorActuator");
  Timer_Wissel_Afbeelding = new QTimer(this);
  Timer_Wissel_Afbeelding->setObjectName(QStringLiteral("Timer_Wissel_Afbeelding"));
  Timer_Wissel_Afbeelding->setInterval(5000);
  Timer_Wissel_Afbeelding->setSingleShot(false);

  for (const LayoutRow& row : DesignLayout()) {
    ApplyLayoutRow(findChild<QWidget*>(QString::fromStdString(row.name)), row);
  }
  setFont(DesignFont({"Main", 0, 0, kDesignClientWidth, kDesignClientHeight, kPointsDefault}));

  // Mouse movement reaches the handlers through the event filter, also
  // while no mouse button is down.
  std::vector<QWidget*> tracked{CMD_StapelMagazijn, CMD_Transportband, CMD_Stationhandling,
                                CMD_TransHandling,  CMD_Interfacing,   Frame_Sorvik_Buttons};
  tracked.insert(tracked.end(), Label_Ingang.begin(), Label_Ingang.end());
  tracked.insert(tracked.end(), CMD_SetReset.begin(), CMD_SetReset.end());
  for (QWidget* widget : tracked) {
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
  }
  for (QWidget* widget : std::initializer_list<QWidget*>{FrameBrimlink, Image1, Image_Module_Holder}) {
    widget->installEventFilter(this);
  }

  // The designed client area, centred on the screen.
  resize(Pixels(kDesignClientWidth), Pixels(kDesignClientHeight));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

}  // namespace brimlink::trainer
