// The trace: time-stamped lines about everything the control does on its
// ports. A TraceLog belongs to one control; the trace helpers write to the
// most recently created control's log.
//
// Threads: GUI thread only. Workers never trace; they hand their bytes to the
// GUI thread, which traces what it parses.
#pragma once

#include <cstdint>
#include <string_view>

namespace brimlink::link {

// Where finished lines go: the trace window's list. Attached while the window
// exists.
class TraceView {
 public:
  virtual ~TraceView() = default;
  virtual void AppendLine(std::string_view line) = 0;
};

using MillisecondClock = std::uint32_t (*)();

// Milliseconds of the steady clock, wrapping at 2^32 as a tick count does.
std::uint32_t SteadyMilliseconds();

class TraceLog {
 public:
  // The longest line handed to the view; longer texts are cut there.
  static constexpr std::size_t kMaxLine = 2048;

  explicit TraceLog(MillisecondClock clock = &SteadyMilliseconds) : clock_(clock) {}

  // "%07.3f:\t%s" with the seconds since the time base. Does nothing while
  // tracing is off; without a view the line is formatted and dropped.
  void AddLine(std::string_view text);

  bool Tracing() const { return tracing_; }
  void SetTracing(bool on) { tracing_ = on; }
  void ToggleTracing() { tracing_ = !tracing_; }
  // The next line takes the current time as time 0 (window created, Clear).
  void RestartTimeBase() { restartTimeBase_ = true; }
  // What creating the window does: tracing on, fresh time base.
  void WindowCreated() {
    tracing_ = true;
    restartTimeBase_ = true;
  }
  void AttachView(TraceView* view) { view_ = view; }
  TraceView* View() const { return view_; }

  // Formats one line into out (capacity bytes, NUL-terminated); returns its
  // length. Always uses a decimal point, whatever the process locale.
  static std::size_t FormatLine(std::uint32_t elapsedMs, std::string_view text, char* out, std::size_t capacity);

 private:
  MillisecondClock clock_;
  TraceView* view_ = nullptr;
  bool tracing_ = false;
  bool restartTimeBase_ = true;
  std::uint32_t timeBase_ = 0;
};

// The process-wide log: set by every control construction, cleared by the
// destruction of that control.
void SetCurrentTraceLog(TraceLog* log);
void ClearCurrentTraceLog(const TraceLog* log);
TraceLog* CurrentTraceLog();

// The five helpers; each writes one line, or nothing while tracing is off.
void TraceNumber(std::string_view label, unsigned long number);           // "%s:\t%lu"
void TraceText(std::string_view label, std::string_view text);            // "%s:\t%s"
void TraceSerialReceived(unsigned long comNumber, std::string_view line); // "%s %lu:\t%s" with "RX COM"
void TraceBinaryWord(unsigned long portKey, unsigned long word, unsigned long value);  // "%s:\t%lu:\t%lu:%lu" with "RX COM"
void TracePlain(std::string_view text);

}  // namespace brimlink::link
