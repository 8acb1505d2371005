// The USB transport on the simulated FT232R bus: the device list, Open with
// its settings and trace lines, the reader's discard, buffer limit and loop,
// failing driver calls, an unplugged device, the identity rewrite and the
// simulated EEPROM it works on; end to end through CommandChannel where the
// baud-rate order and re-enumeration matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "QtLinkHarness.h"
#include "UsbBusHarness.h"
#include "control/link/Trace.h"
#include "control/link/UsbPort.h"
#include "control/link/WaitPumping.h"
#include "tools/virtual_module/SimulatedUsbBus.h"

namespace brimlink::link {

// Reaches into a port where no public path leads: a receive buffer that is
// already full, and a transmit buffer still held by an earlier write.
class UsbPortTestAccess {
 public:
  static void Prefill(CUSBPort& port, const std::string& bytes) { port.AppendReceived(bytes.data(), bytes.size()); }
  static bool TakeTransmitBuffer(CUSBPort& port) { return port.sendSemaphore_.TryAcquireFor(std::chrono::milliseconds(0)); }
  static void GiveTransmitBuffer(CUSBPort& port) { port.sendSemaphore_.Release(); }
};

}  // namespace brimlink::link

namespace brimlink::qttest {
namespace {

using link::CUSBPort;
using link::UsbDeviceInfoNode;
using link::UsbDeviceList;
using link::UsbHandle;
using link::UsbPortTestAccess;
using link::UsbProgramData;
using sim::EepromImage;
using sim::SimulatedUsbBus;
using sim::SimulatedUsbDevice;
using sim::UsbCall;
namespace status = link::usb_status;

// Trace lines without their time stamp, while the object lives.
class TraceCapture final : public link::TraceView {
 public:
  TraceCapture() {
    log_.AttachView(this);
    log_.WindowCreated();
    link::SetCurrentTraceLog(&log_);
  }
  ~TraceCapture() override { link::ClearCurrentTraceLog(&log_); }
  void AppendLine(std::string_view line) override {
    const auto tab = line.find('\t');
    lines.emplace_back(tab == std::string_view::npos ? line : line.substr(tab + 1));
  }
  bool Contains(std::string_view line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  bool AnyStartsWith(std::string_view prefix) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }
  std::vector<std::string> lines;

 private:
  link::TraceLog log_;
};

// The owner of a port opened without a channel. Notifications come from the
// worker; the test thread drains.
class PortProbe final : public link::PortOwner {
 public:
  void PostDataReceived(PortType type, std::uint32_t portKey) override {
    std::lock_guard guard(mutex_);
    ++posted_;
    lastType_ = type;
    lastKey_ = portKey;
    changed_.notify_all();
  }
  void ReportPortFailure(PortType, std::uint32_t, std::string, std::string) override {
    std::lock_guard guard(mutex_);
    ++failures_;
    changed_.notify_all();
  }
  // Waits until more than `seen` notifications have been posted.
  bool WaitPosted(int seen, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return posted_ > seen; });
  }
  int Posted() const {
    std::lock_guard guard(mutex_);
    return posted_;
  }
  int Failures() const {
    std::lock_guard guard(mutex_);
    return failures_;
  }
  std::uint32_t LastKey() const {
    std::lock_guard guard(mutex_);
    return lastKey_;
  }
  PortType LastType() const {
    std::lock_guard guard(mutex_);
    return lastType_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int posted_ = 0;
  int failures_ = 0;
  PortType lastType_ = PortType::None;
  std::uint32_t lastKey_ = 0;
};

struct Batch {
  std::string bytes;
  std::size_t discontinuity;
};

// The GUI thread's side of a port without a channel: one drain per
// notification, as the channel's ProcessReceived does.
class Drainer {
 public:
  Drainer(CUSBPort& port, PortProbe& probe) : port_(port), probe_(probe) {}

  bool Until(std::size_t total, std::chrono::milliseconds timeout = 3000ms) {
    const auto deadline = Clock::now() + timeout;
    while (Total() < total) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || !probe_.WaitPosted(drained_, left)) return false;
      char buffer[CUSBPort::kBufferSize];
      const link::ReceivedBatch batch = port_.DrainReceived(buffer);
      ++drained_;
      batches.push_back({std::string(buffer, batch.count), batch.discontinuity});
    }
    return true;
  }
  std::size_t Total() const {
    std::size_t n = 0;
    for (const Batch& b : batches) n += b.bytes.size();
    return n;
  }
  std::string All() const {
    std::string all;
    for (const Batch& b : batches) all += b.bytes;
    return all;
  }
  std::vector<Batch> batches;

 private:
  CUSBPort& port_;
  PortProbe& probe_;
  int drained_ = 0;
};

// A bounded wait for state another thread changes.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 3000ms) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::string Pattern(std::size_t n, char first = 'A') {
  std::string s(n, ' ');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + static_cast<char>(i % 26));
  return s;
}

SimulatedUsbDevice Device(std::uint16_t product, std::uint32_t location = 0x01230000) {
  SimulatedUsbDevice d;
  d.productId = product;
  d.locationId = location;
  return d;
}

std::string NodeText(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

template <std::size_t N>
void SetText(char (&field)[N], std::string_view text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// A record with every field away from its default.
UsbProgramData FullRecord() {
  UsbProgramData r;
  r.vendorId = 0x0403;
  r.productId = 0x6001;
  SetText(r.manufacturer, "Some Maker");
  SetText(r.manufacturerId, "SM");
  SetText(r.description, "FT232R USB UART");
  SetText(r.serialNumber, "SM4711XY");
  r.maxPower = 480;
  r.pnp = 0;
  r.selfPowered = 1;
  r.remoteWakeup = 1;
  r.useExtOsc = 1;
  r.highDriveIOs = 1;
  r.endPointSize = 32;
  r.pullDownEnableR = 1;
  r.serNumEnableR = 1;
  r.invertTXD = 1;
  r.invertRXD = 0;
  r.invertRTS = 1;
  r.invertCTS = 0;
  r.invertDTR = 1;
  r.invertDSR = 1;
  r.invertDCD = 0;
  r.invertRI = 1;
  r.cbus0 = 0x0A;
  r.cbus1 = 0x03;
  r.cbus2 = 0x0C;
  r.cbus3 = 0x01;
  r.cbus4 = 0x06;
  r.rIsD2XX = 1;
  return r;
}

// Bits and bytes that belong to no field of the record, all set.
EepromImage ReservedBase() {
  EepromImage base{};
  base[0x00] = 0xF2;
  base[0x06] = 0x12;  // release number
  base[0x07] = 0x06;
  base[0x08] = 0x9F;
  base[0x0A] = 0xF2;
  base[0x0C] = 0x10;  // USB version
  base[0x0D] = 0x01;
  base[0x16] = 0xA0;
  base[0x17] = 0x5A;
  return base;
}

UsbProgramData WithNewIdentity(UsbProgramData r, bool mini) {
  r.productId = mini ? 0x5C43 : 0x5C40;
  SetText(r.description, mini ? "Brimlink Mini" : "Brimlink Module");
  SetText(r.manufacturerId, "KT");
  SetText(r.serialNumber, "KT000001");
  SetText(r.manufacturer, "Kavro Teaching");
  r.rIsD2XX = 0;
  return r;
}

UsbProgramData Decoded(const EepromImage& image) {
  UsbProgramData r;
  EXPECT_EQ(sim::DecodeEeprom(image, r), status::kOk);
  return r;
}

// Bytes of the image that no identity field touches: everything before the
// strings except the product id and the string references.
void ExpectSameOutsideIdentity(const EepromImage& before, const EepromImage& after) {
  for (std::size_t i = 0; i < 0x1A; ++i) {
    if (i == 0x04 || i == 0x05 || (i >= 0x0E && i <= 0x13) || i == 0x18 || i == 0x19) continue;
    if (i == 0x00) {
      // The driver-selection bit (0x08) is an identity field.
      EXPECT_EQ(before[i] & ~0x08, after[i] & ~0x08) << "byte 0x00";
      continue;
    }
    EXPECT_EQ(before[i], after[i]) << "byte 0x" << std::hex << i;
  }
}

class UsbPortTest : public ::testing::Test {
 protected:
  UsbPortTest() {
    TestApp();
    link::FreeUsbDeviceList();
  }
  ~UsbPortTest() override { link::FreeUsbDeviceList(); }

  std::unique_ptr<CUSBPort> MakePort() {
    return std::make_unique<CUSBPort>(bus, [](int ms) { link::WaitPumping(ms); });
  }
  // Plugs one device, lists the bus and opens entry 0.
  std::unique_ptr<CUSBPort> OpenOne(const SimulatedUsbDevice& device, int attempt = 0) {
    bus.Plug(device);
    EXPECT_EQ(link::UsbDeviceCount(bus), 1);
    auto port = MakePort();
    EXPECT_EQ(port->Open(probe, 0, attempt), 1);
    return port;
  }

  Watchdog watchdog{15000ms};
  SimulatedUsbBus bus;
  TraceCapture trace;
  PortProbe probe;
};

// --- Device list

TEST_F(UsbPortTest, DeviceCountRebuildsTheListAndIsZeroAfterADriverError) {
  SimulatedUsbDevice first = Device(0x6001, 0x01230000);
  first.serialNumber = "A1B2C3D4";
  SimulatedUsbDevice second = Device(0x5C43, 0x02100000);
  second.description = "Brimlink Mini";
  second.serialNumber = "KT000001";
  SimulatedUsbDevice other = Device(0x6010, 0x03000000);
  other.type = link::usb_device_type::k2232H;
  bus.Plug(first);
  const std::size_t mini = bus.Plug(second);
  bus.Plug(other);

  ASSERT_EQ(link::UsbDeviceCount(bus), 3);
  UsbDeviceList& list = UsbDeviceList::Instance();
  ASSERT_EQ(list.Count(), 3);
  const UsbDeviceInfoNode& n0 = *list.Node(0);
  EXPECT_EQ(n0.type, 5u);
  EXPECT_EQ(n0.id, 0x04036001u);
  EXPECT_EQ(n0.locationId, 0x01230000u);
  EXPECT_EQ(NodeText(n0.serialNumber, sizeof n0.serialNumber), "A1B2C3D4");
  EXPECT_EQ(NodeText(n0.description, sizeof n0.description), "FT232R USB UART");
  EXPECT_EQ(n0.flags, 0u);
  EXPECT_EQ(n0.handle, UsbHandle::kNone);
  EXPECT_EQ(list.Node(1)->id, 0x04035C43u);
  EXPECT_EQ(NodeText(list.Node(1)->description, 64), "Brimlink Mini");
  EXPECT_EQ(list.Node(2)->type, link::usb_device_type::k2232H);
  EXPECT_EQ(list.Node(3), nullptr);
  EXPECT_EQ(list.Node(-1), nullptr);

  // The previous list goes with every count.
  bus.Unplug(mini);
  ASSERT_EQ(link::UsbDeviceCount(bus), 2);
  EXPECT_EQ(list.Node(1)->id, 0x04036010u);
  EXPECT_EQ(list.Node(2), nullptr);

  bus.FailCall(UsbCall::CreateDeviceInfoList, status::kIoError);
  EXPECT_EQ(link::UsbDeviceCount(bus), 0);
  EXPECT_EQ(list.Count(), 0);
  bus.FailCall(UsbCall::GetDeviceInfoList, status::kIoError);
  EXPECT_EQ(link::UsbDeviceCount(bus), 0);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(link::UsbDeviceCount(bus), 2);
}

// --- Open

TEST_F(UsbPortTest, OpenTracesTheIdentityAndSetsUpTheChipInOrder) {
  auto port = OpenOne(Device(0x6001, 0x00A10000));
  EXPECT_TRUE(trace.Contains("ID:\t\t0x403, 0x6001"));
  EXPECT_TRUE(trace.Contains("Description:\tFT232R USB UART"));
  EXPECT_TRUE(trace.Contains("DriverVersion:\t0x21212"));
  EXPECT_FALSE(trace.AnyStartsWith("FT_")) << "no setting call failed";

  std::vector<std::pair<UsbCall, std::uint64_t>> calls;
  for (const auto& c : bus.CallLog())
    if (c.device == 0) calls.emplace_back(c.call, c.argument);
  const std::vector<std::pair<UsbCall, std::uint64_t>> expected = {
      {UsbCall::OpenByIndex, 0},        {UsbCall::GetDriverVersion, 0},
      {UsbCall::SetUsbParameters, 64},  {UsbCall::SetLatencyTimer, 2},
      {UsbCall::SetTimeouts, 1000},     {UsbCall::SetDataCharacteristics, 8},
      {UsbCall::SetBaudRate, 115200},   {UsbCall::Purge, link::kUsbPurgeRx | link::kUsbPurgeTx},
      {UsbCall::SetEventNotification, link::kUsbEventRxChar}};
  EXPECT_EQ(calls, expected);

  EXPECT_EQ(port->Type(), PortType::Usb);
  EXPECT_EQ(port->DeviceIndex(), 0);
  EXPECT_EQ(port->LocationId(), 0x00A10000u);
  EXPECT_TRUE(port->IsUpdateCapable());
  EXPECT_TRUE(port->WorkerRunning());
  EXPECT_NE(UsbDeviceList::Instance().Node(0)->handle, UsbHandle::kNone);
  EXPECT_TRUE(bus.IsOpen(0));

  EXPECT_EQ(port->Close(), 1);
  EXPECT_FALSE(port->WorkerRunning());
  EXPECT_FALSE(bus.IsOpen(0));
  EXPECT_EQ(UsbDeviceList::Instance().Node(0)->handle, UsbHandle::kNone);
  EXPECT_EQ(port->DeviceIndex(), -1);
  EXPECT_FALSE(port->IsUpdateCapable());
  EXPECT_EQ(bus.CallCount(UsbCall::Close), 1);
}

TEST_F(UsbPortTest, BaudRateDependsOnProductIdAndAttempt) {
  const struct {
    std::uint16_t product;
    std::uint32_t first, second;
  } table[] = {{0x6001, 115200, 19200}, {0x5C40, 115200, 19200}, {0x5C43, 19200, 115200}};
  std::size_t number = 0;
  for (const auto& row : table) {
    bus.Plug(Device(row.product, 0x01000000 + static_cast<std::uint32_t>(number)));
    ASSERT_EQ(link::UsbDeviceCount(bus), static_cast<int>(number + 1));
    for (int attempt = 0; attempt < 2; ++attempt) {
      auto port = MakePort();
      ASSERT_EQ(port->Open(probe, static_cast<std::uint32_t>(number), attempt), 1);
      EXPECT_EQ(bus.BaudRate(number), attempt == 0 ? row.first : row.second)
          << "product 0x" << std::hex << row.product << " attempt " << attempt;
      EXPECT_EQ(port->IsUpdateCapable(), row.product == 0x6001);
    }
    ++number;
  }
}

TEST_F(UsbPortTest, ForeignIdentityIsListedButNeverOpened) {
  SimulatedUsbDevice otherProduct = Device(0x6015);
  otherProduct.description = "Other UART";
  SimulatedUsbDevice otherVendor = Device(0x6001);
  otherVendor.vendorId = 0x1234;
  otherVendor.description = "Lookalike";
  bus.Plug(otherProduct);
  bus.Plug(otherVendor);
  ASSERT_EQ(link::UsbDeviceCount(bus), 2);

  for (std::uint32_t i = 0; i < 2; ++i) {
    auto port = MakePort();
    EXPECT_EQ(port->Open(probe, i, 0), 0);
    EXPECT_FALSE(port->WorkerRunning());
  }
  EXPECT_TRUE(trace.Contains("ID:\t\t0x403, 0x6015"));
  EXPECT_TRUE(trace.Contains("Description:\tOther UART"));
  EXPECT_TRUE(trace.Contains("ID:\t\t0x1234, 0x6001"));
  EXPECT_TRUE(trace.Contains("Description:\tLookalike"));
  EXPECT_EQ(bus.CallCount(UsbCall::OpenByIndex), 0);

  // Outside the list: nothing at all.
  auto port = MakePort();
  EXPECT_EQ(port->Open(probe, 2, 0), 0);
  EXPECT_EQ(bus.CallCount(UsbCall::OpenByIndex), 0);
}

TEST_F(UsbPortTest, OtherDeviceTypeIsTracedAndSkipped) {
  SimulatedUsbDevice dual = Device(0x6001);
  dual.type = link::usb_device_type::k2232H;
  bus.Plug(dual);
  ASSERT_EQ(link::UsbDeviceCount(bus), 1);
  auto port = MakePort();
  EXPECT_EQ(port->Open(probe, 0, 0), 0);
  EXPECT_TRUE(trace.Contains("FT_DEVICE:\t6"));
  EXPECT_FALSE(trace.AnyStartsWith("ID:"));
  EXPECT_EQ(bus.CallCount(UsbCall::OpenByIndex), 0);
}

TEST_F(UsbPortTest, FailingSettingCallIsTracedWithItsLabelAndTheSequenceGoesOn) {
  bus.Plug(Device(0x6001));
  ASSERT_EQ(link::UsbDeviceCount(bus), 1);
  const struct {
    UsbCall call;
    const char* line;
  } cases[] = {{UsbCall::SetUsbParameters, "FT_SetUSBParameters::\t4"},
               {UsbCall::SetLatencyTimer, "FT_SetLatencyTimer::\t4"},
               {UsbCall::SetTimeouts, "FT_SetTimeouts::\t4"},
               {UsbCall::SetDataCharacteristics, "FT_SetDataCharacteristics::\t4"},
               {UsbCall::SetBaudRate, "FT_SetBaudRate::\t4"},
               {UsbCall::Purge, "FT_Purge::\t4"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::UsbCallName(c.call));
    trace.lines.clear();
    const int notificationsBefore = bus.CallCount(UsbCall::SetEventNotification);
    const int baudBefore = bus.CallCount(UsbCall::SetBaudRate);
    bus.FailCall(c.call, status::kIoError);
    auto port = MakePort();
    EXPECT_EQ(port->Open(probe, 0, 0), 1);
    EXPECT_TRUE(trace.Contains(c.line));
    EXPECT_EQ(std::count_if(trace.lines.begin(), trace.lines.end(),
                            [](const std::string& l) { return l.rfind("FT_", 0) == 0; }),
              1);
    EXPECT_EQ(bus.CallCount(UsbCall::SetBaudRate), baudBefore + 1);
    EXPECT_EQ(bus.CallCount(UsbCall::SetEventNotification), notificationsBefore + 1);
    EXPECT_TRUE(port->WorkerRunning());
  }
}

TEST_F(UsbPortTest, FailingNotificationClosesThePortAndOpenReturnsZero) {
  bus.Plug(Device(0x6001));
  ASSERT_EQ(link::UsbDeviceCount(bus), 1);
  bus.FailCall(UsbCall::SetEventNotification, status::kIoError);
  auto port = MakePort();
  EXPECT_EQ(port->Open(probe, 0, 0), 0);
  EXPECT_TRUE(trace.Contains("FT_SetEventNotification::\t4"));
  EXPECT_FALSE(port->WorkerRunning());
  EXPECT_FALSE(bus.IsOpen(0));
  EXPECT_EQ(bus.CallCount(UsbCall::Close), 1);
  EXPECT_EQ(port->DeviceIndex(), -1);
  EXPECT_FALSE(port->IsUpdateCapable());
  EXPECT_EQ(UsbDeviceList::Instance().Node(0)->handle, UsbHandle::kNone);

  // The device was let go: the next port gets it.
  auto next = MakePort();
  EXPECT_EQ(next->Open(probe, 0, 0), 1);

  // A device the driver cannot open: 0, nothing traced after the identity.
  auto third = MakePort();
  trace.lines.clear();
  EXPECT_EQ(third->Open(probe, 0, 0), 0);
  EXPECT_TRUE(trace.Contains("ID:\t\t0x403, 0x6001"));
  EXPECT_FALSE(trace.AnyStartsWith("DriverVersion"));
  EXPECT_EQ(third->DeviceIndex(), -1);
}

// --- Reading

TEST_F(UsbPortTest, DeliversWhatArrivesKeyedByLocationAndCountsShortReads) {
  auto port = OpenOne(Device(0x5C40, 0x00B20000));
  Drainer gui(*port, probe);

  bus.InjectReceived(0, "V=2.10\r");
  ASSERT_TRUE(gui.Until(7));
  EXPECT_EQ(gui.All(), "V=2.10\r");
  EXPECT_EQ(gui.batches[0].discontinuity, link::ReceivedBatch::npos);
  EXPECT_EQ(probe.LastType(), PortType::Usb);
  EXPECT_EQ(probe.LastKey(), 0x00B20000u);

  // A read that hands out only part of what was queued: the part counts and
  // the rest is read in the same pass, without a new notification.
  bus.ShortReads(3, status::kOk);
  bus.InjectReceived(0, "hello\r");
  ASSERT_TRUE(gui.Until(13));
  EXPECT_EQ(gui.All(), "V=2.10\rhello\r");

  // A read that fails part way: what it did hand out counts too.
  bus.ShortReads(2, status::kIoError);
  bus.InjectReceived(0, "world\r");
  ASSERT_TRUE(gui.Until(19));
  EXPECT_EQ(gui.All(), "V=2.10\rhello\rworld\r");
  EXPECT_EQ(bus.ChipQueued(0), 0u);
}

TEST_F(UsbPortTest, FailedReadLosesNothingTheChipStillHoldsAndIsTriedAgain) {
  auto port = OpenOne(Device(0x5C40));
  Drainer gui(*port, probe);
  bus.FailCall(UsbCall::Read, status::kIoError);
  bus.InjectReceived(0, "DV\r");
  // No second notification comes for these bytes: the reader looks again
  // by itself after the failure.
  ASSERT_TRUE(gui.Until(3));
  EXPECT_EQ(gui.All(), "DV\r");
  EXPECT_EQ(bus.ArgumentsOf(UsbCall::Read, 0), (std::vector<std::uint64_t>{3, 3}));
}

TEST_F(UsbPortTest, ThousandQueuedBytesAreDiscardedAndPurgedInOnePass) {
  auto port = OpenOne(Device(0x5C40));
  Drainer gui(*port, probe);
  const auto purgesBefore = bus.ArgumentsOf(UsbCall::Purge, 0);

  bus.InjectReceived(0, std::string(1000, 'x'));
  ASSERT_TRUE(WaitFor([&] { return bus.ArgumentsOf(UsbCall::Purge, 0).size() == purgesBefore.size() + 1; }));
  EXPECT_EQ(bus.ArgumentsOf(UsbCall::Purge, 0).back(), link::kUsbPurgeRx);
  EXPECT_EQ(bus.ArgumentsOf(UsbCall::Read, 0), std::vector<std::uint64_t>{CUSBPort::kDiscardBytes});
  EXPECT_EQ(bus.ChipQueued(0), 0u);
  EXPECT_EQ(port->ReceivedCount(), 0u);
  // The cut alone is announced, so that the channel can read its inputs again.
  ASSERT_TRUE(WaitFor([&] { return probe.Posted() == 1; }));
  EXPECT_TRUE(port->HasPending());

  // The worker waits for that drain before it reads on: the cut and the
  // bytes after it come apart, in order.
  bus.InjectReceived(0, "x\rV=2.10\r");
  ASSERT_TRUE(gui.Until(9));
  ASSERT_EQ(gui.batches.size(), 2u);
  EXPECT_EQ(gui.batches[0].bytes, "");
  EXPECT_EQ(gui.batches[0].discontinuity, 0u);
  EXPECT_EQ(gui.batches[1].bytes, "x\rV=2.10\r");
  EXPECT_EQ(gui.batches[1].discontinuity, link::ReceivedBatch::npos);
  EXPECT_FALSE(port->HasPending());
}

TEST_F(UsbPortTest, NineHundredBufferedPlusTwoHundredQueuedReads124AndTheRestFollows) {
  auto port = OpenOne(Device(0x5C40));
  Drainer gui(*port, probe);
  UsbPortTestAccess::Prefill(*port, std::string(900, '.'));
  const std::string queued = Pattern(200);

  bus.InjectReceived(0, queued);
  ASSERT_TRUE(gui.Until(1100));
  ASSERT_EQ(gui.batches.size(), 2u);
  EXPECT_EQ(gui.batches[0].bytes, std::string(900, '.') + queued.substr(0, 124));
  EXPECT_EQ(gui.batches[1].bytes, queued.substr(124));
  EXPECT_EQ(bus.ArgumentsOf(UsbCall::Read, 0), (std::vector<std::uint64_t>{124, 76}));
}

TEST_F(UsbPortTest, WriteIsDroppedWhileTheTransmitBufferStaysTaken) {
  auto port = OpenOne(Device(0x5C40));
  ASSERT_TRUE(UsbPortTestAccess::TakeTransmitBuffer(*port));
  const auto start = Clock::now();
  port->Write("DV\r");
  const long long waited = ElapsedMs(start);
  EXPECT_GE(waited, 95);
  EXPECT_LT(waited, 1000);
  EXPECT_EQ(bus.CallCount(UsbCall::Write), 0);

  UsbPortTestAccess::GiveTransmitBuffer(*port);
  port->Write("DV\r");
  EXPECT_EQ(bus.ArgumentsOf(UsbCall::Write, 0), std::vector<std::uint64_t>{3});
  std::vector<std::string> commands;
  bus.WithModule(0, [&](sim::VirtualModule& m) { commands = m.ReceivedCommands(); });
  EXPECT_EQ(commands, std::vector<std::string>{"DV"});

  port->Close();
  port->Write("DV\r");
  EXPECT_EQ(bus.CallCount(UsbCall::Write), 1) << "nothing is written after Close";
}

// --- Identity rewrite

TEST_F(UsbPortTest, RewriteOnTheModuleIdentityReturnsMinusOneAndTouchesNothing) {
  auto unopened = MakePort();
  EXPECT_EQ(unopened->RewriteIdentity(true), -1);

  auto port = OpenOne(Device(0x5C40));
  EXPECT_FALSE(port->IsUpdateCapable());
  const EepromImage before = bus.Eeprom(0);
  const std::size_t calls = bus.CallLog().size();
  EXPECT_EQ(port->RewriteIdentity(true), -1);
  EXPECT_EQ(port->RewriteIdentity(false), -1);
  EXPECT_EQ(bus.CallLog().size(), calls);
  EXPECT_EQ(bus.Eeprom(0), before);
}

TEST_F(UsbPortTest, RewriteWritesTheFamilyIdentityAndKeepsEveryOtherField) {
  for (const bool mini : {true, false}) {
    SCOPED_TRACE(mini ? "Mini" : "Module");
    SimulatedUsbBus freshBus;
    link::FreeUsbDeviceList();
    const std::size_t number = freshBus.Plug(Device(0x6001, 0x00C30000));
    EepromImage image{};
    ASSERT_EQ(sim::EncodeEeprom(FullRecord(), ReservedBase(), image), status::kOk);
    freshBus.SetEeprom(number, image);
    ASSERT_EQ(link::UsbDeviceCount(freshBus), 1);
    PortProbe owner;
    CUSBPort port(freshBus, [](int ms) { link::WaitPumping(ms); });
    ASSERT_EQ(port.Open(owner, 0, 0), 1);
    ASSERT_TRUE(port.IsUpdateCapable());

    EXPECT_EQ(port.RewriteIdentity(mini), 0);
    const EepromImage after = freshBus.Eeprom(number);
    EXPECT_TRUE(Decoded(after) == WithNewIdentity(FullRecord(), mini));
    ExpectSameOutsideIdentity(image, after);
    EXPECT_EQ(freshBus.CallCount(UsbCall::EepromRead), 1);
    EXPECT_EQ(freshBus.CallCount(UsbCall::EepromProgram), 1);
    EXPECT_EQ(freshBus.CallCount(UsbCall::CyclePort), 1);

    // Done once: no longer capable, and no second rewrite reaches the driver.
    EXPECT_FALSE(port.IsUpdateCapable());
    const std::size_t calls = freshBus.CallLog().size();
    EXPECT_EQ(port.RewriteIdentity(mini), -1);
    EXPECT_EQ(freshBus.CallLog().size(), calls);

    // The device re-attached: the reader finds its handle gone and ends; the
    // next count shows the new identity.
    EXPECT_TRUE(WaitFor([&] { return !port.WorkerRunning(); }));
    port.Close();
    ASSERT_EQ(link::UsbDeviceCount(freshBus), 1);
    const UsbDeviceInfoNode& node = *UsbDeviceList::Instance().Node(0);
    EXPECT_EQ(node.id, mini ? 0x04035C43u : 0x04035C40u);
    EXPECT_EQ(NodeText(node.description, sizeof node.description), mini ? "Brimlink Mini" : "Brimlink Module");
    EXPECT_EQ(NodeText(node.serialNumber, sizeof node.serialNumber), "KT000001");
    EXPECT_EQ(node.locationId, 0x00C30000u);
    link::FreeUsbDeviceList();
  }
}

TEST_F(UsbPortTest, RewriteFailuresReturnTheDriverStatusAndReleaseTheLock) {
  auto port = OpenOne(Device(0x6001));
  Drainer gui(*port, probe);
  const EepromImage original = bus.Eeprom(0);

  bus.FailCall(UsbCall::EepromRead, status::kEepromReadFailed);
  EXPECT_EQ(port->RewriteIdentity(true), status::kEepromReadFailed);
  EXPECT_EQ(bus.CallCount(UsbCall::EepromProgram), 0);
  EXPECT_TRUE(port->IsUpdateCapable());

  bus.FailCall(UsbCall::EepromProgram, status::kEepromWriteFailed);
  EXPECT_EQ(port->RewriteIdentity(true), status::kEepromWriteFailed);
  EXPECT_EQ(bus.CallCount(UsbCall::CyclePort), 0);
  EXPECT_EQ(bus.Eeprom(0), original);
  EXPECT_TRUE(port->IsUpdateCapable());

  // The reader takes the port's lock for every pass: it still gets it.
  bus.InjectReceived(0, "V=2.10\r");
  ASSERT_TRUE(gui.Until(7)) << "the lock was kept after a failed rewrite";

  // An EEPROM that no longer holds the factory identity (programmed, not yet
  // re-attached): read, found wanting, not written.
  UsbProgramData programmed = Decoded(original);
  programmed.productId = 0x5C40;
  EepromImage other{};
  ASSERT_EQ(sim::EncodeEeprom(programmed, original, other), status::kOk);
  bus.SetEeprom(0, other);
  EXPECT_EQ(port->RewriteIdentity(false), -1);
  EXPECT_EQ(bus.CallCount(UsbCall::EepromRead), 3);
  EXPECT_EQ(bus.CallCount(UsbCall::EepromProgram), 1);
  bus.SetEeprom(0, original);

  // Programmed, but the re-attach fails: its status, and done all the same.
  bus.FailCall(UsbCall::CyclePort, status::kIoError);
  EXPECT_EQ(port->RewriteIdentity(false), status::kIoError);
  EXPECT_EQ(Decoded(bus.Eeprom(0)).productId, 0x5C40);
  EXPECT_FALSE(port->IsUpdateCapable());
  bus.InjectReceived(0, "DV\r");
  ASSERT_TRUE(gui.Until(10));
}

// --- Simulated EEPROM

TEST(SimulatedEeprom, DecodeAndRebuildKeepEveryFieldAndEveryReservedBit) {
  const EepromImage base = ReservedBase();
  EepromImage image{};
  ASSERT_EQ(sim::EncodeEeprom(FullRecord(), base, image), status::kOk);
  EXPECT_TRUE(Decoded(image) == FullRecord());
  for (std::size_t i = 0; i < 0x1A; ++i) {
    if (i == 0x04 || i == 0x05 || (i >= 0x0E && i <= 0x13) || i == 0x18 || i == 0x19) continue;
    // Every reserved bit of the base survives the encoding.
    EXPECT_EQ(image[i] & base[i] & ~0x08, base[i] & ~0x08) << "byte 0x" << std::hex << i;
  }

  // Decode, change the identity, rebuild onto the same image: the rest stays.
  UsbProgramData record = Decoded(image);
  const UsbProgramData changed = WithNewIdentity(record, true);
  EepromImage rebuilt{};
  ASSERT_EQ(sim::EncodeEeprom(changed, image, rebuilt), status::kOk);
  EXPECT_TRUE(Decoded(rebuilt) == changed);
  ExpectSameOutsideIdentity(image, rebuilt);

  // Strings that do not fit: refused, the output untouched.
  UsbProgramData tooLong = changed;
  SetText(tooLong.description, std::string(63, 'd'));
  SetText(tooLong.manufacturer, std::string(31, 'm'));
  EepromImage untouched = rebuilt;
  EXPECT_EQ(sim::EncodeEeprom(tooLong, rebuilt, untouched), status::kInvalidParameter);
  EXPECT_EQ(untouched, rebuilt);

  // A broken checksum is an unprogrammed EEPROM.
  EepromImage broken = rebuilt;
  broken[0x09] ^= 0x01;
  UsbProgramData unused;
  EXPECT_EQ(sim::DecodeEeprom(broken, unused), status::kEepromNotProgrammed);
}

// --- End to end through CommandChannel

TEST(UsbChannel, MiniIsTriedAt19200FirstAndTheOthersAt115200First) {
  UsbBusHarness link;
  SimulatedUsbDevice mini = Device(0x5C43, 0x01100000);
  mini.module = ModuleConfig::Defaults(Model::R6, 2);
  mini.module.onlyBaud = 115200;
  SimulatedUsbDevice factory = Device(0x6001, 0x01200000);
  factory.module = ModuleConfig::Defaults(Model::USB, 3);
  factory.module.onlyBaud = 19200;
  const std::size_t m = link.bus.Plug(mini);
  const std::size_t f = link.bus.Plug(factory);
  ASSERT_EQ(link.Connect(), 2);

  CommandChannel& c0 = link.Channel(0);
  ASSERT_TRUE(c0.OpenUsbChannel(0));
  EXPECT_EQ(link.bus.ArgumentsOf(UsbCall::SetBaudRate, m), (std::vector<std::uint64_t>{19200, 115200}));
  EXPECT_EQ(c0.ModuleNumber(), 2);
  EXPECT_EQ(c0.PortKey(), 0x01100000u);
  ASSERT_NE(link.UsbPort(0), nullptr);
  EXPECT_FALSE(link.UsbPort(0)->IsUpdateCapable());

  CommandChannel& c1 = link.Channel(1);
  ASSERT_TRUE(c1.OpenUsbChannel(1));
  EXPECT_EQ(link.bus.ArgumentsOf(UsbCall::SetBaudRate, f), (std::vector<std::uint64_t>{115200, 19200}));
  EXPECT_EQ(c1.ModuleNumber(), 3);
  EXPECT_TRUE(link.UsbPort(1)->IsUpdateCapable());
  EXPECT_EQ(std::count(link.traceLines.begin(), link.traceLines.end(), "Opening USB:\tLoc1200000"), 2);
  EXPECT_TRUE(link.TraceContains("RX USB Loc1200000:\tV=2.10"));

  // The notification path: an input change at the module reaches the host.
  c1.InitialiseModule(3);
  link.bus.WithModule(f, [](VirtualModule& module) { module.SetInputWord(0, 0x0081, Now()); });
  EXPECT_TRUE(link.PumpUntil([&] { return link.HasEvent(3, 0, 0x0081); }));
}

TEST(UsbChannel, AfterTheRewriteTheNextConnectFindsTheNewIdentity) {
  UsbBusHarness link;
  const std::size_t d = link.bus.Plug(Device(0x6001, 0x02300000));
  ASSERT_EQ(link.Connect(), 1);
  CommandChannel& channel = link.Channel(0);
  ASSERT_TRUE(channel.OpenUsbChannel(0));
  ASSERT_TRUE(link.UsbPort(0)->IsUpdateCapable());
  EXPECT_EQ(link.UsbPort(0)->RewriteIdentity(false), 0);
  EXPECT_FALSE(link.UsbPort(0)->IsUpdateCapable());
  EXPECT_EQ(channel.State(), ChannelState::Ready) << "the channel keeps its state until the host disconnects";

  channel.CloseChannel();
  ASSERT_EQ(link.Connect(), 1);
  EXPECT_EQ(UsbDeviceList::Instance().Node(0)->id, 0x04035C40u);
  ASSERT_TRUE(channel.OpenUsbChannel(0));
  EXPECT_FALSE(link.UsbPort(0)->IsUpdateCapable());
  EXPECT_EQ(link.bus.ArgumentsOf(UsbCall::SetBaudRate, d), (std::vector<std::uint64_t>{115200, 115200}));
}

TEST(UsbChannel, UnpluggedDeviceEndsTheReaderAndClosesInBoundedTime) {
  UsbBusHarness link;
  const std::size_t d = link.bus.Plug(Device(0x5C40, 0x03400000));
  ASSERT_EQ(link.Connect(), 1);
  CommandChannel& channel = link.Channel(0);
  ASSERT_TRUE(channel.OpenUsbChannel(0));
  ASSERT_EQ(link.Record(1).channel, &channel);
  CUSBPort* port = link.UsbPort(0);

  link.bus.Unplug(d);
  EXPECT_TRUE(link.PumpUntil([&] { return !port->WorkerRunning(); }, 2000ms));
  channel.SendCommand("DV");  // goes nowhere, harmlessly
  const auto start = Clock::now();
  channel.CloseChannel();
  EXPECT_LT(ElapsedMs(start), 2000);
  EXPECT_EQ(channel.State(), ChannelState::Closed);
  EXPECT_EQ(link.Record(1).channel, nullptr);
  EXPECT_TRUE(link.messages.empty());
  EXPECT_EQ(link.Connect(), 0);
}

}  // namespace
}  // namespace brimlink::qttest
