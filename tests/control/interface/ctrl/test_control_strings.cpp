// Raw strings, module settings and counters, through Invoke, against a
// virtual module on a pseudo-terminal.
#include "ControlBench.h"

namespace brimlink::ctrltest {
namespace {

// Waits until the module has received `count` commands, then a little longer
// for any that should not be there.
std::vector<std::string> CommandsAfter(sim::PtyModule& module, std::size_t count) {
  ControlBench::PumpUntil([&] { return CommandsAt(module).size() >= count; }, 1000ms);
  link::WaitPumping(40);
  return CommandsAt(module);
}

class ControlStrings : public ::testing::Test {
 protected:
  void SetUp() override {
    module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
    ASSERT_NE(module, nullptr);
    control = bench.Create();
    ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
    ClearCommands(*module);
  }

  qttest::Watchdog watchdog{20s};
  ControlBench bench;
  sim::PtyModule* module = nullptr;
  ba::ComPtr<CBrimlinkCtrl> control;
};

TEST_F(ControlStrings, SendAndGetStringReturnsTheReplyLineWithoutItsCr) {
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"DV")}).Bstr(), u"V=2.10");
  module->WithModule([](sim::VirtualModule& m) { m.SetCounter(0, 0xBEEF); });
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(0), Str(u"DC1.0")}).Bstr(), u"C1.0=BEEF");
  EXPECT_EQ(CommandsAt(*module), (std::vector<std::string>{"DV", "DC1.0"}));
}

TEST_F(ControlStrings, SendAndGetStringWithoutAnAnswerReturnsEmptyAfterItsWait) {
  module->WithModule([](sim::VirtualModule& m) { m.MutableConfig().faults.silent = true; });
  const auto start = Clock::now();
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"DV")}).Bstr(), u"");
  const long long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 140);
  EXPECT_LT(elapsed, 500);
  EXPECT_EQ(CommandsAfter(*module, 1), std::vector<std::string>{"DV"});

  // Answering again, the module's next line is the result again.
  module->WithModule([](sim::VirtualModule& m) { m.MutableConfig().faults.silent = false; });
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"DC1.1")}).Bstr(), u"C1.1=0000");
}

TEST_F(ControlStrings, AnEmptyStringIsSentAsALoneCr) {
  Call(*control, "SendString", {I2(1), Str(u"")});
  EXPECT_EQ(CommandsAfter(*module, 1), std::vector<std::string>{""});
  // The module answers the empty command with its setup line.
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"")}).Bstr(), u"setup1");
}

// The trace lines the control writes while attached.
class TraceCapture final : public link::TraceView {
 public:
  explicit TraceCapture(link::TraceLog& log) : log_(log) {
    log_.AttachView(this);
    log_.SetTracing(true);
  }
  ~TraceCapture() override { log_.AttachView(nullptr); }
  void AppendLine(std::string_view line) override { lines.emplace_back(line); }
  // The lines containing needle.
  std::vector<std::string> With(std::string_view needle) const {
    std::vector<std::string> found;
    for (const std::string& line : lines)
      if (line.find(needle) != std::string::npos) found.push_back(line);
    return found;
  }
  std::vector<std::string> lines;

 private:
  link::TraceLog& log_;
};

TEST_F(ControlStrings, TextWithANulIsRefusedWholeAndTheLineStaysInStep) {
  // Sent, the NUL would end the line's transmit buffer before its CR and the
  // module would read this text and the next command as one.
  using namespace std::string_literals;
  const std::u16string withNul = u"D\0V"s;
  {
    TraceCapture trace(control->Trace());
    Call(*control, "SendString", {I2(1), Str(withNul)});
    EXPECT_EQ(Call(*control, "SendAndGetString", {I2(0), Str(u"\0"s)}).Bstr(), u"");
    const std::vector<std::string> refused = trace.With("COMMAND_HAS_NUL");
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_TRUE(refused[0].ends_with("COMMAND_HAS_NUL:\t1")) << refused[0];
    EXPECT_TRUE(refused[1].ends_with("COMMAND_HAS_NUL:\t0")) << refused[1];
    EXPECT_TRUE(trace.With("TX COM").empty()) << trace.With("TX COM").front();
  }
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"DV\0"s)}).Bstr(), u"");

  // Nothing reached the module, and the next command is understood alone.
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"DV")}).Bstr(), u"V=2.10");
  Call(*control, "SendString", {I2(1), Str(u"DC1.0")});
  EXPECT_EQ(CommandsAfter(*module, 2), (std::vector<std::string>{"DV", "DC1.0"}));
}

TEST_F(ControlStrings, StringsGoOutInWindows1252WithQuestionMarksForTheRest) {
  Call(*control, "SendString", {I2(1), Str(u"Gr\u00FC\u00DFe \u00E9\u20AC")});
  Call(*control, "SendString", {I2(0), Str(u"A\u0100\u4E2DZ")});
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"\u00E9")}).Bstr(), u"");
  EXPECT_EQ(CommandsAfter(*module, 3),
            (std::vector<std::string>{"Gr\xFC\xDF" "e \xE9\x80", "A??Z", "\xE9"}));
}

TEST_F(ControlStrings, SettingCommandsCarryTheirArgumentsAsFormatted) {
  Call(*control, "SetGain", {I2(1), I2(0), R4(1.5f)});
  Call(*control, "SetMeasuringRange", {I2(1), I2(5), I2(2)});
  Call(*control, "SetMeasuringRange", {I2(0), I2(0), I2(2)});
  Call(*control, "SetDisplayUnit", {I2(1), I2(10), I2(3)});
  Call(*control, "SetFilterMask", {I2(1), I2(0x2A)});
  Call(*control, "ForceDisplay", {I2(0), I2(7)});
  Call(*control, "SetAutoSendMode", {I2(1), I2(3)});
  Call(*control, "StartCounter", {I2(1), I2(1), I2(1)});
  // Passed on as the host gave it, not cut to the two digits.
  Call(*control, "SetFilterMask", {I2(1), I2(-1)});
  EXPECT_EQ(CommandsAfter(*module, 9),
            (std::vector<std::string>{"MG1.0=1.50", "MRA1=2", "MRE1=2", "MU1.0A=03", "MM1=2A", "MF1=07", "MS1=03",
                                      "MC1.1=1", "MM1=FFFFFFFF"}));
  // The module's "S" answer makes words 1 and 2 auto-sent.
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return control->Record(1).inputAutoSent[2]; }));
  EXPECT_FALSE(control->Record(1).inputAutoSent[3]);
}

TEST_F(ControlStrings, EachCounterHasItsOwnValue) {
  module->WithModule([](sim::VirtualModule& m) {
    m.SetCounter(0, 0x0077);
    m.SetCounter(1, 0x1234);
  });
  EXPECT_EQ(Call(*control, "GetCounter", {I2(1), I2(1)}).I4(), 0x1234);
  EXPECT_EQ(control->Record(1).counterValues[0], 0u);
  EXPECT_FALSE(control->Record(1).counterPending[0]);
  EXPECT_EQ(Call(*control, "GetCounter", {I2(0), I2(0)}).I4(), 0x0077);
  EXPECT_EQ(control->Record(1).counterValues[1], 0x1234u);
  EXPECT_EQ(CommandsAt(*module), (std::vector<std::string>{"DC1.1", "DC1.0"}));

  // A counter index beyond 1 asks nothing and reads 0.
  ClearCommands(*module);
  EXPECT_EQ(Call(*control, "GetCounter", {I2(1), I2(2)}).I4(), 0);
  EXPECT_EQ(Call(*control, "GetCounter", {I2(1), I2(-1)}).I4(), 0);

  // Without an answer the last value stays.
  module->WithModule([](sim::VirtualModule& m) {
    m.SetCounter(1, 0x4321);
    m.MutableConfig().faults.silent = true;
  });
  EXPECT_EQ(Call(*control, "GetCounter", {I2(1), I2(1)}).I4(), 0x1234);
  EXPECT_EQ(CommandsAfter(*module, 1), std::vector<std::string>{"DC1.1"});
}

TEST_F(ControlStrings, WithoutAChannelNothingIsSent) {
  // Module 3 has no channel; module 1's line is open and must stay quiet.
  Call(*control, "StartCounter", {I2(3), I2(0), I2(1)});
  Call(*control, "SetGain", {I2(3), I2(0), R4(1.5f)});
  Call(*control, "SetMeasuringRange", {I2(3), I2(1), I2(2)});
  Call(*control, "SetDisplayUnit", {I2(3), I2(0), I2(1)});
  Call(*control, "SetFilterMask", {I2(3), I2(1)});
  Call(*control, "ForceDisplay", {I2(3), I2(1)});
  Call(*control, "SetAutoSendMode", {I2(3), I2(1)});
  Call(*control, "SendString", {I2(3), Str(u"DV")});
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(3), Str(u"DV")}).Bstr(), u"");
  EXPECT_EQ(Call(*control, "GetCounter", {I2(3), I2(0)}).I4(), 0);
  Call(*control, "SetModule", {I2(3)});
  Call(*control, "SetChannelMask", {I2(15)});
  Call(*control, "StartTimer");
  Call(*control, "StopTimer");
  // A counter index beyond 1 on a connected module sends nothing either.
  Call(*control, "StartCounter", {I2(1), I2(2), I2(1)});
  link::WaitPumping(60);
  EXPECT_TRUE(CommandsAt(*module).empty());

  Call(*control, "Disconnect");
  ClearCommands(*module);
  Call(*control, "StartCounter", {I2(1), I2(0), I2(1)});
  Call(*control, "SendString", {I2(1), Str(u"DV")});
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"DV")}).Bstr(), u"");
  link::WaitPumping(60);
  EXPECT_TRUE(CommandsAt(*module).empty());
}

}  // namespace
}  // namespace brimlink::ctrltest
