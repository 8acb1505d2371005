// CBrimlinkCtrl: the I/O control as its host sees it. It owns the module
// table (records 0..8), eight command channels, the port settings read from
// Brimlink.ini, the trace window and its own window, and answers _DBrimlink,
// the connection point of _DBrimlinkEvents and the window interface.
//
// Ownership: the host owns the control through its reference count; the last
// Release destroys it (closing dialogues, changed settings written, trace
// window removed). A call in progress holds a reference of its own, so a host
// that lets go of the control from an event handler does not pull it out from
// under the running method.
//
// Threads: every method, every event and every message handler runs on the
// thread that created the control (the GUI thread). The transports' workers
// only post data notifications to the control's receiver.
#pragma once

#include <QPointer>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "control/interface/BrimlinkInterface.h"
#include "control/interface/HostInterfaces.h"
#include "control/interface/PropertyPage.h"
#include "control/link/ChannelHost.h"
#include "control/link/CommandChannel.h"
#include "control/link/ControlReceiver.h"
#include "control/link/Ini.h"
#include "control/link/ModuleRecord.h"
#include "control/link/PortSettings.h"
#include "control/link/RangeList.h"
#include "control/link/Trace.h"
#include "control/link/UsbDriver.h"
#include "control/link/UsbPort.h"

namespace brimlink::control {

class CControlWindow;
class CDebugWin;

struct ControlOptions {
  // The USB driver; null: libftdi1 on the real bus. Must outlive the control.
  link::UsbDriver* usbDriver = nullptr;
  // The folder of the control's library, the settings file's fallback
  // folder; empty: the folder of the file this code was loaded from.
  std::string controlFolder;
};

class CBrimlinkCtrl final : public automation::RefCounted<automation::BrimlinkDispatch>,
                            public link::ChannelHost,
                            public link::TransportFactory,
                            public link::ControlMessageHandler,
                            public PropertyTarget {
 public:
  CBrimlinkCtrl();
  explicit CBrimlinkCtrl(ControlOptions options);
  ~CBrimlinkCtrl() override;
  CBrimlinkCtrl(const CBrimlinkCtrl&) = delete;
  CBrimlinkCtrl& operator=(const CBrimlinkCtrl&) = delete;

  // Holds a reference for the length of the call.
  automation::HRESULT Invoke(automation::DISPID id, std::span<const automation::Variant> args,
                             automation::Variant* result, std::size_t* argError) override;

  // _DBrimlink
  void AboutBox() override;
  void ShowDebugWnd() override;
  std::int16_t GetDigitalInput0() override;
  void SetDigitalOutput0(std::int16_t Data) override;
  std::int16_t GetAnalogInput0() override;
  void SetAnalogOutput0(std::int16_t Data) override;
  std::int16_t GetAnalogInput1() override;
  std::int16_t GetAnalogInput2() override;
  std::int16_t GetAnalogInput3() override;
  void SetAnalogOutput1(std::int16_t Data) override;
  void SetChannelMask(std::int16_t Mask) override;
  void DoProcess() override;
  void StartTimer() override;
  void StopTimer() override;
  void DoBackgroundProcessing(std::int16_t Count) override;
  std::int16_t OpenSerial(std::int16_t PortNo) override;
  std::int16_t CloseSerial() override;
  void WriteDebugString(const std::u16string& Message) override;
  std::int16_t Connect() override;
  void Disconnect() override;
  std::int32_t GetInputWord(std::int16_t ModIndex, std::int16_t WordIndex) override;
  std::int16_t GetInput(std::int16_t ModIndex, std::int16_t ByteIndex, std::int16_t BitIndex) override;
  void SetOutputWord(std::int16_t ModIndex, std::int16_t WordIndex, std::int32_t Value) override;
  void SetOutput(std::int16_t ModIndex, std::int16_t ByteIndex, std::int16_t BitIndex, std::int16_t Value) override;
  void ForceDisplay(std::int16_t ModIndex, std::int16_t ChannelIndex) override;
  void SetFilterMask(std::int16_t ModIndex, std::int16_t FilterMask) override;
  void SetDisplayUnit(std::int16_t ModIndex, std::int16_t ChannelIndex, std::int16_t UnitIndex) override;
  void SetGain(std::int16_t ModIndex, std::int16_t ChannelIndex, float GainFactor) override;
  void SetMeasuringRange(std::int16_t ModIndex, std::int16_t InOut, std::int16_t RangeIndex) override;
  void StartCounter(std::int16_t ModIndex, std::int16_t CounterIndex, std::int16_t Activate) override;
  std::int32_t GetCounter(std::int16_t ModIndex, std::int16_t CounterIndex) override;
  void SetAutoSendMode(std::int16_t ModIndex, std::int16_t ChannelMask) override;
  void SetModule(std::int16_t ModIndex) override;
  std::int16_t GetDigitalInput1() override;
  void SetDigitalOutput1(std::int16_t Data) override;
  std::int16_t GetModuleType(std::int16_t ModIndex) override;
  std::int16_t GetComPort(std::int16_t ModIndex) override;
  void SendString(std::int16_t ModIndex, const std::u16string& str) override;
  std::int32_t GetOutputWord(std::int16_t ModIndex, std::int16_t WordIndex) override;
  std::u16string SendAndGetString(std::int16_t ModIndex, const std::u16string& str) override;
  void ShowProperties() override;
  std::uint32_t GetPortType(std::int16_t ModIndex) override;
  std::uint32_t GetUSBLocation(std::int16_t ModIndex) override;
  std::int16_t IsModuleUpdateAvailable(std::int16_t ModIndex) override;
  std::int16_t UpdateModule(std::int16_t ModIndex) override;

  // ChannelHost
  void WaitPumping(int milliseconds) override;
  link::PortOwner& Owner() override { return *receiver_; }
  link::TransportFactory& Transports() override { return *this; }
  void RaiseInputWordChanged(int module, int word, std::uint32_t value) override;
  bool PostInputWordChanged(int module, int word, std::uint32_t value) override;
  void ShowMessage(const std::string& text) override;
  void DeviceDenied(const link::DeniedDevice& device) override;

  // TransportFactory
  bool TestSerialPort(std::uint32_t comNumber) override;
  std::unique_ptr<link::CCommunicationPort> CreateSerialPort() override;
  std::unique_ptr<link::CCommunicationPort> CreateUsbPort() override;
  std::uint32_t UsbLocationId(int deviceIndex) override;

  // ControlMessageHandler
  void OnDataReceived(link::PortType type, std::uint32_t portKey) override;
  void OnInputWordChanged(int module, int word, std::uint32_t value) override;
  void OnTraceWindowClosed() override;
  void OnPortFailure(link::PortType type, std::uint32_t portKey, const std::string& title,
                     const std::string& text) override;

  // PropertyTarget
  link::PortSettings CurrentPortSettings() const override { return settings_; }
  void StorePortSettings(const link::PortSettings& settings) override;

  // For the host's window interface and for tests.
  QWidget* Window(QWidget* parent);
  const link::ModuleRecord& Record(int moduleNumber) const { return table_[static_cast<std::size_t>(moduleNumber)]; }
  int ChannelCount() const { return channelCount_; }
  const link::CommandChannel& Channel(int index) const { return *channels_[static_cast<std::size_t>(index)]; }
  std::int16_t CurrentModule() const { return currentModule_; }
  const std::string& SettingsPath() const { return ini_.Path(); }
  // Why the settings file was not read cleanly or not written back when the
  // control was created; empty when all went well.
  const std::string& SettingsProblem() const { return settingsProblem_; }
  bool Modified() const { return modified_; }
  link::TraceLog& Trace() { return traceLog_; }
  CDebugWin& DebugWin() { return *debugWin_; }
  link::UsbDeviceList& UsbDevices() { return usbDevices_; }

 protected:
  void* FindInterface(const automation::GUID& iid) override;

 private:
  // The interfaces besides _DBrimlink: parts of this object that share its
  // reference count.
  class EventPoint final : public automation::EventConnection {
   public:
    explicit EventPoint(CBrimlinkCtrl& owner) : owner_(owner) {}
    automation::HRESULT QueryInterface(const automation::GUID& iid, void** out) override {
      return owner_.QueryInterface(iid, out);
    }
    std::uint32_t AddRef() override { return owner_.AddRef(); }
    std::uint32_t Release() override { return owner_.Release(); }
    automation::HRESULT Advise(automation::Unknown* sink, std::uint32_t* cookie) override;
    automation::HRESULT Unadvise(std::uint32_t cookie) override;

   private:
    CBrimlinkCtrl& owner_;
  };
  class MessagePart final : public automation::MessageRouting {
   public:
    explicit MessagePart(CBrimlinkCtrl& owner) : owner_(owner) {}
    automation::HRESULT QueryInterface(const automation::GUID& iid, void** out) override {
      return owner_.QueryInterface(iid, out);
    }
    std::uint32_t AddRef() override { return owner_.AddRef(); }
    std::uint32_t Release() override { return owner_.Release(); }
    automation::HRESULT SetMessageSink(automation::MessageSink* sink) override {
      owner_.messageSink_ = automation::ComPtr<automation::MessageSink>(sink);
      return automation::S_OK;
    }

   private:
    CBrimlinkCtrl& owner_;
  };
  class WindowPart final : public automation::ControlWindow {
   public:
    explicit WindowPart(CBrimlinkCtrl& owner) : owner_(owner) {}
    automation::HRESULT QueryInterface(const automation::GUID& iid, void** out) override {
      return owner_.QueryInterface(iid, out);
    }
    std::uint32_t AddRef() override { return owner_.AddRef(); }
    std::uint32_t Release() override { return owner_.Release(); }
    QWidget* Window(QWidget* parent) override { return owner_.Window(parent); }

   private:
    CBrimlinkCtrl& owner_;
  };

  // The record a ModIndex selects: 0 the current module, 1..8 that module.
  // Null for anything else (and for a current module outside 0..8).
  link::ModuleRecord* Select(std::int16_t modIndex);
  link::ModuleRecord* Current() { return Select(0); }
  void SendSetting(std::int16_t modIndex, std::string_view text);
  void CloseAll();
  void RebuildSearchTable();
  void InitialiseForConnect(int moduleNumber);
  void ShowTraceWindow();
  QWidget* DialogParent() const;
  // Tells the user, in one message, about every device of this connection
  // attempt that was there but not to be opened; then forgets them.
  void TellDeniedDevices();

  link::ModuleTable table_;
  std::array<std::unique_ptr<link::CommandChannel>, link::kChannelCount> channels_;
  std::array<link::CommandChannel*, link::kChannelCount> channelPointers_{};
  int channelCount_ = 0;
  std::int16_t currentModule_ = 1;
  link::PortSettings settings_;
  std::string controlFolder_;
  std::string settingsFolder_;
  link::CIni ini_;
  std::string settingsProblem_;  // why Brimlink.ini was not read or written at creation
  bool settingsProblemTraced_ = false;
  bool modified_ = false;
  link::ComPortSearchTable searchTable_;
  // Devices refused to this user during the running Connect or OpenSerial.
  std::vector<link::DeniedDevice> deniedDevices_;

  std::unique_ptr<link::UsbDriver> ownDriver_;
  link::UsbDriver* usbDriver_ = nullptr;
  link::UsbDeviceList usbDevices_;

  link::TraceLog traceLog_;
  std::unique_ptr<CDebugWin> debugWin_;
  std::unique_ptr<link::ControlReceiver> receiver_;
  QPointer<CControlWindow> window_;

  automation::ConnectionPoint events_{automation::DIID__DBrimlinkEvents};
  EventPoint eventPoint_{*this};
  WindowPart windowPart_{*this};
  MessagePart messagePart_{*this};
  // The host's receiver of messages; null: message box or console line.
  automation::ComPtr<automation::MessageSink> messageSink_;

  // Connect, OpenSerial, Disconnect or CloseSerial is running (a nested call
  // from host code during its waits returns without effect).
  bool connecting_ = false;
  bool destroying_ = false;
};

// The class factory of the control and of its property page.
automation::ComPtr<automation::ClassFactory> MakeControlFactory();
automation::ComPtr<automation::ClassFactory> MakePropertyPageFactory();

}  // namespace brimlink::control
