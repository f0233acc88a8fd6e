// A fresh folder for one test, removed with everything in it afterwards.
#pragma once
#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Small file helpers for fixtures (UTF-8 names, raw bytes).
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
void MakeDirs(const std::string& path);
// Anything at path, a dangling link included.
bool Exists(const std::string& path);

// The source tree's folder, for fixtures under examples/ and resources/.
std::string SourceDir();

}  // namespace testing_support
