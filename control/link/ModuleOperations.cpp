#include "control/link/ModuleOperations.h"

#include "control/link/CommandChannel.h"
#include "control/link/Commands.h"
#include "control/link/Trace.h"

namespace brimlink::link {

namespace {

// Waits up to steps × stepMs while `pending` stays set.
template <typename Pending>
void WaitWhile(Pending&& pending, int steps, int stepMs, ChannelHost& host) {
  for (int i = 0; i < steps && pending(); ++i) host.WaitPumping(stepMs);
}

}  // namespace

std::uint32_t ReadInputWord(ModuleRecord& record, int w, ChannelHost& host) {
  if (w < 0 || w >= kInputWords) return 0;
  const auto i = static_cast<std::size_t>(w);
  if (record.inputAutoSent[i]) return record.inputWords[i];
  if (record.channel == nullptr) return 0;
  record.inputPending[i] = 1;
  record.channel->SendCommand(command::ReadInputWord(record.moduleNumber, 2 * w));
  WaitWhile([&] { return record.inputPending[i] != 0; }, kReadSteps, kReadStepMs, host);
  return record.inputWords[i];
}

std::uint32_t ReadOutputWord(ModuleRecord& record, int w, ChannelHost& host) {
  if (w < 0 || w >= kOutputWords || record.channel == nullptr) return 0;
  const auto i = static_cast<std::size_t>(w);
  record.outputPending[i] = true;
  record.channel->SendCommand(command::ReadOutputWord(record.moduleNumber, 2 * w));
  WaitWhile([&] { return record.outputPending[i]; }, kReadSteps, kReadStepMs, host);
  return record.outputWords[i];
}

void WriteOutputWord(ModuleRecord& record, int w, std::uint32_t value, ChannelHost& host) {
  if (w < 0 || w >= kOutputWords || record.channel == nullptr) return;
  const auto i = static_cast<std::size_t>(w);
  value &= 0xFFFF;
  if (value == record.outputWords[i]) return;
  const CommandText text = command::WriteOutputWord(record.moduleNumber, 2 * w, value);
  const CommandChannel* channel = record.channel;
  record.outputPending[i] = true;
  for (int attempt = 1; attempt <= kWriteAttempts && record.outputPending[i]; ++attempt) {
    // A handler that ran during the last wait may have closed the channel.
    if (record.channel != channel) return;
    record.channel->SendCommand(text);
    if (record.typeCode == type_code::kR8A) {
      record.outputPending[i] = false;
      record.outputWords[i] = value;
      return;
    }
    WaitWhile([&] { return record.outputPending[i]; }, kWriteSteps, kWriteStepMs, host);
    if (record.outputPending[i] && attempt < kWriteAttempts)
      WaitWhile([&] { return record.outputPending[i]; }, kWriteRetrySteps, kWriteRetryStepMs, host);
  }
  // Acknowledged: the "AW" reply has stored the value the module holds. Not
  // acknowledged: the image keeps its old value.
  record.outputPending[i] = false;
}

std::uint32_t ReadCounter(ModuleRecord& record, int c, ChannelHost& host) {
  if (c < 0 || c >= kCounters || record.channel == nullptr) return 0;
  const auto i = static_cast<std::size_t>(c);
  record.counterPending[i] = true;
  record.channel->SendCommand(command::ReadCounter(record.moduleNumber, c));
  WaitWhile([&] { return record.counterPending[i]; }, kReadSteps, kReadStepMs, host);
  return record.counterValues[i];
}

bool RefuseTextWithNul(std::string_view text) {
  const std::size_t nul = text.find('\0');
  if (nul == std::string_view::npos) return false;
  TraceNumber("COMMAND_HAS_NUL", static_cast<unsigned long>(nul));
  return true;
}

void SendText(ModuleRecord& record, std::string_view text) {
  if (record.channel == nullptr || RefuseTextWithNul(text)) return;
  record.channel->SendCommand(text);
}

std::string SendAndReceive(ModuleRecord& record, std::string_view text, ChannelHost& host) {
  if (record.channel == nullptr || RefuseTextWithNul(text)) return {};
  record.replyPending = true;
  record.channel->SendCommand(text);
  WaitWhile([&] { return record.replyPending; }, kReadSteps, kReadStepMs, host);
  return record.replyPending ? std::string() : record.lastReply;
}

}  // namespace brimlink::link
