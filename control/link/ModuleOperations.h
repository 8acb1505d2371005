// The module operations behind the control's read and write methods: each
// sends one command through the record's channel and waits, in bounded steps
// that keep the GUI thread's events flowing, for the reply that clears the
// record's pending flag.
//
// Threads: GUI thread only. During every wait received data is parsed and
// host code may run; it may close the record's channel. Each operation reads
// the record's channel afresh after every wait, so it never sends through a
// channel that has gone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "control/link/ChannelHost.h"
#include "control/link/ModuleRecord.h"

namespace brimlink::link {

// Steps of the waits: count × milliseconds.
inline constexpr int kReadSteps = 30;
inline constexpr int kReadStepMs = 5;
inline constexpr int kWriteAttempts = 3;
inline constexpr int kWriteSteps = 30;
inline constexpr int kWriteStepMs = 1;
inline constexpr int kWriteRetrySteps = 7;
inline constexpr int kWriteRetryStepMs = 10;

// Input word w (0..4): the image at once when the word is auto-sent, 0
// without a channel, else the image after asking the module ("DEW").
std::uint32_t ReadInputWord(ModuleRecord& record, int w, ChannelHost& host);
// Output word w (0..2) as the module reports it ("DAW"); 0 without a channel.
std::uint32_t ReadOutputWord(ModuleRecord& record, int w, ChannelHost& host);
// "MAW" with the low 16 bits of value, unless the image already holds them;
// up to three attempts. The image only ever takes a value the module
// acknowledged (its "AW" reply stores it), or, for an R8A, which never
// acknowledges, the value sent.
void WriteOutputWord(ModuleRecord& record, int w, std::uint32_t value, ChannelHost& host);
// Counter c (0..1) after asking the module ("DC"); 0 without a channel.
std::uint32_t ReadCounter(ModuleRecord& record, int c, ChannelHost& host);
// A host's raw text that no command line can carry: the transport's
// transmit buffer ends at a NUL, so the CR would never go out and the module
// would take the text and the next command as one. For such a text traces
// "COMMAND_HAS_NUL:\t<offset of the first NUL>" and returns true.
bool RefuseTextWithNul(std::string_view text);
// Sends text as one command line, unless it has a NUL (then nothing is sent).
void SendText(ModuleRecord& record, std::string_view text);
// Sends text as one command line and returns the module's next reply line
// without its CR; "" without a channel, without an answer in time, and at
// once for a text with a NUL, which is not sent.
std::string SendAndReceive(ModuleRecord& record, std::string_view text, ChannelHost& host);

}  // namespace brimlink::link
