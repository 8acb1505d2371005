// Command line of brimlink-sim. Parsing never prints and never exits, so the
// tests can call it; main turns an error into a message and exit code 2.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::simtool {

// The station a module can run (--station): its inputs are the module's input
// word 0, its outputs the module's output word 0.
enum class StationKind { Stack, Belt, Handling, BeltHandling };

// "stack", "belt", "handling", "belt-handling" (any letter case).
std::optional<StationKind> ParseStationKind(std::string_view text);
// The command-line name, "belt-handling".
std::string_view StationKindName(StationKind kind);
// The name the trainer gives the station, "Stapel magazijn".
std::string_view StationCaption(StationKind kind);

// One module as the command line describes it. Unset values follow the model
// (ModuleConfig::Defaults), so the order of the options after --com does not
// matter.
struct ModuleOptions {
  int com = 0;
  std::optional<sim::Model> model;
  std::optional<int> number;
  std::optional<int> versionMajor;  // with versionMinor, from --version
  int versionMinor = 0;
  bool noVersion = false;           // --no-version: "DV" is echoed
  std::optional<sim::Word0Report> report;
  std::optional<int> slowMs;
  std::optional<int> onlyBaud;
  bool silent = false;
  bool garbage = false;
  bool split = false;
  bool noAck = false;
  bool duplicate = false;  // a second module with the same settings on the next free COM
  // The station behind the module. Without --model its module is an R6 (the
  // "Brimlink Mini") for a single station, an R8A for belt-handling.
  std::optional<StationKind> station;

  sim::ModuleConfig Config() const;
};

struct Options {
  std::vector<ModuleOptions> modules;  // in the order of their --com
  bool force = false;
  bool quiet = false;
  bool help = false;
  bool versionInfo = false;
  double speed = 1.0;  // --speed: every station's cylinders move this much faster
  bool show = false;   // --show: a window per station
};

struct ParsedOptions {
  Options options;
  std::string error;  // empty when the command line is good
};

// args: the arguments after the program name. --help and --version-info end
// the parse at once (the rest is not looked at); so does --version as the
// only argument, which is --version-info then.
ParsedOptions ParseOptions(const std::vector<std::string_view>& args);

std::string HelpText();

}  // namespace brimlink::simtool
