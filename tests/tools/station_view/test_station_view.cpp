// The station window: it paints only when what it draws changed, a frame
// shows a moved cylinder and a lit lamp, and the film runs its timer only
// while shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>

#include "tools/artwork/Drawing.h"
#include "tools/station/Conveyor.h"
#include "tools/station/HandlingStation.h"
#include "tools/station/StackMagazine.h"
#include "tools/station_view/StationFilm.h"
#include "tools/station_view/StationView.h"

namespace brimlink::stationview {
namespace {

using station::Millis;

// The widget application every test shares, gone before the program's exit
// handlers run (a static one would be destroyed after Qt's own statics).
class WidgetApplication : public ::testing::Environment {
public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "station_view_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

private:
  std::unique_ptr<QApplication> app_;
};
// GoogleTest owns the environment.
[[maybe_unused]] ::testing::Environment* const kApplication =
    ::testing::AddGlobalTestEnvironment(new WidgetApplication);

void Application() { ASSERT_NE(QCoreApplication::instance(), nullptr); }

void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

QImage Frame(const station::Station& model, StationKind kind) {
  QImage image(QSize(655, 373), QImage::Format_RGB32);
  QPainter painter(&image);
  DrawStation(painter, SceneOf(model, kind), QRectF(image.rect()));
  return image;
}

TEST(StationView, PaintsOnlyWhenWhatItDrawsChanged) {
  Application();
  station::StackMagazine magazine;
  StationView view(magazine, StationKind::Stack);
  view.resize(800, 600);
  view.show();
  Settle();
  const int shown = view.PaintCount();
  ASSERT_GE(shown, 1);

  // At rest: telling it again and again draws nothing.
  for (int i = 0; i < 20; ++i) {
    magazine.Advance(Millis(16));
    view.StationChanged();
  }
  Settle();
  EXPECT_EQ(view.PaintCount(), shown);

  // A lamp: the output alone changes the drawing before anything moves.
  magazine.SetOutputs(1);
  view.StationChanged();
  Settle();
  EXPECT_EQ(view.PaintCount(), shown + 1);
  EXPECT_EQ(view.Painted().outputs, 1);

  // Moving: several changes before the event loop runs fold into one paint.
  for (int i = 0; i < 5; ++i) {
    magazine.Advance(Millis(16));
    view.StationChanged();
  }
  Settle();
  EXPECT_EQ(view.PaintCount(), shown + 2);
  EXPECT_GT(view.Painted().stack.push, 0.0);

  // Out and at rest again: quiet.
  magazine.Advance(Millis(1000));
  view.StationChanged();
  Settle();
  const int arrived = view.PaintCount();
  view.StationChanged();
  Settle();
  EXPECT_EQ(view.PaintCount(), arrived);
}

TEST(StationView, AFrameShowsAMovedCylinderALitLampAndAPart) {
  Application();
  station::StackMagazine magazine;
  const QImage rest = Frame(magazine, StationKind::Stack);
  EXPECT_EQ(Frame(magazine, StationKind::Stack), rest) << "the same state draws the same frame";
  magazine.SetOutputs(4);  // the press's valve: its lamp lights at once
  const QImage lamp = Frame(magazine, StationKind::Stack);
  EXPECT_NE(lamp, rest);
  magazine.Advance(Millis(200));  // the press on its way down
  EXPECT_NE(Frame(magazine, StationKind::Stack), lamp);

  station::HandlingStation handling;
  const QImage before = Frame(handling, StationKind::Handling);
  handling.SetOutputs(16);  // the gripper closes where nothing is to take
  handling.SetOutputs(0);
  EXPECT_EQ(Frame(handling, StationKind::Handling), before);

  station::Conveyor belt;
  const QImage empty = Frame(belt, StationKind::Belt);
  belt.PutPart(station::Material::Metal);
  const QImage metal = Frame(belt, StationKind::Belt);
  EXPECT_NE(metal, empty);
  station::Conveyor other;
  other.PutPart(station::Material::Plastic);
  EXPECT_NE(Frame(other, StationKind::Belt), metal) << "metal and plastic look different";
}

TEST(StationView, TheDrawingKeepsItsAspectInAnyWindow) {
  Application();
  station::StackMagazine magazine;
  const StationScene scene = SceneOf(magazine, StationKind::Stack);
  for (const QSize size : {QSize(1310, 373), QSize(655, 746), QSize(200, 100)}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    DrawStation(painter, scene, QRectF(image.rect()));
    painter.end();
    EXPECT_FALSE(image.pixelColor(0, 0) == QColor(Qt::magenta)) << "the whole window is painted";
    // The title band's dark blue is where the scaled picture starts.
    const double scale = std::min(size.width() / kSceneSize.width(), size.height() / kSceneSize.height());
    const int left = static_cast<int>((size.width() - kSceneSize.width() * scale) / 2);
    const int top = static_cast<int>((size.height() - kSceneSize.height() * scale) / 2);
    EXPECT_EQ(image.pixelColor(left + 2, top + 2), artwork::ink::kTitle) << size.width() << "x" << size.height();
    if (left > 2) {
      EXPECT_EQ(image.pixelColor(left - 2, top + 2), artwork::ink::kBackground);
    }
  }
}

TEST(StationFilm, RunsAtTheFrameRateOnlyWhileShown) {
  Application();
  StationFilm film(StationKind::Handling);
  EXPECT_FALSE(film.Running());
  film.show();
  Settle();
  EXPECT_TRUE(film.Running());
  EXPECT_GE(film.FrameInterval(), 1);
  EXPECT_LE(film.FrameInterval(), 50);
  film.hide();
  EXPECT_FALSE(film.Running());
  const uint16_t outputs = film.Model().Outputs();
  const int paints = film.View().PaintCount();
  Settle();
  EXPECT_EQ(film.Model().Outputs(), outputs);
  EXPECT_EQ(film.View().PaintCount(), paints);
  film.Play(Millis(3000));  // what the frames would have played
  EXPECT_NE(film.Model().Outputs(), outputs);
}

}  // namespace
}  // namespace brimlink::stationview
