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
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include <dirent.h>
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

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
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

std::string Reason(int error) { return std::strerror(error); }

std::string LineText(std::size_t line) { return "line " + std::to_string(line); }

// Length of the UTF-8 sequence at text[at], 0 when it is not one (overlong
// forms, surrogates and values above U+10FFFF included).
std::size_t Utf8Length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(at);
    std::size_t length = 0;
    unsigned long value = 0;
    unsigned long minimum = 0;
    if (first < 0x80)
        return 1;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2, value = first & 0x1F, minimum = 0x80;
    } else if ((first & 0xF0) == 0xE0) {
        length = 3, value = first & 0x0F, minimum = 0x800;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4, value = first & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

// Bytes a settings text may not hold: NUL and other control characters
// (tab and line ends excepted), and anything that is not UTF-8.
std::string CheckBytes(std::string_view text)
{
    std::size_t line = 1;
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c == '\n') {
            ++line;
        } else if (c == 0) {
            return LineText(line) + " holds a NUL byte";
        } else if ((c < 0x20 && c != '\t' && c != '\r') || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", c);
            return LineText(line) + " holds the control character " + code;
        }
        const std::size_t length = Utf8Length(text, at);
        if (length == 0)
            return LineText(line) + " is not UTF-8 text";
        at += length;
    }
    return {};
}

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// One meaningful line of a text, in the form that must survive a rewrite.
struct Item {
    std::size_t line;
    std::string text;
};

// The meaningful lines of a text (sections, keys with their values as read,
// comments); a line that is none of these gives a problem.
std::vector<Item> Items(std::string_view text, std::string& problem)
{
    std::vector<Item> items;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    // Names are compared without regard to letter case, as the parser does;
    // one given twice would be merged on writing.
    const auto lower = [](std::string_view name) {
        std::string folded(name);
        for (char& c : folded)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return folded;
    };
    std::set<std::string> sections;
    std::set<std::string> keys;
    std::string section;
    std::size_t line = 0;
    while (!text.empty() || line == 0) {
        ++line;
        const std::size_t end = text.find('\n');
        const std::string_view raw = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (raw.empty())
            continue;
        if (raw.front() == ';' || raw.front() == '#') {
            items.push_back({line, "comment " + std::string(raw)});
        } else if (raw.front() == '[') {
            if (raw.back() != ']' || raw.find(']') != raw.size() - 1) {
                problem = LineText(line) + " is not a section heading of the form [Name]";
                return {};
            }
            const std::string_view name = Trim(raw.substr(1, raw.size() - 2));
            section = lower(name);
            if (!sections.insert(section).second) {
                problem = LineText(line) + " repeats the section [" + std::string(name) + "]";
                return {};
            }
            items.push_back({line, "section " + std::string(name)});
        } else {
            const std::size_t equals = raw.find('=');
            const std::string_view key = Trim(raw.substr(0, equals));
            if (equals == std::string_view::npos || key.empty()) {
                problem = LineText(line) + " is neither a section, a Key=Value line nor a comment";
                return {};
            }
            if (!keys.insert(section + "]" + lower(key)).second) {
                problem = LineText(line) + " repeats the key " + std::string(key);
                return {};
            }
            std::string_view value = Trim(raw.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            items.push_back({line, "key " + std::string(key) + "=" + std::string(value)});
        }
    }
    return items;
}

// A parsed file with what the parser cannot hold itself: the comments after
// the last entry, which it would drop.
struct Loaded {
    Parser ini;
    std::string tail;

    Loaded() { Configure(ini); }

    bool Save(std::string& data) const
    {
        if (ini.Save(data) != SI_OK)
            return false;
        if (!tail.empty()) {
            if (!data.empty() && data.back() != '\n')
                data += '\n';
            data += tail;
        }
        return true;
    }
};

// Parses text into loaded; empty, or why the text cannot be written back as
// it reads.
std::string Parse(std::string_view text, Loaded& loaded)
{
    std::string problem = CheckBytes(text);
    if (!problem.empty())
        return problem;
    const std::vector<Item> items = Items(text, problem);
    if (!problem.empty())
        return problem;
    if (loaded.ini.LoadData(text.data(), text.size()) != SI_OK)
        return "it cannot be parsed";

    // What the parser would write must be what the file says, line for line;
    // else a rewrite would lose or change something. It drops comments after
    // the last entry (unless they head the file), so those are kept aside.
    const auto writtenBack = [&](std::string& why) {
        std::string saved;
        if (!loaded.Save(saved)) {
            why = "it cannot be parsed";
            return false;
        }
        std::string ignored;
        const std::vector<Item> again = Items(saved, ignored);
        if (!ignored.empty() || again.size() > items.size()) {
            why = "it would not be written back as it reads";
            return false;
        }
        for (std::size_t i = 0; i < again.size(); ++i) {
            if (again[i].text != items[i].text) {
                why = LineText(items[i].line) + " would not be written back as it reads";
                return false;
            }
        }
        if (again.size() < items.size()) {
            why = LineText(items[again.size()].line) + " would not be written back as it reads";
            return false;
        }
        return true;
    };
    if (writtenBack(problem))
        return {};
    std::size_t tailStart = items.size();
    while (tailStart > 0 && items[tailStart - 1].text.starts_with("comment "))
        --tailStart;
    for (std::size_t i = tailStart; i < items.size(); ++i)
        loaded.tail += items[i].text.substr(std::string_view("comment ").size()) + "\n";
    if (loaded.tail.empty())
        return problem;
    problem.clear();
    if (!writtenBack(problem))
        return problem;
    return {};
}

}  // namespace

int ReadToEnd(int fd, std::string& data)
{
    data.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return 0;
        } else if (errno != EINTR) {
            return errno;
        }
    }
}

namespace {

enum class LoadResult { Loaded, Missing, Unreadable, Unclean };

struct LoadOutcome {
    LoadResult result;
    std::string problem;
};

// O_NONBLOCK: a FIFO put in place of the file must not hang the control.
LoadOutcome ReadWholeFile(const std::string& path, std::string& data)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return {LoadResult::Missing, {}};
        return {LoadResult::Unreadable, "it cannot be read: " + Reason(error)};
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return {LoadResult::Unreadable, "it cannot be read: " + Reason(errno)};
    if (!S_ISREG(st.st_mode))
        return {LoadResult::Unreadable, "it is not a regular file"};

    if (const int error = ReadToEnd(fd.Get(), data); error != 0)
        return {LoadResult::Unreadable, "it cannot be read: " + Reason(error)};
    return {LoadResult::Loaded, {}};
}

LoadOutcome Load(const std::string& path, Loaded& loaded)
{
    std::string data;
    LoadOutcome outcome = ReadWholeFile(path, data);
    if (outcome.result != LoadResult::Loaded)
        return outcome;
    std::string problem = Parse(data, loaded);
    if (!problem.empty())
        return {LoadResult::Unclean, std::move(problem)};
    return outcome;
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

std::string TempPrefix(std::string_view fileName) { return "." + std::string(fileName) + "."; }
constexpr std::size_t kTempSuffixLength = 6;  // mkostemp's XXXXXX

// Temporary files a killed write left behind. Called under the folder lock,
// so no writer that takes the lock is using one.
void RemoveStaleTempFiles(int folderFd, std::string_view fileName)
{
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listFd));
    if (!dir) {
        ::close(listFd);
        return;
    }
    const std::string prefix = TempPrefix(fileName);
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() == prefix.size() + kTempSuffixLength && name.starts_with(prefix))
            stale.emplace_back(name);
    }
    for (const std::string& name : stale) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(folderFd, name.c_str(), 0);
    }
}

// Replaces the file at `path` with `data`: temporary file in the same folder,
// `mode` and the folder's group, fsync, rename, fsync of the folder.
std::string ReplaceFile(const std::string& path, int folderFd, const std::string& folder, std::string_view data,
                        mode_t mode)
{
    const std::string name = path.substr(path.find_last_of('/') + 1);
    std::string pattern = folder + "/" + TempPrefix(name) + std::string(kTempSuffixLength, 'X');
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.Valid())
        return "no file can be made in " + folder + ": " + Reason(errno);
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
    if (::fchmod(fd.Get(), mode) != 0)
        return "its mode cannot be set: " + Reason(errno);
    if (!WriteAll(fd.Get(), data) || ::fsync(fd.Get()) != 0 || !fd.Close())
        return "it cannot be written: " + Reason(errno);
    if (::rename(temp.Path().c_str(), path.c_str()) != 0)
        return "it cannot be replaced: " + Reason(errno);
    temp.Keep();
    ::fsync(folderFd);  // makes the rename itself durable; the data is safe either way
    return {};
}

// The file a write changes: a symbolic link's final target, so that the link
// stays (the rename would replace the link itself).
std::string WriteTarget(const std::string& path, std::string& error)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        error = "it is a symbolic link that leads to no file: " + Reason(errno);
        return {};
    }
    return resolved;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// One read-modify-replace of the file: deletes the sections, then sets the
// entries. Empty on success, else why nothing was written.
std::string Edit(const std::string& path, std::span<const std::string_view> removed,
                 std::span<const IniEntry> entries, bool skipUnchanged, mode_t mode)
{
    if (path.empty())
        return "no settings file is known";
    for (const IniEntry& entry : entries) {
        if (!Storable(entry))
            return "a name or value cannot be stored in the file";
    }
    std::string error;
    const std::string target = WriteTarget(path, error);
    if (target.empty())
        return error;

    const std::string folder = FolderOf(target);
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.Valid())
        return "its folder cannot be opened: " + Reason(errno);
    // Serialises writers of this folder, across threads and processes, so one
    // read-modify-replace cannot lose another's change. Without the lock
    // (e.g. a file system that lacks it) the write still goes ahead.
    while (::flock(folderFd.Get(), LOCK_EX) != 0 && errno == EINTR) {
    }
    RemoveStaleTempFiles(folderFd.Get(), target.substr(target.find_last_of('/') + 1));

    Loaded loaded;
    // A file that exists but cannot be read cleanly is not overwritten: what
    // was not understood would be lost.
    const LoadOutcome outcome = Load(target, loaded);
    if (outcome.result == LoadResult::Unreadable || outcome.result == LoadResult::Unclean)
        return outcome.problem;
    bool tooOpen = false;
    if (outcome.result == LoadResult::Loaded) {
        // The rename would bypass the file's own protection.
        struct stat st {};
        if (::stat(target.c_str(), &st) != 0)
            return "it cannot be examined: " + Reason(errno);
        if ((st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return "it is read-only for this user";
        // A file others may write that should not be is rewritten even
        // unchanged, so registering again repairs it.
        tooOpen = (st.st_mode & 0022 & ~mode) != 0;
    }

    bool changed = false;
    for (const std::string_view section : removed)
        changed |= loaded.ini.Delete(std::string(section).c_str(), nullptr);
    for (const IniEntry& entry : entries) {
        const std::string section(entry.section);
        const std::string key(entry.key);
        const std::string value(entry.value);
        const char* old = loaded.ini.GetValue(section.c_str(), key.c_str(), nullptr);
        changed |= old == nullptr || value != old;
        if (loaded.ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0)
            return "out of memory";
    }
    if (skipUnchanged && !changed && !tooOpen)
        return {};
    std::string data;
    if (!loaded.Save(data))
        return "out of memory";
    return ReplaceFile(target, folderFd.Get(), folder, data, mode);
}

}  // namespace

CIni::CIni(std::string path, unsigned fileMode) : m_path(std::move(path)), m_fileMode(fileMode & 07777) {}

CIni::~CIni() { Flush(); }

std::string CIni::ReadString(std::string_view section, std::string_view key,
                             std::string_view defaultText) const
{
    try {
        if (m_path.empty())
            return {};
        Loaded loaded;
        if (Load(m_path, loaded).result == LoadResult::Loaded) {
            const std::string sectionName(section);
            const std::string keyName(key);
            if (const char* value = loaded.ini.GetValue(sectionName.c_str(), keyName.c_str(), nullptr))
                return value;
        }
        return std::string(defaultText);
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

std::string CIni::Problem() const
{
    try {
        if (m_path.empty())
            return {};
        Loaded loaded;
        return Load(m_path, loaded).problem;
    } catch (...) {
        return "out of memory";
    }
}

bool CIni::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    const IniEntry entry{section, key, value};
    return WriteStrings(std::span<const IniEntry>(&entry, 1));
}

bool CIni::WriteStrings(std::span<const IniEntry> entries) { return Run({}, entries, false); }

bool CIni::ReplaceSections(std::span<const std::string_view> removed, std::span<const IniEntry> entries)
{
    return Run(removed, entries, true);
}

bool CIni::Run(std::span<const std::string_view> removed, std::span<const IniEntry> entries, bool skipUnchanged)
{
    try {
        m_lastError = Edit(m_path, removed, entries, skipUnchanged, static_cast<mode_t>(m_fileMode));
    } catch (...) {
        m_lastError = "out of memory";
    }
    return m_lastError.empty();
}

void CIni::Flush() {}

// ---- IniText ---------------------------------------------------------------

struct IniText::Parsed {
    Loaded loaded;
};

IniText::IniText(std::string_view text)
{
    try {
        auto parsed = std::make_unique<Parsed>();
        m_problem = Parse(text, parsed->loaded);
        if (m_problem.empty())
            m_parsed = std::move(parsed);
    } catch (...) {
        m_problem = "out of memory";
    }
}

IniText::~IniText() = default;
IniText::IniText(IniText&&) noexcept = default;
IniText& IniText::operator=(IniText&&) noexcept = default;

std::optional<std::string> IniText::Value(std::string_view section, std::string_view key) const
{
    if (!m_parsed)
        return std::nullopt;
    try {
        const std::string sectionName(section);
        const std::string keyName(key);
        if (const char* value = m_parsed->loaded.ini.GetValue(sectionName.c_str(), keyName.c_str(), nullptr))
            return std::string(value);
    } catch (...) {
    }
    return std::nullopt;
}

}  // namespace brimlink::link
