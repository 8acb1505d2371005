// CIni: the control's private-profile file, Brimlink.ini (and the class
// registry, Registry.ini).
//
// Nothing is cached: every read parses the file afresh and every write re-reads
// it, changes the value and replaces the whole file in one rename, so several
// programs sharing the file see each other's changes and a crash never leaves
// half a file. A file that cannot be read completely and cleanly (a NUL or
// another control character, text that is not UTF-8, a line that would not be
// written back as it reads) reads as an empty one and is never rewritten. No
// call throws.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace brimlink::link {

// One value of a batch write.
struct IniEntry {
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

class CIni {
public:
    // Group members may edit the settings file.
    static constexpr unsigned kSharedFileMode = 0664;

    // fileMode: the mode every replacement of the file gets, whatever the umask.
    explicit CIni(std::string path, unsigned fileMode = kSharedFileMode);
    ~CIni();

    CIni(const CIni&) = delete;
    CIni& operator=(const CIni&) = delete;

    const std::string& Path() const { return m_path; }

    // Only a missing key gives defaultText; a key with an empty value reads as
    // empty. Values are read whole. With an empty path every string reads as
    // empty.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultText) const;

    // 1 when the first character, upper-cased, is '1', 'O' or 'Y'; 0 for any
    // other non-empty value; defaultValue when missing, empty or the path is empty.
    int ReadYesNo(std::string_view section, std::string_view key, int defaultValue) const;

    // Why the file is not used as it is (cannot be read, or not cleanly);
    // empty when it reads cleanly or does not exist.
    std::string Problem() const;

    // False when the path is empty, a name cannot be stored in the file
    // (line breaks, '=' in a key, ']' in a section) or the file cannot be
    // replaced: it cannot be read cleanly, this user may not write it, or the
    // folder refuses. A symbolic link is written through to its target.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

    // All entries reach the disk in one replacement of the file, or none do.
    bool WriteStrings(std::span<const IniEntry> entries);

    // Deletes the named sections whole (names compared as on reading, without
    // regard to letter case), then writes the entries, in one replacement of
    // the file. Nothing is written when that changes neither the text nor the
    // file's mode. False as for WriteStrings; the file is then left as it is.
    bool ReplaceSections(std::span<const std::string_view> removed, std::span<const IniEntry> entries);

    // Why the last write failed, in words; empty after one that succeeded.
    const std::string& LastError() const { return m_lastError; }

    // Writes go straight to disk, so there is nothing to flush; kept so the
    // owner can end its use of the file at a defined moment.
    void Flush();

private:
    bool Run(std::span<const std::string_view> removed, std::span<const IniEntry> entries, bool skipUnchanged);

    std::string m_path;
    unsigned m_fileMode;
    std::string m_lastError;
};

// Reads the descriptor to its end into data; 0, or the errno of the failed read.
int ReadToEnd(int fd, std::string& data);

// An INI text parsed once, with the rules of CIni: for a reader that must use
// exactly the bytes it checked (e.g. read from a descriptor it examined).
class IniText {
public:
    explicit IniText(std::string_view text);
    ~IniText();
    IniText(IniText&&) noexcept;
    IniText& operator=(IniText&&) noexcept;

    // Why the text cannot be used; empty when it reads cleanly. A text with a
    // problem holds no values.
    const std::string& Problem() const { return m_problem; }

    // The value of a key (names without regard to letter case); nullopt when missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

private:
    struct Parsed;
    std::unique_ptr<Parsed> m_parsed;
    std::string m_problem;
};

}  // namespace brimlink::link
