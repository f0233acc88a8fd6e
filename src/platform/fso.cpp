#include "platform/fso.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/paths.h"

namespace platform {
namespace fso {
namespace {

std::string Reason(int err) { return std::error_code(err, std::generic_category()).message(); }

[[noreturn]] void Fail(const std::string& what, const std::string& path, const std::string& why) {
  throw FsoError(what + " \"" + path + "\": " + why);
}
[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  Fail(what, path, Reason(err));
}
[[noreturn]] void Fail(const std::string& what, const std::string& source,
                       const std::string& target, const std::string& why) {
  throw FsoError(what + " \"" + source + "\" to \"" + target + "\": " + why);
}

const char* kExists = "a file or folder of that name already exists";
const char* kReadOnly = "the file is read-only";

bool EndsWithSep(const std::string& p) { return !p.empty() && p.back() == kSep; }

// The path without trailing separators; the root keeps its own.
std::string StripTrailing(const std::string& p) {
  std::string s = p;
  while (s.size() > 1 && s.back() == kSep) s.pop_back();
  return s;
}

std::string BaseName(const std::string& p) {
  std::string s = StripTrailing(p);
  std::size_t slash = s.rfind(kSep);
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return EndsWithSep(folder) ? folder + name : folder + kSep + name;
}

// "Read-only" as the owner sees it: the owner's write bit is clear. Taken
// from the bits rather than from access(), which says yes to root for every
// file.
bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

bool Stat(const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; }
bool LStat(const std::string& path, struct stat& st) { return ::lstat(path.c_str(), &st) == 0; }
// The reason a Stat or LStat of path just failed.
int StatError(const std::string& path) { return path.empty() ? ENOENT : errno; }

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

thread_local ListingObserver listingObserver;

using Folder = std::unique_ptr<DIR, DirCloser>;
using Entries = std::vector<std::pair<std::string, unsigned char>>;

Folder OpenFolder(const std::string& folder) {
  Folder dir(opendir(folder.c_str()));
  if (!dir) Fail("cannot list folder", folder, errno);
  return dir;
}

// The entries of an open folder: every one but "." and "..", with the
// entry's type when the directory itself tells it (DT_UNKNOWN otherwise).
Entries ReadEntries(DIR* dir, const std::string& folder) {
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
Entries ListEntries(const std::string& folder) { return ReadEntries(OpenFolder(folder).get(), folder); }

bool NameLess(const std::string& a, const std::string& b) {
  // Byte-wise: compare as unsigned bytes, so UTF-8 sorts by code point.
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
}

// --- The listings of a run ---

// What a listing knows of an entry. A link is followed at every question,
// so a change at its far end is never missed.
enum class Kind : unsigned char { Folder, File, Link, Other };

struct Listing {
  std::pair<std::uint64_t, std::uint64_t> id;  // device and inode of the folder
  bool stale = false;                           // forgotten: read the folder again
  std::vector<std::pair<std::string, Kind>> entries;  // sorted by NameLess

  // Where the name stands, or would stand, in the sorted entries.
  std::vector<std::pair<std::string, Kind>>::iterator Place(const std::string& name) {
    return std::lower_bound(entries.begin(), entries.end(), name,
                            [](const auto& e, const std::string& n) { return NameLess(e.first, n); });
  }
  std::vector<std::pair<std::string, Kind>>::iterator Find(const std::string& name) {
    auto at = Place(name);
    return at != entries.end() && at->first == name ? at : entries.end();
  }
};
using ListingPtr = std::shared_ptr<Listing>;

std::pair<std::uint64_t, std::uint64_t> IdOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

struct ListingCache {
  int scopes = 0;
  std::unordered_map<std::string, ListingPtr> byPath;  // folder paths without trailing separators
  std::map<std::pair<std::uint64_t, std::uint64_t>, ListingPtr> byId;

  void Forget(const ListingPtr& listing) {
    listing->stale = true;
    byId.erase(listing->id);
  }
  void ForgetAll() {
    for (auto& entry : byPath) entry.second->stale = true;
    for (auto& entry : byId) entry.second->stale = true;
    byPath.clear();
    byId.clear();
  }
};

thread_local ListingCache cache;

bool Caching() { return cache.scopes > 0; }

// The cached listing under exactly this path, or null.
Listing* CachedAt(const std::string& key) {
  auto at = cache.byPath.find(key);
  if (at == cache.byPath.end()) return nullptr;
  if (at->second->stale) {
    cache.byPath.erase(at);
    return nullptr;
  }
  return at->second.get();
}

Kind KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return Kind::Link;
  if (S_ISDIR(mode)) return Kind::Folder;
  if (S_ISREG(mode)) return Kind::File;
  return Kind::Other;
}

// The folder's listing for the run: the one held, or read now (once per
// folder, whatever path leads to it). Throws FsoError as a listing does.
Listing& RunListing(const std::string& folder) {
  if (!EndsWithSep(folder))
    if (Listing* held = CachedAt(folder)) return *held;
  const std::string key = StripTrailing(folder);
  if (Listing* held = CachedAt(key)) return *held;
  Folder dir = OpenFolder(folder);
  struct stat self;
  if (fstat(dirfd(dir.get()), &self) != 0) Fail("cannot list folder", folder, errno);
  auto known = cache.byId.find(IdOf(self));
  if (known != cache.byId.end()) {
    cache.byPath[key] = known->second;
    return *known->second;
  }
  Entries raw = ReadEntries(dir.get(), folder);
  dir.reset();
  auto listing = std::make_shared<Listing>();
  listing->id = IdOf(self);
  listing->entries.reserve(raw.size());
  for (auto& [name, type] : raw) {
    Kind kind;
    if (type == DT_DIR)
      kind = Kind::Folder;
    else if (type == DT_REG)
      kind = Kind::File;
    else if (type == DT_LNK)
      kind = Kind::Link;
    else if (type != DT_UNKNOWN)
      kind = Kind::Other;
    else {
      struct stat st;
      if (!LStat(Join(folder, name), st)) continue;  // gone meanwhile
      kind = KindOf(st.st_mode);
    }
    listing->entries.emplace_back(std::move(name), kind);
  }
  std::sort(listing->entries.begin(), listing->entries.end(),
            [](const auto& a, const auto& b) { return NameLess(a.first, b.first); });
  cache.byId[listing->id] = listing;
  cache.byPath[key] = listing;
  return *listing;
}

// The folder and the name of a path, when the path names an entry of a
// folder plainly (no trailing separator, no "." or "..").
bool SplitEntry(const std::string& path, std::string& folder, std::string& name) {
  std::size_t slash = path.rfind(kSep);
  if (slash == std::string::npos || slash + 1 == path.size()) return false;
  name.assign(path, slash + 1, std::string::npos);
  if (name == "." || name == "..") return false;
  std::size_t end = slash == 0 ? 1 : slash;
  while (end > 1 && path[end - 1] == kSep) --end;  // no trailing separators
  folder.assign(path, 0, end);
  return true;
}

// What the path names, as the run's listings tell it without the disk: no
// entry at all (present false), or an entry of the kind. False when the
// listings cannot tell and the disk must be asked.
bool KnownEntry(const std::string& path, bool& present, Kind& kind) {
  if (!Caching() || path.empty()) return false;
  // Kept from call to call: the rules ask this a great many times.
  thread_local std::string folder, name, up, own;
  if (!SplitEntry(path, folder, name)) return false;
  present = false;
  Listing* listing = CachedAt(folder);
  if (!listing) {
    // A folder the parent's listing lacks holds nothing.
    if (SplitEntry(folder, up, own)) {
      if (Listing* parent = CachedAt(up)) {
        auto entry = parent->Find(own);
        if (entry == parent->entries.end() ||
            (entry->second != Kind::Folder && entry->second != Kind::Link))
          return true;
      }
    }
    try {
      listing = &RunListing(folder);
    } catch (const FsoError&) {
      return false;
    }
  }
  auto entry = listing->Find(name);
  if (entry == listing->entries.end()) return true;
  present = true;
  kind = entry->second;
  return true;
}

// The type of what the path names, following links, when the run's
// listings can tell without the disk: S_IFDIR, S_IFREG, or 0 for nothing
// (or something else). False when the disk must be asked.
bool KnownType(const std::string& path, mode_t& type) {
  bool present;
  Kind kind;
  if (!KnownEntry(path, present, kind)) return false;
  if (!present) {
    type = 0;
    return true;
  }
  switch (kind) {
    case Kind::Folder: type = S_IFDIR; return true;
    case Kind::File: type = S_IFREG; return true;
    case Kind::Other: type = 0; return true;
    case Kind::Link: return false;  // followed afresh
  }
  return false;
}

// The held listing of the folder the path lies in, however the folder is
// reached; null when none is held.
Listing* ListingHolding(const std::string& path, std::string& name) {
  std::string folder;
  if (!SplitEntry(path, folder, name)) {
    // Not a plain entry path: nothing held can be trusted to be current.
    cache.ForgetAll();
    return nullptr;
  }
  if (Listing* held = CachedAt(folder)) return held;
  struct stat st;
  if (cache.byId.empty() || !Stat(folder, st)) return nullptr;
  auto known = cache.byId.find(IdOf(st));
  if (known == cache.byId.end()) return nullptr;
  cache.byPath[folder] = known->second;
  return known->second.get();
}

// The layer has just created the entry (or written over it).
void NoteAdded(const std::string& path, Kind kind) {
  if (!Caching()) return;
  std::string name;
  Listing* listing = ListingHolding(path, name);
  if (!listing) return;
  auto entry = listing->Find(name);
  if (entry == listing->entries.end()) {
    listing->entries.emplace(listing->Place(name), name, kind);
  } else if (entry->second == Kind::Link) {
    // Written through a link: what changed lies elsewhere.
    cache.ForgetAll();
  }
}

// The layer has just removed the entry; removedFolder is the status of a
// folder it removed.
void NoteRemoved(const std::string& path, const struct stat* removedFolder = nullptr) {
  if (!Caching()) return;
  std::string name;
  if (Listing* listing = ListingHolding(path, name)) {
    auto entry = listing->Find(name);
    if (entry != listing->entries.end()) {
      if (entry->second == Kind::Link) {
        // Paths through the link held elsewhere would outlive it.
        cache.ForgetAll();
        return;
      }
      listing->entries.erase(entry);
    }
  }
  if (!removedFolder) return;
  // Every path that led to it now finds it forgotten. What lay inside went
  // first, each noted on its own.
  auto known = cache.byId.find(IdOf(*removedFolder));
  if (known != cache.byId.end()) cache.Forget(known->second);
}

// The folder's entries as the run holds them, or as read now. The types
// are left unknown.
Entries HeldOrListed(const std::string& folder) {
  Listing* held = Caching() ? CachedAt(StripTrailing(folder)) : nullptr;
  if (!held) return ListEntries(folder);
  Entries entries;
  for (const auto& entry : held->entries) entries.emplace_back(entry.first, DT_UNKNOWN);
  return entries;
}

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

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result (a late write error shows up here).
  int Close() {
    int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

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

enum class Existing { Replace, Refuse, Exclusive };

// Copies one regular file's bytes, permission bits and modification time.
// Refuse: an existing target is an error, checked first. Exclusive: the
// target is created atomically, so nothing that appears meanwhile is
// replaced.
void CopyFileData(const std::string& source, const std::string& target, Existing existing) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) Fail("cannot copy file", source, errno);
  struct stat src;
  if (fstat(in.get(), &src) != 0) Fail("cannot copy file", source, errno);
  if (!S_ISREG(src.st_mode)) Fail("cannot copy file", source, "not a regular file");

  struct stat dst;
  bool targetExisted = existing != Existing::Exclusive && LStat(target, dst);
  if (targetExisted && S_ISLNK(dst.st_mode)) {
    // The link goes, not what it points at.
    if (existing == Existing::Refuse) Fail("cannot copy file", source, target, kExists);
    if (::unlink(target.c_str()) != 0) Fail("cannot copy file", source, target, Reason(errno));
    NoteRemoved(target);
    targetExisted = false;
  }
  if (targetExisted) {
    if (S_ISDIR(dst.st_mode)) Fail("cannot copy file", source, target, "the target is a folder");
    if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
      Fail("cannot copy file", source, target, "a file cannot be copied onto itself");
    if (existing == Existing::Refuse) Fail("cannot copy file", source, target, kExists);
    if (IsReadOnly(dst)) Fail("cannot copy file", source, target, "the target file is read-only");
  }

  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  flags |= existing == Existing::Exclusive ? O_EXCL : O_TRUNC;
  Fd out(::open(target.c_str(), flags, src.st_mode & 07777));
  if (out.get() < 0) {
    int err = errno;
    Fail("cannot copy file", source, target, err == EEXIST ? kExists : Reason(err));
  }
  NoteAdded(target, Kind::File);
  auto removeHalfCopy = [&] {
    if (!targetExisted && ::unlink(target.c_str()) == 0) NoteRemoved(target);
  };
  auto failWrite = [&](int err) {
    out.Close();
    removeHalfCopy();  // no half copy left behind
    Fail("cannot copy file", source, target, Reason(err));
  };
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ReadSome(in.get(), buffer, sizeof buffer);
    if (n < 0) failWrite(errno);
    if (n == 0) break;
    if (!WriteAll(out.get(), buffer, static_cast<std::size_t>(n))) failWrite(errno);
  }
  fchmod(out.get(), src.st_mode & 07777);
  struct timespec times[2] = {src.st_atim, src.st_mtim};
  futimens(out.get(), times);
  if (out.Close() != 0) {
    int err = errno;
    removeHalfCopy();
    Fail("cannot copy file", source, target, Reason(err));
  }
}

bool SameContent(const std::string& a, const std::string& b) {
  Fd fa(::open(a.c_str(), O_RDONLY | O_CLOEXEC));
  Fd fb(::open(b.c_str(), O_RDONLY | O_CLOEXEC));
  if (fa.get() < 0 || fb.get() < 0) return false;
  struct stat sa, sb;
  if (fstat(fa.get(), &sa) != 0 || fstat(fb.get(), &sb) != 0) return false;
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
  struct stat dst;
  if (LStat(to, dst)) {
    if (S_ISDIR(dst.st_mode)) return;
    if (!S_ISLNK(dst.st_mode)) Fail("cannot copy folder", from, to, "a file of that name exists");
    if (::unlink(to.c_str()) != 0) Fail("cannot create folder", to, errno);
    NoteRemoved(to);
  }
  if (::mkdir(to.c_str(), mode) != 0) Fail("cannot create folder", to, errno);
  NoteAdded(to, Kind::Folder);
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

// Deletes a tree without following links. Without force, read-only files
// stay; everything else that can go goes, and the first failure is kept.
void RemoveTree(const std::string& folder, bool force, std::string& firstFailure) {
  struct stat self;
  bool noteSelf = Caching() && LStat(folder, self);
  Entries entries;
  try {
    entries = HeldOrListed(folder);
  } catch (const FsoError& e) {
    if (firstFailure.empty()) firstFailure = e.what();
    return;
  }
  for (auto& entry : entries) {
    std::string path = Join(folder, entry.first);
    struct stat st;
    if (!LStat(path, st)) continue;
    if (S_ISDIR(st.st_mode)) {
      RemoveTree(path, force, firstFailure);
      continue;
    }
    if (!force && S_ISREG(st.st_mode) && IsReadOnly(st)) {
      if (firstFailure.empty())
        firstFailure = "cannot delete file \"" + path + "\": " + kReadOnly;
      continue;
    }
    if (::unlink(path.c_str()) == 0)
      NoteRemoved(path);
    else if (firstFailure.empty())
      firstFailure = "cannot delete file \"" + path + "\": " + Reason(errno);
  }
  if (::rmdir(folder.c_str()) == 0) {
    if (noteSelf) NoteRemoved(folder, &self);
  } else if (firstFailure.empty()) {
    firstFailure = "cannot delete folder \"" + folder + "\": " + Reason(errno);
  }
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
int RenameWithoutNoReplace(const std::string& source, const std::string& target, bool folder) {
  if (!folder) {
    if (::link(source.c_str(), target.c_str()) == 0) {
      if (::unlink(source.c_str()) == 0) return 0;
      int err = errno;
      ::unlink(target.c_str());
      return err;
    }
    int err = errno;
    if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS && err != EMLINK) return err;
  }
  struct stat st;
  if (LStat(target, st)) return EEXIST;
  return ::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

// A rename that never replaces an existing target. A file renamed is noted
// where it went; otherwise (a folder, which may carry held listings with
// it, a move that copies, a failure) what the run holds is forgotten.
void RenameNoReplace(const std::string& source, const std::string& target, bool folder) {
  struct ForgetListings {
    bool all = true;
    ~ForgetListings() {
      if (all) cache.ForgetAll();
    }
  } forget;
  auto renamed = [&] {
    if (folder || !Caching()) return;
    struct stat st;
    Kind kind = LStat(target, st) ? KindOf(st.st_mode) : Kind::Other;
    NoteRemoved(source);
    NoteAdded(target, kind);
    forget.all = false;
  };
  const char* what = folder ? "cannot move folder" : "cannot move file";
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return renamed();
  int err = errno;
  if (err == EINVAL || err == ENOSYS || err == EOPNOTSUPP) {
    err = RenameWithoutNoReplace(source, target, folder);
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
  if (::mkdir(p.c_str(), 0777) != 0) {
    int err = errno;
    Fail("cannot create folder", p, err == EEXIST ? kExists : Reason(err));
  }
  NoteAdded(p, Kind::Folder);
}

void DeleteFile(const std::string& path, bool force) {
  struct stat st;
  if (path.empty() || !LStat(path, st)) Fail("cannot delete file", path, StatError(path));
  if (S_ISDIR(st.st_mode)) Fail("cannot delete file", path, "it is a folder");
  if (!force && S_ISREG(st.st_mode) && IsReadOnly(st)) Fail("cannot delete file", path, kReadOnly);
  if (::unlink(path.c_str()) != 0) Fail("cannot delete file", path, errno);
  NoteRemoved(path);
}

void DeleteFolder(const std::string& path, bool force) {
  std::string p = StripTrailing(path);
  struct stat st;
  if (p.empty() || !LStat(p, st)) Fail("cannot delete folder", path, StatError(p));
  if (S_ISLNK(st.st_mode)) {
    // A link to a folder: the link goes, what it points at stays.
    struct stat target;
    if (!Stat(p, target) || !S_ISDIR(target.st_mode))
      Fail("cannot delete folder", p, "not a folder");
    if (::unlink(p.c_str()) != 0) Fail("cannot delete folder", p, errno);
    NoteRemoved(p);
    return;
  }
  if (!S_ISDIR(st.st_mode)) Fail("cannot delete folder", p, "not a folder");
  if (p == kSepStr) Fail("cannot delete folder", p, "it is the root folder");
  std::string failure;
  RemoveTree(p, force, failure);
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
  Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) Fail("cannot read file", path, errno);
  struct stat st;
  if (fstat(in.get(), &st) == 0 && S_ISDIR(st.st_mode)) Fail("cannot read file", path, EISDIR);
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
  struct stat st;
  bool present = true;
  Kind kind;
  // A name the run's listings lack needs no look on the disk.
  bool exists = !(KnownEntry(path, present, kind) && !present) && LStat(path, st);
  if (exists && S_ISREG(st.st_mode) && IsReadOnly(st)) Fail("cannot write file", path, kReadOnly);
  // A link at the name is replaced by the file, never written through.
  if (exists && S_ISLNK(st.st_mode)) {
    if (::unlink(path.c_str()) != 0) Fail("cannot write file", path, errno);
    NoteRemoved(path);
  }
  Fd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (out.get() < 0) Fail("cannot write file", path, errno);
  NoteAdded(path, Kind::File);
  if (!WriteAll(out.get(), bytes, size)) Fail("cannot write file", path, errno);
  if (out.Close() != 0) Fail("cannot write file", path, errno);
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

bool HeldFolderIdentity(const std::string& folder, std::pair<std::uint64_t, std::uint64_t>& id) {
  if (!Caching()) return false;
  thread_local std::string up, name;
  if (!SplitEntry(folder, up, name)) return false;
  Listing* parent = CachedAt(up);
  if (!parent) return false;
  auto entry = parent->Find(name);
  if (entry == parent->entries.end() || entry->second != Kind::Folder) return false;
  Listing* own = CachedAt(folder);
  if (!own) return false;
  id = own->id;
  return true;
}

ListingScope::ListingScope() { ++cache.scopes; }

ListingScope::~ListingScope() {
  if (--cache.scopes == 0) cache.ForgetAll();
}

ListingObserver SetListingObserver(ListingObserver observer) {
  std::swap(listingObserver, observer);
  return observer;
}

}  // namespace fso
}  // namespace platform
