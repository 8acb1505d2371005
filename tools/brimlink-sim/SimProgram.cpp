#include "tools/brimlink-sim/SimProgram.h"

#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <set>

#include "control/link/SettingsLocation.h"
#include "tools/brimlink-sim/Console.h"

namespace brimlink::simtool {
namespace {

constexpr int kExitRuntime = 1;
// Every so often the modules' lists of received commands are emptied, so a
// long session does not grow without bound.
constexpr std::size_t kKeptCommands = 1000;
// A console line longer than this is noise, not a command.
constexpr std::size_t kMaxConsoleLine = 4096;

sim::Millis Now() {
  return std::chrono::duration_cast<sim::Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

std::string SignalName(int number) {
  switch (number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    default: return "signal " + std::to_string(number);
  }
}

void Wake(int fd) {
  const std::uint64_t one = 1;
  while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

}  // namespace

void Printer::Write(std::FILE* stream, std::string_view text) {
  std::lock_guard guard(lock_);
  std::fwrite(text.data(), 1, text.size(), stream);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stream);
  std::fflush(stream);
}

SimProgram::SimProgram(const Options& options) : options_(options), printer_(options.quiet) {}

SimProgram::~SimProgram() {
  // Links Finish did not remove (a failed start) go with their modules, quietly.
  modules_.clear();  // joins the module threads while the printer and the wake descriptor still exist
  if (signalFd_ >= 0) ::close(signalFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

int SimProgram::Start() {
  // The signals that end the program arrive on a descriptor the loop waits
  // on, so the clean-up runs in ordinary code. They are blocked before any
  // module thread exists, so every thread inherits the mask.
  sigset_t endSignals;
  sigemptyset(&endSignals);
  sigaddset(&endSignals, SIGINT);
  sigaddset(&endSignals, SIGTERM);
  sigaddset(&endSignals, SIGHUP);
  sigaddset(&endSignals, SIGQUIT);
  if (::pthread_sigmask(SIG_BLOCK, &endSignals, nullptr) != 0) {
    printer_.Err("brimlink-sim: cannot block the end signals");
    return kExitRuntime;
  }
  signalFd_ = ::signalfd(-1, &endSignals, SFD_CLOEXEC | SFD_NONBLOCK);
  if (signalFd_ < 0) {
    printer_.Err(std::string("brimlink-sim: signalfd: ") + std::strerror(errno));
    return kExitRuntime;
  }
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    printer_.Err(std::string("brimlink-sim: eventfd: ") + std::strerror(errno));
    return kExitRuntime;
  }
  // A console reader that went away must not kill the program before it
  // removed its links.
  std::signal(SIGPIPE, SIG_IGN);

  std::string error;
  const std::string folder = EnsurePortsFolder(link::SettingsFolder(""), error);
  if (folder.empty()) {
    printer_.Err("brimlink-sim: " + error +
                 "; point XDG_CONFIG_DIRS at a folder you may write to, or join the folder's group");
    return kExitRuntime;
  }

  std::set<int> taken;
  for (const ModuleOptions& m : options_.modules) taken.insert(m.com);
  auto add = [this](const ModuleOptions& m, int com, int duplicateOf) {
    auto module = std::make_unique<RunningModule>();
    module->com = com;
    module->duplicateOf = duplicateOf;
    module->config = m.Config();
    // One station per module; a duplicate gets a station of its own.
    if (m.station) module->station = std::make_unique<StationDriver>(*m.station, options_.speed);
    modules_.push_back(std::move(module));
  };
  for (const ModuleOptions& m : options_.modules) {
    add(m, m.com, 0);
    if (!m.duplicate) continue;
    const int com = NextFreeCom(folder, m.com, taken);
    if (com == 0) {
      printer_.Err("brimlink-sim: --duplicate: no free COM number after COM" + std::to_string(m.com));
      return kExitRuntime;
    }
    taken.insert(com);
    add(m, com, m.com);
  }

  for (auto& module : modules_) {
    module->label = ModuleLabel(module->com, module->config);
    module->pty = std::make_unique<sim::PtyModule>(module->config);
    const bool station = module->station != nullptr;
    module->pty->SetOutputObserver(
        [this, station, label = module->label](int word, std::uint16_t value) {
          printer_.Out(label + ": " + DescribeWord("output", word, value));
          // The station follows on the main thread.
          if (station && word == 0) Wake(wakeFd_);
        });
    if (StationDriver* driver = module->station.get()) {
      // The module starts with the station's inputs at rest, as a wired
      // module is powered up with them: nothing is reported for them.
      module->pty->WithModule([&](sim::VirtualModule& m) {
        const sim::Millis now = Now();
        driver->Sync(m, now);
        char discard[64];
        while (m.TakeOutput(now + std::chrono::hours(1), discard, sizeof discard) != 0) {
        }
        module->printedInputs = m.InputWord(0);
      });
    }
    if (!module->pty->Start()) {
      printer_.Err("brimlink-sim: COM" + std::to_string(module->com) +
                   ": cannot start the module: " + module->pty->Error());
      return kExitRuntime;
    }
  }
  for (auto& module : modules_) {
    std::string note;
    if (!module->link.Create(folder, module->com, module->pty->SlavePath(), options_.force, error, &note)) {
      printer_.Err("brimlink-sim: " + error);
      return kExitRuntime;
    }
    if (!note.empty()) printer_.Note(note);
  }

  for (const auto& module : modules_) {
    std::string line = "COM" + std::to_string(module->com) + " -> " + module->pty->SlavePath() + " (" +
                       DescribeConfig(module->config) + ")";
    if (module->duplicateOf != 0) line += ", same number as COM" + std::to_string(module->duplicateOf);
    if (module->station) line += ", station " + std::string(StationKindName(module->station->Kind()));
    printer_.Note(line);
  }
  printer_.Note("Links in " + folder + "; type help for the commands; quit, Ctrl-D or Ctrl-C ends.");
  return 0;
}

bool SimProgram::OnSignal() {
  signalfd_siginfo info{};
  if (::read(signalFd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return true;
  Finish(SignalName(static_cast<int>(info.ssi_signo)));
  return false;
}

bool SimProgram::OnConsole() {
  char buffer[4096];
  const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) {
    // End of input: a last line without its newline still counts.
    const bool quit = !pending_.empty() && !HandleLine(pending_);
    Finish(quit ? "quit" : "end of input");
    return false;
  }
  pending_.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
    std::string_view line(pending_.data(), end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!HandleLine(line)) {
      Finish("quit");
      return false;
    }
    pending_.erase(0, end + 1);
  }
  if (pending_.size() > kMaxConsoleLine) {
    printer_.Err("error: console line longer than " + std::to_string(kMaxConsoleLine) + " characters ignored");
    pending_.clear();
  }
  return true;
}

void SimProgram::OnWake() {
  std::uint64_t count = 0;
  if (::read(wakeFd_, &count, sizeof count) < 0) return;
  SyncStations(false);
}

void SimProgram::OnTick() { SyncStations(true); }

bool SimProgram::Moving() const {
  for (const auto& module : modules_) {
    if (module->station && module->station->Moving()) return true;
  }
  return false;
}

void SimProgram::SyncStations(bool onlyMoving) {
  const sim::Millis now = Now();
  for (auto& module : modules_) {
    StationDriver* driver = module->station.get();
    if (driver == nullptr || (onlyMoving && !driver->Moving())) continue;
    std::uint16_t inputs = 0;
    module->pty->WithModule([&](sim::VirtualModule& m) {
      driver->Sync(m, now);
      inputs = m.InputWord(0);
    });
    if (inputs != module->printedInputs) {
      module->printedInputs = inputs;
      printer_.Note(module->label + ": " + DescribeWord("input", 0, inputs));
    }
    if (module->onStationChanged) module->onStationChanged();
  }
}

void SimProgram::Housekeeping() {
  for (auto& module : modules_) {
    module->pty->WithModule([&](sim::VirtualModule& m) {
      if (m.ReceivedCommands().size() <= kKeptCommands) return;
      module->earlierCommands += m.ReceivedCommands().size();
      m.ClearReceivedCommands();
    });
  }
}

bool SimProgram::HandleLine(std::string_view line) {
  using Kind = ConsoleCommand::Kind;
  const ParsedCommand parsed = ParseConsoleLine(line);
  if (!parsed.error.empty()) {
    printer_.Err("error: " + parsed.error);
    return true;
  }
  const ConsoleCommand& command = parsed.command;
  RunningModule& module = *modules_[selected_];
  StationDriver* const driver = module.station.get();
  const bool forStation = command.kind == Kind::InputRelease || command.kind == Kind::Station ||
                          command.kind == Kind::Part || command.kind == Kind::Feed ||
                          command.kind == Kind::StationFault || command.kind == Kind::Reset;
  if (forStation && driver == nullptr) {
    printer_.Err("error: " + module.label + " runs no station (start it with --com " + std::to_string(module.com) +
                 " --station stack|belt|handling|belt-handling)");
    return true;
  }
  switch (command.kind) {
    case Kind::Nothing: break;
    case Kind::Help: printer_.Out(ConsoleHelpText()); break;
    case Kind::Quit: return false;
    case Kind::Select: Select(command.index); break;
    case Kind::Show: Show(module); break;
    case Kind::Unplug: Unplug(module); break;
    case Kind::Station: {
      std::string text;
      module.pty->WithModule([&](sim::VirtualModule& m) { text = driver->Apply(command, m, Now()); });
      printer_.Out(module.label + "\n" + text);
      break;
    }
    default: {
      // Input word 0 of a module with a station: forced over the station's bits.
      const bool stationInputs = driver != nullptr && (command.kind == Kind::InputBit ||
                                                       (command.kind == Kind::InputWord && command.index == 0));
      std::string result;
      std::uint16_t inputs = 0;
      module.pty->WithModule([&](sim::VirtualModule& m) {
        result = (forStation || stationInputs) ? driver->Apply(command, m, Now()) : ApplyToModule(command, m, Now());
        inputs = m.InputWord(0);
      });
      if (result.starts_with("error: ")) {
        printer_.Err("error: " + module.label + ": " + result.substr(7));
        break;
      }
      module.printedInputs = inputs;
      printer_.Note(module.label + ": " + result);
      if (module.onStationChanged) module.onStationChanged();
      break;
    }
  }
  return true;
}

void SimProgram::Select(int com) {
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

void SimProgram::Show(RunningModule& module) {
  std::string body;
  const int baud = module.pty->LineBaud();
  module.pty->WithModule([&](sim::VirtualModule& m) { body = ShowModule(m, baud, module.earlierCommands); });
  if (module.station) body += module.station->Describe();
  std::string header = "COM" + std::to_string(module.com) + " -> " + module.pty->SlavePath();
  if (module.unplugged) header += " (unplugged)";
  printer_.Out(header + "\n" + body);
}

void SimProgram::Unplug(RunningModule& module) {
  if (module.unplugged) {
    printer_.Err("error: COM" + std::to_string(module.com) + " is unplugged already");
    return;
  }
  // The link goes first: once the line is closed its pseudo-terminal is
  // free, and the next program to get it must not be taken for this module.
  const std::string path = module.link.Path();
  const bool removed = module.link.Remove();
  module.pty->CloseMaster();
  module.unplugged = true;
  printer_.Note("COM" + std::to_string(module.com) + ": unplugged; the line is closed, " + path +
                (removed ? " removed" : " was replaced meanwhile; left alone"));
}

int SimProgram::Finish(std::string reason, int exitCode) {
  if (finished_) return exitCode;
  finished_ = true;
  for (auto& module : modules_) {
    const std::string path = module->link.Path();
    if (module->link.Remove()) {
      printer_.Note("COM" + std::to_string(module->com) + ": " + path + " removed");
    } else if (!path.empty()) {
      printer_.Note("COM" + std::to_string(module->com) + ": " + path + " was replaced meanwhile; left alone");
    }
  }
  if (!reason.empty()) printer_.Note("brimlink-sim ends (" + reason + ")");
  return exitCode;
}

}  // namespace brimlink::simtool
