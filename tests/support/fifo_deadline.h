// Keeps a test that meets FIFOs from hanging for good. Once the deadline
// has passed, and until it is destroyed, it opens and closes each FIFO at
// the paths given, again and again: an open waiting there for the other end
// is released, a read gets the end of its data, and the test can see that
// the deadline had to act.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testing_support {

class FifoDeadline {
 public:
  explicit FifoDeadline(std::vector<std::string> paths,
                        std::chrono::milliseconds deadline = std::chrono::milliseconds(5000))
      : paths_(std::move(paths)) {
    // A write released into a FIFO whose reader has gone must fail, not
    // end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    watcher_ = std::thread([this, deadline] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (done_.wait_for(lock, deadline, [this] { return stop_; })) return;
      passed_ = true;
      while (!stop_) {
        for (const std::string& path : paths_) {
          struct stat st;
          if (::lstat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) continue;
          int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
          if (fd >= 0) ::close(fd);
        }
        done_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stop_; });
      }
    });
  }
  ~FifoDeadline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    done_.notify_all();
    watcher_.join();
  }
  FifoDeadline(const FifoDeadline&) = delete;
  FifoDeadline& operator=(const FifoDeadline&) = delete;

  // True once the deadline has passed with the test still running.
  bool Passed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return passed_;
  }

 private:
  const std::vector<std::string> paths_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool stop_ = false;
  bool passed_ = false;
  std::thread watcher_;
};

// Makes a FIFO at the path; false when it cannot be made.
inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }

}  // namespace testing_support
