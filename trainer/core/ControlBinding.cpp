#include "trainer/core/ControlBinding.h"

#include <cstdio>
#include <utility>

#include "control/interface/BrimlinkInterface.h"
#include "control/interface/Creation.h"
#include "control/interface/Registration.h"

namespace brimlink::trainer {

namespace ba = brimlink::automation;

namespace {

// The trainer's sink of InputWordChanged. The control may still hold it for a
// moment after Unadvise (an event being delivered), so the binding detaches
// the handler before letting go.
class InputSink final : public ba::RefCounted<ba::BrimlinkEventSink> {
 public:
  explicit InputSink(ControlBinding::InputHandler handler) : handler_(std::move(handler)) {}

  void InputWordChanged(std::int16_t modIndex, std::int16_t wordIndex, std::int32_t value) override {
    if (handler_) handler_(modIndex, wordIndex, value);
  }
  void Detach() { handler_ = nullptr; }

 private:
  ControlBinding::InputHandler handler_;
};

void Warn(const std::string& text) {
  std::fprintf(stderr, "brimlinkmini-sorvik: %s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace

ControlBinding::ControlBinding() = default;

ControlBinding::~ControlBinding() { Release(); }

bool ControlBinding::Create(InputHandler onInputWordChanged) {
  Release();
  error_.clear();

  void* raw = nullptr;
  std::string detail;
  const ba::HRESULT hr = ba::CreateInstance(ba::kControlProgId, ba::IID_IDispatch, &raw, &detail);
  if (ba::Failed(hr) || raw == nullptr) {
    error_ = "cannot create the control " + std::string(ba::kControlProgId) + ": " +
             (detail.empty() ? ba::FormatResult(hr) : detail);
    return false;
  }
  control_ = ba::ComPtr<ba::Dispatch>::Adopt(static_cast<ba::Dispatch*>(raw));

  // Without events the trainer still switches outputs; the lamps stay dark.
  auto sink = ba::MakeObject<InputSink>(std::move(onInputWordChanged));
  if (ba::Failed(control_.As(ba::IID_IConnectionPoint, events_))) {
    Warn("the control offers no events; the input lamps will not follow the module");
    return true;
  }
  if (const ba::HRESULT advised = events_->Advise(sink.get(), &cookie_); ba::Failed(advised)) {
    Warn("the control refused the event sink: " + ba::FormatResult(advised));
    events_.reset();
    return true;
  }
  sink_ = ba::ComPtr<ba::Unknown>(static_cast<ba::Unknown*>(static_cast<ba::Dispatch*>(sink.get())));
  return true;
}

QWidget* ControlBinding::Window(QWidget* parent) {
  if (!control_) return nullptr;
  ba::ComPtr<ba::ControlWindow> window;
  if (ba::Failed(control_.As(ba::IID_IBrimlinkWindow, window))) return nullptr;
  window_ = window->Window(parent);
  return window_.data();
}

void ControlBinding::ShowFace(std::uint8_t inputs, std::uint8_t outputs, bool power) {
  if (window_ == nullptr) return;
  // The window draws its face again only for a value that differs.
  window_->setProperty("inputLeds", static_cast<int>(inputs));
  window_->setProperty("outputLeds", static_cast<int>(outputs));
  window_->setProperty("powerLed", power);
}

ba::Variant ControlBinding::Call(ba::DISPID id, std::initializer_list<ba::Variant> args) {
  if (!control_) return {};
  // Keeps the control alive even if a handler run during the call releases it.
  const ba::ComPtr<ba::Dispatch> control = control_;
  const std::vector<ba::Variant> arguments(args);
  ba::Variant result;
  std::size_t argError = 0;
  ++depth_;
  const ba::HRESULT hr = control->Invoke(id, arguments, &result, &argError);
  --depth_;
  if (ba::Failed(hr)) {
    Warn("call " + std::to_string(id) + " failed: " + ba::FormatResult(hr));
    result = {};
  }
  if (depth_ == 0 && onIdle) onIdle();
  return result;
}

std::int16_t ControlBinding::Connect() { return Call(18, {}).I2(); }

void ControlBinding::Disconnect() { Call(19, {}); }

std::int16_t ControlBinding::GetComPort(std::int16_t modIndex) { return Call(36, {ba::Variant(modIndex)}).I2(); }

std::int16_t ControlBinding::GetModuleType(std::int16_t modIndex) {
  return Call(35, {ba::Variant(modIndex)}).I2();
}

void ControlBinding::SetDigitalOutput0(std::int16_t data) { Call(3, {ba::Variant(data)}); }

void ControlBinding::AboutBox() { Call(-552, {}); }

void ControlBinding::Release() {
  if (events_) {
    events_->Unadvise(cookie_);
    events_.reset();
  }
  cookie_ = 0;
  if (sink_) {
    static_cast<InputSink*>(static_cast<ba::Dispatch*>(sink_.get()))->Detach();
    sink_.reset();
  }
  control_.reset();
}

}  // namespace brimlink::trainer
