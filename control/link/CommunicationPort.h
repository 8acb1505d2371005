// CCommunicationPort: the transport base shared by the serial and USB ports.
//
// Ownership: a CommandChannel owns its transport; the transport owns its
// worker thread, its device handle and its two 1024-byte buffers.
//
// Threads:
// - The GUI thread calls Open, Close, Write and DrainReceived, and destroys the
//   port. Close waits for the worker with a pumping wait, so a worker blocked in
//   a synchronous notification is released.
// - The worker thread moves bytes only: it appends to the receive buffer under
//   the lock (AppendReceived) and notifies the owner through PortOwner. It never
//   parses and never traces.
// - The lock guards the device handle and the receive buffer; it is recursive,
//   so a failure path that already holds it may close the device.
// - The send semaphore hands the transmit buffer from Write to the worker.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "control/link/DeviceAccess.h"
#include "control/link/Event.h"
#include "control/link/LinkTypes.h"

namespace brimlink::link {

// Where a transport reports received data and failures. Implemented by the
// control's receiver; every member may be called from any thread.
class PortOwner {
 public:
  virtual ~PortOwner() = default;
  // Queues the data notification for the GUI thread and returns at once.
  virtual void PostDataReceived(PortType type, std::uint32_t portKey) = 0;
  // A port failure: the GUI thread shows the message (title and text) and
  // closes the port with this type and key.
  virtual void ReportPortFailure(PortType type, std::uint32_t portKey, std::string title, std::string text) = 0;
};

// What DrainReceived hands the channel: the bytes, and where in them the
// stream was cut by a purge (the tail of the line that was cut must not be
// parsed as a line of its own).
struct ReceivedBatch {
  std::size_t count = 0;
  bool backlog = false;
  // Offset into the batch of the first byte after a purge; npos when none.
  std::size_t discontinuity = npos;
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
};

class CCommunicationPort {
 public:
  static constexpr std::size_t kBufferSize = 1024;
  // The longest command text Write accepts: the CR and the terminating NUL
  // must still fit in the transmit buffer.
  static constexpr std::size_t kMaxCommandLength = kBufferSize - 2;
  static constexpr int kBusy = 5;
  static constexpr int kConfigurationFailed = -1;

  CCommunicationPort() = default;
  // Derived destructors set closing and call Close() themselves: a base
  // destructor cannot reach the derived Close.
  virtual ~CCommunicationPort();
  CCommunicationPort(const CCommunicationPort&) = delete;
  CCommunicationPort& operator=(const CCommunicationPort&) = delete;

  // Serial: 0 on success, 5 when the port is busy (the caller retries),
  // kConfigurationFailed when the port opened but could not be set up (the
  // failure is reported; trying another baud rate is pointless), else the
  // error code of the failed open. USB: nonzero on success. `parameter` is
  // the baud rate (serial) or the open attempt (USB).
  virtual int Open(PortOwner& owner, std::uint32_t port, int parameter) = 0;
  virtual int Close() = 0;
  // One command, already ending in CR. Dropped when the port is closed or the
  // previous command is still being written after the port's send time-out.
  virtual void Write(std::string_view text) = 0;

  virtual PortType Type() const = 0;

  // After a failed Open: the device, when it is there but this user may not
  // open it. Cleared by the next Open.
  const std::optional<DeniedDevice>& Denied() const { return denied_; }

  // GUI thread: copies the received bytes into dest (kBufferSize bytes) and
  // sets the received count to 0 in one locked step, so that bytes the worker
  // appends meanwhile stay for the next notification.
  ReceivedBatch DrainReceived(char* dest);
  std::size_t ReceivedCount() const;
  // Bytes waiting, or a cut the GUI thread has not taken yet.
  bool HasPending() const;
  bool Backlog() const;
  bool WorkerRunning() const { return running_.load() != 0; }

 protected:
  // Worker side: posts the data notification and waits until the GUI thread
  // has taken the bytes out of the receive buffer, or until the port stops.
  // Readers that must not run ahead of the GUI thread (USB) use this.
  void NotifyAndWaitForDrain(PortType type, std::uint32_t portKey);
  // Worker side. Appends up to the free space; returns the bytes taken.
  std::size_t AppendReceived(const char* data, std::size_t n);
  // The next received byte follows a purge of the device's input queue. The
  // worker notifies the owner after a purge even when nothing else arrived.
  void MarkDiscontinuity();
  void SetBacklog(bool value);

  // Starts the worker (received count := 0 first). False when no thread could
  // be created.
  bool StartWorker();
  // Joins the worker after it was asked to stop (it must leave WorkerBody).
  void JoinWorker();
  virtual void WorkerBody() = 0;

  PortOwner* owner_ = nullptr;
  std::optional<DeniedDevice> denied_;  // GUI thread only
  mutable std::recursive_mutex lock_;
  SendSemaphore sendSemaphore_;
  ManualResetEvent readEvent_, writeEvent_, stopEvent_;
  ManualResetEvent drainedEvent_;  // set by DrainReceived
  std::atomic<int> running_{0};
  std::atomic<int> closing_{0};
  char transmitBuffer_[kBufferSize] = {};

  // Guarded by lock_.
  char receiveBuffer_[kBufferSize] = {};
  std::size_t receivedCount_ = 0;
  bool backlog_ = false;
  std::size_t discontinuity_ = ReceivedBatch::npos;

 private:
  std::thread worker_;
};

}  // namespace brimlink::link
