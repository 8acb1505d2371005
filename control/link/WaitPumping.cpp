#include "control/link/WaitPumping.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace brimlink::link {
namespace {

// A quit request exits every running event loop of the thread at once. When
// one of our waits is ended that way, the loops below it are unwinding too;
// until they have, further waits return at once instead of sleeping. The
// number of those loops marks how far the unwinding still has to go.
thread_local int t_quitLoopLevel = 0;

bool Quitting() {
  if (QCoreApplication::closingDown()) return true;
  if (t_quitLoopLevel > 0 && QThread::currentThread()->loopLevel() >= t_quitLoopLevel) return true;
  t_quitLoopLevel = 0;
  return false;
}

}  // namespace

void WaitPumping(int milliseconds) {
  if (QCoreApplication::instance() == nullptr || Quitting()) return;
  if (milliseconds <= 0) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return;
  }
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.setTimerType(Qt::PreciseTimer);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  deadline.start(milliseconds);
  // Sleeps in the dispatcher until an event or the deadline arrives.
  loop.exec(QEventLoop::AllEvents);
  if (deadline.isActive()) {
    // Nothing but a quit request ends this private loop early.
    t_quitLoopLevel = QThread::currentThread()->loopLevel();
  }
}

}  // namespace brimlink::link
