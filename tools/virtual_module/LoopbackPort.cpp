#include "tools/virtual_module/LoopbackPort.h"

namespace brimlink::sim {

int UsbAttemptBaud(int attempt) { return attempt == 0 ? 115200 : 19200; }

LoopbackPort::LoopbackPort(link::PortType type, LoopbackResolver resolve, std::function<Millis()> clock)
    : type_(type), resolve_(std::move(resolve)), clock_(std::move(clock)) {}

LoopbackPort::~LoopbackPort() {
  closing_ = 1;
  Close();
}

int LoopbackPort::Open(link::PortOwner& owner, std::uint32_t port, int parameter) {
  const bool usb = type_ == link::PortType::Usb;
  denied_.reset();
  const LoopbackTarget target = resolve_(port);
  if (target.module == nullptr) return usb ? 0 : 2;
  if (!usb && target.openResult != 0) {
    // A refused permission comes with its device, as from a real port (this
    // one has no node to describe).
    if (link::IsAccessError(target.openResult))
      denied_ = link::DescribeDeniedDevice(type_, port, {}, target.openResult);
    return target.openResult;
  }
  owner_ = &owner;
  module_ = target.module;
  portKey_ = target.portKey;
  baud_ = usb ? UsbAttemptBaud(parameter) : parameter;
  module_->SetLineBaud(baud_);
  open_ = true;
  {
    std::lock_guard guard(lock_);
    receivedCount_ = 0;
  }
  return usb ? 1 : 0;
}

int LoopbackPort::Close() {
  open_ = false;
  return 1;
}

void LoopbackPort::Write(std::string_view text) {
  if (!open_) return;
  module_->Receive(text, clock_());
}

bool LoopbackPort::Deliver(Millis now) {
  if (!open_ || owner_ == nullptr) return false;
  bool any = false;
  char chunk[kBufferSize];
  for (;;) {
    const std::size_t room = kBufferSize - ReceivedCount();
    if (room == 0) break;
    const std::size_t n = module_->TakeOutput(now, chunk, room);
    if (n == 0) break;
    AppendReceived(chunk, n);
    SetBacklog(ReceivedCount() > 511);
    any = true;
    owner_->PostDataReceived(type_, portKey_);
  }
  return any;
}

void LoopbackPort::InjectReceived(std::string_view bytes) {
  if (!open_ || owner_ == nullptr) return;
  {
    std::lock_guard guard(lock_);
    if (receivedCount_ + bytes.size() > kBufferSize) {
      MarkDiscontinuity();
    } else {
      AppendReceived(bytes.data(), bytes.size());
    }
    backlog_ = receivedCount_ > 511;
  }
  owner_->PostDataReceived(type_, portKey_);
}

}  // namespace brimlink::sim
