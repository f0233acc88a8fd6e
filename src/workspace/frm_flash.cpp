#include "workspace/frm_flash.h"

#include <cmath>
#include <exception>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/twips.h"
#include "webfinder/mod_http.h"
#include "workspace/form1.h"

namespace talvora {
namespace {

// A neutral placeholder host; nothing of ours lives there.
std::string& MakerServerValue() {
  static std::string value = "http://www.example.com";
  return value;
}

FrmFlash* g_splash = nullptr;

constexpr auto Px = platform::TwipsToPixels;
constexpr auto Place = platform::PlaceInTwips;

}  // namespace

std::string MakerServer() { return MakerServerValue(); }

void SetMakerServer(const std::string& address) {
  std::string a = address;
  while (!a.empty() && a.back() == '/') a.pop_back();
  MakerServerValue() = a;
}

std::string BrandPictureAddress() {
  return MakerServer() + "/info/data/resource/larchmere/mainResource.gif";
}

std::string MakerSiteAddress() { return MakerServer() + "/"; }

void Main() {
  auto* splash = new FrmFlash();
  if (QScreen* screen = QGuiApplication::primaryScreen())
    splash->move(screen->geometry().center() - splash->rect().center());
  splash->show();
}

FrmFlash::FrmFlash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
  g_splash = this;
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Talvora"));
  setFixedSize(Px(6120), Px(2925));
  // The hourglass while the start runs.
  setCursor(Qt::WaitCursor);

  background_ = new QPixmap();
  background_->load(QString::fromStdString(platform::ProgramFolder() + platform::kSep + "icons" +
                                           platform::kSep + "splash.png"));

  Label1 = new QLabel(QStringLiteral("loading Compent ..."), this);
  // Wide enough for the longest caption in the fonts of this desktop.
  Place(Label1, 360, 2040, 3000, 255);
  Label1->setStyleSheet(QStringLiteral("color: #1f3550;"));
  Label2 = new QLabel(QStringLiteral("Ver 3.0"), this);
  Place(Label2, 5400, 2640, 795, 255);
  Label2->setStyleSheet(QStringLiteral("color: red;"));
  Label3 = new QLabel(QStringLiteral("欢迎使用"), this);
  Place(Label3, 360, 120, 1815, 255);
  Label3->setStyleSheet(QStringLiteral("color: white;"));

  ProgressBar1 = new QProgressBar(this);
  Place(ProgressBar1, 270, 1830, 4350, 60);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &FrmFlash::Timer1_Timer);
  Timer1->start();

  Timer2 = new QTimer(this);
  Timer2->setInterval(100);
  connect(Timer2, &QTimer::timeout, this, &FrmFlash::Timer2_Timer);
  Timer2->start();
}

FrmFlash::~FrmFlash() {
  if (g_splash == this) g_splash = nullptr;
  delete background_;
}

FrmFlash* FrmFlash::Loaded() { return g_splash; }

void FrmFlash::Unload() {
  FrmFlash* splash = g_splash;
  if (!splash) return;
  g_splash = nullptr;
  splash->Timer1->stop();
  splash->Timer2->stop();
  splash->hide();
  // Deleted once the tick that unloads it has returned.
  splash->deleteLater();
}

void FrmFlash::Timer1_Timer() {
  // The load below lets the other timer run, and that one may unload the
  // splash meanwhile.
  QPointer<FrmFlash> self(this);
  Label1->setText(QStringLiteral("loading Tree ..."));
  QCoreApplication::processEvents();
  try {
    Form1::Load();
  } catch (const std::exception& e) {
    // Nothing above this tick could report it.
    platform::MsgBox(e.what(), platform::vbOKOnly | platform::vbCritical);
  }
  QCoreApplication::processEvents();
  if (self) Timer1->stop();
}

void FrmFlash::Timer2_Timer() {
  QPointer<FrmFlash> self(this);
  int v = ProgressBar1->value();
  if (v == 100) {
    Timer2->stop();
    Unload();
    Form1::Load().show();
    return;
  }
  if (v == 30) Label1->setText(QStringLiteral("loading Menu ..."));
  if (v == 50) {
    Label1->setText(QStringLiteral("loading Subject ..."));
    QCoreApplication::processEvents();
    if (!self) return;
    // Whatever the fetch does, the start goes on.
    try {
      DownloadFileQuiet(BrandPictureAddress(),
                        platform::ProgramFolder() + platform::kSep + "mainResource.gif");
    } catch (...) {
    }
    QCoreApplication::processEvents();
    if (!self) return;
    Timer2->setInterval(10);
  }
  if (v == 80) Label1->setText(QStringLiteral("loaing Form ..."));
  ProgressBar1->setValue(v + 2);
}

void FrmFlash::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!background_->isNull()) {
    painter.drawPixmap(rect(), *background_);
    return;
  }
  // Without the picture file: a plain gradient of the same mood.
  QLinearGradient gradient(0, 0, 0, height());
  gradient.setColorAt(0, QColor(0x2f, 0x5d, 0x8c));
  gradient.setColorAt(1, QColor(0xdc, 0xe6, 0xf0));
  painter.fillRect(rect(), gradient);
}

}  // namespace talvora
