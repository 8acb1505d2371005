// The real-time counterpart of support/SimulatedLink.h: a control's worth of
// link on the Qt event loop of the test's thread, with real worker threads.
//
// The harness owns the module table, eight channels and a ControlReceiver,
// and stands in for the control: it is the receiver's message handler
// (OnDataReceived finds the channel and lets it drain its transport), the
// channels' host (the pumping wait, the input event, message boxes) and their
// transport factory (InMemoryPorts joined to VirtualModules it holds, each
// module behind its own mutex, shared with the port's worker).
//
// Threads: everything here runs on the test's (GUI) thread except the
// InMemoryPort workers, which only touch a module under its mutex and the
// port's own buffers, and helper threads a test starts itself, which may only
// call InMemoryPort::WithModule or take a module's mutex.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/link/ChannelHost.h"
#include "control/link/CommandChannel.h"
#include "control/link/ControlReceiver.h"
#include "control/link/Trace.h"
#include "control/link/WaitPumping.h"
#include "tools/virtual_module/InMemoryPort.h"
#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::qttest {

using link::ChannelState;
using link::CommandChannel;
using link::PortType;
using sim::Millis;
using sim::Model;
using sim::ModuleConfig;
using sim::VirtualModule;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The process's one application object. GoogleTest's main does not make one,
// so the first test that needs it does; the environment in
// test_event_loop.cpp deletes it after the last test.
inline QCoreApplication*& AppSlot() {
  static QCoreApplication* app = nullptr;
  return app;
}
inline QCoreApplication& TestApp() {
  QCoreApplication*& app = AppSlot();
  if (app == nullptr) {
    static int argc = 1;
    static char name[] = "link_qt_tests";
    static char* argv[] = {name, nullptr};
    app = new QCoreApplication(argc, argv);
  }
  return *app;
}

// The clock the InMemoryPort runs its module on.
inline Millis Now() { return std::chrono::duration_cast<Millis>(Clock::now().time_since_epoch()); }

inline long long ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// Ends the program when a test does not finish in time: a deadlock must
// fail the run, not hang it.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::milliseconds limit) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "?";
    thread_ = std::thread([this, limit, name = std::move(name)] {
      std::unique_lock lock(mutex_);
      if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
        std::fprintf(stderr, "\n*** %s did not finish within %lld ms: deadlock? Aborting.\n", name.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::abort();
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

// An InputWordChanged event as the host saw it.
struct Raised {
  int module = 0;
  int word = 0;
  std::uint32_t value = 0;
  bool posted = false;         // came through the receiver's posted event
  bool insideProcess = false;  // raised while a ProcessReceived was on the stack
  int nesting = 0;             // event handlers of this harness already on the stack
};

// A virtual module and the mutex its port's worker takes around every call.
struct ModuleSlot {
  explicit ModuleSlot(ModuleConfig config, std::uint32_t key) : module(std::move(config)), portKey(key) {}
  VirtualModule module;
  std::mutex lock;
  std::uint32_t portKey;
  // Runs fn on the module under its lock (no worker wake-up: use
  // InMemoryPort::WithModule while a port is open).
  template <typename Fn>
  auto Locked(Fn&& fn) {
    std::lock_guard guard(lock);
    return fn(module);
  }
};

class QtLinkHarness : public link::ChannelHost,
                      public link::TransportFactory,
                      public link::ControlMessageHandler,
                      public link::TraceView {
 public:
  QtLinkHarness() : receiver_((TestApp(), *this)) {
    link::ResetModuleTable(table);
    for (int i = 0; i < link::kChannelCount; ++i) {
      channels_[static_cast<std::size_t>(i)] = std::make_unique<CommandChannel>(i, table, *this);
      pointers_[static_cast<std::size_t>(i)] = channels_[static_cast<std::size_t>(i)].get();
    }
    traceLog_.AttachView(this);
    traceLog_.WindowCreated();
    link::SetCurrentTraceLog(&traceLog_);
  }

  ~QtLinkHarness() override {
    onRaise = nullptr;
    afterProcess = nullptr;
    // A channel's transport joins its worker on destruction and pumps while
    // it waits; notifications dispatched meanwhile must not find a channel
    // that is half gone.
    for (std::size_t i = 0; i < channels_.size(); ++i) {
      pointers_[i] = nullptr;
      channels_[i].reset();
    }
    QCoreApplication::removePostedEvents(&receiver_);
    link::ClearCurrentTraceLog(&traceLog_);
  }

  QtLinkHarness(const QtLinkHarness&) = delete;
  QtLinkHarness& operator=(const QtLinkHarness&) = delete;

  // --- Modules
  ModuleSlot& AddSerialModule(std::uint32_t com, ModuleConfig config) {
    auto& slot = serial_[com];
    slot = std::make_unique<ModuleSlot>(std::move(config), com);
    return *slot;
  }
  ModuleSlot& AddUsbModule(std::uint32_t location, ModuleConfig config) {
    usb_.push_back(std::make_unique<ModuleSlot>(std::move(config), location));
    return *usb_.back();
  }

  CommandChannel& Channel(int i) { return *channels_[static_cast<std::size_t>(i)]; }
  link::ModuleRecord& Record(int n) { return table[static_cast<std::size_t>(n)]; }
  link::ControlReceiver& Receiver() { return receiver_; }
  sim::InMemoryPort* Port(int channel) { return dynamic_cast<sim::InMemoryPort*>(Channel(channel).Transport()); }

  // Runs fn on the module behind channel i's open port, under the module's
  // lock, and wakes the port's worker for the output.
  void AtModule(int channel, const std::function<void(VirtualModule&)>& fn) {
    sim::InMemoryPort* port = Port(channel);
    ASSERT_NE(port, nullptr) << "channel " << channel << " has no open in-memory port";
    port->WithModule(fn);
  }

  // Pumps until cond holds or the time-out passes; returns cond.
  bool PumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 5000ms) {
    const auto deadline = Clock::now() + timeout;
    while (!cond()) {
      if (Clock::now() >= deadline) return cond();
      link::WaitPumping(5);
    }
    return true;
  }

  std::vector<Raised> EventsOf(int module, int word) const {
    std::vector<Raised> out;
    for (const auto& e : raised)
      if (e.module == module && e.word == word) out.push_back(e);
    return out;
  }
  bool HasEvent(int module, int word, std::uint32_t value) const {
    for (const auto& e : raised)
      if (e.module == module && e.word == word && e.value == value) return true;
    return false;
  }
  bool TraceContains(std::string_view text) const {
    for (const auto& l : traceLines)
      if (l == text) return true;
    return false;
  }

  // --- ChannelHost
  void WaitPumping(int milliseconds) override {
    ++waits;
    link::WaitPumping(milliseconds);
  }
  link::PortOwner& Owner() override { return receiver_; }
  link::TransportFactory& Transports() override { return *this; }
  void RaiseInputWordChanged(int module, int word, std::uint32_t value) override {
    Raise(module, word, value, /*posted=*/false);
  }
  bool PostInputWordChanged(int module, int word, std::uint32_t value) override {
    ++posts;
    return receiver_.PostInputWordChanged(module, word, value);
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  // --- ControlMessageHandler (the receiver's thread, i.e. this one)
  void OnDataReceived(PortType type, std::uint32_t portKey) override {
    ++dataNotifications;
    CommandChannel* channel = CommandChannel::FindReceiver(pointers_, type, portKey);
    if (channel == nullptr) return;
    ++processDepth;
    if (processDepth > maxProcessDepth) maxProcessDepth = processDepth;
    channel->ProcessReceived();
    --processDepth;
    if (afterProcess) afterProcess(*channel);
  }
  void OnInputWordChanged(int module, int word, std::uint32_t value) override {
    Raise(module, word, value, /*posted=*/true);
  }
  void OnTraceWindowClosed() override {}
  void OnPortFailure(link::PortType, std::uint32_t, const std::string& title, const std::string& text) override {
    messages.push_back(title + ": " + text);
  }

  // --- TraceView
  void AppendLine(std::string_view line) override {
    const auto tab = line.find('\t');
    traceLines.emplace_back(tab == std::string_view::npos ? line : line.substr(tab + 1));
  }

  // --- TransportFactory
  bool TestSerialPort(std::uint32_t com) override {
    link::TraceNumber("Testing COM", com);
    return serial_.count(com) != 0;
  }
  std::unique_ptr<link::CCommunicationPort> CreateSerialPort() override {
    return std::make_unique<sim::InMemoryPort>(
        PortType::Serial,
        [this](std::uint32_t com) {
          sim::InMemoryTarget t;
          auto it = serial_.find(com);
          if (it == serial_.end()) return t;
          t.module = &it->second->module;
          t.moduleLock = &it->second->lock;
          t.portKey = com;
          return t;
        },
        [this](int ms) { WaitPumping(ms); });
  }
  std::unique_ptr<link::CCommunicationPort> CreateUsbPort() override {
    return std::make_unique<sim::InMemoryPort>(
        PortType::Usb,
        [this](std::uint32_t index) {
          sim::InMemoryTarget t;
          if (index < usb_.size()) {
            t.module = &usb_[index]->module;
            t.moduleLock = &usb_[index]->lock;
            t.portKey = usb_[index]->portKey;
          }
          return t;
        },
        [this](int ms) { WaitPumping(ms); });
  }
  std::uint32_t UsbLocationId(int index) override {
    return index >= 0 && static_cast<std::size_t>(index) < usb_.size() ? usb_[static_cast<std::size_t>(index)]->portKey
                                                                       : 0;
  }

  // Observations (test thread only).
  std::vector<Raised> raised;
  std::vector<std::string> messages;
  std::vector<std::string> traceLines;
  int dataNotifications = 0;
  int processDepth = 0;
  int maxProcessDepth = 0;
  int raiseDepth = 0;
  int posts = 0;
  int waits = 0;
  // Called for every event the host sees, after it was recorded.
  std::function<void(const Raised&)> onRaise;
  // Called after every ProcessReceived the receiver's handler ran.
  std::function<void(CommandChannel&)> afterProcess;

  link::ModuleTable table;

 private:
  void Raise(int module, int word, std::uint32_t value, bool posted) {
    raised.push_back({module, word, value, posted, processDepth > 0, raiseDepth});
    if (!onRaise) return;
    const Raised copy = raised.back();
    ++raiseDepth;
    onRaise(copy);
    --raiseDepth;
  }

  // Outlives everything else: covers the closing of the channels too.
  Watchdog watchdog_{20000ms};
  // Declared before the channels, so that they go after the channels (whose
  // transports post to the receiver and resolve to the modules).
  std::map<std::uint32_t, std::unique_ptr<ModuleSlot>> serial_;
  std::vector<std::unique_ptr<ModuleSlot>> usb_;
  link::TraceLog traceLog_;
  link::ControlReceiver receiver_;
  std::array<std::unique_ptr<CommandChannel>, link::kChannelCount> channels_;
  std::array<CommandChannel*, link::kChannelCount> pointers_{};
};

}  // namespace brimlink::qttest
