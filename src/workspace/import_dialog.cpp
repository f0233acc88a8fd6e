#include "workspace/import_dialog.h"

#include <string>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "generator/uitl.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "wizard/wizard_pane.h"
#include "workspace/folder_tree.h"

namespace talvora {
namespace {

std::string Text(const QLineEdit* field) { return field->text().toStdString(); }

// Why the archiver did not finish cleanly, by its exit status.
std::string ArchiverFailure(const platform::ProcessResult& result) {
  if (!result.started) return "无法启动解压程序，资源包没有导入。";
  switch (result.exitCode) {
    case 1:
      return "资源包未能完整导入：有些条目被跳过。";
    case 2:
      return "资源包导入失败：无法读取该压缩包，它可能已损坏或不是 RAR 压缩包。";
    case 3:
      return "资源包未能完整导入：压缩包中的数据已损坏。";
    case 9:
      return "资源包未能完整导入：有些条目被拒绝（其路径指向导入文件夹之外）或无法写入。";
    default:
      return "资源包导入失败。";
  }
}

}  // namespace

Dialog::Dialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("导入资源包"));
  setModal(true);

  Image1 = new QLabel(this);
  Image1->setPixmap(ImageList2(15).pixmap(16, 16).scaled(32, 32));
  Image1->setFixedSize(40, 40);
  Image1->setAlignment(Qt::AlignCenter);
  Label1 = new QLabel(QStringLiteral("将您选择的资源压缩包导入所指定的文件夹"), this);
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label3 = new QLabel(
      QStringLiteral("如果您有已经压缩的文件包（默认RAR格式），可以用该工具导入相应的文件夹内，"
                     "便于浏览。但该压缩包需为未加密的原始主题资源包。"),
      this);
  Label3->setWordWrap(true);
  Line1 = new QFrame(this);
  Line1->setFrameShape(QFrame::HLine);
  Line1->setFrameShadow(QFrame::Sunken);

  Label2 = new QLabel(QStringLiteral("压缩包:"), this);
  rarPath = new QLineEdit(this);
  Command1 = new QPushButton(QStringLiteral("浏览"), this);
  Label4 = new QLabel(QStringLiteral("目录:"), this);
  inputPath = new QLineEdit(this);
  Command2 = new QPushButton(QStringLiteral("浏览"), this);
  delCheck = new QCheckBox(QStringLiteral("导入后删除原资源压缩包 ( 如为只读资源,则此项无用 ) "), this);
  delCheck->setEnabled(false);
  viewCheck = new QCheckBox(QStringLiteral("完成后预览该导入资源 ( 如果加密资源,则需数分钟的时间 )"), this);
  inputBar = new QProgressBar(this);
  inputBar->setRange(0, 100);
  inputBar->setValue(0);
  OKButton = new QPushButton(QStringLiteral("导入"), this);
  OKButton->setEnabled(false);
  OKButton->setAutoDefault(false);
  CancelButton = new QPushButton(QStringLiteral("取消"), this);
  CancelButton->setAutoDefault(false);

  auto* head = new QHBoxLayout;
  head->addWidget(Image1, 0, Qt::AlignTop);
  auto* headText = new QVBoxLayout;
  headText->addWidget(Label1);
  headText->addWidget(Label3);
  headText->addStretch();
  head->addLayout(headText, 1);

  auto* fields = new QGridLayout;
  fields->addWidget(Label2, 0, 0);
  fields->addWidget(rarPath, 0, 1);
  fields->addWidget(Command1, 0, 2);
  fields->addWidget(Label4, 1, 0);
  fields->addWidget(inputPath, 1, 1);
  fields->addWidget(Command2, 1, 2);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(inputBar, 1);
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);

  auto* all = new QVBoxLayout(this);
  all->addLayout(head);
  all->addWidget(Line1);
  all->addLayout(fields);
  all->addWidget(delCheck);
  all->addWidget(viewCheck);
  all->addStretch();
  all->addLayout(buttons);
  resize(480, 280);

  connect(Command1, &QPushButton::clicked, this, &Dialog::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Dialog::Command2_Click);
  connect(rarPath, &QLineEdit::textChanged, this, &Dialog::rarPath_Change);
  connect(inputPath, &QLineEdit::textChanged, this, &Dialog::inputPath_Change);
  connect(OKButton, &QPushButton::clicked, this, &Dialog::OKButton_Click);
  connect(CancelButton, &QPushButton::clicked, this, &Dialog::CancelButton_Click);
}

void Dialog::Command1_Click() {
  try {
    const QString before = rarPath->text();
    const std::string chosen =
        platform::OpenFileDialog("打开", "RAR格式压缩包(*.rar)|*.rar", Text(rarPath));
    rarPath->setText(QString::fromStdString(chosen));
    if (chosen.empty()) rarPath->setText(before);
  } catch (...) {
  }
}

void Dialog::Command2_Click() {
  const QString before = inputPath->text();
  const std::string chosen = BrowseForFolder(this, "请选择主题资源目录：");
  inputPath->setText(QString::fromStdString(chosen));
  if (chosen.empty()) inputPath->setText(before);
}

void Dialog::rarPath_Change() {
  if (!rarPath->text().isEmpty() && !inputPath->text().isEmpty()) OKButton->setEnabled(true);
}

void Dialog::inputPath_Change() { rarPath_Change(); }

void Dialog::OKButton_Click() {
  try {
    const std::string archive = Text(rarPath);
    const std::string folder = Text(inputPath);
    if (archive.empty() || folder.empty()) {
      platform::MsgBox("您尚未选择导入资源包或没有指定导入文件夹！");
      return;
    }
    // The import never creates the target folder.
    if (!FolderExists(folder)) {
      platform::MsgBox("请正确选择导入文件夹！");
      return;
    }
    OKButton->setEnabled(false);
    ShowStatus("  正在导入资源包到指定位置 ......");
    inputBar->setValue(50);
    QCoreApplication::processEvents();

    const platform::ProcessResult result = RarUnpack(archive, folder);

    QCoreApplication::processEvents();
    inputBar->setValue(100);
    // Success is reported only when the archiver has unpacked everything.
    if (!result.started || result.exitCode != 0) {
      std::string message = ArchiverFailure(result);
      const std::string said = ArchiverErrorLine(result);
      if (!said.empty()) message += "\n" + said;
      if (result.started) message += "\n（解压程序的退出代码为 " + std::to_string(result.exitCode) + "）";
      platform::MsgBox(message, platform::vbOKOnly | platform::vbExclamation);
      // Like any other failure of the import: what was done stays, and the
      // import button stays off until a field is filled again.
      ShowStatus("  导入资源包出现错误 ......");
      return;
    }
    platform::MsgBox("资源包已成功导入！");
    ShowStatus("导入资源包到指定位置成功 ......");
    if (!IsSiteRoot(folder))
      platform::MsgBox("您导入的主题资源版本为1.0,无法修改! 当前版本只适用于2.0版主题资源!");
    if (viewCheck->isChecked()) PreviewSite(folder);
    inputPath->clear();
    rarPath->clear();
  } catch (...) {
    ShowStatus("  导入资源包出现错误 ......");
  }
}

void Dialog::CancelButton_Click() { reject(); }

}  // namespace talvora
