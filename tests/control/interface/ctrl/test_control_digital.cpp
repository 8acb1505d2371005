// The digital and word methods and the input event, through Invoke, against
// virtual modules on pseudo-terminals and on the simulated USB bus.
#include <algorithm>

#include "ControlBench.h"

namespace brimlink::ctrltest {
namespace {

// Lets commands still on the line reach the module.
void Settle() { link::WaitPumping(60); }

ModuleConfig NeverAcknowledging(int number) {
  ModuleConfig config = ModuleConfig::Defaults(Model::USB, number);
  config.faults.neverAckWrites = true;
  return config;
}

TEST(ControlDigital, AnUnacknowledgedWriteIsSentThreeTimesAndLeavesTheImage) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, NeverAcknowledging(1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  ClearCommands(*module);

  const auto start = Clock::now();
  Call(*control, "SetOutputWord", {I2(1), I2(0), I4(0x00FF)});
  // Three 30 × 1 ms waits and two 7 × 10 ms retry waits at the least.
  EXPECT_GE(ElapsedMs(start), 200);
  Settle();
  EXPECT_EQ(CountOf(CommandsAt(*module), "MAW1.0=00FF"), 3u);
  EXPECT_EQ(CommandsAt(*module).size(), 3u);
  EXPECT_EQ(control->Record(1).outputWords[0], 0u);
  EXPECT_FALSE(control->Record(1).outputPending[0]);
  // The module switched nonetheless; the image did not follow.
  EXPECT_EQ(ModuleOutput(*module, 0), 0x00FF);

  // The image still differs from the value, so the same write goes out again.
  ClearCommands(*module);
  Call(*control, "SetOutputWord", {I2(0), I2(0), I4(0x00FF)});
  Settle();
  EXPECT_EQ(CountOf(CommandsAt(*module), "MAW1.0=00FF"), 3u);
  EXPECT_EQ(control->Record(1).outputWords[0], 0u);
}

TEST(ControlDigital, AnR8AWriteIsSentOnceAndStoredWithoutWaiting) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(202, ModuleConfig::Defaults(Model::R8A, 2));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_NE(Call(*control, "Connect").I2() & 0x02, 0);
  ASSERT_EQ(Call(*control, "GetModuleType", {I2(2)}).I2(), 2);
  ClearCommands(*module);

  const auto start = Clock::now();
  Call(*control, "SetOutputWord", {I2(2), I2(0), I4(0x0055)});
  EXPECT_LT(ElapsedMs(start), 30);
  EXPECT_EQ(control->Record(2).outputWords[0], 0x0055u);
  Settle();
  EXPECT_EQ(CommandsAt(*module), std::vector<std::string>{"MAW2.0=0055"});
  EXPECT_EQ(ModuleOutput(*module, 0), 0x0055);
}

TEST(ControlDigital, WordWritesKeepSixteenBitsAndSkipUnchangedValues) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  ClearCommands(*module);

  Call(*control, "SetOutputWord", {I2(1), I2(0), I4(0x12345)});
  EXPECT_EQ(control->Record(1).outputWords[0], 0x2345u);
  Call(*control, "SetOutputWord", {I2(1), I2(0), I4(0x2345)});
  Settle();
  EXPECT_EQ(CommandsAt(*module), std::vector<std::string>{"MAW1.0=2345"});
  EXPECT_EQ(ModuleOutput(*module, 0), 0x2345);

  // The analog output words follow the same rule; word 2 travels as address 4.
  ClearCommands(*module);
  Call(*control, "SetOutputWord", {I2(0), I2(2), I4(-1)});
  Call(*control, "SetAnalogOutput1", {I2(-1)});
  Settle();
  EXPECT_EQ(CommandsAt(*module), std::vector<std::string>{"MAW1.4=FFFF"});
  EXPECT_EQ(ModuleOutput(*module, 2), 0xFFFF);
  EXPECT_EQ(Call(*control, "GetOutputWord", {I2(1), I2(2)}).I4(), 0xFFFF);
}

TEST(ControlDigital, ByteAndBitWritesBuildOnTheOutputImage) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);

  Call(*control, "SetDigitalOutput0", {I2(0x15A)});
  EXPECT_EQ(ModuleOutput(*module, 0), 0x005A);
  Call(*control, "SetDigitalOutput1", {I2(511)});
  EXPECT_EQ(ModuleOutput(*module, 0), 0xFF5A);
  EXPECT_EQ(control->Record(1).outputWords[0], 0xFF5Au);

  Call(*control, "SetOutputWord", {I2(1), I2(0), I4(0x0F01)});
  Call(*control, "SetOutput", {I2(1), I2(0), I2(7), I2(1)});
  EXPECT_EQ(ModuleOutput(*module, 0), 0x0F81);
  Call(*control, "SetOutput", {I2(0), I2(1), I2(3), I2(0)});
  EXPECT_EQ(ModuleOutput(*module, 0), 0x0781);
  // Any nonzero Value sets the bit; setting a set bit sends nothing.
  ClearCommands(*module);
  Call(*control, "SetOutput", {I2(1), I2(0), I2(0), I2(-5)});
  Settle();
  EXPECT_TRUE(CommandsAt(*module).empty());
  EXPECT_EQ(Call(*control, "GetOutputWord", {I2(1), I2(0)}).I4(), 0x0781);
}

TEST(ControlDigital, GetInputTestsBitEightTimesByteIndexPlusBitIndexOfWordZero) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);

  SetModuleInput(*module, 0, 0x0800);
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return control->Record(1).inputWords[0] == 0x0800; }));
  ClearCommands(*module);
  EXPECT_EQ(Call(*control, "GetInput", {I2(1), I2(1), I2(3)}).I2(), 1);
  EXPECT_EQ(Call(*control, "GetInput", {I2(1), I2(0), I2(3)}).I2(), 0);
  EXPECT_EQ(Call(*control, "GetInput", {I2(1), I2(1), I2(2)}).I2(), 0);
  EXPECT_EQ(Call(*control, "GetDigitalInput1").I2(), 0x08);
  EXPECT_EQ(Call(*control, "GetDigitalInput0").I2(), 0);

  SetModuleInput(*module, 0, 0xF7FF);
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return control->Record(1).inputWords[0] == 0xF7FF; }));
  EXPECT_EQ(Call(*control, "GetInput", {I2(0), I2(1), I2(3)}).I2(), 0);
  EXPECT_EQ(Call(*control, "GetInput", {I2(0), I2(0), I2(7)}).I2(), 1);
  EXPECT_EQ(Call(*control, "GetDigitalInput1").I2(), 0xF7);
  EXPECT_EQ(Call(*control, "GetDigitalInput0").I2(), 0xFF);
  // Word 0 is reported by the module, never asked for.
  Settle();
  EXPECT_TRUE(CommandsAt(*module).empty());
}

TEST(ControlDigital, AModuleWithoutAChannelReadsZeroAndIsNotAskedForAnything) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  SetModuleInput(*module, 0, 0x1234);
  SetModuleInput(*module, 1, 0x0777);
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return control->Record(1).inputWords[0] == 0x1234; }));
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(1)}).I4(), 0x0777);

  // Module 3 is not connected, while module 1's line is open.
  Call(*control, "SetModule", {I2(3)});
  ClearCommands(*module);
  const auto start = Clock::now();
  EXPECT_EQ(Call(*control, "GetDigitalInput0").I2(), 0);
  EXPECT_EQ(Call(*control, "GetDigitalInput1").I2(), 0);
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(3), I2(1)}).I4(), 0);
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(0), I2(4)}).I4(), 0);
  Call(*control, "SetDigitalOutput0", {I2(0x33)});
  Call(*control, "SetOutputWord", {I2(3), I2(1), I4(0x33)});
  // No read waited for a reply.
  EXPECT_LT(ElapsedMs(start), 100);
  Settle();
  EXPECT_TRUE(CommandsAt(*module).empty());
  EXPECT_EQ(control->Record(3).outputWords[0], 0u);

  // Module 1 after Disconnect: its images are gone with the channel.
  Call(*control, "SetModule", {I2(1)});
  Call(*control, "Disconnect");
  ClearCommands(*module);
  EXPECT_EQ(Call(*control, "GetDigitalInput0").I2(), 0);
  EXPECT_EQ(Call(*control, "GetDigitalInput1").I2(), 0);
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(1)}).I4(), 0);
  EXPECT_EQ(Call(*control, "GetOutputWord", {I2(1), I2(0)}).I4(), 0);
  Settle();
  EXPECT_TRUE(CommandsAt(*module).empty());
}

// Word 3 as a text reply and word 0 right behind it, in one read of the chip:
// the word 0 event is raised while the batch is processed, after word 3's
// image has changed, and word 3's event only comes once the posted
// notification is dispatched.
TEST(ControlDigital, WordZeroIsRaisedInsideTheBatchAndWordThreeAfterThePostedEvent) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  const std::size_t device = bench.PlugUsb(0x00210001, ModuleConfig::Defaults(Model::USB, 1));
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  auto sink = Advise(*control);

  bool sawWordZero = false;
  std::uint32_t wordThreeImage = 0;
  bool wordThreeEventBefore = true;
  sink->onEvent = [&](const Received& e) {
    if (e.wordIndex != 0) return;
    sawWordZero = true;
    wordThreeImage = control->Record(1).inputWords[3];
    wordThreeEventBefore = sink->Has(1, 3, 0x0BCD);
  };
  bench.bus.InjectReceived(device, "EW1.6=0BCD\rEW1.0=00A5\r");
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return sink->Has(1, 3, 0x0BCD); }));
  EXPECT_TRUE(sawWordZero);
  EXPECT_EQ(wordThreeImage, 0x0BCDu);
  EXPECT_FALSE(wordThreeEventBefore);
  ASSERT_EQ(sink->events.size(), 2u);
  EXPECT_EQ(sink->events[0], (Received{1, 0, 0x00A5}));
  EXPECT_EQ(sink->events[1], (Received{1, 3, 0x0BCD}));
}

TEST(ControlDigital, AReportThatRepeatsTheStoredValueRaisesNoEvent) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  const std::size_t device = bench.PlugUsb(0x00210002, ModuleConfig::Defaults(Model::USB, 1));
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  auto sink = Advise(*control);

  bench.bus.InjectReceived(device, "EW1.0=0042\r");
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return sink->Has(1, 0, 0x42); }));
  bench.bus.InjectReceived(device, "EW1.0=0042\r");
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return bench.bus.ChipQueued(device) == 0; }));
  link::WaitPumping(50);
  EXPECT_EQ(sink->events.size(), 1u);

  // A polled word: two reads of the same value, one event.
  bench.bus.WithModule(device, [](sim::VirtualModule& m) { m.SetInputWord(3, 0x0123, qttest::Now()); });
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(3)}).I4(), 0x0123);
  EXPECT_EQ(Call(*control, "GetAnalogInput2").I2(), 0x0123);
  link::WaitPumping(50);
  ASSERT_EQ(sink->events.size(), 2u);
  EXPECT_EQ(sink->events[1], (Received{1, 3, 0x0123}));
}

TEST(ControlDigital, AnAutoSentAnalogWordAbove32767ReadsNegativeFromTheImage) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  auto sink = Advise(*control);

  Call(*control, "SetChannelMask", {I2(15)});
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return control->Record(1).inputAutoSent[4]; }));
  SetModuleInput(*module, 1, 40000);
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return sink->Has(1, 1, 40000); }));
  ClearCommands(*module);
  EXPECT_EQ(Call(*control, "GetAnalogInput0").I2(), -25536);
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(1)}).I4(), 40000);
  EXPECT_EQ(Call(*control, "GetAnalogInput3").I2(), 0);
  Settle();
  EXPECT_TRUE(CommandsAt(*module).empty());
}

// A host handler that writes again while the first write waits for its
// acknowledgement: whatever order the acknowledgements take, the image must
// end up as the module's value, or a later write of the old value would be
// skipped while the module holds another.
TEST(ControlDigital, AWriteNestedInAnotherWritesWaitLeavesTheImageAtTheModulesValue) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  auto sink = Advise(*control);

  bool outerRunning = false;
  bool nestedDuringOuter = false;
  sink->onEvent = [&](const Received& e) {
    if (e.wordIndex != 0 || nestedDuringOuter) return;
    nestedDuringOuter = outerRunning;
    Call(*control, "SetOutputWord", {I2(1), I2(0), I4(0x00BB)});
  };
  // The word 0 report comes 15 ms late, inside the outer write's wait, and
  // every acknowledgement after it just as late.
  module->WithModule([](sim::VirtualModule& m) {
    m.MutableConfig().faults.slowMs = 15;
    m.SetInputWord(0, 0x0001, qttest::Now());
  });
  outerRunning = true;
  Call(*control, "SetOutputWord", {I2(1), I2(0), I4(0x00AA)});
  outerRunning = false;
  ASSERT_TRUE(nestedDuringOuter);
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return ModuleOutput(*module, 0) == 0x00BB; }));
  link::WaitPumping(100);
  EXPECT_EQ(control->Record(1).outputWords[0], ModuleOutput(*module, 0));

  // Back to the first value: it must reach the module.
  module->WithModule([](sim::VirtualModule& m) { m.MutableConfig().faults.slowMs = 0; });
  Call(*control, "SetOutputWord", {I2(1), I2(0), I4(0x00AA)});
  EXPECT_EQ(ModuleOutput(*module, 0), 0x00AA);
  EXPECT_EQ(control->Record(1).outputWords[0], 0x00AAu);
}

}  // namespace
}  // namespace brimlink::ctrltest
