// Every command the control sends to a module, in one place. A command is
// ASCII text; the channel appends the CR when it sends it. `m` is the module
// number, `address` a word address (twice the word index).
#pragma once

#include <cstddef>
#include <string_view>

namespace brimlink::link {

class CommandText;
// printf-style formatting into a CommandText; never longer than its capacity.
CommandText FormatCommand(const char* format, ...) __attribute__((format(printf, 1, 2)));

class CommandText {
 public:
  static constexpr std::size_t kCapacity = 96;
  std::string_view View() const { return {text_, length_}; }
  operator std::string_view() const { return View(); }  // NOLINT: used where a command text is expected

 private:
  friend CommandText FormatCommand(const char* format, ...);
  char text_[kCapacity] = {};
  std::size_t length_ = 0;
};

namespace command {

inline constexpr std::string_view kEmpty = "";          // CR alone: opens every opening dialogue
inline constexpr std::string_view kSetup = "setup0";    // opening and closing dialogue
inline constexpr std::string_view kVersion = "DV";
inline constexpr std::string_view kEndInitialisation = "MME=4";

CommandText ReadInputWord(int m, int address);                 // "DEW%d.%1d"
CommandText ReadOutputWord(int m, int address);                // "DAW%d.%1d"
CommandText WriteOutputWord(int m, int address, unsigned value);  // "MAW%d.%1d=%04X", value cut to 16 bits
CommandText InitialiseTimer(int m);                            // "MT%d=01"
CommandText StartTimer(int m);                                 // "MT%d=10"
CommandText StopTimer(int m);                                  // "MT%d=00"
CommandText FilterMask(int m, int mask);                       // "MM%d=%02X"
CommandText AutoSendMask(int m, int mask);                     // "MS%d=%02X"
CommandText ForceDisplay(int m, int channel);                  // "MF%d=%02X"
CommandText DisplayUnit(int m, int channel, int unit);         // "MU%d.%02X=%02X"
CommandText Gain(int m, int channel, float gain);              // "MG%d.%d=%.2f", always with a decimal point
CommandText MeasuringRange(int m, int inOut, int range);       // "MRE%d=%d" (inOut 0) or "MRA%d=%d"
CommandText StartCounter(int m, int counter, int activate);    // "MC%d.%d=%d"
CommandText ReadCounter(int m, int counter);                   // "DC%d.%d"

}  // namespace command
}  // namespace brimlink::link
