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
