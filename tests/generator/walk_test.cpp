// The walks of a generation run over unusual but real folder trees: links
// that lead out of the site or fan out inside it, folders nested past the
// path-length limit.
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "generator/catalogue.h"
#include "generator/generator.h"
#include "generator/recording_sink.h"
#include "generator/uitl.h"
#include "platform/fso.h"
#include "platform/xml_document.h"
#include "support/temp_dir.h"
#include "support/walk_fixtures.h"

namespace talvora {
namespace {

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class SiteWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    style_ = dir_ / "template/xsl1";
    testing_support::MakeSmallStyle(style_);
    site_ = dir_ / "site";
    testing_support::MakeDirs(site_);
    GenerationOptions& o = Options();
    o.TemplatePath = style_;
    o.CancelFlag = 0;
    SetUiSink(&sink_);
  }
  void TearDown() override {
    SetUiSink(nullptr);
    Options() = GenerationOptions();
  }
  void Run(bool fullRun) {
    std::string site = site_;
    GenerateSite(site, fullRun);
  }
  // The folder entries of the catalogue the last run built, by their dir,
  // each with the level it sits on.
  static std::vector<std::string> CatalogueFolders() {
    std::vector<std::string> folders;
    std::function<void(platform::XmlNode)> walk = [&](platform::XmlNode n) {
      for (platform::XmlNode c = n.FirstChild(); c; c = c.NextSibling()) {
        if (!c.Attribute("dir").empty()) folders.push_back(c.Attribute("level") + ":" + c.Attribute("dir"));
        walk(c);
      }
    };
    walk(Options().CatalogueRoot);
    return folders;
  }

  TempDir dir_;
  std::string style_, site_;
  RecordingSink sink_;
};

// A link to a folder outside the site is no branch: no run enters it, so
// nothing there is written, deleted or shown.
TEST_F(SiteWalk, LinkToAFolderOutsideTheSiteIsNoBranch) {
  struct Case {
    const char* what;
    std::string at, target;
    std::string outside;  // the folder outside that the link leads to or holds
  } cases[] = {
      {"relative link out", "A/ext", "../../outside", dir_ / "outside"},
      {"absolute link out", "A/ext", dir_ / "outside", dir_ / "outside"},
      {"link to the folder holding the site", "up", "..", dir_ / "outside"},
      {"link to the root folder", "A/root", "/", dir_ / "outside"},
      // Its path begins with the site's: inside only by the letters.
      {"link to a sibling folder named like the site", "A/old", "../../site-old", dir_ / "site-old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string& outside = c.outside;
    // What a run would touch in a folder of its site.
    WriteFile(outside + "/startxml.xsl", "user's own stylesheet");
    WriteFile(outside + "/sub/startxml.xml", "user's own page");
    WriteFile(outside + "/sub/x.htm", "x");
    WriteFile(outside + "/02Lesson/index.html", "finished page");
    WriteFile(outside + "/welcome.files/welcome.gif", "pic");
    WriteFile(outside + "/welcome.files/welcome.txt", "Hello");
    WriteFile(site_ + "/A/a.htm", "a");
    ASSERT_EQ(symlink(c.target.c_str(), (site_ + "/" + c.at).c_str()), 0);
    const auto before = testing_support::Snapshot(outside);

    for (bool fullRun : {true, false}) {
      SCOPED_TRACE(fullRun ? "full run" : "refresh run");
      Run(fullRun);
      EXPECT_EQ(testing_support::Snapshot(outside), before);
      EXPECT_EQ(CatalogueFolders(), std::vector<std::string>{"1:A"});
      // A and the template's startxml.files.
      EXPECT_EQ(CountFolders(site_), 2);
      EXPECT_TRUE(Exists(site_ + "/A/startxml.xml"));
    }
    ::unlink((site_ + "/" + c.at).c_str());
  }
}

// Many links to the same folders, without a loop: each real folder is
// entered once, at the first place the walk meets it.
TEST_F(SiteWalk, FanOutOfLinksEntersEachFolderOnce) {
  const int count = 10;
  testing_support::MakeLinkFanOut(site_, count);
  EXPECT_EQ(CountFolders(site_), count);
  for (bool fullRun : {true, false}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    Run(fullRun);
    // f00 first, then f01 through its link a, f02 through f01's link a, ...
    std::vector<std::string> expected{"1:f00"};
    for (int level = 2; level <= count; ++level) expected.push_back(std::to_string(level) + ":a");
    EXPECT_EQ(CatalogueFolders(), expected);
    EXPECT_EQ(Options().CatalogueRoot.Attribute("pages"), std::to_string(count));
    platform::XmlDocument last;
    ASSERT_TRUE(last.LoadXml(ReadFile(site_ + "/f09/startxml.xml")));
    EXPECT_EQ(last.DocumentElement().Attribute("stylePath"), "../../../../../../../../../../");
  }
}

// A folder the run cannot enter ends the run with an error naming it; the
// run never reports success with the folder left out.
TEST_F(SiteWalk, FolderPastThePathLengthLimitIsAnErrorNamingIt) {
  const std::vector<std::string> paths = testing_support::MakeDeepTree(site_);
  const std::string tooLong = paths.back();
  struct Cleanup {
    std::string folder;
    ~Cleanup() { testing_support::RemoveDeepContent(folder); }
  } cleanup{site_};

  for (bool fullRun : {true, false}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    sink_.status.clear();
    try {
      Run(fullRun);
      ADD_FAILURE() << "the run reported success";
    } catch (const platform::FsoError& e) {
      EXPECT_THAT(e.what(), ::testing::HasSubstr("\"" + tooLong + "\""));
    }
    EXPECT_THAT(sink_.status, ::testing::Not(::testing::Contains("主题资源处理完成")));
  }
  EXPECT_THROW(CountFolders(site_), platform::FsoError);
}

}  // namespace
}  // namespace talvora
