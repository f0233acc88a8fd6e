// Symbolic links to files in a site and in a template style: a full run
// never writes through a link at a name it writes, the clean-up sees a
// dangling link, and a link pointing out of the template is not copied.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "generator/generator.h"
#include "generator/recording_sink.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace talvora {
namespace {

namespace fs = std::filesystem;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class SiteLinks : public WithSink {
 protected:
  void SetUp() override {
    WithSink::SetUp();
    savedProgramFolder_ = platform::ProgramFolder();
    platform::SetProgramFolder(dir_ / "program");
    style_ = dir_ / "program/template/xsl1";
    WriteFile(style_ + "/startxml.xsl", "<xsl:stylesheet/>");
    WriteFile(style_ + "/innerxml.xsl", "<xsl:stylesheet/>");
    WriteFile(style_ + "/startxml.files/startxml.css", "css");
    WriteFile(style_ + "/index.html", "template-index");
    Options().TemplatePath = style_;
    site_ = dir_ / "site";
    WriteFile(site_ + "/01课程目标/1a.htm", "a");
    WriteFile(site_ + "/welcome.files/welcome.gif", "GIF89a");
    WriteFile(site_ + "/welcome.files/welcome.txt", "hello");
    WriteFile(dir_ / "outside/victim", "the user's own file");
  }
  void TearDown() override {
    platform::SetProgramFolder(savedProgramFolder_);
    Options() = GenerationOptions();
    WithSink::TearDown();
  }
  void Run(bool fullRun = true) {
    std::string path = site_;
    GenerateSite(path, fullRun);
  }

  TempDir dir_;
  std::string savedProgramFolder_, style_, site_;
};

// Each name the run writes, given as a link: live to the user's file
// outside, or dangling to a file outside that does not exist. A live link
// at welcome.html is the folder's welcome page and is used as it is.
TEST_F(SiteLinks, WritesReplaceTheLinkNeverItsTarget) {
  const char* const names[] = {"startxml.xml",  "01课程目标/startxml.xml",
                               "innerxml.xsl",  "startxml.xsl",
                               "welcome.html",  "startxml.files/startxml.css",
                               "index.html"};
  for (bool dangling : {false, true}) {
    for (const std::string name : names) {
      SCOPED_TRACE(name + (dangling ? " (dangling)" : " (live)"));
      WriteFile(dir_ / "outside/victim", "the user's own file");
      fs::remove(dir_ / "outside/created");
      fs::remove_all(site_ + "/startxml.files");
      fs::remove(site_ + "/welcome.html");
      fs::create_directories(fs::path(site_ + "/" + name).parent_path());
      fs::remove(site_ + "/" + name);
      const std::string target = dangling ? dir_ / "outside/created" : dir_ / "outside/victim";
      fs::create_symlink(target, site_ + "/" + name);
      Run();
      EXPECT_EQ(ReadFile(dir_ / "outside/victim"), "the user's own file");
      EXPECT_FALSE(Exists(dir_ / "outside/created"));
      if (dangling || name != "welcome.html") {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(site_ + "/" + name)));
      }
    }
  }
}

// A link in the template style is copied only when it points inside the
// program folder; the others are left out and the run names them.
TEST_F(SiteLinks, TemplateLinksOutOfTheProgramFolderAreNotCopied) {
  WriteFile(dir_ / "program/shared.css", "shared");
  fs::create_symlink(dir_ / "program/shared.css", style_ + "/startxml.files/shared.css");
  fs::create_symlink(dir_ / "outside/victim", style_ + "/startxml.files/leak.css");
  fs::create_symlink(dir_ / "outside", style_ + "/startxml.files/leakdir");
  fs::remove(style_ + "/innerxml.xsl");
  fs::create_symlink(dir_ / "outside/victim", style_ + "/innerxml.xsl");
  Run();
  EXPECT_EQ(ReadFile(site_ + "/startxml.files/shared.css"), "shared");
  EXPECT_EQ(ReadFile(site_ + "/startxml.files/startxml.css"), "css");
  EXPECT_FALSE(Exists(site_ + "/startxml.files/leak.css"));
  EXPECT_FALSE(Exists(site_ + "/startxml.files/leakdir"));
  EXPECT_FALSE(Exists(site_ + "/innerxml.xsl"));
  const std::string last = sink.status.back();
  EXPECT_EQ(last.rfind("主题资源处理完成", 0), 0u) << last;
  for (const char* left : {"startxml.files/leak.css", "startxml.files/leakdir", "innerxml.xsl"})
    EXPECT_NE(last.find(style_ + "/" + left), std::string::npos) << left << ": " << last;
  EXPECT_EQ(last.find("shared.css"), std::string::npos) << last;
}

// The site's asset folder as a link to one of the user's folders: the
// clean-up removes the link before the template and the chosen pictures
// are copied, so nothing lands in that folder, with the style's own asset
// folder or without one.
TEST_F(SiteLinks, AssetFolderLinkedOutOfTheSiteReceivesNothing) {
  WriteFile(dir_ / "outside/assets/own.css", "the user's own file");
  WriteFile(dir_ / "logo.gif", "logo");
  Options().LogoPath = Options().BannerPath = Options().WelcomePath = dir_ / "logo.gif";
  for (bool templateAssets : {true, false}) {
    SCOPED_TRACE(templateAssets ? "style with assets" : "style without assets");
    if (!templateAssets) fs::remove_all(style_ + "/startxml.files");
    fs::remove_all(site_ + "/startxml.files");
    fs::create_symlink(dir_ / "outside/assets", site_ + "/startxml.files");
    Run();
    EXPECT_EQ(platform::fso::FileNames(dir_ / "outside/assets"), std::vector<std::string>{"own.css"});
    EXPECT_EQ(ReadFile(dir_ / "outside/assets/own.css"), "the user's own file");
    EXPECT_FALSE(platform::fso::IsLink(site_ + "/startxml.files"));
    EXPECT_EQ(Exists(site_ + "/startxml.files/logo.gif"), templateAssets);
  }
}

// A folder's welcome page takes its picture and text through a link only
// when the link leads somewhere inside the site. One that leads out gives
// the folder no welcome page, so nothing from outside shows in the site,
// and the run names the link, a refresh run too. Each case sets up one
// folder's welcome.files (a picture and "hello") with one link in it.
TEST_F(SiteLinks, WelcomeSourcesLinkedFromOutsideTheSiteAreNotUsed) {
  WriteFile(dir_ / "outside/welcome.files/welcome.gif", "GIF89a");
  WriteFile(dir_ / "outside/welcome.files/welcome.txt", "secret");
  WriteFile(site_ + "/shared/welcome.files/welcome.jpg", "JFIF");
  WriteFile(site_ + "/shared/welcome.files/welcome.txt", "shared");
  struct Case {
    std::string folder, link, target;
    const char* text;  // in the folder's welcome page; nullptr: no page, the link is named
    bool fullRun = true;
  } cases[] = {
      {site_, "welcome.files", dir_ / "outside/welcome.files", nullptr},
      {site_, "welcome.files/welcome.txt", dir_ / "outside/welcome.files/welcome.txt", nullptr},
      {site_, "welcome.files/welcome.gif", dir_ / "outside/welcome.files/welcome.gif", nullptr},
      {site_, "welcome.files", dir_ / "outside/welcome.files", nullptr, false},
      // Links inside the site, from a folder below it to a sibling.
      {site_ + "/01课程目标", "welcome.files", site_ + "/shared/welcome.files", "shared"},
      {site_ + "/01课程目标", "welcome.files/welcome.txt", site_ + "/shared/welcome.files/welcome.txt",
       "shared"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + "/" + c.link + (c.fullRun ? "" : " (refresh run)"));
    for (const std::string& f : {site_, site_ + "/01课程目标"}) {
      fs::remove_all(f + "/welcome.files");
      fs::remove(f + "/welcome.html");
    }
    if (c.link != "welcome.files") {
      WriteFile(c.folder + "/welcome.files/welcome.gif", "GIF89a");
      WriteFile(c.folder + "/welcome.files/welcome.txt", "hello");
      fs::remove(c.folder + "/" + c.link);
    }
    fs::create_symlink(c.target, c.folder + "/" + c.link);
    Run(c.fullRun);
    const std::string page = c.folder + "/welcome.html";
    const std::string document = ReadFile(c.folder + "/startxml.xml");
    const std::string last = sink.status.back();
    if (c.fullRun) {
      EXPECT_EQ(last.rfind("主题资源处理完成", 0), 0u) << last;
    }
    if (c.text) {
      EXPECT_NE(ReadFile(page).find(c.text), std::string::npos);
      EXPECT_NE(document.find("welcome=\"welcome.html\""), std::string::npos);
      EXPECT_EQ(last.find("welcome.files"), std::string::npos) << last;
    } else {
      EXPECT_FALSE(Exists(page));
      EXPECT_EQ(document.find("welcome="), std::string::npos);
      EXPECT_NE(last.find(c.folder + "/" + c.link), std::string::npos) << last;
    }
  }
}

}  // namespace
}  // namespace talvora
