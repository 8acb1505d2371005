// The channel end to end on a real event loop with real workers: opening,
// initialisation and input reports over serial-type (posted notifications)
// and USB-type (synchronous notifications) in-memory ports, and bursts of
// input packets.
#include <algorithm>
#include <atomic>
#include <thread>

#include "QtLinkHarness.h"

namespace brimlink::qttest {
namespace {

using link::type_code::kR6;
using link::type_code::kUSB;

// The module's output so far is dropped (settings made before the port opens
// must not reach the channel as reports).
void DropOutput(VirtualModule& m) {
  char sink[256];
  while (m.TakeOutput(Now() + 10000ms, sink, sizeof sink) > 0) {
  }
  m.ClearReceivedCommands();
}

std::vector<std::string> CommandsOf(ModuleSlot& slot) {
  return slot.Locked([](VirtualModule& m) { return m.ReceivedCommands(); });
}

bool EndsWith(const std::vector<std::string>& all, const std::vector<std::string>& tail) {
  return all.size() >= tail.size() && std::equal(tail.begin(), tail.end(), all.end() - tail.size());
}

TEST(QtSerialLink, OpensInitialisesTwoModelsAndRaisesInputChanges) {
  QtLinkHarness link;
  ModuleSlot& usbModel = link.AddSerialModule(3, ModuleConfig::Defaults(Model::USB, 1));
  ModuleSlot& r6 = link.AddSerialModule(4, ModuleConfig::Defaults(Model::R6, 2));
  usbModel.Locked([](VirtualModule& m) {
    m.SetInputWord(0, 0x00A5, Now());
    m.SetInputWord(3, 0x1234, Now());
    m.Receive("MAW1.2=BEEF\r", Now());
    DropOutput(m);
  });
  r6.Locked([](VirtualModule& m) {
    m.SetInputWord(0, 0x005A, Now());
    DropOutput(m);
  });

  CommandChannel& c0 = link.Channel(0);
  CommandChannel& c1 = link.Channel(1);
  ASSERT_EQ(c0.OpenSerialChannel(3, 3), 3u);
  ASSERT_EQ(c1.OpenSerialChannel(4, 4), 4u);
  EXPECT_EQ(c0.State(), ChannelState::Ready);
  EXPECT_EQ(c0.ModuleNumber(), 1);
  EXPECT_EQ(c0.VersionMajor(), 2u);
  EXPECT_EQ(c0.VersionMinor(), 10u);
  EXPECT_EQ(c1.ModuleNumber(), 2);
  EXPECT_EQ(c1.VersionMajor(), 1u);
  EXPECT_EQ(c1.VersionMinor(), 5u);
  EXPECT_EQ(link.Record(1).channel, &c0);
  EXPECT_EQ(link.Record(2).channel, &c1);
  EXPECT_TRUE(link.TraceContains("RX COM 3:\tV=2.10"));
  EXPECT_TRUE(link.TraceContains("CHANNEL_READY"));

  c0.InitialiseModule(1);
  EXPECT_EQ(c0.State(), ChannelState::Ready);
  c1.InitialiseModule(2);
  EXPECT_EQ(c1.State(), ChannelState::Ready);

  const link::ModuleRecord& m1 = link.Record(1);
  const link::ModuleRecord& m2 = link.Record(2);
  EXPECT_EQ(m1.typeCode, kUSB);
  EXPECT_EQ(m2.typeCode, kR6);
  EXPECT_EQ(m1.inputWords[0], 0x00A5u);
  EXPECT_EQ(m1.inputWords[3], 0x1234u);
  EXPECT_EQ(m1.outputWords[1], 0xBEEFu);
  EXPECT_EQ(m2.inputWords[0], 0x005Au);
  EXPECT_EQ(m1.lastReply, "ME=4");
  EXPECT_EQ(m2.lastReply, "T2=01");
  EXPECT_TRUE(EndsWith(CommandsOf(usbModel), {"DEW1.8", "DEW1.6", "DEW1.4", "DEW1.2", "DEW1.0", "DAW1.4", "DAW1.2",
                                              "DAW1.0", "MT1=01", "MM1=20", "MS1=00", "MME=4"}));
  EXPECT_TRUE(EndsWith(CommandsOf(r6), {"DEW2.0", "DAW2.0", "MT2=01"}));
  // The initialisation's reads announced the new values: word 0 at once,
  // word 3 once its posted event came round.
  EXPECT_TRUE(link.HasEvent(1, 0, 0x00A5));
  EXPECT_TRUE(link.HasEvent(2, 0, 0x005A));
  EXPECT_TRUE(link.PumpUntil([&] { return link.HasEvent(1, 3, 0x1234); }));

  // Word 0 changes at the module: raised during a wait, inside the parse.
  link.AtModule(0, [](VirtualModule& m) { m.SetInputWord(0, 0x0081, Now()); });
  link.AtModule(1, [](VirtualModule& m) { m.SetInputWord(0, 0x0042, Now()); });
  ASSERT_TRUE(link.PumpUntil([&] { return link.HasEvent(1, 0, 0x0081) && link.HasEvent(2, 0, 0x0042); }));
  for (const Raised& e : link.raised) {
    if (e.word != 0) continue;
    EXPECT_FALSE(e.posted) << "word 0 must be raised at once, not through the posted event";
    EXPECT_TRUE(e.insideProcess) << "word 0 must be raised inside the reply processing";
  }
  EXPECT_EQ(m1.inputWords[0], 0x0081u);
  EXPECT_EQ(m2.inputWords[0], 0x0042u);
  EXPECT_TRUE(link.TraceContains("RX COM 3:\tEW1.0=0081"));

  // Word 3 once the auto-send mask covers it: the packet is parsed inside
  // ProcessReceived, the event comes only when the posted event is dispatched.
  c0.SendCommand("MS1=0F");
  ASSERT_TRUE(link.PumpUntil([&] { return m1.lastReply == "S1=0F"; }));
  EXPECT_TRUE(m1.inputAutoSent[1] && m1.inputAutoSent[2] && m1.inputAutoSent[3] && m1.inputAutoSent[4]);
  int eventsWhenParsed = -1;
  link.afterProcess = [&](CommandChannel& channel) {
    // Still inside the receiver's handling of the data notification.
    if (&channel == &c0 && eventsWhenParsed < 0 && m1.inputWords[3] == 0xC3D4) {
      eventsWhenParsed = static_cast<int>(link.EventsOf(1, 3).size());
    }
  };
  const std::size_t word3Before = link.EventsOf(1, 3).size();
  link.AtModule(0, [](VirtualModule& m) { m.SetInputWord(3, 0xC3D4, Now()); });
  ASSERT_TRUE(link.PumpUntil([&] { return link.HasEvent(1, 3, 0xC3D4); }));
  EXPECT_EQ(eventsWhenParsed, static_cast<int>(word3Before))
      << "the word 3 event was raised inside the parse (or the image was not updated by it)";
  const auto word3 = link.EventsOf(1, 3);
  ASSERT_EQ(word3.size(), word3Before + 1);
  EXPECT_TRUE(word3.back().posted);
  EXPECT_FALSE(word3.back().insideProcess);
  EXPECT_EQ(link.EventsOf(2, 3).size(), 0u);
  EXPECT_TRUE(link.messages.empty());

  c0.CloseChannel();
  c1.CloseChannel();
  EXPECT_EQ(c0.State(), ChannelState::Closed);
  EXPECT_EQ(c0.Transport(), nullptr);
  EXPECT_EQ(link.Record(1).present, 0);
  EXPECT_EQ(link.Record(2).channel, nullptr);
  EXPECT_TRUE(EndsWith(CommandsOf(usbModel), {"setup0"}));
}

TEST(QtUsbLink, OpensInitialisesAndRaisesInputChanges) {
  QtLinkHarness link;
  ModuleSlot& module = link.AddUsbModule(0x2A10, ModuleConfig::Defaults(Model::USB, 3));
  CommandChannel& channel = link.Channel(0);
  ASSERT_TRUE(channel.OpenUsbChannel(0));
  EXPECT_EQ(channel.PortTypeCode(), PortType::Usb);
  EXPECT_EQ(channel.PortKey(), 0x2A10u);
  EXPECT_EQ(channel.ModuleNumber(), 3);
  EXPECT_TRUE(link.TraceContains("RX USB Loc2A10:\tV=2.10"));
  channel.InitialiseModule(3);
  EXPECT_EQ(channel.State(), ChannelState::Ready);
  const link::ModuleRecord& record = link.Record(3);
  EXPECT_EQ(record.typeCode, kUSB);
  EXPECT_EQ(record.lastReply, "ME=4");

  link.AtModule(0, [](VirtualModule& m) { m.SetInputWord(0, 0x1001, Now()); });
  ASSERT_TRUE(link.PumpUntil([&] { return link.HasEvent(3, 0, 0x1001); }));
  EXPECT_FALSE(link.EventsOf(3, 0).back().posted);
  EXPECT_TRUE(link.EventsOf(3, 0).back().insideProcess);

  channel.SendCommand("MS3=02");
  ASSERT_TRUE(link.PumpUntil([&] { return record.lastReply == "S3=02"; }));
  link.AtModule(0, [](VirtualModule& m) { m.SetInputWord(2, 0x0D0D, Now()); });  // value bytes are CRs
  ASSERT_TRUE(link.PumpUntil([&] { return link.HasEvent(3, 2, 0x0D0D); }));
  EXPECT_TRUE(link.EventsOf(3, 2).back().posted);
  EXPECT_EQ(record.inputWords[2], 0x0D0Du);

  channel.CloseChannel();
  EXPECT_EQ(channel.State(), ChannelState::Closed);
  EXPECT_EQ(link.Record(3).present, 0);
  EXPECT_TRUE(EndsWith(CommandsOf(module), {"setup0"}));
}

// The USB worker hands every read to the GUI thread synchronously. A close
// while it waits there must not deadlock: here the worker is blocked on the
// very notification whose handler closes the channel.
TEST(QtUsbLink, CloseFromAHandlerWhileTheWorkerWaitsForItReturnsInBoundedTime) {
  QtLinkHarness link;
  link.AddUsbModule(0x0042, ModuleConfig::Defaults(Model::USB, 1));
  CommandChannel& channel = link.Channel(0);
  ASSERT_TRUE(channel.OpenUsbChannel(0));
  long long closeMs = -1;
  std::size_t eventsAtClose = 0;
  link.onRaise = [&](const Raised& e) {
    if (e.word != 0 || e.value != 0x0007 || closeMs >= 0) return;
    const auto start = Clock::now();
    channel.CloseChannel();
    closeMs = ElapsedMs(start);
    eventsAtClose = link.raised.size();
    EXPECT_EQ(channel.State(), ChannelState::Closed);
    EXPECT_EQ(channel.Transport(), nullptr);
  };
  link.AtModule(0, [](VirtualModule& m) {
    m.SetInputWord(0, 0x0007, Now());
    m.SetInputWord(0, 0x0008, Now());  // the rest of the same batch
  });
  const auto start = Clock::now();
  ASSERT_TRUE(link.PumpUntil([&] { return closeMs >= 0; }, 10000ms));
  EXPECT_LT(closeMs, 3000);
  EXPECT_LT(ElapsedMs(start), 5000);
  link::WaitPumping(50);
  // The rest of the batch may be announced during the closing dialogue's
  // wait, never after the close.
  EXPECT_EQ(link.raised.size(), eventsAtClose) << "the batch went on after its handler closed the channel";
  EXPECT_EQ(link.Record(1).present, 0);
  EXPECT_EQ(link.Record(1).inputWords[0], 0u);
}

// A close from the test itself while the worker is blocked in a synchronous
// notification that nobody has dispatched yet. The module hands out one byte
// per read and always has more due, so the worker is back in a synchronous
// notification at every moment the GUI thread is not pumping, including the
// moment the transport is destroyed.
TEST(QtUsbLink, CloseWhileTheWorkerWaitsForTheGuiThreadReturnsInBoundedTime) {
  QtLinkHarness link;
  link.AddUsbModule(0x0043, ModuleConfig::Defaults(Model::USB, 1));
  CommandChannel& channel = link.Channel(0);
  ASSERT_TRUE(channel.OpenUsbChannel(0));
  // The module's answer to the opening's "setup0" may still be on its way.
  ASSERT_TRUE(link.PumpUntil([&] { return link.Record(1).lastReply == "setup1"; }));
  link::WaitPumping(20);
  ASSERT_EQ(channel.Transport()->ReceivedCount(), 0u);
  link.AtModule(0, [](VirtualModule& m) {
    m.MutableConfig().faults.splitBytes = true;
    const Millis now = Now();
    for (int i = 1; i <= 4000; ++i) m.SetInputWord(0, static_cast<std::uint16_t>(i), now);
  });
  // Not pumping: the first byte is appended and its notification waits.
  const auto deadline = Clock::now() + 3s;
  while (channel.Transport()->ReceivedCount() == 0 && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(channel.Transport()->ReceivedCount(), 1u);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(channel.Transport()->ReceivedCount(), 1u) << "the worker did not wait for the GUI thread";
  const auto start = Clock::now();
  channel.CloseChannel();
  EXPECT_LT(ElapsedMs(start), 3000);
  EXPECT_EQ(channel.State(), ChannelState::Closed);
  EXPECT_EQ(link.Record(1).present, 0);
  // Some of the reports were parsed while the closing dialogue waited.
  EXPECT_FALSE(link.EventsOf(1, 0).empty());
}

// Many input packets quickly: only the newest value per batch counts, the
// final image is the last value sent, and there are never more events than
// values.
void BurstOfWord2(bool usb, bool fromAnotherThread) {
  QtLinkHarness link;
  CommandChannel& channel = link.Channel(0);
  if (usb) {
    link.AddUsbModule(0x77, ModuleConfig::Defaults(Model::USB, 4));
    ASSERT_TRUE(channel.OpenUsbChannel(0));
  } else {
    link.AddSerialModule(9, ModuleConfig::Defaults(Model::USB, 4));
    ASSERT_EQ(channel.OpenSerialChannel(9, 9), 9u);
  }
  const link::ModuleRecord& record = link.Record(4);
  channel.SendCommand("MS4=02");
  ASSERT_TRUE(link.PumpUntil([&] { return record.lastReply == "S4=02"; }));

  constexpr int kValues = 200;
  // Distinct successive values; 0x0D0D and 0x0A0A are among them.
  auto valueOf = [](int i) { return static_cast<std::uint16_t>((i + 1) * 0x0101); };
  std::atomic<bool> fed{false};
  std::thread feeder;
  sim::InMemoryPort* port = link.Port(0);
  ASSERT_NE(port, nullptr);
  auto feed = [port, valueOf, &fed] {
    for (int i = 0; i < kValues; ++i) {
      port->WithModule([&](VirtualModule& m) { m.SetInputWord(2, valueOf(i), Now()); });
    }
    fed = true;
  };
  if (fromAnotherThread) {
    feeder = std::thread(feed);
  } else {
    feed();
  }
  const std::uint32_t last = valueOf(kValues - 1);
  const bool arrived = link.PumpUntil([&] {
    const auto events = link.EventsOf(4, 2);
    return fed && record.inputWords[2] == last && !events.empty() && events.back().value == last;
  });
  if (feeder.joinable()) feeder.join();
  if (!arrived) {
    // What the channel saw last, to tell a lost notification from a lost byte.
    const std::size_t n = link.traceLines.size();
    for (std::size_t i = n > 12 ? n - 12 : 0; i < n; ++i) ADD_FAILURE() << "trace: " << link.traceLines[i];
    ADD_FAILURE() << "bytes waiting " << channel.Transport()->ReceivedCount() << ", notifications "
                  << link.dataNotifications << ", events " << link.EventsOf(4, 2).size();
  }
  ASSERT_TRUE(arrived) << "image " << std::hex << record.inputWords[2];
  link::WaitPumping(50);  // anything still queued would come now

  EXPECT_EQ(record.inputWords[2], last);
  const auto events = link.EventsOf(4, 2);
  EXPECT_LE(events.size(), static_cast<std::size_t>(kValues));
  EXPECT_EQ(static_cast<int>(events.size()), link.posts);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().value, last);
  // In the order sent, each value at most once.
  int previous = -1;
  for (const Raised& e : events) {
    EXPECT_TRUE(e.posted);
    const int index = static_cast<int>(e.value / 0x0101) - 1;
    ASSERT_EQ(valueOf(index), e.value) << "a value that was never sent: " << std::hex << e.value;
    EXPECT_GT(index, previous) << "out of order or repeated";
    previous = index;
  }
  EXPECT_TRUE(link.messages.empty());
  channel.CloseChannel();
}

TEST(QtBurst, SerialPacketsFromAnotherThread) { BurstOfWord2(/*usb=*/false, /*fromAnotherThread=*/true); }
TEST(QtBurst, UsbPacketsFromAnotherThread) { BurstOfWord2(/*usb=*/true, /*fromAnotherThread=*/true); }

// All 200 packets in the receive buffer before the GUI thread looks: one
// batch, one event, the newest value.
TEST(QtBurst, SerialPacketsOfOneBatchAreCoalescedToTheNewest) {
  QtLinkHarness link;
  CommandChannel& channel = link.Channel(0);
  link.AddSerialModule(9, ModuleConfig::Defaults(Model::USB, 4));
  ASSERT_EQ(channel.OpenSerialChannel(9, 9), 9u);
  const link::ModuleRecord& record = link.Record(4);
  channel.SendCommand("MS4=02");
  ASSERT_TRUE(link.PumpUntil([&] { return record.lastReply == "S4=02"; }));
  link::WaitPumping(20);

  for (int i = 0; i < 200; ++i) {
    link.AtModule(0, [i](VirtualModule& m) { m.SetInputWord(2, static_cast<std::uint16_t>(0x100 + i), Now()); });
  }
  const auto deadline = Clock::now() + 5s;
  while (channel.Transport()->ReceivedCount() < 800 && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(channel.Transport()->ReceivedCount(), 800u);
  ASSERT_TRUE(link.PumpUntil([&] { return !link.EventsOf(4, 2).empty(); }));
  link::WaitPumping(50);
  const auto events = link.EventsOf(4, 2);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].value, 0x100u + 199);
  EXPECT_EQ(record.inputWords[2], 0x100u + 199);
  channel.CloseChannel();
}

}  // namespace
}  // namespace brimlink::qttest
