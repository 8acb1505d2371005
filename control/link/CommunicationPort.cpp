#include "control/link/CommunicationPort.h"

#include <poll.h>

#include <algorithm>
#include <cstring>
#include <system_error>

namespace brimlink::link {

CCommunicationPort::~CCommunicationPort() {
  // A derived Close has normally joined the worker already.
  stopEvent_.Set();
  JoinWorker();
}

ReceivedBatch CCommunicationPort::DrainReceived(char* dest) {
  std::lock_guard guard(lock_);
  ReceivedBatch batch;
  batch.count = receivedCount_;
  batch.backlog = backlog_;
  batch.discontinuity = discontinuity_;
  std::memcpy(dest, receiveBuffer_, receivedCount_);
  receivedCount_ = 0;
  discontinuity_ = ReceivedBatch::npos;
  drainedEvent_.Set();
  return batch;
}

void CCommunicationPort::NotifyAndWaitForDrain(PortType type, std::uint32_t portKey) {
  if (owner_ == nullptr) return;
  drainedEvent_.Reset();
  owner_->PostDataReceived(type, portKey);
  pollfd fds[2] = {{drainedEvent_.Descriptor(), POLLIN, 0}, {stopEvent_.Descriptor(), POLLIN, 0}};
  while (!drainedEvent_.IsSet() && !stopEvent_.IsSet()) poll(fds, 2, -1);
}

std::size_t CCommunicationPort::ReceivedCount() const {
  std::lock_guard guard(lock_);
  return receivedCount_;
}

bool CCommunicationPort::Backlog() const {
  std::lock_guard guard(lock_);
  return backlog_;
}

std::size_t CCommunicationPort::AppendReceived(const char* data, std::size_t n) {
  std::lock_guard guard(lock_);
  const std::size_t take = std::min(n, kBufferSize - receivedCount_);
  std::memcpy(receiveBuffer_ + receivedCount_, data, take);
  receivedCount_ += take;
  return take;
}

bool CCommunicationPort::HasPending() const {
  std::lock_guard guard(lock_);
  return receivedCount_ > 0 || discontinuity_ != ReceivedBatch::npos;
}

void CCommunicationPort::MarkDiscontinuity() {
  std::lock_guard guard(lock_);
  if (discontinuity_ == ReceivedBatch::npos) {
    discontinuity_ = receivedCount_;
  } else {
    // A second cut before the GUI thread took the first. A batch carries one
    // cut, and what came between the two may be a line without its end, so
    // it goes as well; the channel reads the inputs again after any cut.
    receivedCount_ = discontinuity_;
  }
}

void CCommunicationPort::SetBacklog(bool value) {
  std::lock_guard guard(lock_);
  backlog_ = value;
}

bool CCommunicationPort::StartWorker() {
  JoinWorker();
  {
    std::lock_guard guard(lock_);
    receivedCount_ = 0;
    discontinuity_ = ReceivedBatch::npos;
  }
  stopEvent_.Reset();
  try {
    running_ = 1;
    worker_ = std::thread([this] {
      WorkerBody();
      running_ = 0;
    });
  } catch (const std::system_error&) {
    running_ = 0;
    return false;
  }
  return true;
}

void CCommunicationPort::JoinWorker() {
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

}  // namespace brimlink::link
