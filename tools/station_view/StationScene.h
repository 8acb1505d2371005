// What the station window draws, taken from a model in one cheap snapshot:
// the artwork's scene of the station plus the input and output words behind
// its lamps. Two equal snapshots draw the same picture, so comparing them
// tells whether a repaint is needed.
#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>
#include <cstdint>

#include "tools/artwork/StationScenes.h"
#include "tools/station/Station.h"

class QPainter;

namespace brimlink::stationview {

enum class StationKind { Stack, Belt, Handling, BeltHandling };

struct StationScene {
  StationKind kind = StationKind::Stack;
  artwork::StackScene stack;        // for Stack
  artwork::BeltScene belt;          // for Belt and BeltHandling
  artwork::HandlingScene handling;  // for Handling and BeltHandling
  uint16_t inputs = 0;
  uint16_t outputs = 0;
  bool operator==(const StationScene&) const = default;
};

// `station` must be the model `kind` names (StackMagazine, Conveyor,
// HandlingStation, CombinedStation).
StationScene SceneOf(const station::Station& station, StationKind kind);

// The station's name as the trainer's pictures title it.
QString StationTitle(StationKind kind);

// The picture and the lamp panel beside it, in these units; DrawStation
// scales them to fit `target` with the aspect kept, centred.
inline constexpr QSizeF kSceneSize{429 + 226, 373};
void DrawStation(QPainter& painter, const StationScene& scene, const QRectF& target);

}  // namespace brimlink::stationview
