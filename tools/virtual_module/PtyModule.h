// PtyModule: a virtual module behind a pseudo-terminal. The slave side
// (/dev/pts/N) is what a serial port of the control opens; the module reads
// and answers on the master side in a thread of its own, on the steady clock,
// and answers only while the line speed the control set matches its
// configuration (ModuleConfig::onlyBaud).
//
// Threads: construct, Start, WithModule, CloseMaster and destroy from any one
// thread; the module runs on the PtyModule's thread and is shared through
// WithModule, which holds the module lock. onOutputWritten runs on the
// PtyModule's thread.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::sim {

class PtyModule {
 public:
  explicit PtyModule(ModuleConfig config);
  ~PtyModule();  // stops the thread, closes both sides
  PtyModule(const PtyModule&) = delete;
  PtyModule& operator=(const PtyModule&) = delete;

  // Opens the pseudo-terminal pair and starts the thread. False with a
  // message in Error() when the system has no pseudo-terminal to give.
  bool Start();
  const std::string& Error() const { return error_; }
  // "/dev/pts/N"; empty before Start.
  const std::string& SlavePath() const { return slavePath_; }

  // Runs fn on the module under its lock and wakes the thread for any output.
  void WithModule(const std::function<void(VirtualModule&)>& fn);

  // Unplugs the adapter: the master side closes, and the control's next read
  // of the slave fails. The module stops.
  void CloseMaster();

  // Called with (word, value) after every accepted output write.
  void SetOutputObserver(std::function<void(int word, std::uint16_t value)> observer);

  // The baud rate the control set on the line (0 before it did).
  int LineBaud() const { return lineBaud_.load(); }

 private:
  void Run();
  // The line speed the control set on the slave, in baud (0: none known).
  int CurrentBaud() const;

  std::mutex lock_;
  VirtualModule module_;
  std::string error_;
  std::string slavePath_;
  int master_ = -1;
  int slaveKeepAlive_ = -1;  // keeps the line up while the control has it closed
  int wake_ = -1;            // eventfd: stop, or output queued
  std::atomic<bool> stop_{false};
  std::atomic<int> lineBaud_{0};
  std::thread thread_;
};

}  // namespace brimlink::sim
