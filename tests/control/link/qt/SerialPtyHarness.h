// Serial ports on pseudo-terminals: a temporary settings folder whose ports/
// entries name the slaves of virtual modules (and of bare pseudo-terminals a
// test drives itself), and a QtLinkHarness whose serial transports are real
// CSerialPorts.
//
// Tests never reach a serial device they did not create: XDG_CONFIG_DIRS
// points at the temporary folder while a PtyBench lives, and the search table
// enables only COM200..COM210, numbers that have no device without a ports/
// entry.
//
// Declare the PtyBench before the SerialLink: the link (and with it every open
// port) must go before the modules and the folder do.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "QtLinkHarness.h"
#include "control/link/ComPortMap.h"
#include "control/link/RangeList.h"
#include "control/link/SerialPort.h"
#include "control/link/SettingsLocation.h"
#include "tools/virtual_module/PtyModule.h"

namespace brimlink::qttest {

inline constexpr const char* kOwnComNumbers = "200-210";

// A descriptor closed on scope exit.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int Get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// A pseudo-terminal with nothing behind it: the test writes to the master
// itself. `keep` holds the slave open, so the line stays up between opens.
struct RawPty {
  Fd master;
  Fd keep;
  std::string slavePath;

  bool Start(bool unlock = true) {
    master = Fd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master || ::grantpt(master.Get()) != 0) return false;
    if (::fcntl(master.Get(), F_SETFL, ::fcntl(master.Get(), F_GETFL) | O_NONBLOCK) != 0) return false;
    char name[128];
    if (::ptsname_r(master.Get(), name, sizeof name) != 0) return false;
    slavePath = name;
    if (!unlock) return true;  // opening a locked slave fails with EIO
    if (::unlockpt(master.Get()) != 0) return false;
    keep = Fd(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    return static_cast<bool>(keep);
  }
  // Writes all of bytes to the master (the slave's input) in one call.
  bool Send(const std::string& bytes) const {
    return ::write(master.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Bytes waiting in the slave's input (the tty's queue, whoever reads it).
  int Queued() const {
    int n = -1;
    ::ioctl(keep.Get(), FIONREAD, &n);
    return n;
  }
};

class PtyBench {
 public:
  PtyBench() {
    char pattern[] = "/tmp/brimlink-serial-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      ADD_FAILURE() << "no temporary folder";
      return;
    }
    root_ = pattern;
    if (const char* old = std::getenv("XDG_CONFIG_DIRS")) oldXdg_ = old;
    ::setenv("XDG_CONFIG_DIRS", (root_ + "/xdg").c_str(), 1);
    settings_ = link::SettingsFolder(root_);
    EXPECT_EQ(settings_, root_ + "/xdg/Brimlink");
    std::error_code ec;
    std::filesystem::create_directories(PortsFolder(), ec);
    EXPECT_FALSE(ec) << ec.message();
    table.Build(true, kOwnComNumbers, "");
  }

  ~PtyBench() {
    modules_.clear();
    if (oldXdg_) {
      ::setenv("XDG_CONFIG_DIRS", oldXdg_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_DIRS");
    }
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
  }

  PtyBench(const PtyBench&) = delete;
  PtyBench& operator=(const PtyBench&) = delete;

  const std::string& SettingsFolder() const { return settings_; }
  std::string PortsFolder() const { return settings_ + "/ports"; }

  // Starts a virtual module on a pseudo-terminal and registers it as COMn.
  // Null (with a test failure) when no pseudo-terminal could be had.
  sim::PtyModule* AddModule(std::uint32_t com, ModuleConfig config) {
    auto module = std::make_unique<sim::PtyModule>(std::move(config));
    if (!module->Start()) {
      ADD_FAILURE() << "PtyModule::Start: " << module->Error();
      return nullptr;
    }
    Link("COM" + std::to_string(com), module->SlavePath());
    sim::PtyModule* raw = module.get();
    modules_[com] = std::move(module);
    return raw;
  }

  // ports/<name> as a symbolic link to target.
  void Link(const std::string& name, const std::string& target) {
    std::error_code ec;
    std::filesystem::create_symlink(target, PortsFolder() + "/" + name, ec);
    EXPECT_FALSE(ec) << name << " -> " << target << ": " << ec.message();
  }
  // ports/<name> as a regular file.
  void AddFile(const std::string& name, const std::string& content) {
    const Fd fd(::open((PortsFolder() + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd);
    ASSERT_EQ(::write(fd.Get(), content.data(), content.size()), static_cast<ssize_t>(content.size()));
  }

  link::ComPortSearchTable table;

 private:
  std::string root_;
  std::string settings_;
  std::optional<std::string> oldXdg_;
  std::map<std::uint32_t, std::unique_ptr<sim::PtyModule>> modules_;
};

// What the control does with its transports, on real serial ports.
class SerialLink : public QtLinkHarness {
 public:
  explicit SerialLink(PtyBench& bench) : bench_(bench) {}

  bool TestSerialPort(std::uint32_t com) override {
    return link::CSerialPort::PortTest(com, bench_.table, bench_.SettingsFolder());
  }
  std::unique_ptr<link::CCommunicationPort> CreateSerialPort() override {
    auto port = std::make_unique<link::CSerialPort>(bench_.SettingsFolder(), [this](int ms) { WaitPumping(ms); });
    ++serialPortsCreated;
    if (onCreateSerialPort) onCreateSerialPort(*port);
    return port;
  }
  // The control shows the message and closes the port that failed.
  void OnPortFailure(link::PortType type, std::uint32_t key, const std::string& title,
                     const std::string& text) override {
    QtLinkHarness::OnPortFailure(type, key, title, text);
    failedKeys.push_back(key);
    if (!closeOnFailure) return;
    for (int i = 0; i < link::kChannelCount; ++i) {
      CommandChannel& channel = Channel(i);
      if (channel.PortTypeCode() == type && channel.PortKey() == key && channel.Transport() != nullptr)
        channel.Transport()->Close();
    }
  }

  int serialPortsCreated = 0;
  std::vector<std::uint32_t> failedKeys;
  bool closeOnFailure = true;
  std::function<void(link::CSerialPort&)> onCreateSerialPort;

 private:
  PtyBench& bench_;
};

}  // namespace brimlink::qttest
