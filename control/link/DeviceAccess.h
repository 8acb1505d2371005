// A device that is there but that this user may not open: a serial node the
// kernel refused (EACCES, EPERM), or a USB device whose node under
// /dev/bus/usb the user may not write. Without this the module would simply
// be "not found"; instead the trace names the node with its owner, group and
// mode, and the user is told in plain words what fixes it.
//
// The advice is German, like the control's other messages; the trace text is
// in the trace's own terse English.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "control/link/LinkTypes.h"

namespace brimlink::link {

struct DeniedDevice {
  PortType type = PortType::None;
  std::uint32_t port = 0;         // the COM number, or the USB location id
  int bus = -1, address = -1;     // USB, where known
  std::string node;               // the device node; empty when there is none
  bool nodeKnown = false;         // the node's status below was read
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;                // permission bits only
  int error = 0;                  // EACCES or EPERM

  bool SameDevice(const DeniedDevice& other) const {
    return type == other.type && port == other.port && node == other.node;
  }
};

// Where the package puts its udev rule (the advice names it).
inline constexpr const char* kUdevRulePath = "/usr/lib/udev/rules.d/60-brimlink.rules";
// The title of the message that tells the user.
inline constexpr const char* kAccessDeniedTitle = "Zugriff verweigert";

// Whether an open failed for want of permission, not for anything else.
bool IsAccessError(int error);

// A denied device with what stat says of `node` (links followed).
DeniedDevice DescribeDeniedDevice(PortType type, std::uint32_t port, std::string node, int error, int bus = -1,
                                  int address = -1);

// The trace text: "COM205 /dev/ttyUSB0: owner root, group dialout, mode 0660:
// Permission denied"; USB devices as "USB Loc1230000 bus 1 address 5 ...".
std::string DenialTraceText(const DeniedDevice& device);

// The one message of a connection attempt: which devices were denied and
// what fixes each kind. userName: who runs the program (named in the group
// command).
std::string AccessAdvice(std::span<const DeniedDevice> devices, std::string_view userName);

// The name of the user this process acts for (effective uid); the number
// when the user database has no name for it.
std::string EffectiveUserName();

}  // namespace brimlink::link
