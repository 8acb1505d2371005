// The reply rules and the line assembler, fed byte streams on a channel that
// owns module 1 (and, where it matters, a second channel that owns module 2).
#include <gtest/gtest.h>

#include "support/SimulatedLink.h"

namespace brimlink::testing {
namespace {

using sim::Model;
using sim::ModuleConfig;

std::string Packet(char digit, std::uint16_t value) {
  return std::string{digit, static_cast<char>(value >> 8), static_cast<char>(value & 0xFF), '\r'};
}

// A ready channel on COM 3 owning module 1, whose module has gone quiet so
// that only the injected bytes arrive.
class ReplyRules : public ::testing::Test {
 protected:
  void SetUp() override { Open(Model::USB); }

  void Open(Model model) {
    module_ = &link.AddSerialModule(3, ModuleConfig::Defaults(model, 1));
    ASSERT_EQ(channel().OpenSerialChannel(3, 3), 3u);
    link.WaitPumping(20);
    module_->MutableConfig().faults.silent = true;
    link.raised.clear();
  }
  CommandChannel& channel() { return link.Channel(0); }
  link::ModuleRecord& record() { return link.Record(1); }
  void Feed(std::string_view bytes) {
    link.Inject(channel(), bytes);
    link.WaitPumping(0);
  }

  SimulatedLink link;
  sim::VirtualModule* module_ = nullptr;
};

TEST_F(ReplyRules, PacketWithValueBytesEqualToCrIsOnePacket) {
  record().inputAutoSent[1] = true;
  Feed(Packet('2', 0x0D0D));
  EXPECT_EQ(record().inputWords[1], 0x0D0Du);
  Feed(std::string("4\x0d") + "\x05\r");
  EXPECT_EQ(record().inputWords[2], 0x0D05u);
  // A packet arriving in single bytes assembles the same way.
  for (char c : Packet('8', 0x120D)) Feed(std::string_view(&c, 1));
  EXPECT_EQ(record().inputWords[4], 0x120Du);
  EXPECT_EQ(channel().LineLength(), 0u);
}

TEST_F(ReplyRules, PacketLongerThanFourBytesIsDiscarded) {
  Feed("2\x01\x02\x03\r");
  EXPECT_EQ(record().inputWords[1], 0u);
  EXPECT_EQ(channel().LineLength(), 0u);
  Feed("EW1.0=0003\r");
  EXPECT_EQ(record().inputWords[0], 3u);
}

TEST_F(ReplyRules, CounterLinesAreToldApartByLength) {
  Feed("C1.0=1\r");  // 7 bytes: acknowledgement of "MC"
  EXPECT_EQ(record().lastReply, "C1.0=1");
  EXPECT_EQ(record().counterValues[0], 0u);

  record().counterPending[1] = true;
  Feed("C1.1=0012\r");  // 10 bytes: counter value
  EXPECT_EQ(record().counterValues[1], 0x12u);
  EXPECT_FALSE(record().counterPending[1]);

  for (const char* line : {"C1.0=12\r", "C1.0=012\r", "C1.0=00123\r", "C1.2=0012\r", "C1.0=2\r", "C9.0=1\r"}) {
    SCOPED_TRACE(line);
    record().lastReply = "before";
    Feed(line);
    EXPECT_EQ(record().lastReply, "before");
    EXPECT_EQ(record().counterValues[0], 0u);
  }
}

TEST_F(ReplyRules, InputReportsInAllThreeFormsRaiseWordZeroAtOnce) {
  Feed("EW1.0=0001\r");
  Feed("e1000F2\r");
  Feed("#H100ABC\r");
  EXPECT_EQ(link.raised, (std::vector<RaisedEvent>{{1, 0, 1}, {1, 0, 0xF2}, {1, 0, 0xABC}}));
  EXPECT_EQ(record().lastReply, "#H100ABC");
}

TEST_F(ReplyRules, UnchangedValueRaisesNothingButClearsThePendingFlag) {
  Feed("EW1.2=0010\r");
  link.WaitPumping(1);
  ASSERT_EQ(link.raised.size(), 1u);
  record().inputPending[1] = 1;
  Feed("EW1.2=0010\r");
  link.WaitPumping(1);
  EXPECT_EQ(link.raised.size(), 1u);
  EXPECT_EQ(record().inputPending[1], 0u);
}

TEST_F(ReplyRules, WordsOneToFourArriveThroughThePostedEvent) {
  std::vector<std::string> order;
  link.onRaise = [&](int, int word, std::uint32_t) { order.push_back("event " + std::to_string(word)); };
  link.Inject(channel(), "EW1.6=0042\rEW1.0=0001\r");
  link.Pump();
  // Word 0 is raised while the batch is parsed, word 3 when the posted event
  // is dispatched afterwards.
  EXPECT_EQ(order, (std::vector<std::string>{"event 0", "event 3"}));
  EXPECT_EQ(link.raised.back(), (RaisedEvent{1, 3, 0x42}));
}

TEST_F(ReplyRules, FailedPostShowsTheMessageAndKeepsTheNewValue) {
  link.failPosts = true;
  Feed("EW1.4=0007\r");
  EXPECT_EQ(record().inputWords[2], 7u);
  EXPECT_EQ(link.messages, (std::vector<std::string>{"PostMessage Error"}));
  EXPECT_TRUE(link.raised.empty());
}

TEST_F(ReplyRules, BatchKeepsTheNewestPacketPerWordAndParsesThemAfterTheText) {
  std::string batch = Packet('4', 1) + "EW1.0=0005\r" + Packet('4', 2) + Packet('8', 9) + "B1=1\r" +
                      Packet('4', 3);
  link.Inject(channel(), batch);
  link.Pump();
  EXPECT_EQ(link.raised, (std::vector<RaisedEvent>{{1, 0, 5}, {1, 2, 3}, {1, 4, 9}}));
  EXPECT_EQ(record().inputWords[2], 3u);
  // The packets come after the batch's last text reply.
  EXPECT_EQ(record().lastReply, "B1=1");
}

TEST_F(ReplyRules, BacklogStillKeepsTheNewestPacketOfEachWord) {
  // 600 bytes of noise lines and then packets: the reader's backlog flag is
  // set, but the image must end at the newest value.
  std::string batch;
  while (batch.size() < 600) batch += "xxxxxxxxx\r";
  batch += Packet('2', 0x1111) + Packet('2', 0x2222);
  link.Inject(channel(), batch);
  ASSERT_TRUE(channel().Transport()->Backlog());
  link.Pump();
  EXPECT_EQ(record().inputWords[1], 0x2222u);
}

TEST_F(ReplyRules, OverlongLineIsDroppedUpToItsCr) {
  // 100 bytes fill the assembler; the 101st empties it. The rest of that line
  // must not be taken for a reply of its own.
  Feed(std::string(100, 'z') + "XEW1.0=0005\r");
  EXPECT_EQ(record().inputWords[0], 0u);
  Feed("EW1.0=0006\r");
  EXPECT_EQ(record().inputWords[0], 6u);
  // A line of exactly 100 bytes with its CR still fits.
  Feed("EW1.0=0007" + std::string(89, ' ') + "\r");
  EXPECT_EQ(channel().LineLength(), 0u);
}

TEST_F(ReplyRules, TailOfALineCutByAPurgeIsNotParsed) {
  Feed("EW1.0=");
  link.Inject(channel(), std::string(1100, 'q'));  // does not fit: purged
  Feed("0005\rEW1.0=0007\r");
  EXPECT_EQ(link.raised, (std::vector<RaisedEvent>{{1, 0, 7}}));
}

TEST_F(ReplyRules, PurgeRightAfterABatchStillCutsTheLine) {
  Feed("EW1.0=00");
  link.Inject(channel(), std::string(1100, 'q'));  // the whole read is purged
  Feed("12\rEW1.0=0007\r");
  EXPECT_EQ(link.raised, (std::vector<RaisedEvent>{{1, 0, 7}}));
}

TEST_F(ReplyRules, RepliesForModulesTheChannelDoesNotOwnAreDiscarded) {
  for (const char* line : {"EW2.0=0001\r", "AW5.0=0001\r", "C2.0=0012\r", "S3=0F\r", "T0=01\r", "EW9.0=0001\r"}) {
    Feed(line);
  }
  EXPECT_TRUE(link.raised.empty());
  for (int n = 0; n <= 8; ++n) {
    SCOPED_TRACE(n);
    link::ModuleRecord fresh;
    fresh.moduleNumber = static_cast<std::int16_t>(n);
    if (n == 1) continue;
    EXPECT_EQ(link.Record(n).inputWords, fresh.inputWords);
    EXPECT_EQ(link.Record(n).outputWords, fresh.outputWords);
    EXPECT_EQ(link.Record(n).counterValues, fresh.counterValues);
    EXPECT_EQ(link.Record(n).inputAutoSent, fresh.inputAutoSent);
    EXPECT_EQ(link.Record(n).lastReply, "");
  }
}

TEST_F(ReplyRules, WordIndicesBeyondTheImageAreDiscarded) {
  Feed("AW1.6=0001\r");  // output word 3 does not exist
  Feed("AW1.4=00FF\r");
  EXPECT_EQ(record().outputWords, (std::array<std::uint32_t, 3>{0, 0, 0xFF}));
  Feed("EW1.9=0001\r");  // address 9 is word 4
  EXPECT_EQ(record().inputWords[4], 1u);
}

TEST_F(ReplyRules, LastReplyStoreAndTheBareCr) {
  Feed("F1=02\r");
  EXPECT_EQ(record().lastReply, "F1=02");
  EXPECT_FALSE(record().replyPending);
  record().replyPending = true;
  Feed("\r");
  EXPECT_EQ(record().lastReply, "");
  EXPECT_FALSE(record().replyPending);
  for (const char* line : {"G1.0=1.50\r", "RA1=2\r", "RE1=-3\r", "U1.02=03\r", "B1=1\r", "T1=01\r", "M1=20\r"}) {
    Feed(line);
    EXPECT_EQ(record().lastReply + "\r", line);
  }
  Feed("V=3.01\r");  // names no module: stored for the channel's module
  EXPECT_EQ(record().lastReply, "V=3.01");
  Feed("Q1=1\r");  // no such reply
  EXPECT_EQ(record().lastReply, "V=3.01");
}

TEST_F(ReplyRules, PatternsNeedTheirCrRightAfterTheFields) {
  Feed("EW1.0=12345\r");
  Feed("EW1.0=1\r");
  EXPECT_EQ(record().inputWords[0], 1u);
  Feed("EW1.0=12 \r");
  EXPECT_EQ(record().inputWords[0], 1u);
  Feed("EW1.0= 0x3F\r");  // scanf-style: blanks and a 0x prefix are taken
  EXPECT_EQ(record().inputWords[0], 0x3Fu);
}

TEST_F(ReplyRules, EchoOfDewEightOutsideInitialisationChangesNothing) {
  const auto type = record().typeCode;
  Feed("DEW1.8\r");
  EXPECT_EQ(record().typeCode, type);
  EXPECT_EQ(channel().State(), ChannelState::Ready);
}

TEST_F(ReplyRules, SReplyWhileReadyIgnoresMaskBitsAboveThree) {
  Feed("S1=F0\r");
  EXPECT_EQ(record().inputAutoSent, (std::array<bool, 5>{true, false, false, false, false}));
  Feed("S1=0A\r");
  EXPECT_EQ(record().inputAutoSent, (std::array<bool, 5>{true, false, true, false, true}));
  EXPECT_EQ(channel().State(), ChannelState::Ready);
}

TEST_F(ReplyRules, ReceivedLinesAreTracedWithoutTheirCr) {
  TraceCapture trace;
  Feed("T1=01\r");
  Feed(Packet('2', 0x1234));
  Feed("3junk\r");
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"RX COM 3:\tT1=01", "RX COM:\t3:\t1:4660"}));
}

TEST_F(ReplyRules, HandlerThatClosesTheChannelEndsTheBatchSafely) {
  link.onRaise = [&](int, int, std::uint32_t) { channel().CloseChannel(); };
  link.Inject(channel(), "EW1.0=0001\rEW1.0=0002\r" + Packet('2', 7));
  link.Pump();
  EXPECT_EQ(link.raised, (std::vector<RaisedEvent>{{1, 0, 1}}));
  EXPECT_EQ(channel().State(), ChannelState::Closed);
  EXPECT_EQ(record().present, 0);
  EXPECT_EQ(record().inputWords[0], 0u);
}

TEST_F(ReplyRules, DataArrivingWhileAHandlerWaitsIsParsedInOrderDuringTheWait) {
  std::vector<std::uint32_t> seen;
  std::vector<std::uint32_t> seenInsideFirst;
  bool injected = false;
  link.onRaise = [&](int, int word, std::uint32_t value) {
    if (word != 0) return;
    seen.push_back(value);
    if (!injected) {
      injected = true;
      link.Inject(channel(), "EW1.0=0003\r");
      link.WaitPumping(5);  // the host waits inside its handler
      // The rest of the batch first, then the new read: both during the wait.
      seenInsideFirst = seen;
      EXPECT_EQ(record().inputWords[0], 3u);
    }
  };
  link.Inject(channel(), "EW1.0=0001\rEW1.0=0002\r");
  link.Pump();
  EXPECT_EQ(seenInsideFirst, (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(channel().LineLength(), 0u);
}

TEST_F(ReplyRules, AReplyFromInsideAHandlerArrivesInTheHandlersWait) {
  // The line the handler's call answers to is assembled while the line that
  // raised the event is still being handled.
  link.onRaise = [&](int, int word, std::uint32_t value) {
    if (word != 0 || value != 1) return;
    link.Inject(channel(), "AW1.0=0042\rEW1.0=0005\r");
    record().outputPending[0] = true;
    for (int i = 0; i < 30 && record().outputPending[0]; ++i) link.WaitPumping(1);
    EXPECT_FALSE(record().outputPending[0]);
    EXPECT_EQ(record().outputWords[0], 0x42u);
  };
  link.Inject(channel(), "EW1.0=0001\rEW1.0=0002\r");
  link.Pump();
  EXPECT_EQ(link.raised, (std::vector<RaisedEvent>{{1, 0, 1}, {1, 0, 2}, {1, 0, 5}}));
}

// Cuts: the transport purged what did not fit. The module answers again, so
// the reads the channel sends after a cut are answered.
class CutStream : public ReplyRules {
 protected:
  void SetUp() override {
    ReplyRules::SetUp();
    module_->MutableConfig().faults.silent = false;
    module_->ClearReceivedCommands();
  }
  void Purge() { link.Inject(channel(), std::string(1100, 'q')); }
  std::vector<std::string> Reads() const {
    std::vector<std::string> reads;
    for (const auto& c : module_->ReceivedCommands())
      if (c.rfind("DEW", 0) == 0) reads.push_back(c);
    return reads;
  }
};

TEST_F(CutStream, TheWholeReplyAfterACutAtALineEndIsKept) {
  Feed("EW1.0=0004\r");
  Purge();
  Feed("AW1.0=0005\r");
  EXPECT_EQ(record().outputWords[0], 5u);
  EXPECT_EQ(record().lastReply, "AW1.0=0005");
}

TEST_F(CutStream, ATailThatCouldBeAPacketOrAnEmptyReplyIsDropped) {
  module_->MutableConfig().faults.silent = true;  // the reads after each cut stay unanswered
  record().inputAutoSent[4] = true;
  record().lastReply = "kept";
  for (const char* tail : {"8FF\r", "\r", "2\r"}) {
    SCOPED_TRACE(tail);
    Feed("EW1.0=0");
    Purge();
    Feed(tail);
    EXPECT_EQ(record().inputWords[4], 0u);
    EXPECT_EQ(record().lastReply, "kept");
    EXPECT_EQ(channel().LineLength(), 0u);
  }
  // Only the first line after the cut is in doubt.
  Feed("EW1.0=0009\r" + Packet('8', 0x0102));
  EXPECT_EQ(record().inputWords[4], 0x0102u);
}

TEST_F(CutStream, EveryInputWordIsReadAgainAndDifferencesRaised) {
  module_->SetInputWord(0, 0x00A5, link.now);
  link.WaitPumping(20);
  ASSERT_EQ(record().inputWords[0], 0xA5u);
  link.raised.clear();
  module_->ClearReceivedCommands();
  // The module's state moves on while its reports are lost with the purge;
  // word 3 is not auto-sent, so the image never had it.
  module_->MutableConfig().faults.silent = true;
  module_->SetInputWord(0, 0x00A6, link.now);
  module_->SetInputWord(3, 0x0333, link.now);
  module_->MutableConfig().faults.silent = false;
  Purge();
  link.WaitPumping(20);
  EXPECT_EQ(Reads(), (std::vector<std::string>{"DEW1.0", "DEW1.2", "DEW1.4", "DEW1.6", "DEW1.8"}));
  EXPECT_EQ(record().inputWords[0], 0xA6u);
  EXPECT_EQ(record().inputWords[3], 0x333u);
  // Words equal to the image (1, 2, 4) are not announced.
  EXPECT_EQ(link.raised, (std::vector<RaisedEvent>{{1, 0, 0xA6}, {1, 3, 0x333}}));
  // One read per cut, not per pump.
  link.WaitPumping(20);
  EXPECT_EQ(Reads().size(), 5u);
}

TEST_F(CutStream, AModuleWithOneInputWordIsAskedForWordZeroOnly) {
  record().typeCode = link::type_code::kR6;
  Purge();
  link.WaitPumping(20);
  EXPECT_EQ(Reads(), (std::vector<std::string>{"DEW1.0"}));
}

class OldExtendedModule : public ReplyRules {
 protected:
  void SetUp() override { Open(Model::R8A); }
};

TEST_F(OldExtendedModule, WordZeroKeepsOnlyItsLowByte) {
  channel().InitialiseModule(1);  // silent: the type code stays as opened
  record().typeCode = link::type_code::kR8A;
  Feed("EW1.0=1234\r");
  EXPECT_EQ(record().inputWords[0], 0x34u);
  EXPECT_EQ(link.raised, (std::vector<RaisedEvent>{{1, 0, 0x34}}));
  // Packets of a module without a version report belong to module 1.
  Feed(Packet('2', 0xBEEF));
  EXPECT_EQ(record().inputWords[1], 0xBEEFu);
}

TEST_F(ReplyRules, NewerModuleKeepsAllSixteenBitsOfWordZero) {
  ASSERT_EQ(record().typeCode, link::type_code::kUSB);
  ASSERT_EQ(record().versionMajor, 2u);
  Feed("EW1.0=1234\r");
  EXPECT_EQ(record().inputWords[0], 0x1234u);
}

}  // namespace
}  // namespace brimlink::testing
