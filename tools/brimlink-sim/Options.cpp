#include "tools/brimlink-sim/Options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "tools/brimlink-sim/Numbers.h"

namespace brimlink::simtool {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

struct Switch {
  std::string_view name;
  bool ModuleOptions::*field;
};
constexpr std::array kModuleSwitches = {
    Switch{"--silent", &ModuleOptions::silent}, Switch{"--garbage", &ModuleOptions::garbage},
    Switch{"--split", &ModuleOptions::split},   Switch{"--no-ack", &ModuleOptions::noAck},
    Switch{"--duplicate", &ModuleOptions::duplicate},
};

constexpr std::array<std::string_view, 9> kValueOptions = {
    "--com", "--model", "--number", "--version", "--report", "--slow", "--only-baud", "--station", "--speed"};

bool TakesValue(std::string_view name) {
  return std::ranges::find(kValueOptions, name) != kValueOptions.end();
}

// "MAJOR.MINOR", each 0..99. A minor with a leading zero is refused: the
// module answers the number, so "2.05" would come back as "V=2.5".
bool ParseVersion(std::string_view text, int& major, int& minor) {
  const std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view minorText = text.substr(dot + 1);
  if (minorText.size() > 1 && minorText.front() == '0') return false;
  const auto a = ParseDecimal(text.substr(0, dot), 0, 99);
  const auto b = ParseDecimal(minorText, 0, 99);
  if (!a || !b) return false;
  major = *a;
  minor = *b;
  return true;
}

std::optional<sim::Word0Report> ParseReport(std::string_view text) {
  if (EqualsIgnoringCase(text, "ew")) return sim::Word0Report::EW;
  if (EqualsIgnoringCase(text, "e")) return sim::Word0Report::LowerE;
  if (EqualsIgnoringCase(text, "hash")) return sim::Word0Report::HashH;
  return std::nullopt;
}

// From a hundredth of the speed to a hundred times it: beyond that a stroke
// takes hours or less than a display frame.
std::optional<double> ParseSpeed(std::string_view text) {
  const auto value = ParseFraction(text, 100.0);
  if (!value || *value < 0.01) return std::nullopt;
  return value;
}

}  // namespace

std::optional<StationKind> ParseStationKind(std::string_view text) {
  for (const StationKind kind :
       {StationKind::Stack, StationKind::Belt, StationKind::Handling, StationKind::BeltHandling}) {
    if (EqualsIgnoringCase(text, StationKindName(kind))) return kind;
  }
  return std::nullopt;
}

std::string_view StationKindName(StationKind kind) {
  switch (kind) {
    case StationKind::Stack: return "stack";
    case StationKind::Belt: return "belt";
    case StationKind::Handling: return "handling";
    case StationKind::BeltHandling: return "belt-handling";
  }
  return "?";
}

std::string_view StationCaption(StationKind kind) {
  switch (kind) {
    case StationKind::Stack: return "Stapel magazijn";
    case StationKind::Belt: return "Transportband";
    case StationKind::Handling: return "Station handling";
    case StationKind::BeltHandling: return "Transportband en Station handling";
  }
  return "?";
}

sim::ModuleConfig ModuleOptions::Config() const {
  // Without a station the module is a USB one, as always; a single station is
  // wired to a "Brimlink Mini" (an R6, type code 5, the module the trainer
  // shows for one station), the combined one needs the R8A's inputs.
  sim::Model defaultModel = sim::Model::USB;
  if (station) defaultModel = *station == StationKind::BeltHandling ? sim::Model::R8A : sim::Model::R6;
  sim::ModuleConfig config = sim::ModuleConfig::Defaults(model.value_or(defaultModel), number.value_or(1));
  if (versionMajor) {
    config.echoDV = false;
    config.versionMajor = *versionMajor;
    config.versionMinor = versionMinor;
  }
  if (noVersion) config.echoDV = true;
  if (report) config.word0Report = *report;
  if (onlyBaud) config.onlyBaud = *onlyBaud;
  config.faults.silent = silent;
  config.faults.slowMs = slowMs.value_or(0);
  config.faults.garbage = garbage;
  config.faults.splitBytes = split;
  config.faults.neverAckWrites = noAck;
  return config;
}

ParsedOptions ParseOptions(const std::vector<std::string_view>& args) {
  ParsedOptions out;
  Options& options = out.options;
  auto fail = [&out](std::string text) {
    out.options = {};
    out.error = std::move(text);
    return out;
  };

  // Alone, --version asks for the program's version, as with every other
  // program; after a --com it stays the module's firmware version.
  if (args.size() == 1 && args[0] == "--version") {
    out.options.versionInfo = true;
    return out;
  }

  bool speedGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (arg.starts_with("--")) {
      if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
      }
    }

    if (name == "--help" || name == "-h" || name == "--version-info") {
      if (value) return fail(std::string(name) + " takes no value");
      Options shortcut;
      (name == "--version-info" ? shortcut.versionInfo : shortcut.help) = true;
      out.options = shortcut;
      return out;
    }
    if (name == "--force" || name == "--quiet" || name == "--show") {
      if (value) return fail(std::string(name) + " takes no value");
      (name == "--force" ? options.force : name == "--quiet" ? options.quiet : options.show) = true;
      continue;
    }

    const auto moduleSwitch =
        std::ranges::find(kModuleSwitches, name, [](const Switch& s) { return s.name; });
    const bool known =
        moduleSwitch != kModuleSwitches.end() || TakesValue(name) || name == "--no-version";
    if (!known) {
      if (arg.starts_with("-")) return fail("unknown option " + Quoted(name) + " (see --help)");
      return fail("unexpected argument " + Quoted(arg) + " (options start with --; see --help)");
    }

    if (TakesValue(name)) {
      if (!value) {
        if (i + 1 >= args.size()) return fail(std::string(name) + " needs a value (see --help)");
        value = args[++i];
      }
    } else if (value) {
      return fail(std::string(name) + " takes no value");
    }

    if (name == "--com") {
      const auto com = ParseDecimal(*value, 1, 255);
      if (!com) return fail("--com: " + Quoted(*value) + " is not a COM number (1..255)");
      if (std::ranges::any_of(options.modules, [&](const ModuleOptions& m) { return m.com == *com; })) {
        return fail("--com: COM" + std::to_string(*com) + " is given twice");
      }
      options.modules.emplace_back().com = *com;
      continue;
    }
    // For all stations, so it may stand anywhere.
    if (name == "--speed") {
      if (speedGiven) return fail("--speed is given twice");
      const auto speed = ParseSpeed(*value);
      if (!speed) return fail("--speed: " + Quoted(*value) + " is not a factor from 0.01 to 100 (e.g. 2 or 0.5)");
      options.speed = *speed;
      speedGiven = true;
      continue;
    }

    if (options.modules.empty()) {
      return fail(std::string(name) + " applies to the module of the --com before it; give --com N first");
    }
    ModuleOptions& module = options.modules.back();
    const std::string com = " for COM" + std::to_string(module.com);
    auto twice = [&] { return fail(std::string(name) + " is given twice" + com); };

    if (moduleSwitch != kModuleSwitches.end()) {
      module.*(moduleSwitch->field) = true;
    } else if (name == "--model") {
      if (module.model) return twice();
      module.model = sim::ParseModel(*value);
      if (!module.model) return fail("--model: " + Quoted(*value) + " is not a model (R6, R16, R8A or USB)");
    } else if (name == "--number") {
      if (module.number) return twice();
      module.number = ParseDecimal(*value, 0, 9);
      if (!module.number) return fail("--number: " + Quoted(*value) + " is not a module number (0..9)");
    } else if (name == "--version") {
      if (module.versionMajor) return twice();
      if (module.noVersion) return fail("--version: cannot be combined with --no-version" + com);
      int major = 0, minor = 0;
      if (!ParseVersion(*value, major, minor)) {
        return fail("--version: " + Quoted(*value) +
                    " is not MAJOR.MINOR (0..99 each, minor without leading zero, e.g. 2.10)");
      }
      module.versionMajor = major;
      module.versionMinor = minor;
    } else if (name == "--no-version") {
      if (module.versionMajor) return fail("--no-version: cannot be combined with --version" + com);
      module.noVersion = true;
    } else if (name == "--report") {
      if (module.report) return twice();
      module.report = ParseReport(*value);
      if (!module.report) return fail("--report: " + Quoted(*value) + " is not ew, e or hash");
    } else if (name == "--slow") {
      if (module.slowMs) return twice();
      module.slowMs = ParseDecimal(*value, 0, 60000);
      if (!module.slowMs) return fail("--slow: " + Quoted(*value) + " is not a delay in ms (0..60000)");
    } else if (name == "--only-baud") {
      if (module.onlyBaud) return twice();
      const auto baud = ParseDecimal(*value, 0, 1000000);
      if (!baud || (*baud != 115200 && *baud != 19200)) {
        return fail("--only-baud: " + Quoted(*value) + " is not 115200 or 19200");
      }
      module.onlyBaud = baud;
    } else if (name == "--station") {
      if (module.station) return twice();
      module.station = ParseStationKind(*value);
      if (!module.station) {
        return fail("--station: " + Quoted(*value) + " is not a station (stack, belt, handling or belt-handling)");
      }
    }
  }

  if (options.modules.empty()) return fail("no module to start: give at least one --com N (see --help)");
  const bool anyStation = std::ranges::any_of(options.modules, [](const ModuleOptions& m) { return m.station.has_value(); });
  if (!anyStation && (options.show || speedGiven)) {
    return fail(std::string(options.show ? "--show" : "--speed") +
                " needs a station: give --station after a --com (see --help)");
  }
  return out;
}

std::string HelpText() {
  return R"(Usage: brimlink-sim --com N [module options] [--com N [module options]]... [--force] [--quiet]
                    [--speed F] [--show]
  or:  brimlink-sim --help|--version
Runs virtual Brimlink interface modules on pseudo-terminals and registers each
one as COM port N: a symbolic link ports/COMN to its /dev/pts/M in the settings
folder. The control then finds the module on COM N like one on a real serial
port. The links are removed again when brimlink-sim ends: on "quit", end of
standard input (Ctrl-D), Ctrl-C, SIGTERM, SIGHUP or SIGQUIT; "unplug" removes
its module's link at once. Beside each link, ports/.COMN.owner names the
process that made it; a link whose process has ended (killed, crashed) is
replaced by the next brimlink-sim without --force.

Console: while it runs, brimlink-sim reads commands from standard input, one
per line, without a prompt (so it can be scripted); "help" lists them:
  in BIT on|off        switch input BIT (0..15) of input word 0
  in VALUE             set all of input word 0 (decimal or 0x hex)
  ...                  see "help" for word, show, counter, fault, unplug,
                       module, quit, and for a station: station, part,
                       feed, fault, reset, in release
Every output word the module receives is printed at once, e.g.
  COM7 module 1: output word 0 = 0x0005 (bits 0 2)

Exit status: 0 normal end, 1 the modules could not be started or registered,
2 a bad command line.

Options:
Every --com starts one module; the module options after it, up to the next
--com, apply to that module only. Unset values take the model's defaults.
An option's value can also be given as --option=value.

Module options:
  --com N              COM number, 1..255 (repeat it to start several modules)
  --model M            R6, R16, R8A or USB (default USB)
  --number N           module number 0..9 (default 1; 1..8 are valid numbers,
                       0 and 9 show how the control refuses a bad module)
  --version MAJOR.MINOR
                       answer "DV" with "V=MAJOR.MINOR" (USB default 2.10,
                       R6 1.5)
  --no-version         answer "DV" with its echo, as old firmware does
                       (R16 and R8A default)
  --report ew|e|hash   how a change of input word 0 is reported:
                       ew "EW1.0=0008", e "e100008", hash "#H100008"
                       (default ew)
  --only-baud 115200|19200
                       answer only at this line speed
  --duplicate          start a second module with the same settings (and so
                       the same module number) on the next free COM number
  --station stack|belt|handling|belt-handling
                       run that station behind the module (one per module):
                       its sensors drive input word 0, output word 0 drives
                       its valves and motor. Without --model the module is an
                       R6 (Brimlink Mini), for belt-handling an R8A

Fault switches (per module):
  --silent             answer nothing at all
  --slow MS            every reply and report comes MS milliseconds late
  --garbage            a line of noise before every reply
  --split              hand out the replies one byte at a time
  --no-ack             apply output writes ("MAW") but never answer them

Station options (for every module with --station):
  --speed F            cylinders move F times as fast as the default of about
                       0.5 s per stroke (0.01..100, e.g. 2 or 0.5)
  --show               a window per station that draws and animates it,
                       titled with its name and COM port (needs a display)

Other options:
  --force              replace a COMN entry in ports/ that is not this
                       program's own and not left by an ended brimlink-sim
                       (without it such an entry is an error)
  --quiet              print only output words, "show", and errors
  -h, --help           show this text and exit
  --version            given alone: show the program's version (the control
                       library's) and exit
  --version-info       the same, wherever it stands on the command line

Environment:
  XDG_CONFIG_DIRS      the settings folder is Brimlink/ in the first of these
                       folders that holds one, else in the first folder
                       (default /etc/xdg); its ports/ must be writable

Examples:
  $ brimlink-sim --com 7 --model USB --number 1
  $ brimlink-sim --com 7 --model R16 --number 2 --com 8 --model R6 --slow 300
  $ brimlink-sim --com 7 --number 3 --duplicate
  $ brimlink-sim --com 205 --station handling --speed 2 --show
Without a console, running until it is killed:
  $ sleep infinity | brimlink-sim --com 7 --quiet
)";
}

}  // namespace brimlink::simtool
