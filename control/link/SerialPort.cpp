#include "control/link/SerialPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "control/link/ComPortMap.h"
#include "control/link/SerialLineCheck.h"
#include "control/link/Trace.h"

namespace brimlink::link {
namespace {

constexpr const char* kFailureTitle = "Serielle Kommunikation";
// The kernel's "no such ioctl" code; a driver may let it through.
constexpr int kNoIoctlCommand = 515;

std::string ErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r: thread-safe, returns the text (maybe not in buffer).
  return strerror_r(error, buffer, sizeof buffer);
}

speed_t SpeedCode(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return static_cast<speed_t>(-1);  // cfsetspeed refuses it
  }
}

// An open error as Open returns it: 5 means "busy, try again", so a device
// that is held exclusively becomes 5 and an I/O error must become something
// else.
int OpenError(int error) {
  if (error == EBUSY) return CCommunicationPort::kBusy;
  if (error == EIO) return ENXIO;
  return error != 0 ? error : ENXIO;
}

bool IsUartDevice(const char* path) {
  constexpr std::string_view prefix = "/dev/ttyS";
  const std::string_view p(path);
  return p.size() > prefix.size() && p.substr(0, prefix.size()) == prefix &&
         p[prefix.size()] >= '0' && p[prefix.size()] <= '9';
}

}  // namespace

CSerialPort::Device& CSerialPort::Device::operator=(Device&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.fd_;
    exclusive_ = other.exclusive_;
    other.fd_ = -1;
  }
  return *this;
}

void CSerialPort::Device::SetExclusive() {
  if (fd_ >= 0 && ioctl(fd_, TIOCEXCL) == 0) exclusive_ = true;
}

void CSerialPort::Device::Reset() {
  if (fd_ < 0) return;
  if (exclusive_) ioctl(fd_, TIOCNXCL);
  close(fd_);
  fd_ = -1;
  exclusive_ = false;
}

CSerialPort::CSerialPort(std::string settingsFolder, std::function<void(int)> waitPumping)
    : settingsFolder_(std::move(settingsFolder)), waitPumping_(std::move(waitPumping)) {}

CSerialPort::~CSerialPort() {
  closing_ = 1;
  Close();
}

bool CSerialPort::PortTest(std::uint32_t com, const ComPortSearchTable& table, std::string_view settingsFolder,
                           std::string_view sysfsRoot) {
  if (com < ComPortSearchTable::kFirstCom || com > ComPortSearchTable::kLastCom || !table.Enabled(com)) return false;
  TraceNumber("Testing COM", com);
  const std::string path = ComDevicePath(com, settingsFolder);
  if (path.empty()) return false;
  switch (CheckSerialLine(path, sysfsRoot)) {
    case LineVerdict::NotALine: return false;
    case LineVerdict::Line: return true;
    case LineVerdict::Unknown: break;
  }
  // sysfs does not tell: a pseudo-terminal (no sysfs entry, and no modem
  // lines that opening could raise), or a system without sysfs. Then the
  // character device itself is asked, as the only way left.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  // Held by another program, or not ours to open: either way the open that
  // follows says so (it retries a busy port and reports a denied one).
  if (fd < 0) return errno == EBUSY || IsAccessError(errno);
  Device device(fd);
  if (isatty(fd) != 1) return false;
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) != nullptr && IsUartDevice(real)) {
    // A ttyS node exists for every possible UART; only a detected one is a port.
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || serial.type == PORT_UNKNOWN) return false;
  }
  return true;
}

std::string CSerialPort::FailureText(std::string_view call, int error, std::uint32_t com) {
  const std::string callName(call);
  const std::string text = ErrorText(error);
  char message[512];
  std::snprintf(message, sizeof message,
                "Serielle Kommunikation mit folgendem Fehler fehlgeschlagen:\n%s: %s\nCOM: %d wird geschlossen!\n",
                callName.c_str(), text.c_str(), static_cast<int>(com));
  return message;
}

int CSerialPort::Configure(int fd, int baud, const char** failedCall) {
  int error = 0;
  // Each call is checked in order; the first that fails ends the set-up.
  auto failed = [&](const char* call, bool ok) {
    error = ok ? 0 : errno;
    if (!injectedCall_.empty() && injectedCall_ == call) error = injectedError_;
    if (error != 0) *failedCall = call;
    return error != 0;
  };

  termios settings{};
  if (failed("tcgetattr()", tcgetattr(fd, &settings) == 0)) return error;
  cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // Reads never wait: the worker reads only what FIONREAD says is there.
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (failed("cfsetspeed()", cfsetspeed(&settings, SpeedCode(baud)) == 0)) return error;
  if (failed("tcsetattr()", tcsetattr(fd, TCSANOW, &settings) == 0)) return error;
  int rts = TIOCM_RTS;
  const bool rtsSet = ioctl(fd, TIOCMBIS, &rts) == 0;
  // A line without modem control (a pseudo-terminal) has no RTS to assert.
  const bool noModemLines = !rtsSet && (errno == ENOTTY || errno == EINVAL || errno == kNoIoctlCommand);
  if (failed("ioctl(TIOCMBIS)", rtsSet || noModemLines)) return error;
  if (failed("tcflush()", tcflush(fd, TCIOFLUSH) == 0)) return error;
  return 0;
}

int CSerialPort::Open(PortOwner& owner, std::uint32_t com, int baud) {
  StopWorker();
  {
    std::lock_guard guard(lock_);
    device_.Reset();
  }
  open_ = false;
  owner_ = &owner;
  com_ = com;

  denied_.reset();

  const std::string path = ComDevicePath(com, settingsFolder_);
  if (path.empty()) return ENOENT;
  Device device(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!device) {
    const int error = errno;
    if (IsAccessError(error)) {
      // The node itself, not the ports/ link that may name it.
      char real[PATH_MAX];
      denied_ = DescribeDeniedDevice(PortType::Serial, com,
                                     realpath(path.c_str(), real) != nullptr ? std::string(real) : path, error);
    }
    return OpenError(error);
  }
  // The lock first: exclusive mode set on a port another program has open
  // would stay on that program's port.
  if (flock(device.Get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? kBusy : OpenError(errno);
  device.SetExclusive();

  const char* failedCall = nullptr;
  if (const int error = Configure(device.Get(), baud, &failedCall); error != 0) {
    device.Reset();
    owner.ReportPortFailure(PortType::Serial, com, kFailureTitle, FailureText(failedCall, error, com));
    return kConfigurationFailed;
  }

  {
    std::lock_guard guard(lock_);
    device_ = std::move(device);
    backlog_ = false;
  }
  readEvent_.Reset();
  writeEvent_.Reset();
  sendSemaphore_.Release();
  open_ = true;
  if (!StartWorker()) {
    open_ = false;
    std::lock_guard guard(lock_);
    device_.Reset();
    return EAGAIN;
  }
  return 0;
}

void CSerialPort::StopWorker() {
  stopEvent_.Set();
  for (int i = 0; i < 40 && WorkerRunning(); ++i) {
    if (waitPumping_) {
      waitPumping_(10);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  JoinWorker();
}

int CSerialPort::Close() {
  StopWorker();
  open_ = false;
  {
    std::lock_guard guard(lock_);
    device_.Reset();
  }
  sendSemaphore_.Release();
  return 1;
}

void CSerialPort::Write(std::string_view text) {
  // After a read failure no worker would ever write or release the semaphore.
  if (!open_ || !WorkerRunning()) return;
  if (!sendSemaphore_.TryAcquireFor(std::chrono::milliseconds(1000))) return;
  std::memset(transmitBuffer_, 0, sizeof transmitBuffer_);
  std::memcpy(transmitBuffer_, text.data(), std::min(text.size(), sizeof transmitBuffer_ - 1));
  writeEvent_.Set();
}

void CSerialPort::ReportFailure(const char* call, int error) {
  // A failure while the port is being closed is the closing itself.
  if (closing_ != 0 || stopEvent_.IsSet() || owner_ == nullptr) return;
  owner_->ReportPortFailure(PortType::Serial, com_, kFailureTitle, FailureText(call, error, com_));
}

void CSerialPort::WorkerBody() {
  int fd;
  {
    std::lock_guard guard(lock_);
    fd = device_.Get();
  }
  pollfd fds[3] = {{fd, POLLIN, 0},
                   {stopEvent_.Descriptor(), POLLIN, 0},
                   {writeEvent_.Descriptor(), POLLIN, 0}};
  for (;;) {
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      ReportFailure("poll()", errno);
      return;
    }
    if (stopEvent_.IsSet()) return;
    if ((fds[2].revents & POLLIN) != 0) Writing(fd);
    const short device = fds[0].revents;
    if (device == 0) continue;
    int error = Reading(fd);
    // A hang-up may leave readable bytes; they were read, the line is gone.
    if (error == 0 && (device & (POLLHUP | POLLERR | POLLNVAL)) != 0) error = EIO;
    if (error != 0) {
      ReportFailure("read()", error);
      return;
    }
  }
}

int CSerialPort::Reading(int fd) {
  for (bool first = true;; first = false) {
    bool received = false;
    bool purged = false;
    {
      std::lock_guard guard(lock_);
      int queued = 0;
      if (ioctl(fd, FIONREAD, &queued) != 0) return errno;
      if (queued <= 0) {
        if (!first) return 0;
        // Readable with nothing queued: a read tells an unplugged line (end
        // of file or an error) from a byte that arrived just now.
        char byte;
        const ssize_t n = read(fd, &byte, 1);
        if (n == 0) return EIO;
        if (n < 0) return errno == EAGAIN || errno == EINTR ? 0 : errno;
        if (AppendReceived(&byte, 1) == 0) MarkDiscontinuity();
        backlog_ = receivedCount_ > 511;
        received = true;
      } else {
        const auto count = static_cast<std::size_t>(queued);
        backlog_ = receivedCount_ + count > 511;
        if (receivedCount_ + count > kBufferSize) {
          // More than the buffer can take: the device's queue is dropped.
          // The channel is told even so: it reads its modules' inputs again.
          tcflush(fd, TCIFLUSH);
          MarkDiscontinuity();
          purged = true;
        } else {
          const ssize_t n = read(fd, receiveBuffer_ + receivedCount_, count);
          if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) return errno;
          } else if (n == 0) {
            return EIO;
          } else {
            receivedCount_ += static_cast<std::size_t>(n);
            received = true;
          }
        }
      }
    }
    if (received || purged) owner_->PostDataReceived(PortType::Serial, com_);
    if (purged) return 0;
  }
}

void CSerialPort::Writing(int fd) {
  writeEvent_.Reset();
  const std::size_t length = strnlen(transmitBuffer_, sizeof transmitBuffer_);
  // The write time-outs: 1000 ms plus 1000 ms per byte, so that a command
  // that cannot go out holds the send semaphore longer than Write waits.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(1000 + 1000 * static_cast<long long>(length));
  std::size_t done = 0;
  while (done < length) {
    ssize_t n;
    {
      std::lock_guard guard(lock_);
      n = write(fd, transmitBuffer_ + done, length - done);
    }
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) break;  // the read side reports a lost line
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fds[2] = {{fd, POLLOUT, 0}, {stopEvent_.Descriptor(), POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (fds[1].revents & POLLIN) != 0) break;
    if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) break;
  }
  sendSemaphore_.Release();
}

}  // namespace brimlink::link
