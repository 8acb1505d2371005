// CAboutDlg: the modal about box, and the control's face picture.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPointF>
#include <QString>
#include <cstdint>

namespace brimlink::control {

// "%u.%u.%u.%u" of the library's file version (the project version).
QString FileVersionText();

// Which LEDs of the face are lit: bit i of `inputs` is input LED I(i+1),
// bit i of `outputs` output LED O(i+1).
struct FaceLeds {
    std::uint8_t inputs = 0xFF;
    std::uint8_t outputs = 0xFF;
    bool power = true;
    friend bool operator==(const FaceLeds&, const FaceLeds&) = default;
};

// The 320 × 212 picture of the interface module that the control shows as
// its face and the about box shows below its texts, with every LED lit
// unless told otherwise. Drawn, not loaded.
QImage FacePicture(const FaceLeds& leds = {});

// The centres of the face's LEDs in the picture (index 0..7).
QPointF FaceInputLed(int index);
QPointF FaceOutputLed(int index);
QPointF FacePowerLed();

class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace brimlink::control
