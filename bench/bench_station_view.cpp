// CPU of a station window: the stack magazine's film animating for 5 s,
// beside the same window with its station at rest for 5 s while its host
// still calls StationChanged() every frame (as brimlink-sim does). Both run
// on the offscreen platform's raster backing store, so painting costs what it
// costs on a screen without the compositor. Prints one line per figure.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "tools/station/StackMagazine.h"
#include "tools/station_view/StationFilm.h"
#include "tools/station_view/StationView.h"

namespace sv = brimlink::stationview;

namespace {

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs the event loop for `seconds` and returns the CPU share it took.
double CpuShareOver(double seconds) {
  const double cpu = ProcessCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  QTimer::singleShot(static_cast<int>(seconds * 1000), qApp, &QCoreApplication::quit);
  QApplication::exec();
  return (ProcessCpuSeconds() - cpu) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  constexpr double kSeconds = 5;

  {
    sv::StationFilm film(sv::StationKind::Stack);
    film.resize(800, 600);
    film.show();
    const int before = film.View().PaintCount();
    const double share = CpuShareOver(kSeconds);
    std::printf("animating (stack magazine film, 800x600): %.1f %% of a core, %.1f paints/s, frame timer %d ms\n",
                share * 100, (film.View().PaintCount() - before) / kSeconds, film.FrameInterval());
  }
  {
    brimlink::station::StackMagazine magazine;
    sv::StationView view(magazine, sv::StationKind::Stack);
    view.resize(800, 600);
    view.show();
    QTimer frames;
    QObject::connect(&frames, &QTimer::timeout, [&] {
      magazine.Advance(std::chrono::milliseconds(16));
      view.StationChanged();
    });
    frames.start(16);
    QApplication::processEvents();
    const int before = view.PaintCount();
    const double share = CpuShareOver(kSeconds);
    std::printf("at rest (same window, host ticking every 16 ms): %.2f %% of a core, %.1f paints/s\n", share * 100,
                (view.PaintCount() - before) / kSeconds);
  }
  return 0;
}
