// The trainer's binding to the control, against the Brimlink.ocx beside the
// test program and a virtual R6 module on a pseudo-terminal registered as
// COM201 in a private settings folder (the search is limited to COM200-210
// without USB, so no port of the machine is opened).
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/TempFolder.h"
#include "tools/virtual_module/PtyModule.h"
#include "trainer/core/ControlBinding.h"

namespace brimlink::trainer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "trainer_tests";
  static char* argv[] = {name, nullptr};
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  static QApplication application(argc, argv);
  return application;
}

sim::Millis Now() {
  return std::chrono::duration_cast<sim::Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 3000ms) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

struct InputEvent {
  int modIndex;
  int wordIndex;
  std::int32_t value;
  bool operator==(const InputEvent&) const = default;
};

class ControlBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application();
    ASSERT_FALSE(root.Path().empty());
    if (const char* old = std::getenv("XDG_CONFIG_DIRS")) oldXdg = old;
    ::setenv("XDG_CONFIG_DIRS", (root.Path() + "/xdg").c_str(), 1);
    const fs::path settings = fs::path(root.Path()) / "xdg" / "Brimlink";
    fs::create_directories(settings / "ports");
    std::ofstream(settings / "Brimlink.ini")
        << "[PortSettings]\nUseUSB=N\nUseSerial=Y\nSearchCOM=200-210\nExcludeCOM=\n[Debug]\nShowAtStartup=N\n";

    module = std::make_unique<sim::PtyModule>(sim::ModuleConfig::Defaults(sim::Model::R6, 1));
    ASSERT_TRUE(module->Start()) << module->Error();
    fs::create_symlink(module->SlavePath(), settings / "ports" / "COM201");
  }

  void TearDown() override {
    binding.reset();
    module.reset();
    if (oldXdg) {
      ::setenv("XDG_CONFIG_DIRS", oldXdg->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_DIRS");
    }
  }

  // Creates the control with a handler that records every event.
  void Create() {
    binding = std::make_unique<ControlBinding>();
    ASSERT_TRUE(binding->Create([this](std::int16_t m, std::int16_t w, std::int32_t v) {
      events.push_back({m, w, v});
      if (onEvent) onEvent();
    })) << binding->Error();
  }

  std::uint16_t ModuleOutput() {
    std::uint16_t value = 0;
    module->WithModule([&](sim::VirtualModule& m) { value = m.OutputWord(0); });
    return value;
  }
  void SetModuleInput(std::uint16_t value) {
    module->WithModule([&](sim::VirtualModule& m) { m.SetInputWord(0, value, Now()); });
  }
  bool Received(InputEvent wanted) const {
    for (const InputEvent& e : events)
      if (e == wanted) return true;
    return false;
  }

  testing::TempFolder root{"trainer-binding"};
  std::optional<std::string> oldXdg;
  std::unique_ptr<sim::PtyModule> module;
  std::unique_ptr<ControlBinding> binding;
  std::vector<InputEvent> events;
  std::function<void()> onEvent;
};

TEST_F(ControlBindingTest, ConnectFindsTheModuleAndReportsItsPortAndType) {
  Create();
  EXPECT_EQ(binding->Connect(), 1);  // module number 1 found
  EXPECT_EQ(binding->GetComPort(0), 201);
  EXPECT_EQ(binding->GetModuleType(0), 5);  // an R6 reports version 1.x
  EXPECT_FALSE(binding->Busy());
}

TEST_F(ControlBindingTest, TheWholeOutputWordReachesTheModule) {
  Create();
  ASSERT_EQ(binding->Connect(), 1);
  binding->SetDigitalOutput0(0x00A5);
  EXPECT_TRUE(PumpUntil([&] { return ModuleOutput() == 0x00A5; })) << ModuleOutput();
  // A word with every bit set is a negative 16-bit value; it is passed, not
  // refused, and switches all eight outputs on.
  binding->SetDigitalOutput0(-1);
  EXPECT_TRUE(PumpUntil([&] { return ModuleOutput() == 0x00FF; })) << ModuleOutput();
  binding->SetDigitalOutput0(0);
  EXPECT_TRUE(PumpUntil([&] { return ModuleOutput() == 0; })) << ModuleOutput();
}

TEST_F(ControlBindingTest, InputChangesReachTheHandler) {
  Create();
  ASSERT_EQ(binding->Connect(), 1);
  SetModuleInput(9);
  EXPECT_TRUE(PumpUntil([&] { return Received({1, 0, 9}); }));
  SetModuleInput(0xFFFF);
  EXPECT_TRUE(PumpUntil([&] { return Received({1, 0, 0xFFFF}); }));
}

TEST_F(ControlBindingTest, IdleFollowsOnlyTheOutermostCall) {
  Create();
  int idle = 0;
  bool busyDuringEvent = false;
  binding->onIdle = [&] { ++idle; };
  // An input already set is reported while Connect waits for the module; a
  // call made from that event is nested inside Connect.
  SetModuleInput(9);
  onEvent = [&] {
    if (!binding->Busy()) return;
    busyDuringEvent = true;
    EXPECT_EQ(binding->GetModuleType(0), 5);
    EXPECT_EQ(idle, 0);
  };
  ASSERT_EQ(binding->Connect(), 1);
  ASSERT_TRUE(busyDuringEvent) << "no event arrived during Connect";
  EXPECT_EQ(idle, 1);
  EXPECT_FALSE(binding->Busy());

  binding->GetComPort(0);
  EXPECT_EQ(idle, 2);
}

TEST_F(ControlBindingTest, TheControlWindowIsAChildOfTheGivenParent) {
  Create();
  QWidget panel;
  QWidget* window = binding->Window(&panel);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->parentWidget(), &panel);
  // Asked again, the same window moves to the new parent.
  QWidget other;
  EXPECT_EQ(binding->Window(&other), window);
  EXPECT_EQ(window->parentWidget(), &other);
  binding->Release();
}

TEST_F(ControlBindingTest, AfterReleaseCallsDoNothingAndNoEventArrives) {
  Create();
  ASSERT_EQ(binding->Connect(), 1);
  binding->Release();
  EXPECT_FALSE(binding->Created());
  EXPECT_EQ(binding->Window(nullptr), nullptr);
  EXPECT_EQ(binding->Connect(), 0);
  EXPECT_EQ(binding->GetModuleType(0), 0);
  events.clear();
  SetModuleInput(3);
  EXPECT_FALSE(PumpUntil([&] { return !events.empty(); }, 300ms));
}

}  // namespace
}  // namespace brimlink::trainer
