#include "workspace/explain.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTextEdit>

#include "platform/paths.h"
#include "platform/rtf_reader.h"
#include "platform/twips.h"

namespace talvora {
namespace {
constexpr auto Px = platform::TwipsToPixels;
}  // namespace

explain::explain(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("帮助"));
  setFixedSize(Px(6750), Px(5445));

  read = new QTextEdit(this);
  read->setGeometry(Px(120), Px(120), Px(6495), Px(4575));
  read->setReadOnly(true);

  close_ = new QPushButton(QStringLiteral("关  闭"), this);
  close_->setGeometry(Px(5640), Px(4800), Px(975), Px(375));
  connect(close_, &QPushButton::clicked, this, &explain::close_Click);

  Form_Load();
}

// A missing help file opens the viewer empty rather than failing the
// toolbar button; one that is there but cannot be read, or is too large,
// opens it with a line saying so.
void explain::Form_Load() {
  std::string whyNot;
  platform::LoadRtfFile(platform::ProgramFolder() + platform::kSepStr + "config" +
                            platform::kSepStr + "read.rtf",
                        read, &whyNot);
  if (!whyNot.empty()) read->setPlainText(QString::fromStdString("帮助无法显示：" + whyNot));
  read->moveCursor(QTextCursor::Start);
}

void explain::close_Click() { close(); }

// The box ends only by "关  闭" or the window's close box; Escape, which a
// dialog would take as a close, does nothing here.
void explain::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace talvora
