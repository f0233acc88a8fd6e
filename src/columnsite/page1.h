// Quenlet's one window: the start folder, the subject (with its column
// count for "数学") and the style, the run's two text lines and its
// progress bar, and the buttons that start and cancel the generation of
// every column site below the folder.
#pragma once
#include <string>

#include <QString>
#include <QWidget>

#include "generator/ui_sink.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace quenlet {

// The exact captions: two blanks in the buttons', one in the styles'.
inline const QString kCaptionGenerate = QStringLiteral("生  成");
inline const QString kCaptionCancel = QStringLiteral("取  消");

// The footer every page document carries; no control edits it.
inline const char* kDefaultFootText = "栏目资源  版权所有";

// The subjects in list order, with their logo files in the logo folder.
struct SubjectLogo {
  const char* subject;
  const char* logo;
};
inline constexpr SubjectLogo kSubjects[] = {
    {"语文", "logo_yuwen.gif"},  {"数学", "logo_shuxue.gif"}, {"英语", "logo_yingyu.gif"},
    {"物理", "logo_wuli.gif"},   {"化学", "logo_huaxue.gif"}, {"生物", "logo_shengwu.gif"},
    {"历史", "logo_lishi.gif"},  {"地理", "logo_dili.gif"},
};

class Page1 : public QWidget, public UiSink {
  Q_OBJECT

 public:
  explicit Page1(QWidget* parent = nullptr);
  ~Page1() override;

  QFrame* Page111;           // borderless: holds the two frames below
  QGroupBox* Frame1;         // the folder
  QLabel* Label4;            // "选择目录："
  QLineEdit* ResourcePath;
  QPushButton* MainResourcePath;  // "..."
  QGroupBox* Frame2;         // the options
  QLabel* Label1;            // "选择学科："
  QComboBox* Subject;
  QLabel* Label3;            // "选择样式："
  QRadioButton* Style[4];    // indexes 1 to 3; [0] is unused
  QGroupBox* lanmu;          // the column count, for "数学" only
  QRadioButton* lm1;         // "（7个栏目）"
  QRadioButton* lm2;         // "（8个栏目）"
  QPushButton* finishCommand;
  QPushButton* cancelCommand;
  QProgressBar* ProgressBar;
  QLabel* showmsg;
  QLabel* ProgressMsg;

  // The array.ini template for a new site with the current choices.
  std::string ArrayIniTemplate() const;
  // True while a run is under way.
  bool Running() const { return running_; }
  // True once a run has generated a column site to its end: not cut short
  // by a cancel, not stopped by an error.
  bool GeneratedASite() const { return generatedASite_; }

  // The generator's view of the window.
  void ProgressChanged(float value, float max) override;
  void PumpMessages() override;
  void ShowMsgChanged(const std::string& text) override;
  void ProgressMsgChanged(const std::string& text) override;

 public slots:
  void Form_Load();
  void ResourcePath_Change();
  void MainResourcePath_Click();
  void Subject_Click();
  void Style_Click(int index);
  void finishCommand_Click();
  void cancelCommand_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  bool running_ = false;
  bool generatedASite_ = false;
};

// The program's start: the argument text (the whole command line after the
// program's name) is the start folder when it is not empty; then the window
// comes up at the top.
void Main(Page1& window, const std::string& argumentText);

// The program's exit status: 0 when the window generated a column site,
// else kExitNothingGenerated. The main program, which waits for Quenlet,
// packs a site only when one was generated.
inline constexpr int kExitNothingGenerated = 3;
int ExitStatus(const Page1& window);

// The arguments joined with single blanks, as one folder path: a path with
// blanks arrives in several pieces.
std::string ArgumentText(int argc, char** argv);

}  // namespace quenlet
