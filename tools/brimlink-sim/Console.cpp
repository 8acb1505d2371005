#include "tools/brimlink-sim/Console.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tools/brimlink-sim/Numbers.h"

namespace brimlink::simtool {
namespace {

using Kind = ConsoleCommand::Kind;

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const std::size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string Hex(unsigned value, int width) {
  std::array<char, 16> buf{};
  std::snprintf(buf.data(), buf.size(), "0x%0*X", width, value);
  return buf.data();
}

struct FaultName {
  std::string_view name;
  FaultSwitch fault;
};
constexpr std::array kFaultNames = {
    FaultName{"silent", FaultSwitch::Silent}, FaultName{"slow", FaultSwitch::Slow},
    FaultName{"garbage", FaultSwitch::Garbage}, FaultName{"split", FaultSwitch::Split},
    FaultName{"no-ack", FaultSwitch::NoAck},   FaultName{"only-baud", FaultSwitch::OnlyBaud},
};

std::string_view FaultText(FaultSwitch fault) {
  for (const auto& f : kFaultNames) {
    if (f.fault == fault) return f.name;
  }
  return "?";
}

// on / off as a bool; anything else is no answer.
std::optional<bool> OnOff(std::string_view word) {
  const std::string w = Lower(word);
  if (w == "on") return true;
  if (w == "off") return false;
  return std::nullopt;
}

ParsedCommand Fail(std::string text) { return ParsedCommand{{}, std::move(text)}; }

// "fault sensor N on|off|ok", "fault jam N [on|off]", "fault air [on|off]",
// "fault part [on|off]", "fault clear": names of their own, so they never
// meet the module's fault switches.
ParsedCommand ParseStationFault(const std::vector<std::string_view>& words, std::string_view name) {
  const std::string verb = "fault " + std::string(name);
  ConsoleCommand command{.kind = Kind::StationFault, .on = true};
  std::size_t next = 2;  // the word after the name (and after N)
  if (name == "clear") {
    if (words.size() != 2) return Fail("fault clear takes no arguments");
    command.stationFault = StationFault::Clear;
    command.on = false;
    return {command, {}};
  }
  if (name == "sensor" || name == "jam") {
    const bool sensor = name == "sensor";
    if (words.size() < 3) {
      return Fail(sensor ? "fault sensor: use fault sensor N on|off|ok (N an input bit 0..15)"
                         : "fault jam: use fault jam N [on|off] (N a cylinder 0..7)");
    }
    const auto index = ParseDecimal(words[2], 0, sensor ? 15 : 7);
    if (!index) {
      return Fail(verb + ": " + Quoted(words[2]) + (sensor ? " is not an input bit (0..15)" : " is not a cylinder (0..7)"));
    }
    command.index = *index;
    next = 3;
    if (sensor) {
      command.stationFault = StationFault::Sensor;
      if (words.size() != 4) return Fail("fault sensor: use fault sensor N on|off|ok");
      const std::string state = Lower(words[3]);
      if (state == "ok") {
        command.on = false;
      } else if (const auto onOff = OnOff(state)) {
        command.value = *onOff ? 1 : 0;
      } else {
        return Fail("fault sensor: " + Quoted(words[3]) + " is not on, off or ok");
      }
      return {command, {}};
    }
    command.stationFault = StationFault::Jam;
  } else {
    command.stationFault = name == "air" ? StationFault::Air : StationFault::Part;
  }
  if (words.size() == next) return {command, {}};
  const auto onOff = words.size() == next + 1 ? OnOff(words[next]) : std::nullopt;
  if (!onOff) return Fail(verb + ": use " + verb + (next == 3 ? " N" : "") + " [on|off]");
  command.on = *onOff;
  return {command, {}};
}

ParsedCommand ParseFault(const std::vector<std::string_view>& words) {
  if (words.size() < 2) {
    return Fail("fault: use fault NAME on|off (names: silent slow garbage split no-ack only-baud), "
                "or a station fault: sensor, jam, air, part, clear");
  }
  const std::string name = Lower(words[1]);
  if (name == "sensor" || name == "jam" || name == "air" || name == "part" || name == "clear") {
    return ParseStationFault(words, name);
  }
  const auto known = std::ranges::find(kFaultNames, name, &FaultName::name);
  if (known == kFaultNames.end()) {
    return Fail("fault: " + Quoted(words[1]) +
                " is not a fault (silent slow garbage split no-ack only-baud; station: sensor jam air part clear)");
  }
  if (words.size() != 3) return Fail("fault " + name + ": use fault " + name + " on|off");
  ConsoleCommand command{.kind = Kind::Fault, .fault = known->fault};
  const std::optional<bool> onOff = OnOff(words[2]);
  switch (known->fault) {
    case FaultSwitch::Slow:
      if (onOff) {
        command.on = *onOff;
        command.amount = *onOff ? kSlowOnMs : 0;
      } else if (const auto ms = ParseDecimal(words[2], 0, 60000)) {
        command.on = *ms != 0;
        command.amount = *ms;
      } else {
        return Fail("fault slow: " + Quoted(words[2]) + " is not on, off or a delay in ms (0..60000)");
      }
      break;
    case FaultSwitch::OnlyBaud:
      if (onOff && !*onOff) {
        command.on = false;
      } else if (words[2] == "115200" || words[2] == "19200") {
        command.on = true;
        command.amount = *ParseDecimal(words[2], 0, 115200);
      } else {
        return Fail("fault only-baud: " + Quoted(words[2]) + " is not 115200, 19200 or off");
      }
      break;
    default:
      if (!onOff) return Fail("fault " + name + ": " + Quoted(words[2]) + " is not on or off");
      command.on = *onOff;
      break;
  }
  return {command, {}};
}

}  // namespace

ParsedCommand ParseConsoleLine(std::string_view line) {
  const std::vector<std::string_view> words = Words(line);
  if (words.empty() || words.front().starts_with('#')) return {};
  const std::string verb = Lower(words.front());
  const std::size_t args = words.size() - 1;
  auto noArguments = [&](Kind kind) {
    if (args != 0) return Fail(verb + " takes no arguments");
    return ParsedCommand{ConsoleCommand{.kind = kind}, {}};
  };

  if (verb == "help" || verb == "?") return noArguments(Kind::Help);
  if (verb == "show") return noArguments(Kind::Show);
  if (verb == "unplug") return noArguments(Kind::Unplug);
  if (verb == "quit" || verb == "exit") return noArguments(Kind::Quit);

  if (verb == "station") return noArguments(Kind::Station);
  if (verb == "reset") return noArguments(Kind::Reset);
  if (verb == "part") {
    const std::string material = args == 1 ? Lower(words[1]) : "";
    if (material != "metal" && material != "plastic") return Fail("part: use part metal|plastic");
    return {ConsoleCommand{.kind = Kind::Part, .metal = material == "metal"}, {}};
  }
  if (verb == "feed") {
    if (args != 1) return Fail("feed: use feed SECONDS|off");
    if (Lower(words[1]) == "off") return {ConsoleCommand{.kind = Kind::Feed}, {}};
    const auto seconds = ParseFraction(words[1], 3600.0);
    if (!seconds || (*seconds != 0.0 && *seconds < 0.1)) {
      return Fail("feed: " + Quoted(words[1]) + " is not off or an interval in seconds (0.1..3600; 0 is off)");
    }
    return {ConsoleCommand{.kind = Kind::Feed, .amount = static_cast<int>(std::lround(*seconds * 1000.0))}, {}};
  }

  if (verb == "in") {
    if (args >= 1 && Lower(words[1]) == "release") {
      if (args == 1) return {ConsoleCommand{.kind = Kind::InputRelease, .index = -1}, {}};
      const auto bit = args == 2 ? ParseDecimal(words[2], 0, 15) : std::nullopt;
      if (!bit) return Fail("in release: use in release [BIT] (BIT 0..15; without it every bit)");
      return {ConsoleCommand{.kind = Kind::InputRelease, .index = *bit}, {}};
    }
    if (args == 2) {
      const auto bit = ParseDecimal(words[1], 0, 15);
      if (!bit) return Fail("in: " + Quoted(words[1]) + " is not a bit (0..15)");
      const auto on = OnOff(words[2]);
      if (!on) return Fail("in: " + Quoted(words[2]) + " is not on or off");
      return {ConsoleCommand{.kind = Kind::InputBit, .index = *bit, .on = *on}, {}};
    }
    if (args == 1) {
      const auto value = ParseWord(words[1]);
      if (!value) return Fail("in: " + Quoted(words[1]) + " is not a word value (0..65535 or 0x0..0xFFFF)");
      return {ConsoleCommand{.kind = Kind::InputWord, .index = 0, .value = *value}, {}};
    }
    return Fail("in: use in BIT on|off, or in VALUE");
  }
  if (verb == "word") {
    if (args != 2) return Fail("word: use word W VALUE (W 0..4)");
    const auto word = ParseDecimal(words[1], 0, 4);
    if (!word) return Fail("word: " + Quoted(words[1]) + " is not an input word (0..4)");
    const auto value = ParseWord(words[2]);
    if (!value) return Fail("word: " + Quoted(words[2]) + " is not a word value (0..65535 or 0x0..0xFFFF)");
    return {ConsoleCommand{.kind = Kind::InputWord, .index = *word, .value = *value}, {}};
  }
  if (verb == "counter") {
    if (args != 2) return Fail("counter: use counter C VALUE (C 0 or 1)");
    const auto counter = ParseDecimal(words[1], 0, 1);
    if (!counter) return Fail("counter: " + Quoted(words[1]) + " is not a counter (0 or 1)");
    const auto value = ParseWord(words[2]);
    if (!value) return Fail("counter: " + Quoted(words[2]) + " is not a value (0..65535 or 0x0..0xFFFF)");
    return {ConsoleCommand{.kind = Kind::Counter, .index = *counter, .value = *value}, {}};
  }
  if (verb == "fault") return ParseFault(words);
  if (verb == "module") {
    if (args != 1) return Fail("module: use module COM (a COM number, e.g. module 7)");
    std::string_view text = words[1];
    if (text.size() > 3 && Lower(text.substr(0, 3)) == "com") text.remove_prefix(3);
    const auto com = ParseDecimal(text, 1, 255);
    if (!com) return Fail("module: " + Quoted(words[1]) + " is not a COM number (1..255)");
    return {ConsoleCommand{.kind = Kind::Select, .index = *com}, {}};
  }
  return Fail("unknown command " + Quoted(words.front()) + " (type help)");
}

std::string ConsoleHelpText() {
  return R"(Commands (one per line; they act on the selected module):
  in BIT on|off        switch input BIT (0..15) of input word 0
  in VALUE             set input word 0 (decimal or 0x hex); the module reports it
  word W VALUE         set input word W (0..4; R6 and R16 have word 0 only);
                       words 1..4 are sent when the auto-send mask covers them
  counter C VALUE      set counter C (0 or 1)
  show                 inputs, outputs, auto-send mask, counters, line speed, faults
  fault NAME on|off    silent, garbage, split, no-ack: on or off
                       slow: on (1500 ms), off, or a delay in ms
                       only-baud: 115200, 19200 or off
For a module that runs a station (--station):
  in BIT on|off, in VALUE
                       force inputs over the station's sensors until released
  in release [BIT]     the station drives that bit (without BIT: all) again
  station              the station: outputs, inputs, forced bits, faults, and
                       where each part is
  part metal|plastic   put a part on the start of the belt
  feed SECONDS|off     put a part on the belt every SECONDS (metal and plastic
                       in turn), or stop
  fault sensor N on|off|ok
                       sensor input N reads on (or off) whatever happens; ok
                       ends that
  fault jam N [on|off] cylinder N sticks halfway (stack: 0 push, 1 pressing;
                       handling: 0 horizontal, 1 vertical)
  fault air [on|off]   no compressed air: no cylinder moves, springs return
  fault part [on|off]  the magazine's next part is missing
  fault clear          every station fault off
  reset                parts and cylinders back to the start (the outputs the
                       module holds then act again)
  unplug               close the module's side of the line, as pulling the cable,
                       and remove its COM link
  module COM           act on the module of that COM number from now on
  help                 this list
  quit                 remove the links and end (also Ctrl-D, Ctrl-C)
Empty lines and lines starting with # are ignored.
)";
}

int InputWordCount(sim::Model model) {
  return (model == sim::Model::R8A || model == sim::Model::USB) ? 5 : 1;
}

int OutputWordCount(sim::Model model) {
  return (model == sim::Model::R8A || model == sim::Model::USB) ? 3 : 1;
}

std::string DescribeWord(std::string_view what, int word, std::uint16_t value) {
  std::string text = std::string(what) + " word " + std::to_string(word) + " = " + Hex(value, 4) + " (";
  if (value == 0) return text + "no bits)";
  text += "bits";
  for (int bit = 0; bit < 16; ++bit) {
    if ((value & (1u << bit)) != 0) text += " " + std::to_string(bit);
  }
  return text + ")";
}

std::string ModuleLabel(int com, const sim::ModuleConfig& config) {
  return "COM" + std::to_string(com) + " module " + std::to_string(config.number);
}

std::string DescribeConfig(const sim::ModuleConfig& config) {
  std::string text = std::string(sim::ModelName(config.model)) + ", module " + std::to_string(config.number) + ", ";
  text += config.echoDV ? "DV echo"
                        : "V=" + std::to_string(config.versionMajor) + "." + std::to_string(config.versionMinor);
  switch (config.word0Report) {
    case sim::Word0Report::EW: break;
    case sim::Word0Report::LowerE: text += ", report e"; break;
    case sim::Word0Report::HashH: text += ", report hash"; break;
  }
  if (config.onlyBaud != 0) text += ", only " + std::to_string(config.onlyBaud) + " baud";
  const sim::Faults& f = config.faults;
  if (f.silent) text += ", silent";
  if (f.slowMs != 0) text += ", slow " + std::to_string(f.slowMs) + " ms";
  if (f.garbage) text += ", garbage";
  if (f.splitBytes) text += ", split";
  if (f.neverAckWrites) text += ", no-ack";
  return text;
}

std::string ApplyToModule(const ConsoleCommand& command, sim::VirtualModule& module, sim::Millis now) {
  sim::ModuleConfig& config = module.MutableConfig();
  switch (command.kind) {
    case Kind::InputBit: {
      const auto mask = static_cast<std::uint16_t>(1u << command.index);
      const std::uint16_t old = module.InputWord(0);
      const auto value = static_cast<std::uint16_t>(command.on ? (old | mask) : (old & ~mask));
      module.SetInputWord(0, value, now);
      return DescribeWord("input", 0, value);
    }
    case Kind::InputWord: {
      const int count = InputWordCount(config.model);
      if (command.index >= count) {
        return "error: " + std::string(sim::ModelName(config.model)) + " has input word 0 only";
      }
      module.SetInputWord(command.index, command.value, now);
      return DescribeWord("input", command.index, command.value);
    }
    case Kind::Counter:
      module.SetCounter(command.index, command.value);
      return "counter " + std::to_string(command.index) + " = " + std::to_string(command.value) + " (" +
             Hex(command.value, 4) + ")";
    case Kind::Fault: {
      sim::Faults& f = config.faults;
      std::string text = "fault " + std::string(FaultText(command.fault)) + " ";
      switch (command.fault) {
        case FaultSwitch::Silent: f.silent = command.on; break;
        case FaultSwitch::Garbage: f.garbage = command.on; break;
        case FaultSwitch::Split: f.splitBytes = command.on; break;
        case FaultSwitch::NoAck: f.neverAckWrites = command.on; break;
        case FaultSwitch::Slow:
          f.slowMs = command.on ? command.amount : 0;
          return text + (command.on ? std::to_string(f.slowMs) + " ms" : "off");
        case FaultSwitch::OnlyBaud:
          config.onlyBaud = command.on ? command.amount : 0;
          return text + (command.on ? std::to_string(config.onlyBaud) : "off");
      }
      return text + (command.on ? "on" : "off");
    }
    default:
      return "error: not a module command";
  }
}

std::string ShowModule(const sim::VirtualModule& module, int lineBaud, std::uint64_t earlierCommands) {
  const sim::ModuleConfig& config = module.Config();
  std::string text = "  inputs: ";
  for (int w = 0; w < InputWordCount(config.model); ++w) text += " " + Hex(module.InputWord(w), 4);
  text += "\n  outputs:";
  for (int w = 0; w < OutputWordCount(config.model); ++w) text += " " + Hex(module.OutputWord(w), 4);
  text += "\n  auto-send mask: " + Hex(module.AutoSendMask(), 2);
  text += "\n  counters: " + std::to_string(module.Counter(0)) + " " + std::to_string(module.Counter(1));
  text += "\n  line: " + (lineBaud != 0 ? std::to_string(lineBaud) + " baud" : std::string("speed not set yet"));
  const auto& commands = module.ReceivedCommands();
  text += "\n  commands received: " + std::to_string(earlierCommands + commands.size());
  if (!commands.empty()) text += ", last " + Quoted(commands.back());
  text += "\n  settings: " + DescribeConfig(config) + "\n";
  return text;
}

}  // namespace brimlink::simtool
