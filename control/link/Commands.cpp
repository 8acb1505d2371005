#include "control/link/Commands.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>

namespace brimlink::link {

CommandText FormatCommand(const char* format, ...) {
  CommandText command;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(command.text_, CommandText::kCapacity, format, args);
  va_end(args);
  command.length_ = n < 0 ? 0 : std::min(static_cast<std::size_t>(n), CommandText::kCapacity - 1);
  return command;
}

namespace command {

// Masks and register values are two hex digits of the caller's int, printed
// as C prints an int with %02X.
static unsigned U(int v) { return static_cast<unsigned>(v); }

CommandText ReadInputWord(int m, int address) { return FormatCommand("DEW%d.%1d", m, address); }
CommandText ReadOutputWord(int m, int address) { return FormatCommand("DAW%d.%1d", m, address); }
CommandText WriteOutputWord(int m, int address, unsigned value) {
  return FormatCommand("MAW%d.%1d=%04X", m, address, value & 0xFFFFu);
}
CommandText InitialiseTimer(int m) { return FormatCommand("MT%d=01", m); }
CommandText StartTimer(int m) { return FormatCommand("MT%d=10", m); }
CommandText StopTimer(int m) { return FormatCommand("MT%d=00", m); }
CommandText FilterMask(int m, int mask) { return FormatCommand("MM%d=%02X", m, U(mask)); }
CommandText AutoSendMask(int m, int mask) { return FormatCommand("MS%d=%02X", m, U(mask)); }
CommandText ForceDisplay(int m, int channel) { return FormatCommand("MF%d=%02X", m, U(channel)); }
CommandText DisplayUnit(int m, int channel, int unit) {
  return FormatCommand("MU%d.%02X=%02X", m, U(channel), U(unit));
}
CommandText Gain(int m, int channel, float gain) {
  // "%.2f" in the "C" locale whatever locale the host set: the module reads a point.
  char number[64];
  const auto result = std::to_chars(number, number + sizeof number - 1, static_cast<double>(gain),
                                    std::chars_format::fixed, 2);
  *result.ptr = '\0';
  return FormatCommand("MG%d.%d=%s", m, channel, number);
}
CommandText MeasuringRange(int m, int inOut, int range) {
  return FormatCommand(inOut == 0 ? "MRE%d=%d" : "MRA%d=%d", m, range);
}
CommandText StartCounter(int m, int counter, int activate) {
  return FormatCommand("MC%d.%d=%d", m, counter, activate);
}
CommandText ReadCounter(int m, int counter) { return FormatCommand("DC%d.%d", m, counter); }

}  // namespace command
}  // namespace brimlink::link
