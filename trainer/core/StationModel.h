// The five views of the trainer as data: the six name tables, what each view
// uses and shows, and the two interlocks. Plain C++, no Qt.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace brimlink::trainer {

using NameTable = std::array<std::string, 8>;

struct NameTables {
  NameTable uitgangenStapelmagazijn;
  NameTable ingangenStapelmagazijn;
  NameTable uitgangenTransportband;
  NameTable ingangenTransportband;
  NameTable uitgangenHandling;
  NameTable ingangenHandling;
};

// The tables as start-up fills them: stored names, generic entries
// "Uitgang n" / "Ingang n" elsewhere.
NameTables BuildNameTables();

// "Uitgang " or "Ingang " followed by index + 1.
std::string GenericOutputName(int index);
std::string GenericInputName(int index);

// An output entry that contains "Uitgang" anywhere marks a spare output.
bool IsSpareOutput(std::string_view entry);

enum class View { StapelMagazijn, Transportband, Stationhandling, TransHandling, Interfacing };

// The three single stations.
struct SingleStation {
  View view;
  int inputsInUse;         // inputs 0..inputsInUse-1 are in use
  int outputsWithPlate;    // outputs 0..outputsWithPlate-1 carry KleurUitgang
  const NameTable* outputs;
  const NameTable* inputs;
  std::string_view frameModuleCaption;
  std::string_view filmpjeCaption;
  std::string_view photo;  // picture literal
};
// Null for the combined and the interface view.
std::optional<SingleStation> SingleStationOf(View view, const NameTables& tables);

// MuisStation codes of the station buttons.
int MouseCode(View view);

inline constexpr std::string_view kCaptionStapelMagazijn = "Stapel magazijn";
inline constexpr std::string_view kCaptionTransportband = "Transportband";
inline constexpr std::string_view kCaptionStationhandling = "Station handling";
inline constexpr std::string_view kCaptionTransHandling = "Interfacing Brimlink R8A";
inline constexpr std::string_view kCaptionInterfacing = "Interfacing Brimlink Mini";
inline constexpr std::string_view kFrameModuleDesignCaption = "Sorvik besturing met Brimlink Mini.";

inline constexpr std::string_view kPhotoTransHandling = "\\Afbeeldingen\\TransHandling.bmp";
inline constexpr std::string_view kPictureBrimlinkMini = "\\Afbeeldingen\\Brimlink mini.bmp";
inline constexpr std::string_view kPictureBrimlinkR16 = "\\Afbeeldingen\\Brimlink R16.bmp";
inline constexpr std::string_view kPictureBrimlinkR8A = "\\Afbeeldingen\\Brimlink R8A.bmp";
inline constexpr std::string_view kPictureCylinderStep = "\\Afbeeldingen\\Cilinder Dubbelwerkend ADN Bediend.bmp";

// The module picture and interface-button caption for a module type code;
// nothing for codes other than 1, 2 and 5.
struct ModulePresentation {
  std::string_view picture;
  std::string_view caption;
};
std::optional<ModulePresentation> ModulePresentationOf(int moduleType);

// The reason line when a click on output switch `output` (0..7) is refused:
// `on` tells whether the output is on now; the station is FrameModule's
// caption, compared exactly.
std::optional<std::string_view> InterlockReason(std::string_view frameModuleCaption, int output, bool on,
                                                int decimaalIn);

inline constexpr std::string_view kRefusalTitle = "Beweging iet toegestaan!";
// Reason, CR, CR, the fixed second line.
std::string RefusalText(std::string_view reason);
// The message shown when Connect finds nothing (lines separated by CR).
std::string NotFoundText();
inline constexpr std::string_view kProgramTitle = "BrimlinkMini Sorvik";

// "Verder": what a click does in a view at sheet top t (twips).
enum class ForwardAction { Nothing, Forward, Flash, CylinderStepThenForward };
ForwardAction ForwardActionFor(View view, int sheetTop);

// Sheet tops of the four text panels.
inline constexpr int kPanelStep = 1815;

}  // namespace brimlink::trainer
