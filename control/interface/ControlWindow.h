// The control's own window: the face picture, resized with the window. A
// double click or a right button press opens the about box.
//
// The face's LEDs show what the host tells it through the properties
// inputLeds, outputLeds (bit i: LED i+1) and powerLed, which any host sets by
// name (QObject::setProperty) without this class's declaration. A new window
// shows every LED off: nothing is connected yet. The picture is drawn again
// only when one of them changes.
//
// Threads: GUI thread only.
#pragma once

#include <QWidget>
#include <functional>

#include "control/interface/AboutDlg.h"

class QLabel;

namespace brimlink::control {

class CControlWindow final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int inputLeds READ InputLeds WRITE SetInputLeds)
    Q_PROPERTY(int outputLeds READ OutputLeds WRITE SetOutputLeds)
    Q_PROPERTY(bool powerLed READ PowerLed WRITE SetPowerLed)
public:
    // onAbout: what a double click or right press does (the control's AboutBox).
    explicit CControlWindow(std::function<void()> onAbout, QWidget* parent = nullptr);

    // The picture child (identifier 4711), for tests.
    QLabel* Picture() const { return picture_; }

    void ShowLeds(const FaceLeds& leds);
    const FaceLeds& Leds() const { return leds_; }
    int InputLeds() const { return leds_.inputs; }
    int OutputLeds() const { return leds_.outputs; }
    bool PowerLed() const { return leds_.power; }
    void SetInputLeds(int bits);
    void SetOutputLeds(int bits);
    void SetPowerLed(bool on);
    // How often the face was drawn since the window was made.
    int FaceDraws() const { return faceDraws_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::function<void()> onAbout_;
    QLabel* picture_ = nullptr;
    FaceLeds leds_{0, 0, false};
    int faceDraws_ = 0;
};

}  // namespace brimlink::control
