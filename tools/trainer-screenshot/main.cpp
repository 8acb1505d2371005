// trainer-screenshot: shows the trainer's main window as the program does,
// clicks buttons by object name in the order given, waits and saves the
// window to a PNG file. Messages the trainer would show in a box are printed
// on standard error instead, so nothing waits for a user.
#include <QAbstractButton>
#include <QApplication>
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

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: trainer-screenshot [--click NAME]... [--wait MS] FILE.png\n"
    "Shows the trainer's main window, clicks the buttons named (Qt object names such as\n"
    "CMD_Verbinding, CMD_StapelMagazijn, CMD_SetReset_0) one after the other, waits MS\n"
    "milliseconds (default 1500) and saves the window to FILE.png.\n";

struct Arguments {
  std::vector<std::string> clicks;
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
      result.clicks.push_back(value());
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
  window.show();
  Pump(300);

  for (const std::string& name : arguments.clicks) {
    auto* button = window.findChild<QAbstractButton*>(QString::fromStdString(name));
    if (button == nullptr) {
      std::fprintf(stderr, "trainer-screenshot: the window has no button named '%s'\n", name.c_str());
      return kExitFailure;
    }
    if (!button->isEnabled()) std::fprintf(stderr, "trainer-screenshot: '%s' is disabled; clicked anyway\n", name.c_str());
    button->click();
    Pump(300);
  }
  Pump(arguments.waitMilliseconds);

  if (!window.grab().save(QString::fromStdString(arguments.output), "PNG")) {
    std::fprintf(stderr, "trainer-screenshot: cannot write '%s'\n", arguments.output.c_str());
    return kExitFailure;
  }
  std::printf("%s: %dx%d\n", arguments.output.c_str(), window.width(), window.height());
  return 0;
}
