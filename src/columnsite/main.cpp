// Quenlet: the column-site generator.
#include <QApplication>

#include "columnsite/page1.h"
#include "platform/dialogs.h"
#include "platform/qt_dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  platform::kDefaultTitle = "Quenlet";
  platform::InstallQtDialogs();
  quenlet::Page1 window;
  quenlet::Main(window, quenlet::ArgumentText(argc, argv));
  return app.exec();
}
