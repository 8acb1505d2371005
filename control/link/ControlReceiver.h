// ControlReceiver: the control's own receiver of the messages that workers,
// the trace window and the input event path send it. It stands where the
// control's window procedure stood: every message is handled on the thread
// that owns the receiver (the GUI thread), through ControlMessageHandler.
//
// Threads: PostDataReceived and ReportPortFailure may be
// called from any thread; the handler runs on the receiver's thread only.
// The owner destroys every transport (joining its worker) before it destroys
// the receiver.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <string>

#include "control/link/CommunicationPort.h"

namespace brimlink::link {

// Event types keep the old message numbers as offsets, so that traces and
// tests can name them.
inline constexpr int kWmUser = 0x400;
inline constexpr int kWmApp = 0x8000;
inline constexpr int kDataReceivedMessage = kWmUser + 100;       // 0x464
inline constexpr int kInputWordChangedMessage = kWmApp + 100;    // 0x8064
inline constexpr int kTraceWindowClosedMessage = kWmUser + 1;    // 0x401
inline constexpr int kPortFailureMessage = kWmUser + 102;

inline QEvent::Type EventTypeOf(int message) { return static_cast<QEvent::Type>(QEvent::User + message); }

class ControlMessageHandler {
 public:
  virtual ~ControlMessageHandler() = default;
  virtual void OnDataReceived(PortType type, std::uint32_t portKey) = 0;
  virtual void OnInputWordChanged(int module, int word, std::uint32_t value) = 0;
  virtual void OnTraceWindowClosed() = 0;
  virtual void OnPortFailure(PortType type, std::uint32_t portKey, const std::string& title,
                             const std::string& text) = 0;
};

class ControlReceiver final : public QObject, public PortOwner {
  Q_OBJECT
 public:
  explicit ControlReceiver(ControlMessageHandler& handler, QObject* parent = nullptr);
  ~ControlReceiver() override;

  void PostDataReceived(PortType type, std::uint32_t portKey) override;
  void ReportPortFailure(PortType type, std::uint32_t portKey, std::string title, std::string text) override;

  // wParam = module number × 256 + word index, lParam = value, as the
  // notification always carried them. Never fails on this platform.
  bool PostInputWordChanged(int module, int word, std::uint32_t value);
  void PostTraceWindowClosed();

 protected:
  bool event(QEvent* event) override;

 private:
  ControlMessageHandler& handler_;
};

}  // namespace brimlink::link
