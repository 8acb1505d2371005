// Synchronisation objects shared by a transport's worker thread and the GUI
// thread.
//
// ManualResetEvent: a flag that stays set until reset, backed by an eventfd so
// that a worker can wait for it in poll() together with its device. Set, Reset,
// IsSet and Wait may be called from any thread.
//
// SendSemaphore: the transmit buffer's hand-over between the GUI thread
// (Write takes it) and the worker (releases it after writing). Its count never
// exceeds 1: a release while it is already free is ignored.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace brimlink::link {

class ManualResetEvent {
 public:
  ManualResetEvent();
  ~ManualResetEvent();
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  bool Valid() const { return fd_ >= 0; }
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until set or until the time-out passes (negative: no time-out).
  bool Wait(std::chrono::milliseconds timeout) const;
  // Readable (POLLIN) while the event is set.
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};

class SendSemaphore {
 public:
  bool TryAcquireFor(std::chrono::milliseconds timeout);
  void Release();
  bool Available() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool free_ = true;
};

}  // namespace brimlink::link
