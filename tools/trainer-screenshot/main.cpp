// trainer-screenshot: shows the trainer's main window as the program does,
// clicks buttons and pictures by object name, moves the mouse over controls
// and resizes the window, in the order given, waits and saves the window (or
// the whole screen) to a PNG file. Messages the trainer would show in a box are printed
// on standard error instead, so nothing waits for a user.
#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trainer/core/Main.h"
#include "trainer/core/Widgets.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: trainer-screenshot [--click NAME | --hover NAME | --resize WxH]... [--wait MS]\n"
    "                          [--screen] FILE.png\n"
    "Shows the trainer's main window and, in the order given, clicks the buttons or\n"
    "pictures named (Qt object names such as CMD_Verbinding, CMD_SetReset_0,\n"
    "Image_Module_Holder), moves the mouse over the controls named, or resizes the window;\n"
    "then waits MS milliseconds (default 1500) and saves the window to FILE.png, or with\n"
    "--screen the whole screen (other windows included), with the trainer at its top left.\n";

enum class StepKind { Click, Hover, Resize };

struct Step {
  StepKind kind;
  std::string value;
};

struct Arguments {
  std::vector<Step> steps;
  bool screen = false;
  int waitMilliseconds = 1500;
  std::string output;
  std::string error;
  bool help = false;
};

Arguments Parse(int argc, char** argv) {
  Arguments result;
  for (int i = 1; i < argc && result.error.empty(); ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 < argc) return argv[++i];
      result.error = std::string(arg) + " needs a value";
      return {};
    };
    if (arg == "-h" || arg == "--help") {
      result.help = true;
    } else if (arg == "--click") {
      result.steps.push_back({StepKind::Click, value()});
    } else if (arg == "--hover") {
      result.steps.push_back({StepKind::Hover, value()});
    } else if (arg == "--resize") {
      result.steps.push_back({StepKind::Resize, value()});
    } else if (arg == "--screen") {
      result.screen = true;
    } else if (arg == "--wait") {
      const std::string text = value();
      try {
        std::size_t used = 0;
        result.waitMilliseconds = std::stoi(text, &used);
        if (used != text.size() || result.waitMilliseconds < 0) throw std::invalid_argument(text);
      } catch (const std::exception&) {
        if (result.error.empty()) result.error = "--wait needs a number of milliseconds, not '" + text + "'";
      }
    } else if (arg.starts_with('-')) {
      result.error = "unknown option '" + std::string(arg) + "'";
    } else if (result.output.empty()) {
      result.output = arg;
    } else {
      result.error = "more than one output file";
    }
  }
  if (result.error.empty() && !result.help && result.output.empty()) result.error = "no output file given";
  return result;
}

// Lets the window and the control handle their events for a while.
void Pump(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments arguments = Parse(argc, argv);
  if (arguments.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!arguments.error.empty()) {
    std::fprintf(stderr, "trainer-screenshot: %s\n%s", arguments.error.c_str(), kUsage);
    return kExitUsage;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("BrimlinkMini Sorvik"));

  brimlink::trainer::MainEnvironment environment;
  environment.showMessage = [](const std::string& title, const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
      if (c == '\r') c = '\n';
    }
    std::fprintf(stderr, "trainer-screenshot: message \"%s\":\n%s\n", title.c_str(), shown.c_str());
  };
  environment.quit = [] {};

  brimlink::trainer::Main window(std::move(environment));
  // On a whole-screen picture other programs' windows (a simulated station's,
  // placed from the right) stand beside the trainer rather than under it.
  if (arguments.screen) window.move(window.screen()->availableGeometry().topLeft());
  window.show();
  Pump(300);

  for (const Step& step : arguments.steps) {
    if (step.kind == StepKind::Resize) {
      int width = 0;
      int height = 0;
      if (std::sscanf(step.value.c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "trainer-screenshot: --resize needs WIDTHxHEIGHT, not '%s'\n", step.value.c_str());
        return kExitUsage;
      }
      window.resize(width, height);
      Pump(300);
      continue;
    }
    // The main window's controls first, then those of its other windows.
    const QString name = QString::fromStdString(step.value);
    auto* widget = window.findChild<QWidget*>(name);
    for (QWidget* candidate : QApplication::allWidgets()) {
      if (widget != nullptr) break;
      if (candidate->objectName() == name) widget = candidate;
    }
    if (widget == nullptr) {
      std::fprintf(stderr, "trainer-screenshot: the window has no control named '%s'\n", step.value.c_str());
      return kExitFailure;
    }
    if (step.kind == StepKind::Hover) {
      const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
      QMouseEvent move(QEvent::MouseMove, centre, widget->mapToGlobal(centre), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
      QApplication::sendEvent(widget, &move);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      if (!button->isEnabled()) std::fprintf(stderr, "trainer-screenshot: '%s' is disabled; clicked anyway\n", step.value.c_str());
      button->click();
    } else if (auto* image = qobject_cast<brimlink::trainer::ImageBox*>(widget)) {
      emit image->clicked();
    } else {
      std::fprintf(stderr, "trainer-screenshot: '%s' cannot be clicked\n", step.value.c_str());
      return kExitFailure;
    }
    Pump(300);
  }
  Pump(arguments.waitMilliseconds);

  const QPixmap picture = arguments.screen && QGuiApplication::primaryScreen() != nullptr
                              ? QGuiApplication::primaryScreen()->grabWindow(0)
                              : window.grab();
  if (!picture.save(QString::fromStdString(arguments.output), "PNG")) {
    std::fprintf(stderr, "trainer-screenshot: cannot write '%s'\n", arguments.output.c_str());
    return kExitFailure;
  }
  std::printf("%s: %dx%d\n", arguments.output.c_str(), picture.width(), picture.height());
  return 0;
}
