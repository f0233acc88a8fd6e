#include "webfinder/resource_info.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using talvora::ResourceInfo;
using talvora::ResourceInfos;

namespace {

std::vector<std::string> Urls(const ResourceInfos& infos) {
  std::vector<std::string> urls;
  for (const ResourceInfo& info : infos) urls.push_back(info.URL());
  return urls;
}

TEST(ResourceInfos, ARepeatedAddressIsRefusedAndTheFirstItemStays) {
  ResourceInfos infos;
  ResourceInfo* first = infos.Add("http://h/a.gif", 0, "logo", "");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(infos.Add("http://h/a.gif", 2, "other text", ""), nullptr);
  EXPECT_EQ(infos.Add("http://h/a.gif", 0, "logo", ""), nullptr);
  // Exact comparison: case and blanks make another address.
  ASSERT_NE(infos.Add("http://h/A.GIF", 1, "", ""), nullptr);
  ASSERT_NE(infos.Add("http://h/a.gif ", 3, "", ""), nullptr);

  ASSERT_EQ(infos.Count(), 3);
  EXPECT_EQ(infos.Item(1), first);
  EXPECT_EQ(infos.Item(1)->FileType(), 0);
  EXPECT_EQ(infos.Item(1)->Description(), "logo");
  EXPECT_EQ(infos.Item(2)->URL(), "http://h/A.GIF");
  EXPECT_EQ(infos.Item(2)->FileType(), 1);
  EXPECT_EQ(infos.Item(3)->FileType(), 3);
  EXPECT_EQ(Urls(infos), (std::vector<std::string>{"http://h/a.gif", "http://h/A.GIF", "http://h/a.gif "}));
}

TEST(ResourceInfos, PositionsAreOneBasedAndCloseUpAfterARemove) {
  ResourceInfos infos;
  EXPECT_EQ(infos.Count(), 0);
  EXPECT_TRUE(Urls(infos).empty());
  EXPECT_THROW(infos.Item(1), std::out_of_range);

  infos.Add("u1", 0, "", "");
  infos.Add("u2", 1, "", "");
  infos.Add("u3", 2, "", "");
  for (int bad : {0, -1, 4}) {
    EXPECT_THROW(infos.Item(bad), std::out_of_range) << bad;
    EXPECT_THROW(infos.Remove(bad), std::out_of_range) << bad;
  }
  infos.Remove(1);
  EXPECT_EQ(infos.Count(), 2);
  EXPECT_EQ(infos.Item(1)->URL(), "u2");
  EXPECT_EQ(infos.Item(2)->URL(), "u3");
  // A removed address may come again, at the end.
  ASSERT_NE(infos.Add("u1", 0, "", ""), nullptr);
  EXPECT_EQ(Urls(infos), (std::vector<std::string>{"u2", "u3", "u1"}));
}

TEST(ResourceInfos, ItemsUnderAKeyAreFoundAndRemovedByIt) {
  ResourceInfos infos;
  infos.Add("u1", 0, "", "");
  infos.Add("u2", 0, "", "second");
  infos.Add("u3", 0, "", "");
  EXPECT_EQ(infos.Item("second")->URL(), "u2");
  EXPECT_THROW(infos.Item("Second"), std::out_of_range);
  EXPECT_THROW(infos.Item(""), std::out_of_range);
  EXPECT_THROW(infos.Add("u4", 0, "", "second"), std::invalid_argument);
  EXPECT_EQ(infos.Count(), 3);
  infos.Remove("second");
  EXPECT_EQ(Urls(infos), (std::vector<std::string>{"u1", "u3"}));
  EXPECT_THROW(infos.Remove("second"), std::out_of_range);
}

}  // namespace
