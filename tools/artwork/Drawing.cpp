#include "tools/artwork/Drawing.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPolygonF>
#include <QRadialGradient>
#include <QtMath>
#include <cmath>

namespace brimlink::artwork {

namespace {

// Saves the painter's state for one helper and restores it on the way out.
class Saved {
 public:
  explicit Saved(QPainter& painter) : painter_(painter) { painter_.save(); }
  ~Saved() { painter_.restore(); }
  Saved(const Saved&) = delete;
  Saved& operator=(const Saved&) = delete;

 private:
  QPainter& painter_;
};

}  // namespace

QImage NewPicture(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(ink::kBackground);
  return image;
}

void Prepare(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  OutlinePen(painter);
}

QFont Font(double pixelSize, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(qRound(pixelSize));
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setKerning(true);
  return font;
}

void Text(QPainter& painter, const QRectF& box, int flags, const QString& text, double pixelSize, bool bold,
          const QColor& colour) {
  Saved saved(painter);
  painter.setFont(Font(pixelSize, bold));
  painter.setPen(colour);
  painter.drawText(box, flags, text);
}

void Title(QPainter& painter, double width, const QString& text) {
  Saved saved(painter);
  painter.setPen(Qt::NoPen);
  painter.setBrush(ink::kTitle);
  painter.drawRect(QRectF(0, 0, width, 30));
  painter.setBrush(ink::kAir);
  painter.drawRect(QRectF(0, 30, width, 3));
  // Long names on the narrow figures get a smaller font rather than being cut.
  double size = 16;
  while (size > 10 && QFontMetricsF(Font(size, true)).horizontalAdvance(text) > width - 24) size -= 1;
  Text(painter, QRectF(12, 0, width - 24, 30), Qt::AlignVCenter | Qt::AlignLeft, text, size, true, Qt::white);
}

namespace {

QRectF CalloutBox(const QPainter& painter, QPointF anchor, bool boxRight, const QString& text) {
  const QFontMetricsF metrics(Font(11, true));
  const QRectF textBox = metrics.boundingRect(QRectF(0, 0, 400, 100), Qt::AlignLeft, text);
  const double width = textBox.width() + 10;
  const double height = textBox.height() + 4;
  QRectF box(boxRight ? anchor.x() : anchor.x() - width, anchor.y() - height / 2, width, height);
  // Keep the label inside the picture.
  const double pictureWidth = painter.device()->width();
  if (box.left() < 2) box.moveLeft(2);
  if (box.right() > pictureWidth - 2) box.moveRight(pictureWidth - 2);
  return box;
}

// The leader meets the side of the box nearest the target, or its top or
// bottom when the target lies above or below the box.
void Leader(QPainter& painter, QPointF target, const QRectF& box) {
  QPointF end;
  if (target.x() < box.left()) {
    end = QPointF(box.left(), box.center().y());
  } else if (target.x() > box.right()) {
    end = QPointF(box.right(), box.center().y());
  } else {
    end = QPointF(target.x(), target.y() < box.top() ? box.top() : box.bottom());
  }
  painter.setPen(QPen(ink::kOutline, 1.0));
  painter.drawLine(target, end);
  painter.setBrush(ink::kOutline);
  painter.drawEllipse(target, 2.5, 2.5);
}

void LabelBox(QPainter& painter, const QRectF& box, const QString& text) {
  painter.setBrush(Qt::white);
  painter.setPen(QPen(ink::kTitle, 1.0));
  painter.drawRoundedRect(box, 3, 3);
  painter.setFont(Font(11, true));
  painter.setPen(ink::kTitle);
  painter.drawText(box, Qt::AlignCenter, text);
}

}  // namespace

void Callout(QPainter& painter, QPointF target, QPointF anchor, const QString& text) {
  Saved saved(painter);
  const QRectF box = CalloutBox(painter, anchor, anchor.x() >= target.x(), text);
  Leader(painter, target, box);
  LabelBox(painter, box, text);
}

void Callout(QPainter& painter, std::initializer_list<QPointF> targets, QPointF anchor, const QString& text) {
  Saved saved(painter);
  const QRectF box = CalloutBox(painter, anchor, true, text);
  for (const QPointF target : targets) Leader(painter, target, box);
  LabelBox(painter, box, text);
}

QBrush Shaded(const QRectF& box, Qt::Orientation axis, const QColor& base) {
  QLinearGradient gradient = axis == Qt::Horizontal ? QLinearGradient(box.topLeft(), box.bottomLeft())
                                                    : QLinearGradient(box.topLeft(), box.topRight());
  gradient.setColorAt(0.0, base.darker(115));
  gradient.setColorAt(0.3, base.lighter(118));
  gradient.setColorAt(0.55, base);
  gradient.setColorAt(1.0, base.darker(135));
  return QBrush(gradient);
}

void OutlinePen(QPainter& painter, double width, const QColor& colour) {
  painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void Cylinder(QPainter& painter, const CylinderShape& shape) {
  Saved saved(painter);
  OutlinePen(painter);
  const double h = shape.bodyHeight;
  const double cap = std::max(6.0, shape.bodyLength * 0.09);

  const QRectF rod(shape.bodyLength, -shape.rodThickness / 2, shape.rodLength + 2, shape.rodThickness);
  painter.setBrush(Shaded(rod, Qt::Horizontal, ink::kChrome));
  painter.drawRect(rod);
  // Rod end: a threaded stud with a nut.
  const QRectF nut(shape.bodyLength + shape.rodLength - 4, -shape.rodThickness * 0.85, 7, shape.rodThickness * 1.7);
  painter.setBrush(Shaded(nut, Qt::Horizontal, ink::kSteel));
  painter.drawRect(nut);

  const QRectF body(0, -h / 2, shape.bodyLength, h);
  if (shape.squareProfile) {
    painter.setBrush(shape.body);
    painter.drawRoundedRect(body, 2, 2);
    // The profile's grooves for the sensors.
    painter.setPen(QPen(shape.body.darker(125), 1.0));
    for (const double y : {-h * 0.28, h * 0.28}) painter.drawLine(QPointF(cap, y), QPointF(shape.bodyLength - cap, y));
    OutlinePen(painter);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body, 2, 2);
  } else {
    painter.setBrush(Shaded(body, Qt::Horizontal, shape.body));
    painter.drawRect(body.adjusted(cap * 0.5, 0, -cap * 0.5, 0));
  }
  for (const double x : {0.0, shape.bodyLength - cap}) {
    const QRectF end(x, -h / 2 - (shape.squareProfile ? 0 : 2), cap, h + (shape.squareProfile ? 0 : 4));
    painter.setBrush(Shaded(end, Qt::Horizontal, shape.squareProfile ? shape.body.darker(108) : ink::kSteel));
    painter.drawRoundedRect(end, 1.5, 1.5);
  }
  if (shape.squareProfile) {
    // The four tie screws at the corners of the end caps.
    painter.setBrush(ink::kSteel);
    for (const double x : {cap / 2, shape.bodyLength - cap / 2}) {
      for (const double y : {-h / 2 + 5, h / 2 - 5}) painter.drawEllipse(QPointF(x, y), 2.2, 2.2);
    }
  }
  if (shape.ports) {
    for (const double x : {cap / 2, shape.bodyLength - cap / 2}) {
      const QRectF fitting(x - 4, -h / 2 - 7, 8, 7);
      painter.setBrush(Shaded(fitting, Qt::Vertical, ink::kChrome));
      painter.drawRect(fitting);
      painter.setBrush(ink::kAir);
      painter.drawRect(QRectF(x - 5, -h / 2 - 10, 10, 3));
    }
  }
}

void GuidedCylinder(QPainter& painter, const GuidedShape& shape) {
  Saved saved(painter);
  OutlinePen(painter);
  const double h = shape.bodyHeight;
  const double rodEnd = shape.bodyLength + shape.stroke;
  for (const double y : {-h * 0.3, h * 0.3}) {
    const QRectF rod(shape.bodyLength - 2, y - 3.5, shape.stroke + 3, 7);
    painter.setBrush(Shaded(rod, Qt::Horizontal, ink::kChrome));
    painter.drawRect(rod);
  }
  // The piston rod between the guide rods, thinner.
  const QRectF piston(shape.bodyLength - 2, -2.5, shape.stroke + 3, 5);
  painter.setBrush(Shaded(piston, Qt::Horizontal, ink::kChrome));
  painter.drawRect(piston);

  const QRectF body(0, -h / 2, shape.bodyLength, h);
  painter.setBrush(ink::kAluminium);
  painter.drawRoundedRect(body, 2.5, 2.5);
  painter.setPen(QPen(ink::kAluminium.darker(125), 1.0));
  for (const double y : {-h * 0.3, h * 0.3}) painter.drawLine(QPointF(6, y), QPointF(shape.bodyLength - 6, y));
  OutlinePen(painter);
  // Guide bearings at the front of the body.
  const QRectF bearing(shape.bodyLength - 12, -h / 2, 12, h);
  painter.setBrush(ink::kAluminium.darker(110));
  painter.drawRoundedRect(bearing, 2, 2);

  const QRectF yoke(rodEnd, -h / 2 - 4, shape.yokeWidth, h + 8);
  painter.setBrush(Shaded(yoke, Qt::Vertical, ink::kAluminium));
  painter.drawRoundedRect(yoke, 2, 2);
  painter.setBrush(ink::kSteel);
  for (const double y : {-h * 0.3, h * 0.3}) painter.drawEllipse(QPointF(rodEnd + shape.yokeWidth / 2, y), 2.2, 2.2);
}

void Sensor(QPainter& painter, QPointF face, double angle, SensorKind kind, double length) {
  Saved saved(painter);
  painter.translate(face);
  painter.rotate(angle + 180);  // local +x runs from the face back to the cable
  OutlinePen(painter);

  QPainterPath cable;
  cable.moveTo(length, 0);
  cable.cubicTo(length + 18, 0, length + 22, 12, length + 34, 14);
  Hose(painter, cable, ink::kRubber, 3);

  switch (kind) {
    case SensorKind::Inductive: {
      const double d = 14;
      const QRectF barrel(0, -d / 2, length * 0.75, d);
      painter.setBrush(Shaded(barrel, Qt::Horizontal, ink::kSteel));
      painter.drawRect(barrel);
      painter.setPen(QPen(ink::kSteel.darker(140), 0.8));
      for (double x = 4; x < barrel.right() - 2; x += 3) painter.drawLine(QPointF(x, -d / 2 + 1), QPointF(x + 1.5, d / 2 - 1));
      OutlinePen(painter);
      for (const double x : {length * 0.18, length * 0.5}) {
        const QRectF nut(x, -d / 2 - 3, 5, d + 6);
        painter.setBrush(Shaded(nut, Qt::Horizontal, ink::kChrome));
        painter.drawRect(nut);
      }
      const QRectF back(length * 0.75, -d / 2 + 1, length * 0.25, d - 2);
      painter.setBrush(Shaded(back, Qt::Horizontal, ink::kAnthracite));
      painter.drawRect(back);
      painter.setBrush(ink::kBlue);
      painter.drawRect(QRectF(-3, -d / 2 + 1, 3, d - 2));
      Led(painter, QPointF(length * 0.87, 0), 2.5, ink::kYellow, true);
      break;
    }
    case SensorKind::Optical: {
      const QRectF box(0, -11, length, 22);
      painter.setBrush(Shaded(box, Qt::Horizontal, ink::kAnthracite.lighter(150)));
      painter.drawRoundedRect(box, 3, 3);
      painter.setBrush(ink::kRubber);
      painter.drawRect(QRectF(-2, -8, 4, 16));
      painter.setBrush(ink::kRed.lighter(130));
      painter.drawEllipse(QPointF(0, -4), 2.5, 2.5);
      painter.setBrush(QColor(0x40, 0x70, 0xA0));
      painter.drawEllipse(QPointF(0, 4), 2.5, 2.5);
      Led(painter, QPointF(length * 0.75, -4), 2.2, ink::kYellow, true);
      Led(painter, QPointF(length * 0.75, 4), 2.2, ink::kInput, true);
      break;
    }
    case SensorKind::Magnetic: {
      const QRectF box(0, -5, length, 10);
      painter.setBrush(Shaded(box, Qt::Horizontal, ink::kAnthracite.lighter(130)));
      painter.drawRoundedRect(box, 3, 3);
      Led(painter, QPointF(length * 0.7, 0), 2.2, ink::kYellow, true);
      break;
    }
  }
}

void SlotSensor(QPainter& painter, QPointF centre, bool lit, double cableDirection) {
  Saved saved(painter);
  painter.translate(centre);
  OutlinePen(painter);
  QPainterPath cable;
  const double radians = qDegreesToRadians(cableDirection);
  const QPointF out(std::cos(radians), std::sin(radians));
  cable.moveTo(out * 8);
  cable.cubicTo(out * 20, out * 26 + QPointF(8, 0), out * 34 + QPointF(14, 0));
  Hose(painter, cable, ink::kRubber, 2.5);
  const QRectF box(-10, -4, 20, 8);
  painter.setBrush(ink::kAnthracite.lighter(120));
  painter.drawRoundedRect(box, 3, 3);
  Led(painter, QPointF(5, 0), 2, lit ? ink::kYellow : ink::kSteel, lit);
}

void ScrewTerminal(QPainter& painter, const QRectF& cell, const QColor& housing) {
  Saved saved(painter);
  OutlinePen(painter, 1.0);
  painter.setBrush(housing);
  painter.drawRect(cell);
  const double r = std::min(cell.width(), cell.height()) * 0.32;
  const QPointF centre = cell.center();
  painter.setBrush(Shaded(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), Qt::Vertical, ink::kChrome));
  painter.drawEllipse(centre, r, r);
  painter.drawLine(centre + QPointF(-r * 0.7, r * 0.7), centre + QPointF(r * 0.7, -r * 0.7));
}

void Led(QPainter& painter, QPointF centre, double radius, const QColor& colour, bool lit) {
  Saved saved(painter);
  if (lit) {
    QRadialGradient glow(centre, radius * 2.4);
    QColor halo = colour;
    halo.setAlpha(150);
    glow.setColorAt(0.0, halo);
    halo.setAlpha(0);
    glow.setColorAt(1.0, halo);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius * 2.4, radius * 2.4);
  }
  OutlinePen(painter, 0.9);
  painter.setBrush(lit ? colour.lighter(135) : colour.darker(220));
  painter.drawEllipse(centre, radius, radius);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, lit ? 190 : 80));
  painter.drawEllipse(centre + QPointF(-radius * 0.35, -radius * 0.35), radius * 0.35, radius * 0.35);
}

void Jack(QPainter& painter, QPointF centre, double radius, const QColor& colour) {
  Saved saved(painter);
  OutlinePen(painter, 1.0);
  painter.setBrush(Shaded(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), Qt::Vertical, colour));
  painter.drawEllipse(centre, radius, radius);
  painter.setBrush(ink::kChrome);
  painter.drawEllipse(centre, radius * 0.55, radius * 0.55);
  painter.setBrush(ink::kRubber);
  painter.drawEllipse(centre, radius * 0.3, radius * 0.3);
}

void UsbSocket(QPainter& painter, const QRectF& box) {
  Saved saved(painter);
  OutlinePen(painter, 1.0);
  painter.setBrush(Shaded(box, Qt::Horizontal, ink::kChrome));
  painter.drawRoundedRect(box, 1.5, 1.5);
  // The type-B opening: a square with two bevelled corners.
  const QRectF hole = box.adjusted(box.width() * 0.18, box.height() * 0.18, -box.width() * 0.18, -box.height() * 0.18);
  const double bevel = hole.width() * 0.25;
  QPolygonF opening;
  opening << QPointF(hole.left() + bevel, hole.top()) << QPointF(hole.right() - bevel, hole.top())
          << QPointF(hole.right(), hole.top() + bevel) << hole.bottomRight() << hole.bottomLeft()
          << QPointF(hole.left(), hole.top() + bevel);
  painter.setBrush(ink::kRubber);
  painter.drawPolygon(opening);
  painter.setBrush(Qt::white);
  painter.drawRect(hole.adjusted(hole.width() * 0.3, hole.height() * 0.3, -hole.width() * 0.3, -hole.height() * 0.25));
}

void Workpiece(QPainter& painter, const QRectF& box, const QColor& colour) {
  Saved saved(painter);
  OutlinePen(painter, 1.1);
  const double ry = std::min(box.height() * 0.25, 5.0);
  QPainterPath side;
  side.moveTo(box.left(), box.top() + ry);
  side.lineTo(box.left(), box.bottom() - ry);
  side.arcTo(QRectF(box.left(), box.bottom() - 2 * ry, box.width(), 2 * ry), 180, 180);
  side.lineTo(box.right(), box.top() + ry);
  side.closeSubpath();
  painter.setBrush(Shaded(box, Qt::Vertical, colour));
  painter.drawPath(side);
  painter.setBrush(colour.lighter(125));
  painter.drawEllipse(QRectF(box.left(), box.top(), box.width(), 2 * ry));
}

void Profile(QPainter& painter, const QRectF& box, Qt::Orientation axis) {
  Saved saved(painter);
  OutlinePen(painter, 1.1);
  painter.setBrush(Shaded(box, axis, ink::kAluminium));
  painter.drawRect(box);
  // The T-slots along the profile.
  painter.setPen(QPen(ink::kAluminium.darker(140), 1.0));
  if (axis == Qt::Horizontal) {
    for (const double f : {0.33, 0.67}) painter.drawLine(QPointF(box.left() + 2, box.top() + box.height() * f),
                                                          QPointF(box.right() - 2, box.top() + box.height() * f));
  } else {
    for (const double f : {0.33, 0.67}) painter.drawLine(QPointF(box.left() + box.width() * f, box.top() + 2),
                                                          QPointF(box.left() + box.width() * f, box.bottom() - 2));
  }
}

void Coil(QPainter& painter, const QRectF& box, Qt::Orientation axis) {
  Saved saved(painter);
  OutlinePen(painter, 1.0);
  painter.setBrush(ink::kCopper);
  painter.drawRoundedRect(box, 2, 2);
  painter.setPen(QPen(ink::kCopper.darker(150), 0.9));
  if (axis == Qt::Vertical) {
    for (double y = box.top() + 3; y < box.bottom() - 1; y += 3) painter.drawLine(QPointF(box.left() + 1, y), QPointF(box.right() - 1, y - 1.5));
  } else {
    for (double x = box.left() + 3; x < box.right() - 1; x += 3) painter.drawLine(QPointF(x, box.top() + 1), QPointF(x - 1.5, box.bottom() - 1));
  }
}

void Relay(QPainter& painter, const QRectF& box) {
  Saved saved(painter);
  OutlinePen(painter);
  // Socket, then the transparent cover with the coil and the contact inside.
  const QRectF socket(box.left() - 4, box.bottom() - box.height() * 0.22, box.width() + 8, box.height() * 0.22);
  painter.setBrush(ink::kAnthracite);
  painter.drawRect(socket);
  const QRectF cover(box.left(), box.top(), box.width(), box.height() * 0.78);
  QColor glass(0x9F, 0xC8, 0xEA);
  painter.setBrush(glass);
  painter.drawRoundedRect(cover, 3, 3);
  const QRectF coil(cover.left() + cover.width() * 0.12, cover.top() + cover.height() * 0.35, cover.width() * 0.35,
                    cover.height() * 0.5);
  Coil(painter, coil, Qt::Vertical);
  OutlinePen(painter, 1.2);
  const QPointF pivot(cover.left() + cover.width() * 0.6, cover.bottom() - 4);
  painter.drawLine(pivot, pivot + QPointF(cover.width() * 0.28, -cover.height() * 0.55));
  painter.setBrush(ink::kCopper.lighter(120));
  painter.drawEllipse(pivot + QPointF(cover.width() * 0.28, -cover.height() * 0.55), 2, 2);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 120));
  painter.drawRect(QRectF(cover.left() + 3, cover.top() + 3, 3, cover.height() - 6));
}

void Hose(QPainter& painter, const QPainterPath& path, const QColor& colour, double width) {
  Saved saved(painter);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(colour.darker(160), width + 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
  painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
}

void SolenoidValve(QPainter& painter, const QRectF& body, bool bistable, bool energised) {
  Saved saved(painter);
  OutlinePen(painter, 1.2);
  const double coilWidth = body.height() * 1.1;
  auto solenoid = [&](double left, bool lit) {
    const QRectF coil(left, body.top() - 3, coilWidth, body.height() + 6);
    painter.setBrush(Shaded(coil, Qt::Horizontal, ink::kRubber.lighter(140)));
    painter.drawRoundedRect(coil, 2, 2);
    // The plug with its LED on top of the coil.
    const QRectF plug(left + coilWidth * 0.15, body.top() - 12, coilWidth * 0.7, 10);
    painter.setBrush(ink::kSteel);
    painter.drawRoundedRect(plug, 1.5, 1.5);
    Led(painter, plug.center(), 2, ink::kYellow, lit);
  };
  painter.setBrush(Shaded(body, Qt::Horizontal, ink::kAluminium));
  painter.drawRect(body);
  solenoid(body.left() - coilWidth, energised);
  if (bistable) {
    solenoid(body.right(), false);
  } else {
    const QRectF cap(body.right(), body.top() + 2, coilWidth * 0.45, body.height() - 4);
    painter.setBrush(Shaded(cap, Qt::Horizontal, ink::kAluminium.darker(110)));
    painter.drawRoundedRect(cap, 2, 2);
  }
  // Working ports 4 and 2 on top, with their push-in fittings.
  for (const double f : {0.3, 0.7}) {
    const double x = body.left() + body.width() * f;
    painter.setBrush(ink::kChrome);
    painter.drawRect(QRectF(x - 4, body.top() - 6, 8, 6));
    painter.setBrush(ink::kAir);
    painter.drawRect(QRectF(x - 5, body.top() - 9, 10, 3));
  }
  // Manual override.
  painter.setBrush(ink::kYellow);
  painter.drawEllipse(QPointF(body.left() + body.width() * 0.5, body.center().y()), 3, 3);
}

namespace {

void Arrow(QPainter& painter, QPointF from, QPointF to) {
  painter.drawLine(from, to);
  const QPointF d = to - from;
  const double length = std::hypot(d.x(), d.y());
  if (length <= 0) return;
  const QPointF u = d / length;
  const QPointF n(-u.y(), u.x());
  QPolygonF head;
  head << to << to - u * 7 + n * 3 << to - u * 7 - n * 3;
  painter.drawPolygon(head);
}

}  // namespace

void ValveSymbol42(QPainter& painter, QPointF topLeft, double cell, bool bistable, bool leftActive) {
  Saved saved(painter);
  painter.setPen(QPen(Qt::black, 1.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  const QRectF left(topLeft, QSizeF(cell, cell));
  const QRectF right = left.translated(cell, 0);
  painter.setBrush(Qt::white);
  painter.drawRect(left);
  painter.drawRect(right);
  painter.setBrush(Qt::black);
  const double a = cell * 0.25;
  const double b = cell * 0.75;
  // Left square: 1 to 2 and 4 to 3 crossed; right square: 1 to 4 and 2 to 3.
  Arrow(painter, left.topLeft() + QPointF(a, cell), left.topLeft() + QPointF(b, 0));
  Arrow(painter, left.topLeft() + QPointF(a, 0), left.topLeft() + QPointF(b, cell));
  Arrow(painter, right.topLeft() + QPointF(a, cell), right.topLeft() + QPointF(a, 0));
  Arrow(painter, right.topLeft() + QPointF(b, 0), right.topLeft() + QPointF(b, cell));

  // Ports on the square that is connected.
  const QRectF active = leftActive ? left : right;
  for (const double x : {a, b}) {
    painter.drawLine(active.topLeft() + QPointF(x, 0), active.topLeft() + QPointF(x, -cell * 0.3));
    painter.drawLine(active.topLeft() + QPointF(x, cell), active.topLeft() + QPointF(x, cell * 1.3));
  }
  // Exhaust: an open triangle under port 3.
  const QPointF exhaust = active.topLeft() + QPointF(b, cell * 1.3);
  QPolygonF triangle;
  triangle << exhaust + QPointF(-4, 0) << exhaust + QPointF(4, 0) << exhaust + QPointF(0, 6);
  painter.setBrush(Qt::white);
  painter.drawPolygon(triangle);

  auto solenoid = [&](const QRectF& square, bool atLeft) {
    const double w = cell * 0.3;
    const QRectF box(atLeft ? square.left() - w : square.right(), square.top() + cell * 0.25, w, cell * 0.5);
    painter.setBrush(Qt::white);
    painter.drawRect(box);
    painter.drawLine(atLeft ? box.bottomLeft() : box.topLeft(), atLeft ? box.topRight() : box.bottomRight());
  };
  solenoid(left, true);
  if (bistable) {
    solenoid(right, false);
  } else {
    QPolygonF spring;
    const double x0 = right.right();
    for (int i = 0; i <= 6; ++i) {
      spring << QPointF(x0 + i * cell * 0.06, right.center().y() + (i % 2 ? -cell * 0.2 : cell * 0.2));
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(spring);
  }
}

void Block(QPainter& painter, const QRectF& box, const QColor& colour, double radius) {
  painter.save();
  OutlinePen(painter);
  painter.setBrush(colour);
  painter.drawRoundedRect(box, radius, radius);
  painter.restore();
}

void LightBeam(QPainter& painter, QPointF from, QPointF to) {
  painter.save();
  painter.setPen(QPen(ink::kRed, 1.6, Qt::DashLine, Qt::RoundCap));
  painter.drawLine(from, to);
  painter.restore();
}

void PlaceCylinder(QPainter& painter, QPointF origin, double angle, const CylinderShape& shape) {
  painter.save();
  painter.translate(origin);
  painter.rotate(angle);
  Cylinder(painter, shape);
  painter.restore();
}

void PlaceGuided(QPainter& painter, QPointF origin, double angle, const GuidedShape& shape) {
  painter.save();
  painter.translate(origin);
  painter.rotate(angle);
  GuidedCylinder(painter, shape);
  painter.restore();
}

void PlaceSlotSensor(QPainter& painter, QPointF centre, double angle, bool lit) {
  painter.save();
  painter.translate(centre);
  painter.rotate(angle);
  SlotSensor(painter, QPointF(0, 0), lit, 90);
  painter.restore();
}

void CylinderSymbol(QPainter& painter, const QRectF& bore, bool doubleActing, double pistonFraction) {
  Saved saved(painter);
  painter.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter.setBrush(Qt::white);
  painter.drawRect(bore);
  const double pistonX = bore.left() + 6 + (bore.width() - 16) * pistonFraction;
  const double midY = bore.center().y();
  painter.setBrush(Qt::black);
  painter.drawRect(QRectF(pistonX, bore.top(), 4, bore.height()));
  // The rod runs from the piston out through the right-hand end.
  const double rodEnd = pistonX + bore.width() + 10;
  painter.setPen(QPen(Qt::black, 4.0, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(QPointF(pistonX + 4, midY), QPointF(rodEnd, midY));
  painter.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  if (!doubleActing) {
    // Return spring on the rod side.
    QPolygonF spring;
    const double start = pistonX + 6;
    const double end = bore.right() - 2;
    const int zigs = 7;
    for (int i = 0; i <= zigs; ++i) {
      const double x = start + (end - start) * i / zigs;
      const double y = i == 0 || i == zigs ? midY : (i % 2 ? bore.top() + 3 : bore.bottom() - 3);
      spring << QPointF(x, y);
    }
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(spring);
  }
  // Ports: short lines from the cylinder ends downwards.
  const double portLength = bore.height() * 0.45;
  painter.drawLine(QPointF(bore.left() + 4, bore.bottom()), QPointF(bore.left() + 4, bore.bottom() + portLength));
  if (doubleActing) {
    painter.drawLine(QPointF(bore.right() - 4, bore.bottom()), QPointF(bore.right() - 4, bore.bottom() + portLength));
  }
}

}  // namespace brimlink::artwork
