// SimulatedUsbBus: an in-memory bus of FT232R chips for tests and demos,
// implementing the same UsbDriver as the libftdi1 driver.
//
// Each device has a USB identity (what enumeration shows), an EEPROM image
// (what the identity becomes at the next re-attach), a location id, a
// device type, a receive queue inside the chip and a VirtualModule on its
// serial side. What the port writes reaches the module at once; the module's
// replies become due on the steady clock and move into the chip's queue when
// the port asks for the queue status (or reads). The bus sets the port's
// notification event when bytes may have arrived (a write that made the
// module answer, a test changing the module's inputs, injected bytes, an
// unplug), and NotificationPollMs tells the reader when the next delayed
// reply becomes due, so that no thread of the bus's own is needed.
//
// Tests can make any call fail (once, n times or always), count the calls,
// see the calls with their main argument in order, inject bytes into a
// chip's queue, unplug a device and read or replace its EEPROM image.
//
// Threads: every member may be called from any thread; one mutex guards the
// whole bus, modules included.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "control/link/UsbDriver.h"
#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::sim {

enum class UsbCall {
  CreateDeviceInfoList,
  GetDeviceInfoList,
  OpenByIndex,
  Close,
  Read,
  Write,
  GetStatus,
  SetUsbParameters,
  SetLatencyTimer,
  SetTimeouts,
  SetDataCharacteristics,
  SetBaudRate,
  Purge,
  SetEventNotification,
  GetDriverVersion,
  EepromRead,
  EepromProgram,
  CyclePort,
  NotificationPollMs,
  kCount
};
const char* UsbCallName(UsbCall call);

// The simulated chip's EEPROM: 64 little-endian words.
//   0x00 options: bit 0 external oscillator, bit 2 high-drive I/O,
//        bit 3 direct driver (RIsD2XX); other bits reserved
//   0x01 endpoint size           0x02 vendor id     0x04 product id
//   0x06 release number (kept)   0x08 attributes: bit 6 self powered,
//        bit 5 remote wake-up; other bits reserved
//   0x09 max power / 2 mA        0x0A bit 0 PnP off, bit 2 pull-downs in
//        suspend, bit 3 serial number enabled; other bits reserved
//   0x0B invert bits (TXD 0x01, RXD, RTS, CTS, DTR, DSR, DCD, RI 0x80)
//   0x0C USB version (kept)
//   0x0E..0x13 offset and length of the manufacturer, description and serial
//        number strings; 0x18, 0x19 of the manufacturer id
//   0x14..0x16 CBUS0..CBUS4 functions, one nibble each
//   0x17 reserved (kept)
//   0x1A..0x7D string descriptors (length, 0x03, UTF-16LE)
//   0x7E checksum
using EepromImage = std::array<std::uint8_t, 128>;

// The image of a record, written over `base`: every field of the record is
// set, bytes and bits of no field keep what base has, the strings are laid out
// again. kOk, or kInvalidParameter when the strings do not fit.
int EncodeEeprom(const link::UsbProgramData& data, const EepromImage& base, EepromImage& image);
// The record in an image; kEepromNotProgrammed when the checksum is wrong.
// The signatures and the version of `data` are left as they are.
int DecodeEeprom(const EepromImage& image, link::UsbProgramData& data);

// What a device looks like when it is plugged in.
struct SimulatedUsbDevice {
  std::uint16_t vendorId = 0x0403;
  std::uint16_t productId = 0x6001;
  std::uint32_t type = link::usb_device_type::k232R;
  std::uint32_t locationId = 0;
  std::string manufacturer = "FTDI";
  std::string description = "FT232R USB UART";
  std::string serialNumber = "A1B2C3D4";
  ModuleConfig module = ModuleConfig::Defaults(Model::USB, 1);
  // Opening it is refused with kAccessDenied, as a device node this user may
  // not write is. deviceNode: what BusAddress names as its node (a test's
  // own file, whose owner, group and mode then stand for the node's).
  bool accessDenied = false;
  std::string deviceNode;
};

class SimulatedUsbBus final : public link::UsbDriver {
 public:
  static constexpr std::uint32_t kDriverVersion = 0x00021212;
  static constexpr int kAlways = -1;

  SimulatedUsbBus();
  ~SimulatedUsbBus() override;
  SimulatedUsbBus(const SimulatedUsbBus&) = delete;
  SimulatedUsbBus& operator=(const SimulatedUsbBus&) = delete;

  // Plugs a device in, its EEPROM made from the description; returns the
  // device's number on this bus (the order of plugging, never reused).
  std::size_t Plug(const SimulatedUsbDevice& device);
  // The device leaves the bus: open handles fail with kDeviceNotFound and
  // their reader is woken; the next enumeration does not list it.
  void Unplug(std::size_t device);

  // Runs fn on the device's module under the bus lock; what the module has
  // due then is moved into the chip and the reader is woken.
  void WithModule(std::size_t device, const std::function<void(VirtualModule&)>& fn);
  // Bytes that arrive in the chip's receive queue past the module.
  void InjectReceived(std::size_t device, std::string_view bytes);
  std::size_t ChipQueued(std::size_t device) const;
  // The baud rate the chip was last set to (9600 after plugging in).
  std::uint32_t BaudRate(std::size_t device) const;
  bool IsOpen(std::size_t device) const;
  // Opening the device is refused (or allowed again), as if its node's
  // permissions had changed.
  void SetAccessDenied(std::size_t device, bool denied);

  EepromImage Eeprom(std::size_t device) const;
  // Replaces the EEPROM without a re-attach: the USB identity stays.
  void SetEeprom(std::size_t device, const EepromImage& image);

  // The next `times` calls (kAlways: every call) return status.
  void FailCall(UsbCall call, int status, int times = 1);
  void ClearFailures();
  int CallCount(UsbCall call) const;

  // Calls in order with their main argument: the baud rate, the purge mask,
  // the bytes requested from Read, the bytes written, the device index of
  // OpenByIndex; 0 otherwise. GetStatus and NotificationPollMs are counted
  // but not logged (the reader makes them all the time).
  static constexpr std::size_t kNoDevice = static_cast<std::size_t>(-1);
  struct LoggedCall {
    UsbCall call;
    std::uint64_t argument;
    std::size_t device;  // kNoDevice for the list calls and unknown handles
  };
  std::vector<LoggedCall> CallLog() const;
  // The arguments of every logged call of one kind on one device, in order.
  std::vector<std::uint64_t> ArgumentsOf(UsbCall call, std::size_t device) const;

  // The next `times` reads hand out at most maxBytes and return status, as a
  // read that timed out (kOk) or failed part way would.
  void ShortReads(std::uint32_t maxBytes, int status, int times = 1);

  // --- UsbDriver
  int CreateDeviceInfoList(std::uint32_t& count) override;
  int GetDeviceInfoList(link::UsbDeviceInfoNode* nodes, std::uint32_t& count) override;
  int OpenByIndex(std::uint32_t index, link::UsbHandle& handle) override;
  // Bus: the location id's top byte; address: the device's number plus 1.
  link::UsbBusAddress BusAddress(std::uint32_t index) override;
  int Close(link::UsbHandle handle) override;
  int Read(link::UsbHandle handle, void* buffer, std::uint32_t toRead, std::uint32_t& returned) override;
  int Write(link::UsbHandle handle, const void* buffer, std::uint32_t toWrite, std::uint32_t& written) override;
  int GetStatus(link::UsbHandle handle, std::uint32_t& rxQueued, std::uint32_t& txQueued,
                std::uint32_t& eventStatus) override;
  int SetUsbParameters(link::UsbHandle handle, std::uint32_t inTransferSize, std::uint32_t outTransferSize) override;
  int SetLatencyTimer(link::UsbHandle handle, std::uint8_t milliseconds) override;
  int SetTimeouts(link::UsbHandle handle, std::uint32_t readMs, std::uint32_t writeMs) override;
  int SetDataCharacteristics(link::UsbHandle handle, std::uint8_t wordLength, std::uint8_t stopBits,
                             std::uint8_t parity) override;
  int SetBaudRate(link::UsbHandle handle, std::uint32_t baud) override;
  int Purge(link::UsbHandle handle, std::uint32_t mask) override;
  int SetEventNotification(link::UsbHandle handle, std::uint32_t mask, link::ManualResetEvent* event) override;
  int GetDriverVersion(link::UsbHandle handle, std::uint32_t& version) override;
  int EepromRead(link::UsbHandle handle, link::UsbProgramData& data) override;
  int EepromProgram(link::UsbHandle handle, const link::UsbProgramData& data) override;
  int CyclePort(link::UsbHandle handle) override;
  int NotificationPollMs(link::UsbHandle handle) override;

 private:
  struct Device;
  struct Failure {
    int status = 0;
    int remaining = 0;  // kAlways: no end
  };

  // Counts and logs the call; returns the programmed failure, or kOk.
  int Enter(UsbCall call, std::uint64_t argument, std::size_t device = kNoDevice);
  std::size_t DeviceOf(link::UsbHandle handle) const;
  // The device behind an open handle, or the status that says why not.
  Device* Open(link::UsbHandle handle, int& status);
  // Counts the call, then runs fn(Device&) on the open device under the lock.
  template <typename Fn>
  int OnDevice(UsbCall call, std::uint64_t argument, link::UsbHandle handle, Fn&& fn);
  Device& At(std::size_t device);
  const Device& At(std::size_t device) const;
  // Moves the module's due output into the chip; sets the event when the
  // chip has bytes or the module more to come.
  void Pump(Device& device, bool notify);
  static Millis Now();

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Device>> devices_;
  std::vector<std::size_t> listed_;  // bus numbers of the last enumeration
  struct OpenHandle {
    std::size_t device;
    std::uint64_t attachment;  // a re-attach or unplug makes the handle stale
  };
  std::map<std::uintptr_t, OpenHandle> handles_;
  std::uintptr_t nextHandle_ = 1;
  std::array<Failure, static_cast<std::size_t>(UsbCall::kCount)> failures_{};
  std::array<int, static_cast<std::size_t>(UsbCall::kCount)> counts_{};
  std::vector<LoggedCall> log_;
  std::uint32_t shortReadBytes_ = 0;
  int shortReadStatus_ = 0;
  int shortReads_ = 0;
};

}  // namespace brimlink::sim
