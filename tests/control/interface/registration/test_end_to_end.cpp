// brimlink-regsvr and brimlink-cli as separate processes, with the control
// library as built. Every test has a settings folder of its own
// (XDG_CONFIG_DIRS of the children), so no test reads or writes /etc/xdg.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "control/interface/Registration.h"
#include "control/interface/TypeTable.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

namespace ba = brimlink::automation;
namespace fs = std::filesystem;
using brimlink::testing::ChildProcess;
using brimlink::testing::TempFolder;

struct Finished {
    std::optional<int> status;
    std::string out, err;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(temp_.Path().empty()); }

    std::map<std::string, std::string> Environment() const {
        return {{"XDG_CONFIG_DIRS", ConfigDirs()},
                {"XDG_CONFIG_HOME", ConfigHome()},
                {"QT_QPA_PLATFORM", "offscreen"}};
    }
    // The per-user registry's home, so no child reads or writes the real ~/.config.
    std::string ConfigHome() const { return temp_.Path() + "/home/.config"; }
    std::string UserRegistry() const { return ConfigHome() + "/Brimlink/Registry.ini"; }
    const std::string& ConfigDirs() const { return temp_.Path(); }
    std::string SettingsFolder() const { return temp_.Path() + "/Brimlink"; }
    std::string Registry() const { return ba::RegistryFilePath(SettingsFolder()); }

    std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv, const std::string& folder = {}) {
        auto child = std::make_unique<ChildProcess>(argv, Environment(), folder);
        EXPECT_TRUE(child->Started()) << argv[0];
        return child;
    }
    Finished Run(const std::vector<std::string>& argv, const std::string& input = {},
                 const std::string& folder = {}) {
        auto child = Start(argv, folder);
        if (!input.empty()) child->Type(input);
        child->CloseStdin();
        Finished result;
        result.status = child->WaitForExit();
        result.out = child->Out();
        result.err = child->Err();
        return result;
    }

    // Ports the control may search: only COM200-210, which only brimlink-sim
    // registers, and no USB, so no real device is ever opened.
    void WriteSafePortSettings() {
        fs::create_directories(SettingsFolder());
        std::ofstream ini(SettingsFolder() + "/Brimlink.ini");
        ini << "[PortSettings]\nUseUSB=N\nUseSerial=Y\nSearchCOM=200-210\nExcludeCOM=\n\n"
               "[Debug]\nShowAtStartup=N\n";
    }

private:
    TempFolder temp_{"brimlink-end-to-end"};
};

std::string LibcPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&std::fopen), &info) == 0 || info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

// ---------------------------------------------------------------------------
// brimlink-regsvr

TEST_F(EndToEnd, RegsvrExplainsItsUsage) {
    const Finished help = Run({BRIMLINK_REGSVR_PROGRAM, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: brimlink-regsvr [-u] [--user] PATH\n")) << help.out;

    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {BRIMLINK_REGSVR_PROGRAM},
             {BRIMLINK_REGSVR_PROGRAM, "-u"},
             {BRIMLINK_REGSVR_PROGRAM, "-x", BRIMLINK_OCX_PATH},
             {BRIMLINK_REGSVR_PROGRAM, BRIMLINK_OCX_PATH, BRIMLINK_OCX_PATH}}) {
        const Finished bad = Run(wrong);
        EXPECT_EQ(bad.status, 2) << wrong.size();
        EXPECT_NE(bad.err.find("Usage: brimlink-regsvr [-u] [--user] PATH"), std::string::npos) << bad.err;
        EXPECT_EQ(bad.out, "");
    }
    EXPECT_FALSE(fs::exists(Registry()));
}

TEST_F(EndToEnd, RegsvrReportsALibraryItCannotUse) {
    const Finished missing = Run({BRIMLINK_REGSVR_PROGRAM, "no-such-folder/Brimlink.ocx"}, {}, ConfigDirs());
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.starts_with("brimlink-regsvr: cannot load " + ConfigDirs() +
                                        "/no-such-folder/Brimlink.ocx: "))
        << missing.err;

    const std::string libc = LibcPath();
    ASSERT_FALSE(libc.empty());
    const Finished foreign = Run({BRIMLINK_REGSVR_PROGRAM, "-u", libc});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.err.find(" has no entry point DllUnregisterServer"), std::string::npos) << foreign.err;
    EXPECT_EQ(foreign.out, "");
}

// Register, create from another process by ProgID through the registry only,
// unregister, and creation fails cleanly.
TEST_F(EndToEnd, RegistrationRoundTrip) {
    const fs::path ocx = BRIMLINK_OCX_PATH;
    const std::string lonely = ConfigDirs() + "/host";
    fs::create_directory(lonely);
    const std::string cli = lonely + "/brimlink-cli";
    fs::copy_file(BRIMLINK_CLI_PROGRAM, cli);
    ASSERT_FALSE(fs::exists(lonely + "/Brimlink.ocx"));

    const Finished before = Run({cli, "-c", "GetModuleType 1"});
    EXPECT_EQ(before.status, 1);
    EXPECT_TRUE(before.err.starts_with("error: cannot create the control BLOCX32.Blocx32Ctrl.1: ")) << before.err;

    // A relative path is registered as the absolute one.
    const Finished registered = Run({BRIMLINK_REGSVR_PROGRAM, ocx.filename().string()}, {},
                                    ocx.parent_path().string());
    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_EQ(registered.out, "DllRegisterServer in " + ocx.string() + " succeeded.\n");
    const auto library = ba::LibraryOfClass(Registry(), ba::CLSID_Brimlink);
    ASSERT_TRUE(library.has_value());
    EXPECT_TRUE(fs::path(*library).is_absolute()) << *library;
    EXPECT_TRUE(fs::equivalent(*library, ocx)) << *library;
    EXPECT_EQ(ba::ClassIdOfProgId(Registry(), "BLOCX32.Blocx32Ctrl.1"), ba::CLSID_Brimlink);

    const Finished created = Run({cli, "-c", "GetModuleType 1; typelib"});
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_TRUE(created.out.starts_with("GetModuleType = 0\n")) << created.out;
    EXPECT_NE(created.out.find("35 GetModuleType(ModIndex: I2) -> I2\n"), std::string::npos) << created.out;

    const Finished byClassId = Run({cli, "--class", ba::CLSID_Brimlink.ToString(), "-c", "GetComPort 1"});
    EXPECT_EQ(byClassId.status, 0) << byClassId.err;
    EXPECT_EQ(byClassId.out, "GetComPort = 0\n");

    const Finished unregistered = Run({BRIMLINK_REGSVR_PROGRAM, "-u", ocx.string()});
    ASSERT_EQ(unregistered.status, 0) << unregistered.err;
    EXPECT_EQ(unregistered.out, "DllUnregisterServer in " + ocx.string() + " succeeded.\n");
    EXPECT_EQ(ba::LibraryOfClass(Registry(), ba::CLSID_Brimlink), std::nullopt);
    EXPECT_EQ(ba::ClassIdOfProgId(Registry(), "BLOCX32.Blocx32Ctrl.1"), std::nullopt);

    const Finished after = Run({cli, "-c", "GetModuleType 1"});
    EXPECT_EQ(after.status, 1) << "the program ended by a signal or hung";
    EXPECT_TRUE(after.err.starts_with("error: cannot create the control BLOCX32.Blocx32Ctrl.1: ")) << after.err;
    EXPECT_EQ(after.out, "");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST_F(EndToEnd, RegsvrWritesTheMachineRegistryForOthersToReadOnly) {
    const std::string ocx = fs::canonical(BRIMLINK_OCX_PATH).string();
    const Finished registered = Run({BRIMLINK_REGSVR_PROGRAM, ocx});
    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_EQ(ModeOf(Registry()), 0644u);
    EXPECT_EQ(ModeOf(SettingsFolder()), 02775u);
    EXPECT_EQ(ba::LibraryOfClass(Registry(), ba::CLSID_Brimlink), ocx);

    // A registry left group-writable by an older version is repaired by registering again.
    ASSERT_EQ(::chmod(Registry().c_str(), 0664), 0);
    const std::string before = ReadFile(Registry());
    ASSERT_EQ(Run({BRIMLINK_REGSVR_PROGRAM, ocx}).status, 0);
    EXPECT_EQ(ModeOf(Registry()), 0644u);
    EXPECT_EQ(ReadFile(Registry()), before);
}

TEST_F(EndToEnd, RegsvrNeverSearchesForABareName) {
    // With the library's folder on the search path a bare name still means
    // the file in the current folder, which is not there.
    const fs::path ocx = BRIMLINK_OCX_PATH;
    auto child = std::make_unique<ChildProcess>(
        std::vector<std::string>{BRIMLINK_REGSVR_PROGRAM, ocx.filename().string()},
        std::map<std::string, std::string>{{"XDG_CONFIG_DIRS", ConfigDirs()},
                                           {"XDG_CONFIG_HOME", ConfigHome()},
                                           {"LD_LIBRARY_PATH", ocx.parent_path().string()}},
        ConfigDirs());
    child->CloseStdin();
    EXPECT_EQ(child->WaitForExit(), 1);
    EXPECT_EQ(child->Err(), "brimlink-regsvr: cannot load " + ConfigDirs() + "/" + ocx.filename().string() +
                                ": No such file or directory\n");
    EXPECT_FALSE(fs::exists(Registry()));
}

TEST_F(EndToEnd, RegsvrRefusesARegistryThatDoesNotReadCleanly) {
    using namespace std::string_literals;
    fs::create_directories(SettingsFolder());
    const std::string text = "[CLSID {01234567-89AB-CDEF-0123-456789ABCDEF}]\nLibrary=/usr/lib/other\x00.so\n"
                             "[ProgID Other.Thing.1]\nCLSID={01234567-89AB-CDEF-0123-456789ABCDEF}\n"s;
    std::ofstream(Registry(), std::ios::binary) << text;
    for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
             {BRIMLINK_REGSVR_PROGRAM, BRIMLINK_OCX_PATH}, {BRIMLINK_REGSVR_PROGRAM, "-u", BRIMLINK_OCX_PATH}}) {
        const Finished refused = Run(argv);
        EXPECT_EQ(refused.status, 1) << argv.size();
        EXPECT_EQ(refused.err, "brimlink-regsvr: the class registry " + Registry() +
                                   " is left as it is: line 2 holds a NUL byte; correct or remove it first\n");
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(ReadFile(Registry()), text);
    }
}

TEST_F(EndToEnd, RegsvrUserRegistersForThisUserOnly) {
    const std::string ocx = fs::canonical(BRIMLINK_OCX_PATH).string();
    const std::string lonely = ConfigDirs() + "/host";
    fs::create_directory(lonely);
    const std::string cli = lonely + "/brimlink-cli";
    fs::copy_file(BRIMLINK_CLI_PROGRAM, cli);

    const Finished registered = Run({BRIMLINK_REGSVR_PROGRAM, "--user", ocx});
    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_EQ(registered.out, "DllInstall user in " + ocx + " succeeded.\n");
    EXPECT_FALSE(fs::exists(Registry())) << "the machine registry is left alone";
    EXPECT_EQ(ba::LibraryOfClass(UserRegistry(), ba::CLSID_Brimlink), ocx);
    EXPECT_EQ(ModeOf(UserRegistry()), 0644u);
    EXPECT_EQ(ModeOf(ConfigDirs() + "/home"), 0700u);
    EXPECT_EQ(ModeOf(ConfigHome()), 0700u);

    const Finished created = Run({cli, "-c", "GetModuleType 1"});
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(created.out, "GetModuleType = 0\n");

    const Finished unregistered = Run({BRIMLINK_REGSVR_PROGRAM, "-u", "--user", ocx});
    ASSERT_EQ(unregistered.status, 0) << unregistered.err;
    EXPECT_EQ(unregistered.out, "DllInstall -u user in " + ocx + " succeeded.\n");
    EXPECT_EQ(ba::LibraryOfClass(UserRegistry(), ba::CLSID_Brimlink), std::nullopt);
    const Finished after = Run({cli, "-c", "GetModuleType 1"});
    EXPECT_EQ(after.status, 1);
}

// The installed layout on a shared PC: root registers in the machine
// registry; a user's host, outside the settings folder's group, trusts it and
// reads settings it cannot write. A registry of another user is refused.
TEST_F(EndToEnd, AnotherUsersHostTrustsRootsRegistryOnly) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "needs root and setpriv";
    const std::string ocx = fs::canonical(BRIMLINK_OCX_PATH).string();
    WriteSafePortSettings();
    ASSERT_EQ(Run({BRIMLINK_REGSVR_PROGRAM, ocx}).status, 0);
    ASSERT_EQ(::chmod(ConfigDirs().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((SettingsFolder() + "/Brimlink.ini").c_str(), 0644), 0);
    const std::string settings = ReadFile(SettingsFolder() + "/Brimlink.ini");
    const std::string lonely = ConfigDirs() + "/host";
    fs::create_directory(lonely);
    const std::string cli = lonely + "/brimlink-cli";
    fs::copy_file(BRIMLINK_CLI_PROGRAM, cli);

    const auto runAsPupil = [&] {
        return Run({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", cli, "-c",
                    "GetModuleType 1"});
    };
    const Finished trusted = runAsPupil();
    EXPECT_EQ(trusted.status, 0) << trusted.err;
    EXPECT_EQ(trusted.out, "GetModuleType = 0\n");
    EXPECT_EQ(ReadFile(SettingsFolder() + "/Brimlink.ini"), settings) << "read, not rewritten";

    ASSERT_EQ(::chown(Registry().c_str(), 4242, static_cast<gid_t>(-1)), 0);
    const Finished refused = runAsPupil();
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "error: cannot create the control BLOCX32.Blocx32Ctrl.1: the class registry " + Registry() +
                               " is not used: it belongs to user 4242, neither root nor this user (65534)\n");
}

// ---------------------------------------------------------------------------
// brimlink-cli with the library beside it (the build's one program folder)

TEST_F(EndToEnd, CliUsesTheLibraryBesideItWithoutRegistration) {
    const Finished run = Run({BRIMLINK_CLI_PROGRAM, "-c", "GetModuleType 1; getcomport 0; 36 1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "GetModuleType = 0\nGetComPort = 0\nGetComPort = 0\n");
    EXPECT_EQ(ba::LibraryOfClass(Registry(), ba::CLSID_Brimlink), std::nullopt);
}

TEST_F(EndToEnd, CliGoesOnAfterAFailedCommandAndExitsWithOne) {
    const Finished run = Run(
        {BRIMLINK_CLI_PROGRAM, "-c", "NoSuchMethod 1; GetModuleType 1; SetModule 40000; GetComPort; GetComPort 1"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "GetModuleType = 0\nGetComPort = 0\n");
    EXPECT_TRUE(run.err.starts_with("error: ")) << run.err;
    EXPECT_NE(run.err.find("\nerror: SetModule 0x8002000A DISP_E_OVERFLOW"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nerror: GetComPort 0x8002000E DISP_E_BADPARAMCOUNT"), std::string::npos) << run.err;
}

TEST_F(EndToEnd, CliReadsCommandsFromStandardInput) {
    const Finished run = Run({BRIMLINK_CLI_PROGRAM},
                             "# a script\n\n   \nGetModuleType 1\r\npump 50\nhelp\nGetComPort 1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("GetModuleType = 0\n")) << run.out;
    EXPECT_TRUE(run.out.ends_with("GetComPort = 0\n")) << "a last line without a line feed counts: " << run.out;
    EXPECT_NE(run.out.find("pump MS"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");

    const Finished empty = Run({BRIMLINK_CLI_PROGRAM});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out, "");
}

TEST_F(EndToEnd, CliOptions) {
    const Finished help = Run({BRIMLINK_CLI_PROGRAM, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: brimlink-cli ")) << help.out;
    EXPECT_NE(help.out.find("InputWordChanged"), std::string::npos) << "the protocol is explained: " << help.out;

    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {BRIMLINK_CLI_PROGRAM, "--bogus"}, {BRIMLINK_CLI_PROGRAM, "-c"}, {BRIMLINK_CLI_PROGRAM, "extra"}}) {
        const Finished bad = Run(wrong);
        EXPECT_EQ(bad.status, 2) << wrong.back();
        EXPECT_NE(bad.err.find("Usage: brimlink-cli "), std::string::npos) << bad.err;
        EXPECT_EQ(bad.out, "");
    }

    const Finished unknown = Run({BRIMLINK_CLI_PROGRAM, "--class", "No.Such.Class.1", "-c", "GetModuleType 1"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.starts_with("error: cannot create the control No.Such.Class.1: ")) << unknown.err;
    EXPECT_EQ(unknown.out, "");
}

// ---------------------------------------------------------------------------
// brimlink-cli against a module of brimlink-sim

TEST_F(EndToEnd, CliDrivesASimulatedModuleAndPrintsItsEvents) {
    WriteSafePortSettings();
    auto sim = Start({BRIMLINK_SIM_PROGRAM, "--com", "201", "--model", "R6", "--number", "1"});
    ASSERT_TRUE(sim->WaitForLine("COM201 -> /dev/pts/")) << sim->Out() << sim->Err();
    ASSERT_TRUE(sim->WaitForLine("Links in " + SettingsFolder() + "/ports")) << sim->Out() << sim->Err();

    auto cli = Start({BRIMLINK_CLI_PROGRAM});
    cli->Type("Connect\n");
    ASSERT_EQ(cli->WaitForLine("Connect"), "Connect = 1") << cli->Out() << cli->Err();
    cli->Type("GetModuleType 1\nGetComPort 1\nGetComPort 0\n");
    EXPECT_EQ(cli->WaitForLine("GetModuleType"), "GetModuleType = 5");
    EXPECT_EQ(cli->WaitForLine("GetComPort"), "GetComPort = 201");
    EXPECT_EQ(cli->WaitForLine("GetComPort"), "GetComPort = 201") << "the current module is module 1";

    // The module reports a changed input on its own: the event is printed
    // while the host waits for its next command.
    ASSERT_TRUE(sim->Type("in 3 on\n"));
    EXPECT_EQ(cli->WaitForLine("InputWordChanged"), "InputWordChanged 1 0 8") << cli->Out() << cli->Err();

    cli->Type("SetOutputWord 1 0 5\nGetOutputWord 1 0\n");
    EXPECT_EQ(cli->WaitForLine("SetOutputWord"), "SetOutputWord done") << cli->Err();
    EXPECT_EQ(cli->WaitForLine("GetOutputWord"), "GetOutputWord = 5") << cli->Err();
    EXPECT_TRUE(sim->WaitForLine("output word 0 = 0x0005")) << sim->Out();

    cli->Type("Disconnect\n");
    EXPECT_EQ(cli->WaitForLine("Disconnect"), "Disconnect done");
    cli->CloseStdin();
    EXPECT_EQ(cli->WaitForExit(), 0) << cli->Err();
    EXPECT_EQ(cli->Err(), "");

    sim->Type("quit\n");
    EXPECT_EQ(sim->WaitForExit(), 0) << sim->Err();
}

TEST_F(EndToEnd, CliFindsNoModuleWhereNoneIsRegistered) {
    WriteSafePortSettings();
    const Finished run = Run({BRIMLINK_CLI_PROGRAM, "-c", "Connect; GetModuleType 0; GetComPort 0"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Connect = 0\nGetModuleType = 0\nGetComPort = 0\n");
}

}  // namespace
