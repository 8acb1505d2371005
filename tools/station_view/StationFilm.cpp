#include "tools/station_view/StationFilm.h"

#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "tools/station/CombinedStation.h"
#include "tools/station/Conveyor.h"
#include "tools/station/HandlingStation.h"
#include "tools/station/StackMagazine.h"

namespace brimlink::stationview {

namespace {

std::unique_ptr<station::Station> ModelFor(StationKind kind) {
  switch (kind) {
    case StationKind::Stack:
      return std::make_unique<station::StackMagazine>();
    case StationKind::Belt:
      return std::make_unique<station::Conveyor>();
    case StationKind::Handling:
      return std::make_unique<station::HandlingStation>();
    case StationKind::BeltHandling:
      return std::make_unique<station::CombinedStation>();
  }
  return std::make_unique<station::StackMagazine>();
}

// A frame that comes late (the window was dragged, the machine busy) plays at
// most this much, so the film does not jump.
constexpr station::Millis kLongestFrame{100};

}  // namespace

StationFilm::StationFilm(StationKind kind, QWidget* parent)
    : QWidget(parent), model_(ModelFor(kind)), cycle_(*model_, kind) {
  auto layout = std::make_unique<QVBoxLayout>();
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = std::make_unique<StationView>(*model_, kind);
  layout->addWidget(view_.get());
  setLayout(layout.release());
  setWindowTitle(StationTitle(kind));
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &StationFilm::Frame);
}

StationFilm::~StationFilm() = default;

void StationFilm::Play(station::Millis dt) {
  cycle_.Advance(dt);
  view_->StationChanged();
}

void StationFilm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  const QScreen* where = screen();
  const double rate = where && where->refreshRate() > 1 ? where->refreshRate() : 60.0;
  timer_.setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / rate))));
  clock_.start();
  timer_.start();
}

void StationFilm::hideEvent(QHideEvent* event) {
  timer_.stop();
  QWidget::hideEvent(event);
}

void StationFilm::Frame() {
  const station::Millis elapsed{clock_.restart()};
  Play(std::min(elapsed, kLongestFrame));
}

}  // namespace brimlink::stationview
