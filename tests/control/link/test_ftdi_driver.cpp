// The libftdi1 driver: what can be checked without a device (location ids,
// device types, handles it never opened), and one opt-in check on a real
// FT232R that only reads: set BRIMLINK_TEST_FTDI to its serial number, to
// "Loc" and its location id in hex, or to its index in the device list.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "control/link/FtdiDriver.h"

namespace brimlink::link {
namespace {

TEST(FtdiDriver, LocationIdIsTheBusAndOneNibblePerPortLevel) {
  const std::uint8_t path[] = {2, 3};
  EXPECT_EQ(FtdiDriver::LocationIdOf(1, path, 2), 0x01230000u);
  const std::uint8_t deep[] = {1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(FtdiDriver::LocationIdOf(0x12, deep, 7), 0x12123456u) << "levels below the sixth are left out";
  const std::uint8_t wide[] = {0x1F};
  EXPECT_EQ(FtdiDriver::LocationIdOf(3, wide, 1), 0x03F00000u) << "a port number keeps its low four bits";
  EXPECT_EQ(FtdiDriver::LocationIdOf(5, nullptr, 0), 0x05000000u);
}

TEST(FtdiDriver, DeviceTypeComesFromTheReleaseNumber) {
  EXPECT_EQ(FtdiDriver::DeviceTypeOf(0x0600), usb_device_type::k232R);
  EXPECT_EQ(FtdiDriver::DeviceTypeOf(0x0400), usb_device_type::kBM);
  EXPECT_EQ(FtdiDriver::DeviceTypeOf(0x0200), usb_device_type::kAM);
  EXPECT_EQ(FtdiDriver::DeviceTypeOf(0x0700), usb_device_type::k2232H);
  EXPECT_EQ(FtdiDriver::DeviceTypeOf(0x0900), usb_device_type::k232H);
  EXPECT_EQ(FtdiDriver::DeviceTypeOf(0x1000), usb_device_type::kXSeries);
  EXPECT_EQ(FtdiDriver::DeviceTypeOf(0x0300), usb_device_type::kUnknown);
}

TEST(FtdiDriver, AnOpenRefusedForPermissionIsTheAccessErrorAndNothingElseIs) {
  struct Case {
    int result;
    int nodeError;
    int status;
  };
  const Case cases[] = {
      {0, 0, usb_status::kOk},
      {-3, 0, usb_status::kDeviceNotFound},
      {-8, 0, usb_status::kAccessDenied},        // "inappropriate permissions on device!"
      {-4, EACCES, usb_status::kAccessDenied},   // libusb_open failed on a node not ours
      {-4, EPERM, usb_status::kAccessDenied},
      {-4, 0, usb_status::kDeviceNotOpened},     // the node is ours: another reason
      {-4, ENOENT, usb_status::kDeviceNotOpened},
      {-5, EACCES, usb_status::kDeviceNotOpened},  // claimed by another program
      {-11, 0, usb_status::kDeviceNotOpened},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FtdiDriver::OpenStatusOf(c.result, c.nodeError), c.status) << c.result << " " << c.nodeError;
  }
  EXPECT_EQ(FtdiDriver::DeviceNodeOf(1, 5), "/dev/bus/usb/001/005");
  EXPECT_EQ(FtdiDriver::DeviceNodeOf(12, 127), "/dev/bus/usb/012/127");
  FtdiDriver driver;
  EXPECT_EQ(driver.BusAddress(0).bus, -1) << "nothing listed yet";
  EXPECT_TRUE(driver.BusAddress(0).node.empty());
}

TEST(FtdiDriver, RefusesHandlesItNeverOpened) {
  FtdiDriver driver;
  const auto stranger = static_cast<UsbHandle>(42);
  std::uint32_t a = 1, b = 1, c = 1;
  char buffer[4];
  EXPECT_EQ(driver.GetStatus(stranger, a, b, c), usb_status::kInvalidHandle);
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(driver.Read(stranger, buffer, sizeof buffer, a), usb_status::kInvalidHandle);
  EXPECT_EQ(driver.Write(stranger, buffer, sizeof buffer, a), usb_status::kInvalidHandle);
  EXPECT_EQ(driver.SetBaudRate(stranger, 115200), usb_status::kInvalidHandle);
  EXPECT_EQ(driver.CyclePort(stranger), usb_status::kInvalidHandle);
  EXPECT_EQ(driver.Close(stranger), usb_status::kInvalidHandle);
  UsbProgramData data;
  EXPECT_EQ(driver.EepromRead(stranger, data), usb_status::kInvalidHandle);
  data.signature2 = 0;
  EXPECT_EQ(driver.EepromRead(stranger, data), usb_status::kInvalidParameter) << "the record is checked first";
  UsbHandle handle = static_cast<UsbHandle>(7);
  EXPECT_EQ(driver.OpenByIndex(0, handle), usb_status::kDeviceNotFound) << "nothing listed yet";
  EXPECT_EQ(handle, UsbHandle::kNone);
}

bool Names(const UsbDeviceInfoNode& node, std::uint32_t index, const std::string& name) {
  if (name == std::string(node.serialNumber, strnlen(node.serialNumber, sizeof node.serialNumber))) return true;
  if (name.rfind("Loc", 0) == 0) return std::strtoul(name.c_str() + 3, nullptr, 16) == node.locationId;
  return name.find_first_not_of("0123456789") == std::string::npos && std::stoul(name) == index;
}

TEST(FtdiDriver, RealDeviceIsListedOpenedSetUpAndItsEepromRead) {
  const char* env = std::getenv("BRIMLINK_TEST_FTDI");
  if (env == nullptr || *env == '\0') GTEST_SKIP() << "no device named in BRIMLINK_TEST_FTDI";
  const std::string name = env;

  FtdiDriver driver;
  std::uint32_t count = 0;
  ASSERT_EQ(driver.CreateDeviceInfoList(count), usb_status::kOk);
  std::vector<UsbDeviceInfoNode> nodes(count);
  ASSERT_EQ(driver.GetDeviceInfoList(nodes.data(), count), usb_status::kOk);
  std::uint32_t index = count;
  for (std::uint32_t i = 0; i < count; ++i)
    if (Names(nodes[i], i, name)) index = i;
  ASSERT_LT(index, count) << "no listed device matches " << name;
  const UsbDeviceInfoNode& node = nodes[index];
  EXPECT_EQ(node.id >> 16, 0x0403u);
  EXPECT_EQ(node.type, usb_device_type::k232R);

  UsbHandle handle = UsbHandle::kNone;
  ASSERT_EQ(driver.OpenByIndex(index, handle), usb_status::kOk) << "no access to the device? (udev rule)";
  EXPECT_EQ(driver.SetUsbParameters(handle, 64, 64), usb_status::kOk);
  EXPECT_EQ(driver.SetLatencyTimer(handle, 2), usb_status::kOk);
  EXPECT_EQ(driver.SetTimeouts(handle, 1000, 1000), usb_status::kOk);
  EXPECT_EQ(driver.SetDataCharacteristics(handle, kUsbBits8, kUsbStopBits1, kUsbParityNone), usb_status::kOk);
  EXPECT_EQ(driver.SetBaudRate(handle, 115200), usb_status::kOk);
  EXPECT_EQ(driver.Purge(handle, kUsbPurgeRx | kUsbPurgeTx), usb_status::kOk);
  std::uint32_t rx = 0, tx = 0, events = 0, version = 0;
  EXPECT_EQ(driver.GetStatus(handle, rx, tx, events), usb_status::kOk);
  EXPECT_EQ(driver.GetDriverVersion(handle, version), usb_status::kOk);
  EXPECT_NE(version, 0u);

  UsbProgramData data;
  ASSERT_EQ(driver.EepromRead(handle, data), usb_status::kOk);
  EXPECT_EQ(data.vendorId, 0x0403);
  EXPECT_EQ(data.productId, node.id & 0xFFFF);
  EXPECT_EQ(driver.Close(handle), usb_status::kOk);
}

}  // namespace
}  // namespace brimlink::link
