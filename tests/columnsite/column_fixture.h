// Small helpers shared by the column-site tests.
#pragma once
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "generator/generator.h"
#include "generator/uitl.h"

namespace quenlet {

// Every test starts from the program's idle state with the subject given.
class ColumnTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset("语文"); }
  void TearDown() override { Reset("语文"); }
  static void Reset(const std::string& subject) {
    GlobalState& o = Options();
    o.SubjectText = subject;
    o.CancelFlag = 0;
    o.StartedWithPath = false;
    o.ArrayIniLines.assign(20, "");
    o.LogoPath.clear();
    o.BannerPath.clear();
    o.WelcomePath.clear();
    o.FootText = "页脚";
  }
};

inline std::vector<std::string> Names(const std::vector<std::string>& paths) {
  std::vector<std::string> names;
  for (const std::string& p : paths) names.push_back(talvora::GetFileName(p));
  return names;
}

}  // namespace quenlet
