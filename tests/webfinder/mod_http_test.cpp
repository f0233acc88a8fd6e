#include "webfinder/mod_http.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/dialogs.h"
#include "support/file_size_limit.h"
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

namespace fs = std::filesystem;

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// A body of `size` bytes sent in chunks, its length announced nowhere.
TestHttpServer::Answer Chunked(std::size_t size) {
  std::string response = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  for (std::size_t sent = 0; sent < size;) {
    const std::size_t n = std::min<std::size_t>(4096, size - sent);
    char head[16];
    std::snprintf(head, sizeof head, "%zx\r\n", n);
    response += head + std::string(n, 'x') + "\r\n";
    sent += n;
  }
  return {response + "0\r\n\r\n"};
}

using testing_support::FileSizeLimit;

}  // namespace

// Only a successful answer is the resource: an error page is never saved
// under its name, and the message names the address and the status.
TEST(DownloadFile, SavesOnlyTheBodyOfASuccessfulAnswer) {
  struct Case {
    const char* status;
    std::string body;
    bool saved;
  };
  const Case cases[] = {
      {"200 OK", kBinary, true},
      {"203 Non-Authoritative Information", "copy", true},
      {"404 Not Found", "<html>没有这个文件</html>", false},
      {"403 Forbidden", "", false},
      {"500 Internal Server Error", "oops", false},
      // Neither a redirect nor content.
      {"304 Not Modified", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    TestHttpServer server({{"/img/Big.PNG", Response(c.status, c.body)}});
    TempDir dir;
    platform::ScriptedDialogs dialogs;
    const int r = talvora::DownloadFile(server.Url("/img/Big.PNG"), dir / "Big.PNG");
    if (c.saved) {
      EXPECT_EQ(r, 1);
      EXPECT_EQ(ReadFile(dir / "Big.PNG"), c.body);
      EXPECT_TRUE(dialogs.shown.empty());
      continue;
    }
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(Names(dir.path()).empty()) << "nothing is left in the folder";
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const std::string code = std::string(c.status).substr(0, 3);
    EXPECT_EQ(dialogs.shown[0].prompt,
              "发生错误：\r\n服务器返回 HTTP " + code + "，资源未下载: " + server.Url("/img/Big.PNG"));
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

// The quiet fetch rewrites its file, a longer old one cut to the new body;
// the save never writes over an existing file.
TEST(DownloadFile, AnExistingFileIsCutByTheQuietFetchAndKeptByTheSave) {
  TestHttpServer server({{"/short", Response("200 OK", "new")}, {"/empty", Response("200 OK", "")}});
  TempDir dir;
  const std::string old = "an older and much longer content";
  WriteFile(dir / "q.txt", old);
  EXPECT_EQ(talvora::DownloadFileQuiet(server.Url("/short"), dir / "q.txt"), 1);
  EXPECT_EQ(ReadFile(dir / "q.txt"), "new");
  // An empty body leaves an empty file, not the old one.
  EXPECT_EQ(talvora::DownloadFileQuiet(server.Url("/empty"), dir / "q.txt"), 1);
  EXPECT_EQ(ReadFile(dir / "q.txt"), "");

  WriteFile(dir / "t.txt", old);
  platform::ScriptedDialogs dialogs;
  EXPECT_EQ(talvora::DownloadFile(server.Url("/short"), dir / "t.txt"), 0);
  EXPECT_EQ(ReadFile(dir / "t.txt"), old);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].prompt, "发生错误：\r\n指定位置已有同名资源: " + dir / "t.txt");
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"q.txt", "t.txt"}));
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

  // An error page is no picture: the existing file keeps its content.
  EXPECT_EQ(talvora::DownloadFileQuiet(server.Url("/missing.gif"), dir / "old.gif"), 1);
  EXPECT_EQ(ReadFile(dir / "old.gif"), kBinary);

  // A target in a missing folder: nothing is written anywhere.
  EXPECT_EQ(talvora::DownloadFileQuiet(server.Url("/pic"), dir / "missing/p.gif"), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

  EXPECT_TRUE(dialogs.shown.empty());
}

// Something appears at the target's name while the body is on its way: it
// is never written over nor written through.
TEST(DownloadFile, ANameTakenDuringTheRequestIsLeftAlone) {
  enum Kind { kFile, kLinkToFile, kDanglingLink };
  const struct {
    const char* what;
    Kind kind;
  } cases[] = {{"a file", kFile}, {"a link to a file", kLinkToFile}, {"a dangling link", kDanglingLink}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir top;
    const std::string dir = top / "target";
    const std::string outside = top / "outside.txt";
    const std::string target = dir + "/race_file.gif";
    fs::create_directories(dir);
    TestHttpServer::Answer answer = Response("200 OK", kBinary);
    answer.act = [&] {
      if (testing_support::Exists(target)) return;
      if (c.kind == kFile) {
        WriteFile(target, "PRECIOUS");
      } else {
        if (c.kind == kLinkToFile) WriteFile(outside, "PRECIOUS");
        fs::create_symlink(outside, target);
      }
    };
    TestHttpServer server({{"/race_file.gif", answer}});
    auto untouched = [&] {
      if (c.kind == kFile) {
        EXPECT_EQ(ReadFile(target), "PRECIOUS");
        return;
      }
      EXPECT_TRUE(fs::is_symlink(target));
      if (c.kind == kLinkToFile)
        EXPECT_EQ(ReadFile(outside), "PRECIOUS");
      else
        EXPECT_FALSE(testing_support::Exists(outside));
    };

    // The save is asked for another name and goes there.
    platform::ScriptedDialogs dialogs;
    std::vector<std::string> taken;
    const auto elsewhere = [&](const std::string& path) {
      taken.push_back(path);
      return dir + "/1race_file.gif";
    };
    EXPECT_EQ(talvora::DownloadFile(server.Url("/race_file.gif"), target, elsewhere), 1);
    EXPECT_EQ(taken, std::vector<std::string>{target});
    EXPECT_EQ(ReadFile(dir + "/1race_file.gif"), kBinary);
    untouched();
    EXPECT_EQ(Names(dir), (std::set<std::string>{"race_file.gif", "1race_file.gif"}));
    EXPECT_TRUE(dialogs.shown.empty());

    // Without another name the save fails and says so.
    EXPECT_EQ(talvora::DownloadFile(server.Url("/race_file.gif"), target), 0);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt.rfind("发生错误：\r\n", 0), 0u);
    untouched();
    EXPECT_EQ(Names(dir), (std::set<std::string>{"race_file.gif", "1race_file.gif"}));
  }
}

TEST(DownloadFile, ABodyOverTheLimitFailsAndLeavesNothing) {
  constexpr std::int64_t kSmall = 64 << 10;
  // Announces more than the limit, sends a little and keeps the line open.
  TestHttpServer::Answer huge{"HTTP/1.1 200 OK\r\nContent-Length: 3221225472\r\nConnection: close\r\n\r\nGIF89a"};
  huge.holdMs = 10000;
  TestHttpServer server({{"/huge", huge}, {"/at", Chunked(kSmall)}, {"/over", Chunked(kSmall + 1)}});
  const struct {
    const char* path;
    std::int64_t limit;
    const char* limitText;  // nullptr: the body is within the limit
  } cases[] = {
      {"/huge", talvora::kMaxDownloadBytes, "2 GiB"},
      {"/over", kSmall, "64 KiB"},
      {"/at", kSmall, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TempDir dir;
    platform::ScriptedDialogs dialogs;
    const auto start = std::chrono::steady_clock::now();
    const int r = talvora::DownloadFile(server.Url(c.path), dir / "big.bin", nullptr, c.limit);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "refused at once";
    if (!c.limitText) {
      EXPECT_EQ(r, 1);
      EXPECT_EQ(ReadFile(dir / "big.bin"), std::string(kSmall, 'x'));
      EXPECT_EQ(Names(dir.path()), std::set<std::string>{"big.bin"});
      continue;
    }
    EXPECT_EQ(r, 0);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].prompt.find(c.limitText), std::string::npos) << dialogs.shown[0].prompt;
    EXPECT_TRUE(Names(dir.path()).empty());
  }
}

// The disk fills up while the body is written: no cut-off file is left, and
// an existing target keeps what it held.
TEST(DownloadFile, AFullDiskLeavesNoPartialFile) {
  const std::string body(64 << 10, 'b');
  TestHttpServer server({{"/big", Response("200 OK", body)}});
  const struct {
    const char* what;
    bool quiet;
  } cases[] = {{"reported", false}, {"quiet", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (c.quiet) WriteFile(dir / "pic.gif", "old content");
    platform::ScriptedDialogs dialogs;
    int r;
    {
      FileSizeLimit full(16 << 10);
      r = c.quiet ? talvora::DownloadFileQuiet(server.Url("/big"), dir / "pic.gif")
                  : talvora::DownloadFile(server.Url("/big"), dir / "pic.gif");
    }
    if (c.quiet) {
      EXPECT_EQ(r, 1);
      EXPECT_TRUE(dialogs.shown.empty());
      EXPECT_EQ(ReadFile(dir / "pic.gif"), "old content");
      EXPECT_EQ(Names(dir.path()), std::set<std::string>{"pic.gif"});
    } else {
      EXPECT_EQ(r, 0);
      ASSERT_EQ(dialogs.shown.size(), 1u);
      EXPECT_EQ(dialogs.shown[0].prompt.rfind("发生错误：\r\n", 0), 0u);
      EXPECT_TRUE(Names(dir.path()).empty());
    }
  }
}

// The quiet fetch rewrites its file on every start, but a link at its name
// is replaced, never written through.
TEST(DownloadFileQuiet, NeverWritesThroughALink) {
  TestHttpServer server({{"/pic", Response("200 OK", kBinary)}});
  const std::string unreachable = UnreachableUrl();
  const struct {
    const char* what;
    bool fetched;
    bool linkedFileExists;
  } cases[] = {
      {"fetched, link to a file", true, true},
      {"fetched, dangling link", true, false},
      {"failed, link to a file", false, true},
      {"failed, dangling link", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string linked = dir / "elsewhere.txt";
    if (c.linkedFileExists) WriteFile(linked, "PRECIOUS");
    fs::create_symlink(linked, dir / "mainResource.gif");
    EXPECT_EQ(talvora::DownloadFileQuiet(c.fetched ? server.Url("/pic") : unreachable, dir / "mainResource.gif"), 1);
    if (c.linkedFileExists)
      EXPECT_EQ(ReadFile(linked), "PRECIOUS");
    else
      EXPECT_FALSE(testing_support::Exists(linked));
    if (c.fetched) {
      EXPECT_FALSE(fs::is_symlink(dir / "mainResource.gif"));
      EXPECT_EQ(ReadFile(dir / "mainResource.gif"), kBinary);
    } else {
      EXPECT_TRUE(fs::is_symlink(dir / "mainResource.gif"));
    }
    EXPECT_EQ(Names(dir.path()).size(), c.linkedFileExists ? 2u : 1u);
  }
}
