// Quenlet: the column-site generator.
#include <string>

#include <QApplication>

#include "columnsite/page1.h"
#include "platform/dialogs.h"
#include "platform/qt_dialogs.h"

int main(int argc, char** argv) {
  // Taken before the application object removes the arguments it reads
  // itself (-style, -reverse, ...): the whole text is the start folder.
  const std::string argumentText = quenlet::ArgumentText(argc, argv);
  QApplication app(argc, argv);
  platform::kDefaultTitle = "Quenlet";
  platform::InstallQtDialogs();
  platform::InstallQtTranslation();
  quenlet::Page1 window;
  quenlet::Main(window, argumentText);
  const int status = app.exec();
  return status != 0 ? status : quenlet::ExitStatus(window);
}
