// The listings a generation run holds: each folder's entries read once,
// with the folder itself held open, so that what the run changes lands in
// the folder it listed or made, and a folder moved away or replaced by a
// link meanwhile is an error naming it. Part of the file layer.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "platform/case_rule.h"
#include "platform/fso_shared.h"

namespace platform {
namespace fso {
namespace detail {

// What a listing knows of an entry. A link is followed at every question,
// so a change at its far end is never missed.
enum class Kind : unsigned char { Folder, File, Link, Other };

using ListedEntries = std::vector<std::pair<std::string, Kind>>;

struct Listing : std::enable_shared_from_this<Listing> {
  Listing() = default;
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;
  ~Listing() {
    if (fd >= 0) ::close(fd);
  }
  std::pair<std::uint64_t, std::uint64_t> id;  // device and inode of the folder
  int fd = -1;               // the folder itself, while held open
  std::uint64_t opened = 0;  // when it was last used, to let go of the oldest
  bool stale = false;                           // forgotten: read the folder again
  ListedEntries entries;                        // sorted by NameLess
  const CaseRule* rule = nullptr;               // of the folder's file system

  // Where the name stands, or would stand, in the sorted entries.
  ListedEntries::iterator Place(const std::string& name) {
    return std::lower_bound(entries.begin(), entries.end(), name,
                            [](const auto& e, const std::string& n) { return NameLess(e.first, n); });
  }
  // The entry the disk finds under the name, in whatever case it is
  // listed where the disk folds case; end() when there is none. sure is
  // false when only the disk can tell: it folds case, or may, and the
  // name holds a letter this rule does not fold.
  ListedEntries::iterator Find(const std::string& name, bool& sure) {
    sure = true;
    auto at = Place(name);
    if (at != entries.end() && at->first == name) return at;
    if (!rule || rule->folds == 0) return entries.end();
    if (!FoldsAsAscii(name) || (rule->folds < 0 && HasAsciiLetter(name))) {
      sure = false;
      return entries.end();
    }
    if (!HasAsciiLetter(name)) return entries.end();
    return std::find_if(entries.begin(), entries.end(),
                        [&](const auto& e) { return SameFolded(e.first, name); });
  }
};
using ListingPtr = std::shared_ptr<Listing>;

// True while a ListingScope lives.
bool Caching();
// The held listing under exactly this path (no trailing separators), or null.
Listing* CachedAt(const std::string& key);
Kind KindOf(mode_t mode);

// The folder (a path without trailing separators) opened with the flags:
// from the folder above where the run holds that one and it holds this one
// as a real folder, never through a link then; elsewhere by its path.
int OpenFolderAt(const std::string& key, int flags, const char* what, const std::string& path);
// The held listing's folder, open: the descriptor stays the listing's.
int HeldFolder(Listing& listing, const std::string& key, const char* what, const std::string& path);
// Holds a folder the layer has just made, open as fd, with no entries.
void HoldNewFolder(int fd, const std::string& key);
// The folder's listing for the run: the one held, or read now.
Listing& RunListing(const std::string& folder);

// What the path names, as the run's listings tell it without the disk.
bool KnownEntry(const std::string& path, bool& present, Kind& kind);
bool KnownType(const std::string& path, mode_t& type);
// True when a listing the run holds has the path as a regular file.
bool HeldAsFile(const std::string& path);

// The layer has just created, written over or removed the entry.
void NoteAdded(const std::string& path, Kind kind);
void NoteRemoved(const std::string& path, const struct stat* removedFolder = nullptr);
// Forgets every listing held.
void ForgetAllListings();

// The folder's entries as the run holds them, or as read now.
Entries HeldOrListed(const std::string& folder);

}  // namespace detail
}  // namespace fso
}  // namespace platform
