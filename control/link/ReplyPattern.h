// Matching of a reply line against its pattern, the way the module firmware's
// replies were always read: conversions behave like scanf's ("%1d" one decimal
// digit, "%2d" up to two, "%d" any number, "%4X"/"%2X"/"%X" up to 4, 2 or any
// number of hexadecimal digits, "%f" a decimal fraction; numeric conversions
// skip leading white space and take a sign), every other pattern character
// must match exactly, and the line's CR must follow the last field. Locale
// independent; never reads past the text.
#pragma once

#include <cstdint>
#include <string_view>

namespace brimlink::link {

struct ReplyFields {
  static constexpr int kMax = 4;
  std::int64_t number[kMax] = {};  // %d and %X fields in order (%X as unsigned 32-bit)
  double real = 0.0;               // the %f field
  int count = 0;                   // fields assigned
};

// True when every field of `pattern` matched and a CR follows them.
bool MatchReply(std::string_view pattern, std::string_view text, ReplyFields& fields);

}  // namespace brimlink::link
