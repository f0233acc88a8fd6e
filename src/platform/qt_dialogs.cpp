#include "platform/qt_dialogs.h"

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QStringList>
#include <QStyle>
#include <QTranslator>

namespace platform {
namespace {

QWidget* OwnerWindow() {
  if (QWidget* w = QApplication::activeModalWidget()) return w;
  return QApplication::activeWindow();
}

QString Title(const std::string& title) {
  return QString::fromStdString(title.empty() ? std::string(kDefaultTitle) : title);
}

struct Button {
  int answer;
  const char* text;
};

// The buttons of each button set, left to right, with the captions the
// Chinese system shows.
std::vector<Button> ButtonsOf(int style) {
  const Button ok{vbOK, "确定"};
  const Button cancel{vbCancel, "取消"};
  const Button abort{vbAbort, "中止(&A)"};
  const Button retry{vbRetry, "重试(&R)"};
  const Button ignore{vbIgnore, "忽略(&I)"};
  const Button yes{vbYes, "是(&Y)"};
  const Button no{vbNo, "否(&N)"};
  switch (style & 7) {
    case vbOKCancel: return {ok, cancel};
    case vbAbortRetryIgnore: return {abort, retry, ignore};
    case vbYesNoCancel: return {yes, no, cancel};
    case vbYesNo: return {yes, no};
    case vbRetryCancel: return {retry, cancel};
    default: return {ok};
  }
}

QMessageBox::Icon IconOf(int style) {
  switch (style & 0x70) {
    case vbCritical: return QMessageBox::Critical;
    case vbQuestion: return QMessageBox::Question;
    case vbExclamation: return QMessageBox::Warning;
    case vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// Room on a window's title bar beside the title: the window icon and the
// minimise, maximise and close buttons, each about a title bar high, and a
// margin.
int TitleBarRoom(const QWidget& window) {
  const int bar = std::max(window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window),
                           window.fontMetrics().height() + 8);
  return 5 * bar;
}

// A box is only as wide as its text and buttons, and the window frame cuts a
// longer title down ("Ta… ra"): a short box is widened to show its title.
void WidenForTitle(QMessageBox& box) {
  QFont bold = box.font();
  bold.setBold(true);
  const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + TitleBarRoom(box);
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0,
                  1, grid->columnCount());
}

// Shows the box and gives the answer of the button pressed. Escape and the
// close box answer escapeAnswer; with escapeAnswer 0 they do nothing, and a
// box closed by the program answers dismissAnswer.
int Run(QMessageBox& box, const std::vector<Button>& buttons, size_t defaultIndex,
        int escapeAnswer, int dismissAnswer) {
  std::vector<QPushButton*> made;
  // One role for all keeps the buttons in the order of the button set;
  // the platform's layouts would regroup them by role.
  for (const Button& b : buttons) {
    made.push_back(box.addButton(QString::fromUtf8(b.text), QMessageBox::ActionRole));
  }
  if (defaultIndex >= made.size()) defaultIndex = 0;
  box.setDefaultButton(made[defaultIndex]);
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i].answer == escapeAnswer) box.setEscapeButton(made[i]);
  }
  WidenForTitle(box);
  box.exec();
  for (size_t i = 0; i < made.size(); ++i) {
    if (box.clickedButton() == made[i]) return buttons[i].answer;
  }
  return escapeAnswer != 0 ? escapeAnswer : dismissAnswer;
}

}  // namespace

int QtDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
  QMessageBox box(OwnerWindow());
  box.setWindowTitle(Title(title));
  // A prompt is plain text: a file name with "<" must not turn it into markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(prompt));
  box.setIcon(IconOf(style));
  const std::vector<Button> buttons = ButtonsOf(style);
  const size_t defaultIndex = static_cast<size_t>((style >> 8) & 3);
  // As on the platform, only a box with a Cancel button or a lone OK can be
  // escaped or closed; "是/否" and "中止/重试/忽略" wait for a button, so no
  // answer is ever given that the user did not choose.
  int escape = buttons.size() == 1 ? buttons[0].answer : 0;
  for (const Button& b : buttons) {
    if (b.answer == vbCancel) escape = vbCancel;
  }
  return Run(box, buttons, defaultIndex, escape, buttons.back().answer);
}

int QtDialogs::AskReplace(const std::string& prompt, const std::string& title) {
  QMessageBox box(OwnerWindow());
  box.setWindowTitle(Title(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(prompt));
  box.setIcon(QMessageBox::Question);
  const std::vector<Button> buttons = {
      {vbYes, "是(&Y)"},
      {vbYesToAll, "全部是(&A)"},
      {vbNo, "否(&N)"},
      {vbCancel, "取消"},
  };
  return Run(box, buttons, 0, vbCancel, vbCancel);
}

std::string QtDialogs::OpenFile(const std::string& title, const std::string& filter,
                                const std::string& initial) {
  const QString chosen = QFileDialog::getOpenFileName(
      OwnerWindow(), QString::fromStdString(title), QString::fromStdString(initial),
      QtFileFilter(filter));
  return chosen.toStdString();
}

std::string QtDialogs::BrowseFolder(const std::string& prompt) {
  const QString chosen = QFileDialog::getExistingDirectory(OwnerWindow(), QString::fromStdString(prompt));
  return chosen.toStdString();
}

void InstallQtDialogs() {
  static QtDialogs dialogs;
  SetDialogBackend(&dialogs);
}

QTranslator* InstallQtTranslation() {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

QString QtFileFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  if (!parts.isEmpty() && parts.back().isEmpty()) parts.removeLast();
  QStringList out;
  for (int i = 0; i < parts.size(); i += 2) {
    QString text = parts[i].trimmed();
    const QString pattern = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
    if (pattern.isEmpty()) {
      if (!text.isEmpty()) out << text + QStringLiteral(" (*)");
      continue;
    }
    QStringList patterns = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) {
      p = p.trimmed();
      // "*.*" means every file on the platform; here it would leave out the
      // names without a dot.
      if (p == QLatin1String("*.*")) p = QStringLiteral("*");
    }
    // Texts usually show their pattern already, as in "图像文件(*.gif)"; Qt
    // reads the patterns from the last parentheses, so those are rewritten
    // rather than repeated.
    const QString shown = QLatin1Char('(') + pattern + QLatin1Char(')');
    QString lead = text;
    if (text.endsWith(shown)) {
      lead = text.left(text.size() - shown.size());
    } else if (!text.isEmpty()) {
      lead += QLatin1Char(' ');
    }
    out << lead + QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out.join(QStringLiteral(";;"));
}

}  // namespace platform
