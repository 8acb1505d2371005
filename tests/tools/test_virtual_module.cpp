#include "tools/virtual_module/VirtualModule.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;
using brimlink::sim::Millis;
using brimlink::sim::Model;
using brimlink::sim::ModuleConfig;
using brimlink::sim::VirtualModule;
using brimlink::sim::Word0Report;

namespace {

constexpr Millis kNow{1000};

// Everything the module has made due by `at`, in as many TakeOutput calls as it needs.
std::string Drain(VirtualModule& module, Millis at = kNow) {
  std::string out;
  char buf[64];
  while (std::size_t n = module.TakeOutput(at, buf, sizeof buf)) out.append(buf, n);
  return out;
}

// Sends one command with its CR and returns the module's answer.
std::string Ask(VirtualModule& module, const std::string& command) {
  module.Receive(command + "\r", kNow);
  return Drain(module);
}

using Dialogue = std::vector<std::pair<std::string, std::string>>;

void ExpectDialogue(VirtualModule& module, const Dialogue& dialogue) {
  for (const auto& [command, reply] : dialogue) {
    EXPECT_EQ(Ask(module, command), reply) << "command " << command;
  }
}

VirtualModule MakeModule(Model model, int number = 1) {
  VirtualModule module(ModuleConfig::Defaults(model, number));
  for (int w = 0; w < 5; ++w) module.SetInputWord(w, static_cast<std::uint16_t>(0x1110 * (w + 1)), kNow);
  Drain(module);  // the word-0 report of the wiring above
  return module;
}

}  // namespace

TEST(VirtualModuleModels, UsbRunsTheFullInitialisationAndKnowsEveryRegister) {
  VirtualModule module = MakeModule(Model::USB);
  ExpectDialogue(module, {
      {"", "setup1\r"}, {"setup0", "setup1\r"}, {"DV", "V=2.10\r"},
      {"DEW1.8", "EW1.8=5550\r"}, {"DEW1.2", "EW1.2=2220\r"}, {"DEW1.0", "EW1.0=1110\r"},
      {"DAW1.4", "AW1.4=0000\r"}, {"MT1=01", "T1=01\r"}, {"MM1=20", "M1=20\r"},
      {"MS1=00", "S1=00\r"}, {"MME=4", "ME=4\r"}, {"MME=7", "ME=7\r"},
      {"MF1=03", "F1=03\r"}, {"MU1.0A=03", "U1.0A=03\r"},
      {"MU1.FF=01", "U1.FF=01\r"}, {"MG1.99=2", "G1.99=2.00\r"}, {"MG1.2=1.5", "G1.2=1.50\r"},
      {"MG1.0=-0.5", "G1.0=-0.50\r"}, {"MG1.0=3", "G1.0=3.00\r"}, {"MRE1=2", "RE1=2\r"},
      {"MRA1=1", "RA1=1\r"}, {"MB1=5", "B1=5\r"},
      {"DEW1.10", "DEW1.10\r"}, {"DEW1.3", "DEW1.3\r"}, {"DAW1.6", "DAW1.6\r"},
      {"MG1.0=inf", "MG1.0=inf\r"}, {"setup5", "setup5\r"}, {"XYZ", "XYZ\r"},
  });
}

TEST(VirtualModuleModels, OutputWritesAreStoredReportedAndAcknowledged) {
  VirtualModule module = MakeModule(Model::USB);
  std::vector<std::pair<int, std::uint16_t>> written;
  module.onOutputWritten = [&](int word, std::uint16_t value) { written.emplace_back(word, value); };
  ExpectDialogue(module, {
      {"MAW1.2=ABCD", "AW1.2=ABCD\r"}, {"MAW1.0=f", "AW1.0=000F\r"},
      {"DAW1.2", "AW1.2=ABCD\r"}, {"MAW1.4=12345", "MAW1.4=12345\r"}, {"MAW1.6=0001", "MAW1.6=0001\r"},
  });
  EXPECT_EQ(module.OutputWord(1), 0xABCD);
  EXPECT_EQ(module.OutputWord(0), 0x000F);
  EXPECT_EQ(module.OutputWord(2), 0);
  EXPECT_EQ(written, (std::vector<std::pair<int, std::uint16_t>>{{1, 0xABCD}, {0, 0x000F}}));
}

TEST(VirtualModuleModels, R8AEchoesDvAndNeverAcknowledgesWrites) {
  VirtualModule module = MakeModule(Model::R8A);
  int writes = 0;
  module.onOutputWritten = [&](int, std::uint16_t) { ++writes; };
  ExpectDialogue(module, {
      {"DV", "DV\r"}, {"DEW1.8", "EW1.8=5550\r"}, {"DAW1.4", "AW1.4=0000\r"},
      {"MAW1.0=00FF", ""}, {"DAW1.0", "AW1.0=00FF\r"}, {"MM1=20", "M1=20\r"},
  });
  EXPECT_EQ(writes, 1);
}

TEST(VirtualModuleModels, R16EchoesDvAndDew8AndLacksExtendedRegisters) {
  VirtualModule module = MakeModule(Model::R16, 2);
  EXPECT_EQ(module.InputWord(1), 0) << "an R16 has no analog inputs to wire";
  ExpectDialogue(module, {
      {"setup0", "setup2\r"}, {"DV", "DV\r"}, {"DEW2.8", "DEW2.8\r"}, {"DEW2.0", "EW2.0=1110\r"},
      {"DAW2.4", "DAW2.4\r"}, {"DAW2.0", "AW2.0=0000\r"}, {"MAW2.0=0101", "AW2.0=0101\r"},
      {"MT2=01", "T2=01\r"}, {"MS2=00", "S2=00\r"}, {"MB2=1", "B2=1\r"},
      {"MM2=20", "MM2=20\r"}, {"MME=4", "MME=4\r"}, {"MF2=01", "MF2=01\r"},
      {"MU2.01=02", "MU2.01=02\r"}, {"MG2.0=1.00", "MG2.0=1.00\r"}, {"MRE2=1", "MRE2=1\r"},
      {"MRA2=1", "MRA2=1\r"},
  });
}

TEST(VirtualModuleModels, R6ReportsVersionAndHasOnlyWordZero) {
  VirtualModule module = MakeModule(Model::R6, 4);
  ExpectDialogue(module, {
      {"DV", "V=1.5\r"}, {"DEW4.0", "EW4.0=1110\r"}, {"DEW4.2", "DEW4.2\r"},
      {"MAW4.0=1", "AW4.0=0001\r"}, {"MAW4.2=1", "MAW4.2=1\r"}, {"MT4=00", "T4=00\r"},
  });
}

TEST(VirtualModuleModels, CounterLinesHaveTheirExactLengths) {
  VirtualModule module = MakeModule(Model::USB);
  module.SetCounter(0, 0x1234);
  module.SetCounter(1, 0x000D);
  const std::string ack = Ask(module, "MC1.1=1");
  EXPECT_EQ(ack, "C1.1=1\r");
  EXPECT_EQ(ack.size(), 7u);
  const std::string value = Ask(module, "DC1.0");
  EXPECT_EQ(value, "C1.0=1234\r");
  EXPECT_EQ(value.size(), 10u);
  ExpectDialogue(module, {{"DC1.1", "C1.1=000D\r"}, {"MC1.2=1", "MC1.2=1\r"},
                          {"MC1.0=2", "MC1.0=2\r"}, {"DC1.2", "DC1.2\r"}});
}

TEST(VirtualModuleModels, DefaultsAndModelNames) {
  EXPECT_FALSE(ModuleConfig::Defaults(Model::R6).echoDV);
  EXPECT_TRUE(ModuleConfig::Defaults(Model::R16).echoDV);
  EXPECT_TRUE(ModuleConfig::Defaults(Model::R8A).echoDV);
  EXPECT_EQ(ModuleConfig::Defaults(Model::USB, 7).number, 7);
  for (Model model : {Model::R6, Model::R16, Model::R8A, Model::USB}) {
    EXPECT_EQ(brimlink::sim::ParseModel(brimlink::sim::ModelName(model)), model);
  }
  EXPECT_EQ(brimlink::sim::ParseModel("r8a"), Model::R8A);
  EXPECT_EQ(brimlink::sim::ParseModel("uSb"), Model::USB);
  EXPECT_FALSE(brimlink::sim::ParseModel("R7").has_value());
  EXPECT_FALSE(brimlink::sim::ParseModel("R16 ").has_value());
  EXPECT_FALSE(brimlink::sim::ParseModel("").has_value());
}

TEST(VirtualModuleReports, Word0ChangeIsReportedInTheConfiguredForm) {
  const std::pair<Word0Report, std::string> forms[] = {
      {Word0Report::EW, "EW5.0=00A5\r"}, {Word0Report::LowerE, "e5000A5\r"},
      {Word0Report::HashH, "#H5000A5\r"}};
  for (const auto& [form, expected] : forms) {
    ModuleConfig config = ModuleConfig::Defaults(Model::R8A, 5);
    config.word0Report = form;
    VirtualModule module(config);
    module.SetInputWord(0, 0x00A5, kNow);
    EXPECT_EQ(Drain(module), expected);
    module.SetInputWord(0, 0x00A5, kNow);
    EXPECT_FALSE(module.HasOutput()) << "an unchanged value is not reported";
  }
}

TEST(VirtualModulePackets, SentOnlyForWordsTheAutoSendMaskCovers) {
  VirtualModule module(ModuleConfig::Defaults(Model::USB));
  module.SetInputWord(2, 0x0101, kNow);
  EXPECT_FALSE(module.HasOutput()) << "mask still 00";
  EXPECT_EQ(Ask(module, "MS1=0A"), "S1=0A\r");
  EXPECT_EQ(module.AutoSendMask(), 0x0A);
  module.SetInputWord(1, 0x1111, kNow);  // bit 0 not set
  module.SetInputWord(2, 0x0D0D, kNow);
  module.SetInputWord(4, 0x8000, kNow);
  module.SetInputWord(4, 0x8000, kNow);  // unchanged
  EXPECT_EQ(Drain(module), "4\x0D\x0D\r"s + "8\x80\x00\r"s);
  EXPECT_EQ(module.InputWord(1), 0x1111) << "stored even when not sent";
  module.SetInputWord(5, 0xFFFF, kNow);
  module.SetInputWord(-1, 0xFFFF, kNow);
  EXPECT_FALSE(module.HasOutput());
  EXPECT_EQ(module.InputWord(5), 0);
}

TEST(VirtualModuleFaults, SilentModuleAnswersAndReportsNothingButStillSwitches) {
  ModuleConfig config = ModuleConfig::Defaults(Model::USB);
  config.faults.silent = true;
  VirtualModule module(config);
  module.Receive("setup0\rDV\rMAW1.0=0042\r", kNow);
  module.SetInputWord(0, 7, kNow);
  EXPECT_FALSE(module.HasOutput());
  EXPECT_EQ(module.OutputWord(0), 0x42);
}

TEST(VirtualModuleFaults, SlowRepliesBecomeDueLaterAndKeepTheirOrder) {
  ModuleConfig config = ModuleConfig::Defaults(Model::USB);
  config.faults.slowMs = 30;
  VirtualModule module(config);
  EXPECT_FALSE(module.NextDue().has_value());
  module.Receive("DV\r", kNow);
  EXPECT_EQ(module.NextDue(), kNow + Millis(30));
  EXPECT_EQ(Drain(module, kNow + Millis(29)), "");
  module.MutableConfig().faults.slowMs = 0;
  module.Receive("setup0\r", kNow + Millis(5));
  EXPECT_EQ(Drain(module, kNow + Millis(29)), "") << "a later reply must not overtake";
  EXPECT_EQ(Drain(module, kNow + Millis(30)), "V=2.10\rsetup1\r");
  EXPECT_FALSE(module.NextDue().has_value());
}

TEST(VirtualModuleFaults, SplitBytesHandsOutOneByteAtATime) {
  ModuleConfig config = ModuleConfig::Defaults(Model::USB);
  config.faults.splitBytes = true;
  VirtualModule module(config);
  module.Receive("DEW1.0\r", kNow);
  std::string out;
  char buf[16];
  int calls = 0;
  while (std::size_t n = module.TakeOutput(kNow, buf, sizeof buf)) {
    ASSERT_EQ(n, 1u);
    out.append(buf, n);
    ++calls;
  }
  EXPECT_EQ(out, "EW1.0=0000\r");
  EXPECT_EQ(calls, 11);
  // Switched on while a reply waits, the fault applies to the waiting bytes too.
  module.MutableConfig().faults.splitBytes = false;
  module.Receive("DV\r", kNow);
  module.MutableConfig().faults.splitBytes = true;
  EXPECT_EQ(module.TakeOutput(kNow, buf, sizeof buf), 1u);
}

TEST(VirtualModuleFaults, GarbageLinePrecedesEveryReplyAndNeverLooksLikeOne) {
  const std::string dispatch = "2345678EeACDVsTMSBFGRU#";
  for (std::uint32_t seed : {0u, 1u, 2u, 77u, 0xFFFFFFFFu}) {
    ModuleConfig config = ModuleConfig::Defaults(Model::USB);
    config.faults.garbage = true;
    config.garbageSeed = seed;
    VirtualModule module(config);
    for (int i = 0; i < 40; ++i) {
      const std::string out = Ask(module, "DEW1.0");
      const auto cr = out.find('\r');
      ASSERT_NE(cr, std::string::npos);
      const std::string noise = out.substr(0, cr);
      EXPECT_GE(noise.size(), 3u);
      EXPECT_LE(noise.size(), 12u);
      EXPECT_EQ(dispatch.find(noise[0]), std::string::npos) << "seed " << seed << ": " << noise;
      for (char c : noise) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "seed " << seed;
      EXPECT_EQ(out.substr(cr + 1), "EW1.0=0000\r");
    }
  }
}

TEST(VirtualModuleFaults, NeverAckWritesAppliesWritesSilently) {
  ModuleConfig config = ModuleConfig::Defaults(Model::USB);
  config.faults.neverAckWrites = true;
  VirtualModule module(config);
  EXPECT_EQ(Ask(module, "MAW1.2=0300"), "");
  EXPECT_EQ(Ask(module, "DAW1.2"), "AW1.2=0300\r");
}

TEST(VirtualModuleAddressing, OnlyBaudSilencesAndFreezesTheModuleAtOtherSpeeds) {
  ModuleConfig config = ModuleConfig::Defaults(Model::USB);
  config.onlyBaud = 9600;
  VirtualModule module(config);
  module.SetLineBaud(19200);
  EXPECT_EQ(Ask(module, "setup0"), "");
  EXPECT_EQ(Ask(module, "MAW1.0=0001"), "");
  module.SetInputWord(0, 3, kNow);
  EXPECT_FALSE(module.HasOutput());
  EXPECT_EQ(module.OutputWord(0), 0) << "a command at the wrong speed must not execute";
  EXPECT_EQ(module.ReceivedCommands(), (std::vector<std::string>{"setup0", "MAW1.0=0001"}));
  module.SetLineBaud(9600);
  EXPECT_EQ(Ask(module, "setup0"), "setup1\r");
}

TEST(VirtualModuleAddressing, CommandsForAnotherModuleAreIgnored) {
  VirtualModule module = MakeModule(Model::USB, 3);
  for (const char* command : {"DEW1.0", "DAW2.0", "MAW1.0=FFFF", "MT1=01", "MM1=20", "MS1=0F",
                              "MF1=01", "MU1.00=01", "MG1.0=1.0", "MRE1=1", "MRA1=1", "MB1=1",
                              "MC1.0=1", "DC1.0"}) {
    EXPECT_EQ(Ask(module, command), "") << command;
  }
  EXPECT_EQ(module.OutputWord(0), 0);
  EXPECT_EQ(module.AutoSendMask(), 0);
  EXPECT_EQ(Ask(module, "DEW3.0"), "EW3.0=1110\r");
}

TEST(VirtualModuleFraming, AssemblesSplitCommandsAndSkipsLineFeeds) {
  VirtualModule module(ModuleConfig::Defaults(Model::USB));
  module.Receive("DE", kNow);
  module.Receive("W1.", kNow);
  EXPECT_FALSE(module.HasOutput());
  module.Receive("0\r\nD", kNow);
  module.Receive("V\r\rsetup0\r", kNow);
  EXPECT_EQ(Drain(module), "EW1.0=0000\rV=2.10\rsetup1\rsetup1\r");
  EXPECT_EQ(module.ReceivedCommands(), (std::vector<std::string>{"DEW1.0", "DV", "", "setup0"}));
  module.ClearReceivedCommands();
  EXPECT_TRUE(module.ReceivedCommands().empty());
}

TEST(VirtualModuleFraming, OverlongCommandIsDroppedUpToItsCr) {
  VirtualModule module(ModuleConfig::Defaults(Model::USB));
  const std::string longest(1024, 'Q');
  EXPECT_EQ(Ask(module, longest), longest + "\r") << "1024 bytes still fit";
  module.ClearReceivedCommands();
  module.Receive(std::string(1025, 'Q') + "\r", kNow);
  EXPECT_FALSE(module.HasOutput());
  module.Receive(std::string(1500, 'Q'), kNow);
  module.Receive("DV\r", kNow);  // tail of the dropped line
  EXPECT_FALSE(module.HasOutput());
  EXPECT_TRUE(module.ReceivedCommands().empty());
  EXPECT_EQ(Ask(module, "DV"), "V=2.10\r");
}
