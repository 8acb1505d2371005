// The serial transport on pseudo-terminals: COM numbers, the port test, the
// open with its error codes and configuration reports, the worker's reading
// limits and write time-out, and the channel end to end with virtual modules
// behind the lines (opening, 19200 fallback, busy port, unplug).
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>

// Before Qt's headers, which define "signals".
#include "support/ChildProcess.h"
// clang-format off
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "SerialPtyHarness.h"
#include "support/TempFolder.h"
// clang-format on

namespace brimlink::qttest {
namespace {

using link::CCommunicationPort;
using link::CSerialPort;
using link::type_code::kUSB;

// A PortOwner that only records, for tests of the port alone.
class RecordingOwner : public link::PortOwner {
 public:
  void PostDataReceived(PortType, std::uint32_t) override {
    std::lock_guard guard(mutex_);
    ++posts_;
  }
  void ReportPortFailure(PortType type, std::uint32_t key, std::string title, std::string text) override {
    std::lock_guard guard(mutex_);
    EXPECT_EQ(type, PortType::Serial);
    keys_.push_back(key);
    failures_.push_back(title + ": " + text);
  }
  int Posts() const {
    std::lock_guard guard(mutex_);
    return posts_;
  }
  std::vector<std::string> Failures() const {
    std::lock_guard guard(mutex_);
    return failures_;
  }
  std::vector<std::uint32_t> Keys() const {
    std::lock_guard guard(mutex_);
    return keys_;
  }

 private:
  mutable std::mutex mutex_;
  int posts_ = 0;
  std::vector<std::string> failures_;
  std::vector<std::uint32_t> keys_;
};

// Waits without pumping until cond holds or the time-out passes.
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 3000ms) {
  const auto deadline = Clock::now() + timeout;
  while (!cond()) {
    if (Clock::now() >= deadline) return cond();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::string Failure(const char* call, const char* text, int com) {
  return std::string("Serielle Kommunikation: Serielle Kommunikation mit folgendem Fehler fehlgeschlagen:\n") + call +
         ": " + text + "\nCOM: " + std::to_string(com) + " wird geschlossen!\n";
}

// Takes the exclusive lock an open port holds; false while someone has it.
bool CanLock(const std::string& path) {
  const Fd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  return fd && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0;
}

// TIOCGEXCL: is the terminal in exclusive mode?
int Exclusive(int fd) {
  int on = -1;
  return ::ioctl(fd, TIOCGEXCL, &on) == 0 ? on : -1;
}

int OpenDescriptors() {
  std::error_code ec;
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd", ec),
                                        std::filesystem::directory_iterator()));
}

int CountTrace(const QtLinkHarness& link, std::string_view line) {
  return static_cast<int>(std::count(link.traceLines.begin(), link.traceLines.end(), line));
}

std::vector<std::string> CommandsOf(sim::PtyModule& module) {
  std::vector<std::string> out;
  module.WithModule([&](VirtualModule& m) { out = m.ReceivedCommands(); });
  return out;
}

TEST(ComPortMap, FixedRangesAndPortsEntriesInAnyLetterCase) {
  EXPECT_EQ(link::ComDevicePath(0, ""), "");
  EXPECT_EQ(link::ComDevicePath(1, ""), "/dev/ttyS0");
  EXPECT_EQ(link::ComDevicePath(32, ""), "/dev/ttyS31");
  EXPECT_EQ(link::ComDevicePath(33, ""), "/dev/ttyUSB0");
  EXPECT_EQ(link::ComDevicePath(64, ""), "/dev/ttyUSB31");
  EXPECT_EQ(link::ComDevicePath(65, ""), "/dev/ttyACM0");
  EXPECT_EQ(link::ComDevicePath(96, ""), "/dev/ttyACM31");
  EXPECT_EQ(link::ComDevicePath(97, ""), "");
  EXPECT_EQ(link::ComDevicePath(255, ""), "");
  EXPECT_EQ(link::ComDevicePath(256, ""), "");

  PtyBench bench;
  const std::string ports = bench.PortsFolder();
  bench.Link("com3", "/dev/null");      // a fixed-range number renamed
  bench.Link("Com200", "/dev/null");    // a number without a fixed device
  bench.AddFile("COM201", "");          // a plain file is an entry too
  bench.Link("COM202", "/nonexistent");  // so is a dangling link
  bench.Link("COM0", "/dev/null");      // never a COM number
  bench.Link("COM256", "/dev/null");
  bench.Link("com207", "/dev/null");  // both spellings: the exact one wins
  bench.Link("COM207", "/dev/zero");
  const std::string& settings = bench.SettingsFolder();
  EXPECT_EQ(link::ComDevicePath(3, settings), ports + "/com3");
  EXPECT_EQ(link::ComDevicePath(4, settings), "/dev/ttyS3");
  EXPECT_EQ(link::ComDevicePath(200, settings), ports + "/Com200");
  EXPECT_EQ(link::ComDevicePath(201, settings), ports + "/COM201");
  EXPECT_EQ(link::ComDevicePath(202, settings), ports + "/COM202");
  EXPECT_EQ(link::ComDevicePath(203, settings), "");
  EXPECT_EQ(link::ComDevicePath(207, settings), ports + "/COM207");
  EXPECT_EQ(link::ComDevicePath(0, settings), "");
  EXPECT_EQ(link::ComDevicePath(256, settings), "");
  // "COM20" is not "COM200".
  EXPECT_EQ(link::ComDevicePath(20, settings), "/dev/ttyS19");
}

TEST(SerialPortTest, AcceptsPseudoTerminalsOnlyWhereTheTableAllows) {
  PtyBench bench;
  SerialLink link(bench);
  ASSERT_NE(bench.AddModule(200, ModuleConfig::Defaults(Model::USB, 1)), nullptr);
  bench.AddFile("COM201", "not a line\n");
  bench.Link("COM202", bench.PortsFolder() + "/missing");
  bench.Link("COM203", "/dev/null");  // a character device, but no terminal
  RawPty locked;                      // a terminal whose open fails (EIO)
  ASSERT_TRUE(locked.Start(/*unlock=*/false));
  bench.Link("COM205", locked.slavePath);

  EXPECT_TRUE(CSerialPort::PortTest(200, bench.table, bench.SettingsFolder()));
  EXPECT_FALSE(CSerialPort::PortTest(201, bench.table, bench.SettingsFolder()));
  EXPECT_FALSE(CSerialPort::PortTest(202, bench.table, bench.SettingsFolder()));
  EXPECT_FALSE(CSerialPort::PortTest(203, bench.table, bench.SettingsFolder()));
  EXPECT_FALSE(CSerialPort::PortTest(204, bench.table, bench.SettingsFolder()));  // no entry, no device
  EXPECT_FALSE(CSerialPort::PortTest(205, bench.table, bench.SettingsFolder()));
  for (const char* line : {"Testing COM:\t200", "Testing COM:\t201", "Testing COM:\t204"})
    EXPECT_TRUE(link.TraceContains(line)) << line;

  // The file was not touched.
  std::error_code ec;
  EXPECT_EQ(std::filesystem::file_size(bench.PortsFolder() + "/COM201", ec), 11u);

  // Numbers outside 1..255 and numbers the table leaves out are not tried.
  link.traceLines.clear();
  link::ComPortSearchTable all;
  all.Build(true, "1-255", "");
  EXPECT_FALSE(CSerialPort::PortTest(0, all, bench.SettingsFolder()));
  EXPECT_FALSE(CSerialPort::PortTest(256, all, bench.SettingsFolder()));
  link::ComPortSearchTable excluded;
  excluded.Build(true, kOwnComNumbers, "200");
  EXPECT_FALSE(CSerialPort::PortTest(200, excluded, bench.SettingsFolder()));
  link::ComPortSearchTable serialOff;
  serialOff.Build(false, kOwnComNumbers, "");
  EXPECT_FALSE(CSerialPort::PortTest(200, serialOff, bench.SettingsFolder()));
  EXPECT_TRUE(link.traceLines.empty()) << link.traceLines.front();
}

// A sysfs of the test's own: dev/char/MAJOR:MINOR links to a device folder
// with its subsystem link and, for a port of the serial core, its UART type.
class FakeSysfs {
 public:
  const std::string& Root() const { return folder_.Path(); }
  // subsystem: "tty", "mem"...; type: the attribute's text, none when empty.
  void AddDevice(dev_t device, const std::string& name, const std::string& subsystem, const std::string& type) {
    namespace fs = std::filesystem;
    const std::string folder = Root() + "/devices/test/" + name;
    fs::create_directories(folder);
    fs::create_directories(Root() + "/class/" + subsystem);
    fs::create_directories(Root() + "/dev/char");
    fs::create_symlink("../../../class/" + subsystem, folder + "/subsystem");
    if (!type.empty()) std::ofstream(folder + "/type") << type << "\n";
    fs::create_symlink("../../devices/test/" + name, Root() + "/dev/char/" + std::to_string(major(device)) + ":" +
                                                         std::to_string(minor(device)));
  }

 private:
  testing::TempFolder folder_{"brimlink-sysfs"};
};

// Counts the opens of one file, whoever opens it.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_) watching_ = ::inotify_add_watch(fd_.Get(), path.c_str(), IN_OPEN) >= 0;
  }
  bool Watching() const { return watching_; }
  int Opens() const {
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(fd_.Get(), buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if ((event->mask & IN_OPEN) != 0) ++opens;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return opens;
  }

 private:
  Fd fd_;
  bool watching_ = false;
};

TEST(SerialPortTest, SysfsDecidesWithoutOpeningAndOnlyWhatItCannotTellIsOpened) {
  enum class Node { Fifo, Pty };
  struct Case {
    const char* what;
    Node node;
    const char* name;       // the device's sysfs name; nullptr: no sysfs entry
    const char* subsystem;
    const char* type;       // "" for no type attribute
    bool line;
    bool opened;
  };
  const std::vector<Case> cases = {
      {"a FIFO is no device", Node::Fifo, nullptr, "", "", false, false},
      {"a device of another class", Node::Pty, "null", "mem", "", false, false},
      {"a UART slot without a UART", Node::Pty, "ttyS3", "tty", "0", false, false},
      {"a detected UART", Node::Pty, "ttyS3", "tty", "4", true, false},
      {"a tty without UART slots", Node::Pty, "ttyUSB0", "tty", "", true, false},
      // What sysfs cannot tell is asked of the device.
      {"a ttyS whose kernel gives no type", Node::Pty, "ttyS3", "tty", "", true, true},
      {"a type that is no number", Node::Pty, "ttyS3", "tty", "16550A", true, true},
      {"no sysfs entry (a pseudo-terminal)", Node::Pty, nullptr, "", "", true, true},
  };
  for (const Case& c : cases) {
    PtyBench bench;
    FakeSysfs sysfs;
    RawPty pty;
    std::string path;
    if (c.node == Node::Fifo) {
      path = bench.PortsFolder() + "/COM200";
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << c.what;
    } else {
      ASSERT_TRUE(pty.Start()) << c.what;
      bench.Link("COM200", pty.slavePath);
      path = pty.slavePath;
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0) << c.what;
    if (c.name != nullptr) sysfs.AddDevice(info.st_rdev, c.name, c.subsystem, c.type);

    const OpenWatch watch(path);
    ASSERT_TRUE(watch.Watching()) << c.what;
    EXPECT_EQ(CSerialPort::PortTest(200, bench.table, bench.SettingsFolder(), sysfs.Root()), c.line) << c.what;
    EXPECT_EQ(watch.Opens() > 0, c.opened) << c.what;
  }
}

TEST(SerialPortOpen, OpenErrorsAreWhatTheRetryExpects) {
  PtyBench bench;
  RecordingOwner owner;
  RawPty line, locked;
  ASSERT_TRUE(line.Start());
  ASSERT_TRUE(locked.Start(/*unlock=*/false));
  bench.Link("COM206", line.slavePath);
  bench.Link("COM205", locked.slavePath);

  CSerialPort port(bench.SettingsFolder(), nullptr);
  EXPECT_EQ(port.Type(), PortType::Serial);
  EXPECT_EQ(port.Open(owner, 204, 115200), ENOENT);
  // An I/O error is not "busy": it must not be retried as 5 would be.
  EXPECT_EQ(port.Open(owner, 205, 115200), ENXIO);

  // Held by another program: busy.
  {
    const Fd holder(::open(line.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(holder);
    ASSERT_EQ(::flock(holder.Get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(port.Open(owner, 206, 115200), CCommunicationPort::kBusy);
    EXPECT_FALSE(port.WorkerRunning());
  }

  // Opened: the port holds the lock, runs its worker, and the line is raw
  // 8N1 at the asked speed.
  ASSERT_EQ(port.Open(owner, 206, 19200), 0);
  EXPECT_TRUE(port.WorkerRunning());
  EXPECT_FALSE(CanLock(line.slavePath));
  EXPECT_EQ(Exclusive(line.keep.Get()), 1);
  termios settings{};
  ASSERT_EQ(::tcgetattr(line.keep.Get(), &settings), 0);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B19200));
  EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | ICRNL), 0u);

  EXPECT_EQ(port.Close(), 1);
  EXPECT_FALSE(port.WorkerRunning());
  EXPECT_TRUE(CanLock(line.slavePath));
  // The line outlives the port (the keep-alive): exclusive mode must not stay.
  EXPECT_EQ(Exclusive(line.keep.Get()), 0);
  // Reopening the same object works, at the other speed.
  ASSERT_EQ(port.Open(owner, 206, 115200), 0);
  ASSERT_EQ(::tcgetattr(line.keep.Get(), &settings), 0);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B115200));
  EXPECT_EQ(port.Close(), 1);
  EXPECT_TRUE(owner.Failures().empty());
}

TEST(SerialPortOpen, APortThisUserMayNotOpenIsDeniedNotBusyAndDescribed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  PtyBench bench;
  RecordingOwner owner;
  RawPty line;
  ASSERT_TRUE(line.Start());
  bench.Link("COM206", line.slavePath);
  ASSERT_EQ(::chmod(line.slavePath.c_str(), 0600), 0);
  const std::filesystem::path settings = bench.SettingsFolder();
  for (const auto& folder : {settings.parent_path().parent_path(), settings.parent_path()})
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0) << folder;

  const auto answer = testing::RunAsUser(65534, 65534, [&] {
    CSerialPort port(bench.SettingsFolder(), nullptr);
    const bool tested = CSerialPort::PortTest(206, bench.table, bench.SettingsFolder());
    const int result = port.Open(owner, 206, 115200);
    std::string text = std::to_string(tested) + " " + std::to_string(result);
    if (const auto& denied = port.Denied()) {
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(denied->mode));
      text += " " + std::to_string(denied->port) + " " + denied->node + " " + std::to_string(denied->owner) + " " +
              mode + " " + std::to_string(denied->error);
    }
    return text;
  });
  ASSERT_TRUE(answer.has_value());
  // Worth opening (so that the user hears of it), refused with EACCES, never
  // the busy code the open retries; the node is the device, not its link.
  EXPECT_EQ(*answer, "1 " + std::to_string(EACCES) + " 206 " + line.slavePath + " 0 0600 " + std::to_string(EACCES));

  // Root may open it; other failures are no denial.
  CSerialPort port(bench.SettingsFolder(), nullptr);
  EXPECT_EQ(port.Open(owner, 205, 115200), ENOENT);
  EXPECT_FALSE(port.Denied());
  ASSERT_EQ(port.Open(owner, 206, 115200), 0);
  EXPECT_FALSE(port.Denied());
}

TEST(SerialPortOpen, AFailedSettingCallIsReportedOnceByItsName) {
  PtyBench bench;
  RawPty line;
  ASSERT_TRUE(line.Start());
  bench.Link("COM206", line.slavePath);

  for (const char* call : {"tcgetattr()", "cfsetspeed()", "tcsetattr()", "ioctl(TIOCMBIS)", "tcflush()"}) {
    SCOPED_TRACE(call);
    RecordingOwner owner;
    CSerialPort port(bench.SettingsFolder(), nullptr);
    port.InjectConfigurationFailure(call, EPERM);
    EXPECT_EQ(port.Open(owner, 206, 115200), CCommunicationPort::kConfigurationFailed);
    EXPECT_EQ(owner.Failures(), std::vector<std::string>{Failure(call, "Operation not permitted", 206)});
    EXPECT_EQ(owner.Keys(), std::vector<std::uint32_t>{206});
    EXPECT_FALSE(port.WorkerRunning());
    EXPECT_TRUE(CanLock(line.slavePath)) << "the port was left open";
  }

  // Without any help: a speed the line cannot take.
  RecordingOwner owner;
  CSerialPort port(bench.SettingsFolder(), nullptr);
  EXPECT_EQ(port.Open(owner, 206, 12345), CCommunicationPort::kConfigurationFailed);
  EXPECT_EQ(owner.Failures(), std::vector<std::string>{Failure("cfsetspeed()", "Invalid argument", 206)});
  EXPECT_TRUE(CanLock(line.slavePath));
  port.Write("setup0\r");  // dropped: the port is closed
  char byte;
  EXPECT_EQ(::read(line.master.Get(), &byte, 1), -1);
}

// The GUI thread does not pump here: received bytes stay in the port's
// buffer while more arrive.
TEST(SerialPortReading, PurgesWhatDoesNotFitAndReadsWhatDoes) {
  PtyBench bench;
  RawPty line;
  ASSERT_TRUE(line.Start());
  bench.Link("COM206", line.slavePath);
  RecordingOwner owner;
  CSerialPort port(bench.SettingsFolder(), nullptr);
  ASSERT_EQ(port.Open(owner, 206, 115200), 0);
  char batch[CCommunicationPort::kBufferSize];

  // 500 unread, 600 queued: the 600 are purged and the cut is marked.
  ASSERT_TRUE(line.Send(std::string(500, 'a')));
  ASSERT_TRUE(WaitFor([&] { return port.ReceivedCount() == 500; }));
  EXPECT_FALSE(port.Backlog());
  EXPECT_GE(owner.Posts(), 1);
  ASSERT_TRUE(line.Send(std::string(600, 'b')));
  ASSERT_TRUE(WaitFor([&] { return port.Backlog() && line.Queued() == 0; }));
  EXPECT_EQ(port.ReceivedCount(), 500u);
  link::ReceivedBatch got = port.DrainReceived(batch);
  EXPECT_EQ(got.count, 500u);
  EXPECT_TRUE(got.backlog);
  EXPECT_EQ(got.discontinuity, 500u);
  EXPECT_EQ(std::string(batch, got.count), std::string(500, 'a'));

  // 500 unread, 400 queued: read, with the backlog flag set.
  const int postsBefore = owner.Posts();
  ASSERT_TRUE(line.Send(std::string(500, 'a')));
  ASSERT_TRUE(WaitFor([&] { return port.ReceivedCount() == 500; }));
  EXPECT_FALSE(port.Backlog());
  ASSERT_TRUE(line.Send(std::string(400, 'c')));
  ASSERT_TRUE(WaitFor([&] { return port.ReceivedCount() == 900; }));
  EXPECT_TRUE(port.Backlog());
  EXPECT_GT(owner.Posts(), postsBefore + 1);
  got = port.DrainReceived(batch);
  EXPECT_EQ(got.count, 900u);
  EXPECT_EQ(got.discontinuity, link::ReceivedBatch::npos);
  EXPECT_EQ(std::string(batch, got.count), std::string(500, 'a') + std::string(400, 'c'));
  EXPECT_EQ(line.Queued(), 0);

  // Two purges before one drain: a batch carries one cut, so what fitted in
  // between (maybe a line without its end) goes with the second purge.
  ASSERT_TRUE(line.Send(std::string(500, 'a')));
  ASSERT_TRUE(WaitFor([&] { return port.ReceivedCount() == 500; }));
  ASSERT_TRUE(line.Send(std::string(600, 'b')));
  ASSERT_TRUE(WaitFor([&] { return port.HasPending() && line.Queued() == 0 && port.Backlog(); }));
  ASSERT_TRUE(line.Send("EW1.0=00"));
  ASSERT_TRUE(WaitFor([&] { return port.ReceivedCount() == 508; }));
  ASSERT_TRUE(line.Send(std::string(600, 'd')));
  ASSERT_TRUE(WaitFor([&] { return port.ReceivedCount() == 500 && line.Queued() == 0; }));
  ASSERT_TRUE(line.Send("V=2.10\r"));
  ASSERT_TRUE(WaitFor([&] { return port.ReceivedCount() == 507; }));
  got = port.DrainReceived(batch);
  EXPECT_EQ(got.discontinuity, 500u);
  EXPECT_EQ(std::string(batch, got.count), std::string(500, 'a') + "V=2.10\r");
  EXPECT_TRUE(owner.Failures().empty());
}

TEST(SerialLink, OpensInitialisesAndRaisesInputChangesOverAPty) {
  PtyBench bench;
  SerialLink link(bench);
  sim::PtyModule* module = bench.AddModule(200, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  module->WithModule([](VirtualModule& m) {
    m.SetInputWord(0, 0x00A5, Now());
    m.SetInputWord(2, 0x0123, Now());
  });
  // What the module said before the port opened is not the channel's.
  ASSERT_TRUE(WaitFor([&] {
    bool idle = false;
    module->WithModule([&](VirtualModule& m) { idle = !m.HasOutput(); });
    return idle;
  }));

  CommandChannel& channel = link.Channel(0);
  ASSERT_EQ(channel.OpenSerialChannel(200, 205), 200u);
  EXPECT_EQ(channel.State(), ChannelState::Ready);
  EXPECT_EQ(channel.ModuleNumber(), 1);
  EXPECT_EQ(channel.VersionMajor(), 2u);
  EXPECT_EQ(channel.VersionMinor(), 10u);
  EXPECT_EQ(module->LineBaud(), 115200);
  EXPECT_TRUE(link.TraceContains("Testing COM:\t200"));
  EXPECT_TRUE(link.TraceContains("Opening COM:\t200"));
  EXPECT_TRUE(link.TraceContains("RX COM 200:\tV=2.10"));
  EXPECT_TRUE(link.TraceContains("CHANNEL_READY"));
  EXPECT_EQ(link.serialPortsCreated, 1);

  channel.InitialiseModule(1);
  EXPECT_EQ(channel.State(), ChannelState::Ready);
  EXPECT_EQ(link.Record(1).typeCode, kUSB);
  EXPECT_EQ(link.Record(1).inputWords[0], 0x00A5u);
  EXPECT_EQ(link.Record(1).inputWords[2], 0x0123u);

  module->WithModule([](VirtualModule& m) { m.SetInputWord(0, 0x005A, Now()); });
  ASSERT_TRUE(link.PumpUntil([&] { return link.HasEvent(1, 0, 0x005A); }));
  EXPECT_EQ(link.Record(1).inputWords[0], 0x005Au);

  channel.SendCommand("MAW1.2=BEEF");
  ASSERT_TRUE(link.PumpUntil([&] { return link.Record(1).lastReply == "AW1.2=BEEF"; }));
  std::uint16_t written = 0;
  module->WithModule([&](VirtualModule& m) { written = m.OutputWord(1); });
  EXPECT_EQ(written, 0xBEEF);

  channel.CloseChannel();
  EXPECT_EQ(channel.State(), ChannelState::Closed);
  EXPECT_TRUE(link.messages.empty()) << link.messages.front();

  // The line stays up while the port is closed: it opens again.
  ASSERT_EQ(channel.OpenSerialChannel(200, 200), 200u);
  EXPECT_EQ(channel.State(), ChannelState::Ready);
  channel.CloseChannel();
}

TEST(SerialLink, FallsBackTo19200WhenTheModuleAnswersOnlyThere) {
  PtyBench bench;
  SerialLink link(bench);
  ModuleConfig config = ModuleConfig::Defaults(Model::R6, 3);
  config.onlyBaud = 19200;
  sim::PtyModule* module = bench.AddModule(201, config);
  ASSERT_NE(module, nullptr);

  CommandChannel& channel = link.Channel(0);
  const auto start = Clock::now();
  ASSERT_EQ(channel.OpenSerialChannel(201, 201), 201u);
  EXPECT_GE(ElapsedMs(start), 250);  // the 115200 attempt waited its time out
  EXPECT_EQ(module->LineBaud(), 19200);
  EXPECT_EQ(link.serialPortsCreated, 2);
  EXPECT_EQ(channel.ModuleNumber(), 3);
  EXPECT_EQ(channel.VersionMajor(), 1u);
  EXPECT_EQ(channel.VersionMinor(), 5u);
  EXPECT_EQ(CountTrace(link, "Opening COM:\t201"), 1);
  EXPECT_TRUE(link.messages.empty());
  channel.CloseChannel();
}

TEST(SerialLink, BusyPortIsRetriedForAbout400MsPerBaudRate) {
  PtyBench bench;
  SerialLink link(bench);
  sim::PtyModule* module = bench.AddModule(202, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  const Fd holder(::open(module->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(holder);
  ASSERT_EQ(::flock(holder.Get(), LOCK_EX | LOCK_NB), 0);

  CommandChannel& channel = link.Channel(0);
  const auto start = Clock::now();
  EXPECT_EQ(channel.OpenSerialChannel(202, 202), 0u);
  const long long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 2 * 400 - 20);
  EXPECT_LT(elapsed, 2 * 400 + 1500);
  EXPECT_EQ(link.serialPortsCreated, 2);
  EXPECT_GE(link.waits, 2 * 40);
  EXPECT_EQ(channel.State(), ChannelState::Closed);
  EXPECT_TRUE(CommandsOf(*module).empty());
  EXPECT_TRUE(link.messages.empty());
}

TEST(SerialLink, BusyPortOpensOnceTheOtherProgramLetsGo) {
  PtyBench bench;
  SerialLink link(bench);
  sim::PtyModule* module = bench.AddModule(202, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  Fd holder(::open(module->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(holder);
  ASSERT_EQ(::flock(holder.Get(), LOCK_EX | LOCK_NB), 0);
  // The other program closes the port while the channel retries.
  QTimer::singleShot(150, &link.Receiver(), [&holder] { holder.Reset(); });

  CommandChannel& channel = link.Channel(0);
  const auto start = Clock::now();
  ASSERT_EQ(channel.OpenSerialChannel(202, 202), 202u);
  EXPECT_GE(ElapsedMs(start), 140);
  EXPECT_EQ(link.serialPortsCreated, 1);
  EXPECT_EQ(module->LineBaud(), 115200);
  EXPECT_EQ(channel.State(), ChannelState::Ready);
  channel.CloseChannel();
}

TEST(SerialLink, UnplugIsReportedOnceAndTheChannelTimesOut) {
  PtyBench bench;
  SerialLink link(bench);
  link.closeOnFailure = false;  // the worker must end on its own
  sim::PtyModule* module = bench.AddModule(203, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  CommandChannel& channel = link.Channel(0);
  ASSERT_EQ(channel.OpenSerialChannel(203, 203), 203u);
  channel.InitialiseModule(1);
  ASSERT_EQ(channel.State(), ChannelState::Ready);
  CCommunicationPort* port = channel.Transport();
  ASSERT_NE(port, nullptr);

  module->CloseMaster();
  ASSERT_TRUE(link.PumpUntil([&] { return !link.messages.empty(); }));
  ASSERT_TRUE(link.PumpUntil([&] { return !port->WorkerRunning(); }));
  link::WaitPumping(100);
  ASSERT_EQ(link.messages.size(), 1u);
  const std::string& message = link.messages.front();
  // A hung-up line answers every request with EIO.
  EXPECT_EQ(message, Failure("read()", "Input/output error", 203));
  EXPECT_EQ(link.failedKeys, std::vector<std::uint32_t>{203});

  // The channel is still "ready" until its next dialogue, which times out.
  const auto start = Clock::now();
  channel.InitialiseModule(1);
  EXPECT_GE(ElapsedMs(start), 390);
  EXPECT_EQ(channel.State(), ChannelState::Initialising);
  channel.CloseChannel();
  EXPECT_EQ(channel.State(), ChannelState::Closed);
  EXPECT_EQ(link.messages.size(), 1u);

  // The device is gone, as an unplugged adapter's is.
  EXPECT_FALSE(CSerialPort::PortTest(203, bench.table, bench.SettingsFolder()));
  EXPECT_EQ(channel.OpenSerialChannel(203, 203), 0u);
}

TEST(SerialLink, UnplugWhileTheControlClosesThePortIsReportedOnce) {
  PtyBench bench;
  SerialLink link(bench);  // closes the port on the report, as the control does
  sim::PtyModule* module = bench.AddModule(203, ModuleConfig::Defaults(Model::USB, 2));
  ASSERT_NE(module, nullptr);
  CommandChannel& channel = link.Channel(1);
  ASSERT_EQ(channel.OpenSerialChannel(203, 203), 203u);
  module->CloseMaster();
  ASSERT_TRUE(link.PumpUntil([&] { return !link.messages.empty(); }));
  ASSERT_NE(channel.Transport(), nullptr);
  EXPECT_FALSE(channel.Transport()->WorkerRunning());
  // Commands to the closed port go nowhere, at once.
  const auto start = Clock::now();
  channel.SendCommand("DC2.0");
  channel.SendCommand("DC2.1");
  EXPECT_LT(ElapsedMs(start), 500);
  channel.CloseChannel();
  EXPECT_EQ(link.messages.size(), 1u);
}

TEST(SerialLink, ConfigurationFailureIsReportedOnceAndTheOtherBaudRateNotTried) {
  PtyBench bench;
  SerialLink link(bench);
  sim::PtyModule* module = bench.AddModule(204, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  link.onCreateSerialPort = [](CSerialPort& port) { port.InjectConfigurationFailure("tcsetattr()", EINVAL); };

  CommandChannel& channel = link.Channel(0);
  EXPECT_EQ(channel.OpenSerialChannel(204, 204), 0u);
  EXPECT_EQ(link.serialPortsCreated, 1);
  ASSERT_TRUE(link.PumpUntil([&] { return !link.messages.empty(); }));
  link::WaitPumping(100);
  EXPECT_EQ(link.messages, std::vector<std::string>{Failure("tcsetattr()", "Invalid argument", 204)});
  EXPECT_EQ(channel.State(), ChannelState::Closed);
  EXPECT_TRUE(CanLock(module->SlavePath())) << "the port was left open";
  EXPECT_TRUE(CommandsOf(*module).empty());
}

TEST(SerialLink, SecondCommandIsDroppedWhileTheFirstCannotGoOut) {
  PtyBench bench;
  SerialLink link(bench);
  sim::PtyModule* module = bench.AddModule(205, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_NE(module, nullptr);
  // Opened before the port takes the line exclusively.
  const Fd line(::open(module->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(line);
  CommandChannel& channel = link.Channel(0);
  ASSERT_EQ(channel.OpenSerialChannel(205, 205), 205u);
  // The opening dialogue's last command may still be on its way; once ready,
  // the channel sends nothing of its own.
  const auto sent = std::count_if(link.traceLines.begin(), link.traceLines.end(),
                                  [](const std::string& l) { return l.rfind("TX COM 205:", 0) == 0; });
  ASSERT_TRUE(link.PumpUntil([&] { return static_cast<long>(CommandsOf(*module).size()) == sent; }));
  link::WaitPumping(50);
  module->WithModule([](VirtualModule& m) { m.ClearReceivedCommands(); });

  // Output suspended: the first command cannot be written.
  ASSERT_EQ(::tcflow(line.Get(), TCOOFF), 0);
  auto start = Clock::now();
  channel.SendCommand("DC1.0");
  const long long firstMs = ElapsedMs(start);
  start = Clock::now();
  channel.SendCommand("DC1.1");
  const long long secondMs = ElapsedMs(start);
  EXPECT_LT(firstMs, 100);
  EXPECT_GE(secondMs, 995);
  EXPECT_LT(secondMs, 1500);
  ASSERT_EQ(::tcflow(line.Get(), TCOON), 0);

  ASSERT_TRUE(link.PumpUntil([&] { return link.Record(1).lastReply == "C1.0=0000"; }));
  link::WaitPumping(50);
  EXPECT_EQ(CommandsOf(*module), std::vector<std::string>{"DC1.0"});
  start = Clock::now();
  channel.SendCommand("MB1=7");
  EXPECT_LT(ElapsedMs(start), 100);
  ASSERT_TRUE(link.PumpUntil([&] { return link.Record(1).lastReply == "B1=7"; }));
  EXPECT_EQ(CommandsOf(*module), (std::vector<std::string>{"DC1.0", "MB1=7"}));
  channel.CloseChannel();
}

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Reads what the module answers on the slave until a CR, or "" after 2 s.
std::string ReadLine(int fd) {
  std::string line;
  const auto deadline = Clock::now() + 2000ms;
  while (Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char c;
    if (::read(fd, &c, 1) != 1) continue;
    line += c;
    if (c == '\r') return line;
  }
  return {};
}

TEST(PtyModule, AnswersAtTheLineSpeedStaysIdleAndUnplugsLikeAnAdapter) {
  const int descriptorsBefore = OpenDescriptors();
  sim::PtyModule module(ModuleConfig::Defaults(Model::USB, 4));
  ASSERT_TRUE(module.Start()) << module.Error();
  ASSERT_EQ(module.SlavePath().rfind("/dev/pts/", 0), 0u) << module.SlavePath();
  std::vector<std::pair<int, std::uint16_t>> outputs;
  std::mutex outputsLock;
  module.SetOutputObserver([&](int word, std::uint16_t value) {
    std::lock_guard guard(outputsLock);
    outputs.emplace_back(word, value);
  });

  // The control opens, asks, closes; the module answers at the line's speed.
  {
    const Fd slave(::open(module.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(slave);
    termios settings{};
    ASSERT_EQ(::tcgetattr(slave.Get(), &settings), 0);
    EXPECT_EQ(settings.c_lflag & (ECHO | ICANON), 0u);  // raw from the start
    cfsetspeed(&settings, B19200);
    ASSERT_EQ(::tcsetattr(slave.Get(), TCSANOW, &settings), 0);
    ASSERT_EQ(::write(slave.Get(), "setup0\r", 7), 7);
    EXPECT_EQ(ReadLine(slave.Get()), "setup4\r");
    EXPECT_EQ(module.LineBaud(), 19200);
    ASSERT_EQ(::write(slave.Get(), "MAW4.2=00FF\r", 12), 12);
    EXPECT_EQ(ReadLine(slave.Get()), "AW4.2=00FF\r");
  }
  {
    std::lock_guard guard(outputsLock);
    EXPECT_EQ(outputs, (std::vector<std::pair<int, std::uint16_t>>{{1, 0x00FF}}));
  }

  // With the control's port closed the module's thread sleeps: no hang-up
  // spin on the master.
  const double cpuBefore = ProcessCpuMs();
  std::this_thread::sleep_for(300ms);  // the measuring window itself
  EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0);

  // The line is still up: a second open is answered too.
  const Fd slave(::open(module.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(slave);
  ASSERT_EQ(::write(slave.Get(), "setup0\r", 7), 7);
  EXPECT_EQ(ReadLine(slave.Get()), "setup4\r");
  module.WithModule([](VirtualModule& m) { m.SetInputWord(0, 0x0011, Now()); });
  EXPECT_EQ(ReadLine(slave.Get()), "EW4.0=0011\r");

  // Unplugged: the open descriptor hangs up, reads fail, the node is gone.
  module.CloseMaster();
  pollfd p{slave.Get(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 1000), 1);
  EXPECT_NE(p.revents & POLLHUP, 0);
  int queued = 0;
  EXPECT_EQ(::ioctl(slave.Get(), FIONREAD, &queued), -1);
  EXPECT_EQ(errno, EIO);
  char c;
  EXPECT_LE(::read(slave.Get(), &c, 1), 0);
  EXPECT_EQ(::open(module.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC), -1);
  // Nothing of the module holds the dead line (only the test's own slave).
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore + 1);
  module.CloseMaster();  // twice is harmless
  EXPECT_EQ(OpenDescriptors(), descriptorsBefore + 1);
}

}  // namespace
}  // namespace brimlink::qttest
