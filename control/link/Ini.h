// CIni: the control's private-profile file, Brimlink.ini.
//
// Nothing is cached: every read parses the file afresh and every write re-reads
// it, changes the value and replaces the whole file in one rename, so several
// programs sharing the file see each other's changes and a crash never leaves
// half a file. A file that cannot be read behaves as an empty one. No call
// throws.
#pragma once

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
    // The longest value a read returns, as with a 1024-character read buffer.
    static constexpr std::size_t kMaxValueLength = 1023;

    explicit CIni(std::string path);
    ~CIni();

    CIni(const CIni&) = delete;
    CIni& operator=(const CIni&) = delete;

    const std::string& Path() const { return m_path; }

    // Only a missing key gives defaultText; a key with an empty value reads as
    // empty. With an empty path every string reads as empty.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultText) const;

    // 1 when the first character, upper-cased, is '1', 'O' or 'Y'; 0 for any
    // other non-empty value; defaultValue when missing, empty or the path is empty.
    int ReadYesNo(std::string_view section, std::string_view key, int defaultValue) const;

    // False when the path is empty, a name cannot be stored in the file
    // (line breaks, '=' in a key, ']' in a section) or the file cannot be replaced.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

    // All entries reach the disk in one replacement of the file, or none do.
    bool WriteStrings(std::span<const IniEntry> entries);

    // Deletes the named sections whole (names compared as on reading, without
    // regard to letter case), then writes the entries, in one replacement of
    // the file. Nothing is written when that changes nothing. False when the
    // path is empty, an entry cannot be stored, or the file cannot be read or
    // replaced; a file that cannot be read is left as it is.
    bool ReplaceSections(std::span<const std::string_view> removed, std::span<const IniEntry> entries);

    // Writes go straight to disk, so there is nothing to flush; kept so the
    // owner can end its use of the file at a defined moment.
    void Flush();

private:
    std::string m_path;
};

}  // namespace brimlink::link
