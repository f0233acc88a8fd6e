// The dialog layer's Qt backend: QMessageBox for message boxes and the
// replace confirmation, QFileDialog for the open-file dialog and the folder
// browser. The programs install it once at start; tests install
// ScriptedDialogs instead.
#pragma once
#include <string>

#include <QString>

class QTranslator;

#include "platform/dialogs.h"

namespace platform {

class QtDialogs : public DialogBackend {
 public:
  int MsgBox(const std::string& prompt, int style, const std::string& title) override;
  int AskReplace(const std::string& prompt, const std::string& title) override;
  std::string OpenFile(const std::string& title, const std::string& filter,
                       const std::string& initial) override;
  std::string BrowseFolder(const std::string& prompt) override;
};

// Makes one QtDialogs the backend for the rest of the run.
void InstallQtDialogs();

// Qt's own texts (the file and folder choosers, standard buttons) in
// Chinese, from Qt's qtbase_zh_CN translation; the programs install it at
// start. Gives the installed translator, owned by the application object,
// or nullptr when the translation is not there.
QTranslator* InstallQtTranslation();

// The platform's filter "text|pattern|text|pattern|" (the last bar may be
// missing, patterns separated by ";") in Qt's form "text (pattern);;...".
QString QtFileFilter(const std::string& filter);

}  // namespace platform
