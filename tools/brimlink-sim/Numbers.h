// Number fields of the command line and the console: strict, so that "7x",
// "+7" or " 7" are refused rather than read as 7.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace brimlink::simtool {

// Plain decimal digits within [min, max].
inline std::optional<int> ParseDecimal(std::string_view text, int min, int max) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || text.front() == '-') {
    return std::nullopt;
  }
  if (value < min || value > max) return std::nullopt;
  return value;
}

// A 16-bit word: "0x" followed by hex digits, or decimal.
inline std::optional<std::uint16_t> ParseWord(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return static_cast<std::uint16_t>(value);
  }
  const auto value = ParseDecimal(text, 0, 0xFFFF);
  if (!value) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

}  // namespace brimlink::simtool
