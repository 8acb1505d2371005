// Two quick commands where the first is not yet written: the second waits
// for the send semaphore for the port's time-out (serial 1 s, USB 100 ms)
// and is then dropped; the first still goes out, whole, and the port sends
// again afterwards.
//
// The first command is held up without touching the port's internals: the
// test holds the module's lock, which the worker needs to hand the command
// to the module, as a device write that does not complete.
#include <algorithm>

#include "QtLinkHarness.h"

namespace brimlink::qttest {
namespace {

void SecondCommandIsDroppedAfterTheTimeOut(bool usb) {
  QtLinkHarness link;
  CommandChannel& channel = link.Channel(0);
  ModuleSlot& slot = usb ? link.AddUsbModule(0x31, ModuleConfig::Defaults(Model::USB, 1))
                         : link.AddSerialModule(2, ModuleConfig::Defaults(Model::USB, 1));
  if (usb) {
    ASSERT_TRUE(channel.OpenUsbChannel(0));
  } else {
    ASSERT_EQ(channel.OpenSerialChannel(2, 2), 2u);
  }
  link::WaitPumping(20);
  slot.Locked([](VirtualModule& m) { m.ClearReceivedCommands(); });
  const long long timeoutMs = usb ? 100 : 1000;

  long long firstMs = -1, secondMs = -1;
  {
    std::unique_lock stalled(slot.lock);
    auto start = Clock::now();
    channel.SendCommand("DC1.0");
    firstMs = ElapsedMs(start);
    start = Clock::now();
    channel.SendCommand("DC1.1");
    secondMs = ElapsedMs(start);
  }
  EXPECT_LT(firstMs, timeoutMs - 5) << "the first command should not wait";
  EXPECT_GE(secondMs, timeoutMs - 5) << "the second command did not wait for the time-out";
  EXPECT_LT(secondMs, timeoutMs + std::max(200LL, timeoutMs / 2)) << "the second command waited too long";

  // The first is written once the device takes it; the second never is.
  const link::ModuleRecord& record = link.Record(1);
  ASSERT_TRUE(link.PumpUntil([&] { return record.lastReply == "C1.0=0000"; }));
  link::WaitPumping(50);
  EXPECT_EQ(slot.Locked([](VirtualModule& m) { return m.ReceivedCommands(); }),
            (std::vector<std::string>{"DC1.0"}));

  // The semaphore came back: the next command goes out at once.
  const auto start = Clock::now();
  channel.SendCommand("MB1=7");
  EXPECT_LT(ElapsedMs(start), timeoutMs - 5);
  ASSERT_TRUE(link.PumpUntil([&] { return record.lastReply == "B1=7"; }));
  EXPECT_EQ(slot.Locked([](VirtualModule& m) { return m.ReceivedCommands(); }),
            (std::vector<std::string>{"DC1.0", "MB1=7"}));
  EXPECT_TRUE(link.TraceContains(usb ? "TX USB Loc31:\tDC1.1" : "TX COM 2:\tDC1.1"));
  channel.CloseChannel();
}

TEST(QtSendTimeout, UsbDropsTheSecondCommandAfter100Ms) { SecondCommandIsDroppedAfterTheTimeOut(true); }
TEST(QtSendTimeout, SerialDropsTheSecondCommandAfter1s) { SecondCommandIsDroppedAfterTheTimeOut(false); }

}  // namespace
}  // namespace brimlink::qttest
