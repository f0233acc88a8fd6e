// The file system, as the generator and the windows need it. Paths are UTF-8
// with kSep between components. Listings are sorted by name, byte-wise, so
// every walk is deterministic. Moves and renames never replace an existing
// target.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Every failure of a file-system call that is not ignored by design.
class FsoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The site changed under a generation run: a folder the run holds was moved
// away or replaced by a link or another folder, or a file it listed as
// regular was replaced by a link (see ListingScope). A routine that passes
// over failures by design never passes over this one: it ends the run.
class SiteChangedError : public FsoError {
 public:
  using FsoError::FsoError;
};

namespace fso {

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// A child's path as a listing gives it: one separator between folder and
// name, none added after a folder (a root) that already ends in one.
std::string ChildPath(const std::string& folder, const std::string& name);

// Names (not paths) of the direct sub-folders / files of a folder, sorted by
// SortNames. Throws FsoError when the folder cannot be listed.
std::vector<std::string> SubFolderNames(const std::string& folder);
std::vector<std::string> FileNames(const std::string& folder);
// The one listing order: by name, byte-wise.
void SortNames(std::vector<std::string>& names);

// True when the path is a symbolic link, live or dangling.
bool IsLink(const std::string& path);
// True when the path, with its links followed, is one of the folders or
// lies inside one of them. A dangling link lies nowhere.
bool LiesInside(const std::string& path, const std::vector<std::string>& folders);

// Throws FsoError on failure.
void CreateFolder(const std::string& path);
// Without force a read-only file is left alone (and the call throws).
void DeleteFile(const std::string& path, bool force = false);
void DeleteFolder(const std::string& path, bool force = false);
// target: a full target name, or an existing folder ending in kSep to copy
// into (the file-system object's rule). Writes never go through a link and
// never wait: a link, FIFO, device or socket at a target name is replaced
// by the file or folder written. A source that is no regular file cannot
// be read.
void CopyFile(const std::string& source, const std::string& target, bool overwrite = true);
void CopyFolder(const std::string& source, const std::string& target, bool overwrite = true);
// CopyFolder that copies a link in the source only when what it points at
// lies inside one of the folders; the links left out are added to refused.
void CopyFolderWithin(const std::string& source, const std::string& target,
                      const std::vector<std::string>& folders, std::vector<std::string>& refused);
// Never replaces: an existing target makes them throw, and both stay.
// Across file systems the data is copied, verified, then the source removed.
void MoveFile(const std::string& source, const std::string& target);
void MoveFolder(const std::string& source, const std::string& target);

// Whole-file content as raw bytes; ReadBytes reads at most max bytes. What
// is no regular file (a FIFO, a device) is not read: FsoError.
std::string ReadBytes(const std::string& path, std::size_t max = std::string::npos);
// A file written, or copied over whatever stands at its name, is written
// whole under a temporary name beside it (IsOwnTemporaryName), flushed to
// the disk and renamed into place: its name holds what it held or the
// whole new file, however the program is stopped. What a stopped write
// leaves is removed at the next run's listing of the folder.
void WriteBytes(const std::string& path, const std::string& bytes);
void WriteBytes(const std::string& path, const char* bytes, std::size_t size);
// Text files in the ANSI code page, converted from/to UTF-8.
std::string ReadAnsiText(const std::string& path);
void WriteAnsiText(const std::string& path, const std::string& utf8);

std::uint64_t FileSize(const std::string& path);

// Within one generation run each folder's listing is read once. While a
// ListingScope lives, FileExists, FolderExists, IsLink, FileNames,
// SubFolderNames, AncestorChain and FolderVisits answer from a listing of
// the folder read at its first use (a folder reached by two paths, through
// a link, shares one), and the layer's own writes, copies, moves and
// deletions keep those listings up to date.
// Symbolic links are still followed afresh at every question. A name is
// matched as the folder's disk matches it: where it folds case (exFAT, FAT,
// Windows disks), "index.html" finds "INDEX.HTML". Changes made past the
// layer meanwhile are not seen, but every folder the run lists or makes is
// held open, and what is written, created or deleted in it goes through
// that descriptor, so it lands in the folder listed or made; a folder below
// one held as real is reached from there, never through a link. A folder
// moved away or replaced by a link meanwhile is a SiteChangedError naming
// it, and a file listed as regular is not read through a link put in its
// place: that too is a SiteChangedError.
// Scopes nest; the outermost one ends the caching. Same thread only.
class ListingScope {
 public:
  ListingScope();
  ~ListingScope();
  ListingScope(const ListingScope&) = delete;
  ListingScope& operator=(const ListingScope&) = delete;
};

// While it lives, the layer answers from the disk as if no ListingScope
// lived, and a ListingScope opened meanwhile holds listings of its own: the
// run's listings are put aside and come back at its end, unchanged. For the
// window's own code that a run lets in while it waits for its window (its
// progress, its status line, its pending messages): a tree read or a
// command there is no part of the run, sees the disk as it is, and is not
// stopped by the run's rules for the folders it holds.
class OutsideListingScope {
 public:
  OutsideListingScope();
  ~OutsideListingScope();
  OutsideListingScope(const OutsideListingScope&) = delete;
  OutsideListingScope& operator=(const OutsideListingScope&) = delete;

 private:
  std::shared_ptr<void> aside_;
};

// The device and inode of a real folder (not a link to one), when the run
// holds the listing of the folder that holds it. False when the disk must
// be asked. Throws SiteChangedError naming the folder when it has been
// replaced by a link since that listing.
bool HeldFolderIdentity(const std::string& folder, std::pair<std::uint64_t, std::uint64_t>& id);

// Called with the folder's path each time the layer reads a folder's listing
// from the disk; returns the observer it replaces. For tests and measurements.
using ListingObserver = std::function<void(const std::string& folder)>;
ListingObserver SetListingObserver(ListingObserver observer);

// Whether a disk folds case is found out at a run's first listing there, by
// looking a listed name up in another spelling (the path given); the probe,
// when set, answers instead of the disk whether that path exists. Returns
// the probe it replaces. For tests of disks that fold case.
using CaseProbe = std::function<bool(const std::string& otherSpelling)>;
CaseProbe SetCaseProbe(CaseProbe probe);

// True when the run's listings have found that the folder's disk folds
// case, so that names the run compares as its own must be compared as the
// disk compares them: "WELCOME.HTML" is "welcome.html" there. False
// outside a ListingScope and where the folder is not held.
bool FoldsCase(const std::string& folder);
// Equal but for the case of ASCII letters: the same name on a disk that
// folds case.
bool SameFolded(std::string_view a, std::string_view b);

// Called with the folder's path right after the layer has made it, before
// anything is written into it; returns the observer it replaces. For tests
// that change the disk at that moment.
using FolderMadeObserver = std::function<void(const std::string& folder)>;
FolderMadeObserver SetFolderMadeObserver(FolderMadeObserver observer);

// Asked with the path of each file the layer writes over whatever stands at
// its name (WriteBytes, a copy that overwrites), once it is written: true
// stops the write half-way, as a program killed at that moment would leave
// it, and the call throws FsoError. Returns the one it replaces. For tests
// of runs broken off.
using WriteStop = std::function<bool(const std::string& path)>;
WriteStop SetWriteStop(WriteStop stop);

// Keeps a recursive walk from entering a folder it is already inside
// (a symbolic link to an ancestor). Enter before visiting a folder's
// content; Leave when done with it.
class AncestorChain {
 public:
  // False when the folder is already on the chain (or cannot be stat'ed);
  // then do not visit it and do not call Leave.
  bool Enter(const std::string& folder);
  void Leave();

 private:
  std::vector<std::pair<std::uint64_t, std::uint64_t>> chain_;
};

}  // namespace fso
}  // namespace platform
