// The archiver stand-in, run as the packer and the package import run it:
// archives it writes are checked with independent readers (bsdtar, unar),
// and archives it unpacks are crafted byte by byte where the case needs a
// fault our own packer would never write, or a layout (RAR 5) it never
// writes.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <csignal>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/temp_names.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "winrar/commands.h"

extern char** environ;

namespace fs = std::filesystem;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;
};

// How long a run may take before it counts as hanging and is killed.
constexpr int kDeadlineSeconds = 20;

// Runs a program without a shell, as the generator does, with the given
// locale, and collects its exit status and both output streams. A program
// still running at the deadline is killed and gets code -2.
RunResult Run(const std::string& program, const std::vector<std::string>& args, const std::string& locale) {
  TempDir io;
  const std::string outPath = io / "out", errPath = io / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "LC_ALL=", 7) != 0) env.emplace_back(*e);
  env.push_back("LC_ALL=" + locale);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  RunResult result;
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.err = "cannot start " + program;
    return result;
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kDeadlineSeconds);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.code = -2;
      result.err = "still running after " + std::to_string(kDeadlineSeconds) + " s; killed\n";
      result.err += ReadFile(errPath);
      return result;
    }
    usleep(2000);
  }
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

// The archiver runs in the C locale on purpose: it must not depend on the
// caller's environment to handle Chinese names.
RunResult WinRar(const std::vector<std::string>& args) {
  return Run(platform::ProgramFolder() + "/WinRAR/WinRAR", args, "C");
}

RunResult Pack(const std::string& archive, const std::string& folder) {
  return WinRar({"a", "-m0", "-ep1", "-r", archive, folder + "/*.*"});
}

RunResult Unpack(const std::string& archive, const std::string& destination) {
  return WinRar({"X", "-o+", archive, "*.*", destination});
}

RunResult Bsdtar(const std::vector<std::string>& args) { return Run("bsdtar", args, "C.UTF-8"); }

// The Unarchiver's reader shares no code with libarchive, and checks the
// CRC of every entry.
RunResult Unar(const std::string& archive, const std::string& destination) {
  return Run("unar", {"-q", "-D", "-o", destination, archive}, "C.UTF-8");
}

// The names as bsdtar lists them, in the archive's order.
std::vector<std::string> NamesInOrder(const std::string& archive) {
  RunResult r = Bsdtar({"--options", "hdrcharset=CP936", "-tf", archive});
  EXPECT_EQ(r.code, 0) << r.err;
  std::vector<std::string> names;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) names.push_back(line);
  return names;
}

// bsdtar's verbose listing as "d name" / "- name" / "l name -> target"
// lines, sorted; a name listed twice shows twice.
std::vector<std::string> Listing(const std::string& archive) {
  RunResult r = Bsdtar({"--options", "hdrcharset=CP936", "-tvf", archive});
  EXPECT_EQ(r.code, 0) << r.err;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    // perms, links, owner, group, size, month, day, time: then the name.
    std::size_t at = 0;
    for (int field = 0; field < 8; ++field) {
      at = line.find_first_not_of(' ', at);
      at = line.find(' ', at);
    }
    std::string name = line.substr(line.find_first_not_of(' ', at));
    char type = line[0] == 'l' ? 'l' : (line[0] == 'd' ? 'd' : '-');
    lines.push_back(std::string(1, type) + " " + name);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Everything below a folder: relative path to "dir", "link:<target>" or the
// file's bytes (only the size of a very large file).
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = it->path().lexically_relative(folder).string();
    if (it->is_symlink()) out[rel] = "link:" + fs::read_symlink(it->path()).string();
    else if (it->is_directory()) out[rel] = "dir";
    else if (it->file_size() > (16u << 20)) out[rel] = "size:" + std::to_string(it->file_size());
    else out[rel] = "file:" + ReadFile(it->path().string());
  }
  return out;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void SetMtime(const std::string& path, int year, int mon, int day, int hour, int min, int sec) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = mon - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = min;
  tm.tm_sec = sec;
  tm.tm_isdst = -1;
  struct timespec times[2] = {{mktime(&tm), 0}, {mktime(&tm), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::time_t Mtime(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mtime;
}

// ---- RAR 4 blocks written by hand, from the published layout ----

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::string Le16(std::uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string Block(std::uint8_t type, std::uint16_t flags, const std::string& body) {
  std::string h = std::string(1, static_cast<char>(type)) + Le16(flags) + Le16(7 + body.size()) + body;
  return Le16(Crc32(h) & 0xFFFF) + h;
}

struct Entry {
  // host 2 is Win32 (ATTR holds DOS attributes), 3 Unix (ATTR holds the mode).
  Entry(std::string name, std::string data, std::uint8_t host = 2, std::uint32_t attr = 0x20,
        std::uint16_t flags = 0x8000)
      : name(std::move(name)), data(std::move(data)), host(host), attr(attr), flags(flags) {}
  std::string name;  // the name field's bytes, "\" between components
  std::string data;
  std::uint8_t host;
  std::uint32_t attr;
  std::uint16_t flags;
  std::optional<std::uint32_t> crc;  // the data's CRC unless given
  std::optional<std::uint32_t> unpackedSize;  // the data's size unless given
  bool spoilHeaderCrc = false;
};

std::string FileBlock(const Entry& e) {
  std::string body = Le32(e.data.size()) + Le32(e.unpackedSize.value_or(e.data.size())) +
                     std::string(1, static_cast<char>(e.host)) +
                     Le32(e.crc.value_or(Crc32(e.data))) + Le32(0x52645000) /* 2021-03-04 10:00 */ +
                     std::string(1, 20) + std::string(1, 0x30) + Le16(e.name.size()) + Le32(e.attr) + e.name;
  std::string block = Block(0x74, e.flags, body);
  if (e.spoilHeaderCrc) block[0] = static_cast<char>(block[0] ^ 0x5A);
  return block + e.data;
}

std::string Archive(const std::vector<Entry>& entries) {
  std::string out("Rar!\x1A\x07\x00", 7);
  out += Block(0x73, 0, std::string(6, '\0'));
  for (const Entry& e : entries) out += FileBlock(e);
  return out + Block(0x7B, 0x4000, "");
}

std::string Gbk(const std::string& utf8) { return platform::ToAnsi(utf8); }

// ---- RAR 5 blocks written by hand, from the published layout ----

// Seven bits a byte, low bits first, the high bit on all but the last.
std::string Vint(std::uint64_t v) {
  std::string out;
  do {
    out.push_back(static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0)));
    v >>= 7;
  } while (v);
  return out;
}

// HEAD_CRC32 over the header's size and content, then the size, then the
// content: type, flags, the sizes the flags announce, the type's fields.
std::string Rar5Header(const std::string& content) {
  const std::string header = Vint(content.size()) + content;
  return Le32(Crc32(header)) + header;
}

// A file header always has a data area, if an empty one. `flags` adds to
// the data-area flag (0x0004 skip if unknown, 0x0010 continued in the next
// volume).
std::string Rar5Block(std::uint64_t type, const std::string& fields, const std::optional<std::string>& data = {},
                      std::uint64_t flags = 0) {
  flags |= data ? 0x0002 : 0;
  return Rar5Header(Vint(type) + Vint(flags) + (data ? Vint(data->size()) : "") + fields) + data.value_or("");
}

struct Rar5File {
  Rar5File(std::string name, std::string data, bool directory = false, std::optional<std::uint32_t> crc = {})
      : name(std::move(name)), data(std::move(data)), directory(directory), crc(crc) {}
  std::string name;  // "/" between components
  std::string data;
  bool directory = false;
  std::optional<std::uint32_t> crc;  // the data's CRC unless given
  std::optional<std::uint64_t> unpackedSize;  // the data's size unless given
  std::uint64_t blockFlags = 0;
};

std::string Rar5Start(std::uint64_t archiveFlags = 0) {
  return std::string("Rar!\x1A\x07\x01\x00", 8) + Rar5Block(1, Vint(archiveFlags));
}

std::string Rar5End() { return Rar5Block(5, Vint(0)); }

// The fields of a stored entry's file header from a Unix host, with its
// modification time and the CRC of its data, from the flags on.
std::string Rar5FileFields(const Rar5File& f) {
  const std::uint64_t fileFlags = f.directory ? 0x0001 | 0x0002 : 0x0002 | 0x0004;
  std::string fields = Vint(fileFlags) + Vint(f.unpackedSize.value_or(f.data.size())) +
                       Vint(f.directory ? 040755 : 0100644) + Le32(1614852000) /* 2021-03-04 10:00 UTC */;
  if (!f.directory) fields += Le32(f.crc.value_or(Crc32(f.data)));
  return fields + Vint(0) /* version 0, stored */ + Vint(1) /* Unix */ + Vint(f.name.size()) + f.name;
}

std::string Rar5FileBlock(const Rar5File& f) { return Rar5Block(2, Rar5FileFields(f), f.data, f.blockFlags); }

std::string Rar5Archive(const std::vector<Rar5File>& files) {
  std::string out = Rar5Start();
  for (const Rar5File& f : files) out += Rar5FileBlock(f);
  return out + Rar5End();
}

// unar's own test of an archive: every entry read and its CRC checked.
// Null when lsar is not installed.
std::optional<RunResult> LsarTest(const std::string& archive) {
  RunResult r = Run("lsar", {"-t", archive}, "C.UTF-8");
  if (r.code == -1 && r.err.rfind("cannot start", 0) == 0) return std::nullopt;
  return r;
}

// ---- packing ----

// The kind of site folder the packer gets: Chinese names, nesting, an empty
// folder, an empty file, binary data, a name without a dot, a blank in a
// name, a character whose code-page form ends in the byte of "\", and names
// code page 936 cannot hold at all.
void MakeSiteFolder(const std::string& root) {
  WriteFile(root + "/课件/第一章/讲义.txt", "第一章的讲义\r\n");
  WriteFile(root + "/课件/第一章/图片/图 1.gif", "GIF89a");
  MakeDirs(root + "/空目录");
  WriteFile(root + "/空文件.txt", "");
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<char>((i * 7919) % 256));
  WriteFile(root + "/资源/数据.bin", binary);
  WriteFile(root + "/README", "no dot");
  WriteFile(root + "/誠/表.html", "<html></html>");
  WriteFile(root + "/한글😀.txt", "not in code page 936");
}

TEST(WinRarPack, ArchiveHoldsTheFolderContentAndUnpacksByteIdentical) {
  TempDir t;
  const std::string src = t / "我的资源";
  MakeSiteFolder(src);
  SetMtime(src + "/课件/第一章/讲义.txt", 2021, 3, 4, 5, 6, 9);
  const std::string archive = t / "我的资源.rar";

  RunResult packed = Pack(archive, src);
  ASSERT_EQ(packed.code, 0) << packed.err;

  // No "我的资源" level: the folder's content is at the top.
  EXPECT_EQ(Listing(archive), Sorted({"- README", "- 空文件.txt", "- 한글😀.txt", "d 空目录", "d 课件",
                                      "d 课件/第一章", "- 课件/第一章/讲义.txt", "d 课件/第一章/图片",
                                      "- 课件/第一章/图片/图 1.gif", "d 资源", "- 资源/数据.bin", "d 誠",
                                      "- 誠/表.html"}));

  // Every folder comes before its content, so a reader can create it first.
  std::vector<std::string> order = NamesInOrder(archive);
  for (std::size_t i = 0; i < order.size(); ++i) {
    std::size_t slash = order[i].rfind('/');
    if (slash == std::string::npos) continue;
    auto parent = std::find(order.begin(), order.end(), order[i].substr(0, slash));
    EXPECT_LT(parent - order.begin(), static_cast<std::ptrdiff_t>(i)) << order[i];
  }

  // An independent reader gets the same tree back...
  MakeDirs(t / "by-bsdtar");
  RunResult x = Bsdtar({"-x", "-f", archive, "-C", t / "by-bsdtar"});
  ASSERT_EQ(x.code, 0) << x.err;
  EXPECT_EQ(Snapshot(t / "by-bsdtar"), Snapshot(src));
  // ...with the time to the two seconds the archive keeps.
  std::time_t expected = Mtime(src + "/课件/第一章/讲义.txt") - 1;
  EXPECT_EQ(Mtime(t / "by-bsdtar/课件/第一章/讲义.txt"), expected);

  // So does unar, which reads the Unicode form of the names itself.
  RunResult byUnar = Unar(archive, t / "by-unar");
  ASSERT_EQ(byUnar.code, 0) << byUnar.out << byUnar.err;
  EXPECT_EQ(Snapshot(t / "by-unar"), Snapshot(src));

  // So does our own unpacker, into a destination that does not exist yet,
  // named without a trailing "/".
  RunResult unpacked = Unpack(archive, t / "导入/目标");
  ASSERT_EQ(unpacked.code, 0) << unpacked.err;
  EXPECT_EQ(Snapshot(t / "导入/目标"), Snapshot(src));
  EXPECT_EQ(Mtime(t / "导入/目标/课件/第一章/讲义.txt"), expected);
}

TEST(WinRarPack, FolderWithTrailingSeparatorGivesTheSameArchive) {
  TempDir t;
  WriteFile(t / "site/a.txt", "a");
  WriteFile(t / "site/sub/b", "b");
  // The packer appends "/*.*" to the folder as it comes; a folder ending in
  // "/" (the root, say) gives "//*.*".
  for (const std::string& folder : {t / "site", t / "site/"}) {
    SCOPED_TRACE(folder);
    const std::string archive = t / "out.rar";
    fs::remove(archive);
    RunResult r = Pack(archive, folder);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Listing(archive), Sorted({"- a.txt", "d sub", "- sub/b"}));
  }
}

TEST(WinRarPack, AddingReplacesSameNamedEntriesAndKeepsTheOthers) {
  TempDir t;
  MakeDirs(t / "packs");
  const std::string archive = t / "packs/site.rar";
  WriteFile(t / "first/讲义.txt", "旧的讲义");
  WriteFile(t / "first/keep.txt", "keep");
  WriteFile(t / "first/sub/old.txt", "old");
  ASSERT_EQ(Pack(archive, t / "first").code, 0);

  WriteFile(t / "second/讲义.txt", "新的讲义");
  WriteFile(t / "second/sub/new.txt", "new");
  WriteFile(t / "second/new.txt", "top");
  RunResult r = Pack(archive, t / "second");
  ASSERT_EQ(r.code, 0) << r.err;

  EXPECT_EQ(Listing(archive), Sorted({"- 讲义.txt", "- keep.txt", "d sub", "- sub/old.txt", "- sub/new.txt",
                                      "- new.txt"}));
  ASSERT_EQ(Unpack(archive, t / "out").code, 0);
  EXPECT_EQ(ReadFile(t / "out/讲义.txt"), "新的讲义");
  EXPECT_EQ(ReadFile(t / "out/keep.txt"), "keep");
  EXPECT_EQ(ReadFile(t / "out/sub/old.txt"), "old");
  // The new archive was renamed over the old one: no temporary file stays.
  EXPECT_EQ(Names(t / "packs"), std::vector<std::string>{"site.rar"});
}

TEST(WinRarPack, AddingMatchesNamesWrittenInAnotherArchiversUnicodeForm) {
  TempDir t;
  // "ab中.txt" as other archivers write it: the code-page name, a 0 byte,
  // then high byte 0x4E and the operations "copy 2 from the code-page
  // name", "low byte with the high byte", and four single bytes.
  const std::string field = Gbk("ab中.txt") + std::string(1, '\0') +
                            std::string("\x4E\xD0\x00\x2D.t\x00xt", 9);
  const std::string archive = t / "old.rar";
  WriteFile(archive, Archive({{field, "old", 2, 0x20, 0x8000 | 0x0200}, {"other.txt", "other"}}));
  ASSERT_EQ(Listing(archive), Sorted({"- ab中.txt", "- other.txt"}));  // the crafted field is sound

  WriteFile(t / "src/ab中.txt", "new");
  RunResult r = Pack(archive, t / "src");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Listing(archive), Sorted({"- ab中.txt", "- other.txt"}));
  ASSERT_EQ(Unpack(archive, t / "out").code, 0);
  EXPECT_EQ(ReadFile(t / "out/ab中.txt"), "new");
  EXPECT_EQ(ReadFile(t / "out/other.txt"), "other");
}

TEST(WinRarPack, RefusalsLeaveTheArchiveAsItWas) {
  struct Case {
    const char* what;
    std::function<void(const TempDir&)> setUp;  // builds t/src and maybe the archive
    const char* archive;                         // below t
    int code;
    const char* message;  // part of the text on stderr
  };
  const std::vector<Case> cases = {
      {"the existing archive is not a RAR archive",
       [](const TempDir& t) {
         WriteFile(t / "src/a.txt", "a");
         WriteFile(t / "x.rar", "just some text");
       },
       "x.rar", 2, "不是 RAR 压缩包"},
      {"a file of 4 GiB",
       [](const TempDir& t) {
         WriteFile(t / "src/small.txt", "a");
         WriteFile(t / "src/huge.avi", "");
         ASSERT_EQ(truncate((t / "src/huge.avi").c_str(), 4LL << 30), 0);
       },
       "x.rar", 2, "4 GiB"},
      {"the archive's folder does not exist", [](const TempDir& t) { WriteFile(t / "src/a.txt", "a"); },
       "missing/x.rar", 9, "无法创建"},
      {"an empty folder", [](const TempDir& t) { MakeDirs(t / "src"); }, "x.rar", 10, "没有可添加的文件"},
      {"a missing folder", [](const TempDir&) {}, "x.rar", 10, "没有可添加的文件"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    c.setUp(t);
    const std::string archive = t / c.archive;
    const auto before = Snapshot(t.path());
    RunResult r = Pack(archive, t / "src");
    EXPECT_EQ(r.code, c.code);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    // Nothing written, nothing left behind.
    EXPECT_EQ(Snapshot(t.path()), before);
  }
}

TEST(WinRarPack, NeverPacksTheArchiveItIsWritingWhenItLiesInTheFolder) {
  TempDir t;
  WriteFile(t / "site/index.html", "<html></html>");
  const std::string archive = t / "site/site.rar";
  ASSERT_EQ(Pack(archive, t / "site").code, 0);
  // The second pack finds the archive among the files it packs.
  WriteFile(t / "site/new.html", "new");
  RunResult r = Pack(archive, t / "site");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Listing(archive), Sorted({"- index.html", "- new.html"}));
}

// What a broken-off download or unpack left in the site is no content.
TEST(WinRarPack, LeavesOutTheFilesTheProgramsLeaveWhenBrokenOff) {
  TempDir t;
  WriteFile(t / "site/index.html", "<html></html>");
  WriteFile(t / ("site/" + platform::DownloadPartName(0x0123456789abcdefull)), "half a picture");
  WriteFile(t / "site/sub/.rartemp.Ab3xYz", "half an entry");
  WriteFile(t / "site/sub/.rartemp.mine", "the user's");
  const std::string archive = t / "site.rar";
  RunResult r = Pack(archive, t / "site");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Listing(archive), Sorted({"- index.html", "d sub", "- sub/.rartemp.mine"}));
}

TEST(WinRarPack, ArchiveNamesOfUpToTheLongestAFolderHoldsCanBeWritten) {
  // Package names are Chinese, three bytes a character; 255 bytes is the
  // most a name can have.
  for (std::size_t length : {249u, 252u, 255u}) {
    SCOPED_TRACE(length);
    TempDir t;
    WriteFile(t / "site/a.txt", "a");
    std::string name;
    while (name.size() + 3 + 4 <= length) name += "资";
    name += std::string(length - 4 - name.size(), 'x') + ".rar";
    ASSERT_EQ(name.size(), length);
    MakeDirs(t / "packs");
    const std::string archive = t / ("packs/" + name);
    for (int round = 0; round < 2; ++round) {  // writing anew, then replacing
      RunResult r = Pack(archive, t / "site");
      ASSERT_EQ(r.code, 0) << r.err;
    }
    EXPECT_EQ(Listing(archive), std::vector<std::string>{"- a.txt"});
    EXPECT_EQ(Names(t / "packs"), std::vector<std::string>{name});
  }
}

TEST(WinRarPack, LinksThatLeadOutOfTheFolderAreLeftOut) {
  TempDir t;
  WriteFile(t / "outside/shadow", "SECRET-FILE");
  WriteFile(t / "outside/private/notes.txt", "SECRET-FOLDER");
  WriteFile(t / "site/images/a.gif", "GIF89a");
  MakeDirs(t / "site/welcome.files");
  fs::create_symlink(t / "outside/shadow", t / "site/welcome.files/welcome.gif");
  fs::create_directory_symlink("../outside/private", t / "site/private");
  fs::create_symlink("../site/images/a.gif", t / "site/climbs-back-in.gif");  // out and in again
  fs::create_symlink("images/a.gif", t / "site/pic.gif");
  // A folder beside the site whose name starts with the site's is outside.
  WriteFile(t / "site-private/notes.txt", "SECRET-SIBLING");
  fs::create_directory_symlink("../site-private", t / "site/beside");

  const std::string archive = t / "site.rar";
  RunResult r = Pack(archive, t / "site");
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("welcome.gif 指向要打包的文件夹之外"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("private 指向要打包的文件夹之外"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("beside 指向要打包的文件夹之外"), std::string::npos) << r.err;
  // Links within the folder pack what they show.
  EXPECT_EQ(Listing(archive), Sorted({"- climbs-back-in.gif", "d images", "- images/a.gif", "- pic.gif",
                                      "d welcome.files"}));
  EXPECT_EQ(ReadFile(archive).find("SECRET"), std::string::npos);
}

TEST(WinRarPack, AFileChangedAfterTheScanIsNotPacked) {
  // Another program changes the folder while it is packed: at the moment
  // the packer opens the file it is no longer what the scan let in.
  struct Case {
    const char* what;
    std::function<void(const TempDir&)> change;  // done as big.bin is opened
    bool refused;
  };
  const std::vector<Case> cases = {
      {"a file made a link to a file outside",
       [](const TempDir& t) {
         fs::remove(t / "site/z.txt");
         fs::create_symlink(t / "outside/private.txt", t / "site/z.txt");
       },
       true},
      {"a file replaced by another one",
       [](const TempDir& t) {
         // Made before the old one goes, so it cannot take its inode.
         fs::copy_file(t / "outside/private.txt", t / "site/z.new");
         fs::rename(t / "site/z.new", t / "site/z.txt");
       },
       true},
      // The file the scan found through the link is what is packed.
      {"a link within the folder made to lead outside",
       [](const TempDir& t) {
         fs::remove(t / "site/pic.gif");
         fs::create_symlink(t / "outside/private.txt", t / "site/pic.gif");
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "outside/private.txt", "SECRET");
    WriteFile(t / "site/big.bin", std::string(1 << 20, 'B'));
    WriteFile(t / "site/images/a.gif", "GIF89a");
    fs::create_symlink("images/a.gif", t / "site/pic.gif");
    WriteFile(t / "site/z.txt", "z");
    const std::string archive = t / "site.rar";

    testing::internal::CaptureStderr();
    const int code = winrar::AddToArchive(archive, t / "site", [&](const std::string& path) {
      if (fs::path(path).filename() == "big.bin") c.change(t);
    });
    const std::string err = testing::internal::GetCapturedStderr();
    if (c.refused) {
      EXPECT_EQ(code, 2) << err;
      EXPECT_NE(err.find("site/z.txt 在打包过程中被换成了别的文件或链接"), std::string::npos) << err;
      // Nothing was written, and nothing is left behind.
      EXPECT_EQ(Names(t.path()), Sorted({"outside", "site"}));
    } else {
      EXPECT_EQ(code, 0) << err;
      EXPECT_EQ(ReadFile(archive).find("SECRET"), std::string::npos);
    }
  }

  // Unchanged, the same folder packs whole, the link within it too.
  TempDir t;
  WriteFile(t / "site/big.bin", "B");
  WriteFile(t / "site/images/a.gif", "GIF89a");
  fs::create_symlink("images/a.gif", t / "site/pic.gif");
  std::vector<std::string> opened;
  testing::internal::CaptureStderr();
  const int code = winrar::AddToArchive(t / "site.rar", t / "site",
                                        [&](const std::string& path) { opened.push_back(path); });
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(code, 0) << err;
  EXPECT_EQ(opened, (std::vector<std::string>{t / "site/big.bin", t / "site/images/a.gif", t / "site/pic.gif"}));
  EXPECT_EQ(Listing(t / "site.rar"), Sorted({"- big.bin", "d images", "- images/a.gif", "- pic.gif"}));
}

TEST(WinRarPack, ANameThatIsNotUtf8IsNamedWithWhatToDo) {
  // Names copied from an older disk are often GBK: "测试" is B2 E2 CA D4.
  const std::string gbk = Gbk("测试"), shown = "\uFFFD\uFFFD\uFFFD\uFFFD";
  struct Case {
    const char* what;
    std::string path;     // below site
    std::string message;  // below site
  };
  const std::vector<Case> cases = {
      {"a file", "07井号#目录/" + gbk + ".htm", "文件夹 @/07井号#目录 中的文件“" + shown + ".htm”的名称"},
      // Named once, as the folder: renaming it mends what lies below.
      {"a folder", gbk + "/页.htm", "文件夹 @ 中的文件夹“" + shown + "”的名称"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "site/index.html", "<html></html>");
    WriteFile(t / ("site/" + c.path), "page");
    // The site packer names the folder without a trailing separator.
    RunResult r = Pack(t / "site.rar", t / "site");
    EXPECT_EQ(r.code, 2) << r.err;
    std::string message = c.message;
    message.replace(message.find('@'), 1, t / "site");
    EXPECT_EQ(r.err.rfind("WinRAR: " + message, 0), 0u) << r.err;
    EXPECT_NE(r.err.find("请把它改名后重新打包"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("//"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(gbk), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(t / "site.rar"));
  }
}

TEST(WinRarPack, AFanOfFolderLinksPacksEachFolderOnce) {
  // 23 folders, each with two links to the next: followed blindly, the
  // last folder would be reached 2^22 times.
  TempDir t;
  auto folder = [](int i) {
    char name[8];
    std::snprintf(name, sizeof name, "d%02d", i);
    return std::string(name);
  };
  for (int i = 0; i < 23; ++i) {
    MakeDirs(t / ("site/" + folder(i)));
    if (i + 1 < 23)
      for (const char* link : {"a", "b"})
        fs::create_directory_symlink("../" + folder(i + 1), t / ("site/" + folder(i) + "/" + link));
  }
  WriteFile(t / ("site/" + folder(22) + "/end.txt"), "end");

  const auto start = std::chrono::steady_clock::now();
  RunResult r = Pack(t / "site.rar", t / "site");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // Each folder is packed where the walk first meets it, as the site's own
  // walks show it: d01 as d00/a, d02 as d00/a/a, ...; nothing the site shows
  // is lost, so this is no failure.
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("已经打包"), std::string::npos) << r.err;
  std::vector<std::string> expected{"d d00"};
  std::string path = "d00";
  for (int i = 1; i < 23; ++i) expected.push_back("d " + (path += "/a"));
  expected.push_back("- " + path + "/end.txt");
  EXPECT_EQ(Listing(t / "site.rar"), Sorted(expected));
}

// A chain of folders "d" below a folder, with a file at its bottom, made
// and removed one folder at a time through descriptors: the whole path may
// be longer than any call takes.
class FolderChain {
 public:
  FolderChain(const std::string& root, int depth) : root_(root), depth_(depth) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth && fd >= 0; ++i) {
      mkdirat(fd, "d", 0755);
      const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = next;
    }
    EXPECT_GE(fd, 0) << "cannot build the folder chain";
    const int file = fd < 0 ? -1 : openat(fd, "end.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(file < 0 ? -1 : write(file, "end", 3), 3);
    if (file >= 0) close(file);
    if (fd >= 0) close(fd);
  }
  ~FolderChain() {
    int fd = open(root_.c_str(), O_RDONLY | O_DIRECTORY);
    int depth = 0;
    for (int next; depth < depth_ && (next = openat(fd, "d", O_RDONLY | O_DIRECTORY)) >= 0; ++depth) {
      close(fd);
      fd = next;
    }
    unlinkat(fd, "end.txt", 0);
    for (; depth > 0; --depth) {
      const int up = openat(fd, "..", O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = up;
      unlinkat(fd, "d", AT_REMOVEDIR);
    }
    close(fd);
  }

 private:
  std::string root_;
  int depth_;
};

TEST(WinRarPack, AFolderTreeOfAnyDepthIsPackedOrRefusedClearly) {
  struct Case {
    int depth;
    int code;
    const char* message;
  };
  // 1,900 folders of one letter stay within the longest path a call takes
  // (4,096 bytes); 2,100 do not.
  for (const Case& c : {Case{1900, 0, ""}, Case{2100, 2, "路径太长"}}) {
    SCOPED_TRACE(c.depth);
    TempDir t;
    MakeDirs(t / "site");
    FolderChain chain(t / "site", c.depth);
    RunResult r = Pack(t / "site.rar", t / "site");
    EXPECT_EQ(r.code, c.code) << r.err.substr(0, 300);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err.substr(0, 300);
    if (c.code == 0) {
      std::string deepest;
      for (int i = 0; i < c.depth; ++i) deepest += "d\\";
      EXPECT_NE(ReadFile(t / "site.rar").find(deepest + "end.txt"), std::string::npos);
      EXPECT_EQ(NamesInOrder(t / "site.rar").size(), static_cast<std::size_t>(c.depth) + 1);
    } else {
      EXPECT_FALSE(fs::exists(t / "site.rar"));
    }
  }
}

TEST(WinRarPack, NamesThatDifferOnlyInTheirUnicodeFormStayApart) {
  TempDir t;
  const std::string nfc = "caf\xC3\xA9.htm", nfd = "cafe\xCC\x81.htm";
  WriteFile(t / ("site/" + nfc), "composed");
  WriteFile(t / ("site/" + nfd), "decomposed");
  // A page document names its link target in the form the file has.
  WriteFile(t / "site/r\x65\xCC\x81sume\xCC\x81/index.xml", "<page/>");
  RunResult packed = Pack(t / "site.rar", t / "site");
  ASSERT_EQ(packed.code, 0) << packed.err;

  RunResult unpacked = Unpack(t / "site.rar", t / "dest");
  ASSERT_EQ(unpacked.code, 0) << unpacked.err;
  EXPECT_EQ(Snapshot(t / "dest"), Snapshot(t / "site"));
}

// ---- unpacking ----

TEST(WinRarUnpack, ReadsCodePageNamesAndReplacesExistingFiles) {
  TempDir t;
  const std::string archive = t / "x.rar";
  WriteFile(archive, Archive({{Gbk("中文"), "", 2, 0x10, 0x8000 | 0x00E0},
                              {Gbk("中文\\讲义.txt"), "新内容"},
                              {"plain.txt", "new"}}));
  WriteFile(t / "dest/plain.txt", "old and longer");
  WriteFile(t / "dest/unrelated.txt", "stays");

  RunResult r = Unpack(archive, t / "dest");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Snapshot(t / "dest"), (std::map<std::string, std::string>{{"中文", "dir"},
                                                                         {"中文/讲义.txt", "file:新内容"},
                                                                         {"plain.txt", "file:new"},
                                                                         {"unrelated.txt", "file:stays"}}));
}

TEST(WinRarUnpack, RefusesEntriesThatLeaveTheDestination) {
  struct Case {
    const char* what;
    std::function<std::vector<Entry>(const TempDir&)> entries;
  };
  const std::vector<Case> cases = {
      {"a climbing path", [](const TempDir&) { return std::vector<Entry>{{"..\\evil.txt", "evil"}}; }},
      {"a path that climbs past its own folder",
       [](const TempDir&) { return std::vector<Entry>{{"sub\\..\\..\\evil.txt", "evil"}}; }},
      {"an absolute path",
       [](const TempDir& t) {
         std::string name = t / "outside/evil.txt";
         std::replace(name.begin(), name.end(), '/', '\\');
         return std::vector<Entry>{{name, "evil"}};
       }},
      {"a link that climbs out, then a file through it",
       [](const TempDir&) {
         return std::vector<Entry>{{"lnk", "../outside", 3, 0120777}, {"lnk\\evil.txt", "evil", 3, 0100644}};
       }},
      {"a link to an absolute path, then a file through it",
       [](const TempDir& t) {
         return std::vector<Entry>{{"lnk", t / "outside", 3, 0120777}, {"lnk\\evil.txt", "evil", 3, 0100644}};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    MakeDirs(t / "outside");
    std::vector<Entry> entries = c.entries(t);
    entries.push_back({"good.txt", "good"});
    WriteFile(t / "x.rar", Archive(entries));

    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("拒绝解压"), std::string::npos) << r.err;
    // Nothing outside the destination; the sound entry after it is there.
    EXPECT_EQ(Names(t.path()), Sorted({"dest", "outside", "x.rar"}));
    EXPECT_TRUE(fs::is_empty(t / "outside"));
    EXPECT_EQ(ReadFile(t / "dest/good.txt"), "good");
    for (const auto& [path, what] : Snapshot(t / "dest"))
      EXPECT_EQ(what.rfind("link:", 0), std::string::npos) << path << " " << what;
  }
}

TEST(WinRarUnpack, DoesNotWriteThroughLinksAlreadyInTheDestination) {
  TempDir t;
  WriteFile(t / "outside/target.txt", "keep");
  MakeDirs(t / "dest");
  fs::create_directory_symlink(t / "outside", t / "dest/sub");
  fs::create_symlink(t / "outside/target.txt", t / "dest/file.txt");
  WriteFile(t / "outside/linked.txt", "keep too");
  fs::create_hard_link(t / "outside/linked.txt", t / "dest/hard.txt");
  WriteFile(t / "x.rar", Archive({{"sub\\x.txt", "evil"}, {"file.txt", "new"}, {"hard.txt", "new"}}));

  RunResult r = Unpack(t / "x.rar", t / "dest");
  EXPECT_NE(r.code, 0);
  EXPECT_NE(r.err.find("sub/x.txt"), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(t / "outside"), (std::map<std::string, std::string>{{"linked.txt", "file:keep too"},
                                                                            {"target.txt", "file:keep"}}));
  // Replacing a file replaced the link, not the file it led to.
  EXPECT_FALSE(fs::is_symlink(t / "dest/file.txt"));
  EXPECT_EQ(ReadFile(t / "dest/file.txt"), "new");
  EXPECT_EQ(ReadFile(t / "dest/hard.txt"), "new");
}

// A chain of 1,500 folders "d", a file at every level, unpacked whole; a
// link at level 700, the archive's own or one the user has to a folder
// outside, ends the chain there: nothing below it is written through it.
TEST(WinRarUnpack, ADeepTreeIsUnpackedWholeAndALinkPartWayDownIsRefused) {
  constexpr int kDepth = 1500, kLinkAt = 700;
  struct Case {
    const char* what;
    bool ownLink;   // the archive's entry at level kLinkAt is a link
    bool userLink;  // the user has a link to outside at that level
  };
  for (const Case& c : {Case{"no link", false, false}, Case{"the archive's own link", true, false},
                        Case{"the user's link to outside", false, true}}) {
    SCOPED_TRACE(c.what);
    TempDir t;
    MakeDirs(t / "outside");
    const bool linked = c.ownLink || c.userLink;
    std::vector<Entry> entries;
    std::map<std::string, std::string> expected;
    std::string name, path, linkPath;
    for (int level = 1; level <= kDepth; ++level) {
      name += level == 1 ? "d" : "\\d";
      path += level == 1 ? "d" : "/d";
      const std::string content = "level " + std::to_string(level);
      if (c.ownLink && level == kLinkAt) {
        entries.push_back({name, "elsewhere", 3, 0120777});
      } else {
        entries.push_back({name, "", 2, 0x10, 0x8000 | 0x00E0});
      }
      entries.push_back({name + "\\f.txt", content});
      if (level == kLinkAt && linked) {
        linkPath = path;
        expected[path] = c.ownLink ? "link:elsewhere" : "link:" + t / "outside";
      } else if (!linked || level < kLinkAt) {
        expected[path] = "dir";
        expected[path + "/f.txt"] = "file:" + content;
      }
    }
    WriteFile(t / "x.rar", Archive(entries));
    if (c.userLink) {
      MakeDirs(t / ("dest/" + linkPath.substr(0, linkPath.size() - 2)));
      fs::create_directory_symlink(t / "outside", t / ("dest/" + linkPath));
    }

    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, linked ? 9 : 0) << r.err.substr(0, 300);
    if (linked) {
      EXPECT_NE(r.err.find("它的路径经过符号链接 " + linkPath + "，"), std::string::npos) << r.err.substr(0, 300);
    }
    EXPECT_TRUE(fs::is_empty(t / "outside"));
    const std::map<std::string, std::string> got = Snapshot(t / "dest");
    EXPECT_EQ(got.size(), expected.size());
    auto differ = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    if (differ.first != got.end()) {
      const std::string& at = differ.first->first;
      ADD_FAILURE() << "first difference " << std::count(at.begin(), at.end(), '/') + 1 << " names down: ..."
                    << at.substr(at.size() - std::min<std::size_t>(at.size(), 12)) << " " << differ.first->second;
    }
  }
}

// The folders "d" below a folder, one below the other, as far as they go.
int ChainDepth(const std::string& root) {
  int depth = 0;
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int next; fd >= 0 && (next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW)) >= 0; ++depth) {
    close(fd);
    fd = next;
  }
  if (fd >= 0) close(fd);
  return depth;
}

// No path from the destination, of a folder or of a file, is made longer
// than a call takes (4,096 bytes with its end): 2,048 folders of one letter
// fit, the 2,049th and the file below do not.
TEST(WinRarUnpack, AnEntryDeeperThanAPathCanNameIsRefused) {
  TempDir t;
  std::string name = "d";
  for (int level = 2; level <= 2100; ++level) name += "\\d";
  WriteFile(t / "x.rar", Archive({{name + "\\end.txt", "deep"}, {"a.txt", "a"}}));
  RunResult r = Unpack(t / "x.rar", t / "dest");
  EXPECT_EQ(r.code, 9) << r.err.substr(0, 300);
  EXPECT_NE(r.err.find("无法创建文件夹 d/d/"), std::string::npos) << r.err.substr(0, 300);
  EXPECT_NE(r.err.find("File name too long"), std::string::npos) << r.err.substr(0, 300);
  EXPECT_EQ(ReadFile(t / "dest/a.txt"), "a");
  EXPECT_EQ(ChainDepth(t / "dest"), 2048);
}

TEST(WinRarUnpack, DamagedEntriesGiveTheCrcStatus) {
  struct Case {
    const char* what;
    Entry damaged;
    bool existing;                  // dest/bad.txt holds "ORIGINAL" before
    std::vector<std::string> left;  // what the destination holds afterwards
  };
  Entry badData{"bad.txt", "this is not what was packed"};
  badData.crc = 0x12345678;
  Entry badHeader{"bad.txt", "fine data"};
  badHeader.spoilHeaderCrc = true;
  const std::vector<Case> cases = {
      // The damaged file is not left behind; the rest is still unpacked.
      {"data that does not match its CRC", badData, false, {"after.txt", "before.txt"}},
      // The check comes before the rename: the user's file is its old self.
      {"data that does not match its CRC, over a file", badData, true, {"after.txt", "bad.txt", "before.txt"}},
      // A damaged header ends the reading: nothing after it can be trusted.
      {"a header that does not match its CRC", badHeader, false, {"before.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", Archive({{"before.txt", "1"}, c.damaged, {"after.txt", "2"}}));
    if (c.existing) WriteFile(t / "dest/bad.txt", "ORIGINAL");
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_EQ(Names(t / "dest"), c.left);
    if (c.existing) {
      EXPECT_EQ(ReadFile(t / "dest/bad.txt"), "ORIGINAL");
    }
  }
}

TEST(WinRarUnpack, Rar5EntriesAreCheckedAgainstTheCrcInTheirHeaders) {
  std::string data;
  for (int i = 0; i < 100000; ++i) data.push_back(static_cast<char>((i * 7919) % 251));
  const std::vector<Rar5File> before{{"sub", "", true, std::nullopt}, {"sub/e.txt", "before", false, std::nullopt}};
  auto archiveWith = [&](const Rar5File& last) {
    std::vector<Rar5File> files = before;
    files.push_back(last);
    return Rar5Archive(files);
  };
  const std::string sound = archiveWith({"d.bin", data, false, std::nullopt});
  std::string flipped = sound;
  flipped[sound.size() - 8 /* end of archive */ - data.size() + 54321] ^= 0x08;
  Rar5File wrongCrc{"d.bin", data, false, std::nullopt};
  wrongCrc.crc = Crc32(data) ^ 1;
  struct Case {
    const char* what;
    std::string archive;
    bool sound;
  };
  const std::vector<Case> cases = {
      {"a sound entry", sound, true},
      {"a bit of the data flipped", flipped, false},
      {"a wrong CRC in the file header", archiveWith(wrongCrc), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", c.archive);
    // Independent readers take the hand-made archive as RAR 5, and unar
    // finds the damage where we mean it.
    EXPECT_EQ(Listing(t / "x.rar"), Sorted({"d sub", "- sub/e.txt", "- d.bin"}));
    RunResult byUnar = Unar(t / "x.rar", t / "by-unar");
    EXPECT_EQ(byUnar.code == 0, c.sound) << byUnar.out << byUnar.err;

    WriteFile(t / "dest/d.bin", "ORIGINAL");
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, c.sound ? 0 : 3) << r.err;
    EXPECT_EQ(ReadFile(t / "dest/sub/e.txt"), "before");
    // A damaged entry is not renamed into place: the user's file stays.
    EXPECT_TRUE(ReadFile(t / "dest/d.bin") == (c.sound ? data : "ORIGINAL"));
    EXPECT_EQ(Names(t / "dest"), Sorted({"d.bin", "sub"}));
    if (!c.sound) {
      EXPECT_NE(r.err.find("d.bin 的 CRC 校验错误"), std::string::npos) << r.err;
    }
  }
}

// The archivers before RAR 2.9 wrote no end-of-archive block: an archive
// whose last block ends at the end of the file is whole. (One cut inside a
// block is damage, as the tests above show.)
TEST(WinRarUnpack, ARar4ArchiveWithoutTheEndBlockOfLaterArchiversIsWhole) {
  const std::string whole = Archive({{"a.txt", "1"}, {"b.txt", "2"}});
  TempDir t;
  WriteFile(t / "x.rar", whole.substr(0, whole.size() - 7));
  EXPECT_EQ(Listing(t / "x.rar"), Sorted({"- a.txt", "- b.txt"}));
  RunResult r = Unpack(t / "x.rar", t / "dest");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Snapshot(t / "dest"), (std::map<std::string, std::string>{{"a.txt", "file:1"}, {"b.txt", "file:2"}}));
}

// The user's files at the names of the entries, before an unpack.
void PutOriginals(const std::string& dest, const std::vector<std::string>& names) {
  for (const std::string& name : names) WriteFile(dest + "/" + name, "ORIGINAL");
}

// After an unpack that failed: each file at an entry's name is the user's
// own or the entry's whole content, never anything else.
void ExpectOriginalOrWhole(const std::string& dest, const std::vector<Rar5File>& files) {
  for (const Rar5File& f : files) {
    const std::string there = ReadFile(dest + "/" + f.name);
    EXPECT_TRUE(there == "ORIGINAL" || there == f.data) << f.name << ": " << there;
  }
}

TEST(WinRarUnpack, ARar5ArchiveIsWrittenWholeOrSaysWhatWasNot) {
  const std::vector<Rar5File> files{{"e1.txt", "first"}, {"e2.txt", "second"}, {"e3.txt", "third"}};
  const std::string start = Rar5Start() + Rar5FileBlock(files[0]);
  const std::string rest = Rar5FileBlock(files[1]) + Rar5FileBlock(files[2]) + Rar5End();
  // A file header's fields with the name size or the extra-area size
  // absurd, each header's own CRC sound.
  const std::string hugeName = Rar5Header(Vint(2) + Vint(0x0002) + Vint(0) + Vint(0x0002 | 0x0004) + Vint(0) +
                                          Vint(0100644) + Le32(0) + Le32(0) + Vint(0) + Vint(1) +
                                          Vint(1ull << 40) + "x");
  const std::string hugeExtra = Rar5Header(Vint(2) + Vint(0x0001 | 0x0002) + Vint(1ull << 63) + Vint(0) +
                                           Rar5FileFields({"x", ""}));
  struct Case {
    const char* what;
    std::string archive;
    std::vector<std::string> written;  // the entries whose content is there afterwards
    const char* message;
  };
  const std::vector<Case> cases = {
      {"cut six bytes into the second header", start + rest.substr(0, 6), {"e1.txt"}, "不完整"},
      {"without its end block", start + rest.substr(0, rest.size() - Rar5End().size()),
       {"e1.txt", "e2.txt", "e3.txt"}, "结束块"},
      {"a header size past the end of the file", start + Le32(0) + Vint(1 << 20) + Vint(2), {"e1.txt"},
       "不完整"},
      {"a name size of 2^40", start + hugeName + rest, {"e1.txt"}, "块头不对"},
      {"an extra-area size of 2^63", start + hugeExtra + rest, {"e1.txt"}, "块头不对"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", c.archive);
    // unar reads the archive as RAR 5 up to the damage, and says no more.
    if (auto byLsar = LsarTest(t / "x.rar")) {
      EXPECT_NE(byLsar->out.find(": RAR 5\ne1.txt... OK."), std::string::npos) << byLsar->out;
    }
    PutOriginals(t / "dest", {"e1.txt", "e2.txt", "e3.txt"});
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    for (const Rar5File& f : files) {
      const bool written = std::find(c.written.begin(), c.written.end(), f.name) != c.written.end();
      EXPECT_EQ(ReadFile(t / ("dest/" + f.name)), written ? f.data : "ORIGINAL") << f.name;
    }
    EXPECT_EQ(Names(t / "dest"), Sorted({"e1.txt", "e2.txt", "e3.txt"}));
  }
}

TEST(WinRarUnpack, ARar5ArchiveCutAnywhereIsNeverTakenAsWhole) {
  const std::vector<Rar5File> files{
      {"a.txt", "alpha"}, {"sub", "", true}, {"sub/b.txt", std::string(300, 'b')}, {"c.txt", "gamma"}};
  const std::string whole = Rar5Archive(files);
  std::vector<Rar5File> checked;
  for (const Rar5File& f : files)
    if (!f.directory) checked.push_back(f);
  TempDir t;
  for (std::size_t keep = 8; keep < whole.size(); ++keep) {
    SCOPED_TRACE(keep);
    WriteFile(t / "x.rar", whole.substr(0, keep));
    fs::remove_all(t / "dest");
    PutOriginals(t / "dest", {"a.txt", "sub/b.txt", "c.txt"});
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 3) << r.err;
    ExpectOriginalOrWhole(t / "dest", checked);
  }
}

// A symbolic link as RAR 5 keeps it: a file header without data whose
// extra area holds a redirection record (type 1, a Unix link; type 4, a
// hard link to an entry before it).
std::string Rar5LinkBlock(const std::string& name, const std::string& target, bool hard = false) {
  const std::string record = Vint(5) + Vint(hard ? 4 : 1) + Vint(0) + Vint(target.size()) + target;
  const std::string extra = Vint(record.size()) + record;
  const std::string fields = Vint(0x0002) + Vint(0) + Vint(hard ? 0100644 : 0120777) + Le32(1614852000) + Vint(0) +
                             Vint(1) + Vint(name.size()) + name;
  return Rar5Header(Vint(2) + Vint(0x0001 | 0x0002) + Vint(extra.size()) + Vint(0) + fields + extra);
}

TEST(WinRarUnpack, ARar5BlockMarkedSkipIfUnknownIsSkipped) {
  const std::vector<Rar5File> files{{"e1.txt", "first"}, {"e2.txt", "second"}, {"e3.txt", "third"}};
  const std::string unknown = Rar5Block(77, "", std::string("?"), 0x0004);
  struct Case {
    const char* what;
    std::string archive;
    bool whole;  // every entry written; else e2.txt and e3.txt are named as not written
  };
  const std::vector<Case> cases = {
      // libarchive stops at the block without a word; stored entries are
      // read past it here.
      {"between stored entries",
       Rar5Start() + Rar5FileBlock(files[0]) + unknown + Rar5FileBlock(files[1]) + Rar5FileBlock(files[2]) +
           Rar5End(),
       true},
      // A link is read through libarchive, which then delivers nothing
      // after the block.
      {"after a link",
       Rar5Start() + Rar5LinkBlock("lnk", "e1.txt") + Rar5FileBlock(files[0]) + unknown +
           Rar5FileBlock(files[1]) + Rar5FileBlock(files[2]) + Rar5End(),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", c.archive);
    if (auto byLsar = LsarTest(t / "x.rar")) {
      EXPECT_EQ(byLsar->code, 0) << byLsar->out << byLsar->err;
      EXPECT_NE(byLsar->out.find("e3.txt... OK."), std::string::npos) << byLsar->out;
    }
    PutOriginals(t / "dest", {"e1.txt", "e2.txt", "e3.txt"});
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, c.whole ? 0 : 3) << r.err;
    for (const Rar5File& f : files) {
      const bool written = c.whole || f.name == "e1.txt";
      EXPECT_EQ(ReadFile(t / ("dest/" + f.name)), written ? f.data : "ORIGINAL") << f.name;
      if (written) {
        EXPECT_EQ(Mtime(t / ("dest/" + f.name)), 1614852000) << f.name;
      } else {
        EXPECT_NE(r.err.find(f.name + "：压缩包中有它的文件头，却没能读出它"), std::string::npos) << r.err;
      }
    }
  }
}

TEST(WinRarUnpack, APartOfAFileSplitOverVolumesIsRefused) {
  // bsdtar passes over a part continued from a volume before.
  const struct {
    std::uint64_t flags;
    const char* what;
    std::vector<std::string> listed;
  } kParts[] = {
      {0x0010, "continued in the next volume", {"- e1.txt", "- e2.txt", "- e3.txt"}},
      {0x0008, "continued from the previous volume", {"- e1.txt", "- e3.txt"}},
      {0x0018, "continued both ways", {"- e1.txt", "- e3.txt"}},
  };
  for (const auto& row : kParts) {
    SCOPED_TRACE(row.what);
    Rar5File part{"e2.txt", "12345"};
    part.unpackedSize = 10;
    part.blockFlags = row.flags;
    const std::string archive = Rar5Start(0x0001 /* a volume */) + Rar5FileBlock({"e1.txt", "first"}) +
                                Rar5FileBlock(part) + Rar5FileBlock({"e3.txt", "third"}) + Rar5End();
    TempDir t;
    WriteFile(t / "x.rar", archive);
    EXPECT_EQ(Listing(t / "x.rar"), Sorted(row.listed));
    PutOriginals(t / "dest", {"e2.txt"});
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("e2.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("不支持分卷压缩包"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(t / "dest/e1.txt"), "first");
    EXPECT_EQ(ReadFile(t / "dest/e2.txt"), "ORIGINAL");
    EXPECT_EQ(ReadFile(t / "dest/e3.txt"), "third");
  }
}

// A hard link is written as a copy of the file it names, which must be one
// already in the destination, reached without passing through a link.
TEST(WinRarUnpack, AHardLinkCopiesAFileOfTheDestinationNeverOneThroughALink) {
  TempDir t;
  WriteFile(t / "outside/secret.txt", "secret");
  MakeDirs(t / "dest");
  fs::create_directory_symlink(t / "outside", t / "dest/lnk");
  WriteFile(t / "x.rar", Rar5Start() + Rar5FileBlock({"sub", "", true}) + Rar5FileBlock({"sub/a.txt", "alpha"}) +
                             Rar5LinkBlock("copy.txt", "sub/a.txt", true) +
                             Rar5LinkBlock("stolen.txt", "lnk/secret.txt", true) +
                             Rar5LinkBlock("none.txt", "sub/missing.txt", true) + Rar5End());
  EXPECT_EQ(Listing(t / "x.rar"), Sorted({"d sub", "- sub/a.txt", "- copy.txt link to sub/a.txt",
                                          "- stolen.txt link to lnk/secret.txt", "- none.txt link to sub/missing.txt"}));
  RunResult r = Unpack(t / "x.rar", t / "dest");
  EXPECT_EQ(r.code, 9) << r.err;
  EXPECT_NE(r.err.find("拒绝解压 stolen.txt：它的路径经过符号链接 lnk，"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("none.txt：它链接的文件不在目标文件夹中"), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(t / "dest"), (std::map<std::string, std::string>{{"copy.txt", "file:alpha"},
                                                                         {"lnk", "link:" + t / "outside"},
                                                                         {"sub", "dir"},
                                                                         {"sub/a.txt", "file:alpha"}}));
  EXPECT_EQ(Snapshot(t / "outside"), (std::map<std::string, std::string>{{"secret.txt", "file:secret"}}));
}

TEST(WinRarUnpack, AnEntryMustHoldTheSizeItsHeaderGives) {
  Entry shortRar4{"e.txt", "12345"}, longRar4{"e.txt", "1234567890"};
  shortRar4.unpackedSize = 10;
  longRar4.unpackedSize = 5;
  Rar5File shortRar5{"e.txt", "12345"}, longRar5{"e.txt", "1234567890"};
  shortRar5.unpackedSize = 10;
  longRar5.unpackedSize = 5;
  struct Case {
    const char* what;
    std::string archive;
    bool link;  // a link "lnk" comes first, so libarchive reads the archive
  };
  const std::vector<Case> cases = {
      {"RAR 4, data shorter than the header says", Archive({{"a.txt", "a"}, shortRar4}), false},
      {"RAR 4, data longer than the header says", Archive({{"a.txt", "a"}, longRar4}), false},
      {"RAR 5, data shorter than the header says", Rar5Archive({{"a.txt", "a"}, shortRar5}), false},
      {"RAR 5, data longer than the header says", Rar5Archive({{"a.txt", "a"}, longRar5}), false},
      {"RAR 5 through libarchive, data shorter than the header says",
       Rar5Start() + Rar5LinkBlock("lnk", "a.txt") + Rar5FileBlock({"a.txt", "a"}) + Rar5FileBlock(shortRar5) +
           Rar5End(),
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", c.archive);
    std::vector<std::string> listed{"- a.txt", "- e.txt"}, names{"a.txt", "e.txt"};
    if (c.link) {
      listed.push_back("l lnk -> a.txt");
      names.push_back("lnk");
    }
    EXPECT_EQ(Listing(t / "x.rar"), Sorted(listed));
    PutOriginals(t / "dest", {"e.txt"});
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find("e.txt"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(t / "dest/a.txt"), "a");
    EXPECT_EQ(ReadFile(t / "dest/e.txt"), "ORIGINAL");
    EXPECT_EQ(Names(t / "dest"), Sorted(names));
  }
}

TEST(WinRarUnpack, AnArchiveAfterAPrefixOrACommentIsCheckedEntryByEntry) {
  // What a self-extractor has before its archive: a program of 64 KiB.
  const std::string program = "MZ" + std::string((64 << 10) - 2, '\x90');
  Entry badRar4{"e.txt", "not what was packed"};
  badRar4.crc = 0x12345678;
  Rar5File badRar5{"e.txt", "not what was packed"};
  badRar5.crc = 0x12345678;
  auto rar4 = [](const Entry& e) { return Archive({{"a.txt", "a"}, e}); };
  auto rar5 = [](const Rar5File& e) { return Rar5Archive({{"a.txt", "a"}, e}); };
  // A comment block of the older archivers before the archive header:
  // UNP_SIZE, UNP_VER, METHOD (stored), COMM_CRC, then the text.
  auto commented = [](const Entry& e) {
    const std::string text = "comment";
    std::string rar = Archive({{"a.txt", "a"}, e});
    const std::string comment =
        Block(0x75, 0, Le16(text.size()) + std::string(1, 20) + std::string(1, 0x30) + Le16(Crc32(text)) + text);
    return rar.insert(7, comment);
  };
  struct Case {
    const char* what;
    std::string archive;
    bool sound;
    bool unarKnows;  // unar takes the program for what it is only before RAR 4
  };
  const std::vector<Case> cases = {
      {"RAR 4 after a program", program + rar4({"e.txt", "packed"}), true, true},
      {"RAR 4 after a program, damaged", program + rar4(badRar4), false, true},
      {"RAR 5 after a program", program + rar5({"e.txt", "packed"}), true, false},
      {"RAR 5 after a program, damaged", program + rar5(badRar5), false, false},
      {"RAR 4 after a comment block", commented({"e.txt", "packed"}), true, true},
      {"RAR 4 after a comment block, damaged", commented(badRar4), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", c.archive);
    EXPECT_EQ(Listing(t / "x.rar"), Sorted({"- a.txt", "- e.txt"}));
    if (auto byLsar = c.unarKnows ? LsarTest(t / "x.rar") : std::nullopt) {
      EXPECT_EQ(byLsar->code == 0, c.sound) << byLsar->out << byLsar->err;
      EXPECT_NE(byLsar->out.find(c.sound ? "2 passed" : "Checksum failed"), std::string::npos) << byLsar->out;
    }
    PutOriginals(t / "dest", {"e.txt"});
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, c.sound ? 0 : 3) << r.err;
    EXPECT_EQ(ReadFile(t / "dest/a.txt"), "a");
    EXPECT_EQ(ReadFile(t / "dest/e.txt"), c.sound ? "packed" : "ORIGINAL");
    if (!c.sound) {
      EXPECT_NE(r.err.find("e.txt 的 CRC 校验错误"), std::string::npos) << r.err;
    }
  }
}

TEST(WinRarUnpack, ANulInANameOrALinkTargetIsDamage) {
  using namespace std::string_literals;
  // The Unicode form "e.txt", U+0000, "x": a high byte, then groups of
  // four single bytes, each after its flag byte.
  const std::string unicodeField = "zz.txt\0"s + "\0\0e.tx\0t\0x"s;
  struct Case {
    const char* what;
    std::string archive;
    const char* kept;  // the user's file at the entry's name
  };
  const std::vector<Case> cases = {
      {"a code-page name", Archive({{"e.txt\0x"s, "evil"}, {"a.txt", "a"}}), "e.txt"},
      {"a Unicode name", Archive({{unicodeField, "evil", 2, 0x20, 0x8000 | 0x0200}, {"a.txt", "a"}}), "e.txt"},
      {"a folder name climbing out", Archive({{"..\0z"s, "", 2, 0x10, 0x8000 | 0x00E0}, {"a.txt", "a"}}), nullptr},
      {"a link target climbing out", Archive({{"e.txt", "..\0"s, 3, 0120777}, {"a.txt", "a"}}), "e.txt"},
      {"a RAR 5 name", Rar5Archive({{"e.txt\0x"s, "evil"}, {"a.txt", "a"}}), "e.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", c.archive);
    EXPECT_EQ(Bsdtar({"-tf", t / "x.rar"}).code, 0);
    MakeDirs(t / "dest");
    if (c.kept) PutOriginals(t / "dest", {c.kept});
    SetMtime(t.path(), 2001, 2, 3, 4, 5, 6);
    const std::time_t above = Mtime(t.path());
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find("NUL"), std::string::npos) << r.err;
    EXPECT_EQ(Mtime(t.path()), above);
    std::map<std::string, std::string> left{{"a.txt", "file:a"}};
    if (c.kept) left[c.kept] = "file:ORIGINAL";
    EXPECT_EQ(Snapshot(t / "dest"), left);
  }
}

TEST(WinRarUnpack, AnEntryDoesNotReplaceWhatIsThereOfTheOtherKind) {
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    std::function<void(const TempDir&)> before;  // what the user has in dest
    std::map<std::string, std::string> after;
  };
  const std::vector<Case> cases = {
      {"a folder entry over a file",
       {{"notes.txt", "", 2, 0x10, 0x8000 | 0x00E0}, {"other.txt", "other"}},
       [](const TempDir& t) { WriteFile(t / "dest/notes.txt", "ORIGINAL"); },
       {{"notes.txt", "file:ORIGINAL"}, {"other.txt", "file:other"}}},
      {"a folder entry over a link",
       {{"notes.txt", "", 2, 0x10, 0x8000 | 0x00E0}, {"other.txt", "other"}},
       [](const TempDir& t) {
         MakeDirs(t / "dest");
         fs::create_symlink("other.txt", t / "dest/notes.txt");
       },
       {{"notes.txt", "link:other.txt"}, {"other.txt", "file:other"}}},
      {"a file entry over a folder",
       {{"notes.txt", "new"}, {"other.txt", "other"}},
       [](const TempDir& t) { WriteFile(t / "dest/notes.txt/mine.txt", "ORIGINAL"); },
       {{"notes.txt", "dir"}, {"notes.txt/mine.txt", "file:ORIGINAL"}, {"other.txt", "file:other"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", Archive(c.entries));
    c.before(t);
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 9) << r.err;
    EXPECT_NE(r.err.find("notes.txt"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(t / "dest"), c.after);
  }
}

TEST(WinRarUnpack, MissingOrForeignArchiveIsFatal) {
  TempDir t;
  WriteFile(t / "text.rar", "not an archive at all");
  const std::pair<std::string, std::string> cases[] = {
      {t / "missing.rar", "无法打开 " + t / "missing.rar"},
      {t / "text.rar", "无法打开 " + t / "text.rar" + "：它不是可识别的压缩包格式"},
  };
  for (const auto& [archive, message] : cases) {
    SCOPED_TRACE(archive);
    RunResult r = Unpack(archive, t / "dest");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("WinRAR: " + message, 0), 0u) << r.err;
  }
}

using testing_support::FileSizeLimit;

TEST(WinRarUnpack, AFailedWriteLeavesNoTornFileAndIsReported) {
  struct Case {
    const char* what;
    bool existing;  // dest/keep.txt is there before
  };
  for (const Case& c : {Case{"replacing a file", true}, Case{"a new file", false}}) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", Archive({{"small.txt", "fits"}, {"keep.txt", std::string(800 << 10, 'N')}}));
    MakeDirs(t / "dest");
    if (c.existing) WriteFile(t / "dest/keep.txt", "ORIGINAL");
    RunResult r;
    {
      FileSizeLimit limit(500 << 10);
      r = Unpack(t / "x.rar", t / "dest");
    }
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("无法写入 keep.txt"), std::string::npos) << r.err;
    // The replaced file is its old self; no temporary file stays.
    EXPECT_EQ(Names(t / "dest"), c.existing ? Sorted({"keep.txt", "small.txt"}) : Sorted({"small.txt"}));
    if (c.existing) {
      EXPECT_TRUE(ReadFile(t / "dest/keep.txt") == "ORIGINAL");
    }
    EXPECT_EQ(ReadFile(t / "dest/small.txt"), "fits");
  }
}

TEST(WinRarUnpack, EveryEntrysCrcIsCheckedWhateverHappensToTheOthers) {
  Entry wrongCrc{"data.txt", "not what was packed"};
  wrongCrc.crc = 0x12345678;
  // A Unicode name whose last operation wants two bytes and has one.
  Entry damagedName{"name" + std::string(1, '\0') + std::string("\x00\x80\x41", 3), "x", 2, 0x20,
                    0x8000 | 0x0200};
  Entry spoiledHeader{"spoiled.txt", "fine"};
  spoiledHeader.spoilHeaderCrc = true;
  const std::string sound = Archive({{"before.txt", "1"}, wrongCrc, {"after.txt", "2"}});

  struct Case {
    const char* what;
    std::string archive;
    std::vector<std::string> left;
    const char* damage;  // how the other damage is reported
  };
  const std::vector<Case> cases = {
      {"another entry's name field is damaged",
       Archive({{"before.txt", "1"}, wrongCrc, damagedName, {"after.txt", "2"}}), {"after.txt", "before.txt"},
       "name：它的名称字段已损坏"},
      {"a later entry is cut off", sound.substr(0, sound.size() - 7 - 1), {"before.txt"}, "不完整"},
      {"a later entry's header is damaged", Archive({{"before.txt", "1"}, wrongCrc, spoiledHeader}),
       {"before.txt"}, "块头的 CRC 校验错误"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", c.archive);
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find("data.txt 的 CRC 校验错误"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.damage), std::string::npos) << r.err;
    EXPECT_EQ(Names(t / "dest"), c.left);
  }
}

TEST(WinRarUnpack, EntriesThatLandOnOnePlace) {
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    int code;
    const char* message;
    const char* content;  // of dest/a/b.txt afterwards
  };
  const std::vector<Case> cases = {
      // -o+ replaces whatever is there, an earlier entry too.
      {"the same name twice", {{"a\\b.txt", "first"}, {"a\\b.txt", "second"}}, 0, "两次", "second"},
      {"two spellings of one path", {{"a\\b.txt", "first"}, {"a\\.\\b.txt", "second"}}, 9, "同一个路径",
       "first"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir t;
    WriteFile(t / "x.rar", Archive(c.entries));
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(t / "dest/a/b.txt"), c.content);
  }
}

TEST(WinRarUnpack, AnArchiveCutOffInAHeaderSaysSo) {
  const std::string first = Archive({{"a.txt", "1"}});
  const std::string whole = Archive({{"a.txt", "1"}, {"second.txt", "2"}});
  const std::size_t secondAt = first.size() - 7;  // where the end block was
  // Cut in the block's first seven bytes, in its fixed fields, in its name.
  for (std::size_t keep : {std::size_t{3}, std::size_t{20}, std::size_t{35}}) {
    SCOPED_TRACE(keep);
    TempDir t;
    WriteFile(t / "x.rar", whole.substr(0, secondAt + keep));
    RunResult r = Unpack(t / "x.rar", t / "dest");
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_EQ(r.err.find("(null)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("已损坏"), std::string::npos) << r.err;
    EXPECT_EQ(Names(t / "dest"), std::vector<std::string>{"a.txt"});
  }
}

// ---- archives that are not files ----

TEST(WinRar, AnArchiveThatIsNotARegularFileIsRefusedAtOnce) {
  TempDir t;
  WriteFile(t / "src/a.txt", "a");
  ASSERT_EQ(mkfifo((t / "fifo.rar").c_str(), 0600), 0);
  for (bool packing : {false, true}) {
    SCOPED_TRACE(packing ? "packing into it" : "unpacking it");
    const auto start = std::chrono::steady_clock::now();
    RunResult r = packing ? Pack(t / "fifo.rar", t / "src") : Unpack(t / "fifo.rar", t / "dest");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("不是普通文件"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(t / "dest/a.txt"));
}

// ---- the command line ----

TEST(WinRar, AnyOtherCommandLineIsAUsageError) {
  TempDir t;
  WriteFile(t / "src/a.txt", "a");
  const std::string arc = t / "x.rar", src = t / "src";
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"a"},
      {"a", "-m0", "-ep1", "-r", arc},
      {"a", "-m5", "-ep1", "-r", arc, src + "/*.*"},
      {"a", "-m0", "-ep1", arc, src + "/*.*"},
      {"a", "-m0", "-ep1", "-r", "-y", arc, src + "/*.*"},
      {"a", "-m0", "-ep1", "-r", arc, src},
      {"a", "-m0", "-ep1", "-r", arc, src + "/*.txt"},
      {"a", "-m0", "-ep1", "-r", arc, src + "/*.*", t / "more"},
      {"X", arc, "*.*", t / "dest"},
      {"X", "-o+", arc, "*.*"},
      {"X", "-o+", arc, "*.txt", t / "dest"},
      {"e", "-o+", arc, "*.*", t / "dest"},
      {"t", arc},
  };
  for (const auto& args : lines) {
    std::string shown;
    for (const std::string& a : args) shown += " " + a;
    SCOPED_TRACE(shown);
    RunResult r = WinRar(args);
    EXPECT_EQ(r.code, 7);
    EXPECT_NE(r.err.find("Usage"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Names(t.path()), std::vector<std::string>{"src"});
}

}  // namespace
