// Trace line format and the command texts, which must be exact to the byte
// whatever locale the host has set.
#include <gtest/gtest.h>

#include <clocale>

#include "control/link/Commands.h"
#include "support/SimulatedLink.h"

namespace brimlink::testing {
namespace {

std::uint32_t g_fakeMs = 0;
std::uint32_t FakeClock() { return g_fakeMs; }

class CaptureView : public link::TraceView {
 public:
  void AppendLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

// Switches to a locale with a decimal comma when the machine has one.
class CommaLocale {
 public:
  CommaLocale() {
    for (const char* name : {"nl_NL.UTF-8", "de_DE.UTF-8", "nl_NL", "de_DE", "fr_FR.UTF-8"}) {
      if (std::setlocale(LC_ALL, name) != nullptr) {
        active = true;
        break;
      }
    }
  }
  ~CommaLocale() { std::setlocale(LC_ALL, "C"); }
  bool active = false;
};

TEST(Trace, LineFormatAndTimeBase) {
  link::TraceLog log(&FakeClock);
  CaptureView view;
  log.AttachView(&view);
  g_fakeMs = 5000;
  log.AddLine("not tracing yet");
  EXPECT_TRUE(view.lines.empty());

  log.WindowCreated();
  log.AddLine("first");
  g_fakeMs = 5000 + 1234;
  log.AddLine("second");
  g_fakeMs = 5000 + 1234567;
  log.AddLine("late");
  EXPECT_EQ(view.lines, (std::vector<std::string>{"000.000:\tfirst", "001.234:\tsecond", "1234.567:\tlate"}));
}

TEST(Trace, StartStopKeepsTheTimeBaseAndClearRestartsIt) {
  link::TraceLog log(&FakeClock);
  CaptureView view;
  log.AttachView(&view);
  g_fakeMs = 100;
  log.WindowCreated();
  log.AddLine("a");
  log.ToggleTracing();
  g_fakeMs = 2100;
  log.AddLine("dropped while stopped");
  log.ToggleTracing();
  log.AddLine("b");
  log.RestartTimeBase();
  g_fakeMs = 2600;
  log.AddLine("c");
  EXPECT_EQ(view.lines, (std::vector<std::string>{"000.000:\ta", "002.000:\tb", "000.000:\tc"}));
}

TEST(Trace, ClockWrapAroundCountsForward) {
  link::TraceLog log(&FakeClock);
  CaptureView view;
  log.AttachView(&view);
  g_fakeMs = 0xFFFFFF00u;
  log.WindowCreated();
  log.AddLine("x");
  g_fakeMs = 0x100;  // 512 ms later, past the wrap
  log.AddLine("y");
  EXPECT_EQ(view.lines.back(), "000.512:\ty");
}

TEST(Trace, HelpersFormatEachKindOfLine) {
  TraceCapture capture;
  link::TraceNumber("Opening COM", 4294967295ul);
  link::TraceText("ID", "\t0x403, 0x6001");
  link::TraceSerialReceived(12, "V=2.10");
  link::TraceBinaryWord(3, 2, 65535);
  link::TracePlain("");
  EXPECT_EQ(capture.lines, (std::vector<std::string>{"Opening COM:\t4294967295", "ID:\t\t0x403, 0x6001",
                                                     "RX COM 12:\tV=2.10", "RX COM:\t3:\t2:65535", ""}));
}

TEST(Trace, LinesGoToTheMostRecentLogOnly) {
  TraceCapture older;
  {
    TraceCapture newer;
    link::TracePlain("to the newer");
  }
  link::TracePlain("nobody");  // the newer log is gone; nothing is current
  EXPECT_TRUE(older.lines.empty());
  EXPECT_EQ(link::CurrentTraceLog(), nullptr);
}

TEST(Trace, StampUsesAPointInAnyLocale) {
  CommaLocale comma;
  if (!comma.active) GTEST_SKIP() << "no locale with a decimal comma installed";
  char line[64];
  link::TraceLog::FormatLine(1500, "x", line, sizeof line);
  EXPECT_STREQ(line, "001.500:\tx");
}

TEST(Commands, EveryFormatIsExact) {
  namespace c = link::command;
  EXPECT_EQ(c::ReadInputWord(3, 8).View(), "DEW3.8");
  EXPECT_EQ(c::ReadOutputWord(1, 4).View(), "DAW1.4");
  EXPECT_EQ(c::WriteOutputWord(2, 0, 0xAB).View(), "MAW2.0=00AB");
  EXPECT_EQ(c::WriteOutputWord(2, 2, 0x1FFFF).View(), "MAW2.2=FFFF");
  EXPECT_EQ(c::InitialiseTimer(1).View(), "MT1=01");
  EXPECT_EQ(c::StartTimer(1).View(), "MT1=10");
  EXPECT_EQ(c::StopTimer(1).View(), "MT1=00");
  EXPECT_EQ(c::FilterMask(4, 0x20).View(), "MM4=20");
  EXPECT_EQ(c::AutoSendMask(4, 0).View(), "MS4=00");
  EXPECT_EQ(c::AutoSendMask(4, 0x0F).View(), "MS4=0F");
  EXPECT_EQ(c::ForceDisplay(1, 3).View(), "MF1=03");
  EXPECT_EQ(c::DisplayUnit(1, 10, 2).View(), "MU1.0A=02");
  EXPECT_EQ(c::Gain(1, 2, 1.5f).View(), "MG1.2=1.50");
  EXPECT_EQ(c::Gain(1, 0, -0.125f).View(), "MG1.0=-0.12");
  EXPECT_EQ(c::MeasuringRange(1, 0, 3).View(), "MRE1=3");
  EXPECT_EQ(c::MeasuringRange(1, 7, 2).View(), "MRA1=2");
  EXPECT_EQ(c::StartCounter(1, 1, 1).View(), "MC1.1=1");
  EXPECT_EQ(c::ReadCounter(1, 0).View(), "DC1.0");
  EXPECT_EQ(c::Gain(1, 0, 3.0e38f).View().substr(0, 8), "MG1.0=30");
}

TEST(Commands, GainKeepsItsPointUnderACommaLocale) {
  CommaLocale comma;
  if (!comma.active) GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(link::command::Gain(1, 0, 2.25f).View(), "MG1.0=2.25");
}

}  // namespace
}  // namespace brimlink::testing
