// ModuleRecord: the control's image of one module, and the input word update
// that every input report goes through.
//
// The control keeps nine records (index 0..8, index = module number); record 0
// is never bound. Records are only touched on the GUI thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "control/link/LinkTypes.h"

namespace brimlink::link {

class CommandChannel;

struct ModuleRecord {
  std::int32_t present = 0;
  std::int32_t typeCode = type_code::kNone;
  std::int16_t moduleNumber = 0;  // not reset: equals the record index
  CommandChannel* channel = nullptr;
  std::uint32_t versionMinor = 0;
  std::uint32_t versionMajor = 0;
  std::array<std::uint32_t, kCounters> counterValues{};
  std::array<bool, kCounters> counterPending{};
  std::array<std::uint32_t, kInputWords> inputWords{};
  std::array<bool, kInputWords> inputAutoSent{true, false, false, false, false};
  std::array<std::uint32_t, kInputWords> inputPending{};
  std::array<std::uint32_t, kOutputWords> outputWords{};
  std::array<bool, kOutputWords> outputPending{};
  std::string lastReply;
  bool replyPending = true;

  // Every field back to its reset value; the module number stays.
  void Reset();
  bool HasType(std::int32_t bit) const { return (typeCode & bit) != 0; }
};

// Records 0..8.
using ModuleTable = std::array<ModuleRecord, kModuleCount + 1>;

// Resets every record and numbers record i as module i.
void ResetModuleTable(ModuleTable& table);

// How an input change reaches the host: word 0 at once, words 1..4 through a
// posted notification that the control's receiver turns into the event later.
class InputWordEvents {
 public:
  virtual ~InputWordEvents() = default;
  virtual void RaiseInputWordChanged(int module, int word, std::uint32_t value) = 0;
  // False when the notification could not be queued.
  virtual bool PostInputWordChanged(int module, int word, std::uint32_t value) = 0;
  // A message box with an OK button ("PostMessage Error", duplicate numbers).
  virtual void ShowMessage(const std::string& text) = 0;
};

// Stores a reported input word and announces a change. `word` must be 0..4;
// anything else is ignored.
void UpdateInputWord(ModuleRecord& record, int word, std::uint32_t value, InputWordEvents& events);

}  // namespace brimlink::link
