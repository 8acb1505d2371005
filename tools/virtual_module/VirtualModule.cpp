#include "tools/virtual_module/VirtualModule.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <iterator>
#include <utility>

namespace brimlink::sim {

namespace {

// Longest command the module assembles; anything longer is line noise.
constexpr std::size_t kMaxCommand = 1024;

// Reads the fields of a command left to right. Every reader fails without
// consuming on a mismatch, so a command parses or is echoed as a whole.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : rest_(text) {}

  bool Lit(std::string_view literal) {
    if (!rest_.starts_with(literal)) return false;
    rest_.remove_prefix(literal.size());
    return true;
  }

  // Unsigned decimal; nine digits at most so it always fits an int.
  bool Dec(int& value) {
    std::size_t n = 0;
    while (n < rest_.size() && IsDigit(rest_[n])) ++n;
    if (n == 0 || n > 9) return false;
    value = 0;
    std::from_chars(rest_.data(), rest_.data() + n, value);
    rest_.remove_prefix(n);
    return true;
  }

  bool SignedDec(int& value) {
    const std::string_view start = rest_;
    const bool negative = Lit("-");
    if (!Dec(value)) {
      rest_ = start;
      return false;
    }
    if (negative) value = -value;
    return true;
  }

  bool Hex(unsigned& value, std::size_t maxDigits) {
    std::size_t n = 0;
    while (n < rest_.size() && std::isxdigit(static_cast<unsigned char>(rest_[n]))) ++n;
    if (n == 0 || n > maxDigits) return false;
    value = 0;
    std::from_chars(rest_.data(), rest_.data() + n, value, 16);
    rest_.remove_prefix(n);
    return true;
  }

  // A plain decimal fraction ("1.5", "-0.25", "3"). from_chars alone would
  // also take "inf", "nan" and exponents, which no control sends.
  bool Fraction(double& value) {
    std::size_t n = (!rest_.empty() && rest_[0] == '-') ? 1 : 0;
    std::size_t digits = 0;
    bool point = false;
    for (; n < rest_.size(); ++n) {
      if (IsDigit(rest_[n])) {
        ++digits;
      } else if (rest_[n] == '.' && !point) {
        point = true;
      } else {
        break;
      }
    }
    if (digits == 0) return false;
    const auto result = std::from_chars(rest_.data(), rest_.data() + n, value);
    if (result.ec != std::errc{} || result.ptr != rest_.data() + n) return false;
    rest_.remove_prefix(n);
    return true;
  }

  bool End() const { return rest_.empty(); }

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  std::string_view rest_;
};

// Builds one reply line. Replies are short, so the string stays in its
// small buffer and formatting never depends on the host's locale.
class Line {
 public:
  Line& Text(std::string_view text) {
    out_.append(text);
    return *this;
  }
  Line& Dec(int value) {
    std::array<char, 16> buf{};
    const auto result = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    out_.append(buf.data(), result.ptr);
    return *this;
  }
  Line& Hex(unsigned value, int width) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::array<char, 8> buf{};
    int n = 0;
    do {
      buf[static_cast<std::size_t>(n++)] = kDigits[value & 0xF];
      value >>= 4;
    } while (value != 0 && n < 8);
    while (n < width && n < 8) buf[static_cast<std::size_t>(n++)] = '0';
    while (n > 0) out_.push_back(buf[static_cast<std::size_t>(--n)]);
    return *this;
  }
  // "%.2f" of the C locale.
  bool Fixed2(double value) {
    std::array<char, 400> buf{};
    const auto result = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                      std::chars_format::fixed, 2);
    if (result.ec != std::errc{}) return false;
    out_.append(buf.data(), result.ptr);
    return true;
  }
  std::string_view View() const { return out_; }

 private:
  std::string out_;
};

char ToUpper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

}  // namespace

ModuleConfig ModuleConfig::Defaults(Model model, int number) {
  ModuleConfig config;
  config.model = model;
  config.number = number;
  config.word0Report = Word0Report::EW;
  switch (model) {
    case Model::R6:
      config.echoDV = false;
      config.versionMajor = 1;
      config.versionMinor = 5;
      break;
    case Model::R16:
    case Model::R8A:
      // Firmware from before the version report: "DV" comes back as an echo.
      config.echoDV = true;
      config.versionMajor = 0;
      config.versionMinor = 0;
      break;
    case Model::USB:
      config.echoDV = false;
      config.versionMajor = 2;
      config.versionMinor = 10;
      break;
  }
  return config;
}

std::optional<Model> ParseModel(std::string_view text) {
  static constexpr std::pair<std::string_view, Model> kNames[] = {
      {"R6", Model::R6}, {"R16", Model::R16}, {"R8A", Model::R8A}, {"USB", Model::USB}};
  for (const auto& [name, model] : kNames) {
    if (std::ranges::equal(text, name, [](char a, char b) { return ToUpper(a) == b; })) {
      return model;
    }
  }
  return std::nullopt;
}

const char* ModelName(Model model) {
  switch (model) {
    case Model::R6: return "R6";
    case Model::R16: return "R16";
    case Model::R8A: return "R8A";
    case Model::USB: return "USB";
  }
  return "?";
}

VirtualModule::VirtualModule(ModuleConfig config)
    : config_(std::move(config)),
      // xorshift never leaves zero, so a zero seed gets a fixed stand-in.
      garbageState_(config_.garbageSeed != 0 ? config_.garbageSeed : 0x9E3779B9u) {}

void VirtualModule::Receive(std::string_view bytes, Millis now) {
  for (const char c : bytes) {
    if (c == '\n') continue;
    if (c == '\r') {
      if (overlong_) {
        overlong_ = false;
      } else {
        received_.push_back(pending_);
        HandleCommand(pending_, now);
      }
      pending_.clear();
      continue;
    }
    if (overlong_) continue;
    if (pending_.size() >= kMaxCommand) {
      // Drop the whole line up to its CR; its tail alone would be a bogus command.
      overlong_ = true;
      pending_.clear();
      continue;
    }
    pending_.push_back(c);
  }
}

std::size_t VirtualModule::TakeOutput(Millis now, char* dest, std::size_t capacity) {
  std::size_t n = 0;
  if (dest == nullptr) return 0;
  while (n < capacity && !queue_.empty() && queue_.front().due <= now) {
    const QueuedByte next = queue_.front();
    queue_.pop_front();
    dest[n++] = next.byte;
    if (next.chunkEnd || config_.faults.splitBytes) break;
  }
  return n;
}

std::optional<Millis> VirtualModule::NextDue() const {
  if (queue_.empty()) return std::nullopt;
  return queue_.front().due;
}

void VirtualModule::SetInputWord(int word, std::uint16_t value, Millis now) {
  if (word < 0 || word >= InputWordCount()) return;
  const auto index = static_cast<std::size_t>(word);
  if (inputs_[index] == value) return;
  inputs_[index] = value;
  if (word == 0) {
    ReportWord0(now);
    return;
  }
  if ((registers_.autoSendMask & (1u << (word - 1))) == 0) return;
  const char packet[4] = {static_cast<char>('0' + 2 * word), static_cast<char>(value >> 8),
                          static_cast<char>(value & 0xFF), '\r'};
  ReplyRaw(std::string_view(packet, sizeof packet), now);
}

std::uint16_t VirtualModule::InputWord(int word) const {
  return (word >= 0 && word < 5) ? inputs_[static_cast<std::size_t>(word)] : 0;
}

std::uint16_t VirtualModule::OutputWord(int word) const {
  return (word >= 0 && word < 3) ? outputs_[static_cast<std::size_t>(word)] : 0;
}

std::uint16_t VirtualModule::Counter(int index) const {
  return (index == 0 || index == 1) ? counters_[static_cast<std::size_t>(index)] : 0;
}

void VirtualModule::SetCounter(int index, std::uint16_t value) {
  if (index == 0 || index == 1) counters_[static_cast<std::size_t>(index)] = value;
}

bool VirtualModule::BaudMatches() const {
  return config_.onlyBaud == 0 || lineBaud_ == config_.onlyBaud;
}

bool VirtualModule::Answers() const { return !config_.faults.silent && BaudMatches(); }

bool VirtualModule::HasExtendedWords() const {
  return config_.model == Model::R8A || config_.model == Model::USB;
}

int VirtualModule::InputWordCount() const { return HasExtendedWords() ? 5 : 1; }

int VirtualModule::OutputWordCount() const { return HasExtendedWords() ? 3 : 1; }

void VirtualModule::ReportWord0(Millis now) {
  const int m = config_.number;
  Line line;
  switch (config_.word0Report) {
    case Word0Report::EW: line.Text("EW").Dec(m).Text(".0="); break;
    case Word0Report::LowerE: line.Text("e").Dec(m).Text("0"); break;
    case Word0Report::HashH: line.Text("#H").Dec(m).Text("0"); break;
  }
  line.Hex(inputs_[0], 4);
  Reply(line.View(), now);
}

void VirtualModule::Reply(std::string_view text, Millis now) { Emit(text, true, now); }

void VirtualModule::ReplyRaw(std::string_view bytes, Millis now) { Emit(bytes, false, now); }

void VirtualModule::Emit(std::string_view bytes, bool addCr, Millis now) {
  if (!Answers()) return;
  // Bytes leave in queue order, so a later reply is never due before an
  // earlier one even when slowMs is lowered in between.
  Millis due = now + Millis(std::max(0, config_.faults.slowMs));
  if (!queue_.empty()) due = std::max(due, queue_.back().due);
  const bool split = config_.faults.splitBytes;
  auto push = [&](std::string_view part) {
    for (const char c : part) queue_.push_back({due, c, split});
  };
  if (config_.faults.garbage) push(GarbageLine());
  push(bytes);
  if (addCr) push("\r");
}

std::uint32_t VirtualModule::NextRandom() {
  std::uint32_t x = garbageState_;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  garbageState_ = x;
  return x;
}

std::string VirtualModule::GarbageLine() {
  // The first byte must not be one the control dispatches on (a packet digit
  // or a reply letter), or the noise could pass for a reply.
  static constexpr char kFirst[] = {'x', '~', '?', '!', 'z'};
  const std::size_t length = 3 + NextRandom() % 10;
  std::string line;
  line.reserve(length + 1);
  line.push_back(kFirst[NextRandom() % sizeof kFirst]);
  while (line.size() < length) line.push_back(static_cast<char>(0x20 + NextRandom() % 95));
  line.push_back('\r');
  return line;
}

void VirtualModule::HandleCommand(std::string_view command, Millis now) {
  // At a foreign line speed the module sees only noise.
  if (!BaudMatches()) return;

  const int self = config_.number;
  const bool extended = HasExtendedWords();
  // Old firmware echoes whatever it does not understand.
  auto echo = [&] { Reply(command, now); };

  if (command.empty() || command == "setup0") {
    Reply(Line().Text("setup").Dec(self).View(), now);
    return;
  }
  if (command == "DV") {
    if (config_.echoDV) {
      echo();
    } else {
      Reply(Line().Text("V=").Dec(config_.versionMajor).Text(".").Dec(config_.versionMinor).View(),
            now);
    }
    return;
  }

  int m = 0;
  if (command.starts_with("DEW") || command.starts_with("DAW")) {
    const bool input = command[1] == 'E';
    Cursor c(command.substr(3));
    int a = 0;
    if (!(c.Dec(m) && c.Lit(".") && c.Dec(a) && c.End())) return echo();
    if (m != self) return;
    const int count = input ? InputWordCount() : OutputWordCount();
    if (a % 2 != 0 || a / 2 >= count) return echo();  // e.g. R16 and "DEW m.8"
    const std::uint16_t value = input ? inputs_[a / 2] : outputs_[a / 2];
    Reply(Line().Text(input ? "EW" : "AW").Dec(m).Text(".").Dec(a).Text("=").Hex(value, 4).View(),
          now);
    return;
  }
  if (command.starts_with("MAW")) {
    Cursor c(command.substr(3));
    int a = 0;
    unsigned value = 0;
    if (!(c.Dec(m) && c.Lit(".") && c.Dec(a) && c.Lit("=") && c.Hex(value, 4) && c.End())) {
      return echo();
    }
    if (m != self) return;
    if (a % 2 != 0 || a / 2 >= OutputWordCount()) return echo();
    const int word = a / 2;
    outputs_[word] = static_cast<std::uint16_t>(value);
    if (onOutputWritten) onOutputWritten(word, outputs_[word]);
    if (config_.model == Model::R8A || config_.faults.neverAckWrites) return;
    Reply(Line().Text("AW").Dec(m).Text(".").Dec(a).Text("=").Hex(outputs_[word], 4).View(), now);
    return;
  }
  if (command.starts_with("MME")) {
    if (!extended) return echo();
    Cursor c(command.substr(3));
    int digit = 0;
    if (!(c.Lit("=") && c.Dec(digit) && c.End() && digit <= 9)) return echo();
    Reply(Line().Text("ME=").Dec(digit).View(), now);
    return;
  }

  // Single-byte registers "M<r>m=XX", answered "<r>m=XX".
  struct ByteRegister {
    char letter;
    bool extendedOnly;
    std::uint8_t Registers::*field;
  };
  static constexpr ByteRegister kByteRegisters[] = {
      {'T', false, &Registers::timer},
      {'M', true, &Registers::filterMask},
      {'S', false, &Registers::autoSendMask},
      {'F', true, &Registers::forcedDisplay},
  };
  for (const auto& reg : kByteRegisters) {
    if (command.size() < 2 || command[0] != 'M' || command[1] != reg.letter) continue;
    if (reg.extendedOnly && !extended) return echo();
    Cursor c(command.substr(2));
    unsigned value = 0;
    if (!(c.Dec(m) && c.Lit("=") && c.Hex(value, 2) && c.End())) return echo();
    if (m != self) return;
    registers_.*reg.field = static_cast<std::uint8_t>(value);
    const char letter[2] = {reg.letter, '\0'};
    Reply(Line().Text(letter).Dec(m).Text("=").Hex(value, 2).View(), now);
    return;
  }

  if (command.starts_with("MU")) {
    if (!extended) return echo();
    Cursor c(command.substr(2));
    unsigned channel = 0, unit = 0;
    if (!(c.Dec(m) && c.Lit(".") && c.Hex(channel, 2) && c.Lit("=") && c.Hex(unit, 2) && c.End())) {
      return echo();
    }
    if (m != self) return;
    if (channel < std::size(registers_.units)) {
      registers_.units[channel] = static_cast<std::uint8_t>(unit);
    }
    Reply(Line().Text("U").Dec(m).Text(".").Hex(channel, 2).Text("=").Hex(unit, 2).View(), now);
    return;
  }
  if (command.starts_with("MG")) {
    if (!extended) return echo();
    Cursor c(command.substr(2));
    int channel = 0;
    double gain = 0.0;
    if (!(c.Dec(m) && c.Lit(".") && c.Dec(channel) && c.Lit("=") && c.Fraction(gain) && c.End())) {
      return echo();
    }
    if (m != self) return;
    Line line;
    line.Text("G").Dec(m).Text(".").Dec(channel).Text("=");
    if (!line.Fixed2(gain)) return echo();
    if (channel < static_cast<int>(std::size(registers_.gains))) registers_.gains[channel] = gain;
    Reply(line.View(), now);
    return;
  }
  if (command.starts_with("MRE") || command.starts_with("MRA")) {
    if (!extended) return echo();
    const bool output = command[2] == 'A';
    Cursor c(command.substr(3));
    int range = 0;
    if (!(c.Dec(m) && c.Lit("=") && c.SignedDec(range) && c.End())) return echo();
    if (m != self) return;
    (output ? registers_.outputRange : registers_.inputRange) = range;
    Reply(Line().Text(output ? "RA" : "RE").Dec(m).Text("=").Dec(range).View(), now);
    return;
  }
  if (command.starts_with("MB")) {
    Cursor c(command.substr(2));
    int value = 0;
    if (!(c.Dec(m) && c.Lit("=") && c.SignedDec(value) && c.End())) return echo();
    if (m != self) return;
    registers_.b = value;
    Reply(Line().Text("B").Dec(m).Text("=").Dec(value).View(), now);
    return;
  }
  if (command.starts_with("MC")) {
    Cursor c(command.substr(2));
    int counter = 0, activate = 0;
    if (!(c.Dec(m) && c.Lit(".") && c.Dec(counter) && c.Lit("=") && c.Dec(activate) && c.End())) {
      return echo();
    }
    if (m != self) return;
    if (counter > 1 || activate > 1) return echo();
    registers_.counterActive[counter] = activate == 1;
    Reply(Line().Text("C").Dec(m).Text(".").Dec(counter).Text("=").Dec(activate).View(), now);
    return;
  }
  if (command.starts_with("DC")) {
    Cursor c(command.substr(2));
    int counter = 0;
    if (!(c.Dec(m) && c.Lit(".") && c.Dec(counter) && c.End())) return echo();
    if (m != self) return;
    if (counter > 1) return echo();
    Reply(Line().Text("C").Dec(m).Text(".").Dec(counter).Text("=").Hex(counters_[counter], 4).View(),
          now);
    return;
  }
  echo();
}

}  // namespace brimlink::sim
