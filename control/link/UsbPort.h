// The USB transport: a CCommunicationPort on an FT232R module reached through
// a UsbDriver, and the process-wide device list the ports open by index.
//
// Threads:
// - The device list is rebuilt and freed on the GUI thread only, while no USB
//   port is open. Ports write their handle into their node on the GUI thread;
//   workers never touch the list.
// - Open, Close, Write, RewriteIdentity and destruction run on the GUI thread.
//   The worker waits for the driver's notification, reads under the port's
//   lock and hands each batch over with NotifyAndWaitForDrain, so it never runs
//   more than one batch ahead of the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "control/link/CommunicationPort.h"
#include "control/link/UsbDriver.h"

namespace brimlink::link {

class UsbDeviceList {
 public:
  // The list of hosts that keep no list of their own.
  static UsbDeviceList& Instance();

  // Frees the previous list, enumerates and reads the new one. Returns the
  // number of devices; 0 after a driver error.
  int Rebuild(UsbDriver& driver);
  void Free() { nodes_.clear(); }
  int Count() const { return static_cast<int>(nodes_.size()); }
  // nullptr outside 0..Count()-1.
  UsbDeviceInfoNode* Node(int index);

 private:
  std::vector<UsbDeviceInfoNode> nodes_;
};

// The device count of Connect: rebuilds the process-wide list.
int UsbDeviceCount(UsbDriver& driver);
// What Disconnect does with the list.
void FreeUsbDeviceList();

class CUSBPort final : public CCommunicationPort {
 public:
  static constexpr std::uint16_t kVendorId = 0x0403;
  static constexpr std::uint16_t kFactoryProductId = 0x6001;
  static constexpr std::uint16_t kModuleProductId = 0x5C40;
  static constexpr std::uint16_t kMiniProductId = 0x5C43;
  // More queued than this and the reader is too far behind: the oldest 100
  // bytes are dropped and the rest of the chip's queue is purged.
  static constexpr std::uint32_t kDiscardThreshold = 768;
  static constexpr std::uint32_t kDiscardBytes = 100;
  static constexpr std::size_t kBacklogThreshold = 512;

  // waitPumping: the pumping wait Close uses while the worker ends. list:
  // the device list the port opens by index (each control keeps its own).
  CUSBPort(UsbDriver& driver, std::function<void(int)> waitPumping,
           UsbDeviceList& list = UsbDeviceList::Instance());
  ~CUSBPort() override;

  // port: index into the device list; parameter: the open attempt (0, 1).
  // Returns 1 when the device is open and the worker runs, else 0. When the
  // driver refused this user the device, Denied() says where it is.
  int Open(PortOwner& owner, std::uint32_t port, int parameter) override;
  int Close() override;
  // Dropped when no device is open or the previous write still holds the
  // transmit buffer after 100 ms.
  void Write(std::string_view text) override;
  PortType Type() const override { return PortType::Usb; }

  // The baud rate of an open attempt for a product id.
  static std::uint32_t BaudRateFor(std::uint16_t productId, int attempt);

  // True while an opened device still carries the chip's factory identity
  // and its handle is in the device list.
  bool IsUpdateCapable() const;
  // Writes the family's identity into the chip's EEPROM (flag: the Mini
  // variant) and makes the device re-attach. 0 on success, -1 when not
  // applicable (nothing open, not on the factory identity), else the status
  // of the driver call that failed.
  int RewriteIdentity(bool flag);

  // Valid while a device is open.
  std::uint32_t LocationId() const { return locationId_; }
  int DeviceIndex() const;

 protected:
  void WorkerBody() override;

 private:
  friend class UsbPortTestAccess;

  enum class PassResult { Done, Failed, DeviceGone };
  // Reads until the chip's queue is empty, handing each batch to the GUI
  // thread before the next read.
  PassResult Reading();
  // After Close or a failed open.
  void ForgetDevice();

  UsbDriver& driver_;
  UsbDeviceList& list_;
  std::function<void(int)> waitPumping_;
  // Guarded by lock_; written on the GUI thread only.
  int deviceIndex_ = -1;
  UsbHandle handle_ = UsbHandle::kNone;
  bool updateCapable_ = false;
  std::uint32_t locationId_ = 0;
};

}  // namespace brimlink::link
