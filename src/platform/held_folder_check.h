// Whether a folder a generation run holds has been replaced under it: the
// question a routine that passes over failures of the file layer asks, so
// that it never passes over the run's site changing while it works.
#pragma once
#include <string>

namespace platform {
namespace fso {

// True when the run's listings hold the folder as a real folder (see
// HeldFolderIdentity) and its path no longer leads to that folder without
// a link: it was moved away, or a link or another folder stands there now.
// False when the run holds nothing of it.
bool HeldFolderReplaced(const std::string& folder);

}  // namespace fso
}  // namespace platform
