#include "tools/station_view/StationScene.h"

#include <QPainter>
#include <algorithm>
#include <vector>

#include "tools/artwork/Drawing.h"
#include "tools/artwork/Pictures.h"
#include "tools/station/CombinedStation.h"
#include "tools/station/Conveyor.h"
#include "tools/station/HandlingStation.h"
#include "tools/station/StackMagazine.h"
#include "trainer/core/StationModel.h"

namespace brimlink::stationview {

namespace {

using artwork::Item;
using artwork::Piece;
using station::Location;
using station::Part;

// Plastic parts alternate red and black as in the pictures; metal is metal.
Item ItemOf(const Part& part) {
  if (part.material == station::Material::Metal) return Item{Piece::Metal, part.pressed};
  return Item{part.id % 2 ? Piece::Red : Piece::Black, part.pressed};
}

// The parts at a place from the bottom (first to arrive) to the top.
std::vector<const Part*> PartsAt(const station::Parts& parts, Location location) {
  std::vector<const Part*> found;
  for (const Part& part : parts.All())
    if (part.location == location) found.push_back(&part);
  std::sort(found.begin(), found.end(), [](const Part* a, const Part* b) { return a->order < b->order; });
  return found;
}

std::vector<Item> ItemsAt(const station::Parts& parts, Location location) {
  std::vector<Item> items;
  for (const Part* part : PartsAt(parts, location)) items.push_back(ItemOf(*part));
  return items;
}

bool Bit(uint16_t word, int bit) { return (word >> bit) & 1u; }

artwork::StackScene StackOf(const station::StackMagazine& model) {
  artwork::StackScene scene;
  const station::Parts& parts = model.AllParts();
  scene.push = model.Push().Position();
  scene.press = model.Press().Position();
  scene.magazine = ItemsAt(parts, Location::Magazine);
  const std::vector<Item> plate = ItemsAt(parts, Location::Plate);
  scene.plate = plate.empty() ? std::nullopt : std::optional<Item>(plate.back());
  scene.pushedOff = ItemsAt(parts, Location::End);
  // While the valve drives the pusher out, the lowest part rides on its rod
  // until it arrives at the plate (where the model moves it).
  const uint16_t outputs = model.Outputs();
  const bool drivingOut = Bit(outputs, 0) && !Bit(outputs, 1);
  if (drivingOut && !model.Push().Extended() && !model.CurrentFaults().partMissing && !scene.magazine.empty())
    scene.carried = 115 * scene.push;
  scene.pushSwitch.reset();
  scene.pressSwitch = Bit(model.Inputs(), 0);
  return scene;
}

// Belt places in micrometres to x along the drawn belt (roller to roller).
double BeltX(const station::BeltLayout& layout, int64_t um) {
  const double fraction = std::clamp(static_cast<double>(um) / static_cast<double>(layout.lengthUm), 0.0, 1.0);
  return 51 + fraction * 284;
}

artwork::BeltScene BeltOf(const station::Conveyor& model, uint16_t inputs, uint16_t outputs, bool endTray) {
  artwork::BeltScene scene;
  const station::BeltLayout& layout = model.Layout();
  const station::Parts& parts = model.AllParts();
  scene.belt.clear();
  for (const Part* part : PartsAt(parts, Location::Belt))
    scene.belt.push_back({BeltX(layout, part->beltPositionUm), ItemOf(*part)});
  scene.chute = ItemsAt(parts, Location::Chute);
  scene.endTray = endTray;
  if (endTray) scene.atEnd = ItemsAt(parts, Location::End);
  scene.stopperDown = Bit(outputs, 0);
  scene.opticalX = BeltX(layout, layout.opticalUm);
  scene.inductiveX = BeltX(layout, layout.inductiveUm);
  scene.stopperX = BeltX(layout, layout.stopperUm);
  scene.inductive = Bit(inputs, 0);
  scene.optical = Bit(inputs, 1);
  scene.motor = Bit(outputs, 1);
  return scene;
}

artwork::HandlingScene HandlingOf(const station::HandlingStation& model, uint16_t inputs, uint16_t outputs) {
  artwork::HandlingScene scene;
  const station::Parts& parts = model.AllParts();
  scene.horizontal = model.Horizontal().Position();
  scene.vertical = model.Vertical().Position();
  scene.closed = model.GripperClosed();
  scene.front = ItemsAt(parts, Location::End);
  scene.back = ItemsAt(parts, Location::Plate);
  const std::vector<Item> held = ItemsAt(parts, Location::Gripper);
  scene.held = held.empty() ? std::nullopt : std::optional<Item>(held.back());
  for (int i = 0; i < 4; ++i) scene.switches[static_cast<size_t>(i)] = Bit(inputs, i);
  scene.valves = {Bit(outputs, 0) || Bit(outputs, 1), Bit(outputs, 2) || Bit(outputs, 3), Bit(outputs, 4)};
  scene.backPlace = true;
  return scene;
}

// The lamps: which bit of which word, and the trainer's name for it.
struct LampSource {
  int bit;
  bool input;
  std::string label;
};

std::vector<LampSource> LampSources(StationKind kind) {
  static const trainer::NameTables names = trainer::BuildNameTables();
  std::vector<LampSource> lamps;
  const auto add = [&](const trainer::NameTable& table, int count, bool input, int firstBit) {
    for (int i = 0; i < count; ++i) lamps.push_back({firstBit + i, input, table[static_cast<size_t>(i)]});
  };
  switch (kind) {
    case StationKind::Stack:
      add(names.ingangenStapelmagazijn, 1, true, 0);
      add(names.uitgangenStapelmagazijn, 3, false, 0);
      break;
    case StationKind::Belt:
      add(names.ingangenTransportband, 2, true, 0);
      add(names.uitgangenTransportband, 3, false, 0);
      break;
    case StationKind::Handling:
      add(names.ingangenHandling, 4, true, 0);
      add(names.uitgangenHandling, 5, false, 0);
      break;
    case StationKind::BeltHandling:
      add(names.ingangenTransportband, 2, true, 0);
      add(names.ingangenHandling, 4, true, 3);
      add(names.uitgangenTransportband, 3, false, 0);
      add(names.uitgangenHandling, 5, false, 3);
      break;
  }
  return lamps;
}

}  // namespace

StationScene SceneOf(const station::Station& model, StationKind kind) {
  StationScene scene;
  scene.kind = kind;
  scene.inputs = model.Inputs();
  scene.outputs = model.Outputs();
  switch (kind) {
    case StationKind::Stack:
      scene.stack = StackOf(static_cast<const station::StackMagazine&>(model));
      break;
    case StationKind::Belt:
      scene.belt = BeltOf(static_cast<const station::Conveyor&>(model), scene.inputs, scene.outputs, true);
      break;
    case StationKind::Handling:
      scene.handling = HandlingOf(static_cast<const station::HandlingStation&>(model), scene.inputs, scene.outputs);
      break;
    case StationKind::BeltHandling: {
      const auto& combined = static_cast<const station::CombinedStation&>(model);
      scene.belt = BeltOf(combined.Belt(), scene.inputs, scene.outputs, false);
      scene.handling = HandlingOf(combined.Handling(), static_cast<uint16_t>(scene.inputs >> 3),
                                  static_cast<uint16_t>(scene.outputs >> 3));
      break;
    }
  }
  return scene;
}

QString StationTitle(StationKind kind) {
  switch (kind) {
    case StationKind::Stack:
      return QStringLiteral("Stapel magazijn");
    case StationKind::Belt:
      return QStringLiteral("Transportband");
    case StationKind::Handling:
      return QStringLiteral("Station handling");
    case StationKind::BeltHandling:
      return QStringLiteral("Transportband en Station handling");
  }
  return {};
}

void DrawStation(QPainter& painter, const StationScene& scene, const QRectF& target) {
  painter.fillRect(target, artwork::ink::kBackground);
  if (target.isEmpty()) return;
  const double scale = std::min(target.width() / kSceneSize.width(), target.height() / kSceneSize.height());
  painter.save();
  artwork::Prepare(painter);
  painter.translate(target.center());
  painter.scale(scale, scale);
  painter.translate(-kSceneSize.width() / 2, -kSceneSize.height() / 2);
  painter.setClipRect(QRectF(QPointF(0, 0), kSceneSize));
  switch (scene.kind) {
    case StationKind::Stack:
      artwork::DrawStackMagazineScene(painter, scene.stack);
      break;
    case StationKind::Belt:
      artwork::DrawConveyorScene(painter, scene.belt);
      break;
    case StationKind::Handling:
      artwork::DrawHandlingScene(painter, scene.handling);
      break;
    case StationKind::BeltHandling:
      artwork::DrawConveyorWithHandlingScene(painter, scene.belt, scene.handling);
      break;
  }
  artwork::Title(painter, kSceneSize.width(), StationTitle(scene.kind));

  std::vector<artwork::Lamp> lamps;
  for (const LampSource& source : LampSources(scene.kind)) {
    const uint16_t word = source.input ? scene.inputs : scene.outputs;
    lamps.push_back({QString::fromStdString(source.label), source.input, Bit(word, source.bit)});
  }
  artwork::LampPanel(painter, QRectF(435, 42, kSceneSize.width() - 441, kSceneSize.height() - 50), lamps);
  painter.restore();
}

}  // namespace brimlink::stationview
