// UsbDriver: the USB-serial driver library the USB transport talks to, shaped
// after the vendor's direct driver (status codes, device-info list, open by
// list index, one call per chip setting). Two implementations: FtdiDriver
// (libftdi1, real devices) and sim::SimulatedUsbBus (tests and demos).
//
// Threads: the device-info list calls run on the GUI thread. Calls on an
// open handle may come from the GUI thread and the port's worker; the port
// holds its lock around every one of them, and each driver guards its own
// tables as well.
#pragma once

#include <cstdint>
#include <string>

#include "control/link/Event.h"

namespace brimlink::link {

// Status codes of every driver call; hosts see them as UpdateModule results.
namespace usb_status {
inline constexpr int kOk = 0;
inline constexpr int kInvalidHandle = 1;
inline constexpr int kDeviceNotFound = 2;
inline constexpr int kDeviceNotOpened = 3;
inline constexpr int kIoError = 4;
inline constexpr int kInsufficientResources = 5;
inline constexpr int kInvalidParameter = 6;
inline constexpr int kInvalidBaudRate = 7;
inline constexpr int kDeviceNotOpenedForErase = 8;
inline constexpr int kDeviceNotOpenedForWrite = 9;
inline constexpr int kFailedToWriteDevice = 10;
inline constexpr int kEepromReadFailed = 11;
inline constexpr int kEepromWriteFailed = 12;
inline constexpr int kEepromEraseFailed = 13;
inline constexpr int kEepromNotPresent = 14;
inline constexpr int kEepromNotProgrammed = 15;
inline constexpr int kInvalidArgs = 16;
inline constexpr int kNotSupported = 17;
inline constexpr int kOtherError = 18;
// This interface's own: the device is there, but this user may not open it
// (no permission on its device node). Only OpenByIndex returns it.
inline constexpr int kAccessDenied = 19;
}  // namespace usb_status

// Device types of the info list. The transport accepts only the FT232R.
namespace usb_device_type {
inline constexpr std::uint32_t kBM = 0;
inline constexpr std::uint32_t kAM = 1;
inline constexpr std::uint32_t k100AX = 2;
inline constexpr std::uint32_t kUnknown = 3;
inline constexpr std::uint32_t k2232C = 4;
inline constexpr std::uint32_t k232R = 5;
inline constexpr std::uint32_t k2232H = 6;
inline constexpr std::uint32_t k4232H = 7;
inline constexpr std::uint32_t k232H = 8;
inline constexpr std::uint32_t kXSeries = 9;
}  // namespace usb_device_type

inline constexpr std::uint32_t kUsbFlagOpened = 0x1;
inline constexpr std::uint32_t kUsbFlagHighSpeed = 0x2;

inline constexpr std::uint32_t kUsbPurgeRx = 0x1;
inline constexpr std::uint32_t kUsbPurgeTx = 0x2;
inline constexpr std::uint32_t kUsbEventRxChar = 0x1;
inline constexpr std::uint8_t kUsbBits8 = 8;
inline constexpr std::uint8_t kUsbBits7 = 7;
inline constexpr std::uint8_t kUsbStopBits1 = 0;
inline constexpr std::uint8_t kUsbStopBits2 = 2;
inline constexpr std::uint8_t kUsbParityNone = 0;  // odd 1, even 2, mark 3, space 4

// An open device. Zero is never a valid handle.
enum class UsbHandle : std::uintptr_t { kNone = 0 };

// One entry of the device-info list.
struct UsbDeviceInfoNode {
  std::uint32_t flags = 0;       // kUsbFlagOpened, kUsbFlagHighSpeed
  std::uint32_t type = 0;        // usb_device_type
  std::uint32_t id = 0;          // vendor id << 16 | product id
  std::uint32_t locationId = 0;  // where the device sits on the bus
  char serialNumber[16] = {};    // NUL-terminated when shorter
  char description[64] = {};     // NUL-terminated when shorter
  UsbHandle handle = UsbHandle::kNone;  // the open handle of this process, if any
};

// Where a listed device sits on the bus, for messages about it.
struct UsbBusAddress {
  int bus = -1;      // -1: not known
  int address = -1;
  std::string node;  // its device node (/dev/bus/usb/BBB/DDD); empty when none
};

// The chip's EEPROM contents as one record (FT232R fields). The caller sets
// the signatures and the version before a read; text fields are
// NUL-terminated and never longer than their buffers allow.
struct UsbProgramData {
  static constexpr std::uint32_t kSignature1 = 0x00000000;
  static constexpr std::uint32_t kSignature2 = 0xFFFFFFFF;
  static constexpr std::uint32_t kVersion = 2;

  std::uint32_t signature1 = kSignature1;
  std::uint32_t signature2 = kSignature2;
  std::uint32_t version = kVersion;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  char manufacturer[32] = {};
  char manufacturerId[16] = {};
  char description[64] = {};
  char serialNumber[16] = {};
  std::uint16_t maxPower = 0;      // mA, 0..500
  std::uint16_t pnp = 0;           // 0 disabled, 1 enabled
  std::uint16_t selfPowered = 0;   // 0 bus powered, 1 self powered
  std::uint16_t remoteWakeup = 0;  // 0 not capable, 1 capable
  // FT232R options.
  std::uint8_t useExtOsc = 0;
  std::uint8_t highDriveIOs = 0;
  std::uint8_t endPointSize = 64;
  std::uint8_t pullDownEnableR = 0;
  std::uint8_t serNumEnableR = 0;
  std::uint8_t invertTXD = 0;
  std::uint8_t invertRXD = 0;
  std::uint8_t invertRTS = 0;
  std::uint8_t invertCTS = 0;
  std::uint8_t invertDTR = 0;
  std::uint8_t invertDSR = 0;
  std::uint8_t invertDCD = 0;
  std::uint8_t invertRI = 0;
  std::uint8_t cbus0 = 0;
  std::uint8_t cbus1 = 0;
  std::uint8_t cbus2 = 0;
  std::uint8_t cbus3 = 0;
  std::uint8_t cbus4 = 0;
  // Driver selection: nonzero loads the direct driver, 0 the virtual COM port.
  std::uint8_t rIsD2XX = 0;

  bool operator==(const UsbProgramData&) const = default;
};

class UsbDriver {
 public:
  virtual ~UsbDriver() = default;

  // Enumerates the attached devices and keeps the result for the calls below.
  virtual int CreateDeviceInfoList(std::uint32_t& count) = 0;
  // Fills at most `count` nodes from the last enumeration; count := filled.
  virtual int GetDeviceInfoList(UsbDeviceInfoNode* nodes, std::uint32_t& count) = 0;
  // kAccessDenied when the device may not be opened by this user.
  virtual int OpenByIndex(std::uint32_t index, UsbHandle& handle) = 0;
  // Bus, address and device node of entry `index` of the last enumeration.
  virtual UsbBusAddress BusAddress(std::uint32_t index) = 0;
  virtual int Close(UsbHandle handle) = 0;

  // Waits for up to `toRead` bytes within the read time-out; `returned` is
  // what did arrive, also when the status is not kOk.
  virtual int Read(UsbHandle handle, void* buffer, std::uint32_t toRead, std::uint32_t& returned) = 0;
  virtual int Write(UsbHandle handle, const void* buffer, std::uint32_t toWrite, std::uint32_t& written) = 0;
  virtual int GetStatus(UsbHandle handle, std::uint32_t& rxQueued, std::uint32_t& txQueued,
                        std::uint32_t& eventStatus) = 0;

  virtual int SetUsbParameters(UsbHandle handle, std::uint32_t inTransferSize, std::uint32_t outTransferSize) = 0;
  virtual int SetLatencyTimer(UsbHandle handle, std::uint8_t milliseconds) = 0;
  virtual int SetTimeouts(UsbHandle handle, std::uint32_t readMs, std::uint32_t writeMs) = 0;
  virtual int SetDataCharacteristics(UsbHandle handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) = 0;
  virtual int SetBaudRate(UsbHandle handle, std::uint32_t baud) = 0;
  virtual int Purge(UsbHandle handle, std::uint32_t mask) = 0;
  // The driver sets `event` when characters arrive (mask kUsbEventRxChar).
  // The event must outlive the handle or the next notification call.
  virtual int SetEventNotification(UsbHandle handle, std::uint32_t mask, ManualResetEvent* event) = 0;
  virtual int GetDriverVersion(UsbHandle handle, std::uint32_t& version) = 0;

  virtual int EepromRead(UsbHandle handle, UsbProgramData& data) = 0;
  virtual int EepromProgram(UsbHandle handle, const UsbProgramData& data) = 0;
  // Makes the device leave and re-attach to the bus, so that it enumerates
  // with what its EEPROM now holds. The handle is of no further use but must
  // still be closed.
  virtual int CyclePort(UsbHandle handle) = 0;

  // How long the reader may wait for the notification event before it must
  // ask the device itself, in ms; -1 when the driver sets the event for every
  // arrival. A driver without notifications returns a small period.
  virtual int NotificationPollMs(UsbHandle handle) = 0;
};

}  // namespace brimlink::link
