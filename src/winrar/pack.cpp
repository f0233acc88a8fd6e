// Packing: a folder's content into a RAR 4 archive of stored entries.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/temp_names.h"
#include "winrar/commands.h"
#include "winrar/rar4.h"

namespace fs = std::filesystem;

namespace winrar {
namespace {

using FileId = std::pair<dev_t, ino_t>;

struct SourceEntry {
  std::string name;  // UTF-8, "\" between components, without the base folder
  std::string path;  // on disk
  std::string real;  // the file a link at `path` led to when scanned, else `path`
  FileId id{0, 0};   // of the file the scan saw
  bool directory = false;
  std::uint64_t size = 0;
  std::time_t mtime = 0;
};

struct Scan {
  std::vector<SourceEntry> entries;
  std::vector<std::string> problems;  // content that cannot be stored as it is
  bool warned = false;                // something that is not content was left out
  FileId skip{0, 0};                  // the archive itself, when it lies below the folder
  std::string realFolder;             // the folder being packed, links resolved
};

void Warn(Scan& scan, const std::string& text) {
  std::fprintf(stderr, "WinRAR: 警告：%s\n", text.c_str());
  scan.warned = true;
}

std::string Errno() { return std::strerror(errno); }

// Whether the real path lies in the real folder (or is it).
bool Inside(const std::string& realPath, const std::string& realFolder) {
  if (realFolder == "/") return true;
  return realPath == realFolder ||
         (realPath.size() > realFolder.size() && realPath.compare(0, realFolder.size(), realFolder) == 0 &&
          realPath[realFolder.size()] == '/');
}

// Why a path cannot be read, as the user is told. A path longer than the
// system takes is named as such: no folder deeper than that can be packed.
std::string CannotRead(const std::string& path, int error) {
  if (error == ENAMETOOLONG) return "路径太长（超过系统所能处理的长度），无法打包：" + path;
  return "无法读取 " + path + "：" + std::strerror(error);
}

// Depth first, a folder's entry before its content, names in byte order so
// that the same tree always gives the same archive. Links within the folder
// are followed: the archive holds what the site shows. A link that leads
// out of the folder is left out, so nothing beyond it ever gets into a
// package. Each real folder is packed once, where the walk first meets it,
// as the site's own walks show it: a folder met again, through a link or at
// its own place after a link to it, is left out (its content is in the
// archive already), or a fan of links would multiply it without end. The
// folders being walked are kept on a stack of our own, so the depth of the
// tree is not bounded by the program's.
void Walk(const std::string& top, std::set<FileId>& packed, Scan& scan) {
  struct Folder {
    std::string path, prefix;
    std::vector<std::string> names;
    std::size_t next = 0;
  };
  std::vector<Folder> open;
  auto enter = [&](const std::string& folder, const std::string& prefix) {
    Folder f{folder, prefix, {}, 0};
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
      f.names.push_back(it->path().filename().string());
    if (ec) {
      scan.problems.push_back(CannotRead(folder, ec.value()));
      return;
    }
    std::sort(f.names.begin(), f.names.end());
    open.push_back(std::move(f));
  };
  enter(top, "");

  while (!open.empty()) {
    Folder& folder = open.back();
    if (folder.next == folder.names.size()) {
      open.pop_back();
      continue;
    }
    const std::string leaf = folder.names[folder.next++];
    const std::string path = folder.path + "/" + leaf;
    const std::string name = folder.prefix.empty() ? leaf : folder.prefix + "\\" + leaf;
    // What a broken-off download or unpack left there is no content.
    if (platform::IsOwnTemporaryName(leaf)) continue;
    if (leaf.find('\\') != std::string::npos) {
      scan.problems.push_back("名称 " + path + " 中含有“\\”，它在压缩包中用来分隔文件夹；请把它改名后重新打包");
      continue;
    }
    struct stat lst {};
    if (lstat(path.c_str(), &lst) != 0) {
      scan.problems.push_back(CannotRead(path, errno));
      continue;
    }
    const bool link = S_ISLNK(lst.st_mode);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
      if (link) Warn(scan, "符号链接 " + path + " 没有指向任何东西，没有打包");
      else scan.problems.push_back(CannotRead(path, errno));
      continue;
    }
    if (FileId{st.st_dev, st.st_ino} == scan.skip) continue;
    std::string real = path;
    if (link) {
      std::error_code rec;
      const std::string target = real = fs::canonical(path, rec).string();
      if (rec || !Inside(target, scan.realFolder)) {
        Warn(scan, "符号链接 " + path + " 指向要打包的文件夹之外，没有打包");
        continue;
      }
    }

    SourceEntry entry;
    entry.name = name;
    entry.path = path;
    entry.real = real;
    entry.id = {st.st_dev, st.st_ino};
    entry.mtime = st.st_mtime;
    if (S_ISDIR(st.st_mode)) {
      FileId id{st.st_dev, st.st_ino};
      if (!packed.insert(id).second) {
        std::fprintf(stderr, "WinRAR: %s 指向的文件夹已经打包，没有再打包\n", path.c_str());
        continue;
      }
      entry.directory = true;
      scan.entries.push_back(entry);
      enter(path, name);  // `folder` is not used after this
    } else if (S_ISREG(st.st_mode)) {
      entry.size = static_cast<std::uint64_t>(st.st_size);
      if (entry.size > kMaxStoredSize)
        scan.problems.push_back("文件 " + path + " 有 4 GiB 或更大，本压缩程序无法存放");
      scan.entries.push_back(entry);
    } else {
      Warn(scan, path + " 不是普通文件或文件夹，没有打包");
    }
  }
}

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file for reading without waiting on it: a FIFO or a device would
// wait for ever, or never end. Null, with errno set, unless it is a
// regular file. With `scanned`, the file must be that very one, reached
// without a link (ELOOP when it is a link now, ESTALE when it is another
// file): a name changed between the scan and the packing could lead
// anywhere, out of the folder too.
std::FILE* OpenRegular(const std::string& path, const FileId* scanned = nullptr) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (scanned ? O_NOFOLLOW : 0));
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (scanned && FileId{st.st_dev, st.st_ino} != *scanned)) {
    const int why = S_ISREG(st.st_mode) ? ESTALE : EINVAL;
    close(fd);
    errno = why;
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = fdopen(fd, "rb");
  if (!f) close(fd);
  return f;
}

void WriteAll(std::FILE* out, const void* data, std::size_t size) {
  if (size && std::fwrite(data, 1, size, out) != size)
    throw ArchiveError("无法写入压缩包：" + Errno());
}

void WriteAll(std::FILE* out, const std::string& bytes) { WriteAll(out, bytes.data(), bytes.size()); }

// A stored entry. The header goes out first with the sizes from the folder
// scan; once the data is through, the header is written again with the CRC
// and the size actually read, so a file that changed meanwhile is still
// described truly.
void WriteEntry(std::FILE* out, const SourceEntry& entry, const OpeningHook& opening) {
  EntryInfo info;
  info.name = entry.name;
  info.directory = entry.directory;
  info.dosTime = DosTime(entry.mtime);
  if (entry.directory) {
    WriteAll(out, FileHeader(info));
    return;
  }
  info.size = static_cast<std::uint32_t>(entry.size);
  // The file is read only if it is still the one the scan saw and let in.
  if (opening) opening(entry.path);
  File in(OpenRegular(entry.real, &entry.id));
  if (!in && (errno == ELOOP || errno == ESTALE || errno == EINVAL))
    throw ArchiveError("文件 " + entry.path + " 在打包过程中被换成了别的文件或链接；请等它不再变动后重新打包");
  if (!in) throw ArchiveError("无法打开 " + entry.path + "：" + Errno());
  const off_t headerAt = ftello(out);
  const std::string header = FileHeader(info);
  WriteAll(out, header);

  std::vector<char> buffer(1 << 20);
  std::uint64_t total = 0;
  std::uint32_t crc = 0;
  for (;;) {
    std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
    if (got == 0) break;
    total += got;
    if (total > kMaxStoredSize)
      throw ArchiveError("文件 " + entry.path + " 在打包过程中增大到 4 GiB 或更大");
    crc = Crc32(crc, buffer.data(), got);
    WriteAll(out, buffer.data(), got);
  }
  if (std::ferror(in.get())) throw ArchiveError("无法读取 " + entry.path + "：" + Errno());

  info.size = static_cast<std::uint32_t>(total);
  info.crc = crc;
  const std::string final = FileHeader(info);
  if (fseeko(out, headerAt, SEEK_SET) != 0) throw ArchiveError("无法写入压缩包：" + Errno());
  WriteAll(out, final);
  if (fseeko(out, 0, SEEK_END) != 0) throw ArchiveError("无法写入压缩包：" + Errno());
}

void CopyBlock(std::FILE* in, std::FILE* out, const ArchiveBlock& block) {
  if (fseeko(in, static_cast<off_t>(block.offset), SEEK_SET) != 0)
    throw ArchiveError("无法读取压缩包：" + Errno());
  std::vector<char> buffer(1 << 20);
  std::uint64_t left = block.size;
  while (left > 0) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
    if (std::fread(buffer.data(), 1, want, in) != want) throw ArchiveError("无法读取压缩包");
    WriteAll(out, buffer.data(), want);
    left -= want;
  }
}

// Archives written elsewhere may use "/" between components.
std::string SameSeparators(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

const char kNotUtf8[] = "的名称不是有效的 UTF-8 编码，压缩包无法按原样存放；请把它改名后重新打包";

// Whether the text is UTF-8 throughout.
bool IsUtf8(const std::string& text) {
  for (std::size_t at = 0, length; at < text.size(); at += length)
    if ((length = platform::Utf8CharLength(text, at)) == 0) return false;
  return true;
}

// A name as the user's windows show it: each byte that is not part of a
// UTF-8 character as U+FFFD.
std::string Shown(const std::string& name) {
  std::string out;
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t length = platform::Utf8CharLength(name, at);
    out += length ? name.substr(at, length) : "\xEF\xBF\xBD";
    at += length ? length : 1;
  }
  return out;
}

// Says what keeps the folder out of the archive; the archive is left as it was.
int Refuse(const Scan& scan, const std::string& archive) {
  for (const std::string& p : scan.problems) std::fprintf(stderr, "WinRAR: %s\n", p.c_str());
  std::fprintf(stderr, "WinRAR: 没有写入 %s\n", archive.c_str());
  return kFatal;
}

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

int AddToArchive(const std::string& archiveArg, const std::string& folder, const OpeningHook& opening) {
  // An archive given through a link is updated where the link points.
  std::string archive = archiveArg;
  struct stat ast {};
  const bool exists = stat(archive.c_str(), &ast) == 0;
  if (exists) {
    if (S_ISDIR(ast.st_mode)) {
      std::fprintf(stderr, "WinRAR: %s 是文件夹，不是压缩包\n", archive.c_str());
      return kFatal;
    }
    // Reading a FIFO or a device would wait for ever, or never end.
    if (!S_ISREG(ast.st_mode)) {
      std::fprintf(stderr, "WinRAR: %s 不是普通文件，不能是压缩包\n", archive.c_str());
      return kFatal;
    }
    std::error_code ec;
    fs::path real = fs::canonical(archive, ec);
    if (!ec) archive = real.string();
  }

  struct stat fst {};
  if (stat(folder.c_str(), &fst) != 0 || !S_ISDIR(fst.st_mode)) {
    std::fprintf(stderr, "WinRAR: 没有可添加的文件：%s 不是文件夹\n", folder.c_str());
    return kNoFiles;
  }

  Scan scan;
  if (exists) scan.skip = {ast.st_dev, ast.st_ino};
  std::error_code rec;
  scan.realFolder = fs::canonical(folder, rec).string();
  std::set<FileId> packed{{fst.st_dev, fst.st_ino}};
  Walk(folder, packed, scan);
  if (!scan.problems.empty()) return Refuse(scan, archive);
  if (scan.entries.empty()) {
    std::fprintf(stderr, "WinRAR: %s 中没有可添加的文件\n", folder.c_str());
    return kNoFiles;
  }
  // Names that are not valid UTF-8 cannot be written truly in either form
  // of the name field; find them all before anything is written. Each is
  // named once, where its own name is at fault, as the user sees it, with
  // what to do: a folder renamed mends everything below it.
  const SourceEntry* unnamable = nullptr;
  for (const SourceEntry& e : scan.entries) {
    try {
      EncodeName(e.name);
      continue;
    } catch (const ArchiveError&) {
      if (!unnamable) unnamable = &e;
    }
    const std::size_t slash = e.path.rfind('/');
    const std::string leaf = e.path.substr(slash + 1);
    if (IsUtf8(leaf)) continue;
    scan.problems.push_back("文件夹 " + Shown(e.path.substr(0, slash)) + " 中的" +
                            (e.directory ? "文件夹“" : "文件“") + Shown(leaf) + "”" + kNotUtf8);
  }
  if (unnamable && scan.problems.empty()) scan.problems.push_back("“" + Shown(unnamable->path) + "”" + kNotUtf8);
  if (unnamable) return Refuse(scan, archive);

  File old;
  std::vector<ArchiveBlock> blocks;
  if (exists) {
    old.reset(OpenRegular(archive));
    if (!old) {
      std::fprintf(stderr, "WinRAR: 无法打开 %s：%s\n", archive.c_str(), Errno().c_str());
      return kFatal;
    }
    try {
      blocks = ReadFileBlocks(old.get(), true);
    } catch (const ArchiveError& err) {
      std::fprintf(stderr, "WinRAR: %s：%s；它保持原样\n", archive.c_str(), err.what());
      return kFatal;
    }
  }

  // The new archive is written beside the old one and renamed over it only
  // when complete, so a failure never leaves a half-written archive.
  std::string temp = TempNameBeside(archive);
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    std::fprintf(stderr, "WinRAR: 无法创建 %s：%s\n", archive.c_str(), Errno().c_str());
    return kCreateError;
  }
  fchmod(fd, exists ? (ast.st_mode & 07777) : NewFileMode());
  File out(fdopen(fd, "w+b"));
  if (!out) {
    close(fd);
    unlink(temp.c_str());
    std::fprintf(stderr, "WinRAR: 无法创建 %s\n", archive.c_str());
    return kCreateError;
  }

  try {
    std::map<std::string, std::size_t> byName;
    for (std::size_t i = 0; i < scan.entries.size(); ++i) byName.emplace(scan.entries[i].name, i);
    std::vector<bool> written(scan.entries.size(), false);

    WriteAll(out.get(), ArchiveStart());
    // A replaced entry keeps its place, so folders stay before their content.
    for (const ArchiveBlock& block : blocks) {
      auto hit = byName.find(SameSeparators(block.name));
      if (hit == byName.end()) {
        CopyBlock(old.get(), out.get(), block);
      } else if (!written[hit->second]) {
        WriteEntry(out.get(), scan.entries[hit->second], opening);
        written[hit->second] = true;
      }
    }
    for (std::size_t i = 0; i < scan.entries.size(); ++i)
      if (!written[i]) WriteEntry(out.get(), scan.entries[i], opening);
    WriteAll(out.get(), ArchiveEnd());
    if (std::fflush(out.get()) != 0 || fsync(fileno(out.get())) != 0)
      throw ArchiveError("无法写入压缩包：" + Errno());
    std::FILE* f = out.release();
    if (std::fclose(f) != 0) throw ArchiveError("无法写入压缩包：" + Errno());
  } catch (const std::exception& err) {
    out.reset();
    unlink(temp.c_str());
    std::fprintf(stderr, "WinRAR: %s；没有写入 %s\n", err.what(), archive.c_str());
    return kFatal;
  }
  old.reset();

  if (std::rename(temp.c_str(), archive.c_str()) != 0) {
    std::fprintf(stderr, "WinRAR: 无法创建 %s：%s\n", archive.c_str(), Errno().c_str());
    unlink(temp.c_str());
    return kCreateError;
  }
  return scan.warned ? kWarning : kSuccess;
}

}  // namespace winrar
