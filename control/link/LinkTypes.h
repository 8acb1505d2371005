// Codes shared by the whole device link. Their numeric values are what hosts
// see through the control's methods and what trace lines show.
#pragma once

#include <cstdint>

namespace brimlink::link {

enum class PortType : int { None = 0, Serial = 1, Usb = 2 };

enum class ChannelState : int {
  Closed = 0,
  Opening = 1,
  Ready = 2,
  Initialising = 3,
  Closing = 4,
};

// Module type codes. The protocol tests two bit values of the code.
namespace type_code {
inline constexpr std::int32_t kNone = 0;
inline constexpr std::int32_t kR16 = 1;
inline constexpr std::int32_t kR8A = 2;
inline constexpr std::int32_t kUSB = 3;
inline constexpr std::int32_t kR6 = 5;
inline constexpr std::int32_t kExtendedWords = 2;    // analog words 1..4, outputs 1..2, filter mask
inline constexpr std::int32_t kSingleInputWord = 4;  // initialisation starts at word 0
}  // namespace type_code

inline constexpr int kModuleCount = 8;     // module numbers 1..8; record 0 is never bound
inline constexpr int kChannelCount = 8;
inline constexpr int kInputWords = 5;
inline constexpr int kOutputWords = 3;
inline constexpr int kCounters = 2;

}  // namespace brimlink::link
