// The site files besides the page documents: welcome pages, the clean-up of
// an earlier run's output, the template and the chosen pictures.
#include "generator/site_files.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "generator/generator.h"
#include "support/temp_dir.h"

namespace talvora {
namespace {

namespace fs = std::filesystem;
using testing_support::Exists;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// "欢迎" and "你好" in GBK, as welcome.txt holds them on disk.
const std::string kWelcomeGbk = "\xbb\xb6\xd3\xad";
const std::string kHelloGbk = "\xc4\xe3\xba\xc3";

TEST(WelcomePage, BuiltPageHasItsExactBytes) {
  TempDir dir;
  WriteFile(dir / "welcome.files/welcome.gif", "GIF89a");
  WriteFile(dir / "welcome.files/welcome.jpg", "JFIF");  // the gif wins
  WriteFile(dir / "welcome.files/welcome.txt",
            "  " + kWelcomeGbk + " \r\n  second line \r\n" + kHelloGbk + "\r\n");

  EXPECT_EQ(GetWelcomePage(dir.path(), "/ignored"), "welcome.html");
  EXPECT_EQ(ReadFile(dir / "welcome.html"),
            "<style>body{background-color: #FFFFFF; scrollbar-face-color: #ffffff;"
            "scrollbar-highlight-color: #ffffff;scrollbar-shadow-color: #DEE3E7;"
            "scrollbar-arrow-color:#e4eaf0;scrollbar-track-color:#f5f9fc;"
            "scrollbar-darkshadow-color: #ffffff;    margin:0px;margin-top:0px;}</style>"
            "<table width=\"83%\" height=\"275\" border=\"0\" align=\"center\" cellpadding=\"0\" "
            "cellspacing=\"0\">\r\n"
            "<tr><td height=\"252\" align=\"center\"><img src=\"welcome.files/welcome.gif\" "
            "width=\"294\" height=\"252\" align=\"middle\"></td></tr>"
            "<tr><td><br><div align=\"center\">" +
                kWelcomeGbk + "</div><br>  second line <br>" + kHelloGbk +
                "<br></td></tr></table>\r\n");
}

TEST(WelcomePage, WhichPageAFolderGets) {
  struct Case {
    const char* what;
    const char* picture;    // in welcome.files, or nullptr
    const char* text;       // welcome.txt, or nullptr
    const char* existing;   // a page the folder already holds, or nullptr
    std::string result;
    const char* reference;  // expected in a built page, or nullptr when none is built
  } cases[] = {
      {"nothing at all", nullptr, nullptr, nullptr, "", nullptr},
      {"text but no picture", nullptr, "hello\r\n", nullptr, "", nullptr},
      {"picture but empty text", "welcome.gif", "", nullptr, "", nullptr},
      {"picture but no text", "welcome.jpg", nullptr, nullptr, "", nullptr},
      {"jpg and text", "welcome.jpg", "hello", nullptr, "welcome.html",
       "welcome.files/welcome.jpg"},
      {"welcome.htm is used as it is", "welcome.gif", "hello", "welcome.htm", "welcome.htm",
       nullptr},
      {"welcome.html is used as it is", "welcome.gif", "hello", "welcome.html", "welcome.html",
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    MakeDirs(dir / "welcome.files");
    if (c.picture) WriteFile(dir / "welcome.files" + "/" + c.picture, "pic");
    if (c.text) WriteFile(dir / "welcome.files/welcome.txt", c.text);
    if (c.existing) WriteFile(dir / c.existing, "mine");

    EXPECT_EQ(GetWelcomePage(dir.path(), ""), c.result);
    if (c.reference) {
      EXPECT_NE(ReadFile(dir / "welcome.html").find(std::string("<img src=\"") + c.reference),
                std::string::npos);
    } else if (c.existing) {
      EXPECT_EQ(ReadFile(dir / c.existing), "mine");  // left unchanged
      if (std::string(c.existing) == "welcome.htm") {
        EXPECT_FALSE(Exists(dir / "welcome.html"));
      }
    } else {
      EXPECT_FALSE(Exists(dir / "welcome.html"));
    }
  }
}

TEST(WelcomePage, WelcomeText) {
  TempDir dir;
  struct Case {
    std::string file, html;
  } cases[] = {
      {"", ""},
      {"  one  ", "<br><div align=\"center\">one</div><br>"},
      {"one\r\n two \r\nthree\r\n",
       "<br><div align=\"center\">one</div><br> two <br>three<br>"},
      {"one\n\nthree", "<br><div align=\"center\">one</div><br><br>three<br>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WriteFile(dir / "welcome.txt", c.file);
    EXPECT_EQ(ReadWelcomeText(dir / "welcome.txt"), c.html);
  }
}

TEST(WelcomePage, PageThatCannotBeWrittenIsAnError) {
  TempDir dir;
  WriteFile(dir / "welcome.files/welcome.gif", "pic");
  WriteFile(dir / "welcome.files/welcome.txt", "hello");
  MakeDirs(dir / "welcome.html");  // a folder where the page should go
  EXPECT_ANY_THROW(GetWelcomePage(dir.path(), ""));
}

TEST(CleanOutput, RemovesEarlierOutputAndKeepsTheRest) {
  TempDir dir;
  const std::string site = dir / "site";
  const char* removed[] = {
      "startxml.xsl", "startxml.xml", "index.html", "startxml.files",
      "A/startxml.xml", "A/startxml.files", "A/B/startxml.xml",
      "x.files/startxml.xml",  // entered whatever its name
  };
  const char* kept[] = {
      "innerxml.xsl",     "welcome.html",          "notes.htm",        "array.ini",
      "A/A.html",         "A/startxml.xsl.bak",    "A/Startxml.xml",   "A/B/welcome.html",
      "Done/index.html",  "Done/startxml.xml",     "Done/Done.html",   "Done/startxml.files/a.gif",
      "x.files/keep.txt",
  };
  for (const char* p : removed) {
    if (std::string(p).find("startxml.files") != std::string::npos)
      WriteFile(site + "/" + p + "/logo.gif", "g");
    else
      WriteFile(site + "/" + p, "old");
  }
  for (const char* p : kept) WriteFile(site + "/" + p, "keep");

  CleanOutput(site);

  for (const char* p : removed) EXPECT_FALSE(Exists(site + "/" + p)) << p;
  for (const char* p : kept) EXPECT_EQ(ReadFile(site + "/" + p), "keep") << p;
}

TEST(CleanOutput, LinkBackToAnEnclosingFolderEnds) {
  TempDir dir;
  const std::string site = dir / "site";
  WriteFile(site + "/A/startxml.xml", "old");
  fs::create_directory_symlink(site, site + "/A/loop");
  CleanOutput(site);
  EXPECT_FALSE(Exists(site + "/A/startxml.xml"));
  EXPECT_TRUE(Exists(site + "/A/loop"));
}

class TemplateAndPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    style_ = dir_ / "style";
    site_ = dir_ / "site";
    WriteFile(style_ + "/startxml.xsl", "start-xsl");
    WriteFile(style_ + "/innerxml.xsl", "inner-xsl");
    WriteFile(style_ + "/index.html", "template-index");
    WriteFile(style_ + "/startxml.files/logo.gif", "template-logo");
    WriteFile(style_ + "/startxml.files/banner.gif", "template-banner");
    WriteFile(style_ + "/startxml.files/welcome.gif", "template-welcome");
    WriteFile(style_ + "/startxml.files/sub/bg.gif", "template-bg");
    WriteFile(site_ + "/index.html", "earlier-index");
    WriteFile(site_ + "/startxml.files/logo.gif", "earlier-logo");
  }
  void TearDown() override {
    Options().LogoPath.clear();
    Options().BannerPath.clear();
    Options().WelcomePath.clear();
  }
  TempDir dir_;
  std::string style_, site_;
};

TEST_F(TemplateAndPictures, TemplateReplacesWhatIsThere) {
  CopyTemplate(style_, site_);
  EXPECT_EQ(ReadFile(site_ + "/startxml.xsl"), "start-xsl");
  EXPECT_EQ(ReadFile(site_ + "/innerxml.xsl"), "inner-xsl");
  EXPECT_EQ(ReadFile(site_ + "/index.html"), "template-index");
  EXPECT_EQ(ReadFile(site_ + "/startxml.files/logo.gif"), "template-logo");
  EXPECT_EQ(ReadFile(site_ + "/startxml.files/sub/bg.gif"), "template-bg");
}

TEST_F(TemplateAndPictures, MissingTemplateFilesAreSkipped) {
  fs::remove(style_ + "/innerxml.xsl");
  fs::remove(style_ + "/index.html");
  CopyTemplate(style_, site_);
  EXPECT_EQ(ReadFile(site_ + "/startxml.xsl"), "start-xsl");
  EXPECT_FALSE(Exists(site_ + "/innerxml.xsl"));
  EXPECT_EQ(ReadFile(site_ + "/index.html"), "earlier-index");
}

TEST_F(TemplateAndPictures, ChosenPicturesReplaceTheTemplatesOwn) {
  WriteFile(dir_ / "chosen/logo.jpg", "chosen-logo-jpeg");
  CopyTemplate(style_, site_);
  Options().LogoPath = dir_ / "chosen/logo.jpg";      // stored as logo.gif all the same
  Options().BannerPath = dir_ / "chosen/missing.gif";  // skipped
  Options().WelcomePath = "";                          // not chosen
  CopyPictures(site_);
  EXPECT_EQ(ReadFile(site_ + "/startxml.files/logo.gif"), "chosen-logo-jpeg");
  EXPECT_EQ(ReadFile(site_ + "/startxml.files/banner.gif"), "template-banner");
  EXPECT_EQ(ReadFile(site_ + "/startxml.files/welcome.gif"), "template-welcome");
  EXPECT_FALSE(Exists(site_ + "/startxml.files/logo.jpg"));
}

}  // namespace
}  // namespace talvora
