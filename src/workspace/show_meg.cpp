#include "workspace/show_meg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include "platform/dialogs.h"
#include "platform/twips.h"

namespace talvora {
namespace {
constexpr auto Px = platform::TwipsToPixels;
}  // namespace

// A narrow strip with a thin border of its own: no title bar, so no icon
// and no buttons to close or move a note that its caller removes.
ShowMeg::ShowMeg(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint) {
  setWindowTitle(QString::fromUtf8(platform::kDefaultTitle));
  setFixedSize(Px(4920), Px(465));

  Label1 = new QLabel(QStringLiteral("正在压缩 ......"), this);
  Label1->setGeometry(Px(240), Px(120), Px(4395), Px(255));

  Form_Load();
}

void ShowMeg::ShowNow() {
  show();
  raise();
  activateWindow();
  // A window manager exposes a new window a round trip or more later; wait
  // for that, within bounds, then paint and hand the picture over.
  QElapsedTimer clock;
  clock.start();
  while (windowHandle() && !windowHandle()->isExposed() && clock.elapsed() < 2000) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  repaint();
  QGuiApplication::sync();
}

void ShowMeg::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// Centred by the form's outer size, on the whole screen.
void ShowMeg::Form_Load() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize outer = frameGeometry().size();
  move(area.x() + area.width() / 2 - outer.width() / 2,
       area.y() + area.height() / 2 - outer.height() / 2);
}

// The window system tells the frame's size only once the window is shown;
// the first show centres again with the real outer size.
void ShowMeg::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!frameKnown_) {
    frameKnown_ = true;
    Form_Load();
  }
}

}  // namespace talvora
