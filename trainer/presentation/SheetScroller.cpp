// VerschuifTekst and the scroll animation of the lesson sheet.
#include "trainer/presentation/SheetScroller.h"

#include <algorithm>
#include <cmath>

#include "trainer/core/Layout.h"
#include "trainer/core/Main.h"

namespace brimlink::trainer {

SheetScroller::SheetScroller(Main& main) : main_(main) {
  timer_.setInterval(kTick);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Step(); });
}

SheetScroller::~SheetScroller() = default;

SheetScroller& SheetScroller::Of(Main& main) {
  if (main.sheetScroller_ == nullptr) main.sheetScroller_ = std::make_unique<SheetScroller>(main);
  return *main.sheetScroller_;
}

double SheetScroller::VisibleTop() const { return Animating() ? visible_ : main_.pictureTekstTop; }

void SheetScroller::ScrollBy(int distance) {
  Follow();
  from_ = VisibleTop();
  visible_ = from_;
  main_.pictureTekstTop += distance;
  target_ = main_.pictureTekstTop;
  if (main_.PictureTekst == nullptr) return;
  if (duration_.count() <= 0) {
    timer_.stop();
    PlaceSheet(main_);
    return;
  }
  placedY_ = main_.PictureTekst->y();
  clock_.start();
  timer_.start();
}

void SheetScroller::Follow() {
  if (!Animating()) return;
  const bool moved = main_.PictureTekst == nullptr || main_.PictureTekst->y() != placedY_;
  if (main_.pictureTekstTop == target_ && !moved) return;
  Stop();
}

void SheetScroller::Step() {
  Follow();
  if (!Animating()) return;
  const double fraction =
      std::clamp(static_cast<double>(clock_.elapsed()) / static_cast<double>(duration_.count()), 0.0, 1.0);
  if (fraction >= 1.0) {
    Stop();
    return;
  }
  // Eases in and out, so the text starts and stops softly.
  const double eased = fraction * fraction * (3.0 - 2.0 * fraction);
  Place(from_ + (target_ - from_) * eased);
}

void SheetScroller::Place(double top) {
  visible_ = top;
  QWidget* sheet = main_.PictureTekst;
  placedY_ = static_cast<int>(std::lround(top / Main::kTwipsPerPixel));
  sheet->move(sheet->x(), placedY_);
  // Painted now, not whenever the queue gets to it.
  if (main_.PictureTekstKader != nullptr) main_.PictureTekstKader->repaint();
}

void SheetScroller::Stop() {
  timer_.stop();
  visible_ = main_.pictureTekstTop;
  PlaceSheet(main_);
  if (main_.PictureTekstKader != nullptr) main_.PictureTekstKader->repaint();
}

void Main::VerschuifTekst(int upDown) {
  int distance = 0;
  if (upDown == 0) {
    distance = -kPanelStep;
  } else if (upDown == 1) {
    distance = kPanelStep;
  } else {
    return;
  }
  SheetScroller::Of(*this).ScrollBy(distance);
}

}  // namespace brimlink::trainer
