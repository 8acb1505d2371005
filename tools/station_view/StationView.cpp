#include "tools/station_view/StationView.h"

#include <QPainter>

namespace brimlink::stationview {

StationView::StationView(const station::Station& station, StationKind kind, QWidget* parent)
    : QWidget(parent), station_(station), kind_(kind), scheduled_(SceneOf(station, kind)) {
  // Every paint covers the whole widget.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setWindowTitle(StationTitle(kind));
  setMinimumSize(kSceneSize.toSize() / 2);
}

QSize StationView::sizeHint() const { return (kSceneSize * 1.25).toSize(); }

void StationView::StationChanged() {
  StationScene now = SceneOf(station_, kind_);
  if (now == scheduled_) return;
  scheduled_ = std::move(now);
  update();
}

void StationView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painted_ = scheduled_;
  ++paintCount_;
  DrawStation(painter, painted_, QRectF(rect()));
}

}  // namespace brimlink::stationview
