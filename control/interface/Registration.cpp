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
// Every register and unregister step is one CIni::ReplaceSections: the folder
// is locked while the file is read, changed and replaced by a rename, and a
// file that cannot be read is never overwritten (other libraries' entries
// would be lost).
#include "control/interface/Registration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "control/interface/TypeTable.h"
#include "control/link/Ini.h"
#include "control/link/SettingsLocation.h"

namespace brimlink::automation {
namespace {

using link::CIni;

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

using Keys = std::vector<std::pair<std::string, std::string>>;

struct Section {
    std::string name;
    Keys keys;
};

// Writes the sections whole, so keys of an older registration do not linger.
bool PutSections(CIni& registry, const std::vector<Section>& sections) {
    std::vector<std::string_view> names;
    std::vector<link::IniEntry> entries;
    for (const Section& section : sections) {
        names.push_back(section.name);
        for (const auto& [key, value] : section.keys) entries.push_back({section.name, key, value});
    }
    return registry.ReplaceSections(names, entries);
}

bool RemoveSections(CIni& registry, const std::vector<std::string>& sections) {
    const std::vector<std::string_view> names(sections.begin(), sections.end());
    return registry.ReplaceSections(names, {});
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

constexpr std::string_view kToolboxBitmapSuffix = ",207";

// Absolute, without "." or ".." parts, doubled or trailing separators.
bool IsNormalAbsolutePath(const std::string& path) {
    if (!path.starts_with('/') || path.size() < 2 || path.back() == '/') return false;
    return std::filesystem::path(path).lexically_normal().string() == path;
}

std::string Octal(std::uint32_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::string RegistryFilePath(std::string_view settingsFolder) {
    if (settingsFolder.empty()) return {};
    return std::string(settingsFolder) + "/Registry.ini";
}

std::string UserRegistryFilePath() { return RegistryFilePath(link::UserSettingsFolder()); }

std::string TrustProblem(const FileFacts& file, std::uint32_t user) {
    if ((file.mode & 0022) != 0)
        return "others than its owner may write it (mode " + Octal(file.mode) + ")";
    if (file.owner != 0 && file.owner != user)
        return "it belongs to user " + std::to_string(file.owner) + ", neither root nor this user (" +
               std::to_string(user) + ")";
    return {};
}

std::string LibraryProblem(const std::string& path, std::uint32_t user) {
    const std::string refusing = "refusing to load '" + path + "': ";
    if (!path.starts_with('/')) return refusing + "a registered library path must be absolute";
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return "cannot load " + path + ": " + std::strerror(errno);
    if (path != resolved) return refusing + "the registered path is not canonical (it is " + resolved + ")";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "cannot load " + path + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return refusing + "it is not a regular file";
    if (std::string problem = TrustProblem({st.st_uid, st.st_mode}, user); !problem.empty())
        return refusing + problem;
    // Nor may anybody else put another file in its place: every folder on
    // the way is held to the same rule, unless it is sticky (like /tmp),
    // where only a file's owner may rename it.
    for (std::size_t slash = path.find_last_of('/'); slash != std::string::npos && slash > 0;
         slash = path.find_last_of('/', slash - 1)) {
        const std::string folder = path.substr(0, slash);
        struct stat folderStat {};
        if (::stat(folder.c_str(), &folderStat) != 0) return "cannot load " + path + ": " + std::strerror(errno);
        const std::uint32_t mode = (folderStat.st_mode & S_ISVTX) != 0 ? (folderStat.st_mode & ~0022u) : folderStat.st_mode;
        if (std::string problem = TrustProblem({folderStat.st_uid, mode}, user); !problem.empty())
            return refusing + "its folder " + folder + ": " + problem;
    }
    return {};
}

ClassRegistry ClassRegistry::Read(const std::string& path, std::uint32_t user) {
    ClassRegistry registry;
    registry.path_ = path;
    if (path.empty()) return registry;
    // O_NONBLOCK: a FIFO in the file's place must not hang the host.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        if (errno != ENOENT && errno != ENOTDIR) registry.problem_ = std::string("it cannot be read: ") + std::strerror(errno);
        return registry;
    }
    // The checks apply to the file that is read, whatever is renamed in its place meanwhile.
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        registry.problem_ = std::string("it cannot be read: ") + std::strerror(errno);
        return registry;
    }
    if (!S_ISREG(st.st_mode)) {
        registry.problem_ = "it is not a regular file";
        return registry;
    }
    if (std::string problem = TrustProblem({st.st_uid, st.st_mode}, user); !problem.empty()) {
        registry.problem_ = std::move(problem);
        return registry;
    }
    std::string data;
    if (const int error = link::ReadToEnd(fd.Get(), data); error != 0) {
        registry.problem_ = std::string("it cannot be read: ") + std::strerror(error);
        return registry;
    }
    link::IniText text(data);
    if (!text.Problem().empty()) {
        registry.problem_ = text.Problem();
        return registry;
    }
    registry.text_ = std::move(text);
    return registry;
}

std::optional<GUID> ClassRegistry::ClassIdOfProgId(std::string_view progId) const {
    if (!text_ || !StorableName(progId) || progId.find(']') != std::string_view::npos) return std::nullopt;
    const auto value = text_->Value(ProgIdSection(progId), "CLSID");
    return value ? GUID::Parse(*value) : std::nullopt;
}

std::optional<std::string> ClassRegistry::LibraryOfClass(const GUID& clsid) const {
    if (!text_) return std::nullopt;
    auto value = text_->Value(ClassSection(clsid), "Library");
    if (!value || value->empty()) return std::nullopt;
    return value;
}

HRESULT RegisterControlLibrary(const std::string& registryFile, const std::string& libraryPath) {
    // A host loads only what is named by an absolute path, never searched for.
    if (!StorableName(libraryPath) || !IsNormalAbsolutePath(libraryPath)) return SELFREG_E_TYPELIB;
    const std::string folder = libraryPath.substr(0, libraryPath.find_last_of('/'));
    const TypeLibraryInfo& library = kBrimlinkTypeLibrary;
    CIni registry(registryFile, kRegistryFileMode);

    const Section typeLibrary{TypeLibSection(),
                              {{"Name", std::string(library.name)},
                               {"Version", Version(library.majorVersion, library.minorVersion)},
                               {"Locale", Hex(library.locale, 4)},
                               {"HelpString", std::string(library.helpString)},
                               {"HelpFile", std::string(library.helpFile)},
                               {"HelpFolder", folder},
                               {"Library", libraryPath}}};
    if (!PutSections(registry, {typeLibrary})) return SELFREG_E_TYPELIB;

    std::vector<Section> classes;
    for (const ClassEntry& entry : kClasses) {
        Keys keys{{"Name", std::string(entry.name)},
                  {"ProgID", std::string(entry.progId)},
                  {"Library", libraryPath},
                  {"ThreadingModel", "Apartment"}};
        if (entry.control) {
            keys.insert(keys.end(), {{"Control", "Y"},
                                     {"MiscStatus", Hex(kControlMiscStatus, 1)},
                                     {"Version", "1.0"},
                                     {"TypeLib", LIBID_BRIMLINKLib.ToString()},
                                     {"ToolboxBitmap", libraryPath + std::string(kToolboxBitmapSuffix)}});
        }
        classes.push_back({ClassSection(entry.clsid), std::move(keys)});
        classes.push_back(
            {ProgIdSection(entry.progId), {{"CLSID", entry.clsid.ToString()}, {"Name", std::string(entry.name)}}});
    }
    return PutSections(registry, classes) ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterControlLibrary(const std::string& registryFile) {
    CIni registry(registryFile, kRegistryFileMode);
    if (!RemoveSections(registry, {TypeLibSection()})) return SELFREG_E_TYPELIB;

    std::vector<std::string> classes;
    for (const ClassEntry& entry : kClasses) {
        classes.push_back(ClassSection(entry.clsid));
        classes.push_back(ProgIdSection(entry.progId));
    }
    return RemoveSections(registry, classes) ? S_OK : SELFREG_E_CLASS;
}

// A missing key and an empty value both mean nothing registered.
std::optional<GUID> ClassIdOfProgId(const std::string& registryFile, std::string_view progId) {
    if (!StorableName(progId) || progId.find(']') != std::string_view::npos) return std::nullopt;
    return GUID::Parse(CIni(registryFile).ReadString(ProgIdSection(progId), "CLSID", {}));
}

std::optional<std::string> LibraryOfClass(const std::string& registryFile, const GUID& clsid) {
    std::string library = CIni(registryFile).ReadString(ClassSection(clsid), "Library", {});
    if (library.empty()) return std::nullopt;
    return library;
}

}  // namespace brimlink::automation
