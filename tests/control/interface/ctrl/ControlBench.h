// A control as a host creates it, with everything it can reach faked at the
// edges only: virtual modules on pseudo-terminals registered as COM ports in a
// temporary settings folder, and a simulated USB bus as its USB driver. Tests
// talk to the control through Invoke, by name, as a host does.
//
// The settings file is written before the control is created, so the control
// searches only COM200..COM210 (numbers that name no device without a ports/
// entry) and never touches a real serial line.
//
// Declare the bench before any control pointer: controls must go first.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "control/interface/BrimlinkCtrl.h"
#include "control/interface/BrimlinkInterface.h"
#include "control/link/qt/QtLinkHarness.h"
#include "control/link/qt/SerialPtyHarness.h"
#include "tools/virtual_module/SimulatedUsbBus.h"

namespace brimlink::ctrltest {

namespace ba = brimlink::automation;
using control::CBrimlinkCtrl;
using qttest::Clock;
using qttest::ElapsedMs;
using sim::Model;
using sim::ModuleConfig;
using namespace std::chrono_literals;

inline ba::Variant I2(int v) { return ba::Variant(static_cast<std::int16_t>(v)); }
inline ba::Variant I4(std::int32_t v) { return ba::Variant(v); }
inline ba::Variant R4(float v) { return ba::Variant(v); }
inline ba::Variant Str(std::u16string v) { return ba::Variant(std::move(v)); }

// One InputWordChanged as a sink received it.
struct Received {
  int modIndex;
  int wordIndex;
  std::int32_t value;
  bool operator==(const Received&) const = default;
};

class EventRecorder final : public ba::RefCounted<ba::BrimlinkEventSink> {
 public:
  void InputWordChanged(std::int16_t ModIndex, std::int16_t WordIndex, std::int32_t Value) override {
    events.push_back({ModIndex, WordIndex, Value});
    if (onEvent) onEvent(events.back());
  }
  bool Has(int mod, int word, std::int32_t value) const {
    for (const auto& e : events)
      if (e.modIndex == mod && e.wordIndex == word && e.value == value) return true;
    return false;
  }
  std::vector<Received> events;
  std::function<void(const Received&)> onEvent;
};

struct IniValues {
  std::string useUsb = "Y";
  std::string useSerial = "Y";
  std::string searchCom = qttest::kOwnComNumbers;
  std::string excludeCom;
  std::string showAtStartup = "N";
};

class ControlBench {
 public:
  explicit ControlBench(const IniValues& ini = {}) {
    // A program that runs a widget application has made it already.
    if (QCoreApplication::instance() == nullptr) qttest::TestApp();
    WriteIni(ini);
  }

  void WriteIni(const IniValues& ini) {
    std::ofstream out(IniPath(), std::ios::trunc);
    out << "[PortSettings]\nUseUSB=" << ini.useUsb << "\nUseSerial=" << ini.useSerial
        << "\nSearchCOM=" << ini.searchCom << "\nExcludeCOM=" << ini.excludeCom << "\n[Debug]\nShowAtStartup="
        << ini.showAtStartup << "\n";
  }
  void RemoveIni() { std::filesystem::remove(IniPath()); }
  std::string IniPath() const { return pty.SettingsFolder() + "/Brimlink.ini"; }
  std::string ReadIni() const {
    std::ifstream in(IniPath());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  sim::PtyModule* AddSerialModule(std::uint32_t com, ModuleConfig config) { return pty.AddModule(com, config); }

  std::size_t PlugUsb(std::uint32_t location, ModuleConfig module, std::uint16_t productId = 0x5C40) {
    sim::SimulatedUsbDevice device;
    device.productId = productId;
    device.locationId = location;
    device.module = module;
    return bus.Plug(device);
  }

  ba::ComPtr<CBrimlinkCtrl> Create() {
    control::ControlOptions options;
    options.usbDriver = &bus;
    options.controlFolder = pty.SettingsFolder() + "/unused-control-folder";
    return ba::MakeObject<CBrimlinkCtrl>(options);
  }

  // Pumps until cond holds or the time-out passes; returns cond.
  static bool PumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 3000ms) {
    const auto deadline = Clock::now() + timeout;
    while (!cond()) {
      if (Clock::now() >= deadline) return cond();
      link::WaitPumping(5);
    }
    return true;
  }

  // Declared first: the bus outlives every control a test creates.
  sim::SimulatedUsbBus bus;
  qttest::PtyBench pty;
};

// The command lines a virtual module has received so far, and forgetting them.
inline std::vector<std::string> CommandsAt(sim::PtyModule& module) {
  std::vector<std::string> commands;
  module.WithModule([&](sim::VirtualModule& m) { commands = m.ReceivedCommands(); });
  return commands;
}
inline void ClearCommands(sim::PtyModule& module) {
  module.WithModule([](sim::VirtualModule& m) { m.ClearReceivedCommands(); });
}
inline std::uint16_t ModuleOutput(sim::PtyModule& module, int word) {
  std::uint16_t value = 0;
  module.WithModule([&](sim::VirtualModule& m) { value = m.OutputWord(word); });
  return value;
}
inline void SetModuleInput(sim::PtyModule& module, int word, std::uint16_t value) {
  module.WithModule([&](sim::VirtualModule& m) { m.SetInputWord(word, value, qttest::Now()); });
}
inline std::size_t CountOf(const std::vector<std::string>& commands, std::string_view text) {
  return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), text));
}

// Invokes a method by name as a host does; expects `expected` as the result code.
inline ba::Variant Call(ba::Dispatch& target, std::string_view name, std::initializer_list<ba::Variant> args = {},
                        ba::HRESULT expected = ba::S_OK) {
  ba::DISPID id = 0;
  const std::u16string wide(name.begin(), name.end());
  EXPECT_EQ(target.GetIDsOfNames(wide, &id), ba::S_OK) << name;
  ba::Variant result;
  const std::vector<ba::Variant> list(args);
  EXPECT_EQ(target.Invoke(id, list, &result, nullptr), expected) << name;
  return result;
}

// Advises a recorder on the control's event connection point.
inline ba::ComPtr<EventRecorder> Advise(CBrimlinkCtrl& control, std::uint32_t* cookie = nullptr) {
  ba::ComPtr<ba::EventConnection> point;
  EXPECT_EQ(ba::ComPtr<CBrimlinkCtrl>(&control).As(ba::IID_IConnectionPoint, point), ba::S_OK);
  auto recorder = ba::MakeObject<EventRecorder>();
  std::uint32_t ignored = 0;
  EXPECT_EQ(point->Advise(recorder.get(), cookie != nullptr ? cookie : &ignored), ba::S_OK);
  return recorder;
}

}  // namespace brimlink::ctrltest
