// What the page scanner finds: one web resource (its address, its kind and a
// short description) and the ordered collection of one scan, which never
// holds two resources with the same address.
#pragma once
#include <memory>
#include <string>
#include <vector>

namespace talvora {

// The kinds of a found resource.
enum ResourceKind : int {
  kPicture = 0,
  kFlashMovie = 1,
  kWindowsMedia = 2,
  kRealMedia = 3,
};

class ResourceInfo {
 public:
  // Alternative text of a picture, inner text of a link, or "".
  void SetDescription(const std::string& vData) { description_ = vData; }
  const std::string& Description() const { return description_; }
  // One of ResourceKind; other values are shown as "Other".
  void SetFileType(int vData) { fileType_ = vData; }
  int FileType() const { return fileType_; }
  // The absolute address.
  void SetURL(const std::string& vData) { url_ = vData; }
  const std::string& URL() const { return url_; }

 private:
  std::string description_;
  int fileType_ = 0;
  std::string url_;
};

// Positions are 1-based and follow the order of insertion. An item may carry
// a text key; keys are compared exactly and a key is given to one item only.
class ResourceInfos {
 public:
  // nullptr, and nothing added, when an item has exactly this address
  // already; that item keeps its kind and description. Throws
  // std::invalid_argument when sKey is not empty and already taken.
  ResourceInfo* Add(const std::string& URL, int FileType, const std::string& Description,
                    const std::string& sKey);
  // Throws std::out_of_range for a position outside 1 to Count or a key no
  // item has.
  ResourceInfo* Item(int vntIndexKey) const;
  ResourceInfo* Item(const std::string& vntIndexKey) const;
  int Count() const { return static_cast<int>(items_.size()); }
  // The items after it move up one position. Throws as Item does.
  void Remove(int vntIndexKey);
  void Remove(const std::string& vntIndexKey);

  // Iteration over the items in order (for (const ResourceInfo& r : infos)).
  class const_iterator {
   public:
    using Base = std::vector<std::pair<std::string, std::unique_ptr<ResourceInfo>>>::const_iterator;
    explicit const_iterator(Base it) : it_(it) {}
    const ResourceInfo& operator*() const { return *it_->second; }
    const ResourceInfo* operator->() const { return it_->second.get(); }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator!=(const const_iterator& other) const { return it_ != other.it_; }
    bool operator==(const const_iterator& other) const { return it_ == other.it_; }

   private:
    Base it_;
  };
  const_iterator begin() const { return const_iterator(items_.begin()); }
  const_iterator end() const { return const_iterator(items_.end()); }

 private:
  int PositionOfKey(const std::string& key) const;

  // Each item with its key ("" for none).
  std::vector<std::pair<std::string, std::unique_ptr<ResourceInfo>>> items_;
};

}  // namespace talvora
