// What a CommandChannel needs from the control that owns it: the pumping
// wait, the input event path, message boxes, the owner the transports notify,
// and the transports themselves (real ones in the control, simulated ones in
// tests). Every member is called on the GUI thread.
#pragma once

#include <cstdint>
#include <memory>

#include "control/link/CommunicationPort.h"
#include "control/link/ModuleRecord.h"

namespace brimlink::link {

class TransportFactory {
 public:
  virtual ~TransportFactory() = default;
  // The serial port test: is COM n enabled by the search table and a real
  // serial line? Traces "Testing COM" for the numbers it tries.
  virtual bool TestSerialPort(std::uint32_t comNumber) = 0;
  virtual std::unique_ptr<CCommunicationPort> CreateSerialPort() = 0;
  virtual std::unique_ptr<CCommunicationPort> CreateUsbPort() = 0;
  // Location id of entry i of the USB device list.
  virtual std::uint32_t UsbLocationId(int deviceIndex) = 0;
};

class ChannelHost : public InputWordEvents {
 public:
  // Waits the given time while the GUI thread's events are processed, so
  // that replies arrive during the wait.
  virtual void WaitPumping(int milliseconds) = 0;
  virtual PortOwner& Owner() = 0;
  virtual TransportFactory& Transports() = 0;
  // A device that is there but that this user may not open; the channel has
  // traced it. The control gathers these and tells the user once per
  // connection attempt; a host that tells nobody ignores them.
  virtual void DeviceDenied(const DeniedDevice& /*device*/) {}
};

}  // namespace brimlink::link
