#include "control/link/DeviceAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace brimlink::link {
namespace {

std::optional<std::string> UserName(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(4096);
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return std::nullopt;
  return std::string(found->pw_name);
}

std::optional<std::string> GroupName(gid_t gid) {
  group entry{};
  group* found = nullptr;
  // Groups with many members need more room than users do.
  std::vector<char> buffer(16384);
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return std::nullopt;
  return std::string(found->gr_name);
}

std::string ErrorText(int error) {
  char buffer[128];
  return strerror_r(error, buffer, sizeof buffer);
}

// The group whose members may read and write the node, when joining it is
// what fixes a denied serial port. Root's group is never suggested.
std::optional<std::string> UsableGroup(const DeniedDevice& device) {
  if (!device.nodeKnown || device.group == 0) return std::nullopt;
  if ((device.mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return std::nullopt;
  return GroupName(device.group);
}

std::string DeviceWords(const DeniedDevice& device) {
  char text[256];
  if (device.type == PortType::Usb) {
    if (device.bus >= 0 && device.address >= 0) {
      std::snprintf(text, sizeof text, "das USB-Modul Loc%lX (Bus %d, Ger\u00e4t %d)",
                    static_cast<unsigned long>(device.port), device.bus, device.address);
    } else {
      std::snprintf(text, sizeof text, "das USB-Modul Loc%lX", static_cast<unsigned long>(device.port));
    }
  } else if (device.node.empty()) {
    std::snprintf(text, sizeof text, "die serielle Schnittstelle COM%lu", static_cast<unsigned long>(device.port));
  } else {
    std::snprintf(text, sizeof text, "die serielle Schnittstelle COM%lu (%s)", static_cast<unsigned long>(device.port),
                  device.node.c_str());
  }
  return text;
}

}  // namespace

bool IsAccessError(int error) { return error == EACCES || error == EPERM; }

DeniedDevice DescribeDeniedDevice(PortType type, std::uint32_t port, std::string node, int error, int bus,
                                  int address) {
  DeniedDevice device;
  device.type = type;
  device.port = port;
  device.bus = bus;
  device.address = address;
  device.node = std::move(node);
  device.error = error;
  struct stat info {};
  if (!device.node.empty() && stat(device.node.c_str(), &info) == 0) {
    device.nodeKnown = true;
    device.owner = info.st_uid;
    device.group = info.st_gid;
    device.mode = info.st_mode & 07777;
  }
  return device;
}

std::string DenialTraceText(const DeniedDevice& device) {
  std::string text;
  char part[96];
  if (device.type == PortType::Usb) {
    std::snprintf(part, sizeof part, "USB Loc%lX", static_cast<unsigned long>(device.port));
    text = part;
    if (device.bus >= 0 && device.address >= 0) {
      std::snprintf(part, sizeof part, " bus %d address %d", device.bus, device.address);
      text += part;
    }
  } else {
    std::snprintf(part, sizeof part, "COM%lu", static_cast<unsigned long>(device.port));
    text = part;
  }
  text += " " + (device.node.empty() ? std::string("(no device node)") : device.node) + ": ";
  if (device.nodeKnown) {
    const std::string owner = UserName(device.owner).value_or(std::to_string(device.owner));
    const std::string group = GroupName(device.group).value_or(std::to_string(device.group));
    std::snprintf(part, sizeof part, "mode %04o", static_cast<unsigned>(device.mode));
    text += "owner " + owner + ", group " + group + ", " + part;
  } else {
    text += "owner, group and mode unknown";
  }
  return text + ": " + ErrorText(device.error);
}

std::string AccessAdvice(std::span<const DeniedDevice> devices, std::string_view userName) {
  if (devices.empty()) return {};
  std::string text;
  std::vector<std::string> groups;
  bool needsRule = false;
  bool serialWithoutGroup = false;
  for (const DeniedDevice& device : devices) {
    text += "Kein Zugriff auf " + DeviceWords(device) + ".\n";
    if (device.type == PortType::Usb) {
      needsRule = true;
      continue;
    }
    if (const std::optional<std::string> group = UsableGroup(device)) {
      bool known = false;
      for (const std::string& g : groups) known = known || g == *group;
      if (!known) groups.push_back(*group);
    } else {
      needsRule = true;
      serialWithoutGroup = true;
    }
  }
  const std::string user(userName);
  for (const std::string& group : groups) {
    text += "Abhilfe: den Benutzer " + user + " in die Gruppe " + group + " aufnehmen (sudo adduser " + user + " " +
            group + ") und sich danach ab- und wieder anmelden.\n";
  }
  if (needsRule) {
    text += "Abhilfe: die udev-Regel des Pakets brimlink installieren (" + std::string(kUdevRulePath) +
            ") und das Modul danach aus- und wieder einstecken.\n";
  }
  if (serialWithoutGroup) {
    text += "Bei einer fest eingebauten Schnittstelle den Systemverwalter um Lese- und Schreibrecht bitten.\n";
  }
  return text;
}

std::string EffectiveUserName() {
  const uid_t uid = geteuid();
  return UserName(uid).value_or(std::to_string(uid));
}

}  // namespace brimlink::link
