// Under load, input reports are lost where the serial transport purges what
// its buffer cannot take. Modules report changes only, so the control reads
// the inputs again after every purge: what every host sees at the end equals
// the last state set at each module.
#include <atomic>
#include <random>
#include <thread>

#include "ControlBench.h"

namespace brimlink::ctrltest {
namespace {

// The value of the last event a sink got for (module, word); -1 when none.
std::int32_t LastEvent(const EventRecorder& sink, int module, int word) {
  for (auto it = sink.events.rbegin(); it != sink.events.rend(); ++it)
    if (it->modIndex == module && it->wordIndex == word) return it->value;
  return -1;
}

TEST(ControlLoad, AFloodWhileTheHostStallsEndsWithTheModulesLastState) {
  qttest::Watchdog watchdog(30s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  auto sink = Advise(*control);
  ClearCommands(*module);

  // About 4.4 KB of reports while the GUI thread does not run: far more
  // than the 1024-byte receive buffer holds.
  std::uint16_t last = 0;
  for (int i = 1; i <= 400; ++i) {
    last = static_cast<std::uint16_t>(i * 37 % 0x10000);
    SetModuleInput(*module, 0, last);
  }
  std::this_thread::sleep_for(800ms);

  ASSERT_TRUE(ControlBench::PumpUntil(
      [&] { return control->Record(1).inputWords[0] == last && LastEvent(*sink, 1, 0) == last; }, 5000ms))
      << "image " << control->Record(1).inputWords[0] << ", last event " << LastEvent(*sink, 1, 0) << ", module "
      << last;
  // The scenario must really have purged: the control read the words again.
  EXPECT_GE(CountOf(CommandsAt(*module), "DEW1.0"), 1u);
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(0)}).I4(), last);
  // A reply after the flood is answered at once.
  EXPECT_EQ(Call(*control, "SendAndGetString", {I2(1), Str(u"DV")}).Bstr(), u"V=2.10");
}

TEST(ControlLoad, EightModulesTogglingForSecondsEndAtTheirLastState) {
  qttest::Watchdog watchdog(60s);
  ControlBench bench;
  std::vector<sim::PtyModule*> modules;
  for (int n = 1; n <= 8; ++n) {
    modules.push_back(bench.AddSerialModule(200 + static_cast<std::uint32_t>(n), ModuleConfig::Defaults(Model::USB, n)));
    ASSERT_NE(modules.back(), nullptr);
  }
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0xFF);
  auto sink = Advise(*control);

  // One thread switches the inputs of all eight modules as fast as it can
  // for three seconds; the GUI thread pumps, and now and then stalls as a
  // busy host does.
  std::atomic<bool> stop{false};
  std::array<std::uint16_t, 8> finals{};
  std::thread toggler([&] {
    std::mt19937 random(12345);
    while (!stop.load()) {
      for (std::size_t i = 0; i < modules.size(); ++i) {
        SetModuleInput(*modules[i], 0, static_cast<std::uint16_t>(random() & 0xFFFF));
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
    }
    for (std::size_t i = 0; i < modules.size(); ++i) {
      finals[i] = static_cast<std::uint16_t>(0xA000 + i);
      SetModuleInput(*modules[i], 0, finals[i]);
    }
  });
  const auto start = Clock::now();
  for (int round = 0; ElapsedMs(start) < 3000; ++round) {
    link::WaitPumping(20);
    if (round % 10 == 9) std::this_thread::sleep_for(150ms);
  }
  stop = true;
  toggler.join();

  const auto settled = [&] {
    for (int n = 1; n <= 8; ++n) {
      const auto want = finals[static_cast<std::size_t>(n - 1)];
      if (control->Record(n).inputWords[0] != want || LastEvent(*sink, n, 0) != want) return false;
    }
    return true;
  };
  EXPECT_TRUE(ControlBench::PumpUntil(settled, 5000ms));
  for (int n = 1; n <= 8; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(Call(*control, "GetInputWord", {I2(n), I2(0)}).I4(), finals[static_cast<std::size_t>(n - 1)]);
    EXPECT_EQ(LastEvent(*sink, n, 0), finals[static_cast<std::size_t>(n - 1)]);
  }
}

}  // namespace
}  // namespace brimlink::ctrltest
