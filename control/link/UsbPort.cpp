#include "control/link/UsbPort.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "control/link/Trace.h"

namespace brimlink::link {
namespace {

using usb_status::kOk;

// After a failed status or read call the reader looks again this much later,
// so that a device that keeps failing does not keep the worker spinning.
constexpr int kRetryAfterFailureMs = 100;
constexpr std::uint32_t kTransferSize = 64;
constexpr std::uint8_t kLatencyMs = 2;
constexpr std::uint32_t kTimeoutMs = 1000;
constexpr auto kSendTimeout = std::chrono::milliseconds(100);
constexpr int kCloseTries = 50;
constexpr int kCloseStepMs = 10;

template <std::size_t N>
void CopyText(char (&dest)[N], std::string_view text) {
  std::memset(dest, 0, N);
  std::memcpy(dest, text.data(), std::min(text.size(), N - 1));
}

template <std::size_t N>
std::string_view TextOf(const char (&field)[N]) {
  return {field, strnlen(field, N)};
}

// The setting calls of Open go on after a failure; each one is traced with
// its label. The labels carry their own colon, so the line reads
// "FT_Purge::\t4", as this trace always has.
void TraceFailure(std::string_view label, int status) {
  if (status != kOk) TraceNumber(label, static_cast<unsigned long>(static_cast<unsigned>(status)));
}

bool Accepted(std::uint16_t vendor, std::uint16_t product) {
  return vendor == CUSBPort::kVendorId &&
         (product == CUSBPort::kFactoryProductId || product == CUSBPort::kModuleProductId ||
          product == CUSBPort::kMiniProductId);
}

}  // namespace

// --- Device list

UsbDeviceList& UsbDeviceList::Instance() {
  static UsbDeviceList list;
  return list;
}

int UsbDeviceList::Rebuild(UsbDriver& driver) {
  nodes_.clear();
  std::uint32_t count = 0;
  if (driver.CreateDeviceInfoList(count) != kOk || count == 0) return 0;
  std::vector<UsbDeviceInfoNode> nodes(count);
  std::uint32_t filled = count;
  if (driver.GetDeviceInfoList(nodes.data(), filled) != kOk) return 0;
  nodes_ = std::move(nodes);
  return static_cast<int>(nodes_.size());
}

UsbDeviceInfoNode* UsbDeviceList::Node(int index) {
  if (index < 0 || index >= Count()) return nullptr;
  return &nodes_[static_cast<std::size_t>(index)];
}

int UsbDeviceCount(UsbDriver& driver) { return UsbDeviceList::Instance().Rebuild(driver); }

void FreeUsbDeviceList() { UsbDeviceList::Instance().Free(); }

// --- Port

CUSBPort::CUSBPort(UsbDriver& driver, std::function<void(int)> waitPumping, UsbDeviceList& list)
    : driver_(driver), list_(list), waitPumping_(std::move(waitPumping)) {}

CUSBPort::~CUSBPort() {
  closing_ = 1;
  Close();
}

std::uint32_t CUSBPort::BaudRateFor(std::uint16_t productId, int attempt) {
  const bool first = attempt == 0;
  if (productId == kMiniProductId) return first ? 19200 : 115200;
  return first ? 115200 : 19200;
}

int CUSBPort::Open(PortOwner& owner, std::uint32_t port, int parameter) {
  denied_.reset();
  UsbDeviceList& list = list_;
  if (port >= static_cast<std::uint32_t>(list.Count())) return 0;
  const int index = static_cast<int>(port);
  UsbDeviceInfoNode& node = *list.Node(index);
  if (node.type != usb_device_type::k232R) {
    TraceNumber("FT_DEVICE", node.type);
    return 0;
  }
  const auto vendor = static_cast<std::uint16_t>(node.id >> 16);
  const auto product = static_cast<std::uint16_t>(node.id & 0xFFFF);
  char text[32];
  const int length = std::snprintf(text, sizeof text, "\t0x%X, 0x%X", static_cast<unsigned>(vendor),
                                   static_cast<unsigned>(product));
  TraceText("ID", std::string_view(text, static_cast<std::size_t>(length)));
  TraceText("Description", TextOf(node.description));
  if (!Accepted(vendor, product)) return 0;

  // A port is normally opened once; a second Open first lets go of what the
  // first one holds, worker included.
  if (DeviceIndex() >= 0 || WorkerRunning()) Close();
  readEvent_.Reset();
  stopEvent_.Reset();

  std::unique_lock guard(lock_);
  owner_ = &owner;
  UsbHandle handle = UsbHandle::kNone;
  if (const int status = driver_.OpenByIndex(port, handle); status != kOk) {
    if (status == usb_status::kAccessDenied) {
      const UsbBusAddress where = driver_.BusAddress(port);
      denied_ = DescribeDeniedDevice(PortType::Usb, node.locationId, where.node, EACCES, where.bus, where.address);
    }
    return 0;
  }
  deviceIndex_ = index;
  handle_ = handle;
  node.handle = handle;
  locationId_ = node.locationId;

  std::uint32_t version = 0;
  driver_.GetDriverVersion(handle, version);
  const int versionLength = std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(version));
  TraceText("DriverVersion", std::string_view(text, static_cast<std::size_t>(versionLength)));

  const std::uint32_t baud = BaudRateFor(product, parameter);
  TraceFailure("FT_SetUSBParameters:", driver_.SetUsbParameters(handle, kTransferSize, kTransferSize));
  TraceFailure("FT_SetLatencyTimer:", driver_.SetLatencyTimer(handle, kLatencyMs));
  TraceFailure("FT_SetTimeouts:", driver_.SetTimeouts(handle, kTimeoutMs, kTimeoutMs));
  TraceFailure("FT_SetDataCharacteristics:",
               driver_.SetDataCharacteristics(handle, kUsbBits8, kUsbStopBits1, kUsbParityNone));
  TraceFailure("FT_SetBaudRate:", driver_.SetBaudRate(handle, baud));
  TraceFailure("FT_Purge:", driver_.Purge(handle, kUsbPurgeRx | kUsbPurgeTx));
  const int notification = driver_.SetEventNotification(handle, kUsbEventRxChar, &readEvent_);
  TraceFailure("FT_SetEventNotification:", notification);
  updateCapable_ = product == kFactoryProductId;
  guard.unlock();

  // Without the notification nothing would ever be read.
  if (notification != kOk || !StartWorker()) {
    Close();
    return 0;
  }
  return 1;
}

int CUSBPort::Close() {
  stopEvent_.Set();
  for (int i = 0; i < kCloseTries && WorkerRunning() && waitPumping_; ++i) {
    stopEvent_.Set();
    waitPumping_(kCloseStepMs);
  }
  // The worker leaves every wait on stop; the device goes only after it.
  JoinWorker();
  ForgetDevice();
  return 1;
}

void CUSBPort::ForgetDevice() {
  std::lock_guard guard(lock_);
  if (deviceIndex_ >= 0) {
    driver_.Close(handle_);
    UsbDeviceInfoNode* node = list_.Node(deviceIndex_);
    if (node != nullptr && node->handle == handle_) node->handle = UsbHandle::kNone;
  }
  deviceIndex_ = -1;
  handle_ = UsbHandle::kNone;
  updateCapable_ = false;
}

int CUSBPort::DeviceIndex() const {
  std::lock_guard guard(lock_);
  return deviceIndex_;
}

void CUSBPort::Write(std::string_view text) {
  if (DeviceIndex() < 0) return;
  if (!sendSemaphore_.TryAcquireFor(kSendTimeout)) return;
  std::memset(transmitBuffer_, 0, sizeof transmitBuffer_);
  const std::size_t length = std::min(text.size(), sizeof transmitBuffer_ - 1);
  std::memcpy(transmitBuffer_, text.data(), length);
  {
    std::lock_guard guard(lock_);
    if (deviceIndex_ >= 0) {
      std::uint32_t written = 0;
      driver_.Write(handle_, transmitBuffer_, static_cast<std::uint32_t>(length), written);
    }
  }
  sendSemaphore_.Release();
}

bool CUSBPort::IsUpdateCapable() const {
  std::lock_guard guard(lock_);
  if (!updateCapable_ || deviceIndex_ < 0) return false;
  const UsbDeviceInfoNode* node = list_.Node(deviceIndex_);
  return node != nullptr && node->handle == handle_;
}

int CUSBPort::RewriteIdentity(bool flag) {
  std::lock_guard guard(lock_);
  // Also after a successful rewrite: the chip no longer has the factory
  // identity, and nothing may touch its EEPROM again.
  if (deviceIndex_ < 0 || !updateCapable_) return -1;

  UsbProgramData data;
  int status = driver_.EepromRead(handle_, data);
  if (status != kOk) return status;
  if (data.vendorId != kVendorId || data.productId != kFactoryProductId) return -1;

  data.productId = flag ? kMiniProductId : kModuleProductId;
  CopyText(data.description, flag ? "Brimlink Mini" : "Brimlink Module");
  CopyText(data.manufacturerId, "KT");
  CopyText(data.serialNumber, "KT000001");
  CopyText(data.manufacturer, "Kavro Teaching");
  data.rIsD2XX = 0;

  status = driver_.EepromProgram(handle_, data);
  if (status != kOk) return status;
  // The EEPROM holds the new identity whether or not the re-attach works.
  updateCapable_ = false;
  return driver_.CyclePort(handle_);
}

void CUSBPort::WorkerBody() {
  pollfd fds[2] = {{stopEvent_.Descriptor(), POLLIN, 0}, {readEvent_.Descriptor(), POLLIN, 0}};
  bool retry = false;
  while (!stopEvent_.IsSet()) {
    if (retry) {
      // No notification may come for what is already queued: look again
      // after a pause, whether or not the event is set.
      poll(fds, 1, kRetryAfterFailureMs);
    } else {
      int timeout = -1;
      {
        std::lock_guard guard(lock_);
        if (deviceIndex_ < 0) return;
        timeout = driver_.NotificationPollMs(handle_);
      }
      poll(fds, 2, timeout);
    }
    if (stopEvent_.IsSet()) return;
    retry = false;
    switch (Reading()) {
      case PassResult::Done:
        break;
      case PassResult::DeviceGone:
        // Unplugged or re-attached: nothing more will come through this
        // handle. The port stays open until its channel closes it.
        return;
      case PassResult::Failed:
        retry = true;
        break;
    }
  }
}

CUSBPort::PassResult CUSBPort::Reading() {
  const auto failure = [](int status) {
    return status == usb_status::kDeviceNotFound || status == usb_status::kInvalidHandle ? PassResult::DeviceGone
                                                                                           : PassResult::Failed;
  };
  readEvent_.Reset();
  while (!stopEvent_.IsSet()) {
    std::uint32_t got = 0;
    int status = kOk;
    bool purged = false;
    {
      std::lock_guard guard(lock_);
      if (deviceIndex_ < 0) return PassResult::DeviceGone;
      std::uint32_t rxQueued = 0, txQueued = 0, events = 0;
      status = driver_.GetStatus(handle_, rxQueued, txQueued, events);
      if (status != kOk) return failure(status);
      if (rxQueued > kDiscardThreshold) {
        char scratch[kDiscardBytes];
        std::uint32_t dropped = 0;
        driver_.Read(handle_, scratch, kDiscardBytes, dropped);
        driver_.Purge(handle_, kUsbPurgeRx);
        MarkDiscontinuity();
        rxQueued = 0;
        purged = true;
      }
      const auto wanted = static_cast<std::uint32_t>(std::min<std::size_t>(rxQueued, kBufferSize - receivedCount_));
      if (wanted == 0 && !purged) return PassResult::Done;
      if (wanted > 0) {
        status = driver_.Read(handle_, receiveBuffer_ + receivedCount_, wanted, got);
        // What did arrive counts, also from a short or failed read.
        got = std::min(got, wanted);
        receivedCount_ += got;
        if (receivedCount_ < kBufferSize) receiveBuffer_[receivedCount_] = '\0';
      }
      backlog_ = receivedCount_ > kBacklogThreshold;
    }
    // After a purge the channel is told even when nothing else arrived: it
    // reads its modules' inputs again.
    if (got > 0 || purged) NotifyAndWaitForDrain(PortType::Usb, locationId_);
    if (status != kOk) return failure(status);
  }
  return PassResult::Done;
}

}  // namespace brimlink::link
