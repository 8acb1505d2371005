// A host that calls the control from its InputWordChanged handler, as most
// hosts do: when a sensor switches, ask the module and switch an output.
// Every call gets the module's answer, whether the event was raised while a
// batch was parsed (word 0) or came through the posted event (words 1..4).
#include "ControlBench.h"

namespace brimlink::ctrltest {
namespace {

struct HandlerCalls {
  int runs = 0;
  std::int32_t outputRead = -1;
  std::u16string version;
};

TEST(ControlHandlers, CallsFromAnyEventHandlerAreAnsweredByTheModule) {
  qttest::Watchdog watchdog(30s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  Call(*control, "SetChannelMask", {I2(1)});  // word 1 is reported too
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return control->Record(1).inputAutoSent[1]; }));
  auto sink = Advise(*control);

  for (const int word : {0, 1}) {
    SCOPED_TRACE(word);
    const std::uint16_t sensor = word == 0 ? 0x0004 : 0x0123;
    const std::uint16_t output = word == 0 ? 0x0011 : 0x0022;
    Call(*control, "SetOutputWord", {I2(1), I2(0), I4(output)});
    ASSERT_EQ(ModuleOutput(*module, 0), output);
    HandlerCalls calls;
    sink->onEvent = [&](const Received& e) {
      if (e.wordIndex != word || e.value != sensor) return;
      ++calls.runs;
      calls.outputRead = Call(*control, "GetOutputWord", {I2(1), I2(0)}).I4();
      calls.version = Call(*control, "SendAndGetString", {I2(1), Str(u"DV")}).Bstr();
      Call(*control, "SetDigitalOutput0", {I2(word == 0 ? 0x5 : 0x6)});
    };
    // The module's output changes behind the control's back, so that only an
    // answer from the module gives the right value.
    const std::uint16_t behindTheBack = static_cast<std::uint16_t>(0x70 + word);
    module->WithModule([&](sim::VirtualModule& m) {
      m.MutableConfig().faults.silent = true;
      char text[16];
      std::snprintf(text, sizeof text, "MAW1.0=%04X\r", behindTheBack);
      m.Receive(text, qttest::Now());
      m.MutableConfig().faults.silent = false;
    });
    ASSERT_EQ(ModuleOutput(*module, 0), behindTheBack);
    ClearCommands(*module);
    SetModuleInput(*module, word, sensor);
    ASSERT_TRUE(ControlBench::PumpUntil([&] { return calls.runs == 1; }));
    link::WaitPumping(60);
    EXPECT_EQ(calls.outputRead, behindTheBack);
    EXPECT_EQ(calls.version, u"V=2.10");
    const std::uint16_t switched = word == 0 ? 0x5 : 0x6;
    EXPECT_EQ(ModuleOutput(*module, 0), switched);
    EXPECT_EQ(control->Record(1).outputWords[0], switched);
    char write[16];
    std::snprintf(write, sizeof write, "MAW1.0=%04X", switched);
    EXPECT_EQ(CountOf(CommandsAt(*module), write), 1u) << "the write was not acknowledged in time";
    sink->onEvent = nullptr;
  }
}

// Reports that follow the one a handler runs for, in the same read, are
// announced in order while the handler waits, each once.
TEST(ControlHandlers, ReportsBehindTheHandlersReportAreAnnouncedInOrderDuringItsWaits) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  const std::size_t device = bench.PlugUsb(0x00210003, ModuleConfig::Defaults(Model::USB, 1));
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  auto sink = Advise(*control);

  std::size_t seenDuringCall = 0;
  sink->onEvent = [&](const Received& e) {
    if (e.value != 1) return;
    Call(*control, "GetOutputWord", {I2(1), I2(0)});
    seenDuringCall = sink->events.size();
  };
  bench.bus.InjectReceived(device, "EW1.0=0001\rEW1.0=0002\rEW1.0=0003\r");
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return sink->events.size() >= 3; }));
  link::WaitPumping(50);
  EXPECT_EQ(seenDuringCall, 3u);
  EXPECT_EQ(sink->events,
            (std::vector<Received>{{1, 0, 1}, {1, 0, 2}, {1, 0, 3}}));
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(0)}).I4(), 3);
}

}  // namespace
}  // namespace brimlink::ctrltest
