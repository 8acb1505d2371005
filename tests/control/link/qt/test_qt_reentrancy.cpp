// Host event handlers that run inside ProcessReceived and re-enter the
// control: one that pumps while more data arrives for the same channel, one
// that closes the channel. Real serial-type worker, real event loop.
#include "QtLinkHarness.h"

namespace brimlink::qttest {
namespace {

std::vector<std::uint32_t> ValuesOf(const std::vector<Raised>& events) {
  std::vector<std::uint32_t> values;
  for (const auto& e : events) values.push_back(e.value);
  return values;
}

TEST(QtReentrancy, DataArrivingWhileAHandlerPumpsIsProcessedAfterTheRunningBatch) {
  QtLinkHarness link;
  link.AddSerialModule(5, ModuleConfig::Defaults(Model::USB, 1));
  CommandChannel& channel = link.Channel(0);
  ASSERT_EQ(channel.OpenSerialChannel(5, 5), 5u);
  const link::ModuleRecord& record = link.Record(1);

  bool handlerRan = false;
  std::size_t eventsSeenInHandler = 0;
  std::uint32_t imageSeenInHandler = 0;
  std::size_t pendingBytesInHandler = 0;
  bool notifiedInHandler[2] = {false, false};
  link.onRaise = [&](const Raised& e) {
    if (e.word != 0 || e.value != 1 || handlerRan) return;
    handlerRan = true;
    // More reports for this channel while the handler waits, each one
    // notified (and so offered to ProcessReceived) during the wait.
    for (int k = 0; k < 2; ++k) {
      const int before = link.dataNotifications;
      link.AtModule(0, [k](VirtualModule& m) { m.SetInputWord(0, static_cast<std::uint16_t>(2 + k), Now()); });
      notifiedInHandler[k] = link.PumpUntil([&] { return link.dataNotifications > before; }, 3000ms);
    }
    link.WaitPumping(20);
    eventsSeenInHandler = link.EventsOf(1, 0).size();
    imageSeenInHandler = record.inputWords[0];
    pendingBytesInHandler = channel.Transport()->ReceivedCount();
  };

  link.AtModule(0, [](VirtualModule& m) { m.SetInputWord(0, 1, Now()); });
  ASSERT_TRUE(link.PumpUntil([&] { return link.EventsOf(1, 0).size() >= 3; }));
  link::WaitPumping(30);

  ASSERT_TRUE(handlerRan);
  EXPECT_TRUE(notifiedInHandler[0] && notifiedInHandler[1]);
  // Inside the handler nothing of the new data was parsed: it waited.
  EXPECT_EQ(eventsSeenInHandler, 1u) << "ProcessReceived was re-entered from the handler's wait";
  EXPECT_EQ(imageSeenInHandler, 1u);
  EXPECT_EQ(pendingBytesInHandler, 2 * std::string_view("EW1.0=0002\r").size());
  // Afterwards all of it, in order, none of it inside the first handler.
  const auto events = link.EventsOf(1, 0);
  EXPECT_EQ(ValuesOf(events), (std::vector<std::uint32_t>{1, 2, 3}));
  for (const auto& e : events) {
    EXPECT_EQ(e.nesting, 0) << "value " << e.value << " was raised inside another event's handler";
    EXPECT_TRUE(e.insideProcess);
  }
  EXPECT_EQ(record.inputWords[0], 3u);
  channel.CloseChannel();
}

TEST(QtReentrancy, HandlerThatClosesTheChannelEndsTheBatchSafely) {
  QtLinkHarness link;
  ModuleSlot& slot = link.AddSerialModule(6, ModuleConfig::Defaults(Model::USB, 2));
  CommandChannel& channel = link.Channel(3);
  ASSERT_EQ(channel.OpenSerialChannel(6, 6), 6u);
  channel.SendCommand("MS2=04");
  ASSERT_TRUE(link.PumpUntil([&] { return link.Record(2).lastReply == "S2=04"; }));

  bool closed = false;
  link.onRaise = [&](const Raised& e) {
    if (e.module != 2 || e.word != 0 || e.value != 0x11 || closed) return;
    channel.CloseChannel();
    closed = true;
    EXPECT_EQ(channel.State(), ChannelState::Closed);
    EXPECT_EQ(channel.Transport(), nullptr);
    EXPECT_EQ(link.Record(2).present, 0);
  };
  // One batch: a word 0 report, a word 3 packet, another word 0 report and
  // a reply; the handler of the first closes the channel.
  link.AtModule(3, [](VirtualModule& m) {
    m.SetInputWord(0, 0x11, Now());
    m.SetInputWord(3, 0x3333, Now());
    m.SetInputWord(0, 0x22, Now());
    m.Receive("DC2.0\r", Now());
  });
  ASSERT_TRUE(link.PumpUntil([&] { return closed; }));
  link::WaitPumping(50);

  EXPECT_EQ(ValuesOf(link.EventsOf(2, 0)), (std::vector<std::uint32_t>{0x11}));
  EXPECT_TRUE(link.EventsOf(2, 3).empty()) << "the batch went on after its handler closed the channel";
  const link::ModuleRecord& record = link.Record(2);
  EXPECT_EQ(record.present, 0);
  EXPECT_EQ(record.channel, nullptr);
  EXPECT_EQ(record.inputWords[0], 0u);
  EXPECT_EQ(record.inputWords[3], 0u);
  EXPECT_TRUE(record.lastReply.empty());
  EXPECT_EQ(channel.State(), ChannelState::Closed);
  EXPECT_EQ(channel.LineLength(), 0u);

  // The channel opens again on the same port and works.
  link.onRaise = nullptr;
  slot.Locked([](VirtualModule& m) { m.ClearReceivedCommands(); });
  ASSERT_EQ(channel.OpenSerialChannel(6, 6), 6u);
  link.AtModule(3, [](VirtualModule& m) { m.SetInputWord(0, 0x44, Now()); });
  EXPECT_TRUE(link.PumpUntil([&] { return link.HasEvent(2, 0, 0x44); }));
  channel.CloseChannel();
}

}  // namespace
}  // namespace brimlink::qttest
