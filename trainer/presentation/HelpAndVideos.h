// "Help" and "Filmpje": the help text of each view, built line by line with
// carriage returns, and the video address of each station. The addresses are
// build settings (CMake cache variables BRIMLINK_VIDEO_TRANSPORTBAND,
// BRIMLINK_VIDEO_STATIONHANDLING, BRIMLINK_VIDEO_STAPELMAGAZIJN).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "trainer/core/StationModel.h"

namespace brimlink::trainer {

struct HelpText {
  std::string title;
  std::string text;  // lines separated and ended by a lone CR
};

// Nothing for the combined view.
std::optional<HelpText> HelpFor(View view);

// Nothing for the combined and the interface view.
std::optional<std::string_view> VideoFor(View view);

}  // namespace brimlink::trainer
