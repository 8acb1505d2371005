// Whether a device node is a serial line worth opening, decided from the
// node and from sysfs without opening it. Opening a serial port raises its
// modem lines (DTR, RTS), which a device on the other end may act on, so a
// port that will be rejected must never be opened to find that out.
#pragma once

#include <string>
#include <string_view>

namespace brimlink::link {

enum class LineVerdict {
  NotALine,  // certainly no serial line: not a character device, not a tty,
             // or a UART slot in which the kernel found no UART
  Line,      // a tty the kernel knows, with a UART where it has UART slots
  Unknown,   // sysfs does not tell (no entry for the device, no sysfs)
};

// path: the device node, or a link to it. sysfsRoot: where sysfs is mounted
// ("/sys"; tests pass a tree of their own). Reads only the node's status and
// files below sysfsRoot.
LineVerdict CheckSerialLine(const std::string& path, std::string_view sysfsRoot = "/sys");

}  // namespace brimlink::link
