#include "webfinder/parser_panel.h"

#include <cmath>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWebEngineView>

namespace talvora {
namespace {

// Positions are kept in twips, 15 to a pixel.
void Place(QWidget* w, int left, int top, int width, int height) {
  auto px = [](int twips) { return static_cast<int>(std::nearbyint(twips / 15.0)); };
  w->setGeometry(px(left), px(top), px(width), px(height));
}

}  // namespace

ParserPanel::ParserPanel(QWidget* parent) : QWidget(parent) {
  Place(this, 0, 0, 7875, 1020);

  Frame1 = new QGroupBox(this);
  Place(Frame1, 0, 0, 7875, 1020);

  Label2 = new QLabel(QStringLiteral("网址:"), Frame1);
  Place(Label2, 120, 270, 540, 255);

  URL = new QLineEdit(Frame1);
  Place(URL, 660, 210, 4515, 330);

  OpenIE = new QPushButton(QStringLiteral("打开浏览器"), Frame1);
  Place(OpenIE, 5280, 195, 1215, 360);
  OpenIE->setEnabled(false);

  Parser = new QPushButton(QStringLiteral("解  析"), Frame1);
  Place(Parser, 6600, 195, 1095, 360);
  Parser->setEnabled(false);

  Label1 = new QLabel(Frame1);
  Place(Label1, 120, 660, 1860, 255);

  ProgressBar1 = new QProgressBar(Frame1);
  Place(ProgressBar1, 2040, 660, 4455, 255);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  Command1 = new QPushButton(QStringLiteral("停  止"), Frame1);
  Place(Command1, 6600, 615, 1095, 360);
  Command1->setEnabled(false);

  Timer1 = new QTimer(this);
  Timer1->setInterval(100);

  // Above the pane's top edge: it loads the page, the grid shows the result.
  WebBrowser1 = new QWebEngineView(this);
  Place(WebBrowser1, 0, -3000, 7875, 2400);
}

}  // namespace talvora
