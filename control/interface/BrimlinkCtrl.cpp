#include "control/interface/BrimlinkCtrl.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QWidget>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "control/interface/AboutDlg.h"
#include "control/interface/ControlWindow.h"
#include "control/interface/DebugWin.h"
#include "control/interface/MessageReporter.h"
#include "control/link/Commands.h"
#include "control/link/FtdiDriver.h"
#include "control/link/ModuleOperations.h"
#include "control/link/SerialPort.h"
#include "control/link/SettingsLocation.h"
#include "control/link/WaitPumping.h"

namespace brimlink::control {

namespace ba = brimlink::automation;
using link::ChannelState;
using link::CommandChannel;
using link::ModuleRecord;
using link::PortType;

namespace {

// The folder of the file this code was loaded from: Brimlink.ocx in a host,
// the program itself when the control is linked in.
std::string LoadedFileFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LoadedFileFolder), &info) == 0 || info.dli_fname == nullptr) return {};
  char resolved[PATH_MAX];
  const char* path = realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
  return link::ControlFolder(path);
}

// Sets a flag for the length of a scope.
class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& flag_;
};

const char* ModelName(std::int32_t typeCode) {
  switch (typeCode) {
    case link::type_code::kR16:
      return "Brimlink R16";
    case link::type_code::kR8A:
      return "Brimlink R8A";
    case link::type_code::kUSB:
      return "Brimlink USB";
    case link::type_code::kR6:
      return "Brimlink R6";
    default:
      return nullptr;
  }
}

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

// ---- construction and destruction -------------------------------------------

CBrimlinkCtrl::CBrimlinkCtrl() : CBrimlinkCtrl(ControlOptions{}) {}

CBrimlinkCtrl::CBrimlinkCtrl(ControlOptions options)
    : controlFolder_(options.controlFolder.empty() ? LoadedFileFolder() : std::move(options.controlFolder)),
      settingsFolder_(link::SettingsFolder(controlFolder_)),
      ini_(link::SettingsFilePath(controlFolder_)),
      usbDriver_(options.usbDriver),
      receiver_(std::make_unique<link::ControlReceiver>(*this)) {
  link::ResetModuleTable(table_);
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    channels_[i] = std::make_unique<CommandChannel>(static_cast<int>(i), table_, *this);
    channelPointers_[i] = channels_[i].get();
  }
  SetCurrentPropertyTarget(this);
  // A settings file that cannot be read cleanly or written leaves the values
  // in memory and the file as it is; the trace says why when it first opens.
  settings_ = link::LoadAndWriteBack(ini_, &settingsProblem_);
  modified_ = false;
  debugWin_ = std::make_unique<CDebugWin>(traceLog_, [this] { OnTraceWindowClosed(); });
  link::SetCurrentTraceLog(&traceLog_);
  if (settings_.showAtStartup != 0) ShowTraceWindow();
}

CBrimlinkCtrl::~CBrimlinkCtrl() {
  // No event reaches the host from here on; the closing dialogues below still
  // process what the modules send.
  destroying_ = true;
  events_.UnadviseAll();
  if (modified_ && !link::WritePortSettings(ini_, settings_) && !settingsProblemTraced_)
    traceLog_.AddLine("Settings not saved: " + ini_.Path() + ": " + ini_.LastError());
  for (int i = 0; i < channelCount_; ++i) channels_[static_cast<std::size_t>(i)]->CloseChannel();
  debugWin_.reset();
  link::ClearCurrentTraceLog(&traceLog_);
  ClearCurrentPropertyTarget(this);
  delete window_.data();
  ini_.Flush();
  // Transports post to the receiver until they are gone.
  for (auto& channel : channels_) channel.reset();
  channelPointers_.fill(nullptr);
  QCoreApplication::removePostedEvents(receiver_.get());
  receiver_.reset();
}

void* CBrimlinkCtrl::FindInterface(const ba::GUID& iid) {
  if (iid == ba::IID_IConnectionPoint) return static_cast<ba::EventConnection*>(&eventPoint_);
  if (iid == ba::IID_IBrimlinkWindow) return static_cast<ba::ControlWindow*>(&windowPart_);
  if (iid == ba::IID_IBrimlinkMessageRouting) return static_cast<ba::MessageRouting*>(&messagePart_);
  return ba::BrimlinkDispatch::FindInterface(iid);
}

ba::HRESULT CBrimlinkCtrl::Invoke(ba::DISPID id, std::span<const ba::Variant> args, ba::Variant* result,
                                  std::size_t* argError) {
  const ba::ComPtr<CBrimlinkCtrl> keepAlive(this);
  return ba::BrimlinkDispatch::Invoke(id, args, result, argError);
}

ba::HRESULT CBrimlinkCtrl::EventPoint::Advise(ba::Unknown* sink, std::uint32_t* cookie) {
  return owner_.events_.Advise(sink, cookie);
}

ba::HRESULT CBrimlinkCtrl::EventPoint::Unadvise(std::uint32_t cookie) { return owner_.events_.Unadvise(cookie); }

// ---- module selection ----------------------------------------------------------

ModuleRecord* CBrimlinkCtrl::Select(std::int16_t modIndex) {
  const int index = modIndex == 0 ? currentModule_ : modIndex;
  if (!InRange(index, 0, link::kModuleCount)) return nullptr;
  return &table_[static_cast<std::size_t>(index)];
}

void CBrimlinkCtrl::SendSetting(std::int16_t modIndex, std::string_view text) {
  ModuleRecord* record = Select(modIndex);
  if (record != nullptr && record->channel != nullptr) record->channel->SendCommand(text);
}

// ---- connection -------------------------------------------------------------------

void CBrimlinkCtrl::RebuildSearchTable() {
  searchTable_.Build(settings_.useSerial != 0, settings_.searchCom, settings_.excludeCom);
}

void CBrimlinkCtrl::CloseAll() {
  if (channelCount_ == 0) return;
  for (int i = channelCount_ - 1; i >= 0; --i) channels_[static_cast<std::size_t>(i)]->CloseChannel();
  channelCount_ = 0;
  usbDevices_.Free();
}

void CBrimlinkCtrl::InitialiseForConnect(int moduleNumber) {
  link::TraceNumber("Initialize module", static_cast<unsigned long>(moduleNumber));
  ModuleRecord& record = table_[static_cast<std::size_t>(moduleNumber)];
  if (record.channel != nullptr && record.channel->State() != ChannelState::Closed)
    record.channel->InitialiseModule(moduleNumber);
}

std::int16_t CBrimlinkCtrl::Connect() {
  if (connecting_) return 0;
  const BusyScope busy(connecting_);
  CloseAll();
  deniedDevices_.clear();

  if (settings_.useUsb != 0) {
    if (usbDriver_ == nullptr) {
      ownDriver_ = std::make_unique<link::FtdiDriver>();
      usbDriver_ = ownDriver_.get();
    }
    const int devices = usbDevices_.Rebuild(*usbDriver_);
    link::TraceNumber("USB devices", static_cast<unsigned long>(devices));
    for (int i = 0; i < devices && channelCount_ < link::kChannelCount; ++i) {
      if (channels_[static_cast<std::size_t>(channelCount_)]->OpenUsbChannel(i)) ++channelCount_;
    }
  }

  RebuildSearchTable();
  std::uint32_t next = link::ComPortSearchTable::kFirstCom;
  while (channelCount_ < link::kChannelCount && next <= link::ComPortSearchTable::kLastCom) {
    const std::uint32_t opened =
        channels_[static_cast<std::size_t>(channelCount_)]->OpenSerialChannel(next, link::ComPortSearchTable::kLastCom);
    if (opened == 0) break;
    ++channelCount_;
    next = opened + 1;
  }
  TellDeniedDevices();

  std::int16_t found = 0;
  for (int i = 1; i <= link::kModuleCount; ++i) {
    const ModuleRecord& record = table_[static_cast<std::size_t>(i)];
    if (record.present == 0) continue;
    InitialiseForConnect(i);
    if (record.typeCode != link::type_code::kNone) found = static_cast<std::int16_t>(found | (1 << (i - 1)));
    char line[128] = "";
    if (const char* model = ModelName(record.typeCode)) {
      char port[32] = "???";
      if (const CommandChannel* channel = record.channel) {
        if (channel->PortTypeCode() == PortType::Serial) {
          std::snprintf(port, sizeof port, "COM %u", static_cast<unsigned>(channel->PortKey()));
        } else if (channel->PortTypeCode() == PortType::Usb) {
          std::snprintf(port, sizeof port, "USB Loc%lX", static_cast<unsigned long>(channel->PortKey()));
        }
      }
      std::snprintf(line, sizeof line, "%s:\tModule %u V%u.%u at %s", model, static_cast<unsigned>(i),
                    static_cast<unsigned>(record.versionMajor), static_cast<unsigned>(record.versionMinor), port);
    }
    link::TracePlain(line);
    link::TracePlain("");
  }
  for (int i = 1; i <= link::kModuleCount; ++i) {
    if ((found & (1 << (i - 1))) != 0) {
      currentModule_ = static_cast<std::int16_t>(i);
      break;
    }
  }
  return found;
}

void CBrimlinkCtrl::Disconnect() {
  if (connecting_) return;
  const BusyScope busy(connecting_);
  CloseAll();
}

std::int16_t CBrimlinkCtrl::CloseSerial() {
  Disconnect();
  return 0;
}

std::int16_t CBrimlinkCtrl::OpenSerial(std::int16_t PortNo) {
  constexpr std::int16_t kFailed = 2;
  if (connecting_ || !InRange(PortNo, 0, static_cast<int>(link::ComPortSearchTable::kLastCom))) return kFailed;
  const BusyScope busy(connecting_);
  CloseAll();
  RebuildSearchTable();
  deniedDevices_.clear();

  CommandChannel& channel = *channels_[static_cast<std::size_t>(channelCount_)];
  std::uint32_t opened = 0;
  if (PortNo != 0) {
    const auto port = static_cast<std::uint32_t>(PortNo);
    opened = channel.OpenSerialChannel(port, port);
  }
  if (opened == 0) opened = channel.OpenSerialChannel(link::ComPortSearchTable::kFirstCom, link::ComPortSearchTable::kLastCom);
  TellDeniedDevices();
  if (opened == 0) {
    CloseAll();
    return kFailed;
  }
  ++channelCount_;

  for (int i = 1; i <= link::kModuleCount; ++i) {
    const ModuleRecord& record = table_[static_cast<std::size_t>(i)];
    if (record.present == 0) continue;
    currentModule_ = static_cast<std::int16_t>(i);
    InitialiseForConnect(i);
    const char* prefix = nullptr;
    switch (record.typeCode) {
      case link::type_code::kR16:
        prefix = "R16";
        break;
      case link::type_code::kR8A:
        prefix = "R8A";
        break;
      case link::type_code::kUSB:
        prefix = "USB";
        break;
      default:
        break;
    }
    char line[96] = "";
    if (prefix != nullptr) {
      const unsigned port = record.channel != nullptr ? static_cast<unsigned>(record.channel->PortKey()) : 0u;
      std::snprintf(line, sizeof line, "%s - Module %u at COM %u\n", prefix, static_cast<unsigned>(i), port);
    }
    link::TracePlain(line);
    return 0;
  }
  CloseAll();
  return kFailed;
}

void CBrimlinkCtrl::SetModule(std::int16_t ModIndex) {
  if (InRange(ModIndex, 0, link::kModuleCount)) currentModule_ = ModIndex;
}

std::int16_t CBrimlinkCtrl::GetModuleType(std::int16_t ModIndex) {
  const ModuleRecord* record = Select(ModIndex);
  return record != nullptr ? static_cast<std::int16_t>(record->typeCode) : 0;
}

std::int16_t CBrimlinkCtrl::GetComPort(std::int16_t ModIndex) {
  const ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || record->channel == nullptr) return 0;
  return static_cast<std::int16_t>(record->channel->PortKey() & 0xFFFF);
}

std::uint32_t CBrimlinkCtrl::GetPortType(std::int16_t ModIndex) {
  const ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || record->channel == nullptr) return 0;
  return static_cast<std::uint32_t>(record->channel->PortTypeCode());
}

std::uint32_t CBrimlinkCtrl::GetUSBLocation(std::int16_t ModIndex) {
  const ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || record->channel == nullptr || record->channel->PortTypeCode() != PortType::Usb) return 0;
  return record->channel->PortKey();
}

// ---- event processing ------------------------------------------------------------

void CBrimlinkCtrl::DoProcess() { WaitPumping(2); }

void CBrimlinkCtrl::DoBackgroundProcessing(std::int16_t Count) {
  for (int i = 0; i < Count; ++i) {
    if (QCoreApplication::instance() == nullptr || QCoreApplication::closingDown()) return;
    // A zero-length wait dispatches what is pending and returns; it also
    // returns at once while a quit request unwinds the loops.
    link::WaitPumping(0);
  }
}

void CBrimlinkCtrl::StartTimer() {
  if (ModuleRecord* record = Current(); record != nullptr && record->channel != nullptr)
    record->channel->SendCommand(link::command::StartTimer(record->moduleNumber));
}

void CBrimlinkCtrl::StopTimer() {
  if (ModuleRecord* record = Current(); record != nullptr && record->channel != nullptr)
    record->channel->SendCommand(link::command::StopTimer(record->moduleNumber));
}

// ---- digital and analog words --------------------------------------------------------

std::int16_t CBrimlinkCtrl::GetDigitalInput0() {
  ModuleRecord* record = Current();
  if (record == nullptr) return 0;
  return static_cast<std::int16_t>(link::ReadInputWord(*record, 0, *this) & 0xFF);
}

std::int16_t CBrimlinkCtrl::GetDigitalInput1() {
  ModuleRecord* record = Current();
  if (record == nullptr) return 0;
  return static_cast<std::int16_t>((link::ReadInputWord(*record, 0, *this) >> 8) & 0xFF);
}

void CBrimlinkCtrl::SetDigitalOutput0(std::int16_t Data) {
  ModuleRecord* record = Current();
  if (record == nullptr) return;
  const std::uint32_t word = (static_cast<std::uint32_t>(Data) & 0xFF) | (record->outputWords[0] & 0xFF00);
  link::WriteOutputWord(*record, 0, word, *this);
}

void CBrimlinkCtrl::SetDigitalOutput1(std::int16_t Data) {
  ModuleRecord* record = Current();
  if (record == nullptr) return;
  const std::uint32_t word = (static_cast<std::uint32_t>(Data) & 0xFF) << 8 | (record->outputWords[0] & 0xFF);
  link::WriteOutputWord(*record, 0, word, *this);
}

std::int16_t CBrimlinkCtrl::GetAnalogInput0() {
  ModuleRecord* record = Current();
  return record != nullptr ? static_cast<std::int16_t>(link::ReadInputWord(*record, 1, *this)) : 0;
}

std::int16_t CBrimlinkCtrl::GetAnalogInput1() {
  ModuleRecord* record = Current();
  return record != nullptr ? static_cast<std::int16_t>(link::ReadInputWord(*record, 2, *this)) : 0;
}

std::int16_t CBrimlinkCtrl::GetAnalogInput2() {
  ModuleRecord* record = Current();
  return record != nullptr ? static_cast<std::int16_t>(link::ReadInputWord(*record, 3, *this)) : 0;
}

std::int16_t CBrimlinkCtrl::GetAnalogInput3() {
  ModuleRecord* record = Current();
  return record != nullptr ? static_cast<std::int16_t>(link::ReadInputWord(*record, 4, *this)) : 0;
}

void CBrimlinkCtrl::SetAnalogOutput0(std::int16_t Data) {
  if (ModuleRecord* record = Current())
    link::WriteOutputWord(*record, 1, static_cast<std::uint16_t>(Data), *this);
}

void CBrimlinkCtrl::SetAnalogOutput1(std::int16_t Data) {
  if (ModuleRecord* record = Current())
    link::WriteOutputWord(*record, 2, static_cast<std::uint16_t>(Data), *this);
}

std::int32_t CBrimlinkCtrl::GetInputWord(std::int16_t ModIndex, std::int16_t WordIndex) {
  ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || !InRange(WordIndex, 0, link::kInputWords - 1)) return 0;
  return static_cast<std::int32_t>(link::ReadInputWord(*record, WordIndex, *this));
}

std::int16_t CBrimlinkCtrl::GetInput(std::int16_t ModIndex, std::int16_t ByteIndex, std::int16_t BitIndex) {
  ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || !InRange(ByteIndex, 0, 1) || !InRange(BitIndex, 0, 7)) return 0;
  const std::uint32_t word = link::ReadInputWord(*record, 0, *this);
  return static_cast<std::int16_t>((word >> (8 * ByteIndex + BitIndex)) & 1u);
}

void CBrimlinkCtrl::SetOutputWord(std::int16_t ModIndex, std::int16_t WordIndex, std::int32_t Value) {
  ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || !InRange(WordIndex, 0, link::kOutputWords - 1)) return;
  link::WriteOutputWord(*record, WordIndex, static_cast<std::uint32_t>(Value), *this);
}

void CBrimlinkCtrl::SetOutput(std::int16_t ModIndex, std::int16_t ByteIndex, std::int16_t BitIndex,
                              std::int16_t Value) {
  ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || !InRange(ByteIndex, 0, 1) || !InRange(BitIndex, 0, 7)) return;
  const std::uint32_t mask = 1u << (8 * ByteIndex + BitIndex);
  const std::uint32_t word = Value != 0 ? record->outputWords[0] | mask : record->outputWords[0] & ~mask;
  link::WriteOutputWord(*record, 0, word, *this);
}

std::int32_t CBrimlinkCtrl::GetOutputWord(std::int16_t ModIndex, std::int16_t WordIndex) {
  ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || !InRange(WordIndex, 0, link::kOutputWords - 1)) return 0;
  return static_cast<std::int32_t>(link::ReadOutputWord(*record, WordIndex, *this));
}

// ---- module settings, counters, raw strings ----------------------------------------------

void CBrimlinkCtrl::SetChannelMask(std::int16_t Mask) {
  if (const ModuleRecord* record = Current())
    SendSetting(0, link::command::AutoSendMask(record->moduleNumber, Mask));
}

void CBrimlinkCtrl::SetAutoSendMode(std::int16_t ModIndex, std::int16_t ChannelMask) {
  if (const ModuleRecord* record = Select(ModIndex))
    SendSetting(ModIndex, link::command::AutoSendMask(record->moduleNumber, ChannelMask));
}

void CBrimlinkCtrl::ForceDisplay(std::int16_t ModIndex, std::int16_t ChannelIndex) {
  if (const ModuleRecord* record = Select(ModIndex))
    SendSetting(ModIndex, link::command::ForceDisplay(record->moduleNumber, ChannelIndex));
}

void CBrimlinkCtrl::SetFilterMask(std::int16_t ModIndex, std::int16_t FilterMask) {
  if (const ModuleRecord* record = Select(ModIndex))
    SendSetting(ModIndex, link::command::FilterMask(record->moduleNumber, FilterMask));
}

void CBrimlinkCtrl::SetDisplayUnit(std::int16_t ModIndex, std::int16_t ChannelIndex, std::int16_t UnitIndex) {
  if (const ModuleRecord* record = Select(ModIndex))
    SendSetting(ModIndex, link::command::DisplayUnit(record->moduleNumber, ChannelIndex, UnitIndex));
}

void CBrimlinkCtrl::SetGain(std::int16_t ModIndex, std::int16_t ChannelIndex, float GainFactor) {
  if (const ModuleRecord* record = Select(ModIndex))
    SendSetting(ModIndex, link::command::Gain(record->moduleNumber, ChannelIndex, GainFactor));
}

void CBrimlinkCtrl::SetMeasuringRange(std::int16_t ModIndex, std::int16_t InOut, std::int16_t RangeIndex) {
  if (const ModuleRecord* record = Select(ModIndex))
    SendSetting(ModIndex, link::command::MeasuringRange(record->moduleNumber, InOut, RangeIndex));
}

void CBrimlinkCtrl::StartCounter(std::int16_t ModIndex, std::int16_t CounterIndex, std::int16_t Activate) {
  const ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || !InRange(CounterIndex, 0, link::kCounters - 1)) return;
  SendSetting(ModIndex, link::command::StartCounter(record->moduleNumber, CounterIndex, Activate));
}

std::int32_t CBrimlinkCtrl::GetCounter(std::int16_t ModIndex, std::int16_t CounterIndex) {
  ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || !InRange(CounterIndex, 0, link::kCounters - 1)) return 0;
  return static_cast<std::int32_t>(link::ReadCounter(*record, CounterIndex, *this));
}

void CBrimlinkCtrl::SendString(std::int16_t ModIndex, const std::u16string& str) {
  if (ModuleRecord* record = Select(ModIndex)) link::SendText(*record, ba::Utf16ToCp1252(str));
}

std::u16string CBrimlinkCtrl::SendAndGetString(std::int16_t ModIndex, const std::u16string& str) {
  ModuleRecord* record = Select(ModIndex);
  if (record == nullptr) return {};
  return ba::Cp1252ToUtf16(link::SendAndReceive(*record, ba::Utf16ToCp1252(str), *this));
}

// ---- USB identity ------------------------------------------------------------------------

std::int16_t CBrimlinkCtrl::IsModuleUpdateAvailable(std::int16_t ModIndex) {
  const ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || record->channel == nullptr) return 0;
  return record->channel->IsUsbUpdateAvailable() ? 1 : 0;
}

std::int16_t CBrimlinkCtrl::UpdateModule(std::int16_t ModIndex) {
  const ModuleRecord* record = Select(ModIndex);
  if (record == nullptr || record->channel == nullptr) return -1;
  const bool miniVariant = (record->typeCode & link::type_code::kSingleInputWord) != 0;
  return static_cast<std::int16_t>(record->channel->RewriteUsbIdentity(miniVariant));
}

// ---- trace, properties, about box, window -----------------------------------------------

void CBrimlinkCtrl::WriteDebugString(const std::u16string& Message) { traceLog_.AddLine(ba::Utf16ToUtf8(Message)); }

QWidget* CBrimlinkCtrl::DialogParent() const { return window_ != nullptr ? window_->window() : nullptr; }

void CBrimlinkCtrl::ShowTraceWindow() {
  if (!HasWidgetApplication()) return;
  debugWin_->Show(window_.data());
  if (!settingsProblem_.empty() && !settingsProblemTraced_ && traceLog_.Tracing()) {
    traceLog_.AddLine(settingsProblem_);
    settingsProblemTraced_ = true;
  }
}

void CBrimlinkCtrl::ShowDebugWnd() { ShowTraceWindow(); }

void CBrimlinkCtrl::OnTraceWindowClosed() {
  if (debugWin_ != nullptr && debugWin_->HasWindow()) debugWin_->DestroyWindow();
}

void CBrimlinkCtrl::ShowProperties() {
  if (HasWidgetApplication()) ShowPropertyFrame(DialogParent());
}

void CBrimlinkCtrl::StorePortSettings(const link::PortSettings& settings) {
  settings_ = settings;
  settings_.searchCom = link::NormaliseRangeList(settings.searchCom);
  settings_.excludeCom = link::NormaliseRangeList(settings.excludeCom);
  modified_ = true;
}

void CBrimlinkCtrl::AboutBox() {
  if (!HasWidgetApplication()) return;
  CAboutDlg dialog(DialogParent());
  dialog.exec();
}

QWidget* CBrimlinkCtrl::Window(QWidget* parent) {
  if (!HasWidgetApplication()) return nullptr;
  if (window_ == nullptr) {
    // Owned by the parent when there is one, else by this control.
    window_ = new CControlWindow([this] { AboutBox(); }, parent);
  } else if (window_->parentWidget() != parent) {
    window_->setParent(parent);
  }
  return window_.data();
}

// ---- channel host and messages -------------------------------------------------------------

void CBrimlinkCtrl::WaitPumping(int milliseconds) { link::WaitPumping(milliseconds); }

void CBrimlinkCtrl::RaiseInputWordChanged(int module, int word, std::uint32_t value) {
  if (destroying_) return;
  // A sink may let go of the control; it stays until the event is delivered.
  const ba::ComPtr<CBrimlinkCtrl> keepAlive(this);
  ba::FireInputWordChanged(events_, static_cast<std::int16_t>(module), static_cast<std::int16_t>(word),
                           static_cast<std::int32_t>(value));
}

bool CBrimlinkCtrl::PostInputWordChanged(int module, int word, std::uint32_t value) {
  return receiver_->PostInputWordChanged(module, word, value);
}

void CBrimlinkCtrl::ShowMessage(const std::string& text) { ReportControlMessage({}, text, messageSink_.get()); }

void CBrimlinkCtrl::DeviceDenied(const link::DeniedDevice& device) {
  // OpenSerial may try its port twice: once by number, once in the scan.
  for (const link::DeniedDevice& known : deniedDevices_)
    if (known.SameDevice(device)) return;
  deniedDevices_.push_back(device);
}

void CBrimlinkCtrl::TellDeniedDevices() {
  if (deniedDevices_.empty()) return;
  const std::vector<link::DeniedDevice> denied = std::move(deniedDevices_);
  deniedDevices_.clear();
  ReportControlMessage(link::kAccessDeniedTitle, link::AccessAdvice(denied, link::EffectiveUserName()),
                       messageSink_.get());
}

void CBrimlinkCtrl::OnDataReceived(PortType type, std::uint32_t portKey) {
  CommandChannel* channel = CommandChannel::FindReceiver(channelPointers_, type, portKey);
  if (channel == nullptr) return;
  if (destroying_) {
    channel->ProcessReceived();
    return;
  }
  const ba::ComPtr<CBrimlinkCtrl> keepAlive(this);
  channel->ProcessReceived();
}

void CBrimlinkCtrl::OnInputWordChanged(int module, int word, std::uint32_t value) {
  RaiseInputWordChanged(module, word, value);
}

void CBrimlinkCtrl::OnPortFailure(PortType type, std::uint32_t portKey, const std::string& title,
                                  const std::string& text) {
  ReportControlMessage(title, text, messageSink_.get());
  for (CommandChannel* channel : channelPointers_) {
    if (channel != nullptr && channel->PortTypeCode() == type && channel->PortKey() == portKey &&
        channel->Transport() != nullptr)
      channel->Transport()->Close();
  }
}

bool CBrimlinkCtrl::TestSerialPort(std::uint32_t comNumber) {
  return link::CSerialPort::PortTest(comNumber, searchTable_, settingsFolder_);
}

std::unique_ptr<link::CCommunicationPort> CBrimlinkCtrl::CreateSerialPort() {
  return std::make_unique<link::CSerialPort>(settingsFolder_, [this](int ms) { WaitPumping(ms); });
}

std::unique_ptr<link::CCommunicationPort> CBrimlinkCtrl::CreateUsbPort() {
  if (usbDriver_ == nullptr) return nullptr;
  return std::make_unique<link::CUSBPort>(*usbDriver_, [this](int ms) { WaitPumping(ms); }, usbDevices_);
}

std::uint32_t CBrimlinkCtrl::UsbLocationId(int deviceIndex) {
  const link::UsbDeviceInfoNode* node = usbDevices_.Node(deviceIndex);
  return node != nullptr ? node->locationId : 0;
}

// ---- class factories ------------------------------------------------------------------------

namespace {

class PropertyPageComObject final : public ba::RefCounted<ba::PropertyPageObject> {
 public:
  QWidget* CreatePage(QWidget* parent) override {
    if (!HasWidgetApplication()) return nullptr;
    auto* page = new CBrimlinkPropPage(parent);
    page->Load();
    return page;
  }

 protected:
  void* FindInterface(const ba::GUID& iid) override {
    return iid == ba::IID_IBrimlinkPropertyPage ? static_cast<ba::PropertyPageObject*>(this) : nullptr;
  }
};

}  // namespace

ba::ComPtr<ba::ClassFactory> MakeControlFactory() { return ba::MakeObject<ba::ObjectFactory<CBrimlinkCtrl>>(); }

ba::ComPtr<ba::ClassFactory> MakePropertyPageFactory() {
  return ba::MakeObject<ba::ObjectFactory<PropertyPageComObject>>();
}

}  // namespace brimlink::control
