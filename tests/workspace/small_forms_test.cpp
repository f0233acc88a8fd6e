#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/process.h"
#include "support/fifo_deadline.h"
#include "support/temp_dir.h"
#include "workspace/about_kova.h"
#include "workspace/explain.h"
#include "workspace/frm_flash.h"
#include "workspace/show_meg.h"

using testing_support::MakeDirs;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Points the program folder at a fresh folder for one test.
class ProgramFolderHere {
 public:
  ProgramFolderHere() : saved_(platform::ProgramFolder()) {
    platform::SetProgramFolder(dir_.path());
    MakeDirs(dir_ / "config");
  }
  ~ProgramFolderHere() { platform::SetProgramFolder(saved_); }
  void WriteHelp(const std::string& rtf) { WriteFile(dir_ / "config/read.rtf", rtf); }

 private:
  TempDir dir_;
  std::string saved_;
};

// Records what the desktop would open.
class OpenedTargets {
 public:
  OpenedTargets() {
    platform::SetDesktopOpener([this](const std::string& t) { targets.push_back(t); });
  }
  ~OpenedTargets() { platform::SetDesktopOpener(nullptr); }
  std::vector<std::string> targets;
};

}  // namespace

TEST(aboutKOVA, ShowsItsTextsAndOpensTheLinks) {
  OpenedTargets opened;
  talvora::aboutKOVA about;
  EXPECT_TRUE(about.Text1->toPlainText().contains("Talvora"));
  {
    // The version the splash shows ("Ver 3.0").
    talvora::FrmFlash splash;
    const QString version = splash.Label2->text().section(' ', 1);
    EXPECT_TRUE(about.Text1->toPlainText().contains("版本 " + version)) << version.toStdString();
  }
  EXPECT_TRUE(about.Text1->isReadOnly());
  EXPECT_EQ(about.Label1->text(), "相关链接：");
  EXPECT_EQ(about.Label2->text(), talvora::kAboutLink1);
  EXPECT_EQ(about.Label3->text(), talvora::kAboutLink2);
  EXPECT_EQ(about.close_->text(), "关  闭");
  EXPECT_NE(about.Label2->text(), about.Label3->text());

  about.show();
  QTest::mouseClick(about.Label2, Qt::LeftButton);
  QTest::mouseClick(about.Label3, Qt::LeftButton);
  QTest::mouseClick(about.Text1->viewport(), Qt::LeftButton);
  EXPECT_EQ(opened.targets,
            std::vector<std::string>({talvora::kAboutLink1, talvora::kAboutLink2}));
}

TEST(aboutKOVA, CloseButtonEndsTheModalShow) {
  talvora::aboutKOVA about;
  QTimer::singleShot(50, about.close_, &QPushButton::click);
  QTimer::singleShot(5000, &about, &QDialog::reject);  // a stuck dialog fails, not hangs
  QElapsedTimer t;
  t.start();
  about.exec();
  EXPECT_LT(t.elapsed(), 4000);
  EXPECT_FALSE(about.isVisible());
}

TEST(explain, ShowsTheHelpFileOrNothing) {
  ProgramFolderHere folder;
  {
    talvora::explain viewer;  // no help file at all
    EXPECT_TRUE(viewer.read->toPlainText().isEmpty());
    EXPECT_TRUE(viewer.read->isReadOnly());
    EXPECT_EQ(viewer.close_->text(), "关  闭");
  }
  folder.WriteHelp("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0 \\'cb\\'ce\\'cc\\'e5;}}"
                   "\\f0\\fs24 \\b \\'ca\\'b9\\'d3\\'c3\\'cb\\'b5\\'c3\\'f7\\b0\\par "
                   "\\'b0\\'ef\\'d6\\'fa\\par}");
  {
    talvora::explain viewer;
    EXPECT_EQ(viewer.read->toPlainText().toStdString(), "使用说明\n帮助\n");
  }
  // A new viewer reads the file again.
  folder.WriteHelp("{\\rtf1 \\'d0\\'c2\\'ce\\'c4\\'b1\\'be}");
  {
    talvora::explain viewer;
    EXPECT_EQ(viewer.read->toPlainText().toStdString(), "新文本");
  }
  // A file that is not rich text opens the viewer empty too.
  folder.WriteHelp("plain words");
  {
    talvora::explain viewer;
    EXPECT_TRUE(viewer.read->toPlainText().isEmpty());
  }
  // A FIFO there is never waited on: the viewer says it cannot show it.
  const std::string help = platform::ProgramFolder() + "/config/read.rtf";
  std::filesystem::remove(help);
  ASSERT_TRUE(testing_support::MakeFifo(help));
  testing_support::FifoDeadline deadline({help});
  {
    talvora::explain viewer;
    const std::string shown = viewer.read->toPlainText().toStdString();
    EXPECT_EQ(shown.rfind("帮助无法显示", 0), 0u) << shown;
    EXPECT_NE(shown.find("\"" + help + "\""), std::string::npos) << shown;
  }
  EXPECT_FALSE(deadline.Passed()) << "the viewer waited on the FIFO";
}

TEST(explain, CloseButtonEndsTheModalShow) {
  ProgramFolderHere folder;
  talvora::explain viewer;
  QTimer::singleShot(50, viewer.close_, &QPushButton::click);
  QTimer::singleShot(5000, &viewer, &QDialog::reject);
  QElapsedTimer t;
  t.start();
  viewer.exec();
  EXPECT_LT(t.elapsed(), 4000);
  EXPECT_FALSE(viewer.isVisible());
}

// The about box and the help viewer end by "关  闭" or the close box only.
TEST(SmallForms, EscapeDoesNotEndTheModalShowButTheCloseBoxDoes) {
  ProgramFolderHere folder;
  struct Case {
    const char* what;
    std::function<QDialog*()> make;
  };
  const Case cases[] = {
      {"about", [] { return new talvora::aboutKOVA; }},
      {"help", [] { return new talvora::explain; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<QDialog> dialog(c.make());
    bool upAfterEscape = false;
    QTimer::singleShot(50, dialog.get(), [&] {
      QTest::keyClick(dialog.get(), Qt::Key_Escape);
      upAfterEscape = dialog->isVisible();
      dialog->close();  // the window's close box
    });
    QTimer::singleShot(5000, dialog.get(), &QDialog::reject);  // fails, not hangs
    QElapsedTimer t;
    t.start();
    dialog->exec();
    EXPECT_TRUE(upAfterEscape);
    EXPECT_LT(t.elapsed(), 4000);
    EXPECT_FALSE(dialog->isVisible());
  }
}

TEST(ShowMeg, IsCentredAndWaitsForItsCaller) {
  auto* busy = new talvora::ShowMeg;
  EXPECT_EQ(busy->Label1->text(), "正在压缩 ......");
  // A strip without a title bar: no icon, no buttons.
  EXPECT_TRUE(busy->windowFlags().testFlag(Qt::FramelessWindowHint));
  // Centred at load, before anyone shows it.
  EXPECT_FALSE(busy->isVisible());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const QPoint centre = busy->frameGeometry().center();
  EXPECT_LE(std::abs(centre.x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(centre.y() - screen.center().y()), 1);

  busy->show();
  busy->raise();
  EXPECT_TRUE(busy->isVisible());
  EXPECT_LE(std::abs(busy->frameGeometry().center().x() - screen.center().x()), 1);
  delete busy;
}
