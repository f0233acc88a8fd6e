// A program run to its end for a test, without a shell, while the event loop
// runs: a server of this process may be the one the program talks to.
#pragma once
#include <string>
#include <vector>

#include <QProcess>
#include <QStringList>

#include "support/event_wait.h"

namespace testing_support {

struct ProgramOutput {
  bool finished = false;  // false: not started, or killed at the deadline
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline ProgramOutput RunProgram(const std::string& program, const std::vector<std::string>& args,
                                int timeoutMs) {
  QProcess process;
  QStringList list;
  for (const std::string& a : args) list << QString::fromStdString(a);
  process.start(QString::fromStdString(program), list);
  ProgramOutput result;
  if (!process.waitForStarted(10000)) return result;
  result.finished = WaitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
  if (!result.finished) {
    process.kill();
    process.waitForFinished(5000);
  }
  result.exitCode = process.exitCode();
  result.out = process.readAllStandardOutput().toStdString();
  result.err = process.readAllStandardError().toStdString();
  return result;
}

}  // namespace testing_support
