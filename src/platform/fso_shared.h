// The small pieces every file of the file layer shares: its errors, path
// helpers, descriptors and raw folder listings. Not for use outside the
// layer.
#pragma once
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/fso.h"
#include "platform/paths.h"

namespace platform {
namespace fso {
namespace detail {

inline std::string Reason(int err) { return std::error_code(err, std::generic_category()).message(); }

[[noreturn]] inline void Fail(const std::string& what, const std::string& path, const std::string& why) {
  throw FsoError(what + " \"" + path + "\": " + why);
}
[[noreturn]] inline void Fail(const std::string& what, const std::string& path, int err) {
  Fail(what, path, Reason(err));
}
[[noreturn]] inline void Fail(const std::string& what, const std::string& source,
                       const std::string& target, const std::string& why) {
  throw FsoError(what + " \"" + source + "\" to \"" + target + "\": " + why);
}

inline bool EndsWithSep(const std::string& p) { return !p.empty() && p.back() == kSep; }

// The path without trailing separators; the root keeps its own.
inline std::string StripTrailing(const std::string& p) {
  std::string s = p;
  while (s.size() > 1 && s.back() == kSep) s.pop_back();
  return s;
}

inline std::string BaseName(const std::string& p) {
  std::string s = StripTrailing(p);
  std::size_t slash = s.rfind(kSep);
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

inline std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return EndsWithSep(folder) ? folder + name : folder + kSep + name;
}

inline bool Stat(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }
inline bool LStat(const std::string& path, struct stat& st) { return ::lstat(path.c_str(), &st) == 0; }
// The reason a Stat or LStat of path just failed.
inline int StatError(const std::string& path) { return path.empty() ? ENOENT : errno; }

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Gives the descriptor up to the caller.
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports the result (a late write error shows up here).
  int Close() {
    int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

inline thread_local ListingObserver listingObserver;

using Folder = std::unique_ptr<DIR, DirCloser>;
using Entries = std::vector<std::pair<std::string, unsigned char>>;

inline Folder OpenFolder(const std::string& folder) {
  Folder dir(opendir(folder.c_str()));
  if (!dir) Fail("cannot list folder", folder, errno);
  return dir;
}

// The entries of an open folder: every one but "." and "..", with the
// entry's type when the directory itself tells it (DT_UNKNOWN otherwise).
inline Entries ReadEntries(DIR* dir, const std::string& folder) {
  if (listingObserver) listingObserver(folder);
  Entries entries;
  for (;;) {
    errno = 0;
    dirent* e = readdir(dir);
    if (!e) {
      if (errno != 0) Fail("cannot list folder", folder, errno);
      break;
    }
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    entries.emplace_back(e->d_name, e->d_type);
  }
  return entries;
}

// The raw listing of a folder.
inline Entries ListEntries(const std::string& folder) { return ReadEntries(OpenFolder(folder).get(), folder); }

inline bool NameLess(const std::string& a, const std::string& b) {
  // Byte-wise: compare as unsigned bytes, so UTF-8 sorts by code point.
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
}

inline std::pair<std::uint64_t, std::uint64_t> IdOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// The folder and the name of a path, when the path names an entry of a
// folder plainly (no trailing separator, no "." or "..").
inline bool SplitEntry(const std::string& path, std::string& folder, std::string& name) {
  std::size_t slash = path.rfind(kSep);
  if (slash == std::string::npos || slash + 1 == path.size()) return false;
  name.assign(path, slash + 1, std::string::npos);
  if (name == "." || name == "..") return false;
  std::size_t end = slash == 0 ? 1 : slash;
  while (end > 1 && path[end - 1] == kSep) --end;  // no trailing separators
  folder.assign(path, 0, end);
  return true;
}

[[noreturn]] inline void FolderChanged(const std::string& folder) {
  throw SiteChangedError("文件夹 \"" + folder +
                         "\" 在生成过程中被移走或换成了链接、另一个文件夹，生成已停止；"
                         "没有经由它写入或删除任何文件。");
}

[[noreturn]] inline void FileChanged(const std::string& file) {
  throw SiteChangedError("文件 \"" + file +
                         "\" 在生成过程中被换成了链接，生成已停止；没有读取链接指向的内容。");
}

// The sorted names of an open folder's entries.
inline std::vector<std::string> NamesAt(int folderFd, const std::string& folder) {
  Fd fd(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) Fail("cannot list folder", folder, errno);
  Folder dir(fdopendir(fd.get()));
  if (!dir) Fail("cannot list folder", folder, errno);
  fd.Release();
  std::vector<std::string> names;
  for (auto& entry : ReadEntries(dir.get(), folder)) names.push_back(std::move(entry.first));
  SortNames(names);
  return names;
}

}  // namespace detail
}  // namespace fso
}  // namespace platform
