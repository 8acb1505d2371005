// The class registry file and the creation helper's lookups, in process.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <vector>
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
    struct stat st {};
    ASSERT_EQ(::stat(File().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u) << "only the owner may change a registry";
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
    // So is one a host would search for or resolve against its own folder.
    for (const char* path : {"Brimlink.ocx", "./Brimlink.ocx", "lib/Brimlink.ocx", "/opt/../tmp/Brimlink.ocx",
                             "/opt/./Brimlink.ocx", "/opt//Brimlink.ocx", "/opt/brimlink/", "/"}) {
        EXPECT_EQ(ba::RegisterControlLibrary(File(), path), ba::SELFREG_E_TYPELIB) << path;
    }
    EXPECT_FALSE(fs::exists(File()));
    // A long path is read back whole.
    const std::string suffix = "/Brimlink.ocx";
    const std::string longPath = "/" + std::string(1200, 'd') + suffix;
    ASSERT_EQ(ba::RegisterControlLibrary(File(), longPath), ba::S_OK);
    EXPECT_EQ(ba::LibraryOfClass(File(), ba::CLSID_Brimlink), longPath);
    EXPECT_EQ(CIni(File()).ReadString(kControlSection, "ToolboxBitmap", ""), longPath + ",207");
}

TEST_F(Registry, AFileThatDoesNotReadCleanlyIsNeverRewritten) {
    using namespace std::string_literals;
    // Another library's entries after a NUL were once dropped by a rewrite.
    const std::string text = "[Notes]\nOwner=room\x00 12\n[ProgID Other.Thing.1]\nCLSID={01234567-89AB-CDEF-0123-456789ABCDEF}\n"s;
    {
        std::ofstream(File(), std::ios::binary) << text;
    }
    EXPECT_EQ(ba::RegisterControlLibrary(File(), "/opt/brimlink/Brimlink.ocx"), ba::SELFREG_E_TYPELIB);
    EXPECT_EQ(ba::UnregisterControlLibrary(File()), ba::SELFREG_E_TYPELIB);
    EXPECT_EQ(ReadFile(File()), text);
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
        for (const char* name : {"XDG_CONFIG_DIRS", "XDG_CONFIG_HOME"}) {
            if (const char* old = ::getenv(name)) saved_[name] = old;
        }
        ::setenv("XDG_CONFIG_DIRS", temp_.Path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (temp_.Path() + "/home-config").c_str(), 1);
        fs::create_directory(temp_.Path() + "/Brimlink");
    }
    void TearDown() override {
        for (const char* name : {"XDG_CONFIG_DIRS", "XDG_CONFIG_HOME"}) {
            if (const auto old = saved_.find(name); old != saved_.end()) {
                ::setenv(name, old->second.c_str(), 1);
            } else {
                ::unsetenv(name);
            }
        }
    }
    std::string Registry() const { return ba::RegistryFilePath(temp_.Path() + "/Brimlink"); }
    std::string UserRegistry() const { return temp_.Path() + "/home-config/Brimlink/Registry.ini"; }
    const std::string& Temp() const { return temp_.Path(); }

    // A registry written by hand, as a trusted one: root's or this user's, mode 0644.
    static void WriteRegistry(const std::string& path, const std::vector<brimlink::link::IniEntry>& entries) {
        fs::create_directories(fs::path(path).parent_path());
        ASSERT_TRUE(CIni(path, ba::kRegistryFileMode).WriteStrings(entries));
    }

    ba::HRESULT Create(std::string_view classText, std::string& detail) {
        void* out = reinterpret_cast<void*>(0x1);
        const ba::HRESULT hr = ba::CreateInstance(classText, ba::IID_IDispatch, &out, &detail);
        EXPECT_EQ(out, nullptr) << "a failed creation leaves no pointer";
        return hr;
    }

private:
    TempFolder temp_{"brimlink-registration"};
    std::map<std::string, std::string> saved_;
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
    // By its canonical path, as registrations record libraries.
    const std::string libc = fs::canonical(info.dli_fname).string();
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
    const std::string clsidSection = "CLSID " + other.ToString();
    WriteRegistry(Registry(), {{"ProgID BLOCX32.Blocx32Ctrl.1", "CLSID", other.ToString()},
                               {clsidSection, "Library", "/nonexistent/other.so"}});
    std::string detail;
    EXPECT_TRUE(ba::Failed(Create("BLOCX32.Blocx32Ctrl.1", detail)));
    EXPECT_TRUE(detail.starts_with("cannot load /nonexistent/other.so: ")) << detail;
}

TEST(Trust, OnlyTheOwnerMayWriteAndTheOwnerIsRootOrTheUser) {
    const struct {
        std::uint32_t owner, mode, user;
        const char* problem;  // empty: trusted
    } cases[] = {
        {0, 0100644, 1000, ""},
        {0, 0100755, 0, ""},
        {1000, 0100600, 1000, ""},
        {1000, 0100644, 0, "it belongs to user 1000, neither root nor this user (0)"},
        {1001, 0100644, 1000, "it belongs to user 1001, neither root nor this user (1000)"},
        {0, 0100664, 1000, "others than its owner may write it (mode 0664)"},
        {0, 0100646, 1000, "others than its owner may write it (mode 0646)"},
        {1000, 0102775, 1000, "others than its owner may write it (mode 2775)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ba::TrustProblem({c.owner, c.mode}, c.user), c.problem) << c.owner << " " << c.mode << " " << c.user;
    }
}

// Registries and libraries others could change are refused, with the file
// and the reason; the test runs as root and hands files to a stranger.
TEST_F(Creation, RegistriesAndLibrariesOthersCouldChangeAreRefused) {
    constexpr std::uint32_t kStranger = 4242;
    const std::uint32_t user = ::geteuid();
    const std::string control = "CLSID " + ba::CLSID_Brimlink.ToString();
    // A library file of our own to hand around. It is no shared object, so a
    // trusted one gets as far as the loader's refusal and no code ever runs.
    const std::string library = fs::canonical(Temp()).string() + "/lib/Other.so";
    fs::create_directories(fs::path(library).parent_path());
    std::ofstream(library) << "not a shared object\n";
    const std::string loaderRefuses = "cannot load " + library + ": ";

    struct Case {
        const char* name;
        std::string libraryPath;
        unsigned registryMode;
        std::uint32_t registryOwner;
        unsigned libraryMode;
        std::uint32_t libraryOwner;
        std::string expected;  // the start of the detail
        unsigned folderMode = 0755;
    };
    const std::string symlinked = fs::canonical(Temp()).string() + "/lib/../lib/Other.so";
    const std::vector<Case> cases = {
        {"trusted", library, 0644, user, 0644, user, loaderRefuses},
        {"relative", "./Brimlink.ocx", 0644, user, 0644, user,
         "refusing to load './Brimlink.ocx': a registered library path must be absolute"},
        {"bare name", "Brimlink.ocx", 0644, user, 0644, user,
         "refusing to load 'Brimlink.ocx': a registered library path must be absolute"},
        {"not canonical", symlinked, 0644, user, 0644, user,
         "refusing to load '" + symlinked + "': the registered path is not canonical (it is " + library + ")"},
        {"group-writable registry", library, 0664, user, 0644, user,
         "the class registry " + Registry() + " is not used: others than its owner may write it (mode 0664)"},
        {"world-writable registry", library, 0646, user, 0644, user,
         "the class registry " + Registry() + " is not used: others than its owner may write it (mode 0646)"},
        {"registry of a stranger", library, 0644, kStranger, 0644, user,
         "the class registry " + Registry() + " is not used: it belongs to user 4242"},
        {"group-writable library", library, 0644, user, 0664, user,
         "refusing to load '" + library + "': others than its owner may write it (mode 0664)"},
        {"library of a stranger", library, 0644, user, 0755, kStranger,
         "refusing to load '" + library + "': it belongs to user 4242"},
        {"library in a group-writable folder", library, 0644, user, 0644, user,
         "refusing to load '" + library + "': its folder " + fs::path(library).parent_path().string() +
             ": others than its owner may write it (mode 0775)",
         0775},
        {"library in a sticky folder", library, 0644, user, 0644, user, loaderRefuses, 01777},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if ((c.registryOwner != user || c.libraryOwner != user) && user != 0) {
            continue;  // handing a file to another user needs root
        }
        fs::remove(Registry());
        WriteRegistry(Registry(), {{"ProgID Other.Thing.1", "CLSID", ba::CLSID_Brimlink.ToString()},
                                   {control, "Library", c.libraryPath}});
        ASSERT_EQ(::chmod(Registry().c_str(), c.registryMode), 0);
        ASSERT_EQ(::chown(Registry().c_str(), c.registryOwner, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(::chmod(library.c_str(), c.libraryMode), 0);
        ASSERT_EQ(::chown(library.c_str(), c.libraryOwner, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(::chmod(fs::path(library).parent_path().c_str(), c.folderMode), 0);
        std::string detail;
        EXPECT_TRUE(ba::Failed(Create("Other.Thing.1", detail)));
        EXPECT_TRUE(detail.starts_with(c.expected)) << detail;
        // The machine registry refused is refused for every class, also one
        // the library beside the program would provide.
        if (c.registryMode != 0644 || c.registryOwner != user) {
            EXPECT_TRUE(ba::Failed(Create("BLOCX32.Blocx32Ctrl.1", detail)));
            EXPECT_TRUE(detail.starts_with(c.expected)) << detail;
        }
    }
}

TEST_F(Creation, ARegistryThatDoesNotReadCleanlyIsRefused) {
    {
        std::ofstream(Registry(), std::ios::binary) << "[ProgID Other.Thing.1]\nCLSID={01234567-89AB-CDEF-0123-456789ABCDEF}\n"
                                                    << "no equals sign\n";
    }
    ASSERT_EQ(::chmod(Registry().c_str(), 0644), 0);
    std::string detail;
    EXPECT_TRUE(ba::Failed(Create("Other.Thing.1", detail)));
    EXPECT_EQ(detail, "the class registry " + Registry() +
                          " is not used: line 3 is neither a section, a Key=Value line nor a comment");
}

TEST_F(Creation, TheUsersRegistryIsConsultedFirst) {
    constexpr ba::GUID other = ba::GuidLiteral("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    const std::string control = "CLSID " + ba::CLSID_Brimlink.ToString();
    WriteRegistry(Registry(), {{"ProgID Other.Thing.1", "CLSID", ba::CLSID_Brimlink.ToString()},
                               {control, "Library", "/nonexistent/machine.so"}});
    std::string detail;
    EXPECT_TRUE(ba::Failed(Create("Other.Thing.1", detail)));
    EXPECT_TRUE(detail.starts_with("cannot load /nonexistent/machine.so: ")) << detail;

    // The user's ProgID and the user's class both come first; what the user
    // does not register still comes from the machine.
    WriteRegistry(UserRegistry(), {{"ProgID Other.Thing.1", "CLSID", other.ToString()},
                                   {"CLSID " + other.ToString(), "Library", "/nonexistent/user-other.so"},
                                   {control, "Library", "/nonexistent/user.so"}});
    EXPECT_TRUE(ba::Failed(Create("Other.Thing.1", detail)));
    EXPECT_TRUE(detail.starts_with("cannot load /nonexistent/user-other.so: ")) << detail;
    EXPECT_TRUE(ba::Failed(Create(ba::CLSID_Brimlink.ToString(), detail)));
    EXPECT_TRUE(detail.starts_with("cannot load /nonexistent/user.so: ")) << detail;
    WriteRegistry(Registry(), {{"ProgID Machine.Only.1", "CLSID", ba::CLSID_BrimlinkPropPage.ToString()},
                               {"CLSID " + ba::CLSID_BrimlinkPropPage.ToString(), "Library", "/nonexistent/page.so"}});
    EXPECT_TRUE(ba::Failed(Create("Machine.Only.1", detail)));
    EXPECT_TRUE(detail.starts_with("cannot load /nonexistent/page.so: ")) << detail;

    // It is held to the same rule.
    ASSERT_EQ(::chmod(UserRegistry().c_str(), 0666), 0);
    EXPECT_TRUE(ba::Failed(Create("Machine.Only.1", detail)));
    EXPECT_EQ(detail, "the class registry " + UserRegistry() +
                          " is not used: others than its owner may write it (mode 0666)");
}

}  // namespace
