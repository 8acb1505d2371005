#include "control/link/ModuleRecord.h"

namespace brimlink::link {

void ModuleRecord::Reset() {
  const auto number = moduleNumber;
  *this = ModuleRecord{};
  moduleNumber = number;
}

void ResetModuleTable(ModuleTable& table) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i].Reset();
    table[i].moduleNumber = static_cast<std::int16_t>(i);
  }
}

void UpdateInputWord(ModuleRecord& record, int word, std::uint32_t value, InputWordEvents& events) {
  if (word < 0 || word >= kInputWords) return;
  value &= 0xFFFF;
  // Older extended modules carry only eight inputs in word 0; the high byte
  // they send is noise.
  if (word == 0 && record.versionMajor < 2 && record.HasType(type_code::kExtendedWords)) value &= 0xFF;

  const auto w = static_cast<std::size_t>(word);
  if (record.inputWords[w] != value) {
    record.inputWords[w] = value;
    if (word == 0) {
      events.RaiseInputWordChanged(record.moduleNumber, 0, value);
    } else if (!events.PostInputWordChanged(record.moduleNumber & 0xFF, word, value)) {
      events.ShowMessage("PostMessage Error");
    }
  }
  record.inputPending[w] = 0;
}

}  // namespace brimlink::link
