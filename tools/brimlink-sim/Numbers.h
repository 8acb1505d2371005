// Number fields of the command line and the console: strict, so that "7x",
// "+7" or " 7" are refused rather than read as 7.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
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

// A plain decimal fraction ("2", "0.5", "1."), within [0, max]: digits and
// at most one dot only, so no sign, exponent, "inf" or "nan".
inline std::optional<double> ParseFraction(std::string_view text, double max) {
  if (text.empty() || text.size() > 12 || text == ".") return std::nullopt;
  if (!std::ranges::all_of(text, [](char c) { return (c >= '0' && c <= '9') || c == '.'; })) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || value < 0.0 || value > max) return std::nullopt;
  return value;
}

}  // namespace brimlink::simtool
