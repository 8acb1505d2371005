// brimlink-sim with a station behind a module: the options and console lines
// for it, and the station meeting the module in (simulated) real time.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/brimlink-sim/Console.h"
#include "tools/brimlink-sim/Options.h"
#include "tools/brimlink-sim/StationDriver.h"
#include "tools/virtual_module/VirtualModule.h"

using namespace std::chrono_literals;
using brimlink::sim::Millis;
using brimlink::sim::Model;
using brimlink::sim::ModuleConfig;
using brimlink::sim::VirtualModule;
using namespace brimlink::simtool;

namespace {

using Args = std::vector<std::string_view>;
using Kind = ConsoleCommand::Kind;

std::string Joined(const Args& args) {
  std::string text;
  for (const auto& a : args) text += std::string(a) + " ";
  return text;
}

TEST(SimStationOptions, StationsChooseTheirModelSpeedAndWindows) {
  struct Case {
    Args args;
    std::vector<std::optional<StationKind>> stations;
    std::vector<Model> models;
    double speed;
    bool show;
  };
  const std::vector<Case> cases = {
      {{"--com", "205", "--station", "handling"}, {StationKind::Handling}, {Model::R6}, 1.0, false},
      {{"--com", "205", "--station", "Stack", "--show"}, {StationKind::Stack}, {Model::R6}, 1.0, true},
      {{"--com", "205", "--station=belt"}, {StationKind::Belt}, {Model::R6}, 1.0, false},
      // The combined station needs the R8A's eight bits; --model still wins.
      {{"--com", "205", "--station", "belt-handling"}, {StationKind::BeltHandling}, {Model::R8A}, 1.0, false},
      {{"--com", "205", "--model", "R16", "--station", "belt-handling"}, {StationKind::BeltHandling}, {Model::R16},
       1.0, false},
      // --speed and --show are for every station, so they may come first.
      {{"--speed", "2.5", "--show", "--com", "205", "--station", "stack"}, {StationKind::Stack}, {Model::R6}, 2.5,
       true},
      {{"--com", "205", "--station", "stack", "--speed=0.01"}, {StationKind::Stack}, {Model::R6}, 0.01, false},
      {{"--com", "205", "--station", "stack", "--speed", "100"}, {StationKind::Stack}, {Model::R6}, 100.0, false},
      // One station per module; a module may run none.
      {{"--com", "205", "--station", "belt", "--com", "206", "--com", "207", "--station", "handling"},
       {StationKind::Belt, std::nullopt, StationKind::Handling},
       {Model::R6, Model::USB, Model::R6},
       1.0,
       false},
  };
  for (const Case& c : cases) {
    const ParsedOptions parsed = ParseOptions(c.args);
    ASSERT_EQ(parsed.error, "") << Joined(c.args);
    ASSERT_EQ(parsed.options.modules.size(), c.stations.size()) << Joined(c.args);
    for (std::size_t i = 0; i < c.stations.size(); ++i) {
      EXPECT_EQ(parsed.options.modules[i].station, c.stations[i]) << Joined(c.args) << " module " << i;
      EXPECT_EQ(parsed.options.modules[i].Config().model, c.models[i]) << Joined(c.args) << " module " << i;
    }
    EXPECT_EQ(parsed.options.speed, c.speed) << Joined(c.args);
    EXPECT_EQ(parsed.options.show, c.show) << Joined(c.args);
  }
  const std::string help = HelpText();
  for (const char* option : {"--station stack|belt|handling|belt-handling", "--speed F", "--show"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST(SimStationOptions, BadStationOptionsAreErrorsNamingTheOption) {
  const std::vector<std::pair<Args, std::string_view>> cases = {
      {{"--station", "belt"}, "--station applies to the module of the --com before it"},
      {{"--com", "205", "--station", "conveyor"}, "--station: 'conveyor' is not a station"},
      {{"--com", "205", "--station", ""}, "--station: '' is not a station"},
      {{"--com", "205", "--station"}, "--station needs a value"},
      {{"--com", "205", "--station", "belt", "--station", "stack"}, "--station is given twice for COM205"},
      {{"--com", "205", "--station", "belt", "--speed", "0"}, "--speed: '0'"},
      {{"--com", "205", "--station", "belt", "--speed", "0.001"}, "--speed: '0.001'"},
      {{"--com", "205", "--station", "belt", "--speed", "-2"}, "--speed: '-2'"},
      {{"--com", "205", "--station", "belt", "--speed", "101"}, "--speed: '101'"},
      {{"--com", "205", "--station", "belt", "--speed", "inf"}, "--speed: 'inf'"},
      {{"--com", "205", "--station", "belt", "--speed", "nan"}, "--speed: 'nan'"},
      {{"--com", "205", "--station", "belt", "--speed", "1e1"}, "--speed: '1e1'"},
      {{"--com", "205", "--station", "belt", "--speed", "."}, "--speed: '.'"},
      {{"--com", "205", "--station", "belt", "--speed", "1.2.3"}, "--speed: '1.2.3'"},
      {{"--com", "205", "--station", "belt", "--speed", "2", "--speed", "3"}, "--speed is given twice"},
      {{"--com", "205", "--station", "belt", "--show=yes"}, "--show takes no value"},
      {{"--com", "205", "--show"}, "--show needs a station"},
      {{"--com", "205", "--speed", "2"}, "--speed needs a station"},
  };
  for (const auto& [args, expected] : cases) {
    const ParsedOptions parsed = ParseOptions(args);
    EXPECT_TRUE(parsed.error.starts_with(expected)) << "args: " << Joined(args) << "\nerror: " << parsed.error;
    EXPECT_TRUE(parsed.options.modules.empty()) << Joined(args);
  }
}

TEST(SimStationConsole, StationLinesBecomeCommands) {
  using SF = StationFault;
  const std::vector<std::pair<std::string_view, ConsoleCommand>> cases = {
      {"station", {.kind = Kind::Station}},
      {"reset", {.kind = Kind::Reset}},
      {"in release", {.kind = Kind::InputRelease, .index = -1}},
      {"IN Release 15", {.kind = Kind::InputRelease, .index = 15}},
      {"part metal", {.kind = Kind::Part, .metal = true}},
      {"part PLASTIC", {.kind = Kind::Part, .metal = false}},
      {"feed 2", {.kind = Kind::Feed, .amount = 2000}},
      {"feed 0.5", {.kind = Kind::Feed, .amount = 500}},
      {"feed 0.1", {.kind = Kind::Feed, .amount = 100}},
      {"feed off", {.kind = Kind::Feed}},
      {"feed 0", {.kind = Kind::Feed}},
      {"fault sensor 1 on", {.kind = Kind::StationFault, .index = 1, .on = true, .value = 1}},
      {"fault sensor 3 off", {.kind = Kind::StationFault, .index = 3, .on = true, .value = 0}},
      {"fault sensor 3 ok", {.kind = Kind::StationFault, .index = 3, .on = false}},
      {"fault jam 1", {.kind = Kind::StationFault, .index = 1, .on = true, .stationFault = SF::Jam}},
      {"fault jam 0 off", {.kind = Kind::StationFault, .index = 0, .on = false, .stationFault = SF::Jam}},
      {"fault air", {.kind = Kind::StationFault, .on = true, .stationFault = SF::Air}},
      {"fault AIR off", {.kind = Kind::StationFault, .on = false, .stationFault = SF::Air}},
      {"fault part", {.kind = Kind::StationFault, .on = true, .stationFault = SF::Part}},
      {"fault part on", {.kind = Kind::StationFault, .on = true, .stationFault = SF::Part}},
      {"fault clear", {.kind = Kind::StationFault, .on = false, .stationFault = SF::Clear}},
      // The module's own fault switches keep their meaning beside them.
      {"fault silent on", {.kind = Kind::Fault, .on = true, .fault = FaultSwitch::Silent}},
  };
  for (const auto& [line, expected] : cases) {
    const ParsedCommand parsed = ParseConsoleLine(line);
    EXPECT_EQ(parsed.error, "") << "line '" << line << "'";
    EXPECT_TRUE(parsed.command == expected) << "line '" << line << "'";
  }
}

TEST(SimStationConsole, BadStationLinesAreErrorsNamingTheCommand) {
  const std::vector<std::pair<std::string_view, std::string_view>> cases = {
      {"station now", "station takes no arguments"},
      {"reset all", "reset takes no arguments"},
      {"in release 16", "in release: use"},
      {"in release 1 2", "in release: use"},
      {"part", "part: use"},
      {"part wood", "part: use"},
      {"feed", "feed: use"},
      {"feed 1 2", "feed: use"},
      {"feed -1", "feed: '-1'"},
      {"feed 0.05", "feed: '0.05'"},
      {"feed 3601", "feed: '3601'"},
      {"feed nan", "feed: 'nan'"},
      {"feed 1e3", "feed: '1e3'"},
      {"fault sensor", "fault sensor: use"},
      {"fault sensor 16 on", "fault sensor: '16' is not an input bit"},
      {"fault sensor 1", "fault sensor: use"},
      {"fault sensor 1 maybe", "fault sensor: 'maybe' is not on, off or ok"},
      {"fault jam", "fault jam: use"},
      {"fault jam 8", "fault jam: '8' is not a cylinder"},
      {"fault jam 1 maybe", "fault jam: use fault jam N [on|off]"},
      {"fault air maybe", "fault air: use fault air [on|off]"},
      {"fault part on now", "fault part: use"},
      {"fault clear now", "fault clear takes no arguments"},
      {"fault silent", "fault silent: use fault silent on|off"},
      {"fault", "fault: use"},
  };
  for (const auto& [line, expected] : cases) {
    const ParsedCommand parsed = ParseConsoleLine(line);
    EXPECT_TRUE(parsed.error.starts_with(expected)) << "line '" << line << "'\nerror: " << parsed.error;
    EXPECT_TRUE(parsed.command == ConsoleCommand{}) << "line '" << line << "'";
  }
  const std::string help = ConsoleHelpText();
  for (const char* command : {"in release", "station", "part metal|plastic", "feed SECONDS|off", "fault sensor",
                              "fault jam", "fault air", "fault part", "fault clear", "reset"}) {
    EXPECT_NE(help.find(command), std::string::npos) << command;
  }
}

// ---------------------------------------------------------------------------
// The station behind a module, in simulated time

constexpr Millis kStart{10000};

std::string Drain(VirtualModule& module, Millis at) {
  std::string out;
  char buffer[64];
  while (const std::size_t n = module.TakeOutput(at, buffer, sizeof buffer)) out.append(buffer, n);
  return out;
}

// A module with a station, as brimlink-sim starts it: the station's inputs
// at rest are there before the control asks, and nothing was reported.
struct Rig {
  explicit Rig(StationKind kind, double speed = 1.0)
      : module(ModuleConfig::Defaults(kind == StationKind::BeltHandling ? Model::R8A : Model::R6)),
        driver(kind, speed) {
    driver.Sync(module, kStart);
    Drain(module, kStart + 1h);
  }
  // The control writes output word 0.
  void Write(std::uint16_t value, Millis now) {
    char command[32];
    std::snprintf(command, sizeof command, "MAW1.0=%04X\r", value);
    module.Receive(command, now);
    driver.Sync(module, now);
  }
  // What the module sent by `now` (replies and input reports).
  std::string Sent(Millis now) { return Drain(module, now); }
  std::string Console(std::string_view line, Millis now) {
    const ParsedCommand parsed = ParseConsoleLine(line);
    EXPECT_EQ(parsed.error, "") << line;
    return driver.Apply(parsed.command, module, now);
  }

  VirtualModule module;
  StationDriver driver;
};

TEST(SimStationDriver, CylinderArrivesAfterItsTravelTimeAndTheModuleReportsIt) {
  for (const double speed : {1.0, 2.0}) {
    SCOPED_TRACE(speed);
    const Millis travel{static_cast<int>(500 / speed)};
    Rig rig(StationKind::Handling, speed);
    EXPECT_EQ(rig.module.InputWord(0), 0x0005);  // back and up
    EXPECT_FALSE(rig.driver.Moving());

    rig.Write(0x0001, kStart);  // "Verplaatscilinder (uit)"
    EXPECT_TRUE(rig.driver.Moving());
    EXPECT_EQ(rig.Sent(kStart), "AW1.0=0001\r");
    // Leaving the back end switch is reported as the piston moves, arriving
    // in front after the travel time.
    rig.driver.Sync(rig.module, kStart + 1ms);
    EXPECT_EQ(rig.Sent(kStart + 1ms), "EW1.0=0004\r");
    rig.driver.Sync(rig.module, kStart + travel - 1ms);
    EXPECT_EQ(rig.Sent(kStart + travel), "");
    rig.driver.Sync(rig.module, kStart + travel);
    EXPECT_EQ(rig.Sent(kStart + travel), "EW1.0=0006\r");
    EXPECT_FALSE(rig.driver.Moving());

    // At rest, time changes nothing and nothing is reported.
    rig.driver.Sync(rig.module, kStart + 1h);
    EXPECT_EQ(rig.Sent(kStart + 1h), "");
    // Time spent at rest is not made up later: the next stroke takes its own travel time.
    rig.Write(0x0002, kStart + 2h);
    rig.driver.Sync(rig.module, kStart + 2h + travel - 1ms);
    EXPECT_EQ(rig.module.InputWord(0), 0x0004);
    rig.driver.Sync(rig.module, kStart + 2h + travel);
    EXPECT_EQ(rig.module.InputWord(0), 0x0005);
  }
}

TEST(SimStationDriver, ASensorPassedDuringAStallIsStillReportedOnAndOff) {
  Rig rig(StationKind::Belt);
  rig.Console("part metal", kStart);
  rig.Write(0x0002, kStart);  // motor on, forward
  rig.Sent(kStart);
  // One late sync: the part passed the optical sensor and the inductive one on its way.
  rig.driver.Sync(rig.module, kStart + 3s);
  const std::string sent = rig.Sent(kStart + 3s);
  EXPECT_NE(sent.find("EW1.0=0002\r"), std::string::npos) << sent;  // optical on
  EXPECT_NE(sent.find("EW1.0=0001\r"), std::string::npos) << sent;  // inductive on (metal)
  EXPECT_TRUE(sent.ends_with("EW1.0=0000\r")) << sent;
  EXPECT_NE(rig.driver.Describe().find("part #1 (metal): on the belt at 320 mm"), std::string::npos)
      << rig.driver.Describe();
}

TEST(SimStationDriver, ForcedInputsOverrideTheStationUntilReleased) {
  Rig rig(StationKind::Handling);
  EXPECT_NE(rig.Console("in 3 on", kStart).find("input word 0 = 0x000D"), std::string::npos);
  EXPECT_EQ(rig.Sent(kStart), "EW1.0=000D\r");
  // Forcing a bit to what the station says already reports nothing.
  rig.Console("in 0 on", kStart);
  EXPECT_EQ(rig.Sent(kStart), "");
  EXPECT_EQ(rig.driver.ForcedMask(), 0x0009);

  // The forced back switch stays on while the cylinder leaves it.
  rig.Write(0x0001, kStart);
  rig.driver.Sync(rig.module, kStart + 500ms);
  EXPECT_EQ(rig.module.InputWord(0), 0x000F);
  rig.Console("in release 0", kStart + 500ms);
  EXPECT_EQ(rig.module.InputWord(0), 0x000E);
  rig.Console("in 0x0000", kStart + 500ms);
  EXPECT_EQ(rig.module.InputWord(0), 0x0000);
  EXPECT_EQ(rig.driver.ForcedMask(), 0xFFFF);
  rig.Console("in release", kStart + 500ms);
  EXPECT_EQ(rig.module.InputWord(0), 0x0006);
  EXPECT_EQ(rig.driver.ForcedMask(), 0);
  EXPECT_EQ(rig.Sent(kStart + 500ms), "AW1.0=0001\rEW1.0=000F\rEW1.0=000E\rEW1.0=0000\rEW1.0=0006\r");
}

TEST(SimStationDriver, FaultsReachTheStationAndClearTogether) {
  Rig rig(StationKind::Handling);
  rig.Console("fault jam 0", kStart);
  rig.Write(0x0001, kStart);
  rig.driver.Sync(rig.module, kStart + 2s);
  EXPECT_EQ(rig.module.InputWord(0), 0x0004);  // stuck halfway: neither end switch
  rig.Console("fault sensor 3 on", kStart + 2s);
  EXPECT_EQ(rig.module.InputWord(0), 0x000C);
  EXPECT_NE(rig.driver.Describe().find("faults: stuck on 3, jammed cylinder 0"), std::string::npos)
      << rig.driver.Describe();
  rig.Console("fault sensor 3 ok", kStart + 2s);
  EXPECT_EQ(rig.module.InputWord(0), 0x0004);
  rig.Console("fault sensor 2 off", kStart + 2s);
  EXPECT_EQ(rig.module.InputWord(0), 0x0000);
  // Cleared, the jammed cylinder goes on to the front.
  EXPECT_NE(rig.Console("fault clear", kStart + 2s).find("faults: none"), std::string::npos);
  EXPECT_TRUE(rig.driver.Moving());
  rig.driver.Sync(rig.module, kStart + 3s);
  EXPECT_EQ(rig.module.InputWord(0), 0x0006);
}

TEST(SimStationDriver, ResetBringsTheStationBackAndTheHeldOutputsActAgain) {
  Rig rig(StationKind::Handling);
  rig.Write(0x0001, kStart);
  rig.driver.Sync(rig.module, kStart + 500ms);
  EXPECT_EQ(rig.module.InputWord(0), 0x0006);
  rig.Console("reset", kStart + 500ms);
  // Back at the rest position, and the valve the module still holds drives it out again.
  EXPECT_EQ(rig.module.InputWord(0), 0x0005);
  EXPECT_EQ(rig.driver.Model().Outputs(), 0x0001);
  EXPECT_TRUE(rig.driver.Moving());
  // "output word 0 = ..." is the line of a write the control made; scripts
  // count those, so the description says it otherwise.
  EXPECT_NE(rig.driver.Describe().find("  outputs: 0x0001 (bits 0)\n"), std::string::npos) << rig.driver.Describe();
  EXPECT_EQ(rig.driver.Describe().find("output word"), std::string::npos) << rig.driver.Describe();
}

TEST(SimStationDriver, FeedPutsPartsOnTheBeltInTurn) {
  Rig rig(StationKind::BeltHandling);
  EXPECT_EQ(rig.Console("feed 0.5", kStart), "a part every 500 ms; input word 0 = 0x0028 (bits 3 5)");
  EXPECT_TRUE(rig.driver.Moving());
  rig.driver.Sync(rig.module, kStart + 1s);
  EXPECT_EQ(rig.driver.Model().AllParts().Total(), 2);
  EXPECT_NE(rig.driver.Describe().find("part #1 (metal)"), std::string::npos);
  EXPECT_NE(rig.driver.Describe().find("part #2 (plastic)"), std::string::npos);
  rig.Console("feed off", kStart + 1s);
  rig.driver.Sync(rig.module, kStart + 10s);
  EXPECT_EQ(rig.driver.Model().AllParts().Total(), 2);
  EXPECT_FALSE(rig.driver.Moving());
}

TEST(SimStationDriver, CommandsAStationCannotDoAreErrors) {
  const std::vector<std::tuple<StationKind, std::string_view, std::string_view>> cases = {
      {StationKind::Stack, "part metal", "error: part: the stack station has no belt"},
      {StationKind::Handling, "feed 2", "error: feed: the handling station has no belt"},
      {StationKind::Handling, "fault jam 2", "error: fault jam: the handling station has cylinders 0..1"},
      {StationKind::Belt, "fault jam 0", "error: fault jam: the belt station has no cylinder"},
      {StationKind::Belt, "fault air", "error: fault air: the belt station runs without compressed air"},
      {StationKind::Handling, "fault part", "error: fault part: only the stack station has a magazine"},
      {StationKind::BeltHandling, "fault sensor 2 on", "error: fault sensor: input 2 has no sensor"},
      {StationKind::Stack, "fault sensor 1 on", "error: fault sensor: input 1 has no sensor"},
      {StationKind::BeltHandling, "word 1 5", "error: the station drives input word 0 only"},
  };
  for (const auto& [kind, line, expected] : cases) {
    Rig rig(kind);
    const std::uint16_t before = rig.module.InputWord(0);
    const std::string result = rig.Console(line, kStart);
    EXPECT_TRUE(result.starts_with(expected)) << line << "\n" << result;
    EXPECT_EQ(rig.driver.Model().CurrentFaults().stuckOn, 0) << line;
    EXPECT_EQ(rig.module.InputWord(0), before) << line;
  }
}

}  // namespace
