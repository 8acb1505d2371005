// CommandChannel: one open connection to one COM port or USB device. It sends
// commands, assembles received lines, parses the replies into the module table
// and runs the opening, initialisation and closing dialogues.
//
// Ownership: the control owns eight channels and the module table they all
// refer to; a channel owns its transport while it is open.
//
// Threads: GUI thread only. The transport's worker fills the transport's
// receive buffer; ProcessReceived drains it here. Waits go through
// ChannelHost::WaitPumping, so replies (and host event handlers) run while a
// dialogue waits. ProcessReceived is never re-entered for the same open
// channel: a notification that arrives while a host handler runs inside it is
// taken up when the running batch is done.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "control/link/ChannelHost.h"
#include "control/link/CommunicationPort.h"
#include "control/link/LinkTypes.h"
#include "control/link/ModuleRecord.h"

namespace brimlink::link {

enum class ReplyOutcome {
  Consumed,    // matched a reply form; the assembler is emptied
  Incomplete,  // an input packet cut short by a value byte 0x0D; assembly goes on
  Discarded,   // matched nothing, or named a module this channel does not own
};

class CommandChannel {
 public:
  static constexpr std::size_t kLineCapacity = 100;

  // Bounded waits of the dialogues: steps × step length.
  static constexpr int kStepMs = 10;
  static constexpr int kSerialOpeningSteps = 25;
  static constexpr int kUsbOpeningSteps = 200;
  static constexpr int kInitialisationSteps = 40;
  static constexpr int kClosingSteps = 40;
  static constexpr int kSetupDelayMs = 50;
  static constexpr int kOpenRetries = 40;

  CommandChannel(int index, ModuleTable& table, ChannelHost& host);
  ~CommandChannel();
  CommandChannel(const CommandChannel&) = delete;
  CommandChannel& operator=(const CommandChannel&) = delete;

  // Traces the command and, unless the channel is closed, sends it with a CR.
  // A text longer than the transmit buffer allows is refused with a trace line.
  void SendCommand(std::string_view text);

  // Tries COM first..last; returns the number opened, or 0. Nothing when the
  // channel is not closed.
  std::uint32_t OpenSerialChannel(std::uint32_t first, std::uint32_t last);
  // Opens entry i of the USB device list; false when not opened or when the
  // channel is not closed.
  bool OpenUsbChannel(int deviceIndex);
  // The initialisation dialogue for module n (1..8).
  void InitialiseModule(int moduleNumber);
  void CloseChannel();

  // True when the channel is a USB channel whose device still carries the
  // chip's factory identity and is open.
  bool IsUsbUpdateAvailable() const;
  // Rewrites that device's identity (miniVariant: the R6 identity). -1 when
  // it does not qualify, else the result of the rewrite (0 or a driver status).
  int RewriteUsbIdentity(bool miniVariant);

  // Drains the transport and parses what arrived. Returns 0.
  int ProcessReceived();
  // The reply rules for one line (with its CR).
  ReplyOutcome ParseReply(const char* line, std::size_t length);

  // The channel that takes a data notification: the first open one, in
  // position order, with this port type and key and at least one byte waiting.
  static CommandChannel* FindReceiver(std::span<CommandChannel* const> channels, PortType type,
                                      std::uint32_t portKey);

  int Index() const { return index_; }
  ChannelState State() const { return state_; }
  PortType PortTypeCode() const { return portType_; }
  std::uint32_t PortKey() const { return portKey_; }
  int ModuleNumber() const { return moduleNumber_; }
  std::uint32_t VersionMajor() const { return versionMajor_; }
  std::uint32_t VersionMinor() const { return versionMinor_; }
  CCommunicationPort* Transport() const { return transport_.get(); }
  std::size_t LineLength() const { return lineLength_; }
  std::string_view LineBuffer() const { return {lineBuffer_.data(), lineLength_}; }

 private:
  // The reply the initialisation dialogue waits for next.
  enum class InitStep { None, InputWord, OutputWord, Timer, FilterMask, AutoSend, End };

  bool WaitForState(ChannelState wanted, int steps);
  void EmptyAssembler();
  void StartHandshake();  // empty command, 50 ms, "setup0"
  void Expect(InitStep step, int module, int address);
  bool Expecting(InitStep step, int module, int address) const;
  ModuleRecord* OwnedRecord(std::int64_t module);
  void Bind(ModuleRecord& record, std::uint32_t major, std::uint32_t minor, std::int32_t typeCode);
  void StoreLastReply(std::int64_t module, std::string_view line);
  void TraceReceived(std::string_view line) const;
  void HandlePacket(const char* packet);
  ReplyOutcome ParseInputReport(std::string_view fields, std::string_view line, const char* pattern,
                                bool continuesDialogue);

  ModuleTable* table_;
  ChannelHost* host_;
  int index_;
  std::uint32_t versionMinor_ = 0;
  std::uint32_t versionMajor_ = 0;
  int moduleNumber_ = 0;
  ChannelState state_ = ChannelState::Closed;
  PortType portType_ = PortType::None;
  std::uint32_t portKey_ = 0;
  std::unique_ptr<CCommunicationPort> transport_;
  std::array<char, kLineCapacity + 1> lineBuffer_{};
  std::size_t lineLength_ = 0;
  // After an overflow or a purge, bytes are dropped up to the next CR.
  bool discarding_ = false;

  InitStep initStep_ = InitStep::None;
  int initModule_ = 0;
  int initAddress_ = 0;

  // Changes whenever the channel is closed, so that a batch whose handler
  // closed the channel stops before touching anything of the old connection.
  std::uint64_t generation_ = 0;
  bool processing_ = false;
  std::uint64_t processingGeneration_ = 0;
  bool notifiedWhileProcessing_ = false;
  std::array<char, CCommunicationPort::kBufferSize> batch_{};
  struct PacketSlot {
    bool filled = false;
    char bytes[4] = {};
  };
  std::array<PacketSlot, 4> slots_{};
};

}  // namespace brimlink::link
