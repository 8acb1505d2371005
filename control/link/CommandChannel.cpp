#include "control/link/CommandChannel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "control/link/Commands.h"
#include "control/link/ReplyPattern.h"
#include "control/link/Trace.h"
#include "control/link/UsbPort.h"

namespace brimlink::link {
namespace {

bool IsPacketDigit(char c) { return c == '2' || c == '4' || c == '6' || c == '8'; }
bool ValidModule(std::int64_t m) { return m >= 1 && m <= kModuleCount; }

// The line as shown and stored: without its CR.
std::string_view WithoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The label of sent and received lines on USB: "TX USB Loc%lX", "RX USB Loc%lX".
std::string_view UsbLabel(char* buffer, std::size_t size, const char* direction, std::uint32_t location) {
  const int n = std::snprintf(buffer, size, "%s USB Loc%lX", direction, static_cast<unsigned long>(location));
  return {buffer, n < 0 ? 0 : static_cast<std::size_t>(n)};
}

}  // namespace

CommandChannel::CommandChannel(int index, ModuleTable& table, ChannelHost& host)
    : table_(&table), host_(&host), index_(index) {}

CommandChannel::~CommandChannel() {
  // The control closes its channels with the dialogue before it destroys
  // them; here only the transport goes, without waiting for anything.
  transport_.reset();
}

void CommandChannel::SendCommand(std::string_view text) {
  char label[48];
  std::string_view labelText = "TX ???";
  if (portType_ == PortType::Serial) {
    const int n = std::snprintf(label, sizeof label, "TX COM %lu", static_cast<unsigned long>(portKey_));
    labelText = {label, static_cast<std::size_t>(n)};
  } else if (portType_ == PortType::Usb) {
    labelText = UsbLabel(label, sizeof label, "TX", portKey_);
  }
  if (text.size() > CCommunicationPort::kMaxCommandLength) {
    TraceNumber("COMMAND_TOO_LONG", static_cast<unsigned long>(text.size()));
    return;
  }
  TraceText(labelText, text);
  if (state_ == ChannelState::Closed || !transport_) {
    TracePlain("CHANNEL_NOT_CONNECTED");
    return;
  }
  char line[CCommunicationPort::kBufferSize];
  std::memcpy(line, text.data(), text.size());
  line[text.size()] = '\r';
  transport_->Write(std::string_view(line, text.size() + 1));
}

bool CommandChannel::WaitForState(ChannelState wanted, int steps) {
  for (int i = 0; i < steps && state_ != wanted; ++i) host_->WaitPumping(kStepMs);
  return state_ == wanted;
}

void CommandChannel::EmptyAssembler() {
  lineLength_ = 0;
  discarding_ = false;
}

void CommandChannel::StartHandshake() {
  SendCommand(command::kEmpty);
  host_->WaitPumping(kSetupDelayMs);
  EmptyAssembler();
  SendCommand(command::kSetup);
}

std::uint32_t CommandChannel::OpenSerialChannel(std::uint32_t first, std::uint32_t last) {
  if (state_ != ChannelState::Closed) return 0;
  TransportFactory& transports = host_->Transports();
  for (std::uint64_t n = first; n <= last; ++n) {
    const auto com = static_cast<std::uint32_t>(n);
    if (!transports.TestSerialPort(com)) continue;
    TraceNumber("Opening COM", com);
    for (const int baud : {115200, 19200}) {
      auto port = transports.CreateSerialPort();
      if (!port) continue;
      int result = -1;
      for (int attempt = 0; attempt < kOpenRetries; ++attempt) {
        result = port->Open(host_->Owner(), com, baud);
        if (result != CCommunicationPort::kBusy) break;
        host_->WaitPumping(kStepMs);
      }
      // A port that opened but could not be set up has been reported once;
      // it would fail the same way at the other baud rate. So would a port
      // this user may not open, which is never retried as busy.
      if (result == CCommunicationPort::kConfigurationFailed) break;
      if (port->Denied()) {
        ReportDenied(*port->Denied());
        break;
      }
      if (result != 0) continue;  // the port goes with `port`

      transport_ = std::move(port);
      state_ = ChannelState::Opening;
      portType_ = PortType::Serial;
      portKey_ = com;
      EmptyAssembler();
      StartHandshake();
      if (WaitForState(ChannelState::Ready, kSerialOpeningSteps)) {
        TracePlain("CHANNEL_READY");
        TracePlain("");
        return com;
      }
      CloseChannel();
    }
  }
  return 0;
}

bool CommandChannel::OpenUsbChannel(int deviceIndex) {
  if (state_ != ChannelState::Closed) return false;
  if (transport_) {
    transport_->Close();
    transport_.reset();
  }
  TransportFactory& transports = host_->Transports();
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto port = transports.CreateUsbPort();
    if (!port) return false;
    const std::uint32_t location = transports.UsbLocationId(deviceIndex);
    char loc[24];
    const int n = std::snprintf(loc, sizeof loc, "Loc%X", static_cast<unsigned>(location));
    TraceText("Opening USB", std::string_view(loc, static_cast<std::size_t>(n)));
    if (port->Open(host_->Owner(), static_cast<std::uint32_t>(deviceIndex), attempt) == 0) {
      TracePlain("failed");
      // The second attempt differs only in its baud rate.
      if (port->Denied()) {
        ReportDenied(*port->Denied());
        return false;
      }
      continue;
    }
    TracePlain("OK");
    transport_ = std::move(port);
    state_ = ChannelState::Opening;
    portType_ = PortType::Usb;
    portKey_ = location;
    EmptyAssembler();
    StartHandshake();
    if (WaitForState(ChannelState::Ready, kUsbOpeningSteps)) {
      TracePlain("CHANNEL_READY");
      TracePlain("");
      return true;
    }
    CloseChannel();
  }
  return false;
}

void CommandChannel::ReportDenied(const DeniedDevice& device) {
  TraceText("ACCESS_DENIED", DenialTraceText(device));
  host_->DeviceDenied(device);
}

void CommandChannel::InitialiseModule(int moduleNumber) {
  if (state_ == ChannelState::Closed || !ValidModule(moduleNumber)) return;
  const ModuleRecord& record = (*table_)[static_cast<std::size_t>(moduleNumber)];
  const int address = record.HasType(type_code::kSingleInputWord) ? 0 : 8;
  state_ = ChannelState::Initialising;
  Expect(InitStep::InputWord, moduleNumber, address);
  SendCommand(command::ReadInputWord(moduleNumber, address));
  WaitForState(ChannelState::Ready, kInitialisationSteps);
}

void CommandChannel::CloseChannel() {
  if (state_ == ChannelState::Closed) return;
  if (state_ == ChannelState::Ready) {
    state_ = ChannelState::Closing;
    host_->WaitPumping(kSetupDelayMs);
    EmptyAssembler();
    SendCommand(command::kSetup);
    WaitForState(ChannelState::Closed, kClosingSteps);
  }
  state_ = ChannelState::Closed;
  ++generation_;
  // The transport's destructor stops its worker and closes the device.
  auto transport = std::move(transport_);
  transport.reset();
  for (int i = 1; i <= kModuleCount; ++i) {
    ModuleRecord& record = (*table_)[static_cast<std::size_t>(i)];
    if (record.channel == this) record.Reset();
  }
  EmptyAssembler();
  ForgetBatch();
  portType_ = PortType::None;
  portKey_ = 0;
  moduleNumber_ = 0;
  Expect(InitStep::None, 0, 0);
  state_ = ChannelState::Closed;
}

CommandChannel* CommandChannel::FindReceiver(std::span<CommandChannel* const> channels, PortType type,
                                             std::uint32_t portKey) {
  for (CommandChannel* channel : channels) {
    if (channel == nullptr || channel->state_ == ChannelState::Closed) continue;
    if (channel->portType_ != type || channel->portKey_ != portKey) continue;
    if (channel->transport_ && channel->transport_->HasPending()) return channel;
  }
  return nullptr;
}

int CommandChannel::ProcessReceived() {
  const std::uint64_t generation = generation_;
  bool drained = false;
  for (;;) {
    // A handler that closed the channel ends this call; one that reopened it
    // has its own calls for the new connection.
    if (generation_ != generation || state_ == ChannelState::Closed || !transport_) return 0;
    if (batchPos_ < batchCount_) {
      // Only a parsed line can run host code, so the checks above are made
      // again after each line, not after each byte.
      while (batchPos_ < batchCount_ && !AssembleNext()) {
      }
      continue;
    }
    if (batchCut_ != ReceivedBatch::npos) Cut();  // the cut came after the last byte
    if (PacketSlot* slot = std::find_if(slots_.begin(), slots_.end(), [](const PacketSlot& s) { return s.filled; });
        slot != slots_.end()) {
      slot->filled = false;
      char packet[4];
      std::memcpy(packet, slot->bytes, 4);
      ParseReply(packet, 4);
      continue;
    }
    if (rereadInputs_) {
      rereadInputs_ = false;
      RereadInputWords();
      continue;
    }
    if (drained) return 0;
    drained = true;
    const ReceivedBatch batch = transport_->DrainReceived(batch_.data());
    batchCount_ = batch.count;
    batchPos_ = 0;
    batchCut_ = batch.discontinuity;
  }
}

void CommandChannel::Cut() {
  batchCut_ = ReceivedBatch::npos;
  lineLength_ = 0;
  discarding_ = false;
  afterCut_ = true;
  rereadInputs_ = true;
}

bool CommandChannel::AssembleNext() {
  if (batchPos_ == batchCut_) Cut();
  // The bytes up to the next CR, not beyond a cut that is still ahead.
  const std::size_t end = batchCut_ > batchPos_ && batchCut_ < batchCount_ ? batchCut_ : batchCount_;
  const char* from = batch_.data() + batchPos_;
  const auto* cr = static_cast<const char*>(std::memchr(from, '\r', end - batchPos_));
  const std::size_t n = cr != nullptr ? static_cast<std::size_t>(cr - from) : end - batchPos_;
  // The cursor moves before the line is handled: a nested call goes on
  // from the byte after it.
  batchPos_ += cr != nullptr ? n + 1 : n;
  if (discarding_) {
    if (cr != nullptr) discarding_ = false;
    return false;
  }
  if (lineLength_ + n + (cr != nullptr ? 1 : 0) > kLineCapacity) {
    // Too long for any reply: dropped up to its CR, so that its tail is not
    // taken for a line of its own.
    lineLength_ = 0;
    afterCut_ = false;
    discarding_ = cr == nullptr;
    return false;
  }
  std::memcpy(lineBuffer_.data() + lineLength_, from, n);
  lineLength_ += n;
  if (cr == nullptr) return false;
  lineBuffer_[lineLength_++] = '\r';

  const bool afterCut = std::exchange(afterCut_, false);
  if (afterCut && (lineLength_ == 1 || IsPacketDigit(lineBuffer_[0]))) {
    // Maybe the tail of a line cut short; the words are read again anyway.
    lineLength_ = 0;
    return false;
  }
  if (lineLength_ == 4 && IsPacketDigit(lineBuffer_[0])) {
    // Only the newest packet per word counts, and only after the text
    // replies of the batch. Under backlog it is kept as well: modules
    // report changes only, so dropping it would leave the image wrong.
    PacketSlot& slot = slots_[static_cast<std::size_t>((lineBuffer_[0] - '2') / 2)];
    slot.filled = true;
    std::memcpy(slot.bytes, lineBuffer_.data(), 4);
    lineLength_ = 0;
    return false;
  }
  // Parsed from a copy with the assembler emptied: the handlers this line
  // raises may assemble the lines after it.
  char line[kLineCapacity];
  const std::size_t length = lineLength_;
  std::memcpy(line, lineBuffer_.data(), length);
  lineLength_ = 0;
  if (ParseReply(line, length) == ReplyOutcome::Incomplete) {
    // A packet whose value holds a CR; ParseReply ran nothing else, so the
    // assembler is still empty and the line goes back into it.
    std::memcpy(lineBuffer_.data(), line, length);
    lineLength_ = length;
  }
  return true;
}

void CommandChannel::RereadInputWords() {
  if (state_ != ChannelState::Ready && state_ != ChannelState::Initialising) return;
  TracePlain("REREAD_INPUTS");
  for (int m = 1; m <= kModuleCount; ++m) {
    const ModuleRecord& record = (*table_)[static_cast<std::size_t>(m)];
    if (record.channel != this) continue;
    const int words = record.HasType(type_code::kExtendedWords) ? kInputWords : 1;
    for (int w = 0; w < words; ++w) SendCommand(command::ReadInputWord(m, 2 * w));
  }
}

void CommandChannel::ForgetBatch() {
  batchCount_ = 0;
  batchPos_ = 0;
  batchCut_ = ReceivedBatch::npos;
  slots_ = {};
  afterCut_ = false;
  rereadInputs_ = false;
}

// ---------------------------------------------------------------------------
// Reply rules

void CommandChannel::Expect(InitStep step, int module, int address) {
  initStep_ = step;
  initModule_ = module;
  initAddress_ = address;
}

bool CommandChannel::Expecting(InitStep step, int module, int address) const {
  return state_ == ChannelState::Initialising && initStep_ == step && initModule_ == module &&
         initAddress_ == address;
}

ModuleRecord* CommandChannel::OwnedRecord(std::int64_t module) {
  if (!ValidModule(module)) return nullptr;
  ModuleRecord& record = (*table_)[static_cast<std::size_t>(module)];
  return record.channel == this ? &record : nullptr;
}

void CommandChannel::Bind(ModuleRecord& record, std::uint32_t major, std::uint32_t minor, std::int32_t typeCode) {
  record.present = 1;
  record.channel = this;
  record.versionMajor = major;
  record.versionMinor = minor;
  record.typeCode = typeCode;
}

void CommandChannel::StoreLastReply(std::int64_t module, std::string_view line) {
  if (ModuleRecord* record = OwnedRecord(module)) {
    record->lastReply.assign(WithoutCr(line));
    record->replyPending = false;
  }
}

void CommandChannel::TraceReceived(std::string_view line) const {
  if (portType_ == PortType::Serial) {
    TraceSerialReceived(portKey_, line);
  } else if (portType_ == PortType::Usb) {
    char label[48];
    TraceText(UsbLabel(label, sizeof label, "RX", portKey_), line);
  } else {
    TraceText("RX ???", line);
  }
}

void CommandChannel::HandlePacket(const char* packet) {
  const int word = (packet[0] - '0') / 2;
  const int module = versionMajor_ == 0 ? 1 : moduleNumber_;
  const std::uint32_t value = static_cast<std::uint32_t>(static_cast<unsigned char>(packet[1])) << 8 |
                              static_cast<unsigned char>(packet[2]);
  ModuleRecord* record = OwnedRecord(module);
  if (record == nullptr) return;
  const std::uint64_t generation = generation_;
  UpdateInputWord(*record, word, value, *host_);
  if (generation_ == generation) {
    TraceBinaryWord(portKey_, static_cast<unsigned long>(word), value);
  }
}

ReplyOutcome CommandChannel::ParseInputReport(std::string_view fields, std::string_view line, const char* pattern,
                                              bool continuesDialogue) {
  ReplyFields f;
  if (!MatchReply(pattern, fields, f)) return ReplyOutcome::Discarded;
  const std::int64_t m = f.number[0];
  const int address = static_cast<int>(f.number[1]);
  ModuleRecord* record = OwnedRecord(m);
  if (record == nullptr || address / 2 >= kInputWords) return ReplyOutcome::Discarded;
  StoreLastReply(m, line);

  const bool advance = continuesDialogue && Expecting(InitStep::InputWord, static_cast<int>(m), address);
  const std::uint64_t generation = generation_;
  UpdateInputWord(*record, address / 2, static_cast<std::uint32_t>(f.number[2]), *host_);
  if (!advance || generation_ != generation || !Expecting(InitStep::InputWord, static_cast<int>(m), address)) {
    return ReplyOutcome::Consumed;
  }
  const int module = static_cast<int>(m);
  if (address > 0) {
    record->typeCode |= type_code::kExtendedWords;
    Expect(InitStep::InputWord, module, address - 2);
    SendCommand(command::ReadInputWord(module, address - 2));
  } else {
    const int outputAddress = record->HasType(type_code::kExtendedWords) ? 4 : 0;
    Expect(InitStep::OutputWord, module, outputAddress);
    SendCommand(command::ReadOutputWord(module, outputAddress));
  }
  return ReplyOutcome::Consumed;
}

ReplyOutcome CommandChannel::ParseReply(const char* line, std::size_t length) {
  if (line == nullptr || length == 0) return ReplyOutcome::Discarded;
  const std::string_view text(line, length);
  const char first = line[0];
  if (first < '2' || first > '8') TraceReceived(WithoutCr(text));

  if (length == 1) {
    if (first != '\r') return ReplyOutcome::Discarded;
    if (ModuleRecord* record = OwnedRecord(moduleNumber_)) {
      record->lastReply.clear();
      record->replyPending = false;
    }
    return ReplyOutcome::Consumed;
  }

  if (IsPacketDigit(first)) {
    if (length < 4) return ReplyOutcome::Incomplete;
    if (length > 4 || line[3] != '\r') return ReplyOutcome::Discarded;
    HandlePacket(line);
    return ReplyOutcome::Consumed;
  }

  const std::string_view rest = text.substr(1);
  ReplyFields f;
  switch (first) {
    case 'E':
      return ParseInputReport(rest, text, "W%1d.%1d=%4X", true);
    case 'e':
      return ParseInputReport(rest, text, "%1d%1d%4X", false);
    case '#':
      return ParseInputReport(rest, text, "H%1d%1d%4X", false);

    case 'A': {
      if (!MatchReply("W%1d.%1d=%4X", rest, f)) return ReplyOutcome::Discarded;
      const std::int64_t m = f.number[0];
      const int address = static_cast<int>(f.number[1]);
      ModuleRecord* record = OwnedRecord(m);
      if (record == nullptr || address / 2 >= kOutputWords) return ReplyOutcome::Discarded;
      StoreLastReply(m, text);
      const auto w = static_cast<std::size_t>(address / 2);
      record->outputWords[w] = static_cast<std::uint32_t>(f.number[2]) & 0xFFFF;
      record->outputPending[w] = false;
      const int module = static_cast<int>(m);
      if (Expecting(InitStep::OutputWord, module, address)) {
        if (address > 0) {
          Expect(InitStep::OutputWord, module, address - 2);
          SendCommand(command::ReadOutputWord(module, address - 2));
        } else {
          Expect(InitStep::Timer, module, 0);
          SendCommand(command::InitialiseTimer(module));
        }
      }
      return ReplyOutcome::Consumed;
    }

    case 'C': {
      // The length tells an acknowledgement of "MC" from a counter value.
      if (length == 7 && MatchReply("%1d.%1d=%1d", rest, f)) {
        if (!ValidModule(f.number[0]) || f.number[1] > 1 || f.number[2] > 1) return ReplyOutcome::Discarded;
        StoreLastReply(f.number[0], text);
        return ReplyOutcome::Consumed;
      }
      if (length == 10 && MatchReply("%1d.%1d=%4X", rest, f)) {
        ModuleRecord* record = OwnedRecord(f.number[0]);
        if (record == nullptr || f.number[1] > 1) return ReplyOutcome::Discarded;
        StoreLastReply(f.number[0], text);
        const auto c = static_cast<std::size_t>(f.number[1]);
        record->counterValues[c] = static_cast<std::uint32_t>(f.number[2]) & 0xFFFF;
        record->counterPending[c] = false;
        return ReplyOutcome::Consumed;
      }
      return ReplyOutcome::Discarded;
    }

    case 'D': {
      if (line[1] == 'E') {
        if (!MatchReply("W%1d.8", text.substr(2), f)) return ReplyOutcome::Discarded;
        const std::int64_t m = f.number[0];
        ModuleRecord* record = OwnedRecord(m);
        if (record == nullptr) return ReplyOutcome::Discarded;
        StoreLastReply(m, text);
        const int module = static_cast<int>(m);
        if (Expecting(InitStep::InputWord, module, 8)) {
          // Only an R16 echoes the read of word 4: it has word 0 alone.
          record->typeCode = type_code::kR16;
          Expect(InitStep::InputWord, module, 0);
          SendCommand(command::ReadInputWord(module, 0));
        }
        return ReplyOutcome::Consumed;
      }
      if (line[1] == 'V' && length == 3 && line[2] == '\r') {
        if (state_ == ChannelState::Opening) {
          // A module without a version report answers for modules 1..n.
          versionMajor_ = 0;
          versionMinor_ = 0;
          int duplicates[kModuleCount];
          int duplicateCount = 0;
          for (int r = 1; r <= moduleNumber_ && r <= kModuleCount; ++r) {
            ModuleRecord& record = (*table_)[static_cast<std::size_t>(r)];
            if (record.present == 0) {
              Bind(record, 0, 0, record.typeCode);
            } else {
              duplicates[duplicateCount++] = r;
            }
          }
          state_ = ChannelState::Ready;
          StoreLastReply(moduleNumber_, text);
          const std::uint64_t generation = generation_;
          for (int k = 0; k < duplicateCount && generation_ == generation; ++k) {
            char message[64];
            std::snprintf(message, sizeof message, "Modulnummer %d mehrfach im System verwendet!", duplicates[k]);
            host_->ShowMessage(message);
          }
          return ReplyOutcome::Consumed;
        }
        StoreLastReply(moduleNumber_, text);
        return ReplyOutcome::Consumed;
      }
      return ReplyOutcome::Discarded;
    }

    case 'V': {
      if (!MatchReply("=%1d.%2d", rest, f)) return ReplyOutcome::Discarded;
      if (state_ != ChannelState::Opening) {
        StoreLastReply(moduleNumber_, text);
        return ReplyOutcome::Consumed;
      }
      versionMajor_ = static_cast<std::uint32_t>(f.number[0]);
      versionMinor_ = static_cast<std::uint32_t>(f.number[1]);
      bool duplicate = false;
      if (ValidModule(moduleNumber_)) {
        ModuleRecord& record = (*table_)[static_cast<std::size_t>(moduleNumber_)];
        if (record.present == 0) {
          Bind(record, versionMajor_, versionMinor_, versionMajor_ == 1 ? type_code::kR6 : type_code::kUSB);
        } else {
          duplicate = true;
        }
      }
      state_ = ChannelState::Ready;
      StoreLastReply(moduleNumber_, text);
      if (duplicate) {
        char message[64];
        std::snprintf(message, sizeof message, "Modulnummer %d mehrfach im System verwendet!", moduleNumber_);
        host_->ShowMessage(message);
      }
      return ReplyOutcome::Consumed;
    }

    case 's': {
      if (!MatchReply("etup%1d", rest, f)) return ReplyOutcome::Discarded;
      const std::int64_t n = f.number[0];
      if (state_ == ChannelState::Opening && ValidModule(n)) {
        moduleNumber_ = static_cast<int>(n);
        StoreLastReply(n, text);
        SendCommand(command::kVersion);
        return ReplyOutcome::Consumed;
      }
      StoreLastReply(n, text);
      if (state_ == ChannelState::Closing) state_ = ChannelState::Closed;
      return ReplyOutcome::Consumed;
    }

    case 'T': {
      if (!MatchReply("%1d=%X", rest, f)) return ReplyOutcome::Discarded;
      ModuleRecord* record = OwnedRecord(f.number[0]);
      if (record == nullptr) return ReplyOutcome::Discarded;
      StoreLastReply(f.number[0], text);
      const int module = static_cast<int>(f.number[0]);
      if (Expecting(InitStep::Timer, module, 0)) {
        if (record->HasType(type_code::kExtendedWords)) {
          Expect(InitStep::FilterMask, module, 0);
          SendCommand(command::FilterMask(module, 0x20));
        } else {
          Expect(InitStep::None, 0, 0);
          state_ = ChannelState::Ready;
        }
      }
      return ReplyOutcome::Consumed;
    }

    case 'M': {
      if (MatchReply("E=%1d", rest, f)) {
        StoreLastReply(moduleNumber_, text);
        if (state_ == ChannelState::Initialising && initStep_ == InitStep::End) {
          Expect(InitStep::None, 0, 0);
          state_ = ChannelState::Ready;
        }
        return ReplyOutcome::Consumed;
      }
      if (!MatchReply("%1d=%2X", rest, f)) return ReplyOutcome::Discarded;
      StoreLastReply(f.number[0], text);
      const int module = static_cast<int>(f.number[0]);
      if (OwnedRecord(module) != nullptr && Expecting(InitStep::FilterMask, module, 0)) {
        Expect(InitStep::AutoSend, module, 0);
        SendCommand(command::AutoSendMask(module, 0));
      }
      return ReplyOutcome::Consumed;
    }

    case 'S': {
      if (!MatchReply("%1d=%2X", rest, f)) return ReplyOutcome::Discarded;
      ModuleRecord* record = OwnedRecord(f.number[0]);
      if (record == nullptr) return ReplyOutcome::Discarded;
      StoreLastReply(f.number[0], text);
      const auto mask = static_cast<std::uint32_t>(f.number[1]);
      for (int w = 1; w < kInputWords; ++w) record->inputAutoSent[static_cast<std::size_t>(w)] = (mask >> (w - 1)) & 1u;
      const int module = static_cast<int>(f.number[0]);
      if (Expecting(InitStep::AutoSend, module, 0)) {
        Expect(InitStep::End, module, 0);
        SendCommand(command::kEndInitialisation);
      }
      return ReplyOutcome::Consumed;
    }

    case 'B':
      if (!MatchReply("%1d=%1d", rest, f)) return ReplyOutcome::Discarded;
      StoreLastReply(f.number[0], text);
      return ReplyOutcome::Consumed;
    case 'F':
      if (!MatchReply("%1d=%2X", rest, f)) return ReplyOutcome::Discarded;
      StoreLastReply(f.number[0], text);
      return ReplyOutcome::Consumed;
    case 'G':
      if (!MatchReply("%1d.%d=%f", rest, f)) return ReplyOutcome::Discarded;
      StoreLastReply(f.number[0], text);
      return ReplyOutcome::Consumed;
    case 'R':
      if (!MatchReply("A%1d=%d", rest, f) && !MatchReply("E%1d=%d", rest, f)) return ReplyOutcome::Discarded;
      StoreLastReply(f.number[0], text);
      return ReplyOutcome::Consumed;
    case 'U':
      if (!MatchReply("%1d.%2X=%2X", rest, f)) return ReplyOutcome::Discarded;
      StoreLastReply(f.number[0], text);
      return ReplyOutcome::Consumed;
    default:
      return ReplyOutcome::Discarded;
  }
}

bool CommandChannel::IsUsbUpdateAvailable() const {
  if (portType_ != PortType::Usb) return false;
  const auto* port = dynamic_cast<const CUSBPort*>(transport_.get());
  return port != nullptr && port->DeviceIndex() >= 0 && port->IsUpdateCapable();
}

int CommandChannel::RewriteUsbIdentity(bool miniVariant) {
  if (!IsUsbUpdateAvailable()) return -1;
  char text[48];
  std::snprintf(text, sizeof text, "Updating Brimlink Module %u", static_cast<unsigned>(moduleNumber_));
  TracePlain(text);
  return static_cast<CUSBPort*>(transport_.get())->RewriteIdentity(miniVariant);
}

}  // namespace brimlink::link
