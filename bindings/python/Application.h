// The control dispatches its events in the Qt event loop of its thread, which
// needs an application object. A Python program normally has none: one
// QCoreApplication (no widgets, so the control never shows a window or a box)
// is made at the first creation and kept for the life of the process.
//
// Threads: the first call makes the application's thread the thread of the
// call; the interpreter lock is held.
#pragma once

namespace brimlink::python {

void EnsureApplication();

}  // namespace brimlink::python
