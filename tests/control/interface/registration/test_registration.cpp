// The class registry file and the creation helper's lookups, in process.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "control/interface/Creation.h"
#include "control/interface/Registration.h"
#include "control/interface/TypeTable.h"
#include "control/link/Ini.h"
#include "support/TempFolder.h"

namespace {

namespace ba = brimlink::automation;
namespace fs = std::filesystem;
using brimlink::link::CIni;
using brimlink::testing::TempFolder;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Count(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

const std::string kControlSection = "CLSID " + ba::CLSID_Brimlink.ToString();
const std::string kPageSection = "CLSID " + ba::CLSID_BrimlinkPropPage.ToString();
const std::string kTypeLibSection = "TypeLib " + ba::LIBID_BRIMLINKLib.ToString();

class Registry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(temp_.Path().empty()); }
    std::string File() const { return ba::RegistryFilePath(temp_.Path()); }
    std::string Read(const std::string& section, const std::string& key) const {
        return CIni(File()).ReadString(section, key, "<missing>");
    }
    const std::string& Folder() const { return temp_.Path(); }

private:
    TempFolder temp_{"brimlink-registration"};
};

TEST(RegistryPath, IsTheFileInTheSettingsFolder) {
    EXPECT_EQ(ba::RegistryFilePath("/etc/xdg/Brimlink"), "/etc/xdg/Brimlink/Registry.ini");
    EXPECT_EQ(ba::RegistryFilePath(""), "");
}

TEST_F(Registry, RegisterWritesTheTypeLibraryAndBothClasses) {
    ASSERT_EQ(ba::RegisterControlLibrary(File(), "/opt/brimlink/Brimlink.ocx"), ba::S_OK);

    EXPECT_EQ(Read(kTypeLibSection, "Name"), "BRIMLINKLib");
    EXPECT_EQ(Read(kTypeLibSection, "Version"), "1.0");
    EXPECT_EQ(Read(kTypeLibSection, "Locale"), "0x0409");
    EXPECT_EQ(Read(kTypeLibSection, "HelpFolder"), "/opt/brimlink");
    EXPECT_EQ(Read(kTypeLibSection, "Library"), "/opt/brimlink/Brimlink.ocx");

    EXPECT_EQ(Read(kControlSection, "ProgID"), "BLOCX32.Blocx32Ctrl.1");
    EXPECT_EQ(Read(kControlSection, "Name"), "Kavro Brimlink ActiveX Control");
    EXPECT_EQ(Read(kControlSection, "Library"), "/opt/brimlink/Brimlink.ocx");
    EXPECT_EQ(Read(kControlSection, "ThreadingModel"), "Apartment");
    EXPECT_EQ(Read(kControlSection, "MiscStatus"), "0x20191");
    EXPECT_EQ(Read(kControlSection, "Version"), "1.0");
    EXPECT_EQ(Read(kControlSection, "TypeLib"), ba::LIBID_BRIMLINKLib.ToString());
    EXPECT_EQ(Read(kControlSection, "ToolboxBitmap"), "/opt/brimlink/Brimlink.ocx,207");

    EXPECT_EQ(Read(kPageSection, "ProgID"), "BRIMLINK.BrimlinkPropPage.1");
    EXPECT_EQ(Read(kPageSection, "Name"), "Kavro Brimlink Property Page");
    EXPECT_EQ(Read(kPageSection, "ThreadingModel"), "Apartment");
    EXPECT_EQ(Read(kPageSection, "Library"), "/opt/brimlink/Brimlink.ocx");
    // Only the control is a control.
    EXPECT_EQ(Read(kPageSection, "MiscStatus"), "<missing>");
    EXPECT_EQ(Read(kPageSection, "ToolboxBitmap"), "<missing>");

    // The rename leaves no temporary file behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 1);
}

TEST_F(Registry, LookupsByProgIdInAnyCaseAndByClassId) {
    ASSERT_EQ(ba::RegisterControlLibrary(File(), "/opt/brimlink/Brimlink.ocx"), ba::S_OK);

    EXPECT_EQ(ba::ClassIdOfProgId(File(), "BLOCX32.Blocx32Ctrl.1"), ba::CLSID_Brimlink);
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "blocx32.blocx32ctrl.1"), ba::CLSID_Brimlink);
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "BRIMLINK.BRIMLINKPROPPAGE.1"), ba::CLSID_BrimlinkPropPage);
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "BLOCX32.Blocx32Ctrl"), std::nullopt);
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "BLOCX32.Blocx32Ctrl.1 "), std::nullopt);
    EXPECT_EQ(ba::ClassIdOfProgId(File(), ""), std::nullopt);
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "X]\nY"), std::nullopt);

    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_Brimlink), "/opt/brimlink/Brimlink.ocx");
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_BrimlinkPropPage), "/opt/brimlink/Brimlink.ocx");
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::LIBID_BRIMLINKLib), std::nullopt);
}

TEST_F(Registry, LookupsInAMissingOrHandEditedFileFindNothingWrong) {
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "BLOCX32.Blocx32Ctrl.1"), std::nullopt);
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_Brimlink), std::nullopt);
    EXPECT_EQ(ba::ClassIdOfProgId("", "BLOCX32.Blocx32Ctrl.1"), std::nullopt);

    CIni ini(File());
    ASSERT_TRUE(ini.WriteString("ProgID BLOCX32.Blocx32Ctrl.1", "CLSID", "C9EA2174-AD82-4A7A-9964-532E41172CC8"));
    ASSERT_TRUE(ini.WriteString(kControlSection, "Library", ""));
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "BLOCX32.Blocx32Ctrl.1"), std::nullopt) << "no braces";
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_Brimlink), std::nullopt) << "an empty path is no library";
}

TEST_F(Registry, RegisteringAgainReplacesTheWholeEntries) {
    ASSERT_EQ(ba::RegisterControlLibrary(File(), "/old/Brimlink.ocx"), ba::S_OK);
    ASSERT_TRUE(CIni(File()).WriteString(kControlSection, "Leftover", "1"));

    ASSERT_EQ(ba::RegisterControlLibrary(File(), "/new place/Brimlink.ocx"), ba::S_OK);
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_Brimlink), "/new place/Brimlink.ocx");
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_BrimlinkPropPage), "/new place/Brimlink.ocx");
    EXPECT_EQ(Read(kTypeLibSection, "Library"), "/new place/Brimlink.ocx");
    EXPECT_EQ(Read(kControlSection, "ToolboxBitmap"), "/new place/Brimlink.ocx,207");
    EXPECT_EQ(Read(kControlSection, "Leftover"), "<missing>");

    const std::string text = ReadFile(File());
    EXPECT_EQ(Count(text, "[" + kControlSection + "]"), 1u) << text;
    EXPECT_EQ(Count(text, "[" + kTypeLibSection + "]"), 1u) << text;
    EXPECT_EQ(Count(text, "/old/"), 0u) << text;
}

TEST_F(Registry, UnregisterRemovesOurEntriesAndKeepsAllOthers) {
    constexpr ba::GUID other = ba::GuidLiteral("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    {
        CIni ini(File());
        ASSERT_TRUE(ini.WriteString("CLSID " + other.ToString(), "Library", "/usr/lib/other.so"));
        ASSERT_TRUE(ini.WriteString("ProgID Other.Thing.1", "CLSID", other.ToString()));
        ASSERT_TRUE(ini.WriteString("Notes", "Owner", "room 12"));
    }
    ASSERT_EQ(ba::RegisterControlLibrary(File(), "/opt/brimlink/Brimlink.ocx"), ba::S_OK);
    ASSERT_EQ(ba::UnregisterControlLibrary(File()), ba::S_OK);

    EXPECT_EQ(ba::ClassIdOfProgId(File(), "BLOCX32.Blocx32Ctrl.1"), std::nullopt);
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "BRIMLINK.BrimlinkPropPage.1"), std::nullopt);
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_Brimlink), std::nullopt);
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_BrimlinkPropPage), std::nullopt);
    const std::string text = ReadFile(File());
    EXPECT_EQ(text.find("Brimlink"), std::string::npos) << text;
    EXPECT_EQ(text.find(ba::LIBID_BRIMLINKLib.ToString()), std::string::npos) << text;

    EXPECT_EQ(ba::LibraryOfClass(File(), other), "/usr/lib/other.so");
    EXPECT_EQ(ba::ClassIdOfProgId(File(), "other.thing.1"), other);
    EXPECT_EQ(Read("Notes", "Owner"), "room 12");

    // What is gone already is no error.
    EXPECT_EQ(ba::UnregisterControlLibrary(File()), ba::S_OK);
    EXPECT_EQ(ReadFile(File()), text);
}

TEST_F(Registry, UnregisterWithoutAFileCreatesNone) {
    EXPECT_EQ(ba::UnregisterControlLibrary(File()), ba::S_OK);
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(Registry, AFileThatCannotBeWrittenIsATypeLibraryFailure) {
    // Runs as any user, root included: these cannot be written by anybody.
    EXPECT_EQ(ba::RegisterControlLibrary(Folder() + "/missing/Registry.ini", "/opt/Brimlink.ocx"),
              ba::SELFREG_E_TYPELIB);
    EXPECT_FALSE(fs::exists(Folder() + "/missing"));
    EXPECT_EQ(ba::RegisterControlLibrary("", "/opt/Brimlink.ocx"), ba::SELFREG_E_TYPELIB);
    {
        std::ofstream file(Folder() + "/plain");
    }
    EXPECT_EQ(ba::RegisterControlLibrary(Folder() + "/plain/Registry.ini", "/opt/Brimlink.ocx"),
              ba::SELFREG_E_TYPELIB);
    // A library path that would break the file's lines is refused before anything is written.
    EXPECT_EQ(ba::RegisterControlLibrary(File(), "/opt/x\nProgID=evil/Brimlink.ocx"), ba::SELFREG_E_TYPELIB);
    // So is one too long to be read back whole; the longest that fits is registered.
    const std::string suffix = "/Brimlink.ocx";
    const std::size_t longest = CIni::kMaxValueLength - std::string(",207").size();
    EXPECT_EQ(ba::RegisterControlLibrary(File(), std::string(longest + 1 - suffix.size(), 'd') + suffix),
              ba::SELFREG_E_TYPELIB);
    EXPECT_FALSE(fs::exists(File()));
    const std::string fits = std::string(longest - suffix.size(), 'd') + suffix;
    ASSERT_EQ(ba::RegisterControlLibrary(File(), fits), ba::S_OK);
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_Brimlink), fits);
    EXPECT_EQ(CIni(File()).ReadString(kControlSection, "ToolboxBitmap", ""), fits + ",207");
}

TEST_F(Registry, AnUnreadableFileIsNeverOverwritten) {
    // A folder in the file's place cannot be read as a file.
    fs::create_directory(File());
    EXPECT_EQ(ba::RegisterControlLibrary(File(), "/opt/Brimlink.ocx"), ba::SELFREG_E_TYPELIB);
    EXPECT_EQ(ba::UnregisterControlLibrary(File()), ba::SELFREG_E_TYPELIB);
    EXPECT_TRUE(fs::is_directory(File()));
}

// ---------------------------------------------------------------------------
// The creation helper, for the cases that never load the real control: the
// settings folder is a temporary one (XDG_CONFIG_DIRS) for each test.

class Creation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp_.Path().empty());
        if (const char* old = ::getenv("XDG_CONFIG_DIRS")) saved_ = old;
        ::setenv("XDG_CONFIG_DIRS", temp_.Path().c_str(), 1);
        fs::create_directory(temp_.Path() + "/Brimlink");
    }
    void TearDown() override {
        if (saved_) {
            ::setenv("XDG_CONFIG_DIRS", saved_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_DIRS");
        }
    }
    std::string Registry() const { return ba::RegistryFilePath(temp_.Path() + "/Brimlink"); }

    ba::HRESULT Create(std::string_view classText, std::string& detail) {
        void* out = reinterpret_cast<void*>(0x1);
        const ba::HRESULT hr = ba::CreateInstance(classText, ba::IID_IDispatch, &out, &detail);
        EXPECT_EQ(out, nullptr) << "a failed creation leaves no pointer";
        return hr;
    }

private:
    TempFolder temp_{"brimlink-registration"};
    std::optional<std::string> saved_;
};

TEST_F(Creation, ProgramFolderIsTheFolderOfThisTest) {
    char path[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", path, sizeof path - 1), 0);
    EXPECT_EQ(ba::ProgramFolder(), fs::path(path).parent_path().string());
}

TEST_F(Creation, NoOutPointerIsRefused) {
    std::string detail;
    EXPECT_EQ(ba::CreateInstance("BLOCX32.Blocx32Ctrl.1", ba::IID_IDispatch, nullptr, &detail), ba::E_POINTER);
}

TEST_F(Creation, UnknownClassesAreNotRegistered) {
    std::string detail;
    EXPECT_EQ(Create("No.Such.Class.1", detail), ba::REGDB_E_CLASSNOTREG);
    EXPECT_NE(detail.find("No.Such.Class.1"), std::string::npos) << detail;

    EXPECT_EQ(Create("{01234567-89AB-CDEF-0123-456789ABCDEF}", detail), ba::REGDB_E_CLASSNOTREG);
    EXPECT_NE(detail.find("{01234567-89AB-CDEF-0123-456789ABCDEF} is not registered"), std::string::npos) << detail;

    EXPECT_EQ(Create("{01234567-89AB}", detail), ba::E_INVALIDARG);
    EXPECT_NE(detail.find("not a class identifier"), std::string::npos) << detail;
}

TEST_F(Creation, ARegisteredLibraryThatIsGoneIsAnErrorNotAFallback) {
    ASSERT_EQ(ba::RegisterControlLibrary(Registry(), "/nonexistent/Brimlink.ocx"), ba::S_OK);
    std::string detail;
    EXPECT_TRUE(ba::Failed(Create("blocx32.blocx32ctrl.1", detail)));
    EXPECT_TRUE(detail.starts_with("cannot load /nonexistent/Brimlink.ocx: ")) << detail;
    EXPECT_TRUE(ba::Failed(Create(ba::CLSID_Brimlink.ToString(), detail)));
    EXPECT_TRUE(detail.starts_with("cannot load /nonexistent/Brimlink.ocx: ")) << detail;
}

TEST_F(Creation, ALibraryWithoutTheEntryPointIsReported) {
    // The C library is certainly loadable and certainly not a control library.
    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&std::fopen), &info), 0);
    ASSERT_NE(info.dli_fname, nullptr);
    const std::string libc = info.dli_fname;
    ASSERT_EQ(ba::RegisterControlLibrary(Registry(), libc), ba::S_OK);

    std::string detail;
    EXPECT_TRUE(ba::Failed(Create("BRIMLINK.BrimlinkPropPage.1", detail)));
    EXPECT_EQ(detail, libc + " has no entry point DllGetClassObject");
    // A library once loaded stays loaded; asking again gives the same answer.
    EXPECT_TRUE(ba::Failed(Create("BRIMLINK.BrimlinkPropPage.1", detail)));
    EXPECT_EQ(detail, libc + " has no entry point DllGetClassObject");
}

TEST_F(Creation, AProgIdRegisteredForAnotherClassFollowsTheRegistry) {
    // A ProgID is looked up before the built-in names, and the class it names
    // decides the library.
    constexpr ba::GUID other = ba::GuidLiteral("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    ASSERT_TRUE(CIni(Registry()).WriteString("ProgID BLOCX32.Blocx32Ctrl.1", "CLSID", other.ToString()));
    ASSERT_TRUE(CIni(Registry()).WriteString("CLSID " + other.ToString(), "Library", "/nonexistent/other.so"));
    std::string detail;
    EXPECT_TRUE(ba::Failed(Create("BLOCX32.Blocx32Ctrl.1", detail)));
    EXPECT_TRUE(detail.starts_with("cannot load /nonexistent/other.so: ")) << detail;
}

}  // namespace
