// The installation as cmake --install makes it under a prefix of its own: each
// package's files and nothing else, the library not executable, and the
// installed programs finding the library and the trainer's data relative to
// their own folder (there is no Brimlink.ocx and no data beside them).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace brimlink {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::TempFolder;

// Every regular file and link under root, relative to it.
std::set<std::string> FilesUnder(const fs::path& root) {
  std::set<std::string> files;
  if (!fs::exists(root)) return files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
  }
  return files;
}

bool Install(const std::string& prefix, const std::string& component, std::string& output) {
  std::vector<std::string> argv = {CMAKE_COMMAND, "--install", BRIMLINK_BUILD_FOLDER, "--prefix", prefix};
  if (!component.empty()) argv.insert(argv.end(), {"--component", component});
  ChildProcess install(argv, {});
  const std::optional<int> status = install.WaitForExit();
  output = install.Out() + install.Err();
  return status == 0;
}

class Installation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(root.Path().empty()); }

  // An installation of `component` ("" for everything) under a fresh prefix.
  std::string Installed(const std::string& name, const std::string& component) {
    const std::string prefix = root.Path() + "/" + name;
    std::string output;
    EXPECT_TRUE(Install(prefix, component, output)) << output;
    return prefix;
  }

  // The settings folders of a host run: private, empty, never the machine's.
  std::map<std::string, std::string> PrivateSettings() {
    fs::create_directories(root.Path() + "/xdg");
    fs::create_directories(root.Path() + "/home");
    return {{"XDG_CONFIG_DIRS", root.Path() + "/xdg"}, {"XDG_CONFIG_HOME", root.Path() + "/home"}};
  }

  TempFolder root{"brimlink-install"};
};

TEST_F(Installation, EachPackageHoldsItsOwnFilesAndTogetherTheyAreEverything) {
  const std::string library = BRIMLINK_INSTALL_LIBDIR "/brimlink/Brimlink.ocx";
  const std::string doc = BRIMLINK_INSTALL_DATAROOTDIR "/doc/";
  const std::set<std::string> control = FilesUnder(Installed("control", "brimlink"));
  const std::set<std::string> trainer = FilesUnder(Installed("trainer", "brimlinkmini-sorvik"));
  const std::set<std::string> development = FilesUnder(Installed("development", "brimlink-dev"));
  const std::set<std::string> python = FilesUnder(Installed("python", "python3-brimlink"));
  const std::set<std::string> all = FilesUnder(Installed("all", ""));

  for (const std::string& file : {std::string("bin/brimlink-cli"), std::string("bin/brimlink-regsvr"),
                                  std::string("bin/brimlink-sim"), library,
                                  std::string("lib/udev/rules.d/60-brimlink.rules"), doc + "brimlink/copyright"}) {
    EXPECT_TRUE(control.contains(file)) << file;
    EXPECT_FALSE(trainer.contains(file)) << file;
  }
  for (const std::string& file :
       {std::string("bin/brimlinkmini-sorvik"), std::string(BRIMLINK_INSTALL_DATADIR "/brimlink/Geluiden/Klik 01.wav"),
        doc + "brimlinkmini-sorvik/copyright"}) {
    EXPECT_TRUE(trainer.contains(file)) << file;
    EXPECT_FALSE(control.contains(file)) << file;
  }
  const auto pictures = std::ranges::count_if(
      trainer, [](const std::string& file) { return file.starts_with(BRIMLINK_INSTALL_DATADIR "/brimlink/Afbeeldingen/"); });
  EXPECT_GT(pictures, 20);

  // Nothing outside the packages: no development tool, test or benchmark.
  std::set<std::string> packaged = control;
  for (const std::set<std::string>* package : {&trainer, &development, &python}) {
    for (const std::string& file : *package) {
      EXPECT_FALSE(packaged.contains(file)) << file << " is in two packages";
      packaged.insert(file);
    }
  }
  EXPECT_EQ(all, packaged);
  for (const std::string& file : all) {
    EXPECT_EQ(file.find("artwork"), std::string::npos) << file;
    EXPECT_EQ(file.find("screenshot"), std::string::npos) << file;
    EXPECT_EQ(file.find("test"), std::string::npos) << file;
    EXPECT_EQ(file.find("bench"), std::string::npos) << file;
  }

  struct stat st {};
  ASSERT_EQ(::stat((root.Path() + "/all/" + library).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u) << "hosts load the library; nobody runs it";
  ASSERT_EQ(::stat((root.Path() + "/all/bin/brimlink-cli").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST_F(Installation, AnInstalledHostCreatesTheControlFromTheInstalledLibrary) {
  const std::string prefix = Installed("moved/prefix", "brimlink");
  ASSERT_FALSE(fs::exists(prefix + "/bin/Brimlink.ocx"));

  ChildProcess cli({prefix + "/bin/brimlink-cli", "-c", "GetModuleType 0; GetComPort 0"}, PrivateSettings());
  EXPECT_EQ(cli.WaitForExit(), 0) << cli.Err();
  EXPECT_EQ(cli.Out(), "GetModuleType = 0\nGetComPort = 0\n") << cli.Err();

  // Without the library the host says where it looked.
  fs::remove(prefix + "/" BRIMLINK_INSTALL_LIBDIR "/brimlink/Brimlink.ocx");
  ChildProcess without({prefix + "/bin/brimlink-cli", "-c", "GetModuleType 0"}, PrivateSettings());
  EXPECT_NE(without.WaitForExit(), 0);
  EXPECT_NE(without.Err().find(prefix + "/" BRIMLINK_INSTALL_LIBDIR "/brimlink"), std::string::npos) << without.Err();
}

TEST_F(Installation, TheInstalledTrainerFindsItsDataAndTheControl) {
  const std::string prefix = root.Path() + "/usr";
  std::string output;
  ASSERT_TRUE(Install(prefix, "brimlink", output)) << output;
  ASSERT_TRUE(Install(prefix, "brimlinkmini-sorvik", output)) << output;
  ASSERT_FALSE(fs::exists(prefix + "/bin/Afbeeldingen"));

  // The trainer runs until timeout ends it; its own complaints start with its name.
  std::map<std::string, std::string> environment = PrivateSettings();
  environment["QT_QPA_PLATFORM"] = "offscreen";
  ChildProcess trainer({"/usr/bin/timeout", "3", prefix + "/bin/brimlinkmini-sorvik"}, environment);
  EXPECT_EQ(trainer.WaitForExit(), 124) << trainer.Err();
  EXPECT_EQ(trainer.Err().find("brimlinkmini-sorvik:"), std::string::npos) << trainer.Err();

  // The same program without its data complains, so the check above can fail.
  fs::rename(prefix + "/" BRIMLINK_INSTALL_DATADIR "/brimlink", prefix + "/" BRIMLINK_INSTALL_DATADIR "/elsewhere");
  ChildProcess bare({"/usr/bin/timeout", "3", prefix + "/bin/brimlinkmini-sorvik"}, environment);
  EXPECT_EQ(bare.WaitForExit(), 124) << bare.Err();
  EXPECT_NE(bare.Err().find("brimlinkmini-sorvik: picture not found"), std::string::npos) << bare.Err();
}

}  // namespace
}  // namespace brimlink
