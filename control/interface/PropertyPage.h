// The property page "General" and the frame ShowProperties opens. The page
// edits the port settings of the process-wide current control: it loads them
// when it opens and stores them (normalised) on OK or Apply, which sets the
// control's modified flag. It never writes the settings file itself.
//
// Threads: GUI thread only; needs a widget application.
#pragma once

#include <QWidget>

#include "control/link/PortSettings.h"

class QCheckBox;
class QLineEdit;

namespace brimlink::control {

// What the page needs of a control.
class PropertyTarget {
public:
    virtual link::PortSettings CurrentPortSettings() const = 0;
    // Stores the values and sets the control's modified flag.
    virtual void StorePortSettings(const link::PortSettings& settings) = 0;

protected:
    ~PropertyTarget() = default;
};

// The process-wide current control, as far as the page is concerned: set by
// every control construction, cleared only by the control that is current.
void SetCurrentPropertyTarget(PropertyTarget* target);
void ClearCurrentPropertyTarget(const PropertyTarget* target);
PropertyTarget* CurrentPropertyTarget();

class CBrimlinkPropPage final : public QWidget {
    Q_OBJECT
public:
    explicit CBrimlinkPropPage(QWidget* parent = nullptr);

    // Copies the current control's values into the fields; clears the
    // modified flag. Nothing without a current control.
    void Load();
    // Stores the fields into the current control (lists normalised); clears
    // the modified flag.
    void Save();
    // Set by every edit since the last Load or Save.
    bool IsModified() const { return modified_; }

signals:
    void modifiedChanged(bool modified);

private:
    void SetModified(bool modified);
    void UpdateListEnabling();

    QCheckBox* usb_ = nullptr;            // 211
    QCheckBox* com_ = nullptr;            // 212
    QLineEdit* search_ = nullptr;         // 213
    QCheckBox* showAtStartup_ = nullptr;  // 214
    QLineEdit* exclude_ = nullptr;        // 217
    bool modified_ = false;
};

// The modal property frame with its one page ("General"), OK, Cancel and
// Apply; returns when it is closed.
void ShowPropertyFrame(QWidget* owner);

}  // namespace brimlink::control
