#include "control/link/ReplyPattern.h"

#include <charconv>
#include <cstddef>

namespace brimlink::link {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads one integer conversion at text[pos]. width 0: unlimited.
bool ReadInteger(std::string_view text, std::size_t& pos, std::size_t width, bool hex, std::int64_t& out) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  const std::size_t limit = width == 0 ? text.size() : std::min(text.size(), pos + width);
  std::size_t p = pos;
  bool negative = false;
  if (p < limit && (text[p] == '+' || text[p] == '-')) {
    negative = text[p] == '-';
    ++p;
  }
  if (hex && p + 2 < limit && text[p] == '0' && (text[p + 1] == 'x' || text[p + 1] == 'X') && HexValue(text[p + 2]) >= 0) {
    p += 2;
  }
  const std::uint64_t base = hex ? 16 : 10;
  const std::uint64_t maximum = hex ? 0xFFFFFFFFull : 0x7FFFFFFFull;
  std::uint64_t value = 0;
  const std::size_t first = p;
  while (p < limit) {
    const int digit = hex ? HexValue(text[p]) : (IsDigit(text[p]) ? text[p] - '0' : -1);
    if (digit < 0) break;
    value = value * base + static_cast<std::uint64_t>(digit);
    if (value > maximum) return false;  // scanf leaves this undefined; no reply needs it
    ++p;
  }
  if (p == first) return false;
  if (hex) {
    const auto u = static_cast<std::uint32_t>(negative ? (0u - static_cast<std::uint32_t>(value)) : value);
    out = u;
  } else {
    out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  }
  pos = p;
  return true;
}

bool ReadReal(std::string_view text, std::size_t& pos, double& out) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  std::size_t p = pos;
  if (p < text.size() && text[p] == '+') ++p;
  const char* begin = text.data() + p;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(begin, end, out, std::chars_format::general);
  if (error != std::errc{}) return false;
  pos = static_cast<std::size_t>(next - text.data());
  return true;
}

}  // namespace

bool MatchReply(std::string_view pattern, std::string_view text, ReplyFields& fields) {
  fields = ReplyFields{};
  std::size_t pos = 0;
  int numbers = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%') {
      if (pos >= text.size() || text[pos] != c) return false;
      ++pos;
      continue;
    }
    std::size_t width = 0;
    while (++i < pattern.size() && IsDigit(pattern[i])) width = width * 10 + static_cast<std::size_t>(pattern[i] - '0');
    if (i >= pattern.size()) return false;
    const char conversion = pattern[i];
    if (conversion == 'f') {
      if (!ReadReal(text, pos, fields.real)) return false;
    } else {
      if (numbers >= ReplyFields::kMax) return false;
      if (!ReadInteger(text, pos, width, conversion == 'X', fields.number[numbers++])) return false;
    }
    ++fields.count;
  }
  return pos < text.size() && text[pos] == '\r';
}

}  // namespace brimlink::link
