#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <system_error>
#include <thread>
#include <utility>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

// posix_spawn attributes for a clean child: no blocked signals and the
// default handlers, whatever the parent (Qt) has set up; optionally in a
// session of its own, so a detached program outlives us undisturbed.
class SpawnAttributes {
 public:
  explicit SpawnAttributes(bool ownSession) {
    posix_spawnattr_init(&attr_);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
      sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
    if (ownSession) flags |= POSIX_SPAWN_SETSID;
#endif
    posix_spawnattr_setflags(&attr_, flags);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

// Starts the program with the arguments exactly as given (argv[0] is the
// program). A program without "/" is looked up on PATH. Returns 0 or the
// error number.
int Spawn(const std::string& program, const std::vector<std::string>& args, bool ownSession,
          pid_t& pid, const posix_spawn_file_actions_t* actions = nullptr) {
  if (program.empty()) return ENOENT;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  SpawnAttributes attr(ownSession);
  return posix_spawnp(&pid, program.c_str(), actions, attr.get(), argv.data(), environ);
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::function<void(const std::string&)>& DesktopOpener() {
  static std::function<void(const std::string&)> opener;
  return opener;
}

}  // namespace

ProcessResult SpawnAndWait(const std::string& program, const std::vector<std::string>& args,
                           bool captureErrors) {
  ProcessResult result;
  pid_t pid = 0;
  // The child's standard error goes to a nameless file, read once it has
  // ended: a pipe could fill up while we wait.
  std::FILE* errors = captureErrors ? std::tmpfile() : nullptr;
  posix_spawn_file_actions_t actions;
  if (errors) {
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(errors), 2);
  }
  int err = Spawn(program, args, false, pid, errors ? &actions : nullptr);
  if (errors) posix_spawn_file_actions_destroy(&actions);
  if (err != 0) {
    if (errors) std::fclose(errors);
    result.error = program + ": " + std::error_code(err, std::generic_category()).message();
    return result;
  }
  result.started = true;
  result.exitCode = WaitFor(pid);
  if (errors) {
    std::rewind(errors);
    char buffer[4096];
    for (std::size_t n; result.errorOutput.size() < (1u << 16) &&
                        (n = std::fread(buffer, 1, sizeof buffer, errors)) > 0;)
      result.errorOutput.append(buffer, n);
    std::fclose(errors);
  }
  return result;
}

bool SpawnDetached(const std::string& program, const std::vector<std::string>& args) {
  pid_t pid = 0;
  if (Spawn(program, args, true, pid) != 0) return false;
  // Someone has to collect the child's exit status, or it stays a zombie
  // until we exit; a waiting thread does it without touching SIGCHLD,
  // which Qt's own process handling relies on.
  std::thread([pid] { WaitFor(pid); }).detach();
  return true;
}

bool TryOpenWithDesktop(const std::string& target) {
  try {
    if (DesktopOpener()) {
      DesktopOpener()(target);
      return true;
    }
    return SpawnDetached("xdg-open", {target});
  } catch (...) {
    return false;
  }
}

void OpenWithDesktop(const std::string& target) {
  // Opening is a courtesy: a failure is not reported.
  TryOpenWithDesktop(target);
}

void SetDesktopOpener(std::function<void(const std::string&)> opener) {
  DesktopOpener() = std::move(opener);
}

}  // namespace platform
