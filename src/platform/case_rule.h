// How a disk matches names: whether it folds case, as exFAT, FAT and
// Windows disks do, and how a name is then matched. Part of the file layer.
#pragma once
#include <string>
#include <vector>

namespace platform {
namespace fso {
namespace detail {

// Whether a file system folds case when it looks a name up, as exFAT, FAT
// and Windows disks do ("INDEX.HTML" is found as "index.html"): found out at
// the first listing there that holds a name with a letter, by looking that
// name up in the other case. -1 while not known.
struct CaseRule {
  int folds = -1;
};

bool HasAsciiLetter(const std::string& name);
// True when the name's only letters with case are ASCII ones, so that a
// disk folding case finds it under spellings that differ in those only.
bool FoldsAsAscii(const std::string& name);

// Learns the rule of a folder's file system from its names (sorted
// byte-wise): a listed name looked up in the other case, in the open folder.
void LearnCaseRule(int dirFd, const std::string& folder, const std::vector<std::string>& names,
                   CaseRule& rule);

}  // namespace detail
}  // namespace fso
}  // namespace platform
