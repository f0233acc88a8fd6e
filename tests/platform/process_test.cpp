#include "platform/process.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

TEST(Process, ProgramThatCannotStartIsReported) {
  for (const char* program : {"talvora-no-such-program", "/nonexistent/program", ""}) {
    SCOPED_TRACE(program);
    platform::ProcessResult r = platform::SpawnAndWait(program, {"x"});
    EXPECT_FALSE(r.started);
    // The reason depends on the search path (a folder we may not enter
    // gives "Permission denied"); the text names the program and a reason.
    EXPECT_EQ(r.error.rfind(std::string(program) + ": ", 0), 0u) << r.error;
    EXPECT_GT(r.error.size(), std::string(program).size() + 2) << r.error;
    EXPECT_FALSE(platform::SpawnDetached(program, {}));
  }
}

TEST(Process, ExitCodeOfAFinishedProgram) {
  const struct {
    std::string program;
    std::vector<std::string> args;
    int exitCode;
  } cases[] = {
      {"/bin/true", {}, 0},
      {"true", {}, 0},  // found on PATH
      {"/bin/false", {}, 1},
      {"/bin/sh", {"-c", "exit 7"}, 7},
      {"/bin/sh", {"-c", "kill -9 $$"}, -1},  // did not end normally
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program + (c.args.empty() ? "" : " " + c.args.back()));
    platform::ProcessResult r = platform::SpawnAndWait(c.program, c.args);
    EXPECT_TRUE(r.started) << r.error;
    EXPECT_EQ(r.exitCode, c.exitCode);
  }
}

TEST(Process, ArgumentsArriveUnchanged) {
  // No shell stands between us and the program: every argument, blanks and
  // shell syntax included, arrives as one argument, untouched.
  TempDir dir;
  std::string out = dir / "args.txt";
  const std::vector<std::string> args = {"a b; rm -rf x", "$HOME", "*", "\"q\" 'r'", "", "中文 `id`"};
  std::vector<std::string> argv = {"-c", "for a; do printf '[%s]' \"$a\"; done > \"$0\"", out};
  argv.insert(argv.end(), args.begin(), args.end());
  platform::ProcessResult r = platform::SpawnAndWait("/bin/sh", argv);
  ASSERT_TRUE(r.started) << r.error;
  EXPECT_EQ(r.exitCode, 0);
  std::string expected;
  for (const std::string& a : args) expected += "[" + a + "]";
  EXPECT_EQ(ReadFile(out), expected);
}

// Children of this process that have ended but were never collected.
int Zombies() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long ppid = 0;
    if (sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == getpid() &&
        state == 'Z')
      ++count;
  }
  return count;
}

TEST(Process, DetachedProgramRunsAndIsReaped) {
  TempDir dir;
  std::string out = dir / "done";
  ASSERT_TRUE(platform::SpawnDetached("/bin/sh", {"-c", "echo ok > \"$0\"", out}));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!std::filesystem::exists(out) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(std::filesystem::exists(out));
  // The file is written just before the shell ends, so the child may turn
  // into a zombie only after a first look: no zombie must be seen for a
  // while before the deadline.
  int quiet = 0;
  while (quiet < 20 && std::chrono::steady_clock::now() < deadline) {
    quiet = Zombies() == 0 ? quiet + 1 : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_EQ(quiet, 20) << "a detached child was left a zombie";
}

TEST(Process, OpenWithDesktopUsesTheOpenerAndStaysSilent) {
  std::vector<std::string> opened;
  platform::SetDesktopOpener([&](const std::string& t) { opened.push_back(t); });
  platform::OpenWithDesktop("/a b/index.html");
  EXPECT_EQ(opened, (std::vector<std::string>{"/a b/index.html"}));

  platform::SetDesktopOpener([](const std::string&) { throw std::runtime_error("no desktop"); });
  EXPECT_NO_THROW(platform::OpenWithDesktop("x"));
  platform::SetDesktopOpener(nullptr);
}

}  // namespace
