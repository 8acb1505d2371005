// The trainer's application icon: the interface module's face on a blue
// tile. One drawing in a square of kIconDesign units gives every PNG size and
// the scalable SVG, so they always show the same picture.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>

class QPainter;

namespace brimlink::artwork {

// The icon's name in the icon theme, the desktop entry's id without ".desktop".
inline constexpr char kIconName[] = "org.brimlink.BrimlinkMiniSorvik";
inline constexpr int kIconDesign = 256;
// The fixed sizes installed beside the SVG, in pixels.
inline constexpr std::array<int, 3> kIconSizes = {48, 128, 256};

// Draws the icon in kIconDesign × kIconDesign units; outside the tile
// nothing is painted.
void DrawIcon(QPainter& painter);

// The icon at size × size pixels on a transparent background (ARGB32).
QImage RenderIcon(int size);
// Its file bytes: PNG of RenderIcon(size), and the SVG.
QByteArray IconPng(int size);
QByteArray IconSvg();

// "48x48/NAME.png" and so on, and "scalable/NAME.svg": the paths below an
// icon theme's size folders.
QString IconPngPath(int size);
QString IconSvgPath();

}  // namespace brimlink::artwork
