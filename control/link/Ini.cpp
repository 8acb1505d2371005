#include "control/link/Ini.h"

// Only the narrow, case-insensitive parser is used. Without wide-character
// conversion SimpleIni needs no converter library, and SI_IMPLEMENTATION pulls
// in the template bodies that Debian's packaging otherwise leaves to
// libsimpleini, so nothing needs linking. The parser stays in this file.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cctype>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brimlink::link {
namespace {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Closes now and reports the result, which matters after writing data.
    bool Close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }
    void Reset() { Close(); }

private:
    int m_fd = -1;
};

// A temporary file that is removed unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::string path) : m_path(std::move(path)) {}
    ~TempFile()
    {
        if (!m_kept)
            ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return m_path; }
    void Keep() { m_kept = true; }

private:
    std::string m_path;
    bool m_kept = false;
};

enum class LoadResult { Loaded, Missing, Unreadable };

using Parser = CSimpleIniA;

void Configure(Parser& ini)
{
    ini.SetUnicode(true);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);  // "Key=Value", as the profile API writes it
    // A value in double quotes reads without them, as with the profile API;
    // values with outer blanks are written quoted so they read back whole.
    ini.SetQuotes(true);
}

LoadResult ReadWholeFile(const std::string& path, std::string& data)
{
    // O_NONBLOCK: a FIFO put in place of the file must not hang the control.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid())
        return (errno == ENOENT || errno == ENOTDIR) ? LoadResult::Missing : LoadResult::Unreadable;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return LoadResult::Unreadable;

    data.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return LoadResult::Loaded;
        } else if (errno != EINTR) {
            return LoadResult::Unreadable;
        }
    }
}

LoadResult Load(const std::string& path, Parser& ini)
{
    std::string data;
    const LoadResult result = ReadWholeFile(path, data);
    if (result != LoadResult::Loaded)
        return result;
    return ini.LoadData(data) == SI_OK ? LoadResult::Loaded : LoadResult::Unreadable;
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool HasAny(std::string_view text, std::string_view forbidden)
{
    return text.find_first_of(forbidden) != std::string_view::npos;
}

// Refuses what would break the line structure of the file or be read back
// as something else.
bool Storable(const IniEntry& entry)
{
    using namespace std::string_view_literals;
    static constexpr std::string_view lineBreaks("\r\n\0", 3);
    return !entry.key.empty() && !HasAny(entry.section, lineBreaks) &&
           !HasAny(entry.key, lineBreaks) && !HasAny(entry.value, lineBreaks) &&
           !HasAny(entry.section, "]"sv) && !HasAny(entry.key, "="sv);
}

// Replaces the file at `path` with `data`: temporary file in the same folder,
// mode 0664 and the folder's group, fsync, rename, fsync of the folder.
bool ReplaceFile(const std::string& path, int folderFd, const std::string& folder,
                 std::string_view data)
{
    std::string name = path.substr(path.find_last_of('/') + 1);
    std::string pattern = folder + "/." + name + ".XXXXXX";
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.Valid())
        return false;
    TempFile temp(pattern);

    // On a setgid folder the group is inherited already; elsewhere hand the
    // file to the folder's group when allowed, so group members may edit it.
    struct stat folderStat {};
    struct stat fileStat {};
    if (::fstat(folderFd, &folderStat) == 0 && ::fstat(fd.Get(), &fileStat) == 0 &&
        fileStat.st_gid != folderStat.st_gid) {
        [[maybe_unused]] const int ignored = ::fchown(fd.Get(), static_cast<uid_t>(-1), folderStat.st_gid);
    }
    // After the chown, which may clear mode bits; fchmod is not subject to the umask.
    if (::fchmod(fd.Get(), 0664) != 0)
        return false;
    if (!WriteAll(fd.Get(), data) || ::fsync(fd.Get()) != 0 || !fd.Close())
        return false;
    if (::rename(temp.Path().c_str(), path.c_str()) != 0)
        return false;
    temp.Keep();
    ::fsync(folderFd);  // makes the rename itself durable; the data is safe either way
    return true;
}

// Whether an edit that changes nothing still replaces the file.
enum class Unchanged { Write, Skip };

// One read-modify-replace of the file: deletes the sections, then sets the entries.
bool Edit(const std::string& path, std::span<const std::string_view> removed,
          std::span<const IniEntry> entries, Unchanged unchanged)
{
    if (path.empty())
        return false;
    for (const IniEntry& entry : entries) {
        if (!Storable(entry))
            return false;
    }

    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.Valid())
        return false;
    // Serialises writers of this folder, across threads and processes, so one
    // read-modify-replace cannot lose another's change. Without the lock
    // (e.g. a file system that lacks it) the write still goes ahead.
    while (::flock(folderFd.Get(), LOCK_EX) != 0 && errno == EINTR) {
    }

    Parser ini;
    Configure(ini);
    // A file that exists but cannot be read is not overwritten: its other
    // sections would be lost.
    if (Load(path, ini) == LoadResult::Unreadable)
        return false;

    bool changed = false;
    for (const std::string_view section : removed)
        changed |= ini.Delete(std::string(section).c_str(), nullptr);
    for (const IniEntry& entry : entries) {
        const std::string section(entry.section);
        const std::string key(entry.key);
        const std::string value(entry.value);
        const char* old = ini.GetValue(section.c_str(), key.c_str(), nullptr);
        changed |= old == nullptr || value != old;
        if (ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0)
            return false;
    }
    if (!changed && unchanged == Unchanged::Skip)
        return true;
    std::string data;
    if (ini.Save(data) != SI_OK)
        return false;
    return ReplaceFile(path, folderFd.Get(), folder, data);
}

}  // namespace

CIni::CIni(std::string path) : m_path(std::move(path)) {}

CIni::~CIni() { Flush(); }

std::string CIni::ReadString(std::string_view section, std::string_view key,
                             std::string_view defaultText) const
{
    try {
        if (m_path.empty())
            return {};
        std::string text(defaultText);
        Parser ini;
        Configure(ini);
        if (Load(m_path, ini) == LoadResult::Loaded) {
            const std::string sectionName(section);
            const std::string keyName(key);
            if (const char* value = ini.GetValue(sectionName.c_str(), keyName.c_str(), nullptr))
                text = value;
        }
        if (text.size() > kMaxValueLength)
            text.resize(kMaxValueLength);
        return text;
    } catch (...) {
        return {};
    }
}

int CIni::ReadYesNo(std::string_view section, std::string_view key, int defaultValue) const
{
    const std::string text = ReadString(section, key, {});
    if (text.empty())
        return defaultValue;
    const int first = std::toupper(static_cast<unsigned char>(text.front()));
    return (first == '1' || first == 'O' || first == 'Y') ? 1 : 0;
}

bool CIni::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    const IniEntry entry{section, key, value};
    return WriteStrings(std::span<const IniEntry>(&entry, 1));
}

bool CIni::WriteStrings(std::span<const IniEntry> entries)
{
    try {
        return Edit(m_path, {}, entries, Unchanged::Write);
    } catch (...) {
        return false;
    }
}

bool CIni::ReplaceSections(std::span<const std::string_view> removed, std::span<const IniEntry> entries)
{
    try {
        return Edit(m_path, removed, entries, Unchanged::Skip);
    } catch (...) {
        return false;
    }
}

void CIni::Flush() {}

}  // namespace brimlink::link
