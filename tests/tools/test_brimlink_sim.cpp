// brimlink-sim: its command line, its console commands, the COM entries it
// registers, and the program itself run over a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "tools/brimlink-sim/Console.h"
#include "tools/brimlink-sim/Options.h"
#include "tools/brimlink-sim/Registration.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "tools/virtual_module/VirtualModule.h"

using namespace std::chrono_literals;
using brimlink::sim::Millis;
using brimlink::sim::Model;
using brimlink::sim::ModuleConfig;
using brimlink::sim::VirtualModule;
using brimlink::sim::Word0Report;
using namespace brimlink::simtool;
using brimlink::testing::ChildProcess;
using brimlink::testing::TempFolder;

namespace {

using Args = std::vector<std::string_view>;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Command line

ParsedOptions Parse(const Args& args) { return ParseOptions(args); }

ModuleConfig OnlyModule(const Args& args) {
  const ParsedOptions parsed = Parse(args);
  EXPECT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.modules.size(), 1u);
  return parsed.options.modules.empty() ? ModuleConfig{} : parsed.options.modules.front().Config();
}

TEST(SimOptions, TheIssueCommandLineStartsOneUsbModule) {
  const ParsedOptions parsed = Parse({"--com", "7", "--model", "USB", "--number", "1"});
  ASSERT_EQ(parsed.error, "");
  ASSERT_EQ(parsed.options.modules.size(), 1u);
  EXPECT_EQ(parsed.options.modules[0].com, 7);
  EXPECT_FALSE(parsed.options.modules[0].duplicate);
  EXPECT_FALSE(parsed.options.force);
  EXPECT_FALSE(parsed.options.quiet);
  EXPECT_FALSE(parsed.options.help);

  const ModuleConfig config = parsed.options.modules[0].Config();
  EXPECT_EQ(config.model, Model::USB);
  EXPECT_EQ(config.number, 1);
  EXPECT_FALSE(config.echoDV);
  EXPECT_EQ(config.versionMajor, 2);
  EXPECT_EQ(config.versionMinor, 10);
  EXPECT_EQ(config.word0Report, Word0Report::EW);
  EXPECT_EQ(config.onlyBaud, 0);
  EXPECT_FALSE(config.faults.silent || config.faults.garbage || config.faults.splitBytes ||
               config.faults.neverAckWrites);
  EXPECT_EQ(config.faults.slowMs, 0);
}

TEST(SimOptions, UnsetValuesFollowTheModel) {
  const ModuleConfig plain = OnlyModule({"--com", "3"});
  EXPECT_EQ(plain.model, Model::USB);
  EXPECT_EQ(plain.number, 1);

  const ModuleConfig r6 = OnlyModule({"--com", "3", "--model", "R6"});
  EXPECT_EQ(r6.model, Model::R6);
  EXPECT_FALSE(r6.echoDV);
  EXPECT_EQ(std::make_pair(r6.versionMajor, r6.versionMinor), std::make_pair(1, 5));

  const ModuleConfig r16 = OnlyModule({"--com", "3", "--model", "R16"});
  EXPECT_EQ(r16.model, Model::R16);
  EXPECT_TRUE(r16.echoDV);

  const ModuleConfig r8a = OnlyModule({"--com", "3", "--model", "r8a"});  // any letter case
  EXPECT_EQ(r8a.model, Model::R8A);
  EXPECT_TRUE(r8a.echoDV);
}

TEST(SimOptions, EveryModuleOptionReachesTheConfiguration) {
  const ParsedOptions parsed =
      Parse({"--com", "12", "--model", "R6", "--number", "4", "--version", "3.7", "--report", "hash",
             "--silent", "--slow", "250", "--garbage", "--split", "--no-ack", "--only-baud", "19200",
             "--duplicate"});
  ASSERT_EQ(parsed.error, "");
  ASSERT_EQ(parsed.options.modules.size(), 1u);
  EXPECT_TRUE(parsed.options.modules[0].duplicate);
  const ModuleConfig config = parsed.options.modules[0].Config();
  EXPECT_EQ(config.model, Model::R6);
  EXPECT_EQ(config.number, 4);
  EXPECT_FALSE(config.echoDV);
  EXPECT_EQ(std::make_pair(config.versionMajor, config.versionMinor), std::make_pair(3, 7));
  EXPECT_EQ(config.word0Report, Word0Report::HashH);
  EXPECT_EQ(config.onlyBaud, 19200);
  EXPECT_TRUE(config.faults.silent);
  EXPECT_EQ(config.faults.slowMs, 250);
  EXPECT_TRUE(config.faults.garbage);
  EXPECT_TRUE(config.faults.splitBytes);
  EXPECT_TRUE(config.faults.neverAckWrites);

  EXPECT_EQ(OnlyModule({"--com", "1", "--report", "e"}).word0Report, Word0Report::LowerE);
  EXPECT_EQ(OnlyModule({"--com", "1", "--report", "EW"}).word0Report, Word0Report::EW);
  EXPECT_EQ(OnlyModule({"--com", "1", "--only-baud", "115200"}).onlyBaud, 115200);
  EXPECT_EQ(OnlyModule({"--com", "255", "--number", "0"}).number, 0);
  EXPECT_EQ(OnlyModule({"--com", "1", "--number", "9"}).number, 9);
}

TEST(SimOptions, VersionAndEchoOverrideTheModelInAnyOrder) {
  const ModuleConfig echoing = OnlyModule({"--com", "1", "--model", "USB", "--no-version"});
  EXPECT_TRUE(echoing.echoDV);

  // --version before --model: the model's defaults must not undo it.
  const ModuleConfig r16 = OnlyModule({"--com", "1", "--version", "1.7", "--model", "R16"});
  EXPECT_EQ(r16.model, Model::R16);
  EXPECT_FALSE(r16.echoDV);
  EXPECT_EQ(std::make_pair(r16.versionMajor, r16.versionMinor), std::make_pair(1, 7));

  const ModuleConfig zero = OnlyModule({"--com", "1", "--version", "0.0"});
  EXPECT_EQ(std::make_pair(zero.versionMajor, zero.versionMinor), std::make_pair(0, 0));
}

TEST(SimOptions, ValuesCanFollowAnEqualsSign) {
  const ModuleConfig config = OnlyModule({"--com=7", "--model=r16", "--slow=40", "--version=2.3"});
  EXPECT_EQ(config.model, Model::R16);
  EXPECT_EQ(config.faults.slowMs, 40);
  EXPECT_EQ(config.versionMinor, 3);
}

TEST(SimOptions, EachComStartsAModuleAndTakesTheOptionsAfterIt) {
  const ParsedOptions parsed = Parse({"--quiet", "--com", "7", "--model", "R6", "--silent", "--com", "8",
                                      "--number", "2", "--force", "--com", "20"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_TRUE(parsed.options.force);
  EXPECT_TRUE(parsed.options.quiet);
  ASSERT_EQ(parsed.options.modules.size(), 3u);
  const ModuleConfig first = parsed.options.modules[0].Config();
  const ModuleConfig second = parsed.options.modules[1].Config();
  const ModuleConfig third = parsed.options.modules[2].Config();
  EXPECT_EQ(parsed.options.modules[0].com, 7);
  EXPECT_EQ(parsed.options.modules[1].com, 8);
  EXPECT_EQ(parsed.options.modules[2].com, 20);
  EXPECT_EQ(first.model, Model::R6);
  EXPECT_EQ(first.number, 1);
  EXPECT_TRUE(first.faults.silent);
  EXPECT_EQ(second.model, Model::USB);
  EXPECT_EQ(second.number, 2);
  EXPECT_FALSE(second.faults.silent);
  EXPECT_EQ(third.number, 1);
}

TEST(SimOptions, HelpAndVersionInfoNeedNoModuleAndEndTheParse) {
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"--com", "7", "--help", "--bogus"}}) {
    const ParsedOptions parsed = Parse(args);
    EXPECT_EQ(parsed.error, "");
    EXPECT_TRUE(parsed.options.help);
    EXPECT_TRUE(parsed.options.modules.empty());
  }
  const ParsedOptions version = Parse({"--version-info"});
  EXPECT_EQ(version.error, "");
  EXPECT_TRUE(version.options.versionInfo);
  EXPECT_FALSE(version.options.help);
  // Alone, --version is the program's version too; with a module it is the
  // module's (see the cases of bad command lines).
  const ParsedOptions alone = Parse({"--version"});
  EXPECT_EQ(alone.error, "");
  EXPECT_TRUE(alone.options.versionInfo);
  EXPECT_TRUE(alone.options.modules.empty());
  const ParsedOptions module = Parse({"--com", "7", "--version", "2.10"});
  EXPECT_EQ(module.error, "");
  EXPECT_FALSE(module.options.versionInfo);
  ASSERT_EQ(module.options.modules.size(), 1u);
  EXPECT_EQ(module.options.modules[0].versionMajor, 2);
  EXPECT_EQ(module.options.modules[0].versionMinor, 10);

  const std::string help = HelpText();
  for (const char* option : {"--com", "--model", "--number", "--version", "--no-version", "--report",
                             "--silent", "--slow", "--garbage", "--split", "--no-ack", "--only-baud",
                             "--duplicate", "--force", "--quiet", "--help", "--version-info"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST(SimOptions, EveryBadCommandLineIsAnErrorNamingItsOption) {
  const std::vector<std::pair<Args, std::string_view>> cases = {
      {{}, "no module to start"},
      {{"--com", "0"}, "--com: '0'"},
      {{"--com", "256"}, "--com: '256'"},
      {{"--com", "7x"}, "--com: '7x'"},
      {{"--com", "-1"}, "--com: '-1'"},
      {{"--com", "+7"}, "--com: '+7'"},
      {{"--com", ""}, "--com: ''"},
      {{"--com"}, "--com needs a value"},
      {{"--com", "7", "--com", "7"}, "--com: COM7 is given twice"},
      {{"--model", "R6", "--com", "7"}, "--model applies to the module of the --com before it"},
      {{"--silent"}, "--silent applies to the module"},
      {{"--com", "7", "--model", "R9"}, "--model: 'R9'"},
      {{"--com", "7", "--model", "R6", "--model", "R16"}, "--model is given twice for COM7"},
      {{"--com", "7", "--number", "10"}, "--number: '10'"},
      {{"--com", "7", "--number", "a"}, "--number: 'a'"},
      {{"--com", "7", "--number"}, "--number needs a value"},
      {{"--version", "2.10"}, "--version applies to the module"},
      {{"--com", "7", "--version"}, "--version needs a value"},
      {{"--com", "7", "--version", "2"}, "--version: '2'"},
      {{"--com", "7", "--version", "2.x"}, "--version: '2.x'"},
      {{"--com", "7", "--version", "2.05"}, "--version: '2.05'"},
      {{"--com", "7", "--version", "100.1"}, "--version: '100.1'"},
      {{"--com", "7", "--version", ".5"}, "--version: '.5'"},
      {{"--com", "7", "--version", "2.1", "--no-version"}, "--no-version: cannot be combined"},
      {{"--com", "7", "--no-version", "--version", "2.1"}, "--version: cannot be combined"},
      {{"--com", "7", "--report", "EW2"}, "--report: 'EW2'"},
      {{"--com", "7", "--slow", "-5"}, "--slow: '-5'"},
      {{"--com", "7", "--slow", "60001"}, "--slow: '60001'"},
      {{"--com", "7", "--slow", "fast"}, "--slow: 'fast'"},
      {{"--com", "7", "--only-baud", "9600"}, "--only-baud: '9600'"},
      {{"--com", "7", "--only-baud", "0"}, "--only-baud: '0'"},
      {{"--com", "7", "--silent=1"}, "--silent takes no value"},
      {{"--com", "7", "--force=yes"}, "--force takes no value"},
      {{"--com", "7", "--help=1"}, "--help takes no value"},
      {{"--com", "7", "--frobnicate"}, "unknown option '--frobnicate'"},
      {{"--com", "7", "-v"}, "unknown option '-v'"},
      {{"--com", "7", "COM8"}, "unexpected argument 'COM8'"},
  };
  for (const auto& [args, expected] : cases) {
    std::string joined;
    for (const auto& a : args) joined += std::string(a) + " ";
    const ParsedOptions parsed = Parse(args);
    EXPECT_TRUE(parsed.error.starts_with(expected)) << "args: " << joined << "\nerror: " << parsed.error;
    EXPECT_TRUE(parsed.options.modules.empty()) << "args: " << joined;
  }
}

// ---------------------------------------------------------------------------
// Console commands

using Kind = ConsoleCommand::Kind;

TEST(SimConsole, LinesBecomeCommands) {
  const std::vector<std::pair<std::string_view, ConsoleCommand>> cases = {
      {"", {}},
      {"   ", {}},
      {"# a comment", {}},
      {"help", {.kind = Kind::Help}},
      {"HELP", {.kind = Kind::Help}},
      {"show", {.kind = Kind::Show}},
      {"unplug", {.kind = Kind::Unplug}},
      {"quit", {.kind = Kind::Quit}},
      {"exit", {.kind = Kind::Quit}},
      {"in 3 on", {.kind = Kind::InputBit, .index = 3, .on = true}},
      {"  in\t15 OFF ", {.kind = Kind::InputBit, .index = 15, .on = false}},
      {"in 0x0F", {.kind = Kind::InputWord, .index = 0, .value = 0x0F}},
      {"in 0XfFfF", {.kind = Kind::InputWord, .index = 0, .value = 0xFFFF}},
      {"in 65535", {.kind = Kind::InputWord, .index = 0, .value = 0xFFFF}},
      {"in 12", {.kind = Kind::InputWord, .index = 0, .value = 12}},
      {"word 4 0x1234", {.kind = Kind::InputWord, .index = 4, .value = 0x1234}},
      {"word 0 7", {.kind = Kind::InputWord, .index = 0, .value = 7}},
      {"counter 1 300", {.kind = Kind::Counter, .index = 1, .value = 300}},
      {"module 8", {.kind = Kind::Select, .index = 8}},
      {"module COM255", {.kind = Kind::Select, .index = 255}},
      {"fault silent on", {.kind = Kind::Fault, .on = true, .fault = FaultSwitch::Silent}},
      {"fault garbage off", {.kind = Kind::Fault, .on = false, .fault = FaultSwitch::Garbage}},
      {"fault split on", {.kind = Kind::Fault, .on = true, .fault = FaultSwitch::Split}},
      {"fault no-ack on", {.kind = Kind::Fault, .on = true, .fault = FaultSwitch::NoAck}},
      {"fault slow on", {.kind = Kind::Fault, .on = true, .fault = FaultSwitch::Slow, .amount = kSlowOnMs}},
      {"fault slow 250", {.kind = Kind::Fault, .on = true, .fault = FaultSwitch::Slow, .amount = 250}},
      {"fault slow 0", {.kind = Kind::Fault, .on = false, .fault = FaultSwitch::Slow}},
      {"fault slow off", {.kind = Kind::Fault, .on = false, .fault = FaultSwitch::Slow}},
      {"fault only-baud 19200",
       {.kind = Kind::Fault, .on = true, .fault = FaultSwitch::OnlyBaud, .amount = 19200}},
      {"fault only-baud off", {.kind = Kind::Fault, .on = false, .fault = FaultSwitch::OnlyBaud}},
  };
  for (const auto& [line, expected] : cases) {
    const ParsedCommand parsed = ParseConsoleLine(line);
    EXPECT_EQ(parsed.error, "") << "line '" << line << "'";
    EXPECT_TRUE(parsed.command == expected) << "line '" << line << "'";
  }
}

TEST(SimConsole, BadLinesAreErrorsNamingTheCommand) {
  const std::vector<std::pair<std::string_view, std::string_view>> cases = {
      {"frob", "unknown command 'frob'"},
      {"in", "in: use"},
      {"in 16 on", "in: '16' is not a bit"},
      {"in 3 maybe", "in: 'maybe' is not on or off"},
      {"in 65536", "in: '65536'"},
      {"in 0x10000", "in: '0x10000'"},
      {"in 0x", "in: '0x'"},
      {"in -1", "in: '-1'"},
      {"in 3 on now", "in: use"},
      {"word 5 1", "word: '5' is not an input word"},
      {"word 1", "word: use"},
      {"word 1 zz", "word: 'zz'"},
      {"counter 2 1", "counter: '2' is not a counter"},
      {"counter 0 0x1FFFF", "counter: '0x1FFFF'"},
      {"show all", "show takes no arguments"},
      {"quit now", "quit takes no arguments"},
      {"module 0", "module: '0'"},
      {"module", "module: use"},
      {"fault", "fault: use"},
      {"fault bogus on", "fault: 'bogus' is not a fault"},
      {"fault silent 1", "fault silent: '1' is not on or off"},
      {"fault slow fast", "fault slow: 'fast'"},
      {"fault slow 60001", "fault slow: '60001'"},
      {"fault only-baud 9600", "fault only-baud: '9600'"},
      {"fault only-baud on", "fault only-baud: 'on'"},
  };
  for (const auto& [line, expected] : cases) {
    const ParsedCommand parsed = ParseConsoleLine(line);
    EXPECT_TRUE(parsed.error.starts_with(expected)) << "line '" << line << "'\nerror: " << parsed.error;
    EXPECT_TRUE(parsed.command == ConsoleCommand{}) << "line '" << line << "'";
  }
  const std::string help = ConsoleHelpText();
  for (const char* command : {"in BIT", "in VALUE", "word", "show", "counter", "fault", "unplug", "module",
                              "quit", "help"}) {
    EXPECT_NE(help.find(command), std::string::npos) << command;
  }
}

constexpr Millis kNow{5000};

std::string Drain(VirtualModule& module, Millis at = kNow) {
  std::string out;
  char buffer[64];
  while (const std::size_t n = module.TakeOutput(at, buffer, sizeof buffer)) out.append(buffer, n);
  return out;
}

std::string Apply(VirtualModule& module, std::string_view line, Millis now = kNow) {
  const ParsedCommand parsed = ParseConsoleLine(line);
  EXPECT_EQ(parsed.error, "") << line;
  return ApplyToModule(parsed.command, module, now);
}

std::string Ask(VirtualModule& module, std::string_view command, Millis now = kNow) {
  module.Receive(std::string(command) + "\r", now);
  return Drain(module, now);
}

TEST(SimConsoleApply, InputBitsChangeWordZeroAndTheModuleReportsIt) {
  VirtualModule module(ModuleConfig::Defaults(Model::USB, 1));
  EXPECT_EQ(Apply(module, "in 3 on"), "input word 0 = 0x0008 (bits 3)");
  EXPECT_EQ(Drain(module), "EW1.0=0008\r");
  EXPECT_EQ(Apply(module, "in 0 on"), "input word 0 = 0x0009 (bits 0 3)");
  EXPECT_EQ(Drain(module), "EW1.0=0009\r");
  EXPECT_EQ(Apply(module, "in 3 off"), "input word 0 = 0x0001 (bits 0)");
  EXPECT_EQ(Drain(module), "EW1.0=0001\r");
  EXPECT_EQ(Apply(module, "in 15 on"), "input word 0 = 0x8001 (bits 0 15)");
  EXPECT_EQ(Drain(module), "EW1.0=8001\r");
  EXPECT_EQ(Apply(module, "in 0x0F"), "input word 0 = 0x000F (bits 0 1 2 3)");
  EXPECT_EQ(Drain(module), "EW1.0=000F\r");
  EXPECT_EQ(Apply(module, "in 0"), "input word 0 = 0x0000 (no bits)");
  EXPECT_EQ(Drain(module), "EW1.0=0000\r");
  EXPECT_EQ(module.InputWord(0), 0);

  ModuleConfig hash = ModuleConfig::Defaults(Model::R16, 3);
  hash.word0Report = Word0Report::HashH;
  VirtualModule r16(hash);
  Apply(r16, "in 1 on");
  EXPECT_EQ(Drain(r16), "#H300002\r");
}

TEST(SimConsoleApply, OtherInputWordsOnlyWhereTheModelHasThem) {
  VirtualModule usb(ModuleConfig::Defaults(Model::USB, 1));
  EXPECT_EQ(Ask(usb, "MS1=02"), "S1=02\r");  // auto-send of input word 2
  EXPECT_EQ(Apply(usb, "word 2 0x1234"), "input word 2 = 0x1234 (bits 2 4 5 9 12)");
  EXPECT_EQ(Drain(usb), std::string("4\x12\x34\r", 4));
  EXPECT_EQ(Apply(usb, "word 4 5"), "input word 4 = 0x0005 (bits 0 2)");
  EXPECT_EQ(usb.InputWord(4), 5);
  EXPECT_EQ(Drain(usb), "");  // word 4 is not in the auto-send mask

  VirtualModule r6(ModuleConfig::Defaults(Model::R6, 1));
  EXPECT_EQ(Apply(r6, "word 2 7"), "error: R6 has input word 0 only");
  EXPECT_EQ(r6.InputWord(2), 0);
  EXPECT_EQ(Apply(r6, "word 0 7"), "input word 0 = 0x0007 (bits 0 1 2)");
  EXPECT_EQ(Drain(r6), "EW1.0=0007\r");
}

TEST(SimConsoleApply, CountersAreWhatTheModuleReports) {
  VirtualModule module(ModuleConfig::Defaults(Model::USB, 2));
  EXPECT_EQ(Apply(module, "counter 1 0x1234"), "counter 1 = 4660 (0x1234)");
  EXPECT_EQ(Apply(module, "counter 0 7"), "counter 0 = 7 (0x0007)");
  EXPECT_EQ(Ask(module, "DC2.1"), "C2.1=1234\r");
  EXPECT_EQ(Ask(module, "DC2.0"), "C2.0=0007\r");
}

TEST(SimConsoleApply, FaultSwitchesTakeEffectAtOnce) {
  VirtualModule module(ModuleConfig::Defaults(Model::USB, 1));
  module.SetLineBaud(115200);

  EXPECT_EQ(Apply(module, "fault silent on"), "fault silent on");
  EXPECT_EQ(Ask(module, "setup0"), "");
  EXPECT_EQ(Apply(module, "fault silent off"), "fault silent off");
  EXPECT_EQ(Ask(module, "setup0"), "setup1\r");

  EXPECT_EQ(Apply(module, "fault no-ack on"), "fault no-ack on");
  EXPECT_EQ(Ask(module, "MAW1.0=0003"), "");
  EXPECT_EQ(module.OutputWord(0), 3);
  Apply(module, "fault no-ack off");
  EXPECT_EQ(Ask(module, "MAW1.0=0004"), "AW1.0=0004\r");

  EXPECT_EQ(Apply(module, "fault slow 200"), "fault slow 200 ms");
  module.Receive("DV\r", kNow);
  EXPECT_EQ(Drain(module, kNow + 199ms), "");
  EXPECT_EQ(Drain(module, kNow + 200ms), "V=2.10\r");
  EXPECT_EQ(Apply(module, "fault slow off"), "fault slow off");
  EXPECT_EQ(module.Config().faults.slowMs, 0);

  EXPECT_EQ(Apply(module, "fault only-baud 19200"), "fault only-baud 19200");
  EXPECT_EQ(Ask(module, "setup0"), "");
  module.SetLineBaud(19200);
  EXPECT_EQ(Ask(module, "setup0"), "setup1\r");
  EXPECT_EQ(Apply(module, "fault only-baud off"), "fault only-baud off");
  module.SetLineBaud(115200);
  EXPECT_EQ(Ask(module, "setup0"), "setup1\r");

  EXPECT_EQ(Apply(module, "fault split on"), "fault split on");
  module.Receive("setup0\r", kNow);
  char byte[8];
  EXPECT_EQ(module.TakeOutput(kNow, byte, sizeof byte), 1u);
  EXPECT_EQ(Drain(module), "etup1\r");
  Apply(module, "fault split off");

  EXPECT_EQ(Apply(module, "fault garbage on"), "fault garbage on");
  const std::string noisy = Ask(module, "setup0");
  EXPECT_TRUE(noisy.ends_with("\rsetup1\r")) << noisy;
  EXPECT_GT(noisy.size(), std::string("\rsetup1\r").size());
}

TEST(SimConsoleApply, DescriptionsNameWordsBitsAndSettings) {
  EXPECT_EQ(DescribeWord("output", 0, 0x0005), "output word 0 = 0x0005 (bits 0 2)");
  EXPECT_EQ(DescribeWord("output", 2, 0xFFFF), "output word 2 = 0xFFFF (bits 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15)");
  EXPECT_EQ(DescribeWord("output", 1, 0), "output word 1 = 0x0000 (no bits)");
  EXPECT_EQ(ModuleLabel(7, ModuleConfig::Defaults(Model::USB, 1)), "COM7 module 1");

  EXPECT_EQ(DescribeConfig(ModuleConfig::Defaults(Model::USB, 1)), "USB, module 1, V=2.10");
  EXPECT_EQ(DescribeConfig(ModuleConfig::Defaults(Model::R6, 3)), "R6, module 3, V=1.5");
  EXPECT_EQ(DescribeConfig(ModuleConfig::Defaults(Model::R16, 2)), "R16, module 2, DV echo");
  ModuleConfig faulty = ModuleConfig::Defaults(Model::R8A, 9);
  faulty.word0Report = Word0Report::LowerE;
  faulty.onlyBaud = 19200;
  faulty.faults = {.silent = true, .slowMs = 30, .garbage = true, .splitBytes = true, .neverAckWrites = true};
  EXPECT_EQ(DescribeConfig(faulty),
            "R8A, module 9, DV echo, report e, only 19200 baud, silent, slow 30 ms, garbage, split, no-ack");
}

TEST(SimConsoleApply, ShowListsTheModuleState) {
  VirtualModule usb(ModuleConfig::Defaults(Model::USB, 1));
  Apply(usb, "in 0x0105");
  Apply(usb, "word 3 0xBEEF");
  Apply(usb, "counter 1 42");
  Ask(usb, "MS1=05");
  Ask(usb, "MAW1.2=00A0");
  const std::string shown = ShowModule(usb, 19200, 10);
  EXPECT_NE(shown.find("inputs:  0x0105 0x0000 0x0000 0xBEEF 0x0000\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("outputs: 0x0000 0x00A0 0x0000\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("auto-send mask: 0x05\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("counters: 0 42\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("line: 19200 baud\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("commands received: 12, last 'MAW1.2=00A0'\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("settings: USB, module 1, V=2.10\n"), std::string::npos) << shown;

  VirtualModule r6(ModuleConfig::Defaults(Model::R6, 1));
  const std::string small = ShowModule(r6, 0, 0);
  EXPECT_NE(small.find("inputs:  0x0000\n"), std::string::npos) << small;
  EXPECT_NE(small.find("outputs: 0x0000\n"), std::string::npos) << small;
  EXPECT_NE(small.find("line: speed not set yet\n"), std::string::npos) << small;
  EXPECT_NE(small.find("commands received: 0\n"), std::string::npos) << small;
}

// ---------------------------------------------------------------------------
// COM entries

std::optional<std::string> LinkTarget(const std::string& path) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error))) return std::nullopt;
  return fs::read_symlink(path, error).string();
}

TEST(SimRegistration, PortsFolderIsCreatedGroupWritable) {
  TempFolder temp("brimlink-sim-test");
  ASSERT_FALSE(temp.Path().empty());
  std::string error;
  const std::string folder = EnsurePortsFolder(temp.Path(), error);
  EXPECT_EQ(folder, temp.Path() + "/ports");
  EXPECT_EQ(error, "");
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 02775u);
  EXPECT_EQ(EnsurePortsFolder(temp.Path(), error), folder);  // an existing folder is fine

  EXPECT_EQ(EnsurePortsFolder("", error), "");
  EXPECT_NE(error.find("settings folder"), std::string::npos);
  error.clear();
  {
    const int fd = ::open((temp.Path() + "/file").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  EXPECT_EQ(EnsurePortsFolder(temp.Path() + "/file", error), "");
  EXPECT_NE(error, "");
}

TEST(SimRegistration, LinkIsCreatedAndRemovedOnlyWhileItIsOwn) {
  TempFolder temp("brimlink-sim-test");
  std::string error;
  const std::string folder = EnsurePortsFolder(temp.Path(), error);
  ASSERT_FALSE(folder.empty()) << error;
  const std::string path = folder + "/COM7";
  {
    PortLink link;
    ASSERT_TRUE(link.Create(folder, 7, "/dev/pts/77", false, error)) << error;
    EXPECT_EQ(link.Path(), path);
    EXPECT_EQ(LinkTarget(path), "/dev/pts/77");
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(path))) << "the destructor removes the link";

  PortLink link;
  ASSERT_TRUE(link.Create(folder, 7, "/dev/pts/77", false, error)) << error;
  // Someone registers another line meanwhile: that entry is not ours to remove.
  fs::remove(path);
  fs::create_symlink("/dev/pts/88", path);
  EXPECT_FALSE(link.Remove());
  EXPECT_EQ(LinkTarget(path), "/dev/pts/88");

  // A leftover link to the very line we hold is taken over without --force.
  PortLink again;
  fs::remove(path);
  fs::create_symlink("/dev/pts/99", path);
  EXPECT_TRUE(again.Create(folder, 7, "/dev/pts/99", false, error)) << error;
  EXPECT_TRUE(again.Remove());
  EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

TEST(SimRegistration, ForeignEntriesInAnyLetterCaseNeedForce) {
  TempFolder temp("brimlink-sim-test");
  std::string error;
  const std::string folder = EnsurePortsFolder(temp.Path(), error);
  ASSERT_FALSE(folder.empty()) << error;

  fs::create_symlink("/dev/ttyUSB3", folder + "/COM9");
  PortLink link;
  EXPECT_FALSE(link.Create(folder, 9, "/dev/pts/5", false, error));
  EXPECT_NE(error.find("COM9 is already registered: " + folder + "/COM9 -> /dev/ttyUSB3"), std::string::npos)
      << error;
  EXPECT_NE(error.find("--force"), std::string::npos) << error;
  EXPECT_EQ(LinkTarget(folder + "/COM9"), "/dev/ttyUSB3");
  EXPECT_EQ(link.Path(), "");

  ASSERT_TRUE(link.Create(folder, 9, "/dev/pts/5", true, error)) << error;
  EXPECT_EQ(LinkTarget(folder + "/COM9"), "/dev/pts/5");
  EXPECT_TRUE(link.Remove());

  // "com10" is COM10 to the control as well.
  {
    const int fd = ::open((folder + "/com10").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  EXPECT_EQ(ComEntries(folder, 10), std::vector<std::string>{"com10"});
  error.clear();
  EXPECT_FALSE(link.Create(folder, 10, "/dev/pts/6", false, error));
  EXPECT_NE(error.find("(a file)"), std::string::npos) << error;
  EXPECT_TRUE(fs::exists(folder + "/com10"));
  ASSERT_TRUE(link.Create(folder, 10, "/dev/pts/6", true, error)) << error;
  EXPECT_EQ(ComEntries(folder, 10), std::vector<std::string>{"COM10"});
  EXPECT_EQ(LinkTarget(folder + "/COM10"), "/dev/pts/6");

  // A folder is never replaced, not even with force.
  fs::create_directory(folder + "/COM11");
  error.clear();
  EXPECT_FALSE(link.Create(folder, 11, "/dev/pts/7", true, error));
  EXPECT_NE(error.find("folder"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(folder + "/COM11"));
}

TEST(SimRegistration, PortsFolderThatIsASymbolicLinkIsRefused) {
  TempFolder temp("brimlink-sim-test");
  ASSERT_FALSE(temp.Path().empty());
  const std::string elsewhere = temp.Path() + "/elsewhere";
  fs::create_directory(elsewhere);
  fs::create_directory_symlink(elsewhere, temp.Path() + "/ports");

  std::string error;
  EXPECT_EQ(EnsurePortsFolder(temp.Path(), error), "");
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  // Also when it is swapped in after the check: nothing is written through it.
  PortLink link;
  error.clear();
  EXPECT_FALSE(link.Create(temp.Path() + "/ports", 7, "/dev/pts/77", true, error));
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST(SimRegistration, OwnerIsRecordedBesideTheLinkAndGoesWithIt) {
  TempFolder temp("brimlink-sim-test");
  std::string error;
  const std::string folder = EnsurePortsFolder(temp.Path(), error);
  ASSERT_FALSE(folder.empty()) << error;
  const std::optional<unsigned long long> started = ProcessStartTime(::getpid());
  ASSERT_TRUE(started.has_value());

  PortLink link;
  ASSERT_TRUE(link.Create(folder, 7, "/dev/pts/77", false, error)) << error;
  const std::optional<LinkOwner> owner = ReadLinkOwner(folder, 7);
  ASSERT_TRUE(owner.has_value());
  EXPECT_EQ(owner->pid, ::getpid());
  EXPECT_EQ(owner->startTime, *started);
  EXPECT_EQ(owner->target, "/dev/pts/77");
  EXPECT_TRUE(OwnerIsAlive(*owner));
  // The record is no COM entry to the control or to the next free number.
  EXPECT_EQ(ComEntries(folder, 7), std::vector<std::string>{"COM7"});
  EXPECT_EQ(NextFreeCom(folder, 7, {}), 8);

  EXPECT_TRUE(link.Remove());
  EXPECT_FALSE(ReadLinkOwner(folder, 7).has_value());
  EXPECT_TRUE(fs::is_empty(folder));
}

// A process that has ended: the child is killed and reaped.
pid_t EndedProcessId() {
  ChildProcess child({"/bin/sleep", "30"}, {});
  if (!child.Started()) return 0;
  const pid_t pid = child.Pid();
  ::kill(pid, SIGKILL);
  child.CloseStdin();
  child.WaitForExit();
  return pid;
}

TEST(SimRegistration, LinkOfAnEndedOwnerIsReplacedWithoutForce) {
  const pid_t ended = EndedProcessId();
  ASSERT_GT(ended, 0);
  const unsigned long long ownStart = ProcessStartTime(::getpid()).value_or(0);
  ASSERT_NE(ownStart, 0u);
  const std::string self = std::to_string(::getpid());

  struct Case {
    std::string what;
    std::string record;  // the owner file's contents; "" for none
    bool replaced;
  };
  const std::vector<Case> cases = {
      {"killed owner", std::to_string(ended) + " 0 /dev/pts/90\n", true},
      {"pid given to another process since", self + " " + std::to_string(ownStart + 1) + " /dev/pts/90\n", true},
      {"live owner", self + " " + std::to_string(ownStart) + " /dev/pts/90\n", false},
      {"live owner, start time unknown", self + " 0 /dev/pts/90\n", false},
      {"record of another link", std::to_string(ended) + " 0 /dev/pts/91\n", false},
      {"no record", "", false},
      {"unreadable record", "pid 12 /dev/pts/90\n", false},
      {"record without its line end", std::to_string(ended) + " 0 /dev/pts/90", false},
  };
  for (const Case& c : cases) {
    TempFolder temp("brimlink-sim-test");
    std::string error;
    const std::string folder = EnsurePortsFolder(temp.Path(), error);
    ASSERT_FALSE(folder.empty()) << error;
    fs::create_symlink("/dev/pts/90", folder + "/COM9");
    if (!c.record.empty()) std::ofstream(folder + "/.COM9.owner") << c.record;

    PortLink link;
    std::string note;
    error.clear();
    EXPECT_EQ(link.Create(folder, 9, "/dev/pts/5", false, error, &note), c.replaced) << c.what << ": " << error;
    if (c.replaced) {
      EXPECT_EQ(LinkTarget(folder + "/COM9"), "/dev/pts/5") << c.what;
      EXPECT_NE(note.find("which has ended"), std::string::npos) << c.what << ": " << note;
      const std::optional<LinkOwner> owner = ReadLinkOwner(folder, 9);
      ASSERT_TRUE(owner.has_value()) << c.what;
      EXPECT_EQ(owner->pid, ::getpid()) << c.what;
      EXPECT_EQ(owner->target, "/dev/pts/5") << c.what;
    } else {
      EXPECT_NE(error.find("COM9 is already registered"), std::string::npos) << c.what << ": " << error;
      EXPECT_EQ(LinkTarget(folder + "/COM9"), "/dev/pts/90") << c.what;
      EXPECT_EQ(note, "") << c.what;
    }
  }
}

TEST(SimRegistration, ZombieOwnerHasEnded) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) ::_exit(0);
  // Unreaped, the child stays a zombie until waitpid below.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (ProcessStartTime(pid).has_value() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(ProcessStartTime(pid).has_value());
  EXPECT_EQ(::kill(pid, 0), 0) << "the zombie still has its id";
  EXPECT_FALSE(OwnerIsAlive({.pid = pid, .startTime = 0, .target = "/dev/pts/1"}));
  EXPECT_EQ(::waitpid(pid, nullptr, 0), pid);
}

TEST(SimRegistration, NextFreeComSkipsEntriesAndTakenNumbers) {
  TempFolder temp("brimlink-sim-test");
  std::string error;
  const std::string folder = EnsurePortsFolder(temp.Path(), error);
  ASSERT_FALSE(folder.empty()) << error;
  fs::create_symlink("/dev/null", folder + "/COM8");
  fs::create_symlink("/dev/null", folder + "/Com10");
  fs::create_symlink("/dev/null", folder + "/COM011");  // not COM11's name
  EXPECT_EQ(NextFreeCom(folder, 7, {7, 9}), 11);
  EXPECT_EQ(NextFreeCom(folder, 11, {}), 12);
  EXPECT_EQ(NextFreeCom(folder, 254, {255}), 0);
  EXPECT_EQ(NextFreeCom(folder, 255, {}), 0);
}

// ---------------------------------------------------------------------------
// The program, end to end

constexpr auto kTimeout = 10s;
using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// brimlink-sim as a child process with its standard streams on pipes.
std::unique_ptr<ChildProcess> StartSimProcess(const std::vector<std::string>& args, const std::string& configDirs) {
  std::vector<std::string> argv{BRIMLINK_SIM_PROGRAM};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<ChildProcess>(argv, std::map<std::string, std::string>{{"XDG_CONFIG_DIRS", configDirs}});
}

// The control's end of a registered COM port: the pseudo-terminal's slave.
class Line {
 public:
  explicit Line(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios settings{};
    if (::tcgetattr(fd_, &settings) == 0) {
      ::cfmakeraw(&settings);
      ::cfsetspeed(&settings, B115200);
      ::tcsetattr(fd_, TCSANOW, &settings);
    }
  }
  ~Line() {
    if (fd_ >= 0) ::close(fd_);
  }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  bool IsTerminal() const { return ::isatty(fd_) == 1; }
  bool Send(std::string_view bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Bytes read until they end with `ending` or the time-out.
  std::string ReadUntil(std::string_view ending) {
    const auto deadline = Clock::now() + kTimeout;
    std::string got;
    while (!got.ends_with(ending)) {
      pollfd fd{fd_, POLLIN, 0};
      if (::poll(&fd, 1, RemainingMs(deadline)) <= 0) break;
      char buffer[256];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  std::string Ask(std::string_view command) {
    Send(command);
    return ReadUntil("\r");
  }
  // True when the other side closed the line before the time-out.
  bool WaitForHangUp() {
    pollfd fd{fd_, POLLIN, 0};
    return ::poll(&fd, 1, RemainingMs(Clock::now() + kTimeout)) == 1 && (fd.revents & POLLHUP) != 0;
  }

 private:
  int fd_ = -1;
};

// A settings folder of the test's own; COM200 and up are far from any real port.
class SimEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.Path().empty()); }
  std::string Ports() const { return temp_.Path() + "/Brimlink/ports"; }
  std::string Entry(int com) const { return Ports() + "/COM" + std::to_string(com); }
  const std::string& ConfigDirs() const { return temp_.Path(); }

  // Starts the program and waits until it has registered every module.
  std::unique_ptr<ChildProcess> StartSim(const std::vector<std::string>& args, int modules = 1) {
    auto sim = StartSimProcess(args, ConfigDirs());
    EXPECT_TRUE(sim->Started());
    for (int i = 0; i < modules; ++i) {
      EXPECT_TRUE(sim->WaitForLine(" -> /dev/pts/")) << sim->Out() << sim->Err();
    }
    EXPECT_TRUE(sim->WaitForLine("Links in " + Ports())) << sim->Out() << sim->Err();
    return sim;
  }

 private:
  TempFolder temp_{"brimlink-sim-test"};
};

TEST_F(SimEndToEnd, ModuleAnswersOnItsComPortAndTheConsoleDrivesIt) {
  auto sim = StartSim({"--com", "201", "--model", "USB", "--number", "1"});
  const auto target = LinkTarget(Entry(201));
  ASSERT_TRUE(target.has_value()) << sim->Out();
  EXPECT_TRUE(target->starts_with("/dev/pts/")) << *target;
  EXPECT_NE(sim->Out().find("COM201 -> " + *target + " (USB, module 1, V=2.10)\n"), std::string::npos)
      << sim->Out();

  Line line(Entry(201));
  ASSERT_TRUE(line.IsOpen());
  EXPECT_TRUE(line.IsTerminal());
  EXPECT_EQ(line.Ask("\r"), "setup1\r");
  EXPECT_EQ(line.Ask("setup0\r"), "setup1\r");
  EXPECT_EQ(line.Ask("DV\r"), "V=2.10\r");

  ASSERT_TRUE(sim->Type("in 3 on\n"));
  EXPECT_EQ(line.ReadUntil("\r"), "EW1.0=0008\r");
  EXPECT_TRUE(sim->WaitForLine("COM201 module 1: input word 0 = 0x0008 (bits 3)"));

  EXPECT_EQ(line.Ask("MAW1.0=0005\r"), "AW1.0=0005\r");
  EXPECT_TRUE(sim->WaitForLine("COM201 module 1: output word 0 = 0x0005 (bits 0 2)")) << sim->Out();

  ASSERT_TRUE(sim->Type("show\n"));
  EXPECT_TRUE(sim->WaitForLine("line: 115200 baud")) << sim->Out();

  ASSERT_EQ(::kill(sim->Pid(), SIGTERM), 0);
  EXPECT_EQ(sim->WaitForExit(), 0) << sim->Out() << sim->Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(201))));
  EXPECT_EQ(sim->Err(), "");
}

class SimEnding : public SimEndToEnd, public ::testing::WithParamInterface<std::string_view> {};

TEST_P(SimEnding, LinkIsRemovedAndTheExitCodeIsZero) {
  auto sim = StartSim({"--com", "202"});
  ASSERT_TRUE(LinkTarget(Entry(202)).has_value());
  const std::string_view how = GetParam();
  if (how == "SIGINT" || how == "SIGHUP" || how == "SIGQUIT") {
    ASSERT_EQ(::kill(sim->Pid(), how == "SIGINT" ? SIGINT : how == "SIGHUP" ? SIGHUP : SIGQUIT), 0);
  } else if (how == "end of input") {
    sim->CloseStdin();
  } else {
    ASSERT_TRUE(sim->Type("quit\n"));
  }
  EXPECT_EQ(sim->WaitForExit(), 0) << sim->Out() << sim->Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(202))));
  EXPECT_TRUE(fs::is_empty(Ports())) << "the owner record goes with the link";
  EXPECT_NE(sim->Out().find("brimlink-sim ends (" + std::string(how) + ")"), std::string::npos) << sim->Out();
}

INSTANTIATE_TEST_SUITE_P(Ways, SimEnding, ::testing::Values("SIGINT", "SIGHUP", "SIGQUIT", "end of input", "quit"),
                         [](const auto& info) {
                           std::string name(info.param);
                           std::erase(name, ' ');
                           return name;
                         });

TEST_F(SimEndToEnd, ForeignComEntryIsRefusedUnlessForced) {
  fs::create_directories(Ports());
  fs::create_symlink("/dev/ttyUSB0", Entry(203));

  auto refused = StartSimProcess({"--com", "203"}, ConfigDirs());
  EXPECT_EQ(refused->WaitForExit(), 1);
  EXPECT_NE(refused->Err().find("COM203 is already registered"), std::string::npos) << refused->Err();
  EXPECT_NE(refused->Err().find("--force"), std::string::npos) << refused->Err();
  EXPECT_EQ(LinkTarget(Entry(203)), "/dev/ttyUSB0");

  auto forced = StartSim({"--com", "203", "--force"});
  const auto target = LinkTarget(Entry(203));
  ASSERT_TRUE(target.has_value());
  EXPECT_TRUE(target->starts_with("/dev/pts/")) << *target;
  forced->CloseStdin();
  EXPECT_EQ(forced->WaitForExit(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(203))));
}

TEST_F(SimEndToEnd, DuplicateRunsTheSameNumberOnTheNextFreeCom) {
  fs::create_directories(Ports());
  fs::create_symlink("/dev/null", Entry(211));  // taken: the copy must skip it

  auto sim = StartSim({"--com", "210", "--number", "3", "--duplicate"}, 2);
  EXPECT_NE(sim->Out().find("COM212 -> /dev/pts/"), std::string::npos) << sim->Out();
  EXPECT_NE(sim->Out().find("same number as COM210"), std::string::npos) << sim->Out();
  EXPECT_EQ(LinkTarget(Entry(211)), "/dev/null");
  Line first(Entry(210));
  Line second(Entry(212));
  ASSERT_TRUE(first.IsOpen() && second.IsOpen());
  EXPECT_EQ(first.Ask("setup0\r"), "setup3\r");
  EXPECT_EQ(second.Ask("setup0\r"), "setup3\r");

  // The console acts on the selected module only.
  ASSERT_TRUE(sim->Type("module 212\n"));
  ASSERT_TRUE(sim->Type("in 0x0F\n"));
  EXPECT_EQ(second.ReadUntil("\r"), "EW3.0=000F\r");
  EXPECT_EQ(first.Ask("DEW3.0\r"), "EW3.0=0000\r");

  ASSERT_EQ(::kill(sim->Pid(), SIGTERM), 0);
  EXPECT_EQ(sim->WaitForExit(), 0) << sim->Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(210))));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(212))));
  EXPECT_EQ(LinkTarget(Entry(211)), "/dev/null");
}

TEST_F(SimEndToEnd, UnplugHangsTheLineUpAndRemovesTheLink) {
  auto sim = StartSim({"--com", "205", "--model", "R6", "--number", "2"});
  Line line(Entry(205));
  ASSERT_TRUE(line.IsOpen());
  EXPECT_EQ(line.Ask("DV\r"), "V=1.5\r");

  ASSERT_TRUE(sim->Type("unplug\n"));
  EXPECT_TRUE(sim->WaitForLine("COM205: unplugged; the line is closed, " + Entry(205) + " removed")) << sim->Out();
  EXPECT_TRUE(line.WaitForHangUp());
  // The freed pseudo-terminal may go to any program next: no COM205 names it.
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(205))));
  EXPECT_TRUE(fs::is_empty(Ports()));
  ASSERT_TRUE(sim->Type("show\n"));
  EXPECT_TRUE(sim->WaitForLine("(unplugged)")) << sim->Out();
  ASSERT_TRUE(sim->Type("unplug\n"));
  ASSERT_TRUE(sim->Type("quit\n"));
  EXPECT_EQ(sim->WaitForExit(), 0);
  EXPECT_NE(sim->Err().find("error: COM205 is unplugged already"), std::string::npos) << sim->Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(205))));
}

TEST_F(SimEndToEnd, KilledSimulatorsLinksAreTakenOverAndALiveOnesRefused) {
  auto killed = StartSim({"--com", "206"});
  const auto left = LinkTarget(Entry(206));
  ASSERT_TRUE(left.has_value());
  const pid_t killedPid = killed->Pid();
  ASSERT_EQ(::kill(killedPid, SIGKILL), 0);
  EXPECT_EQ(killed->WaitForExit(), std::nullopt);
  EXPECT_EQ(LinkTarget(Entry(206)), left) << "nothing could remove it";
  // Someone else gets the freed pseudo-terminal, as happens on a busy machine.
  const int other = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  char otherName[64];
  ASSERT_EQ(::ptsname_r(other, otherName, sizeof otherName), 0);
  EXPECT_EQ(otherName, *left);

  auto next = StartSim({"--com", "206"});
  ::close(other);
  EXPECT_NE(next->Out().find("COM206: replaces the link of process " + std::to_string(killedPid) + " to " +
                             *left + ", which has ended\n"),
            std::string::npos)
      << next->Out();
  const auto taken = LinkTarget(Entry(206));
  ASSERT_TRUE(taken.has_value());
  EXPECT_NE(taken, left);
  Line line(Entry(206));
  ASSERT_TRUE(line.IsOpen());
  EXPECT_EQ(line.Ask("setup0\r"), "setup1\r");

  // The new owner is alive: a third one needs --force, as before.
  auto refused = StartSimProcess({"--com", "206"}, ConfigDirs());
  EXPECT_EQ(refused->WaitForExit(), 1);
  EXPECT_NE(refused->Err().find("COM206 is already registered"), std::string::npos) << refused->Err();
  EXPECT_EQ(LinkTarget(Entry(206)), taken);

  next->CloseStdin();
  EXPECT_EQ(next->WaitForExit(), 0) << next->Err();
  EXPECT_TRUE(fs::is_empty(Ports()));
}

TEST_F(SimEndToEnd, PortsFolderThatIsALinkIsRefused) {
  const std::string elsewhere = ConfigDirs() + "/elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directories(ConfigDirs() + "/Brimlink");
  fs::create_directory_symlink(elsewhere, Ports());
  auto sim = StartSimProcess({"--com", "207"}, ConfigDirs());
  EXPECT_EQ(sim->WaitForExit(), 1);
  EXPECT_NE(sim->Err().find("is a symbolic link"), std::string::npos) << sim->Err();
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

// The station's side in real time: the output write reaches the main thread
// from the module's thread, and the cylinder's arrival goes back as a report.
TEST_F(SimEndToEnd, StationBehindTheModuleAnswersOutputsWithItsSensors) {
  auto sim = StartSim({"--com", "205", "--station", "handling", "--speed", "5", "--com", "206"}, 2);
  EXPECT_NE(sim->Out().find("COM205 -> "), std::string::npos);
  EXPECT_NE(sim->Out().find("station handling\n"), std::string::npos) << sim->Out();
  Line line(Entry(205));
  ASSERT_TRUE(line.IsOpen());
  EXPECT_EQ(line.Ask("setup0\r"), "setup1\r");
  EXPECT_EQ(line.Ask("DEW1.0\r"), "EW1.0=0005\r");  // the rest position: back and up

  const auto sent = Clock::now();
  EXPECT_EQ(line.Ask("MAW1.0=0001\r"), "AW1.0=0001\r");
  EXPECT_EQ(line.ReadUntil("\r"), "EW1.0=0004\r");
  EXPECT_EQ(line.ReadUntil("\r"), "EW1.0=0006\r");
  // 100 ms at five times the speed, give or take a frame and the scheduler.
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
  EXPECT_GE(took.count(), 90);
  EXPECT_LT(took.count(), 2000);
  EXPECT_TRUE(sim->WaitForLine("COM205 module 1: input word 0 = 0x0006 (bits 1 2)")) << sim->Out();

  ASSERT_TRUE(sim->Type("station\nmodule 206\nstation\nquit\n"));
  EXPECT_EQ(sim->WaitForExit(), 0) << sim->Out() << sim->Err();
  EXPECT_NE(sim->Out().find("part #1 (metal): at the end"), std::string::npos) << sim->Out();
  EXPECT_NE(sim->Err().find("error: COM206 module 1 runs no station"), std::string::npos) << sim->Err();
}

// --show runs the same console and station from Qt's event loop.
TEST_F(SimEndToEnd, ShowRunsTheStationInAWindowAndEndsCleanly) {
  auto sim = std::make_unique<ChildProcess>(
      std::vector<std::string>{BRIMLINK_SIM_PROGRAM, "--com", "207", "--station", "stack", "--show"},
      std::map<std::string, std::string>{{"XDG_CONFIG_DIRS", ConfigDirs()}, {"QT_QPA_PLATFORM", "offscreen"}});
  ASSERT_TRUE(sim->WaitForLine("Links in " + Ports())) << sim->Out() << sim->Err();
  Line line(Entry(207));
  ASSERT_TRUE(line.IsOpen());
  EXPECT_EQ(line.Ask("MAW1.0=0004\r"), "AW1.0=0004\r");  // the pressing cylinder out
  EXPECT_EQ(line.ReadUntil("\r"), "EW1.0=0001\r");
  ASSERT_TRUE(sim->Type("fault air\n"));  // its spring brings it back
  EXPECT_EQ(line.ReadUntil("\r"), "EW1.0=0000\r");
  ASSERT_TRUE(sim->Type("quit\n"));
  EXPECT_EQ(sim->WaitForExit(), 0) << sim->Out() << sim->Err();
  EXPECT_NE(sim->Out().find("brimlink-sim ends (quit)"), std::string::npos) << sim->Out();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(207))));
}

TEST_F(SimEndToEnd, ShowWithoutADisplayRegistersNothing) {
  ChildProcess sim({BRIMLINK_SIM_PROGRAM, "--com", "208", "--station", "stack", "--show"},
                   {{"XDG_CONFIG_DIRS", ConfigDirs()}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
  EXPECT_EQ(sim.WaitForExit(), 1);
  EXPECT_NE(sim.Err().find("--show needs a display"), std::string::npos) << sim.Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Entry(208))));
}

TEST_F(SimEndToEnd, BadCommandLineExitsWithTwoAndRegistersNothing) {
  auto sim = StartSimProcess({"--com", "204", "--model", "R9"}, ConfigDirs());
  EXPECT_EQ(sim->WaitForExit(), 2);
  EXPECT_NE(sim->Err().find("--model: 'R9'"), std::string::npos) << sim->Err();
  EXPECT_FALSE(fs::exists(Ports()));
}

}  // namespace
