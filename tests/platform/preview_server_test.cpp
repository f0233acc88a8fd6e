// The loopback server of the preview: it serves regular files of the site
// folders it was given, with the types that make browsers apply the
// stylesheets, and nothing else; to this user's clients only; and no
// client makes it grow or take the files the program needs.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include "platform/dialogs.h"
#include "platform/preview_server.h"
#include "platform/process.h"
#include "support/event_wait.h"
#include "support/http_client.h"
#include "support/run_program.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::PreviewServer;
using testing_support::MakeDirs;
using testing_support::TempDir;
using testing_support::WriteFile;
using testing_support::HttpReply;
using testing_support::Request;

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
//   site/<语文 in GBK>.htm, site/a\b.htm, site/a#b?c%41.htm (names links escape)
//   site/sib.txt -> ../site2/secret.txt (a sibling whose name starts alike)
//   secret.txt, site2/secret.txt
class PreviewServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = dir_ / "site";
    WriteFile(site_ + "/index.html", "<html>index</html>");
    WriteFile(site_ + "/startxml.xml", "<?xml version=\"1.0\" encoding=\"gb2312\"?><qz/>");
    WriteFile(site_ + "/startxml.xsl", "<xsl:stylesheet/>");
    WriteFile(site_ + "/startxml.files/startxml.css", "body{}");
    WriteFile(site_ + "/04相关素材/图.gif", "GIF89a");
    WriteFile(site_ + "/\xD3\xEF\xCE\xC4.htm", "GBK");
    WriteFile(site_ + "/a\\b.htm", "backslash");
    WriteFile(site_ + "/a#b?c%41.htm", "marks");
    WriteFile(dir_ / "secret.txt", "secret");
    WriteFile(dir_ / "site2/secret.txt", "secret2");
    fs::create_symlink("../site2/secret.txt", site_ + "/sib.txt");
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
      {prefix + "index.html?v=1", 200, "text/html", "<html>index</html>"},
      {prefix + "startxml.xml", 200, "text/xml", "<?xml version=\"1.0\" encoding=\"gb2312\"?><qz/>"},
      {prefix + "startxml.xsl", 200, "text/xml", "<xsl:stylesheet/>"},
      {prefix + "startxml.files/startxml.css", 200, "text/css", "body{}"},
      {prefix + "04%E7%9B%B8%E5%85%B3%E7%B4%A0%E6%9D%90/%E5%9B%BE.gif", 200, "image/gif", "GIF89a"},
      {prefix + "same.xml", 200, "text/xml", "<?xml version=\"1.0\" encoding=\"gb2312\"?><qz/>"},
      // Escapes name bytes, whatever the encoding of the name.
      {prefix + "%D3%EF%CE%C4.htm", 200, "text/html", "GBK"},
      {prefix + "a%5Cb.htm", 200, "text/html", "backslash"},
      {prefix + "a%23b%3Fc%2541.htm", 200, "text/html", "marks"},
      // Out of the site folder, however it is spelt.
      {prefix + "../secret.txt", 404, "", ""},
      {prefix + "%2e%2e/secret.txt", 404, "", ""},
      {prefix + "startxml.files/..%2f..%2fsecret.txt", 404, "", ""},
      {prefix + "out.txt", 404, "", ""},
      {prefix + "outside/secret.txt", 404, "", ""},
      {prefix + "sib.txt", 404, "", ""},
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
    HttpReply reply = Request(server.Port(), "GET", c.target);
    EXPECT_EQ(reply.status, c.status);
    if (c.status != 200) {
      EXPECT_EQ(reply.body.find("secret"), std::string::npos);
      continue;
    }
    EXPECT_EQ(reply.Header("Content-Type"), c.type);
    EXPECT_EQ(reply.body, c.body);
  }
}

// Read-only: GET and HEAD, the rest refused with what is allowed; a
// connection stays open for the next request unless the client asks.
TEST_F(PreviewServerTest, AnswersGetAndHeadAndClosesWhenAsked) {
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "index.html"));
  HttpReply head = Request(server.Port(), "HEAD", target);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("Content-Length"), "18");
  EXPECT_EQ(head.Header("Content-Type"), "text/html");
  EXPECT_EQ(head.body, "");
  for (const char* method : {"PUT", "DELETE", "POST"}) {
    HttpReply refused = Request(server.Port(), method, target);
    EXPECT_EQ(refused.status, 405) << method;
    EXPECT_EQ(refused.Header("Allow"), "GET, HEAD") << method;
  }
  EXPECT_EQ(testing_support::ReadFile(site_ + "/index.html"), "<html>index</html>");

  struct Kept {
    HttpReply first, second, last;
    bool closed = false;
  };
  const Kept kept = testing_support::WhileServing<Kept>([&] {
    Kept k;
    int s = testing_support::ConnectLoopback(server.Port());
    const std::string get = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (testing_support::SendAll(s, get + "\r\n")) k.first = testing_support::ReadReply(s);
    if (testing_support::SendAll(s, get + "\r\n")) k.second = testing_support::ReadReply(s);
    if (testing_support::SendAll(s, get + "Connection: close\r\n\r\n")) k.last = testing_support::ReadReply(s);
    k.closed = testing_support::ClosedByServer(s, 5000);
    close(s);
    return k;
  });
  EXPECT_EQ(kept.first.body, "<html>index</html>");
  EXPECT_EQ(kept.second.body, "<html>index</html>");
  EXPECT_EQ(kept.last.body, "<html>index</html>");
  EXPECT_TRUE(kept.closed);
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
  // A folder whose own path is not UTF-8 (a GBK name) is served as well.
  const std::string gbk = dir_ / "\xB2\xE2\xCA\xD4";
  WriteFile(gbk + "/index.html", "<html>gbk</html>");
  EXPECT_EQ(Request(server.Port(), "GET", PathOf(server.Address(gbk, "index.html"))).body, "<html>gbk</html>");
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


// This user's client is served whatever its socket: IPv4, or IPv6 to the
// mapped IPv4 address, and whether or not it half-closes once its request
// is out (as "nc -N" does). The server still listens on 127.0.0.1 alone.
TEST_F(PreviewServerTest, ThisUsersClientIsServedWhateverItsSocket) {
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "index.html"));
  const int v6 = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (v6 >= 0) close(v6);
  struct Case {
    const char* host;
    bool halfClose;
  };
  const Case cases[] = {
      {"127.0.0.1", false},
      {"127.0.0.1", true},
      {"::ffff:127.0.0.1", false},
      {"::ffff:127.0.0.1", true},
  };
  // The server's check runs before it reads the request, so each kind of
  // client is tried a few times: the half-close may come before or after.
  const int kTries = 10;
  bool untried = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + (c.halfClose ? ", half-closed" : ""));
    if (v6 < 0 && std::strchr(c.host, ':')) {
      untried = true;
      continue;
    }
    const int served = testing_support::WhileServing<int>([&] {
      int n = 0;
      for (int i = 0; i < kTries; ++i) {
        const int s = testing_support::Connect(c.host, server.Port());
        if (s < 0) continue;
        if (testing_support::SendAll(s, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n") &&
            (!c.halfClose || shutdown(s, SHUT_WR) == 0) &&
            testing_support::ReadReply(s).body == "<html>index</html>")
          ++n;
        close(s);
      }
      return n;
    });
    EXPECT_EQ(served, kTries);
  }
  const int any = testing_support::Connect("::1", server.Port());
  EXPECT_LT(any, 0) << "the server answers on the IPv6 loopback";
  if (any >= 0) close(any);
  if (untried) GTEST_SKIP() << "no IPv6 socket can be made here: the IPv6 clients were not tried";
}

// A GET or HEAD that carries a body, with a length or chunked, is
// answered once the body is in, which is read and dropped: as if it had
// none, or 413 when it is longer than a request's headers may be. Either
// way the connection stays open for the next request.
TEST_F(PreviewServerTest, AGetWithABodyIsAnswered) {
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "index.html"));
  const size_t kLong = PreviewServer::kConnectionMemory + 1;
  struct Case {
    const char* method;
    bool chunked;
    size_t length;
    int status;
  };
  const Case cases[] = {
      {"GET", false, 5, 200},         {"GET", true, 5, 200},         {"HEAD", false, 5, 200},
      {"HEAD", true, 5, 200},         {"GET", false, kLong, 413},    {"GET", true, kLong, 413},
      {"HEAD", true, kLong, 413},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + ", " + std::to_string(c.length) + " bytes of body" +
                 (c.chunked ? ", chunked" : ""));
    const bool head = std::strcmp(c.method, "HEAD") == 0;
    const std::string body(c.length, 'x');
    char size[32];
    std::snprintf(size, sizeof size, "%zx", c.length);
    const std::string framed = c.chunked ? "Transfer-Encoding: chunked\r\n\r\n" + std::string(size) + "\r\n" + body +
                                               "\r\n0\r\n\r\n"
                                         : "Content-Length: " + std::to_string(c.length) + "\r\n\r\n" + body;
    struct Replies {
      HttpReply withBody, next;
    };
    const Replies replies = testing_support::WhileServing<Replies>([&] {
      Replies r;
      const int s = testing_support::ConnectLoopback(server.Port());
      const std::string request = std::string(c.method) + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
      if (testing_support::SendAll(s, request + framed)) r.withBody = testing_support::ReadReply(s, head);
      if (testing_support::SendAll(s, request + "Connection: close\r\n\r\n")) r.next = testing_support::ReadReply(s, head);
      close(s);
      return r;
    });
    EXPECT_EQ(replies.withBody.status, c.status);
    if (c.status == 200) {
      EXPECT_EQ(replies.withBody.body, head ? "" : "<html>index</html>");
    }
    EXPECT_EQ(replies.next.status, 200);
    EXPECT_EQ(replies.next.Header("Content-Length"), "18");
    EXPECT_EQ(replies.next.body, head ? "" : "<html>index</html>");
  }
}

// A file cut short while it is sent (a site regenerated while its page
// loads) ends the connection at once, short of the length the head gave,
// instead of leaving the client waiting for bytes that never come.
TEST_F(PreviewServerTest, AFileCutShortWhileSentEndsTheConnection) {
  // Far more than the sockets between server and client hold.
  const long kSize = 64L << 20, kCut = 1L << 20;
  const std::string big = site_ + "/big.bin";
  {
    int fd = ::open(big.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, kSize), 0);
    ::close(fd);
  }
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "big.bin"));
  struct Cut {
    std::string length;
    long received = 0;
    bool ended = false;
    long msAfterCut = 0;
  };
  const Cut cut = testing_support::WhileServing<Cut>([&] {
    Cut r;
    const int s = testing_support::ConnectLoopback(server.Port(), 10);
    if (!testing_support::SendAll(s, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) return r;
    std::string head;
    char buffer[65536];
    size_t end = std::string::npos;
    while (end == std::string::npos) {
      const ssize_t n = recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<size_t>(n));
      end = head.find("\r\n\r\n");
    }
    if (end == std::string::npos) return r;
    HttpReply reply;
    reply.head = head.substr(0, end);
    r.length = reply.Header("Content-Length");
    r.received = static_cast<long>(head.size() - end - 4);
    if (truncate(big.c_str(), kCut) != 0) return r;
    const auto at = std::chrono::steady_clock::now();
    for (;;) {
      const ssize_t n = recv(s, buffer, sizeof buffer, 0);
      if (n > 0) {
        r.received += n;
        continue;
      }
      r.ended = n == 0 || errno == ECONNRESET;
      break;
    }
    r.msAfterCut = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - at).count());
    close(s);
    return r;
  });
  EXPECT_EQ(cut.length, std::to_string(kSize));
  EXPECT_TRUE(cut.ended) << "still open " << cut.msAfterCut << " ms after the cut";
  EXPECT_LT(cut.msAfterCut, 5000);
  EXPECT_LT(cut.received, kSize);
  // The server goes on serving.
  EXPECT_EQ(Request(server.Port(), "GET", PathOf(server.Address(site_, "index.html"))).status, 200);
}

// A connection that goes silent, in the middle of its request, is closed
// once the idle time is up, and not long before.
TEST_F(PreviewServerTest, ASilentConnectionIsClosedAfterTheIdleTime) {
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "index.html"));
  const int idleMs = static_cast<int>(PreviewServer::kIdleSeconds) * 1000;
  struct Silence {
    bool closed = false;
    long ms = 0;
  };
  const Silence silence = testing_support::WhileServing<Silence>(
      [&] {
        Silence r;
        int s = testing_support::ConnectLoopback(server.Port());
        testing_support::SendAll(s, "GET " + target + " HTTP/1.1\r\nHost: 127");
        const auto start = std::chrono::steady_clock::now();
        r.closed = testing_support::ClosedByServer(s, idleMs + 10000);
        r.ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count());
        close(s);
        return r;
      },
      idleMs + 20000);
  EXPECT_TRUE(silence.closed);
  EXPECT_GE(silence.ms, idleMs - 1000);
}

// Why this process cannot run a client as another user (it must be root,
// with setpriv and python3 installed); "" when it can.
std::string WhyNoOtherUser() {
  if (geteuid() != 0) return "a client as another user needs root to start it (setpriv)";
  if (!fs::exists("/usr/bin/setpriv") || !fs::exists("/usr/bin/python3")) return "setpriv or python3 is not installed";
  return "";
}
// setpriv's arguments that start python3 as the user nobody.
const std::vector<std::string> kAsNobody = {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3"};

// A client of another user, run through setpriv, is not answered, though
// this user has connections of its own open to the port at the same time;
// the same client as this user is, so the refusal is the owner's and
// nothing else.
TEST_F(PreviewServerTest, AnotherUsersClientIsNotAnswered) {
  const std::string why = WhyNoOtherUser();
  if (!why.empty()) GTEST_SKIP() << why;
  fs::permissions(site_, fs::perms::owner_all, fs::perm_options::replace);
  PreviewServer& server = PreviewServer::Instance();
  const std::string address = server.Address(site_, "index.html");
  // Served once, and held open for the next request.
  std::vector<int> held;
  for (int i = 0; i < 3; ++i) {
    const int s = testing_support::ConnectLoopback(server.Port());
    ASSERT_GE(s, 0);
    held.push_back(s);
    const HttpReply reply = testing_support::WhileServing<HttpReply>([&] {
      testing_support::SendAll(s, "GET " + PathOf(address) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
      return testing_support::ReadReply(s);
    });
    EXPECT_EQ(reply.status, 200);
  }
  const std::string fetch =
      "import sys, urllib.request\n"
      "try:\n"
      "    print(urllib.request.urlopen(sys.argv[1], timeout=10).read().decode())\n"
      "except Exception as e:\n"
      "    print('refused:', e)\n";
  const auto own = testing_support::RunProgram("/usr/bin/python3", {"-c", fetch, address}, 30000);
  EXPECT_EQ(own.out, "<html>index</html>\n") << own.err;
  std::vector<std::string> args = kAsNobody;
  args.insert(args.end(), {"-c", fetch, address});
  for (int i = 0; i < 3; ++i) {
    const auto other = testing_support::RunProgram("/usr/bin/setpriv", args, 30000);
    EXPECT_EQ(other.out.rfind("refused:", 0), 0u) << other.out << other.err;
    EXPECT_EQ(other.out.find("index"), std::string::npos);
  }
  for (int s : held) close(s);
}

// Two processes of another user each keep thousands of connections
// waiting to be accepted, and open a new one for each refused: this user's
// requests are still answered within a second or so, and at once when the
// flood has ended.
TEST_F(PreviewServerTest, AnotherUsersFloodLeavesThisUsersRequestsAnswered) {
  const std::string why = WhyNoOtherUser();
  if (!why.empty()) GTEST_SKIP() << why;
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "index.html"));
  // Ends by itself after the seconds given; says "ready" once its
  // connections are open, and at the end how many the server closed.
  const std::string flood =
      "import resource, selectors, socket, sys, time\n"
      "port, count, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])\n"
      "hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]\n"
      "resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))\n"
      "waiting = selectors.DefaultSelector()\n"
      "def open_one():\n"
      "    s = socket.socket()\n"
      "    s.setblocking(False)\n"
      "    s.connect_ex(('127.0.0.1', port))\n"
      "    waiting.register(s, selectors.EVENT_READ)\n"
      "end = time.monotonic() + seconds\n"
      "for _ in range(count):\n"
      "    open_one()\n"
      "print('ready', flush=True)\n"
      "refused = 0\n"
      "while time.monotonic() < end:\n"
      "    for key, _ in waiting.select(0.1):\n"
      "        s = key.fileobj\n"
      "        waiting.unregister(s)\n"
      "        refused += s.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == 0\n"
      "        s.close()\n"
      "        open_one()\n"
      "print(refused, flush=True)\n";
  const int kConnections = 2000;
  const int kFloodSeconds = 5;
  QStringList args;
  for (const std::string& a : kAsNobody) args << QString::fromStdString(a);
  args << "-c" << QString::fromStdString(flood) << QString::number(server.Port()) << QString::number(kConnections)
       << QString::number(kFloodSeconds);
  QProcess floods[2];
  for (QProcess& f : floods) f.start("/usr/bin/setpriv", args);
  for (QProcess& f : floods) {
    ASSERT_TRUE(f.waitForStarted(10000));
    ASSERT_TRUE(testing_support::WaitUntil([&] { return f.canReadLine(); }, 20000));
    ASSERT_EQ(f.readLine().trimmed().toStdString(), "ready") << f.readAllStandardError().toStdString();
  }
  // The time one request takes, connection to reply, in milliseconds.
  const auto timed = [&](int* status) {
    QElapsedTimer clock;
    clock.start();
    *status = Request(server.Port(), "GET", target).status;
    return clock.elapsed();
  };
  QElapsedTimer during;
  during.start();
  qint64 worst = 0;
  int asked = 0;
  while (during.elapsed() < (kFloodSeconds - 2) * 1000) {
    int status = 0;
    worst = std::max(worst, timed(&status));
    EXPECT_EQ(status, 200);
    ++asked;
    testing_support::Pause(100);
  }
  long refused = 0;
  for (QProcess& f : floods) {
    if (!f.waitForFinished(20000)) f.kill();
    f.waitForFinished(5000);
    refused += std::atol(f.readAllStandardOutput().trimmed().constData());
  }
  int status = 0;
  const qint64 after = timed(&status);
  EXPECT_EQ(status, 200);
  std::printf("this user's requests: the slowest of %d took %lld ms during the flood (%ld refused), %lld ms after\n",
              asked, static_cast<long long>(worst), refused, static_cast<long long>(after));
  EXPECT_GT(refused, kConnections) << "the server refused few of the flood's connections";
  EXPECT_LT(worst, 3000);
  EXPECT_LT(after, 1000);
}

// One thread swaps "sub" between the real folder and a link leading out,
// while requests for a file below it go on: never the outside file.
TEST_F(PreviewServerTest, AFolderSwappedForALinkNeverLeadsOut) {
  WriteFile(site_ + "/sub/a.txt", "INSIDE");
  WriteFile(dir_ / "elsewhere/a.txt", "OUTSIDE");
  fs::create_symlink(dir_ / "elsewhere", site_ + "/swap");
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "sub/a.txt"));
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    const std::string sub = site_ + "/sub", swap = site_ + "/swap";
    while (!stop) renameat2(AT_FDCWD, sub.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE);
  });
  struct Counts {
    int inside = 0, outside = 0, other = 0;
  };
  const Counts counts = testing_support::WhileServing<Counts>([&] {
    Counts c;
    const std::string get = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int s = -1;
    while (std::chrono::steady_clock::now() < end) {
      if (s < 0) s = testing_support::ConnectLoopback(server.Port());
      HttpReply r;
      if (testing_support::SendAll(s, get)) r = testing_support::ReadReply(s);
      if (r.status == 200 && r.body == "INSIDE") ++c.inside;
      else if (r.body.find("OUTSIDE") != std::string::npos) ++c.outside;
      else ++c.other;
      if (r.status == 0) {
        close(s);
        s = -1;
      }
    }
    if (s >= 0) close(s);
    return c;
  });
  stop = true;
  swapper.join();
  EXPECT_EQ(counts.outside, 0) << counts.inside << " inside, " << counts.other << " refused";
  EXPECT_GT(counts.inside, 0);
}

// The most this process has been resident since the last reset, in bytes:
// a server that takes memory and gives it back has still grown.
long PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) * 1024;
  return -1;
}

// Starts the peak afresh from the present resident size.
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A header far beyond any browser's, and a large file asked for by a client
// that never reads: the program grows by a few MB at most.
TEST_F(PreviewServerTest, NoClientGrowsTheProgram) {
  const long allowed = 16L << 20;
  {
    int fd = ::open((site_ + "/big.bin").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 1L << 30), 0);
    ::close(fd);
  }
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "index.html"));
  ResetPeakResident();
  const long before = PeakResidentBytes();

  const HttpReply huge = testing_support::WhileServing<HttpReply>([&] {
    HttpReply r;
    int s = testing_support::ConnectLoopback(server.Port());
    const std::string chunk(64 * 1024, 'a');
    bool sending = testing_support::SendAll(s, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Filler: ");
    for (long sent = 0; sending && sent < (200L << 20); sent += chunk.size())
      sending = testing_support::SendAll(s, chunk);
    if (sending) testing_support::SendAll(s, "\r\n\r\n");
    r = testing_support::ReadReply(s);
    close(s);
    return r;
  });
  EXPECT_EQ(huge.status, 431);
  EXPECT_LT(PeakResidentBytes() - before, allowed);

  // The client's unread bytes stop growing once the sockets are full; by
  // then a server that queues the file has grown past the allowance.
  int s = testing_support::ConnectLoopback(server.Port());
  ASSERT_TRUE(testing_support::SendAll(s, "GET " + PathOf(server.Address(site_, "big.bin")) +
                                              " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
  int queued = -1;
  QElapsedTimer still;
  still.start();
  testing_support::WaitUntil(
      [&] {
        int now = 0;
        ioctl(s, FIONREAD, &now);
        if (now != queued) {
          queued = now;
          still.restart();
        }
        return PeakResidentBytes() - before > allowed || (queued > 0 && still.elapsed() > 500);
      },
      10000);
  EXPECT_GT(queued, 0);
  EXPECT_LT(PeakResidentBytes() - before, allowed);
  close(s);
  // A client gone in the middle of a file leaves the server serving.
  EXPECT_EQ(Request(server.Port(), "GET", target).status, 200);
}

// While alive, the process may hold no more open files than given.
class OpenFileLimit {
 public:
  explicit OpenFileLimit(rlim_t files) {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = files;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  ~OpenFileLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

// More idle connections than the process may hold files: a real request is
// still answered, and a generation run still has the files it needs.
TEST_F(PreviewServerTest, IdleConnectionsBeyondTheCapMakeRoomForARealRequest) {
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "python3 is not installed";
  PreviewServer& server = PreviewServer::Instance();
  const std::string target = PathOf(server.Address(site_, "index.html"));
  OpenFileLimit limit(256);
  // The idle clients live in a process of their own, with files enough.
  const std::string flood =
      "import resource, socket, sys, time\n"
      "hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]\n"
      "resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))\n"
      "held, end = [], time.monotonic() + 20\n"
      "while len(held) < 300 and time.monotonic() < end:\n"
      "    s = socket.socket()\n"
      "    s.settimeout(1)\n"
      "    try:\n"
      "        s.connect(('127.0.0.1', int(sys.argv[1])))\n"
      "        held.append(s)\n"
      "    except OSError:\n"
      "        s.close()\n"
      "print(len(held), flush=True)\n"
      "sys.stdin.read()\n";
  QProcess clients;
  clients.start("/usr/bin/python3", {"-c", QString::fromStdString(flood), QString::number(server.Port())});
  ASSERT_TRUE(clients.waitForStarted(10000));
  ASSERT_TRUE(testing_support::WaitUntil([&] { return clients.canReadLine(); }, 30000));
  EXPECT_EQ(clients.readLine().trimmed().toStdString(), "300");

  HttpReply real = Request(server.Port(), "GET", target);
  EXPECT_EQ(real.status, 200);
  EXPECT_EQ(real.body, "<html>index</html>");
  std::vector<int> files;
  for (int i = 0; i < 100; ++i) {
    int fd = ::open((site_ + "/index.html").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) break;
    files.push_back(fd);
  }
  EXPECT_EQ(files.size(), 100u) << "files a run needs are taken";
  for (int fd : files) ::close(fd);
  clients.closeWriteChannel();
  EXPECT_TRUE(clients.waitForFinished(10000));
}

}  // namespace
