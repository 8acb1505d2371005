// The picture of the "About" frame: a round blue information badge with a
// white "i", so that it reads as something to click for the program's
// version. The letter is drawn as shapes, not from a font, so the picture is
// the same wherever it is made.
#include <QLinearGradient>
#include <QPainterPath>

#include "tools/artwork/Drawing.h"
#include "tools/artwork/Pictures.h"

namespace brimlink::artwork {

void DrawAboutBadge(QPainter& painter) {
  const QSizeF size = kAboutPicture;
  const QPointF centre(size.width() / 2, size.height() / 2);
  const double radius = size.width() * 0.42;

  painter.save();
  // A soft shadow below and to the right, as of a button standing out.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 0, 0, 50));
  painter.drawEllipse(centre + QPointF(1.5, 2.5), radius, radius);

  QLinearGradient face(centre - QPointF(0, radius), centre + QPointF(0, radius));
  face.setColorAt(0.0, ink::kBlue.lighter(140));
  face.setColorAt(1.0, ink::kBlue.darker(120));
  painter.setPen(QPen(ink::kTitle, 2));
  painter.setBrush(face);
  painter.drawEllipse(centre, radius, radius);
  painter.setPen(QPen(QColor(255, 255, 255, 170), 1.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(centre, radius - 3, radius - 3);

  // The "i": a dot over a stem with a foot.
  const double unit = radius / 10;
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(QPointF(centre.x(), centre.y() - 5.2 * unit), 1.7 * unit, 1.7 * unit);
  QPainterPath stem;
  stem.addRoundedRect(QRectF(centre.x() - 1.5 * unit, centre.y() - 2.4 * unit, 3 * unit, 8.4 * unit), 0.6 * unit,
                      0.6 * unit);
  stem.addRoundedRect(QRectF(centre.x() - 3.2 * unit, centre.y() - 2.4 * unit, 2.4 * unit, 1.6 * unit), 0.4 * unit,
                      0.4 * unit);
  stem.addRoundedRect(QRectF(centre.x() - 3.4 * unit, centre.y() + 4.6 * unit, 6.8 * unit, 1.6 * unit), 0.5 * unit,
                      0.5 * unit);
  stem.setFillRule(Qt::WindingFill);
  painter.drawPath(stem.simplified());
  painter.restore();
}

}  // namespace brimlink::artwork
