// The trainer's binding to the I/O control Brimlink1: created through the
// creation helper (ProgID, registry, else the Brimlink.ocx beside the
// program), its window embedded in the connection panel, the trainer advised
// as the sink of InputWordChanged, every call made through Invoke by DISPID.
//
// A call that fails leaves a warning on standard error and returns 0. While a
// call runs, the control dispatches events (its waits pump), so the trainer
// may be called back; Busy() tells whether a call is in progress.
//
// Threads: GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "control/interface/Dispatch.h"
#include "control/interface/HostInterfaces.h"

namespace brimlink::trainer {

class ControlBinding {
 public:
  using InputHandler = std::function<void(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value)>;

  ControlBinding();
  ~ControlBinding();  // unadvises and releases the control (its end closes the channels)
  ControlBinding(const ControlBinding&) = delete;
  ControlBinding& operator=(const ControlBinding&) = delete;

  // Creates the control; false (with the reason in Error()) when it cannot.
  bool Create(InputHandler onInputWordChanged);
  bool Created() const { return static_cast<bool>(control_); }
  const std::string& Error() const { return error_; }

  // The control's own window, made a child of parent; null without a control.
  QWidget* Window(QWidget* parent);
  // The LEDs of the face that window shows (its properties inputLeds,
  // outputLeds, powerLed); nothing before Window or after the window went.
  void ShowFace(std::uint8_t inputs, std::uint8_t outputs, bool power);

  std::int16_t Connect();                    // 18
  void Disconnect();                         // 19
  std::int16_t GetComPort(std::int16_t modIndex);     // 36
  std::int16_t GetModuleType(std::int16_t modIndex);  // 35
  void SetDigitalOutput0(std::int16_t data);          // 3
  void AboutBox();                                    // -552

  bool Busy() const { return depth_ > 0; }
  // Runs after the outermost call has returned (the trainer runs the clicks
  // it held back meanwhile).
  std::function<void()> onIdle;

  // Releases the control now (the program's end).
  void Release();

 private:
  automation::Variant Call(automation::DISPID id, std::initializer_list<automation::Variant> args);

  automation::ComPtr<automation::Dispatch> control_;
  automation::ComPtr<automation::EventConnection> events_;
  automation::ComPtr<automation::Unknown> sink_;
  std::uint32_t cookie_ = 0;
  int depth_ = 0;
  std::string error_;
  QPointer<QWidget> window_;
};

}  // namespace brimlink::trainer
