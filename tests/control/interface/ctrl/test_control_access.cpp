// Connect and OpenSerial on devices that are there but that the user may not
// open: the trace names each node with its owner, group and mode, and the
// user is told once per call what fixes it. Nothing is said otherwise.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

// Before Qt's headers, which define "signals".
#include "support/ChildProcess.h"
// clang-format off
#include "ControlBench.h"
#include "control/link/DeviceAccess.h"
// clang-format on

namespace brimlink::ctrltest {
namespace {

using sim::UsbCall;

// The control's trace lines while alive, without their time stamps.
class TraceLines final : public link::TraceView {
 public:
  explicit TraceLines(link::TraceLog& log) : log_(log) {
    log_.AttachView(this);
    log_.SetTracing(true);
  }
  ~TraceLines() override { log_.AttachView(nullptr); }
  TraceLines(const TraceLines&) = delete;
  TraceLines& operator=(const TraceLines&) = delete;
  void AppendLine(std::string_view line) override { lines.emplace_back(line.substr(line.find('\t') + 1)); }
  std::vector<std::string> StartingWith(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : lines)
      if (line.starts_with(prefix)) found.push_back(line);
    return found;
  }
  std::vector<std::string> lines;

 private:
  link::TraceLog& log_;
};

constexpr std::string_view kMessage = "message: Zugriff verweigert: ";

std::string GroupNameOf(gid_t gid) {
  const group* entry = getgrgid(gid);
  return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

TEST(ControlAccess, ADeniedUsbModuleIsTracedAndTheUserToldOncePerConnect) {
  ControlBench bench(IniValues{.useSerial = "N"});
  // A file of the test's own stands for the device node.
  const std::string node = bench.pty.SettingsFolder() + "/usb-node";
  std::ofstream(node) << "";
  ASSERT_EQ(::chmod(node.c_str(), 0664), 0);
  sim::SimulatedUsbDevice denied;
  denied.productId = 0x5C40;
  denied.locationId = 0x01230000;
  denied.module = ModuleConfig::Defaults(Model::USB, 1);
  denied.accessDenied = true;
  denied.deviceNode = node;
  const std::size_t deniedNumber = bench.bus.Plug(denied);
  bench.PlugUsb(0x01240000, ModuleConfig::Defaults(Model::USB, 2));
  auto control = bench.Create();

  struct stat info {};
  ASSERT_EQ(::stat(node.c_str(), &info), 0);
  const std::string traced = "ACCESS_DENIED:\tUSB Loc1230000 bus 1 address 1 " + node + ": owner " +
                             link::EffectiveUserName() + ", group " + GroupNameOf(info.st_gid) +
                             ", mode 0664: Permission denied";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    TraceLines trace(control->Trace());
    // The other module is found all the same.
    EXPECT_EQ(Call(*control, "Connect").I2(), 0x2);
    EXPECT_EQ(trace.StartingWith("ACCESS_DENIED"), std::vector<std::string>{traced});
    const std::vector<std::string> messages = trace.StartingWith("message:");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].starts_with(kMessage)) << messages[0];
    EXPECT_NE(messages[0].find("USB-Modul Loc1230000 (Bus 1, Ger\u00e4t 1)"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("udev-Regel des Pakets brimlink"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("aus- und wieder einstecken"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[0].find("adduser"), std::string::npos) << "no group fixes a USB device node";
  }
  // Tried once per Connect: the second open attempt only changes the baud rate.
  EXPECT_EQ(bench.bus.ArgumentsOf(UsbCall::OpenByIndex, deniedNumber).size(), 2u);

  // With the rule installed and the module plugged in again, it is found and
  // nothing is said.
  bench.bus.SetAccessDenied(deniedNumber, false);
  TraceLines trace(control->Trace());
  EXPECT_EQ(Call(*control, "Connect").I2(), 0x3);
  EXPECT_TRUE(trace.StartingWith("ACCESS_DENIED").empty());
  EXPECT_TRUE(trace.StartingWith("message:").empty()) << trace.StartingWith("message:").front();
}

// What a Connect run by another user left: its result, the denials it traced
// and the messages it gave, one per line.
struct Outcome {
  std::string all;  // everything, for failure messages
  std::string found;
  std::vector<std::string> denials;
  std::vector<std::string> messages;
};

Outcome Parse(const std::string& text) {
  Outcome outcome;
  outcome.all = text;
  std::istringstream in(text);
  std::getline(in, outcome.found);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("ACCESS_DENIED")) outcome.denials.push_back(line);
    if (line.starts_with("message:")) outcome.messages.push_back(line);
    if (line.starts_with("Testing COM211")) outcome.denials.push_back("tested outside the table: " + line);
  }
  return outcome;
}

class ControlSerialAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
    const group* dialout = getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "this system has no group dialout";
    dialoutGid_ = dialout->gr_gid;
    module_ = bench_.AddSerialModule(205, ModuleConfig::Defaults(Model::R6, 1));
    ASSERT_NE(module_, nullptr);
    // The same kind of node, outside the search table (COM200-210).
    outside_ = bench_.AddSerialModule(211, ModuleConfig::Defaults(Model::R6, 2));
    ASSERT_NE(outside_, nullptr);
    for (const std::string& slave : {module_->SlavePath(), outside_->SlavePath()}) {
      ASSERT_EQ(::chown(slave.c_str(), 0, dialoutGid_), 0);
      ASSERT_EQ(::chmod(slave.c_str(), 0660), 0);
    }
    // The other user must reach the settings folder and its ports/ links.
    const std::filesystem::path settings = bench_.pty.SettingsFolder();
    for (const auto& folder : {settings.parent_path().parent_path(), settings.parent_path()})
      ASSERT_EQ(::chmod(folder.c_str(), 0755), 0) << folder;
    control_ = bench_.Create();
  }

  // Runs `calls` as uid/gid 65534 without supplementary groups (so not in
  // dialout) in a child process; nothing it opens starts a thread.
  Outcome AsAnotherUser(const std::function<std::string()>& calls) {
    const auto answer = testing::RunAsUser(65534, 65534, [&] {
      TraceLines trace(control_->Trace());
      std::string text = calls() + "\n";
      for (const std::string& line : trace.lines) text += line + "\n";
      return text;
    });
    if (!answer) {
      ADD_FAILURE() << "the child did not run";
      return {};
    }
    return Parse(*answer);
  }

  std::string Denial() const {
    return "ACCESS_DENIED:\tCOM205 " + module_->SlavePath() + ": owner root, group dialout, mode 0660: Permission denied";
  }

  static void ExpectGroupAdvice(const std::string& message, const std::string& slave) {
    EXPECT_TRUE(message.starts_with(kMessage)) << message;
    EXPECT_NE(message.find("serielle Schnittstelle COM205 (" + slave + ")"), std::string::npos) << message;
    const passwd* other = getpwuid(65534);
    const std::string user = other != nullptr ? other->pw_name : "65534";
    EXPECT_NE(message.find("den Benutzer " + user + " in die Gruppe dialout aufnehmen (sudo adduser " + user +
                           " dialout)"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("ab- und wieder anmelden"), std::string::npos) << message;
    EXPECT_EQ(message.find("COM211"), std::string::npos) << "a port outside the search table: " << message;
  }

  ControlBench bench_{IniValues{.useUsb = "N"}};
  sim::PtyModule* module_ = nullptr;
  sim::PtyModule* outside_ = nullptr;
  gid_t dialoutGid_ = 0;
  ba::ComPtr<CBrimlinkCtrl> control_;
};

TEST_F(ControlSerialAccess, ConnectNamesTheNodeAndTellsWhichGroupToJoinOncePerCall) {
  const Outcome outcome = AsAnotherUser([&] {
    const std::string first = std::to_string(control_->Connect());
    return first + " " + std::to_string(control_->Connect());
  });
  EXPECT_EQ(outcome.found, "0 0");
  EXPECT_EQ(outcome.denials, (std::vector<std::string>{Denial(), Denial()})) << outcome.all;
  ASSERT_EQ(outcome.messages.size(), 2u);
  for (const std::string& message : outcome.messages) ExpectGroupAdvice(message, module_->SlavePath());

  // Root may open it: the module is found and nothing is said.
  TraceLines trace(control_->Trace());
  EXPECT_EQ(Call(*control_, "Connect").I2(), 0x1);
  EXPECT_TRUE(trace.StartingWith("ACCESS_DENIED").empty());
  EXPECT_TRUE(trace.StartingWith("message:").empty()) << trace.StartingWith("message:").front();
  EXPECT_TRUE(trace.StartingWith("Testing COM211").empty());
}

TEST_F(ControlSerialAccess, OpenSerialTellsOnceThoughItTriesThePortTwice) {
  // By number first, then in the scan: one message about one port.
  const Outcome outcome = AsAnotherUser([&] { return std::to_string(control_->OpenSerial(205)); });
  EXPECT_EQ(outcome.found, "2");
  EXPECT_EQ(outcome.denials, (std::vector<std::string>{Denial(), Denial()})) << outcome.all;
  ASSERT_EQ(outcome.messages.size(), 1u);
  ExpectGroupAdvice(outcome.messages[0], module_->SlavePath());
  EXPECT_EQ(outcome.messages[0].find("COM205", outcome.messages[0].find("COM205") + 1), std::string::npos)
      << "the port is named once: " << outcome.messages[0];

  // A port outside the search table, asked for by number, is not tried at
  // all, so there is nothing to tell.
  const Outcome outside = AsAnotherUser([&] { return std::to_string(control_->OpenSerial(211)); });
  EXPECT_EQ(outside.denials, std::vector<std::string>{Denial()}) << outside.all;
  ASSERT_EQ(outside.messages.size(), 1u);
  EXPECT_EQ(outside.messages[0].find("COM211"), std::string::npos) << outside.messages[0];
}

}  // namespace
}  // namespace brimlink::ctrltest
