// Parser throughput: a realistic mixed stream (binary input packets, "EW"
// reports, "AW" acknowledgements, a counter value) through ProcessReceived,
// one 1024-byte read at a time, on a channel that owns module 1.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "control/link/CommandChannel.h"

namespace {

using namespace brimlink::link;

// A transport whose "device" is the benchmark: Feed appends a read.
class BenchPort final : public CCommunicationPort {
 public:
  int Open(PortOwner& owner, std::uint32_t, int) override {
    owner_ = &owner;
    return 0;
  }
  int Close() override { return 1; }
  // Answers the opening dialogue as a module 1 with version 2.10 would.
  void Write(std::string_view text) override {
    if (text == "\r" || text == "setup0\r") Feed("setup1\r", 7);
    if (text == "DV\r") Feed("V=2.10\r", 7);
  }
  PortType Type() const override { return PortType::Serial; }
  void Feed(const char* data, std::size_t n) { AppendReceived(data, n); }

 protected:
  void WorkerBody() override {}
};

class BenchHost final : public ChannelHost, public PortOwner, public TransportFactory {
 public:
  void WaitPumping(int) override {
    if (channel != nullptr) channel->ProcessReceived();
  }
  PortOwner& Owner() override { return *this; }
  TransportFactory& Transports() override { return *this; }
  void RaiseInputWordChanged(int, int, std::uint32_t) override { ++events; }
  bool PostInputWordChanged(int, int, std::uint32_t) override {
    ++events;
    return true;
  }
  void ShowMessage(const std::string&) override {}
  void PostDataReceived(PortType, std::uint32_t) override {}
  void ReportPortFailure(PortType, std::uint32_t, std::string, std::string) override {}
  bool TestSerialPort(std::uint32_t com) override { return com == 1; }
  std::unique_ptr<CCommunicationPort> CreateSerialPort() override {
    auto port = std::make_unique<BenchPort>();
    last = port.get();
    return port;
  }
  std::unique_ptr<CCommunicationPort> CreateUsbPort() override { return nullptr; }
  std::uint32_t UsbLocationId(int) override { return 0; }

  CommandChannel* channel = nullptr;
  BenchPort* last = nullptr;
  long events = 0;
};

std::string MixedStream(std::size_t size) {
  std::string s;
  char line[32];
  for (unsigned i = 0; s.size() < size; ++i) {
    const auto v = static_cast<std::uint16_t>(i * 2654435761u >> 16);
    s += static_cast<char>('2' + 2 * (i % 4));
    s += static_cast<char>(v >> 8);
    s += static_cast<char>(v & 0xFF);
    s += '\r';
    std::snprintf(line, sizeof line, "EW1.0=%04X\r", v & 0xFF);
    s += line;
    if (i % 3 == 0) {
      std::snprintf(line, sizeof line, "AW1.0=%04X\r", v);
      s += line;
    }
    if (i % 7 == 0) s += "C1.0=0012\r";
  }
  return s;
}

void ParserThroughput(benchmark::State& state) {
  ModuleTable table;
  ResetModuleTable(table);
  BenchHost host;
  CommandChannel channel(0, table, host);
  host.channel = &channel;
  if (channel.OpenSerialChannel(1, 1) != 1 || table[1].channel != &channel) {
    state.SkipWithError("the opening dialogue failed");
    return;
  }
  const std::string stream = MixedStream(std::size_t{1} << 20);
  const std::size_t chunk = CCommunicationPort::kBufferSize;
  std::size_t pos = 0;
  for (auto _ : state) {
    host.last->Feed(stream.data() + pos, chunk);
    channel.ProcessReceived();
    pos += chunk;
    if (pos + chunk > stream.size()) pos = 0;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk));
  state.counters["events"] = benchmark::Counter(static_cast<double>(host.events), benchmark::Counter::kIsRate);
}
BENCHMARK(ParserThroughput);

}  // namespace

BENCHMARK_MAIN();
