// The splash: shown by the start procedure, it drives the start with two
// timers. The first loads the main window once; the second moves the bar,
// changes the caption, fetches the brand picture at 50 and, at 100, goes
// away and shows the main window.
#pragma once
#include <string>

#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

namespace talvora {

// The maker's web server, without a trailing "/". The brand picture and the
// maker's site are both found there; tests point it at a local server.
std::string MakerServer();
void SetMakerServer(const std::string& address);
// Where the start fetches the brand picture from.
std::string BrandPictureAddress();
// The maker's web site, opened by a click on the brand picture.
std::string MakerSiteAddress();

// The start procedure: shows the splash without waiting for it.
void Main();

class FrmFlash : public QWidget {
  Q_OBJECT

 public:
  FrmFlash();
  ~FrmFlash() override;

  // The splash while it is loaded, else nullptr.
  static FrmFlash* Loaded();
  // Unloads the splash if it is loaded; otherwise nothing.
  static void Unload();

  QLabel* Label1;  // the progress caption
  QLabel* Label2;  // the version
  QLabel* Label3;  // the welcome
  QProgressBar* ProgressBar1;
  QTimer* Timer1;  // once, after one second: loads the main window
  QTimer* Timer2;  // every 100 ms, then every 10 ms: one progress step

 public slots:
  void Timer1_Timer();
  void Timer2_Timer();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap* background_;
};

}  // namespace talvora
