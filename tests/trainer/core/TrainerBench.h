// The trainer's main window as a pupil meets it, offscreen: a temporary
// settings folder whose Brimlink.ini lets the control search only
// COM200..COM210 (numbers that name no device without a ports/ entry) and no
// USB, virtual modules on pseudo-terminals registered as those ports, and a
// Main whose message boxes, end of program and sounds are recorded instead of
// shown, ended and played.
//
// The control is the real one, created from the Brimlink.ocx beside the test
// program. Everything runs on the test's thread except the modules, which are
// reached through PtyModule::WithModule.
//
// Declaration order matters: the window (and with it the control and its
// open ports) goes before the modules and the settings folder.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "control/link/qt/SerialPtyHarness.h"
#include "trainer/core/Main.h"

namespace brimlink::trainertest {

using namespace std::chrono_literals;
using qttest::Clock;
using sim::Model;
using sim::ModuleConfig;
using trainer::BackColour;
using trainer::ForeColour;
using trainer::Main;

inline constexpr std::uint32_t kModuleCom = 201;

inline constexpr trainer::VbColour kYellow = 0x0000FFFF;
inline constexpr trainer::VbColour kGrey = 0x00808080;
inline constexpr trainer::VbColour kConnectedGreen = 0x0080FF80;
inline constexpr trainer::VbColour kStationColour = 0x0080FFFF;
inline constexpr trainer::VbColour kOutputPlate = 0x00FFD2D2;
inline constexpr trainer::VbColour kButtonFace = 0x8000000F;
inline constexpr trainer::VbColour kFlashColour = 0x008080FF;

// The widget application every test shares (the window needs widgets).
class WidgetApplication : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "trainer_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

// Processes events until cond holds or the time-out passes; returns cond.
inline bool PumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 3000ms) {
  const auto deadline = Clock::now() + timeout;
  while (!cond()) {
    if (Clock::now() >= deadline) return cond();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// Processes events for a while (to see that something does NOT happen).
inline void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

class TrainerBench {
 public:
  TrainerBench() { WriteIni(); }
  ~TrainerBench() { Close(); }
  TrainerBench(const TrainerBench&) = delete;
  TrainerBench& operator=(const TrainerBench&) = delete;

  // A virtual module of the model on COM201, before the window opens.
  sim::PtyModule* AddModule(Model model, int number = 1) {
    module_ = pty.AddModule(kModuleCom, ModuleConfig::Defaults(model, number));
    return module_;
  }

  // The program starts: the window as the pupil sees it.
  Main& Open() {
    trainer::MainEnvironment environment;
    environment.showMessage = [this](const std::string& title, const std::string& text) {
      messages.emplace_back(title, text);
      log.push_back("message " + title);
    };
    environment.quit = [this] {
      ++quitCalls;
      log.emplace_back("quit");
    };
    environment.showInformation = [this](const std::string& title, const std::string& text) {
      informations.emplace_back(title, text);
    };
    environment.openUrl = [this](const std::string& url) { openedUrls.push_back(url); };
    main_ = std::make_unique<Main>(std::move(environment));
    main_->Sounds().onPlay = [this](std::string_view file) {
      sounds.emplace_back(file);
      log.push_back("sound " + std::string(file));
      if (onSound) onSound(file);
    };
    main_->show();
    QCoreApplication::processEvents();
    return *main_;
  }

  // The window and its control go (the control closes its ports).
  void Close() {
    main_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  Main& Window() { return *main_; }
  sim::PtyModule* Module() { return module_; }

  // Clicks "Zoek en verbind" and waits until the search has ended.
  bool ClickConnect() {
    main_->CMD_Verbinding->click();
    return PumpUntil([this] { return !main_->ReageerNiet && !main_->Control().Busy(); });
  }

  // The module's inputs change; waits until the window has seen the value.
  bool SetInputs(std::uint16_t value) {
    module_->WithModule([&](sim::VirtualModule& m) { m.SetInputWord(0, value, qttest::Now()); });
    return PumpUntil([&] { return main_->DecimaalIn == value; });
  }

  std::uint16_t ModuleOutput() {
    std::uint16_t value = 0;
    module_->WithModule([&](sim::VirtualModule& m) { value = m.OutputWord(0); });
    return value;
  }
  // Waits until the module's output word 0 is value.
  bool ModuleOutputBecomes(std::uint16_t value, std::chrono::milliseconds timeout = 3000ms) {
    return PumpUntil([&] { return ModuleOutput() == value; }, timeout);
  }

  std::vector<std::string> ModuleCommands() {
    std::vector<std::string> commands;
    module_->WithModule([&](sim::VirtualModule& m) { commands = m.ReceivedCommands(); });
    return commands;
  }
  void ClearModuleCommands() {
    module_->WithModule([](sim::VirtualModule& m) { m.ClearReceivedCommands(); });
  }
  // Commands that switch output word 0 ("MAW<m>.0=...").
  std::vector<std::string> OutputWrites() {
    std::vector<std::string> writes;
    for (const std::string& c : ModuleCommands())
      if (c.starts_with("MAW") && c.find(".0=") != std::string::npos) writes.push_back(c);
    return writes;
  }

  void SetFaults(const sim::Faults& faults) {
    module_->WithModule([&](sim::VirtualModule& m) { m.MutableConfig().faults = faults; });
  }

  std::vector<std::pair<std::string, std::string>> messages;
  std::vector<std::string> sounds;
  std::vector<std::string> log;  // sounds, messages and the end, in order
  int quitCalls = 0;
  std::vector<std::pair<std::string, std::string>> informations;  // the "Help" boxes
  std::vector<std::string> openedUrls;
  std::function<void(std::string_view)> onSound;

  qttest::PtyBench pty;  // before the window: it must outlive the control

 private:
  void WriteIni() {
    std::ofstream out(pty.SettingsFolder() + "/Brimlink.ini", std::ios::trunc);
    out << "[PortSettings]\nUseUSB=N\nUseSerial=Y\nSearchCOM=" << qttest::kOwnComNumbers
        << "\nExcludeCOM=\n[Debug]\nShowAtStartup=N\n";
  }

  sim::PtyModule* module_ = nullptr;
  std::unique_ptr<Main> main_;
};

// The fill colours of the eight lamps, in pupil's numbering (input or
// output 1 first).
inline std::vector<trainer::VbColour> InputLamps(const Main& main) {
  std::vector<trainer::VbColour> lamps;
  for (int k = 1; k <= 8; ++k) lamps.push_back(main.Shape_LampjeIn[static_cast<std::size_t>(k)]->FillColour());
  return lamps;
}
inline std::vector<trainer::VbColour> OutputLamps(const Main& main) {
  std::vector<trainer::VbColour> lamps;
  for (std::size_t i = 0; i < 8; ++i) lamps.push_back(main.Shape_Lampje[i]->FillColour());
  return lamps;
}
// Lamps lit for the bits of value (bit 0 is lamp 1).
inline std::vector<trainer::VbColour> LampsFor(unsigned value) {
  std::vector<trainer::VbColour> lamps;
  for (int i = 0; i < 8; ++i) lamps.push_back((value >> i) & 1u ? kYellow : kGrey);
  return lamps;
}

inline void ClickOutput(Main& main, int output) { main.CMD_SetReset[static_cast<std::size_t>(output - 1)]->click(); }

inline std::string Title(const QGroupBox* frame) { return frame->title().toStdString(); }
inline std::string Caption(const QAbstractButton* button) { return button->text().toStdString(); }
inline std::string Caption(const QLabel* label) { return label->text().toStdString(); }

}  // namespace brimlink::trainertest
