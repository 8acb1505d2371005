// QtLinkHarness with real USB transports: its channels open CUSBPorts on a
// SimulatedUsbBus through the process-wide device list, as the control does.
//
// The bus lives in a base class constructed before QtLinkHarness, so it is
// destroyed after the harness has closed every channel (and joined every
// USB worker); the device list is freed last.
#pragma once

#include <memory>

#include "QtLinkHarness.h"
#include "control/link/UsbPort.h"
#include "tools/virtual_module/SimulatedUsbBus.h"

namespace brimlink::qttest {

struct SimulatedBusHolder {
  sim::SimulatedUsbBus bus;
  ~SimulatedBusHolder() { link::FreeUsbDeviceList(); }
};

class UsbBusHarness : public SimulatedBusHolder, public QtLinkHarness {
 public:
  // What Connect does first: rebuilds the device list.
  int Connect() { return link::UsbDeviceCount(bus); }

  link::CUSBPort* UsbPort(int channel) { return dynamic_cast<link::CUSBPort*>(Channel(channel).Transport()); }

  std::unique_ptr<link::CCommunicationPort> CreateUsbPort() override {
    return std::make_unique<link::CUSBPort>(bus, [this](int ms) { WaitPumping(ms); });
  }
  std::uint32_t UsbLocationId(int index) override {
    const link::UsbDeviceInfoNode* node = link::UsbDeviceList::Instance().Node(index);
    return node != nullptr ? node->locationId : 0;
  }
};

}  // namespace brimlink::qttest
