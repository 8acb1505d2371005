// The running brimlink-sim: its modules, their COM links, the stations behind
// them and the console. The event loop around it is either a plain poll loop
// (main.cpp) or, with --show, Qt's (ShowLoop.cpp); both only wait on the
// descriptors below and call the handlers, so the logic exists once.
//
// Threads: everything here runs on the main thread except the module
// threads, which call the output observer: it prints (Printer locks) and
// writes WakeFd. The stations are touched only on the main thread, under the
// module's lock when they meet the module.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tools/brimlink-sim/Options.h"
#include "tools/brimlink-sim/Registration.h"
#include "tools/brimlink-sim/StationDriver.h"
#include "tools/virtual_module/PtyModule.h"

namespace brimlink::simtool {

// Console output is written by the main thread and by every module's thread
// (output words); whole lines, flushed at once, so a pipe sees them in time.
class Printer {
 public:
  explicit Printer(bool quiet) : quiet_(quiet) {}

  void Out(std::string_view text) { Write(stdout, text); }
  void Err(std::string_view text) { Write(stderr, text); }
  // Confirmations and notes, which --quiet leaves out.
  void Note(std::string_view text) {
    if (!quiet_) Out(text);
  }

 private:
  void Write(std::FILE* stream, std::string_view text);

  std::mutex lock_;
  const bool quiet_;
};

struct RunningModule {
  int com = 0;
  int duplicateOf = 0;  // the COM number this one copies (--duplicate), else 0
  sim::ModuleConfig config;
  std::string label;  // "COM7 module 1"
  std::unique_ptr<sim::PtyModule> pty;
  // Declared after pty: the link goes before the line it points to.
  PortLink link;
  bool unplugged = false;
  std::uint64_t earlierCommands = 0;
  // The station behind the module, or null.
  std::unique_ptr<StationDriver> station;
  std::uint16_t printedInputs = 0;  // input word 0 as last printed
  // Called after every sync of the station (a window redraws if it changed).
  std::function<void()> onStationChanged;
};

class SimProgram {
 public:
  explicit SimProgram(const Options& options);
  ~SimProgram();  // removes what Finish did not, joins the module threads
  SimProgram(const SimProgram&) = delete;
  SimProgram& operator=(const SimProgram&) = delete;

  // Starts and registers the modules. 0, or the exit code to end with.
  int Start();

  // The descriptors the loop waits on (readable = call the handler).
  int SignalFd() const { return signalFd_; }
  int WakeFd() const { return wakeFd_; }

  // Each returns false when the program is to end (Finish then).
  bool OnSignal();
  bool OnConsole();  // standard input is readable
  void OnWake();     // a module thread saw an output write
  void OnTick();     // time passed while a station moves
  void Housekeeping();

  // True while a station moves: the loop then calls OnTick at frame rate.
  bool Moving() const;

  std::vector<std::unique_ptr<RunningModule>>& Modules() { return modules_; }
  Printer& Out() { return printer_; }

  // Removes the links, says why the program ends; returns the exit code.
  int Finish(std::string reason, int exitCode = 0);

  static constexpr std::chrono::milliseconds kHousekeeping{5000};
  // The tick while a station moves, when no display says its frame rate.
  static constexpr std::chrono::milliseconds kTick{16};

 private:
  bool HandleLine(std::string_view line);
  void SyncStations(bool onlyMoving);
  void Select(int com);
  void Show(RunningModule& module);
  void Unplug(RunningModule& module);

  const Options options_;
  Printer printer_;
  int signalFd_ = -1;
  int wakeFd_ = -1;
  std::vector<std::unique_ptr<RunningModule>> modules_;
  std::size_t selected_ = 0;
  std::string pending_;  // console input up to its newline
  bool finished_ = false;
};

}  // namespace brimlink::simtool
