#include "tools/brimlink-sim/Registration.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brimlink::simtool {
namespace {

// Folder of the COM entries; as the settings folder, group members may change it.
constexpr mode_t kPortsFolderMode = 02775;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string SystemError() { return std::strerror(errno); }

std::optional<std::string> ReadLink(const std::string& path) {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
  if (n < 0 || static_cast<std::size_t>(n) >= buffer.size()) return std::nullopt;
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string DescribeEntry(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return path;
  if (S_ISLNK(st.st_mode)) {
    const auto target = ReadLink(path);
    return path + " -> " + target.value_or("?");
  }
  if (S_ISDIR(st.st_mode)) return path + " (a folder)";
  return path + " (a file)";
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string EnsurePortsFolder(const std::string& settingsFolder, std::string& error) {
  if (settingsFolder.empty()) {
    error = "no writable settings folder (the first folder of XDG_CONFIG_DIRS, default /etc/xdg, plus /Brimlink)";
    return {};
  }
  const std::string folder = settingsFolder + "/ports";
  if (::mkdir(folder.c_str(), kPortsFolderMode) == 0) {
    // mkdir applies the umask and drops the setgid bit.
    [[maybe_unused]] const int ignored = ::chmod(folder.c_str(), kPortsFolderMode);
  } else if (errno != EEXIST) {
    error = "cannot create the folder " + folder + ": " + SystemError();
    return {};
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = folder + " is not a folder";
    return {};
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    error = "cannot write to the folder " + folder + ": " + SystemError();
    return {};
  }
  return folder;
}

std::vector<std::string> ComEntries(const std::string& folder, int com) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return names;
  const std::string wanted = "com" + std::to_string(com);
  while (const dirent* entry = ::readdir(dir.get())) {
    if (Lower(entry->d_name) == wanted) names.emplace_back(entry->d_name);
  }
  std::ranges::sort(names);
  return names;
}

int NextFreeCom(const std::string& folder, int after, const std::set<int>& taken) {
  for (int com = after + 1; com <= 255; ++com) {
    if (!taken.contains(com) && ComEntries(folder, com).empty()) return com;
  }
  return 0;
}

PortLink::PortLink(PortLink&& other) noexcept
    : path_(std::exchange(other.path_, {})), target_(std::exchange(other.target_, {})) {}

PortLink& PortLink::operator=(PortLink&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, {});
    target_ = std::exchange(other.target_, {});
  }
  return *this;
}

bool PortLink::Create(const std::string& folder, int com, const std::string& target, bool force,
                      std::string& error) {
  Remove();
  const std::string name = "COM" + std::to_string(com);
  const std::string path = folder + "/" + name;

  std::vector<std::string> foreign;
  bool own = false;
  for (const std::string& entry : ComEntries(folder, com)) {
    if (entry == name && ReadLink(path) == target) {
      own = true;
    } else {
      foreign.push_back(folder + "/" + entry);
    }
  }
  if (!foreign.empty() && !force) {
    error = name + " is already registered: " + DescribeEntry(foreign.front()) +
            "; choose another --com or give --force to replace it";
    return false;
  }
  for (const std::string& entry : foreign) {
    if (IsDirectory(entry)) {
      error = "cannot replace " + entry + ": it is a folder";
      return false;
    }
    // The exact name is replaced atomically below; other spellings must go.
    if (entry != path && ::unlink(entry.c_str()) != 0 && errno != ENOENT) {
      error = "cannot remove " + entry + ": " + SystemError();
      return false;
    }
  }

  if (foreign.empty() && !own) {
    // Nothing there: symlink itself refuses if another program got there first.
    if (::symlink(target.c_str(), path.c_str()) != 0) {
      error = errno == EEXIST ? name + " was registered by another program just now: " + DescribeEntry(path)
                              : "cannot create the link " + path + ": " + SystemError();
      return false;
    }
  } else {
    const std::string temporary = folder + "/." + name + ".brimlink-sim." + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
      error = "cannot create the link " + temporary + ": " + SystemError();
      return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      error = "cannot replace " + path + ": " + SystemError();
      ::unlink(temporary.c_str());
      return false;
    }
  }
  path_ = path;
  target_ = target;
  return true;
}

bool PortLink::Remove() {
  if (path_.empty()) return false;
  const std::string path = std::exchange(path_, {});
  const std::string target = std::exchange(target_, {});
  if (ReadLink(path) != target) return false;
  return ::unlink(path.c_str()) == 0;
}

}  // namespace brimlink::simtool
