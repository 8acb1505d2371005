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

TEST(IniRead, LongValuesAreCutAtTheBufferSize)
{
    TempFolder folder;
    const std::string path = folder / "Brimlink.ini";
    WriteFile(path, "[S]\nK=" + std::string(1500, 'a') + "\nExact=" + std::string(1023, 'b') + "\n");
    const CIni ini(path);
    EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(1023, 'a'));
    EXPECT_EQ(ini.ReadString("S", "Exact", ""), std::string(1023, 'b'));
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

}  // namespace
}  // namespace brimlink::link
