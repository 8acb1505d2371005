// USB modules on the simulated bus next to serial ones: which eight are found,
// the port queries, and the identity update rules, through Invoke.
#include <cstring>

#include "ControlBench.h"

namespace brimlink::ctrltest {
namespace {

using sim::UsbCall;

link::UsbProgramData Decoded(const sim::EepromImage& image) {
  link::UsbProgramData data;
  EXPECT_EQ(sim::DecodeEeprom(image, data), link::usb_status::kOk);
  return data;
}

std::string Text(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

int EepromCalls(const sim::SimulatedUsbBus& bus) {
  return bus.CallCount(UsbCall::EepromRead) + bus.CallCount(UsbCall::EepromProgram) +
         bus.CallCount(UsbCall::CyclePort);
}

TEST(ControlUsb, NineModulesFillTheEightChannelsUsbFirstThenComPortsAscending) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  // Plugged out of location order: the bus's list order counts.
  const std::uint32_t locations[] = {0x00301234, 0x00109ABC, 0x00500001, 0x00200002, 0x00400003};
  for (int i = 0; i < 5; ++i) bench.PlugUsb(locations[i], ModuleConfig::Defaults(Model::USB, i + 1));
  // Added out of COM order; the one at COM209 is the ninth and finds no channel.
  sim::PtyModule* ninth = bench.AddSerialModule(209, ModuleConfig::Defaults(Model::USB, 4));
  ASSERT_NE(bench.AddSerialModule(207, ModuleConfig::Defaults(Model::USB, 8)), nullptr);
  ASSERT_NE(bench.AddSerialModule(203, ModuleConfig::Defaults(Model::R6, 6)), nullptr);
  ASSERT_NE(bench.AddSerialModule(205, ModuleConfig::Defaults(Model::USB, 7)), nullptr);
  ASSERT_NE(ninth, nullptr);
  auto control = bench.Create();

  EXPECT_EQ(Call(*control, "Connect").I2(), 0xFF);
  ASSERT_EQ(control->ChannelCount(), 8);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(control->Channel(i).PortTypeCode(), link::PortType::Usb) << i;
    EXPECT_EQ(control->Channel(i).PortKey(), locations[i]) << i;
    EXPECT_EQ(control->Channel(i).ModuleNumber(), i + 1) << i;
  }
  const std::uint32_t coms[] = {203, 205, 207};
  for (int i = 5; i < 8; ++i) {
    EXPECT_EQ(control->Channel(i).PortTypeCode(), link::PortType::Serial) << i;
    EXPECT_EQ(control->Channel(i).PortKey(), coms[i - 5]) << i;
  }
  link::WaitPumping(30);
  std::size_t ninthCommands = 1;
  ninth->WithModule([&](sim::VirtualModule& m) { ninthCommands = m.ReceivedCommands().size(); });
  EXPECT_EQ(ninthCommands, 0u);
  EXPECT_EQ(control->Record(4).channel, &control->Channel(3));

  // A USB module's "COM port" is the low half of its location, as an I2.
  EXPECT_EQ(Call(*control, "GetComPort", {I2(1)}).I2(), 0x1234);
  EXPECT_EQ(Call(*control, "GetComPort", {I2(2)}).I2(), static_cast<std::int16_t>(0x9ABC));
  EXPECT_EQ(Call(*control, "GetUSBLocation", {I2(2)}).UI4(), 0x00109ABCu);
  EXPECT_EQ(Call(*control, "GetPortType", {I2(2)}).UI4(), 2u);
  EXPECT_EQ(Call(*control, "GetComPort", {I2(6)}).I2(), 203);
  EXPECT_EQ(Call(*control, "GetUSBLocation", {I2(6)}).UI4(), 0u);
  EXPECT_EQ(Call(*control, "GetPortType", {I2(6)}).UI4(), 1u);
  EXPECT_EQ(Call(*control, "GetModuleType", {I2(6)}).I2(), 5);
  Call(*control, "SetModule", {I2(8)});
  EXPECT_EQ(Call(*control, "GetComPort", {I2(0)}).I2(), 207);
  EXPECT_EQ(Call(*control, "GetUSBLocation", {I2(0)}).UI4(), 0u);
}

// One USB module as the family ships it, one R6 still carrying the chip's
// factory identity, one on a COM port.
TEST(ControlUsb, OnlyAnOpenFactoryIdentityModuleIsUpdatedAndTheR6BecomesAMini) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  const std::size_t shipped = bench.PlugUsb(0x00310001, ModuleConfig::Defaults(Model::USB, 1));
  const std::size_t factory = bench.PlugUsb(0x00320002, ModuleConfig::Defaults(Model::R6, 2), 0x6001);
  ASSERT_NE(bench.AddSerialModule(201, ModuleConfig::Defaults(Model::USB, 3)), nullptr);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x07);
  ASSERT_EQ(Call(*control, "GetModuleType", {I2(2)}).I2(), 5);
  const sim::EepromImage shippedBefore = bench.bus.Eeprom(shipped);

  EXPECT_EQ(Call(*control, "IsModuleUpdateAvailable", {I2(3)}).I2(), 0);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(3)}).I2(), -1);
  EXPECT_EQ(Call(*control, "IsModuleUpdateAvailable", {I2(1)}).I2(), 0);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(1)}).I2(), -1);
  EXPECT_EQ(Call(*control, "IsModuleUpdateAvailable", {I2(5)}).I2(), 0);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(5)}).I2(), -1);
  EXPECT_EQ(EepromCalls(bench.bus), 0);

  EXPECT_EQ(Call(*control, "IsModuleUpdateAvailable", {I2(2)}).I2(), 1);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(2)}).I2(), 0);
  EXPECT_EQ(bench.bus.CallCount(UsbCall::EepromRead), 1);
  EXPECT_EQ(bench.bus.CallCount(UsbCall::EepromProgram), 1);
  EXPECT_EQ(bench.bus.CallCount(UsbCall::CyclePort), 1);
  const link::UsbProgramData updated = Decoded(bench.bus.Eeprom(factory));
  EXPECT_EQ(updated.vendorId, 0x0403);
  EXPECT_EQ(updated.productId, 0x5C43);
  EXPECT_EQ(Text(updated.description, sizeof updated.description), "Brimlink Mini");
  EXPECT_EQ(Text(updated.manufacturer, sizeof updated.manufacturer), "Kavro Teaching");
  EXPECT_EQ(Text(updated.serialNumber, sizeof updated.serialNumber), "KT000001");
  EXPECT_EQ(bench.bus.Eeprom(shipped), shippedBefore);

  // Disconnected, the record no longer qualifies.
  Call(*control, "Disconnect");
  EXPECT_EQ(Call(*control, "IsModuleUpdateAvailable", {I2(2)}).I2(), 0);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(2)}).I2(), -1);
  EXPECT_EQ(bench.bus.CallCount(UsbCall::EepromRead), 1);

  // Re-attached under its new identity, it is found again and done with.
  EXPECT_NE(Call(*control, "Connect").I2() & 0x02, 0);
  EXPECT_EQ(Call(*control, "IsModuleUpdateAvailable", {I2(2)}).I2(), 0);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(2)}).I2(), -1);
  EXPECT_EQ(bench.bus.CallCount(UsbCall::EepromRead), 1);
  EXPECT_EQ(bench.bus.CallCount(UsbCall::EepromProgram), 1);
}

TEST(ControlUsb, AFactoryIdentityUsbModelBecomesABrimlinkModule) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  const std::size_t factory = bench.PlugUsb(0x00330003, ModuleConfig::Defaults(Model::USB, 4), 0x6001);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x08);
  ASSERT_EQ(Call(*control, "GetModuleType", {I2(0)}).I2(), 3);

  EXPECT_EQ(Call(*control, "IsModuleUpdateAvailable", {I2(0)}).I2(), 1);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(0)}).I2(), 0);
  const link::UsbProgramData updated = Decoded(bench.bus.Eeprom(factory));
  EXPECT_EQ(updated.productId, 0x5C40);
  EXPECT_EQ(Text(updated.description, sizeof updated.description), "Brimlink Module");
}

TEST(ControlUsb, AFailingEepromReadIsReturnedAndNothingIsWritten) {
  qttest::Watchdog watchdog(20s);
  ControlBench bench;
  const std::size_t factory = bench.PlugUsb(0x00340004, ModuleConfig::Defaults(Model::USB, 1), 0x6001);
  auto control = bench.Create();
  ASSERT_EQ(Call(*control, "Connect").I2(), 0x01);
  const sim::EepromImage before = bench.bus.Eeprom(factory);

  bench.bus.FailCall(UsbCall::EepromRead, link::usb_status::kDeviceNotOpened);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(1)}).I2(), link::usb_status::kDeviceNotOpened);
  EXPECT_EQ(bench.bus.CallCount(UsbCall::EepromProgram), 0);
  EXPECT_EQ(bench.bus.Eeprom(factory), before);
  // Still qualified: the next attempt goes through.
  EXPECT_EQ(Call(*control, "IsModuleUpdateAvailable", {I2(1)}).I2(), 1);
  EXPECT_EQ(Call(*control, "UpdateModule", {I2(1)}).I2(), 0);
  EXPECT_EQ(Decoded(bench.bus.Eeprom(factory)).productId, 0x5C40);
}

}  // namespace
}  // namespace brimlink::ctrltest
