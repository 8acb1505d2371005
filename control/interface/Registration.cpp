// The class registry file, Registry.ini. One section per registered item:
//
//   [TypeLib {LIBID}]
//   Name=BRIMLINKLib
//   Version=1.0
//   Locale=0x0409
//   HelpString=Kavro Brimlink Support Control
//   HelpFile=Brimlink.hlp          (in HelpFolder; no separate help folder)
//   HelpFolder=/usr/lib/brimlink
//   Library=/usr/lib/brimlink/Brimlink.ocx
//
//   [CLSID {CLSID}]                (the control and the property page)
//   Name=Kavro Brimlink ActiveX Control
//   ProgID=BLOCX32.Blocx32Ctrl.1
//   Library=/usr/lib/brimlink/Brimlink.ocx
//   ThreadingModel=Apartment
//   Control=Y                      (the control only, like the next four keys)
//   MiscStatus=0x20191
//   Version=1.0
//   TypeLib={LIBID}
//   ToolboxBitmap=/usr/lib/brimlink/Brimlink.ocx,207
//
//   [ProgID BLOCX32.Blocx32Ctrl.1]
//   CLSID={CLSID}
//   Name=Kavro Brimlink ActiveX Control
//
// Section and key names are compared without regard to letter case, so a
// ProgID is found in any case. Registering again replaces these sections
// whole; sections of other libraries are kept.
//
// CIni edits single keys only, and unregistering removes whole sections, so
// this file edits the parsed file itself, with the same rules as CIni: the
// folder is locked while the file is read, changed and replaced by a rename.
#include "control/interface/Registration.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "control/interface/TypeTable.h"

namespace brimlink::automation {
namespace {

using Parser = CSimpleIniA;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    bool Close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

void Configure(Parser& ini) {
    ini.SetUnicode(true);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);
    ini.SetQuotes(true);
}

enum class LoadResult { Loaded, Missing, Unreadable };

LoadResult Load(const std::string& path, Parser& ini) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) return (errno == ENOENT || errno == ENOTDIR) ? LoadResult::Missing : LoadResult::Unreadable;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return LoadResult::Unreadable;
    std::string data;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            return LoadResult::Unreadable;
        }
    }
    return ini.LoadData(data) == SI_OK ? LoadResult::Loaded : LoadResult::Unreadable;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Temporary file in the same folder, mode 0664, renamed over the old file.
bool ReplaceFile(const std::string& path, const std::string& folder, int folderFd, std::string_view data) {
    std::string temp = folder + "/." + path.substr(path.find_last_of('/') + 1) + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.Valid()) return false;
    const bool written = ::fchmod(fd.Get(), 0664) == 0 && WriteAll(fd.Get(), data) && ::fsync(fd.Get()) == 0 &&
                         fd.Close() && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!written) {
        ::unlink(temp.c_str());
        return false;
    }
    ::fsync(folderFd);
    return true;
}

// Reads the file, lets edit change the parsed content and writes it back
// when edit reports a change. A file that exists but cannot be read is never
// overwritten (the other libraries' entries would be lost).
bool EditRegistry(const std::string& path, const std::function<bool(Parser&)>& edit) {
    try {
        const std::size_t slash = path.find_last_of('/');
        if (path.empty() || slash == std::string::npos) return false;
        const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
        UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folderFd.Valid()) return false;
        // The same lock CIni takes, so writers of this folder do not lose each other's changes.
        while (::flock(folderFd.Get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        Parser ini;
        Configure(ini);
        if (Load(path, ini) == LoadResult::Unreadable) return false;
        if (!edit(ini)) return true;
        std::string data;
        if (ini.Save(data) != SI_OK) return false;
        return ReplaceFile(path, folder, folderFd.Get(), data);
    } catch (...) {
        return false;
    }
}

std::optional<std::string> ReadValue(const std::string& path, const std::string& section, const char* key) {
    try {
        Parser ini;
        Configure(ini);
        if (path.empty() || Load(path, ini) != LoadResult::Loaded) return std::nullopt;
        const char* value = ini.GetValue(section.c_str(), key, nullptr);
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    } catch (...) {
        return std::nullopt;
    }
}

std::string TypeLibSection() { return "TypeLib " + LIBID_BRIMLINKLib.ToString(); }
std::string ClassSection(const GUID& clsid) { return "CLSID " + clsid.ToString(); }
std::string ProgIdSection(std::string_view progId) { return "ProgID " + std::string(progId); }

struct ClassEntry {
    GUID clsid;
    std::string_view progId;
    std::string_view name;
    bool control;
};

const ClassEntry kClasses[] = {
    {CLSID_Brimlink, kControlProgId, kControlTypeName, true},
    {CLSID_BrimlinkPropPage, kPropertyPageProgId, kPropertyPageName, false},
};

using Entries = std::vector<std::pair<std::string, std::string>>;

// Replaces a section whole, so keys of an older registration do not linger.
bool PutSection(Parser& ini, const std::string& section, const Entries& entries) {
    ini.Delete(section.c_str(), nullptr);
    for (const auto& [key, value] : entries) {
        if (ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0) return false;
    }
    return true;
}

std::string Version(int major, int minor) { return std::to_string(major) + "." + std::to_string(minor); }

std::string Hex(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

bool StorableName(std::string_view text) {
    return !text.empty() && text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

std::string RegistryFilePath(std::string_view settingsFolder) {
    if (settingsFolder.empty()) return {};
    return std::string(settingsFolder) + "/Registry.ini";
}

HRESULT RegisterControlLibrary(const std::string& registryFile, const std::string& libraryPath) {
    if (!StorableName(libraryPath)) return SELFREG_E_TYPELIB;
    const std::string folder = libraryPath.substr(0, libraryPath.find_last_of('/'));
    const TypeLibraryInfo& library = kBrimlinkTypeLibrary;

    const bool typeLibraryWritten = EditRegistry(registryFile, [&](Parser& ini) {
        return PutSection(ini, TypeLibSection(),
                          {{"Name", std::string(library.name)},
                           {"Version", Version(library.majorVersion, library.minorVersion)},
                           {"Locale", Hex(library.locale, 4)},
                           {"HelpString", std::string(library.helpString)},
                           {"HelpFile", std::string(library.helpFile)},
                           {"HelpFolder", folder},
                           {"Library", libraryPath}});
    });
    if (!typeLibraryWritten) return SELFREG_E_TYPELIB;

    const bool classesWritten = EditRegistry(registryFile, [&](Parser& ini) {
        for (const ClassEntry& entry : kClasses) {
            Entries keys{{"Name", std::string(entry.name)},
                         {"ProgID", std::string(entry.progId)},
                         {"Library", libraryPath},
                         {"ThreadingModel", "Apartment"}};
            if (entry.control) {
                keys.insert(keys.end(), {{"Control", "Y"},
                                         {"MiscStatus", Hex(kControlMiscStatus, 1)},
                                         {"Version", "1.0"},
                                         {"TypeLib", LIBID_BRIMLINKLib.ToString()},
                                         {"ToolboxBitmap", libraryPath + ",207"}});
            }
            if (!PutSection(ini, ClassSection(entry.clsid), keys)) return false;
            if (!PutSection(ini, ProgIdSection(entry.progId),
                            {{"CLSID", entry.clsid.ToString()}, {"Name", std::string(entry.name)}}))
                return false;
        }
        return true;
    });
    return classesWritten ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterControlLibrary(const std::string& registryFile) {
    const bool typeLibraryRemoved = EditRegistry(registryFile, [](Parser& ini) {
        return ini.Delete(TypeLibSection().c_str(), nullptr);
    });
    if (!typeLibraryRemoved) return SELFREG_E_TYPELIB;

    const bool classesRemoved = EditRegistry(registryFile, [](Parser& ini) {
        bool changed = false;
        for (const ClassEntry& entry : kClasses) {
            changed |= ini.Delete(ClassSection(entry.clsid).c_str(), nullptr);
            changed |= ini.Delete(ProgIdSection(entry.progId).c_str(), nullptr);
        }
        return changed;
    });
    return classesRemoved ? S_OK : SELFREG_E_CLASS;
}

std::optional<GUID> ClassIdOfProgId(const std::string& registryFile, std::string_view progId) {
    if (!StorableName(progId) || progId.find(']') != std::string_view::npos) return std::nullopt;
    const auto text = ReadValue(registryFile, ProgIdSection(progId), "CLSID");
    if (!text) return std::nullopt;
    return GUID::Parse(*text);
}

std::optional<std::string> LibraryOfClass(const std::string& registryFile, const GUID& clsid) {
    auto library = ReadValue(registryFile, ClassSection(clsid), "Library");
    if (!library || library->empty()) return std::nullopt;
    return library;
}

}  // namespace brimlink::automation
