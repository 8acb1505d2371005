// Devices that are there but not to be opened: what the trace says of their
// node and what the user is told to do about it.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include "control/link/DeviceAccess.h"
#include "support/TempFolder.h"

namespace brimlink::link {
namespace {

std::size_t Count(const std::string& text, const std::string& needle) {
  std::size_t n = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// A serial device as the node of a group with read and write access has it.
DeniedDevice Serial(std::uint32_t com, std::string node, gid_t group, mode_t mode) {
  DeniedDevice device;
  device.type = PortType::Serial;
  device.port = com;
  device.node = std::move(node);
  device.nodeKnown = true;
  device.group = group;
  device.mode = mode;
  device.error = EACCES;
  return device;
}

gid_t DialoutGroup() {
  const group* entry = getgrnam("dialout");
  return entry != nullptr ? entry->gr_gid : 0;
}

TEST(DeviceAccess, OnlyPermissionErrorsAreDenials) {
  EXPECT_TRUE(IsAccessError(EACCES));
  EXPECT_TRUE(IsAccessError(EPERM));
  for (const int other : {0, EBUSY, ENOENT, ENXIO, EIO, ENODEV}) EXPECT_FALSE(IsAccessError(other)) << other;
}

TEST(DeviceAccess, TheTraceNamesTheNodeWithItsOwnerGroupAndMode) {
  testing::TempFolder folder("device-access");
  ASSERT_FALSE(folder.Path().empty());
  const std::string node = folder.Path() + "/ttyTEST";
  std::ofstream(node) << "";
  ASSERT_EQ(chmod(node.c_str(), 0640), 0);
  const std::string link = folder.Path() + "/COM205";
  ASSERT_EQ(symlink(node.c_str(), link.c_str()), 0);

  struct stat info {};
  ASSERT_EQ(stat(node.c_str(), &info), 0);
  // Through a link, the status is the node's.
  const DeniedDevice device = DescribeDeniedDevice(PortType::Serial, 205, link, EACCES);
  ASSERT_TRUE(device.nodeKnown);
  EXPECT_EQ(device.owner, info.st_uid);
  EXPECT_EQ(device.group, info.st_gid);
  EXPECT_EQ(device.mode, 0640u);
  const group* own = getgrgid(info.st_gid);
  const std::string groupName = own != nullptr ? own->gr_name : std::to_string(info.st_gid);
  EXPECT_EQ(DenialTraceText(device), "COM205 " + link + ": owner " + EffectiveUserName() + ", group " + groupName +
                                         ", mode 0640: Permission denied");

  const DeniedDevice usb =
      DescribeDeniedDevice(PortType::Usb, 0x01230000, folder.Path() + "/gone", EPERM, 1, 5);
  EXPECT_FALSE(usb.nodeKnown);
  EXPECT_EQ(DenialTraceText(usb), "USB Loc1230000 bus 1 address 5 " + folder.Path() +
                                      "/gone: owner, group and mode unknown: Operation not permitted");
  EXPECT_EQ(DenialTraceText(DescribeDeniedDevice(PortType::Usb, 0x02100000, {}, EACCES)),
            "USB Loc2100000 (no device node): owner, group and mode unknown: Permission denied");
}

TEST(DeviceAccess, TheAdviceFitsWhatWasDenied) {
  const gid_t dialout = DialoutGroup();
  if (dialout == 0) GTEST_SKIP() << "this system has no group dialout";
  DeniedDevice usb;
  usb.type = PortType::Usb;
  usb.port = 0x01230000;
  usb.bus = 1;
  usb.address = 5;
  const std::string joinDialout =
      "Abhilfe: den Benutzer pupil in die Gruppe dialout aufnehmen (sudo adduser pupil dialout) und sich danach ab- "
      "und wieder anmelden.\n";
  const std::string installRule =
      "Abhilfe: die udev-Regel des Pakets brimlink installieren (/usr/lib/udev/rules.d/60-brimlink.rules) und das "
      "Modul danach aus- und wieder einstecken.\n";
  const std::string askAdmin =
      "Bei einer fest eingebauten Schnittstelle den Systemverwalter um Lese- und Schreibrecht bitten.\n";

  struct Case {
    const char* what;
    std::vector<DeniedDevice> devices;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"nothing denied: nothing to say", {}, ""},
      {"a port of group dialout",
       {Serial(33, "/dev/ttyUSB0", dialout, 0660)},
       "Kein Zugriff auf die serielle Schnittstelle COM33 (/dev/ttyUSB0).\n" + joinDialout},
      {"two ports of one group: the group once",
       {Serial(33, "/dev/ttyUSB0", dialout, 0660), Serial(34, "/dev/ttyUSB1", dialout, 0660)},
       "Kein Zugriff auf die serielle Schnittstelle COM33 (/dev/ttyUSB0).\n"
       "Kein Zugriff auf die serielle Schnittstelle COM34 (/dev/ttyUSB1).\n" +
           joinDialout},
      {"a group without write access does not help",
       {Serial(1, "/dev/ttyS0", dialout, 0640)},
       "Kein Zugriff auf die serielle Schnittstelle COM1 (/dev/ttyS0).\n" + installRule + askAdmin},
      {"root's group is never suggested",
       {Serial(1, "/dev/ttyS0", 0, 0660)},
       "Kein Zugriff auf die serielle Schnittstelle COM1 (/dev/ttyS0).\n" + installRule + askAdmin},
      {"a USB module",
       {usb},
       "Kein Zugriff auf das USB-Modul Loc1230000 (Bus 1, Ger\u00e4t 5).\n" + installRule},
      {"both kinds: each fix once",
       {usb, Serial(33, "/dev/ttyUSB0", dialout, 0660)},
       "Kein Zugriff auf das USB-Modul Loc1230000 (Bus 1, Ger\u00e4t 5).\n"
       "Kein Zugriff auf die serielle Schnittstelle COM33 (/dev/ttyUSB0).\n" +
           joinDialout + installRule},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AccessAdvice(c.devices, "pupil"), c.expected) << c.what;
  }
  // A node whose status could not be read gives no group to join.
  DeniedDevice unknown = Serial(33, "/dev/ttyUSB0", dialout, 0660);
  unknown.nodeKnown = false;
  const std::vector<DeniedDevice> one{unknown};
  EXPECT_EQ(Count(AccessAdvice(one, "pupil"), "adduser"), 0u);
  EXPECT_EQ(Count(AccessAdvice(one, "pupil"), "udev-Regel"), 1u);
}

}  // namespace
}  // namespace brimlink::link
