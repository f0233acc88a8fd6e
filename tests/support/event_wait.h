// Waiting in tests that drive real windows: the event loop runs (as the
// program's own loop would) while the test waits.
#pragma once
#include <functional>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

namespace testing_support {

// Runs the event loop until done or the time is up; gives done().
inline bool WaitUntil(const std::function<bool()>& done, int ms = 20000) {
  QEventLoop loop;
  QElapsedTimer clock;
  clock.start();
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (done() || clock.elapsed() >= ms) loop.quit();
  });
  poll.start(10);
  if (!done()) loop.exec();
  return done();
}

// Runs the event loop for ms milliseconds.
inline void Pause(int ms) {
  QElapsedTimer clock;
  clock.start();
  WaitUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

}  // namespace testing_support
