// Where Brimlink.ini lives: a machine-wide configuration folder shared by every
// program that uses the control, with the control's own folder as fallback;
// and the per-user configuration folder.
#pragma once

#include <string>
#include <string_view>

namespace brimlink::link {

// The machine's settings folder: the first absolute folder of XDG_CONFIG_DIRS
// ("/etc/xdg" when there is none) that already holds "Brimlink/", else the
// first one plus "/Brimlink", created with mode 02775 when missing. It is
// used whenever it exists, also when this user cannot write it (writes then
// fail and the files are kept); only when it neither exists nor can be
// created, controlFolder.
std::string SettingsFolder(std::string_view controlFolder);

// This user's settings folder: $XDG_CONFIG_HOME (when absolute, else
// $HOME/.config) plus "/Brimlink". Not created; empty when no home is known.
std::string UserSettingsFolder();

// Creates the folder with `mode` and any missing parents with parentMode,
// set explicitly so the umask does not decide. True when the folder exists
// afterwards; an existing folder keeps its mode.
bool CreateFolder(const std::string& path, unsigned mode, unsigned parentMode = 0755);

// The folder of the control's library file, without the separator before the
// file name: "/usr/lib/x/Brimlink.ocx" gives "/usr/lib/x".
std::string ControlFolder(std::string_view libraryPath);

// SettingsFolder(controlFolder) + "/Brimlink.ini"; empty when no folder is known.
std::string SettingsFilePath(std::string_view controlFolder);

}  // namespace brimlink::link
