#include "platform/qt_dialogs.h"

#include <algorithm>
#include <functional>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "support/modal_wait.h"
#include "support/temp_dir.h"

namespace {

using testing_support::WhenModalShown;

struct SeenBox {
  QString title, text;
  QStringList buttons;
  QString defaultButton;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Records the box and presses its button number press (0-based; -1 closes
// it with Escape).
void PressWhenShown(SeenBox* seen, int press) {
  WhenModalShown([seen, press](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    seen->title = box->windowTitle();
    seen->text = box->text();
    seen->icon = box->icon();
    QList<QAbstractButton*> buttons = box->buttons();
    // Left to right as shown.
    std::sort(buttons.begin(), buttons.end(),
              [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    for (QAbstractButton* b : buttons) seen->buttons << b->text();
    if (box->defaultButton()) seen->defaultButton = box->defaultButton()->text();
    if (press < 0) {
      box->reject();
    } else {
      buttons[press]->click();
    }
  });
}

}  // namespace

TEST(QtFileFilter, ConvertsThePlatformForm) {
  struct Case {
    std::string platform;
    QString qt;
  };
  const Case cases[] = {
      {"图像文件(*.gif)|*.gif|", "图像文件(*.gif)"},
      {"RAR格式压缩包(*.rar)|*.rar", "RAR格式压缩包(*.rar)"},
      {"Text|*.txt|", "Text (*.txt)"},
      // "*.*" is every file, names without a dot included.
      {"Pictures|*.jpg;*.gif|All|*.*|", "Pictures (*.jpg *.gif);;All (*)"},
      {"所有文件(*.*)|*.*|", "所有文件(*)"},
      {"Pics(*.jpg;*.gif)|*.jpg;*.gif|", "Pics(*.jpg *.gif)"},
      {"Web|*.htm; *.html|", "Web (*.htm *.html)"},
      {"", ""},
      {"|*.gif|", "(*.gif)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.platform);
    EXPECT_EQ(platform::QtFileFilter(c.platform), c.qt);
  }
}

TEST(QtDialogs, MessageBoxButtonsIconsAndAnswers) {
  using namespace platform;
  struct Case {
    int style;
    int press;
    QStringList buttons;
    QString defaultButton;
    QMessageBox::Icon icon;
    int answer;
  };
  const Case cases[] = {
      {vbOKOnly, 0, {"确定"}, "确定", QMessageBox::NoIcon, vbOK},
      {vbOKOnly, -1, {"确定"}, "确定", QMessageBox::NoIcon, vbOK},
      {vbOKCancel + vbQuestion, 1, {"确定", "取消"}, "确定", QMessageBox::Question, vbCancel},
      {vbOKCancel, -1, {"确定", "取消"}, "确定", QMessageBox::NoIcon, vbCancel},
      {vbYesNo + vbExclamation, 0, {"是(&Y)", "否(&N)"}, "是(&Y)", QMessageBox::Warning, vbYes},
      {vbYesNo + vbQuestion + vbDefaultButton2, 1, {"是(&Y)", "否(&N)"}, "否(&N)",
       QMessageBox::Question, vbNo},
      {vbYesNoCancel + vbCritical, 2, {"是(&Y)", "否(&N)", "取消"}, "是(&Y)",
       QMessageBox::Critical, vbCancel},
      {vbAbortRetryIgnore, 1, {"中止(&A)", "重试(&R)", "忽略(&I)"}, "中止(&A)",
       QMessageBox::NoIcon, vbRetry},
      {vbRetryCancel + vbInformation, 0, {"重试(&R)", "取消"}, "重试(&R)",
       QMessageBox::Information, vbRetry},
  };
  QtDialogs dialogs;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    SCOPED_TRACE(c.press);
    SeenBox seen;
    PressWhenShown(&seen, c.press);
    EXPECT_EQ(dialogs.MsgBox("<b>a.txt</b> 已存在", c.style, "提示"), c.answer);
    EXPECT_EQ(seen.title, "提示");
    EXPECT_EQ(seen.text, "<b>a.txt</b> 已存在");
    EXPECT_EQ(seen.buttons, c.buttons);
    EXPECT_EQ(seen.defaultButton, c.defaultButton);
    EXPECT_EQ(seen.icon, c.icon);
  }
}

// Escape and the close box answer only where the box has a Cancel button or
// a lone OK; a Yes/No or Abort/Retry/Ignore box stays up until a button is
// pressed.
TEST(QtDialogs, EscapeAndCloseBoxOnlyWhereTheBoxAllowsThem) {
  using namespace platform;
  struct Case {
    int style;
    bool escapes;
    int answer;  // the escape's answer, or that of the first button
  };
  const Case cases[] = {
      {vbOKOnly, true, vbOK},
      {vbOKCancel, true, vbCancel},
      {vbYesNoCancel + vbDefaultButton2, true, vbCancel},
      {vbRetryCancel, true, vbCancel},
      {vbYesNo + vbQuestion, false, vbYes},
      {vbYesNo + vbDefaultButton2, false, vbYes},
      {vbAbortRetryIgnore, false, vbAbort},
  };
  QtDialogs dialogs;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    bool stayed = false;
    WhenModalShown([&stayed](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(box, &escape);
      if (box->isVisible()) box->close();
      QApplication::processEvents();
      stayed = box->isVisible();
      if (stayed) {
        QList<QAbstractButton*> buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(),
                  [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
        buttons.front()->click();
      }
    });
    EXPECT_EQ(dialogs.MsgBox("x", c.style, "t"), c.answer);
    EXPECT_EQ(stayed, !c.escapes);
  }
}

TEST(QtDialogs, InstalledBackendGivesTheDefaultTitle) {
  platform::InstallQtDialogs();
  SeenBox seen;
  PressWhenShown(&seen, 0);
  EXPECT_EQ(platform::MsgBox("x"), platform::vbOK);
  EXPECT_EQ(seen.title, platform::kDefaultTitle);
  platform::SetDialogBackend(nullptr);
}

TEST(QtDialogs, AskReplaceOffersYesYesToAllNoCancel) {
  const int answers[] = {platform::vbYes, platform::vbYesToAll, platform::vbNo, platform::vbCancel};
  platform::QtDialogs dialogs;
  for (int press = 0; press < 4; ++press) {
    SCOPED_TRACE(press);
    SeenBox seen;
    PressWhenShown(&seen, press);
    EXPECT_EQ(dialogs.AskReplace("替换 a.txt ?", "确认"), answers[press]);
    EXPECT_EQ(seen.buttons, QStringList({"是(&Y)", "全部是(&A)", "否(&N)", "取消"}));
    EXPECT_EQ(seen.icon, QMessageBox::Question);
  }
  SeenBox seen;
  PressWhenShown(&seen, -1);
  EXPECT_EQ(dialogs.AskReplace("x", "y"), platform::vbCancel);
}

TEST(QtDialogs, FileDialogsGiveThePathOrNothing) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "a.gif", "GIF89a");
  testing_support::MakeDirs(dir / "site");
  platform::QtDialogs dialogs;

  QStringList filters;
  WhenModalShown([&filters, &dir](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(d, nullptr);
    filters = d->nameFilters();
    // Typed into the name field, as a user would: selecting it in the list
    // would wait for the dialog's folder model, which loads in the background.
    auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(dir / "a.gif"));
    QMetaObject::invokeMethod(d, "accept");
  });
  EXPECT_EQ(dialogs.OpenFile("打开", "图像文件(*.gif)|*.gif|", dir.path()), dir / "a.gif");
  EXPECT_EQ(filters, QStringList({"图像文件(*.gif)"}));

  WhenModalShown([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  EXPECT_EQ(dialogs.OpenFile("打开", "图像文件(*.gif)|*.gif|", dir.path()), "");

  WhenModalShown([&dir](QWidget* w) {
    auto* d = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(d, nullptr);
    // The folder the dialog stands in is the one chosen.
    d->setDirectory(QString::fromStdString(dir / "site"));
    QMetaObject::invokeMethod(d, "accept");
  });
  EXPECT_EQ(dialogs.BrowseFolder("选择目录"), dir / "site");

  WhenModalShown([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  EXPECT_EQ(dialogs.BrowseFolder("选择目录"), "");
}
