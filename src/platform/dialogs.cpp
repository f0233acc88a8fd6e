#include "platform/dialogs.h"

namespace platform {
namespace {
DialogBackend* g_backend = nullptr;

// The answer a box gives when nobody is there to press a button: its first
// button.
int DefaultAnswer(int style) {
  switch (style & 7) {
    case vbOKCancel: return vbOK;
    case vbAbortRetryIgnore: return vbAbort;
    case vbYesNoCancel:
    case vbYesNo: return vbYes;
    case vbRetryCancel: return vbRetry;
    default: return vbOK;
  }
}
}  // namespace

void SetDialogBackend(DialogBackend* backend) { g_backend = backend; }
DialogBackend* GetDialogBackend() { return g_backend; }

int MsgBox(const std::string& prompt, int style, const std::string& title) {
  const std::string t = title.empty() ? kDefaultTitle : title;
  return g_backend ? g_backend->MsgBox(prompt, style, t) : DefaultAnswer(style);
}

int AskReplace(const std::string& prompt, const std::string& title) {
  const std::string t = title.empty() ? kDefaultTitle : title;
  return g_backend ? g_backend->AskReplace(prompt, t) : vbNo;
}

std::string OpenFileDialog(const std::string& title, const std::string& filter,
                           const std::string& initial) {
  return g_backend ? g_backend->OpenFile(title, filter, initial) : "";
}

std::string BrowseFolderDialog(const std::string& prompt) {
  return g_backend ? g_backend->BrowseFolder(prompt) : "";
}

ScriptedDialogs::ScriptedDialogs() { SetDialogBackend(this); }
ScriptedDialogs::~ScriptedDialogs() {
  if (GetDialogBackend() == this) SetDialogBackend(nullptr);
}

int ScriptedDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
  shown.push_back({"msgbox", prompt, title, style});
  if (onShow) onShow(shown.back());
  if (answers.empty()) return DefaultAnswer(style);
  int a = answers.front();
  answers.pop_front();
  return a;
}

int ScriptedDialogs::AskReplace(const std::string& prompt, const std::string& title) {
  shown.push_back({"replace", prompt, title, 0});
  if (onShow) onShow(shown.back());
  if (answers.empty()) return vbNo;
  int a = answers.front();
  answers.pop_front();
  return a;
}

std::string ScriptedDialogs::OpenFile(const std::string& title, const std::string& filter,
                                      const std::string& initial) {
  shown.push_back({"open", title, filter, 0});
  if (onShow) onShow(shown.back());
  if (paths.empty()) return "";
  std::string p = paths.front();
  paths.pop_front();
  return p;
}

std::string ScriptedDialogs::BrowseFolder(const std::string& prompt) {
  shown.push_back({"folder", prompt, "", 0});
  if (onShow) onShow(shown.back());
  if (paths.empty()) return "";
  std::string p = paths.front();
  paths.pop_front();
  return p;
}

}  // namespace platform
