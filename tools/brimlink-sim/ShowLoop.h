// brimlink-sim --show: Qt's event loop instead of the poll loop, with a
// window per station. It waits on the same descriptors and calls the same
// handlers of SimProgram; only the waiting differs.
#pragma once

#include "tools/brimlink-sim/SimProgram.h"

namespace brimlink::simtool {

// Runs until the program ends (console, signal, or the last window closed);
// returns the exit code. Needs a display (or QT_QPA_PLATFORM).
int RunShowLoop(SimProgram& program, int argc, char** argv);

}  // namespace brimlink::simtool
