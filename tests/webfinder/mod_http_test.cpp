#include "webfinder/mod_http.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "support/temp_dir.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// A blocking HTTP server on 127.0.0.1 for one test: each request gets the
// fixed answer of its path (404 without a body for unknown paths).
class TinyServer {
 public:
  explicit TinyServer(std::map<std::string, std::string> answers) : answers_(std::move(answers)) {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int one = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listen_, 8);
    socklen_t len = sizeof addr;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TinyServer() {
    stop_ = true;
    shutdown(listen_, SHUT_RDWR);
    close(listen_);
    thread_.join();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::vector<std::string> RequestLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  void Serve() {
    while (!stop_) {
      int c = accept(listen_, nullptr, nullptr);
      if (c < 0) return;
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      std::string line = request.substr(0, request.find("\r\n"));
      std::string path = line.substr(line.find(' ') + 1);
      path = path.substr(0, path.find(' '));
      {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
      }
      auto it = answers_.find(path);
      std::string answer = it != answers_.end()
                               ? it->second
                               : "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
      close(c);
    }
  }

  std::map<std::string, std::string> answers_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::thread thread_;
};

std::string Response(const std::string& status, const std::string& body,
                     const std::string& extra = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + extra + "\r\n" + body;
}

// An address where nothing listens: a port just given back by the system.
std::string UnreachableUrl() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  close(s);
  return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/pic.gif";
}

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
    TinyServer server({{"/file", Response(c.status, c.body)}});
    TempDir dir;
    platform::ScriptedDialogs dialogs;
    EXPECT_EQ(talvora::DownloadFile(server.Url("/file"), dir / "out.bin"), 1);
    EXPECT_EQ(ReadFile(dir / "out.bin"), c.body);
    EXPECT_TRUE(dialogs.shown.empty());
  }
}

TEST(DownloadFile, FollowsRedirects) {
  TinyServer server({
      {"/old", Response("302 Found", "moved", "Location: /middle\r\n")},
      {"/middle", Response("301 Moved Permanently", "", "Location: /new.gif\r\n")},
      {"/new.gif", Response("200 OK", kBinary)},
  });
  TempDir dir;
  EXPECT_EQ(talvora::DownloadFile(server.Url("/old"), dir / "a.gif"), 1);
  EXPECT_EQ(ReadFile(dir / "a.gif"), kBinary);
}

TEST(DownloadFile, ALongerExistingFileIsCutToTheNewBody) {
  TinyServer server({{"/short", Response("200 OK", "new")}, {"/empty", Response("200 OK", "")}});
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
  TinyServer server({{"/a%20b/%E5%9B%BE.gif", Response("200 OK", "x")}});
  TempDir dir;
  EXPECT_EQ(talvora::DownloadFile(server.Url("/a b/图.gif"), dir / "x"), 1);
  EXPECT_EQ(ReadFile(dir / "x"), "x");
}

TEST(DownloadFile, FailuresShowTheMessageAndGiveZero) {
  TinyServer server({{"/ok", Response("200 OK", "body")}});
  TempDir dir;
  struct Case {
    const char* what;
    std::string url;
    std::string target;
  };
  const Case cases[] = {
      {"target folder missing", server.Url("/ok"), dir / "missing/out.txt"},
      {"server unreachable", UnreachableUrl(), dir / "u.txt"},
      {"name not resolvable", "http://no-such-host.invalid/x.gif", dir / "n.txt"},
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
  TinyServer server({{"/pic", Response("200 OK", kBinary)}});
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
