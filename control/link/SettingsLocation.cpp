#include "control/link/SettingsLocation.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brimlink::link {
namespace {

constexpr std::string_view kDefaultConfigDirs = "/etc/xdg";
constexpr std::string_view kSubfolder = "/Brimlink";
constexpr std::string_view kFileName = "/Brimlink.ini";
// Group members (the installed folder's group is the serial-port users') may
// change the settings, and new files inherit the group.
constexpr mode_t kFolderMode = 02775;

// Relative entries are ignored, as the base-directory rules ask.
std::string MachineConfigFolder()
{
    const char* value = std::getenv("XDG_CONFIG_DIRS");
    std::string_view dirs = value != nullptr ? std::string_view(value) : std::string_view();
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        const std::string_view entry = dirs.substr(0, colon);
        if (!entry.empty() && entry.front() == '/')
            return std::string(entry);
        if (colon == std::string_view::npos)
            break;
        dirs.remove_prefix(colon + 1);
    }
    return std::string(kDefaultConfigDirs);
}

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolder(const std::string& path, mode_t mode)
{
    return ::mkdir(path.c_str(), mode) == 0 || (errno == EEXIST && IsDirectory(path));
}

// mkdir -p; only the last folder gets kFolderMode, set explicitly because
// mkdir applies the umask and ignores the setgid bit.
bool CreateSettingsFolder(const std::string& path)
{
    if (IsDirectory(path))
        return true;
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (!parent.empty() && parent.back() != '/' && !MakeFolder(parent, 0777))
            return false;
    }
    if (::mkdir(path.c_str(), kFolderMode) == 0) {
        // Without the group bits the folder still serves its creator.
        [[maybe_unused]] const int ignored = ::chmod(path.c_str(), kFolderMode);
        return true;
    }
    return errno == EEXIST && IsDirectory(path);
}

bool IsWritableFolder(const std::string& path)
{
    return IsDirectory(path) && ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

}  // namespace

std::string SettingsFolder(std::string_view controlFolder)
{
    std::string folder = MachineConfigFolder();
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    folder += kSubfolder;
    if (!CreateSettingsFolder(folder) || !IsWritableFolder(folder))
        return std::string(controlFolder);
    return folder;
}

std::string ControlFolder(std::string_view libraryPath)
{
    const std::size_t slash = libraryPath.find_last_of('/');
    if (slash == std::string_view::npos)
        return {};
    return std::string(libraryPath.substr(0, slash));
}

std::string SettingsFilePath(std::string_view controlFolder)
{
    const std::string folder = SettingsFolder(controlFolder);
    if (folder.empty())
        return {};
    return folder + std::string(kFileName);
}

}  // namespace brimlink::link
