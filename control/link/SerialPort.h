// CSerialPort: the transport for a COM port, on a termios serial device.
//
// The COM number names a device through ComDevicePath. The port is opened
// exclusively (TIOCEXCL and a non-blocking flock), set to raw 8N1 at 115200
// or 19200 baud without flow control and with RTS asserted. A worker thread
// waits in poll() on the device, the stop event and the write event; it moves
// received bytes into the receive buffer and posts the data notification, and
// writes one queued command at a time.
//
// Threads: Open, Close, Write and destruction on the GUI thread (Open may
// trace). The worker never traces and never closes the device: a read failure
// (an unplugged adapter) is reported through the owner, whose GUI thread shows
// it and closes the port. Close stops and joins the worker before it closes
// the descriptor, so no descriptor is closed while the worker polls it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "control/link/CommunicationPort.h"
#include "control/link/RangeList.h"

namespace brimlink::link {

class CSerialPort final : public CCommunicationPort {
 public:
  // settingsFolder: where ports/COMn entries are looked up. waitPumping: the
  // owner's pumping wait, used by Close while the worker ends.
  CSerialPort(std::string settingsFolder, std::function<void(int)> waitPumping);
  ~CSerialPort() override;

  // Is COM `com` worth opening? False unless the search table enables it
  // (the table is empty when serial ports are not used); then traces
  // "Testing COM" and checks that the device is a terminal and, for a
  // /dev/ttyS device, that a UART is present. Decided from sysfs (below
  // sysfsRoot) without opening the device wherever sysfs tells; only a
  // device sysfs says nothing about (a pseudo-terminal) is opened to ask it.
  // A device that another program holds exclusively (EBUSY) counts as a
  // serial line: the open's retry deals with it. So does one this user may
  // not open (EACCES, EPERM): the open reports it.
  static bool PortTest(std::uint32_t com, const ComPortSearchTable& table, std::string_view settingsFolder,
                       std::string_view sysfsRoot = "/sys");

  // 0, kBusy when another program holds the port, kConfigurationFailed when
  // a setting call failed (reported once through the owner), else the errno
  // of the failed open (EIO comes back as ENXIO, never as 5). After EACCES or
  // EPERM, Denied() describes the device node.
  int Open(PortOwner& owner, std::uint32_t com, int baud) override;
  int Close() override;
  void Write(std::string_view text) override;
  PortType Type() const override { return PortType::Serial; }

  // The message text of a failed call, as the failure report shows it.
  static std::string FailureText(std::string_view call, int error, std::uint32_t com);

  // For tests: the named configuration call ("tcsetattr()" ...) fails with
  // `error` as if the system had refused it. No pseudo-terminal refuses a
  // setting, so a configuration failure cannot be produced otherwise.
  void InjectConfigurationFailure(std::string call, int error) {
    injectedCall_ = std::move(call);
    injectedError_ = error;
  }

 protected:
  void WorkerBody() override;

 private:
  // The open device: closes it, giving up the exclusive mode first (a
  // pseudo-terminal's slave outlives our descriptor and would keep it).
  class Device {
   public:
    Device() = default;
    explicit Device(int fd) : fd_(fd) {}
    ~Device() { Reset(); }
    Device(Device&& other) noexcept : fd_(other.fd_), exclusive_(other.exclusive_) { other.fd_ = -1; }
    Device& operator=(Device&& other) noexcept;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void SetExclusive();
    void Reset();

   private:
    int fd_ = -1;
    bool exclusive_ = false;
  };

  int Configure(int fd, int baud, const char** failedCall);
  // Worker side: 0, or the errno of a read failure.
  int Reading(int fd);
  void Writing(int fd);
  void ReportFailure(const char* call, int error);
  void StopWorker();

  std::string settingsFolder_;
  std::function<void(int)> waitPumping_;
  std::uint32_t com_ = 0;
  Device device_;  // guarded by lock_; replaced only while no worker runs
  std::atomic<bool> open_{false};
  std::string injectedCall_;
  int injectedError_ = 0;
};

}  // namespace brimlink::link
