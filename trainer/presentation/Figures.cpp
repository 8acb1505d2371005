// FiguurActuatorSensor: the pointed I/O point is marked, the point marked
// before gets its plain colour back, and the figure of the selected view's
// table is shown with its name as the frame's caption.
#include "trainer/presentation/Figures.h"

#include <array>
#include <span>

#include "trainer/core/Main.h"

namespace brimlink::trainer {

namespace {

struct FigureRow {
  int first;
  int last;
  Figure figure;
};

constexpr Figure kStopper{"\\Afbeeldingen\\Transportband Magneetspoel Stopper.bmp", "Magneetspoel stopper"};
constexpr Figure kMotor{"\\Afbeeldingen\\Transportband Elektro Motor.bmp", "Gelijkstroom motor"};
constexpr Figure kRelay{"\\Afbeeldingen\\Transportband Relais.bmp", "Motor relais"};
constexpr Figure kInductive{"\\Afbeeldingen\\Transportband Inductieve Sensor.bmp", "Inductieve sensor"};
constexpr Figure kOptical{"\\Afbeeldingen\\Transportband Optische Sensor.bmp", "Optische sensor"};
constexpr Figure kDoubleActing{"\\Afbeeldingen\\Cilinder dubbelwerkend.bmp", "Dubbelwerkende cilinder"};
constexpr Figure kSingleActing{"\\Afbeeldingen\\Cilinder enkelwerkend.bmp", "Enkelwerkende cilinder"};
// The stack magazine and the handling station share one magnetic sensor picture.
constexpr Figure kMagnetic{"\\Afbeeldingen\\Stapel magazijn Magnetische Sensor.bmp", "Magnetische sensor"};
constexpr Figure kGuidedDriven{"\\Afbeeldingen\\Cilinder Dubbelwerkend ADN Bediend.bmp",
                               "Dubbelwerkende cilinder ADN"};
constexpr Figure kGuided{"\\Afbeeldingen\\Cilinder Dubbelwerkend ADN.bmp", "Dubbelwerkende cilinder ADN"};
constexpr Figure kGripper{"\\Afbeeldingen\\Station handling Grijper.bmp", "Grijper"};

constexpr std::array kTransportband{
    FigureRow{0, 0, kStopper}, FigureRow{1, 1, kMotor}, FigureRow{2, 2, kRelay},
    FigureRow{8, 8, kInductive}, FigureRow{9, 9, kOptical},
};
constexpr std::array kStapelMagazijn{
    FigureRow{0, 1, kDoubleActing}, FigureRow{2, 2, kSingleActing},
    FigureRow{6, 6, kMagnetic},     FigureRow{8, 8, kMagnetic},
};
constexpr std::array kStationhandling{
    FigureRow{0, 0, kGuidedDriven}, FigureRow{2, 2, kGuidedDriven}, FigureRow{1, 1, kGuided},
    FigureRow{3, 3, kGuided},       FigureRow{4, 4, kGripper},      FigureRow{8, 11, kMagnetic},
};
constexpr std::array kTransHandling{
    FigureRow{0, 0, kStopper},      FigureRow{1, 1, kMotor},        FigureRow{2, 2, kRelay},
    FigureRow{3, 3, kGuidedDriven}, FigureRow{5, 5, kGuidedDriven}, FigureRow{4, 4, kGuided},
    FigureRow{6, 6, kGuided},       FigureRow{7, 7, kGripper},      FigureRow{8, 8, kInductive},
    FigureRow{9, 9, kOptical},      FigureRow{11, 14, kMagnetic},
};

std::optional<Figure> Find(std::span<const FigureRow> rows, int index) {
  for (const FigureRow& row : rows) {
    if (index >= row.first && index <= row.last) return row.figure;
  }
  return std::nullopt;
}

// The figures find the selected view in their own order, which differs from
// that of "Verder"; the first button carrying KleurStation decides.
std::optional<View> FigureView(const Main& main) {
  for (const View view :
       {View::Transportband, View::StapelMagazijn, View::Stationhandling, View::TransHandling, View::Interfacing}) {
    if (BackColour(main.StationButton(view)) == main.KleurStation) return view;
  }
  return std::nullopt;
}

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

std::optional<Figure> FigureOf(View view, int index) {
  switch (view) {
    case View::Transportband:
      return Find(kTransportband, index);
    case View::StapelMagazijn:
      return Find(kStapelMagazijn, index);
    case View::Stationhandling:
      return Find(kStationhandling, index);
    case View::TransHandling:
      return Find(kTransHandling, index);
    case View::Interfacing:
      return Figure{kPanelFigurePicture, kPanelFigureName};
  }
  return std::nullopt;
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
    SetBackColour(CMD_SetReset[static_cast<std::size_t>(index)], KleurUitgangWijzer);
  } else if (index >= 8 && index <= 15) {
    SetBackColour(PictureLabelIngangen[static_cast<std::size_t>(index - 8)], KleurIngangWijzer);
  }

  if (const std::optional<View> view = FigureView(*this)) {
    const std::optional<Figure> figure = FigureOf(*view, index);
    if (*view == View::Interfacing) {
      // One picture for every point: loaded once, not on every move.
      if (OnderdeelNaam != kPanelFigureName) {
        ImageSensorActuator->LoadPicture(figure->picture);
        OnderdeelNaam = std::string(figure->name);
      }
    } else if (figure) {
      ImageSensorActuator->LoadPicture(figure->picture);
      OnderdeelNaam = std::string(figure->name);
    } else {
      ImageSensorActuator->Clear();
      OnderdeelNaam = std::string(kNoFigureName);
    }
  }

  const QString caption = Text(OnderdeelNaam);
  if (FrameSensorActuator->title() != caption) FrameSensorActuator->setTitle(caption);
  HuidigOnderdeel = static_cast<std::int16_t>(index);
}

}  // namespace brimlink::trainer
