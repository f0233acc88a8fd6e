// Starting programs without a shell: a program and its argument list, so no
// folder name can become a command.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct ProcessResult {
  bool started = false;   // false: the program could not be started
  int exitCode = -1;      // the program's exit status when it ended normally
  std::string error;      // why it could not be started (readable)
  std::string errorOutput;  // what it wrote to its standard error, when that was asked for
};

// Starts the program and waits for it to end, without a time limit. With
// `captureErrors` its standard error is collected in `errorOutput` instead
// of going to ours.
ProcessResult SpawnAndWait(const std::string& program, const std::vector<std::string>& args,
                           bool captureErrors = false);
// Starts the program and does not wait; the child is reaped when it ends.
bool SpawnDetached(const std::string& program, const std::vector<std::string>& args);

// Opens a folder, file or web address with the desktop's default program
// (xdg-open), not waited for, errors silent. Tests replace the opener.
void OpenWithDesktop(const std::string& target);
// The same, telling whether the opener could be started at all (a test's
// opener always can); what the opener then does is not waited for.
bool TryOpenWithDesktop(const std::string& target);
void SetDesktopOpener(std::function<void(const std::string&)> opener);

}  // namespace platform
