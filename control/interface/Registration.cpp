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

#include <cstdio>
#include <utility>
#include <vector>

#include "control/interface/TypeTable.h"
#include "control/link/Ini.h"

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

}  // namespace

std::string RegistryFilePath(std::string_view settingsFolder) {
    if (settingsFolder.empty()) return {};
    return std::string(settingsFolder) + "/Registry.ini";
}

HRESULT RegisterControlLibrary(const std::string& registryFile, const std::string& libraryPath) {
    // Lookups read at most CIni::kMaxValueLength characters; a longer path would come back cut.
    if (!StorableName(libraryPath) || libraryPath.size() + kToolboxBitmapSuffix.size() > CIni::kMaxValueLength)
        return SELFREG_E_TYPELIB;
    const std::string folder = libraryPath.substr(0, libraryPath.find_last_of('/'));
    const TypeLibraryInfo& library = kBrimlinkTypeLibrary;
    CIni registry(registryFile);

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
    CIni registry(registryFile);
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
