// Colours as the window design keeps them: 32-bit values laid out &H00BBGGRR,
// where a value with the top bit set names a system colour. Every control of
// the main window stores its back and fore colour as such a value (so the
// selected station is found by comparing values, as the design does) and is
// painted from it through a per-widget style sheet.
//
// Threads: GUI thread only.
#pragma once

#include <QColor>
#include <cstdint>

class QWidget;

namespace brimlink::trainer {

using VbColour = std::uint32_t;

namespace vb {
inline constexpr VbColour kButtonFace = 0x8000000F;
inline constexpr VbColour kButtonText = 0x80000012;
inline constexpr VbColour kApplicationWorkspace = 0x8000000C;
inline constexpr VbColour kYellow = 0x0000FFFF;
inline constexpr VbColour kGrey = 0x00808080;
inline constexpr VbColour kWhite = 0x00FFFFFF;
inline constexpr VbColour kBlack = 0x00000000;
}  // namespace vb

// The colour a value stands for; system colours from the application palette.
QColor ToQColor(VbColour value);

// Stores the value on the widget and repaints it. A widget without a stored
// value reads as button face (back) and button text (fore).
void SetBackColour(QWidget* widget, VbColour value);
void SetForeColour(QWidget* widget, VbColour value);
VbColour BackColour(const QWidget* widget);
VbColour ForeColour(const QWidget* widget);

}  // namespace brimlink::trainer
