// Starting programs, the archiver's argument lists, the desktop opener and
// the status line.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <ctime>
#include <regex>

#include <gtest/gtest.h>

#include "generator/ui_sink.h"
#include "generator/uitl.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace talvora {
namespace {

using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// A program folder whose WinRAR/WinRAR writes its arguments, one a line,
// into args.txt beside itself and exits with status 3.
class FakeArchiver : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::ProgramFolder();
    std::string program = program_ / "WinRAR/WinRAR";
    WriteFile(program,
              "#!/bin/sh\n"
              "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/args.txt\"\n"
              "exit 3\n");
    chmod(program.c_str(), 0755);
    platform::SetProgramFolder(program_.path());
  }
  void TearDown() override { platform::SetProgramFolder(saved_); }
  std::string Args() const { return ReadFile(program_ / "WinRAR/args.txt"); }

  TempDir program_;
  std::string saved_;
};

TEST_F(FakeArchiver, PackAndUnpackPassTheirArgumentsUnquotedAndUnsplit) {
  platform::ScriptedDialogs dialogs;
  struct Case {
    std::function<platform::ProcessResult()> run;
    std::string args;
  } cases[] = {
      {[] { return RarPack("/home/t/my site", "/home/t/my site 01.rar"); },
       "a\n-m0\n-ep1\n-r\n/home/t/my site 01.rar\n/home/t/my site/*.*\n"},
      // A root folder gives two separators before the pattern, as it comes.
      {[] { return RarPack("/", "/out.rar"); }, "a\n-m0\n-ep1\n-r\n/out.rar\n//*.*\n"},
      {[] { return RarUnpack("/tmp/pack 1.rar", "/home/t/new site"); },
       "X\n-o+\n/tmp/pack 1.rar\n*.*\n/home/t/new site\n"},
  };
  for (const Case& c : cases) {
    platform::ProcessResult result = c.run();
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);  // handed back for the callers that want it
    EXPECT_EQ(Args(), c.args);
  }
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FakeArchiver, PackLetsMessagesThroughBeforeAndAfterTheWait) {
  struct Sink : UiSink {
    std::vector<bool> argsWritten;
    std::string file;
    void PumpMessages() override { argsWritten.push_back(std::ifstream(file).good()); }
  } sink;
  sink.file = program_ / "WinRAR/args.txt";
  SetUiSink(&sink);
  RarPack("/a", "/a.rar");
  SetUiSink(nullptr);
  EXPECT_EQ(sink.argsWritten, (std::vector<bool>{false, true}));
}

TEST_F(FakeArchiver, CommandLineTextsKeepTheDesignedForm) {
  const std::string archiver = program_.path() + "/WinRAR/WinRAR";
  EXPECT_EQ(RarPackCommandLine("/home/t/my site", "/home/t/a b.rar"),
            archiver + " a -m0 -ep1 -r \"/home/t/a b.rar\" \"/home/t/my site/*.*\"");
  EXPECT_EQ(RarUnpackCommandLine("/tmp/p.rar", "/home/t/new site"),
            archiver + " X -o+ \"/tmp/p.rar\" *.* \"/home/t/new site\"");
}

TEST(Programs, AMissingArchiverEndsInTheErrorBox) {
  TempDir empty;
  std::string saved = platform::ProgramFolder();
  platform::SetProgramFolder(empty.path());
  platform::ScriptedDialogs dialogs;
  platform::ProcessResult result = RarUnpack("/tmp/p.rar", "/tmp/x");
  platform::SetProgramFolder(saved);

  EXPECT_FALSE(result.started);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "msgbox");
  EXPECT_EQ(dialogs.shown[0].title, "存在错误");
  EXPECT_EQ(dialogs.shown[0].style, platform::vbInformation | platform::vbOKOnly);
  EXPECT_FALSE(dialogs.shown[0].prompt.empty());
}

TEST(Programs, ShellAndWaitWaitsForTheProgramAndShowsNothingOnSuccess) {
  TempDir dir;
  platform::ScriptedDialogs dialogs;
  platform::ProcessResult result =
      ShellAndWait("/bin/sh", {"-c", "sleep 0.2; echo done > \"$0\"", dir / "out.txt"});
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "out.txt"), "done\n");  // finished before the return
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST(Programs, OpenInExplorerHandsTheTargetOnAsItIsAndStaysSilent) {
  std::vector<std::string> opened;
  platform::SetDesktopOpener([&](const std::string& target) { opened.push_back(target); });
  OpenInExplorer("/home/t/my site/index.html");
  OpenInExplorer("http://example.org/a b");
  platform::SetDesktopOpener([](const std::string&) { throw std::runtime_error("no opener"); });
  EXPECT_NO_THROW(OpenInExplorer("/x"));
  platform::SetDesktopOpener(nullptr);
  EXPECT_EQ(opened, (std::vector<std::string>{"/home/t/my site/index.html", "http://example.org/a b"}));
}

class StatusTime : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (hadTz_) savedTz_ = tz;
    setenv("TZ", "Asia/Shanghai", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", savedTz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  bool hadTz_ = false;
  std::string savedTz_;
};

TEST_F(StatusTime, StatusTextIsTheLocalDateAndTimeInBracketsThenTwoBlanks) {
  // 2026-12-10 02:41:05 UTC is 10:41:05 in Beijing.
  const std::time_t when = 1796870465;
  EXPECT_EQ(StatusText("主题资源处理完成", when), "[ 2026/12/10 10:41:05 ]  主题资源处理完成");
  EXPECT_EQ(StatusText("", when), "[ 2026/12/10 10:41:05 ]  ");
}

TEST(Status, ShowStatusReplacesTheWholeLineThroughTheSink) {
  struct Sink : UiSink {
    std::vector<std::string> texts;
    void StatusChanged(const std::string& text) override { texts.push_back(text); }
  } sink;
  EXPECT_NO_THROW(ShowStatus("nobody listens"));
  SetUiSink(&sink);
  ShowStatus("正在统计目录信息 ......");
  SetUiSink(nullptr);
  ASSERT_EQ(sink.texts.size(), 1u);
  EXPECT_TRUE(std::regex_match(
      sink.texts[0],
      std::regex(R"(\[ \d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2} \]  正在统计目录信息 \.\.\.\.\.\.)")))
      << sink.texts[0];
}

}  // namespace
}  // namespace talvora
