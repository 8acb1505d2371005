// Every installed program answers --help and --version on standard output
// with exit status 0, without a display, a settings folder or a module; the
// manual pages are made from exactly these texts. Output that cannot be
// written is a failure, never a success.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "control/interface/BrimlinkVersion.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

using brimlink::testing::ChildProcess;
using brimlink::testing::TempFolder;

struct Program {
  std::string name;
  std::string path;
};

const std::vector<Program>& Programs() {
  static const std::vector<Program> programs = {
      {"brimlinkmini-sorvik", BRIMLINK_TRAINER_PROGRAM},
      {"brimlink-cli", BRIMLINK_CLI_PROGRAM},
      {"brimlink-regsvr", BRIMLINK_REGSVR_PROGRAM},
      {"brimlink-sim", BRIMLINK_SIM_PROGRAM},
  };
  return programs;
}

struct Finished {
  std::optional<int> status;
  std::string out;
  std::string err;
};

class ProgramOptions : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(settings_.Path().empty()); }

  // No display, and settings folders of the test's own, so nothing but the
  // option can make the program succeed. output: a file for standard output
  // instead of the test's pipe.
  Finished Run(const Program& program, const std::vector<std::string>& args, const std::string& output = "") {
    std::vector<std::string> argv;
    if (!output.empty()) argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >" + output};
    argv.push_back(program.path);
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv, {{"DISPLAY", ""},
                              {"WAYLAND_DISPLAY", ""},
                              {"QT_QPA_PLATFORM", ""},
                              {"XDG_CONFIG_DIRS", settings_.Path()},
                              {"XDG_CONFIG_HOME", settings_.Path() + "/home"}});
    child.CloseStdin();
    Finished finished;
    finished.status = child.WaitForExit();
    finished.out = child.Out();
    finished.err = child.Err();
    return finished;
  }

  TempFolder settings_{"brimlink-options-test"};
};

TEST_F(ProgramOptions, HelpIsTheUsageOnStandardOutput) {
  for (const Program& program : Programs()) {
    SCOPED_TRACE(program.name);
    const Finished help = Run(program, {"--help"});
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.err, "");
    // help2man takes the synopsis from "Usage:" lines and the OPTIONS
    // section from an "Options:" line.
    EXPECT_TRUE(help.out.starts_with("Usage: " + program.name + " ")) << help.out;
    EXPECT_NE(help.out.find("\n  or:  " + program.name + " --help|--version\n"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("\nOptions:\n"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--version "), std::string::npos) << help.out;
    EXPECT_TRUE(help.out.ends_with("\n"));

    const Finished shortHelp = Run(program, {"-h"});
    EXPECT_EQ(shortHelp.status, 0);
    EXPECT_EQ(shortHelp.out, help.out);
  }
}

TEST_F(ProgramOptions, VersionIsTheControlLibrarysVersion) {
  for (const Program& program : Programs()) {
    SCOPED_TRACE(program.name);
    const Finished version = Run(program, {"--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, program.name + " " + brimlink::control::kVersionText + "\n");
    EXPECT_EQ(version.err, "");
  }
  const std::string text = brimlink::control::kVersionText;
  EXPECT_EQ(text, std::to_string(brimlink::control::kFileVersion[0]) + "." +
                      std::to_string(brimlink::control::kFileVersion[1]) + "." +
                      std::to_string(brimlink::control::kFileVersion[2]));
}

TEST_F(ProgramOptions, LostOutputIsAFailure) {
  for (const Program& program : Programs()) {
    for (const char* option : {"--help", "--version"}) {
      SCOPED_TRACE(program.name + " " + option);
      const Finished full = Run(program, {option}, "/dev/full");
      EXPECT_EQ(full.status, 1);
      EXPECT_NE(full.err.find("cannot write standard output: No space left on device"), std::string::npos)
          << full.err;
    }
  }
}

// The trainer without a display still refuses to start, and says why; only
// the two information options work without one.
TEST_F(ProgramOptions, TheTrainerNeedsADisplayForAnythingElse) {
  const Program& trainer = Programs().front();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{}, {"-style", "fusion"}}) {
    const Finished run = Run(trainer, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("there is no display"), std::string::npos) << run.err;
  }
}

// brimlink-sim's --version after a --com is the module's firmware version;
// only alone does it ask for the program's.
TEST_F(ProgramOptions, SimulatorVersionOnlyAlone) {
  const Program& sim = Programs().back();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--version", "2.10"}, {"--version", "--com", "7"}, {"--com", "7", "--version"}}) {
    const Finished run = Run(sim, args);
    EXPECT_EQ(run.status, 2) << args.size();
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--version"), std::string::npos) << run.err;
  }
}

}  // namespace
