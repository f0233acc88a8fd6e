// Answering the modal windows and pop-ups that the code under test brings up,
// with a deadline: a window that nobody closes fails the test after a few
// seconds and is closed, so a stuck window never hangs the run.
#pragma once
#include <functional>
#include <utility>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace testing_support {

inline QWidget* ActiveModal() { return QApplication::activeModalWidget(); }

// The active pop-up, else the active modal window.
inline QWidget* PopupOrModal() {
  if (QWidget* up = QApplication::activePopupWidget()) return up;
  return QApplication::activeModalWidget();
}

// Closes a window the way its user could: a dialog is rejected.
inline void CloseWindow(QWidget* w) {
  if (!w) return;
  if (auto* dialog = qobject_cast<QDialog*>(w))
    dialog->reject();
  else
    w->close();
}

// Watches for the window find() gives and hands it to act once; act (or the
// code that showed it) must close it. Still up deadlineMs after it came up,
// it is closed and the test fails; so it is when required and no window came
// up in that time. Stops by itself; onDone runs then.
class UpWatch : public QObject {
 public:
  UpWatch(std::function<QWidget*()> find, std::function<void(QWidget*)> act, bool required,
          int deadlineMs = 5000)
      : find_(std::move(find)), act_(std::move(act)), required_(required), deadlineMs_(deadlineMs) {
    clock_.start();
    connect(&timer_, &QTimer::timeout, this, &UpWatch::Tick);
    timer_.start(10);
  }

  bool ran() const { return ran_; }
  std::function<void()> onDone;

 private:
  void Tick() {
    if (!ran_) {
      if (QWidget* up = find_()) {
        ran_ = true;
        shown_ = up;
        clock_.restart();
        act_(up);
        return;
      }
      if (clock_.elapsed() < deadlineMs_) return;
      if (required_) ADD_FAILURE() << "no window came up within " << deadlineMs_ << " ms";
      return Done();
    }
    if (shown_.isNull() || !shown_->isVisible()) return Done();
    if (clock_.elapsed() < deadlineMs_) return;
    ADD_FAILURE() << "a window stayed up " << deadlineMs_ << " ms after it was answered";
    CloseWindow(shown_);
    Done();
  }

  void Done() {
    timer_.stop();
    if (onDone) onDone();
  }

  std::function<QWidget*()> find_;
  std::function<void(QWidget*)> act_;
  bool required_;
  int deadlineMs_;
  bool ran_ = false;
  QPointer<QWidget> shown_;
  QElapsedTimer clock_;
  QTimer timer_;
};

// Waits for the next modal window and hands it to act, which must close it.
inline void WhenModalShown(std::function<void(QWidget*)> act, int deadlineMs = 5000) {
  auto* watch = new UpWatch(ActiveModal, std::move(act), true, deadlineMs);
  // Gone when done, or with the application when the run ends first.
  watch->setParent(qApp);
  watch->onDone = [watch] { watch->deleteLater(); };
}

}  // namespace testing_support
