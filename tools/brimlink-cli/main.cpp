// brimlink-cli: a console automation host. It creates the control through the
// creation helper, as any host does, and runs the line protocol of
// CliProtocol.h on commands from -c or from standard input.
//
// Everything runs on the main thread inside the Qt event loop: standard input
// is read when it is readable, so the control's posted events and the
// InputWordChanged lines keep flowing between commands. Commands run one at a
// time in input order, even when a command processes events itself (pump, or
// the control waiting for a module) and more input arrives meanwhile.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/interface/BrimlinkInterface.h"
#include "control/interface/BrimlinkVersion.h"
#include "control/interface/Creation.h"
#include "control/interface/HostInterfaces.h"
#include "control/interface/Registration.h"
#include "tools/brimlink-cli/CliProtocol.h"

namespace {

namespace ba = brimlink::automation;
namespace cli = brimlink::cli;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "Usage: brimlink-cli [--class PROGID|{CLSID}] [-c 'COMMAND; COMMAND...']\n"
    "  or:  brimlink-cli --help|--version\n";

// With the protocol's own text this is the manual page.
constexpr std::string_view kDescription =
    "Calls the methods of the Brimlink control from a script or a terminal. It\n"
    "creates the control as every host program does (through the class registry,\n"
    "else the Brimlink.ocx beside the program), receives its InputWordChanged\n"
    "events and runs the commands given with -c, or else those read from standard\n"
    "input, one per line, until the input ends. Then it releases the control,\n"
    "which closes its connections and writes its changed settings. No display is\n"
    "needed: the control's windows are never shown, and its message boxes appear\n"
    "as \"message:\" lines on standard error.\n"
    "\n"
    "Exit status:\n"
    "  0 when every command succeeded; 1 when a command failed, the control could\n"
    "  not be created or standard output could not be written; 2 on a bad command\n"
    "  line.\n"
    "\n";

constexpr std::string_view kOptions =
    "\n"
    "Options:\n"
    "  -c TEXT            run the commands in TEXT instead of reading standard\n"
    "                     input; ';' separates them (not inside a double-quoted\n"
    "                     string)\n"
    "  --class CLASS      create the class with this ProgID or {CLSID} (default\n"
    "                     BLOCX32.Blocx32Ctrl.1); also --class=CLASS\n"
    "  -h, --help         show this text and exit\n"
    "  --version          show the version of the control library and exit\n"
    "\n"
    "Environment:\n"
    "  XDG_CONFIG_DIRS    the settings folder is Brimlink/ in the first of these\n"
    "                     folders that holds one (default /etc/xdg); its\n"
    "                     Brimlink.ini, ports/ and Registry.ini apply\n"
    "  XDG_CONFIG_HOME    this user's own class registry is Brimlink/Registry.ini\n"
    "                     in this folder (default ~/.config); it is consulted\n"
    "                     before the machine's\n";

// Set when standard output could not take a line (a full disk, a closed
// pipe): the results are lost, so the exit status must not say success.
bool outputLost = false;

// Whole lines, flushed at once: scripts read the output while it runs.
void WriteLine(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stream);
    if (std::fflush(stream) == 0 && std::ferror(stream) == 0) return;
    const int error = errno;
    std::clearerr(stream);
    if (stream != stdout || outputLost) return;
    outputLost = true;
    WriteLine(stderr, std::string("error: cannot write standard output: ") + std::strerror(error));
}

class EventPrinter final : public ba::RefCounted<ba::BrimlinkEventSink> {
public:
    void InputWordChanged(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value) override {
        WriteLine(stdout, cli::FormatEventLine(modIndex, wordIndex, value));
    }
};

struct Arguments {
    std::optional<std::string> commands;  // -c
    std::string classText{ba::kControlProgId};
    bool help = false;
    bool version = false;
    std::string error;  // empty when the command line is good
};

Arguments ParseArguments(int argc, char** argv) {
    Arguments result;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string_view option) -> std::optional<std::string> {
            if (i + 1 >= argc) {
                result.error = std::string(option) + " needs a value";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (arg == "-h" || arg == "--help") {
            result.help = true;
            return result;
        }
        if (arg == "--version") {
            result.version = true;
            return result;
        }
        if (arg == "-c") {
            if (auto text = value(arg)) result.commands = std::move(*text);
        } else if (arg == "--class") {
            if (auto text = value(arg)) result.classText = std::move(*text);
        } else if (arg.starts_with("--class=")) {
            result.classText = std::string(arg.substr(8));
        } else if (arg.starts_with('-')) {
            result.error = "unknown option '" + std::string(arg) + "'";
        } else {
            result.error = "unexpected argument '" + std::string(arg) + "'";
        }
        if (!result.error.empty()) return result;
    }
    if (result.classText.empty()) result.error = "--class needs a value";
    return result;
}

class Host {
public:
    Host(ba::ComPtr<ba::Dispatch> control, bool readInput) : control_(std::move(control)) {
        const auto sink = ba::MakeObject<EventPrinter>();
        if (ba::Succeeded(control_.As(ba::IID_IConnectionPoint, events_))) {
            if (ba::Failed(events_->Advise(sink.get(), &cookie_))) events_.reset();
        }
        if (!events_) WriteLine(stderr, "warning: the control offers no events; InputWordChanged is not shown");

        if (readInput) {
            input_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
            QObject::connect(input_.get(), &QSocketNotifier::activated, [this] { ReadInput(); });
        } else {
            endOfInput_ = true;
        }
    }

    void Add(std::string command) {
        pending_.push_back(std::move(command));
        Schedule();
    }
    void Start() { Schedule(); }

private:
    // The next command runs from the event loop, after the events that are
    // already pending (the control's posted events of the previous command).
    void Schedule() {
        if (busy_ || scheduled_) return;
        scheduled_ = true;
        QTimer::singleShot(0, [this] { RunNext(); });
    }

    void RunNext() {
        scheduled_ = false;
        if (busy_ || finished_) return;
        if (pending_.empty()) {
            if (endOfInput_) Finish();
            return;
        }
        busy_ = true;
        const std::string line = std::move(pending_.front());
        pending_.pop_front();
        Run(line);
        busy_ = false;
        Schedule();
    }

    // One read per notification, so it never blocks; lines are queued even
    // while a command runs and are taken in order afterwards.
    void ReadInput() {
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) {
            input_->setEnabled(false);
            endOfInput_ = true;
            if (!partial_.empty()) pending_.push_back(std::exchange(partial_, {}));
            Schedule();
            return;
        }
        partial_.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = partial_.find('\n')) != std::string::npos;) {
            pending_.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
        Schedule();
    }

    void Run(std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (cli::IsSkippedLine(line)) return;
        const cli::ParseResult parsed = cli::ParseCommand(line);
        if (!parsed.ok) {
            Failure(parsed.error);
            return;
        }
        const cli::Command& command = parsed.command;
        switch (command.kind) {
        case cli::CommandKind::None: break;
        case cli::CommandKind::Call: {
            if (!control_) {
                Failure("error: the control is gone");
                break;
            }
            const cli::CallResult result = cli::RunCall(*control_, command);
            if (result.ok) {
                WriteLine(stdout, result.line);
            } else {
                Failure(result.line);
            }
            break;
        }
        case cli::CommandKind::Pump: Pump(command.pumpMilliseconds); break;
        case cli::CommandKind::TypeLib:
            for (const std::string& text : cli::TypeLibraryLines()) WriteLine(stdout, text);
            break;
        case cli::CommandKind::Help: WriteLine(stdout, cli::HelpText()); break;
        }
    }

    static void Pump(int milliseconds) {
        if (milliseconds <= 0) {
            QCoreApplication::processEvents();
            return;
        }
        QEventLoop loop;
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }

    void Failure(std::string_view line) {
        failed_ = true;
        WriteLine(stderr, line);
    }

    // Ends as a host ends: the sink goes, the last reference goes (the
    // control closes its dialogues and writes its settings), and what the
    // control left posted is handled before the program leaves.
    void Finish() {
        finished_ = true;
        input_.reset();
        if (events_) {
            events_->Unadvise(cookie_);
            events_.reset();
        }
        control_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QCoreApplication::exit(failed_ || outputLost ? kExitFailure : 0);
    }

    ba::ComPtr<ba::Dispatch> control_;
    ba::ComPtr<ba::EventConnection> events_;
    std::uint32_t cookie_ = 0;
    std::unique_ptr<QSocketNotifier> input_;
    std::deque<std::string> pending_;
    std::string partial_;
    bool endOfInput_ = false;
    bool busy_ = false;
    bool scheduled_ = false;
    bool finished_ = false;
    bool failed_ = false;
};

// A standard stream the caller closed is put on /dev/null before anything
// else opens a file: otherwise the next descriptor opened (the event loop's,
// a serial port's) would take its number and receive the output or be read.
void KeepStandardStreamsOpen() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) ::close(opened);
    }
}

}  // namespace

int main(int argc, char** argv) {
    KeepStandardStreamsOpen();
    // A reader that goes away must not kill the host before it destroys the control.
    std::signal(SIGPIPE, SIG_IGN);

    const Arguments arguments = ParseArguments(argc, argv);
    if (arguments.help) {
        WriteLine(stdout, std::string(kUsage) + std::string(kDescription) + cli::CommandsHelpText() +
                              std::string(kOptions));
        return outputLost ? kExitFailure : 0;
    }
    if (arguments.version) {
        WriteLine(stdout, std::string("brimlink-cli ") + brimlink::control::kVersionText);
        return outputLost ? kExitFailure : 0;
    }
    if (!arguments.error.empty()) {
        WriteLine(stderr, "brimlink-cli: " + cli::EscapeNonPrintable(arguments.error) + "\n" + std::string(kUsage) +
                              "See brimlink-cli --help for the commands and options.");
        return kExitUsage;
    }

    QCoreApplication application(argc, argv);

    void* raw = nullptr;
    std::string detail;
    const ba::HRESULT hr = ba::CreateInstance(arguments.classText, ba::IID_IDispatch, &raw, &detail);
    if (ba::Failed(hr) || raw == nullptr) {
        WriteLine(stderr, "error: cannot create the control " +
                              cli::EscapeNonPrintable(arguments.classText + ": " +
                                                      (detail.empty() ? ba::FormatResult(hr) : detail)));
        return kExitFailure;
    }

    int status = 0;
    {
        Host host(ba::ComPtr<ba::Dispatch>::Adopt(static_cast<ba::Dispatch*>(raw)), !arguments.commands);
        if (arguments.commands) {
            for (std::string& command : cli::SplitCommandText(*arguments.commands)) host.Add(std::move(command));
        }
        host.Start();
        status = QCoreApplication::exec();
    }
    return status;
}
