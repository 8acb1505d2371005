// FtdiDriver: the UsbDriver on libftdi1, for real FT232R modules.
//
// What libftdi1 does not have is built here:
// - Enumeration asks for vendor 0x0403 with each accepted product id in turn
//   (0x6001, 0x5C40, 0x5C43); the library's default search knows only the
//   chip's factory ids. The device type comes from the device descriptor's
//   release number (0x0600: FT232R, type 5).
// - Location id: bus number << 24, then the port path from the root hub, one
//   nibble per level from bit 20 down (at most six levels; port numbers
//   above 15 keep their low four bits). Bus 1, ports 2.3 gives 0x01230000.
// - No queue-status call and no notification: every open device has a
//   receive queue of its own. GetStatus reads what the chip has into it (the
//   chip answers within its latency timer, 2 ms), Read takes from it, and the
//   port's reader asks again every NotificationPollMs.
// - The EEPROM goes through ftdi_eeprom_decode and ftdi_eeprom_build; the
//   driver-selection field is the channel driver setting (virtual COM port
//   or not). Programming decodes the chip's EEPROM afresh and changes only the
//   fields of the record, so whatever the library knows beyond the record
//   stays as read. The chip keeps no manufacturer id: a read reports the
//   serial number's first two characters, and programming ignores it.
// - The re-attach after programming is a USB port reset.
// - The kernel's serial driver is detached while a device is open and
//   attached again when it is closed, so its /dev/ttyUSBn comes back.
// - An open refused for want of permission (libftdi1's "inappropriate
//   permissions", or a failed libusb open on a node this user may not write)
//   is kAccessDenied, so that the user can be told what fixes it.
//
// Threads: the list calls on the GUI thread; calls on a handle from any
// thread, serialised per device.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "control/link/UsbDriver.h"

namespace brimlink::link {

class FtdiDriver final : public UsbDriver {
 public:
  FtdiDriver();
  ~FtdiDriver() override;
  FtdiDriver(const FtdiDriver&) = delete;
  FtdiDriver& operator=(const FtdiDriver&) = delete;

  int CreateDeviceInfoList(std::uint32_t& count) override;
  int GetDeviceInfoList(UsbDeviceInfoNode* nodes, std::uint32_t& count) override;
  int OpenByIndex(std::uint32_t index, UsbHandle& handle) override;
  UsbBusAddress BusAddress(std::uint32_t index) override;
  int Close(UsbHandle handle) override;
  int Read(UsbHandle handle, void* buffer, std::uint32_t toRead, std::uint32_t& returned) override;
  int Write(UsbHandle handle, const void* buffer, std::uint32_t toWrite, std::uint32_t& written) override;
  int GetStatus(UsbHandle handle, std::uint32_t& rxQueued, std::uint32_t& txQueued,
                std::uint32_t& eventStatus) override;
  int SetUsbParameters(UsbHandle handle, std::uint32_t inTransferSize, std::uint32_t outTransferSize) override;
  int SetLatencyTimer(UsbHandle handle, std::uint8_t milliseconds) override;
  int SetTimeouts(UsbHandle handle, std::uint32_t readMs, std::uint32_t writeMs) override;
  int SetDataCharacteristics(UsbHandle handle, std::uint8_t wordLength, std::uint8_t stopBits,
                             std::uint8_t parity) override;
  int SetBaudRate(UsbHandle handle, std::uint32_t baud) override;
  int Purge(UsbHandle handle, std::uint32_t mask) override;
  int SetEventNotification(UsbHandle handle, std::uint32_t mask, ManualResetEvent* event) override;
  int GetDriverVersion(UsbHandle handle, std::uint32_t& version) override;
  int EepromRead(UsbHandle handle, UsbProgramData& data) override;
  int EepromProgram(UsbHandle handle, const UsbProgramData& data) override;
  int CyclePort(UsbHandle handle) override;
  int NotificationPollMs(UsbHandle handle) override;

  // The location id of a device at this bus and port path (see above).
  static std::uint32_t LocationIdOf(std::uint8_t bus, const std::uint8_t* ports, int depth);
  // The device type for a device descriptor's release number (bcdDevice).
  static std::uint32_t DeviceTypeOf(std::uint16_t releaseNumber);
  // The status of an open that returned `result` (libftdi1's code); nodeError:
  // 0 when this user may read and write the device node, else the errno that
  // says why not.
  static int OpenStatusOf(int result, int nodeError);
  // libusb's device node for a bus and address: /dev/bus/usb/BBB/DDD.
  static std::string DeviceNodeOf(int bus, int address);

 private:
  struct Listed {
    UsbDeviceInfoNode node;
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
  };
  struct Device;

  std::shared_ptr<Device> Find(UsbHandle handle);
  // Runs fn(Device&) on an open device that is still there, under its mutex.
  template <typename Fn>
  int OnDevice(UsbHandle handle, Fn&& fn);

  std::mutex mutex_;  // guards listed_, open_ and nextHandle_
  std::vector<Listed> listed_;
  std::map<std::uintptr_t, std::shared_ptr<Device>> open_;
  std::uintptr_t nextHandle_ = 1;
};

}  // namespace brimlink::link
