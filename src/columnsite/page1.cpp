#include "columnsite/page1.h"

#include <exception>
#include <vector>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "generator/generator.h"
#include "generator/uitl.h"
#include "platform/dialogs.h"
#include "platform/paths.h"

namespace quenlet {
namespace {

using platform::kSepStr;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// VB's Trim: blanks only, at both ends.
std::string TrimBlanks(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string StylePath(int index) {
  return ProgramDataFolder() + kSepStr + "template" + kSepStr + "资源部专用" + kSepStr + "xsl" +
         std::to_string(index);
}

std::string LogoFile(const std::string& logo) {
  return ProgramDataFolder() + kSepStr + "logo" + kSepStr + logo;
}

}  // namespace

Page1::Page1(QWidget* parent) : QWidget(parent) {
  setWindowTitle(Q("Quenlet 栏目网站生成"));
  setFixedSize(420, 336);

  Page111 = new QFrame(this);
  Page111->setFrameShape(QFrame::NoFrame);
  Page111->setGeometry(0, 0, 420, 226);

  Frame1 = new QGroupBox(Page111);
  Frame1->setGeometry(8, 4, 404, 50);
  Label4 = new QLabel(Q("选择目录："), Frame1);
  Label4->setGeometry(10, 18, 70, 22);
  ResourcePath = new QLineEdit(Frame1);
  ResourcePath->setGeometry(80, 18, 282, 22);
  MainResourcePath = new QPushButton(Q("..."), Frame1);
  MainResourcePath->setGeometry(366, 17, 28, 24);

  Frame2 = new QGroupBox(Page111);
  Frame2->setGeometry(8, 60, 404, 162);
  Label1 = new QLabel(Q("选择学科："), Frame2);
  Label1->setGeometry(10, 20, 70, 22);
  Subject = new QComboBox(Frame2);
  Subject->setGeometry(80, 20, 120, 24);
  Label3 = new QLabel(Q("选择样式："), Frame2);
  Label3->setGeometry(10, 58, 70, 22);
  Style[0] = nullptr;
  const char* styleCaptions[] = {"", "蓝 色", "绿 色", "桔 色"};
  for (int i = 1; i <= 3; ++i) {
    Style[i] = new QRadioButton(Q(styleCaptions[i]), Frame2);
    Style[i]->setGeometry(80 + (i - 1) * 80, 58, 76, 22);
  }
  Style[1]->setChecked(true);
  lanmu = new QGroupBox(Frame2);
  lanmu->setGeometry(80, 92, 300, 56);
  lm1 = new QRadioButton(Q("（7个栏目）"), lanmu);
  lm1->setGeometry(12, 20, 130, 24);
  lm2 = new QRadioButton(Q("（8个栏目）"), lanmu);
  lm2->setGeometry(152, 20, 130, 24);
  lm1->setChecked(true);
  lanmu->hide();

  showmsg = new QLabel(this);
  showmsg->setGeometry(12, 230, 396, 20);
  ProgressMsg = new QLabel(this);
  ProgressMsg->setGeometry(12, 252, 396, 20);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setGeometry(12, 276, 396, 16);
  ProgressBar->setTextVisible(false);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);

  finishCommand = new QPushButton(kCaptionGenerate, this);
  finishCommand->setGeometry(232, 300, 84, 28);
  finishCommand->setEnabled(false);
  cancelCommand = new QPushButton(kCaptionCancel, this);
  cancelCommand->setGeometry(324, 300, 84, 28);

  Form_Load();

  connect(ResourcePath, &QLineEdit::textChanged, this, &Page1::ResourcePath_Change);
  connect(MainResourcePath, &QPushButton::clicked, this, &Page1::MainResourcePath_Click);
  connect(Subject, qOverload<int>(&QComboBox::currentIndexChanged), this, &Page1::Subject_Click);
  for (int i = 1; i <= 3; ++i)
    connect(Style[i], &QRadioButton::clicked, this, [this, i] { Style_Click(i); });
  connect(finishCommand, &QPushButton::clicked, this, &Page1::finishCommand_Click);
  connect(cancelCommand, &QPushButton::clicked, this, &Page1::cancelCommand_Click);

  talvora::SetUiSink(this);
}

Page1::~Page1() {
  if (talvora::GetUiSink() == this) talvora::SetUiSink(nullptr);
}

void Page1::Form_Load() {
  GlobalState& o = Options();
  o.TemplatePath = StylePath(1);
  o.LogoPath = LogoFile(kSubjects[0].logo);
  o.FootText = kDefaultFootText;
  for (const SubjectLogo& s : kSubjects) Subject->addItem(Q(s.subject));
  Subject->setCurrentIndex(0);
  o.SubjectText = kSubjects[0].subject;
}

void Page1::ResourcePath_Change() {
  finishCommand->setText(kCaptionGenerate);
  finishCommand->setEnabled(true);
}

void Page1::MainResourcePath_Click() {
  std::string folder = talvora::BrowseForFolder(this, "请选择主题资源目录：");
  if (!folder.empty()) ResourcePath->setText(QString::fromStdString(folder));
}

void Page1::Subject_Click() {
  GlobalState& o = Options();
  o.SubjectText = Subject->currentText().toStdString();
  for (const SubjectLogo& s : kSubjects) {
    if (o.SubjectText != s.subject) continue;
    lanmu->setVisible(o.SubjectText == "数学");
    o.LogoPath = LogoFile(s.logo);
  }
}

void Page1::Style_Click(int index) { Options().TemplatePath = StylePath(index); }

std::string Page1::ArrayIniTemplate() const {
  QRadioButton* chosen = lm2->isChecked() ? lm2 : lm1;
  return SubjectIniTemplate(Options().SubjectText, chosen->text().toStdString());
}

void Page1::finishCommand_Click() {
  // The run lets window messages through; a second press meanwhile would
  // start a run inside the run and pull the catalogue from under it.
  if (running_) return;
  GlobalState& o = Options();
  const std::string start = TrimBlanks(ResourcePath->text().toStdString());
  if (!talvora::FolderExists(start)) {
    platform::MsgBox("所选目录不存在", platform::vbOKOnly, "错误");
    return;
  }
  running_ = true;
  try {
    o.CancelFlag = 0;
    showmsg->setText(Q("正在进行资源目录统计..........."));
    std::vector<std::string> sites, unsearched;
    FindSites(start, sites, &unsearched);
    talvora::PumpMessages();
    if (o.CancelFlag == -1) {
      ProgressMsg->setText(Q("操作已取消"));
      running_ = false;
      return;
    }
    // The search text would read as a run still going: the search is over,
    // and found nothing to generate in the folder.
    if (sites.empty()) {
      showmsg->setText(QString::fromStdString(start));
      ProgressMsg->setText(Q("该目录中没有找到栏目网站"));
    }
    for (const std::string& site : sites) {
      if (o.CancelFlag == -1) break;
      GenerateSite(TrimBlanks(site), ArrayIniTemplate());
      // A cancel during the site ends its generation early.
      if (o.CancelFlag != -1) generatedASite_ = true;
    }
    o.CancelFlag = 0;
    // A column site below a folder the search could not enter was not
    // generated: the user is told which folders, so none is missed unsaid.
    if (!unsearched.empty()) {
      std::string list;
      for (const std::string& folder : unsearched) list += "\n" + folder;
      platform::MsgBox("以下目录无法进入，其中的栏目网站没有生成：" + list,
                       platform::vbExclamation | platform::vbOKOnly);
    }
  } catch (const std::exception& e) {
    o.CancelFlag = 0;
    platform::MsgBox(std::string("生成栏目网站时出错：") + e.what(),
                     platform::vbCritical | platform::vbOKOnly);
  }
  running_ = false;
}

void Page1::cancelCommand_Click() { Options().CancelFlag = -1; }

void Page1::closeEvent(QCloseEvent* event) {
  // A run under way stops at its next folder; the program then ends.
  if (running_) Options().CancelFlag = -1;
  event->accept();
}

void Page1::ProgressChanged(float value, float max) {
  ProgressBar->setMaximum(static_cast<int>(max));
  ProgressBar->setValue(static_cast<int>(value));
}

void Page1::PumpMessages() { QCoreApplication::processEvents(); }

void Page1::ShowMsgChanged(const std::string& text) {
  showmsg->setText(QString::fromStdString(text));
}

void Page1::ProgressMsgChanged(const std::string& text) {
  ProgressMsg->setText(QString::fromStdString(text));
}

void Main(Page1& window, const std::string& argumentText) {
  Options().StartedWithPath = false;
  if (!argumentText.empty()) {
    window.ResourcePath->setText(QString::fromStdString(argumentText));
    Options().StartedWithPath = true;
  }
  window.show();
  window.raise();
  window.activateWindow();
}

int ExitStatus(const Page1& window) { return window.GeneratedASite() ? 0 : kExitNothingGenerated; }

std::string ArgumentText(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

}  // namespace quenlet
