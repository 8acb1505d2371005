// brimlink-station-pictures OUTDIR: saves each station window as it looks a
// few seconds into its film (docs/station-*.png are made with it), and with
// --time prints the CPU time one frame takes to draw at 800x600 (CPU rather
// than wall time, so other work on the machine does not count).
#include <QCoreApplication>
#include <QDir>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <ctime>

#include "tools/station_view/StationCycle.h"
#include "tools/station_view/StationFilm.h"
#include "tools/station_view/StationScene.h"

namespace sv = brimlink::stationview;

namespace {

struct Shot {
  sv::StationKind kind;
  const char* file;
  brimlink::station::Millis into;  // a moment with something to see
};

constexpr Shot kShots[] = {
    {sv::StationKind::Stack, "station-stack.png", brimlink::station::Millis(2900)},
    {sv::StationKind::Belt, "station-belt.png", brimlink::station::Millis(6600)},
    {sv::StationKind::Handling, "station-handling.png", brimlink::station::Millis(2350)},
    {sv::StationKind::BeltHandling, "station-belt-handling.png", brimlink::station::Millis(9250)},
};

double ProcessCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

QImage Render(sv::StationFilm& film, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  sv::DrawStation(painter, sv::SceneOf(film.Model(), film.View().Kind()), QRectF(QPointF(0, 0), QSizeF(size)));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: brimlink-station-pictures OUTDIR | --time\n");
    return 2;
  }
  if (arguments[1] == QLatin1String("--time")) {
    for (const Shot& shot : kShots) {
      sv::StationFilm film(shot.kind);
      film.Play(shot.into);
      constexpr int kFrames = 200;
      const double start = ProcessCpuMs();
      for (int i = 0; i < kFrames; ++i) Render(film, QSize(800, 600));
      std::printf("%s: %.2f ms CPU per 800x600 frame\n", shot.file, (ProcessCpuMs() - start) / kFrames);
    }
    return 0;
  }
  const QDir out(arguments[1]);
  for (const Shot& shot : kShots) {
    sv::StationFilm film(shot.kind);
    film.Play(shot.into);
    const QString path = out.filePath(QString::fromLatin1(shot.file));
    if (!Render(film, (sv::kSceneSize * 1.5).toSize()).save(path)) {
      std::fprintf(stderr, "brimlink-station-pictures: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
