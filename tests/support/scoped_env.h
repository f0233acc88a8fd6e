// An environment variable set for one test and put back afterwards (unset
// again if it was not set before); the working folder likewise.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    const char* old = std::getenv(name_.c_str());
    had_ = old != nullptr;
    if (had_) saved_ = old;
    setenv(name_.c_str(), value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_.c_str(), saved_.c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string saved_;
};

class ScopedWorkingFolder {
 public:
  explicit ScopedWorkingFolder(const std::string& folder) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(std::filesystem::u8path(folder));
  }
  ~ScopedWorkingFolder() {
    std::error_code ec;
    std::filesystem::current_path(saved_, ec);
  }
  ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
  ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;

 private:
  std::filesystem::path saved_;
};

}  // namespace testing_support
