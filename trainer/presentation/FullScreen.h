// The full-screen view of a station's numbered overview photograph with the
// description window on top of it, opened by a click on the main window's
// station photograph.
//
// Threads: GUI thread only.
#pragma once

#include <QLabel>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trainer/core/StationModel.h"
#include "trainer/core/Widgets.h"

namespace brimlink::trainer {

class Main;
class Beschrijving;

struct PhotoRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PhotoRect&, const PhotoRect&) = default;
};

// Where a W x H photograph goes on an SW x SH screen (pixels): scaled by the
// smaller of SW / W and SH / H so that all of it stays on the screen, touching
// the left and right edges when the width is the limit, else the top and
// bottom edges (also when both limits are equal), and centred on the other
// axis. A photograph without size fills the screen.
PhotoRect FitPhotograph(int W, int H, int SW, int SH);

// Where the description window goes over a station's overview photograph:
// on the screen and clear of every numbered component, so that the pupil
// sees the part whose description is read. The areas are those of the
// photographs tools/artwork draws (Overviews.cpp): per number the box round
// the component and the box round its numbered badge (the thin leader
// between them may be covered); a test checks them against the committed
// pictures.
//
// The numbered components of a single station's overview and their badges
// (two boxes per number) as fractions of the photograph (0..1 across and
// down); empty for the other views.
std::vector<QRectF> ComponentAreas(View view);

// The component areas on the screen, for a photograph shown at `photo`.
std::vector<QRect> ComponentAreasOnScreen(View view, const QRect& photo);

// The top-left of the frame (what QWidget::move places for a window) of a
// window of `size` with `frame` round it on `screen` that covers none of the
// components of `view`'s overview shown at `photo`, as close to the
// screen's top-left corner as that allows and kDescriptionMargin from the
// screen's edges. Where no such place exists, the one that covers least of
// them. On a 4:3 screen the photograph fills it and no free place may exist
// (the stack magazine and the handling station at 1024 x 768).
inline constexpr int kDescriptionMargin = 8;
QPoint DescriptionPlace(View view, const QRect& photo, const QRect& screen, const QSize& size,
                        const QMargins& frame);

// The close-up of `number`: the box round its ring and the box round its
// badge, as fractions of the picture; empty where the number has no
// close-up of its own.
std::vector<QRectF> CloseUpAreas(View view, int number);
std::vector<QRect> CloseUpAreasOnScreen(View view, int number, const QRect& photo);

// The top-left of a rectangle of `outer` on `screen`, kDescriptionMargin
// from its edges, that covers none of `avoid`, nearest to `preferred`;
// where none is free, the one that covers least.
QPoint ClearPlace(const std::vector<QRect>& avoid, const QRect& screen, const QSize& outer,
                  const QPoint& preferred);

// The borderless full-screen window. Esc and closing it work like "Sluiten".
class Full_Screen final : public QWidget {
  Q_OBJECT
 public:
  Full_Screen();

  ImageBox* Image_Show_Fullscreen = nullptr;  // stretches its picture to its own size
  QLabel* Picture_Measure_Size = nullptr;     // hidden; sizes itself to its picture

  // Picture literals are resolved under this folder (the data folder when empty).
  std::string dataFolder;

  // Loads the picture a literal names into Image_Show_Fullscreen, which keeps
  // its place and size; a missing file empties it and leaves a trace on
  // standard error. Returns whether a picture is shown.
  bool ShowPicture(std::string_view literal);
  // Loads the photograph into both boxes and fits the image box to the screen.
  void ShowFitted(std::string_view literal, int screenWidth, int screenHeight);
  // The literal of the picture shown ("" when empty).
  const std::string& ShownPicture() const { return shown_; }

  std::function<void()> onClose;
  // The window became the active one while disabled (a click on it, or the
  // window manager); the keyboard belongs to the description window then.
  std::function<void()> onActivatedWhileDisabled;

 protected:
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  std::string shown_;
};

// Where the photo viewer reaches outside itself; tests replace these.
struct PhotoViewerEnvironment {
  // The folder pictures are looked up in; the data folder when empty.
  std::string dataFolder;
  // A message box with only an OK button; a QMessageBox when unset.
  std::function<void(const std::string& text)> showMessage;
};

// Owns Full_Screen and Beschrijving (made on first use, then only shown and
// hidden) and carries out what happens between them and the main window.
class StationPhotoViewer {
 public:
  explicit StationPhotoViewer(Main& main, PhotoViewerEnvironment environment = {});
  ~StationPhotoViewer();
  StationPhotoViewer(const StationPhotoViewer&) = delete;
  StationPhotoViewer& operator=(const StationPhotoViewer&) = delete;

  // Image_Module_Holder_Click: the overview of the selected single station
  // full screen, the description window on top. Nothing for the combined
  // station, the interface panel, or while no station is selected.
  void Open();

  // Option_Nummers_Click of the description window. Where the window would
  // cover the component of the close-up now shown (or a numbered one of the
  // overview that comes back), it moves the shortest way off it.
  void Option_Nummers_Click(int index);
  // "Sluiten": both windows go, the main window comes to the front.
  void CMD_Close_Click();

  // Null until first opened.
  Full_Screen* FullScreenWindow() const { return fullScreen_.get(); }
  Beschrijving* DescriptionWindow() const { return description_.get(); }

 private:
  std::optional<View> SelectedSingleStation() const;
  QRect PhotoOnScreen() const;
  void KeepClearOf(const std::vector<QRect>& areas);
  void ShowMessage(const std::string& text);
  void MakeWindows();

  Main& main_;
  PhotoViewerEnvironment environment_;
  std::unique_ptr<Full_Screen> fullScreen_;
  std::unique_ptr<Beschrijving> description_;
};

}  // namespace brimlink::trainer
