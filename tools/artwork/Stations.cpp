// The station pictures: the stack magazine, the conveyor belt, the handling
// station and the conveyor with the handling station. Each station is drawn
// by a scene function in the full picture's coordinates, so that the combined
// picture can place two of them with a transform and the station window can
// draw them in any state; the pictures are the scenes in their default state.
#include <QPolygonF>
#include <algorithm>

#include "tools/artwork/Drawing.h"
#include "tools/artwork/Pictures.h"
#include "tools/artwork/StationScenes.h"

namespace brimlink::artwork {

namespace {

const QColor kRedPart{0xC6, 0x3A, 0x32};
const QColor kBlackPart{0x4A, 0x4E, 0x56};
const QColor kMetalPart{0xBF, 0xC6, 0xCE};

QColor ColourOf(Piece piece) {
  switch (piece) {
    case Piece::Red:
      return kRedPart;
    case Piece::Black:
      return kBlackPart;
    case Piece::Metal:
      return kMetalPart;
  }
  return kRedPart;
}

// A workpiece, with the pressed lid as a dark cap on its top.
void Part(QPainter& painter, const QRectF& box, const Item& item) {
  Workpiece(painter, box, ColourOf(item.piece));
  if (!item.lid) return;
  painter.save();
  OutlinePen(painter, 1.0);
  painter.setBrush(ink::kAnthracite);
  painter.drawRoundedRect(QRectF(box.left() - 2, box.top() - 3, box.width() + 4, 7), 2, 2);
  painter.restore();
}

// At most this many parts are drawn on a pile; more would leave the picture.
template <typename T>
size_t Shown(const std::vector<T>& pile, size_t most) {
  return std::min(pile.size(), most);
}

// ---- Stack magazine -------------------------------------------------------

}  // namespace

void DrawStackMagazineScene(QPainter& painter, const StackScene& scene) {
  Profile(painter, QRectF(20, 318, 390, 18), Qt::Horizontal);

  // Air hoses behind the parts.
  QPainterPath hoseA;
  hoseA.moveTo(34, 278);
  hoseA.cubicTo(34, 240, 10, 240, 0, 230);
  Hose(painter, hoseA, ink::kAir, 3);
  QPainterPath hoseB;
  hoseB.moveTo(103, 278);
  hoseB.cubicTo(103, 226, 30, 220, 0, 212);
  Hose(painter, hoseB, ink::kAir, 3);
  QPainterPath hoseC;
  hoseC.moveTo(296, 142);
  hoseC.cubicTo(320, 120, 400, 150, 429, 120);
  Hose(painter, hoseC, ink::kAir, 3);

  // Feed block with the channel the lowest workpiece is pushed through.
  Block(painter, QRectF(120, 278, 110, 40));
  Block(painter, QRectF(120, 283, 110, 26), ink::kAnthracite.lighter(170), 0);

  // Assembly place with the pushed-out part, and the press above it.
  Profile(painter, QRectF(358, 118, 16, 200), Qt::Vertical);
  Block(painter, QRectF(270, 110, 104, 14));
  Block(painter, QRectF(250, 300, 78, 18));
  if (scene.plate) Part(painter, QRectF(268, 276, 44, 24), *scene.plate);
  for (size_t i = 0; i < Shown(scene.pushedOff, 6); ++i)
    Part(painter, QRectF(380, 294 - static_cast<double>(i) * 24, 44, 24), scene.pushedOff[i]);
  // The press travels down until its foot meets the part on the plate.
  constexpr double kPressTravel = 34;
  CylinderShape press;
  press.bodyLength = 76;
  press.bodyHeight = 30;
  press.rodLength = 30 + kPressTravel * scene.press;
  press.rodThickness = 9;
  press.ports = false;
  PlaceCylinder(painter, QPointF(290, 124), 90, press);
  Block(painter, QRectF(276, 232 + kPressTravel * scene.press, 28, 8), ink::kSteel);
  if (scene.pressSwitch) PlaceSlotSensor(painter, QPointF(284, 188), 90, *scene.pressSwitch);
  // The single-acting press has one port, at its top.
  painter.save();
  OutlinePen(painter);
  painter.setBrush(ink::kChrome);
  painter.drawRect(QRectF(302, 136, 8, 8));
  painter.setBrush(ink::kAir);
  painter.drawRect(QRectF(307, 135, 3, 10));
  painter.restore();

  // Magazine tube with the stacked workpieces.
  // The lowest part rides on the rod tip while the pusher shoves it out.
  constexpr double kPushTravel = 115;
  for (size_t i = 0; i < Shown(scene.magazine, 9); ++i) {
    const double x = 153 + (i == 0 ? scene.carried : 0.0);
    Part(painter, QRectF(x, 284 - static_cast<double>(i) * 25, 44, 24), scene.magazine[i]);
  }
  painter.save();
  OutlinePen(painter, 1.4);
  QColor glass(0xAE, 0xD4, 0xF2, 90);
  painter.setBrush(glass);
  painter.drawRect(QRectF(148, 56, 54, 222));
  painter.setPen(QPen(QColor(255, 255, 255, 200), 3));
  painter.drawLine(QPointF(156, 64), QPointF(156, 270));
  painter.restore();
  Block(painter, QRectF(142, 50, 66, 12), ink::kSteel);
  for (const double x : {136.0, 202.0}) Block(painter, QRectF(x, 266, 12, 12), ink::kSteel);

  // Push-out cylinder in the channel, rod out against the lowest part.
  Block(painter, QRectF(22, 307, 96, 11), ink::kSteel);
  CylinderShape pusher;
  pusher.bodyLength = 86;
  pusher.bodyHeight = 26;
  pusher.rodLength = 34 + kPushTravel * scene.push;
  pusher.rodThickness = 8;
  PlaceCylinder(painter, QPointF(26, 295), 0, pusher);
  if (scene.pushSwitch) PlaceSlotSensor(painter, QPointF(46, 301), 0, *scene.pushSwitch);
}

void DrawStackMagazine(QPainter& painter) {
  DrawStackMagazineScene(painter, StackScene{});
  Title(painter, kStationPhoto.width(), QStringLiteral("Stapel magazijn"));
  Callout(painter, QPointF(150, 84), QPointF(110, 70), QStringLiteral("Magazijn"));
  Callout(painter, QPointF(160, 220), QPointF(110, 160), QStringLiteral("Werkstukken"));
  Callout(painter, QPointF(70, 290), QPointF(20, 352), QStringLiteral("Doorvoercilinder"));
  Callout(painter, QPointF(40, 303), QPointF(10, 255), QStringLiteral("Magnetische sensor"));
  Callout(painter, QPointF(276, 150), QPointF(250, 70), QStringLiteral("Aandrukcilinder"));
  Callout(painter, QPointF(300, 310), QPointF(240, 352), QStringLiteral("Montageplaats"));
}

// ---- Conveyor belt --------------------------------------------------------

void DrawConveyorScene(QPainter& painter, const BeltScene& scene) {
  // Legs and the frame profile.
  for (const double x : {70.0, 300.0}) {
    Profile(painter, QRectF(x, 236, 14, 92), Qt::Vertical);
    Block(painter, QRectF(x - 8, 326, 30, 6), ink::kSteel);
  }
  // Relay on a short rail between the legs.
  Block(painter, QRectF(100, 306, 70, 8), ink::kSteel);
  Relay(painter, QRectF(110, 262, 24, 44));
  Relay(painter, QRectF(140, 262, 24, 44));

  // Drive: motor below the head roller, toothed belt up to the roller.
  painter.save();
  OutlinePen(painter, 1.2);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(ink::kRubber, 5));
  painter.drawLine(QPointF(327, 212), QPointF(327, 262));
  painter.drawLine(QPointF(343, 212), QPointF(343, 262));
  painter.restore();
  CylinderShape motor;
  motor.bodyLength = 58;
  motor.bodyHeight = 34;
  motor.rodLength = 14;
  motor.rodThickness = 6;
  motor.ports = false;
  motor.body = QColor(0x3C, 0x6E, 0xB4);
  PlaceCylinder(painter, QPointF(410, 262), 180, motor);
  painter.save();
  OutlinePen(painter);
  painter.setBrush(ink::kSteel);
  painter.drawEllipse(QPointF(335, 262), 10, 10);
  painter.setBrush(ink::kChrome);
  painter.drawEllipse(QPointF(335, 262), 3, 3);
  painter.setBrush(Qt::white);
  painter.drawEllipse(QPointF(381, 262), 10, 10);
  painter.restore();
  Text(painter, QRectF(371, 252, 20, 20), Qt::AlignCenter, QStringLiteral("M"), 13, true, ink::kTitle);

  Profile(painter, QRectF(40, 226, 300, 14), Qt::Horizontal);

  // The belt around two rollers.
  painter.save();
  OutlinePen(painter, 1.4);
  painter.setBrush(ink::kRubber);
  painter.drawRoundedRect(QRectF(34, 194, 318, 34), 17, 17);
  painter.setBrush(ink::kRubber.lighter(160));
  painter.drawRect(QRectF(51, 194, 284, 4));
  for (const double x : {51.0, 335.0}) {
    painter.setBrush(Shaded(QRectF(x - 13, 198, 26, 26), Qt::Vertical, ink::kSteel));
    painter.drawEllipse(QPointF(x, 211), 13, 13);
    painter.setBrush(ink::kChrome);
    painter.drawEllipse(QPointF(x, 211), 4, 4);
  }
  painter.restore();

  for (const BeltItem& part : scene.belt) Part(painter, QRectF(part.x - 18, 162, 36, 32), part.item);
  if (scene.endTray) {
    Block(painter, QRectF(354, 194, 70, 6), ink::kSteel);
    for (size_t i = 0; i < Shown(scene.atEnd, 3); ++i)
      Part(painter, QRectF(370, 162 - static_cast<double>(i) * 26, 36, 32), scene.atEnd[i]);
  }

  // The slide in front of the belt, onto which the stopper sorts parts out.
  QPolygonF chute;
  chute << QPointF(246, 224) << QPointF(290, 224) << QPointF(246, 318) << QPointF(202, 318);
  painter.save();
  OutlinePen(painter);
  painter.setBrush(Shaded(chute.boundingRect(), Qt::Vertical, ink::kChrome));
  painter.drawPolygon(chute);
  painter.setPen(QPen(ink::kOutline, 3.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(chute[0], chute[3]);
  painter.drawLine(chute[1], chute[2]);
  painter.restore();
  // Sorted parts slide to the foot of the chute and pile up along it.
  for (size_t i = 0; i < Shown(scene.chute, 4); ++i) {
    const double up = static_cast<double>(i);
    Part(painter, QRectF(225 + up * 10, 268 - up * 21, 30, 24), scene.chute[i]);
  }

  // Sensor bracket over the belt, with the optical and the inductive sensor.
  Profile(painter, QRectF(20, 96, 12, 132), Qt::Vertical);
  Block(painter, QRectF(20, 96, 200, 10), ink::kSteel);
  const double optical = scene.opticalX;
  Sensor(painter, QPointF(optical, 142), 90, SensorKind::Optical, 34);
  LightBeam(painter, QPointF(optical - 4, 144), QPointF(optical - 4, 192));
  LightBeam(painter, QPointF(optical + 4, 144), QPointF(optical + 4, 192));
  Sensor(painter, QPointF(scene.inductiveX, 148), 90, SensorKind::Inductive, 42);
  if (scene.optical) Led(painter, QPointF(optical + 14, 118), 4, ink::kInput, *scene.optical);
  if (scene.inductive) Led(painter, QPointF(scene.inductiveX + 14, 118), 4, ink::kInput, *scene.inductive);

  // Electromagnetic stopper: coil in a yoke, plunger down into the path
  // while the coil is on, drawn back up into the yoke while it is off.
  const double dx = scene.stopperX - 262;
  Block(painter, QRectF(238 + dx, 96, 48, 10), ink::kSteel);
  painter.save();
  OutlinePen(painter);
  const QRectF plunger(257 + dx, scene.stopperDown ? 150 : 124, 10, 40);
  painter.setBrush(Shaded(plunger, Qt::Vertical, ink::kChrome));
  painter.drawRect(plunger);
  painter.setBrush(ink::kSteel.darker(110));
  painter.drawRect(QRectF(242 + dx, 106, 40, 46));
  painter.restore();
  Coil(painter, QRectF(247 + dx, 110, 30, 38), Qt::Vertical);
  QPainterPath lead;
  lead.moveTo(282 + dx, 118);
  lead.cubicTo(300 + dx, 118, 300 + dx, 80, 320 + dx, 70);
  Hose(painter, lead, ink::kRubber, 2.5);
  if (scene.motor) Led(painter, QPointF(400, 242), 4, ink::kOutput, *scene.motor);
}

void DrawConveyor(QPainter& painter) {
  DrawConveyorScene(painter, BeltScene{});
  Title(painter, kStationPhoto.width(), QStringLiteral("Transportband"));
  Callout(painter, QPointF(62, 126), QPointF(40, 62), QStringLiteral("Optische sensor"));
  Callout(painter, QPointF(160, 128), QPointF(170, 62), QStringLiteral("Inductieve sensor"));
  Callout(painter, QPointF(280, 128), QPointF(310, 90), QStringLiteral("Magneetspoel stopper"));
  Callout(painter, QPointF(381, 276), QPointF(429, 304), QStringLiteral("Gelijkstroom motor"));
  Callout(painter, QPointF(112, 290), QPointF(30, 352), QStringLiteral("Motor relais"));
  Callout(painter, QPointF(150, 225), QPointF(150, 250), QStringLiteral("Band"));
  Callout(painter, QPointF(226, 310), QPointF(230, 352), QStringLiteral("Glijbaan"));
}

// ---- Handling station -----------------------------------------------------

namespace {

// The valve plate: two bistable valves for the cylinders, one monostable
// valve for the gripper.
void ValvePlate(QPainter& painter, const std::array<bool, 3>& energised) {
  Block(painter, QRectF(106, 204, 114, 122), ink::kHousing, 3);
  for (int i = 0; i < 3; ++i) {
    Block(painter, QRectF(112, 245 + i * 34, 102, 5), ink::kSteel, 1);
    SolenoidValve(painter, QRectF(136, 224 + i * 34, 54, 18), i < 2, energised[static_cast<size_t>(i)]);
  }
}

}  // namespace

// Standing alone the station has its base plate and its place for products;
// beside the conveyor its column stands on the floor at `columnBottom` and it
// picks from the belt.
void DrawHandlingScene(QPainter& painter, const HandlingScene& scene, bool standalone, double columnBottom) {
  constexpr double kHorizontalStroke = 76;
  constexpr double kVerticalStroke = 72;
  // The carriage and the gripper relative to where the picture shows them
  // (front and down).
  const double dx = (scene.horizontal - 1) * kHorizontalStroke;
  const double dy = (scene.vertical - 1) * kVerticalStroke;
  if (standalone) Profile(painter, QRectF(24, 330, 382, 16), Qt::Horizontal);
  Profile(painter, QRectF(60, 96, 26, columnBottom - 96), Qt::Vertical);
  Block(painter, QRectF(54, 90, 38, 12), ink::kSteel);
  if (standalone) {
    Block(painter, QRectF(262, 314, 64, 16));
    if (scene.backPlace) {
      // The back place stands where the valves are in the picture; they
      // move, smaller, to the right.
      Block(painter, QRectF(262 - kHorizontalStroke, 314, 64, 16));
      painter.save();
      painter.translate(342, 250);
      painter.scale(0.62, 0.62);
      painter.translate(-106, -204);
      ValvePlate(painter, scene.valves);
      painter.restore();
    } else {
      ValvePlate(painter, scene.valves);
    }
  } else {
    if (scene.backPlace) Block(painter, QRectF(262 - kHorizontalStroke, 314, 64, 16));
    Block(painter, QRectF(44, columnBottom, 58, 8), ink::kSteel);
  }

  // Horizontal guided cylinder on the column, yoke out.
  GuidedShape horizontal;
  horizontal.bodyLength = 140;
  horizontal.bodyHeight = 36;
  horizontal.stroke = kHorizontalStroke * scene.horizontal;
  horizontal.yokeWidth = 12;
  PlaceGuided(painter, QPointF(48, 70), 0, horizontal);
  PlaceSlotSensor(painter, QPointF(74, 84), 0, scene.switches[0]);
  PlaceSlotSensor(painter, QPointF(160, 84), 0, scene.switches[1]);

  // Bracket from the yoke to the vertical cylinder.
  Block(painter, QRectF(264 + dx, 48, 56, 14), ink::kSteel);

  // Vertical guided cylinder, yoke down, with the gripper under it.
  GuidedShape vertical;
  vertical.bodyLength = 96;
  vertical.bodyHeight = 36;
  vertical.stroke = kVerticalStroke * scene.vertical;
  vertical.yokeWidth = 12;
  PlaceGuided(painter, QPointF(292 + dx, 62), 90, vertical);
  PlaceSlotSensor(painter, QPointF(306 + dx, 84), 90, scene.switches[2]);
  PlaceSlotSensor(painter, QPointF(306 + dx, 142), 90, scene.switches[3]);

  for (size_t i = 0; i < Shown(scene.front, 3); ++i)
    Part(painter, QRectF(276, 282 - static_cast<double>(i) * 26, 32, 32), scene.front[i]);
  for (size_t i = 0; i < Shown(scene.back, 3); ++i)
    Part(painter, QRectF(276 - kHorizontalStroke, 282 - static_cast<double>(i) * 26, 32, 32), scene.back[i]);
  if (scene.held) Part(painter, QRectF(276 + dx, 282 + dy, 32, 32), *scene.held);
  painter.save();
  OutlinePen(painter);
  const QRectF gripper(270 + dx, 242 + dy, 44, 26);
  painter.setBrush(Shaded(gripper, Qt::Vertical, QColor(0x4F, 0x7F, 0xC0)));
  painter.drawRoundedRect(gripper, 3, 3);
  painter.setBrush(ink::kSteel);
  // Closed, the jaws close in on the part between them.
  const double squeeze = scene.closed ? 3 : 0;
  for (const double x : {270.0 + dx + squeeze, 306.0 + dx - squeeze}) {
    QPolygonF jaw;
    jaw << QPointF(x, 268 + dy) << QPointF(x + 8, 268 + dy) << QPointF(x + 8, 300 + dy) << QPointF(x + 5, 306 + dy)
        << QPointF(x, 306 + dy);
    painter.drawPolygon(jaw);
  }
  painter.restore();

  // Air hoses from the cylinders down the column.
  QPainterPath hoseA;
  hoseA.moveTo(120, 52);
  hoseA.cubicTo(120, 30, 40, 40, 40, 120);
  hoseA.lineTo(40, 330);
  Hose(painter, hoseA, ink::kAir, 3);
  QPainterPath hoseB;
  hoseB.moveTo(300 + dx, 48);
  hoseB.cubicTo(300 + dx, 20, 200, 36, 200, 40);
  Hose(painter, hoseB, ink::kAir, 3);
}

void DrawHandlingStation(QPainter& painter) {
  DrawHandlingScene(painter, HandlingScene{});
  Title(painter, kStationPhoto.width(), QStringLiteral("Station handling"));
  Callout(painter, QPointF(130, 80), QPointF(110, 150), QStringLiteral("Verplaatscilinder (x)"));
  Callout(painter, QPointF(300, 120), QPointF(340, 120), QStringLiteral("Grijpercilinder (z)"));
  Callout(painter, QPointF(308, 256), QPointF(340, 250), QStringLiteral("Grijper"));
  Callout(painter, {QPointF(160, 90), QPointF(304, 146)}, QPointF(170, 178), QStringLiteral("Eindschakelaars"));
  Callout(painter, QPointF(163, 320), QPointF(120, 358), QStringLiteral("Magneetventielen"));
  Callout(painter, QPointF(326, 322), QPointF(340, 356), QStringLiteral("Plaats voor producten"));
}

// ---- Conveyor with handling station --------------------------------------

void DrawConveyorWithHandlingScene(QPainter& painter, const BeltScene& belt, const HandlingScene& handling) {
  // The conveyor at 72 %, its belt top at y = 244 and its feet at y = 339.
  constexpr double kScale = 0.72;
  painter.save();
  painter.translate(0, 104);
  painter.scale(kScale, kScale);
  DrawConveyorScene(painter, belt);
  painter.restore();
  // The handling station mirrored at the same scale, standing right of the
  // belt's head, its gripper (x = 292, jaws down to y = 306) over the belt.
  constexpr double kGripperX = 225;
  constexpr double kTop = 244 - 314 * kScale;
  painter.save();
  painter.translate(kGripperX + 292 * kScale, kTop);
  painter.scale(-kScale, kScale);
  DrawHandlingScene(painter, handling, false, (339 - kTop) / kScale);
  painter.restore();
}

void DrawConveyorWithHandling(QPainter& painter) {
  DrawConveyorWithHandlingScene(painter, BeltScene{}, HandlingScene{});
  Title(painter, kStationPhoto.width(), QStringLiteral("Transportband en Station handling"));
  Callout(painter, QPointF(100, 250), QPointF(40, 352), QStringLiteral("Transportband"));
  Callout(painter, {QPointF(330, 70)}, QPointF(252, 150), QStringLiteral("Station handling"));
  Callout(painter, QPointF(212, 200), QPointF(150, 130), QStringLiteral("Grijper"));
  Callout(painter, QPointF(275, 300), QPointF(300, 352), QStringLiteral("Gelijkstroom motor"));
}

// ---- The bare assemblies, for the numbered overview photographs ----------

void DrawStackMagazineAssembly(QPainter& painter) { DrawStackMagazineScene(painter, StackScene{}); }
void DrawConveyorAssembly(QPainter& painter) { DrawConveyorScene(painter, BeltScene{}); }
void DrawHandlingAssembly(QPainter& painter) { DrawHandlingScene(painter, HandlingScene{}); }

}  // namespace brimlink::artwork
