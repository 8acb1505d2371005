#include "trainer/presentation/DesignGeometry.h"

#include <QResizeEvent>
#include <algorithm>
#include <cmath>

#include "trainer/core/Main.h"
#include "trainer/presentation/SheetScroller.h"

namespace brimlink::trainer {

DesignGeometry::DesignGeometry(Main& main) : main_(main) {
  for (const LayoutRow& row : DesignLayout()) {
    // A design row without its control on the window is skipped on its own.
    QWidget* control = main_.findChild<QWidget*>(QString::fromStdString(row.name));
    if (control == nullptr) continue;
    controls_.push_back({control, row});
  }
  const QFont windowFont = main_.font();
  const double windowPoints =
      windowFont.pixelSize() > 0 ? windowFont.pixelSize() * 72.0 / 96.0 : windowFont.pointSizeF();
  window_ = {nullptr, {"Main", 0, 0, kDesignClientWidth, kDesignClientHeight, std::max(0.0, windowPoints)}};
  if (main_.CMD_ResetAlles != nullptr) resetIconSize_ = main_.CMD_ResetAlles->iconSize();
}

DesignGeometry::~DesignGeometry() = default;

void DesignGeometry::Apply(QSize clientPixels) {
  if (clientPixels.width() <= 0 || clientPixels.height() <= 0) return;
  const double sx = clientPixels.width() * Main::kTwipsPerPixel / window_.design.width;
  const double sy = clientPixels.height() * Main::kTwipsPerPixel / window_.design.height;

  for (const ControlPos& entry : controls_) {
    QWidget* control = entry.control.data();
    if (control == nullptr) continue;
    if (control == main_.PictureTekst) {
      // The lesson text is printed at absolute positions and sizes: the sheet
      // keeps its font, and never gets shorter than designed, so that every
      // panel stays on it; the viewport around it scales and clips.
      LayoutRow sheet = entry.design;
      sheet.fontPoints = 0;
      sheet.height = std::max(sheet.height, sheet.height / sy);
      ApplyLayoutRow(control, sheet, sx, sy);
      continue;
    }
    ApplyLayoutRow(control, entry.design, sx, sy);
  }

  // The stop sign grows and shrinks with its button.
  if (main_.CMD_ResetAlles != nullptr && resetIconSize_.isValid()) {
    const double factor = std::min(sx, sy);
    const auto scaled = [factor](int pixels) { return std::max(1, static_cast<int>(std::lround(pixels * factor))); };
    main_.CMD_ResetAlles->setIconSize(QSize(scaled(resetIconSize_.width()), scaled(resetIconSize_.height())));
  }
  // The control's own window fills its holder.
  if (main_.Brimlink1 != nullptr) {
    for (QWidget* child : main_.Brimlink1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (child->isWindow()) continue;
      child->setGeometry(main_.Brimlink1->rect());
    }
  }
}

// Form_Resize: every control from the captured design, the lesson text back
// at its first panel and redrawn, the focus on the interface button.
void Main::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Start-up captures the design before the window is first shown.
  if (!designGeometry_) return;
  designGeometry_->Apply(event->size());
  pictureTekstTop = 0;
  PlaceSheet(*this);
  // A scroll under way gives way to the first panel.
  if (sheetScroller_) sheetScroller_->Follow();
  PlaatsTekst();
  if (CMD_Interfacing != nullptr) CMD_Interfacing->setFocus();
}

}  // namespace brimlink::trainer
