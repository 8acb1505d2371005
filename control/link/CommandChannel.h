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
// dialogue waits.
//
// Re-entry: host code may call the control from inside InputWordChanged, and
// the call waits for its reply. So ProcessReceived may be entered again from
// a handler's wait, for the same channel, while an outer call is still in
// the middle of a batch. All calls share one cursor over the drained batch:
// a nested call first parses what is left of the batch (lines, then the
// batch's newest packet of each word), then drains what arrived since; the
// outer call, once the handler returns, finds that work done. So every byte
// is parsed exactly once, in the order it arrived, and each event is raised
// where its report stands in the stream, before ProcessReceived returns. A
// line is parsed from a copy, so a nested call may assemble the next one. A
// handler that closes the channel ends every call of the old connection.
//
// Cuts: where the transport purged or discarded received bytes, the line
// being assembled is dropped. The first line after the cut may be the tail of
// a line whose start was lost: it is taken only when it is a whole text reply,
// never as a packet or a lone CR, so a reply that started after the cut is
// kept. Input reports may have been lost with the cut, and modules report
// changes only, so once the batch is parsed the channel reads every input
// word of its modules again; the replies raise InputWordChanged where a word
// differs from the image.
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
  // position order, with this port type and key and at least one byte (or a
  // cut) waiting.
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
  // Traces a device this user may not open and tells the host.
  void ReportDenied(const DeniedDevice& device);
  void Expect(InitStep step, int module, int address);
  bool Expecting(InitStep step, int module, int address) const;
  ModuleRecord* OwnedRecord(std::int64_t module);
  void Bind(ModuleRecord& record, std::uint32_t major, std::uint32_t minor, std::int32_t typeCode);
  void StoreLastReply(std::int64_t module, std::string_view line);
  void TraceReceived(std::string_view line) const;
  void HandlePacket(const char* packet);
  ReplyOutcome ParseInputReport(std::string_view fields, std::string_view line, const char* pattern,
                                bool continuesDialogue);
  // Moves the batch's bytes up to the next CR into the assembler; a complete
  // line is parsed, and then (only then may host code have run) the result
  // is true.
  bool AssembleNext();
  // The stream was cut before the next byte.
  void Cut();
  // Sends a read of every input word of each module this channel owns.
  void RereadInputWords();
  void ForgetBatch();

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
  // After an overflow, bytes are dropped up to the next CR.
  bool discarding_ = false;

  InitStep initStep_ = InitStep::None;
  int initModule_ = 0;
  int initAddress_ = 0;

  // Changes whenever the channel is closed, so that every ProcessReceived
  // call of the old connection stops before touching anything of it.
  std::uint64_t generation_ = 0;
  // The drained batch and the shared cursor over it (see Re-entry above).
  std::array<char, CCommunicationPort::kBufferSize> batch_{};
  std::size_t batchCount_ = 0;
  std::size_t batchPos_ = 0;
  std::size_t batchCut_ = ReceivedBatch::npos;
  struct PacketSlot {
    bool filled = false;
    char bytes[4] = {};
  };
  std::array<PacketSlot, 4> slots_{};
  // The next complete line follows a cut (see Cuts above).
  bool afterCut_ = false;
  // The input words are to be read again once the batch is parsed.
  bool rereadInputs_ = false;
};

}  // namespace brimlink::link
