// brimlinkmini-sorvik: the trainer BrimlinkMini Sorvik, one main window.
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "control/interface/BrimlinkVersion.h"
#include "trainer/core/Main.h"

namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

constexpr const char* kNoDisplay =
    "brimlinkmini-sorvik: there is no display to show the trainer on (neither DISPLAY nor\n"
    "WAYLAND_DISPLAY is set, for example in a console or an SSH session without X forwarding).\n"
    "To see the trainer without a screen:\n"
    "  - run it on a virtual X server:   xvfb-run -a -s \"-screen 0 1280x1024x24\" brimlinkmini-sorvik\n"
    "  - in the source tree, save a picture of its window:   scripts/screenshot trainer.png\n"
    "  - or run it without any window system:   QT_QPA_PLATFORM=offscreen brimlinkmini-sorvik\n";

constexpr const char* kHelp =
    "Usage: brimlinkmini-sorvik [Qt options]\n"
    "  or:  brimlinkmini-sorvik --help|--version\n"
    "The trainer BrimlinkMini Sorvik: pupils operate the Sorvik stations (stack\n"
    "magazine, conveyor belt, handling station) through a Brimlink interface\n"
    "module on USB or a serial port. It shows every sensor input live, switches\n"
    "every actuator output by hand and teaches with Dutch lesson texts, pictures\n"
    "and sounds. \"Zoek en verbind\" searches the ports the settings allow and\n"
    "connects to the modules found.\n"
    "\n"
    "Exit status: 0 when the window was closed, 1 when there is no display.\n"
    "\n"
    "Options:\n"
    "  -h, --help         show this text and exit (needs no display)\n"
    "  --version          show the version of the control library and exit\n"
    "Other options are Qt's own, such as -platform NAME or -style NAME.\n"
    "\n"
    "Environment:\n"
    "  DISPLAY, WAYLAND_DISPLAY\n"
    "                     the display to show the window on; without either\n"
    "                     (and without QT_QPA_PLATFORM) the trainer says how to\n"
    "                     run it and exits\n"
    "  QT_QPA_PLATFORM    Qt's platform plugin; \"offscreen\" runs the trainer\n"
    "                     without a window system\n"
    "  XDG_CONFIG_DIRS    the settings folder is Brimlink/ in the first of these\n"
    "                     folders that holds one (default /etc/xdg): Brimlink.ini\n"
    "                     chooses the ports searched, ports/ maps COM numbers\n"
    "  XDG_CONFIG_HOME    this user's own class registry is Brimlink/Registry.ini\n"
    "                     in this folder (default ~/.config)\n";

// Answered before anything needs a display. Qt's own options are left to Qt.
std::optional<int> AnswerInformationOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::fputs(kHelp, stdout);
    } else if (arg == "--version") {
      std::printf("brimlinkmini-sorvik %s\n", brimlink::control::kVersionText);
    } else {
      continue;
    }
    // Output that was lost is no success.
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return 0;
    std::fprintf(stderr, "brimlinkmini-sorvik: cannot write standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return std::nullopt;
}

// The stored texts separate lines with a lone CR; a Qt label breaks only at LF.
QString DisplayText(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) {
      shown += '\n';
    } else {
      shown += text[i];
    }
  }
  return QString::fromStdString(shown);
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> status = AnswerInformationOption(argc, argv)) return *status;
  if (!HasDisplay()) {
    std::fputs(kNoDisplay, stderr);
    return 1;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("BrimlinkMini Sorvik"));
  // The desktop entry's id, by which a desktop matches the window to its
  // entry and icon; the icon from the theme when the trainer is installed.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.brimlink.BrimlinkMiniSorvik"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.brimlink.BrimlinkMiniSorvik")));

  QPointer<QWidget> owner;
  brimlink::trainer::MainEnvironment environment;
  environment.showMessage = [&owner](const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), DisplayText(text), QMessageBox::Ok,
                    owner.data());
    box.setTextFormat(Qt::PlainText);
    box.exec();
  };
  environment.showInformation = [&owner](const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromStdString(title), DisplayText(text), QMessageBox::Ok,
                    owner.data());
    box.setTextFormat(Qt::PlainText);
    box.exec();
  };
  environment.quit = [] { QApplication::quit(); };

  // Destroyed before the application: the control closes its channels and
  // writes its settings while Qt is still there.
  brimlink::trainer::Main window(std::move(environment));
  owner = &window;
  window.show();
  return QApplication::exec();
}
