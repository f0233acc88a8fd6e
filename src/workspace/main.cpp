// Talvora: the resource workspace.
#include <QApplication>

#include "platform/qt_dialogs.h"
#include "workspace/frm_flash.h"

int main(int argc, char** argv) {
  // The embedded browser shares its drawing contexts with the windows.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  platform::InstallQtDialogs();
  platform::InstallQtTranslation();
  talvora::Main();
  return app.exec();
}
