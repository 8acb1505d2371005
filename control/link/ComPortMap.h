// Which device a COM number stands for. The settings folder's ports/ folder
// may name any device for any number, as a dosdevices folder does; the
// numbers without an entry map to fixed ranges of the usual serial devices.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brimlink::link {

// The path of COM `com`: the file or symbolic link `<settingsFolder>/ports/COMn`
// (the name in any letter case) when there is one, else COM1–32 → /dev/ttyS0–31,
// COM33–64 → /dev/ttyUSB0–31, COM65–96 → /dev/ttyACM0–31. Empty for a number
// outside 1..255 and for a number above 96 without an entry.
std::string ComDevicePath(std::uint32_t com, std::string_view settingsFolder);

}  // namespace brimlink::link
