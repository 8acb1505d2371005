#include "control/link/ControlReceiver.h"

#include <QCoreApplication>
#include <memory>

// Qt hands a posted event to the receiver's thread under its own lock, which
// ThreadSanitizer cannot see in a Qt that was not built with it: the event's
// fields, written by a worker and read here, would be reported as a race.
// The poster publishes the finished event and every reader first takes it
// over, which is exactly the ordering postEvent guarantees.
#if defined(__SANITIZE_THREAD__)
#define BRIMLINK_TSAN_ANNOTATE 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BRIMLINK_TSAN_ANNOTATE 1
#endif
#endif
#ifdef BRIMLINK_TSAN_ANNOTATE
#include <sanitizer/tsan_interface.h>
#endif

namespace brimlink::link {
namespace {

#ifdef BRIMLINK_TSAN_ANNOTATE
void PublishEvent(QEvent* event) { __tsan_release(event); }
void TakeOverEvent(QEvent* event) { __tsan_acquire(event); }
#else
void PublishEvent(QEvent*) {}
void TakeOverEvent(QEvent*) {}
#endif

class DataReceivedEvent final : public QEvent {
 public:
  DataReceivedEvent(PortType type, std::uint32_t key)
      : QEvent(EventTypeOf(kDataReceivedMessage)), type(type), key(key) {}
  ~DataReceivedEvent() override { TakeOverEvent(this); }
  PortType type;
  std::uint32_t key;
};

class InputWordChangedEvent final : public QEvent {
 public:
  InputWordChangedEvent(std::uint32_t wParam, std::uint32_t lParam)
      : QEvent(EventTypeOf(kInputWordChangedMessage)), wParam(wParam), lParam(lParam) {}
  ~InputWordChangedEvent() override { TakeOverEvent(this); }
  std::uint32_t wParam;
  std::uint32_t lParam;
};

class PortFailureEvent final : public QEvent {
 public:
  PortFailureEvent(PortType type, std::uint32_t key, std::string title, std::string text)
      : QEvent(EventTypeOf(kPortFailureMessage)), type(type), key(key), title(std::move(title)), text(std::move(text)) {}
  ~PortFailureEvent() override { TakeOverEvent(this); }
  PortType type;
  std::uint32_t key;
  std::string title;
  std::string text;
};

template <typename Event, typename... Args>
void Post(QObject* receiver, Args&&... args) {
  // Qt takes ownership of a posted event.
  auto event = std::make_unique<Event>(std::forward<Args>(args)...);
  PublishEvent(event.get());
  QCoreApplication::postEvent(receiver, event.release());
}

}  // namespace

ControlReceiver::ControlReceiver(ControlMessageHandler& handler, QObject* parent)
    : QObject(parent), handler_(handler) {}

ControlReceiver::~ControlReceiver() = default;

void ControlReceiver::PostDataReceived(PortType type, std::uint32_t portKey) {
  Post<DataReceivedEvent>(this, type, portKey);
}

void ControlReceiver::ReportPortFailure(PortType type, std::uint32_t portKey, std::string title, std::string text) {
  Post<PortFailureEvent>(this, type, portKey, std::move(title), std::move(text));
}

bool ControlReceiver::PostInputWordChanged(int module, int word, std::uint32_t value) {
  const std::uint32_t wParam = (static_cast<std::uint32_t>(module) & 0xFF) << 8 | (static_cast<std::uint32_t>(word) & 0xFF);
  Post<InputWordChangedEvent>(this, wParam, value);
  return true;
}

void ControlReceiver::PostTraceWindowClosed() {
  QCoreApplication::postEvent(this, std::make_unique<QEvent>(EventTypeOf(kTraceWindowClosedMessage)).release());
}

bool ControlReceiver::event(QEvent* event) {
  TakeOverEvent(event);
  const int message = event->type() - QEvent::User;
  switch (message) {
    case kDataReceivedMessage: {
      auto* e = static_cast<DataReceivedEvent*>(event);
      handler_.OnDataReceived(e->type, e->key);
      return true;
    }
    case kInputWordChangedMessage: {
      auto* e = static_cast<InputWordChangedEvent*>(event);
      handler_.OnInputWordChanged(static_cast<int>((e->wParam >> 8) & 0xFF), static_cast<int>(e->wParam & 0xFF),
                                  e->lParam);
      return true;
    }
    case kTraceWindowClosedMessage:
      handler_.OnTraceWindowClosed();
      return true;
    case kPortFailureMessage: {
      auto* e = static_cast<PortFailureEvent*>(event);
      handler_.OnPortFailure(e->type, e->key, e->title, e->text);
      return true;
    }
    default:
      return QObject::event(event);
  }
}

}  // namespace brimlink::link
