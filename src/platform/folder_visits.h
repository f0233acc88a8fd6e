// The one rule every walk over a site's folders keeps: it stays inside the
// folder it started from and enters each real folder once. Folders are known
// by device and inode, so a folder reached again through a symbolic link (a
// loop, or many links to one folder) is not entered a second time, and a link
// that leads out of the start folder is not entered at all.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <utility>

namespace platform {
namespace fso {

class FolderVisits {
 public:
  // The start folder counts as visited. Throws FsoError when it cannot be
  // looked at.
  explicit FolderVisits(const std::string& root);

  // True the first time the walk meets a folder inside the start folder:
  // visit it. False for a folder visited before and for a link that leads
  // out of the start folder: leave it out. Throws FsoError naming the
  // folder when it cannot be looked at (a path past the system's length
  // limit, for one), so a folder is never left out unsaid.
  bool Enter(const std::string& folder);

 private:
  std::string root_;  // the start folder's real path
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
};

}  // namespace fso
}  // namespace platform
