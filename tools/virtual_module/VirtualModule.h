// A virtual interface module: the module's side of the line protocol.
//
// The module keeps no clock of its own. The caller passes the current time
// (milliseconds on any monotonic scale) with every call; replies become due at
// that time, or later when the "slow" fault is on, and the caller collects the
// bytes that are due with TakeOutput. This keeps the module deterministic: a
// test can run it in simulated time, a port can run it on the steady clock.
//
// Not thread-safe: one thread at a time (the ports that drive it lock around
// every call).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimlink::sim {

using Millis = std::chrono::milliseconds;

enum class Model { R6, R16, R8A, USB };

// How the module reports a change of input word 0 on its own.
enum class Word0Report {
  EW,      // "EW" m "." 0 "=" XXXX
  LowerE,  // "e" m 0 XXXX
  HashH,   // "#H" m 0 XXXX
};

struct Faults {
  bool silent = false;          // answers nothing at all
  int slowMs = 0;               // every reply and report becomes due this much later
  bool garbage = false;         // a line of noise before every reply
  bool splitBytes = false;      // output is handed out one byte per TakeOutput call
  bool neverAckWrites = false;  // "MAW" writes are applied but never answered
};

struct ModuleConfig {
  Model model = Model::USB;
  int number = 1;  // 0..9; 1..8 are valid module numbers
  // Answer to "DV": "V=" major "." minor, or the 3-byte echo "DV" when echoDV
  // is set. Defaults() fills these per model.
  bool echoDV = false;
  int versionMajor = 2;
  int versionMinor = 10;
  Word0Report word0Report = Word0Report::EW;
  // 0: answers at any line speed; otherwise only at this baud rate (the module
  // stays silent at any other rate, as a real one would answer with noise).
  int onlyBaud = 0;
  Faults faults;
  std::uint32_t garbageSeed = 1;

  // The usual configuration of each model: R6 reports version 1.5, R16 and
  // R8A echo "DV", USB reports version 2.10.
  static ModuleConfig Defaults(Model model, int number = 1);
};

// Parses "R6", "R16", "R8A", "USB" (any letter case).
std::optional<Model> ParseModel(std::string_view text);
const char* ModelName(Model model);

class VirtualModule {
 public:
  explicit VirtualModule(ModuleConfig config);

  const ModuleConfig& Config() const { return config_; }
  ModuleConfig& MutableConfig() { return config_; }

  // The line speed the host side is using now (see ModuleConfig::onlyBaud).
  void SetLineBaud(int baud) { lineBaud_ = baud; }

  // Bytes written by the host. Commands end in CR; a partial command is kept
  // until its CR arrives. Replies are queued, due at now (+ slowMs).
  void Receive(std::string_view bytes, Millis now);

  // Copies the bytes that are due at `now` into dest (at most capacity) and
  // removes them from the queue. With the splitBytes fault at most one byte.
  std::size_t TakeOutput(Millis now, char* dest, std::size_t capacity);
  // When the next queued byte becomes due; nullopt when nothing is queued.
  std::optional<Millis> NextDue() const;
  bool HasOutput() const { return !queue_.empty(); }

  // The module's inputs, as the wiring sets them. Word 0 is the digital word;
  // a change of word 0 is reported at once, a change of words 1..4 as a
  // binary packet when the auto-send mask ("MS") covers the word.
  void SetInputWord(int word, std::uint16_t value, Millis now);
  std::uint16_t InputWord(int word) const;

  std::uint16_t OutputWord(int word) const;
  std::uint8_t AutoSendMask() const { return registers_.autoSendMask; }
  std::uint16_t Counter(int index) const;
  void SetCounter(int index, std::uint16_t value);

  // Every complete command line received, without its CR, oldest first.
  const std::vector<std::string>& ReceivedCommands() const { return received_; }
  void ClearReceivedCommands() { received_.clear(); }

  // Called after every accepted output write with (word, value), so that a
  // console can show what the module was told to switch.
  std::function<void(int word, std::uint16_t value)> onOutputWritten;

 private:
  struct QueuedByte {
    Millis due;
    char byte;
    bool chunkEnd;  // with splitBytes every byte ends a chunk
  };
  struct Registers {
    std::uint8_t timer = 0, filterMask = 0, autoSendMask = 0, forcedDisplay = 0;
    std::uint8_t units[16] = {};
    double gains[16] = {};
    int inputRange = 0, outputRange = 0;
    int b = 0;
    bool counterActive[2] = {false, false};
  };

  void HandleCommand(std::string_view command, Millis now);
  void Reply(std::string_view text, Millis now);        // text without CR
  void ReplyRaw(std::string_view bytes, Millis now);    // bytes as they are
  void ReportWord0(Millis now);
  bool Answers() const;
  bool BaudMatches() const;
  void Emit(std::string_view bytes, bool addCr, Millis now);
  std::uint32_t NextRandom();
  bool HasExtendedWords() const;
  int InputWordCount() const;
  int OutputWordCount() const;
  std::string GarbageLine();

  ModuleConfig config_;
  int lineBaud_ = 0;
  std::string pending_;  // command bytes before their CR
  bool overlong_ = false;  // dropping a too long command up to its CR
  std::deque<QueuedByte> queue_;
  std::vector<std::string> received_;
  std::uint16_t inputs_[5] = {};
  std::uint16_t outputs_[3] = {};
  std::uint16_t counters_[2] = {};
  Registers registers_;
  std::uint32_t garbageState_;
};

}  // namespace brimlink::sim
