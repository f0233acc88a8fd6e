#include "menu/frm_menu.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPointer>

#include "platform/paths.h"

namespace talvora {

namespace {

QPointer<frmMenu> g_form;

constexpr int kBarWidth = 20;
constexpr int kBarHeight = 485;

// The bar picture ships in the program folder; without it the same soft
// gradient is drawn here, so style 4 always has its bar.
QPixmap LoadBarPicture() {
  QPixmap picture(QString::fromStdString(platform::ProgramFolder() + "/icons/menubar.png"));
  if (!picture.isNull()) return picture;
  QImage image(kBarWidth, kBarHeight, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, 0, kBarHeight);
  gradient.setColorAt(0, QColor(0x5b, 0x7f, 0xae));
  gradient.setColorAt(1, QColor(0xe4, 0xeb, 0xf4));
  painter.fillRect(image.rect(), gradient);
  painter.end();
  return QPixmap::fromImage(image);
}

}  // namespace

StdPicture EmptyPicture() { return std::make_shared<const QPixmap>(); }

bool HasHandle(const StdPicture& picture) { return picture && !picture->isNull(); }

frmMenu::frmMenu() : QWidget(nullptr) {
  setObjectName("frmMenu");
  setAttribute(Qt::WA_DontShowOnScreen);
  picture_ = std::make_shared<const QPixmap>(LoadBarPicture());
}

frmMenu::~frmMenu() = default;

frmMenu* frmMenu::Load() {
  if (!g_form) g_form = new frmMenu();
  return g_form;
}

frmMenu* frmMenu::Loaded() { return g_form; }

void frmMenu::Unload() {
  delete g_form.data();
  g_form = nullptr;
}

WNDPROC frmMenu::SetWindowProc(WNDPROC proc) {
  WNDPROC previous = proc_;
  proc_ = proc ? proc : &frmMenu::DefWindowProc;
  return previous;
}

intptr_t frmMenu::SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  return proc_(this, msg, wParam, lParam);
}

intptr_t frmMenu::DefWindowProc(QWidget*, uint32_t, uintptr_t, intptr_t) { return 0; }

}  // namespace talvora
