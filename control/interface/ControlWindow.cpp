#include "control/interface/ControlWindow.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QResizeEvent>

#include "control/interface/AboutDlg.h"

namespace brimlink::control {

CControlWindow::CControlWindow(std::function<void()> onAbout, QWidget* parent)
    : QWidget(parent), onAbout_(std::move(onAbout)) {
    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("4711"));
    picture_->setPixmap(QPixmap::fromImage(FacePicture(leds_)));
    ++faceDraws_;
    picture_->setScaledContents(true);
    // Like a static control, the picture lets the clicks through to the control.
    picture_->setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(320, 212);
    picture_->setGeometry(0, 0, width(), height());
    picture_->lower();
}

void CControlWindow::ShowLeds(const FaceLeds& leds) {
    if (leds == leds_) return;
    leds_ = leds;
    picture_->setPixmap(QPixmap::fromImage(FacePicture(leds_)));
    ++faceDraws_;
}

void CControlWindow::SetInputLeds(int bits) {
    FaceLeds leds = leds_;
    leds.inputs = static_cast<std::uint8_t>(bits & 0xFF);
    ShowLeds(leds);
}

void CControlWindow::SetOutputLeds(int bits) {
    FaceLeds leds = leds_;
    leds.outputs = static_cast<std::uint8_t>(bits & 0xFF);
    ShowLeds(leds);
}

void CControlWindow::SetPowerLed(bool on) {
    FaceLeds leds = leds_;
    leds.power = on;
    ShowLeds(leds);
}

void CControlWindow::resizeEvent(QResizeEvent* event) {
    picture_->setGeometry(0, 0, event->size().width(), event->size().height());
    picture_->lower();
    QWidget::resizeEvent(event);
}

void CControlWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    // Only the left button's double click counts; the second press of a right
    // double click is not a new press either. QWidget's own handling would
    // pass it on as a press, so it is ignored here instead.
    if (event->button() == Qt::LeftButton && onAbout_) onAbout_();
    event->ignore();
}

void CControlWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && onAbout_) onAbout_();
    QWidget::mousePressEvent(event);
}

}  // namespace brimlink::control
