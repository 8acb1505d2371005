#include "trainer/presentation/PictureSwitching.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <array>

#include "trainer/core/Main.h"

namespace brimlink::trainer {

namespace {

struct Alternation {
  std::string_view current;
  FigureStep next;
};

constexpr std::string_view kMonostable = "\\Afbeeldingen\\Stapel magazijn 4-2 Ventiel Mono stabiel.bmp";
constexpr std::string_view kBistable = "\\Afbeeldingen\\Stapel magazijn 4-2 Ventiel Bistabiel.bmp";

constexpr std::array<Alternation, 8> kAlternations{{
    {"Enkelwerkende cilinder", {kMonostable, "4-2 Ventiel monostabiel"}},
    {"Dubbelwerkende cilinder", {kBistable, "4-2 Ventiel bistabiel"}},
    {"Dubbelwerkende cilinder ADN", {kBistable, "4-2 Ventiel bistabiel ADN"}},
    {"Grijper", {kMonostable, "4-2 Ventiel Mono stabiel Grijper"}},
    {"4-2 Ventiel monostabiel", {"\\Afbeeldingen\\Cilinder Enkelwerkend.bmp", "Enkelwerkende cilinder"}},
    {"4-2 Ventiel bistabiel", {"\\Afbeeldingen\\Cilinder dubbelwerkend.bmp", "Dubbelwerkende cilinder"}},
    {"4-2 Ventiel bistabiel ADN", {"\\Afbeeldingen\\Cilinder Dubbelwerkend ADN.bmp", "Dubbelwerkende cilinder ADN"}},
    {"4-2 Ventiel Mono stabiel Grijper", {"\\Afbeeldingen\\Station handling Grijper.bmp", "Grijper"}},
}};

constexpr std::string_view kMakersNotice = "BrimlinkMini Sorvik, trainer voor de Sorvik stations.";

}  // namespace

std::optional<FigureStep> NextFigure(std::string_view name) {
  for (const Alternation& a : kAlternations)
    if (a.current == name) return a.next;
  return std::nullopt;
}

std::string VersionBoxText() {
  return std::string(kMakersNotice) + "\rVersie: " + BRIMLINK_TRAINER_VERSION;
}

void Main::Timer_Wissel_Afbeelding_Timer() {
  if (const auto next = NextFigure(OnderdeelNaam)) {
    ImageSensorActuator->LoadPicture(next->picture);
    OnderdeelNaam = next->name;
  }
  FrameSensorActuator->setTitle(QString::fromStdString(OnderdeelNaam));
}

void Main::Image1_Click() {
  const std::string title = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
  const std::string text = VersionBoxText();
  if (environment_.showInformation) {
    environment_.showInformation(title, text);
  } else {
    ShowMessage(title, text);
  }
}

}  // namespace brimlink::trainer
