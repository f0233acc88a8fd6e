// The main window's web pane and resource grid: the lock while a page is
// scanned, the grid filled from the scan, the sort by header clicks, the
// preview and the save into the folder selected in the tree.
#include <filesystem>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include "generator/ui_sink.h"
#include "platform/dialogs.h"
#include "platform/process.h"
#include "support/event_wait.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "webfinder/parser_panel.h"
#include "webfinder/resource_info.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"
#include "workspace/tree_helpers.h"

namespace {

namespace fs = std::filesystem;
using talvora::Form1;
using talvora::ResourceInfos;
using talvora::TreeNodes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestHttpServer;
using testing_support::WaitUntil;
using testing_support::WriteFile;

// Every status text shown, passed on to the window.
class StatusLog : public talvora::UiSink {
 public:
  explicit StatusLog(Form1* form) : form_(form) { talvora::SetUiSink(this); }
  ~StatusLog() override { talvora::SetUiSink(form_); }
  void StatusChanged(const std::string& text) override {
    texts.push_back(text);
    form_->StatusChanged(text);
  }
  void PumpMessages() override { form_->PumpMessages(); }
  bool Shown(const std::string& message) const {
    for (const std::string& t : texts)
      if (t.size() >= message.size() && t.compare(t.size() - message.size(), message.size(), message) == 0)
        return true;
    return false;
  }
  std::vector<std::string> texts;

 private:
  Form1* form_;
};

class WebPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qApp->setQuitOnLastWindowClosed(false);
    form_ = &Form1::Load();
    // The pane's blank start page loads once the events run.
    QWebEnginePage* page = form_->ParserPanel1->WebBrowser1->page();
    bool loaded = false;
    const QMetaObject::Connection watch =
        QObject::connect(page, &QWebEnginePage::loadFinished, [&] { loaded = true; });
    form_->show();
    form_->Toolbar1_ButtonClick(4);
    grid_ = form_->MSFlexGrid1;
    const bool started = WaitUntil([&] { return loaded; });
    QObject::disconnect(watch);
    ASSERT_TRUE(started);
    // Whatever the browser reports of it has come through as well.
    bool flushed = false;
    page->runJavaScript("0", [&](const QVariant&) { flushed = true; });
    ASSERT_TRUE(WaitUntil([&] { return flushed; }));
  }
  void TearDown() override {
    platform::SetDesktopOpener(nullptr);
    delete Form1::Loaded();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // Rows of (kind text, address, description), data rows only.
  std::vector<std::vector<std::string>> Rows() const {
    std::vector<std::vector<std::string>> rows;
    for (int r = 1; r < form_->GridRows(); ++r)
      rows.push_back({form_->GridText(r, 0).toStdString(), form_->GridText(r, 1).toStdString(),
                      form_->GridText(r, 2).toStdString()});
    return rows;
  }
  std::vector<std::string> Headers() const {
    return {form_->GridText(0, 0).toStdString(), form_->GridText(0, 1).toStdString(),
            form_->GridText(0, 2).toStdString()};
  }
  void Search(ResourceInfos& resources) {
    form_->Form1_ParserPanel1_SearchStart();
    form_->Form1_ParserPanel1_SearchEnd(&resources);
  }
  void ClickHeader(int col) {
    QHeaderView* header = grid_->horizontalHeader();
    QPoint at(header->sectionViewportPosition(col) + header->sectionSize(col) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }
  // What a double click hands a widget: press, release, double click, release.
  static void DoubleClick(QWidget* widget, QPoint at) {
    const QPointF local(at), global(widget->mapToGlobal(at));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                              QEvent::MouseButtonRelease}) {
      const bool down = type != QEvent::MouseButtonRelease;
      QMouseEvent event(type, local, global, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton,
                        Qt::NoModifier);
      QApplication::sendEvent(widget, &event);
    }
  }
  // Reads the folders from the root down to path, as the user's clicks
  // would, and selects path's node.
  QTreeWidgetItem* SelectFolder(const std::string& path) {
    QTreeWidgetItem* node = tree_helpers::OpenDownTo(*form_, path);
    form_->TreeView1->setCurrentItem(node);
    return node;
  }
  // One row with this address, selected.
  void OfferAddress(const std::string& address) {
    ResourceInfos resources;
    resources.Add(address, 0, "", "");
    Search(resources);
    grid_->setCurrentCell(0, 1);
  }
  std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
  }

  Form1* form_ = nullptr;
  QTableWidget* grid_ = nullptr;
  platform::ScriptedDialogs dialogs_;
};

TEST_F(WebPaneTest, TheTreeAndToolbarAreLockedWithTheHourglassWhileAPageLoads) {
  form_->Form1_ParserPanel1_SearchStart();
  form_->Form1_ParserPanel1_SearchStart();
  EXPECT_FALSE(form_->TreeView1->isEnabled());
  EXPECT_FALSE(form_->Toolbar1->isEnabled());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ResourceInfos none;
  form_->Form1_ParserPanel1_SearchEnd(&none);
  EXPECT_TRUE(form_->TreeView1->isEnabled());
  EXPECT_TRUE(form_->Toolbar1->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "two starts, one end: no hourglass is left";
}

TEST_F(WebPaneTest, TheGridShowsEveryResourceWithAnAddress) {
  form_->saveResourceBtn->setEnabled(false);
  form_->preResourceBtn->setEnabled(false);
  form_->clearResourceBtn->setEnabled(false);
  ResourceInfos resources;
  resources.Add("http://h/a.gif", 0, "校徽", "");
  resources.Add("http://h/b.swf", 1, "", "");
  resources.Add("", 2, "an item without address", "");
  resources.Add("http://h/c.wmv", 2, "录像", "");
  resources.Add("http://h/d.rm", 3, "", "");
  resources.Add("http://h/e.xyz", 7, "odd", "");
  resources.Add("   ", 0, "blanks only", "");
  Search(resources);
  EXPECT_EQ(Rows(), (std::vector<std::vector<std::string>>{
                        {"picture", "http://h/a.gif", "校徽"},
                        {"Flash", "http://h/b.swf", ""},
                        {"media", "http://h/c.wmv", "录像"},
                        {"Real", "http://h/d.rm", ""},
                        {"Other", "http://h/e.xyz", "odd"},
                    }));
  EXPECT_EQ(form_->resourceCountLab->text(), "搜索 7 条,可用资源共有 5 条!");
  EXPECT_TRUE(form_->saveResourceBtn->isEnabled());
  EXPECT_TRUE(form_->preResourceBtn->isEnabled());
  EXPECT_TRUE(form_->clearResourceBtn->isEnabled());
  EXPECT_EQ(Headers(), (std::vector<std::string>{"类型", "地址", "说明"}));

  // A search that finds nothing leaves the header row and the buttons as they were.
  form_->preResourceBtn->setEnabled(false);
  ResourceInfos none;
  Search(none);
  EXPECT_EQ(form_->GridRows(), 1);
  EXPECT_EQ(form_->resourceCountLab->text(), "搜索 0 条,可用资源共有 0 条!");
  EXPECT_TRUE(form_->saveResourceBtn->isEnabled());
  EXPECT_FALSE(form_->preResourceBtn->isEnabled());

  // Clearing leaves one empty row under the headers.
  Search(resources);
  form_->clearResourceBtn->click();
  EXPECT_EQ(form_->GridRows(), 2);
  EXPECT_EQ(Rows(), (std::vector<std::vector<std::string>>{{"", "", ""}}));
  EXPECT_TRUE(form_->saveResourceBtn->isEnabled());
}

TEST_F(WebPaneTest, AHeaderClickSortsDescendingThenEachClickTurnsTheOrder) {
  ResourceInfos resources;
  resources.Add("http://h/b.gif", 0, "2", "");
  resources.Add("http://h/c.wmv", 2, "10", "");
  resources.Add("http://h/a.swf", 1, "9", "");
  Search(resources);
  using Table = std::vector<std::vector<std::string>>;
  const std::vector<std::string> rowA{"Flash", "http://h/a.swf", "9"};
  const std::vector<std::string> rowB{"picture", "http://h/b.gif", "2"};
  const std::vector<std::string> rowC{"media", "http://h/c.wmv", "10"};

  ClickHeader(1);
  EXPECT_EQ(Rows(), (Table{rowC, rowB, rowA}));
  EXPECT_EQ(Headers(), (std::vector<std::string>{"类型", "地址△", "说明"}));
  ClickHeader(1);
  EXPECT_EQ(Rows(), (Table{rowA, rowB, rowC}));
  EXPECT_EQ(Headers(), (std::vector<std::string>{"类型", "地址▽", "说明"}));
  ClickHeader(1);
  EXPECT_EQ(Rows(), (Table{rowC, rowB, rowA}));
  EXPECT_EQ(Headers(), (std::vector<std::string>{"类型", "地址△", "说明"}));

  // Another column: the first loses its mark. Numbers sort by value.
  ClickHeader(2);
  EXPECT_EQ(Rows(), (Table{rowC, rowA, rowB}));
  EXPECT_EQ(Headers(), (std::vector<std::string>{"类型", "地址", "说明△"}));
  ClickHeader(0);
  EXPECT_EQ(Rows(), (Table{rowB, rowC, rowA}));
  EXPECT_EQ(Headers(), (std::vector<std::string>{"类型△", "地址", "说明"}));

  // A click below the header row does not sort.
  QTest::mouseClick(grid_->viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid_->visualRect(grid_->model()->index(0, 0)).center());
  EXPECT_EQ(Rows(), (Table{rowB, rowC, rowA}));
  EXPECT_EQ(Headers()[0], "类型△");

  // After a new search no header is marked; a click takes nothing from another.
  Search(resources);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"类型", "地址", "说明"}));
  ClickHeader(2);
  EXPECT_EQ(Headers(), (std::vector<std::string>{"类型", "地址", "说明△"}));
}

TEST_F(WebPaneTest, PreviewOpensTheSelectedAddress) {
  std::vector<std::string> opened;
  platform::SetDesktopOpener([&](const std::string& t) { opened.push_back(t); });
  form_->clearResourceBtn->click();
  grid_->setCurrentCell(0, 1);
  form_->preResourceBtn->click();
  EXPECT_TRUE(opened.empty()) << "an empty row opens nothing";

  ResourceInfos resources;
  resources.Add("http://127.0.0.1:1/a.gif", 0, "", "");
  resources.Add("http://127.0.0.1:1/b.gif", 0, "", "");
  Search(resources);
  grid_->setCurrentCell(1, 0);
  EXPECT_EQ(form_->WebBrowser1->url().toString(), "http://127.0.0.1:1/b.gif");
  form_->preResourceBtn->click();
  form_->Form1_MSFlexGrid1_DblClick();
  EXPECT_EQ(opened, (std::vector<std::string>{"http://127.0.0.1:1/b.gif", "http://127.0.0.1:1/b.gif"}));

  // Moving the selection with the keys previews the row arrived at.
  grid_->setFocus();
  QTest::keyClick(grid_, Qt::Key_Up);
  EXPECT_EQ(form_->GridRowSel(), 1);
  EXPECT_EQ(form_->WebBrowser1->url().toString(), "http://127.0.0.1:1/a.gif");

  // A double click anywhere over the grid previews the selected row: on a
  // row, on the empty space below the rows and on the header row.
  opened.clear();
  DoubleClick(grid_->viewport(), grid_->visualRect(grid_->model()->index(1, 1)).center());
  DoubleClick(grid_->viewport(), QPoint(5, grid_->viewport()->height() - 3));
  QHeaderView* header = grid_->horizontalHeader();
  DoubleClick(header->viewport(), QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
  EXPECT_EQ(opened, (std::vector<std::string>{"http://127.0.0.1:1/b.gif", "http://127.0.0.1:1/b.gif",
                                              "http://127.0.0.1:1/b.gif"}));
}

TEST_F(WebPaneTest, SaveDownloadsIntoTheSelectedFolderAndRefreshesIt) {
  TestHttpServer server({{"/files/pic.gif", {TestHttpServer::Response("GIF89a body", "image/gif")}}});
  TempDir dir;
  QTreeWidgetItem* node = SelectFolder(dir.path());
  ASSERT_NE(node, nullptr);
  StatusLog status(form_);
  OfferAddress(server.Url("/files/pic.gif"));
  dialogs_.answers = {platform::vbYes, platform::vbOK};
  form_->saveResourceBtn->click();

  EXPECT_EQ(ReadFile(dir / "pic.gif"), "GIF89a body");
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_EQ(dialogs_.shown[0].prompt, "确定要保存到　" + dir.path() + "　目录吗？");
  EXPECT_EQ(dialogs_.shown[0].title, "提示");
  EXPECT_EQ(dialogs_.shown[0].style, platform::vbYesNo);
  EXPECT_EQ(dialogs_.shown[1].prompt, "资源已下载到指定位置！");
  EXPECT_EQ(dialogs_.shown[1].style, platform::vbOKOnly);
  EXPECT_TRUE(status.Shown("资源下载 中 ..."));
  EXPECT_TRUE(status.Shown("资源下载完成 ..."));
  // The folder's node was read again: the new file shows.
  QTreeWidgetItem* file = form_->NodeOfKey(dir / "pic.gif");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->parent(), form_->NodeOfKey(dir.path()));
  EXPECT_TRUE(form_->saveResourceBtn->isEnabled());
  EXPECT_TRUE(form_->TreeView1->isEnabled());
}

// The window manager's close reaches the window while a download into the
// tree is on its way: the close waits for the save, then it is carried out.
TEST_F(WebPaneTest, ClosingDuringADownloadWaitsForTheSaveThenCloses) {
  TempDir dir;
  bool closedMidDownload = false;
  TestHttpServer::Answer answer{TestHttpServer::Response("GIF89a body", "image/gif")};
  // Asked for once the request is in, before the reply goes out: the close
  // reaches the window while the download is under way.
  answer.act = [&] {
    QMetaObject::invokeMethod(form_, [&] {
      closedMidDownload = !fs::exists(dir / "pic.gif");
      form_->close();
    }, Qt::QueuedConnection);
  };
  TestHttpServer server({{"/pic.gif", answer}});
  SelectFolder(dir.path());
  OfferAddress(server.Url("/pic.gif"));
  dialogs_.answers = {platform::vbYes, platform::vbOK};
  bool shownAtTheEnd = false;
  dialogs_.onShow = [&](const platform::ScriptedDialogs::Shown& shown) {
    if (shown.prompt == "资源已下载到指定位置！") shownAtTheEnd = form_->isVisible() && form_->isEnabled();
  };
  form_->saveResourceBtn->click();

  EXPECT_TRUE(closedMidDownload);
  // The save ran to its end in the window as it was, the tree showing the
  // new file.
  ASSERT_EQ(Form1::Loaded(), form_);
  EXPECT_EQ(ReadFile(dir / "pic.gif"), "GIF89a body");
  EXPECT_EQ(dialogs_.LastPrompt(), "资源已下载到指定位置！");
  EXPECT_TRUE(shownAtTheEnd);
  EXPECT_NE(form_->NodeOfKey(dir / "pic.gif"), nullptr);
  // Then the close that was asked for.
  EXPECT_TRUE(WaitUntil([] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return Form1::Loaded() == nullptr;
  }, 10000));
}

TEST_F(WebPaneTest, AnExistingFileIsNeverWrittenOver) {
  TestHttpServer server({{"/pic.gif", {TestHttpServer::Response("new body", "image/gif")}}});
  TempDir dir;
  WriteFile(dir / "pic.gif", "old");
  SelectFolder(dir.path());
  StatusLog status(form_);
  OfferAddress(server.Url("/pic.gif"));
  dialogs_.answers = {platform::vbYes, platform::vbOK};
  form_->saveResourceBtn->click();

  EXPECT_EQ(ReadFile(dir / "pic.gif"), "old");
  std::set<std::string> names = Names(dir.path());
  ASSERT_EQ(names.size(), 2u);
  names.erase("pic.gif");
  const std::string renamed = *names.begin();
  ASSERT_GT(renamed.size(), std::string("pic.gif").size());
  const std::string number = renamed.substr(0, renamed.size() - 7);
  EXPECT_EQ(renamed.substr(number.size()), "pic.gif");
  EXPECT_EQ(std::to_string(std::stoi(number)), number) << "decimal, no leading zeros";
  EXPECT_LE(std::stoi(number), 1000);
  EXPECT_EQ(ReadFile(dir / renamed), "new body");
  EXPECT_TRUE(status.Shown("指定位置存在同名资源，改名  " + renamed + "  下载 ..."));
  EXPECT_NE(form_->NodeOfKey(dir / renamed), nullptr);

  // Every numbered name but one is taken as well: that one is used, none
  // of the others is written over.
  for (int k = 0; k <= 1000; ++k)
    if (k != 537) WriteFile(dir / (std::to_string(k) + "pic.gif"), "kept");
  dialogs_.answers = {platform::vbYes, platform::vbOK};
  form_->saveResourceBtn->click();
  EXPECT_EQ(ReadFile(dir / "537pic.gif"), "new body");
  for (int k : {0, 536, 538, 1000}) EXPECT_EQ(ReadFile(dir / (std::to_string(k) + "pic.gif")), "kept") << k;
  EXPECT_EQ(ReadFile(dir / "pic.gif"), "old");
}

// A file or a link appears at the chosen name while the body is on its way:
// it is left as it is, and the body goes under the next free number.
TEST_F(WebPaneTest, ANameTakenDuringTheDownloadGetsTheNextFreeNumber) {
  const struct {
    const char* what;
    bool link;
  } cases[] = {{"a file", false}, {"a link", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir top;
    const std::string folder = top / "target";
    const std::string outside = top / "outside.gif";
    fs::create_directories(folder);
    TestHttpServer::Answer answer{TestHttpServer::Response("the body", "image/gif")};
    answer.act = [&] {
      if (c.link) {
        WriteFile(outside, "PRECIOUS");
        fs::create_symlink(outside, folder + "/race_file.gif");
      } else {
        WriteFile(folder + "/race_file.gif", "PRECIOUS");
      }
    };
    TestHttpServer server({{"/race_file.gif", answer}});
    SelectFolder(folder);
    StatusLog status(form_);
    OfferAddress(server.Url("/race_file.gif"));
    dialogs_.shown.clear();
    dialogs_.answers = {platform::vbYes, platform::vbOK};
    form_->saveResourceBtn->click();

    EXPECT_EQ(dialogs_.LastPrompt(), "资源已下载到指定位置！");
    EXPECT_EQ(ReadFile(c.link ? outside : folder + "/race_file.gif"), "PRECIOUS");
    EXPECT_EQ(fs::is_symlink(folder + "/race_file.gif"), c.link);
    std::set<std::string> names = Names(folder);
    ASSERT_EQ(names.size(), 2u);
    names.erase("race_file.gif");
    const std::string renamed = *names.begin();
    const std::string number = renamed.substr(0, renamed.size() - std::string("race_file.gif").size());
    EXPECT_EQ(number + "race_file.gif", renamed);
    EXPECT_EQ(std::to_string(std::stoi(number)), number);
    EXPECT_EQ(ReadFile(folder + "/" + renamed), "the body");
    EXPECT_TRUE(status.Shown("指定位置存在同名资源，改名  " + renamed + "  下载 ..."));
    EXPECT_NE(form_->NodeOfKey(folder + "/" + renamed), nullptr);
  }
}

// Addresses come from whatever page was scanned: only http and https ones
// reach the preview browser and the desktop's opener. The others stay listed.
TEST_F(WebPaneTest, OnlyWebAddressesArePreviewed) {
  std::vector<std::string> opened;
  platform::SetDesktopOpener([&](const std::string& t) { opened.push_back(t); });
  const struct {
    const char* address;
    bool web;
  } cases[] = {
      {"file:///etc/hostname", false},
      {"smb://server/share/a.gif", false},
      {"ssh://host/lesson.wmv", false},
      {"javascript:alert(1)//.mp3", false},
      {"custom-app:open?x=.rm", false},
      {"HTTPS://127.0.0.1:1/b.gif", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    opened.clear();
    dialogs_.shown.clear();
    form_->WebBrowser1->setUrl(QUrl("about:blank"));
    OfferAddress(c.address);
    EXPECT_EQ(form_->GridText(1, 1).toStdString(), c.address);
    form_->preResourceBtn->click();
    form_->Form1_MSFlexGrid1_DblClick();
    const QUrl shown = form_->WebBrowser1->url();
    if (c.web) {
      EXPECT_EQ(shown, QUrl(c.address));
      EXPECT_EQ(opened, (std::vector<std::string>{c.address, c.address}));
      EXPECT_TRUE(dialogs_.shown.empty());
      continue;
    }
    EXPECT_NE(shown.scheme(), QUrl(c.address).scheme()) << shown.toString().toStdString();
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(dialogs_.shown.size(), 2u);
    EXPECT_NE(dialogs_.shown[0].prompt.find(c.address), std::string::npos) << dialogs_.shown[0].prompt;
    EXPECT_NE(dialogs_.shown[0].prompt.find("http"), std::string::npos) << dialogs_.shown[0].prompt;
  }
}

TEST_F(WebPaneTest, ANameFromTheAddressNeverLeavesTheFolder) {
  TestHttpServer server({}, TestHttpServer::Answer{TestHttpServer::Response("body", "image/gif")});
  TempDir top;
  const std::string folder = top / "target";
  fs::create_directories(folder);
  SelectFolder(folder);
  const struct {
    std::string address;
    const char* saved;  // nullptr: nothing is saved
  } cases[] = {
      {server.Url("/files/.."), nullptr},
      {server.Url("/files/."), nullptr},
      {server.Url("/files/"), nullptr},
      {server.Url("/a\\..\\..\\evil.gif"), "evil.gif"},
      {server.Url("/b/..%2F..%2Fx.gif"), "..%2F..%2Fx.gif"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    const std::set<std::string> topBefore = Names(top.path());
    const std::set<std::string> before = Names(folder);
    OfferAddress(c.address);
    dialogs_.shown.clear();
    dialogs_.answers = {platform::vbYes, platform::vbOK, platform::vbOK};
    form_->saveResourceBtn->click();
    EXPECT_EQ(Names(top.path()), topBefore);
    std::set<std::string> after = Names(folder);
    if (c.saved) {
      std::set<std::string> expected = before;
      expected.insert(c.saved);
      EXPECT_EQ(after, expected);
      EXPECT_EQ(dialogs_.LastPrompt(), "资源已下载到指定位置！");
    } else {
      EXPECT_EQ(after, before);
      ASSERT_EQ(dialogs_.shown.size(), 3u);
      EXPECT_EQ(dialogs_.shown[1].prompt.rfind("发生错误：\r\n", 0), 0u) << dialogs_.shown[1].prompt;
      EXPECT_EQ(dialogs_.shown[2].prompt, "资源下载失败！");
    }
    EXPECT_TRUE(form_->saveResourceBtn->isEnabled());
    EXPECT_TRUE(form_->TreeView1->isEnabled());
  }
}

// The saved name is the address's last segment with its escapes decoded,
// where that gives a name that stays in the folder and reads as text; else
// the segment as the address has it.
TEST_F(WebPaneTest, TheSavedNameIsTheLastSegmentDecoded) {
  TestHttpServer server({}, TestHttpServer::Answer{TestHttpServer::Response("body", "image/gif")});
  TempDir dir;
  SelectFolder(dir.path());
  const struct {
    const char* path;
    const char* saved;
  } cases[] = {
      {"/a%20b.gif", "a b.gif"},
      {"/pics/%e6%a9%99%e8%89%b2.png", "橙色.png"},
      {"/%2e%2e", "%2e%2e"},
      {"/%D3%EF.gif", "%D3%EF.gif"},
      {"/a%00b.gif", "a%00b.gif"},
      {"/100%.gif", "100%.gif"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    OfferAddress(server.Url(c.path));
    dialogs_.shown.clear();
    dialogs_.answers = {platform::vbYes, platform::vbOK};
    form_->saveResourceBtn->click();
    EXPECT_EQ(dialogs_.LastPrompt(), "资源已下载到指定位置！");
    EXPECT_EQ(ReadFile(dir / c.saved), "body");
    EXPECT_NE(form_->NodeOfKey(dir / c.saved), nullptr);
  }
  EXPECT_EQ(Names(dir.path()).size(), std::size(cases));
}

// A page from a server that tells case apart, scanned by the pane and each
// of its pictures saved: the address keeps its case, an escaped name is
// saved decoded, and a picture the server does not have leaves nothing and
// says which one failed.
TEST_F(WebPaneTest, EachSavedPictureIsTheServersOwnOrAFailureNamed) {
  const std::string page =
      "<html><body><IMG SRC=\"img/Big.PNG\" alt=\"大图\"><img src=\"%E6%A9%99%E8%89%B2.png\">"
      "<img src=\"img/missing.png\"></body></html>";
  TestHttpServer server({{"/lesson/index.htm", {TestHttpServer::Response(page)}},
                         {"/lesson/img/Big.PNG", {TestHttpServer::Response("big picture", "image/png")}},
                         {"/lesson/%E6%A9%99%E8%89%B2.png", {TestHttpServer::Response("orange", "image/png")}}},
                        TestHttpServer::Answer{TestHttpServer::Response(
                            "<html><body>404 页面不存在</body></html>", "text/html", "404 Not Found")});
  TempDir dir;
  SelectFolder(dir.path());
  talvora::ParserPanel* pane = form_->ParserPanel1;
  pane->URL->setText(QString::fromStdString(server.Url("/lesson/index.htm")));
  pane->Parser->click();
  ASSERT_TRUE(WaitUntil([&] { return form_->GridRows() == 4; }));
  const std::string big = server.Url("/lesson/img/Big.PNG");
  const std::string orange = server.Url("/lesson/%E6%A9%99%E8%89%B2.png");
  const std::string missing = server.Url("/lesson/img/missing.png");
  ASSERT_EQ(Rows(), (std::vector<std::vector<std::string>>{
                        {"picture", big, "大图"}, {"picture", orange, ""}, {"picture", missing, ""}}));

  StatusLog status(form_);
  auto save = [&](int row) {
    grid_->setCurrentCell(row, 1);
    dialogs_.shown.clear();
    dialogs_.answers = {platform::vbYes, platform::vbOK, platform::vbOK};
    form_->saveResourceBtn->click();
  };
  save(0);
  EXPECT_EQ(dialogs_.LastPrompt(), "资源已下载到指定位置！");
  EXPECT_EQ(ReadFile(dir / "Big.PNG"), "big picture");
  save(1);
  EXPECT_EQ(dialogs_.LastPrompt(), "资源已下载到指定位置！");
  EXPECT_EQ(ReadFile(dir / "橙色.png"), "orange");
  EXPECT_NE(form_->NodeOfKey(dir / "橙色.png"), nullptr);

  save(2);
  ASSERT_EQ(dialogs_.shown.size(), 3u);
  EXPECT_EQ(dialogs_.shown[1].prompt, "发生错误：\r\n服务器返回 HTTP 404，资源未下载: " + missing);
  EXPECT_EQ(dialogs_.shown[2].prompt, "资源下载失败！");
  EXPECT_TRUE(status.Shown("资源下载失败 ..."));
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"Big.PNG", "橙色.png"}));
  EXPECT_TRUE(form_->saveResourceBtn->isEnabled());
  EXPECT_TRUE(form_->TreeView1->isEnabled());
}

// Until the user starts a search the pane tells of none.
TEST_F(WebPaneTest, BeforeAnySearchNothingTellsOfOne) {
  talvora::ParserPanel* pane = form_->ParserPanel1;
  EXPECT_EQ(pane->Label1->text(), "");
  EXPECT_EQ(pane->ProgressBar1->value(), 0);
  EXPECT_EQ(form_->resourceCountLab->text(), "");
  EXPECT_EQ(form_->GridRows(), 2);
}

TEST_F(WebPaneTest, SaveRefusesWithoutAnAddressOrAFolderAndOnNo) {
  TestHttpServer server({{"/pic.gif", {TestHttpServer::Response("x", "image/gif")}}});
  TempDir dir;
  WriteFile(dir / "file.txt", "f");
  SelectFolder(dir.path());
  QTreeWidgetItem* fileNode = form_->NodeOfKey(dir / "file.txt");
  ASSERT_NE(fileNode, nullptr);
  QTreeWidgetItem* root = form_->NodeOfKey("My Computer");
  const struct {
    const char* what;
    bool address;
    QTreeWidgetItem* node;
    const char* message;
  } cases[] = {
      {"no row", false, form_->NodeOfKey(dir.path()), "请选择要保存的资源路径！"},
      {"a file", true, fileNode, "请在左方树目录中选择保存文件夹位置！"},
      {"the root", true, root, "请在左方树目录中选择保存文件夹位置！"},
      {"no node", true, nullptr, "请在左方树目录中选择保存文件夹位置！"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.address) {
      OfferAddress(server.Url("/pic.gif"));
    } else {
      form_->clearResourceBtn->click();
      grid_->clearSelection();
      grid_->setCurrentCell(-1, -1);
    }
    form_->TreeView1->setCurrentItem(c.node);
    dialogs_.shown.clear();
    form_->saveResourceBtn->setEnabled(true);
    form_->saveResourceBtn->click();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].prompt, c.message);
    EXPECT_EQ(dialogs_.shown[0].style, platform::vbOKOnly | platform::vbCritical);
    EXPECT_EQ(dialogs_.shown[0].title, platform::kDefaultTitle);
  }

  // The root names no folder, even when the working folder holds one called
  // like it.
  {
    TempDir work;
    fs::create_directories(work / "My Computer");
    const fs::path before = fs::current_path();
    fs::current_path(work.path());
    OfferAddress(server.Url("/pic.gif"));
    form_->TreeView1->setCurrentItem(root);
    dialogs_.shown.clear();
    dialogs_.answers = {platform::vbYes, platform::vbOK};
    form_->saveResourceBtn->click();
    fs::current_path(before);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].prompt, "请在左方树目录中选择保存文件夹位置！");
    EXPECT_TRUE(fs::is_empty(work / "My Computer"));
  }

  // Answering No changes nothing.
  OfferAddress(server.Url("/pic.gif"));
  form_->TreeView1->setCurrentItem(form_->NodeOfKey(dir.path()));
  dialogs_.shown.clear();
  dialogs_.answers = {platform::vbNo};
  form_->saveResourceBtn->click();
  EXPECT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"file.txt"}));
  EXPECT_TRUE(form_->saveResourceBtn->isEnabled());
}

TEST_F(WebPaneTest, AScannedPageFillsTheGrid) {
  const std::string page =
      "<html><body><h1>课件</h1><img src=\"logo.gif\" alt=\"校徽\"><embed src=\"intro.swf\">"
      "<a href=\"lesson.wmv\">课堂录像</a> <a href=\"talk.rm\">讲座</a></body></html>";
  const std::string gif(
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00,"
      "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
      43);
  TestHttpServer server({{"/lesson/index.htm", {TestHttpServer::Response(page)}},
                         {"/lesson/logo.gif", {TestHttpServer::Response(gif, "image/gif")}}});
  talvora::ParserPanel* pane = form_->ParserPanel1;
  pane->URL->setText(QString::fromStdString(server.Url("/lesson/index.htm")));
  pane->Parser->click();
  EXPECT_FALSE(form_->TreeView1->isEnabled());
  EXPECT_FALSE(form_->Toolbar1->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return form_->GridRows() == 5; }));
  EXPECT_TRUE(form_->TreeView1->isEnabled());
  EXPECT_TRUE(form_->Toolbar1->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Rows(), (std::vector<std::vector<std::string>>{
                        {"picture", server.Url("/lesson/logo.gif"), "校徽"},
                        {"Flash", server.Url("/lesson/intro.swf"), ""},
                        {"media", server.Url("/lesson/lesson.wmv"), "课堂录像"},
                        {"Real", server.Url("/lesson/talk.rm"), "讲座"},
                    }));
  EXPECT_EQ(form_->resourceCountLab->text(), "搜索 4 条,可用资源共有 4 条!");

  // The selected picture shows in the preview browser.
  grid_->setCurrentCell(0, 1);
  WaitUntil([&] { return form_->WebBrowser1->url().toString().toStdString() == server.Url("/lesson/logo.gif"); });
  QElapsedTimer settle;
  settle.start();
  WaitUntil([&] { return settle.elapsed() > 800; });
  if (const char* shot = std::getenv("TALVORA_WEBPANE_SHOT")) form_->grab().save(shot);
}

}  // namespace

TEST_F(WebPaneTest, TheGridShowsEightRowsAtOnce) {
  ResourceInfos resources;
  for (int i = 0; i < 12; ++i)
    resources.Add("http://h/" + std::to_string(i) + ".gif", 0, "图片 " + std::to_string(i), "");
  Search(resources);
  QCoreApplication::processEvents();
  const int viewport = grid_->viewport()->height();
  int whole = 0;
  for (int r = 0; r < grid_->rowCount(); ++r)
    if (grid_->rowViewportPosition(r) >= 0 && grid_->rowViewportPosition(r) + grid_->rowHeight(r) <= viewport)
      ++whole;
  EXPECT_GE(whole, 8) << "row " << grid_->rowHeight(0) << " px, viewport " << viewport << " px, font "
                      << grid_->fontMetrics().height() << " px, header " << grid_->horizontalHeader()->height()
                      << ", grid " << grid_->height();
}
