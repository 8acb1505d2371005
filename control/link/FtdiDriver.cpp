#include "control/link/FtdiDriver.h"

#include <fcntl.h>
#include <ftdi.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <string_view>

#include "control/link/DeviceAccess.h"

namespace brimlink::link {
namespace {

using namespace usb_status;

constexpr std::uint16_t kVendor = 0x0403;
constexpr std::uint16_t kProducts[] = {0x6001, 0x5C40, 0x5C43};
// What GetStatus keeps of the chip's output; a reader that falls this far
// behind loses the newest bytes, as the chip's own buffer would.
constexpr std::size_t kQueueCapacity = 4096;
// A status call must not block the port's lock for long: the chip answers
// within its latency timer, this only bounds a device that stopped answering.
constexpr int kStatusReadTimeoutMs = 50;
// The reader's poll period: the chip's latency timer bounds the delay.
constexpr int kPollMs = 1;
// libftdi1's code for "no device open".
constexpr int kFtdiNoDevice = -666;
// libftdi1's open codes: "device not found", "libusb_open() failed" and
// "inappropriate permissions on device!".
constexpr int kFtdiOpenNotFound = -3;
constexpr int kFtdiOpenFailed = -4;
constexpr int kFtdiOpenNoPermission = -8;

struct ContextDeleter {
  void operator()(ftdi_context* context) const { ftdi_free(context); }
};
using Context = std::unique_ptr<ftdi_context, ContextDeleter>;

struct DeviceListDeleter {
  void operator()(ftdi_device_list* list) const { ftdi_list_free2(list); }
};

// Transfers fail with libusb's codes; these two mean the device is gone.
int TransferStatus(int result) {
  return result == kFtdiNoDevice || result == LIBUSB_ERROR_NO_DEVICE ? kDeviceNotFound : kIoError;
}

template <std::size_t N>
void CopyText(char (&dest)[N], const char* text) {
  // Cut to the field, always NUL-terminated.
  std::memset(dest, 0, N);
  std::memcpy(dest, text, strnlen(text, N - 1));
}

bool SignaturesValid(const UsbProgramData& data) {
  return data.signature1 == UsbProgramData::kSignature1 && data.signature2 == UsbProgramData::kSignature2 &&
         data.version >= UsbProgramData::kVersion;
}

}  // namespace

struct FtdiDriver::Device {
  std::mutex mutex;  // one call at a time on the context
  Context context;
  std::uint8_t bus = 0;
  std::uint8_t address = 0;
  std::deque<unsigned char> queue;  // read from the chip, not yet taken
  ManualResetEvent* event = nullptr;
  int readTimeoutMs = 1000;
  bool gone = false;  // re-attached or failed as unplugged

  // Moves what the chip has into the queue. Called with the mutex held.
  int Fill() {
    const std::size_t room = kQueueCapacity - std::min(queue.size(), kQueueCapacity);
    if (room == 0) return kOk;
    unsigned char chunk[512];
    const int saved = context->usb_read_timeout;
    context->usb_read_timeout = std::min(saved, kStatusReadTimeoutMs);
    const int result = ftdi_read_data(context.get(), chunk, static_cast<int>(std::min(room, sizeof chunk)));
    context->usb_read_timeout = saved;
    if (result < 0) {
      const int status = TransferStatus(result);
      if (status == kDeviceNotFound) gone = true;
      return status;
    }
    queue.insert(queue.end(), chunk, chunk + result);
    return kOk;
  }
};

FtdiDriver::FtdiDriver() = default;

FtdiDriver::~FtdiDriver() {
  std::lock_guard guard(mutex_);
  for (auto& [key, device] : open_) {
    std::lock_guard deviceGuard(device->mutex);
    ftdi_usb_close(device->context.get());
  }
  open_.clear();
}

std::uint32_t FtdiDriver::LocationIdOf(std::uint8_t bus, const std::uint8_t* ports, int depth) {
  std::uint32_t location = static_cast<std::uint32_t>(bus) << 24;
  for (int level = 0; level < std::min(depth, 6); ++level) {
    location |= static_cast<std::uint32_t>(ports[level] & 0x0F) << (20 - 4 * level);
  }
  return location;
}

std::uint32_t FtdiDriver::DeviceTypeOf(std::uint16_t releaseNumber) {
  switch (releaseNumber >> 8) {
    case 0x02: return usb_device_type::kAM;
    case 0x04: return usb_device_type::kBM;
    case 0x05: return usb_device_type::k2232C;
    case 0x06: return usb_device_type::k232R;
    case 0x07: return usb_device_type::k2232H;
    case 0x08: return usb_device_type::k4232H;
    case 0x09: return usb_device_type::k232H;
    case 0x10: return usb_device_type::kXSeries;
    default: return usb_device_type::kUnknown;
  }
}

int FtdiDriver::CreateDeviceInfoList(std::uint32_t& count) {
  count = 0;
  Context context(ftdi_new());
  if (!context) return kInsufficientResources;
  std::vector<Listed> found;
  for (const std::uint16_t product : kProducts) {
    ftdi_device_list* raw = nullptr;
    const int n = ftdi_usb_find_all(context.get(), &raw, kVendor, product);
    std::unique_ptr<ftdi_device_list, DeviceListDeleter> list(raw);
    if (n < 0) return kIoError;
    for (ftdi_device_list* entry = list.get(); entry != nullptr; entry = entry->next) {
      libusb_device* device = entry->dev;
      libusb_device_descriptor descriptor{};
      if (libusb_get_device_descriptor(device, &descriptor) != 0) continue;
      Listed listed;
      listed.bus = libusb_get_bus_number(device);
      listed.address = libusb_get_device_address(device);
      std::uint8_t ports[7] = {};
      const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
      UsbDeviceInfoNode& node = listed.node;
      node.type = DeviceTypeOf(descriptor.bcdDevice);
      node.id = static_cast<std::uint32_t>(descriptor.idVendor) << 16 | descriptor.idProduct;
      node.locationId = LocationIdOf(listed.bus, ports, std::max(depth, 0));
      if (node.type == usb_device_type::k2232H || node.type == usb_device_type::k4232H ||
          node.type == usb_device_type::k232H) {
        node.flags |= kUsbFlagHighSpeed;
      }
      // Without access to the device (no udev rule) the strings stay empty;
      // the device is still listed.
      char manufacturer[64] = {};
      ftdi_usb_get_strings2(context.get(), device, manufacturer, sizeof manufacturer, node.description,
                            sizeof node.description, node.serialNumber, sizeof node.serialNumber);
      found.push_back(listed);
    }
  }
  std::lock_guard guard(mutex_);
  for (Listed& listed : found) {
    for (const auto& [key, device] : open_) {
      if (device->bus == listed.bus && device->address == listed.address) {
        listed.node.flags |= kUsbFlagOpened;
        listed.node.handle = static_cast<UsbHandle>(key);
      }
    }
  }
  listed_ = std::move(found);
  count = static_cast<std::uint32_t>(listed_.size());
  return kOk;
}

int FtdiDriver::GetDeviceInfoList(UsbDeviceInfoNode* nodes, std::uint32_t& count) {
  if (nodes == nullptr && count > 0) return kInvalidParameter;
  std::lock_guard guard(mutex_);
  const std::size_t n = std::min<std::size_t>(count, listed_.size());
  for (std::size_t i = 0; i < n; ++i) nodes[i] = listed_[i].node;
  count = static_cast<std::uint32_t>(n);
  return kOk;
}

int FtdiDriver::OpenByIndex(std::uint32_t index, UsbHandle& handle) {
  handle = UsbHandle::kNone;
  std::uint8_t bus = 0, address = 0;
  {
    std::lock_guard guard(mutex_);
    if (index >= listed_.size()) return kDeviceNotFound;
    bus = listed_[index].bus;
    address = listed_[index].address;
  }
  auto device = std::make_shared<Device>();
  device->context.reset(ftdi_new());
  if (!device->context) return kInsufficientResources;
  device->bus = bus;
  device->address = address;
  // The kernel's serial driver lets go of the device while it is open and
  // takes it back at the close, so its tty node returns.
  device->context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
  const int result = ftdi_usb_open_bus_addr(device->context.get(), bus, address);
  if (result < 0) {
    // libftdi1 reports a refused libusb open only as "failed": the node's
    // permissions tell whether this user was refused.
    int nodeError = 0;
    if (result == kFtdiOpenFailed &&
        faccessat(AT_FDCWD, DeviceNodeOf(bus, address).c_str(), R_OK | W_OK, AT_EACCESS) != 0) {
      nodeError = errno;
    }
    return OpenStatusOf(result, nodeError);
  }
  device->readTimeoutMs = device->context->usb_read_timeout;
  std::lock_guard guard(mutex_);
  const std::uintptr_t key = nextHandle_++;
  open_[key] = std::move(device);
  handle = static_cast<UsbHandle>(key);
  return kOk;
}

int FtdiDriver::OpenStatusOf(int result, int nodeError) {
  if (result >= 0) return kOk;
  if (result == kFtdiOpenNotFound) return kDeviceNotFound;
  if (result == kFtdiOpenNoPermission) return kAccessDenied;
  if (result == kFtdiOpenFailed && IsAccessError(nodeError)) return kAccessDenied;
  return kDeviceNotOpened;
}

std::string FtdiDriver::DeviceNodeOf(int bus, int address) {
  char path[32];
  std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", bus & 0xFF, address & 0xFF);
  return path;
}

UsbBusAddress FtdiDriver::BusAddress(std::uint32_t index) {
  std::lock_guard guard(mutex_);
  if (index >= listed_.size()) return {};
  const Listed& listed = listed_[index];
  return {listed.bus, listed.address, DeviceNodeOf(listed.bus, listed.address)};
}

template <typename Fn>
int FtdiDriver::OnDevice(UsbHandle handle, Fn&& fn) {
  const std::shared_ptr<Device> device = Find(handle);
  if (!device) return kInvalidHandle;
  std::lock_guard guard(device->mutex);
  if (device->gone) return kDeviceNotFound;
  return fn(*device);
}

std::shared_ptr<FtdiDriver::Device> FtdiDriver::Find(UsbHandle handle) {
  std::lock_guard guard(mutex_);
  const auto it = open_.find(static_cast<std::uintptr_t>(handle));
  return it == open_.end() ? nullptr : it->second;
}

int FtdiDriver::Close(UsbHandle handle) {
  std::shared_ptr<Device> device;
  {
    std::lock_guard guard(mutex_);
    const auto it = open_.find(static_cast<std::uintptr_t>(handle));
    if (it == open_.end()) return kInvalidHandle;
    device = std::move(it->second);
    open_.erase(it);
  }
  std::lock_guard guard(device->mutex);
  ftdi_usb_close(device->context.get());
  device->event = nullptr;
  return kOk;
}

int FtdiDriver::Read(UsbHandle handle, void* buffer, std::uint32_t toRead, std::uint32_t& returned) {
  returned = 0;
  return OnDevice(handle, [&](Device& device) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(device.readTimeoutMs);
    int status = kOk;
    // Each Fill waits at most for the chip's next packet, so this loop does
    // not spin.
    while (device.queue.size() < toRead && std::chrono::steady_clock::now() < deadline) {
      status = device.Fill();
      if (status != kOk) break;
    }
    const std::size_t n = std::min<std::size_t>(toRead, device.queue.size());
    std::copy_n(device.queue.begin(), n, static_cast<unsigned char*>(buffer));
    device.queue.erase(device.queue.begin(), device.queue.begin() + static_cast<std::ptrdiff_t>(n));
    returned = static_cast<std::uint32_t>(n);
    return status;
  });
}

int FtdiDriver::Write(UsbHandle handle, const void* buffer, std::uint32_t toWrite, std::uint32_t& written) {
  written = 0;
  return OnDevice(handle, [&](Device& device) {
    const int result =
        ftdi_write_data(device.context.get(), static_cast<const unsigned char*>(buffer), static_cast<int>(toWrite));
    if (result < 0) {
      const int status = TransferStatus(result);
      if (status == kDeviceNotFound) device.gone = true;
      return status;
    }
    written = static_cast<std::uint32_t>(result);
    return kOk;
  });
}

int FtdiDriver::GetStatus(UsbHandle handle, std::uint32_t& rxQueued, std::uint32_t& txQueued,
                          std::uint32_t& eventStatus) {
  rxQueued = txQueued = eventStatus = 0;
  return OnDevice(handle, [&](Device& device) {
    const int status = device.Fill();
    if (status != kOk) return status;
    rxQueued = static_cast<std::uint32_t>(device.queue.size());
    // Writes are synchronous here: nothing waits to be sent.
    eventStatus = rxQueued > 0 ? kUsbEventRxChar : 0;
    return kOk;
  });
}

int FtdiDriver::SetUsbParameters(UsbHandle handle, std::uint32_t inTransferSize, std::uint32_t outTransferSize) {
  return OnDevice(handle, [&](Device& device) {
    if (ftdi_read_data_set_chunksize(device.context.get(), inTransferSize) < 0) return kIoError;
    if (ftdi_write_data_set_chunksize(device.context.get(), outTransferSize) < 0) return kIoError;
    return kOk;
  });
}

int FtdiDriver::SetLatencyTimer(UsbHandle handle, std::uint8_t milliseconds) {
  return OnDevice(handle, [&](Device& device) {
    return ftdi_set_latency_timer(device.context.get(), milliseconds) < 0 ? kIoError : kOk;
  });
}

int FtdiDriver::SetTimeouts(UsbHandle handle, std::uint32_t readMs, std::uint32_t writeMs) {
  return OnDevice(handle, [&](Device& device) {
    device.readTimeoutMs = static_cast<int>(std::min<std::uint32_t>(readMs, 60000));
    device.context->usb_read_timeout = device.readTimeoutMs;
    device.context->usb_write_timeout = static_cast<int>(std::min<std::uint32_t>(writeMs, 60000));
    return kOk;
  });
}

int FtdiDriver::SetDataCharacteristics(UsbHandle handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                       std::uint8_t parity) {
  return OnDevice(handle, [&](Device& device) {
    if ((wordLength != kUsbBits7 && wordLength != kUsbBits8) || (stopBits != kUsbStopBits1 && stopBits != kUsbStopBits2) ||
        parity > SPACE) {
      return kInvalidParameter;
    }
    const int result = ftdi_set_line_property(device.context.get(), wordLength == kUsbBits7 ? BITS_7 : BITS_8,
                                              stopBits == kUsbStopBits2 ? STOP_BIT_2 : STOP_BIT_1,
                                              static_cast<ftdi_parity_type>(parity));
    return result < 0 ? kIoError : kOk;
  });
}

int FtdiDriver::SetBaudRate(UsbHandle handle, std::uint32_t baud) {
  return OnDevice(handle, [&](Device& device) {
    const int result = ftdi_set_baudrate(device.context.get(), static_cast<int>(baud));
    if (result == -1) return kInvalidBaudRate;
    return result < 0 ? kIoError : kOk;
  });
}

int FtdiDriver::Purge(UsbHandle handle, std::uint32_t mask) {
  return OnDevice(handle, [&](Device& device) {
    if ((mask & kUsbPurgeRx) != 0) {
      device.queue.clear();
      if (ftdi_tciflush(device.context.get()) < 0) return kIoError;
    }
    if ((mask & kUsbPurgeTx) != 0 && ftdi_tcoflush(device.context.get()) < 0) return kIoError;
    return kOk;
  });
}

int FtdiDriver::SetEventNotification(UsbHandle handle, std::uint32_t mask, ManualResetEvent* event) {
  return OnDevice(handle, [&](Device& device) {
    // Set by GetStatus when it finds bytes; the reader polls regardless.
    device.event = (mask & kUsbEventRxChar) != 0 ? event : nullptr;
    return kOk;
  });
}

int FtdiDriver::GetDriverVersion(UsbHandle handle, std::uint32_t& version) {
  version = 0;
  return OnDevice(handle, [&](Device&) {
    const ftdi_version_info info = ftdi_get_library_version();
    version = static_cast<std::uint32_t>(info.major & 0xFF) << 16 | static_cast<std::uint32_t>(info.minor & 0xFF) << 8 |
              static_cast<std::uint32_t>(info.micro & 0xFF);
    return kOk;
  });
}

int FtdiDriver::EepromRead(UsbHandle handle, UsbProgramData& data) {
  if (!SignaturesValid(data)) return kInvalidParameter;
  return OnDevice(handle, [&](Device& device) {
    ftdi_context* context = device.context.get();
    if (ftdi_read_eeprom(context) < 0) return kEepromReadFailed;
    if (ftdi_eeprom_decode(context, 0) < 0) return kEepromNotProgrammed;
    const auto value = [context](ftdi_eeprom_value name) {
      int v = 0;
      ftdi_get_eeprom_value(context, name, &v);
      return v;
    };
    data.vendorId = static_cast<std::uint16_t>(value(VENDOR_ID));
    data.productId = static_cast<std::uint16_t>(value(PRODUCT_ID));
    char manufacturer[64] = {}, description[128] = {}, serial[64] = {};
    if (ftdi_eeprom_get_strings(context, manufacturer, sizeof manufacturer, description, sizeof description, serial,
                                sizeof serial) < 0) {
      return kEepromReadFailed;
    }
    CopyText(data.manufacturer, manufacturer);
    CopyText(data.description, description);
    CopyText(data.serialNumber, serial);
    std::memset(data.manufacturerId, 0, sizeof data.manufacturerId);
    std::memcpy(data.manufacturerId, serial, strnlen(serial, 2));
    data.maxPower = static_cast<std::uint16_t>(value(MAX_POWER));
    data.pnp = value(IS_NOT_PNP) != 0 ? 0 : 1;
    data.selfPowered = value(SELF_POWERED) != 0 ? 1 : 0;
    data.remoteWakeup = value(REMOTE_WAKEUP) != 0 ? 1 : 0;
    data.useExtOsc = value(EXTERNAL_OSCILLATOR) != 0 ? 1 : 0;
    data.highDriveIOs = value(HIGH_CURRENT) != 0 ? 1 : 0;
    data.endPointSize = 64;
    data.pullDownEnableR = value(SUSPEND_PULL_DOWNS) != 0 ? 1 : 0;
    data.serNumEnableR = value(USE_SERIAL) != 0 ? 1 : 0;
    const int invert = value(INVERT);
    data.invertTXD = (invert & INVERT_TXD) != 0;
    data.invertRXD = (invert & INVERT_RXD) != 0;
    data.invertRTS = (invert & INVERT_RTS) != 0;
    data.invertCTS = (invert & INVERT_CTS) != 0;
    data.invertDTR = (invert & INVERT_DTR) != 0;
    data.invertDSR = (invert & INVERT_DSR) != 0;
    data.invertDCD = (invert & INVERT_DCD) != 0;
    data.invertRI = (invert & INVERT_RI) != 0;
    data.cbus0 = static_cast<std::uint8_t>(value(CBUS_FUNCTION_0));
    data.cbus1 = static_cast<std::uint8_t>(value(CBUS_FUNCTION_1));
    data.cbus2 = static_cast<std::uint8_t>(value(CBUS_FUNCTION_2));
    data.cbus3 = static_cast<std::uint8_t>(value(CBUS_FUNCTION_3));
    data.cbus4 = static_cast<std::uint8_t>(value(CBUS_FUNCTION_4));
    data.rIsD2XX = value(CHANNEL_A_DRIVER) == DRIVER_VCP ? 0 : 1;
    return kOk;
  });
}

int FtdiDriver::EepromProgram(UsbHandle handle, const UsbProgramData& data) {
  if (!SignaturesValid(data)) return kInvalidParameter;
  return OnDevice(handle, [&](Device& device) {
    ftdi_context* context = device.context.get();
    // Start from what the chip holds, so that the build keeps what the record
    // does not carry.
    if (ftdi_read_eeprom(context) < 0) return kEepromReadFailed;
    if (ftdi_eeprom_decode(context, 0) < 0) return kEepromNotProgrammed;
    const int invert = (data.invertTXD ? INVERT_TXD : 0) | (data.invertRXD ? INVERT_RXD : 0) |
                       (data.invertRTS ? INVERT_RTS : 0) | (data.invertCTS ? INVERT_CTS : 0) |
                       (data.invertDTR ? INVERT_DTR : 0) | (data.invertDSR ? INVERT_DSR : 0) |
                       (data.invertDCD ? INVERT_DCD : 0) | (data.invertRI ? INVERT_RI : 0);
    const std::pair<ftdi_eeprom_value, int> values[] = {
        {VENDOR_ID, data.vendorId},
        {PRODUCT_ID, data.productId},
        {MAX_POWER, data.maxPower},
        {IS_NOT_PNP, data.pnp != 0 ? 0 : 1},
        {SELF_POWERED, data.selfPowered != 0 ? 1 : 0},
        {REMOTE_WAKEUP, data.remoteWakeup != 0 ? 1 : 0},
        {EXTERNAL_OSCILLATOR, data.useExtOsc != 0 ? 1 : 0},
        {HIGH_CURRENT, data.highDriveIOs != 0 ? HIGH_CURRENT_DRIVE_R : 0},
        {SUSPEND_PULL_DOWNS, data.pullDownEnableR != 0 ? 1 : 0},
        {USE_SERIAL, data.serNumEnableR != 0 ? 1 : 0},
        {INVERT, invert},
        {CBUS_FUNCTION_0, data.cbus0},
        {CBUS_FUNCTION_1, data.cbus1},
        {CBUS_FUNCTION_2, data.cbus2},
        {CBUS_FUNCTION_3, data.cbus3},
        {CBUS_FUNCTION_4, data.cbus4},
        {CHANNEL_A_DRIVER, data.rIsD2XX != 0 ? 0 : DRIVER_VCP},
    };
    for (const auto& [name, v] : values) {
      if (ftdi_set_eeprom_value(context, name, v) < 0) return kInvalidParameter;
    }
    const auto text = [](const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); };
    const std::string manufacturer = text(data.manufacturer, sizeof data.manufacturer);
    const std::string description = text(data.description, sizeof data.description);
    const std::string serial = text(data.serialNumber, sizeof data.serialNumber);
    if (ftdi_eeprom_set_strings(context, manufacturer.c_str(), description.c_str(), serial.c_str()) < 0) {
      return kInvalidParameter;
    }
    if (ftdi_eeprom_build(context) < 0) return kEepromWriteFailed;
    if (ftdi_write_eeprom(context) < 0) return kEepromWriteFailed;
    return kOk;
  });
}

int FtdiDriver::CyclePort(UsbHandle handle) {
  return OnDevice(handle, [&](Device& device) {
    const int result = libusb_reset_device(device.context->usb_dev);
    // Either way the handle is done: a device with new descriptors comes back
    // as a new device.
    device.gone = true;
    if (result == 0 || result == LIBUSB_ERROR_NOT_FOUND) return kOk;
    return result == LIBUSB_ERROR_NO_DEVICE ? kDeviceNotFound : kIoError;
  });
}

int FtdiDriver::NotificationPollMs(UsbHandle) { return kPollMs; }

}  // namespace brimlink::link
