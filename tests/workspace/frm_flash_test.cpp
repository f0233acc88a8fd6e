#include <chrono>
#include <cstring>
#include <filesystem>
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

#include "platform/paths.h"
#include "support/one_pixel_gif.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "wizard/wizard_pane.h"
#include "workspace/form1.h"
#include "workspace/frm_flash.h"

using testing_support::kGif;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestHttpServer;
using testing_support::UnreachableAddress;
using testing_support::WriteFile;

namespace {

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
  // Every path gets the picture, so only the recorded paths tell which was asked for.
  TestHttpServer server({}, TestHttpServer::Answer{TestHttpServer::Response(kGif, "image/gif")});
  talvora::SetMakerServer(server.Url(""));

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
  talvora::SetMakerServer(UnreachableAddress());

  DriveSplash();

  EXPECT_EQ(ticks_, 51);
  ASSERT_NE(talvora::Form1::Loaded(), nullptr);
  EXPECT_TRUE(talvora::Form1::Loaded()->isVisible());
  EXPECT_EQ(ReadFile(program_ / "mainResource.gif"), kGif);
}

TEST_F(StartFixture, TheRealTimersLoadTheWindowBeforeShowingIt) {
  talvora::SetMakerServer(UnreachableAddress());
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
