// CDebugWin: the trace window "Trace Window". The object lives as long as its
// control; its window exists from Show until OK (or the control's end). While
// the window exists it is the view of the control's TraceLog.
//
// Threads: GUI thread only. Needs a widget application for Show.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <string_view>

#include "control/link/Trace.h"

class QDialog;
class QListWidget;
class QWidget;

namespace brimlink::control {

class CDebugWin final : public link::TraceView {
public:
    // Copy collects at most this many characters (UTF-16 units) before it stops.
    static constexpr int kCopyLimit = 249999;

    // notifyClosed: what OK sends the owner (the control then calls
    // DestroyWindow). The log must outlive this object.
    CDebugWin(link::TraceLog& log, std::function<void()> notifyClosed);
    ~CDebugWin() override;
    CDebugWin(const CDebugWin&) = delete;
    CDebugWin& operator=(const CDebugWin&) = delete;

    bool HasWindow() const;
    // Creates the window when there is none (tracing on, fresh time base) and
    // shows it; nothing when it exists, shown or hidden.
    void Show(QWidget* parent);
    // Hides the window at once and deletes it when control returns to the
    // event loop, so that a button handler on its stack is not cut off.
    void DestroyWindow();

    // TraceView
    void AppendLine(std::string_view line) override;

    // The clipboard text of Copy: each line followed by '\n', stopping once
    // more than kCopyLimit characters are collected; the line that crosses
    // the limit ends the text, without a line feed.
    static QString CopyText(const QStringList& lines);

    // For tests: the window and its list (null without a window).
    QDialog* Window() const;
    QListWidget* List() const;

private:
    class Dialog;
    link::TraceLog& log_;
    std::function<void()> notifyClosed_;
    QPointer<Dialog> window_;
};

}  // namespace brimlink::control
