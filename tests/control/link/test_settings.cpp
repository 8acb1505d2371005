#include "control/link/Ini.h"
#include "control/link/PortSettings.h"
#include "control/link/RangeList.h"
#include "control/link/SettingsLocation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "support/ChildProcess.h"

namespace brimlink::link {
namespace {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = "/tmp/brimlink-settings-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(std::string_view name) const { return m_path + "/" + std::string(name); }

private:
    std::string m_path;
};

class ConfigDirsOverride {
public:
    explicit ConfigDirsOverride(const std::string& value)
    {
        if (const char* old = std::getenv("XDG_CONFIG_DIRS"))
            m_old = old;
        ::setenv("XDG_CONFIG_DIRS", value.c_str(), 1);
    }
    ~ConfigDirsOverride()
    {
        if (m_old)
            ::setenv("XDG_CONFIG_DIRS", m_old->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_DIRS");
    }
    ConfigDirsOverride(const ConfigDirsOverride&) = delete;
    ConfigDirsOverride& operator=(const ConfigDirsOverride&) = delete;

private:
    std::optional<std::string> m_old;
};

class UmaskOverride {
public:
    explicit UmaskOverride(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskOverride() { ::umask(m_old); }
    UmaskOverride(const UmaskOverride&) = delete;
    UmaskOverride& operator=(const UmaskOverride&) = delete;

private:
    mode_t m_old;
};

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::size_t EntriesIn(const std::string& folder)
{
    std::error_code error;
    std::size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

TEST(IniRead, OnlyAMissingKeyTakesTheDefault)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "[PortSettings]\nSearchCOM=\nUseUSB = N \n[Other]\nKey=Value\n");
    const CIni ini(path);
    EXPECT_EQ(ini.ReadString("PortSettings", "SearchCOM", "1-255"), "");
    EXPECT_EQ(ini.ReadString("PortSettings", "UseUSB", "Y"), "N");
    EXPECT_EQ(ini.ReadString("PortSettings", "ExcludeCOM", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Missing", "Key", "dflt"), "dflt");
    // Profile names are not case-sensitive.
    EXPECT_EQ(ini.ReadString("portsettings", "usebusb", "x"), "x");
    EXPECT_EQ(ini.ReadString("portsettings", "useusb", "x"), "N");
    EXPECT_EQ(ini.ReadString("other", "KEY", "x"), "Value");

    const CIni absent(folder / "absent.ini");
    EXPECT_EQ(absent.ReadString("PortSettings", "SearchCOM", "1-255"), "1-255");
}

TEST(IniRead, QuotesAroundAValueAreDropped)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "[S]\nQuoted=\"1-5\"\nInner=a\"b\"\n");
    CIni ini(path);
    EXPECT_EQ(ini.ReadString("S", "Quoted", ""), "1-5");
    EXPECT_EQ(ini.ReadString("S", "Inner", ""), "a\"b\"");
    ASSERT_TRUE(ini.WriteString("S", "Padded", "  x  "));
    EXPECT_EQ(ini.ReadString("S", "Padded", ""), "  x  ");
    EXPECT_EQ(ini.ReadString("S", "Quoted", ""), "1-5");
}

TEST(IniRead, LongValuesAreReadWhole)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "[S]\nK=" + std::string(1500, 'a') + "\nExact=" + std::string(1023, 'b') + "\n");
    const CIni ini(path);
    EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(1500, 'a'));
    EXPECT_EQ(ini.ReadString("S", "Exact", ""), std::string(1023, 'b'));

    // A list cut at 1023 characters once ended in "2" instead of "240", adding COM2.
    std::string list;
    std::string spaced;
    for (int com = 100; com <= 240; ++com) {
        list += (list.empty() ? "" : ",") + std::to_string(com);
        spaced += (spaced.empty() ? "" : ",") + ("  " + std::to_string(com) + "  ");
    }
    ASSERT_GT(spaced.size(), 1023u);
    WriteFile(path, "[PortSettings]\nSearchCOM=" + spaced + "\n");
    CIni settings(path);
    const PortSettings read = LoadAndWriteBack(settings);
    EXPECT_EQ(read.searchCom, list);
    ComPortSearchTable table;
    table.Build(true, read.searchCom, read.excludeCom);
    EXPECT_EQ(table.CountEnabled(), 141);
    EXPECT_FALSE(table.Enabled(2));
    EXPECT_TRUE(table.Enabled(240));
    EXPECT_EQ(settings.ReadString("PortSettings", "SearchCOM", ""), list);
}

TEST(IniRead, YesNoSpellings)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    // Only the first character counts, so "off" reads as yes as well.
    const char* yes[] = {"on", "ON", "1", "yes", "Y", "y", "Oui", "10", "off"};
    const char* no[] = {"0", "false", "N", "no", "true", "2", "-1", "\"Y\"x"};
    std::string text = "[S]\nEmpty=\nBlank=   \n";
    for (std::size_t i = 0; i < std::size(yes); ++i)
        text += "Yes" + std::to_string(i) + "=" + yes[i] + "\n";
    for (std::size_t i = 0; i < std::size(no); ++i)
        text += "No" + std::to_string(i) + "=" + no[i] + "\n";
    WriteFile(path, text);
    const CIni ini(path);
    for (std::size_t i = 0; i < std::size(yes); ++i) {
        SCOPED_TRACE(yes[i]);
        EXPECT_EQ(ini.ReadYesNo("S", "Yes" + std::to_string(i), 0), 1);
    }
    for (std::size_t i = 0; i < std::size(no); ++i) {
        SCOPED_TRACE(no[i]);
        EXPECT_EQ(ini.ReadYesNo("S", "No" + std::to_string(i), 1), 0);
    }
    EXPECT_EQ(ini.ReadYesNo("S", "Empty", 1), 1);
    EXPECT_EQ(ini.ReadYesNo("S", "Empty", 0), 0);
    EXPECT_EQ(ini.ReadYesNo("S", "Blank", 1), 1);
    EXPECT_EQ(ini.ReadYesNo("S", "Missing", 1), 1);
    EXPECT_EQ(ini.ReadYesNo("S", "Missing", 0), 0);
}

TEST(IniEmptyPath, ReadsEmptyAndDefaultsAndWritesNothing)
{
    CIni ini("");
    EXPECT_EQ(ini.Path(), "");
    EXPECT_EQ(ini.ReadString("PortSettings", "SearchCOM", "1-255"), "");
    EXPECT_EQ(ini.ReadYesNo("PortSettings", "UseUSB", 1), 1);
    EXPECT_FALSE(ini.WriteString("PortSettings", "UseUSB", "N"));
    EXPECT_EQ(ini.ReadYesNo("PortSettings", "UseUSB", 1), 1);
}

TEST(IniWrite, KeepsUnknownSectionsAndKeys)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "; kept comment\n[Other]\nColour=Blue\n[PortSettings]\nUseUSB=Y\nVendorKey=7\n");
    CIni ini(path);
    ASSERT_TRUE(ini.WriteString("PortSettings", "UseUSB", "N"));
    ASSERT_TRUE(ini.WriteString("Debug", "ShowAtStartup", "Y"));
    EXPECT_EQ(ini.ReadString("PortSettings", "UseUSB", ""), "N");
    EXPECT_EQ(ini.ReadString("Debug", "ShowAtStartup", ""), "Y");
    EXPECT_EQ(ini.ReadString("Other", "Colour", ""), "Blue");
    EXPECT_EQ(ini.ReadString("PortSettings", "VendorKey", ""), "7");
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("; kept comment"), std::string::npos);
    EXPECT_NE(text.find("UseUSB=N\n"), std::string::npos) << text;
    // Only the file itself: no temporary file is left behind.
    EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

TEST(IniWrite, SeesChangesMadeByOthersSinceTheLastCall)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    CIni first(path);
    CIni second(path);
    ASSERT_TRUE(first.WriteString("S", "A", "1"));
    ASSERT_TRUE(second.WriteString("S", "B", "2"));
    ASSERT_TRUE(first.WriteString("S", "C", "3"));
    EXPECT_EQ(second.ReadString("S", "A", ""), "1");
    EXPECT_EQ(second.ReadString("S", "B", ""), "2");
    EXPECT_EQ(second.ReadString("S", "C", ""), "3");
}

TEST(IniWrite, FileModeIs0664WhateverTheUmask)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    UmaskOverride mask(022);
    CIni ini(path);
    ASSERT_TRUE(ini.WriteString("S", "K", "V"));
    EXPECT_EQ(ModeOf(path), 0664u);

    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    UmaskOverride strict(077);
    ASSERT_TRUE(ini.WriteString("S", "K", "W"));
    EXPECT_EQ(ModeOf(path), 0664u);
}

TEST(IniWrite, FileTakesTheFoldersGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing a folder's group to a foreign one needs root";
    TempFolder folder;
    const gid_t group = 54321;
    ASSERT_EQ(::chown(folder.Path().c_str(), static_cast<uid_t>(-1), group), 0);
    const std::string path = folder / "Brimlink.ini";
    CIni ini(path);
    ASSERT_TRUE(ini.WriteString("S", "K", "V"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
}

TEST(IniWrite, FailuresReturnFalseAndReadsGiveDefaults)
{
    TempFolder folder;
    const std::string plainFile = folder / "plain";
    WriteFile(plainFile, "not a folder");
    CIni unreachable(plainFile + "/Brimlink.ini");
    EXPECT_FALSE(unreachable.WriteString("PortSettings", "UseUSB", "N"));
    EXPECT_EQ(unreachable.ReadYesNo("PortSettings", "UseUSB", 1), 1);
    EXPECT_EQ(unreachable.ReadString("PortSettings", "SearchCOM", "1-255"), "1-255");
    const PortSettings settings = LoadAndWriteBack(unreachable);
    EXPECT_EQ(settings.useUsb, 1);
    EXPECT_EQ(settings.searchCom, "1-255");
    EXPECT_EQ(settings.excludeCom, "");

    // Something that cannot be read as the file is not replaced.
    const std::string folderAsFile = folder / "Dir.ini";
    ASSERT_EQ(::mkdir(folderAsFile.c_str(), 0755), 0);
    CIni unreadable(folderAsFile);
    EXPECT_EQ(unreadable.ReadString("S", "K", "dflt"), "dflt");
    EXPECT_FALSE(unreadable.WriteString("S", "K", "V"));
    EXPECT_EQ(EntriesIn(folder.Path()), 2u);
}

TEST(IniWrite, RefusesTextThatWouldBreakTheFile)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    CIni ini(path);
    ASSERT_TRUE(ini.WriteString("S", "K", "V"));
    const std::string before = ReadFile(path);
    EXPECT_FALSE(ini.WriteString("S", "K", "V\n[Injected]\nX=1"));
    EXPECT_FALSE(ini.WriteString("S", "A=B", "V"));
    EXPECT_FALSE(ini.WriteString("S]", "K", "V"));
    EXPECT_FALSE(ini.WriteString("S", "", "V"));
    EXPECT_EQ(ReadFile(path), before);
}

TEST(IniWrite, BatchGoesToDiskTogether)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    CIni ini(path);
    const IniEntry good[] = {{"A", "One", "1"}, {"B", "Two", "2"}};
    ASSERT_TRUE(ini.WriteStrings(good));
    EXPECT_EQ(ini.ReadString("A", "One", ""), "1");
    EXPECT_EQ(ini.ReadString("B", "Two", ""), "2");
    // One bad entry stops the whole batch.
    const IniEntry mixed[] = {{"A", "One", "changed"}, {"B", "Two", "bad\nvalue"}};
    EXPECT_FALSE(ini.WriteStrings(mixed));
    EXPECT_EQ(ini.ReadString("A", "One", ""), "1");
}

TEST(IniReplaceSections, RemovesSectionsWholeInAnyCaseAndKeepsOthers)
{
    TempFolder folder;
    const std::string path = folder / "Registry.ini";
    WriteFile(path, "; kept comment\n[Keep]\nA=1\n[Old Lib]\nX=1\nY=2\n[Gone]\nZ=3\n");
    CIni ini(path);
    const std::string_view removed[] = {"OLD LIB", "gone", "Never There"};
    const IniEntry entries[] = {{"Old Lib", "X", "new"}, {"Fresh", "K", "V"}};
    ASSERT_TRUE(ini.ReplaceSections(removed, entries));
    EXPECT_EQ(ini.ReadString("Old Lib", "X", "missing"), "new");
    EXPECT_EQ(ini.ReadString("Old Lib", "Y", "missing"), "missing") << "the old section is not merged";
    EXPECT_EQ(ini.ReadString("Gone", "Z", "missing"), "missing");
    EXPECT_EQ(ini.ReadString("Fresh", "K", ""), "V");
    EXPECT_EQ(ini.ReadString("Keep", "A", ""), "1");
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("; kept comment"), std::string::npos) << text;
    EXPECT_EQ(text.find("[Gone]"), std::string::npos) << text;
    EXPECT_EQ(EntriesIn(folder.Path()), 1u);

    // One bad entry stops the whole call, removals included.
    const IniEntry bad[] = {{"Fresh", "K", "two\nlines"}};
    EXPECT_FALSE(ini.ReplaceSections(removed, bad));
    EXPECT_EQ(ReadFile(path), text);
}

TEST(IniReplaceSections, WritesNothingWhenNothingChanges)
{
    TempFolder folder;
    const std::string path = folder / "Registry.ini";
    CIni ini(path);
    const std::string_view absent[] = {"Absent"};
    EXPECT_TRUE(ini.ReplaceSections(absent, {}));
    EXPECT_EQ(EntriesIn(folder.Path()), 0u) << "no file is created for nothing";

    // A replaced file has a new inode, so an unchanged one was not rewritten.
    WriteFile(path, "[S]\nK = spaced\n");
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    const IniEntry same[] = {{"s", "k", "spaced"}};
    EXPECT_TRUE(ini.ReplaceSections(absent, same));
    EXPECT_TRUE(ini.ReplaceSections({}, {}));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(ReadFile(path), "[S]\nK = spaced\n");

    const IniEntry changed[] = {{"S", "K", "other"}};
    EXPECT_TRUE(ini.ReplaceSections({}, changed));
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(ini.ReadString("S", "K", ""), "other");
}

TEST(IniReplaceSections, AFileThatCannotBeReadIsNeverOverwritten)
{
    TempFolder folder;
    const std::string_view removed[] = {"S"};
    const IniEntry entries[] = {{"T", "K", "V"}};

    // A FIFO put in place of the file: not read (it would block), not replaced.
    const std::string fifo = folder / "Fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0664), 0);
    CIni pipe(fifo);
    EXPECT_FALSE(pipe.ReplaceSections(removed, entries));
    EXPECT_FALSE(pipe.ReplaceSections(removed, {}));
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    const std::string path = folder / "Registry.ini";
    WriteFile(path, "[S]\nK=secret\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    if (::access(path.c_str(), R_OK) != 0) {  // root reads it anyway
        CIni locked(path);
        EXPECT_FALSE(locked.ReplaceSections(removed, entries));
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
        EXPECT_EQ(ReadFile(path), "[S]\nK=secret\n");
    }
    EXPECT_EQ(EntriesIn(folder.Path()), 2u) << "no temporary file is left behind";

    CIni noPath("");
    EXPECT_FALSE(noPath.ReplaceSections(removed, entries));
    CIni noFolder(folder / "missing/Registry.ini");
    EXPECT_FALSE(noFolder.ReplaceSections(removed, entries));
}

TEST(SettingsLocation, ControlFolderDropsTheFileName)
{
    EXPECT_EQ(ControlFolder("/usr/lib/x/Brimlink.ocx"), "/usr/lib/x");
    EXPECT_EQ(ControlFolder("relative/Brimlink.ocx"), "relative");
    EXPECT_EQ(ControlFolder("Brimlink.ocx"), "");
}

TEST(SettingsLocation, CreatesTheMachineFolderForGroupMembers)
{
    TempFolder folder;
    ConfigDirsOverride dirs(folder / "xdg/deeper/" + ":/nonexistent-second");
    UmaskOverride mask(022);
    const std::string expected = folder / "xdg/deeper/Brimlink";
    EXPECT_EQ(SettingsFolder("/control"), expected);
    EXPECT_EQ(ModeOf(expected), 02775u);
    EXPECT_EQ(SettingsFilePath("/control"), expected + "/Brimlink.ini");
}

TEST(SettingsLocation, SkipsEmptyAndRelativeEntries)
{
    TempFolder folder;
    ConfigDirsOverride dirs("::relative/xdg:" + folder.Path());
    EXPECT_EQ(SettingsFolder("/control"), folder / "Brimlink");
}

TEST(SettingsLocation, FallsBackToTheControlFolder)
{
    TempFolder folder;
    const std::string plainFile = folder / "plain";
    WriteFile(plainFile, "x");
    ConfigDirsOverride dirs(plainFile + "/xdg");
    EXPECT_EQ(SettingsFolder(folder.Path()), folder.Path());
    EXPECT_EQ(SettingsFilePath(folder.Path()), folder / "Brimlink.ini");
    EXPECT_EQ(SettingsFilePath(""), "");

    // A file where the folder should be is no folder either.
    ConfigDirsOverride occupied(folder.Path());
    WriteFile(folder / "Brimlink", "x");
    EXPECT_EQ(SettingsFolder("/control"), "/control");
}

TEST(SettingsPortSettings, FreshFolderGetsEveryKey)
{
    TempFolder folder;
    ConfigDirsOverride dirs(folder.Path());
    CIni ini(SettingsFilePath("/control"));
    ASSERT_EQ(ini.Path(), folder / "Brimlink/Brimlink.ini");
    const PortSettings settings = LoadAndWriteBack(ini);
    EXPECT_EQ(settings.useUsb, 1);
    EXPECT_EQ(settings.useSerial, 1);
    EXPECT_EQ(settings.searchCom, "1-255");
    EXPECT_EQ(settings.excludeCom, "");
    EXPECT_EQ(settings.showAtStartup, 0);

    // The text itself, not just what reads back: a missing key would read as its default.
    const std::string text = ReadFile(ini.Path());
    std::size_t at = 0;
    for (std::string_view line : {"[PortSettings]\n", "UseUSB=Y\n", "UseSerial=Y\n", "SearchCOM=1-255\n",
                                  "ExcludeCOM=\n", "[Debug]\n", "ShowAtStartup=N\n"}) {
        at = text.find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing " << line << "in\n" << text;
    }
}

TEST(SettingsPortSettings, ValuesAreNormalisedAndWrittenBack)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "[PortSettings]\nUseUSB=false\nUseSerial=1\nSearchCOM= 3 , 7-5,abc, 12\n"
                    "ExcludeCOM=x,-6\n[Debug]\nShowAtStartup=yes\n");
    CIni ini(path);
    const PortSettings settings = LoadAndWriteBack(ini);
    EXPECT_EQ(settings.useUsb, 0);
    EXPECT_EQ(settings.useSerial, 1);
    EXPECT_EQ(settings.searchCom, "3,5-7,12");
    EXPECT_EQ(settings.excludeCom, "6");
    EXPECT_EQ(settings.showAtStartup, 1);
    EXPECT_EQ(ini.ReadString("PortSettings", "UseUSB", ""), "N");
    EXPECT_EQ(ini.ReadString("PortSettings", "UseSerial", ""), "Y");
    EXPECT_EQ(ini.ReadString("PortSettings", "SearchCOM", ""), "3,5-7,12");
    EXPECT_EQ(ini.ReadString("PortSettings", "ExcludeCOM", ""), "6");
    EXPECT_EQ(ini.ReadString("Debug", "ShowAtStartup", ""), "Y");

    ComPortSearchTable table;
    table.Build(settings.useSerial != 0, settings.searchCom, settings.excludeCom);
    EXPECT_EQ(table.CountEnabled(), 4);
    EXPECT_FALSE(table.Enabled(6));
}

TEST(SettingsPortSettings, EmptySearchListStaysEmpty)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "[PortSettings]\nSearchCOM=\n");
    CIni ini(path);
    EXPECT_EQ(LoadAndWriteBack(ini).searchCom, "");
    EXPECT_EQ(ini.ReadString("PortSettings", "SearchCOM", "1-255"), "");
    const PortSettings again = LoadAndWriteBack(ini);
    EXPECT_EQ(again.searchCom, "");
    ComPortSearchTable table;
    table.Build(again.useSerial != 0, again.searchCom, again.excludeCom);
    EXPECT_EQ(table.CountEnabled(), 0);
}

TEST(SettingsPortSettings, WriteThenReadRoundTrips)
{
    TempFolder folder;
    CIni ini(folder / "Brimlink.ini");
    PortSettings written;
    written.useUsb = 0;
    written.useSerial = 0;
    written.searchCom = "9-3, 20";
    written.excludeCom = "4";
    written.showAtStartup = 1;
    ASSERT_TRUE(WritePortSettings(ini, written));
    const PortSettings read = ReadPortSettings(ini);
    EXPECT_EQ(read.useUsb, 0);
    EXPECT_EQ(read.useSerial, 0);
    EXPECT_EQ(read.searchCom, "3-9,20");
    EXPECT_EQ(read.excludeCom, "4");
    EXPECT_EQ(read.showAtStartup, 1);
}

// ---- files that are not read cleanly are never rewritten -------------------

TEST(IniUnclean, AFileNotReadCleanlyIsUsedAsEmptyAndKeptByteForByte)
{
    using namespace std::string_literals;
    // Each breaks the file in a different way; every case also holds another
    // program's section that a rewrite would have lost or garbled.
    const struct {
        const char* name;
        std::string text;
        const char* why;
    } cases[] = {
        {"NUL", "[PortSettings]\nUseUSB=N\x00garbage\n[Other]\nK=V\n"s, "line 2 holds a NUL byte"},
        {"NUL ending a section", "[Port\x00Settings]\nUseUSB=N\n[Other]\nK=V\n"s, "line 1 holds a NUL byte"},
        {"Latin-1", "[PortSettings]\nUseUSB=N\n[Other]\nName=Jos\xe9\n"s, "line 4 is not UTF-8 text"},
        {"overlong UTF-8", "[PortSettings]\nUseUSB=N\n[Other]\nK=\xc0\xaf\n"s, "line 4 is not UTF-8 text"},
        {"binary", "\x7f" "ELF\x02\x01\x01\n[PortSettings]\nUseUSB=N\n"s, "line 1 holds the control character 0x7F"},
        {"escape", "[PortSettings]\nUseUSB=N\x1b[0m\n"s, "line 2 holds the control character 0x1B"},
        {"no equals sign", "[PortSettings]\nUseUSB=N\njust words\n[Other]\nK=V\n"s,
         "line 3 is neither a section, a Key=Value line nor a comment"},
        {"empty key", "[PortSettings]\nUseUSB=N\n=value\n"s, "line 3 is neither"},
        {"open heading", "[PortSettings\nUseUSB=N\n"s, "line 1 is not a section heading"},
        {"text after heading", "[PortSettings] x\nUseUSB=N\n"s, "line 1 is not a section heading"},
        {"key twice", "[PortSettings]\nUseUSB=N\nUseUSB=Y\n[Other]\nK=V\n"s, "line 3 repeats the key UseUSB"},
        {"section twice", "[PortSettings]\nUseUSB=N\n[Other]\nK=V\n[portsettings]\nUseSerial=N\n"s,
         "line 5 repeats the section [portsettings]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string path = folder / "Brimlink.ini";
        WriteFile(path, c.text);
        CIni ini(path);
        EXPECT_NE(ini.Problem().find(c.why), std::string::npos) << ini.Problem();
        EXPECT_EQ(ini.ReadString("PortSettings", "UseUSB", "dflt"), "dflt");

        std::string problem;
        const PortSettings settings = LoadAndWriteBack(ini, &problem);
        EXPECT_EQ(settings.useUsb, 1) << "the defaults apply";
        EXPECT_EQ(settings.searchCom, "1-255");
        EXPECT_NE(problem.find(path + " is not used and kept as it is: " + c.why), std::string::npos) << problem;
        EXPECT_FALSE(ini.WriteString("PortSettings", "UseUSB", "N"));
        EXPECT_FALSE(ini.LastError().empty());
        const std::string_view removed[] = {"Other"};
        EXPECT_FALSE(ini.ReplaceSections(removed, {}));
        EXPECT_EQ(ReadFile(path), c.text) << "the file is kept byte for byte";
        EXPECT_EQ(EntriesIn(folder.Path()), 1u);
    }
}

TEST(IniUnclean, WhatIsUnderstoodIsRewrittenWithEveryLine)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    // A byte-order mark, CR LF line ends, blanks around names, quotes, a
    // comment before a key and comments after the last entry.
    WriteFile(path, "\xEF\xBB\xBF; head\r\n[ PortSettings ]\r\n  UseUSB = N \r\n# about the list\r\n"
                    "SearchCOM=\"3-5\"\r\n[Other]\r\nName=Jos\xc3\xa9\r\n; tail one\r\n\r\n# tail two\r\n");
    CIni ini(path);
    EXPECT_EQ(ini.Problem(), "");
    std::string problem;
    const PortSettings settings = LoadAndWriteBack(ini, &problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(settings.useUsb, 0);
    EXPECT_EQ(settings.searchCom, "3-5");
    const std::string text = ReadFile(path);
    for (const char* line : {"; head\n", "UseUSB=N\n", "# about the list\nSearchCOM=3-5\n", "Name=Jos\xc3\xa9\n",
                             "ShowAtStartup=N\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
    EXPECT_TRUE(text.ends_with("; tail one\n# tail two\n")) << text;
    EXPECT_EQ(ini.Problem(), "") << "a rewritten file reads cleanly again";
    EXPECT_TRUE(ini.WriteString("Other", "Name", "Piet"));
    EXPECT_TRUE(ReadFile(path).ends_with("; tail one\n# tail two\n")) << "the tail is not doubled";
}

TEST(IniUnclean, CommentsAnywhereSurviveAWrite)
{
    const struct {
        const char* text;
        const char* after;  // the whole file after writing [New] K=V
    } cases[] = {
        {"", "[New]\nK=V\n"},
        {"; only\n# comments\n", "; only\n# comments\n\n\n[New]\nK=V\n"},
        {"[A]\nX=1\n; end of A\n\n[B]\n; last\n", "[A]\nX=1\n\n\n; end of A\n[B]\n\n\n[New]\nK=V\n; last\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TempFolder folder;
        const std::string path = folder / "Brimlink.ini";
        WriteFile(path, c.text);
        CIni ini(path);
        EXPECT_EQ(ini.Problem(), "");
        ASSERT_TRUE(ini.WriteString("New", "K", "V")) << ini.LastError();
        EXPECT_EQ(ReadFile(path), c.after);
        EXPECT_EQ(ini.Problem(), "");
    }
}

// ---- how the file is replaced ----------------------------------------------

TEST(IniWrite, AReadOnlyFileIsNotReplaced)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "[PortSettings]\nUseUSB=N\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    CIni ini(path);
    std::string problem;
    const PortSettings settings = LoadAndWriteBack(ini, &problem);
    EXPECT_EQ(settings.useUsb, 0) << "a read-only file is still read";
    EXPECT_NE(problem.find(path + " is not written back: it is read-only for this user"), std::string::npos)
        << problem;
    EXPECT_EQ(ReadFile(path), "[PortSettings]\nUseUSB=N\n");
    EXPECT_EQ(ModeOf(path), 0444u);
}

TEST(IniWrite, AFileOfAnotherUserIsNotReplacedThroughTheFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a child as another user";
    // The folder lets everybody create files, the file is root's 0644: a
    // rename would replace it all the same.
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0777), 0);
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "[PortSettings]\nUseUSB=N\n");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    const auto answer = testing::RunAsUser(65534, 65534, [&] {
        CIni ini(path);
        std::string problem;
        const PortSettings settings = LoadAndWriteBack(ini, &problem);
        return std::to_string(settings.useUsb) + "|" + problem;
    });
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "0|Settings: " + path + " is not written back: it is read-only for this user");
    EXPECT_EQ(ReadFile(path), "[PortSettings]\nUseUSB=N\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

TEST(IniWrite, ASymbolicLinkIsWrittenThroughToItsTarget)
{
    TempFolder folder;
    ASSERT_EQ(::mkdir((folder / "real").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder / "settings").c_str(), 0755), 0);
    const std::string target = folder / "real/Brimlink.ini";
    const std::string link = folder / "settings/Brimlink.ini";
    WriteFile(target, "[PortSettings]\nUseUSB=N\n");
    ASSERT_EQ(::symlink("../real/Brimlink.ini", link.c_str()), 0);
    CIni ini(link);
    ASSERT_TRUE(ini.WriteString("PortSettings", "UseSerial", "N")) << ini.LastError();
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_EQ(ReadFile(target), "[PortSettings]\nUseUSB=N\nUseSerial=N\n");
    EXPECT_EQ(EntriesIn(folder / "settings"), 1u);
    EXPECT_EQ(EntriesIn(folder / "real"), 1u);

    // A link that leads nowhere is not replaced by a file.
    const std::string dangling = folder / "settings/Dangling.ini";
    ASSERT_EQ(::symlink("../real/missing/Brimlink.ini", dangling.c_str()), 0);
    CIni nowhere(dangling);
    EXPECT_FALSE(nowhere.WriteString("S", "K", "V"));
    ASSERT_EQ(::lstat(dangling.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(IniWrite, TemporaryFilesOfAKilledWriteAreRemovedAtTheNextWrite)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    for (const char* name : {".Brimlink.ini.a1B2c3", ".Brimlink.ini.zzzzzz", ".Registry.ini.a1B2c3",
                             ".Brimlink.ini.longer1", "Brimlink.ini.a1B2c3"})
        WriteFile(folder / name, "half a file");
    ASSERT_EQ(::mkdir((folder / ".Brimlink.ini.folder").c_str(), 0755), 0);
    CIni ini(path);
    ASSERT_TRUE(ini.WriteString("S", "K", "V"));
    // Only this file's own temporary names, and only files.
    for (const char* gone : {".Brimlink.ini.a1B2c3", ".Brimlink.ini.zzzzzz"})
        EXPECT_FALSE(std::filesystem::exists(folder / gone)) << gone;
    for (const char* kept : {".Registry.ini.a1B2c3", ".Brimlink.ini.longer1", "Brimlink.ini.a1B2c3",
                             ".Brimlink.ini.folder"})
        EXPECT_TRUE(std::filesystem::exists(folder / kept)) << kept;
}

TEST(IniWrite, AFileModeOfItsOwnAndAFileTooOpenIsRepaired)
{
    TempFolder folder;
    const std::string path = folder / "Registry.ini";
    UmaskOverride mask(0);
    CIni registry(path, 0644);
    const IniEntry entry[] = {{"S", "K", "V"}};
    ASSERT_TRUE(registry.ReplaceSections({}, entry));
    EXPECT_EQ(ModeOf(path), 0644u);

    // Unchanged text is not written again, unless others could write the file.
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(registry.ReplaceSections({}, entry));
    EXPECT_EQ(ModeOf(path), 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    ASSERT_TRUE(registry.ReplaceSections({}, entry));
    EXPECT_EQ(ModeOf(path), 0644u);
    EXPECT_EQ(registry.ReadString("S", "K", ""), "V");
}

// ---- where the folder is ----------------------------------------------------

TEST(SettingsLocation, TheFirstConfigFolderHoldingBrimlinkWins)
{
    TempFolder folder;
    for (const char* name : {"desktop", "machine", "other"})
        ASSERT_EQ(::mkdir((folder / name).c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder / "machine/Brimlink").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((folder / "other/Brimlink").c_str(), 0755), 0);
    ConfigDirsOverride dirs(folder / "desktop" + ":" + folder / "machine/" + ":" + folder / "other");
    EXPECT_EQ(SettingsFolder("/control"), folder / "machine/Brimlink");
    EXPECT_FALSE(std::filesystem::exists(folder / "desktop/Brimlink")) << "nothing is created";

    // None holds it: the first entry gets it.
    ConfigDirsOverride none(folder / "desktop" + ":" + folder / "missing");
    std::filesystem::remove_all(folder / "machine/Brimlink");
    EXPECT_EQ(SettingsFolder("/control"), folder / "desktop/Brimlink");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "desktop/Brimlink"));
}

TEST(SettingsLocation, FoldersGetTheirModesWhateverTheUmask)
{
    for (const mode_t umask : {mode_t{0}, mode_t{077}}) {
        SCOPED_TRACE(umask);
        TempFolder folder;
        ConfigDirsOverride dirs(folder / "a/b");
        UmaskOverride mask(umask);
        EXPECT_EQ(SettingsFolder("/control"), folder / "a/b/Brimlink");
        EXPECT_EQ(ModeOf(folder / "a"), 0755u);
        EXPECT_EQ(ModeOf(folder / "a/b"), 0755u);
        EXPECT_EQ(ModeOf(folder / "a/b/Brimlink"), 02775u);

        ASSERT_TRUE(CreateFolder(folder / "home/.config/Brimlink", 0755, 0700));
        EXPECT_EQ(ModeOf(folder / "home"), 0700u);
        EXPECT_EQ(ModeOf(folder / "home/.config"), 0700u);
        EXPECT_EQ(ModeOf(folder / "home/.config/Brimlink"), 0755u);
    }
}

TEST(SettingsLocation, AFolderTheUserCannotWriteIsStillRead)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a child as another user";
    // The shared PC: the administrator's settings, a user outside the folder's group.
    TempFolder folder;
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
    const std::string settings = folder / "Brimlink";
    ASSERT_EQ(::mkdir(settings.c_str(), 02775), 0);
    ASSERT_EQ(::chown(settings.c_str(), 0, 54321), 0);
    const std::string path = settings + "/Brimlink.ini";
    const std::string text = "[PortSettings]\nUseUSB=N\nSearchCOM=200-210\n";
    WriteFile(path, text);
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    ConfigDirsOverride dirs(folder.Path());

    const auto answer = testing::RunAsUser(65534, 65534, [] {
        CIni ini(SettingsFilePath("/control"));
        std::string problem;
        const PortSettings read = LoadAndWriteBack(ini, &problem);
        return ini.Path() + "|" + std::to_string(read.useUsb) + "|" + read.searchCom + "|" + problem;
    });
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, path + "|0|200-210|Settings: " + path + " is not written back: it is read-only for this user");
    EXPECT_EQ(ReadFile(path), text);
    EXPECT_EQ(EntriesIn(settings), 1u);
}

TEST(SettingsLocation, TheUsersFolderFollowsXdgConfigHomeOrHome)
{
    const auto saved = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> configHome = saved("XDG_CONFIG_HOME");
    const std::optional<std::string> home = saved("HOME");
    ::setenv("XDG_CONFIG_HOME", "/somewhere/config/", 1);
    ::setenv("HOME", "/home/pupil", 1);
    EXPECT_EQ(UserSettingsFolder(), "/somewhere/config/Brimlink");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(UserSettingsFolder(), "/home/pupil/.config/Brimlink");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserSettingsFolder(), "/home/pupil/.config/Brimlink");
    for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", configHome}, std::pair{"HOME", home}}) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
}

}  // namespace
}  // namespace brimlink::link
