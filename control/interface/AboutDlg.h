// CAboutDlg: the modal about box, and the control's face picture.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>

namespace brimlink::control {

// "%u.%u.%u.%u" of the library's file version (the project version).
QString FileVersionText();

// The 320 × 212 picture of the interface module that the control shows as
// its face and the about box shows below its texts. Drawn, not loaded.
QImage FacePicture();

class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace brimlink::control
