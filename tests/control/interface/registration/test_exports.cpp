// The entry points of Brimlink.ocx as the loader sees them: exactly five
// exported functions, the class factories behind DllGetClassObject, and
// DllCanUnloadNow following the objects alive.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "control/interface/Dispatch.h"
#include "control/interface/HostInterfaces.h"
#include "control/interface/TypeTable.h"
#include "support/TempFolder.h"

namespace ba = brimlink::automation;

namespace {

using GetClassObject = ba::HRESULT (*)(const ba::GUID&, const ba::GUID&, void**);
using CanUnloadNow = ba::HRESULT (*)();

struct Library {
  Library() : handle(dlopen(BRIMLINK_OCX_PATH, RTLD_NOW | RTLD_LOCAL)) {}
  // Never closed: objects of it may still be released by other tests.
  void* handle;
  template <typename F>
  F Entry(const char* name) const {
    return reinterpret_cast<F>(dlsym(handle, name));
  }
};

const Library& Ocx() {
  static const Library library;
  return library;
}

std::set<std::string> ExportedFunctions(const std::string& path) {
  std::set<std::string> names;
  const std::string command = "nm -D --defined-only " + path + " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    char address[64], type[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3 && (type[0] == 'T' || type[0] == 'W'))
      names.insert(name);
  }
  return names;
}

TEST(Exports, OnlyTheEntryPointsAreExported) {
  ASSERT_NE(Ocx().handle, nullptr) << dlerror();
  const std::set<std::string> names = ExportedFunctions(BRIMLINK_OCX_PATH);
  if (names.empty()) GTEST_SKIP() << "nm is not available";
  EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllInstall", "DllRegisterServer",
                                          "DllUnregisterServer"}));
}

TEST(Exports, DllInstallKnowsOnlyTheUserScope) {
  ASSERT_NE(Ocx().handle, nullptr) << dlerror();
  using Install = ba::HRESULT (*)(std::int32_t, const char16_t*);
  const auto install = Ocx().Entry<Install>("DllInstall");
  ASSERT_NE(install, nullptr);
  // Refused before any registry is looked for.
  EXPECT_EQ(install(1, u"machine"), ba::E_INVALIDARG);
  EXPECT_EQ(install(0, u"users"), ba::E_INVALIDARG);
}

TEST(Exports, ClassObjectsForBothClassesAndNoOther) {
  ASSERT_NE(Ocx().handle, nullptr) << dlerror();
  const auto getClassObject = Ocx().Entry<GetClassObject>("DllGetClassObject");
  const auto canUnloadNow = Ocx().Entry<CanUnloadNow>("DllCanUnloadNow");
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnloadNow, nullptr);

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(ba::LIBID_BRIMLINKLib, ba::IID_IClassFactory, &out), ba::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(getClassObject(ba::CLSID_Brimlink, ba::IID_IClassFactory, nullptr), ba::E_POINTER);
  EXPECT_EQ(getClassObject(ba::CLSID_Brimlink, ba::IID_IDispatch, &out), ba::E_NOINTERFACE);

  ASSERT_EQ(getClassObject(ba::CLSID_BrimlinkPropPage, ba::IID_IClassFactory, &out), ba::S_OK);
  auto pageFactory = ba::ComPtr<ba::ClassFactory>::Adopt(static_cast<ba::ClassFactory*>(out));
  EXPECT_EQ(canUnloadNow(), ba::S_FALSE);
  void* page = nullptr;
  ASSERT_EQ(pageFactory->CreateInstance(nullptr, ba::IID_IBrimlinkPropertyPage, &page), ba::S_OK);
  auto pageObject = ba::ComPtr<ba::PropertyPageObject>::Adopt(static_cast<ba::PropertyPageObject*>(page));
  // Without a widget application the page has nothing to show.
  EXPECT_EQ(pageObject->CreatePage(nullptr), nullptr);
  EXPECT_EQ(pageFactory->CreateInstance(nullptr, ba::IID_IDispatch, &page), ba::E_NOINTERFACE);
  pageObject.reset();
  pageFactory.reset();
  EXPECT_EQ(canUnloadNow(), ba::S_OK);
}

// Points XDG_CONFIG_DIRS at a fresh folder while it lives: a control writes
// its settings file when it is created.
class ScopedSettingsFolder {
 public:
  ScopedSettingsFolder() {
    if (const char* old = std::getenv("XDG_CONFIG_DIRS")) old_ = old;
    setenv("XDG_CONFIG_DIRS", folder_.Path().c_str(), 1);
  }
  ~ScopedSettingsFolder() {
    if (old_.empty()) {
      unsetenv("XDG_CONFIG_DIRS");
    } else {
      setenv("XDG_CONFIG_DIRS", old_.c_str(), 1);
    }
  }
  const std::string& Root() const { return folder_.Path(); }

 private:
  brimlink::testing::TempFolder folder_{"brimlink-exports"};
  std::string old_;
};

TEST(Exports, TheControlFactoryMakesControlsThatAnswerEveryHostInterface) {
  ASSERT_NE(Ocx().handle, nullptr) << dlerror();
  const ScopedSettingsFolder settings;
  ASSERT_FALSE(settings.Root().empty());
  const auto getClassObject = Ocx().Entry<GetClassObject>("DllGetClassObject");
  const auto canUnloadNow = Ocx().Entry<CanUnloadNow>("DllCanUnloadNow");
  void* out = nullptr;
  ASSERT_EQ(getClassObject(ba::CLSID_Brimlink, ba::IID_IClassFactory, &out), ba::S_OK);
  auto factory = ba::ComPtr<ba::ClassFactory>::Adopt(static_cast<ba::ClassFactory*>(out));
  EXPECT_EQ(factory->LockServer(true), ba::S_OK);

  void* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, ba::IID_IDispatch, &object), ba::S_OK);
  auto control = ba::ComPtr<ba::Dispatch>::Adopt(static_cast<ba::Dispatch*>(object));
  ba::ComPtr<ba::Dispatch> byInterfaceId;
  EXPECT_EQ(control.As(ba::DIID__DBrimlink, byInterfaceId), ba::S_OK);
  ba::ComPtr<ba::EventConnection> events;
  EXPECT_EQ(control.As(ba::IID_IConnectionPoint, events), ba::S_OK);
  ba::ComPtr<ba::ControlWindow> window;
  EXPECT_EQ(control.As(ba::IID_IBrimlinkWindow, window), ba::S_OK);
  // Every interface of the control leads back to the same object.
  ba::ComPtr<ba::Unknown> first, second;
  EXPECT_EQ(ba::ComPtr<ba::Unknown>(events.get()).As(ba::IID_IUnknown, first), ba::S_OK);
  EXPECT_EQ(control.As(ba::IID_IUnknown, second), ba::S_OK);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(events->Unadvise(42), ba::CONNECT_E_NOCONNECTION);

  ba::DISPID id = 0;
  EXPECT_EQ(control->GetIDsOfNames(u"getmoduletype", &id), ba::S_OK);
  EXPECT_EQ(id, 35);
  ba::Variant result;
  const std::array args{ba::Variant(std::int32_t{1})};
  EXPECT_EQ(control->Invoke(id, args, &result, nullptr), ba::S_OK);
  EXPECT_EQ(result, ba::Variant(std::int16_t{0}));
  EXPECT_EQ(control->Invoke(id, {}, &result, nullptr), ba::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(control->Invoke(4711, {}, &result, nullptr), ba::DISP_E_MEMBERNOTFOUND);

  first.reset();
  second.reset();
  events.reset();
  window.reset();
  byInterfaceId.reset();
  control.reset();
  // The lock keeps the library in use after the last object has gone.
  EXPECT_EQ(canUnloadNow(), ba::S_FALSE);
  EXPECT_EQ(factory->LockServer(false), ba::S_OK);
  factory.reset();
  EXPECT_EQ(canUnloadNow(), ba::S_OK);
  EXPECT_TRUE(std::filesystem::exists(settings.Root() + "/Brimlink/Brimlink.ini"));
}

}  // namespace
