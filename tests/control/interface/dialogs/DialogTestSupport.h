// What the dialog tests share: the process's widget application, a trace
// clock the test sets by hand, and small ways to act on widgets without a
// window system.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace brimlink::dialogtest {

// GoogleTest's main makes no application object, so the first test that
// needs one creates it; test_trace_window.cpp's environment deletes it after
// the last test.
inline std::unique_ptr<QApplication>& AppSlot() {
    static std::unique_ptr<QApplication> app;
    return app;
}

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "dialog_tests";
    static char* argv[] = {name, nullptr};
    if (!AppSlot()) AppSlot() = std::make_unique<QApplication>(argc, argv);
    return *AppSlot();
}

// The trace log's clock: milliseconds the test sets.
inline std::uint32_t& FakeNow() {
    static std::uint32_t now = 0;
    return now;
}
inline std::uint32_t FakeClock() { return FakeNow(); }

// Deletes what deleteLater scheduled, as the event loop would.
inline void RunDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// Types text into an edit as key presses, so that it counts as a user's edit.
inline void TypeInto(QLineEdit* edit, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(edit, &press);
    }
}

inline void SendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button) {
    const QPointF local(10, 10);
    QMouseEvent event(type, local, target->mapToGlobal(local), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

}  // namespace brimlink::dialogtest
