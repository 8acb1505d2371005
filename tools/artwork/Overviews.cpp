// The numbered overview photographs of the three single stations and their
// close-ups. Each station stands in a scene of 640 x 480 units together with
// the parts its picture of the station leaves out (I/O panel, valves, hand
// valve, flow control, cable duct); a table gives every number the point of
// its component, where its badge sits on the overview and how large the
// component is, which decides the zoom of its close-up.
#include <QFontMetricsF>
#include <QPolygonF>
#include <QTransform>
#include <algorithm>
#include <span>
#include <vector>

#include "tools/artwork/Drawing.h"
#include "tools/artwork/Pictures.h"
#include "trainer/presentation/OverviewNumbers.h"

namespace brimlink::artwork {

namespace {

constexpr QSizeF kScene{overview::kSceneWidth, overview::kSceneHeight};
constexpr double kCaptionHeight = overview::kCaptionBand;

using overview::NumberedComponent;

QPointF Target(const NumberedComponent& n) { return {n.targetX, n.targetY}; }
QPointF BadgeCentre(const NumberedComponent& n) { return {n.badgeX, n.badgeY}; }

struct Scene {
  const char* title;
  void (*draw)(QPainter& painter);
  std::span<const NumberedComponent> numbers;
};

// ---- Parts that only the overviews show -----------------------------------

void Worktop(QPainter& painter, double top) {
  const double bottom = kScene.height() + 60;  // below the scene for the close-ups
  Block(painter, QRectF(-4, top, kScene.width() + 8, bottom - top), QColor(0xD4, 0xD9, 0xE0), 0);
  painter.save();
  painter.setPen(QPen(QColor(0xB8, 0xBF, 0xC9), 1));
  for (double y = top + 12; y < bottom; y += 12) painter.drawLine(QPointF(0, y), QPointF(kScene.width(), y));
  painter.restore();
}

// A grey slotted duct with its cover, wires leaving through some slots.
void CableDuct(QPainter& painter, const QRectF& box) {
  painter.save();
  OutlinePen(painter);
  painter.setBrush(QColor(0x9A, 0xA1, 0xAB));
  painter.drawRect(box);
  painter.setPen(QPen(QColor(0x6E, 0x75, 0x80), 1.2));
  for (double x = box.left() + 6; x < box.right() - 2; x += 8) {
    painter.drawLine(QPointF(x, box.top() + 5), QPointF(x, box.bottom()));
  }
  OutlinePen(painter);
  painter.setBrush(QColor(0xB5, 0xBB, 0xC4));
  painter.drawRect(QRectF(box.left() - 2, box.top() - 3, box.width() + 4, 7));
  painter.restore();
  const QColor wires[] = {ink::kRubber, ink::kBlue, QColor(0x8B, 0x5A, 0x2B)};
  int i = 0;
  for (double x = box.left() + 60; x < box.right() - 20; x += 130, ++i) {
    QPainterPath wire;
    wire.moveTo(x, box.top());
    wire.cubicTo(x, box.top() - 14, x + 12, box.top() - 20, x + 18, box.top() - 34);
    Hose(painter, wire, wires[i % 3], 2);
  }
}

// The I/O panel: +24 V rail, eight input and eight output jacks, 0 V rail and
// the connector to the interface.
void IoPanel(QPainter& painter, const QRectF& box) {
  Block(painter, box, ink::kHousing, 3);
  const double w = box.width();
  const double h = box.height();
  Block(painter, QRectF(box.left() + 6, box.top() + 6, w - 12, h * 0.14), QColor(0xF2, 0xA0, 0xA0), 2);
  Block(painter, QRectF(box.left() + 6, box.bottom() - 6 - h * 0.14, w - 12, h * 0.14), QColor(0x7F, 0xA8, 0xF0), 2);
  const double step = (w - 16) / 8;
  for (int i = 0; i < 8; ++i) {
    const double x = box.left() + 8 + step * (i + 0.5);
    Jack(painter, QPointF(x, box.top() + h * 0.36), step * 0.34, ink::kYellow);
    Jack(painter, QPointF(x, box.top() + h * 0.6), step * 0.34, ink::kOutput);
  }
  Block(painter, QRectF(box.center().x() - w * 0.18, box.bottom() + 1, w * 0.36, 7), ink::kSteel, 1);
  QPainterPath cable;
  cable.moveTo(box.center().x(), box.bottom() + 8);
  cable.cubicTo(box.center().x(), box.bottom() + 40, box.center().x() - 40, box.bottom() + 30, box.center().x() - 60,
                box.bottom() + 60);
  Hose(painter, cable, ink::kRubber, 3.5);
}

// A hand-operated 3/2 shut-off valve with its blue sliding sleeve, the
// supply coming in at the left and the air going out at the right.
void HandValve(QPainter& painter, QPointF centre) {
  const QRectF body(centre.x() - 22, centre.y() - 11, 44, 22);
  painter.save();
  OutlinePen(painter);
  painter.setBrush(Shaded(body, Qt::Horizontal, ink::kAluminium));
  painter.drawRect(body);
  const QRectF sleeve(centre.x() - 10, centre.y() - 14, 20, 28);
  painter.setBrush(Shaded(sleeve, Qt::Horizontal, ink::kBlue.lighter(120)));
  painter.drawRoundedRect(sleeve, 3, 3);
  painter.setPen(QPen(ink::kBlue.darker(130), 1));
  for (double x = sleeve.left() + 4; x < sleeve.right() - 1; x += 4) {
    painter.drawLine(QPointF(x, sleeve.top() + 3), QPointF(x, sleeve.bottom() - 3));
  }
  OutlinePen(painter);
  for (const double side : {-1.0, 1.0}) {
    const QRectF fitting(side < 0 ? body.left() - 8 : body.right(), centre.y() - 5, 8, 10);
    painter.setBrush(ink::kChrome);
    painter.drawRect(fitting);
  }
  painter.restore();
}

// A one-way flow control screwed into a cylinder port: an elbow with the
// knurled adjusting screw pointing away from the port along `angle`
// (degrees, 0 = up, 90 = right).
void FlowControl(QPainter& painter, QPointF at, double angle) {
  painter.save();
  painter.translate(at);
  painter.rotate(angle);
  const QPointF port(0, 0);
  OutlinePen(painter, 1.2);
  const QRectF elbow(port.x() - 6, port.y() - 12, 12, 12);
  painter.setBrush(Shaded(elbow, Qt::Horizontal, ink::kChrome));
  painter.drawRect(elbow);
  const QRectF nut(port.x() - 5, port.y() - 17, 10, 5);
  painter.setBrush(ink::kSteel);
  painter.drawRect(nut);
  const QRectF knob(port.x() - 3.5, port.y() - 27, 7, 10);
  painter.setBrush(ink::kAnthracite.lighter(130));
  painter.drawRect(knob);
  painter.setPen(QPen(ink::kOutline, 0.6));
  for (double y = knob.top() + 2; y < knob.bottom() - 0.5; y += 2) {
    painter.drawLine(QPointF(knob.left(), y), QPointF(knob.right(), y));
  }
  painter.restore();
}

// ---- Stack magazine -------------------------------------------------------

// The assembly at (150, 40): its hoses leave it at (150, 252), (150, 270)
// and (579, 160).
void StackScene(QPainter& painter) {
  Worktop(painter, 376);
  IoPanel(painter, QRectF(16, 56, 120, 96));

  // Supply through the hand valve to both solenoid valves.
  QPainterPath supply;
  supply.moveTo(-4, 213);
  supply.lineTo(20, 213);
  Hose(painter, supply, ink::kAir, 3);
  HandValve(painter, QPointF(50, 213));
  QPainterPath feed;
  feed.moveTo(80, 213);
  feed.cubicTo(120, 213, 140, 360, 140, 368);
  feed.lineTo(520, 368);
  Hose(painter, feed, ink::kAir, 3);

  // Valve of the push-out cylinder (bistable) and of the press (monostable).
  Block(painter, QRectF(24, 356, 120, 14), ink::kAnthracite.lighter(160), 2);
  Block(painter, QRectF(526, 356, 100, 14), ink::kAnthracite.lighter(160), 2);
  QPainterPath toPusherA;
  toPusherA.moveTo(150, 252);
  toPusherA.cubicTo(110, 250, 73, 280, 73, 323);
  Hose(painter, toPusherA, ink::kAir, 3);
  QPainterPath toPusherB;
  toPusherB.moveTo(150, 270);
  toPusherB.cubicTo(120, 270, 95, 290, 95, 323);
  Hose(painter, toPusherB, ink::kAir, 3);
  QPainterPath toPress;
  toPress.moveTo(579, 160);
  toPress.cubicTo(600, 150, 576, 260, 576, 323);
  Hose(painter, toPress, ink::kAir, 3);
  SolenoidValve(painter, QRectF(56, 334, 56, 20), true, false);
  SolenoidValve(painter, QRectF(560, 334, 50, 20), false, false);

  painter.save();
  painter.translate(150, 40);
  DrawStackMagazineAssembly(painter);
  painter.restore();
  FlowControl(painter, QPointF(461, 180), 90);
  CableDuct(painter, QRectF(20, 404, 600, 22));
}

const Scene& StackMagazine() {
  static const Scene scene{
      "Station Stapel Magazijn",
      StackScene,
      overview::kStackMagazine};
  return scene;
}

// ---- Conveyor belt --------------------------------------------------------

void ConveyorScene(QPainter& painter) {
  Worktop(painter, 410);
  IoPanel(painter, QRectF(500, 52, 124, 98));
  painter.save();
  painter.translate(80, 40);
  painter.scale(1.1, 1.1);
  DrawConveyorAssembly(painter);
  painter.restore();
  CableDuct(painter, QRectF(20, 436, 600, 20));
}

const Scene& Conveyor() {
  static const Scene scene{
      "Station Transportband",
      ConveyorScene,
      overview::kConveyor};
  return scene;
}

// ---- Handling station -----------------------------------------------------

// The assembly at (150, 40) scaled by 1.1.
void HandlingScene(QPainter& painter) {
  Worktop(painter, 412);
  IoPanel(painter, QRectF(16, 60, 120, 96));

  QPainterPath supply;
  supply.moveTo(-4, 330);
  supply.lineTo(68, 330);
  Hose(painter, supply, ink::kAir, 3);
  HandValve(painter, QPointF(100, 330));
  QPainterPath feed;
  feed.moveTo(130, 330);
  feed.cubicTo(190, 330, 250, 380, 300, 392);
  Hose(painter, feed, ink::kAir, 3);

  painter.save();
  painter.translate(150, 40);
  painter.scale(1.1, 1.1);
  DrawHandlingAssembly(painter);
  painter.restore();
  FlowControl(painter, QPointF(282, 97), 0);
  CableDuct(painter, QRectF(20, 440, 600, 20));
}

const Scene& Handling() {
  static const Scene scene{
      "Station Handling",
      HandlingScene,
      overview::kHandling};
  return scene;
}

const Scene& SceneOf(Overview station) {
  switch (station) {
    case Overview::StackMagazine:
      return StackMagazine();
    case Overview::Conveyor:
      return Conveyor();
    case Overview::Handling:
      break;
  }
  return Handling();
}

// ---- Badges and captions, drawn in picture pixels ------------------------

void Badge(QPainter& painter, QPointF centre, double radius, int number) {
  painter.save();
  painter.setPen(QPen(ink::kOutline, 2));
  painter.setBrush(ink::kYellow);
  painter.drawEllipse(centre, radius, radius);
  painter.restore();
  Text(painter, QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), Qt::AlignCenter,
       QString::number(number), radius * 1.15, true, ink::kOutline);
}

// A leader with a light halo, so that it stays visible over dark parts.
void Leader(QPainter& painter, QPointF from, QPointF to) {
  painter.save();
  painter.setPen(QPen(QColor(255, 255, 255, 200), 5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(from, to);
  painter.setPen(QPen(ink::kOutline, 2, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(from, to);
  painter.setBrush(ink::kOutline);
  painter.setPen(QPen(Qt::white, 1.5));
  painter.drawEllipse(to, 4.5, 4.5);
  painter.restore();
}

void Caption(QPainter& painter, int number, const QString& name) {
  const double width = kOverviewPhoto.width();
  const double top = kOverviewPhoto.height() - kCaptionHeight;
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(ink::kTitle);
  painter.drawRect(QRectF(0, top, width, kCaptionHeight));
  painter.setBrush(ink::kAir);
  painter.drawRect(QRectF(0, top, width, 4));
  painter.restore();
  Badge(painter, QPointF(46, top + 32), 20, number);
  Text(painter, QRectF(84, top + 4, width - 100, 56), Qt::AlignLeft | Qt::AlignVCenter, name, 26, true, Qt::white);
}

// `bottomBand` pixels at the bottom are covered by a caption; the view may
// then reach that far below the scene, where the worktop goes on, so that a
// part at the scene's bottom edge is not hidden under the caption.
QTransform SceneToPicture(QPointF centre, double zoom, double bottomBand = 0) {
  const overview::SceneWindow window = overview::WindowAround(centre.x(), centre.y(), zoom, bottomBand);
  QTransform transform;
  transform.scale(window.scale, window.scale);
  transform.translate(-window.left, -window.top);
  return transform;
}

}  // namespace

void DrawOverview(QPainter& painter, Overview station) {
  const Scene& scene = SceneOf(station);
  const QTransform transform = SceneToPicture(QPointF(kScene.width() / 2, kScene.height() / 2), 1.0);
  painter.save();
  painter.setTransform(transform);
  scene.draw(painter);
  painter.restore();
  for (const NumberedComponent& number : scene.numbers) {
    Leader(painter, transform.map(BadgeCentre(number)), transform.map(Target(number)));
  }
  for (const NumberedComponent& number : scene.numbers)
    Badge(painter, transform.map(BadgeCentre(number)), overview::kBadgeRadiusPixels, number.number);
  Title(painter, kOverviewPhoto.width(), QString::fromUtf8(scene.title));
}

void DrawCloseUp(QPainter& painter, Overview station, int number) {
  const Scene& scene = SceneOf(station);
  const auto found = std::find_if(scene.numbers.begin(), scene.numbers.end(),
                                  [number](const NumberedComponent& entry) { return entry.number == number; });
  if (found == scene.numbers.end()) return;
  const QTransform transform = SceneToPicture(Target(*found), overview::CloseUpZoom(found->radius), kCaptionHeight);
  painter.save();
  painter.setTransform(transform);
  scene.draw(painter);
  painter.restore();

  const QPointF centre = transform.map(Target(*found));
  const double ring = overview::CloseUpRing(found->radius, transform.m11());
  painter.save();
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(ink::kOutline, 9));
  painter.drawEllipse(centre, ring, ring);
  painter.setPen(QPen(ink::kYellow, 5));
  painter.drawEllipse(centre, ring, ring);
  painter.restore();
  double badgeX = 0, badgeY = 0;
  overview::CloseUpBadge(centre.x(), centre.y(), ring, badgeX, badgeY);
  Badge(painter, QPointF(badgeX, badgeY), overview::kCloseUpBadgeRadius, number);
  Title(painter, kOverviewPhoto.width(), QString::fromUtf8(scene.title));
  Caption(painter, number, QString::fromUtf8(found->name));
}

}  // namespace brimlink::artwork
