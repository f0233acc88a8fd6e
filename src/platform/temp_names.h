// The names the programs give a file while they write it, before it takes
// its real name in one rename: a download's body beside its target, and
// the archiver's output (an archive being packed, an entry being unpacked).
// A run broken off (killed, the machine switched off) leaves such a file
// behind; it is never content of a site, so every walk that lists a site's
// files for pages, picture or media tests, or an archive leaves it out.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// ".download-<16 lower-case hex digits>.part": a download's body beside
// its target, with the 64-bit value chosen for it.
std::string DownloadPartName(std::uint64_t value);

// The archiver's files, as mkstemp's pattern: ".rartemp.XXXXXX".
inline constexpr char kArchiverTempPattern[] = ".rartemp.XXXXXX";

// True when the file name (no folder) has one of the two forms above, as
// the programs make them: the hex digits of a download in lower case, the
// six characters mkstemp puts in place of the X's letters or digits.
bool IsOwnTemporaryName(std::string_view name);

}  // namespace platform
