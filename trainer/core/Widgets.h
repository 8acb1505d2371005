// The few kinds of control the main window needs beyond Qt's own: a lamp (a
// filled circle with a dark border), an image box that stretches its picture
// into its box, and a button that reports mouse movement even while the
// mouse button is up.
//
// Threads: GUI thread only.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include "trainer/core/VbColour.h"

namespace brimlink::trainer {

class Lamp final : public QWidget {
  Q_OBJECT
 public:
  explicit Lamp(QWidget* parent = nullptr);
  void SetFillColour(VbColour value);
  VbColour FillColour() const { return fill_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  VbColour fill_ = vb::kGrey;
};

// An image control: shows its picture stretched into its box; an empty
// picture shows nothing.
class ImageBox final : public QLabel {
  Q_OBJECT
 public:
  explicit ImageBox(QWidget* parent = nullptr);
  // Loads the file a picture literal names (see DataFolders); a picture that
  // cannot be loaded leaves the box empty and a warning on standard error.
  // Returns whether a picture is shown.
  bool LoadPicture(std::string_view literal);
  void SetPicture(const QPixmap& picture);
  void Clear();
  bool HasPicture() const { return !picture_.isNull(); }
  // The literal last loaded ("" when empty): lets tests see what is shown.
  const std::string& Literal() const { return literal_; }

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
  std::string literal_;
};

}  // namespace brimlink::trainer
