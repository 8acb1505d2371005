// The station window's lamps: the inputs first, then the outputs, each row a
// lamp and the trainer's name for it.
#include <algorithm>

#include "tools/artwork/Drawing.h"
#include "tools/artwork/StationScenes.h"

namespace brimlink::artwork {

void LampPanel(QPainter& painter, const QRectF& box, const std::vector<Lamp>& lamps) {
  painter.save();
  OutlinePen(painter, 1.0);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(box, 4, 4);
  painter.restore();

  const double rows = static_cast<double>(lamps.size()) + 2;  // and the two headings
  const double row = std::min(26.0, (box.height() - 12) / std::max(rows, 1.0));
  const double textSize = std::min(12.0, row * 0.58);
  double y = box.top() + 6;
  for (size_t i = 0; i < lamps.size(); ++i) {
    const Lamp& lamp = lamps[i];
    if (i == 0 || lamps[i - 1].input != lamp.input) {
      Text(painter, QRectF(box.left() + 8, y, box.width() - 16, row), Qt::AlignLeft | Qt::AlignVCenter,
           lamp.input ? QStringLiteral("Ingangen") : QStringLiteral("Uitgangen"), textSize, true, ink::kTitle);
      y += row;
    }
    const QColor colour = lamp.input ? ink::kInput : ink::kOutput;
    Led(painter, QPointF(box.left() + 16, y + row / 2), row * 0.24, colour, lamp.lit);
    Text(painter, QRectF(box.left() + 28, y, box.width() - 34, row), Qt::AlignLeft | Qt::AlignVCenter, lamp.label,
         textSize);
    y += row;
  }
}

}  // namespace brimlink::artwork
