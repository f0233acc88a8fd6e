// Where the programs find their folders, and the one path separator.
#pragma once
#include <string>

namespace platform {

// Stands wherever the design writes "\" between path components.
inline constexpr char kSep = '/';
inline const std::string kSepStr = "/";

// The folder of the running executable, without a trailing separator
// (the root folder keeps its own). Tests point it elsewhere with
// SetProgramFolder; an empty text restores the real one.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

// The per-user folder of the fixed files (index.temp, a.xml):
// $XDG_CACHE_HOME/talvora when that is an absolute path, or else
// ~/.cache/talvora. Created on first use.
std::string UserCacheFolder();

}  // namespace platform
