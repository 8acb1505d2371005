#include "tools/artwork/Icon.h"

#include <QBuffer>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgGenerator>

#include "tools/artwork/Drawing.h"

namespace brimlink::artwork {

namespace {

// Outlines are drawn thicker than in the pictures: at 48 pixels a unit is
// less than a fifth of a pixel, and a thin line would vanish.
constexpr double kIconLine = 5;

const QColor kInputTerminal{0x3C, 0xA8, 0x5A};
const QColor kOutputTerminal{0xF0, 0x8A, 0x2C};

void Pen(QPainter& painter, double width, const QColor& colour = ink::kOutline) {
  painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void Tile(QPainter& painter) {
  const QRectF tile(10, 10, 236, 236);
  QLinearGradient fill(tile.topLeft(), tile.bottomLeft());
  fill.setColorAt(0.0, ink::kAir.lighter(112));
  fill.setColorAt(1.0, ink::kTitle);
  Pen(painter, 4, ink::kTitle.darker(140));
  painter.setBrush(fill);
  painter.drawRoundedRect(tile, 44, 44);
}

// The USB cable leaves the module's left side and runs down out of the tile's
// corner, as in the module's picture.
void Cable(QPainter& painter) {
  QPainterPath cable;
  cable.moveTo(38, 134);
  cable.cubicTo(18, 134, 24, 196, 52, 236);
  Pen(painter, 16, ink::kOutline);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(cable);
  Pen(painter, 9, QColor(0x60, 0x66, 0x70));
  painter.drawPath(cable);
  Pen(painter, 3);
  painter.setBrush(QColor(0x60, 0x66, 0x70));
  painter.drawRoundedRect(QRectF(24, 120, 20, 28), 4, 4);
}

// A plug-in terminal block: the housing and its screw head.
void Terminal(QPainter& painter, const QRectF& cell, const QColor& housing) {
  Pen(painter, 3.5);
  painter.setBrush(housing);
  painter.drawRoundedRect(cell, 3, 3);
  const double r = cell.height() * 0.3;
  painter.setBrush(ink::kChrome);
  painter.drawEllipse(cell.center(), r, r);
  Pen(painter, 2.5);
  painter.drawLine(cell.center() + QPointF(-r * 0.7, r * 0.7), cell.center() + QPointF(r * 0.7, -r * 0.7));
}

void Lamp(QPainter& painter, QPointF centre, const QColor& colour, bool lit) {
  constexpr double kRadius = 11;
  if (lit) {
    QRadialGradient glow(centre, kRadius * 2.2);
    QColor halo = colour;
    halo.setAlpha(170);
    glow.setColorAt(0.0, halo);
    halo.setAlpha(0);
    glow.setColorAt(1.0, halo);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, kRadius * 2.2, kRadius * 2.2);
  }
  Pen(painter, 3);
  painter.setBrush(lit ? colour.lighter(140) : colour.darker(230));
  painter.drawEllipse(centre, kRadius, kRadius);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, lit ? 200 : 70));
  painter.drawEllipse(centre + QPointF(-4, -4), 3.8, 3.8);
}

void Module(QPainter& painter) {
  const QRectF box(40, 76, 176, 120);
  Pen(painter, kIconLine);
  painter.setBrush(ink::kAnthracite);
  painter.drawRoundedRect(box, 22, 22);
  Pen(painter, 2.5, ink::kAnthracite.darker(150));
  painter.setBrush(ink::kAnthracite.lighter(135));
  painter.drawRoundedRect(box.adjusted(12, 18, -12, -18), 12, 12);

  // Four terminals of each row stand for the eight inputs and outputs; more
  // would not be told apart at the small sizes.
  constexpr double kPitch = 40;
  const double left = box.center().x() - 2 * kPitch;
  for (int i = 0; i < 4; ++i) {
    const double x = left + i * kPitch;
    Terminal(painter, QRectF(x + 3, 52, kPitch - 6, 28), kInputTerminal);
    Terminal(painter, QRectF(x + 3, 192, kPitch - 6, 28), kOutputTerminal);
    Lamp(painter, QPointF(x + kPitch / 2, 116), ink::kInput, i == 0 || i == 2 || i == 3);
    Lamp(painter, QPointF(x + kPitch / 2, 156), ink::kYellow, i == 1);
  }
}

}  // namespace

void DrawIcon(QPainter& painter) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  Tile(painter);
  Cable(painter);
  Module(painter);
  painter.restore();
}

QImage RenderIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.scale(static_cast<double>(size) / kIconDesign, static_cast<double>(size) / kIconDesign);
    DrawIcon(painter);
  }
  return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray IconPng(int size) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!RenderIcon(size).save(&buffer, "PNG")) return {};
  return bytes;
}

QByteArray IconSvg() {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(kIconDesign, kIconDesign));
    generator.setViewBox(QRect(0, 0, kIconDesign, kIconDesign));
    generator.setTitle(QStringLiteral("BrimlinkMini Sorvik"));
    generator.setDescription(QStringLiteral("The interface module's face"));
    QPainter painter(&generator);
    DrawIcon(painter);
  }
  // The generator gives the size in millimetres at its resolution (the first
  // line is '<svg width="…mm" height="…mm"'); an icon's size is in pixels.
  const qsizetype start = bytes.indexOf("<svg width=");
  const qsizetype end = start < 0 ? -1 : bytes.indexOf('\n', start);
  if (end < 0) return {};
  const QByteArray size = QByteArray::number(kIconDesign);
  bytes.replace(start, end - start, "<svg width=\"" + size + "\" height=\"" + size + "\"");
  return bytes;
}

QString IconPngPath(int size) {
  return QStringLiteral("%1x%1/%2.png").arg(size).arg(QString::fromLatin1(kIconName));
}

QString IconSvgPath() { return QStringLiteral("scalable/%1.svg").arg(QString::fromLatin1(kIconName)); }

}  // namespace brimlink::artwork
