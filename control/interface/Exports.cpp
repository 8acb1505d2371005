// The entry points of Brimlink.ocx, with C linkage; the only symbols the
// library exports. Nothing thrown inside reaches the caller.
#include <dlfcn.h>

#include <climits>
#include <cstdint>
#include <string_view>
#include <cstdlib>
#include <string>

#include "control/interface/BrimlinkCtrl.h"
#include "control/interface/Registration.h"
#include "control/link/SettingsLocation.h"

namespace ba = brimlink::automation;

namespace {

// The canonical path of this library, as registrations record it; empty
// when it cannot be told (a host then never loads a guessed one).
std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || info.dli_fname == nullptr) return {};
  char resolved[PATH_MAX];
  return realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string RegistryFile(const std::string& libraryPath) {
  return ba::RegistryFilePath(brimlink::link::SettingsFolder(brimlink::link::ControlFolder(libraryPath)));
}

// The per-user registry, its folders made when missing: the configuration
// home private to the user (0700), the Brimlink folder 0755.
std::string UserRegistryFile() {
  const std::string folder = brimlink::link::UserSettingsFolder();
  if (folder.empty() || !brimlink::link::CreateFolder(folder, 0755, 0700)) return {};
  return ba::RegistryFilePath(folder);
}

bool IsUserScope(const char16_t* commandLine) {
  const std::u16string_view text = commandLine != nullptr ? std::u16string_view(commandLine) : std::u16string_view();
  const std::u16string_view user = u"user";
  if (text.size() != user.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = (text[i] >= u'A' && text[i] <= u'Z') ? static_cast<char16_t>(text[i] - u'A' + u'a') : text[i];
    if (c != user[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" {

ba::HRESULT DllRegisterServer() {
  try {
    const std::string path = LibraryPath();
    if (path.empty()) return ba::SELFREG_E_TYPELIB;
    return ba::RegisterControlLibrary(RegistryFile(path), path);
  } catch (...) {
    return ba::SELFREG_E_TYPELIB;
  }
}

ba::HRESULT DllUnregisterServer() {
  try {
    const std::string path = LibraryPath();
    if (path.empty()) return ba::SELFREG_E_TYPELIB;
    return ba::UnregisterControlLibrary(RegistryFile(path));
  } catch (...) {
    return ba::SELFREG_E_TYPELIB;
  }
}

// DllInstall(install, L"user") registers (install != 0) or unregisters the
// library in the per-user registry only, as regsvr32 /n /i:user does; an
// empty or null command line means the machine registry.
ba::HRESULT DllInstall(std::int32_t install, const char16_t* commandLine) {
  try {
    const bool user = IsUserScope(commandLine);
    if (!user && commandLine != nullptr && commandLine[0] != u'\0') return ba::E_INVALIDARG;
    const std::string path = LibraryPath();
    if (path.empty()) return ba::SELFREG_E_TYPELIB;
    const std::string registry = user ? UserRegistryFile() : RegistryFile(path);
    if (registry.empty()) return ba::SELFREG_E_TYPELIB;
    return install != 0 ? ba::RegisterControlLibrary(registry, path) : ba::UnregisterControlLibrary(registry);
  } catch (...) {
    return ba::SELFREG_E_TYPELIB;
  }
}

ba::HRESULT DllGetClassObject(const ba::GUID& clsid, const ba::GUID& iid, void** out) {
  if (out == nullptr) return ba::E_POINTER;
  *out = nullptr;
  try {
    ba::ComPtr<ba::ClassFactory> factory;
    if (clsid == ba::CLSID_Brimlink) {
      factory = brimlink::control::MakeControlFactory();
    } else if (clsid == ba::CLSID_BrimlinkPropPage) {
      factory = brimlink::control::MakePropertyPageFactory();
    } else {
      return ba::CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory->QueryInterface(iid, out);
  } catch (...) {
    return ba::E_OUTOFMEMORY;
  }
}

ba::HRESULT DllCanUnloadNow() { return ba::CanUnloadNow(); }

}  // extern "C"
