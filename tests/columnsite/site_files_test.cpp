// The column site's picture copy, clean-up and template copy.
#include "generator/site_files.h"

#include <string>

#include "column_fixture.h"
#include "platform/fso.h"
#include "support/temp_dir.h"

namespace quenlet {
namespace {

using platform::fso::FileExists;
using platform::fso::FolderExists;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

using QuenletSiteFiles = ColumnTest;

TEST_F(QuenletSiteFiles, PicturesAreTheLogoAndTheSitesOwnBannerAndWelcome) {
  struct Case {
    bool logo, banner, welcome;
  } cases[] = {{true, false, false}, {false, false, false}, {true, true, true}, {false, true, false}};
  for (const Case& c : cases) {
    TempDir dir;
    const std::string site = dir / "site";
    MakeDirs(site);
    WriteFile(dir / "logo_shuxue.gif", "logo");
    Options().LogoPath = c.logo ? dir / "logo_shuxue.gif" : "";
    if (c.banner) WriteFile(site + "/banner.gif", "banner");
    if (c.welcome) WriteFile(site + "/welcome.jpg", "welcome");
    MakeDirs(site + "/startxml.files");
    CopyPictures(site);
    EXPECT_EQ(FileExists(site + "/startxml.files/logo.gif"), c.logo);
    if (c.logo) {
      EXPECT_EQ(ReadFile(site + "/startxml.files/logo.gif"), "logo");
    }
    EXPECT_EQ(FileExists(site + "/startxml.files/banner.gif"), c.banner);
    EXPECT_EQ(FileExists(site + "/startxml.files/welcome.jpg"), c.welcome);
    EXPECT_FALSE(FileExists(site + "/startxml.files/welcome.gif"));
    EXPECT_EQ(Options().BannerPath, site + "/banner.gif");
    EXPECT_EQ(Options().WelcomePath, site + "/welcome.jpg");
  }
}

TEST_F(QuenletSiteFiles, CleanUpKeepsAssetsAndFinishedPages) {
  TempDir site;
  for (const char* f : {"startxml.xsl", "startxml.xml", "index.html", "startxml.files/own.gif",
                        "A/startxml.xml", "A/index.html.bak", "A/B/startxml.xml",
                        "Web/index.html", "Web/index.htm", "Web/startxml.xml",
                        "Htm/index.htm", "Htm/startxml.xml", "keep.htm"}) {
    std::string path = site / f;
    MakeDirs(path.substr(0, path.rfind('/')));
    WriteFile(path, "x");
  }
  CleanOutput(site.path());
  for (const char* gone : {"startxml.xsl", "startxml.xml", "index.html", "A/startxml.xml",
                           "A/B/startxml.xml"})
    EXPECT_FALSE(FileExists(site / gone)) << gone;
  for (const char* kept : {"startxml.files/own.gif", "A/index.html.bak", "Web/index.html",
                           "Web/startxml.xml", "Htm/index.htm", "Htm/startxml.xml", "keep.htm"})
    EXPECT_TRUE(FileExists(site / kept)) << kept;
}

TEST_F(QuenletSiteFiles, TemplateCopyRefreshesTheKeptAssetFolder) {
  TempDir dir;
  const std::string style = dir / "xsl1", site = dir / "site";
  MakeDirs(style + "/startxml.files");
  WriteFile(style + "/startxml.files/startxml.css", "new");
  WriteFile(style + "/startxml.xsl", "xsl");
  WriteFile(style + "/index.html", "<qz>");
  MakeDirs(site + "/startxml.files");
  WriteFile(site + "/startxml.files/startxml.css", "old");
  WriteFile(site + "/startxml.files/ico.gif", "own icon");
  CopyTemplate(style, site);
  EXPECT_EQ(ReadFile(site + "/startxml.files/startxml.css"), "new");
  EXPECT_EQ(ReadFile(site + "/startxml.files/ico.gif"), "own icon");
  EXPECT_EQ(ReadFile(site + "/startxml.xsl"), "xsl");
  EXPECT_EQ(ReadFile(site + "/index.html"), "<qz>");
  EXPECT_FALSE(FileExists(site + "/innerxml.xsl"));
  // A folder copy that fails is reported, not passed over.
  WriteFile(dir / "blocked", "a file where the site should be");
  EXPECT_THROW(CopyTemplate(style, dir / "blocked"), platform::FsoError);
}

}  // namespace
}  // namespace quenlet
