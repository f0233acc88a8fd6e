// The file layer's operations on files and folders, and its reads and
// writes: every change goes through the folder the run holds (see
// held_listings.h), and every file is written whole.
#include "platform/fso.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/fso_shared.h"
#include "platform/held_listings.h"
#include "platform/paths.h"
#include "platform/temp_names.h"

namespace platform {
namespace fso {

using namespace detail;

namespace {

const char* kExists = "a file or folder of that name already exists";
const char* kReadOnly = "the file is read-only";
const char* kNotRegular = "not a regular file (a FIFO, device or socket)";

// "Read-only" as the owner sees it: the owner's write bit is clear. Taken
// from the bits rather than from access(), which says yes to root for every
// file.
bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

thread_local FolderMadeObserver folderMadeObserver;
thread_local WriteStop writeStop;

// Names of the entries that are folders (wantFolders) or regular files,
// following symbolic links, sorted.
std::vector<std::string> ListNames(const std::string& folder, bool wantFolders) {
  std::vector<std::string> names;
  auto wanted = [&](const std::string& name, bool isFolder, bool isFile) {
    if (wantFolders ? isFolder : isFile) names.push_back(name);
  };
  auto followed = [&](const std::string& name) {
    struct stat st;
    if (Stat(Join(folder, name), st)) wanted(name, S_ISDIR(st.st_mode), S_ISREG(st.st_mode));
    // a dangling link is neither
  };
  if (Caching()) {
    for (const auto& [name, kind] : RunListing(folder).entries) {
      if (kind == Kind::Link)
        followed(name);
      else
        wanted(name, kind == Kind::Folder, kind == Kind::File);
    }
    return names;  // the listing is sorted already
  }
  for (auto& [name, type] : ListEntries(folder)) {
    if (type == DT_DIR || type == DT_REG)
      wanted(name, type == DT_DIR, type == DT_REG);
    else
      followed(name);
  }
  SortNames(names);
  return names;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

// --- Changing a folder's entries ---

// The folder an entry lies in, open, and the entry's name there: every
// write, creation and deletion of the layer goes through it, so what it
// changes lies in that folder and nowhere a link would lead.
struct EntryFolder {
  Fd fd;             // the folder; none when the path is taken as a whole
  std::string name;  // the entry's name in it (the whole path then)
  int dir() const { return fd.get() >= 0 ? fd.get() : AT_FDCWD; }
};


// Opens the folder the path's entry lies in. A folder the run holds is the
// folder it listed or made, reached through the descriptor it holds: one
// moved away or replaced by a link or another folder since is an error
// naming it, and nothing is changed through it. A folder the run does not
// hold, below one it holds as real, is opened from there without
// following a link.
void OpenEntryFolder(const std::string& path, const char* what, EntryFolder& at) {
  std::string folder;
  if (!SplitEntry(path, folder, at.name)) {
    at.name = path;
    return;
  }
  if (Listing* held = Caching() ? CachedAt(folder) : nullptr) {
    at.fd.reset(::dup(HeldFolder(*held, folder, what, path)));
    if (at.fd.get() < 0) Fail(what, path, errno);
    return;
  }
  at.fd.reset(OpenFolderAt(folder, O_PATH, what, path));
}

// The folder the layer has just made at the entry's name, opened from the
// folder it was made in without following a link, and held for the run: a
// link put in its place at once is an error naming it.
void HoldMadeFolder(const EntryFolder& at, const std::string& path) {
  if (folderMadeObserver) folderMadeObserver(path);
  if (!Caching()) return;
  const int fd = ::openat(at.dir(), at.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) FolderChanged(path);
  if (fd < 0) Fail("cannot create folder", path, errno);
  HoldNewFolder(fd, StripTrailing(path));
}

// Creates a new file under a name of kWriteTempPattern's form in the open
// folder, for writing; -1 with errno set when it cannot be made.
int CreateWriteTemporary(int folderFd, std::string& name) {
  static const char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  thread_local std::mt19937_64 random{std::random_device{}()};
  const std::string pattern = kWriteTempPattern;
  const std::size_t letters = pattern.size() - pattern.find_last_not_of('X') - 1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = pattern;
    for (std::size_t i = name.size() - letters; i < name.size(); ++i)
      name[i] = kLetters[random() % (sizeof kLetters - 1)];
    const int fd = ::openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Why a regular file at a target name may not be written over; null when
// it may.
using Refusal = std::function<const char*(const struct stat& existing)>;

enum class Existing { Replace, Refuse, Exclusive };

// Creates the entry's file to write, never waiting and never through a
// link: whatever is at the name, or appears there meanwhile, is an error,
// so nothing is written over. Refuse looks at the name first, so that a
// folder there is named as one; Exclusive leaves that to the create.
// Returns the descriptor, or -1 with why set.
int CreateToWrite(const EntryFolder& at, const std::string& path, mode_t mode, Existing existing,
                  std::string& why) {
  const char* name = at.name.c_str();
  struct stat st;
  if (existing == Existing::Refuse && ::fstatat(at.dir(), name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    why = S_ISDIR(st.st_mode) ? "the target is a folder" : kExists;
    return -1;
  }
  Fd fd(::openat(at.dir(), name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode));
  if (fd.get() < 0) {
    why = errno == EEXIST ? kExists : Reason(errno);
    return -1;
  }
  NoteAdded(path, Kind::File);
  return fd.Release();
}

// Opens a file to read it, never waiting: what is no regular file (a FIFO,
// a device, a socket) cannot be read.
int OpenToRead(const std::string& path, struct stat& st) {
  Fd in;
  if (HeldAsFile(path)) {
    // Checked as no link: opened as none, from the folder listed.
    EntryFolder at;
    OpenEntryFolder(path, "cannot read file", at);
    in.reset(::openat(at.dir(), at.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (in.get() < 0 && errno == ELOOP) FileChanged(path);
  } else {
    in.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  }
  if (in.get() < 0 || fstat(in.get(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
    return -1;
  }
  return in.Release();
}

// Why a file could not be opened by OpenToRead.
std::string ReadFailure(int err) { return err == ENXIO ? kNotRegular : Reason(err); }

// Writes a file whole beside the entry's name, under a name of
// kWriteTempPattern's form, and renames it over the entry: the name holds
// what it held or the whole new file, whenever the program is stopped. A
// folder at the name is never replaced, nor a regular file refusal says no
// to; anything else there (a link, a FIFO) is replaced, never opened. look
// is false when the run's listings know the name is free. fill writes the
// content, given the regular file it replaces (or null), and returns 0 or
// the error. Returns "" or why the file could not be written.
std::string WriteWhole(const EntryFolder& at, const std::string& path, bool look, const Refusal& refusal,
                       const std::function<int(int fd, const struct stat* replaced)>& fill) {
  struct stat st;
  const bool found = look && ::fstatat(at.dir(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (found && S_ISDIR(st.st_mode)) return "the target is a folder";
  const bool regular = found && S_ISREG(st.st_mode);
  if (regular)
    if (const char* no = refusal(st)) return no;
  std::string temp;
  Fd out(CreateWriteTemporary(at.dir(), temp));
  if (out.get() < 0) return Reason(errno);
  int err = fill(out.get(), regular ? &st : nullptr);
  if (err == 0 && writeStop && writeStop(path)) {
    // Left as a program stopped half-way would leave it.
    struct stat written;
    if (fstat(out.get(), &written) == 0) ::ftruncate(out.get(), written.st_size / 2);
    return "stopped half-way";
  }
  // Flushed before it takes the name, so that after a power cut too the
  // name holds the old file or the whole new one, never an empty page.
  if (err == 0 && ::fdatasync(out.get()) != 0) err = errno;
  if (out.Close() != 0 && err == 0) err = errno;
  if (err == 0 && ::renameat(at.dir(), temp.c_str(), at.dir(), at.name.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlinkat(at.dir(), temp.c_str(), 0);
    return err == EISDIR ? "the target is a folder" : Reason(err);
  }
  if (found && !regular) NoteRemoved(path);
  NoteAdded(path, Kind::File);
  return "";
}

// Copies one regular file's bytes, permission bits and modification time.
// Replace: the target is written whole (see WriteWhole). Refuse and
// Exclusive: the target is created, so anything at its name, there before
// or appearing meanwhile, is an error; Refuse looks first.
void CopyFileData(const std::string& source, const std::string& target, Existing existing) {
  struct stat src;
  Fd in(OpenToRead(source, src));
  if (in.get() < 0) Fail("cannot copy file", source, errno == EISDIR ? "it is a folder" : ReadFailure(errno));

  EntryFolder at;
  OpenEntryFolder(target, "cannot copy file", at);
  const Refusal refusal = [&](const struct stat& dst) -> const char* {
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) return "a file cannot be copied onto itself";
    if (IsReadOnly(dst)) return "the target file is read-only";
    return nullptr;
  };
  auto copyInto = [&](int fd) {
    char buffer[1 << 16];
    for (;;) {
      ssize_t n = ReadSome(in.get(), buffer, sizeof buffer);
      if (n < 0) return errno;
      if (n == 0) break;
      if (!WriteAll(fd, buffer, static_cast<std::size_t>(n))) return errno;
    }
    fchmod(fd, src.st_mode & 07777);
    struct timespec times[2] = {src.st_atim, src.st_mtim};
    futimens(fd, times);
    return 0;
  };
  if (existing == Existing::Replace) {
    const std::string why =
        WriteWhole(at, target, true, refusal, [&](int fd, const struct stat*) { return copyInto(fd); });
    if (!why.empty()) Fail("cannot copy file", source, target, why);
    return;
  }
  std::string why;
  Fd out(CreateToWrite(at, target, src.st_mode & 07777, existing, why));
  if (out.get() < 0) Fail("cannot copy file", source, target, why);
  auto removeHalfCopy = [&] {
    if (::unlinkat(at.dir(), at.name.c_str(), 0) == 0) NoteRemoved(target);
  };
  if (const int err = copyInto(out.get())) {
    out.Close();
    removeHalfCopy();  // no half copy left behind
    Fail("cannot copy file", source, target, Reason(err));
  }
  if (out.Close() != 0) {
    int err = errno;
    removeHalfCopy();
    Fail("cannot copy file", source, target, Reason(err));
  }
}

bool SameContent(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  Fd fa(OpenToRead(a, sa));
  Fd fb(OpenToRead(b, sb));
  if (fa.get() < 0 || fb.get() < 0) return false;
  if (sa.st_size != sb.st_size) return false;
  char ba[1 << 15], bb[1 << 15];
  for (;;) {
    ssize_t na = ReadSome(fa.get(), ba, sizeof ba);
    if (na < 0) return false;
    if (na == 0) return ReadSome(fb.get(), bb, 1) == 0;
    std::size_t got = 0;
    while (got < static_cast<std::size_t>(na)) {
      ssize_t nb = ReadSome(fb.get(), bb + got, static_cast<std::size_t>(na) - got);
      if (nb <= 0) return false;
      got += static_cast<std::size_t>(nb);
    }
    if (std::memcmp(ba, bb, got) != 0) return false;
  }
}

std::vector<std::string> SortedEntryNames(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& entry : HeldOrListed(folder)) names.push_back(entry.first);
  SortNames(names);
  return names;
}

// Copies a folder's content into target. keepLinks copies symbolic links
// as links (a move keeps the tree as it is); otherwise links are followed,
// and the chain, which holds the folders being copied from and into, keeps
// a link to either from being copied forever.
// The folders a copy may take linked content from, and the links it left out.
struct Confinement {
  const std::vector<std::string>& folders;
  std::vector<std::string>& refused;
};

// Makes the folder a copy writes into: an existing folder is used, a link
// at the name is replaced by a real folder.
void MakeTargetFolder(const std::string& from, const std::string& to, mode_t mode) {
  EntryFolder at;
  OpenEntryFolder(to, "cannot create folder", at);
  struct stat dst;
  if (::fstatat(at.dir(), at.name.c_str(), &dst, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(dst.st_mode)) return;
    if (!S_ISLNK(dst.st_mode)) Fail("cannot copy folder", from, to, "a file of that name exists");
    if (::unlinkat(at.dir(), at.name.c_str(), 0) != 0) Fail("cannot create folder", to, errno);
    NoteRemoved(to);
  }
  if (::mkdirat(at.dir(), at.name.c_str(), mode) != 0) Fail("cannot create folder", to, errno);
  NoteAdded(to, Kind::Folder);
  HoldMadeFolder(at, to);
}

void CopyTree(const std::string& source, const std::string& target, Existing existing,
              bool keepLinks, AncestorChain& chain, const Confinement* within = nullptr) {
  for (const std::string& name : SortedEntryNames(source)) {
    std::string from = Join(source, name), to = Join(target, name);
    struct stat st;
    if (within && LStat(from, st) && S_ISLNK(st.st_mode) && !LiesInside(from, within->folders)) {
      within->refused.push_back(from);
      continue;
    }
    if (keepLinks && LStat(from, st) && S_ISLNK(st.st_mode)) {
      std::string link(static_cast<std::size_t>(st.st_size) + 256, '\0');
      ssize_t n = readlink(from.c_str(), link.data(), link.size());
      if (n < 0) Fail("cannot copy link", from, errno);
      link.resize(static_cast<std::size_t>(n));
      if (symlink(link.c_str(), to.c_str()) != 0) {
        int err = errno;
        Fail("cannot copy link", from, to, err == EEXIST ? kExists : Reason(err));
      }
      NoteAdded(to, Kind::Link);
      continue;
    }
    if (!Stat(from, st)) continue;  // a dangling link: nothing to copy
    if (S_ISDIR(st.st_mode)) {
      if (!chain.Enter(from)) continue;
      MakeTargetFolder(from, to, (st.st_mode & 07777) | S_IRWXU);
      if (!chain.Enter(to)) {
        chain.Leave();
        continue;
      }
      CopyTree(from, to, existing, keepLinks, chain, within);
      if (keepLinks) ::chmod(to.c_str(), st.st_mode & 07777);  // a move keeps the modes
      chain.Leave();
      chain.Leave();
    } else if (S_ISREG(st.st_mode)) {
      CopyFileData(from, to, existing);
    }
  }
}

// True when target holds the same names, links and file content as source.
bool SameTree(const std::string& source, const std::string& target) {
  std::vector<std::string> a, b;
  for (auto& entry : ListEntries(source)) a.push_back(entry.first);
  for (auto& entry : ListEntries(target)) b.push_back(entry.first);
  SortNames(a);
  SortNames(b);
  if (a != b) return false;
  for (const std::string& name : a) {
    std::string from = Join(source, name), to = Join(target, name);
    struct stat sa, sb;
    if (!LStat(from, sa) || !LStat(to, sb)) return false;
    if ((sa.st_mode & S_IFMT) != (sb.st_mode & S_IFMT)) return false;
    if (S_ISDIR(sa.st_mode) && !SameTree(from, to)) return false;
    if (S_ISREG(sa.st_mode) && !SameContent(from, to)) return false;
  }
  return true;
}

// Deletes the tree at the entry's name through descriptors, never following
// a link. Without force, read-only files stay; everything else that can go
// goes, and the first failure is kept.
void RemoveTreeAt(int parent, const std::string& name, const std::string& folder, bool force,
                  std::string& firstFailure) {
  auto failed = [&](const std::string& what, const std::string& path, const std::string& why) {
    if (firstFailure.empty()) firstFailure = what + " \"" + path + "\": " + why;
  };
  Fd fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat self;
  if (fd.get() < 0 || fstat(fd.get(), &self) != 0) return failed("cannot delete folder", folder, Reason(errno));
  std::vector<std::string> names;
  Listing* held = Caching() ? CachedAt(folder) : nullptr;
  if (held && held->id == IdOf(self)) {
    for (const auto& entry : held->entries) names.push_back(entry.first);
  } else {
    try {
      names = NamesAt(fd.get(), folder);
    } catch (const FsoError& e) {
      if (firstFailure.empty()) firstFailure = e.what();
      return;
    }
  }
  for (const std::string& entry : names) {
    const std::string path = Join(folder, entry);
    struct stat st;
    if (::fstatat(fd.get(), entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      RemoveTreeAt(fd.get(), entry, path, force, firstFailure);
      continue;
    }
    if (!force && S_ISREG(st.st_mode) && IsReadOnly(st)) {
      failed("cannot delete file", path, kReadOnly);
      continue;
    }
    if (::unlinkat(fd.get(), entry.c_str(), 0) == 0)
      NoteRemoved(path);
    else
      failed("cannot delete file", path, Reason(errno));
  }
  if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0)
    NoteRemoved(folder, &self);
  else
    failed("cannot delete folder", folder, Reason(errno));
}

void RemoveTree(const std::string& folder, bool force, std::string& firstFailure) {
  EntryFolder at;
  try {
    OpenEntryFolder(folder, "cannot delete folder", at);
  } catch (const FsoError& e) {
    if (firstFailure.empty()) firstFailure = e.what();
    return;
  }
  RemoveTreeAt(at.dir(), at.name, folder, force, firstFailure);
}

// The target of a copy or move: a full name, or an existing folder ending
// in the separator to put the source into.
std::string ResolveTarget(const std::string& what, const std::string& source,
                          const std::string& target) {
  if (target.empty()) Fail(what, source, "no target given");
  if (!EndsWithSep(target)) return target;
  if (!FolderExists(target)) Fail(what, source, target, "the target folder does not exist");
  return Join(target, BaseName(source));
}

// The textual test on two resolved paths.
bool ResolvedInsideOrSame(const std::string& p, const std::string& f) {
  return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 &&
                    (EndsWithSep(f) || p[f.size()] == kSep));
}

bool InsideOrSame(const std::string& path, const std::string& folder) {
  std::error_code ec;
  std::string p = std::filesystem::weakly_canonical(path, ec).string();
  if (ec) return false;
  std::string f = std::filesystem::weakly_canonical(folder, ec).string();
  if (ec) return false;
  return ResolvedInsideOrSame(p, f);
}

// A move across file systems: copy to a target that must not exist, check
// the copy against the source, then remove the source. On any failure the
// copy is removed again and the source stays.
void MoveAcrossFileSystems(const std::string& source, const std::string& target, bool folder) {
  if (!folder) {
    CopyFileData(source, target, Existing::Exclusive);
    if (!SameContent(source, target)) {
      ::unlink(target.c_str());
      Fail("cannot move file", source, target, "the copy does not match the original");
    }
    if (::unlink(source.c_str()) != 0) {
      int err = errno;
      ::unlink(target.c_str());
      Fail("cannot move file", source, target, Reason(err));
    }
    return;
  }
  struct stat st;
  if (!Stat(source, st)) Fail("cannot move folder", source, errno);
  if (::mkdir(target.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) {
    int err = errno;
    Fail("cannot move folder", source, target, err == EEXIST ? kExists : Reason(err));
  }
  try {
    AncestorChain chain;
    chain.Enter(source);
    chain.Enter(target);
    CopyTree(source, target, Existing::Refuse, true, chain);
    if (!SameTree(source, target))
      Fail("cannot move folder", source, target, "the copy does not match the original");
    ::chmod(target.c_str(), st.st_mode & 07777);
  } catch (...) {
    std::string ignored;
    RemoveTree(target, true, ignored);
    throw;
  }
  std::string failure;
  RemoveTree(source, true, failure);
  if (!failure.empty())
    Fail("folder copied but the original could not be removed", source, target, failure);
}

// The rename for file systems without RENAME_NOREPLACE: a hard link fails
// atomically on an existing name, so a file goes that way; where links are
// not possible (and for folders) the target is checked right before the
// rename. Returns 0 or the error.
int RenameWithoutNoReplace(const EntryFolder& from, const EntryFolder& to, bool folder) {
  const char* source = from.name.c_str();
  const char* target = to.name.c_str();
  if (!folder) {
    if (::linkat(from.dir(), source, to.dir(), target, 0) == 0) {
      if (::unlinkat(from.dir(), source, 0) == 0) return 0;
      int err = errno;
      ::unlinkat(to.dir(), target, 0);
      return err;
    }
    int err = errno;
    if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS && err != EMLINK) return err;
  }
  struct stat st;
  if (::fstatat(to.dir(), target, &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return ::renameat(from.dir(), source, to.dir(), target) == 0 ? 0 : errno;
}

// A rename that never replaces an existing target. A file renamed is noted
// where it went; otherwise (a folder, which may carry held listings with
// it, a move that copies, a failure) what the run holds is forgotten.
void RenameNoReplace(const std::string& source, const std::string& target, bool folder) {
  struct ForgetListings {
    bool all = true;
    ~ForgetListings() {
      if (all) ForgetAllListings();
    }
  } forget;
  const char* what = folder ? "cannot move folder" : "cannot move file";
  EntryFolder from, to;
  OpenEntryFolder(source, what, from);
  OpenEntryFolder(target, what, to);
  auto renamed = [&] {
    if (folder || !Caching()) return;
    struct stat st;
    Kind kind = ::fstatat(to.dir(), to.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
                    ? KindOf(st.st_mode)
                    : Kind::Other;
    NoteRemoved(source);
    NoteAdded(target, kind);
    forget.all = false;
  };
  if (::renameat2(from.dir(), from.name.c_str(), to.dir(), to.name.c_str(), RENAME_NOREPLACE) == 0)
    return renamed();
  int err = errno;
  if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP) {
    err = RenameWithoutNoReplace(from, to, folder);
    if (err == 0) return renamed();
  }
  if (err == EEXIST || err == ENOTEMPTY) Fail(what, source, target, kExists);
  if (err == EXDEV) return MoveAcrossFileSystems(source, target, folder);
  Fail(what, source, target, Reason(err));
}

}  // namespace

std::string ChildPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == kSep) return folder + name;
  return folder + kSep + name;
}

bool FileExists(const std::string& path) {
  mode_t type;
  if (KnownType(path, type)) return type == S_IFREG;
  struct stat st;
  return !path.empty() && Stat(path, st) && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
  mode_t type;
  if (KnownType(path, type)) return type == S_IFDIR;
  struct stat st;
  return !path.empty() && Stat(path, st) && S_ISDIR(st.st_mode);
}

std::vector<std::string> SubFolderNames(const std::string& folder) {
  return ListNames(folder, true);
}

std::vector<std::string> FileNames(const std::string& folder) { return ListNames(folder, false); }

void SortNames(std::vector<std::string>& names) { std::sort(names.begin(), names.end(), NameLess); }

bool IsLink(const std::string& path) {
  bool present;
  Kind kind;
  if (KnownEntry(path, present, kind)) return present && kind == Kind::Link;
  struct stat st;
  return !path.empty() && LStat(path, st) && S_ISLNK(st.st_mode);
}

bool LiesInside(const std::string& path, const std::vector<std::string>& folders) {
  std::error_code ec;
  std::string real = std::filesystem::canonical(path, ec).string();
  if (ec) return false;
  for (const std::string& folder : folders) {
    std::string f = std::filesystem::canonical(folder, ec).string();
    if (!ec && ResolvedInsideOrSame(real, f)) return true;
  }
  return false;
}

void CreateFolder(const std::string& path) {
  std::string p = StripTrailing(path);
  if (p.empty()) Fail("cannot create folder", path, "no name given");
  EntryFolder at;
  OpenEntryFolder(p, "cannot create folder", at);
  if (::mkdirat(at.dir(), at.name.c_str(), 0777) != 0) {
    int err = errno;
    Fail("cannot create folder", p, err == EEXIST ? kExists : Reason(err));
  }
  NoteAdded(p, Kind::Folder);
  HoldMadeFolder(at, p);
}

void DeleteFile(const std::string& path, bool force) {
  if (path.empty()) Fail("cannot delete file", path, ENOENT);
  EntryFolder at;
  OpenEntryFolder(path, "cannot delete file", at);
  struct stat st;
  if (::fstatat(at.dir(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    Fail("cannot delete file", path, errno);
  if (S_ISDIR(st.st_mode)) Fail("cannot delete file", path, "it is a folder");
  if (!force && S_ISREG(st.st_mode) && IsReadOnly(st)) Fail("cannot delete file", path, kReadOnly);
  if (::unlinkat(at.dir(), at.name.c_str(), 0) != 0) Fail("cannot delete file", path, errno);
  NoteRemoved(path);
}

void DeleteFolder(const std::string& path, bool force) {
  std::string p = StripTrailing(path);
  if (p.empty()) Fail("cannot delete folder", path, ENOENT);
  if (p == kSepStr) Fail("cannot delete folder", p, "it is the root folder");
  EntryFolder at;
  OpenEntryFolder(p, "cannot delete folder", at);
  struct stat st;
  if (::fstatat(at.dir(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    Fail("cannot delete folder", p, errno);
  if (S_ISLNK(st.st_mode)) {
    // A link to a folder: the link goes, what it points at stays.
    struct stat target;
    if (!Stat(p, target) || !S_ISDIR(target.st_mode))
      Fail("cannot delete folder", p, "not a folder");
    if (::unlinkat(at.dir(), at.name.c_str(), 0) != 0) Fail("cannot delete folder", p, errno);
    NoteRemoved(p);
    return;
  }
  if (!S_ISDIR(st.st_mode)) Fail("cannot delete folder", p, "not a folder");
  std::string failure;
  RemoveTreeAt(at.dir(), at.name, p, force, failure);
  if (!failure.empty()) throw FsoError(failure);
}

void CopyFile(const std::string& source, const std::string& target, bool overwrite) {
  struct stat st;
  if (!Stat(source, st)) Fail("cannot copy file", source, errno);
  if (S_ISDIR(st.st_mode)) Fail("cannot copy file", source, "it is a folder");
  std::string to = ResolveTarget("cannot copy file", source, target);
  CopyFileData(source, to, overwrite ? Existing::Replace : Existing::Refuse);
}

namespace {

void CopyFolderConfined(const std::string& source, const std::string& target, bool overwrite,
                        const Confinement* within) {
  std::string from = StripTrailing(source);
  struct stat st;
  if (!Stat(from, st)) Fail("cannot copy folder", from, errno);
  if (!S_ISDIR(st.st_mode)) Fail("cannot copy folder", from, "not a folder");
  std::string to = ResolveTarget("cannot copy folder", from, target);
  to = StripTrailing(to);
  if (InsideOrSame(to, from))
    Fail("cannot copy folder", from, to, "a folder cannot be copied into itself");
  MakeTargetFolder(from, to, (st.st_mode & 07777) | S_IRWXU);
  AncestorChain chain;
  chain.Enter(from);
  chain.Enter(to);
  CopyTree(from, to, overwrite ? Existing::Replace : Existing::Refuse, false, chain, within);
}

}  // namespace

void CopyFolder(const std::string& source, const std::string& target, bool overwrite) {
  CopyFolderConfined(source, target, overwrite, nullptr);
}

void CopyFolderWithin(const std::string& source, const std::string& target,
                      const std::vector<std::string>& folders, std::vector<std::string>& refused) {
  const Confinement within{folders, refused};
  CopyFolderConfined(source, target, true, &within);
}

void MoveFile(const std::string& source, const std::string& target) {
  struct stat st;
  if (source.empty() || !LStat(source, st)) Fail("cannot move file", source, StatError(source));
  struct stat followed;
  if (S_ISDIR(st.st_mode) || (S_ISLNK(st.st_mode) && Stat(source, followed) && S_ISDIR(followed.st_mode)))
    Fail("cannot move file", source, "it is a folder");
  RenameNoReplace(source, ResolveTarget("cannot move file", source, target), false);
}

void MoveFolder(const std::string& source, const std::string& target) {
  std::string from = StripTrailing(source);
  struct stat st;
  if (from.empty() || !Stat(from, st)) Fail("cannot move folder", source, StatError(from));
  if (!S_ISDIR(st.st_mode)) Fail("cannot move folder", from, "not a folder");
  std::string to = StripTrailing(ResolveTarget("cannot move folder", from, target));
  if (InsideOrSame(to, from)) {
    // Also the same folder under its own name: the target exists.
    std::error_code ec;
    if (std::filesystem::equivalent(to, from, ec)) Fail("cannot move folder", from, to, kExists);
    Fail("cannot move folder", from, to, "a folder cannot be moved into itself");
  }
  RenameNoReplace(from, to, true);
}

std::string ReadBytes(const std::string& path, std::size_t max) {
  struct stat st;
  Fd in(OpenToRead(path, st));
  if (in.get() < 0) Fail("cannot read file", path, ReadFailure(errno));
  std::string bytes;
  char buffer[1 << 16];
  while (bytes.size() < max) {
    std::size_t want = std::min(sizeof buffer, max - bytes.size());
    ssize_t n = ReadSome(in.get(), buffer, want);
    if (n < 0) Fail("cannot read file", path, errno);
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  WriteBytes(path, bytes.data(), bytes.size());
}

void WriteBytes(const std::string& path, const char* bytes, std::size_t size) {
  bool present = true;
  Kind kind;
  // A name the run's listings lack needs no look on the disk.
  const bool look = !(KnownEntry(path, present, kind) && !present);
  EntryFolder at;
  OpenEntryFolder(path, "cannot write file", at);
  const std::string why = WriteWhole(
      at, path, look, [](const struct stat& st) { return IsReadOnly(st) ? kReadOnly : nullptr; },
      [&](int fd, const struct stat* replaced) {
        if (!WriteAll(fd, bytes, size)) return errno;
        // The file written over keeps its permissions.
        if (replaced && ::fchmod(fd, replaced->st_mode & 07777) != 0) return errno;
        return 0;
      });
  if (!why.empty()) Fail("cannot write file", path, why);
}

std::string ReadAnsiText(const std::string& path) { return FromAnsi(ReadBytes(path)); }

void WriteAnsiText(const std::string& path, const std::string& utf8) {
  WriteBytes(path, ToAnsi(utf8));
}

std::uint64_t FileSize(const std::string& path) {
  struct stat st;
  if (!Stat(path, st)) Fail("cannot read the size of", path, errno);
  if (S_ISDIR(st.st_mode)) Fail("cannot read the size of", path, "it is a folder");
  return static_cast<std::uint64_t>(st.st_size);
}

bool AncestorChain::Enter(const std::string& folder) {
  std::pair<std::uint64_t, std::uint64_t> id;
  // A folder the run has listed is known without asking the disk.
  Listing* listing = Caching() ? CachedAt(StripTrailing(folder)) : nullptr;
  if (listing) {
    id = listing->id;
  } else {
    struct stat st;
    if (!Stat(folder, st) || !S_ISDIR(st.st_mode)) return false;
    id = IdOf(st);
  }
  if (std::find(chain_.begin(), chain_.end(), id) != chain_.end()) return false;
  chain_.push_back(id);
  return true;
}

void AncestorChain::Leave() {
  if (!chain_.empty()) chain_.pop_back();
}





FolderMadeObserver SetFolderMadeObserver(FolderMadeObserver observer) {
  std::swap(folderMadeObserver, observer);
  return observer;
}

WriteStop SetWriteStop(WriteStop stop) {
  std::swap(writeStop, stop);
  return stop;
}



}  // namespace fso
}  // namespace platform
