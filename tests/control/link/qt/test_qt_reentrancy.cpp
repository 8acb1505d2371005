// Host event handlers that run inside ProcessReceived and re-enter the
// control: one that pumps while more data arrives for the same channel, one
// that calls the module and waits for its answers, one that closes the
// channel. Real serial-type worker, real event loop.
#include <algorithm>

#include "QtLinkHarness.h"
#include "control/link/ModuleOperations.h"

namespace brimlink::qttest {
namespace {

std::vector<std::uint32_t> ValuesOf(const std::vector<Raised>& events) {
  std::vector<std::uint32_t> values;
  for (const auto& e : events) values.push_back(e.value);
  return values;
}

TEST(QtReentrancy, DataArrivingWhileAHandlerPumpsIsProcessedInOrderDuringItsWait) {
  QtLinkHarness link;
  link.AddSerialModule(5, ModuleConfig::Defaults(Model::USB, 1));
  CommandChannel& channel = link.Channel(0);
  ASSERT_EQ(channel.OpenSerialChannel(5, 5), 5u);
  const link::ModuleRecord& record = link.Record(1);

  bool handlerRan = false;
  std::vector<std::uint32_t> valuesSeenInHandler;
  std::uint32_t imageSeenInHandler = 0;
  link.onRaise = [&](const Raised& e) {
    if (e.word != 0 || e.value != 1 || handlerRan) return;
    handlerRan = true;
    // More reports for this channel while the handler waits.
    for (int k = 0; k < 2; ++k) {
      link.AtModule(0, [k](VirtualModule& m) { m.SetInputWord(0, static_cast<std::uint16_t>(2 + k), Now()); });
      link.PumpUntil([&] { return record.inputWords[0] == static_cast<std::uint32_t>(2 + k); }, 3000ms);
    }
    valuesSeenInHandler = ValuesOf(link.EventsOf(1, 0));
    imageSeenInHandler = record.inputWords[0];
  };

  link.AtModule(0, [](VirtualModule& m) { m.SetInputWord(0, 1, Now()); });
  ASSERT_TRUE(link.PumpUntil([&] { return link.EventsOf(1, 0).size() >= 3; }));
  link::WaitPumping(30);

  ASSERT_TRUE(handlerRan);
  // The handler's waits took the new reports, each announced at once.
  EXPECT_EQ(valuesSeenInHandler, (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(imageSeenInHandler, 3u);
  const auto events = link.EventsOf(1, 0);
  EXPECT_EQ(ValuesOf(events), (std::vector<std::uint32_t>{1, 2, 3}));
  for (const auto& e : events) EXPECT_TRUE(e.insideProcess) << e.value;
  EXPECT_EQ(record.inputWords[0], 3u);
  EXPECT_EQ(channel.LineLength(), 0u);
  channel.CloseChannel();
}

// What a host does most: when an input switches, ask the module and switch
// an output, from the handler. Every answer arrives in the handler's waits.
TEST(QtReentrancy, CallsFromInsideTheHandlerGetTheModulesAnswers) {
  QtLinkHarness link;
  ModuleSlot& slot = link.AddSerialModule(7, ModuleConfig::Defaults(Model::USB, 1));
  CommandChannel& channel = link.Channel(0);
  ASSERT_EQ(channel.OpenSerialChannel(7, 7), 7u);
  link::ModuleRecord& record = link.Record(1);
  // The opening's two commands are both answered "setup1"; the second answer
  // may come after the channel is ready.
  ASSERT_TRUE(link.PumpUntil(
      [&] { return std::count(link.traceLines.begin(), link.traceLines.end(), "RX COM 7:\tsetup1") == 2; }));
  link.AtModule(0, [](VirtualModule& m) { m.Receive("MAW1.0=0021\r", Now()); });
  ASSERT_TRUE(link.PumpUntil([&] { return record.lastReply == "AW1.0=0021"; }));

  int handled = 0;
  std::uint32_t readBack = 0;
  std::string version;
  bool pendingAfterWrite = true;
  link.onRaise = [&](const Raised& e) {
    if (e.word != 0 || e.value != 0x10) return;
    ++handled;
    record.outputWords[0] = 0;  // so the read must come from the module
    readBack = link::ReadOutputWord(record, 0, link);
    version = link::SendAndReceive(record, "DV", link);
    link::WriteOutputWord(record, 0, e.value, link);
    pendingAfterWrite = record.outputPending[0];
  };
  slot.Locked([](VirtualModule& m) { m.ClearReceivedCommands(); });
  // The report that raises the event and a second one in the same batch.
  link.AtModule(0, [](VirtualModule& m) {
    m.SetInputWord(0, 0x10, Now());
    m.SetInputWord(0, 0x11, Now());
  });
  ASSERT_TRUE(link.PumpUntil([&] { return handled == 1 && link.HasEvent(1, 0, 0x11); }));
  EXPECT_EQ(readBack, 0x21u);
  EXPECT_EQ(version, "V=2.10");
  EXPECT_FALSE(pendingAfterWrite);
  EXPECT_EQ(record.outputWords[0], 0x10u);
  const auto commands = slot.Locked([](VirtualModule& m) { return m.ReceivedCommands(); });
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "MAW1.0=0010"), 1) << "the write was repeated";
  EXPECT_EQ(ValuesOf(link.EventsOf(1, 0)), (std::vector<std::uint32_t>{0x10, 0x11}));
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
  std::size_t eventsAtClose = 0;
  link.onRaise = [&](const Raised& e) {
    if (e.module != 2 || e.word != 0 || e.value != 0x11 || closed) return;
    channel.CloseChannel();
    closed = true;
    eventsAtClose = link.raised.size();
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

  // The closing dialogue's wait may still take the rest of the batch; once
  // the channel is closed nothing of the old connection is announced.
  ASSERT_FALSE(link.EventsOf(2, 0).empty());
  EXPECT_EQ(link.EventsOf(2, 0).front().value, 0x11u);
  EXPECT_EQ(link.raised.size(), eventsAtClose) << "an event of the closed connection came after the close";
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
