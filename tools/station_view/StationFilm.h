// "Filmpje" without a video: a window that plays a station's working cycle by
// itself on a model of its own, drawn by a StationView. It advances the model
// once per screen frame while it is shown and not at all while hidden.
// GUI thread only.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "tools/station/Station.h"
#include "tools/station_view/StationCycle.h"
#include "tools/station_view/StationView.h"

namespace brimlink::stationview {

class StationFilm : public QWidget {
  Q_OBJECT

public:
  explicit StationFilm(StationKind kind, QWidget* parent = nullptr);
  ~StationFilm() override;

  // Plays `dt` at once (what each frame does with the time since the last
  // one); tests and the screenshot tool call it directly.
  void Play(station::Millis dt);

  const station::Station& Model() const { return *model_; }
  const StationCycle& Cycle() const { return cycle_; }
  StationView& View() { return *view_; }
  bool Running() const { return timer_.isActive(); }
  // The frame interval the timer runs at: the screen's refresh rate.
  int FrameInterval() const { return timer_.interval(); }

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void Frame();

  std::unique_ptr<station::Station> model_;
  StationCycle cycle_;
  // Owned here although it is also this widget's child, so that it goes
  // before the model it reads (QWidget would delete it only after the
  // members); a child deleted first leaves its parent's list by itself.
  std::unique_ptr<StationView> view_;
  QTimer timer_;
  QElapsedTimer clock_;
};

}  // namespace brimlink::stationview
