#include "tools/brimlink-sim/Registration.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brimlink::simtool {
namespace {

// Folder of the COM entries; as the settings folder, group members may change it.
constexpr mode_t kPortsFolderMode = 02775;
constexpr mode_t kOwnerFileMode = 0644;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string SystemError() { return std::strerror(errno); }

// The ports/ folder, opened without following a symbolic link: every name
// below is resolved through this descriptor, never through the path again.
class Folder {
 public:
  explicit Folder(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {}
  ~Folder() {
    if (fd_ >= 0) ::close(fd_);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  explicit operator bool() const { return fd_ >= 0; }
  int Get() const { return fd_; }

 private:
  int fd_;
};

// One open file descriptor.
class File {
 public:
  explicit File(int fd) : fd_(fd) {}
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  explicit operator bool() const { return fd_ >= 0; }
  int Get() const { return fd_; }

 private:
  int fd_;
};

std::optional<std::string> ReadLink(const Folder& folder, const std::string& name) {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlinkat(folder.Get(), name.c_str(), buffer.data(), buffer.size());
  if (n < 0 || static_cast<std::size_t>(n) >= buffer.size()) return std::nullopt;
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string DescribeEntry(const Folder& folder, const std::string& folderPath, const std::string& name) {
  const std::string path = folderPath + "/" + name;
  struct stat st {};
  if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return path;
  if (S_ISLNK(st.st_mode)) return path + " -> " + ReadLink(folder, name).value_or("?");
  if (S_ISDIR(st.st_mode)) return path + " (a folder)";
  return path + " (a file)";
}

bool IsDirectory(const Folder& folder, const std::string& name) {
  struct stat st {};
  return ::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> EntriesOf(const Folder& folder, int com) {
  std::vector<std::string> names;
  // fdopendir takes the descriptor over; the folder keeps its own.
  const int fd = ::dup(folder.Get());
  if (fd < 0) return names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
  if (!dir) {
    ::close(fd);
    return names;
  }
  ::rewinddir(dir.get());
  const std::string wanted = "com" + std::to_string(com);
  while (const dirent* entry = ::readdir(dir.get())) {
    if (Lower(entry->d_name) == wanted) names.emplace_back(entry->d_name);
  }
  std::ranges::sort(names);
  return names;
}

std::string OwnerName(int com) { return ".COM" + std::to_string(com) + ".owner"; }

std::optional<LinkOwner> ReadOwner(const Folder& folder, int com) {
  const File file(::openat(folder.Get(), OwnerName(com).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!file) return std::nullopt;
  char buffer[4200];
  const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
  std::string_view text(buffer, static_cast<std::size_t>(n));
  if (!text.ends_with('\n')) return std::nullopt;
  text.remove_suffix(1);
  LinkOwner owner;
  const auto number = [&text](auto& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data() + text.size() || *end != ' ') return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
    return true;
  };
  if (!number(owner.pid) || !number(owner.startTime) || owner.pid <= 0 || text.empty()) return std::nullopt;
  owner.target = std::string(text);
  return owner;
}

// Replaces the record atomically: a reader sees the old one or the new one.
bool WriteOwner(const Folder& folder, int com, const LinkOwner& owner) {
  const std::string name = OwnerName(com);
  const std::string temporary = name + ".brimlink-sim." + std::to_string(::getpid());
  ::unlinkat(folder.Get(), temporary.c_str(), 0);
  const std::string text =
      std::to_string(owner.pid) + " " + std::to_string(owner.startTime) + " " + owner.target + "\n";
  bool written = false;
  {
    const File file(::openat(folder.Get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             kOwnerFileMode));
    if (!file) return false;
    written = ::write(file.Get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  if (!written || ::renameat(folder.Get(), temporary.c_str(), folder.Get(), name.c_str()) != 0) {
    ::unlinkat(folder.Get(), temporary.c_str(), 0);
    return false;
  }
  return true;
}

LinkOwner ThisProcess(const std::string& target) {
  LinkOwner owner;
  owner.pid = ::getpid();
  owner.startTime = ProcessStartTime(owner.pid).value_or(0);
  owner.target = target;
  return owner;
}

// The owner of COMn when its record names this very link and that owner has
// ended; nullopt otherwise (no record, a record of another link, a live owner).
std::optional<LinkOwner> EndedOwner(const Folder& folder, int com, const std::string& name) {
  const std::optional<std::string> target = ReadLink(folder, name);
  if (!target) return std::nullopt;
  std::optional<LinkOwner> owner = ReadOwner(folder, com);
  if (!owner || owner->target != *target || OwnerIsAlive(*owner)) return std::nullopt;
  return owner;
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
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = S_ISLNK(st.st_mode) ? folder + " is a symbolic link, not a folder; make it a folder of its own"
                                : folder + " is not a folder";
    return {};
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    error = "cannot write to the folder " + folder + ": " + SystemError();
    return {};
  }
  return folder;
}

std::optional<unsigned long long> ProcessStartTime(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!file || !std::getline(file, text)) return std::nullopt;
  // "PID (COMM) STATE ..." where COMM may hold blanks and parentheses.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  std::string state;
  fields >> state;
  if (state == "Z" || state == "X") return std::nullopt;
  // Fields 4..21 come before the start time (field 22).
  std::string skipped;
  for (int field = 4; field <= 21; ++field) fields >> skipped;
  unsigned long long startTime = 0;
  if (!(fields >> startTime)) return std::nullopt;
  return startTime;
}

bool OwnerIsAlive(const LinkOwner& owner) {
  if (owner.pid <= 0) return false;
  if (::kill(owner.pid, 0) != 0 && errno == ESRCH) return false;
  const std::optional<unsigned long long> startTime = ProcessStartTime(owner.pid);
  if (!startTime) {
    // A zombie has ended; a process /proc does not show us (hidepid) has not.
    const std::string stat = "/proc/" + std::to_string(owner.pid) + "/stat";
    return ::access(stat.c_str(), F_OK) != 0;
  }
  return owner.startTime == 0 || *startTime == owner.startTime;
}

std::optional<LinkOwner> ReadLinkOwner(const std::string& folder, int com) {
  const Folder dir(folder);
  if (!dir) return std::nullopt;
  return ReadOwner(dir, com);
}

std::vector<std::string> ComEntries(const std::string& folder, int com) {
  const Folder dir(folder);
  if (!dir) return {};
  return EntriesOf(dir, com);
}

int NextFreeCom(const std::string& folder, int after, const std::set<int>& taken) {
  for (int com = after + 1; com <= 255; ++com) {
    if (!taken.contains(com) && ComEntries(folder, com).empty()) return com;
  }
  return 0;
}

PortLink::PortLink(PortLink&& other) noexcept
    : folder_(std::exchange(other.folder_, {})),
      path_(std::exchange(other.path_, {})),
      target_(std::exchange(other.target_, {})),
      com_(std::exchange(other.com_, 0)) {}

PortLink& PortLink::operator=(PortLink&& other) noexcept {
  if (this != &other) {
    Remove();
    folder_ = std::exchange(other.folder_, {});
    path_ = std::exchange(other.path_, {});
    target_ = std::exchange(other.target_, {});
    com_ = std::exchange(other.com_, 0);
  }
  return *this;
}

bool PortLink::Create(const std::string& folder, int com, const std::string& target, bool force, std::string& error,
                      std::string* note) {
  Remove();
  const std::string name = "COM" + std::to_string(com);
  const std::string path = folder + "/" + name;
  const Folder dir(folder);
  if (!dir) {
    error = errno == ELOOP || errno == ENOTDIR ? folder + " is not a folder (a symbolic link is refused)"
                                               : "cannot open the folder " + folder + ": " + SystemError();
    return false;
  }

  std::vector<std::string> foreign;
  std::optional<LinkOwner> ended;
  bool own = false;
  for (const std::string& entry : EntriesOf(dir, com)) {
    if (entry == name && ReadLink(dir, name) == target) {
      own = true;
    } else if (entry == name && (ended = EndedOwner(dir, com, name))) {
      // Left behind by a program that was killed: its line is free.
    } else {
      foreign.push_back(entry);
    }
  }
  if (!foreign.empty() && !force) {
    error = name + " is already registered: " + DescribeEntry(dir, folder, foreign.front()) +
            "; choose another --com or give --force to replace it";
    return false;
  }
  for (const std::string& entry : foreign) {
    if (IsDirectory(dir, entry)) {
      error = "cannot replace " + folder + "/" + entry + ": it is a folder";
      return false;
    }
    // The exact name is replaced atomically below; other spellings must go.
    if (entry != name && ::unlinkat(dir.Get(), entry.c_str(), 0) != 0 && errno != ENOENT) {
      error = "cannot remove " + folder + "/" + entry + ": " + SystemError();
      return false;
    }
  }

  if (foreign.empty() && !own && !ended) {
    // Nothing there: symlink itself refuses if another program got there first.
    if (::symlinkat(target.c_str(), dir.Get(), name.c_str()) != 0) {
      error = errno == EEXIST ? name + " was registered by another program just now: " + DescribeEntry(dir, folder, name)
                              : "cannot create the link " + path + ": " + SystemError();
      return false;
    }
  } else {
    const std::string temporary = "." + name + ".brimlink-sim." + std::to_string(::getpid());
    ::unlinkat(dir.Get(), temporary.c_str(), 0);
    if (::symlinkat(target.c_str(), dir.Get(), temporary.c_str()) != 0) {
      error = "cannot create the link " + folder + "/" + temporary + ": " + SystemError();
      return false;
    }
    if (::renameat(dir.Get(), temporary.c_str(), dir.Get(), name.c_str()) != 0) {
      error = "cannot replace " + path + ": " + SystemError();
      ::unlinkat(dir.Get(), temporary.c_str(), 0);
      return false;
    }
  }
  // Written after the link: a link without a record is only ever refused.
  if (!WriteOwner(dir, com, ThisProcess(target))) {
    error = "cannot record the owner of " + path + " in " + folder + "/" + OwnerName(com) + ": " + SystemError();
    if (ReadLink(dir, name) == target) ::unlinkat(dir.Get(), name.c_str(), 0);
    return false;
  }
  if (ended && note != nullptr) {
    *note = name + ": replaces the link of process " + std::to_string(ended->pid) + " to " + ended->target +
            ", which has ended";
  }
  folder_ = folder;
  path_ = path;
  target_ = target;
  com_ = com;
  return true;
}

bool PortLink::Remove() {
  if (path_.empty()) return false;
  path_.clear();
  const std::string folder = std::exchange(folder_, {});
  const std::string target = std::exchange(target_, {});
  const int com = std::exchange(com_, 0);
  const Folder dir(folder);
  if (!dir) return false;
  const std::string name = "COM" + std::to_string(com);
  bool removed = false;
  if (ReadLink(dir, name) == target) removed = ::unlinkat(dir.Get(), name.c_str(), 0) == 0;
  // The record goes only while it is ours; a program that replaced the link
  // has written its own.
  const std::optional<LinkOwner> owner = ReadOwner(dir, com);
  if (owner && owner->pid == ::getpid() && owner->target == target)
    ::unlinkat(dir.Get(), OwnerName(com).c_str(), 0);
  return removed;
}

}  // namespace brimlink::simtool
