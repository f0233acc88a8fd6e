// What the Qt dialogs show a user beside the Chinese windows: Qt's own texts
// in Chinese, and message boxes wide enough for their titles.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTranslator>
#include <gtest/gtest.h>

#include "platform/qt_dialogs.h"
#include "support/temp_dir.h"

namespace {

// Hands the next modal dialog to act once it is up; act closes it.
void OnceModal(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act(w);
  });
  poll->start();
}

TEST(QtDialogsLook, TheFileChooserSpeaksChinese) {
  QTranslator* translator = platform::InstallQtTranslation();
  ASSERT_NE(translator, nullptr) << "qtbase_zh_CN.qm (qt6-translations-l10n) is missing";
  testing_support::TempDir dir;
  QStringList texts;
  OnceModal([&texts](QWidget* w) {
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
      if (auto* label = w->findChild<QLabel*>(name)) texts << label->text();
    if (auto* box = w->findChild<QDialogButtonBox*>())
      for (QAbstractButton* b : box->buttons()) texts << b->text();
    qobject_cast<QDialog*>(w)->reject();
  });
  platform::QtDialogs().OpenFile("导入资源包", "资源包(*.rar)|*.rar|", dir.path());
  QCoreApplication::removeTranslator(translator);
  delete translator;

  EXPECT_EQ(texts.size(), 5) << texts.join('|').toStdString();
  for (const QString& text : texts)
    for (const char* english : {"Look in", "File name", "Files of type", "Open", "Cancel"})
      EXPECT_FALSE(text.contains(english)) << text.toStdString();
}

TEST(QtDialogsLook, AShortMessageBoxShowsItsWholeTitle) {
  struct Case {
    const char* prompt;
    const char* title;  // "" for the default title
  };
  const Case cases[] = {
      {"资源包已成功导入！", ""},
      {"主题资源修改完成!", ""},
      {"好", "提示"},
      {"好", "没有找到可用的主题资源模板"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prompt);
    int width = 0;
    int wanted = 0;
    OnceModal([&](QWidget* w) {
      QFont bold = w->font();
      bold.setBold(true);
      // The title, and beside it the window icon and the minimise, maximise
      // and close buttons of a window frame.
      const int bar = w->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, w);
      wanted = QFontMetrics(bold).horizontalAdvance(w->windowTitle()) + 4 * bar;
      width = w->width();
      qobject_cast<QMessageBox*>(w)->buttons().front()->click();
    });
    platform::QtDialogs().MsgBox(c.prompt, platform::vbOKOnly, c.title);
    EXPECT_GT(wanted, 0);
    EXPECT_GE(width, wanted) << c.title;
  }
}

}  // namespace
