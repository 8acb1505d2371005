// The console of brimlink-sim: one command per line of standard input.
// ParseConsoleLine only reads the text; ApplyToModule does what a module
// command asks on a VirtualModule and says what changed. Both are plain
// functions, so the tests drive them without a terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::simtool {

enum class FaultSwitch { Silent, Slow, Garbage, Split, NoAck, OnlyBaud };

// Faults of the station behind a module, for fault-finding lessons.
enum class StationFault {
  Sensor,  // index = input bit; on: the fault is set, value 1 stuck on, 0 stuck off
  Jam,     // index = cylinder; on
  Air,     // no compressed air; on
  Part,    // a part missing from the magazine; on
  Clear,   // every station fault off
};

struct ConsoleCommand {
  enum class Kind {
    Nothing,  // empty line or "# comment"
    Help,
    InputBit,  // index = bit, on
    InputWord,  // index = word, value
    Show,
    Counter,  // index = counter, value
    Fault,    // fault, on; amount = ms for Slow, baud for OnlyBaud
    Unplug,
    Select,  // index = COM number
    Quit,
    // Commands for a module that runs a station:
    InputRelease,  // index = bit, or -1 for all: the station drives it again
    Station,       // where everything is
    Part,          // metal: put a part on the start of the belt
    Feed,          // amount = interval in ms, 0 stops feeding
    StationFault,  // stationFault, index, on, value
    Reset,         // the station back to its start
  };
  Kind kind = Kind::Nothing;
  int index = 0;
  bool on = false;
  std::uint16_t value = 0;
  FaultSwitch fault = FaultSwitch::Silent;
  int amount = 0;
  StationFault stationFault = StationFault::Sensor;
  bool metal = false;

  bool operator==(const ConsoleCommand&) const = default;
};

struct ParsedCommand {
  ConsoleCommand command;
  std::string error;  // empty when the line is a command
};

ParsedCommand ParseConsoleLine(std::string_view line);

std::string ConsoleHelpText();

// "slow" waits this long when switched on without a time: longer than the
// control's one-second reply time-out, so every command times out.
inline constexpr int kSlowOnMs = 1500;

// Applies InputBit, InputWord, Counter and Fault to the module at time `now`
// and returns what changed ("input word 0 = 0x0008 (bits 3)"), or an error
// text starting with "error: " (a word the model does not have). Any other
// kind returns an error text.
std::string ApplyToModule(const ConsoleCommand& command, sim::VirtualModule& module, sim::Millis now);

// "COM7 module 1": how output lines and confirmations name a module.
std::string ModuleLabel(int com, const sim::ModuleConfig& config);

// "USB, module 1, V=2.10" plus the fault switches that are on.
std::string DescribeConfig(const sim::ModuleConfig& config);

// "output word 0 = 0x0005 (bits 0 2)"; "(no bits)" for zero.
std::string DescribeWord(std::string_view what, int word, std::uint16_t value);

// The indented lines of "show": inputs, outputs, auto-send mask, counters,
// line speed, commands received, settings. earlierCommands counts the
// commands already cleared from the module's list.
std::string ShowModule(const sim::VirtualModule& module, int lineBaud, std::uint64_t earlierCommands);

// Input and output words of the model: 5 and 3 for R8A and USB, else 1 each.
int InputWordCount(sim::Model model);
int OutputWordCount(sim::Model model);

}  // namespace brimlink::simtool
