// Component figures: one part with its pneumatic or electrical symbol.
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

}  // namespace

void DrawCompactCylinderActuated(QPainter& painter) { CompactCylinderFigure(painter, true); }

}  // namespace brimlink::artwork
