#include "trainer/core/Widgets.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <string>

#include "trainer/core/DataFolders.h"

namespace brimlink::trainer {

Lamp::Lamp(QWidget* parent) : QWidget(parent) {}

void Lamp::SetFillColour(VbColour value) {
  if (fill_ == value) return;
  fill_ = value;
  update();
}

void Lamp::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  constexpr double kBorder = 1.5;
  // The whole circle, border included, stays inside the box.
  const double side = std::min(width(), height()) - kBorder;
  if (side <= 0) return;
  const QRectF circle((width() - side) / 2.0, (height() - side) / 2.0, side, side);
  painter.setPen(QPen(QColor(48, 48, 48), kBorder));
  painter.setBrush(ToQColor(fill_));
  painter.drawEllipse(circle);
}

ImageBox::ImageBox(QWidget* parent) : QLabel(parent) {
  setScaledContents(true);
  setAlignment(Qt::AlignCenter);
}

bool ImageBox::LoadPicture(std::string_view literal) {
  const std::string path = ResolveDataFile(literal);
  QPixmap picture;
  if (path.empty()) {
    std::fprintf(stderr, "brimlinkmini-sorvik: picture not found: %.*s\n", static_cast<int>(literal.size()),
                 literal.data());
  } else if (!picture.load(QString::fromStdString(path))) {
    std::fprintf(stderr, "brimlinkmini-sorvik: picture cannot be loaded: %.*s\n", static_cast<int>(literal.size()),
                 literal.data());
    picture = QPixmap();
  }
  if (picture.isNull()) {
    Clear();
    return false;
  }
  SetPicture(picture);
  literal_ = std::string(literal);
  return true;
}

void ImageBox::SetPicture(const QPixmap& picture) {
  picture_ = picture;
  literal_.clear();
  if (picture_.isNull()) {
    QLabel::clear();
  } else {
    setPixmap(picture_);
  }
}

void ImageBox::Clear() {
  picture_ = QPixmap();
  literal_.clear();
  QLabel::clear();
}

void ImageBox::paintEvent(QPaintEvent* event) {
  // Drawn as it is also while the window is disabled (the full-screen view is
  // disabled while the description window is open); a label would grey it.
  if (picture_.isNull()) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(contentsRect(), picture_);
}

void ImageBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    event->accept();
    emit clicked();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

}  // namespace brimlink::trainer
