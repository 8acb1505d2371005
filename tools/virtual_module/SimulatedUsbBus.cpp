#include "tools/virtual_module/SimulatedUsbBus.h"

#include <algorithm>
#include <cstring>

namespace brimlink::sim {
namespace {

using namespace link::usb_status;
using link::UsbHandle;
using link::UsbProgramData;

constexpr std::uint32_t kPowerOnBaud = 9600;

// Image offsets (see the layout in the header).
constexpr std::size_t kOptions = 0x00, kEndPoint = 0x01, kVendor = 0x02, kProduct = 0x04, kRelease = 0x06;
constexpr std::size_t kAttributes = 0x08, kMaxPower = 0x09, kChipOptions = 0x0A, kInvert = 0x0B, kUsbVersion = 0x0C;
constexpr std::size_t kManufacturerRef = 0x0E, kDescriptionRef = 0x10, kSerialRef = 0x12, kManufacturerIdRef = 0x18;
constexpr std::size_t kCbus = 0x14, kStringsBegin = 0x1A, kStringsEnd = 0x7E, kChecksum = 0x7E;

constexpr std::uint8_t kExtOscBit = 0x01, kHighDriveBit = 0x04, kDirectDriverBit = 0x08;
constexpr std::uint8_t kSelfPoweredBit = 0x40, kRemoteWakeupBit = 0x20;
constexpr std::uint8_t kPnpOffBit = 0x01, kPullDownBit = 0x04, kSerialEnableBit = 0x08;

void Put16(EepromImage& image, std::size_t at, std::uint16_t value) {
  image[at] = static_cast<std::uint8_t>(value & 0xFF);
  image[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t Get16(const EepromImage& image, std::size_t at) {
  return static_cast<std::uint16_t>(image[at] | image[at + 1] << 8);
}

std::uint16_t ChecksumOf(const EepromImage& image) {
  std::uint16_t sum = 0xAAAA;
  for (std::size_t at = 0; at < kChecksum; at += 2) {
    sum ^= Get16(image, at);
    sum = static_cast<std::uint16_t>(sum << 1 | sum >> 15);
  }
  return sum;
}

void SetBit(std::uint8_t& byte, std::uint8_t bit, bool on) {
  byte = static_cast<std::uint8_t>(on ? byte | bit : byte & ~bit);
}

template <std::size_t N>
std::string_view TextOf(const char (&field)[N]) {
  return {field, strnlen(field, N)};
}

template <std::size_t N>
void CopyText(char (&dest)[N], std::string_view text) {
  std::memset(dest, 0, N);
  std::memcpy(dest, text.data(), std::min(text.size(), N - 1));
}

// Appends a string descriptor at `next`; false when it does not fit.
bool LayString(EepromImage& image, std::size_t& next, std::size_t ref, std::string_view text) {
  const std::size_t length = 2 + 2 * text.size();
  if (length > 0xFF || next + length > kStringsEnd) return false;
  image[ref] = static_cast<std::uint8_t>(next);
  image[ref + 1] = static_cast<std::uint8_t>(length);
  image[next] = static_cast<std::uint8_t>(length);
  image[next + 1] = 0x03;
  for (std::size_t i = 0; i < text.size(); ++i) {
    image[next + 2 + 2 * i] = static_cast<std::uint8_t>(text[i]);
    image[next + 3 + 2 * i] = 0;
  }
  next += length;
  return true;
}

bool ReadString(const EepromImage& image, std::size_t ref, std::string& text) {
  const std::size_t at = image[ref];
  const std::size_t length = image[ref + 1];
  text.clear();
  if (length == 0) return true;
  if (at < kStringsBegin || length < 2 || at + length > kStringsEnd || image[at] != length || image[at + 1] != 0x03) {
    return false;
  }
  for (std::size_t i = at + 2; i + 1 < at + length; i += 2) text.push_back(static_cast<char>(image[i]));
  return true;
}

bool SignaturesValid(const UsbProgramData& data) {
  return data.signature1 == UsbProgramData::kSignature1 && data.signature2 == UsbProgramData::kSignature2 &&
         data.version >= UsbProgramData::kVersion;
}

}  // namespace

const char* UsbCallName(UsbCall call) {
  static constexpr const char* kNames[] = {
      "CreateDeviceInfoList", "GetDeviceInfoList", "OpenByIndex",   "Close",
      "Read",                 "Write",             "GetStatus",     "SetUsbParameters",
      "SetLatencyTimer",      "SetTimeouts",       "SetDataCharacteristics", "SetBaudRate",
      "Purge",                "SetEventNotification", "GetDriverVersion", "EepromRead",
      "EepromProgram",        "CyclePort",         "NotificationPollMs"};
  const auto i = static_cast<std::size_t>(call);
  return i < std::size(kNames) ? kNames[i] : "?";
}

int EncodeEeprom(const UsbProgramData& data, const EepromImage& base, EepromImage& image) {
  EepromImage out = base;
  SetBit(out[kOptions], kExtOscBit, data.useExtOsc != 0);
  SetBit(out[kOptions], kHighDriveBit, data.highDriveIOs != 0);
  SetBit(out[kOptions], kDirectDriverBit, data.rIsD2XX != 0);
  out[kEndPoint] = data.endPointSize;
  Put16(out, kVendor, data.vendorId);
  Put16(out, kProduct, data.productId);
  SetBit(out[kAttributes], kSelfPoweredBit, data.selfPowered != 0);
  SetBit(out[kAttributes], kRemoteWakeupBit, data.remoteWakeup != 0);
  out[kMaxPower] = static_cast<std::uint8_t>(std::min<std::uint16_t>(data.maxPower, 500) / 2);
  SetBit(out[kChipOptions], kPnpOffBit, data.pnp == 0);
  SetBit(out[kChipOptions], kPullDownBit, data.pullDownEnableR != 0);
  SetBit(out[kChipOptions], kSerialEnableBit, data.serNumEnableR != 0);
  const std::uint8_t inverts[] = {data.invertTXD, data.invertRXD, data.invertRTS, data.invertCTS,
                                  data.invertDTR, data.invertDSR, data.invertDCD, data.invertRI};
  out[kInvert] = 0;
  for (std::size_t i = 0; i < std::size(inverts); ++i) SetBit(out[kInvert], static_cast<std::uint8_t>(1u << i), inverts[i] != 0);
  out[kCbus] = static_cast<std::uint8_t>((data.cbus0 & 0x0F) | (data.cbus1 & 0x0F) << 4);
  out[kCbus + 1] = static_cast<std::uint8_t>((data.cbus2 & 0x0F) | (data.cbus3 & 0x0F) << 4);
  out[kCbus + 2] = static_cast<std::uint8_t>((out[kCbus + 2] & 0xF0) | (data.cbus4 & 0x0F));

  std::fill(out.begin() + kStringsBegin, out.begin() + kStringsEnd, 0);
  std::size_t next = kStringsBegin;
  if (!LayString(out, next, kManufacturerRef, TextOf(data.manufacturer)) ||
      !LayString(out, next, kDescriptionRef, TextOf(data.description)) ||
      !LayString(out, next, kSerialRef, TextOf(data.serialNumber)) ||
      !LayString(out, next, kManufacturerIdRef, TextOf(data.manufacturerId))) {
    return kInvalidParameter;
  }
  Put16(out, kChecksum, ChecksumOf(out));
  image = out;
  return kOk;
}

int DecodeEeprom(const EepromImage& image, UsbProgramData& data) {
  if (Get16(image, kChecksum) != ChecksumOf(image)) return kEepromNotProgrammed;
  std::string manufacturer, description, serial, manufacturerId;
  if (!ReadString(image, kManufacturerRef, manufacturer) || !ReadString(image, kDescriptionRef, description) ||
      !ReadString(image, kSerialRef, serial) || !ReadString(image, kManufacturerIdRef, manufacturerId)) {
    return kEepromNotProgrammed;
  }
  data.useExtOsc = (image[kOptions] & kExtOscBit) != 0;
  data.highDriveIOs = (image[kOptions] & kHighDriveBit) != 0;
  data.rIsD2XX = (image[kOptions] & kDirectDriverBit) != 0;
  data.endPointSize = image[kEndPoint];
  data.vendorId = Get16(image, kVendor);
  data.productId = Get16(image, kProduct);
  data.selfPowered = (image[kAttributes] & kSelfPoweredBit) != 0;
  data.remoteWakeup = (image[kAttributes] & kRemoteWakeupBit) != 0;
  data.maxPower = static_cast<std::uint16_t>(image[kMaxPower] * 2);
  data.pnp = (image[kChipOptions] & kPnpOffBit) == 0;
  data.pullDownEnableR = (image[kChipOptions] & kPullDownBit) != 0;
  data.serNumEnableR = (image[kChipOptions] & kSerialEnableBit) != 0;
  std::uint8_t* inverts[] = {&data.invertTXD, &data.invertRXD, &data.invertRTS, &data.invertCTS,
                             &data.invertDTR, &data.invertDSR, &data.invertDCD, &data.invertRI};
  for (std::size_t i = 0; i < std::size(inverts); ++i) *inverts[i] = (image[kInvert] >> i) & 1;
  data.cbus0 = image[kCbus] & 0x0F;
  data.cbus1 = image[kCbus] >> 4;
  data.cbus2 = image[kCbus + 1] & 0x0F;
  data.cbus3 = image[kCbus + 1] >> 4;
  data.cbus4 = image[kCbus + 2] & 0x0F;
  CopyText(data.manufacturer, manufacturer);
  CopyText(data.description, description);
  CopyText(data.serialNumber, serial);
  CopyText(data.manufacturerId, manufacturerId);
  return kOk;
}

struct SimulatedUsbBus::Device {
  explicit Device(const SimulatedUsbDevice& plugged)
      : type(plugged.type),
        locationId(plugged.locationId),
        accessDenied(plugged.accessDenied),
        deviceNode(plugged.deviceNode),
        module(plugged.module) {}

  // The USB identity is what the device enumerated with: read from the
  // EEPROM when it attaches.
  void Attach() {
    UsbProgramData data;
    if (DecodeEeprom(eeprom, data) == kOk) {
      vendorId = data.vendorId;
      productId = data.productId;
      description = TextOf(data.description);
      serialNumber = TextOf(data.serialNumber);
    }
    ++attachment;
    openHandle = 0;
    event = nullptr;
    queue.clear();
    baud = kPowerOnBaud;
    module.SetLineBaud(static_cast<int>(baud));
  }

  bool present = true;
  std::uint32_t type;
  std::uint32_t locationId;
  bool accessDenied;
  std::string deviceNode;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::string description;
  std::string serialNumber;
  EepromImage eeprom{};
  std::uint64_t attachment = 0;
  VirtualModule module;
  std::deque<char> queue;  // the chip's receive queue
  std::uintptr_t openHandle = 0;
  link::ManualResetEvent* event = nullptr;
  std::uint32_t baud = kPowerOnBaud;
};

SimulatedUsbBus::SimulatedUsbBus() = default;
SimulatedUsbBus::~SimulatedUsbBus() = default;

Millis SimulatedUsbBus::Now() {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

std::size_t SimulatedUsbBus::Plug(const SimulatedUsbDevice& plugged) {
  auto device = std::make_unique<Device>(plugged);
  UsbProgramData data;
  data.vendorId = plugged.vendorId;
  data.productId = plugged.productId;
  CopyText(data.manufacturer, plugged.manufacturer);
  CopyText(data.description, plugged.description);
  CopyText(data.serialNumber, plugged.serialNumber);
  CopyText(data.manufacturerId, std::string_view(plugged.serialNumber).substr(0, 2));
  data.maxPower = 90;
  data.pnp = 1;
  data.serNumEnableR = 1;
  data.cbus0 = 3;  // TX LED
  data.cbus1 = 2;  // RX LED
  data.cbus3 = 1;  // power enable
  data.cbus4 = 5;  // sleep
  EepromImage blank{};
  Put16(blank, kRelease, 0x0600);
  Put16(blank, kUsbVersion, 0x0200);
  blank[kAttributes] = 0x80;
  EncodeEeprom(data, blank, device->eeprom);
  device->Attach();
  std::lock_guard guard(mutex_);
  devices_.push_back(std::move(device));
  return devices_.size() - 1;
}

SimulatedUsbBus::Device& SimulatedUsbBus::At(std::size_t device) { return *devices_.at(device); }
const SimulatedUsbBus::Device& SimulatedUsbBus::At(std::size_t device) const { return *devices_.at(device); }

void SimulatedUsbBus::Unplug(std::size_t number) {
  std::lock_guard guard(mutex_);
  Device& device = At(number);
  device.present = false;
  ++device.attachment;
  if (device.event != nullptr) device.event->Set();
  device.event = nullptr;
  device.openHandle = 0;
}

void SimulatedUsbBus::Pump(Device& device, bool notify) {
  char chunk[256];
  std::size_t n = 0;
  while ((n = device.module.TakeOutput(Now(), chunk, sizeof chunk)) > 0) device.queue.insert(device.queue.end(), chunk, chunk + n);
  if (notify && device.event != nullptr && (!device.queue.empty() || device.module.HasOutput())) device.event->Set();
}

void SimulatedUsbBus::WithModule(std::size_t number, const std::function<void(VirtualModule&)>& fn) {
  std::lock_guard guard(mutex_);
  Device& device = At(number);
  fn(device.module);
  Pump(device, true);
}

void SimulatedUsbBus::InjectReceived(std::size_t number, std::string_view bytes) {
  std::lock_guard guard(mutex_);
  Device& device = At(number);
  device.queue.insert(device.queue.end(), bytes.begin(), bytes.end());
  if (device.event != nullptr && !bytes.empty()) device.event->Set();
}

std::size_t SimulatedUsbBus::ChipQueued(std::size_t number) const {
  std::lock_guard guard(mutex_);
  return At(number).queue.size();
}

std::uint32_t SimulatedUsbBus::BaudRate(std::size_t number) const {
  std::lock_guard guard(mutex_);
  return At(number).baud;
}

bool SimulatedUsbBus::IsOpen(std::size_t number) const {
  std::lock_guard guard(mutex_);
  return At(number).openHandle != 0;
}

void SimulatedUsbBus::SetAccessDenied(std::size_t number, bool denied) {
  std::lock_guard guard(mutex_);
  At(number).accessDenied = denied;
}

EepromImage SimulatedUsbBus::Eeprom(std::size_t number) const {
  std::lock_guard guard(mutex_);
  return At(number).eeprom;
}

void SimulatedUsbBus::SetEeprom(std::size_t number, const EepromImage& image) {
  std::lock_guard guard(mutex_);
  At(number).eeprom = image;
}

void SimulatedUsbBus::FailCall(UsbCall call, int status, int times) {
  std::lock_guard guard(mutex_);
  failures_[static_cast<std::size_t>(call)] = {status, times};
}

void SimulatedUsbBus::ClearFailures() {
  std::lock_guard guard(mutex_);
  failures_.fill({});
}

int SimulatedUsbBus::CallCount(UsbCall call) const {
  std::lock_guard guard(mutex_);
  return counts_[static_cast<std::size_t>(call)];
}

std::vector<SimulatedUsbBus::LoggedCall> SimulatedUsbBus::CallLog() const {
  std::lock_guard guard(mutex_);
  return log_;
}

std::vector<std::uint64_t> SimulatedUsbBus::ArgumentsOf(UsbCall call, std::size_t device) const {
  std::lock_guard guard(mutex_);
  std::vector<std::uint64_t> out;
  for (const LoggedCall& entry : log_)
    if (entry.call == call && entry.device == device) out.push_back(entry.argument);
  return out;
}

void SimulatedUsbBus::ShortReads(std::uint32_t maxBytes, int status, int times) {
  std::lock_guard guard(mutex_);
  shortReadBytes_ = maxBytes;
  shortReadStatus_ = status;
  shortReads_ = times;
}

std::size_t SimulatedUsbBus::DeviceOf(UsbHandle handle) const {
  const auto it = handles_.find(static_cast<std::uintptr_t>(handle));
  return it == handles_.end() ? kNoDevice : it->second.device;
}

int SimulatedUsbBus::Enter(UsbCall call, std::uint64_t argument, std::size_t device) {
  const auto i = static_cast<std::size_t>(call);
  ++counts_[i];
  if (call != UsbCall::GetStatus && call != UsbCall::NotificationPollMs) log_.push_back({call, argument, device});
  Failure& failure = failures_[i];
  if (failure.remaining == 0) return kOk;
  if (failure.remaining > 0) --failure.remaining;
  return failure.status;
}

template <typename Fn>
int SimulatedUsbBus::OnDevice(UsbCall call, std::uint64_t argument, UsbHandle handle, Fn&& fn) {
  std::lock_guard guard(mutex_);
  if (const int status = Enter(call, argument, DeviceOf(handle))) return status;
  int status = kOk;
  Device* device = Open(handle, status);
  if (device == nullptr) return status;
  return fn(*device);
}

SimulatedUsbBus::Device* SimulatedUsbBus::Open(UsbHandle handle, int& status) {
  const auto it = handles_.find(static_cast<std::uintptr_t>(handle));
  if (it == handles_.end()) {
    status = kInvalidHandle;
    return nullptr;
  }
  Device& device = At(it->second.device);
  if (!device.present || device.attachment != it->second.attachment) {
    status = kDeviceNotFound;
    return nullptr;
  }
  status = kOk;
  return &device;
}

int SimulatedUsbBus::CreateDeviceInfoList(std::uint32_t& count) {
  std::lock_guard guard(mutex_);
  count = 0;
  if (const int status = Enter(UsbCall::CreateDeviceInfoList, 0)) return status;
  listed_.clear();
  for (std::size_t i = 0; i < devices_.size(); ++i)
    if (devices_[i]->present) listed_.push_back(i);
  count = static_cast<std::uint32_t>(listed_.size());
  return kOk;
}

int SimulatedUsbBus::GetDeviceInfoList(link::UsbDeviceInfoNode* nodes, std::uint32_t& count) {
  std::lock_guard guard(mutex_);
  if (const int status = Enter(UsbCall::GetDeviceInfoList, count)) return status;
  if (nodes == nullptr && count > 0) return kInvalidParameter;
  const std::size_t n = std::min<std::size_t>(count, listed_.size());
  for (std::size_t i = 0; i < n; ++i) {
    const Device& device = At(listed_[i]);
    link::UsbDeviceInfoNode node;
    node.flags = device.openHandle != 0 ? link::kUsbFlagOpened : 0;
    node.type = device.type;
    node.id = static_cast<std::uint32_t>(device.vendorId) << 16 | device.productId;
    node.locationId = device.locationId;
    CopyText(node.serialNumber, device.serialNumber);
    CopyText(node.description, device.description);
    node.handle = static_cast<UsbHandle>(device.openHandle);
    nodes[i] = node;
  }
  count = static_cast<std::uint32_t>(n);
  return kOk;
}

int SimulatedUsbBus::OpenByIndex(std::uint32_t index, UsbHandle& handle) {
  std::lock_guard guard(mutex_);
  handle = UsbHandle::kNone;
  if (const int status = Enter(UsbCall::OpenByIndex, index, index < listed_.size() ? listed_[index] : kNoDevice)) {
    return status;
  }
  if (index >= listed_.size()) return kDeviceNotFound;
  Device& device = At(listed_[index]);
  if (!device.present) return kDeviceNotFound;
  if (device.accessDenied) return link::usb_status::kAccessDenied;
  if (device.openHandle != 0) return kDeviceNotOpened;
  const std::uintptr_t key = nextHandle_++;
  handles_[key] = {listed_[index], device.attachment};
  device.openHandle = key;
  handle = static_cast<UsbHandle>(key);
  return kOk;
}

link::UsbBusAddress SimulatedUsbBus::BusAddress(std::uint32_t index) {
  std::lock_guard guard(mutex_);
  if (index >= listed_.size()) return {};
  const Device& device = At(listed_[index]);
  return {static_cast<int>(device.locationId >> 24), static_cast<int>(listed_[index] + 1), device.deviceNode};
}

int SimulatedUsbBus::Close(UsbHandle handle) {
  std::lock_guard guard(mutex_);
  if (const int status = Enter(UsbCall::Close, 0, DeviceOf(handle))) return status;
  const auto it = handles_.find(static_cast<std::uintptr_t>(handle));
  if (it == handles_.end()) return kInvalidHandle;
  Device& device = At(it->second.device);
  if (device.openHandle == it->first) {
    device.openHandle = 0;
    device.event = nullptr;
  }
  handles_.erase(it);
  return kOk;
}

int SimulatedUsbBus::Read(UsbHandle handle, void* buffer, std::uint32_t toRead, std::uint32_t& returned) {
  std::lock_guard guard(mutex_);
  returned = 0;
  if (const int status = Enter(UsbCall::Read, toRead, DeviceOf(handle))) return status;
  int status = kOk;
  Device* device = Open(handle, status);
  if (device == nullptr) return status;
  Pump(*device, false);
  // Does not wait for more than the chip has: the port reads what is queued.
  std::size_t n = std::min<std::size_t>(toRead, device->queue.size());
  if (shortReads_ != 0) {
    if (shortReads_ > 0) --shortReads_;
    n = std::min<std::size_t>(n, shortReadBytes_);
    status = shortReadStatus_;
  }
  std::copy_n(device->queue.begin(), n, static_cast<char*>(buffer));
  device->queue.erase(device->queue.begin(), device->queue.begin() + static_cast<std::ptrdiff_t>(n));
  returned = static_cast<std::uint32_t>(n);
  return status;
}

int SimulatedUsbBus::Write(UsbHandle handle, const void* buffer, std::uint32_t toWrite, std::uint32_t& written) {
  std::lock_guard guard(mutex_);
  written = 0;
  if (const int status = Enter(UsbCall::Write, toWrite, DeviceOf(handle))) return status;
  int status = kOk;
  Device* device = Open(handle, status);
  if (device == nullptr) return status;
  device->module.Receive(std::string_view(static_cast<const char*>(buffer), toWrite), Now());
  written = toWrite;
  Pump(*device, true);
  return kOk;
}

int SimulatedUsbBus::GetStatus(UsbHandle handle, std::uint32_t& rxQueued, std::uint32_t& txQueued,
                               std::uint32_t& eventStatus) {
  std::lock_guard guard(mutex_);
  rxQueued = txQueued = eventStatus = 0;
  if (const int status = Enter(UsbCall::GetStatus, 0, DeviceOf(handle))) return status;
  int status = kOk;
  Device* device = Open(handle, status);
  if (device == nullptr) return status;
  Pump(*device, false);
  rxQueued = static_cast<std::uint32_t>(device->queue.size());
  eventStatus = rxQueued > 0 ? link::kUsbEventRxChar : 0;
  return kOk;
}

int SimulatedUsbBus::SetUsbParameters(UsbHandle handle, std::uint32_t inTransferSize, std::uint32_t outTransferSize) {
  return OnDevice(UsbCall::SetUsbParameters, inTransferSize, handle, [&](Device&) {
    return inTransferSize == 0 || outTransferSize == 0 ? kInvalidParameter : kOk;
  });
}

int SimulatedUsbBus::SetLatencyTimer(UsbHandle handle, std::uint8_t milliseconds) {
  return OnDevice(UsbCall::SetLatencyTimer, milliseconds, handle, [&](Device&) {
    return milliseconds < 1 ? kInvalidParameter : kOk;
  });
}

int SimulatedUsbBus::SetTimeouts(UsbHandle handle, std::uint32_t readMs, std::uint32_t writeMs) {
  return OnDevice(UsbCall::SetTimeouts, readMs, handle,
                  [&](Device&) { return readMs == 0 && writeMs == 0 ? kInvalidParameter : kOk; });
}

int SimulatedUsbBus::SetDataCharacteristics(UsbHandle handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                            std::uint8_t parity) {
  return OnDevice(UsbCall::SetDataCharacteristics, wordLength, handle, [&](Device&) {
    const bool valid = (wordLength == link::kUsbBits7 || wordLength == link::kUsbBits8) &&
                       (stopBits == link::kUsbStopBits1 || stopBits == link::kUsbStopBits2) && parity <= 4;
    return valid ? kOk : kInvalidParameter;
  });
}

int SimulatedUsbBus::SetBaudRate(UsbHandle handle, std::uint32_t baud) {
  return OnDevice(UsbCall::SetBaudRate, baud, handle, [&](Device& device) {
    if (baud < 300 || baud > 3000000) return kInvalidBaudRate;
    device.baud = baud;
    device.module.SetLineBaud(static_cast<int>(baud));
    return kOk;
  });
}

int SimulatedUsbBus::Purge(UsbHandle handle, std::uint32_t mask) {
  return OnDevice(UsbCall::Purge, mask, handle, [&](Device& device) {
    if ((mask & link::kUsbPurgeRx) != 0) device.queue.clear();
    return kOk;
  });
}

int SimulatedUsbBus::SetEventNotification(UsbHandle handle, std::uint32_t mask, link::ManualResetEvent* event) {
  return OnDevice(UsbCall::SetEventNotification, mask, handle, [&](Device& device) {
    device.event = (mask & link::kUsbEventRxChar) != 0 ? event : nullptr;
    if (device.event != nullptr && !device.queue.empty()) device.event->Set();
    return kOk;
  });
}

int SimulatedUsbBus::GetDriverVersion(UsbHandle handle, std::uint32_t& version) {
  version = 0;
  return OnDevice(UsbCall::GetDriverVersion, 0, handle, [&](Device&) {
    version = kDriverVersion;
    return kOk;
  });
}

int SimulatedUsbBus::EepromRead(UsbHandle handle, UsbProgramData& data) {
  return OnDevice(UsbCall::EepromRead, 0, handle, [&](Device& device) {
    if (!SignaturesValid(data)) return kInvalidParameter;
    return DecodeEeprom(device.eeprom, data);
  });
}

int SimulatedUsbBus::EepromProgram(UsbHandle handle, const UsbProgramData& data) {
  return OnDevice(UsbCall::EepromProgram, data.productId, handle, [&](Device& device) {
    if (!SignaturesValid(data)) return kInvalidParameter;
    return EncodeEeprom(data, device.eeprom, device.eeprom);
  });
}

int SimulatedUsbBus::CyclePort(UsbHandle handle) {
  return OnDevice(UsbCall::CyclePort, 0, handle, [&](Device& device) {
    // The device leaves the bus and comes back with what its EEPROM holds; the
    // reader finds its handle gone.
    if (device.event != nullptr) device.event->Set();
    device.Attach();
    return kOk;
  });
}

int SimulatedUsbBus::NotificationPollMs(UsbHandle handle) {
  std::lock_guard guard(mutex_);
  Enter(UsbCall::NotificationPollMs, 0, DeviceOf(handle));
  int status = kOk;
  Device* device = Open(handle, status);
  if (device == nullptr) return -1;
  const auto due = device->module.NextDue();
  if (!due) return -1;
  const auto left = (*due - Now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace brimlink::sim
