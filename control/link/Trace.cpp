#include "control/link/Trace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace brimlink::link {
namespace {

TraceLog* g_current = nullptr;

bool Active() { return g_current != nullptr && g_current->Tracing(); }

// Builds a helper's text in a stack buffer; no allocation on the receive path.
class LineText {
 public:
  void Append(std::string_view s) {
    const std::size_t n = std::min(s.size(), sizeof text_ - 1 - length_);
    std::memcpy(text_ + length_, s.data(), n);
    length_ += n;
  }
  void AppendNumber(unsigned long n) {
    char digits[24];
    const int k = std::snprintf(digits, sizeof digits, "%lu", n);
    Append(std::string_view(digits, static_cast<std::size_t>(k)));
  }
  std::string_view View() const { return {text_, length_}; }

 private:
  char text_[TraceLog::kMaxLine];
  std::size_t length_ = 0;
};

}  // namespace

std::uint32_t SteadyMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::size_t TraceLog::FormatLine(std::uint32_t elapsedMs, std::string_view text, char* out, std::size_t capacity) {
  // "%07.3f" of whole milliseconds / 1000, built from integers so that no
  // locale can turn the point into a comma.
  const int n = std::snprintf(out, capacity, "%03lu.%03lu:\t%.*s", static_cast<unsigned long>(elapsedMs / 1000),
                              static_cast<unsigned long>(elapsedMs % 1000), static_cast<int>(text.size()),
                              text.data());
  if (n < 0) return 0;
  return std::min(static_cast<std::size_t>(n), capacity - 1);
}

void TraceLog::AddLine(std::string_view text) {
  if (!tracing_) return;
  const std::uint32_t now = clock_();
  if (restartTimeBase_) {
    timeBase_ = now;
    restartTimeBase_ = false;
  }
  char line[kMaxLine + 32];
  const std::size_t length = FormatLine(now - timeBase_, text.substr(0, kMaxLine), line, sizeof line);
  if (view_ != nullptr && tracing_) view_->AppendLine(std::string_view(line, length));
}

void SetCurrentTraceLog(TraceLog* log) { g_current = log; }
void ClearCurrentTraceLog(const TraceLog* log) {
  if (g_current == log) g_current = nullptr;
}
TraceLog* CurrentTraceLog() { return g_current; }

void TraceNumber(std::string_view label, unsigned long number) {
  if (!Active()) return;
  LineText t;
  t.Append(label);
  t.Append(":\t");
  t.AppendNumber(number);
  g_current->AddLine(t.View());
}

void TraceText(std::string_view label, std::string_view text) {
  if (!Active()) return;
  LineText t;
  t.Append(label);
  t.Append(":\t");
  t.Append(text);
  g_current->AddLine(t.View());
}

void TraceSerialReceived(unsigned long comNumber, std::string_view line) {
  if (!Active()) return;
  LineText t;
  t.Append("RX COM ");
  t.AppendNumber(comNumber);
  t.Append(":\t");
  t.Append(line);
  g_current->AddLine(t.View());
}

void TraceBinaryWord(unsigned long portKey, unsigned long word, unsigned long value) {
  if (!Active()) return;
  LineText t;
  t.Append("RX COM:\t");
  t.AppendNumber(portKey);
  t.Append(":\t");
  t.AppendNumber(word);
  t.Append(":");
  t.AppendNumber(value);
  g_current->AddLine(t.View());
}

void TracePlain(std::string_view text) {
  if (!Active()) return;
  g_current->AddLine(text);
}

}  // namespace brimlink::link
