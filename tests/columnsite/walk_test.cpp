// The walks of the column-site program over unusual but real folder trees:
// links that lead out of the start folder or fan out inside it, folders
// nested past the path-length limit.
#include <unistd.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "column_fixture.h"
#include "columnsite/page1.h"
#include "generator/generator.h"
#include "platform/dialogs.h"
#include "platform/fso.h"
#include "platform/xml_document.h"
#include "support/temp_dir.h"
#include "support/name_fixtures.h"
#include "support/walk_fixtures.h"

namespace quenlet {
namespace {

using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class ColumnWalk : public ColumnTest {
 protected:
  void SetUp() override {
    ColumnTest::SetUp();
    Options().TemplatePath = ProgramDataFolder() + "/template/资源部专用/xsl1";
  }
  static void MakeSite(const std::string& folder) {
    MakeDirs(folder + "/学习测评");
    MakeDirs(folder + "/网络导航");
  }
  std::vector<std::string> Find(const std::string& start) {
    std::vector<std::string> sites;
    FindSites(start, sites);
    for (std::string& s : sites) s = talvora::RelativePath(dir_.path(), s);
    return sites;
  }
  TempDir dir_;
};

// The search stays in the start folder and meets each real folder once.
TEST_F(ColumnWalk, SiteDiscoveryStaysInTheStartFolderAndFindsEachSiteOnce) {
  const std::string start = dir_ / "start";
  MakeSite(dir_ / "elsewhere/s");
  MakeDirs(dir_ / "elsewhere/b/媒体中心");
  MakeDirs(dir_ / "elsewhere/b/图片欣赏");
  MakeSite(start + "/own");
  struct Link {
    std::string at, target;
  } links[] = {
      {"start/out", "../elsewhere"},  // a folder outside holding sites
      {"start/outb", "../elsewhere/b"},  // a site by its pair B, outside
      {"start/x", "own"},               // the start folder's own site again
      {"start/y", "own"},
  };
  for (const Link& l : links) ASSERT_EQ(symlink(l.target.c_str(), (dir_ / l.at).c_str()), 0);
  EXPECT_EQ(Find(start), std::vector<std::string>{"/start/own"});
}

// A column site's walks never enter a link out of the site, and enter each
// real folder once.
TEST_F(ColumnWalk, SiteRunStaysInsideAndEntersEachFolderOnce) {
  const std::string site = dir_ / "site", outside = dir_ / "outside";
  MakeSite(site);
  WriteFile(outside + "/startxml.xsl", "user's own stylesheet");
  WriteFile(outside + "/sub/startxml.xml", "user's own page");
  WriteFile(outside + "/1电子课本/x.doc", "x");
  WriteFile(outside + "/3Unit/index.html", "finished page");
  ASSERT_EQ(symlink("../../outside", (site + "/学习测评/ext").c_str()), 0);
  const int count = 8;
  testing_support::MakeLinkFanOut(site + "/网络导航", count);
  const auto before = testing_support::Snapshot(outside);

  GenerateSite(site, "");
  EXPECT_EQ(testing_support::Snapshot(outside), before);
  EXPECT_EQ(Options().CatalogueRoot.Attribute("pages"), std::to_string(count));
  platform::XmlDocument copy;
  ASSERT_TRUE(copy.LoadXml(ReadFile(CatalogueCopyPath())));
  EXPECT_EQ(copy.DocumentElement().Attribute("pages"), std::to_string(count));
}

// A folder the run cannot enter ends the site's run with an error naming it.
TEST_F(ColumnWalk, FolderPastThePathLengthLimitIsAnErrorNamingIt) {
  const std::string site = dir_ / "site";
  MakeSite(site);
  const std::vector<std::string> paths = testing_support::MakeDeepTree(site + "/学习测评");
  struct Cleanup {
    std::string folder;
    ~Cleanup() { testing_support::RemoveDeepContent(folder); }
  } cleanup{site};
  try {
    GenerateSite(site, "");
    ADD_FAILURE() << "the run reported success";
  } catch (const platform::FsoError& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("\"" + paths.back() + "\""));
  }
}

// The search cannot enter a folder past the path-length limit: the sites
// beside it are still found and generated, and the run names the folder
// whose sites it could not look for.
TEST_F(ColumnWalk, RunNamesTheFoldersTheSearchCouldNotEnter) {
  const std::string start = dir_ / "start";
  MakeDirs(start);
  const std::vector<std::string> paths = testing_support::MakeDeepTree(start);
  struct Cleanup {
    std::string folder;
    ~Cleanup() { testing_support::RemoveDeepContent(folder); }
  } cleanup{start};
  // Listed after the deep chain's first folder ("a...").
  MakeSite(start + "/zsite");
  std::vector<std::string> sites, unsearched;
  FindSites(start, sites, &unsearched);
  EXPECT_EQ(sites, std::vector<std::string>{start + "/zsite"});
  EXPECT_EQ(unsearched, std::vector<std::string>{paths.back()});

  platform::ScriptedDialogs dialogs;
  Page1 page;
  page.ResourcePath->setText(QString::fromStdString(start));
  page.finishCommand->click();
  EXPECT_TRUE(platform::fso::FileExists(start + "/zsite/startxml.xml"));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_THAT(dialogs.shown[0].prompt, ::testing::HasSubstr("\n" + paths.back()));
}

// Control characters, GBK bytes, U+FFFE, U+FFFF and "\" in names: the page
// documents and the catalogue copy stay well-formed, and every file and
// zoom image is reached from its page.
TEST_F(ColumnWalk, AwkwardNamesKeepThePagesWellFormedAndTheFilesReached) {
  const std::string site = dir_ / "site";
  MakeSite(site);
  testing_support::MakeAwkwardNames(site + "/学习测评");
  WriteFile(site + "/学习测评/1电子课本/\xBF\xCE\x01.doc", "book");
  WriteFile(site + "/学习测评/2电子课本/b\\k\uFFFE.doc", "book");
  // A picture's zoom image is its thumbnail, or the picture itself.
  WriteFile(site + "/学习测评/p\\1\uFFFF.jpg", "pic");
  WriteFile(site + "/学习测评/TN_p\\1\uFFFF.jpg", "thumb");
  WriteFile(site + "/学习测评/q\\2.gif", "pic");
  GenerateSite(site, "");
  testing_support::ExpectWellFormedAndReachable(site, false, CatalogueCopyPath());
  // The textbook's index page sends the browser to the file of that name.
  EXPECT_NE(ReadFile(site + "/学习测评/1电子课本/index.html").find("\"%BF%CE%01.doc\""),
            std::string::npos);
  EXPECT_NE(ReadFile(site + "/学习测评/2电子课本/index.html").find("\"b%5Ck%EF%BF%BE.doc\""),
            std::string::npos);
}

}  // namespace
}  // namespace quenlet
