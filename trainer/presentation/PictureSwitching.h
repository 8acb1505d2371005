// The alternation of an actuator's figure with the valve that drives it, and
// the version box of Image1.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brimlink::trainer {

struct FigureStep {
  std::string_view picture;  // picture literal
  std::string_view name;     // the new OnderdeelNaam
};

// What a tick of Timer_Wissel_Afbeelding shows after the figure named `name`;
// nothing for a name outside the alternation.
std::optional<FigureStep> NextFigure(std::string_view name);

// The version box: a one-line maker's notice, CR, "Versie: " and the
// program's major.minor.revision.
std::string VersionBoxText();

}  // namespace brimlink::trainer
