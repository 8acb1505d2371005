// The captured design of the main window: every control's designed geometry
// and font, from which ReloadPos and the resize handler recompute the window
// at any size, never from the current (already rounded) geometry.
//
// Owned by Main (made by ReloadPos); the controls it points to are Main's
// children and outlive it. Threads: GUI thread only.
#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>
#include <vector>

#include "trainer/core/Layout.h"

namespace brimlink::trainer {

class Main;

class DesignGeometry {
 public:
  // One control as designed: twips and points, kept as floating values so
  // that every resize starts from the design, not from rounded pixels.
  struct ControlPos {
    QPointer<QWidget> control;  // empty for the window's own element
    LayoutRow design;
  };

  // Captures every control of the design that the window has, in the order
  // of the design (containers before their contents), and the window itself
  // as the last element.
  explicit DesignGeometry(Main& main);
  ~DesignGeometry();
  DesignGeometry(const DesignGeometry&) = delete;
  DesignGeometry& operator=(const DesignGeometry&) = delete;

  // Recomputes every control for a client area of clientPixels: geometry by
  // the horizontal and vertical factors, fonts by the vertical one only. An
  // empty client area (a minimised window) leaves the controls as they are.
  void Apply(QSize clientPixels);

  const std::vector<ControlPos>& Controls() const { return controls_; }
  const ControlPos& Window() const { return window_; }

 private:
  Main& main_;
  std::vector<ControlPos> controls_;
  ControlPos window_;
  QSize resetIconSize_;  // the stop sign's designed size, pixels
};

}  // namespace brimlink::trainer
