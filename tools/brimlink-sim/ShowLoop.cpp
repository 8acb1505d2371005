#include "tools/brimlink-sim/ShowLoop.h"

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "tools/station_view/StationView.h"

namespace brimlink::simtool {
namespace {

stationview::StationKind ViewKind(StationKind kind) {
  switch (kind) {
    case StationKind::Stack: return stationview::StationKind::Stack;
    case StationKind::Belt: return stationview::StationKind::Belt;
    case StationKind::Handling: return stationview::StationKind::Handling;
    case StationKind::BeltHandling: return stationview::StationKind::BeltHandling;
  }
  return stationview::StationKind::Stack;
}

// One frame of the screen the window is on, e.g. 16 ms at 60 Hz.
int FrameMs(const QWidget& window) {
  const QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  const double hz = screen != nullptr ? screen->refreshRate() : 0.0;
  if (!(hz >= 10.0 && hz <= 500.0)) return static_cast<int>(SimProgram::kTick.count());
  return std::max(1, static_cast<int>(std::lround(1000.0 / hz)));
}

// Qt ends the process with exit() when the connection to the display breaks
// (the X server went away, the session ended); the links go then too.
SimProgram* runningProgram = nullptr;
void FinishAtExit() {
  if (runningProgram != nullptr) runningProgram->Finish("the display went away", 1);
}

}  // namespace

int RunShowLoop(SimProgram& program, int argc, char** argv) {
  runningProgram = &program;
  std::atexit(FinishAtExit);
  QApplication app(argc, argv);
  int exitCode = 0;
  bool ended = false;
  auto end = [&](const std::string& reason, int code = 0) {
    if (!ended) {
      ended = true;
      exitCode = program.Finish(reason, code);
    }
    app.quit();
  };

  // The windows stand side by side from the screen's top right corner
  // leftwards, so a trainer on the left (scripts/run --demo) stays visible.
  std::vector<std::unique_ptr<stationview::StationView>> windows;
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
  int right = area.right() + 1;
  for (auto& module : program.Modules()) {
    if (!module->station) continue;
    auto view = std::make_unique<stationview::StationView>(module->station->Model(),
                                                           ViewKind(module->station->Kind()));
    view->setWindowTitle(QString::fromUtf8(std::string(StationCaption(module->station->Kind()))) +
                         QString::fromUtf8(" \u2014 COM") + QString::number(module->com));
    view->resize(view->sizeHint().boundedTo(area.size()));
    view->move(std::max(area.left(), right - view->width()), area.top());
    right = view->x();
    view->show();
    module->onStationChanged = [v = view.get()] { v->StationChanged(); };
    windows.push_back(std::move(view));
  }

  // While a station moves the stations advance once a frame; at rest the
  // timer is stopped and nothing runs.
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(windows.empty() ? static_cast<int>(SimProgram::kTick.count()) : FrameMs(*windows.front()));
  auto follow = [&] {
    const bool moving = program.Moving();
    if (moving && !tick.isActive()) tick.start();
    if (!moving && tick.isActive()) tick.stop();
  };
  QObject::connect(&tick, &QTimer::timeout, [&] {
    program.OnTick();
    follow();
  });

  QTimer housekeeping;
  housekeeping.setInterval(static_cast<int>(SimProgram::kHousekeeping.count()));
  QObject::connect(&housekeeping, &QTimer::timeout, [&] { program.Housekeeping(); });
  housekeeping.start();

  QSocketNotifier endSignals(program.SignalFd(), QSocketNotifier::Read);
  QObject::connect(&endSignals, &QSocketNotifier::activated, [&] {
    if (!program.OnSignal()) {
      ended = true;
      app.quit();
    }
  });
  QSocketNotifier wake(program.WakeFd(), QSocketNotifier::Read);
  QObject::connect(&wake, &QSocketNotifier::activated, [&] {
    program.OnWake();
    follow();
  });
  QSocketNotifier console(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&console, &QSocketNotifier::activated, [&] {
    if (!program.OnConsole()) {
      ended = true;
      console.setEnabled(false);
      app.quit();
      return;
    }
    follow();
  });
  // Closing the last station window ends the program like "quit".
  QObject::connect(&app, &QGuiApplication::lastWindowClosed, [&] { end("window closed"); });

  follow();
  app.exec();
  if (!ended) end("");
  windows.clear();
  runningProgram = nullptr;
  return exitCode;
}

}  // namespace brimlink::simtool
