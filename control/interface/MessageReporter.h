// The one way the control shows a message: a modal message box in a host
// with a widget application; otherwise (a console host) one line on standard
// error, "message: TEXT" with carriage returns and line feeds written as \r
// and \n, that never blocks. Either way the text also goes to the trace.
//
// Threads: GUI thread only.
#pragma once

#include <string>
#include <string_view>

#include "control/interface/HostInterfaces.h"

namespace brimlink::control {

// True when the process runs a QApplication (widgets can be shown).
bool HasWidgetApplication();

// title may be empty (the control's name is then the box's title). With a
// host's sink the message goes there (after the trace) instead.
void ReportControlMessage(std::string_view title, std::string_view text,
                          automation::MessageSink* sink = nullptr);

// The console line for a message, without the final line feed: "message: "
// then "TITLE: " when there is a title, then the text, escaped.
std::string MessageLine(std::string_view title, std::string_view text);

}  // namespace brimlink::control
