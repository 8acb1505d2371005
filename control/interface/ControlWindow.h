// The control's own window: the face picture, resized with the window. A
// double click or a right button press opens the about box.
//
// Threads: GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

class QLabel;

namespace brimlink::control {

class CControlWindow final : public QWidget {
    Q_OBJECT
public:
    // onAbout: what a double click or right press does (the control's AboutBox).
    explicit CControlWindow(std::function<void()> onAbout, QWidget* parent = nullptr);

    // The picture child (identifier 4711), for tests.
    QLabel* Picture() const { return picture_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::function<void()> onAbout_;
    QLabel* picture_ = nullptr;
};

}  // namespace brimlink::control
