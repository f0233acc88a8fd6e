// The generation wizard: three pages (the site folder; template, style,
// subject, logo, banner and packing; welcome picture and footer) above a row
// of four buttons and the progress bar. The main window owns one pane and
// lays its controls out; the pane turns the user's choices into the shared
// generation options and runs the generation.
#pragma once
#include <functional>
#include <string>

#include <QLabel>
#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace talvora {

// Opens the site folder's index.html in the browser. A generated site goes
// through the loopback preview server, since browsers apply no stylesheet
// to a page opened from disk; any other folder's page opens as a file.
void PreviewSite(const std::string& folder);

// A picture control that reports a click and a double-click the way the
// user sees them: a double-click comes after exactly one click.
class PictureBox : public QLabel {
  Q_OBJECT

 public:
  explicit PictureBox(QWidget* parent = nullptr);

 signals:
  void Click();
  void DblClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  bool inDoubleClick_ = false;
};

// The exact captions the buttons compare against: two blanks in each.
inline const QString kCaptionGenerate = QStringLiteral("生  成");
inline const QString kCaptionPreview = QStringLiteral("预  览");
inline const QString kCaptionCancel = QStringLiteral("取  消");
inline const QString kCaptionNew = QStringLiteral("新  建");

// The footer every start begins with.
inline const char* kDefaultFootText = "主题资源  版权所有";

class WizardPane : public QWidget {
  Q_OBJECT

 public:
  explicit WizardPane(QWidget* parent = nullptr);

  // Page 1: the site folder.
  QWidget* Page111;
  QGroupBox* pageFrame1;          // "选择目录"
  QLineEdit* ResourcePath;
  QPushButton* MainResourcePath;  // "浏    览"
  QPlainTextEdit* Text1;          // the usage text
  QLabel* Image1;

  // Page 2: template, style, subject, packing, logo and banner.
  QWidget* Page222;
  QGroupBox* pageFrame2;          // "设定"
  QLabel* Label1;                 // "选择模板："
  QComboBox* template_;           // the template list (template is a keyword)
  QLabel* Label3;                 // "选择样式及科目："
  QRadioButton* Style[4];         // indexes 1 to 3; [0] is unused
  QComboBox* Subject;
  QCheckBox* AutoRar;             // "完成后压缩为"
  QLabel* Label9;                 // the archive's folder
  QLineEdit* rarLabel;            // the archive's name
  QLabel* Label8;                 // ".rar"
  QGroupBox* pageFrame3;          // "预览"
  PictureBox* templateImage;
  PictureBox* logoImage;
  PictureBox* bannerImage;
  QGroupBox* pageFrame4;          // "标志区设定"
  QLabel* Label5;
  QLineEdit* logoText;
  QPushButton* logoCommand;
  QLabel* Label2;
  QLineEdit* bannerText;
  QPushButton* bannerCommand;
  QLabel* Image3;

  // Page 3: welcome picture and footer.
  QWidget* Page333;
  QGroupBox* pageFrame5;          // "欢迎图片及页脚设置"
  QLabel* Label6;
  QLineEdit* welcomeText;
  QPushButton* welcomeCommand;
  PictureBox* welcomeImage;
  QLabel* Label7;
  QLineEdit* footText;
  QLabel* Image2;

  // The button row and the progress bar below the pages.
  QWidget* buttomFrame;
  QPushButton* cancelCommand;
  QPushButton* backCommand;
  QPushButton* nextCommand;
  QPushButton* finishCommand;
  QProgressBar* ProgressBar;

  // The busy note shown while the archiver packs; the host supplies it.
  std::function<void()> ShowBusyNote;
  std::function<void()> UnloadBusyNote;

  // Packs the site folder into the archive under the busy note. True when
  // the archive is complete; otherwise the status line and a box have said
  // why (an archiver that could not be started has said so itself).
  bool PackSite(const std::string& site, const std::string& archive);

  // True from "生  成" until the run and the packing are over; RunEnded (the
  // host's) is called when it is.
  bool IsRunning() const { return running_; }
  std::function<void()> RunEnded;

  // The program folder's template list, the subjects and the defaults.
  void InitWizardLists();

 public slots:
  void nextCommand_Click();
  void backCommand_Click();
  void cancelCommand_Click();
  void finishCommand_Click();

  void template_Click();
  void Style_Click(int index);
  void templateImage_Click();
  void templateImage_DblClick();
  void Subject_Click();
  void logoCommand_Click();
  void logoImage_DblClick();
  void bannerCommand_Click();
  void bannerImage_DblClick();
  void welcomeCommand_Click();
  void welcomeImage_DblClick();
  void MainResourcePath_Click();

 private:
  // The selected style, 1 to 3, or 0 when none is.
  int SelectedStyle() const;
  // Shows the chosen template's preview of a style and points TemplatePath
  // at that style's folder.
  void ChooseStyle(int index);
  // The progress bar as it stands before any run.
  void ShowIdleBar();
  // The state after a finished run, and the one to retry from after a failure.
  void EnterDone();
  void ReturnToReady();
  // Picks a picture file for the logo (true) or the banner (false).
  void PickLogoOrBanner(bool logo);

  // True from "生  成" until the run and the packing are over.
  bool running_ = false;
};

}  // namespace talvora
