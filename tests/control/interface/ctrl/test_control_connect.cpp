// Finding modules: Connect, OpenSerial, Disconnect and the module queries,
// through Invoke.
#include "ControlBench.h"

namespace brimlink::ctrltest {
namespace {

TEST(ControlConnect, ModulesTwoAndFiveFoundGiveMask0x12AndCurrentModuleTwo) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  bench.AddSerialModule(203, ModuleConfig::Defaults(Model::R6, 5));
  bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 2));
  auto control = bench.Create();

  EXPECT_EQ(Call(*control, "Connect").I2(), 0x12);
  EXPECT_EQ(control->CurrentModule(), 2);
  EXPECT_EQ(Call(*control, "GetModuleType", {I2(2)}).I2(), 3);
  EXPECT_EQ(Call(*control, "GetModuleType", {I2(5)}).I2(), 5);
  EXPECT_EQ(Call(*control, "GetComPort", {I2(5)}).I2(), 203);
  EXPECT_EQ(Call(*control, "GetPortType", {I2(0)}).UI4(), 1u);
  EXPECT_EQ(Call(*control, "GetUSBLocation", {I2(2)}).UI4(), 0u);
  EXPECT_EQ(Call(*control, "GetModuleType", {I2(1)}).I2(), 0);

  Call(*control, "Disconnect");
  EXPECT_EQ(control->ChannelCount(), 0);
  EXPECT_EQ(Call(*control, "GetModuleType", {I2(2)}).I2(), 0);
  EXPECT_EQ(Call(*control, "GetComPort", {I2(5)}).I2(), 0);
}

}  // namespace
}  // namespace brimlink::ctrltest

namespace brimlink::ctrltest {
namespace {

TEST(ControlConnect, OpenSerialFallsBackToTheFullScanWhenThePortHasNoModuleOrIsExcluded) {
  qttest::Watchdog watchdog(20s);
  for (const bool excluded : {false, true}) {
    SCOPED_TRACE(excluded ? "COM203 excluded" : "COM203 empty");
    IniValues ini;
    if (excluded) ini.excludeCom = "203";
    ControlBench bench(ini);
    bench.AddSerialModule(205, ModuleConfig::Defaults(Model::R6, 4));
    if (excluded) bench.AddSerialModule(203, ModuleConfig::Defaults(Model::R6, 3));
    auto control = bench.Create();

    EXPECT_EQ(Call(*control, "OpenSerial", {I2(203)}).I2(), 0);
    EXPECT_EQ(control->CurrentModule(), 4);
    EXPECT_EQ(Call(*control, "GetComPort", {I2(0)}).I2(), 205);
    EXPECT_EQ(Call(*control, "GetModuleType", {I2(3)}).I2(), 0);
    EXPECT_EQ(Call(*control, "CloseSerial").I2(), 0);
    EXPECT_EQ(control->ChannelCount(), 0);
  }
}

TEST(ControlConnect, OpenSerialWithoutAnyModuleReturnsTwoAndLeavesNothingOpen) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  auto control = bench.Create();
  Call(*control, "SetModule", {I2(3)});
  EXPECT_EQ(Call(*control, "OpenSerial", {I2(0)}).I2(), 2);
  EXPECT_EQ(control->ChannelCount(), 0);
  EXPECT_EQ(control->CurrentModule(), 3);
  // Outside COM1..COM255 nothing is tried at all.
  EXPECT_EQ(Call(*control, "OpenSerial", {I2(-4)}).I2(), 2);
  EXPECT_EQ(Call(*control, "OpenSerial", {I2(256)}).I2(), 2);
}

TEST(ControlConnect, UsbAndSerialBothOffFindNothingAndKeepTheCurrentModule) {
  qttest::Watchdog watchdog(20s);
  IniValues ini;
  ini.useUsb = "N";
  ini.useSerial = "N";
  ControlBench bench(ini);
  bench.AddSerialModule(201, ModuleConfig::Defaults(Model::R6, 1));
  bench.PlugUsb(0x1234, ModuleConfig::Defaults(Model::USB, 2));
  auto control = bench.Create();
  Call(*control, "SetModule", {I2(6)});
  EXPECT_EQ(Call(*control, "Connect").I2(), 0);
  EXPECT_EQ(control->ChannelCount(), 0);
  EXPECT_EQ(control->CurrentModule(), 6);
  EXPECT_FALSE(bench.bus.IsOpen(0));
}

TEST(ControlConnect, WithoutASettingsFileTheDefaultsAreWrittenAtCreation) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  bench.RemoveIni();
  auto control = bench.Create();
  EXPECT_EQ(control->SettingsPath(), bench.IniPath());
  const std::string text = bench.ReadIni();
  for (const char* line : {"UseUSB=Y", "UseSerial=Y", "SearchCOM=1-255", "ShowAtStartup=N", "[PortSettings]", "[Debug]"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  EXPECT_NE(text.find("ExcludeCOM="), std::string::npos);
  const link::PortSettings settings = control->CurrentPortSettings();
  EXPECT_EQ(settings.searchCom, "1-255");
  EXPECT_EQ(settings.useUsb, 1);
}

TEST(ControlConnect, RecordZeroAsCurrentModuleSendsNothingAndReadsZero) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  sim::PtyModule* module = bench.AddSerialModule(201, ModuleConfig::Defaults(Model::R6, 1));
  ASSERT_NE(module, nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 1);
  Call(*control, "SetModule", {I2(0)});
  std::size_t before = 0;
  module->WithModule([&](sim::VirtualModule& m) { before = m.ReceivedCommands().size(); });
  Call(*control, "SetDigitalOutput0", {I2(0xFF)});
  Call(*control, "StartTimer");
  EXPECT_EQ(Call(*control, "GetDigitalInput0").I2(), 0);
  EXPECT_EQ(Call(*control, "GetAnalogInput0").I2(), 0);
  EXPECT_EQ(Call(*control, "GetModuleType", {I2(0)}).I2(), 0);
  link::WaitPumping(30);
  std::size_t after = 0;
  module->WithModule([&](sim::VirtualModule& m) { after = m.ReceivedCommands().size(); });
  EXPECT_EQ(after, before);
}

TEST(ControlConnect, DisconnectWithNothingOpenKeepsTheUsbDeviceList) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  bench.PlugUsb(0x00110022, ModuleConfig::Defaults(Model::USB, 1));
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 1);
  EXPECT_EQ(Call(*control, "GetComPort", {I2(1)}).I2(), 0x0022);
  EXPECT_EQ(Call(*control, "GetUSBLocation", {I2(1)}).UI4(), 0x00110022u);
  EXPECT_EQ(Call(*control, "GetPortType", {I2(1)}).UI4(), 2u);
  Call(*control, "Disconnect");
  EXPECT_EQ(control->UsbDevices().Count(), 0);

  // A connect that opens nothing leaves the freshly built list alone.
  bench.bus.Unplug(0);
  bench.PlugUsb(0x00110023, [] {
    ModuleConfig silent = ModuleConfig::Defaults(Model::USB, 1);
    silent.faults.silent = true;
    return silent;
  }());
  EXPECT_EQ(Call(*control, "Connect").I2(), 0);
  const int listed = control->UsbDevices().Count();
  EXPECT_GE(listed, 1);
  Call(*control, "Disconnect");
  EXPECT_EQ(control->UsbDevices().Count(), listed);
}

}  // namespace
}  // namespace brimlink::ctrltest
