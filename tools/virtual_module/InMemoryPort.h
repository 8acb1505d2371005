// InMemoryPort: a transport joined to a VirtualModule through a worker thread
// on the steady clock, behaving as the serial port (posted notifications) or
// the USB port (synchronous notifications) would. Tests use it to run the
// channel on a real event loop with a real worker.
//
// Threads: Open, Close, Write and destruction on the GUI thread; the worker
// feeds the module and moves its output. The module is shared with the test's
// thread through WithModule, which holds the module lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

#include "control/link/CommunicationPort.h"
#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::sim {

// What an open of port n (COM number or USB device index) reaches.
struct InMemoryTarget {
  VirtualModule* module = nullptr;  // nullptr: nothing there, the open fails
  std::mutex* moduleLock = nullptr;
  std::uint32_t portKey = 0;  // COM number or USB location id
  int openResult = 0;         // serial: 0, or the error code the open returns
};
using InMemoryResolver = std::function<InMemoryTarget(std::uint32_t port)>;

class InMemoryPort final : public link::CCommunicationPort {
 public:
  // waitPumping: the pumping wait Close uses while the worker ends.
  InMemoryPort(link::PortType type, InMemoryResolver resolve, std::function<void(int)> waitPumping);
  ~InMemoryPort() override;

  int Open(link::PortOwner& owner, std::uint32_t port, int parameter) override;
  int Close() override;
  void Write(std::string_view text) override;
  link::PortType Type() const override { return type_; }

  // Runs fn on the module under its lock and wakes the worker for any output.
  void WithModule(const std::function<void(VirtualModule&)>& fn);

 protected:
  void WorkerBody() override;

 private:
  static Millis Now();
  void DeliverDue();

  link::PortType type_;
  InMemoryResolver resolve_;
  std::function<void(int)> waitPumping_;
  VirtualModule* module_ = nullptr;
  std::mutex* moduleLock_ = nullptr;
  std::uint32_t portKey_ = 0;
  std::atomic<bool> open_{false};
};

}  // namespace brimlink::sim
