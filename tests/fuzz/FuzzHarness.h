// The fuzz harness of the receive path, shared by the libFuzzer target
// (tests/fuzz/fuzz_process_received.cpp) and the corpus replay in link_tests
// (tests/control/link/test_fuzz_corpus.cpp).
//
// One input drives one fresh link: a module table, two channels and virtual
// modules on loopback ports, in simulated time (a pumping wait advances the
// clock in one step and then delivers and dispatches until nothing moves).
//
// Input layout (missing bytes read as 0, so every input is valid):
//
//   header, 4 bytes
//     [0] bits 0-1  the state the chunks arrive in: 0 opening, 1 ready,
//                   2 initialising, 3 closing
//         bit  2    port type: 0 serial (COM 1), 1 USB (location 2, equal to
//                   the bystander's COM number on purpose)
//         bit  3    channel version major: 0 (module echoes "DV") or 2 ("V=2.10")
//         bits 4-5  host handler: 0 none, 1 close the channel on the first
//                   raised event, 2 close it on the first message box,
//                   3 close and reopen it on the first raised event
//         bit  6    the module keeps answering while the chunks arrive
//                   (otherwise it is silenced first)
//         bit  7    posting input events fails ("PostMessage Error")
//     [1] module number of the channel's module: value % 10 (0 and 9 never
//         open a channel: the chunks then arrive while it is opening)
//     [2] bystander: value % 9; 1..8 opens channel 0 on COM 2 with a module of
//         that number first (its record must never change), 0 none
//     [3] bits 0-2  the chunks arrive during the k-th pumping wait of the
//                   opening, initialisation or closing dialogue
//         bit  3    version 0 module is an R8A (otherwise an R16)
//         bits 4-5  how the module reports word 0: EW, e, #H, EW
//         bit  6    the host's handlers (input event, message box) run the
//                   event loop, and the next chunk arrives meanwhile: it
//                   reaches ProcessReceived while ProcessReceived is on the
//                   stack (at most 8 times per input, 3 deep)
//
//   chunks, until the input ends
//     c = 0x00..0x7F  c bytes arrive as one read; the channel processes them
//                     (notification -> FindReceiver -> ProcessReceived)
//     c = 0x80..0xBF  ParseReply is called directly on the next c - 0x80
//                     bytes (an exact-size heap copy, so over-reads are caught)
//     c = 0xC0..0xFF  the next byte r, then c - 0xC0 bytes that arrive as
//                     r + 1 separate reads before the channel gets to process
//                     them (backlog above 511 bytes, purge above 1024)
//
// Invariants, checked after every chunk and after each step of the set-up
// and tear-down:
//   - the line assembler of every channel holds at most 100 bytes;
//   - every channel state is one of 0..4;
//   - record 0 is exactly in its reset state; a record that no channel owns
//     is exactly in its reset state; the bystander's record never changes;
//     a record is only ever bound to one of the two channels, and then present;
//   - every input and output word is <= 0xFFFF;
//   - every raised or posted InputWordChanged names module 1..8, word 0..4
//     and a value <= 0xFFFF; word 0 is raised, words 1..4 are posted; the
//     record named is bound to the channel the data arrived on and already
//     holds the value;
//   - after both channels are closed every record is back in reset state.
// Out-of-bounds accesses are left to the sanitizers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/link/ChannelHost.h"
#include "control/link/CommandChannel.h"
#include "control/link/LinkTypes.h"
#include "control/link/ModuleRecord.h"
#include "control/link/Trace.h"
#include "tools/virtual_module/LoopbackPort.h"
#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::fuzz {

inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::uint32_t kChannelCom = 1;
inline constexpr std::uint32_t kBystanderCom = 2;
inline constexpr std::uint32_t kChannelUsbLocation = 2;

enum class Target { Opening = 0, Ready = 1, Initialising = 2, Closing = 3 };
enum class HandlerAction { None = 0, CloseOnRaise = 1, CloseOnMessage = 2, ReopenOnRaise = 3 };

struct FuzzSetup {
  Target target = Target::Opening;
  bool usb = false;
  bool major2 = false;
  HandlerAction handler = HandlerAction::None;
  bool keepAnswering = false;
  bool failPosts = false;
  int moduleNumber = 0;     // 0..9
  int bystanderNumber = 0;  // 0: none, else 1..8
  int feedAtWait = 0;       // 0..7
  bool r8a = false;
  sim::Word0Report word0Report = sim::Word0Report::EW;
  bool handlersPump = false;

  static FuzzSetup FromHeader(const std::uint8_t* h) {
    FuzzSetup s;
    s.target = static_cast<Target>(h[0] & 3);
    s.usb = (h[0] & 0x04) != 0;
    s.major2 = (h[0] & 0x08) != 0;
    s.handler = static_cast<HandlerAction>((h[0] >> 4) & 3);
    s.keepAnswering = (h[0] & 0x40) != 0;
    s.failPosts = (h[0] & 0x80) != 0;
    s.moduleNumber = h[1] % 10;
    s.bystanderNumber = h[2] % 9;
    s.feedAtWait = h[3] & 7;
    s.r8a = (h[3] & 0x08) != 0;
    const int report = (h[3] >> 4) & 3;
    s.word0Report = report == 1   ? sim::Word0Report::LowerE
                    : report == 2 ? sim::Word0Report::HashH
                                  : sim::Word0Report::EW;
    s.handlersPump = (h[3] & 0x40) != 0;
    return s;
  }
};

inline bool SameRecord(const link::ModuleRecord& a, const link::ModuleRecord& b) {
  return a.present == b.present && a.typeCode == b.typeCode && a.moduleNumber == b.moduleNumber &&
         a.channel == b.channel && a.versionMinor == b.versionMinor && a.versionMajor == b.versionMajor &&
         a.counterValues == b.counterValues && a.counterPending == b.counterPending && a.inputWords == b.inputWords &&
         a.inputAutoSent == b.inputAutoSent && a.inputPending == b.inputPending && a.outputWords == b.outputWords &&
         a.outputPending == b.outputPending && a.lastReply == b.lastReply && a.replyPending == b.replyPending;
}

inline link::ModuleRecord ResetRecord(int number) {
  link::ModuleRecord r;
  r.Reset();
  r.moduleNumber = static_cast<std::int16_t>(number);
  return r;
}

class FuzzLink final : public link::ChannelHost, public link::PortOwner, public link::TransportFactory {
 public:
  FuzzLink(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {
    std::uint8_t header[kHeaderSize] = {};
    for (std::size_t i = 0; i < kHeaderSize && i < size; ++i) header[i] = data[i];
    pos_ = std::min(size, kHeaderSize);
    setup_ = FuzzSetup::FromHeader(header);

    link::ResetModuleTable(table_);
    for (int i = 0; i < 2; ++i) {
      channels_[static_cast<std::size_t>(i)] = std::make_unique<link::CommandChannel>(i, table_, *this);
      pointers_[static_cast<std::size_t>(i)] = channels_[static_cast<std::size_t>(i)].get();
    }
    trace_.SetTracing(true);  // formatted and dropped, unless BRIMLINK_FUZZ_TRACE is set
    debug_ = std::getenv("BRIMLINK_FUZZ_TRACE") != nullptr;
    if (debug_) trace_.AttachView(&stderrView_);
    link::SetCurrentTraceLog(&trace_);
  }

  ~FuzzLink() override {
    for (auto& c : channels_) c.reset();  // transports go before the modules
    link::ClearCurrentTraceLog(&trace_);
  }

  FuzzLink(const FuzzLink&) = delete;
  FuzzLink& operator=(const FuzzLink&) = delete;

  // Runs the whole input; false with `why` set on the first violation.
  bool Run(std::string* why) {
    RunSteps();
    if (violation_ != nullptr && why != nullptr) *why = violation_;
    return violation_ == nullptr;
  }

  // --- ChannelHost
  void WaitPumping(int milliseconds) override {
    ++waitsInPhase_;
    if (armed_ && !feeding_ && waitsInPhase_ > setup_.feedAtWait) FeedChunks();
    now_ += sim::Millis(milliseconds > 0 ? milliseconds : 0);
    Pump();
  }
  link::PortOwner& Owner() override { return *this; }
  link::TransportFactory& Transports() override { return *this; }

  void RaiseInputWordChanged(int module, int word, std::uint32_t value) override {
    CheckEvent(module, word, value, /*posted=*/false);
    HandlerPumps();
    if (handlerDone_) return;
    if (setup_.handler == HandlerAction::CloseOnRaise) {
      handlerDone_ = true;
      Channel().CloseChannel();
    } else if (setup_.handler == HandlerAction::ReopenOnRaise) {
      handlerDone_ = true;
      Channel().CloseChannel();
      if (module_) module_->MutableConfig().faults.silent = false;
      OpenChannel();
      if (module_) module_->MutableConfig().faults.silent = !setup_.keepAnswering;
    }
  }
  bool PostInputWordChanged(int module, int word, std::uint32_t value) override {
    CheckEvent(module, word, value, /*posted=*/true);
    if (setup_.failPosts) return false;
    posted_.push_back({module, word, value});
    return true;
  }
  void ShowMessage(const std::string&) override {
    HandlerPumps();  // a modal message box runs the event loop
    if (handlerDone_ || setup_.handler != HandlerAction::CloseOnMessage) return;
    handlerDone_ = true;
    Channel().CloseChannel();
  }

  // --- PortOwner
  void PostDataReceived(link::PortType type, std::uint32_t key) override { notifications_.push_back({type, key}); }
  void ReportPortFailure(link::PortType, std::uint32_t, std::string, std::string) override {}

  // --- TransportFactory
  bool TestSerialPort(std::uint32_t com) override {
    return (com == kChannelCom && module_ && !setup_.usb) || (com == kBystanderCom && bystanderModule_);
  }
  std::unique_ptr<link::CCommunicationPort> CreateSerialPort() override {
    return std::make_unique<sim::LoopbackPort>(
        link::PortType::Serial,
        [this](std::uint32_t com) {
          sim::LoopbackTarget t;
          if (com == kChannelCom && !setup_.usb) t.module = module_.get();
          if (com == kBystanderCom) t.module = bystanderModule_.get();
          t.portKey = com;
          return t;
        },
        [this] { return now_; });
  }
  std::unique_ptr<link::CCommunicationPort> CreateUsbPort() override {
    return std::make_unique<sim::LoopbackPort>(
        link::PortType::Usb,
        [this](std::uint32_t index) {
          sim::LoopbackTarget t;
          if (index == 0 && setup_.usb) {
            t.module = module_.get();
            t.portKey = kChannelUsbLocation;
          }
          return t;
        },
        [this] { return now_; });
  }
  std::uint32_t UsbLocationId(int index) override { return index == 0 ? kChannelUsbLocation : 0; }

 private:
  struct Event {
    int module;
    int word;
    std::uint32_t value;
  };

  link::CommandChannel& Bystander() { return *channels_[0]; }
  link::CommandChannel& Channel() { return *channels_[1]; }

  void Fail(const char* what) {
    if (violation_ == nullptr) violation_ = what;
  }
  bool Failed() const { return violation_ != nullptr; }

  void RunSteps() {
    Check();
    if (setup_.bystanderNumber != 0) {
      bystanderModule_ =
          std::make_unique<sim::VirtualModule>(sim::ModuleConfig::Defaults(sim::Model::USB, setup_.bystanderNumber));
      if (Bystander().OpenSerialChannel(kBystanderCom, kBystanderCom) == kBystanderCom) {
        bystanderModule_->MutableConfig().faults.silent = true;
        Pump();
        bystanderRecord_ = table_[static_cast<std::size_t>(setup_.bystanderNumber)];
        bystanderBound_ = bystanderRecord_.channel == &Bystander();
      }
      Check();
    }

    sim::ModuleConfig config =
        setup_.major2 ? sim::ModuleConfig::Defaults(sim::Model::USB, setup_.moduleNumber)
                      : sim::ModuleConfig::Defaults(setup_.r8a ? sim::Model::R8A : sim::Model::R16, setup_.moduleNumber);
    config.word0Report = setup_.word0Report;
    module_ = std::make_unique<sim::VirtualModule>(config);
    const bool canOpen = setup_.moduleNumber >= 1 && setup_.moduleNumber <= link::kModuleCount;
    const Target target = canOpen ? setup_.target : Target::Opening;

    if (target == Target::Opening) {
      module_->MutableConfig().faults.silent = !setup_.keepAnswering;
      Arm();
      OpenChannel();
    } else {
      OpenChannel();
      Pump();  // the module's answer to the last "setup0" of the handshake
      Check();
      module_->MutableConfig().faults.silent = !setup_.keepAnswering;
      if (target == Target::Initialising) {
        Arm();
        const int n = Channel().ModuleNumber() != 0 ? Channel().ModuleNumber() : setup_.moduleNumber;
        Channel().InitialiseModule(n);
      } else if (target == Target::Closing) {
        Arm();
        Channel().CloseChannel();
      }
    }
    armed_ = false;
    if (!fed_) FeedChunks();  // the dialogue ended before its k-th wait, or the chunks come in Ready
    Pump();
    Check();
    if (Failed()) return;

    // Tear-down: the records go back to reset state.
    module_->MutableConfig().faults.silent = true;
    Channel().CloseChannel();
    Check();
    for (const auto& record : table_) {
      if (record.channel == &Channel()) Fail("a record is still bound to the channel after closing it");
    }
    bystanderBound_ = false;  // its record is released now
    if (bystanderModule_) Bystander().CloseChannel();
    for (std::size_t i = 0; i < table_.size(); ++i) {
      if (!SameRecord(table_[i], ResetRecord(static_cast<int>(i)))) Fail("a record is not reset after both closes");
    }
    Check();
  }

  void OpenChannel() {
    if (setup_.usb) {
      Channel().OpenUsbChannel(0);
    } else {
      Channel().OpenSerialChannel(kChannelCom, kChannelCom);
    }
  }

  void Arm() {
    armed_ = true;
    waitsInPhase_ = 0;
  }

  std::uint8_t NextByte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::string_view NextBytes(std::size_t n) {
    const std::size_t take = std::min(n, size_ - pos_);
    const std::string_view bytes(reinterpret_cast<const char*>(data_ + pos_), take);
    pos_ += take;
    return bytes;
  }

  void Inject(std::string_view bytes) {
    if (auto* port = dynamic_cast<sim::LoopbackPort*>(Channel().Transport())) port->InjectReceived(bytes);
  }

  void FeedChunks() {
    armed_ = false;
    fed_ = true;
    feeding_ = true;
    while (pos_ < size_ && !Failed()) FeedOneChunk();
    feeding_ = false;
  }

  // A handler that runs the event loop while the next chunk arrives.
  void HandlerPumps() {
    if (!setup_.handlersPump || handlerPumps_ >= 8 || handlerDepth_ >= 3) return;
    ++handlerPumps_;
    ++handlerDepth_;
    if (pos_ < size_ && !Failed()) FeedOneChunk();
    WaitPumping(1);
    --handlerDepth_;
  }

  void FeedOneChunk() {
    const std::uint8_t c = NextByte();
    if (c < 0x80) {
      Inject(NextBytes(c));
      DispatchNotifications();
    } else if (c < 0xC0) {
      const std::string_view bytes = NextBytes(c - 0x80u);
      // An exact-size heap copy: a read past the end is caught by ASan.
      std::unique_ptr<char[]> line(new char[bytes.size() + (bytes.empty() ? 1 : 0)]);
      std::copy(bytes.begin(), bytes.end(), line.get());
      Channel().ParseReply(line.get(), bytes.size());
    } else {
      const int repeats = NextByte() + 1;
      const std::string_view bytes = NextBytes(c - 0xC0u);
      for (int i = 0; i < repeats; ++i) Inject(bytes);
    }
    Check();
    if (debug_) {
      std::fprintf(stderr, "[fuzz] chunk 0x%02X: channel state %d, assembler %zu, %s\n", static_cast<unsigned>(c),
                   static_cast<int>(Channel().State()), Channel().LineLength(),
                   violation_ != nullptr ? violation_ : "invariants hold");
    }
  }

  void Dispatch(link::PortType type, std::uint32_t key) {
    if (link::CommandChannel* c = link::CommandChannel::FindReceiver(std::span<link::CommandChannel* const>(pointers_),
                                                                     type, key)) {
      c->ProcessReceived();
    }
  }

  void DispatchNotifications() {
    while (!notifications_.empty()) {
      const auto [type, key] = notifications_.front();
      notifications_.pop_front();
      Dispatch(type, key);
    }
  }

  // Delivers what the modules have due and dispatches the notifications and
  // the posted events, until nothing moves.
  void Pump() {
    for (int round = 0; round < 64; ++round) {
      bool moved = false;
      for (auto& c : channels_) {
        if (auto* port = dynamic_cast<sim::LoopbackPort*>(c->Transport())) moved = port->Deliver(now_) || moved;
      }
      if (!notifications_.empty()) moved = true;
      DispatchNotifications();
      while (!posted_.empty()) {
        const Event e = posted_.front();
        posted_.pop_front();
        moved = true;
        if (e.module < 1 || e.module > link::kModuleCount || e.word < 1 || e.word >= link::kInputWords ||
            e.value > 0xFFFF) {
          Fail("a delivered posted event is out of range");
        }
      }
      if (!moved) break;
    }
  }

  void CheckEvent(int module, int word, std::uint32_t value, bool posted) {
    if (module < 1 || module > link::kModuleCount) return Fail("an input event names a module outside 1..8");
    if (word < 0 || word >= link::kInputWords) return Fail("an input event names a word outside 0..4");
    if (value > 0xFFFF) return Fail("an input event carries a value above 0xFFFF");
    if (posted != (word != 0)) return Fail("word 0 must be raised at once, words 1..4 posted");
    const link::ModuleRecord& record = table_[static_cast<std::size_t>(module)];
    if (record.channel != &Channel()) return Fail("an input event for a record the receiving channel does not own");
    if (record.inputWords[static_cast<std::size_t>(word)] != value) {
      return Fail("an input event whose value the record does not hold");
    }
  }

  void Check() {
    for (auto& c : channels_) {
      if (c->LineLength() > link::CommandChannel::kLineCapacity) Fail("the line assembler holds more than 100 bytes");
      const int state = static_cast<int>(c->State());
      if (state < 0 || state > 4) Fail("a channel state outside 0..4");
    }
    if (!SameRecord(table_[0], ResetRecord(0))) Fail("record 0 changed");
    for (int i = 0; i <= link::kModuleCount; ++i) {
      const link::ModuleRecord& r = table_[static_cast<std::size_t>(i)];
      for (const std::uint32_t w : r.inputWords) {
        if (w > 0xFFFF) Fail("an input word above 0xFFFF");
      }
      for (const std::uint32_t w : r.outputWords) {
        if (w > 0xFFFF) Fail("an output word above 0xFFFF");
      }
      if (i == 0) continue;
      if (bystanderBound_ && i == setup_.bystanderNumber && !SameRecord(r, bystanderRecord_)) {
        Fail("the bystander's record changed");
      }
      if (r.channel == nullptr) {
        if (!SameRecord(r, ResetRecord(i))) Fail("a record that no channel owns is not in reset state");
      } else if (r.channel == &Bystander()) {
        if (!bystanderBound_ || i != setup_.bystanderNumber || !SameRecord(r, bystanderRecord_)) {
          Fail("the bystander's record changed");
        }
      } else if (r.channel == &Channel()) {
        if (r.present != 1 || r.moduleNumber != i) Fail("a bound record that is not present");
      } else {
        Fail("a record bound to no channel of this link");
      }
    }
  }

  // BRIMLINK_FUZZ_TRACE=1: the trace of the run on stderr, to read a crash input.
  struct StderrView final : link::TraceView {
    void AppendLine(std::string_view line) override {
      std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    }
  };

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  FuzzSetup setup_;

  StderrView stderrView_;
  link::TraceLog trace_{[]() -> std::uint32_t { return 0; }};
  link::ModuleTable table_;
  std::array<std::unique_ptr<link::CommandChannel>, 2> channels_;
  std::array<link::CommandChannel*, 2> pointers_{};
  std::unique_ptr<sim::VirtualModule> module_;
  std::unique_ptr<sim::VirtualModule> bystanderModule_;
  link::ModuleRecord bystanderRecord_;
  bool bystanderBound_ = false;

  sim::Millis now_{0};
  std::deque<std::pair<link::PortType, std::uint32_t>> notifications_;
  std::deque<Event> posted_;

  bool armed_ = false;
  bool fed_ = false;
  bool feeding_ = false;
  int waitsInPhase_ = 0;
  bool handlerDone_ = false;
  int handlerPumps_ = 0;
  int handlerDepth_ = 0;
  bool debug_ = false;
  const char* violation_ = nullptr;
};

// Runs one input; false on an invariant violation (`why` names it).
inline bool RunFuzzInput(const std::uint8_t* data, std::size_t size, std::string* why) {
  FuzzLink link(data, size);
  return link.Run(why);
}

inline bool RunFuzzInput(const std::uint8_t* data, std::size_t size) { return RunFuzzInput(data, size, nullptr); }

}  // namespace brimlink::fuzz
