// Unpacking: every entry of an archive into a destination folder, refusing
// entries that would land outside that folder. Archives of stored entries
// (RAR 4, which is what our packer writes, and RAR 5) are read here
// directly, so the names come back byte for byte as they were packed and
// blocks libarchive does not know are stepped over; anything else
// (compressed entries, links in RAR 5) is read through libarchive, with the
// sizes and CRCs read from the archive's own headers where libarchive does
// not check them, and every entry those headers list accounted for.
// The writing is ours either way: a file goes to a temporary file beside
// its place and is renamed over it only once it is complete and its CRC
// checked, so a file it replaces is either its old self or its whole new
// content. The messages are in Chinese, for the user who reads them in the
// import's or the packer's message box.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/temp_names.h"
#include "winrar/commands.h"
#include "winrar/rar4.h"
#include "winrar/rar5.h"

namespace fs = std::filesystem;

namespace winrar {
namespace {

std::string Errno() { return std::strerror(errno); }

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The place a relative path names: its components without empty ones and
// ".", so that two spellings of one place compare equal.
std::string Place(const std::string& path) {
  std::string place;
  for (const std::string& part : Components(path)) {
    if (part.empty() || part == ".") continue;
    place += (place.empty() ? "" : "/") + part;
  }
  return place;
}

// Why a path inside the destination is unsafe by its spelling, or "" when
// it is not: it must be relative and must not climb with "..". That it
// does not pass through a symbolic link already in the destination (which
// could lead anywhere) is seen on the way down to it (FolderChain).
std::string UnsafePath(const std::string& path) {
  if (Place(path).empty()) return "它没有名称";
  if (path[0] == '/') return "它的路径是绝对路径";
  for (const std::string& part : Components(path))
    if (part == "..") return "它的路径会跳出目标文件夹";
  return "";
}

// The first `count` components of a place, joined again.
std::string Prefix(const std::vector<std::string>& parts, std::size_t count) {
  std::string prefix;
  for (std::size_t i = 0; i < count; ++i) prefix += (i ? "/" : "") + parts[i];
  return prefix;
}

// Where the way down to a folder ended.
struct Descent {
  int fd = -1;        // the folder, held by the chain until its next walk
  std::string at;     // else the place the walk stopped at
  bool link = false;  // a symbolic link is there
  int error = 0;      // else why it could not go on
};

// The folders down to the entry being written, each opened from its parent's
// descriptor without following a link, the first from the destination's.
// No path is looked up whole, so what is checked is what is written in, and
// an entry costs what its own name holds: entries mostly come in the order
// of their paths, so the folders the one before went down through are
// mostly where the next one goes, and only the rest is opened. The deepest
// kHeld folders stay open; one nearer the top that was let go makes the walk
// start again from the destination.
class FolderChain {
 public:
  explicit FolderChain(int root) : root_(root) {}
  ~FolderChain() { Keep(0); }
  FolderChain(const FolderChain&) = delete;
  FolderChain& operator=(const FolderChain&) = delete;

  // Down to the folder of the first `count` parts, making those missing
  // when `make`.
  Descent Down(const std::vector<std::string>& parts, std::size_t count, bool make);

 private:
  static constexpr std::size_t kHeld = 64;
  // Lets go of every folder from the `size`th down.
  void Keep(std::size_t size) {
    for (; names_.size() > size; names_.pop_back(), fds_.pop_back())
      if (fds_.back() >= 0) close(fds_.back());
    firstHeld_ = std::min(firstHeld_, names_.size());
  }

  int root_;
  std::vector<std::string> names_;
  std::vector<int> fds_;      // -1 for the folders let go: those above firstHeld_
  std::size_t firstHeld_ = 0;
};

Descent FolderChain::Down(const std::vector<std::string>& parts, std::size_t count, bool make) {
  std::size_t same = 0;
  while (same < count && same < names_.size() && names_[same] == parts[same]) ++same;
  Keep(same);
  if (same > 0 && fds_[same - 1] < 0) Keep(0);
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  // A folder is never made deeper than a path from the destination can
  // name, so that whatever reads the tree by its paths reaches all of it.
  std::size_t length = 0;  // of the path to the folder the walk is in, with a "/" after it
  for (std::size_t i = 0; i < names_.size(); ++i) length += parts[i].size() + 1;
  for (std::size_t i = names_.size(); i < count; length += parts[i++].size() + 1) {
    const int parent = i == 0 ? root_ : fds_[i - 1];
    const char* name = parts[i].c_str();
    if (length + parts[i].size() >= PATH_MAX) {
      Descent stopped;
      stopped.at = Prefix(parts, i + 1);
      stopped.error = ENAMETOOLONG;
      return stopped;
    }
    int fd = openat(parent, name, kFlags);
    if (fd < 0 && errno == ENOENT && make && (mkdirat(parent, name, 0777) == 0 || errno == EEXIST))
      fd = openat(parent, name, kFlags);
    if (fd < 0) {
      Descent stopped;
      stopped.at = Prefix(parts, i + 1);
      stopped.error = errno;
      struct stat st {};
      if (fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        stopped.link = S_ISLNK(st.st_mode);
        if (!S_ISDIR(st.st_mode)) stopped.error = ENOTDIR;
      }
      return stopped;
    }
    names_.push_back(parts[i]);
    fds_.push_back(fd);
    if (fds_.size() - firstHeld_ > kHeld) {
      close(fds_[firstHeld_]);
      fds_[firstHeld_++] = -1;
    }
  }
  Descent reached;
  reached.fd = count == 0 ? root_ : fds_[count - 1];
  return reached;
}

// Makes something under a fresh temporary name of the archiver's with
// `make` (given the name; 0 when made, else -1 with errno, EEXIST when the
// name is taken) and returns the name, or "" with errno set.
std::string MakeTemporary(const std::function<int(const char*)>& make) {
  static std::mt19937_64 random{std::random_device{}()};
  static const char kCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::string pattern = platform::kArchiverTempPattern;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = pattern;
    for (std::size_t i = name.find_last_not_of('X') + 1; i < name.size(); ++i)
      name[i] = kCharacters[random() % (sizeof kCharacters - 1)];
    if (make(name.c_str()) == 0) return name;
    if (errno != EEXIST) break;
  }
  return "";
}

// A link made by the archive must not point outside the destination, or
// whatever later writes through it (the generator, the user) would land
// there. A target without ".." that is not absolute stays below the link.
std::string UnsafeLinkTarget(const std::string& target) {
  if (target.empty()) return "它的链接没有目标";
  if (target[0] == '/') return "它链接到绝对路径";
  for (const std::string& part : Components(target))
    if (part == "..") return "它的链接会跳出目标文件夹";
  return "";
}

// The worst status so far wins: a damaged archive over a refused entry
// over a warning.
void Raise(int& status, int code) {
  auto rank = [](int c) {
    switch (c) {
      case kFatal: return 4;
      case kCrcError: return 3;
      case kCreateError: return 2;
      case kWarning: return 1;
      default: return 0;
    }
  };
  if (rank(code) > rank(status)) status = code;
}

// The archive's name of an entry with "/" between components and no
// trailing "/".
std::string SlashName(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  while (!name.empty() && name.back() == '/') name.pop_back();
  return name;
}

mode_t Umask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Why a part of a file split over volumes is not written: the rest of it
// is in volumes not given.
constexpr const char* kSplitRefusal = "它被分在几个分卷中，不支持分卷压缩包";

// One entry to write, whoever read it.
struct Item {
  enum Kind { kFile, kFolder, kLink, kHardLink } kind = kFile;
  std::string name;                  // "/" between components
  mode_t mode = 0644;                // permission bits
  std::time_t mtime = 0;
  std::optional<std::uint32_t> crc;   // what the data must give
  std::optional<std::uint64_t> size;  // how many bytes of data a file must have
  std::string target;                 // of a hard link; a symbolic link's is its data
  std::string damage;                 // why the entry cannot be trusted, or ""
  int damageCode = kCrcError;         // the status that goes with it
};

// The data of the entry being written, piece by piece, to a sink that
// returns false to stop. The result is "" or why the data could not be
// read, with the status that goes with it.
struct ReadResult {
  std::string why;
  int code = kSuccess;
};
using Sink = std::function<bool(const char*, std::size_t)>;
using DataReader = std::function<ReadResult(const Sink&)>;

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the entries into the destination, whose descriptor it is given.
class Writer {
 public:
  Writer(int& status, int root) : status_(status), mask_(Umask()), root_(root), chain_(root) {}

  // Writes the entry, or says on stderr why not and raises the status.
  // Returns false when the archive's data could not be read.
  bool Put(const Item& item, const DataReader& data);
  // Gives the folders their times, once nothing more is written in them.
  void Finish();

 private:
  void Fail(int code, const char* format, const std::string& name, const std::string& why) {
    std::fprintf(stderr, format, name.c_str(), why.c_str());
    Raise(status_, code);
  }
  // The entry's place is `leaf` in the folder `dir`.
  bool PutFolder(const Item& item, const std::string& place, int dir, const std::string& leaf);
  bool PutFile(const Item& item, const std::string& place, int dir, const std::string& leaf, int from,
               const DataReader& data);
  void PutLink(const Item& item, int dir, const std::string& leaf, const std::string& target);

  int& status_;
  mode_t mask_;
  int root_;
  FolderChain chain_;
  std::map<std::string, std::string> landed_;  // place -> the entry's name
  std::vector<std::pair<std::string, std::time_t>> folders_;
};

bool Writer::Put(const Item& item, const DataReader& data) {
  if (!item.damage.empty()) {
    Fail(item.damageCode, "WinRAR: %s：%s，没有解压它\n", item.name.empty() ? "一个条目" : item.name, item.damage);
    return true;
  }
  std::string why = UnsafePath(item.name);
  if (why.empty() && item.kind == Item::kHardLink) why = UnsafePath(item.target);
  if (!why.empty()) {
    Fail(kCreateError, "WinRAR: 拒绝解压 %s：%s，没有解压它\n", item.name.empty() ? "一个条目" : item.name, why);
    return true;
  }
  const std::string place = Place(item.name);
  const std::vector<std::string> parts = Components(place);
  // The file a hard link copies, opened where the archive put it: on a way
  // down of its own, so the entry's chain stays as it is.
  int from = -1;
  if (item.kind == Item::kHardLink) {
    const std::vector<std::string> targetParts = Components(Place(item.target));
    FolderChain way(root_);
    const Descent down = way.Down(targetParts, targetParts.size() - 1, false);
    if (down.link) {
      Fail(kCreateError, "WinRAR: 拒绝解压 %s：%s，没有解压它\n", item.name, "它的路径经过符号链接 " + down.at);
      return true;
    }
    if (down.fd >= 0)
      from = openat(down.fd, targetParts.back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  }
  const Descent down = chain_.Down(parts, parts.size() - 1, true);
  if (down.fd < 0) {
    if (down.link) {
      Fail(kCreateError, "WinRAR: 拒绝解压 %s：%s，没有解压它\n", item.name, "它的路径经过符号链接 " + down.at);
    } else {
      Fail(kCreateError, "WinRAR: 无法创建文件夹 %s：%s\n", down.at, std::strerror(down.error));
    }
    if (from >= 0) close(from);
    return true;
  }
  const int dir = down.fd;
  const std::string& leaf = parts.back();
  auto [at, fresh] = landed_.emplace(place, item.name);
  if (!fresh && at->second != item.name) {
    // Two names for one place would leave only the later one's content.
    Fail(kCreateError, "WinRAR: 拒绝解压 %s：它与条目 %s 落在同一个路径上，没有解压它\n", item.name, at->second);
    if (from >= 0) close(from);
    return true;
  }
  if (!fresh && item.kind != Item::kFolder)
    std::fprintf(stderr, "WinRAR: %s 在压缩包中出现了两次，后一个替换前一个\n", item.name.c_str());
  // Nor is an entry: the longest path its writing takes is a folder's own,
  // or the temporary name beside a file or a link.
  const std::size_t longest = item.kind == Item::kFolder
                                  ? place.size()
                                  : std::max(place.size(), place.size() - leaf.size() +
                                                               std::strlen(platform::kArchiverTempPattern));
  if (longest >= PATH_MAX) {
    Fail(kCreateError, item.kind == Item::kFolder ? "WinRAR: 无法创建文件夹 %s：%s\n" : "WinRAR: 无法创建 %s：%s\n",
         place, std::strerror(ENAMETOOLONG));
    if (from >= 0) close(from);
    return true;
  }

  switch (item.kind) {
    case Item::kFolder:
      return PutFolder(item, place, dir, leaf);
    case Item::kFile:
    case Item::kHardLink:
      return PutFile(item, place, dir, leaf, from, data);
    case Item::kLink: {
      // The target is the entry's data: read it whole, then check it.
      std::string target;
      std::uint32_t crc = 0;
      ReadResult r = data([&](const char* p, std::size_t n) {
        crc = Crc32(crc, p, n);
        target.append(p, n);
        return target.size() <= 4096;
      });
      if (!r.why.empty()) {
        Fail(r.code, "WinRAR: %s：%s，没有解压它\n", item.name, r.why);
        return false;
      }
      if (item.crc && crc != *item.crc) {
        Fail(kCrcError, "WinRAR: %s 的 CRC 校验错误：%s，没有解压它\n", item.name, "链接已损坏");
        return true;
      }
      // symlink() would stop at a NUL, short of what the checks below see.
      if (target.find('\0') != std::string::npos) {
        Fail(kCrcError, "WinRAR: %s：%s，没有解压它\n", item.name, "它的链接目标中含有 NUL 字符，链接已损坏");
        return true;
      }
      why = target.size() > 4096 ? "它的链接目标太长" : UnsafeLinkTarget(target);
      if (!why.empty()) {
        Fail(kCreateError, "WinRAR: 拒绝解压 %s：%s，没有解压它\n", item.name, why);
        return true;
      }
      PutLink(item, dir, leaf, target);
      return true;
    }
  }
  return true;
}

bool Writer::PutFolder(const Item& item, const std::string& place, int dir, const std::string& leaf) {
  // A file (or link) already there is the user's: a folder entry does not
  // replace it, as a file entry does not replace a folder.
  struct stat st {};
  if (fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode)) {
    Fail(kCreateError, "WinRAR: 拒绝解压文件夹 %s：%s\n", item.name, "那里已有同名的文件，它保持原样");
    return true;
  }
  if (mkdirat(dir, leaf.c_str(), item.mode & ~mask_) != 0 && errno != EEXIST) {
    Fail(kCreateError, "WinRAR: 无法创建文件夹 %s：%s\n", place, Errno());
    return true;
  }
  if (fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
    Fail(kCreateError, "WinRAR: 无法创建文件夹 %s：%s\n", place, "有别的东西挡在那里");
    return true;
  }
  folders_.emplace_back(place, item.mtime);
  return true;
}

// Renames the complete temporary file or link in the folder `dir` over its
// place there, unless a folder is there.
bool Replace(int dir, const std::string& temp, const std::string& leaf, std::string& why) {
  struct stat st {};
  if (fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    why = "那里已有同名的文件夹";
    return false;
  }
  if (renameat(dir, temp.c_str(), dir, leaf.c_str()) != 0) {
    why = Errno();
    return false;
  }
  return true;
}

bool Writer::PutFile(const Item& item, const std::string& place, int dir, const std::string& leaf, int from,
                     const DataReader& data) {
  int fd = -1;
  const std::string temp = MakeTemporary([&](const char* name) {
    fd = openat(dir, name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    return fd < 0 ? -1 : 0;
  });
  if (fd < 0) {
    Fail(kCreateError, "WinRAR: 无法创建 %s：%s\n", place, Errno());
    if (from >= 0) close(from);
    // The data is still to be read past, so the next entry can be.
    data([](const char*, std::size_t) { return false; });
    return true;
  }
  std::string writeError;
  std::uint32_t crc = 0;
  std::uint64_t written = 0;
  ReadResult read;
  if (item.kind == Item::kHardLink) {
    // The file it links to was written before; its copy needs no CRC.
    struct stat st {};
    if (from < 0 || fstat(from, &st) != 0 || !S_ISREG(st.st_mode)) {
      writeError = "它链接的文件不在目标文件夹中";
    } else {
      std::vector<char> buffer(1 << 16);
      for (ssize_t n; (n = ::read(from, buffer.data(), buffer.size())) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || !WriteAll(fd, buffer.data(), static_cast<std::size_t>(n))) {
          writeError = Errno();
          break;
        }
      }
    }
    if (from >= 0) close(from);
  } else {
    read = data([&](const char* p, std::size_t n) {
      crc = Crc32(crc, p, n);
      written += n;
      if (WriteAll(fd, p, n)) return true;
      writeError = Errno();
      return false;
    });
  }
  struct stat old {};
  const bool replacing = fstatat(dir, leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (writeError.empty() && read.why.empty()) {
    struct timespec times[2] = {{item.mtime, 0}, {item.mtime, 0}};
    fchmod(fd, item.mode & ~mask_);
    futimens(fd, times);
    // A file that replaces another must be on the disk before the rename,
    // or a crash could leave neither.
    if (replacing && fsync(fd) != 0) writeError = Errno();
  }
  if (close(fd) != 0 && writeError.empty()) writeError = Errno();

  // What became of the entry's place, said after each failure below.
  const std::string kept = replacing ? "，原有的文件保持原样" : "，没有解压它";
  std::string why;
  if (!read.why.empty()) {
    Fail(read.code, "WinRAR: %s：%s\n", item.name, read.why + kept);
  } else if (!writeError.empty()) {
    Fail(kCreateError, "WinRAR: 无法写入 %s：%s\n", item.name, writeError + kept);
  } else if (item.kind == Item::kFile && item.size && written != *item.size) {
    Fail(kCrcError, "WinRAR: %s：%s\n", item.name, "文件已损坏（数据的大小与文件头中的不符）" + kept);
  } else if (item.crc && crc != *item.crc) {
    Fail(kCrcError, "WinRAR: %s 的 CRC 校验错误：%s\n", item.name, "文件已损坏" + kept);
  } else if (!Replace(dir, temp, leaf, why)) {
    Fail(kCreateError, "WinRAR: 无法创建 %s：%s\n", item.name, why);
  } else {
    return true;
  }
  unlinkat(dir, temp.c_str(), 0);
  return read.why.empty();
}

void Writer::PutLink(const Item& item, int dir, const std::string& leaf, const std::string& target) {
  const std::string temp =
      MakeTemporary([&](const char* name) { return symlinkat(target.c_str(), dir, name); });
  std::string why;
  if (temp.empty()) {
    Fail(kCreateError, "WinRAR: 无法创建 %s：%s\n", item.name, Errno());
  } else if (!Replace(dir, temp, leaf, why)) {
    unlinkat(dir, temp.c_str(), 0);
    Fail(kCreateError, "WinRAR: 无法创建 %s：%s\n", item.name, why);
  }
}

void Writer::Finish() {
  // Deepest first, so setting a folder's time does not touch its parent's.
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) {
    const std::vector<std::string> parts = Components(it->first);
    const Descent down = chain_.Down(parts, parts.size() - 1, false);
    if (down.fd < 0) continue;
    struct timespec times[2] = {{it->second, 0}, {it->second, 0}};
    utimensat(down.fd, parts.back().c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
}

// ---- RAR 4 archives of stored entries, read here ----

// Why the block's name cannot be trusted, or "".
std::string NameDamage(const ArchiveBlock& block) {
  return block.nameDamage.empty() ? "" : "它的名称字段已损坏（" + block.nameDamage + "）";
}

Item FromBlock(const ArchiveBlock& block) {
  constexpr std::uint8_t kUnix = 3;
  Item item;
  item.name = SlashName(block.name);
  item.damage = NameDamage(block);
  item.mtime = FromDosTime(block.dosTime);
  const mode_t type = block.attr & S_IFMT;
  if (block.directory || (block.hostOs == kUnix ? type == S_IFDIR : (block.attr & 0x10) != 0)) {
    item.kind = Item::kFolder;
    item.mode = block.hostOs == kUnix ? (block.attr & 0777) : 0777;
    return item;
  }
  item.crc = block.crc;
  item.size = block.unpackedSize;
  if (block.hostOs == kUnix) {
    item.kind = type == S_IFLNK ? Item::kLink : Item::kFile;
    item.mode = block.attr & 0777;
  } else {
    item.mode = (block.attr & 0x01) ? 0444 : 0666;  // read-only
  }
  return item;
}

// Says what ended the reading of the archive's headers.
void ReportDamage(const std::string& archiveArg, const std::string& damage, int& status) {
  if (damage.empty()) return;
  std::fprintf(stderr, "WinRAR: %s：%s，其后的内容没有解压\n", archiveArg.c_str(), damage.c_str());
  Raise(status, kCrcError);
}

// The data of a stored entry: `size` bytes of the archive at `offset`.
DataReader StoredData(int fd, std::uint64_t offset, std::uint64_t size) {
  return [=](const Sink& sink) {
    std::vector<char> buffer(1 << 20);
    std::uint64_t at = offset, left = size;
    while (left > 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
      ssize_t n = pread(fd, buffer.data(), want, static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return ReadResult{n < 0 ? "无法读取压缩包：" + Errno() : "压缩包不完整", kFatal};
      if (!sink(buffer.data(), static_cast<std::size_t>(n))) break;
      at += static_cast<std::uint64_t>(n);
      left -= static_cast<std::uint64_t>(n);
    }
    return ReadResult{};
  };
}

int ExtractStored(int fd, const ArchiveListing& listing, const std::string& archiveArg, Writer& writer,
                  int& status) {
  for (const ArchiveBlock& block : listing.blocks) {
    const Item item = FromBlock(block);
    if (!writer.Put(item, StoredData(fd, block.DataOffset(), item.kind == Item::kFolder ? 0 : block.dataSize)))
      return status;
  }
  ReportDamage(archiveArg, listing.damage, status);
  return status;
}

// ---- RAR 5 archives of stored entries, read here too ----

// Whether every entry is a folder or a stored file, which is all this
// reader knows; libarchive reads the others.
bool AllStored(const Rar5Listing& listing) {
  for (const Rar5Entry& entry : listing.entries)
    if (!entry.directory && !entry.stored) return false;
  return true;
}

Item FromRar5Entry(const Rar5Entry& entry) {
  Item item;
  item.name = SlashName(entry.name);
  item.damage = entry.damage;
  if (item.damage.empty() && entry.split) {
    item.damage = kSplitRefusal;
    item.damageCode = kFatal;
  }
  item.mtime = entry.mtime ? static_cast<std::time_t>(*entry.mtime) : std::time(nullptr);
  if (entry.directory) {
    item.kind = Item::kFolder;
    item.mode = entry.unixHost ? (entry.attributes & 0777) : 0777;
    return item;
  }
  item.crc = entry.crc;
  item.size = entry.size;
  item.mode = entry.unixHost ? (entry.attributes & 0777) : ((entry.attributes & 0x01) ? 0444 : 0666);  // read-only
  return item;
}

// The entries in order, as the RAR 4 reader does, whatever blocks of
// other kinds lie between them.
int ExtractRar5Stored(int fd, const Rar5Listing& listing, const std::string& archiveArg, Writer& writer,
                      int& status) {
  for (const Rar5Entry& entry : listing.entries) {
    if (!writer.Put(FromRar5Entry(entry), StoredData(fd, entry.dataOffset, entry.directory ? 0 : entry.dataSize)))
      return status;
  }
  ReportDamage(archiveArg, listing.damage, status);
  return status;
}

// ---- everything else, through libarchive ----

const char* Text(const char* utf8, const char* native) {
  if (utf8) return utf8;
  return native ? native : "";
}

std::string LibarchiveError(struct archive* a) {
  const char* why = archive_error_string(a);
  return why && *why ? why : "压缩包已损坏或不完整";
}

// A damaged entry shows in libarchive's message; it has no code of its own.
// Where the archive's own headers were found damaged, a failure to read it
// is that damage.
int ReadFailure(struct archive* in, bool knownDamaged) {
  const char* why = archive_error_string(in);
  return (knownDamaged || (why && std::strstr(why, "CRC"))) ? kCrcError : kFatal;
}

// libarchive's own words, inside ours.
std::string ReadFailureText(struct archive* in, bool knownDamaged) {
  return (ReadFailure(in, knownDamaged) == kCrcError ? "压缩包已损坏（" : "无法读取压缩包（") +
         LibarchiveError(in) + "）";
}

// What the archive's own headers say of the entry libarchive gives at the
// same place in the sequence.
struct HeaderCheck {
  std::string name;                   // "/" between components
  bool matchName = false;             // whether libarchive's name must be this one
  std::optional<std::uint32_t> crc;   // of the data libarchive gives
  std::optional<std::uint64_t> size;  // of the data libarchive gives
  bool split = false;
  std::string damage;
};

// The archive's headers, as far as they could be read; entries beyond them
// carry `damage` when that is what ended the reading.
struct HeaderChecks {
  std::vector<HeaderCheck> entries;
  std::string damage;
};

int ExtractThroughLibarchive(int fd, const HeaderChecks& checks, const std::string& archiveArg, Writer& writer,
                             int& status) {
  struct archive* in = archive_read_new();
  archive_read_support_format_rar(in);
  archive_read_support_format_rar5(in);
  // Names without the Unicode field are in the code page of the machine
  // that packed them, which for our packages is code page 936.
  if (archive_read_set_options(in, "rar:hdrcharset=CP936") != ARCHIVE_OK)
    std::fprintf(stderr, "WinRAR: 警告：%s\n", LibarchiveError(in).c_str());
  if (archive_read_open_fd(in, fd, 1 << 16) != ARCHIVE_OK) {
    std::fprintf(stderr, "WinRAR: 无法打开 %s：它不是可识别的压缩包格式（%s）\n", archiveArg.c_str(),
                 LibarchiveError(in).c_str());
    archive_read_free(in);
    Raise(status, kFatal);
    return status;
  }

  const bool damaged = !checks.damage.empty();
  std::size_t delivered = 0;
  for (std::size_t index = 0;; ++index) {
    struct archive_entry* entry = nullptr;
    int r = archive_read_next_header(in, &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) {
      std::fprintf(stderr, "WinRAR: %s：%s\n", archiveArg.c_str(), ReadFailureText(in, damaged).c_str());
      Raise(status, ReadFailure(in, damaged));
      break;
    }
    if (r == ARCHIVE_WARN) {
      std::fprintf(stderr, "WinRAR: 警告：%s\n", LibarchiveError(in).c_str());
      Raise(status, kWarning);
    }
    Item item;
    item.name = SlashName(Text(archive_entry_pathname_utf8(entry), archive_entry_pathname(entry)));
    if (item.name.empty()) item.damage = "它的名称无法按代码页 936 读出";
    item.mode = archive_entry_perm(entry) & 0777;
    item.mtime = archive_entry_mtime(entry);
    const char* hardlink = archive_entry_hardlink(entry);
    const char* symlink = archive_entry_symlink(entry);
    switch (archive_entry_filetype(entry)) {
      case AE_IFDIR: item.kind = Item::kFolder; break;
      case AE_IFLNK: item.kind = Item::kLink; break;
      default: item.kind = hardlink ? Item::kHardLink : Item::kFile; break;
    }
    if (hardlink) item.target = Text(archive_entry_hardlink_utf8(entry), hardlink);
    // libarchive does not check the data of stored entries against their
    // CRCs; the archive's own headers give them. An entry the headers do
    // not describe cannot be checked, and is not trusted.
    if (index < checks.entries.size()) {
      const HeaderCheck& check = checks.entries[index];
      if (!check.damage.empty()) {
        item.damage = check.damage;
      } else if (check.matchName && SlashName(check.name) != item.name) {
        item.damage = "它与压缩包中的文件头对不上";
      } else if (check.split) {
        item.damage = kSplitRefusal;
        item.damageCode = kFatal;
      } else if (item.kind != Item::kFolder) {
        item.crc = check.crc;
        item.size = check.size;
      }
    } else {
      // An entry the headers do not describe cannot be checked.
      item.damage = checks.damage.empty() ? "压缩包中没有它的文件头" : checks.damage;
    }
    delivered = index + 1;

    const bool sound = writer.Put(item, [&](const Sink& sink) {
      if (item.kind == Item::kLink) {
        const std::string target = Text(archive_entry_symlink_utf8(entry), symlink);
        sink(target.data(), target.size());
        return ReadResult{};
      }
      for (;;) {
        const void* buf = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        int got = archive_read_data_block(in, &buf, &size, &offset);
        if (got == ARCHIVE_EOF) return ReadResult{};
        if (got < ARCHIVE_WARN) return ReadResult{ReadFailureText(in, damaged), ReadFailure(in, damaged)};
        if (!sink(static_cast<const char*>(buf), size)) return ReadResult{};
      }
    });
    if (!sound) break;
  }
  archive_read_free(in);
  // Every file the headers list is written or named here.
  for (std::size_t index = delivered; index < checks.entries.size(); ++index) {
    const HeaderCheck& check = checks.entries[index];
    std::fprintf(stderr, "WinRAR: %s：%s，没有解压它\n", SlashName(check.name).c_str(),
                 check.split ? kSplitRefusal : "压缩包中有它的文件头，却没能读出它");
    Raise(status, check.split ? kFatal : kCrcError);
  }
  ReportDamage(archiveArg, checks.damage, status);
  return status;
}

// Opens the archive for reading without waiting on it: a FIFO or a device
// given as the archive would otherwise block for ever. -1 when it is not a
// regular file that can be read, after saying why.
int OpenArchive(const std::string& archive) {
  int fd = open(archive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "WinRAR: 无法打开 %s：%s\n", archive.c_str(), Errno().c_str());
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "WinRAR: 无法打开 %s：它不是普通文件，不能是压缩包\n", archive.c_str());
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

int ExtractArchive(const std::string& archiveArg, const std::string& destination) {
  std::error_code ec;
  const std::string archive = fs::absolute(archiveArg, ec).string();
  const int fd = OpenArchive(archive);
  if (fd < 0) return kFatal;

  fs::create_directories(destination, ec);
  if (ec || !fs::is_directory(destination)) {
    std::fprintf(stderr, "WinRAR: 无法创建文件夹 %s：%s\n", destination.c_str(),
                 ec ? ec.message().c_str() : "那里已有同名的文件");
    close(fd);
    return kCreateError;
  }
  // Entries are written from the destination's descriptor down, so the
  // checks on their paths see only what lies inside it.
  const int root = open(destination.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    std::fprintf(stderr, "WinRAR: 无法进入 %s：%s\n", destination.c_str(), Errno().c_str());
    close(fd);
    return kCreateError;
  }

  // The archive's own headers: for RAR 4 the names as packed and the CRCs,
  // for RAR 5 the names and CRCs to check libarchive's entries with. An
  // archive whose headers cannot be read cannot be checked, and is not
  // unpacked.
  std::optional<MarkerAt> marker;
  std::optional<ArchiveListing> listing;
  std::optional<Rar5Listing> rar5;
  HeaderChecks checks;
  std::string unreadable = "它不是可识别的压缩包格式";
  int unreadableCode = kFatal;
  if (std::FILE* f = fdopen(dup(fd), "rb")) {
    try {
      marker = FindMarker(f);
      if (marker && marker->version == 4) {
        listing = ListFileBlocks(f, marker->offset);
        for (const ArchiveBlock& block : listing->blocks) {
          HeaderCheck check;
          check.name = block.name;
          check.split = block.Split();
          check.damage = NameDamage(block);
          if (!block.directory) {
            check.size = block.unpackedSize;
            if (block.Stored()) check.crc = block.crc;
          }
          checks.entries.push_back(check);
        }
        checks.damage = listing->damage;
      } else if (marker) {
        rar5 = ListRar5Entries(f, marker->offset);
        for (const Rar5Entry& entry : rar5->entries)
          checks.entries.push_back({entry.name, true, entry.crc, entry.size, entry.split, entry.damage});
        checks.damage = rar5->damage;
      }
    } catch (const ArchiveError& err) {
      if (marker) {
        unreadable = err.what();
        unreadableCode = kCrcError;
      }
      marker.reset();
    }
    std::fclose(f);
  }
  if (!marker) {
    std::fprintf(stderr, "WinRAR: 无法打开 %s：%s\n", archiveArg.c_str(), unreadable.c_str());
    close(root);
    close(fd);
    return unreadableCode;
  }
  bool allStored = listing.has_value();
  if (listing)
    for (const ArchiveBlock& block : listing->blocks) allStored = allStored && (block.directory || block.Stored());

  int status = kSuccess;
  {
    Writer writer(status, root);
    if (allStored) {
      ExtractStored(fd, *listing, archiveArg, writer, status);
    } else if (rar5 && AllStored(*rar5)) {
      ExtractRar5Stored(fd, *rar5, archiveArg, writer, status);
    } else if (checks.entries.empty()) {
      ReportDamage(archiveArg, checks.damage, status);  // there is nothing to write
    } else {
      lseek(fd, 0, SEEK_SET);
      ExtractThroughLibarchive(fd, checks, archiveArg, writer, status);
    }
    writer.Finish();
  }
  close(root);
  close(fd);
  return status;
}

}  // namespace winrar
