#include "webfinder/mod_http.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestHttpServer;
using testing_support::WriteFile;

namespace {

// The whole answer of one path: status, body and any extra header lines.
TestHttpServer::Answer Response(const std::string& status, const std::string& body,
                                const std::string& extra = "") {
  return {TestHttpServer::Response(body, "application/octet-stream", status, extra)};
}

// An address where nothing listens.
std::string UnreachableUrl() { return testing_support::UnreachableAddress() + "/pic.gif"; }

const std::string kBinary("GIF89a\x00\x01\xff\r\n\x1a end", 15);

}  // namespace

TEST(DownloadFile, SavesTheBodyAsRawBytesWhateverTheStatus) {
  struct Case {
    const char* status;
    std::string body;
  };
  const Case cases[] = {
      {"200 OK", kBinary},
      {"404 Not Found", "<html>没有这个文件</html>"},
      {"500 Internal Server Error", "oops"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    TestHttpServer server({{"/file", Response(c.status, c.body)}});
    TempDir dir;
    platform::ScriptedDialogs dialogs;
    EXPECT_EQ(talvora::DownloadFile(server.Url("/file"), dir / "out.bin"), 1);
    EXPECT_EQ(ReadFile(dir / "out.bin"), c.body);
    EXPECT_TRUE(dialogs.shown.empty());
  }
}

TEST(DownloadFile, FollowsRedirects) {
  TestHttpServer server({
      {"/old", Response("302 Found", "moved", "Location: /middle\r\n")},
      {"/middle", Response("301 Moved Permanently", "", "Location: /new.gif\r\n")},
      {"/new.gif", Response("200 OK", kBinary)},
  });
  TempDir dir;
  EXPECT_EQ(talvora::DownloadFile(server.Url("/old"), dir / "a.gif"), 1);
  EXPECT_EQ(ReadFile(dir / "a.gif"), kBinary);
}

TEST(DownloadFile, ALongerExistingFileIsCutToTheNewBody) {
  TestHttpServer server({{"/short", Response("200 OK", "new")}, {"/empty", Response("200 OK", "")}});
  TempDir dir;
  WriteFile(dir / "t.txt", "an older and much longer content");
  EXPECT_EQ(talvora::DownloadFile(server.Url("/short"), dir / "t.txt"), 1);
  EXPECT_EQ(ReadFile(dir / "t.txt"), "new");
  WriteFile(dir / "q.txt", "an older and much longer content");
  EXPECT_EQ(talvora::DownloadFileQuiet(server.Url("/short"), dir / "q.txt"), 1);
  EXPECT_EQ(ReadFile(dir / "q.txt"), "new");
  // An empty body leaves an empty file, not the old one.
  EXPECT_EQ(talvora::DownloadFile(server.Url("/empty"), dir / "t.txt"), 1);
  EXPECT_EQ(ReadFile(dir / "t.txt"), "");
}

TEST(DownloadFile, EscapesBlanksAndChineseInTheAddress) {
  TestHttpServer server({{"/a%20b/%E5%9B%BE.gif", Response("200 OK", "x")}});
  TempDir dir;
  EXPECT_EQ(talvora::DownloadFile(server.Url("/a b/图.gif"), dir / "x"), 1);
  EXPECT_EQ(ReadFile(dir / "x"), "x");
}

TEST(DownloadFile, FailuresShowTheMessageAndGiveZero) {
  TestHttpServer server({{"/ok", Response("200 OK", "body")}});
  TempDir dir;
  struct Case {
    const char* what;
    std::string url;
    std::string target;
  };
  const Case cases[] = {
      {"target folder missing", server.Url("/ok"), dir / "missing/out.txt"},
      {"server unreachable", UnreachableUrl(), dir / "u.txt"},
      // A host name, looked up on this machine alone, with a closed port.
      {"a named host that does not answer",
       "http://localhost:" + testing_support::UnreachableAddress().substr(std::string("http://127.0.0.1:").size()) +
           "/x.gif",
       dir / "n.txt"},
      {"not an HTTP address", "file:///etc/hostname", dir / "f.txt"},
      // Nothing guesses a scheme: the server would answer if it were fetched.
      {"no scheme", server.Url("/ok").substr(std::string("http://").size()), dir / "s.txt"},
      {"empty address", "", dir / "e.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::ScriptedDialogs dialogs;
    EXPECT_EQ(talvora::DownloadFile(c.url, c.target), 0);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const auto& box = dialogs.shown[0];
    EXPECT_EQ(box.kind, "msgbox");
    EXPECT_EQ(box.style, platform::vbOKOnly);
    EXPECT_EQ(box.title, platform::kDefaultTitle);
    const std::string head = std::string("发生错误：") + "\r\n";
    ASSERT_GT(box.prompt.size(), head.size()) << "the description is missing";
    EXPECT_EQ(box.prompt.substr(0, head.size()), head);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "u.txt"));
}

TEST(DownloadFileQuiet, NeverShowsAnythingAndAlwaysGivesOne) {
  TestHttpServer server({{"/pic", Response("200 OK", kBinary)}});
  TempDir dir;
  platform::ScriptedDialogs dialogs;
  const std::string unreachable = UnreachableUrl();

  // A good fetch writes the body.
  EXPECT_EQ(talvora::DownloadFileQuiet(server.Url("/pic"), dir / "good.gif"), 1);
  EXPECT_EQ(ReadFile(dir / "good.gif"), kBinary);

  // A failed fetch still opens the target: a missing file is created empty...
  EXPECT_EQ(talvora::DownloadFileQuiet(unreachable, dir / "new.gif"), 1);
  EXPECT_TRUE(std::filesystem::exists(dir / "new.gif"));
  EXPECT_EQ(ReadFile(dir / "new.gif"), "");

  // ...and an existing one keeps its content.
  WriteFile(dir / "old.gif", kBinary);
  EXPECT_EQ(talvora::DownloadFileQuiet(unreachable, dir / "old.gif"), 1);
  EXPECT_EQ(ReadFile(dir / "old.gif"), kBinary);

  // A target in a missing folder: nothing is written anywhere.
  EXPECT_EQ(talvora::DownloadFileQuiet(server.Url("/pic"), dir / "missing/p.gif"), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

  EXPECT_TRUE(dialogs.shown.empty());
}
