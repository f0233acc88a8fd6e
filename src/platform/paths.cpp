#include "platform/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {
std::string& ProgramFolderOverride() {
  static std::string value;
  return value;
}
}  // namespace

std::string ProgramFolder() {
  if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  std::string folder = exe.parent_path().string();
  return folder.empty() ? kSepStr : folder;
}

void SetProgramFolder(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == kSep) f.pop_back();
  ProgramFolderOverride() = f;
}

std::string UserCacheFolder() {
  std::string base;
  // A relative XDG_CACHE_HOME is ignored, as the XDG rule says: it would
  // follow the working folder, which may well be a site.
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.cache";
  } else {
    base = (fs::temp_directory_path() / ("talvora-" + std::to_string(getuid()))).string();
  }
  std::string folder = base + "/talvora";
  std::error_code ec;
  fs::create_directories(folder, ec);
  return folder;
}

}  // namespace platform
