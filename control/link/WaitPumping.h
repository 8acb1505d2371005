// WaitPumping: the control's bounded wait. It processes the calling thread's
// Qt events until a steady-clock deadline, so that received data is parsed
// (and host event handlers run) while a method waits. It sleeps while there
// is nothing to do, and it returns early when the application is quitting,
// leaving the quit request in force for the loops below it.
#pragma once

namespace brimlink::link {

void WaitPumping(int milliseconds);

}  // namespace brimlink::link
