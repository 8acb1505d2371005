// The three interface modules and the multi-connector I/O panel.
#include <QPolygonF>

#include "tools/artwork/Drawing.h"
#include "tools/artwork/Pictures.h"

namespace brimlink::artwork {

namespace {

const QColor kInputTerminal{0x3C, 0xA8, 0x5A};
const QColor kOutputTerminal{0xF0, 0x8A, 0x2C};
const QColor kAnalogTerminal{0x8A, 0x64, 0xC8};

// A row of plug-in screw terminals, `pitch` apart, starting at `origin`.
void TerminalRow(QPainter& painter, QPointF origin, int count, double pitch, double height, const QColor& housing) {
  for (int i = 0; i < count; ++i) ScrewTerminal(painter, QRectF(origin.x() + i * pitch, origin.y(), pitch, height), housing);
}

// Numbers 1..count centred over the cells of a row.
void NumberRow(QPainter& painter, QPointF origin, int count, double pitch, int first, const QColor& colour,
               double pixelSize = 9) {
  for (int i = 0; i < count; ++i) {
    Text(painter, QRectF(origin.x() + i * pitch, origin.y(), pitch, 11), Qt::AlignCenter, QString::number(first + i),
         pixelSize, true, colour);
  }
}

// The steel top-hat rail that the DIN modules clip onto.
void DinRail(QPainter& painter, double y, double left, double right) {
  painter.save();
  OutlinePen(painter, 1.1);
  const QRectF rail(left, y, right - left, 30);
  painter.setBrush(Shaded(rail, Qt::Horizontal, ink::kSteel.lighter(110)));
  painter.drawRect(rail);
  painter.setBrush(ink::kSteel.darker(120));
  painter.drawRect(QRectF(left, y + 5, right - left, 20));
  painter.setBrush(ink::kBackground.darker(108));
  for (double x = left + 14; x + 16 < right; x += 34) painter.drawRoundedRect(QRectF(x, y + 11, 16, 8), 4, 4);
  painter.restore();
}

// A DIN-rail housing: the outer shell and the raised front with its label.
void DinHousing(QPainter& painter, const QRectF& outer, const QRectF& front) {
  painter.save();
  OutlinePen(painter);
  painter.setBrush(ink::kHousing.darker(108));
  painter.drawRoundedRect(outer, 4, 4);
  painter.setBrush(ink::kHousing.lighter(104));
  painter.drawRoundedRect(front, 4, 4);
  painter.restore();
}

}  // namespace

void DrawBrimlinkMini(QPainter& painter) {
  const double width = kStationPhoto.width();
  Title(painter, width, QStringLiteral("Brimlink Mini"));

  // USB cable into the socket on the left side.
  QPainterPath cable;
  cable.moveTo(-5, 300);
  cable.cubicTo(20, 300, 20, 196, 52, 196);
  Hose(painter, cable, QColor(0x50, 0x55, 0x60), 5);
  painter.save();
  OutlinePen(painter);
  const QRectF plug(50, 184, 30, 24);
  painter.setBrush(Shaded(plug, Qt::Horizontal, QColor(0x60, 0x66, 0x70)));
  painter.drawRoundedRect(plug, 3, 3);
  painter.restore();

  const QRectF box(95, 110, 240, 170);
  painter.save();
  OutlinePen(painter, 1.6);
  painter.setBrush(ink::kAnthracite);
  painter.drawRoundedRect(box, 16, 16);
  painter.setBrush(ink::kAnthracite.lighter(130));
  painter.drawRoundedRect(box.adjusted(8, 14, -8, -14), 10, 10);
  painter.restore();
  UsbSocket(painter, QRectF(80, 182, 16, 28));

  const double pitch = 24;
  const double rowLeft = box.left() + (box.width() - 8 * pitch) / 2;
  TerminalRow(painter, QPointF(rowLeft, 94), 8, pitch, 22, kInputTerminal);
  TerminalRow(painter, QPointF(rowLeft, 264), 8, pitch, 22, kOutputTerminal);
  for (int i = 0; i < 8; ++i) {
    const double x = rowLeft + i * pitch + pitch / 2;
    Led(painter, QPointF(x, 140), 4, ink::kInput, i == 0 || i == 3);
    Led(painter, QPointF(x, 246), 4, ink::kYellow, i == 1 || i == 2);
  }
  NumberRow(painter, QPointF(rowLeft, 148), 8, pitch, 1, Qt::white);
  NumberRow(painter, QPointF(rowLeft, 226), 8, pitch, 1, Qt::white);

  const QRectF plate(140, 170, 150, 46);
  painter.save();
  OutlinePen(painter, 1.0);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(plate, 5, 5);
  painter.restore();
  Text(painter, plate.adjusted(0, 4, 0, -18), Qt::AlignCenter, QStringLiteral("Brimlink Mini"), 16, true, ink::kTitle);
  Text(painter, plate.adjusted(0, 26, 0, -2), Qt::AlignCenter, QStringLiteral("8 IN  •  8 OUT  •  USB"), 10, false,
       ink::kAnthracite);

  Callout(painter, QPointF(rowLeft + 8 * pitch - 4, 100), QPointF(350, 72), QStringLiteral("8 ingangen"));
  Callout(painter, QPointF(rowLeft + 7 * pitch + pitch / 2 + 4, 140), QPointF(350, 140), QStringLiteral("LED's"));
  Callout(painter, QPointF(rowLeft + 8 * pitch - 4, 280), QPointF(350, 318), QStringLiteral("8 uitgangen"));
  Callout(painter, QPointF(66, 208), QPointF(110, 338), QStringLiteral("USB-aansluiting"));
}

void DrawBrimlinkR16(QPainter& painter) {
  const double width = kStationPhoto.width();
  Title(painter, width, QStringLiteral("Brimlink R16"));
  DinRail(painter, 200, 20, 409);

  const QRectF outer(130, 92, 170, 230);
  const QRectF front(145, 100, 140, 214);
  DinHousing(painter, outer, front);
  const double pitch = 20;
  // Two tiers of eight input terminals on top, the supply at the bottom.
  NumberRow(painter, QPointF(130 + 5, 40), 8, pitch, 1, ink::kAnthracite, 8);
  TerminalRow(painter, QPointF(135, 52), 8, pitch, 20, kInputTerminal);
  TerminalRow(painter, QPointF(135, 72), 8, pitch, 20, kInputTerminal.darker(112));
  Text(painter, QRectF(96, 52, 36, 20), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("1-8"), 9, true,
       ink::kAnthracite);
  Text(painter, QRectF(96, 72, 36, 20), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("9-16"), 9, true,
       ink::kAnthracite);
  TerminalRow(painter, QPointF(175, 322), 4, pitch, 20, QColor(0x70, 0x76, 0x80));
  Text(painter, QRectF(175, 344, 40, 12), Qt::AlignCenter, QStringLiteral("+24V"), 9, true, ink::kRed);
  Text(painter, QRectF(215, 344, 40, 12), Qt::AlignCenter, QStringLiteral("0V"), 9, true, ink::kBlue);

  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 8; ++i) {
      const double x = 157 + i * 16.5;
      const double y = 118 + row * 30;
      Led(painter, QPointF(x, y), 3.6, ink::kInput, (row * 8 + i) % 5 == 0);
      Text(painter, QRectF(x - 8, y + 5, 16, 10), Qt::AlignCenter, QString::number(row * 8 + i + 1), 7, false,
           ink::kAnthracite);
    }
  }
  const QRectF plate(155, 178, 120, 52);
  painter.save();
  OutlinePen(painter, 1.0);
  painter.setBrush(ink::kTitle);
  painter.drawRoundedRect(plate, 4, 4);
  painter.restore();
  Text(painter, plate.adjusted(0, 4, 0, -20), Qt::AlignCenter, QStringLiteral("Brimlink"), 12, true, Qt::white);
  Text(painter, plate.adjusted(0, 22, 0, -2), Qt::AlignCenter, QStringLiteral("R16"), 20, true, ink::kYellow);
  Text(painter, QRectF(155, 236, 120, 12), Qt::AlignCenter, QStringLiteral("16 DIGITALE INGANGEN"), 8, true,
       ink::kAnthracite);
  UsbSocket(painter, QRectF(201, 258, 28, 22));
  Led(painter, QPointF(250, 269), 3.6, ink::kInput, true);
  Text(painter, QRectF(256, 263, 30, 12), Qt::AlignLeft, QStringLiteral("PWR"), 7, true, ink::kAnthracite);

  Callout(painter, QPointF(295, 62), QPointF(318, 56), QStringLiteral("16 ingangen"));
  Callout(painter, QPointF(281, 148), QPointF(318, 150), QStringLiteral("LED's"));
  Callout(painter, QPointF(380, 215), QPointF(330, 256), QStringLiteral("DIN-rail"));
  Callout(painter, QPointF(215, 270), QPointF(110, 300), QStringLiteral("USB"));
  Callout(painter, QPointF(180, 332), QPointF(110, 340), QStringLiteral("Voeding 24 V"));
}

void DrawBrimlinkR8A(QPainter& painter) {
  const double width = kStationPhoto.width();
  Title(painter, width, QStringLiteral("Brimlink R8A"));
  DinRail(painter, 205, 15, 414);

  const QRectF outer(56, 92, 216, 230);
  const QRectF front(66, 100, 196, 214);
  DinHousing(painter, outer, front);
  const double pitch = 13;
  // Each relay output has two terminals: the common and the normally open contact.
  for (int i = 0; i < 8; ++i) {
    Text(painter, QRectF(60 + i * 2 * pitch, 38, 2 * pitch, 12), Qt::AlignCenter, QString::number(i + 1), 9, true,
         ink::kAnthracite);
  }
  TerminalRow(painter, QPointF(60, 52), 16, pitch, 20, kOutputTerminal);
  TerminalRow(painter, QPointF(60, 72), 16, pitch, 20, kOutputTerminal.darker(110));

  for (int i = 0; i < 8; ++i) {
    const double x = 72 + i * 23.5;
    Relay(painter, QRectF(x, 108, 18, 40));
    Led(painter, QPointF(x + 9, 158), 3.2, ink::kRed, i == 2 || i == 5);
  }
  const QRectF plate(78, 174, 120, 52);
  painter.save();
  OutlinePen(painter, 1.0);
  painter.setBrush(ink::kTitle);
  painter.drawRoundedRect(plate, 4, 4);
  painter.restore();
  Text(painter, plate.adjusted(0, 4, 0, -20), Qt::AlignCenter, QStringLiteral("Brimlink"), 12, true, Qt::white);
  Text(painter, plate.adjusted(0, 22, 0, -2), Qt::AlignCenter, QStringLiteral("R8A"), 20, true, ink::kYellow);
  UsbSocket(painter, QRectF(216, 186, 28, 22));
  Text(painter, QRectF(70, 232, 188, 12), Qt::AlignCenter, QStringLiteral("8 RELAIS  •  ANALOOG IN/UIT"), 8, true,
       ink::kAnthracite);

  // Analog terminals at the bottom: four inputs, two outputs, ground.
  const QStringList analog = {QStringLiteral("AI1"), QStringLiteral("AI2"), QStringLiteral("AI3"), QStringLiteral("AI4"),
                              QStringLiteral("AO1"), QStringLiteral("AO2"), QStringLiteral("GND")};
  for (int i = 0; i < analog.size(); ++i) {
    const double x = 78 + i * 25;
    Text(painter, QRectF(x - 2, 252, 27, 12), Qt::AlignCenter, analog[i], 8, true, kAnalogTerminal.darker(140));
  }
  TerminalRow(painter, QPointF(78, 322), 7, 25, 20, kAnalogTerminal);
  TerminalRow(painter, QPointF(78, 300), 7, 25, 22, kAnalogTerminal.lighter(115));

  Callout(painter, QPointF(262, 62), QPointF(290, 56), QStringLiteral("8 relaisuitgangen"));
  Callout(painter, QPointF(242, 128), QPointF(290, 128), QStringLiteral("Relais"));
  Callout(painter, QPointF(244, 197), QPointF(290, 168), QStringLiteral("USB"));
  Callout(painter, QPointF(380, 220), QPointF(330, 272), QStringLiteral("DIN-rail"));
  Callout(painter, QPointF(253, 332), QPointF(290, 330), QStringLiteral("Analoge aansluitingen"));
}

void DrawMultiConnector(QPainter& painter) {
  const double width = kComponentFigure.width();
  Title(painter, width, QStringLiteral("I/O Aansluitpaneel"));

  const QRectF panel(10, 40, 270, 242);
  painter.save();
  OutlinePen(painter, 1.6);
  painter.setBrush(ink::kHousing);
  painter.drawRoundedRect(panel, 8, 8);
  painter.setBrush(ink::kSteel);
  for (const QPointF corner : {QPointF(20, 50), QPointF(270, 50), QPointF(20, 272), QPointF(270, 272)}) {
    painter.drawEllipse(corner, 3.5, 3.5);
    painter.drawLine(corner + QPointF(-2.5, 0), corner + QPointF(2.5, 0));
  }
  painter.restore();

  const double pitch = 30;
  const double left = 25;
  auto rail = [&](double y, const QColor& colour, const QString& label) {
    painter.save();
    OutlinePen(painter, 1.0);
    painter.setBrush(colour.lighter(170));
    painter.drawRoundedRect(QRectF(32, y, 236, 24), 4, 4);
    painter.restore();
    Text(painter, QRectF(36, y, 60, 24), Qt::AlignVCenter | Qt::AlignLeft, label, 12, true, colour.darker(130));
    for (int i = 0; i < 5; ++i) Jack(painter, QPointF(124 + i * 30, y + 12), 7, colour);
  };
  auto row = [&](double y, const QString& heading, const QColor& colour, const QColor& lamp, bool (*lit)(int)) {
    Text(painter, QRectF(left, y, 240, 14), Qt::AlignLeft | Qt::AlignVCenter, heading, 11, true, ink::kTitle);
    NumberRow(painter, QPointF(left, y + 15), 8, pitch, 1, ink::kAnthracite);
    for (int i = 0; i < 8; ++i) {
      const double x = left + i * pitch + pitch / 2;
      Jack(painter, QPointF(x, y + 37), 8, colour);
      Led(painter, QPointF(x, y + 55), 3, lamp, lit(i));
    }
  };
  rail(66, ink::kRed, QStringLiteral("+24 V"));
  row(94, QStringLiteral("Ingangen"), ink::kYellow, ink::kInput, [](int i) { return i == 0; });
  row(160, QStringLiteral("Uitgangen"), ink::kOutput, ink::kYellow, [](int i) { return i == 1; });
  rail(226, ink::kBlue, QStringLiteral("0 V"));

  // The multi-pole connector to the interface.
  painter.save();
  OutlinePen(painter, 1.0);
  const QRectF shell(110, 256, 70, 18);
  QPolygonF dsub;
  dsub << shell.topLeft() << shell.topRight() << QPointF(shell.right() - 6, shell.bottom())
       << QPointF(shell.left() + 6, shell.bottom());
  painter.setBrush(Shaded(shell, Qt::Horizontal, ink::kChrome));
  painter.drawPolygon(dsub);
  painter.setBrush(ink::kRubber);
  for (int i = 0; i < 9; ++i) painter.drawEllipse(QPointF(121 + i * 6, 262), 1.3, 1.3);
  for (int i = 0; i < 8; ++i) painter.drawEllipse(QPointF(124 + i * 6, 268), 1.3, 1.3);
  painter.restore();
  Text(painter, QRectF(184, 256, 90, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("naar Brimlink"), 9, false,
       ink::kAnthracite);
  Text(painter, QRectF(16, 256, 90, 18), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Multi Connector"), 9, true,
       ink::kTitle);
}

}  // namespace brimlink::artwork
