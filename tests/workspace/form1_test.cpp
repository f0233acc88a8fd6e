#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDate>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>
#include <QHelpEvent>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include "generator/ui_sink.h"
#include "generator/uitl.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/event_wait.h"
#include "support/modal_wait.h"
#include "support/temp_dir.h"
#include "wizard/wizard_pane.h"
#include "workspace/about_kova.h"
#include "workspace/explain.h"
#include "workspace/form1.h"
#include "workspace/frm_flash.h"
#include "workspace/import_dialog.h"

using talvora::Form1;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Twips to pixels as the window places controls: 15 to a pixel, nearest.
int Px(double twips) { return static_cast<int>(std::nearbyint(twips / 15.0)); }

const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00,"
    "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
    43);

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    // The window closes in some tests; the test run goes on.
    qApp->setQuitOnLastWindowClosed(false);
    form_ = &Form1::Load();
    form_->show();
    // The design's window: 11880 twips wide outside, 8310 high inside.
    SetClientSize(792, 554);
  }
  void TearDown() override {
    delete Form1::Loaded();
    talvora::FrmFlash::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // Resizes the window to this outer width (borders included) and this
  // client height below the menu bar, in pixels; the window lays itself out
  // on the way.
  void SetClientSize(int outerWidth, int height) {
    int menu = form_->height() - form_->client->height();
    int border = form_->frameGeometry().width() - form_->width();
    form_->resize(outerWidth - border, height + menu);
    QCoreApplication::processEvents();
  }
  // Where the user has left the splitter, in twips.
  void PutSplitterAt(double twips) { form_->VSplitterBar1->move(Px(twips), form_->VSplitterBar1->y()); }

  // Every control's geometry, to compare two layouts.
  std::map<std::string, QRect> Geometries() {
    std::map<std::string, QRect> all;
    int n = 0;
    for (QWidget* w : form_->client->findChildren<QWidget*>())
      all[std::to_string(n++) + w->metaObject()->className()] = w->geometry();
    return all;
  }

  Form1* form_ = nullptr;
  platform::ScriptedDialogs dialogs_;
};

// ---------------------------------------------------------------------------
// Load and the start state

TEST_F(Form1Test, StartsWithNeitherPaneAndTheNeutralPicture) {
  EXPECT_FALSE(form_->RightFrame->isVisible());
  EXPECT_FALSE(form_->resourceFrame->isVisible());
  EXPECT_TRUE(form_->boxImg->isVisible());
  EXPECT_FALSE(form_->boxImg->pixmap().isNull());
  // The grid: two rows, the header being the first, and its three widths.
  EXPECT_EQ(form_->GridRows(), 2);
  EXPECT_EQ(form_->MSFlexGrid1->columnCount(), 3);
  // A sixth, a half and a third of the grid's width at load (7860 twips),
  // each to the whole twip.
  EXPECT_EQ(form_->MSFlexGrid1->columnWidth(0), Px(1310));
  EXPECT_EQ(form_->MSFlexGrid1->columnWidth(1), Px(3930));
  EXPECT_EQ(form_->MSFlexGrid1->columnWidth(2), Px(2620));
  EXPECT_EQ(talvora::GetUiSink(), form_);
}

TEST_F(Form1Test, TheStatusBarHasItsFourPanels) {
  EXPECT_EQ(form_->StatusPanel(1)->text(), "当前状态");
  EXPECT_EQ(form_->StatusPanel(2)->text(), "提示操作");
  EXPECT_FALSE(form_->StatusPanel(4)->text().isEmpty());
  EXPECT_EQ(form_->StatusPanel(5), nullptr);
  // The date panel writes the date as the status line's stamp does.
  talvora::ShowStatus("x");
  const QString stamp = form_->StatusPanel(2)->text().section(' ', 1, 1);
  EXPECT_EQ(form_->StatusPanel(3)->text().toStdString(), stamp.toStdString());
}

TEST_F(Form1Test, TheGeneratorReachesTheStatusLineProgressBarAndPump) {
  talvora::ShowStatus("主题资源处理完成");
  QString line = form_->StatusPanel(2)->text();
  EXPECT_TRUE(line.startsWith("[ ")) << line.toStdString();
  EXPECT_TRUE(line.endsWith(" ]  主题资源处理完成")) << line.toStdString();

  talvora::ProgressBar().SetMax(7);
  talvora::ProgressBar().SetValue(3);
  EXPECT_EQ(form_->RightFrame->ProgressBar->maximum(), 7);
  EXPECT_EQ(form_->RightFrame->ProgressBar->value(), 3);

  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  talvora::PumpMessages();
  EXPECT_TRUE(ran);
}

// ---------------------------------------------------------------------------
// Layout

TEST_F(Form1Test, TheDesignSizeLaysOutByTheRules) {
  ASSERT_EQ(form_->client->height(), 554);
  ASSERT_EQ(form_->frameGeometry().width(), 792);
  // The folder frame's left edge comes from its width of the run before; a
  // second run at the same size settles it.
  form_->LayoutPanes();
  talvora::WizardPane* wz = form_->RightFrame;
  struct Case {
    const char* name;
    QWidget* widget;
    QRect expected;  // pixels
  };
  // Splitter at 2400; rightBox 11880 - 2400 wide; panes 8310 - 375 - 795 high.
  const Case cases[] = {
      {"TreeView1", form_->TreeView1, QRect(0, 56, 160, 476)},
      {"VSplitterBar1", form_->VSplitterBar1, QRect(160, 56, 3, 476)},
      {"rightBox", form_->rightBox, QRect(163, 56, 632, 476)},
      {"RightFrame", wz, QRect(0, 0, 632, 476)},
      {"resourceFrame", form_->resourceFrame, QRect(0, 0, 632, 476)},
      // 7000 x 3000 in the middle of rightBox.
      {"boxImg", form_->boxImg, QRect(82, 138, 467, 200)},
      {"Page222", wz->Page222, QRect(0, 0, 632, 376)},
      // Right edge at the page's right edge.
      {"buttomFrame", wz->buttomFrame, QRect(632 - 392, 376, 392, 100)},
      // Three quarters of the page; at a quarter of the page less 500.
      {"pageFrame1", wz->pageFrame1, QRect(125, 309, 474, 57)},
      // The page less 2000 wide; the page less the frame less 1000 high.
      {"Text1", wz->Text1, QRect(67, 16, 499, 252)},
      // pageFrame3 after pageFrame2 + 2000, half the page wide.
      {"pageFrame3", wz->pageFrame3, QRect(273, 8, 316, 226)},
      // pageFrame4 spans both frames and 200 (not two thirds of the page).
      {"pageFrame4", wz->pageFrame4, QRect(120, 220, 469, 93)},
      // After Label5 and logoText, 400 on.
      {"logoCommand", wz->logoCommand, QRect(406, 19, 25, 23)},
      {"bannerCommand", wz->bannerCommand, QRect(406, 51, 25, 23)},
      {"pageFrame5", wz->pageFrame5, QRect(90, 75, 474, 213)},
      {"MSFlexGrid1", form_->MSFlexGrid1, QRect(13, 148, 605, 155)},
      // The preview browser right below the grid.
      {"WebBrowser1", form_->WebBrowser1, QRect(13, 306, 605, 155)},
      // 3000 before the toolbar's end, the toolbar spanning the client area.
      {"larchmerePic", form_->larchmerePic,
       QRect(Px(form_->Toolbar1->width() * 15 - 3000), 2, 197, 47)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.widget->geometry(), c.expected) << c.name;
}

TEST_F(Form1Test, AFolderFrameMovesByItsWidthFromBeforeTheLayout) {
  // The frame's left edge is worked out from its old width, then it gets
  // its new width.
  talvora::WizardPane* wz = form_->RightFrame;
  int oldWidthTw = wz->pageFrame1->width() * 15;
  SetClientSize(992, 554);
  int pageTw = wz->Page111->width() * 15;
  EXPECT_EQ(wz->pageFrame1->x(), Px(pageTw - oldWidthTw - 500));
  EXPECT_EQ(wz->pageFrame1->width(), Px(pageTw / 2.0 + pageTw / 4.0));
}

TEST_F(Form1Test, AWindowNarrowerThanTheSplitterSkipsTheNegativeWidth) {
  QRect before = form_->rightBox->geometry();
  SetClientSize(120, 400);
  ASSERT_LT(form_->frameGeometry().width() * 15, 2400) << "the window must get that narrow";

  // rightBox keeps its old width; every other rule still ran.
  EXPECT_EQ(form_->rightBox->width(), before.width());
  EXPECT_EQ(form_->RightFrame->width(), before.width());
  EXPECT_EQ(form_->TreeView1->width(), 160);
  int paneHeight = Px(form_->client->height() * 15 - 375 - 795);
  EXPECT_EQ(form_->VSplitterBar1->height(), paneHeight);
  EXPECT_EQ(form_->rightBox->height(), paneHeight);
  EXPECT_EQ(form_->larchmerePic->x(), Px(form_->Toolbar1->width() * 15 - 3000));
  EXPECT_LT(form_->larchmerePic->x(), 0);
  EXPECT_EQ(form_->MSFlexGrid1->horizontalHeaderItem(1)->text(), "地址");
}

TEST_F(Form1Test, TheWizardPaneIsNeverNarrowerThan3000) {
  struct Case {
    int clientWidth;        // outer pixels; the splitter stays at 2400 twips
    int rightBox;           // pixels
    int wizard;             // pixels
  };
  const Case cases[] = {
      {300, 140, 200},  // 2100 wide: the pane stays 3000 and is clipped
      {360, 200, 200},  // exactly 3000
      {361, 201, 201},  // just above
      {800, 640, 640},
  };
  for (const Case& c : cases) {
    SetClientSize(c.clientWidth, 554);
    ASSERT_EQ(form_->frameGeometry().width(), c.clientWidth);
    EXPECT_EQ(form_->rightBox->width(), c.rightBox) << c.clientWidth;
    EXPECT_EQ(form_->RightFrame->width(), c.wizard) << c.clientWidth;
    EXPECT_EQ(form_->RightFrame->Page111->width(), c.wizard) << c.clientWidth;
    // The web pane took rightBox's width before the minimum; its grid
    // follows the wizard pane's frame.
    EXPECT_EQ(form_->resourceFrame->width(), c.rightBox) << c.clientWidth;
    EXPECT_EQ(form_->MSFlexGrid1->width(), Px(c.wizard * 15 - 400)) << c.clientWidth;
  }
}

TEST_F(Form1Test, TheUsageTextIsAtLeast3500High) {
  talvora::WizardPane* wz = form_->RightFrame;
  struct Case {
    int clientHeight;  // pixels
    int text1;         // pixels
  };
  const Case cases[] = {
      {554, 252},  // room enough: the page less the frame less 1000
      {700, 398},
      {368, 233},  // computes 995: lifted to 3500, over the folder frame
      {200, 233},  // computes less than nothing: skipped, stays as it was
  };
  for (const Case& c : cases) {
    SetClientSize(792, c.clientHeight);
    ASSERT_EQ(form_->client->height(), c.clientHeight);
    EXPECT_EQ(wz->Text1->height(), c.text1) << c.clientHeight;
  }
  SetClientSize(792, 368);
  EXPECT_GT(wz->Text1->geometry().bottom(), wz->pageFrame1->y()) << "it may cover the frame";
}

TEST_F(Form1Test, EveryLayoutWritesTheGridHeadersAgain) {
  QTableWidget* grid = form_->MSFlexGrid1;
  grid->clear();
  grid->horizontalHeader()->setVisible(false);
  ASSERT_EQ(grid->horizontalHeaderItem(0), nullptr);

  SetClientSize(700, 500);
  EXPECT_TRUE(grid->horizontalHeader()->isVisibleTo(form_->resourceFrame));
  QStringList headers;
  for (int c = 0; c < 3; ++c) headers << grid->horizontalHeaderItem(c)->text();
  EXPECT_EQ(headers, QStringList({"类型", "地址", "说明"}));

  grid->horizontalHeaderItem(0)->setText("类型△");
  form_->LayoutPanes();
  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "类型");
}

TEST_F(Form1Test, MovingTheSplitterLaysOutTwiceWithTheSameResult) {
  talvora::VSplitterBar* bar = form_->VSplitterBar1;
  QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, QPoint(1, 100));
  QTest::mouseMove(bar, QPoint(101, 100));
  QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, QPoint(1, 100));

  EXPECT_EQ(bar->x(), 260);
  EXPECT_FLOAT_EQ(bar->Left(), 3900);
  EXPECT_EQ(form_->TreeView1->width(), 260);
  EXPECT_EQ(form_->rightBox->x(), 263);
  EXPECT_EQ(form_->rightBox->width(), Px(11880 - 3900));
  auto once = Geometries();
  form_->LayoutPanes();
  EXPECT_EQ(Geometries(), once);
}

// ---------------------------------------------------------------------------
// Brand picture and menu

TEST_F(Form1Test, TheBrandPictureShowsOnlyWhatLoadsAndOpensTheMakersSite) {
  TempDir program;
  std::string saved = platform::ProgramFolder();
  platform::SetProgramFolder(program.path());
  std::vector<std::string> opened;
  platform::SetDesktopOpener([&](const std::string& t) { opened.push_back(t); });

  form_->LayoutPanes();
  EXPECT_TRUE(form_->larchmerePic->pixmap().isNull()) << "no file, no picture";
  QTest::mouseClick(form_->larchmerePic, Qt::LeftButton);

  WriteFile(program / "mainResource.gif", kGif);
  form_->LayoutPanes();
  ASSERT_FALSE(form_->larchmerePic->pixmap().isNull());
  qint64 shown = form_->larchmerePic->pixmap().cacheKey();
  WriteFile(program / "mainResource.gif", "<html>not a picture</html>");
  form_->LayoutPanes();
  EXPECT_EQ(form_->larchmerePic->pixmap().cacheKey(), shown) << "the old picture stays";

  EXPECT_EQ(form_->larchmerePic->toolTip(), "Qorvath网站");
  EXPECT_EQ(opened, std::vector<std::string>{talvora::MakerSiteAddress()});
  platform::SetDesktopOpener(nullptr);
  platform::SetProgramFolder(saved);
}

TEST_F(Form1Test, TheMenuItemShowsTheAboutBoxModal) {
  QList<QAction*> items = form_->menuBar()->actions();
  ASSERT_EQ(items.size(), 1);
  EXPECT_EQ(items[0]->text(), "关于(&O)");
  QString shown;
  testing_support::WhenModalShown([&](QWidget* modal) {
    if (qobject_cast<talvora::aboutKOVA*>(modal)) shown = "aboutKOVA";
    static_cast<QDialog*>(modal)->reject();
  });
  items[0]->trigger();
  EXPECT_EQ(shown, "aboutKOVA");
}

// ---------------------------------------------------------------------------
// Toolbar

TEST_F(Form1Test, TheToolbarHasTwelveButtons) {
  struct Button {
    const char* caption;  // nullptr: separator
    const char* tip;
    bool enabled;
  };
  const Button expected[13] = {
      {},
      {nullptr, "", true},
      {"生成向导", "使用将指定文件夹生成主题资源", true},
      {"导入资源", "", true},
      {"网络资源", "从网络上查找资源", true},
      {nullptr, "", true},
      {"复制", "复制一个文件夹或文件", false},
      {"剪切", "剪切一个文件或文件夹", false},
      {"粘贴", "粘贴一个文件或文件夹", false},
      {"删除", "删除一个文件或文件夹", false},
      {"重命名", "", false},
      {nullptr, "", true},
      {"帮助", "", true},
  };
  ASSERT_EQ(form_->Toolbar1->actions().size(), 12);
  for (int i = 1; i <= 12; ++i) {
    QAction* b = form_->Toolbar1Buttons[i];
    ASSERT_EQ(b, form_->Toolbar1->actions()[i - 1]) << i;
    EXPECT_EQ(b->isSeparator(), expected[i].caption == nullptr) << i;
    if (!expected[i].caption) continue;
    EXPECT_EQ(b->text(), expected[i].caption) << i;
    // The tip the mouse brings up; a button without one of its own shows none.
    QWidget* button = form_->Toolbar1->widgetForAction(b);
    // The offscreen window is never the active one.
    button->setAttribute(Qt::WA_AlwaysShowToolTips);
    // The tip of the button before goes away only after a moment.
    QToolTip::hideText();
    ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000)) << i;
    QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(button, &hover);
    EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), expected[i].tip) << i;
    EXPECT_EQ(b->isEnabled(), expected[i].enabled) << i;
  }
}

TEST_F(Form1Test, EachButtonActsWithTheWindowLocked) {
  // Records whether the window was locked when a pane came up.
  struct ShowWatch : QObject {
    bool lockedWhenShown = true;
    int shows = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Show) {
        ++shows;
        if (Form1::Loaded()->isEnabled()) lockedWhenShown = false;
      }
      return false;
    }
  } watch;
  form_->RightFrame->installEventFilter(&watch);
  form_->resourceFrame->installEventFilter(&watch);

  struct Case {
    int index;
    bool wizard;  // the panes afterwards
    bool web;
  };
  const Case cases[] = {
      {1, false, false}, {5, false, false}, {11, false, false},
      {6, false, false}, {7, false, false}, {8, false, false},  {9, false, false},
      {10, false, false}, {2, true, false}, {4, false, true},   {2, true, false},
      {11, true, false},
  };
  for (const Case& c : cases) {
    form_->Toolbar1_ButtonClick(c.index);
    if (const char* to = std::getenv("TALVORA_GRAB_DIR"))
      form_->grab().save(QString("%1/main-button%2.png").arg(to).arg(c.index));
    EXPECT_EQ(form_->RightFrame->isVisible(), c.wizard) << c.index;
    EXPECT_EQ(form_->resourceFrame->isVisible(), c.web) << c.index;
    EXPECT_TRUE(form_->isEnabled()) << "unlocked after button " << c.index;
  }
  EXPECT_EQ(watch.shows, 3);
  EXPECT_TRUE(watch.lockedWhenShown);
}

TEST_F(Form1Test, ImportAndHelpAreModalOverTheLockedWindow) {
  struct Case {
    int index;
    std::function<bool(QWidget*)> isTheForm;
  };
  const Case cases[] = {
      {3, [](QWidget* w) { return qobject_cast<talvora::Dialog*>(w) != nullptr; }},
      {12, [](QWidget* w) { return qobject_cast<talvora::explain*>(w) != nullptr; }},
  };
  // A node is selected: the tree's import command would put its path into
  // the folder field, the button leaves the field empty.
  {
    QSignalBlocker quiet(form_->TreeView1), quietSelection(form_->TreeView1->selectionModel());
    form_->TreeView1->setCurrentItem(form_->TreeView1->topLevelItem(0));
  }
  ASSERT_NE(form_->TreeView1->currentItem(), nullptr);
  for (const Case& c : cases) {
    bool locked = false, usable = false, isForm = false, owned = false;
    QString folderField;
    testing_support::WhenModalShown([&](QWidget* modal) {
      isForm = c.isTheForm(modal);
      locked = !form_->isEnabled();
      if (auto* import = qobject_cast<talvora::Dialog*>(modal))
        folderField = import->inputPath->text();
      usable = modal->isEnabled();
      owned = modal->parentWidget() == form_;
      static_cast<QDialog*>(modal)->reject();
    });
    QTest::mouseClick(form_->Toolbar1->widgetForAction(form_->Toolbar1Buttons[c.index]),
                      Qt::LeftButton);
    EXPECT_TRUE(isForm) << c.index;
    EXPECT_TRUE(owned) << c.index;
    EXPECT_TRUE(locked) << c.index;
    EXPECT_TRUE(usable) << c.index;
    EXPECT_TRUE(form_->isEnabled()) << c.index;
    EXPECT_EQ(folderField, "") << c.index;
  }
}

// ---------------------------------------------------------------------------
// Exit

// Closing the window while the about box or the help viewer is up ends the
// form with the window: neither has work under way to wait for.
TEST_F(Form1Test, ClosingWhileTheAboutBoxOrTheHelpIsUpEndsBoth) {
  const struct {
    const char* what;
    std::function<void()> open;
  } cases[] = {
      {"the about box", [this] { form_->menuBar()->actions()[0]->trigger(); }},
      {"the help viewer", [this] { form_->Toolbar1_ButtonClick(12); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!form_) form_ = &Form1::Load();
    form_->show();
    bool formEnded = false;
    testing_support::WhenModalShown([&](QWidget* modal) {
      QPointer<QWidget> form(modal);
      form_->close();
      formEnded = form.isNull() || !form->isVisible();
      if (!formEnded) static_cast<QDialog*>(modal)->reject();
    });
    c.open();
    EXPECT_TRUE(formEnded);
    EXPECT_TRUE(testing_support::WaitUntil([] {
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      return Form1::Loaded() == nullptr;
    }, 10000));
    form_ = nullptr;
  }
}

// While the window collapses it takes no input, and a command that would
// still reach it does nothing.
TEST_F(Form1Test, NoCommandStartsOnceTheExitHasBegun) {
  bool enabled = true, wizardShown = true;
  QTimer::singleShot(300, [&] {
    enabled = form_->isEnabled();
    form_->Toolbar1_ButtonClick(2);
    wizardShown = form_->RightFrame->isVisible();
  });
  form_->close();
  EXPECT_FALSE(enabled);
  EXPECT_FALSE(wizardShown);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(Form1::Loaded(), nullptr);
  form_ = nullptr;
}

TEST_F(Form1Test, ClosingUnloadsTheSplashAndCollapsesToTheCentre) {
  talvora::Main();
  ASSERT_NE(talvora::FrmFlash::Loaded(), nullptr);
  QPoint centre = form_->geometry().center();
  QSize full = form_->size();
  // Every size the window passes through on its way.
  struct Sizes : QObject {
    std::vector<QSize> seen;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Resize) seen.push_back(static_cast<QResizeEvent*>(e)->size());
      return false;
    }
  } sizes;
  form_->installEventFilter(&sizes);
  QElapsedTimer clock;
  clock.start();
  form_->close();
  // The animation takes its second, however busy the machine.
  EXPECT_GE(clock.elapsed(), 900);
  form_->removeEventFilter(&sizes);

  EXPECT_EQ(talvora::FrmFlash::Loaded(), nullptr);
  EXPECT_TRUE(std::any_of(sizes.seen.begin(), sizes.seen.end(), [&](const QSize& s) {
    return s.width() > 1 && s.width() < full.width();
  })) << "no size between the full window and a point";
  EXPECT_LE(std::abs(form_->geometry().center().x() - centre.x()), 1);
  EXPECT_FALSE(form_->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(Form1::Loaded(), nullptr);
  EXPECT_EQ(talvora::GetUiSink(), nullptr);
  form_ = nullptr;
}

}  // namespace
