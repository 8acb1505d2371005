#include "tools/virtual_module/PtyModule.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace brimlink::sim {
namespace {

Millis Now() {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

std::string SystemError(const char* call) {
  char buffer[256];
  return std::string(call) + ": " + strerror_r(errno, buffer, sizeof buffer);
}

int BaudOf(speed_t code) {
  struct Entry {
    speed_t code;
    int baud;
  };
  static constexpr Entry kTable[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},
                                     {B9600, 9600},   {B19200, 19200}, {B38400, 38400},
                                     {B57600, 57600}, {B115200, 115200}, {B230400, 230400}};
  for (const Entry& e : kTable)
    if (e.code == code) return e.baud;
  return 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

PtyModule::PtyModule(ModuleConfig config) : module_(std::move(config)) {}

PtyModule::~PtyModule() { CloseMaster(); }

bool PtyModule::Start() {
  if (master_ >= 0 || thread_.joinable()) {
    error_ = "already started";
    return false;
  }
  auto fail = [this](const char* call) {
    error_ = SystemError(call);
    CloseFd(wake_);
    CloseFd(slaveKeepAlive_);
    CloseFd(master_);
    slavePath_.clear();
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (grantpt(master_) != 0) return fail("grantpt");
  if (unlockpt(master_) != 0) return fail("unlockpt");
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname_r");
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  // Settings made through the master apply to the slave: it starts raw, as a
  // serial line does, so nothing the module sends is echoed back to it before
  // the control has set the line up.
  termios settings{};
  if (tcgetattr(master_, &settings) != 0) return fail("tcgetattr");
  cfmakeraw(&settings);
  if (tcsetattr(master_, TCSANOW, &settings) != 0) return fail("tcsetattr");
  // While no other descriptor has the slave open, the master would poll as
  // hung up (at once, again and again); this one keeps the line up while the
  // control has the port closed.
  slaveKeepAlive_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slaveKeepAlive_ < 0) return fail("open slave");
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) return fail("eventfd");
  slavePath_ = name;
  stop_ = false;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return fail("thread");
  }
  return true;
}

void PtyModule::WithModule(const std::function<void(VirtualModule&)>& fn) {
  {
    std::lock_guard guard(lock_);
    fn(module_);
  }
  if (wake_ >= 0) {
    const std::uint64_t one = 1;
    while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
    }
  }
}

void PtyModule::SetOutputObserver(std::function<void(int word, std::uint16_t value)> observer) {
  std::lock_guard guard(lock_);
  module_.onOutputWritten = std::move(observer);
}

void PtyModule::CloseMaster() {
  if (thread_.joinable()) {
    stop_ = true;
    const std::uint64_t one = 1;
    while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  // Closing the master hangs the slave up: the control's descriptor polls
  // POLLHUP and reads fail, and the /dev/pts node is gone, as the device node
  // of an unplugged adapter is. The keep-alive goes too, so that nothing
  // holds the dead line.
  CloseFd(master_);
  CloseFd(slaveKeepAlive_);
  CloseFd(wake_);
}

int PtyModule::CurrentBaud() const {
  termios settings{};
  // On the master, tcgetattr reports the slave's settings: the control's.
  if (tcgetattr(master_, &settings) != 0) return 0;
  speed_t code = cfgetispeed(&settings);
  if (code == B0) code = cfgetospeed(&settings);  // input speed "same as output"
  return BaudOf(code);
}

void PtyModule::Run() {
  std::string pending;  // module output the master did not take yet
  char buffer[1024];
  bool lineUp = true;
  while (!stop_) {
    int timeout = -1;
    if (pending.empty()) {
      std::lock_guard guard(lock_);
      if (const auto due = module_.NextDue())
        timeout = static_cast<int>(std::max<long long>(0, (*due - Now()).count()));
    }
    short events = POLLIN;
    if (!pending.empty()) events |= POLLOUT;
    pollfd fds[2] = {{lineUp ? master_ : -1, events, 0}, {wake_, POLLIN, 0}};
    if (poll(fds, 2, timeout) < 0 && errno != EINTR) break;
    if (stop_) break;
    if ((fds[1].revents & POLLIN) != 0) {
      std::uint64_t value;
      while (read(wake_, &value, sizeof value) < 0 && errno == EINTR) {
      }
    }
    if ((fds[0].revents & POLLIN) != 0) {
      for (;;) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        const int baud = CurrentBaud();
        lineBaud_ = baud;
        std::lock_guard guard(lock_);
        module_.SetLineBaud(baud);
        module_.Receive(std::string_view(buffer, static_cast<std::size_t>(n)), Now());
      }
    } else if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      // Cannot happen while the keep-alive holds the slave; if it does, stop
      // polling the master rather than spin on it.
      lineUp = false;
    }
    // One chunk per round, so that a module that sends byte by byte is seen
    // byte by byte on the line.
    {
      std::lock_guard guard(lock_);
      const std::size_t n = module_.TakeOutput(Now(), buffer, sizeof buffer);
      pending.append(buffer, n);
    }
    while (!pending.empty() && lineUp) {
      const ssize_t n = write(master_, pending.data(), pending.size());
      if (n > 0) {
        pending.erase(0, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      break;  // the slave's input is full: wait for POLLOUT
    }
  }
}

}  // namespace brimlink::sim
