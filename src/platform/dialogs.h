// Message boxes, the open-file dialog and the folder browser, behind one
// seam. The windows install the Qt backend at start; tests install a
// scripted one; without either every call answers its default silently.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Button sets, icons and answers, with the platform's values.
enum MsgStyle : int {
  vbOKOnly = 0, vbOKCancel = 1, vbAbortRetryIgnore = 2, vbYesNoCancel = 3,
  vbYesNo = 4, vbRetryCancel = 5,
  vbCritical = 16, vbQuestion = 32, vbExclamation = 48, vbInformation = 64,
  vbDefaultButton2 = 256,
};
enum MsgAnswer : int {
  vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7,
  // The shell's replace confirmation has one more answer.
  vbYesToAll = 100,
};

// The title of a message box given none of its own.
inline const char* kDefaultTitle = "Talvora";

class DialogBackend {
 public:
  virtual ~DialogBackend() = default;
  // style: buttons + icon (+ default button); returns a MsgAnswer.
  virtual int MsgBox(const std::string& prompt, int style, const std::string& title) = 0;
  // Yes, Yes to all, No, Cancel: the shell's replace confirmation.
  virtual int AskReplace(const std::string& prompt, const std::string& title) = 0;
  // filter in the platform's "text|pattern|text|pattern|" form; "" on cancel.
  virtual std::string OpenFile(const std::string& title, const std::string& filter,
                               const std::string& initial) = 0;
  // "" on cancel.
  virtual std::string BrowseFolder(const std::string& prompt) = 0;
};

// The backend in use; nullptr means the silent defaults.
void SetDialogBackend(DialogBackend* backend);
DialogBackend* GetDialogBackend();

int MsgBox(const std::string& prompt, int style = vbOKOnly, const std::string& title = "");
int AskReplace(const std::string& prompt, const std::string& title = "");
std::string OpenFileDialog(const std::string& title, const std::string& filter,
                           const std::string& initial = "");
std::string BrowseFolderDialog(const std::string& prompt);

// For tests: answers queued in order, and every dialog shown recorded.
class ScriptedDialogs : public DialogBackend {
 public:
  struct Shown {
    std::string kind;    // "msgbox", "replace", "open", "folder"
    std::string prompt;  // prompt, or the dialog's title for "open"
    std::string title;   // title, or the filter for "open"
    int style = 0;
  };
  std::deque<int> answers;          // for MsgBox and AskReplace
  std::deque<std::string> paths;    // for OpenFile and BrowseFolder
  std::vector<Shown> shown;
  // Called after a dialog is recorded, before it answers (a test can act
  // "while the box is up").
  std::function<void(const Shown&)> onShow;

  int MsgBox(const std::string& prompt, int style, const std::string& title) override;
  int AskReplace(const std::string& prompt, const std::string& title) override;
  std::string OpenFile(const std::string& title, const std::string& filter,
                       const std::string& initial) override;
  std::string BrowseFolder(const std::string& prompt) override;

  // Installs itself for its lifetime.
  ScriptedDialogs();
  ~ScriptedDialogs() override;
  std::string LastPrompt() const { return shown.empty() ? "" : shown.back().prompt; }
};

}  // namespace platform
