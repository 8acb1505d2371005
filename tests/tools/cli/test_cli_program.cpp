// brimlink-cli as a program: what its exit status and its error lines tell
// the script that runs it.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

using brimlink::testing::ChildProcess;
using brimlink::testing::TempFolder;

class CliProgram : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(settings_.Path().empty()); }

  // The program with standard output on `output` ("" for the test's pipe),
  // in a settings folder of the test's own.
  std::optional<int> Run(const std::vector<std::string>& args, const std::string& output = "") {
    std::vector<std::string> argv;
    if (!output.empty()) argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" >" + output};
    argv.emplace_back(BRIMLINK_CLI_PROGRAM);
    argv.insert(argv.end(), args.begin(), args.end());
    child_ = std::make_unique<ChildProcess>(argv,
                                            std::map<std::string, std::string>{{"XDG_CONFIG_DIRS", settings_.Path()}});
    if (!child_->Started()) return std::nullopt;
    child_->CloseStdin();
    return child_->WaitForExit();
  }

  TempFolder settings_{"brimlink-cli-test"};
  std::unique_ptr<ChildProcess> child_;
};

TEST_F(CliProgram, OutputThatCannotBeWrittenIsAFailure) {
  const std::vector<std::vector<std::string>> commandLines = {{"--help"}, {"-c", "typelib; GetModuleType 1"}};
  for (const auto& args : commandLines) {
    EXPECT_EQ(Run(args), 0) << args.back() << "\n" << child_->Err();
    EXPECT_FALSE(child_->Out().empty()) << args.back();

    EXPECT_EQ(Run(args, "/dev/full"), 1) << args.back() << "\n" << child_->Err();
    // Said once, however many lines were lost.
    const std::string& err = child_->Err();
    const std::string said = "error: cannot write standard output: No space left on device";
    ASSERT_NE(err.find(said), std::string::npos) << err;
    EXPECT_EQ(err.find(said, err.find(said) + 1), std::string::npos) << err;
  }
}

TEST_F(CliProgram, ControlBytesOfTheInputReachStandardErrorEscaped) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"-c", "\x1B]0;owned\x07; GetModuleType 1"}, 1, "error: unknown method 'owned\\x07'"},
      {{"--\x1B[2J"}, 2, "brimlink-cli: unknown option '--\\x1B[2J'"},
      {{"--class", "\x9B" "31m"}, 1, "error: cannot create the control \\x9B" "31m"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), c.status) << c.error;
    EXPECT_NE(child_->Err().find(c.error), std::string::npos) << child_->Err();
    for (const std::string* stream : {&child_->Err(), &child_->Out()}) {
      EXPECT_EQ(stream->find('\x1B'), std::string::npos) << c.error;
      EXPECT_EQ(stream->find('\x07'), std::string::npos) << c.error;
      EXPECT_EQ(stream->find('\x9B'), std::string::npos) << c.error;
    }
  }
  // The good command after the bad ones still ran.
  ASSERT_EQ(Run(cases[0].args), 1);
  EXPECT_NE(child_->Out().find("GetModuleType = 0"), std::string::npos) << child_->Out();
}

}  // namespace
