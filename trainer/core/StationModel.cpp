#include "trainer/core/StationModel.h"

namespace brimlink::trainer {

std::string GenericOutputName(int index) { return "Uitgang " + std::to_string(index + 1); }
std::string GenericInputName(int index) { return "Ingang " + std::to_string(index + 1); }

bool IsSpareOutput(std::string_view entry) { return entry.find("Uitgang") != std::string_view::npos; }

NameTables BuildNameTables() {
  NameTables t;
  for (int i = 0; i < 8; ++i) {
    const auto k = static_cast<std::size_t>(i);
    for (NameTable* table : {&t.uitgangenStapelmagazijn, &t.uitgangenTransportband, &t.uitgangenHandling})
      (*table)[k] = GenericOutputName(i);
    for (NameTable* table : {&t.ingangenStapelmagazijn, &t.ingangenTransportband, &t.ingangenHandling})
      (*table)[k] = GenericInputName(i);
  }
  t.uitgangenStapelmagazijn[0] = "Doorvoercilinder (uit)";
  t.uitgangenStapelmagazijn[1] = "Doorvoercilinder (in)";
  t.uitgangenStapelmagazijn[2] = "Aandrukcilinder";
  t.ingangenStapelmagazijn[0] = "Eindschakelaar cilinder 1A";

  t.uitgangenTransportband[0] = "Magneetspoel stopper";
  t.uitgangenTransportband[1] = "Gelijkstroom motor";
  t.uitgangenTransportband[2] = "Motor relais";
  t.ingangenTransportband[0] = "Inductieve sensor";
  t.ingangenTransportband[1] = "Optische sensor";

  t.uitgangenHandling[0] = "Verplaatscilinder (uit)";
  t.uitgangenHandling[1] = "Verplaatscilinder (in)";
  t.uitgangenHandling[2] = "Grijpercilinder (uit)";
  t.uitgangenHandling[3] = "Grijpercilinder (in)";
  t.uitgangenHandling[4] = "Grijper";
  t.ingangenHandling[0] = "Eindschakelaar cil. 1 Achter";
  t.ingangenHandling[1] = "Eindschakelaar cil. 1 Voor";
  t.ingangenHandling[2] = "Eindschakelaar cil. 2 Boven";
  t.ingangenHandling[3] = "Eindschakelaar cil. 2 Onder";
  return t;
}

std::optional<SingleStation> SingleStationOf(View view, const NameTables& tables) {
  switch (view) {
    case View::StapelMagazijn:
      return SingleStation{view, 1, 3, &tables.uitgangenStapelmagazijn, &tables.ingangenStapelmagazijn,
                           kCaptionStapelMagazijn, "Filmpje Stapel magazijn",
                           "\\Afbeeldingen\\Stapel magazijn org.bmp"};
    case View::Transportband:
      return SingleStation{view, 2, 3, &tables.uitgangenTransportband, &tables.ingangenTransportband,
                           kCaptionTransportband, "Filmpje Transportband", "\\Afbeeldingen\\Transportband org.bmp"};
    case View::Stationhandling:
      return SingleStation{view, 4, 5, &tables.uitgangenHandling, &tables.ingangenHandling,
                           kCaptionStationhandling, "Filmpje Station handling",
                           "\\Afbeeldingen\\Station handling org.bmp"};
    default:
      return std::nullopt;
  }
}

int MouseCode(View view) {
  switch (view) {
    case View::Transportband:
      return 0;
    case View::StapelMagazijn:
      return 1;
    case View::Stationhandling:
      return 2;
    case View::TransHandling:
      return 3;
    case View::Interfacing:
      return 5;
  }
  return -1;
}

std::optional<ModulePresentation> ModulePresentationOf(int moduleType) {
  switch (moduleType) {
    case 1:
      return ModulePresentation{kPictureBrimlinkR16, "Brimlink R16"};
    case 2:
      return ModulePresentation{kPictureBrimlinkR8A, "Brimlink R8A"};
    case 5:
      return ModulePresentation{kPictureBrimlinkMini, "Brimlink Mini"};
    default:
      return std::nullopt;
  }
}

std::optional<std::string_view> InterlockReason(std::string_view frameModuleCaption, int output, bool on,
                                                int decimaalIn) {
  if (!on && frameModuleCaption == kCaptionStapelMagazijn && output == 0 && (decimaalIn & 0x01) != 0)
    return "De aandrukcilinder is uitgeschoven.";
  if (frameModuleCaption == kCaptionStationhandling && (output == 0 || output == 1) && (decimaalIn & 0x08) != 0)
    return "De grijpercilinder is uitgeschoven.";
  return std::nullopt;
}

std::string RefusalText(std::string_view reason) {
  return std::string(reason) + "\r\rHorizontaal mag de grijper nu niet verplaatst worden.";
}

std::string NotFoundText() {
  return "De interface is niet gevonden.\r---------------------\r\rOnder Windows 7 & 8 moet de compabititeits "
         "modus\ringesteld worden op WinXP sp3.";
}

ForwardAction ForwardActionFor(View view, int sheetTop) {
  const bool panel2 = sheetTop == -kPanelStep;
  const bool panel3 = sheetTop == -2 * kPanelStep;
  const bool panel4 = sheetTop == -3 * kPanelStep;
  switch (view) {
    case View::StapelMagazijn:
    case View::Interfacing:
      return panel4 ? ForwardAction::Flash : ForwardAction::Forward;
    case View::Transportband:
      return panel3 ? ForwardAction::Flash : ForwardAction::Forward;
    case View::Stationhandling:
      if (panel2) return ForwardAction::CylinderStepThenForward;
      return panel4 ? ForwardAction::Flash : ForwardAction::Forward;
    case View::TransHandling:
      return panel4 ? ForwardAction::Flash : ForwardAction::Nothing;
  }
  return ForwardAction::Nothing;
}

}  // namespace brimlink::trainer
