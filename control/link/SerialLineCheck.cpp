#include "control/link/SerialLineCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <optional>

namespace brimlink::link {
namespace {

std::optional<std::string> ReadLink(const std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::string_view LastPart(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A small sysfs attribute, without its line end; nullopt when it is missing.
std::optional<std::string> ReadAttribute(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  char buffer[64];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  close(fd);
  if (n < 0) return std::nullopt;
  std::string_view text(buffer, static_cast<std::size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

LineVerdict CheckSerialLine(const std::string& path, std::string_view sysfsRoot) {
  // Only character devices are lines: a regular file in ports/ or a FIFO is
  // not, and stat never opens anything.
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return LineVerdict::NotALine;

  // Every character device the kernel registered has /sys/dev/char/MAJOR:MINOR,
  // a link to its device folder. Pseudo-terminal slaves have none.
  std::string entry(sysfsRoot);
  entry += "/dev/char/" + std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev));
  const std::optional<std::string> device = ReadLink(entry);
  if (!device) return LineVerdict::Unknown;
  const std::optional<std::string> subsystem = ReadLink(entry + "/subsystem");
  if (!subsystem) return LineVerdict::Unknown;
  if (LastPart(*subsystem) != "tty") return LineVerdict::NotALine;

  // Ports of the serial core (ttyS and its kind) carry the UART type the
  // kernel detected; 0 is "unknown": a slot without a UART, of which every
  // ttyS node has one whether or not the port exists.
  const std::optional<std::string> type = ReadAttribute(entry + "/type");
  if (!type) {
    // A tty without UART slots (a USB adapter, an ACM modem) is a line. A
    // ttyS without the attribute is a kernel that does not tell: the caller
    // must ask the device.
    return LastPart(*device).starts_with("ttyS") ? LineVerdict::Unknown : LineVerdict::Line;
  }
  int uart = 0;
  const auto [end, error] = std::from_chars(type->data(), type->data() + type->size(), uart);
  if (error != std::errc() || end != type->data() + type->size()) return LineVerdict::Unknown;
  return uart == 0 ? LineVerdict::NotALine : LineVerdict::Line;
}

}  // namespace brimlink::link
