// The two commands of the archiver stand-in. Each reports on stderr and
// returns the exit status (winrar::ExitCode).
#pragma once
#include <functional>
#include <string>

namespace winrar {

// Called with a file's path just before the packer opens it to read it;
// what happens there (the file changed by another program) must not get
// anything into the archive the scan of the folder did not let in.
using OpeningHook = std::function<void(const std::string& path)>;

// "a -m0 -ep1 -r <archive> <folder>/*.*": stores everything below the
// folder, without the folder itself in the names, in the archive; entries
// already there under the same name are replaced, the others kept.
int AddToArchive(const std::string& archive, const std::string& folder, const OpeningHook& opening = {});

// "X -o+ <archive> *.* <destination>": extracts every entry with its path
// into the destination, replacing existing files. Entries that would land
// outside the destination are refused.
int ExtractArchive(const std::string& archive, const std::string& destination);

}  // namespace winrar
