#include "control/link/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace brimlink::link {

ManualResetEvent::ManualResetEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ManualResetEvent::~ManualResetEvent() {
  if (fd_ >= 0) close(fd_);
}

void ManualResetEvent::Set() {
  if (fd_ < 0 || IsSet()) return;
  const std::uint64_t one = 1;
  // A counter of 1 or more reads as set; a racing second Set only adds to it.
  while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void ManualResetEvent::Reset() {
  if (fd_ < 0) return;
  std::uint64_t value;
  while (read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

bool ManualResetEvent::IsSet() const { return Wait(std::chrono::milliseconds(0)); }

bool ManualResetEvent::Wait(std::chrono::milliseconds timeout) const {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int ms = -1;
    if (timeout.count() >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    const int r = poll(&p, 1, ms);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool SendSemaphore::TryAcquireFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!released_.wait_for(lock, timeout, [this] { return free_; })) return false;
  free_ = false;
  return true;
}

void SendSemaphore::Release() {
  {
    std::lock_guard lock(mutex_);
    free_ = true;
  }
  released_.notify_one();
}

bool SendSemaphore::Available() const {
  std::lock_guard lock(mutex_);
  return free_;
}

}  // namespace brimlink::link
