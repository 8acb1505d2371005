// Where Brimlink.ini lives: a machine-wide configuration folder shared by every
// program that uses the control, with the control's own folder as fallback.
#pragma once

#include <string>
#include <string_view>

namespace brimlink::link {

// The first absolute folder of XDG_CONFIG_DIRS ("/etc/xdg" when there is none)
// plus "/Brimlink", created with mode 02775 when missing. When that folder
// cannot be created or is not a writable folder, controlFolder.
std::string SettingsFolder(std::string_view controlFolder);

// The folder of the control's library file, without the separator before the
// file name: "/usr/lib/x/Brimlink.ocx" gives "/usr/lib/x".
std::string ControlFolder(std::string_view libraryPath);

// SettingsFolder(controlFolder) + "/Brimlink.ini"; empty when no folder is known.
std::string SettingsFilePath(std::string_view controlFolder);

}  // namespace brimlink::link
