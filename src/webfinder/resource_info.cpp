#include "webfinder/resource_info.h"

#include <stdexcept>

namespace talvora {

ResourceInfo* ResourceInfos::Add(const std::string& URL, int FileType,
                                 const std::string& Description, const std::string& sKey) {
  for (const auto& item : items_)
    if (item.second->URL() == URL) return nullptr;
  if (!sKey.empty() && PositionOfKey(sKey) != 0)
    throw std::invalid_argument("该键已与集合中的一个元素相关联: " + sKey);
  auto info = std::make_unique<ResourceInfo>();
  info->SetURL(URL);
  info->SetFileType(FileType);
  info->SetDescription(Description);
  ResourceInfo* added = info.get();
  items_.emplace_back(sKey, std::move(info));
  return added;
}

ResourceInfo* ResourceInfos::Item(int vntIndexKey) const {
  if (vntIndexKey < 1 || vntIndexKey > Count())
    throw std::out_of_range("下标越界: " + std::to_string(vntIndexKey));
  return items_[static_cast<std::size_t>(vntIndexKey - 1)].second.get();
}

ResourceInfo* ResourceInfos::Item(const std::string& vntIndexKey) const {
  const int position = PositionOfKey(vntIndexKey);
  if (position == 0) throw std::out_of_range("集合中没有这个键: " + vntIndexKey);
  return Item(position);
}

void ResourceInfos::Remove(int vntIndexKey) {
  if (vntIndexKey < 1 || vntIndexKey > Count())
    throw std::out_of_range("下标越界: " + std::to_string(vntIndexKey));
  items_.erase(items_.begin() + (vntIndexKey - 1));
}

void ResourceInfos::Remove(const std::string& vntIndexKey) {
  const int position = PositionOfKey(vntIndexKey);
  if (position == 0) throw std::out_of_range("集合中没有这个键: " + vntIndexKey);
  Remove(position);
}

int ResourceInfos::PositionOfKey(const std::string& key) const {
  if (key.empty()) return 0;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].first == key) return static_cast<int>(i) + 1;
  return 0;
}

}  // namespace talvora
