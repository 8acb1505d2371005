// The four entry points of Brimlink.ocx, with C linkage; the only symbols the
// library exports. Nothing thrown inside reaches the caller.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "control/interface/BrimlinkCtrl.h"
#include "control/interface/Registration.h"
#include "control/link/SettingsLocation.h"

namespace ba = brimlink::automation;

namespace {

std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || info.dli_fname == nullptr) return {};
  char resolved[PATH_MAX];
  return realpath(info.dli_fname, resolved) != nullptr ? std::string(resolved) : std::string(info.dli_fname);
}

std::string RegistryFile(const std::string& libraryPath) {
  return ba::RegistryFilePath(brimlink::link::SettingsFolder(brimlink::link::ControlFolder(libraryPath)));
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
