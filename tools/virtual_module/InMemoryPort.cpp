#include "tools/virtual_module/InMemoryPort.h"

#include <poll.h>

#include <cstring>

#include "tools/virtual_module/LoopbackPort.h"

namespace brimlink::sim {

InMemoryPort::InMemoryPort(link::PortType type, InMemoryResolver resolve, std::function<void(int)> waitPumping)
    : type_(type), resolve_(std::move(resolve)), waitPumping_(std::move(waitPumping)) {}

InMemoryPort::~InMemoryPort() {
  closing_ = 1;
  Close();
}

Millis InMemoryPort::Now() {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

int InMemoryPort::Open(link::PortOwner& owner, std::uint32_t port, int parameter) {
  const bool usb = type_ == link::PortType::Usb;
  const InMemoryTarget target = resolve_(port);
  if (target.module == nullptr || target.moduleLock == nullptr) return usb ? 0 : 2;
  if (!usb && target.openResult != 0) return target.openResult;
  owner_ = &owner;
  module_ = target.module;
  moduleLock_ = target.moduleLock;
  portKey_ = target.portKey;
  {
    std::lock_guard guard(*moduleLock_);
    module_->SetLineBaud(usb ? UsbAttemptBaud(parameter) : parameter);
  }
  readEvent_.Reset();
  writeEvent_.Reset();
  open_ = true;
  if (!StartWorker()) {
    open_ = false;
    return usb ? 0 : 12;
  }
  return usb ? 1 : 0;
}

int InMemoryPort::Close() {
  stopEvent_.Set();
  for (int i = 0; i < 40 && WorkerRunning(); ++i) {
    if (waitPumping_) waitPumping_(10);
    else std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  JoinWorker();
  open_ = false;
  sendSemaphore_.Release();
  return 1;
}

void InMemoryPort::Write(std::string_view text) {
  if (!open_) return;
  const auto timeout = std::chrono::milliseconds(type_ == link::PortType::Usb ? 100 : 1000);
  if (!sendSemaphore_.TryAcquireFor(timeout)) return;
  std::memset(transmitBuffer_, 0, sizeof transmitBuffer_);
  std::memcpy(transmitBuffer_, text.data(), std::min(text.size(), sizeof transmitBuffer_ - 1));
  writeEvent_.Set();
}

void InMemoryPort::WithModule(const std::function<void(VirtualModule&)>& fn) {
  if (module_ == nullptr) return;
  {
    std::lock_guard guard(*moduleLock_);
    fn(*module_);
  }
  readEvent_.Set();
}

void InMemoryPort::DeliverDue() {
  char chunk[kBufferSize];
  for (;;) {
    std::size_t n;
    {
      std::lock_guard guard(*moduleLock_);
      n = module_->TakeOutput(Now(), chunk, sizeof chunk);
    }
    if (n == 0) return;
    {
      std::lock_guard guard(lock_);
      if (receivedCount_ + n > kBufferSize) {
        // As a serial port does: what does not fit is purged, and the owner
        // is told all the same.
        MarkDiscontinuity();
      } else {
        AppendReceived(chunk, n);
      }
      backlog_ = receivedCount_ > 511;
    }
    if (type_ == link::PortType::Usb) {
      NotifyAndWaitForDrain(type_, portKey_);
    } else {
      owner_->PostDataReceived(type_, portKey_);
    }
  }
}

void InMemoryPort::WorkerBody() {
  pollfd fds[3] = {{stopEvent_.Descriptor(), POLLIN, 0},
                   {writeEvent_.Descriptor(), POLLIN, 0},
                   {readEvent_.Descriptor(), POLLIN, 0}};
  while (!stopEvent_.IsSet()) {
    int timeout = -1;
    {
      std::lock_guard guard(*moduleLock_);
      if (const auto due = module_->NextDue()) {
        const auto left = (*due - Now()).count();
        timeout = left > 0 ? static_cast<int>(left) : 0;
      }
    }
    poll(fds, 3, timeout);
    if (stopEvent_.IsSet()) break;
    if (writeEvent_.IsSet()) {
      writeEvent_.Reset();
      const std::size_t length = strnlen(transmitBuffer_, sizeof transmitBuffer_);
      {
        std::lock_guard guard(*moduleLock_);
        module_->Receive(std::string_view(transmitBuffer_, length), Now());
      }
      sendSemaphore_.Release();
    }
    readEvent_.Reset();
    DeliverDue();
  }
}

}  // namespace brimlink::sim
