// Serial figures over pseudo-terminals, one line each:
//  - input latency: a virtual module changes input word 0 10 000 times; the
//    time from the change at the module to InputWordChanged on the GUI thread;
//  - the round trip of a read of output word 0 ("DAW" answered), made from
//    the InputWordChanged handler and, as the baseline, from outside any
//    handler, 2000 times each, alternating;
//  - a scan of COM1..COM255 with no module attached (every number mapped to a
//    device that is not there, so no real port of the machine is touched);
//  - the same scan with four silent pseudo-terminals among the numbers.
// The settings folder is a temporary one (XDG_CONFIG_DIRS).
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/link/CommandChannel.h"
#include "control/link/ControlReceiver.h"
#include "control/link/ModuleOperations.h"
#include "control/link/RangeList.h"
#include "control/link/SerialPort.h"
#include "control/link/WaitPumping.h"
#include "tools/virtual_module/PtyModule.h"

namespace {

using namespace brimlink;
using Clock = std::chrono::steady_clock;

class BenchControl final : public link::ChannelHost, public link::TransportFactory, public link::ControlMessageHandler {
 public:
  explicit BenchControl(std::string settings) : settings_(std::move(settings)), receiver_(*this) {
    link::ResetModuleTable(table_);
    channel_ = std::make_unique<link::CommandChannel>(0, table_, *this);
  }
  ~BenchControl() override { channel_.reset(); }

  void WaitPumping(int ms) override { link::WaitPumping(ms); }
  link::PortOwner& Owner() override { return receiver_; }
  link::TransportFactory& Transports() override { return *this; }
  void RaiseInputWordChanged(int, int word, std::uint32_t value) override {
    if (word == 0) {
      lastValue = value;
      lastRaised = Clock::now();
      if (onWordZero) onWordZero();
    }
  }
  bool PostInputWordChanged(int m, int w, std::uint32_t v) override { return receiver_.PostInputWordChanged(m, w, v); }
  void ShowMessage(const std::string&) override {}

  bool TestSerialPort(std::uint32_t com) override { return link::CSerialPort::PortTest(com, table, settings_); }
  std::unique_ptr<link::CCommunicationPort> CreateSerialPort() override {
    return std::make_unique<link::CSerialPort>(settings_, [](int ms) { link::WaitPumping(ms); });
  }
  std::unique_ptr<link::CCommunicationPort> CreateUsbPort() override { return nullptr; }
  std::uint32_t UsbLocationId(int) override { return 0; }

  void OnDataReceived(link::PortType type, std::uint32_t key) override {
    link::CommandChannel* channels[] = {channel_.get()};
    if (auto* c = link::CommandChannel::FindReceiver(channels, type, key)) c->ProcessReceived();
  }
  void OnInputWordChanged(int, int, std::uint32_t) override {}
  void OnTraceWindowClosed() override {}
  void OnPortFailure(link::PortType, std::uint32_t, const std::string&, const std::string&) override {}

  link::CommandChannel& Channel() { return *channel_; }
  link::ModuleRecord& Record(int n) { return table_[static_cast<std::size_t>(n)]; }
  link::ComPortSearchTable table;
  std::function<void()> onWordZero;
  std::uint32_t lastValue = 0xFFFFFFFF;
  Clock::time_point lastRaised;

 private:
  std::string settings_;
  link::ModuleTable table_;
  link::ControlReceiver receiver_;
  std::unique_ptr<link::CommandChannel> channel_;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

int Latency(const std::string& settings) {
  sim::PtyModule module(sim::ModuleConfig::Defaults(sim::Model::USB, 1));
  if (!module.Start()) {
    std::fprintf(stderr, "no pseudo-terminal: %s\n", module.Error().c_str());
    return 1;
  }
  std::filesystem::create_symlink(module.SlavePath(), settings + "/ports/COM200");
  BenchControl control(settings);
  control.table.Build(true, "200", "");
  if (control.Channel().OpenSerialChannel(200, 200) != 200) {
    std::fprintf(stderr, "the virtual module did not answer\n");
    return 1;
  }
  control.Channel().InitialiseModule(1);
  link::WaitPumping(50);

  constexpr int kChanges = 10000;
  std::vector<double> samples;
  samples.reserve(kChanges);
  for (int i = 1; i <= kChanges; ++i) {
    const auto value = static_cast<std::uint16_t>(i & 0xFF ? i : i + 1);
    const auto start = Clock::now();
    module.WithModule([&](sim::VirtualModule& m) {
      m.SetInputWord(0, value, std::chrono::duration_cast<sim::Millis>(start.time_since_epoch()));
    });
    const auto deadline = start + std::chrono::seconds(2);
    while (control.lastValue != value && Clock::now() < deadline) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    if (control.lastValue != value) {
      std::fprintf(stderr, "change %d was not reported\n", i);
      return 1;
    }
    samples.push_back(Ms(control.lastRaised - start));
  }
  std::sort(samples.begin(), samples.end());
  std::printf("input latency over a pseudo-terminal (%d changes): median %.3f ms, p99 %.3f ms, max %.3f ms\n",
              kChanges, samples[samples.size() / 2], samples[samples.size() * 99 / 100], samples.back());
  control.Channel().CloseChannel();
  std::filesystem::remove(settings + "/ports/COM200");
  return 0;
}

struct Spread {
  double median, p99, max;
};
Spread SpreadOf(std::vector<double>& samples) {
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[samples.size() * 99 / 100], samples.back()};
}

int HandlerRoundTrip(const std::string& settings) {
  sim::PtyModule module(sim::ModuleConfig::Defaults(sim::Model::USB, 1));
  if (!module.Start()) return 1;
  std::filesystem::create_symlink(module.SlavePath(), settings + "/ports/COM201");
  BenchControl control(settings);
  control.table.Build(true, "201", "");
  if (control.Channel().OpenSerialChannel(201, 201) != 201) return 1;
  control.Channel().InitialiseModule(1);
  link::WaitPumping(50);
  link::ModuleRecord& record = control.Record(1);

  constexpr int kCalls = 2000;
  std::vector<double> outside, inside;
  outside.reserve(kCalls);
  inside.reserve(kCalls);
  int unanswered = 0;
  control.onWordZero = [&] {
    const auto start = Clock::now();
    link::ReadOutputWord(record, 0, control);
    if (record.outputPending[0]) ++unanswered;
    inside.push_back(Ms(Clock::now() - start));
  };
  for (int i = 1; i <= kCalls; ++i) {
    auto start = Clock::now();
    link::ReadOutputWord(record, 0, control);
    outside.push_back(Ms(Clock::now() - start));

    const auto value = static_cast<std::uint16_t>(i);
    const std::size_t before = inside.size();
    start = Clock::now();
    module.WithModule([&](sim::VirtualModule& m) {
      m.SetInputWord(0, value, std::chrono::duration_cast<sim::Millis>(start.time_since_epoch()));
    });
    const auto deadline = start + std::chrono::seconds(2);
    while (inside.size() == before && Clock::now() < deadline) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    if (inside.size() == before) {
      std::fprintf(stderr, "change %d did not reach the handler\n", i);
      return 1;
    }
  }
  control.onWordZero = nullptr;
  const Spread out = SpreadOf(outside), in = SpreadOf(inside);
  std::printf("GetOutputWord round trip over a pseudo-terminal (%d calls each): outside a handler median %.3f ms, "
              "p99 %.3f ms, max %.3f ms; inside InputWordChanged median %.3f ms, p99 %.3f ms, max %.3f ms, "
              "%d unanswered\n",
              kCalls, out.median, out.p99, out.max, in.median, in.p99, in.max, unanswered);
  control.Channel().CloseChannel();
  std::filesystem::remove(settings + "/ports/COM201");
  return 0;
}

int Scan(const std::string& settings, int silentPorts) {
  for (int com = 1; com <= 255; ++com) {
    std::filesystem::create_symlink("/nonexistent/brimlink-bench-tty" + std::to_string(com),
                                    settings + "/ports/COM" + std::to_string(com));
  }
  std::vector<std::unique_ptr<sim::PtyModule>> silent;
  for (int k = 0; k < silentPorts; ++k) {
    auto config = sim::ModuleConfig::Defaults(sim::Model::USB, 1);
    config.faults.silent = true;
    auto module = std::make_unique<sim::PtyModule>(config);
    if (!module->Start()) return 1;
    const std::string link = settings + "/ports/COM" + std::to_string(50 * (k + 1));
    std::filesystem::remove(link);
    std::filesystem::create_symlink(module->SlavePath(), link);
    silent.push_back(std::move(module));
  }
  BenchControl control(settings);
  control.table.Build(true, "1-255", "");
  const auto start = Clock::now();
  const auto opened = control.Channel().OpenSerialChannel(1, 255);
  const double ms = Ms(Clock::now() - start);
  std::printf("serial scan of COM1..COM255, no module, %d silent pseudo-terminals: %.1f ms (opened %u)\n",
              silentPorts, ms, opened);
  for (int com = 1; com <= 255; ++com) std::filesystem::remove(settings + "/ports/COM" + std::to_string(com));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  char pattern[] = "/tmp/brimlink-bench-XXXXXX";
  const char* root = mkdtemp(pattern);
  if (root == nullptr) return 1;
  setenv("XDG_CONFIG_DIRS", root, 1);
  const std::string settings = std::string(root) + "/Brimlink";
  std::filesystem::create_directories(settings + "/ports");
  int rc = Latency(settings);
  if (rc == 0) rc = HandlerRoundTrip(settings);
  if (rc == 0) rc = Scan(settings, 0);
  if (rc == 0) rc = Scan(settings, 4);
  std::filesystem::remove_all(root);
  return rc;
}
