// Counts the folder listings the file-system layer reads from the disk
// while it lives, by folder.
#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fso.h"

namespace testing_support {

class ListingCounter {
 public:
  ListingCounter()
      : previous_(platform::fso::SetListingObserver([this](const std::string& folder) {
          std::string key = folder;
          while (key.size() > 1 && key.back() == '/') key.pop_back();
          ++counts_[key];
        })) {}
  ~ListingCounter() { platform::fso::SetListingObserver(previous_); }
  ListingCounter(const ListingCounter&) = delete;
  ListingCounter& operator=(const ListingCounter&) = delete;

  void Clear() { counts_.clear(); }

  // The folders of a tree, the root included, links to folders left out.
  static std::vector<std::string> FoldersOf(const std::string& root) {
    namespace fs = std::filesystem;
    std::vector<std::string> folders{root};
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (e.is_directory() && !e.is_symlink()) folders.push_back(e.path().string());
    return folders;
  }

  // Every one of the folders read exactly once, and no folder anywhere read
  // more than once.
  void ExpectEachOnce(const std::vector<std::string>& folders) const {
    for (const std::string& folder : folders) {
      auto at = counts_.find(folder);
      EXPECT_EQ(at == counts_.end() ? 0 : at->second, 1) << folder;
    }
    for (const auto& [folder, count] : counts_) EXPECT_LE(count, 1) << folder;
  }

 private:
  std::map<std::string, int> counts_;
  platform::fso::ListingObserver previous_;
};

}  // namespace testing_support
