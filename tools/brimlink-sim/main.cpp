// brimlink-sim: virtual modules on pseudo-terminals, registered as COM ports
// in the settings folder, with a console on standard input.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "control/interface/BrimlinkVersion.h"
#include "control/link/SettingsLocation.h"
#include "tools/brimlink-sim/Console.h"
#include "tools/brimlink-sim/Options.h"
#include "tools/brimlink-sim/Registration.h"
#include "tools/virtual_module/PtyModule.h"

namespace {

using namespace brimlink;
using namespace brimlink::simtool;

constexpr int kExitRuntime = 1;
constexpr int kExitUsage = 2;
// Every so often the modules' lists of received commands are emptied, so a
// long session does not grow without bound.
constexpr int kHousekeepingMs = 5000;
constexpr std::size_t kKeptCommands = 1000;
// A console line longer than this is noise, not a command.
constexpr std::size_t kMaxConsoleLine = 4096;

// Console output is written by the main thread and by every module's thread
// (output words); whole lines, flushed at once, so a pipe sees them in time.
class Printer {
 public:
  explicit Printer(bool quiet) : quiet_(quiet) {}
  bool Quiet() const { return quiet_; }

  void Out(std::string_view text) { Write(stdout, text); }
  void Err(std::string_view text) { Write(stderr, text); }
  // Confirmations and notes, which --quiet leaves out.
  void Note(std::string_view text) {
    if (!quiet_) Out(text);
  }

 private:
  void Write(std::FILE* stream, std::string_view text) {
    std::lock_guard guard(lock_);
    std::fwrite(text.data(), 1, text.size(), stream);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stream);
    std::fflush(stream);
  }

  std::mutex lock_;
  const bool quiet_;
};

struct RunningModule {
  int com = 0;
  int duplicateOf = 0;  // the COM number this one copies (--duplicate), else 0
  sim::ModuleConfig config;
  std::string label;  // "COM7 module 1"
  std::unique_ptr<sim::PtyModule> pty;
  // Declared after pty: the link goes before the line it points to.
  PortLink link;
  bool unplugged = false;
  std::uint64_t earlierCommands = 0;
};

sim::Millis Now() {
  return std::chrono::duration_cast<sim::Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { ::close(fd_); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

 private:
  int fd_;
};

std::string SignalName(int number) {
  switch (number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    default: return "signal " + std::to_string(number);
  }
}

class Session {
 public:
  Session(Printer& printer, std::vector<std::unique_ptr<RunningModule>>& modules)
      : printer_(printer), modules_(modules) {}

  // False when the line ends the session.
  bool Handle(std::string_view line) {
    using Kind = ConsoleCommand::Kind;
    const ParsedCommand parsed = ParseConsoleLine(line);
    if (!parsed.error.empty()) {
      printer_.Err("error: " + parsed.error);
      return true;
    }
    const ConsoleCommand& command = parsed.command;
    RunningModule& module = *modules_[selected_];
    switch (command.kind) {
      case Kind::Nothing: break;
      case Kind::Help: printer_.Out(ConsoleHelpText()); break;
      case Kind::Quit: return false;
      case Kind::Select: Select(command.index); break;
      case Kind::Show: Show(module); break;
      case Kind::Unplug: {
        if (module.unplugged) {
          printer_.Err("error: COM" + std::to_string(module.com) + " is unplugged already");
          break;
        }
        // The link goes first: once the line is closed its pseudo-terminal
        // is free, and the next program to get it must not be taken for
        // this module.
        const std::string path = module.link.Path();
        const bool removed = module.link.Remove();
        module.pty->CloseMaster();
        module.unplugged = true;
        printer_.Note("COM" + std::to_string(module.com) + ": unplugged; the line is closed, " + path +
                      (removed ? " removed" : " was replaced meanwhile; left alone"));
        break;
      }
      case Kind::InputBit:
      case Kind::InputWord:
      case Kind::Counter:
      case Kind::Fault: {
        std::string result;
        module.pty->WithModule(
            [&](sim::VirtualModule& m) { result = ApplyToModule(command, m, Now()); });
        if (result.starts_with("error: ")) {
          printer_.Err("error: " + module.label + ": " + result.substr(7));
        } else {
          printer_.Note(module.label + ": " + result);
        }
        break;
      }
    }
    return true;
  }

  void Housekeeping() {
    for (auto& module : modules_) {
      module->pty->WithModule([&](sim::VirtualModule& m) {
        if (m.ReceivedCommands().size() <= kKeptCommands) return;
        module->earlierCommands += m.ReceivedCommands().size();
        m.ClearReceivedCommands();
      });
    }
  }

 private:
  void Select(int com) {
    for (std::size_t i = 0; i < modules_.size(); ++i) {
      if (modules_[i]->com == com) {
        selected_ = i;
        printer_.Note(modules_[i]->label + " selected");
        return;
      }
    }
    std::string running;
    for (const auto& m : modules_) running += " COM" + std::to_string(m->com);
    printer_.Err("error: module: no module on COM" + std::to_string(com) + " (running:" + running + ")");
  }

  void Show(RunningModule& module) {
    std::string body;
    const int baud = module.pty->LineBaud();
    module.pty->WithModule(
        [&](sim::VirtualModule& m) { body = ShowModule(m, baud, module.earlierCommands); });
    std::string header = "COM" + std::to_string(module.com) + " -> " + module.pty->SlavePath();
    if (module.unplugged) header += " (unplugged)";
    printer_.Out(header + "\n" + body);
  }

  Printer& printer_;
  std::vector<std::unique_ptr<RunningModule>>& modules_;
  std::size_t selected_ = 0;
};

int Run(const Options& options) {
  Printer printer(options.quiet);

  // The signals that end the program arrive on a descriptor the main loop
  // polls, so the clean-up runs in ordinary code. They are blocked before
  // any module thread exists, so every thread inherits the mask.
  sigset_t endSignals;
  sigemptyset(&endSignals);
  sigaddset(&endSignals, SIGINT);
  sigaddset(&endSignals, SIGTERM);
  sigaddset(&endSignals, SIGHUP);
  sigaddset(&endSignals, SIGQUIT);
  if (::pthread_sigmask(SIG_BLOCK, &endSignals, nullptr) != 0) {
    printer.Err("brimlink-sim: cannot block the end signals");
    return kExitRuntime;
  }
  const int signalFd = ::signalfd(-1, &endSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signalFd < 0) {
    printer.Err(std::string("brimlink-sim: signalfd: ") + std::strerror(errno));
    return kExitRuntime;
  }
  const FileDescriptor signalGuard(signalFd);
  // A console reader that went away must not kill the program before it
  // removed its links.
  std::signal(SIGPIPE, SIG_IGN);

  std::string error;
  const std::string folder = EnsurePortsFolder(link::SettingsFolder(""), error);
  if (folder.empty()) {
    printer.Err("brimlink-sim: " + error +
                "; point XDG_CONFIG_DIRS at a folder you may write to, or join the folder's group");
    return kExitRuntime;
  }

  std::vector<std::unique_ptr<RunningModule>> modules;
  std::set<int> taken;
  for (const ModuleOptions& m : options.modules) taken.insert(m.com);
  for (const ModuleOptions& m : options.modules) {
    auto module = std::make_unique<RunningModule>();
    module->com = m.com;
    module->config = m.Config();
    modules.push_back(std::move(module));
    if (!m.duplicate) continue;
    const int com = NextFreeCom(folder, m.com, taken);
    if (com == 0) {
      printer.Err("brimlink-sim: --duplicate: no free COM number after COM" + std::to_string(m.com));
      return kExitRuntime;
    }
    taken.insert(com);
    auto copy = std::make_unique<RunningModule>();
    copy->com = com;
    copy->duplicateOf = m.com;
    copy->config = m.Config();
    modules.push_back(std::move(copy));
  }

  for (auto& module : modules) {
    module->label = ModuleLabel(module->com, module->config);
    module->pty = std::make_unique<sim::PtyModule>(module->config);
    module->pty->SetOutputObserver([&printer, label = module->label](int word, std::uint16_t value) {
      printer.Out(label + ": " + DescribeWord("output", word, value));
    });
    if (!module->pty->Start()) {
      printer.Err("brimlink-sim: COM" + std::to_string(module->com) +
                  ": cannot start the module: " + module->pty->Error());
      return kExitRuntime;
    }
  }
  for (auto& module : modules) {
    std::string note;
    if (!module->link.Create(folder, module->com, module->pty->SlavePath(), options.force, error, &note)) {
      printer.Err("brimlink-sim: " + error);
      return kExitRuntime;
    }
    if (!note.empty()) printer.Note(note);
  }

  for (const auto& module : modules) {
    std::string line = "COM" + std::to_string(module->com) + " -> " + module->pty->SlavePath() + " (" +
                       DescribeConfig(module->config) + ")";
    if (module->duplicateOf != 0) line += ", same number as COM" + std::to_string(module->duplicateOf);
    printer.Note(line);
  }
  printer.Note("Links in " + folder + "; type help for the commands; quit, Ctrl-D or Ctrl-C ends.");

  Session session(printer, modules);
  std::string pending;
  std::string reason;
  int exitCode = 0;
  auto nextHousekeeping = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHousekeepingMs);
  for (bool running = true; running;) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int ready = ::poll(fds, 2, kHousekeepingMs);
    if (ready < 0 && errno != EINTR) {
      printer.Err(std::string("brimlink-sim: poll: ") + std::strerror(errno));
      exitCode = kExitRuntime;
      break;
    }
    // Also while the console is busy, not only when it is idle.
    if (const auto now = std::chrono::steady_clock::now(); now >= nextHousekeeping) {
      session.Housekeeping();
      nextHousekeeping = now + std::chrono::milliseconds(kHousekeepingMs);
    }
    if (ready <= 0) continue;
    if ((fds[0].revents & POLLIN) != 0) {
      signalfd_siginfo info{};
      if (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        reason = SignalName(static_cast<int>(info.ssi_signo));
        break;
      }
    }
    if (fds[1].revents == 0) continue;
    char buffer[4096];
    const ssize_t n = (fds[1].revents & POLLNVAL) != 0 ? 0 : ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      // End of input: a last line without its newline still counts.
      if (!pending.empty()) session.Handle(pending);
      reason = "end of input";
      break;
    }
    pending.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end; running && (end = pending.find('\n')) != std::string::npos;) {
      std::string_view line(pending.data(), end);
      if (line.ends_with('\r')) line.remove_suffix(1);
      running = session.Handle(line);
      pending.erase(0, end + 1);
    }
    if (running && pending.size() > kMaxConsoleLine) {
      printer.Err("error: console line longer than " + std::to_string(kMaxConsoleLine) + " characters ignored");
      pending.clear();
    }
    if (!running) reason = "quit";
  }

  for (auto& module : modules) {
    const std::string path = module->link.Path();
    if (module->link.Remove()) {
      printer.Note("COM" + std::to_string(module->com) + ": " + path + " removed");
    } else if (!path.empty()) {
      printer.Note("COM" + std::to_string(module->com) + ": " + path + " was replaced meanwhile; left alone");
    }
  }
  if (!reason.empty()) printer.Note("brimlink-sim ends (" + reason + ")");
  modules.clear();  // joins the module threads while the printer still exists
  return exitCode;
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
  return Run(parsed.options);
}
