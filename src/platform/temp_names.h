// The names the programs give a file while they write it, before it takes
// its real name in one rename: a download's body beside its target, the
// archiver's output (an archive being packed, an entry being unpacked), and
// every file the file layer writes whole.
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

// A file the file layer is writing, beside its real name: the X's are six
// letters or digits.
inline constexpr char kWriteTempPattern[] = ".writing.XXXXXX";

// True when the file name (no folder) has the form of a file the file layer
// was writing. Such a file left behind is always a write broken off.
bool IsWriteTemporaryName(std::string_view name);

// True when the file name (no folder) has one of the three forms above, as
// the programs make them: the hex digits of a download in lower case, the
// six characters in place of the X's letters or digits.
bool IsOwnTemporaryName(std::string_view name);

}  // namespace platform
