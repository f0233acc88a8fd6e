#include "platform/held_listings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <map>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/statfs.h>

#include "platform/temp_names.h"

namespace platform {
namespace fso {
namespace detail {
namespace {

struct ListingCache {
  int scopes = 0;
  std::unordered_map<std::string, ListingPtr> byPath;  // folder paths without trailing separators
  std::map<std::pair<std::uint64_t, std::uint64_t>, ListingPtr> byId;
  std::map<std::uint64_t, CaseRule> rules;  // by device
  // The listings holding their folder open, in the order they were last
  // used, with that use's number: an entry whose listing has been used
  // since stands for nothing.
  std::deque<std::pair<std::weak_ptr<Listing>, std::uint64_t>> held;
  std::uint64_t uses = 0;

  void Forget(Listing& listing) {
    listing.stale = true;
    auto known = byId.find(listing.id);
    if (known != byId.end() && known->second.get() == &listing) byId.erase(known);
  }
  void ForgetAll() {
    for (auto& entry : byPath) entry.second->stale = true;
    for (auto& entry : byId) entry.second->stale = true;
    byPath.clear();
    byId.clear();
    held.clear();
  }
  // Notes a use of the listing's open folder; the folders unused longest
  // are let go of beyond a bound, and opened again from the folder above
  // when next needed.
  void Used(Listing& listing) {
    listing.opened = ++uses;
    held.emplace_back(listing.weak_from_this(), listing.opened);
    while (held.size() > kHeldFolders) {
      auto [weak, use] = held.front();
      held.pop_front();
      ListingPtr oldest = weak.lock();
      if (oldest && oldest->opened == use && oldest->fd >= 0) {
        ::close(oldest->fd);
        oldest->fd = -1;
      }
    }
  }
  static constexpr std::size_t kHeldFolders = 256;
};

thread_local ListingCache cache;

}  // namespace

bool Caching() { return cache.scopes > 0; }

Kind KindOf(mode_t mode) {
  if (S_ISLNK(mode)) return Kind::Link;
  if (S_ISDIR(mode)) return Kind::Folder;
  if (S_ISREG(mode)) return Kind::File;
  return Kind::Other;
}

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

// The held listing of the folder above holds the folder (a path without
// trailing separators) as a real folder: it is reached from there, and
// never through a link.
Listing* ParentHoldingAsFolder(const std::string& key, std::string& name) {
  std::string up;
  if (!SplitEntry(key, up, name)) return nullptr;
  Listing* parent = CachedAt(up);
  if (!parent) return nullptr;
  bool sure;
  auto entry = parent->Find(name, sure);
  return entry != parent->entries.end() && entry->second == Kind::Folder ? parent : nullptr;
}

// Opens the folder (a path without trailing separators) with the flags.
// Where the run holds the folder above and it holds this one as a real
// folder, it is opened from the folder above without following a link: a
// link or a file in its place, or nothing at all (it was moved away past
// the layer), is an error naming it. Elsewhere it is opened by its path.
int OpenFolderAt(const std::string& key, int flags, const char* what, const std::string& path) {
  // A path the system cannot take is not reached through descriptors
  // either: every other call of the run would fail on it.
  if (key.size() >= PATH_MAX) Fail(what, path, ENAMETOOLONG);
  std::string name;
  if (Caching()) {
    if (Listing* parent = ParentHoldingAsFolder(key, name)) {
      std::string up = key.substr(0, key.size() - name.size());
      while (up.size() > 1 && up.back() == kSep) up.pop_back();
      const int above = HeldFolder(*parent, up, what, path);
      int fd = ::openat(above, name.c_str(), flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0 && (errno == ELOOP || errno == ENOTDIR || errno == ENOENT)) FolderChanged(key);
      if (fd < 0) Fail(what, path, errno);
      return fd;
    }
  }
  int fd = ::open(key.c_str(), flags | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail(what, path, errno);
  return fd;
}

// File systems that may number a folder afresh once the system has let go
// of it: FAT and exFAT, in the kernel or through FUSE.
bool RenumbersFolders(int folderFd) {
  struct statfs disk;
  if (::fstatfs(folderFd, &disk) != 0) return false;
  constexpr unsigned long kFuse = 0x65735546, kMsdos = 0x4d44, kExfat = 0x2011BAB0;
  const auto type = static_cast<unsigned long>(disk.f_type);
  return type == kFuse || type == kMsdos || type == kExfat;
}

// The open folder at the listing's path is the folder listed: the same
// device and inode or, on a disk that renumbers its folders, the same
// device, a path without links and the names listed. Otherwise an error
// naming it.
void CheckIsListed(Listing& listing, int fd, const std::string& key, const char* what,
                   const std::string& path) {
  struct stat st;
  if (fstat(fd, &st) != 0) Fail(what, path, errno);
  if (IdOf(st) == listing.id) return;
  if (!S_ISDIR(st.st_mode) || IdOf(st).first != listing.id.first || !RenumbersFolders(fd))
    FolderChanged(key);
  std::vector<std::string> listed;
  for (const auto& entry : listing.entries) listed.push_back(entry.first);
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(key.c_str(), nullptr), &std::free);
  if (!real || key != real.get() || NamesAt(fd, key) != listed) FolderChanged(key);
  const ListingPtr keep = listing.shared_from_this();
  cache.Forget(listing);
  listing.stale = false;
  listing.id = IdOf(st);
  cache.byId[listing.id] = keep;
}

// The folder the listing was read from, open: every change the layer
// makes in it goes through this descriptor, so it lands in that folder,
// wherever a link or a rename has put another one meanwhile. The folder
// must still stand at its path; one moved away or replaced is an error
// naming it.
int HeldFolder(Listing& listing, const std::string& key, const char* what, const std::string& path) {
  if (listing.fd >= 0) {
    std::string name;
    Listing* parent = ParentHoldingAsFolder(key, name);
    struct stat st;
    const int rc = parent && parent->fd >= 0 ? ::fstatat(parent->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW)
                   : parent                  ? ::lstat(key.c_str(), &st)
                                             : ::stat(key.c_str(), &st);
    if (rc == 0 && S_ISDIR(st.st_mode) && IdOf(st) == listing.id) {
      cache.Used(listing);
      return listing.fd;
    }
    ::close(listing.fd);
    listing.fd = -1;
  }
  Fd fd(OpenFolderAt(key, O_RDONLY, what, path));
  CheckIsListed(listing, fd.get(), key, what, path);
  listing.fd = fd.Release();
  cache.Used(listing);
  return listing.fd;
}

// A listing of a folder with no entries, holding the open folder.
void HoldNewFolder(int fd, const std::string& key) {
  struct stat self;
  if (fstat(fd, &self) != 0) {
    ::close(fd);
    Fail("cannot create folder", key, errno);
  }
  auto listing = std::make_shared<Listing>();
  listing->id = IdOf(self);
  listing->fd = fd;
  listing->rule = &cache.rules[listing->id.first];
  cache.byId[listing->id] = listing;
  cache.byPath[key] = listing;
  cache.Used(*listing);
}

// The folder's listing for the run: the one held, or read now (once per
// folder, whatever path leads to it). Throws FsoError as a listing does.
Listing& RunListing(const std::string& folder) {
  if (!EndsWithSep(folder))
    if (Listing* held = CachedAt(folder)) return *held;
  const std::string key = StripTrailing(folder);
  if (Listing* held = CachedAt(key)) return *held;
  Fd self(OpenFolderAt(key, O_RDONLY, "cannot list folder", folder));
  struct stat st;
  if (fstat(self.get(), &st) != 0) Fail("cannot list folder", folder, errno);
  auto known = cache.byId.find(IdOf(st));
  if (known != cache.byId.end()) {
    cache.byPath[key] = known->second;
    return *known->second;
  }
  Folder dir(fdopendir(::dup(self.get())));
  if (!dir) Fail("cannot list folder", folder, errno);
  Entries raw = ReadEntries(dir.get(), folder);
  // What a write broken off left behind goes: it was never a file of the
  // folder's.
  raw.erase(std::remove_if(raw.begin(), raw.end(),
                           [&](const auto& entry) {
                             return IsWriteTemporaryName(entry.first) &&
                                    ::unlinkat(self.get(), entry.first.c_str(), 0) == 0;
                           }),
            raw.end());
  auto listing = std::make_shared<Listing>();
  listing->id = IdOf(st);
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
      if (::fstatat(dirfd(dir.get()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
      kind = KindOf(st.st_mode);
    }
    listing->entries.emplace_back(std::move(name), kind);
  }
  std::sort(listing->entries.begin(), listing->entries.end(),
            [](const auto& a, const auto& b) { return NameLess(a.first, b.first); });
  CaseRule& rule = cache.rules[listing->id.first];
  if (rule.folds < 0) {
    std::vector<std::string> names;
    names.reserve(listing->entries.size());
    for (const auto& entry : listing->entries) names.push_back(entry.first);
    LearnCaseRule(dirfd(dir.get()), folder, names, rule);
  }
  listing->rule = &rule;
  listing->fd = self.Release();
  cache.byId[listing->id] = listing;
  cache.byPath[key] = listing;
  cache.Used(*listing);
  return *listing;
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
        bool sure;
        auto entry = parent->Find(own, sure);
        if (sure && (entry == parent->entries.end() ||
                     (entry->second != Kind::Folder && entry->second != Kind::Link)))
          return true;
      }
    }
    try {
      listing = &RunListing(folder);
    } catch (const FsoError&) {
      return false;
    }
  }
  bool sure;
  auto entry = listing->Find(name, sure);
  if (!sure) return false;
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
  bool sure;
  auto entry = listing->Find(name, sure);
  if (!sure) {
    // Only the disk knows under which name it holds the entry now.
    cache.Forget(*listing);
  } else if (entry == listing->entries.end()) {
    listing->entries.emplace(listing->Place(name), name, kind);
  } else if (entry->second == Kind::Link) {
    // Written through a link: what changed lies elsewhere.
    cache.ForgetAll();
  } else {
    entry->second = kind;
  }
}

// The layer has just removed the entry; removedFolder is the status of a
// folder it removed.
void NoteRemoved(const std::string& path, const struct stat* removedFolder) {
  if (!Caching()) return;
  std::string name;
  if (Listing* listing = ListingHolding(path, name)) {
    bool sure;
    auto entry = listing->Find(name, sure);
    if (!sure) {
      cache.Forget(*listing);
    } else if (entry != listing->entries.end()) {
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
  if (known != cache.byId.end()) cache.Forget(*known->second);
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

bool HeldAsFile(const std::string& path) {
  if (!Caching()) return false;
  std::string folder, name;
  if (!SplitEntry(path, folder, name)) return false;
  Listing* listing = CachedAt(folder);
  if (!listing) return false;
  bool sure;
  auto entry = listing->Find(name, sure);
  return sure && entry != listing->entries.end() && entry->second == Kind::File;
}

void ForgetAllListings() { cache.ForgetAll(); }

}  // namespace detail

using namespace detail;

bool HeldFolderIdentity(const std::string& folder, std::pair<std::uint64_t, std::uint64_t>& id) {
  if (!Caching()) return false;
  thread_local std::string up, name;
  if (!SplitEntry(folder, up, name)) return false;
  Listing* parent = CachedAt(up);
  if (!parent) return false;
  bool sure;
  auto entry = parent->Find(name, sure);
  if (entry == parent->entries.end() || entry->second != Kind::Folder) return false;
  if (Listing* own = CachedAt(folder)) {
    id = own->id;
    return true;
  }
  // Not listed yet: looked at from the folder above, so that one turned
  // into a link meanwhile is seen for what it is.
  Fd fd(OpenFolderAt(folder, O_PATH, "cannot enter folder", folder));
  struct stat st;
  if (fstat(fd.get(), &st) != 0) Fail("cannot enter folder", folder, errno);
  id = IdOf(st);
  return true;
}

ListingScope::ListingScope() { ++cache.scopes; }

ListingScope::~ListingScope() {
  if (--cache.scopes == 0) {
    cache.ForgetAll();
    cache.rules.clear();
  }
}

OutsideListingScope::OutsideListingScope() : aside_(std::make_shared<ListingCache>(std::move(cache))) {
  cache = ListingCache{};
}

OutsideListingScope::~OutsideListingScope() {
  cache.ForgetAll();
  cache = std::move(*static_cast<ListingCache*>(aside_.get()));
}

bool FoldsCase(const std::string& folder) {
  if (!Caching()) return false;
  Listing* listing = CachedAt(StripTrailing(folder));
  return listing && listing->rule && listing->rule->folds == 1;
}

ListingObserver SetListingObserver(ListingObserver observer) {
  std::swap(listingObserver, observer);
  return observer;
}

}  // namespace fso
}  // namespace platform
