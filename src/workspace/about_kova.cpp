#include "workspace/about_kova.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/process.h"
#include "platform/twips.h"

namespace talvora {
namespace {

constexpr auto Px = platform::TwipsToPixels;

const char* const kAboutText =
    "Talvora 主题资源工作台\n"
    "版本 3.0\n"
    "\n"
    "Talvora 把一个装有教学资料的文件夹（网页、图片、动画、音频和视频）"
    "制作成一个可以直接用浏览器打开的网站：每个文件夹生成一个页面，"
    "带有导航、路径和下级目录。\n"
    "\n"
    "工作台还可以在文件夹树上复制、移动、删除和重命名资料，"
    "从网页中找出图片和媒体文件并下载到所选的文件夹，"
    "导入资源包，并把生成的网站打包成压缩文件。\n"
    "\n"
    "栏目网站由配套程序 Quenlet 生成。";

QLabel* LinkLabel(const char* address, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(address), parent);
  label->setTextFormat(Qt::PlainText);
  QPalette p = label->palette();
  p.setColor(QPalette::WindowText, QColor(0, 0, 255));
  label->setPalette(p);
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

}  // namespace

aboutKOVA::aboutKOVA(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("关于 Talvora"));
  setFixedSize(Px(6780), Px(5505));

  Text1 = new QPlainTextEdit(this);
  Text1->setGeometry(Px(120), Px(120), Px(6540), Px(3975));
  Text1->setReadOnly(true);
  Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->setPlainText(QString::fromUtf8(kAboutText));

  Label1 = new QLabel(QStringLiteral("相关链接："), this);
  Label1->setGeometry(Px(120), Px(4230), Px(1200), Px(255));

  Label2 = LinkLabel(kAboutLink1, this);
  Label2->setGeometry(Px(1320), Px(4230), Px(5340), Px(255));
  Label2->installEventFilter(this);

  Label3 = LinkLabel(kAboutLink2, this);
  Label3->setGeometry(Px(1320), Px(4560), Px(5340), Px(255));
  Label3->installEventFilter(this);

  close_ = new QPushButton(QStringLiteral("关  闭"), this);
  close_->setGeometry(Px(5685), Px(4995), Px(975), Px(375));
  connect(close_, &QPushButton::clicked, this, &aboutKOVA::close_Click);
}

void aboutKOVA::close_Click() { close(); }

// The box ends only by "关  闭" or the window's close box; Escape, which a
// dialog would take as a close, does nothing here.
void aboutKOVA::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

// The shell's result is not looked at: a link that cannot be opened fails
// quietly.
void aboutKOVA::Label2_Click() { platform::OpenWithDesktop(Label2->text().toStdString()); }
void aboutKOVA::Label3_Click() { platform::OpenWithDesktop(Label3->text().toStdString()); }

bool aboutKOVA::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == Label2) {
      Label2_Click();
      return true;
    }
    if (watched == Label3) {
      Label3_Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace talvora
