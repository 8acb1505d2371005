// Component figures: one part with its pneumatic or electrical symbol.
#include <QPolygonF>
#include <algorithm>
#include <tuple>
#include <utility>

#include "tools/artwork/Drawing.h"
#include "tools/artwork/Pictures.h"

namespace brimlink::artwork {

namespace {

// A compact cylinder above its symbol, the rod out when `actuated`.
void CompactCylinderFigure(QPainter& painter, bool actuated) {
  const double width = kComponentFigure.width();
  Title(painter, width, QStringLiteral("Dubbelwerkende cilinder ADN"));

  CylinderShape shape;
  shape.bodyLength = 110;
  shape.bodyHeight = 62;
  shape.rodLength = actuated ? 86 : 16;
  shape.rodThickness = 14;
  shape.squareProfile = true;
  painter.save();
  painter.translate(34, 104);
  Cylinder(painter, shape);
  painter.restore();

  // Supply hoses into both ports; the one that drives the piston is marked.
  QPainterPath rear;
  rear.moveTo(39, 64);
  rear.cubicTo(39, 48, 20, 50, 14, 44);
  Hose(painter, rear, actuated ? ink::kAir : ink::kAir.lighter(140), 4);
  QPainterPath front;
  front.moveTo(139, 64);
  front.cubicTo(139, 48, 160, 50, 170, 44);
  Hose(painter, front, actuated ? ink::kAir.lighter(140) : ink::kAir, 4);

  const QRectF bore(40, 196, 110, 30);
  CylinderSymbol(painter, bore, true, actuated ? 1.0 : 0.0);
  painter.save();
  // Air in at the port that drives the piston.
  const double portX = actuated ? bore.left() + 4 : bore.right() - 4;
  painter.setPen(QPen(ink::kAir, 2));
  painter.setBrush(ink::kAir);
  QPolygonF arrow;
  arrow << QPointF(portX, bore.bottom() + 2) << QPointF(portX - 5, bore.bottom() + 10)
        << QPointF(portX + 5, bore.bottom() + 10);
  painter.drawPolygon(arrow);
  painter.restore();
  Callout(painter, QPointF(actuated ? 22 : 162, 50), QPointF(actuated ? 64 : 120, 50), QStringLiteral("Lucht in"));
  Callout(painter, QPointF(actuated ? 200 : 152, 104), QPointF(actuated ? 175 : 190, 156), QStringLiteral("Zuigerstang"));
  Text(painter, QRectF(10, 252, width - 20, 16), Qt::AlignCenter,
       actuated ? QStringLiteral("Zuigerstang uit (bediend)") : QStringLiteral("Zuigerstang in"), 11, false,
       ink::kAnthracite);
  Text(painter, QRectF(10, 268, width - 20, 18), Qt::AlignCenter, QStringLiteral("Dubbelwerkende cilinder ADN"), 12,
       true, ink::kTitle);
}

// ---- Shared layout of a component figure ----------------------------------

// The part fills the band from y = 40 to 184; its symbol sits in the band
// below the dashed line; the bottom lines say what it does.
constexpr double kSymbolTop = 196;

void FigureFrame(QPainter& painter, const QString& title, const QString& note, const QString& name) {
  const double width = kComponentFigure.width();
  Title(painter, width, title);
  painter.save();
  painter.setPen(QPen(ink::kSteel, 1, Qt::DashLine));
  painter.drawLine(QPointF(12, 188), QPointF(width - 12, 188));
  painter.restore();
  Text(painter, QRectF(12, 190, 80, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Symbool"), 10, true,
       ink::kSteel.darker(130));
  Text(painter, QRectF(10, 252, width - 20, 16), Qt::AlignCenter, note, 11, false, ink::kAnthracite);
  Text(painter, QRectF(10, 268, width - 20, 18), Qt::AlignCenter, name, 12, true, ink::kTitle);
}

QPen SymbolPen(double width = 1.6) { return QPen(Qt::black, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin); }

// The electrical symbol of a proximity switch: a normally open contact with
// the sensor's box and rhombus on its operating line. `mark` draws what the
// switch reacts to inside the box.
void ProximitySymbol(QPainter& painter, QPointF topLeft, void (*mark)(QPainter&, const QRectF&)) {
  painter.save();
  painter.setPen(SymbolPen());
  painter.setBrush(Qt::white);
  // Contact: terminals left and right, the blade lifted.
  const double y = topLeft.y() + 34;
  const double x = topLeft.x();
  painter.drawLine(QPointF(x, y), QPointF(x + 40, y));
  painter.drawLine(QPointF(x + 40, y), QPointF(x + 74, y - 14));
  painter.drawLine(QPointF(x + 76, y), QPointF(x + 116, y));
  // The dashed operating line from the blade up to the sensor box.
  painter.setPen(QPen(Qt::black, 1.2, Qt::DashLine));
  painter.drawLine(QPointF(x + 58, y - 8), QPointF(x + 58, topLeft.y() + 18));
  painter.setPen(SymbolPen());
  const QRectF box(x + 40, topLeft.y() - 4, 36, 22);
  painter.drawRect(box);
  QPolygonF rhombus;
  const QPointF c = box.center();
  rhombus << c + QPointF(-9, 0) << c + QPointF(0, -7) << c + QPointF(9, 0) << c + QPointF(0, 7);
  painter.drawPolygon(rhombus);
  painter.restore();
  if (mark != nullptr) mark(painter, QRectF(box.right() + 6, box.top(), 40, box.height()));
}

void MagnetMark(QPainter& painter, const QRectF& box) {
  painter.save();
  painter.setPen(SymbolPen(1.2));
  painter.setBrush(ink::kRed);
  painter.drawRect(QRectF(box.left(), box.top() + 4, 12, 14));
  painter.setBrush(ink::kBlue);
  painter.drawRect(QRectF(box.left() + 12, box.top() + 4, 12, 14));
  painter.restore();
  Text(painter, QRectF(box.left(), box.top() + 4, 12, 14), Qt::AlignCenter, QStringLiteral("N"), 9, true, Qt::white);
  Text(painter, QRectF(box.left() + 12, box.top() + 4, 12, 14), Qt::AlignCenter, QStringLiteral("Z"), 9, true,
       Qt::white);
}

void MetalMark(QPainter& painter, const QRectF& box) {
  Text(painter, QRectF(box.left(), box.top(), 40, box.height()), Qt::AlignLeft | Qt::AlignVCenter,
       QStringLiteral("Fe"), 13, true, Qt::black);
}

void LightMark(QPainter& painter, const QRectF& box) {
  painter.save();
  painter.setPen(SymbolPen(1.2));
  painter.setBrush(Qt::black);
  for (const double dy : {4.0, 12.0}) {
    const QPointF from(box.left() + 22, box.top() + dy - 4);
    const QPointF to(box.left() + 4, box.top() + dy + 6);
    painter.drawLine(from, to);
    QPolygonF head;
    head << to << to + QPointF(6, -1) << to + QPointF(2, -6);
    painter.drawPolygon(head);
  }
  painter.restore();
}

// The coil of a relay or solenoid: a rectangle with A1 above and A2 below.
void CoilSymbol(QPainter& painter, const QRectF& box, bool solenoidActuator) {
  painter.save();
  painter.setPen(SymbolPen());
  painter.setBrush(Qt::white);
  painter.drawLine(QPointF(box.center().x(), box.top() - 10), QPointF(box.center().x(), box.top()));
  painter.drawLine(QPointF(box.center().x(), box.bottom()), QPointF(box.center().x(), box.bottom() + 10));
  painter.drawRect(box);
  if (solenoidActuator) painter.drawLine(box.bottomLeft() + QPointF(4, -3), box.topRight() + QPointF(-4, 3));
  painter.restore();
  Text(painter, QRectF(box.left() - 26, box.top() - 12, 22, 12), Qt::AlignRight | Qt::AlignVCenter,
       QStringLiteral("A1"), 9, false, Qt::black);
  Text(painter, QRectF(box.left() - 26, box.bottom(), 22, 12), Qt::AlignRight | Qt::AlignVCenter,
       QStringLiteral("A2"), 9, false, Qt::black);
}

// ---- Cylinders ------------------------------------------------------------

// A round cylinder with a cut-away window that shows the piston, and for a
// single-acting cylinder the return spring in front of it.
void RoundCylinderFigure(QPainter& painter, bool doubleActing) {
  CylinderShape shape;
  shape.bodyLength = 150;
  shape.bodyHeight = 48;
  shape.rodLength = 52;
  shape.rodThickness = 12;
  shape.ports = false;
  const QPointF origin(30, 120);
  PlaceCylinder(painter, origin, 0, shape);

  painter.save();
  painter.translate(origin);
  OutlinePen(painter, 1.2);
  const QRectF window(22, -16, 106, 32);
  painter.setBrush(QColor(0xEE, 0xF2, 0xF7));
  painter.drawRoundedRect(window, 3, 3);
  const double pistonX = 54;
  if (!doubleActing) {
    QPolygonF spring;
    for (int i = 0; i <= 12; ++i) {
      spring << QPointF(pistonX + 10 + i * (window.right() - pistonX - 12) / 12.0, i % 2 ? -13 : 13);
    }
    painter.setPen(QPen(ink::kSteel.darker(140), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(spring);
    OutlinePen(painter, 1.2);
  }
  painter.setBrush(Shaded(QRectF(pistonX, -6, window.right() - pistonX + 30, 12), Qt::Horizontal, ink::kChrome));
  painter.drawRect(QRectF(pistonX + 8, -5, window.right() - pistonX - 6, 10));
  painter.setBrush(ink::kAnthracite);
  painter.drawRect(QRectF(pistonX, -15, 10, 30));
  // Pressure in the chamber behind the piston.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(ink::kAir.red(), ink::kAir.green(), ink::kAir.blue(), 70));
  painter.drawRect(QRectF(window.left() + 1, -15, pistonX - window.left() - 1, 30));
  painter.restore();

  // Ports: the rear one always, the front one only when the air returns the piston.
  auto port = [&](double x, double bend) {
    painter.save();
    OutlinePen(painter);
    painter.setBrush(Shaded(QRectF(x - 4, 89, 8, 7), Qt::Vertical, ink::kChrome));
    painter.drawRect(QRectF(x - 4, 89, 8, 7));
    painter.restore();
    QPainterPath hose;
    hose.moveTo(x, 90);
    hose.cubicTo(x, 70, x + bend, 66, x + bend * 1.4, 56);
    Hose(painter, hose, ink::kAir, 4);
  };
  port(origin.x() + 7, -14);
  if (doubleActing) {
    port(origin.x() + 143, 14);
  } else {
    // The front cap breathes through a small vent.
    painter.save();
    OutlinePen(painter);
    painter.setBrush(ink::kAnthracite);
    painter.drawRect(QRectF(origin.x() + 139, 90, 8, 6));
    painter.restore();
  }
  Callout(painter, QPointF(origin.x() + 59, 120), QPointF(96, 66), QStringLiteral("Zuiger"));
  if (doubleActing) {
    Callout(painter, QPointF(origin.x() + 185, 120), QPointF(214, 162), QStringLiteral("Zuigerstang"));
    Callout(painter, QPointF(origin.x() + 7, 93), QPointF(24, 170), QStringLiteral("Lucht in of uit"));
  } else {
    Callout(painter, QPointF(origin.x() + 112, 110), QPointF(208, 70), QStringLiteral("Veer"));
    Callout(painter, QPointF(origin.x() + 185, 120), QPointF(214, 162), QStringLiteral("Zuigerstang"));
    Callout(painter, QPointF(origin.x() + 7, 93), QPointF(24, 170), QStringLiteral("Lucht in"));
  }

  const QRectF bore(70, kSymbolTop + 6, 110, 28);
  CylinderSymbol(painter, bore, doubleActing, 0.3);
}

}  // namespace

void DrawCompactCylinderActuated(QPainter& painter) { CompactCylinderFigure(painter, true); }

void DrawDoubleActingCylinder(QPainter& painter) {
  RoundCylinderFigure(painter, true);
  FigureFrame(painter, QStringLiteral("Dubbelwerkende cilinder"),
              QStringLiteral("Perslucht duwt de zuiger heen en terug"), QStringLiteral("Dubbelwerkende cilinder"));
}

void DrawSingleActingCylinder(QPainter& painter) {
  RoundCylinderFigure(painter, false);
  FigureFrame(painter, QStringLiteral("Enkelwerkende cilinder"),
              QStringLiteral("Perslucht duwt uit, de veer duwt terug"), QStringLiteral("Enkelwerkende cilinder"));
}

void DrawCompactCylinder(QPainter& painter) { CompactCylinderFigure(painter, false); }

// ---- Valves ---------------------------------------------------------------

namespace {

void ValveFigure(QPainter& painter, bool bistable) {
  // Sub-base with ports 1, 3 and 5, the valve on it, hoses to the cylinder.
  Block(painter, QRectF(60, 150, 170, 18), ink::kAnthracite.lighter(160), 2);
  const QRectF body(94, 112, 102, 36);
  SolenoidValve(painter, body, bistable, true);
  for (const double f : {0.3, 0.7}) {
    QPainterPath hose;
    const double x = body.left() + body.width() * f;
    hose.moveTo(x, body.top() - 9);
    hose.cubicTo(x, 60, x + (f < 0.5 ? -30 : 30), 66, x + (f < 0.5 ? -44 : 44), 50);
    Hose(painter, hose, ink::kAir, 4);
  }
  Text(painter, QRectF(body.left() + body.width() * 0.3 - 22, 82, 18, 14), Qt::AlignCenter, QStringLiteral("4"), 11,
       true, ink::kTitle);
  Text(painter, QRectF(body.left() + body.width() * 0.7 + 4, 82, 18, 14), Qt::AlignCenter, QStringLiteral("2"), 11,
       true, ink::kTitle);
  Callout(painter, QPointF(body.left() - 20, body.top() - 4), QPointF(20, 66),
          bistable ? QStringLiteral("Spoel 14") : QStringLiteral("Magneetspoel"));
  if (bistable) {
    Callout(painter, QPointF(body.right() + 20, body.top() - 4), QPointF(270, 66), QStringLiteral("Spoel 12"));
  } else {
    Callout(painter, QPointF(body.right() + 8, body.center().y()), QPointF(270, 66), QStringLiteral("Veer"));
  }
  Callout(painter, QPointF(body.center().x(), body.center().y()), QPointF(20, 176), QStringLiteral("Handbediening"));
  Callout(painter, QPointF(200, 159), QPointF(244, 176), QStringLiteral("Perslucht 1"));

  ValveSymbol42(painter, QPointF(117, kSymbolTop + 10), 28, bistable, true);
}

}  // namespace

void DrawValveMonostable(QPainter& painter) {
  ValveFigure(painter, false);
  FigureFrame(painter, QStringLiteral("4/2 Ventiel monostabiel"),
              QStringLiteral("Stroom weg: de veer zet het ventiel terug"), QStringLiteral("4/2 magneetventiel, monostabiel"));
}

void DrawValveBistable(QPainter& painter) {
  ValveFigure(painter, true);
  FigureFrame(painter, QStringLiteral("4/2 Ventiel bistabiel"),
              QStringLiteral("Blijft staan tot de andere spoel schakelt"), QStringLiteral("4/2 magneetventiel, bistabiel"));
}

// ---- Gripper --------------------------------------------------------------

namespace {

// A parallel gripper from the front: the body, two jaws closed on a part.
void GripperPart(QPainter& painter, QPointF top, double opening) {
  painter.save();
  OutlinePen(painter);
  const QRectF body(top.x() - 50, top.y(), 100, 44);
  painter.setBrush(Shaded(body, Qt::Vertical, QColor(0x4F, 0x7F, 0xC0)));
  painter.drawRoundedRect(body, 4, 4);
  painter.setBrush(ink::kChrome);
  painter.drawRect(QRectF(body.left() + 8, body.bottom() - 8, body.width() - 16, 8));
  painter.setBrush(ink::kSteel);
  for (const double side : {-1.0, 1.0}) {
    const double inner = top.x() + side * opening;
    const double outer = inner + side * 18;
    QPolygonF jaw;
    jaw << QPointF(std::min(inner, outer), body.bottom()) << QPointF(std::max(inner, outer), body.bottom())
        << QPointF(std::max(inner, outer), body.bottom() + 62) << QPointF(side < 0 ? outer : inner + 3, body.bottom() + 70)
        << QPointF(std::min(inner, outer) + (side < 0 ? 0 : 0), body.bottom() + 70);
    painter.drawPolygon(jaw);
  }
  // Ports on top.
  for (const double dx : {-22.0, 22.0}) {
    painter.setBrush(ink::kChrome);
    painter.drawRect(QRectF(top.x() + dx - 4, top.y() - 7, 8, 7));
    painter.setBrush(ink::kAir);
    painter.drawRect(QRectF(top.x() + dx - 5, top.y() - 10, 10, 3));
  }
  painter.restore();
}

}  // namespace

void DrawGripper(QPainter& painter) {
  QPainterPath hoseA;
  hoseA.moveTo(123, 56);
  hoseA.cubicTo(123, 44, 100, 44, 80, 42);
  Hose(painter, hoseA, ink::kAir, 4);
  QPainterPath hoseB;
  hoseB.moveTo(167, 56);
  hoseB.cubicTo(167, 44, 190, 44, 210, 42);
  Hose(painter, hoseB, ink::kAir, 4);
  GripperPart(painter, QPointF(145, 66), 24);
  Workpiece(painter, QRectF(121, 146, 48, 30), QColor(0xC6, 0x3A, 0x32));
  Callout(painter, QPointF(160, 90), QPointF(230, 86), QStringLiteral("Grijper"));
  Callout(painter, QPointF(181, 150), QPointF(230, 140), QStringLiteral("Grijpvinger"));
  Callout(painter, QPointF(130, 160), QPointF(60, 150), QStringLiteral("Product"));

  // Symbol: the gripper's cylinder with the two jaws moving together.
  painter.save();
  painter.setPen(SymbolPen());
  painter.setBrush(Qt::white);
  const QRectF housing(95, kSymbolTop + 8, 100, 26);
  painter.drawRect(housing);
  painter.drawLine(QPointF(housing.left() + 10, housing.bottom()), QPointF(housing.left() + 10, housing.bottom() + 12));
  painter.drawLine(QPointF(housing.right() - 10, housing.bottom()),
                   QPointF(housing.right() - 10, housing.bottom() + 12));
  for (const double side : {-1.0, 1.0}) {
    const double x = housing.center().x() + side * 14;
    painter.drawLine(QPointF(x, housing.top()), QPointF(x, housing.top() - 8));
    painter.drawLine(QPointF(x, housing.top() - 8), QPointF(x - side * 8, housing.top() - 8));
    painter.drawLine(QPointF(housing.center().x() + side * 36, housing.center().y()),
                     QPointF(housing.center().x() + side * 20, housing.center().y()));
    QPolygonF head;
    const QPointF tip(housing.center().x() + side * 20, housing.center().y());
    head << tip << tip + QPointF(side * 6, -3) << tip + QPointF(side * 6, 3);
    painter.setBrush(Qt::black);
    painter.drawPolygon(head);
    painter.setBrush(Qt::white);
  }
  painter.restore();
  FigureFrame(painter, QStringLiteral("Grijper"), QStringLiteral("Perslucht sluit de vingers om het product"),
              QStringLiteral("Pneumatische parallelgrijper"));
}

// ---- Sensors --------------------------------------------------------------

void DrawMagneticSensor(QPainter& painter) {
  CylinderShape shape;
  shape.bodyLength = 170;
  shape.bodyHeight = 46;
  shape.rodLength = 50;
  shape.rodThickness = 12;
  shape.squareProfile = true;
  const QPointF origin(20, 108);
  PlaceCylinder(painter, origin, 0, shape);
  // The magnet ring in the piston, seen through the wall, under the sensor.
  painter.save();
  painter.setPen(QPen(ink::kOutline, 1, Qt::DashLine));
  painter.setBrush(QColor(0xEE, 0xF2, 0xF7, 200));
  painter.drawRect(QRectF(origin.x() + 98, origin.y() - 18, 22, 36));
  painter.setPen(Qt::NoPen);
  painter.setBrush(ink::kRed);
  painter.drawRect(QRectF(origin.x() + 101, origin.y() - 16, 8, 32));
  painter.setBrush(ink::kBlue);
  painter.drawRect(QRectF(origin.x() + 109, origin.y() - 16, 8, 32));
  painter.restore();
  // Field lines from the magnet to the sensor.
  painter.save();
  painter.setPen(QPen(ink::kRed.lighter(130), 1, Qt::DotLine));
  painter.setBrush(Qt::NoBrush);
  for (const double r : {14.0, 22.0}) painter.drawEllipse(QPointF(origin.x() + 109, origin.y() + 24), r, r * 0.6);
  painter.restore();
  PlaceSlotSensor(painter, QPointF(origin.x() + 109, origin.y() + 23), 0, true);
  Callout(painter, QPointF(origin.x() + 104, origin.y()), QPointF(60, 58), QStringLiteral("Magneet in de zuiger"));
  Callout(painter, QPointF(origin.x() + 114, origin.y() + 23), QPointF(200, 162), QStringLiteral("Sensor"));
  Callout(painter, QPointF(origin.x() + 70, origin.y() + 14), QPointF(20, 162), QStringLiteral("Sleuf"));

  ProximitySymbol(painter, QPointF(70, kSymbolTop + 8), MagnetMark);
  FigureFrame(painter, QStringLiteral("Magnetische sensor"), QStringLiteral("Schakelt als de zuiger er langs komt"),
              QStringLiteral("Magnetische eindschakelaar"));
}

void DrawInductiveSensor(QPainter& painter) {
  painter.save();
  painter.setPen(QPen(ink::kBlue.lighter(150), 1.2, Qt::DashLine));
  painter.setBrush(Qt::NoBrush);
  for (const double r : {10.0, 18.0, 26.0}) painter.drawArc(QRectF(145 - r, 128 - r * 0.7, 2 * r, 1.4 * r), 180 * 16, 180 * 16);
  painter.restore();
  Sensor(painter, QPointF(145, 124), 90, SensorKind::Inductive, 76);
  Workpiece(painter, QRectF(110, 146, 70, 34), QColor(0xBF, 0xC6, 0xCE));
  Callout(painter, QPointF(152, 80), QPointF(200, 70), QStringLiteral("Sensor M12"));
  Callout(painter, QPointF(142, 54), QPointF(40, 60), QStringLiteral("LED"));
  Callout(painter, QPointF(120, 140), QPointF(30, 120), QStringLiteral("Magnetisch veld"));
  Callout(painter, QPointF(175, 165), QPointF(210, 150), QStringLiteral("Metaal"));

  ProximitySymbol(painter, QPointF(70, kSymbolTop + 8), MetalMark);
  FigureFrame(painter, QStringLiteral("Inductieve sensor"), QStringLiteral("Ziet alleen metalen producten"),
              QStringLiteral("Inductieve naderingsschakelaar"));
}

void DrawOpticalSensor(QPainter& painter) {
  Sensor(painter, QPointF(145, 96), 90, SensorKind::Optical, 50);
  LightBeam(painter, QPointF(141, 98), QPointF(141, 140));
  LightBeam(painter, QPointF(149, 140), QPointF(149, 98));
  Workpiece(painter, QRectF(112, 140, 66, 36), QColor(0xC6, 0x3A, 0x32));
  Callout(painter, QPointF(156, 70), QPointF(200, 62), QStringLiteral("Sensor"));
  Callout(painter, QPointF(141, 120), QPointF(40, 110), QStringLiteral("Zender (rood licht)"));
  Callout(painter, QPointF(149, 126), QPointF(200, 126), QStringLiteral("Ontvanger"));
  Callout(painter, QPointF(120, 166), QPointF(40, 166), QStringLiteral("Product"));

  ProximitySymbol(painter, QPointF(70, kSymbolTop + 8), LightMark);
  FigureFrame(painter, QStringLiteral("Optische sensor"), QStringLiteral("Ziet het licht dat het product terugkaatst"),
              QStringLiteral("Reflectie lichtsensor"));
}

// ---- Conveyor drive and stopper ------------------------------------------

void DrawDcMotor(QPainter& painter) {
  CylinderShape motor;
  motor.bodyLength = 130;
  motor.bodyHeight = 70;
  motor.rodLength = 40;
  motor.rodThickness = 12;
  motor.ports = false;
  motor.body = QColor(0x3C, 0x6E, 0xB4);
  PlaceCylinder(painter, QPointF(50, 112), 0, motor);
  // Terminals with the red and black leads.
  for (const auto& [x, colour] : {std::pair{78.0, ink::kRed}, std::pair{98.0, ink::kRubber}}) {
    painter.save();
    OutlinePen(painter);
    painter.setBrush(ink::kCopper);
    painter.drawRect(QRectF(x - 4, 70, 8, 7));
    painter.restore();
    QPainterPath lead;
    lead.moveTo(x, 72);
    lead.cubicTo(x, 54, x - 30, 56, x - 44, 46);
    Hose(painter, lead, colour, 3);
  }
  Text(painter, QRectF(90, 97, 50, 30), Qt::AlignCenter, QStringLiteral("24 V"), 14, true, Qt::white);
  Callout(painter, QPointF(78, 72), QPointF(150, 58), QStringLiteral("+ en - aansluiting"));
  Callout(painter, QPointF(205, 112), QPointF(210, 160), QStringLiteral("As"));

  // Symbol: the machine circle with M and the direct-current sign.
  painter.save();
  painter.setPen(SymbolPen());
  painter.setBrush(Qt::white);
  const QPointF c(145, kSymbolTop + 26);
  painter.drawLine(c + QPointF(-60, 0), c + QPointF(-20, 0));
  painter.drawLine(c + QPointF(20, 0), c + QPointF(60, 0));
  painter.drawEllipse(c, 20, 20);
  painter.drawLine(c + QPointF(-7, 10), c + QPointF(7, 10));
  painter.setPen(QPen(Qt::black, 1.6, Qt::DashLine));
  painter.drawLine(c + QPointF(-7, 14), c + QPointF(7, 14));
  painter.restore();
  Text(painter, QRectF(c.x() - 12, c.y() - 15, 24, 20), Qt::AlignCenter, QStringLiteral("M"), 15, true, Qt::black);
  Text(painter, QRectF(c.x() - 70, c.y() - 16, 14, 14), Qt::AlignCenter, QStringLiteral("+"), 12, true, Qt::black);
  Text(painter, QRectF(c.x() + 56, c.y() - 16, 14, 14), Qt::AlignCenter, QStringLiteral("-"), 12, true, Qt::black);
  FigureFrame(painter, QStringLiteral("Gelijkstroom motor"), QStringLiteral("Draait de band vooruit of achteruit"),
              QStringLiteral("Gelijkstroommotor (DC)"));
}

void DrawRelay(QPainter& painter) {
  Block(painter, QRectF(70, 172, 150, 8), ink::kSteel);
  Relay(painter, QRectF(110, 56, 70, 118));
  Callout(painter, QPointF(124, 120), QPointF(40, 90), QStringLiteral("Spoel"));
  Callout(painter, QPointF(160, 100), QPointF(210, 80), QStringLiteral("Contact"));
  Callout(painter, QPointF(180, 160), QPointF(214, 150), QStringLiteral("Voet"));

  // Symbol: the coil, linked to a change-over contact.
  CoilSymbol(painter, QRectF(90, kSymbolTop + 14, 30, 22), false);
  painter.save();
  painter.setPen(SymbolPen());
  const double top = kSymbolTop + 4;
  painter.drawLine(QPointF(186, top + 46), QPointF(186, top + 34));  // common 11
  painter.drawLine(QPointF(186, top + 34), QPointF(172, top + 10));  // blade, resting on 12
  painter.drawLine(QPointF(172, top), QPointF(172, top + 10));
  painter.drawLine(QPointF(200, top), QPointF(200, top + 14));  // open contact 14
  painter.drawLine(QPointF(200, top + 14), QPointF(192, top + 14));
  painter.setPen(QPen(Qt::black, 1.2, Qt::DashLine));
  painter.drawLine(QPointF(120, top + 22), QPointF(179, top + 22));
  painter.restore();
  for (const auto& [x, y, label] : {std::tuple{190.0, top + 36, "11"}, std::tuple{152.0, top - 2, "12"},
                                    std::tuple{204.0, top - 2, "14"}}) {
    Text(painter, QRectF(x, y, 18, 12), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(label), 9, false,
         Qt::black);
  }
  FigureFrame(painter, QStringLiteral("Motor relais"), QStringLiteral("Een klein stroompje schakelt de motor"),
              QStringLiteral("Relais"));
}

void DrawSolenoidStopper(QPainter& painter) {
  Block(painter, QRectF(94, 44, 102, 12), ink::kSteel);
  painter.save();
  OutlinePen(painter);
  const QRectF plunger(135, 120, 20, 46);
  painter.setBrush(Shaded(plunger, Qt::Horizontal, ink::kChrome));
  painter.drawRect(plunger);
  painter.setBrush(ink::kSteel.darker(110));
  painter.drawRect(QRectF(104, 56, 82, 68));
  painter.restore();
  Coil(painter, QRectF(112, 62, 66, 56), Qt::Vertical);
  // The belt below and the product stopped against the plunger.
  painter.save();
  OutlinePen(painter);
  painter.setBrush(ink::kRubber);
  painter.drawRoundedRect(QRectF(20, 172, 250, 12), 6, 6);
  painter.restore();
  Workpiece(painter, QRectF(82, 138, 50, 34), QColor(0xC6, 0x3A, 0x32));
  QPainterPath lead;
  lead.moveTo(186, 70);
  lead.cubicTo(210, 70, 214, 48, 240, 44);
  Hose(painter, lead, ink::kRubber, 3);
  Callout(painter, QPointF(176, 90), QPointF(206, 96), QStringLiteral("Spoel"));
  Callout(painter, QPointF(150, 150), QPointF(200, 140), QStringLiteral("Plunjer"));
  Callout(painter, QPointF(100, 150), QPointF(30, 110), QStringLiteral("Product"));

  CoilSymbol(painter, QRectF(120, kSymbolTop + 14, 50, 22), true);
  FigureFrame(painter, QStringLiteral("Magneetspoel stopper"), QStringLiteral("Stroom aan: de plunjer houdt het product tegen"),
              QStringLiteral("Elektromagnetische stopper"));
}

}  // namespace brimlink::artwork
