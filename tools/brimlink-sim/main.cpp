// brimlink-sim: virtual modules on pseudo-terminals, registered as COM ports
// in the settings folder, with a console on standard input and, behind a
// module, a station in real time.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "control/interface/BrimlinkVersion.h"
#include "tools/brimlink-sim/Options.h"
#include "tools/brimlink-sim/ShowLoop.h"
#include "tools/brimlink-sim/SimProgram.h"

namespace {

using namespace brimlink;
using namespace brimlink::simtool;
using Clock = std::chrono::steady_clock;

constexpr int kExitRuntime = 1;
constexpr int kExitUsage = 2;

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// Without windows: poll the console, the end signals and the modules' wake-up.
// The timeout is the housekeeping interval at rest and a frame while a
// station moves, so a station at rest costs no CPU.
int RunPollLoop(SimProgram& program) {
  auto nextHousekeeping = Clock::now() + SimProgram::kHousekeeping;
  auto nextTick = Clock::now();
  for (;;) {
    const auto now = Clock::now();
    auto wakeAt = nextHousekeeping;
    const bool moving = program.Moving();
    if (moving) wakeAt = std::min(wakeAt, nextTick);
    const auto timeout = std::chrono::ceil<std::chrono::milliseconds>(std::max(wakeAt - now, Clock::duration{0}));
    pollfd fds[3] = {{program.SignalFd(), POLLIN, 0},
                     {program.WakeFd(), POLLIN, 0},
                     {STDIN_FILENO, POLLIN, 0}};
    const int ready = ::poll(fds, 3, static_cast<int>(timeout.count()));
    if (ready < 0 && errno != EINTR) {
      program.Out().Err(std::string("brimlink-sim: poll: ") + std::strerror(errno));
      return program.Finish("", kExitRuntime);
    }
    if (ready > 0 && (fds[0].revents & POLLIN) != 0 && !program.OnSignal()) return 0;
    if (ready > 0 && (fds[1].revents & POLLIN) != 0) program.OnWake();
    if (ready > 0 && fds[2].revents != 0) {
      if ((fds[2].revents & POLLNVAL) != 0) return program.Finish("end of input");
      if (!program.OnConsole()) return 0;
    }
    const auto after = Clock::now();
    // Also while the console is busy, not only when it is idle.
    if (after >= nextHousekeeping) {
      program.Housekeeping();
      nextHousekeeping = after + SimProgram::kHousekeeping;
    }
    if (program.Moving()) {
      if (!moving) {
        nextTick = after + SimProgram::kTick;  // just started: its first frame from now
      } else if (after >= nextTick) {
        program.OnTick();
        nextTick += SimProgram::kTick;
        if (nextTick <= after) nextTick = after + SimProgram::kTick;  // behind: no burst of ticks
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = ParseOptions(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "brimlink-sim: %s\n", parsed.error.c_str());
    return kExitUsage;
  }
  if (parsed.options.help || parsed.options.versionInfo) {
    const std::string text =
        parsed.options.help ? HelpText() : std::string("brimlink-sim ") + control::kVersionText + "\n";
    // Output that was lost is no success.
    if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return 0;
    std::fprintf(stderr, "brimlink-sim: cannot write standard output: %s\n", std::strerror(errno));
    return kExitRuntime;
  }
  // Said before any link is made: without a display Qt would end the
  // program at once, links and all left behind.
  if (parsed.options.show && !HasDisplay()) {
    std::fputs("brimlink-sim: --show needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set\n"
               "  (QT_QPA_PLATFORM=offscreen runs the windows without one; or leave out --show)\n",
               stderr);
    return kExitRuntime;
  }
  SimProgram program(parsed.options);
  if (const int failed = program.Start(); failed != 0) return failed;
  return parsed.options.show ? RunShowLoop(program, argc, argv) : RunPollLoop(program);
}
