// "Help" and "Filmpje": the help text of each view, built line by line with
// carriage returns, and the film of each station. A station's video address
// is a build setting (CMake cache variables BRIMLINK_VIDEO_TRANSPORTBAND,
// BRIMLINK_VIDEO_STATIONHANDLING, BRIMLINK_VIDEO_STAPELMAGAZIJN), empty by
// default; without one "Filmpje" plays the station's working cycle in its
// animated station window.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

#include "trainer/core/StationModel.h"

class QWidget;

namespace brimlink::stationview {
class StationFilm;
}

namespace brimlink::trainer {

struct HelpText {
  std::string title;
  std::string text;  // lines separated and ended by a lone CR
};

// Nothing for the combined view.
std::optional<HelpText> HelpFor(View view);

// True for an address on a host reserved for examples and tests, which
// never serves a video: example.org, example.com, example.net and their
// subdomains, and names under .example, .invalid and .test.
bool IsPlaceholderAddress(std::string_view address);

// The station's video address; nothing for the combined and the interface
// view, and nothing where none was configured or the address is a placeholder.
std::optional<std::string_view> VideoFor(View view);

// Opens the station's film window (a window of its own, owned by `owner`),
// or raises the one already open: one per station. The GUI thread's.
stationview::StationFilm& ShowStationFilm(QWidget& owner, View view, const QString& title);

}  // namespace brimlink::trainer
