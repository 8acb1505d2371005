// A control's worth of link in simulated time: the module table, eight
// channels, virtual modules on loopback ports, and a host whose pumping wait
// advances a simulated clock one millisecond at a time, delivers what the
// modules have due and dispatches the queued notifications. No thread, no
// event loop, no device.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/link/ChannelHost.h"
#include "control/link/CommandChannel.h"
#include "control/link/Trace.h"
#include "tools/virtual_module/LoopbackPort.h"
#include "tools/virtual_module/VirtualModule.h"

namespace brimlink::testing {

using link::ChannelState;
using link::CommandChannel;
using link::PortType;
using sim::Millis;

struct RaisedEvent {
  int module;
  int word;
  std::uint32_t value;
  bool operator==(const RaisedEvent&) const = default;
};

class SimulatedLink : public link::ChannelHost, public link::PortOwner, public link::TransportFactory {
 public:
  SimulatedLink() {
    link::ResetModuleTable(table);
    for (int i = 0; i < link::kChannelCount; ++i) {
      channels.push_back(std::make_unique<CommandChannel>(i, table, *this));
      channelPointers.push_back(channels.back().get());
    }
  }
  ~SimulatedLink() override {
    for (auto& c : channels) c.reset();
  }

  // A module on COM n (busy: opens answered "access denied" first).
  sim::VirtualModule& AddSerialModule(std::uint32_t com, sim::ModuleConfig config, int busyOpens = 0) {
    auto& slot = serial[com];
    slot.module = std::make_unique<sim::VirtualModule>(config);
    slot.busyOpens = busyOpens;
    return *slot.module;
  }
  sim::VirtualModule& AddUsbModule(std::uint32_t location, sim::ModuleConfig config) {
    usb.push_back({location, std::make_unique<sim::VirtualModule>(config)});
    return *usb.back().module;
  }

  // Bytes arriving on a channel's line as one read, past its module; they are
  // parsed at the next pump.
  void Inject(CommandChannel& channel, std::string_view bytes) {
    if (auto* port = dynamic_cast<sim::LoopbackPort*>(channel.Transport())) port->InjectReceived(bytes);
  }

  // --- ChannelHost
  void WaitPumping(int milliseconds) override {
    ++waits;
    for (int i = 0; i < milliseconds; ++i) {
      now += Millis(1);
      Pump();
    }
    if (milliseconds <= 0) Pump();
  }
  link::PortOwner& Owner() override { return *this; }
  link::TransportFactory& Transports() override { return *this; }
  void RaiseInputWordChanged(int module, int word, std::uint32_t value) override {
    raised.push_back({module, word, value});
    if (onRaise) onRaise(module, word, value);
  }
  bool PostInputWordChanged(int module, int word, std::uint32_t value) override {
    if (failPosts) return false;
    posted.push_back({module, word, value});
    return true;
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void DeviceDenied(const link::DeniedDevice& device) override { denied.push_back(device); }

  // --- PortOwner
  void PostDataReceived(PortType type, std::uint32_t key) override { notifications.push_back({type, key}); }
  void ReportPortFailure(PortType, std::uint32_t, std::string title, std::string text) override {
    messages.push_back(title + ": " + text);
  }

  // --- TransportFactory
  bool TestSerialPort(std::uint32_t com) override {
    link::TraceNumber("Testing COM", com);
    return serial.count(com) != 0;
  }
  std::unique_ptr<link::CCommunicationPort> CreateSerialPort() override {
    return std::make_unique<sim::LoopbackPort>(
        PortType::Serial,
        [this](std::uint32_t com) {
          sim::LoopbackTarget t;
          auto it = serial.find(com);
          if (it == serial.end()) return t;
          t.module = it->second.module.get();
          t.portKey = com;
          ++it->second.opens;
          if (it->second.failCode != 0) t.openResult = it->second.failCode;
          if (it->second.busyOpens > 0) {
            --it->second.busyOpens;
            t.openResult = 5;
          }
          return t;
        },
        [this] { return now; });
  }
  std::unique_ptr<link::CCommunicationPort> CreateUsbPort() override {
    return std::make_unique<sim::LoopbackPort>(
        PortType::Usb,
        [this](std::uint32_t index) {
          sim::LoopbackTarget t;
          if (index < usb.size()) {
            t.module = usb[index].module.get();
            t.portKey = usb[index].location;
          }
          return t;
        },
        [this] { return now; });
  }
  std::uint32_t UsbLocationId(int index) override {
    return index >= 0 && static_cast<std::size_t>(index) < usb.size() ? usb[static_cast<std::size_t>(index)].location
                                                                       : 0;
  }

  // Delivers due module output and dispatches queued notifications, then the
  // posted input events, as the control's receiver would.
  void Pump() {
    for (auto* channel : channelPointers) {
      if (auto* port = dynamic_cast<sim::LoopbackPort*>(channel->Transport())) port->Deliver(now);
    }
    while (!notifications.empty()) {
      const auto [type, key] = notifications.front();
      notifications.pop_front();
      Dispatch(type, key);
    }
    while (!posted.empty()) {
      const RaisedEvent e = posted.front();
      posted.pop_front();
      raised.push_back(e);
      if (onRaise) onRaise(e.module, e.word, e.value);
    }
  }

  void Dispatch(PortType type, std::uint32_t key) {
    ++dispatches;
    if (CommandChannel* channel = CommandChannel::FindReceiver(channelPointers, type, key)) channel->ProcessReceived();
  }

  CommandChannel& Channel(int i) { return *channels[static_cast<std::size_t>(i)]; }
  link::ModuleRecord& Record(int n) { return table[static_cast<std::size_t>(n)]; }

  Millis now{0};
  link::ModuleTable table;
  std::vector<std::unique_ptr<CommandChannel>> channels;
  std::vector<CommandChannel*> channelPointers;
  struct SerialSlot {
    std::unique_ptr<sim::VirtualModule> module;
    int busyOpens = 0;
    int failCode = 0;  // every open fails with this code
    int opens = 0;
  };
  std::map<std::uint32_t, SerialSlot> serial;
  struct UsbSlot {
    std::uint32_t location;
    std::unique_ptr<sim::VirtualModule> module;
  };
  std::vector<UsbSlot> usb;
  std::deque<std::pair<PortType, std::uint32_t>> notifications;
  std::deque<RaisedEvent> posted;
  std::vector<RaisedEvent> raised;
  std::vector<std::string> messages;
  std::vector<link::DeniedDevice> denied;
  std::function<void(int, int, std::uint32_t)> onRaise;
  bool failPosts = false;
  int waits = 0;
  int dispatches = 0;
};

// Captures trace lines while alive.
class TraceCapture : public link::TraceView {
 public:
  TraceCapture() {
    log.AttachView(this);
    log.WindowCreated();
    link::SetCurrentTraceLog(&log);
  }
  ~TraceCapture() override { link::ClearCurrentTraceLog(&log); }
  void AppendLine(std::string_view line) override {
    std::string_view text = line.substr(line.find('\t') + 1);  // without the time stamp
    lines.emplace_back(text);
  }
  bool Contains(std::string_view text) const {
    for (const auto& l : lines)
      if (l == text) return true;
    return false;
  }
  link::TraceLog log;
  std::vector<std::string> lines;
};

}  // namespace brimlink::testing
