#include "platform/held_folder_check.h"

#include <cstdint>
#include <utility>

#include <sys/stat.h>

#include "platform/fso.h"

namespace platform {
namespace fso {

bool HeldFolderReplaced(const std::string& folder) {
  std::pair<std::uint64_t, std::uint64_t> held;
  if (!HeldFolderIdentity(folder, held)) return false;
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
  return std::make_pair(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)) !=
         held;
}

}  // namespace fso
}  // namespace platform
