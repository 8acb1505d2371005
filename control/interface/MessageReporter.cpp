#include "control/interface/MessageReporter.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "control/link/Trace.h"

namespace brimlink::control {

namespace {
constexpr const char* kDefaultTitle = "Brimlink";

void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
}
}  // namespace

bool HasWidgetApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

std::string MessageLine(std::string_view title, std::string_view text) {
  std::string line = "message: ";
  if (!title.empty()) {
    AppendEscaped(line, title);
    line += ": ";
  }
  AppendEscaped(line, text);
  return line;
}

void ReportControlMessage(std::string_view title, std::string_view text, automation::MessageSink* sink) {
  const std::string line = MessageLine(title, text);
  link::TracePlain(line);
  if (sink != nullptr) {
    sink->ControlMessage(title, text);
    return;
  }
  if (HasWidgetApplication()) {
    QMessageBox::warning(nullptr, QString::fromUtf8(title.empty() ? kDefaultTitle : title.data(),
                                                    title.empty() ? -1 : static_cast<qsizetype>(title.size())),
                         QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok);
    return;
  }
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace brimlink::control
