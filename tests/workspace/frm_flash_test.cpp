#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/paths.h"
#include "support/temp_dir.h"
#include "wizard/wizard_pane.h"
#include "workspace/form1.h"
#include "workspace/frm_flash.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// A 1 x 1 GIF picture.
const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00,"
    "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
    43);

// A one-request-at-a-time HTTP server on 127.0.0.1 that answers every GET
// with the same body and remembers the paths asked for. It serves at most a
// handful of requests and stops with the test.
class LocalServer {
 public:
  explicit LocalServer(std::string body) : body_(std::move(body)) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listen(fd_, 4);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalServer() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> Paths() {
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_;
  }

 private:
  void Serve() {
    for (int served = 0; served < 8 && !stop_; ++served) {
      int client = accept(fd_, nullptr, nullptr);
      if (client < 0) return;
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      std::size_t start = request.find(' ') + 1;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        paths_.push_back(request.substr(start, request.find(' ', start) - start));
      }
      std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nContent-Length: " +
                          std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
      send(client, reply.data(), reply.size(), 0);
      close(client);
    }
  }

  std::string body_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> paths_;
  std::thread thread_;
};

// An address on this machine where nothing listens.
std::string DeadAddress() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
}

// One start of the program in a program folder of its own, with the maker's
// server pointed elsewhere; everything it loaded is gone afterwards.
class StartFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    qApp->setQuitOnLastWindowClosed(false);
    saved_folder_ = platform::ProgramFolder();
    saved_server_ = talvora::MakerServer();
    platform::SetProgramFolder(program_.path());
  }
  void TearDown() override {
    talvora::FrmFlash::Unload();
    delete talvora::Form1::Loaded();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::SetProgramFolder(saved_folder_);
    talvora::SetMakerServer(saved_server_);
  }

  // Starts and drives the splash by hand: Timer2's ticks one after the
  // other, Timer1's single tick after the tenth. Returns each caption change.
  std::vector<std::string> DriveSplash() {
    talvora::Main();
    talvora::FrmFlash* splash = talvora::FrmFlash::Loaded();
    EXPECT_NE(splash, nullptr);
    splash->Timer1->stop();
    splash->Timer2->stop();
    std::vector<std::string> captions{splash->Label1->text().toStdString()};
    auto note = [&](talvora::FrmFlash* s) {
      std::string caption = s->Label1->text().toStdString();
      if (caption != captions.back()) captions.push_back(caption);
    };
    for (int tick = 1; tick <= 60 && talvora::FrmFlash::Loaded(); ++tick) {
      talvora::FrmFlash* s = talvora::FrmFlash::Loaded();
      if (tick == 11) {
        s->Timer1_Timer();
        note(s);
        EXPECT_FALSE(s->Timer1->isActive());
        EXPECT_NE(talvora::Form1::Loaded(), nullptr) << "the main window is loaded";
        EXPECT_FALSE(talvora::Form1::Loaded()->isVisible()) << "but shown only at 100";
      }
      int before = s->ProgressBar1->value();
      s->Timer2_Timer();
      ticks_ = tick;
      if (!talvora::FrmFlash::Loaded()) break;
      note(s);
      if (before == 50) interval_after_50_ = s->Timer2->interval();
      if (before < 50) {
        EXPECT_EQ(s->Timer2->interval(), 100);
      }
    }
    return captions;
  }

  TempDir program_;
  std::string saved_folder_;
  std::string saved_server_;
  int ticks_ = 0;
  int interval_after_50_ = 0;
};

TEST_F(StartFixture, CaptionsInOrderThenTheMainWindowAtOneHundred) {
  LocalServer server(kGif);
  talvora::SetMakerServer(server.Address());

  std::vector<std::string> captions = DriveSplash();

  EXPECT_EQ(captions, (std::vector<std::string>{"loading Compent ...", "loading Tree ...",
                                                "loading Menu ...", "loading Subject ...",
                                                "loaing Form ..."}));
  // 50 steps of 2 reach 100; the 51st tick ends the splash.
  EXPECT_EQ(ticks_, 51);
  EXPECT_EQ(interval_after_50_, 10);
  EXPECT_EQ(talvora::FrmFlash::Loaded(), nullptr);
  ASSERT_NE(talvora::Form1::Loaded(), nullptr);
  EXPECT_TRUE(talvora::Form1::Loaded()->isVisible());

  // The brand picture was fetched once, from its fixed path, into the
  // program folder, and the first display of the main window shows it.
  EXPECT_EQ(server.Paths(),
            std::vector<std::string>{"/info/data/resource/larchmere/mainResource.gif"});
  EXPECT_EQ(ReadFile(program_ / "mainResource.gif"), kGif);
  QCoreApplication::processEvents();
  EXPECT_FALSE(talvora::Form1::Loaded()->larchmerePic->pixmap().isNull());
}

TEST_F(StartFixture, AnUnreachableServerDoesNotStopTheStart) {
  // The picture of an earlier start stays when the fetch fails.
  WriteFile(program_ / "mainResource.gif", kGif);
  talvora::SetMakerServer(DeadAddress());

  DriveSplash();

  EXPECT_EQ(ticks_, 51);
  ASSERT_NE(talvora::Form1::Loaded(), nullptr);
  EXPECT_TRUE(talvora::Form1::Loaded()->isVisible());
  EXPECT_EQ(ReadFile(program_ / "mainResource.gif"), kGif);
}

TEST_F(StartFixture, TheRealTimersLoadTheWindowBeforeShowingIt) {
  talvora::SetMakerServer(DeadAddress());
  talvora::Main();
  talvora::FrmFlash* splash = talvora::FrmFlash::Loaded();
  ASSERT_NE(splash, nullptr);
  EXPECT_EQ(splash->cursor().shape(), Qt::WaitCursor);
  // The same start, faster: the first timer still comes long before the end.
  splash->Timer1->setInterval(50);
  splash->Timer2->setInterval(5);
  bool loadedBeforeShown = false;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 20000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    talvora::Form1* form = talvora::Form1::Loaded();
    if (form && !form->isVisible() && talvora::FrmFlash::Loaded()) loadedBeforeShown = true;
    if (form && form->isVisible()) break;
  }
  ASSERT_NE(talvora::Form1::Loaded(), nullptr);
  EXPECT_TRUE(talvora::Form1::Loaded()->isVisible());
  EXPECT_TRUE(loadedBeforeShown);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(talvora::FrmFlash::Loaded(), nullptr);
}

}  // namespace
