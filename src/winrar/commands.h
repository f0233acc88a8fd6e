// The two commands of the archiver stand-in. Each reports on stderr and
// returns the exit status (winrar::ExitCode).
#pragma once
#include <string>

namespace winrar {

// "a -m0 -ep1 -r <archive> <folder>/*.*": stores everything below the
// folder, without the folder itself in the names, in the archive; entries
// already there under the same name are replaced, the others kept.
int AddToArchive(const std::string& archive, const std::string& folder);

// "X -o+ <archive> *.* <destination>": extracts every entry with its path
// into the destination, replacing existing files. Entries that would land
// outside the destination are refused.
int ExtractArchive(const std::string& archive, const std::string& destination);

}  // namespace winrar
