// What a host can do wrong or at an awkward moment: bad arguments, nested
// connection calls, releasing the control while it works, two controls side
// by side, and the settings written when the control goes.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "ControlBench.h"
#include "control/interface/Dispatch.h"

namespace brimlink::ctrltest {
namespace {

TEST(ControlLifecycle, AWrongArgumentCountIsRefusedWithoutEffect) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();

  Call(*control, "Connect", {I2(1)}, ba::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(control->ChannelCount(), 0);
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  ClearCommands(*module);

  Call(*control, "GetInputWord", {I2(1)}, ba::DISP_E_BADPARAMCOUNT);
  Call(*control, "SetOutputWord", {I2(1), I2(0), I4(5), I4(5)}, ba::DISP_E_BADPARAMCOUNT);
  Call(*control, "SetDigitalOutput0", {}, ba::DISP_E_BADPARAMCOUNT);
  Call(*control, "SetModule", {}, ba::DISP_E_BADPARAMCOUNT);
  Call(*control, "Disconnect", {I2(0)}, ba::DISP_E_BADPARAMCOUNT);
  link::WaitPumping(50);
  EXPECT_TRUE(CommandsAt(*module).empty());
  EXPECT_EQ(control->ChannelCount(), 1);
  EXPECT_EQ(control->Record(1).outputWords[0], 0u);
}

TEST(ControlLifecycle, ModIndexOutsideZeroToEightAndOverflowingI2ArgumentsHaveNoEffect) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  module->WithModule([](sim::VirtualModule& m) { m.SetInputWord(2, 0x0222, qttest::Now()); });
  ClearCommands(*module);

  for (int modIndex : {9, -1, 32767, -32768}) {
    SCOPED_TRACE(modIndex);
    Call(*control, "SetModule", {I2(modIndex)});
    EXPECT_EQ(control->CurrentModule(), 1);
    EXPECT_EQ(Call(*control, "GetInputWord", {I2(modIndex), I2(2)}).I4(), 0);
    Call(*control, "SetOutputWord", {I2(modIndex), I2(0), I4(0x0011)});
    EXPECT_EQ(Call(*control, "UpdateModule", {I2(modIndex)}).I2(), -1);
    EXPECT_EQ(Call(*control, "SendAndGetString", {I2(modIndex), Str(u"DV")}).Bstr(), u"");
    EXPECT_EQ(Call(*control, "GetModuleType", {I2(modIndex)}).I2(), 0);
  }
  // Word, byte and bit indexes beyond the record.
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(5)}).I4(), 0);
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(-1)}).I4(), 0);
  Call(*control, "SetOutputWord", {I2(1), I2(3), I4(0x0011)});
  Call(*control, "SetOutput", {I2(1), I2(2), I2(0), I2(1)});
  Call(*control, "SetOutput", {I2(1), I2(0), I2(8), I2(1)});
  EXPECT_EQ(Call(*control, "GetOutputWord", {I2(1), I2(3)}).I4(), 0);

  // 70000 does not fit an I2 parameter; nothing is called.
  Call(*control, "SetModule", {I4(70000)}, ba::DISP_E_OVERFLOW);
  Call(*control, "GetInputWord", {I4(70000), I2(2)}, ba::DISP_E_OVERFLOW);
  Call(*control, "SetOutputWord", {I2(1), I4(-70000), I4(0x0011)}, ba::DISP_E_OVERFLOW);
  EXPECT_EQ(control->CurrentModule(), 1);
  link::WaitPumping(50);
  EXPECT_TRUE(CommandsAt(*module).empty());
  EXPECT_EQ(control->Record(1).outputWords[0], 0u);

  // The same module reached correctly still answers.
  EXPECT_EQ(Call(*control, "GetInputWord", {I2(1), I2(2)}).I4(), 0x0222);
}

// Word 0 of both modules is set before Connect, so their initialisation
// raises the event while Connect waits; the host's handler then tries every
// connection call.
TEST(ControlLifecycle, ConnectionCallsNestedInConnectsWaitsReturnWithoutEffect) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* first = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  sim::PtyModule* second = bench.AddSerialModule(202, ModuleConfig::Defaults(Model::R6, 2));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  for (sim::PtyModule* module : {first, second})
    module->WithModule([](sim::VirtualModule& m) { m.SetInputWord(0, 0x0081, qttest::Now()); });
  auto control = bench.Create();
  auto sink = Advise(*control);

  bool connecting = false;
  int nested = 0;
  sink->onEvent = [&](const Received& e) {
    if (!connecting || e.wordIndex != 0) return;
    ++nested;
    const int channels = control->ChannelCount();
    EXPECT_EQ(Call(*control, "Connect").I2(), 0);
    EXPECT_EQ(Call(*control, "OpenSerial", {I2(202)}).I2(), 2);
    EXPECT_EQ(Call(*control, "OpenSerial", {I2(0)}).I2(), 2);
    Call(*control, "Disconnect");
    EXPECT_EQ(Call(*control, "CloseSerial").I2(), 0);
    EXPECT_EQ(control->ChannelCount(), channels);
  };
  connecting = true;
  const std::int16_t found = Call(*control, "Connect").I2();
  connecting = false;
  EXPECT_EQ(nested, 2);
  EXPECT_EQ(found, 0x03);
  EXPECT_EQ(control->ChannelCount(), 2);
  EXPECT_EQ(control->CurrentModule(), 1);
  EXPECT_TRUE(sink->Has(1, 0, 0x81));
  EXPECT_TRUE(sink->Has(2, 0, 0x81));
  // Both lines are still in use.
  Call(*control, "SetOutputWord", {I2(2), I2(0), I4(0x0003)});
  std::uint16_t output = 0;
  second->WithModule([&](sim::VirtualModule& m) { output = m.OutputWord(0); });
  EXPECT_EQ(output, 0x0003);

  // With nothing running, the same calls work again.
  EXPECT_EQ(Call(*control, "OpenSerial", {I2(202)}).I2(), 0);
  EXPECT_EQ(control->ChannelCount(), 1);
  EXPECT_EQ(control->CurrentModule(), 2);
  EXPECT_EQ(Call(*control, "CloseSerial").I2(), 0);
  EXPECT_EQ(control->ChannelCount(), 0);
}

// A module keeps reporting on two words from a thread of its own while the
// host lets go of the control.
TEST(ControlLifecycle, NoEventReachesTheSinkOnceTheControlIsBeingDestroyed) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  const std::size_t device = bench.PlugUsb(0x00410001, ModuleConfig::Defaults(Model::USB, 1));
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  Call(*control, "SetChannelMask", {I2(1)});
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return control->Record(1).inputAutoSent[1]; }));
  auto sink = Advise(*control);

  std::atomic<bool> releasing{false};
  int late = 0;
  sink->onEvent = [&](const Received&) {
    if (releasing) ++late;
  };
  std::atomic<bool> stop{false};
  std::thread reporter([&] {
    for (std::uint16_t v = 1; !stop; ++v) {
      bench.bus.WithModule(device, [v](sim::VirtualModule& m) {
        m.SetInputWord(0, v, qttest::Now());
        m.SetInputWord(1, v, qttest::Now());
      });
      std::this_thread::sleep_for(1ms);
    }
  });
  const bool flowing = ControlBench::PumpUntil([&] {
    return sink->events.size() > 20 && std::any_of(sink->events.begin(), sink->events.end(),
                                                    [](const Received& e) { return e.wordIndex == 1; });
  });
  const std::size_t objects = ba::LiveObjectCount();
  releasing = true;
  control.reset();
  EXPECT_EQ(ba::LiveObjectCount(), objects - 1);
  link::WaitPumping(100);
  stop = true;
  reporter.join();
  link::WaitPumping(20);
  EXPECT_TRUE(flowing);
  EXPECT_EQ(late, 0);
}

TEST(ControlLifecycle, TwoControlsKeepTheirEventsAndUsbDeviceListsApart) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  // Both modules are number 1: only the port tells them apart.
  const std::size_t device = bench.PlugUsb(0x00420001, ModuleConfig::Defaults(Model::USB, 1));
  sim::PtyModule* serial = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(serial, nullptr);
  bench.WriteIni({.useUsb = "Y", .useSerial = "N"});
  auto usbSide = bench.Create();
  bench.WriteIni({.useUsb = "Y", .useSerial = "Y"});
  auto serialSide = bench.Create();

  ASSERT_EQ(Call(*usbSide, "Connect").I2(), 0x01);
  // The USB device is taken; the second control lists it but finds module 1 on COM201.
  ASSERT_EQ(Call(*serialSide, "Connect").I2(), 0x01);
  ASSERT_EQ(Call(*serialSide, "GetPortType", {I2(1)}).UI4(), 1u);
  ASSERT_EQ(Call(*usbSide, "GetPortType", {I2(1)}).UI4(), 2u);
  EXPECT_EQ(usbSide->UsbDevices().Count(), 1);
  EXPECT_EQ(serialSide->UsbDevices().Count(), 1);
  auto usbSink = Advise(*usbSide);
  auto serialSink = Advise(*serialSide);
  Call(*usbSide, "SetChannelMask", {I2(2)});
  Call(*serialSide, "SetChannelMask", {I2(2)});
  ASSERT_TRUE(ControlBench::PumpUntil(
      [&] { return usbSide->Record(1).inputAutoSent[2] && serialSide->Record(1).inputAutoSent[2]; }));

  bench.bus.WithModule(device, [](sim::VirtualModule& m) {
    m.SetInputWord(0, 0x1111, qttest::Now());
    m.SetInputWord(2, 0x0A0A, qttest::Now());
  });
  serial->WithModule([](sim::VirtualModule& m) {
    m.SetInputWord(0, 0x2222, qttest::Now());
    m.SetInputWord(2, 0x0B0B, qttest::Now());
  });
  ASSERT_TRUE(ControlBench::PumpUntil([&] { return usbSink->Has(1, 2, 0x0A0A) && serialSink->Has(1, 2, 0x0B0B); }));
  link::WaitPumping(50);
  EXPECT_EQ(usbSink->events, (std::vector<Received>{{1, 0, 0x1111}, {1, 2, 0x0A0A}}));
  EXPECT_EQ(serialSink->events, (std::vector<Received>{{1, 0, 0x2222}, {1, 2, 0x0B0B}}));

  // One control's Disconnect frees its own list only; the other keeps working.
  Call(*serialSide, "Disconnect");
  EXPECT_EQ(serialSide->UsbDevices().Count(), 0);
  EXPECT_EQ(usbSide->UsbDevices().Count(), 1);
  Call(*usbSide, "SetOutputWord", {I2(1), I2(0), I4(0x0042)});
  std::uint16_t output = 0;
  bench.bus.WithModule(device, [&](sim::VirtualModule& m) { output = m.OutputWord(0); });
  EXPECT_EQ(output, 0x0042);

  ASSERT_EQ(Call(*serialSide, "Connect").I2(), 0x01);
  Call(*usbSide, "Disconnect");
  EXPECT_EQ(usbSide->UsbDevices().Count(), 0);
  EXPECT_EQ(serialSide->UsbDevices().Count(), 1);
  EXPECT_EQ(Call(*serialSide, "SendAndGetString", {I2(1), Str(u"DV")}).Bstr(), u"V=2.10");
}

TEST(ControlLifecycle, AnUnmodifiedControlLeavesTheSettingsFileAsItFindsIt) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  auto control = bench.Create();
  EXPECT_FALSE(control->Modified());
  // Changed by hand while the control lives.
  bench.WriteIni({.useUsb = "N", .searchCom = "203 - 201,7"});
  const std::string byHand = bench.ReadIni();
  control.reset();
  EXPECT_EQ(bench.ReadIni(), byHand);
}

TEST(ControlLifecycle, ModifiedSettingsAreWrittenNormalisedAtDestruction) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  auto control = bench.Create();
  link::PortSettings settings = control->CurrentPortSettings();
  settings.useUsb = 0;
  settings.searchCom = " 205 , 203-204,junk, 0-201";
  settings.excludeCom = "207-206";
  settings.showAtStartup = 0;
  control->StorePortSettings(settings);
  EXPECT_TRUE(control->Modified());
  bench.WriteIni({.searchCom = "1"});
  control.reset();

  const std::string text = bench.ReadIni();
  for (const char* line : {"UseUSB=N", "UseSerial=Y", "SearchCOM=205,203-204,201", "ExcludeCOM=206-207",
                           "ShowAtStartup=N"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;

  // The next control reads them back.
  auto next = bench.Create();
  EXPECT_EQ(next->CurrentPortSettings().searchCom, "205,203-204,201");
  EXPECT_EQ(next->CurrentPortSettings().useUsb, 0);
}

// A settings file the control cannot use or write: it works with what it
// could read, says why, and never rewrites the file, also when its settings
// change.
TEST(ControlLifecycle, ASettingsFileNotReadCleanlyOrReadOnlyIsKept) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  bench.WriteIni({.useUsb = "N", .searchCom = "201"});
  {
    std::ofstream(bench.IniPath(), std::ios::app | std::ios::binary) << std::string("[Other]\nK=a\0b\n", 15);
  }
  const std::string broken = bench.ReadIni();
  auto control = bench.Create();
  EXPECT_EQ(control->CurrentPortSettings().useUsb, 1) << "the defaults apply";
  EXPECT_EQ(control->CurrentPortSettings().searchCom, "1-255");
  EXPECT_EQ(control->SettingsProblem(),
            "Settings: " + bench.IniPath() + " is not used and kept as it is: line 9 holds a NUL byte");
  link::PortSettings settings = control->CurrentPortSettings();
  settings.useSerial = 0;
  control->StorePortSettings(settings);
  control.reset();
  EXPECT_EQ(bench.ReadIni(), broken);

  bench.WriteIni({.useUsb = "N", .searchCom = "201"});
  const std::string readOnly = bench.ReadIni();
  ASSERT_EQ(::chmod(bench.IniPath().c_str(), 0444), 0);
  control = bench.Create();
  EXPECT_EQ(control->CurrentPortSettings().useUsb, 0) << "a read-only file is still read";
  EXPECT_EQ(control->CurrentPortSettings().searchCom, "201");
  EXPECT_EQ(control->SettingsProblem(),
            "Settings: " + bench.IniPath() + " is not written back: it is read-only for this user");
  control->StorePortSettings(settings);
  control.reset();
  EXPECT_EQ(bench.ReadIni(), readOnly);
  struct stat st {};
  ASSERT_EQ(::stat(bench.IniPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
}

// The host lets go of the control from its event handler while a read waits
// for the module: the read still finishes with the module's value, and the
// control goes when the call is done.
TEST(ControlLifecycle, AHostReleasingTheControlFromAnEventHandlerDuringACallIsSafe) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  auto sink = Advise(*control);
  CBrimlinkCtrl* raw = control.get();

  bool released = false;
  std::size_t objectsBefore = 0;
  sink->onEvent = [&](const Received& e) {
    if (e.wordIndex != 0 || released) return;
    released = true;
    objectsBefore = ba::LiveObjectCount();
    control.reset();
  };
  module->WithModule([](sim::VirtualModule& m) {
    m.MutableConfig().faults.slowMs = 20;
    m.SetInputWord(1, 0x0456, qttest::Now());
    m.SetInputWord(0, 0x0001, qttest::Now());
  });
  const std::int32_t value = Call(*raw, "GetInputWord", {I2(1), I2(1)}).I4();
  ASSERT_TRUE(released);
  EXPECT_EQ(value, 0x0456);
  // The call's own reference was the last one.
  EXPECT_EQ(ba::LiveObjectCount(), objectsBefore - 1);
  ASSERT_FALSE(sink->events.empty());
  EXPECT_EQ(sink->events.front(), (Received{1, 0, 0x0001}));
}

// The same outside any call: the event comes while the host's own loop
// dispatches, on a USB line whose reader waits for the handler, and on a
// serial line.
TEST(ControlLifecycle, AHostReleasingTheControlFromAnEventHandlerBetweenCallsIsSafe) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  const std::size_t device = bench.PlugUsb(0x00430001, ModuleConfig::Defaults(Model::USB, 1));
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 2));
  ASSERT_NE(module, nullptr);
  for (const bool usb : {true, false}) {
    SCOPED_TRACE(usb ? "USB" : "serial");
    auto control = bench.Create();
    ASSERT_EQ(Call(*control, "Connect").I2(), 0x03);
    auto sink = Advise(*control);
    std::size_t objectsBefore = 0;
    sink->onEvent = [&](const Received& e) {
      if (e.wordIndex != 0 || !control) return;
      objectsBefore = ba::LiveObjectCount();
      control.reset();
    };
    const std::uint16_t value = usb ? 0x0011 : 0x0022;
    if (usb) {
      bench.bus.WithModule(device, [&](sim::VirtualModule& m) { m.SetInputWord(0, value, qttest::Now()); });
    } else {
      module->WithModule([&](sim::VirtualModule& m) { m.SetInputWord(0, value, qttest::Now()); });
    }
    ASSERT_TRUE(ControlBench::PumpUntil([&] { return !control; }));
    link::WaitPumping(50);
    EXPECT_EQ(ba::LiveObjectCount(), objectsBefore - 1);
    EXPECT_EQ(sink->events, (std::vector<Received>{{usb ? 1 : 2, 0, value}}));
    EXPECT_FALSE(bench.bus.IsOpen(device));
  }
}

}  // namespace
}  // namespace brimlink::ctrltest
