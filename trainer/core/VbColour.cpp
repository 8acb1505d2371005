#include "trainer/core/VbColour.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QVariant>
#include <QWidget>
#include <optional>

namespace brimlink::trainer {

namespace {

constexpr char kBackProperty[] = "vbBackColor";
constexpr char kForeProperty[] = "vbForeColor";
// A per-widget key for the sheet's selector: a sheet without a selector would
// also paint every child of a frame.
constexpr char kStyleKeyProperty[] = "vbStyleKey";

constexpr VbColour kSystemBit = 0x80000000;

QColor SystemColour(VbColour index) {
  const QPalette palette = QApplication::palette();
  switch (index) {
    case 0x0F:  // button face
      return palette.color(QPalette::Active, QPalette::Button);
    case 0x12:  // button text
      return palette.color(QPalette::Active, QPalette::ButtonText);
    case 0x0C:  // application workspace
      return palette.color(QPalette::Active, QPalette::Dark);
    case 0x05:  // window background
      return palette.color(QPalette::Active, QPalette::Base);
    case 0x08:  // window text
    case 0x07:  // menu text
      return palette.color(QPalette::Active, QPalette::WindowText);
    case 0x04:  // menu bar
      return palette.color(QPalette::Active, QPalette::Window);
    case 0x0D:  // highlight
      return palette.color(QPalette::Active, QPalette::Highlight);
    case 0x0E:  // highlighted text
      return palette.color(QPalette::Active, QPalette::HighlightedText);
    case 0x10:  // button shadow
      return palette.color(QPalette::Active, QPalette::Mid);
    case 0x11:  // grey text
      return palette.color(QPalette::Disabled, QPalette::Text);
    case 0x14:  // 3D highlight
      return palette.color(QPalette::Active, QPalette::Light);
    case 0x15:  // 3D dark shadow
      return palette.color(QPalette::Active, QPalette::Shadow);
    case 0x16:  // 3D light
      return palette.color(QPalette::Active, QPalette::Midlight);
    case 0x17:  // tool tip text
      return palette.color(QPalette::Active, QPalette::ToolTipText);
    case 0x18:  // tool tip background
      return palette.color(QPalette::Active, QPalette::ToolTipBase);
    default:
      return palette.color(QPalette::Active, QPalette::Button);
  }
}

std::optional<VbColour> Stored(const QWidget* widget, const char* property) {
  const QVariant value = widget->property(property);
  if (!value.isValid()) return std::nullopt;
  return static_cast<VbColour>(value.toUInt());
}

QString Css(VbColour value) { return ToQColor(value).name(QColor::HexRgb); }

// Builds the widget's sheet from both stored colours; a colour never set is
// left to the style.
void ApplySheet(QWidget* widget) {
  const std::optional<VbColour> back = Stored(widget, kBackProperty);
  const std::optional<VbColour> fore = Stored(widget, kForeProperty);

  const QString key = QString::number(reinterpret_cast<quintptr>(widget), 16);
  widget->setProperty(kStyleKeyProperty, key);

  QString colours;
  if (back) colours += QStringLiteral("background-color: %1; ").arg(Css(*back));
  if (fore) colours += QStringLiteral("color: %1; ").arg(Css(*fore));

  QString sheet;
  if (qobject_cast<QPushButton*>(widget) != nullptr) {
    const QString self = QStringLiteral("QPushButton[%1=\"%2\"]").arg(kStyleKeyProperty, key);
    const QColor face = back ? ToQColor(*back) : SystemColour(0x0F);
    const QColor border = QApplication::palette().color(QPalette::Active, QPalette::Shadow);
    sheet = QStringLiteral("%1 { %2border: 1px solid %3; border-radius: 3px; padding: 2px 4px; }\n")
                .arg(self, colours, border.name());
    sheet += QStringLiteral("%1:pressed { background-color: %2; }\n").arg(self, face.darker(115).name());
    sheet += QStringLiteral("%1:focus { border: 1px solid %2; }\n")
                 .arg(self, QApplication::palette().color(QPalette::Active, QPalette::Highlight).name());
    sheet += QStringLiteral("%1:disabled { color: %2; }\n")
                 .arg(self, QApplication::palette().color(QPalette::Disabled, QPalette::ButtonText).name());
  } else if (qobject_cast<QGroupBox*>(widget) != nullptr) {
    const QString self = QStringLiteral("QGroupBox[%1=\"%2\"]").arg(kStyleKeyProperty, key);
    const QColor border = QApplication::palette().color(QPalette::Active, QPalette::Mid);
    // The title sits in the top margin, over the border line, on the frame's
    // own colour so that it stays readable.
    const bool titled = !static_cast<QGroupBox*>(widget)->title().isEmpty();
    sheet = QStringLiteral("%1 { %2border: 1px solid %3; border-radius: 3px; margin-top: %4px; }\n")
                .arg(self, colours, border.name(), QString::number(titled ? 7 : 0));
    sheet += QStringLiteral(
                 "%1::title { subcontrol-origin: margin; subcontrol-position: top left; left: 7px; "
                 "padding: 0px 3px; %2}\n")
                 .arg(self, colours);
  } else if (qobject_cast<QRadioButton*>(widget) != nullptr) {
    // Option buttons are designed narrow ("10" in 400 twips): a compact
    // indicator leaves the caption its room.
    const QString self = QStringLiteral("QRadioButton[%1=\"%2\"]").arg(kStyleKeyProperty, key);
    sheet = QStringLiteral("%1 { %2spacing: 1px; }\n%1::indicator { width: 10px; height: 10px; }\n").arg(self, colours);
  } else {
    // Labels and picture boxes: only the colours.
    widget->setAttribute(Qt::WA_StyledBackground, true);
    sheet = QStringLiteral("*[%1=\"%2\"] { %3}\n").arg(kStyleKeyProperty, key, colours);
  }
  widget->setStyleSheet(sheet);
  widget->update();
}

}  // namespace

QColor ToQColor(VbColour value) {
  if ((value & kSystemBit) != 0) return SystemColour(value & 0xFF);
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

void SetBackColour(QWidget* widget, VbColour value) {
  if (widget == nullptr) return;
  widget->setProperty(kBackProperty, QVariant::fromValue<uint>(value));
  ApplySheet(widget);
}

void SetForeColour(QWidget* widget, VbColour value) {
  if (widget == nullptr) return;
  widget->setProperty(kForeProperty, QVariant::fromValue<uint>(value));
  ApplySheet(widget);
}

VbColour BackColour(const QWidget* widget) {
  if (widget == nullptr) return vb::kButtonFace;
  return Stored(widget, kBackProperty).value_or(vb::kButtonFace);
}

VbColour ForeColour(const QWidget* widget) {
  if (widget == nullptr) return vb::kButtonText;
  return Stored(widget, kForeProperty).value_or(vb::kButtonText);
}

}  // namespace brimlink::trainer
