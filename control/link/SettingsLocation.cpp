#include "control/link/SettingsLocation.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <pwd.h>
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

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithoutTrailingSlashes(std::string_view folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    return std::string(folder);
}

// The absolute entries of XDG_CONFIG_DIRS, in order; relative ones are
// ignored, as the base-directory rules ask.
std::vector<std::string> MachineConfigFolders()
{
    std::vector<std::string> folders;
    const char* value = std::getenv("XDG_CONFIG_DIRS");
    std::string_view dirs = value != nullptr ? std::string_view(value) : std::string_view();
    while (!dirs.empty()) {
        const std::size_t colon = dirs.find(':');
        const std::string_view entry = dirs.substr(0, colon);
        if (!entry.empty() && entry.front() == '/')
            folders.push_back(WithoutTrailingSlashes(entry));
        if (colon == std::string_view::npos)
            break;
        dirs.remove_prefix(colon + 1);
    }
    if (folders.empty())
        folders.emplace_back(kDefaultConfigDirs);
    return folders;
}

// A folder made by mkdir gets the umask applied and no setgid bit, so the
// mode is set again explicitly.
bool MakeFolder(const std::string& path, mode_t mode)
{
    if (::mkdir(path.c_str(), mode) == 0) {
        // Without the wanted bits the folder still serves its creator.
        [[maybe_unused]] const int ignored = ::chmod(path.c_str(), mode);
        return true;
    }
    return errno == EEXIST && IsDirectory(path);
}

}  // namespace

bool CreateFolder(const std::string& path, unsigned mode, unsigned parentMode)
{
    if (path.empty())
        return false;
    if (IsDirectory(path))
        return true;
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (parent.back() != '/' && !IsDirectory(parent) && !MakeFolder(parent, parentMode))
            return false;
    }
    return MakeFolder(path, mode);
}

std::string SettingsFolder(std::string_view controlFolder)
{
    // Sessions may put a desktop's own folder first; the machine's settings
    // are wherever the folder already is.
    const std::vector<std::string> roots = MachineConfigFolders();
    for (const std::string& root : roots) {
        const std::string folder = (root == "/" ? std::string() : root) + std::string(kSubfolder);
        if (IsDirectory(folder))
            return folder;
    }
    const std::string folder = (roots.front() == "/" ? std::string() : roots.front()) + std::string(kSubfolder);
    if (CreateFolder(folder, kFolderMode))
        return folder;
    return std::string(controlFolder);
}

std::string UserSettingsFolder()
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/')
        return WithoutTrailingSlashes(configHome) + std::string(kSubfolder);
    std::string home;
    if (const char* value = std::getenv("HOME"); value != nullptr && value[0] == '/') {
        home = value;
    } else {
        struct passwd entry {};
        struct passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr && found->pw_dir[0] == '/')
            home = found->pw_dir;
    }
    if (home.empty())
        return {};
    home = WithoutTrailingSlashes(home);
    return (home == "/" ? std::string() : home) + "/.config" + std::string(kSubfolder);
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
