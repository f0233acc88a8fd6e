#include "webfinder/parser_panel.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QKeyEvent>
#include <QTimer>
#include <QVariant>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "support/event_wait.h"
#include "support/test_http_server.h"

using talvora::HtmlDocument;
using talvora::ParserPanel;
using talvora::ResourceInfo;
using talvora::ResourceInfos;
using testing_support::Pause;
using testing_support::TestHttpServer;
using testing_support::WaitUntil;

namespace {

// ---------------------------------------------------------------------------
// The address rules

TEST(AddressRules, ResolveUrl) {
  const struct {
    const char* a;
    const char* typed;
    const char* base;
    const char* resolved;
  } cases[] = {
      {"http://x.cn/a.gif", "http://h/dir/page.htm", "", "http://x.cn/a.gif"},
      {"rtsp://x.cn/c.rm", "http://h/dir/page.htm", "http://b/", "rtsp://x.cn/c.rm"},
      // "://" at the very start is no scheme.
      {"://x/a.gif", "http://h/dir/page.htm", "", "http://h/dir/://x/a.gif"},
      {"a.gif", "http://h/dir/page.htm", "", "http://h/dir/a.gif"},
      {"a.gif", "http://h/dir/", "", "http://h/dir/a.gif"},
      {"a.gif", "http://h", "", "http://h/a.gif"},
      {"a.gif", "http://h/", "", "http://h/a.gif"},
      {"a.gif", "http://h/page.htm", "", "http://h/a.gif"},
      {"a.gif", "http://h/d/", "", "http://h/d/a.gif"},
      {"../up/a.gif?x=1#f", "http://h/d/e/p.htm", "", "http://h/d/e/../up/a.gif?x=1#f"},
      {"/root/a.gif", "http://h:8080/dir/page.htm", "", "http://h:8080/root/a.gif"},
      {"/root/a.gif", "http://h", "http://b/base/", "http://h/root/a.gif"},
      {"a.gif", "http://h/dir/page.htm", "http://b/base/", "http://b/base/a.gif"},
      {"a.gif", "http://h/dir/page.htm", "http://b/base", "http://b/base/a.gif"},
      {"", "http://h/dir/page.htm", "", "http://h/dir/"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(talvora::ResolveUrl(c.a, c.typed, c.base), c.resolved) << c.a << " on " << c.typed;
  // A root-relative address needs a host in the typed address.
  EXPECT_THROW(talvora::ResolveUrl("/a.gif", "h", ""), std::out_of_range);
  EXPECT_THROW(talvora::ResolveUrl("/a.gif", "http:/h", ""), std::out_of_range);
}

TEST(AddressRules, BaseHrefOfTheBody) {
  const struct {
    const char* body;
    const char* base;
  } cases[] = {
      {"<p>x</p>", ""},
      {"<base href=\"http://b/dir/\"><img src=a.gif>", "http://b/dir/"},
      {"<base target=\"_top\" href='http://b/q/'>", "http://b/q/"},
      // The character after "href=" is the quote, whatever it is.
      {"<base href=http://b/x/ ><i>h</i>", "ttp://b/x/ ><i>"},
      {"<BASE href=\"http://b/\">", ""},
      {"<base href=\"http://first/\"><base href=\"http://second/\">", "http://first/"},
      // "href=" must lie within the 100 characters from "<base ".
      {"<base                                                                                              href=\"http://far/\">", ""},
      // The closing quote must too; else there is no base address.
      {"<base href=\"http://b/a-very-long-folder-name-that-goes-on-and-on-and-on-and-on-and-on/and-still-more-to-come/\">", ""},
      {"<base href=", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(talvora::BaseHrefOf(c.body), c.base) << c.body;
}

TEST(AddressRules, MediaKindByExtension) {
  const struct {
    const char* address;
    int kind;
  } cases[] = {
      {"http://h/clip.wmv", 2}, {"http://h/a.asf", 2}, {"http://h/a.wma", 2},  {"http://h/a.mpg", 2},
      {"http://h/a.avi", 2},    {"http://h/a.mp3", 2}, {"http://h/a.wav", 2},  {"http://h/a.mid", 2},
      {"http://h/a.asx", 2},    {"http://h/a.ram", 3}, {"http://h/a.rm", 3},   {"http://h/a.rmvb", 3},
      // Substring tests: a page named after a song is media too, and the
      // Windows Media test comes first.
      {"http://h/song.mp3.html", 2}, {"http://h/x.rm/y.wmv", 2}, {"http://h/a.rmx", 3},
      // Not at the very start.
      {".wmv", -1}, {".rm/x", -1}, {"x.wmv", 2},
      {"http://h/page.html", -1}, {"http://h/a.swf", -1}, {"", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(talvora::MediaKindOf(c.address), c.kind) << c.address;
}

TEST(AddressRules, TheDocumentSnapshotReadsAttributesWhateverTheirCase) {
  HtmlDocument document = HtmlDocument::FromJson(
      "{\"body\":\"<p>\",\"images\":[{\"a\":{\"SRC\":\"a.gif\",\"alt\":\"x\"}}],"
      "\"links\":[{\"a\":{\"href\":\"v.wmv\"},\"t\":\"clip\"}]}");
  ASSERT_TRUE(document.bodyHtml.has_value());
  ASSERT_EQ(document.images.size(), 1u);
  EXPECT_EQ(document.images[0].Attribute("Src").value_or("?"), "a.gif");
  EXPECT_FALSE(document.images[0].Attribute("title").has_value());
  ASSERT_EQ(document.links.size(), 1u);
  EXPECT_EQ(document.links[0].innerText, "clip");
  EXPECT_TRUE(document.objects.empty());
  // What the browser did not hand over is an empty document.
  HtmlDocument none = HtmlDocument::FromJson("");
  EXPECT_FALSE(none.bodyHtml.has_value());
  EXPECT_TRUE(none.images.empty());
}

// ---------------------------------------------------------------------------
// The pane against pages from a local server

struct Found {
  std::string url;
  int kind;
  std::string description;
  bool operator==(const Found& o) const {
    return url == o.url && kind == o.kind && description == o.description;
  }
};
std::ostream& operator<<(std::ostream& os, const Found& f) {
  return os << "{" << f.url << ", " << f.kind << ", \"" << f.description << "\"}";
}

class ParserPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pane_ = std::make_unique<ParserPanel>();
    QObject::connect(pane_->WebBrowser1->page(), &QWebEnginePage::loadFinished, [this] { blankLoaded_ = true; });
    QObject::connect(pane_.get(), &ParserPanel::SearchStart, [this] { events_.push_back("start"); });
    QObject::connect(pane_.get(), &ParserPanel::SearchEnd, [this](ResourceInfos* resources) {
      events_.push_back("end");
      found_.clear();
      for (const ResourceInfo& r : *resources) found_.push_back({r.URL(), r.FileType(), r.Description()});
    });
    // The blank page of the pane's start loads before anything is typed.
    ASSERT_TRUE(WaitUntil([this] { return blankLoaded_; }));
  }
  void TearDown() override { platform::SetDesktopOpener(nullptr); }

  int Ends() const {
    int n = 0;
    for (const std::string& e : events_) n += e == "end";
    return n;
  }
  // Types the address and parses it; waits for the scan's end.
  void Parse(const std::string& address) {
    const int before = Ends();
    pane_->URL->setText(QString::fromStdString(address));
    pane_->Parser->click();
    ASSERT_TRUE(WaitUntil([&] { return Ends() > before; })) << address;
  }

  std::unique_ptr<ParserPanel> pane_;
  std::vector<std::string> events_;
  std::vector<Found> found_;
  bool blankLoaded_ = false;
};

// Until the user starts a search the pane tells of none: no status text, an
// empty bar, nothing found.
TEST_F(ParserPanelTest, TheBlankStartPageLeavesThePaneIdle) {
  // Whatever the browser still reports of its blank page has come through.
  bool flushed = false;
  pane_->WebBrowser1->page()->runJavaScript("0", [&](const QVariant&) { flushed = true; });
  ASSERT_TRUE(WaitUntil([&] { return flushed; }));
  Pause(300);
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(pane_->Label1->text(), "");
  EXPECT_EQ(pane_->ProgressBar1->value(), 0);
  EXPECT_EQ(pane_->ProgressValue(), 0.0f);
  EXPECT_FALSE(pane_->Parser->isEnabled()) << "nothing typed yet";
  EXPECT_FALSE(pane_->OpenIE->isEnabled());
  EXPECT_FALSE(pane_->Command1->isEnabled());
  EXPECT_FALSE(pane_->Timer1->isActive());
  EXPECT_EQ(pane_->Label2->text(), "网址:");
  EXPECT_EQ(pane_->Parser->text(), "解  析");
  EXPECT_EQ(pane_->Command1->text(), "停  止");
  EXPECT_EQ(pane_->OpenIE->text(), "打开浏览器");
  // The browser lies outside the pane's visible area.
  EXPECT_LT(pane_->WebBrowser1->geometry().bottom(), 0);
}

const char kResourcePage[] =
    "<html><head><title>lesson</title></head><body>"
    "<img src=\"Pics/Logo.GIF\" alt=\"校徽\">"
    "<img src=\"pics/logo.gif\" alt=\"again\"><img src=\"PICS/LOGO.gif\"><img src=\"Pics/Logo.GIF\" alt=\"3\">"
    "<img src=\"/top.jpg\">"
    "<img src=\"http://127.0.0.1:1/abs.png\" alt=\"abs\">"
    "<img alt=\"no source yet\">"
    "<IMG SRC=\"After.png\">"
    // A media player object first: it has no code base, which must not stop
    // the search for Flash movies after it.
    "<object classid=\"clsid:6BF52A52-394A-11D3-B153-00C04F79FAA6\">"
    "<param name=\"URL\" value=\"ignored.wmv\"><param name=\"MediaURL\" value=\"Media/Lesson.WMV\"></object>"
    "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" "
    "codebase=\"http://download.macromedia.com/pub/shockwave/cabs/flash/swflash.cab\">"
    "<param name=\"movie\" value=\"Flash/Intro.swf\"><embed src=\"flash/intro.swf\"></object>"
    "<object codebase=\"http://fpdownload.macromedia.com/get/flashplayer/\">"
    "<param name=\"Movie\" value=\"/menu.swf\"></object>"
    "<object classid=\"clsid:22D6F312-B0F6-11D0-94AB-0080C74C7E95\">"
    "<param name=\"FileName\" value=\"old.asf\"></object>"
    "<object classid=\"clsid:CFCDAA03-8BE4-11cf-B84B-0020AFBBCCFA\">"
    "<param name=\"Source\" value=\"rtsp://real.example/Clip.rm\"></object>"
    "<object classid=\"clsid:00000000-0000-0000-0000-000000000000\"><param name=\"movie\" value=\"no.swf\"></object>"
    "<EMBED SRC=\"Banner.SWF\"><embed src=\".swf/start\"><embed src=\"music/Song.MID\">"
    "<p><a href=\"video/clip.wmv\">课堂录像</a> <a href=\"audio/talk.rm\">讲座</a>"
    " <a href=\"audio/talk.RMVB\">long talk</a> <a href=\"song.mp3.html\">lyrics</a>"
    " <a href=\"notes.html\">notes</a> <a href=\"video/clip.wmv\">again</a> <a name=\"anchor\">no address</a></p>"
    "<map name=\"m\"><area href=\"map.avi\" shape=\"rect\" coords=\"0,0,5,5\"></map>"
    "</body></html>";

TEST_F(ParserPanelTest, APageIsScannedIntoItsPicturesFlashAndMedia) {
  TestHttpServer server({{"/dir/page.htm", {TestHttpServer::Response(kResourcePage)}}});
  const std::string dir = server.Url("/dir/");
  // Typed without a scheme: "http://" is put in front.
  pane_->URL->setText(QString::fromStdString(server.Host() + "/dir/page.htm"));
  pane_->Parser->click();
  EXPECT_EQ(pane_->URL->text().toStdString(), server.Url("/dir/page.htm"));
  EXPECT_TRUE(pane_->Parser->isEnabled()) << "the changed box enables the button again at once";
  EXPECT_TRUE(pane_->Command1->isEnabled());
  EXPECT_TRUE(pane_->Timer1->isActive());
  EXPECT_EQ(pane_->Label1->text(), " 网络加载中　...");
  ASSERT_TRUE(WaitUntil([&] { return Ends() == 1; }));

  // Each address as the page wrote it: on a server that tells case apart
  // the first three are three pictures, and the fourth, written as the
  // first, is no picture of its own.
  const std::vector<Found> expected = {
      {dir + "Pics/Logo.GIF", 0, "校徽"},
      {dir + "pics/logo.gif", 0, "again"},
      {dir + "PICS/LOGO.gif", 0, ""},
      {server.Url("/top.jpg"), 0, ""},
      {"http://127.0.0.1:1/abs.png", 0, "abs"},
      {dir + "After.png", 0, ""},
      {dir + "Flash/Intro.swf", 1, ""},
      {server.Url("/menu.swf"), 1, ""},
      {dir + "flash/intro.swf", 1, ""},
      {dir + "Banner.SWF", 1, ""},
      {dir + "Media/Lesson.WMV", 2, ""},
      {dir + "old.asf", 2, ""},
      {"rtsp://real.example/Clip.rm", 3, ""},
      {dir + "music/Song.MID", 2, ""},
      {dir + "video/clip.wmv", 2, "课堂录像"},
      {dir + "audio/talk.rm", 3, "讲座"},
      {dir + "audio/talk.RMVB", 3, "long talk"},
      {dir + "song.mp3.html", 2, "lyrics"},
      {dir + "map.avi", 2, ""},
  };
  EXPECT_EQ(found_, expected);
  EXPECT_EQ(events_, (std::vector<std::string>{"start", "end"}));
  EXPECT_TRUE(pane_->Parser->isEnabled());
  EXPECT_FALSE(pane_->Command1->isEnabled());
  EXPECT_FALSE(pane_->Timer1->isActive());
  EXPECT_EQ(pane_->Label1->text(), "网络资源查找完毕 ...");
  EXPECT_EQ(pane_->ProgressBar1->maximum(), 100);
  EXPECT_EQ(pane_->ProgressBar1->value(), 100);
}

TEST_F(ParserPanelTest, APageWithoutResourcesEndsWithAnEmptyCollection) {
  TestHttpServer server({{"/plain.htm", {TestHttpServer::Response("<p>只有文字 <a href=\"x.html\">x</a></p>")}}});
  Parse(server.Url("/plain.htm"));
  EXPECT_EQ(events_, (std::vector<std::string>{"start", "end"}));
  EXPECT_TRUE(found_.empty());
}

TEST_F(ParserPanelTest, EnterStartsALoadEvenWhileTheParseButtonIsOff) {
  TestHttpServer server({{"/slow.htm", {TestHttpServer::Response("<img src=\"s.gif\">"), 1500}}});
  pane_->URL->setText(QString::fromStdString(server.Url("/slow.htm")));
  pane_->Parser->click();
  ASSERT_FALSE(pane_->Parser->isEnabled()) << "an address with a scheme leaves the box as it is";
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QCoreApplication::sendEvent(pane_->URL, &enter);
  EXPECT_EQ(events_, (std::vector<std::string>{"start", "start"}));
  ASSERT_TRUE(WaitUntil([&] { return Ends() >= 1; }));
  // What the browser has queued by now comes through before a script's answer.
  bool flushed = false;
  pane_->WebBrowser1->page()->runJavaScript("0", [&](const QVariant&) { flushed = true; });
  ASSERT_TRUE(WaitUntil([&] { return flushed; }));
  // The second load replaced the first: one scan, of the page it loaded.
  EXPECT_EQ(events_, (std::vector<std::string>{"start", "start", "end"}));
  EXPECT_EQ(found_, (std::vector<Found>{{server.Url("/s.gif"), 0, ""}}));
}

TEST_F(ParserPanelTest, ABaseTagInTheBodyResolvesAndAStopKeepsThatBase) {
  TestHttpServer server({
      {"/based.htm",
       {TestHttpServer::Response("<body><base href=\"http://127.0.0.1:1/assets/\"><img src=\"A.gif\">"
                                 "<a href=\"/root.wmv\">root</a></body>")}},
      {"/loading.htm", {TestHttpServer::Response("<body><img src=\"fast.gif\"><img src=\"slow.gif\"></body>")}},
      {"/slow.gif", {TestHttpServer::Response("GIF89a", "image/gif"), 6000}},
  });
  Parse(server.Url("/based.htm"));
  EXPECT_EQ(found_, (std::vector<Found>{{"http://127.0.0.1:1/assets/A.gif", 0, ""},
                                         {server.Url("/root.wmv"), 2, "root"}}));

  // This page stays loading for a while: the user stops it. The page's own
  // addresses are resolved with the base address of the page before.
  events_.clear();
  pane_->URL->setText(QString::fromStdString(server.Url("/loading.htm")));
  pane_->Parser->click();
  ASSERT_TRUE(WaitUntil([&] { return server.WasAskedFor("/slow.gif"); }));
  Pause(200);
  ASSERT_EQ(Ends(), 0);
  pane_->Command1->click();
  ASSERT_TRUE(WaitUntil([&] { return Ends() == 1; }));
  EXPECT_EQ(events_, (std::vector<std::string>{"start", "end"}));
  EXPECT_EQ(found_, (std::vector<Found>{{"http://127.0.0.1:1/assets/fast.gif", 0, ""},
                                         {"http://127.0.0.1:1/assets/slow.gif", 0, ""}}));
  EXPECT_TRUE(pane_->Parser->isEnabled());
  EXPECT_FALSE(pane_->Command1->isEnabled());
  EXPECT_FALSE(pane_->Timer1->isActive());
  EXPECT_EQ(pane_->Label1->text(), "网络资源查找完毕 ...");
  // The end of the stopped load is no second scan, and the next page that
  // completes is scanned again.
  Pause(1500);
  EXPECT_EQ(Ends(), 1);
  Parse(server.Url("/based.htm"));
  EXPECT_EQ(events_, (std::vector<std::string>{"start", "end", "start", "end"}));
  EXPECT_EQ(found_.size(), 2u);
}

TEST_F(ParserPanelTest, AnAddressThatCannotBeResolvedEndsOnlyItsOwnScan) {
  TestHttpServer server({
      {"/mixed.htm",
       {TestHttpServer::Response("<body><img src=\"a.gif\"><img src=\"/b.gif\"><img src=\"c.gif\">"
                                 "<embed src=\"d.swf\"><a href=\"e.wmv\">e</a><img src=\"slow.gif\"></body>")}},
      {"/slow.gif", {TestHttpServer::Response("GIF89a", "image/gif"), 6000}},
  });
  pane_->URL->setText(QString::fromStdString(server.Url("/mixed.htm")));
  pane_->Parser->click();
  ASSERT_TRUE(WaitUntil([&] { return server.WasAskedFor("/slow.gif"); }));
  Pause(200);
  // The scan resolves against the box as it stands: a text without a host
  // cannot take an address from the server root.
  pane_->URL->setText("lesson");
  pane_->Command1->click();
  ASSERT_TRUE(WaitUntil([&] { return Ends() == 1; }));
  EXPECT_EQ(found_, (std::vector<Found>{{"lesson/a.gif", 0, ""}, {"lesson/d.swf", 1, ""},
                                         {"lesson/e.wmv", 2, "e"}}));
  EXPECT_EQ(pane_->Label1->text(), "网络资源查找完毕 ...");
  EXPECT_TRUE(pane_->Parser->isEnabled());
}

TEST_F(ParserPanelTest, APageNeverOpensAWindow) {
  TestHttpServer server({
      {"/popup.htm",
       {TestHttpServer::Response("<body><script>window.open('/other.htm', '_blank');</script>"
                                 "<a id=\"l\" href=\"/other.htm\" target=\"_blank\">x</a></body>")}},
      {"/other.htm", {TestHttpServer::Response("<p>other</p>")}},
  });
  Parse(server.Url("/popup.htm"));
  // The click asks the browser for a new window; by the time the request
  // has been told, the pane has given its answer.
  int requests = 0;
  QObject::connect(pane_->WebBrowser1->page(), &QWebEnginePage::newWindowRequested,
                   [&](QWebEngineNewWindowRequest&) { ++requests; });
  pane_->WebBrowser1->page()->runJavaScript("document.getElementById('l').click();");
  ASSERT_TRUE(WaitUntil([&] { return requests > 0; }));
  // No second page to show it in, nothing asked of the server.
  EXPECT_EQ(pane_->findChildren<QWebEnginePage*>().size(), 1);
  EXPECT_FALSE(server.WasAskedFor("/other.htm"));
  EXPECT_EQ(pane_->WebBrowser1->page()->url().path(), "/popup.htm");
  bool cancel = false;
  pane_->ParserPanel_WebBrowser1_NewWindow2(cancel);
  EXPECT_TRUE(cancel);
}

TEST_F(ParserPanelTest, TheProgressBarFollowsTheBrowserAndCreepsBelow90) {
  const struct {
    int progress, max;
    int barMax, barValue;
  } cases[] = {
      {30, 200, 200, 30}, {0, 0, 100, 100},  {5, -1, 100, 100},
      {250, 200, 200, 0}, {-3, 200, 200, 0}, {200, 200, 200, 200},
  };
  for (const auto& c : cases) {
    pane_->ParserPanel_WebBrowser1_ProgressChange(c.progress, c.max);
    EXPECT_EQ(pane_->ProgressBar1->maximum(), c.barMax) << c.progress << "/" << c.max;
    EXPECT_EQ(pane_->ProgressBar1->value(), c.barValue) << c.progress << "/" << c.max;
  }

  pane_->ParserPanel_WebBrowser1_ProgressChange(0, 100);
  for (int i = 0; i < 25; ++i) pane_->ParserPanel_Timer1_Timer();
  EXPECT_NEAR(pane_->ProgressValue(), 2.5f, 0.01f);
  pane_->ParserPanel_WebBrowser1_ProgressChange(89, 100);
  for (int i = 0; i < 30; ++i) pane_->ParserPanel_Timer1_Timer();
  EXPECT_GE(pane_->ProgressValue(), 90.0f);
  EXPECT_LT(pane_->ProgressValue(), 90.1f);
  pane_->ParserPanel_WebBrowser1_ProgressChange(95, 100);
  pane_->ParserPanel_Timer1_Timer();
  EXPECT_EQ(pane_->ProgressValue(), 95.0f);

  pane_->Timer1->start();
  pane_->ParserPanel_WebBrowser1_UpdatePageStatus();
  EXPECT_FALSE(pane_->Timer1->isActive());
}

TEST_F(ParserPanelTest, TheBrowserButtonOpensTheTypedTextAsItIs) {
  std::vector<std::string> opened;
  platform::SetDesktopOpener([&](const std::string& t) { opened.push_back(t); });
  EXPECT_FALSE(pane_->OpenIE->isEnabled());
  pane_->URL->setText("www.example.cn/课件");
  EXPECT_TRUE(pane_->OpenIE->isEnabled());
  EXPECT_TRUE(pane_->Parser->isEnabled());
  pane_->OpenIE->click();
  EXPECT_EQ(opened, std::vector<std::string>{"www.example.cn/课件"});
  pane_->URL->clear();
  EXPECT_TRUE(pane_->OpenIE->isEnabled()) << "emptying the box disables nothing";
}

}  // namespace
