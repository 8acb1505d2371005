// The stations drawn in a given state: where each cylinder is, which parts lie
// where, which end switches and valves are on. The trainer's static station
// pictures are these scenes in their default state (the members' initial
// values reproduce them exactly); the animated station window draws the same
// scenes from a running model. Coordinates are the station picture's
// (kStationPhoto); fractions run from 0 (retracted) to 1 (extended).
#pragma once

#include <QRectF>
#include <QString>
#include <array>
#include <optional>
#include <vector>

class QPainter;

namespace brimlink::artwork {

enum class Piece { Red, Black, Metal };

struct Item {
  Piece piece = Piece::Red;
  bool lid = false;  // a lid pressed on it
  bool operator==(const Item&) const = default;
};

struct StackScene {
  double push = 0;   // the push cylinder: 0 rod against the lowest part, 1 out at the plate
  double press = 0;  // the pressing cylinder: 0 up, 1 down on the part
  double carried = 0;  // how far the lowest part rides out on the rod tip
  std::vector<Item> magazine{{Piece::Red}, {Piece::Black}, {Piece::Metal},
                             {Piece::Red}, {Piece::Black}, {Piece::Metal}};  // bottom to top
  std::optional<Item> plate = Item{Piece::Red};
  std::vector<Item> pushedOff;  // beside the plate, only drawn when not empty
  std::optional<bool> pushSwitch = true;  // the end switch on the push cylinder, if drawn
  std::optional<bool> pressSwitch;        // an end switch on the pressing cylinder, if drawn
  bool operator==(const StackScene&) const = default;
};

struct BeltItem {
  double x = 0;  // centre along the belt
  Item item;
  bool operator==(const BeltItem&) const = default;
};

struct BeltScene {
  std::vector<BeltItem> belt{{114, {Piece::Red}}, {204, {Piece::Metal}}};
  std::vector<Item> chute{{Piece::Red}};
  std::vector<Item> atEnd;  // past the head roller, on a tray drawn when `endTray`
  bool endTray = false;
  bool stopperDown = true;
  double opticalX = 66;
  double inductiveX = 160;
  double stopperX = 262;
  std::optional<bool> optical;    // a lamp at each sensor, if drawn
  std::optional<bool> inductive;
  std::optional<bool> motor;      // a lamp on the motor, if drawn
  bool operator==(const BeltScene&) const = default;
};

struct HandlingScene {
  double horizontal = 1;  // 0 back, 1 front
  double vertical = 1;    // 0 up, 1 down
  bool closed = false;
  std::vector<Item> front{{Piece::Red}};  // below the front position, bottom to top
  std::vector<Item> back;                 // below the back position
  std::optional<Item> held;
  std::array<bool, 4> switches{false, true, false, true};  // back, front, up, down
  std::array<bool, 3> valves{true, false, false};         // energised solenoids
  bool backPlace = false;  // draw the back place (and the valves beside, not under it)
  bool operator==(const HandlingScene&) const = default;
};

void DrawStackMagazineScene(QPainter& painter, const StackScene& scene);
void DrawConveyorScene(QPainter& painter, const BeltScene& scene);
// Standing alone the station has its base plate and valves; beside the
// conveyor its column stands on the floor at `columnBottom`.
void DrawHandlingScene(QPainter& painter, const HandlingScene& scene, bool standalone = true,
                       double columnBottom = 330);
// The conveyor at 72 % with the handling station mirrored over its head.
void DrawConveyorWithHandlingScene(QPainter& painter, const BeltScene& belt, const HandlingScene& handling);

// A column of labelled lamps in `box`: a heading, then one row per lamp.
struct Lamp {
  QString label;
  bool input = true;  // green for an input, orange for an output
  bool lit = false;
  bool operator==(const Lamp&) const = default;
};
void LampPanel(QPainter& painter, const QRectF& box, const std::vector<Lamp>& lamps);

}  // namespace brimlink::artwork
