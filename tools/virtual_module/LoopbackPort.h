// LoopbackPort: a transport joined to a VirtualModule with no thread and no
// clock of its own, for tests that run the channel in simulated time. What
// the channel writes reaches the module at once; Deliver(now) moves the bytes
// the module has due into the receive buffer and notifies the owner, as a
// worker would. Single-threaded.
#pragma once

#include <cstdint>
#include <functional>

#include "control/link/CommunicationPort.h"
#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::sim {

// What an open of port n (COM number or USB device index) reaches.
struct LoopbackTarget {
  VirtualModule* module = nullptr;  // nullptr: nothing there, the open fails
  std::uint32_t portKey = 0;        // COM number, or the USB location id
  int openResult = 0;               // serial: 0, or the error code the open returns
};
using LoopbackResolver = std::function<LoopbackTarget(std::uint32_t port)>;

class LoopbackPort final : public link::CCommunicationPort {
 public:
  LoopbackPort(link::PortType type, LoopbackResolver resolve, std::function<Millis()> clock);
  ~LoopbackPort() override;

  int Open(link::PortOwner& owner, std::uint32_t port, int parameter) override;
  int Close() override;
  void Write(std::string_view text) override;
  link::PortType Type() const override { return type_; }

  // Moves what the module has due into the receive buffer, one chunk per
  // notification. Returns true when anything arrived.
  bool Deliver(Millis now);
  // Bytes that arrive on the line past the module (noise, a second sender):
  // appended as one read and notified. What does not fit is purged.
  void InjectReceived(std::string_view bytes);
  bool IsOpen() const { return open_; }
  int LineBaud() const { return baud_; }
  VirtualModule* Module() const { return module_; }

 protected:
  void WorkerBody() override {}

 private:
  link::PortType type_;
  LoopbackResolver resolve_;
  std::function<Millis()> clock_;
  VirtualModule* module_ = nullptr;
  std::uint32_t portKey_ = 0;
  bool open_ = false;
  int baud_ = 0;
};

// Baud rate of a USB open attempt for a module on the factory identity:
// 115200 first, then 19200.
int UsbAttemptBaud(int attempt);

}  // namespace brimlink::sim
