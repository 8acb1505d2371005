// The presentation procedures of Main in their first form: the lesson sheet
// shows which view and which panel is on screen, the pointed I/O point is
// marked and named, the station buttons follow the mouse. The lesson texts,
// the component figures and the scaling of the layout build on these.
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include <array>
#include <string>

#include "trainer/core/Layout.h"
#include "trainer/core/Main.h"

namespace brimlink::trainer {

namespace {

constexpr std::array kAllViews{View::StapelMagazijn, View::Transportband, View::Stationhandling, View::TransHandling,
                               View::Interfacing};

constexpr int kPanelCount = 4;
constexpr int kFirstPanelTop = 90;  // twips; panel k starts one viewport height lower
constexpr VbColour kBodyColour = 0x00400000;
constexpr VbColour kHeadingColour = 0x00C37C00;
constexpr int kBodyPoints = 12;
constexpr int kHeadingPoints = 18;

constexpr const char* kNoFigureName = "Sensor / Actuator";

// Twips and points scale together: 96 dpi, whatever the screen reports.
QFont SheetFont(int points) {
  QFont font(QStringLiteral("Comic Sans MS"));
  font.setFamilies({QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue")});
  font.setPixelSize(points * 96 / 72);
  return font;
}

int TwipsToPixels(double twips) { return static_cast<int>(twips / Main::kTwipsPerPixel + 0.5); }

}  // namespace

void Main::PlaatsTekst() {
  if (PictureTekst == nullptr) return;
  const QSize size = PictureTekst->size();
  if (size.isEmpty()) {
    PictureTekst->clear();
    return;
  }
  QPixmap sheet(size);
  sheet.fill(ToQColor(BackColour(PictureTekst)));

  // With no station marked the sheet stays empty.
  if (SelectedView()) {
    const QString heading = FrameModule != nullptr ? FrameModule->title() : QString();
    QPainter painter(&sheet);
    for (int panel = 0; panel < kPanelCount; ++panel) {
      const int top = TwipsToPixels(kFirstPanelTop + panel * kPanelStep);
      const QFont headingFont = SheetFont(kHeadingPoints);
      painter.setFont(headingFont);
      painter.setPen(ToQColor(kHeadingColour));
      const int headingBase = top + QFontMetrics(headingFont).ascent();
      painter.drawText(TwipsToPixels(300), headingBase, heading);

      const QFont bodyFont = SheetFont(kBodyPoints);
      painter.setFont(bodyFont);
      painter.setPen(ToQColor(kBodyColour));
      painter.drawText(TwipsToPixels(300), headingBase + TwipsToPixels(600),
                       QStringLiteral("Stap %1 van %2").arg(panel + 1).arg(kPanelCount));
    }
  }
  PictureTekst->setPixmap(sheet);
}

void Main::VerschuifTekst(int upDown) {
  if (upDown == 0) {
    pictureTekstTop -= kPanelStep;
  } else if (upDown == 1) {
    pictureTekstTop += kPanelStep;
  } else {
    return;
  }
  PlaceSheet(*this);
  PlaatsTekst();
}

void Main::FiguurActuatorSensor(int index) {
  // The point marked before gets its plain colour back; a disabled one
  // shows button face.
  const int previous = HuidigOnderdeel;
  if (previous >= 0 && previous <= 7) {
    QPushButton* button = CMD_SetReset[static_cast<std::size_t>(previous)];
    SetBackColour(button, button->isEnabled() ? KleurUitgang : vb::kButtonFace);
  } else if (previous >= 8 && previous <= 15) {
    QWidget* plate = PictureLabelIngangen[static_cast<std::size_t>(previous - 8)];
    SetBackColour(plate, plate->isEnabled() ? KleurIngang : vb::kButtonFace);
  }

  // The mark goes on whether or not the point is in use.
  if (index >= 0 && index <= 7) {
    QPushButton* button = CMD_SetReset[static_cast<std::size_t>(index)];
    SetBackColour(button, KleurUitgangWijzer);
    OnderdeelNaam = button->text().toStdString();
  } else if (index >= 8 && index <= 15) {
    const auto input = static_cast<std::size_t>(index - 8);
    SetBackColour(PictureLabelIngangen[input], KleurIngangWijzer);
    OnderdeelNaam = Label_Ingang[input]->text().toStdString();
  } else {
    OnderdeelNaam = kNoFigureName;
  }

  const QString caption = QString::fromStdString(OnderdeelNaam);
  if (FrameSensorActuator->title() != caption) FrameSensorActuator->setTitle(caption);
  HuidigOnderdeel = static_cast<std::int16_t>(index);
}

void Main::KleurBeheer(int aktieCijfer) {
  switch (aktieCijfer) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 5:
      // The button under the mouse turns white; the others fall back to
      // button face. The selected station keeps its colour throughout.
      for (const View view : kAllViews) {
        QPushButton* button = StationButton(view);
        if (BackColour(button) == KleurStation) continue;
        SetBackColour(button, MouseCode(view) == aktieCijfer ? vb::kWhite : vb::kButtonFace);
      }
      break;
    case 10:
      for (const View view : kAllViews) {
        QPushButton* button = StationButton(view);
        if (BackColour(button) == vb::kWhite) SetBackColour(button, vb::kButtonFace);
      }
      MuisStation = -1;
      break;
    case 15: {
      // After a full reset: the first six points are named for the view again.
      const std::optional<View> view = SelectedView();
      if (!view || *view == View::TransHandling) break;
      const std::optional<SingleStation> station = SingleStationOf(*view, tables);
      for (int i = 0; i < 6; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const std::string output = station ? (*station->outputs)[k] : GenericOutputName(i);
        const std::string input = station ? (*station->inputs)[k] : GenericInputName(i);
        CMD_SetReset[k]->setText(QString::fromStdString(output));
        Label_Ingang[k]->setText(QString::fromStdString(input));
      }
      break;
    }
    default:
      break;
  }
}

// The designed geometry is captured and scaled by the layout; until then the
// window keeps its designed size.
void Main::ReloadPos() {}

}  // namespace brimlink::trainer
