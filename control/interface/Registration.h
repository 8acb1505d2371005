// The class registry: a machine-wide file "Registry.ini" in the settings
// folder that records the type library BRIMLINKLib and the two classes of a
// control library (ProgID, library path, threading model, misc status,
// version), and the lookups a host's creation helper makes in it.
//
// Plain C++; no Qt. Files are replaced atomically (CIni), so a reader never
// sees half a registration.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "control/interface/Automation.h"

namespace brimlink::automation {

inline constexpr std::string_view kControlProgId = "BLOCX32.Blocx32Ctrl.1";
inline constexpr std::string_view kPropertyPageProgId = "BRIMLINK.BrimlinkPropPage.1";
inline constexpr std::string_view kControlTypeName = "Kavro Brimlink ActiveX Control";
inline constexpr std::string_view kPropertyPageName = "Kavro Brimlink Property Page";
inline constexpr std::uint32_t kControlMiscStatus = 0x20191;

// settingsFolder + "/Registry.ini"; empty for an empty folder.
std::string RegistryFilePath(std::string_view settingsFolder);

// What DllRegisterServer does for the library at libraryPath: the type
// library first (SELFREG_E_TYPELIB when it cannot be written), then both
// classes (SELFREG_E_CLASS). S_OK on success.
HRESULT RegisterControlLibrary(const std::string& registryFile, const std::string& libraryPath);
// What DllUnregisterServer does: removes the type library entry
// (SELFREG_E_TYPELIB when it cannot), then both classes (SELFREG_E_CLASS).
// Entries that are already gone are not an error.
HRESULT UnregisterControlLibrary(const std::string& registryFile);

// The class identifier registered for a ProgID (any letter case).
std::optional<GUID> ClassIdOfProgId(const std::string& registryFile, std::string_view progId);
// The library path registered for a class.
std::optional<std::string> LibraryOfClass(const std::string& registryFile, const GUID& clsid);

}  // namespace brimlink::automation
