// The class registries: files "Registry.ini" that record the type library
// BRIMLINKLib and the two classes of a control library (ProgID, library
// path, threading model, misc status, version), and the lookups a host's
// creation helper makes in them. The machine registry is in the settings
// folder, a per-user one in the user's settings folder; both are written with
// mode 0644, and a host uses a registry, and a library it names, only when
// nobody but the file's owner may write it and that owner is root or the user
// running the host, so no other user can make the host load their code.
//
// Plain C++; no Qt. Files are replaced atomically (CIni), so a reader never
// sees half a registration.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "control/interface/Automation.h"
#include "control/link/Ini.h"

namespace brimlink::automation {

inline constexpr std::string_view kControlProgId = "BLOCX32.Blocx32Ctrl.1";
inline constexpr std::string_view kPropertyPageProgId = "BRIMLINK.BrimlinkPropPage.1";
inline constexpr std::string_view kControlTypeName = "Kavro Brimlink ActiveX Control";
inline constexpr std::string_view kPropertyPageName = "Kavro Brimlink Property Page";
inline constexpr std::uint32_t kControlMiscStatus = 0x20191;

// Only the owner may change a registry.
inline constexpr unsigned kRegistryFileMode = 0644;

// settingsFolder + "/Registry.ini"; empty for an empty folder.
std::string RegistryFilePath(std::string_view settingsFolder);
// The per-user registry in the user's settings folder; empty when no home is known.
std::string UserRegistryFilePath();

// A file's owner and mode as fstat reports them.
struct FileFacts {
    std::uint32_t owner = 0;
    std::uint32_t mode = 0;
};
// Why a registry or library with these facts is not trusted by `user` (the
// user running the host), in words; empty when it is: nobody but its owner
// may write it and the owner is root or that user.
std::string TrustProblem(const FileFacts& file, std::uint32_t user);

// Why a registered library cannot be used by `user`; empty when it can: its
// path is absolute and canonical, it is a regular file and trusted as above,
// and so is every folder on its path (a sticky folder may be writable).
// The text starts with "cannot load PATH: " when the file is missing, else
// with "refusing to load PATH: ".
std::string LibraryProblem(const std::string& path, std::uint32_t user);

// One registry as a host reads it: the file read once, from the descriptor
// whose owner and mode were checked.
class ClassRegistry {
public:
    static ClassRegistry Read(const std::string& path, std::uint32_t user);

    const std::string& Path() const { return path_; }
    // Why the registry cannot be used (not trusted, not readable, not clean);
    // empty when it can or does not exist. A registry with a problem finds nothing.
    const std::string& Problem() const { return problem_; }
    std::optional<GUID> ClassIdOfProgId(std::string_view progId) const;
    std::optional<std::string> LibraryOfClass(const GUID& clsid) const;

private:
    std::string path_;
    std::string problem_;
    std::optional<link::IniText> text_;
};

// What DllRegisterServer does for the library at libraryPath, which must be
// absolute and in normal form: the type library first (SELFREG_E_TYPELIB when
// it cannot be written or the path is refused), then both classes
// (SELFREG_E_CLASS). S_OK on success. The file gets kRegistryFileMode.
HRESULT RegisterControlLibrary(const std::string& registryFile, const std::string& libraryPath);
// What DllUnregisterServer does: removes the type library entry
// (SELFREG_E_TYPELIB when it cannot), then both classes (SELFREG_E_CLASS).
// Entries that are already gone are not an error.
HRESULT UnregisterControlLibrary(const std::string& registryFile);

// For inspection, without the trust check: the class identifier registered
// for a ProgID (any letter case), and the library path registered for a class.
std::optional<GUID> ClassIdOfProgId(const std::string& registryFile, std::string_view progId);
std::optional<std::string> LibraryOfClass(const std::string& registryFile, const GUID& clsid);

}  // namespace brimlink::automation
