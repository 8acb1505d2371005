// Shared drawing helpers of the artwork: one palette, one font, and the parts
// that recur across pictures (cylinders, sensors, terminals, LEDs, profiles,
// pneumatic symbols, callout labels). Every helper draws with outlines in a
// flat style and leaves the painter's state as it found it.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <initializer_list>

namespace brimlink::artwork {

namespace ink {
inline const QColor kBackground{0xF4, 0xF6, 0xF9};
inline const QColor kOutline{0x2B, 0x31, 0x3B};
inline const QColor kTitle{0x1D, 0x3C, 0x63};
inline const QColor kAluminium{0xC9, 0xD0, 0xD9};
inline const QColor kSteel{0xA9, 0xB1, 0xBC};
inline const QColor kChrome{0xE4, 0xE8, 0xEE};
inline const QColor kAnthracite{0x3E, 0x45, 0x50};
inline const QColor kHousing{0xDD, 0xE1, 0xE6};
inline const QColor kAir{0x2F, 0x80, 0xC8};
inline const QColor kInput{0x2E, 0xA0, 0x4E};
inline const QColor kOutput{0xE8, 0x7A, 0x1E};
inline const QColor kRed{0xD3, 0x2F, 0x2F};
inline const QColor kBlue{0x1F, 0x5F, 0xBF};
inline const QColor kYellow{0xF5, 0xC5, 0x18};
inline const QColor kCopper{0xC8, 0x7A, 0x3A};
inline const QColor kRubber{0x35, 0x38, 0x3E};
}  // namespace ink

constexpr double kLine = 1.4;

// A blank picture in the background colour, and a painter set up for it.
QImage NewPicture(QSize size);
void Prepare(QPainter& painter);

QFont Font(double pixelSize, bool bold = false);
void Text(QPainter& painter, const QRectF& box, int flags, const QString& text, double pixelSize,
          bool bold = false, const QColor& colour = ink::kOutline);

// The picture's name in a band across the top.
void Title(QPainter& painter, double width, const QString& text);

// A label in a white box with a leader line to `target` (marked with a dot).
// The box sits right of `anchor` when the anchor is right of the target and
// left of it otherwise, vertically centred on the anchor, and is moved back
// inside the picture where it would stick out.
void Callout(QPainter& painter, QPointF target, QPointF anchor, const QString& text);
// One label for several parts: the box sits right of `anchor`.
void Callout(QPainter& painter, std::initializer_list<QPointF> targets, QPointF anchor, const QString& text);

// A brush shaded across a round part whose axis runs along `axis`.
QBrush Shaded(const QRectF& box, Qt::Orientation axis, const QColor& base);
void OutlinePen(QPainter& painter, double width = kLine, const QColor& colour = ink::kOutline);

// Shapes of a pneumatic cylinder drawn in local coordinates: the body from
// x = 0 to bodyLength around y = 0, the rod leaving at the right. Callers
// translate and rotate the painter to place it.
struct CylinderShape {
  double bodyLength = 100;
  double bodyHeight = 30;
  double rodLength = 40;
  double rodThickness = 8;
  bool squareProfile = false;  // compact cylinders have a square aluminium body
  bool ports = true;
  QColor body = ink::kAluminium;
};
void Cylinder(QPainter& painter, const CylinderShape& shape);
// The cylinder with its body starting at `origin` and its rod pointing along
// `angle` (degrees, 0 = right, 90 = down).
void PlaceCylinder(QPainter& painter, QPointF origin, double angle, const CylinderShape& shape);

// A guided cylinder in local coordinates: body from x = 0, two guide rods
// and the yoke plate at x = bodyLength + stroke.
struct GuidedShape {
  double bodyLength = 100;
  double bodyHeight = 34;
  double stroke = 40;
  double yokeWidth = 10;
};
void GuidedCylinder(QPainter& painter, const GuidedShape& shape);
void PlaceGuided(QPainter& painter, QPointF origin, double angle, const GuidedShape& shape);

enum class SensorKind { Magnetic, Inductive, Optical };
// A sensor whose sensing face is at `face`, pointing in direction `angle`
// (degrees, 0 = to the right, 90 = down), with its cable trailing behind.
void Sensor(QPainter& painter, QPointF face, double angle, SensorKind kind, double length = 44);

// A small slot sensor clamped on a cylinder body (magnetic end switch).
void SlotSensor(QPainter& painter, QPointF centre, bool lit, double cableDirection = -90);
// The slot sensor turned by `angle` with the cable leaving downwards in its
// own frame, as on a cylinder running along that angle.
void PlaceSlotSensor(QPainter& painter, QPointF centre, double angle, bool lit);
// The dashed red light of an optical sensor.
void LightBeam(QPainter& painter, QPointF from, QPointF to);

void ScrewTerminal(QPainter& painter, const QRectF& cell, const QColor& housing);
void Led(QPainter& painter, QPointF centre, double radius, const QColor& colour, bool lit);
void Jack(QPainter& painter, QPointF centre, double radius, const QColor& colour);
void UsbSocket(QPainter& painter, const QRectF& box);

// A workpiece (short round part) seen from the side, its top as an ellipse.
void Workpiece(QPainter& painter, const QRectF& box, const QColor& colour);
// A machined part: a filled, outlined, slightly rounded box.
void Block(QPainter& painter, const QRectF& box, const QColor& colour = ink::kAluminium, double radius = 2);
// Slotted aluminium profile.
void Profile(QPainter& painter, const QRectF& box, Qt::Orientation axis);
void Coil(QPainter& painter, const QRectF& box, Qt::Orientation axis);
void Relay(QPainter& painter, const QRectF& box);
void Hose(QPainter& painter, const QPainterPath& path, const QColor& colour, double width = 4);

// A solenoid valve seen from the front: body with the working ports on top,
// a solenoid with its plug at the left end and, for a bistable valve, a
// second one at the right end (a monostable valve has its spring cover there).
void SolenoidValve(QPainter& painter, const QRectF& body, bool bistable, bool energised);

// The ISO symbol of a 4/2 valve: two squares of `cell` size side by side at
// `topLeft`, the solenoid left and the spring (monostable) or a second
// solenoid (bistable) right. `leftActive` puts the left square on the ports.
void ValveSymbol42(QPainter& painter, QPointF topLeft, double cell, bool bistable, bool leftActive);

// The ISO pneumatic symbol of a cylinder: the piston at `pistonFraction` of
// the bore (0 = retracted), the rod leaving right.
void CylinderSymbol(QPainter& painter, const QRectF& bore, bool doubleActing, double pistonFraction);

}  // namespace brimlink::artwork
