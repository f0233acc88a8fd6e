#include "platform/folder_visits.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <system_error>

#include <sys/stat.h>

#include "platform/fso.h"
#include "platform/paths.h"

namespace platform {
namespace fso {
namespace {

[[noreturn]] void CannotEnter(const std::string& folder, int err) {
  throw FsoError("cannot enter folder \"" + folder +
                 "\": " + std::error_code(err, std::generic_category()).message());
}

// The folder's path with every link resolved.
std::string RealPath(const std::string& folder) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr), &std::free);
  if (!real) CannotEnter(folder, errno);
  return real.get();
}

std::pair<std::uint64_t, std::uint64_t> Identity(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

FolderVisits::FolderVisits(const std::string& root) : root_(RealPath(root)) {
  struct stat st;
  if (::stat(root_.c_str(), &st) != 0) CannotEnter(root, errno);
  seen_.insert(Identity(st));
}

bool FolderVisits::Enter(const std::string& folder) {
  // A real folder the walk has met inside the start folder: it lies inside.
  std::pair<std::uint64_t, std::uint64_t> id;
  if (HeldFolderIdentity(folder, id)) return seen_.insert(id).second;
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0) CannotEnter(folder, errno);
  if (S_ISLNK(st.st_mode)) {
    // A real folder below a visited one lies inside; a link must be
    // followed to see where it leads.
    const std::string real = RealPath(folder);
    const bool inside = root_ == kSepStr ||
                        (real.size() > root_.size() && real.compare(0, root_.size(), root_) == 0 &&
                         real[root_.size()] == kSep);
    if (!inside) return false;
    if (::stat(real.c_str(), &st) != 0) CannotEnter(folder, errno);
  }
  if (!S_ISDIR(st.st_mode)) return false;
  return seen_.insert(Identity(st)).second;
}

}  // namespace fso
}  // namespace platform
