// The opening, initialisation and closing dialogues against virtual modules,
// in simulated time.
#include <gtest/gtest.h>

#include "support/SimulatedLink.h"

namespace brimlink::testing {
namespace {

using link::type_code::kR16;
using link::type_code::kR6;
using link::type_code::kR8A;
using link::type_code::kUSB;
using sim::Model;
using sim::ModuleConfig;

TEST(ChannelOpening, SerialModuleAnswersAt115200AndIsBound) {
  SimulatedLink link;
  TraceCapture trace;
  auto& module = link.AddSerialModule(3, ModuleConfig::Defaults(Model::USB, 2));
  CommandChannel& channel = link.Channel(0);

  EXPECT_EQ(channel.OpenSerialChannel(1, 255), 3u);
  EXPECT_EQ(channel.State(), ChannelState::Ready);
  EXPECT_EQ(channel.PortTypeCode(), PortType::Serial);
  EXPECT_EQ(channel.PortKey(), 3u);
  EXPECT_EQ(channel.ModuleNumber(), 2);
  EXPECT_EQ(channel.VersionMajor(), 2u);
  EXPECT_EQ(channel.VersionMinor(), 10u);
  const auto& record = link.Record(2);
  EXPECT_EQ(record.present, 1);
  EXPECT_EQ(record.channel, &channel);
  EXPECT_EQ(record.typeCode, kUSB);
  // The module answers the empty command within the 50 ms already, so "DV"
  // goes out before "setup0".
  EXPECT_EQ(module.ReceivedCommands(), (std::vector<std::string>{"", "DV", "setup0"}));
  EXPECT_TRUE(trace.Contains("Opening COM:\t3"));
  EXPECT_TRUE(trace.Contains("TX COM 3:\tsetup0"));
  EXPECT_TRUE(trace.Contains("RX COM 3:\tV=2.10"));
  EXPECT_TRUE(trace.Contains("CHANNEL_READY"));
}

TEST(ChannelOpening, SilentAt115200FallsBackTo19200WithinTheSteps) {
  SimulatedLink link;
  auto config = ModuleConfig::Defaults(Model::R6, 1);
  config.onlyBaud = 19200;
  link.AddSerialModule(5, config);
  const Millis start = link.now;
  EXPECT_EQ(link.Channel(0).OpenSerialChannel(1, 255), 5u);
  EXPECT_EQ(link.Record(1).typeCode, kR6);
  // 50 ms + 25 × 10 ms at 115200, then the handshake at 19200.
  EXPECT_GE(link.now - start, Millis(300));
  EXPECT_LT(link.now - start, Millis(400));
}

TEST(ChannelOpening, PortThatNeverAnswersIsClosedAndTheScanGoesOn) {
  SimulatedLink link;
  auto silent = ModuleConfig::Defaults(Model::USB, 1);
  silent.faults.silent = true;
  link.AddSerialModule(2, silent);
  link.AddSerialModule(4, ModuleConfig::Defaults(Model::USB, 4));
  CommandChannel& channel = link.Channel(0);
  EXPECT_EQ(channel.OpenSerialChannel(1, 255), 4u);
  EXPECT_EQ(link.Record(1).present, 0);
  EXPECT_EQ(link.Record(4).channel, &channel);
}

TEST(ChannelOpening, BusyPortIsRetriedEvery10MsUpTo40Times) {
  SimulatedLink link;
  link.AddSerialModule(7, ModuleConfig::Defaults(Model::USB, 1), /*busyOpens=*/30);
  const Millis start = link.now;
  EXPECT_EQ(link.Channel(0).OpenSerialChannel(7, 7), 7u);
  EXPECT_GE(link.now - start, Millis(300));

  SimulatedLink busyForever;
  busyForever.AddSerialModule(7, ModuleConfig::Defaults(Model::USB, 1), /*busyOpens=*/1000);
  const Millis t0 = busyForever.now;
  EXPECT_EQ(busyForever.Channel(0).OpenSerialChannel(7, 7), 0u);
  // 40 tries at each of the two baud rates.
  EXPECT_EQ(busyForever.now - t0, Millis(2 * 40 * 10));
  EXPECT_EQ(busyForever.Channel(0).State(), ChannelState::Closed);
}

TEST(ChannelOpening, PortThatCannotBeSetUpIsNotTriedAtTheSecondBaudRate) {
  SimulatedLink link;
  link.AddSerialModule(2, ModuleConfig::Defaults(Model::USB, 1));
  link.serial[2].failCode = link::CCommunicationPort::kConfigurationFailed;
  link.AddSerialModule(6, ModuleConfig::Defaults(Model::USB, 6));
  EXPECT_EQ(link.Channel(0).OpenSerialChannel(1, 255), 6u);
  EXPECT_EQ(link.serial[2].opens, 1);

  // Any other failure of the open goes on with the other baud rate.
  SimulatedLink other;
  other.AddSerialModule(2, ModuleConfig::Defaults(Model::USB, 1));
  other.serial[2].failCode = 2;
  EXPECT_EQ(other.Channel(0).OpenSerialChannel(1, 255), 0u);
  EXPECT_EQ(other.serial[2].opens, 2);
}

TEST(ChannelOpening, ADeniedPortIsTriedOnceReportedOnceAndTheScanGoesOn) {
  for (const int error : {EACCES, EPERM}) {
    SCOPED_TRACE(error);
    SimulatedLink link;
    TraceCapture trace;
    link.AddSerialModule(2, ModuleConfig::Defaults(Model::USB, 1));
    link.serial[2].failCode = error;
    link.AddSerialModule(6, ModuleConfig::Defaults(Model::USB, 6));
    const Millis start = link.now;
    EXPECT_EQ(link.Channel(0).OpenSerialChannel(2, 2), 0u);
    // Not retried as busy, not tried at the other baud rate: no wait at all.
    EXPECT_EQ(link.serial[2].opens, 1);
    EXPECT_EQ(link.now, start);
    ASSERT_EQ(link.denied.size(), 1u);
    EXPECT_EQ(link.denied[0].type, PortType::Serial);
    EXPECT_EQ(link.denied[0].port, 2u);
    EXPECT_EQ(link.denied[0].error, error);
    std::size_t traced = 0;
    for (const std::string& line : trace.lines) traced += line.starts_with("ACCESS_DENIED:\tCOM2 ") ? 1 : 0;
    EXPECT_EQ(traced, 1u);

    // A scan passes it and finds the next module.
    EXPECT_EQ(link.Channel(0).OpenSerialChannel(1, 255), 6u);
    EXPECT_EQ(link.serial[2].opens, 2);
    EXPECT_EQ(link.denied.size(), 2u);
  }

  // Other failures are no denial.
  SimulatedLink other;
  other.AddSerialModule(2, ModuleConfig::Defaults(Model::USB, 1));
  other.serial[2].failCode = ENXIO;
  EXPECT_EQ(other.Channel(0).OpenSerialChannel(2, 2), 0u);
  EXPECT_TRUE(other.denied.empty());
}

TEST(ChannelOpening, SetupZeroDoesNotOpenTheChannel) {
  SimulatedLink link;
  link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 0));
  EXPECT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 0u);
  EXPECT_EQ(link.Channel(0).State(), ChannelState::Closed);
  EXPECT_EQ(link.Channel(0).Transport(), nullptr);
}

TEST(ChannelOpening, OpeningAChannelThatIsNotClosedDoesNothing) {
  SimulatedLink link;
  link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 1));
  link.AddSerialModule(2, ModuleConfig::Defaults(Model::USB, 2));
  ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 1u);
  EXPECT_EQ(link.Channel(0).OpenSerialChannel(2, 2), 0u);
  EXPECT_FALSE(link.Channel(0).OpenUsbChannel(0));
  EXPECT_EQ(link.Channel(0).PortKey(), 1u);
  EXPECT_EQ(link.Record(2).present, 0);
}

TEST(ChannelOpening, DuplicateModuleNumberIsShownOnceAndOwnsNothing) {
  SimulatedLink link;
  link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 3));
  link.AddSerialModule(2, ModuleConfig::Defaults(Model::USB, 3));
  ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 255), 1u);
  ASSERT_EQ(link.Channel(1).OpenSerialChannel(2, 255), 2u);
  EXPECT_EQ(link.Channel(1).State(), ChannelState::Ready);
  EXPECT_EQ(link.Record(3).channel, &link.Channel(0));
  EXPECT_EQ(link.messages, (std::vector<std::string>{"Modulnummer 3 mehrfach im System verwendet!"}));

  // The second module's reports cannot overwrite the first module's image.
  link.serial[2].module->SetInputWord(0, 0x55, link.now);
  link.WaitPumping(5);
  EXPECT_EQ(link.Record(3).inputWords[0], 0u);
  EXPECT_TRUE(link.raised.empty());
}

TEST(ChannelOpening, UsbDeviceTriesTheSecondAttemptWhenTheFirstStaysSilent) {
  SimulatedLink link;
  auto config = ModuleConfig::Defaults(Model::USB, 1);
  config.onlyBaud = 19200;
  link.AddUsbModule(0x1234, config);
  TraceCapture trace;
  const Millis start = link.now;
  EXPECT_TRUE(link.Channel(0).OpenUsbChannel(0));
  EXPECT_GE(link.now - start, Millis(2000));
  EXPECT_EQ(link.Channel(0).PortTypeCode(), PortType::Usb);
  EXPECT_EQ(link.Channel(0).PortKey(), 0x1234u);
  EXPECT_TRUE(trace.Contains("Opening USB:\tLoc1234"));
  EXPECT_TRUE(trace.Contains("TX USB Loc1234:\tDV"));
  EXPECT_TRUE(trace.Contains("RX USB Loc1234:\tV=2.10"));
}

TEST(ChannelInitialisation, EachModelEndsWithItsTypeCodeAndImages) {
  struct Case {
    Model model;
    std::int32_t type;
    std::vector<std::string> commands;
  };
  const std::vector<Case> cases = {
      {Model::R6, kR6, {"DEW1.0", "DAW1.0", "MT1=01"}},
      {Model::R16, kR16, {"DEW1.8", "DEW1.0", "DAW1.0", "MT1=01"}},
      {Model::R8A,
       kR8A,
       {"DEW1.8", "DEW1.6", "DEW1.4", "DEW1.2", "DEW1.0", "DAW1.4", "DAW1.2", "DAW1.0", "MT1=01", "MM1=20", "MS1=00",
        "MME=4"}},
      {Model::USB,
       kUSB,
       {"DEW1.8", "DEW1.6", "DEW1.4", "DEW1.2", "DEW1.0", "DAW1.4", "DAW1.2", "DAW1.0", "MT1=01", "MM1=20", "MS1=00",
        "MME=4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(sim::ModelName(c.model));
    SimulatedLink link;
    auto& module = link.AddSerialModule(1, ModuleConfig::Defaults(c.model, 1));
    module.SetInputWord(0, 0x21, link.now);
    module.ClearReceivedCommands();
    ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 1u);
    module.ClearReceivedCommands();
    link.Channel(0).InitialiseModule(1);
    EXPECT_EQ(link.Channel(0).State(), ChannelState::Ready);
    EXPECT_EQ(link.Record(1).typeCode, c.type);
    EXPECT_EQ(module.ReceivedCommands(), c.commands);
    // R8A found through the "DV" echo keeps only the low byte of word 0.
    EXPECT_EQ(link.Record(1).inputWords[0], 0x21u);
  }
}

TEST(ChannelInitialisation, InputReportDuringTheDialogueDoesNotSkipASteps) {
  SimulatedLink link;
  auto& module = link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 1u);
  module.ClearReceivedCommands();
  // A word-0 report ("EW1.0=...") arrives right after "DEW1.8" was sent: it
  // updates the image but must not be taken for the answer to "DEW1.0".
  module.SetInputWord(0, 0x0F, link.now);
  link.Channel(0).InitialiseModule(1);
  EXPECT_EQ(link.Record(1).inputWords[0], 0x0Fu);
  EXPECT_EQ(module.ReceivedCommands().size(), 12u);
  EXPECT_EQ(module.ReceivedCommands()[1], "DEW1.6");
  EXPECT_EQ(link.Channel(0).State(), ChannelState::Ready);
}

TEST(ChannelInitialisation, ModuleThatStopsAnsweringLeavesTheChannelInitialisingAfter400Ms) {
  SimulatedLink link;
  auto& module = link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 1u);
  module.MutableConfig().faults.silent = true;
  const Millis start = link.now;
  link.Channel(0).InitialiseModule(1);
  EXPECT_EQ(link.now - start, Millis(400));
  EXPECT_EQ(link.Channel(0).State(), ChannelState::Initialising);
}

TEST(ChannelInitialisation, AutoSendMaskFromTheSReplyCoversWordsOneToFour) {
  SimulatedLink link;
  auto& module = link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 1u);
  link.Channel(0).InitialiseModule(1);
  ASSERT_EQ(link.Channel(0).State(), ChannelState::Ready);
  EXPECT_FALSE(link.Record(1).inputAutoSent[1]);

  // An "S" reply while ready updates the flags and keeps the state.
  link.Channel(0).SendCommand("MS1=F5");
  link.WaitPumping(5);
  const auto& flags = link.Record(1).inputAutoSent;
  EXPECT_TRUE(flags[0]);
  EXPECT_TRUE(flags[1]);
  EXPECT_FALSE(flags[2]);
  EXPECT_TRUE(flags[3]);
  EXPECT_FALSE(flags[4]);
  EXPECT_EQ(link.Channel(0).State(), ChannelState::Ready);
  EXPECT_EQ(module.AutoSendMask(), 0xF5);
}

TEST(ChannelClosing, ClosingDialogueAndRecordsReleased) {
  SimulatedLink link;
  auto& module = link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 1u);
  link.Channel(0).InitialiseModule(1);
  module.ClearReceivedCommands();
  const Millis start = link.now;
  link.Channel(0).CloseChannel();
  EXPECT_EQ(module.ReceivedCommands(), (std::vector<std::string>{"setup0"}));
  EXPECT_LT(link.now - start, Millis(100));
  EXPECT_EQ(link.Channel(0).State(), ChannelState::Closed);
  EXPECT_EQ(link.Channel(0).Transport(), nullptr);
  EXPECT_EQ(link.Channel(0).PortKey(), 0u);
  EXPECT_EQ(link.Channel(0).ModuleNumber(), 0);
  EXPECT_EQ(link.Record(1).present, 0);
  EXPECT_EQ(link.Record(1).channel, nullptr);
  EXPECT_EQ(link.Record(1).moduleNumber, 1);
}

TEST(ChannelClosing, ModuleThatNeverAnswersStillClosesAfter400Ms) {
  SimulatedLink link;
  auto& module = link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 1u);
  link.WaitPumping(20);  // the answer to the opening "setup0" is in
  module.MutableConfig().faults.silent = true;
  const Millis start = link.now;
  link.Channel(0).CloseChannel();
  EXPECT_EQ(link.now - start, Millis(450));
  EXPECT_EQ(link.Channel(0).State(), ChannelState::Closed);
  EXPECT_EQ(link.Record(1).present, 0);
}

TEST(ChannelCommands, ClosedChannelSendsNothingAndSaysSo) {
  SimulatedLink link;
  TraceCapture trace;
  link.Channel(0).SendCommand("DEW1.2");
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"TX ???:\tDEW1.2", "CHANNEL_NOT_CONNECTED"}));
}

TEST(ChannelCommands, OverlongCommandIsRefusedNotTruncated) {
  SimulatedLink link;
  auto& module = link.AddSerialModule(1, ModuleConfig::Defaults(Model::USB, 1));
  ASSERT_EQ(link.Channel(0).OpenSerialChannel(1, 1), 1u);
  module.ClearReceivedCommands();
  TraceCapture trace;
  link.Channel(0).SendCommand(std::string(1023, 'x'));
  EXPECT_TRUE(module.ReceivedCommands().empty());
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"COMMAND_TOO_LONG:\t1023"}));
  link.Channel(0).SendCommand(std::string(1022, 'y'));
  ASSERT_EQ(module.ReceivedCommands().size(), 1u);
  EXPECT_EQ(module.ReceivedCommands()[0].size(), 1022u);
}

}  // namespace
}  // namespace brimlink::testing
