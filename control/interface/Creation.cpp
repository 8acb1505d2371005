#include "control/interface/Creation.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "control/interface/Registration.h"
#include "control/interface/TypeTable.h"
#include "control/link/SettingsLocation.h"

namespace brimlink::automation {
namespace {

using GetClassObjectFunction = HRESULT (*)(const GUID& clsid, const GUID& iid, void** out);

constexpr std::string_view kLibraryFileName = "Brimlink.ocx";

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The classes this project's library provides, known without a registry.
std::optional<GUID> KnownClassOfProgId(std::string_view progId) {
    if (EqualIgnoringCase(progId, kControlProgId)) return CLSID_Brimlink;
    if (EqualIgnoringCase(progId, kPropertyPageProgId)) return CLSID_BrimlinkPropPage;
    return std::nullopt;
}

bool IsKnownClass(const GUID& clsid) { return clsid == CLSID_Brimlink || clsid == CLSID_BrimlinkPropPage; }

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Libraries are never unloaded: objects they created may outlive any count a
// host keeps, and a library using Qt cannot be unloaded safely anyway. The
// map only keeps dlopen's own reference count from growing per creation.
void* LoadLibrary(const std::string& path, std::string& error) {
    static std::mutex lock;
    static std::map<std::string, void*> loaded;
    const std::lock_guard guard(lock);
    if (const auto found = loaded.find(path); found != loaded.end()) return found->second;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = ::dlerror();
        error = text != nullptr ? text : "unknown reason";
        return nullptr;
    }
    loaded.emplace(path, handle);
    return handle;
}

HRESULT Fail(HRESULT hr, std::string* detail, std::string text) {
    if (detail != nullptr) *detail = std::move(text);
    return hr;
}

}  // namespace

std::string ProgramFolder() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return ".";
    path.resize(static_cast<std::size_t>(n));
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

namespace {

// Loads the library, asks it for the class factory and the factory for the object.
HRESULT CreateFromLibrary(const std::string& library, const GUID& clsid, const GUID& iid, void** out,
                          std::string* detail) {
    std::string error;
    void* handle = LoadLibrary(library, error);
    if (handle == nullptr) return Fail(E_FAIL, detail, "cannot load " + library + ": " + error);
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(::dlsym(handle, "DllGetClassObject"));
    if (getClassObject == nullptr) return Fail(E_FAIL, detail, library + " has no entry point DllGetClassObject");

    void* rawFactory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, &rawFactory);
    if (Failed(hr) || rawFactory == nullptr)
        return Fail(Failed(hr) ? hr : E_FAIL, detail,
                    library + " has no class factory for " + clsid.ToString() + " (" + FormatResult(hr) + ")");
    const auto factory = ComPtr<ClassFactory>::Adopt(static_cast<ClassFactory*>(rawFactory));

    hr = factory->CreateInstance(nullptr, iid, out);
    if (Failed(hr)) {
        *out = nullptr;
        return Fail(hr, detail,
                    "the class factory of " + clsid.ToString() + " in " + library + " refused the object (" +
                        FormatResult(hr) + ")");
    }
    return hr;
}

HRESULT CreateFrom(std::string_view classText, const GUID& iid, void** out, std::string* detail,
                   std::span<const std::string> libraryFolders) {
    if (detail != nullptr) detail->clear();
    if (out == nullptr) return Fail(E_POINTER, detail, "no place for the interface pointer");
    *out = nullptr;

    try {
        const std::string programFolder = ProgramFolder();
        const std::uint32_t user = ::geteuid();
        // The user's own registrations first, as per-user classes come before the machine's.
        const ClassRegistry registries[] = {
            ClassRegistry::Read(UserRegistryFilePath(), user),
            ClassRegistry::Read(RegistryFilePath(link::SettingsFolder(programFolder)), user),
        };
        // A registry that cannot be trusted may name anybody's code: refused
        // outright, rather than quietly creating the class from elsewhere.
        for (const ClassRegistry& registry : registries) {
            if (!registry.Problem().empty())
                return Fail(E_FAIL, detail,
                            "the class registry " + registry.Path() + " is not used: " + registry.Problem());
        }

        std::optional<GUID> clsid;
        if (classText.starts_with('{')) {
            clsid = GUID::Parse(classText);
            if (!clsid)
                return Fail(E_INVALIDARG, detail, "'" + std::string(classText) + "' is not a class identifier");
        } else {
            for (const ClassRegistry& registry : registries) {
                if (!clsid) clsid = registry.ClassIdOfProgId(classText);
            }
            if (!clsid) clsid = KnownClassOfProgId(classText);
            if (!clsid)
                return Fail(REGDB_E_CLASSNOTREG, detail,
                            "no class is registered for the ProgID '" + std::string(classText) + "'");
        }

        // A registered library is used even when it is gone: the registry says
        // where the class lives, and a stale entry should be seen, not hidden.
        std::optional<std::string> registered;
        for (const ClassRegistry& registry : registries) {
            if (!registered) registered = registry.LibraryOfClass(*clsid);
        }
        std::string library;
        if (registered) {
            library = std::move(*registered);
            if (std::string problem = LibraryProblem(library, user); !problem.empty())
                return Fail(E_FAIL, detail, problem);
        } else if (IsKnownClass(*clsid)) {
            // Beside the program in the build tree; in an installed tree the
            // library folder relative to the program's, so any prefix works.
            std::vector<std::string> folders(libraryFolders.begin(), libraryFolders.end());
            if (folders.empty())
                folders = {programFolder, (std::filesystem::path(programFolder) / BRIMLINK_LIBRARY_FOLDER_FROM_PROGRAM)
                                              .lexically_normal()
                                              .string()};
            std::string searched;
            for (const std::string& folder : folders) {
                if (library.empty() && IsRegularFile(folder + "/" + std::string(kLibraryFileName)))
                    library = folder + "/" + std::string(kLibraryFileName);
                searched += (searched.empty() ? "" : " nor in ") + folder;
            }
            if (library.empty())
                return Fail(REGDB_E_CLASSNOTREG, detail,
                            "class " + clsid->ToString() + " is not registered and there is no " +
                                std::string(kLibraryFileName) + " in " + searched);
        } else {
            return Fail(REGDB_E_CLASSNOTREG, detail, "class " + clsid->ToString() + " is not registered");
        }

        return CreateFromLibrary(library, *clsid, iid, out, detail);
    } catch (...) {
        *out = nullptr;
        return Fail(E_OUTOFMEMORY, detail, "out of memory");
    }
}

}  // namespace

HRESULT CreateInstance(std::string_view classText, const GUID& iid, void** out, std::string* detail) {
    return CreateFrom(classText, iid, out, detail, {});
}

HRESULT CreateInstance(std::string_view classText, const GUID& iid, void** out, std::string* detail,
                       std::span<const std::string> libraryFolders) {
    return CreateFrom(classText, iid, out, detail, libraryFolders);
}

HRESULT CreateInstanceFromLibrary(const std::string& library, const GUID& clsid, const GUID& iid, void** out,
                                  std::string* detail) {
    if (detail != nullptr) detail->clear();
    if (out == nullptr) return Fail(E_POINTER, detail, "no place for the interface pointer");
    *out = nullptr;
    try {
        return CreateFromLibrary(library, clsid, iid, out, detail);
    } catch (...) {
        *out = nullptr;
        return Fail(E_OUTOFMEMORY, detail, "out of memory");
    }
}

}  // namespace brimlink::automation
