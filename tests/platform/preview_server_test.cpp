// The loopback server of the preview: it serves regular files of the site
// folders it was given, with the types that make browsers apply the
// stylesheets, and nothing else.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "platform/preview_server.h"
#include "platform/process.h"
#include "support/event_wait.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::PreviewServer;
using testing_support::MakeDirs;
using testing_support::TempDir;
using testing_support::WriteFile;

struct Reply {
  int status = 0;
  std::string contentType;
  std::string body;
};

// One request sent as raw bytes, so the target reaches the server exactly as
// written (no client tidies ".." away). The server lives on this thread: the
// event loop runs while another thread talks to it.
Reply Request(quint16 port, const std::string& method, const std::string& target) {
  auto talk = [port, method, target] {
    std::string raw;
    int s = socket(AF_INET, SOCK_STREAM, 0);
    timeval limit{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      const std::string request =
          method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
      send(s, request.data(), request.size(), MSG_NOSIGNAL);
      char buffer[4096];
      for (;;) {
        ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        raw.append(buffer, static_cast<size_t>(n));
        // Whole once the headers and Content-Length bytes are in.
        size_t end = raw.find("\r\n\r\n");
        std::smatch m;
        static const std::regex length("\r\ncontent-length: *([0-9]+)", std::regex::icase);
        std::string head = end == std::string::npos ? std::string() : raw.substr(0, end);
        if (end != std::string::npos && std::regex_search(head, m, length) &&
            raw.size() >= end + 4 + std::stoul(m[1].str()))
          break;
      }
    }
    close(s);
    return raw;
  };
  std::future<std::string> answer = std::async(std::launch::async, talk);
  testing_support::WaitUntil(
      [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
  const std::string raw = answer.get();
  Reply reply;
  std::smatch m;
  if (std::regex_search(raw, m, std::regex("^HTTP/1\\.[01] ([0-9]{3})"))) reply.status = std::stoi(m[1].str());
  size_t end = raw.find("\r\n\r\n");
  std::string head = raw.substr(0, end);
  if (std::regex_search(head, m, std::regex("\r\ncontent-type: *([^\r]*)", std::regex::icase)))
    reply.contentType = m[1].str();
  if (end != std::string::npos) reply.body = raw.substr(end + 4);
  return reply;
}

// The path part of an address: "/<prefix>/<file>".
std::string PathOf(const std::string& address) {
  std::smatch m;
  return std::regex_match(address, m, std::regex("http://127\\.0\\.0\\.1:[0-9]+(/.*)")) ? m[1].str()
                                                                                       : std::string();
}

// A small generated-looking site, and beside it what must stay private.
//   site/index.html, startxml.xml, startxml.xsl, startxml.files/startxml.css
//   site/04相关素材/图.gif
//   site/same.xml -> startxml.xml (a link inside)
//   site/out.txt -> ../secret.txt, site/outside -> .. (links leading out)
//   site/pipe (a FIFO)
//   secret.txt
class PreviewServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = dir_ / "site";
    WriteFile(site_ + "/index.html", "<html>index</html>");
    WriteFile(site_ + "/startxml.xml", "<?xml version=\"1.0\" encoding=\"gb2312\"?><qz/>");
    WriteFile(site_ + "/startxml.xsl", "<xsl:stylesheet/>");
    WriteFile(site_ + "/startxml.files/startxml.css", "body{}");
    WriteFile(site_ + "/04相关素材/图.gif", "GIF89a");
    WriteFile(dir_ / "secret.txt", "secret");
    fs::create_symlink("startxml.xml", fs::u8path(site_ + "/same.xml"));
    fs::create_symlink("../secret.txt", fs::u8path(site_ + "/out.txt"));
    fs::create_symlink("..", fs::u8path(site_ + "/outside"));
    ASSERT_EQ(mkfifo((site_ + "/pipe").c_str(), 0600), 0);
  }

  TempDir dir_;
  std::string site_;
};

TEST_F(PreviewServerTest, ServesTheSiteFilesWithTypesBrowsersApplyStylesheetsTo) {
  PreviewServer& server = PreviewServer::Instance();
  const std::string address = server.Address(site_, "index.html");
  ASSERT_NE(server.Port(), 0);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(address, m, std::regex("http://127\\.0\\.0\\.1:([0-9]+)/([0-9a-f]{32})/index\\.html")))
      << address;
  EXPECT_EQ(std::stoi(m[1].str()), server.Port());
  const std::string prefix = "/" + m[2].str() + "/";

  struct Case {
    std::string target;  // as sent
    int status;
    std::string type;
    std::string body;
  };
  const Case cases[] = {
      {prefix + "index.html", 200, "text/html", "<html>index</html>"},
      {prefix + "startxml.xml", 200, "text/xml", "<?xml version=\"1.0\" encoding=\"gb2312\"?><qz/>"},
      {prefix + "startxml.xsl", 200, "text/xml", "<xsl:stylesheet/>"},
      {prefix + "startxml.files/startxml.css", 200, "text/css", "body{}"},
      {prefix + "04%E7%9B%B8%E5%85%B3%E7%B4%A0%E6%9D%90/%E5%9B%BE.gif", 200, "image/gif", "GIF89a"},
      {prefix + "same.xml", 200, "text/xml", "<?xml version=\"1.0\" encoding=\"gb2312\"?><qz/>"},
      // Out of the site folder, however it is spelt.
      {prefix + "../secret.txt", 404, "", ""},
      {prefix + "%2e%2e/secret.txt", 404, "", ""},
      {prefix + "startxml.files/..%2f..%2fsecret.txt", 404, "", ""},
      {prefix + "out.txt", 404, "", ""},
      {prefix + "outside/secret.txt", 404, "", ""},
      // No folder listings, nothing but regular files, nothing unknown.
      {prefix, 404, "", ""},
      {prefix + "04%E7%9B%B8%E5%85%B3%E7%B4%A0%E6%9D%90/", 404, "", ""},
      {prefix + "startxml.files", 404, "", ""},
      {prefix + "pipe", 404, "", ""},
      {prefix + "missing.xml", 404, "", ""},
      {"/index.html", 404, "", ""},
      {"/00000000000000000000000000000000/index.html", 404, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    Reply reply = Request(server.Port(), "GET", c.target);
    EXPECT_EQ(reply.status, c.status);
    if (c.status != 200) {
      EXPECT_EQ(reply.body.find("secret"), std::string::npos);
      continue;
    }
    EXPECT_EQ(reply.contentType, c.type);
    EXPECT_EQ(reply.body, c.body);
  }
  // Read-only: nothing but GET is answered with content.
  for (const char* method : {"PUT", "DELETE", "POST"})
    EXPECT_EQ(Request(server.Port(), method, prefix + "index.html").status, 405) << method;
  EXPECT_TRUE(fs::exists(fs::u8path(site_ + "/index.html")));
}

TEST_F(PreviewServerTest, OneServerServesEverySiteEachUnderItsOwnPrefix) {
  const std::string other = dir_ / "其他 站点";
  WriteFile(other + "/index.html", "<html>other</html>");
  PreviewServer& server = PreviewServer::Instance();
  const std::string first = server.Address(site_, "index.html");
  const std::string second = server.Address(other, "index.html");
  EXPECT_EQ(server.Address(site_, "index.html"), first) << "the same folder keeps its prefix";
  EXPECT_NE(PathOf(first), PathOf(second));
  EXPECT_EQ(&PreviewServer::Instance(), &server);
  EXPECT_EQ(Request(server.Port(), "GET", PathOf(first)).body, "<html>index</html>");
  EXPECT_EQ(Request(server.Port(), "GET", PathOf(second)).body, "<html>other</html>");
}

TEST_F(PreviewServerTest, OpeningGivesTheAddressToTheBrowserOrToTheUserWhenNoneStarts) {
  platform::ScriptedDialogs dialogs;
  const std::string address = PreviewServer::Instance().Address(site_, "index.html");
  std::vector<std::string> opened;
  platform::SetDesktopOpener([&](const std::string& t) { opened.push_back(t); });
  platform::OpenSitePreview(site_, "index.html");
  platform::SetDesktopOpener(nullptr);
  EXPECT_EQ(opened, std::vector<std::string>{address});
  EXPECT_TRUE(dialogs.shown.empty());

  // No xdg-open to be found: the user is told where to point a browser.
  TempDir empty;
  testing_support::ScopedEnv path("PATH", empty.path());
  platform::OpenSitePreview(site_, "index.html");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].prompt.find(address), std::string::npos) << dialogs.shown[0].prompt;
}

}  // namespace
