// Acts once, the first time the file layer reads a given folder's listing
// from the disk: a test changes the disk at the moment a run first looks
// into that folder, with no timing involved.
#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "platform/fso.h"

namespace testing_support {

class OnFirstListing {
 public:
  OnFirstListing(const std::string& folder, std::function<void()> act)
      : folder_(std::filesystem::path(folder).lexically_normal()),
        act_(std::move(act)),
        previous_(platform::fso::SetListingObserver([this](const std::string& listed) {
          if (acted_ || std::filesystem::path(listed).lexically_normal() != folder_) return;
          acted_ = true;
          act_();
        })) {}
  ~OnFirstListing() { platform::fso::SetListingObserver(previous_); }
  OnFirstListing(const OnFirstListing&) = delete;
  OnFirstListing& operator=(const OnFirstListing&) = delete;

  bool Acted() const { return acted_; }

 private:
  const std::filesystem::path folder_;
  const std::function<void()> act_;
  bool acted_ = false;
  platform::fso::ListingObserver previous_;
};

}  // namespace testing_support
