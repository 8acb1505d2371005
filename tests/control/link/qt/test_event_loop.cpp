// WaitPumping on a real Qt event loop: how long it waits, that it handles
// events while it waits, that it sleeps, and that a quit request ends it
// without being swallowed.
//
// This file also owns the application object's lifetime for the program.
#include <sys/resource.h>

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <thread>

#include "QtLinkHarness.h"

namespace brimlink::qttest {
namespace {

class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { TestApp(); }
  void TearDown() override {
    delete AppSlot();
    AppSlot() = nullptr;
  }
};
[[maybe_unused]] ::testing::Environment* const g_appEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

// Process CPU time (user + system) in milliseconds.
double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// A custom event that records when it was handled.
const QEvent::Type kProbeEvent = static_cast<QEvent::Type>(QEvent::User + 0x7001);

class Probe : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != kProbeEvent) return QObject::event(e);
    handledAt.push_back(Clock::now());
    return true;
  }
  std::vector<Clock::time_point> handledAt;
};

TEST(WaitPumping, ReturnsAfterAboutTheRequestedTime) {
  TestApp();
  for (const int ms : {50, 20}) {
    const auto start = Clock::now();
    link::WaitPumping(ms);
    const long long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, ms) << "returned early";
    // Generous: a loaded two-core machine under the sanitizers.
    EXPECT_LT(elapsed, ms + 200) << "overslept";
  }
  // Nothing to wait for: returns at once.
  const auto start = Clock::now();
  link::WaitPumping(0);
  link::WaitPumping(-5);
  EXPECT_LT(ElapsedMs(start), 100);
}

TEST(WaitPumping, HandlesEventsPostedWhileItWaitsAndStillWaitsItsTime) {
  TestApp();
  Probe probe;
  QObject context;
  // One event from a timer of this thread, one posted from another thread.
  QTimer::singleShot(20, &context, [&] { QCoreApplication::postEvent(&probe, new QEvent(kProbeEvent)); });
  const auto start = Clock::now();
  std::thread poster([&] {
    std::this_thread::sleep_for(40ms);
    QCoreApplication::postEvent(&probe, new QEvent(kProbeEvent));
  });
  link::WaitPumping(300);
  const long long elapsed = ElapsedMs(start);
  poster.join();
  ASSERT_EQ(probe.handledAt.size(), 2u) << "events posted during the wait were not handled by it";
  for (const auto& t : probe.handledAt) {
    const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(t - start).count();
    EXPECT_GE(at, 15);
    EXPECT_LT(at, 300);
  }
  // An event is no reason to stop waiting.
  EXPECT_GE(elapsed, 300);
  EXPECT_LT(elapsed, 300 + 300);
}

TEST(WaitPumping, SleepsInsteadOfSpinning) {
  TestApp();
  link::WaitPumping(1);  // warm up whatever Qt creates lazily
  const double cpu0 = CpuMs();
  const auto start = Clock::now();
  link::WaitPumping(300);
  const double cpu = CpuMs() - cpu0;
  EXPECT_GE(ElapsedMs(start), 300);
  // A spinning wait burns about 300 ms of CPU here.
  EXPECT_LT(cpu, 100.0) << "WaitPumping(300) used " << cpu << " ms of CPU";
}

TEST(WaitPumping, QuitInsideAWaitEndsItAndReachesTheApplicationLoop) {
  QCoreApplication& app = TestApp();
  QObject context;
  long long waitMs = -1, secondWaitMs = -1;
  bool waitReturned = false;
  QTimer::singleShot(0, &context, [&] {
    const auto start = Clock::now();
    link::WaitPumping(3000);
    waitMs = ElapsedMs(start);
    waitReturned = true;
    // The application is on its way out: further waits do not hold it up.
    const auto second = Clock::now();
    link::WaitPumping(500);
    secondWaitMs = ElapsedMs(second);
  });
  QTimer::singleShot(30, &context, [] { QCoreApplication::quit(); });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  watchdog.start(8000);

  const int rc = app.exec();
  watchdog.stop();
  EXPECT_EQ(rc, 0) << "the quit request was swallowed by the wait (the watchdog ended the loop)";
  ASSERT_TRUE(waitReturned);
  EXPECT_GE(waitMs, 25);
  EXPECT_LT(waitMs, 1000) << "the quit request did not end the wait";
  EXPECT_LT(secondWaitMs, 200) << "a wait while the application unwinds slept";

  // Once the application loop has returned, waits wait again.
  const auto start = Clock::now();
  link::WaitPumping(50);
  EXPECT_GE(ElapsedMs(start), 50);
}

TEST(WaitPumping, QuitFromAnotherThreadUnwindsNestedLoopsToTheApplication) {
  QCoreApplication& app = TestApp();
  QObject context;
  long long waitMs = -1;
  bool modalReturned = false;
  std::thread quitter;
  QTimer::singleShot(0, &context, [&] {
    // A loop of the host's own (a modal dialog), and a wait inside it.
    QEventLoop modal;
    QTimer::singleShot(0, &context, [&] {
      quitter = std::thread([] {
        std::this_thread::sleep_for(30ms);
        QCoreApplication::quit();
      });
      const auto start = Clock::now();
      link::WaitPumping(3000);
      waitMs = ElapsedMs(start);
    });
    modal.exec();
    modalReturned = true;
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  watchdog.start(8000);

  const int rc = app.exec();
  watchdog.stop();
  if (quitter.joinable()) quitter.join();
  EXPECT_EQ(rc, 0) << "the quit request was swallowed (the watchdog ended the loop)";
  EXPECT_TRUE(modalReturned) << "the host's own loop did not see the quit";
  EXPECT_GE(waitMs, 0);
  EXPECT_LT(waitMs, 1000) << "the quit request did not end the wait";

  const auto start = Clock::now();
  link::WaitPumping(30);
  EXPECT_GE(ElapsedMs(start), 30);
}

}  // namespace
}  // namespace brimlink::qttest
