// brimlinkmini-sorvik: the trainer BrimlinkMini Sorvik, one main window.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

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
  if (!HasDisplay()) {
    std::fputs(kNoDisplay, stderr);
    return 1;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("BrimlinkMini Sorvik"));

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
