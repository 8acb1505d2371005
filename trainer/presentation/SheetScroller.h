// The lesson sheet's scrolling: VerschuifTekst sets the sheet's logical top
// (Main::pictureTekstTop) to its target at once and animates the visible
// position towards it on a timer, so the window stays responsive while the
// text visibly moves and "Verder" / "Terug" always read an exact panel top.
// When the logical top is set elsewhere meanwhile (a station change), the
// scroll gives way: it stops and the sheet stands at that top.
//
// Owned by Main (made on first use). Threads: GUI thread only.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>

namespace brimlink::trainer {

class Main;

class SheetScroller {
 public:
  explicit SheetScroller(Main& main);
  ~SheetScroller();
  SheetScroller(const SheetScroller&) = delete;
  SheetScroller& operator=(const SheetScroller&) = delete;

  // The window's scroller, made on first use.
  static SheetScroller& Of(Main& main);

  // Moves the logical top by `distance` twips now and the visible sheet
  // after it; a scroll under way continues from where the sheet stands.
  void ScrollBy(int distance);

  // True while the visible sheet is still on its way; "Verder" and "Terug"
  // ignore clicks meanwhile.
  bool Animating() const { return timer_.isActive(); }

  // The visible top in twips (equals the logical top at rest).
  double VisibleTop() const;

  // Ends a scroll whose target is no longer the logical top, or whose sheet
  // was placed by someone else, and leaves the sheet at the logical top.
  void Follow();

  // How long a scroll takes; zero places the sheet at once (for tests that
  // page through the text without waiting).
  void SetDuration(std::chrono::milliseconds duration) { duration_ = duration; }

  static constexpr std::chrono::milliseconds kDefaultDuration{300};
  static constexpr std::chrono::milliseconds kTick{16};

 private:
  void Step();
  void Place(double top);
  void Stop();

  Main& main_;
  QTimer timer_;
  QElapsedTimer clock_;
  std::chrono::milliseconds duration_ = kDefaultDuration;
  double from_ = 0;  // twips
  double visible_ = 0;
  int target_ = 0;
  int placedY_ = 0;  // pixels: where this scroller last put the sheet
};

}  // namespace brimlink::trainer
