// A window that draws a simulated station in the style of the trainer's
// station pictures: cylinders where they are, parts where they lie, a lamp per
// sensor (green while on) and per output (orange while on), labelled with the
// trainer's names. The drawing keeps its aspect and scales with the window.
//
// The view only reads the station; whoever owns the station advances it and
// calls StationChanged() afterwards. A repaint is scheduled only when what
// would be drawn differs from what was painted last, so a station at rest
// costs nothing, and Qt folds the updates of one frame into one paint.
// Everything here runs on the GUI thread, as does every call on the station.
#pragma once

#include <QWidget>

#include "tools/station/Station.h"
#include "tools/station_view/StationScene.h"

namespace brimlink::stationview {

class StationView : public QWidget {
public:
  // `station` must outlive the view; `kind` says which concrete model it is
  // (StackMagazine, Conveyor, HandlingStation, CombinedStation).
  StationView(const station::Station& station, StationKind kind, QWidget* parent = nullptr);

  // Call after anything changed the station (outputs, time, faults, reset).
  void StationChanged();

  // What the last paint drew, and how many paints ran (for tests and
  // benches that check the view rests when the station does).
  const StationScene& Painted() const { return painted_; }
  int PaintCount() const { return paintCount_; }

  StationKind Kind() const { return kind_; }
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  const station::Station& station_;
  StationKind kind_;
  StationScene scheduled_;  // what the pending or last repaint shows
  StationScene painted_;
  int paintCount_ = 0;
};

}  // namespace brimlink::stationview
