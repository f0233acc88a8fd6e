// The web pane: an address box, the parse and stop buttons, the loading
// progress and the browser that loads the page to be scanned. The browser
// sits above the pane's top edge, so the user never sees the page here; the
// found resources are shown by the main window's grid.
#pragma once
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QWebEngineView;

namespace talvora {

class ParserPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ParserPanel(QWidget* parent = nullptr);

  QGroupBox* Frame1;
  QLabel* Label2;          // "网址:"
  QLineEdit* URL;          // the typed address
  QPushButton* OpenIE;     // "打开浏览器"
  QPushButton* Parser;     // "解  析"
  QPushButton* Command1;   // "停  止"
  QLabel* Label1;          // status text
  QProgressBar* ProgressBar1;
  QTimer* Timer1;          // creeping progress while loading, 100 ms
  QWebEngineView* WebBrowser1;
};

}  // namespace talvora
