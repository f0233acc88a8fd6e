// Finding the column sites below a folder and generating one site.
#include "generator/generator.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "column_fixture.h"
#include "generator/ui_sink.h"
#include "platform/codepage.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "support/exfat_disk.h"
#include "support/fso_error.h"
#include "support/listing_counter.h"
#include "support/on_first_listing.h"
#include "support/temp_dir.h"
#include "support/template_blockers.h"
#include "support/walk_fixtures.h"

namespace quenlet {
namespace {

using platform::fso::FileExists;
using testing_support::ListingCounter;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// Records the run's two text lines; can press cancel when a text appears.
class RecordingSink : public UiSink {
 public:
  std::vector<std::string> showmsg, progressMsg;
  std::string cancelOn;
  RecordingSink() { talvora::SetUiSink(this); }
  ~RecordingSink() override { talvora::SetUiSink(nullptr); }
  void ShowMsgChanged(const std::string& t) override { showmsg.push_back(t); }
  void ProgressMsgChanged(const std::string& t) override {
    progressMsg.push_back(t);
    if (!cancelOn.empty() && t == cancelOn) Options().CancelFlag = -1;
  }
};

class QuenletRun : public ColumnTest {
 protected:
  void SetUp() override {
    ColumnTest::SetUp();
    Options().TemplatePath = ProgramDataFolder() + "/template/资源部专用/xsl1";
  }
  static std::string Relative(const TempDir& dir, const std::vector<std::string>& sites) {
    std::string text;
    for (const std::string& s : sites) text += talvora::RelativePath(dir.path(), s) + ";";
    return text;
  }
};

TEST_F(QuenletRun, SitesAreFoundByTheirSectionPairs) {
  struct Case {
    const char* what;
    std::vector<std::string> folders;
    std::string sites;
  } cases[] = {
      {"the start folder is the only site",
       {"学习测评", "网络导航", "x/学习测评", "x/网络导航"}, ";"},
      {"the start folder is a site by the second pair too",
       {"媒体中心", "图片欣赏", "sub/学习测评", "sub/网络导航"}, ";"},
      {"a second-pair site is not searched further",
       {"s/媒体中心", "s/图片欣赏", "s/in/学习测评", "s/in/网络导航"}, "/s;"},
      {"depth first in listing order",
       {"a/x/学习测评", "a/x/网络导航", "b/媒体中心", "b/图片欣赏", "a/y/媒体中心",
        "a/y/图片欣赏"},
       "/a/x;/a/y;/b;"},
      {"one folder of a pair is not enough", {"学习测评", "m/媒体中心", "m/图片"}, ""},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& f : c.folders) MakeDirs(dir / f);
    std::vector<std::string> sites;
    FindSites(dir.path(), sites);
    EXPECT_EQ(Relative(dir, sites), c.sites) << c.what;
  }
}

TEST_F(QuenletRun, FolderThatCannotBeListedEndsOnlyItsOwnSearch) {
  TempDir dir;
  // A chain of folders whose full path grows past what the system accepts:
  // the deepest one exists but cannot be listed by its path.
  MakeDirs(dir / "a");
  int fd = open((dir / "a").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  const std::string part(200, 'd');
  for (std::size_t length = (dir / "a").size(); length <= 4400; length += part.size() + 1) {
    ASSERT_EQ(mkdirat(fd, part.c_str(), 0755), 0);
    int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  close(fd);
  MakeDirs(dir / "b/学习测评");
  MakeDirs(dir / "b/网络导航");
  std::vector<std::string> sites;
  EXPECT_NO_THROW(FindSites(dir.path(), sites));
  EXPECT_EQ(sites, std::vector<std::string>{dir / "b"});
}

TEST_F(QuenletRun, StartFolderWithATrailingSeparatorGivesPlainSubFolderPaths) {
  TempDir dir;
  MakeDirs(dir / "a/s/媒体中心");
  MakeDirs(dir / "a/s/图片欣赏");
  RecordingSink sink;
  std::vector<std::string> sites;
  FindSites(dir.path() + "/", sites);
  EXPECT_EQ(sites, std::vector<std::string>{dir / "a/s"});
  ASSERT_FALSE(sink.progressMsg.empty());
  EXPECT_EQ(sink.progressMsg.front(), dir / "a");
  EXPECT_EQ(sink.progressMsg.back(), dir / "a/s");
}

TEST_F(QuenletRun, SearchShowsEachFolderAndStopsOnCancelOrALoop) {
  TempDir dir;
  const std::string longName(80 - dir.path().size() - 1, 'n');
  MakeDirs(dir / longName);
  ASSERT_EQ(symlink(dir.path().c_str(), (dir / "loop").c_str()), 0);
  RecordingSink sink;
  std::vector<std::string> sites;
  FindSites(dir.path(), sites);
  EXPECT_TRUE(sites.empty());
  const std::string shown = dir / longName;
  ASSERT_EQ(sink.progressMsg.size(), 2u);
  EXPECT_EQ(sink.progressMsg[1], shown.substr(0, 40) + "...." + shown.substr(80 - 24));

  MakeDirs(dir / "s/学习测评");
  MakeDirs(dir / "s/网络导航");
  Options().CancelFlag = -1;
  FindSites(dir.path(), sites);
  EXPECT_TRUE(sites.empty());
}

TEST_F(QuenletRun, ArrayIniTemplateIsChosenBySubjectAndColumns) {
  const std::string subject = ProgramDataFolder() + "/subject/";
  EXPECT_EQ(SubjectIniTemplate("语文", "（7个栏目）"), subject + "语文.ini");
  EXPECT_EQ(SubjectIniTemplate("数学", "（8个栏目）"), subject + "数学（8个栏目）.ini");
  for (const char* s : {"语文", "英语", "物理", "化学", "生物", "历史", "地理"})
    EXPECT_TRUE(FileExists(SubjectIniTemplate(s, ""))) << s;
  for (const char* columns : {"（7个栏目）", "（8个栏目）"})
    EXPECT_TRUE(FileExists(SubjectIniTemplate("数学", columns))) << columns;
}

TEST_F(QuenletRun, SiteWithoutArrayIniGetsTheTemplateOneWithOneKeepsIt) {
  const std::string eight = SubjectIniTemplate("数学", "（8个栏目）");
  struct Case {
    bool own;
    std::string templatePath, expected;
  } cases[] = {
      {false, eight, ReadFile(eight)},
      {true, eight, "own,x,left,1\r\n"},
      {false, "/nowhere/none.ini", ""},
  };
  for (const Case& c : cases) {
    TempDir site;
    MakeDirs(site / "学习测评");
    if (c.own) WriteFile(site / "array.ini", "own,x,left,1\r\n");
    GenerateSite(site.path(), c.templatePath);
    EXPECT_EQ(FileExists(site / "array.ini"), !c.expected.empty());
    if (!c.expected.empty()) {
      EXPECT_EQ(ReadFile(site / "array.ini"), c.expected);
      // The root's lines are read into the shared list.
      EXPECT_EQ(Options().ArrayIniLines[0], platform::FromAnsi(c.expected.substr(0, c.expected.find('\r'))));
    } else {
      EXPECT_EQ(Options().ArrayIniLines, std::vector<std::string>(20, ""));
    }
  }
}

TEST_F(QuenletRun, EntryPageSurvivesOnlyWhenStartedWithAPath) {
  const std::string templateIndex = ReadFile(Options().TemplatePath + "/index.html");
  struct Case {
    bool startedWithPath, ownPage;
    std::string expected;
  } cases[] = {
      {true, true, "<qz own page>"},
      {false, true, templateIndex},
      // The page another site left in the fixed file is never taken.
      {true, false, templateIndex},
  };
  for (const Case& c : cases) {
    WriteFile(talvora::IndexTempPath(), "<qz another site>");
    Options().StartedWithPath = c.startedWithPath;
    TempDir site;
    WriteFile(site / "a.htm", "x");
    if (c.ownPage) WriteFile(site / "index.html", "<qz own page>");
    GenerateSite(site.path(), "");
    EXPECT_EQ(ReadFile(site / "index.html"), c.expected);
    EXPECT_TRUE(FileExists(site / "startxml.xml"));
    EXPECT_TRUE(FileExists(site / "startxml.xsl"));
  }
}

// However many rules look at a folder, a run reads its listing once, also
// on a second run over the site it made.
TEST_F(QuenletRun, EachFolderIsListedOncePerRun) {
  TempDir site;
  WriteFile(site / "array.ini", "学习测评,a.gif,left,1\r\n网络导航,b.gif,right,1\r\n");
  WriteFile(site / "学习测评/1练习.htm", "x");
  WriteFile(site / "学习测评/1练习_files/style.css", "x");
  WriteFile(site / "网络导航/links.htm", "x");
  WriteFile(site / "图片欣赏/a.jpg", "x");
  WriteFile(site / "图片欣赏/TN_a.jpg", "x");
  WriteFile(site / "媒体中心/song.mp3", "x");
  WriteFile(site / "01电子课本/book.pdf", "x");
  WriteFile(site / "finished/index.htm", "x");
  WriteFile(site / "finished/inner/deep.htm", "x");
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    const std::vector<std::string> folders = ListingCounter::FoldersOf(site.path());
    ListingCounter counter;
    GenerateSite(site.path(), "");
    counter.ExpectEachOnce(folders);
  }
}

// On a disk that folds case, as USB sticks do, a textbook folder's own
// INDEX.HTML is the index page the run would write: it is kept.
TEST_F(QuenletRun, OnADiskThatFoldsCaseATextbooksOwnIndexPageIsKept) {
  testing_support::ExfatDisk disk;
  if (!disk.Unavailable().empty()) GTEST_SKIP() << "no exFAT disk to run on: " << disk.Unavailable();
  const std::string site = disk.path() + "/site";
  MakeDirs(site + "/学习测评");
  MakeDirs(site + "/网络导航");
  WriteFile(site + "/05电子课本/INDEX.HTML", "the textbook's own page");
  WriteFile(site + "/05电子课本/book.pdf", "x");
  GenerateSite(site, "");
  EXPECT_EQ(ReadFile(site + "/05电子课本/INDEX.HTML"), "the textbook's own page");
}

// On a disk that folds case the files a column site keeps for itself are
// its own in any case: folder settings, an earlier run's page document and
// thumbnails, in capitals, are no pages.
TEST_F(QuenletRun, OnADiskThatFoldsCaseTheSitesOwnFilesInCapitalsAreNoPages) {
  testing_support::ExfatDisk disk;
  if (!disk.Unavailable().empty()) GTEST_SKIP() << "no exFAT disk to run on: " << disk.Unavailable();
  const std::string site = disk.path() + "/site";
  MakeDirs(site + "/网络导航");
  WriteFile(site + "/学习测评/1练习.htm", "x");
  for (const char* own : {"FOLDERPLACE.INI", "STARTXML.XML", "tn_1练习.jpg", "THUMBS.DB"})
    WriteFile(site + "/学习测评/" + own, "own");
  GenerateSite(site, "");
  const std::string saved = ReadFile(site + "/学习测评/startxml.xml");
  EXPECT_NE(saved.find(".htm"), std::string::npos) << saved;
  for (const char* own : {"FOLDERPLACE", "STARTXML.XML", "tn_", "THUMBS"})
    EXPECT_EQ(saved.find(own), std::string::npos) << own << ": " << saved;
}

TEST_F(QuenletRun, FailedRunPutsTheEntryPageBack) {
  Options().StartedWithPath = true;
  TempDir site;
  WriteFile(site / "index.html", "<qz own page>");
  // A folder where a page document should go makes the page pass fail.
  MakeDirs(site / "A/startxml.xml");
  EXPECT_THROW(GenerateSite(site.path(), ""), platform::FsoError);
  EXPECT_EQ(ReadFile(site / "index.html"), "<qz own page>");
}

// While another run (the main program's, or a second Quenlet) holds the
// fixed files in the cache folder, a site is refused before anything of it
// or of the fixed files is touched.
TEST_F(QuenletRun, SiteIsRefusedWhileAnotherRunHoldsTheFixedFiles) {
  Options().StartedWithPath = true;
  TempDir site;
  WriteFile(site / "index.html", "<qz own page>");
  WriteFile(site / "startxml.xsl", "earlier");
  WriteFile(talvora::IndexTempPath(), "the other run's page");
  int other = ::open(talvora::RunLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_THROW(GenerateSite(site.path(), ""), std::runtime_error);
  ::close(other);
  EXPECT_EQ(ReadFile(talvora::IndexTempPath()), "the other run's page");
  EXPECT_EQ(ReadFile(site / "index.html"), "<qz own page>");
  EXPECT_EQ(ReadFile(site / "startxml.xsl"), "earlier");
}

// A run broken off leaves the site's entry page under the aside name and
// no index.html: the next run puts it back first and says so in its last
// text. Started without a path, the run then replaces it as it replaces
// any entry page.
TEST_F(QuenletRun, AnEntryPageLeftAsideByABrokenOffRunIsPutBackFirst) {
  const std::string templateIndex = ReadFile(Options().TemplatePath + "/index.html");
  for (bool startedWithPath : {true, false}) {
    SCOPED_TRACE(startedWithPath ? "started with a path" : "started without one");
    Options().StartedWithPath = startedWithPath;
    TempDir site;
    WriteFile(site / "a.htm", "x");
    WriteFile(site / talvora::kEntryPageAsideName, "<qz own page>");
    RecordingSink sink;
    GenerateSite(site.path(), "");
    EXPECT_FALSE(FileExists(site / talvora::kEntryPageAsideName));
    EXPECT_EQ(ReadFile(site / "index.html"), startedWithPath ? "<qz own page>" : templateIndex);
    ASSERT_FALSE(sink.progressMsg.empty());
    const std::string last = sink.progressMsg.back();
    EXPECT_EQ(last.rfind("完成", 0), 0u) << last;
    EXPECT_NE(last.find("\"" + (site / talvora::kEntryPageAsideName) + "\""), std::string::npos)
        << last;
    EXPECT_NE(last.find("\"" + (site / "index.html") + "\""), std::string::npos) << last;
  }
}

// With an index.html beside it the run is refused before it touches the
// site or the fixed files, with both files named.
TEST_F(QuenletRun, AnEntryPageLeftAsideBesideANewOneIsRefusedTouchingNothing) {
  for (bool startedWithPath : {true, false}) {
    SCOPED_TRACE(startedWithPath ? "started with a path" : "started without one");
    Options().StartedWithPath = startedWithPath;
    TempDir site;
    WriteFile(site / "a.htm", "x");
    WriteFile(site / "startxml.xsl", "earlier");
    WriteFile(site / "index.html", "<qz the page made since>");
    WriteFile(site / talvora::kEntryPageAsideName, "<qz own page>");
    WriteFile(talvora::IndexTempPath(), "an earlier copy");
    WriteFile(CatalogueCopyPath(), "an earlier catalogue");
    const auto before = testing_support::Snapshot(site.path());
    std::string message;
    try {
      GenerateSite(site.path(), "");
      ADD_FAILURE() << "the run went ahead";
    } catch (const std::exception& e) {
      message = e.what();
    }
    EXPECT_NE(message.find("\"" + (site / "index.html") + "\""), std::string::npos) << message;
    EXPECT_NE(message.find("\"" + (site / talvora::kEntryPageAsideName) + "\""), std::string::npos)
        << message;
    EXPECT_EQ(testing_support::Snapshot(site.path()), before);
    EXPECT_EQ(ReadFile(talvora::IndexTempPath()), "an earlier copy");
    EXPECT_EQ(ReadFile(CatalogueCopyPath()), "an earlier catalogue");
  }
}

TEST_F(QuenletRun, TextsTellTheStagesAndACancelledSiteStillGetsItsTemplate) {
  struct Case {
    std::string cancelOn, last;
  } cases[] = {{"", "完成"}, {"正在生成 XML 目录信息文件......", "操作已取消"}};
  for (const Case& c : cases) {
    Options().CancelFlag = 0;
    Options().StartedWithPath = true;
    TempDir site;
    MakeDirs(site / "A");
    WriteFile(site / "index.html", "<qz own page>");
    RecordingSink sink;
    sink.cancelOn = c.cancelOn;
    GenerateSite(site.path(), "");
    EXPECT_EQ(sink.showmsg, std::vector<std::string>{site.path()});
    EXPECT_EQ(sink.progressMsg,
              (std::vector<std::string>{"正在统计目录信息......", "正在生成 XML 目录信息文件......",
                                        c.last}));
    EXPECT_TRUE(FileExists(site / "startxml.xsl"));
    EXPECT_EQ(ReadFile(site / "index.html"), "<qz own page>");
    // After a cancel no page document is written.
    EXPECT_EQ(FileExists(site / "A/startxml.xml"), c.cancelOn.empty());
  }
}

// What the user keeps at a name the template copy writes stays; the site
// fails with an error naming it and is not reported done.
TEST_F(QuenletRun, ATemplateFileThatCannotBeWrittenFailsTheSiteAndKeepsWhatIsThere) {
  RecordingSink sink;
  testing_support::ExpectEachTemplateBlockerFailsTheRun(
      [&](const std::string& site) {
        sink.progressMsg.clear();
        GenerateSite(site, "");
      },
      [&] { return !sink.progressMsg.empty() && sink.progressMsg.back().rfind("完成", 0) == 0; });
}

// The asset folder swapped for a link while the pictures are copied into
// it: the file layer's word that the folder changed ends the site, and
// nothing reaches the folder the link leads to.
TEST_F(QuenletRun, AnAssetFolderSwappedForALinkDuringThePictureCopyEndsTheSite) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string site = dir / "site", outside = dir / "outside";
  WriteFile(site + "/a.htm", "a");
  WriteFile(site + "/startxml.files/own.css", "kept from run to run");
  WriteFile(outside + "/own.txt", "PRECIOUS");
  WriteFile(dir / "logo/logo.gif", "logo");
  Options().LogoPath = dir / "logo/logo.gif";
  const auto before = testing_support::Snapshot(outside);
  // The picture copy first looks into the logo's folder.
  testing_support::OnFirstListing swap(dir / "logo", [&] {
    fs::rename(site + "/startxml.files", dir / "assets.away");
    fs::create_symlink(outside, site + "/startxml.files");
  });
  RecordingSink sink;
  testing_support::ExpectSiteChangedNaming([&] { GenerateSite(site, ""); }, site + "/startxml.files");
  EXPECT_TRUE(swap.Acted());
  EXPECT_EQ(testing_support::Snapshot(outside), before);
  EXPECT_TRUE(sink.progressMsg.empty() || sink.progressMsg.back().rfind("完成", 0) != 0);
}

// Links in a column site: a write at a link's name replaces the link, never
// what it points at, and a picture linked from outside the site is not
// copied in; the run names it.
TEST_F(QuenletRun, LinksAreNeverWrittenThroughNorCopiedFromOutside) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string site = dir / "site";
  WriteFile(dir / "outside/victim", "the user's own file");
  WriteFile(site + "/1电子课本/x.doc", "x");
  MakeDirs(site + "/startxml.files");
  fs::create_symlink(dir / "outside/victim", site + "/startxml.files/startxml.css");
  fs::create_symlink(dir / "outside/victim", site + "/innerxml.xsl");
  fs::create_symlink(dir / "outside/created", site + "/1电子课本/index.html");
  fs::create_symlink(dir / "outside/victim", site + "/welcome.jpg");
  WriteFile(site + "/banner.gif", "own banner");
  WriteFile(dir / "outside/welcome.files/welcome.gif", "GIF89a");
  WriteFile(dir / "outside/welcome.files/welcome.txt", "secret");
  fs::create_symlink(dir / "outside/welcome.files", site + "/welcome.files");
  RecordingSink sink;
  GenerateSite(site, "");
  EXPECT_EQ(ReadFile(dir / "outside/victim"), "the user's own file");
  EXPECT_FALSE(testing_support::Exists(dir / "outside/created"));
  EXPECT_FALSE(testing_support::Exists(site + "/welcome.html"));
  for (const char* written : {"startxml.files/startxml.css", "innerxml.xsl", "1电子课本/index.html"})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(site + "/" + written))) << written;
  EXPECT_EQ(ReadFile(site + "/startxml.files/banner.gif"), "own banner");
  EXPECT_NE(ReadFile(site + "/startxml.files/welcome.jpg"), "the user's own file");
  ASSERT_FALSE(sink.progressMsg.empty());
  EXPECT_EQ(sink.progressMsg.back().rfind("完成", 0), 0u) << sink.progressMsg.back();
  for (const char* left : {"/welcome.jpg", "/welcome.files"})
    EXPECT_NE(sink.progressMsg.back().find(site + left), std::string::npos)
        << left << ": " << sink.progressMsg.back();
}

// A column site keeps its asset folder from run to run, but one that is a
// link out of the site is no place to copy the template and pictures into:
// the link goes, what it points at stays as it was, and the run names it.
TEST_F(QuenletRun, AssetFolderLinkedOutOfTheSiteReceivesNothing) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    bool templateAssets;  // the style has a startxml.files of its own
    bool toStyle;         // the link leads to that folder, else to one of the user's
  } cases[] = {
      {"a user's folder, style with assets", true, false},
      {"a user's folder, style without assets", false, false},
      {"the style's own asset folder", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string site = dir / "site", style = dir / "style";
    WriteFile(style + "/startxml.xsl", "<xsl:stylesheet/>");
    WriteFile(style + "/index.html", "template-index");
    if (c.templateAssets) WriteFile(style + "/startxml.files/startxml.css", "css");
    WriteFile(dir / "outside/assets/own.css", "the user's own file");
    const std::string linked = c.toStyle ? style + "/startxml.files" : dir / "outside/assets";
    const std::vector<std::string> before = platform::fso::FileNames(linked);
    WriteFile(dir / "logo.gif", "logo");
    WriteFile(site + "/a.htm", "a");
    WriteFile(site + "/banner.gif", "own banner");
    fs::create_symlink(linked, site + "/startxml.files");
    Options().TemplatePath = style;
    Options().LogoPath = dir / "logo.gif";
    RecordingSink sink;
    EXPECT_NO_THROW(GenerateSite(site, ""));
    EXPECT_EQ(platform::fso::FileNames(linked), before);
    EXPECT_EQ(ReadFile(dir / "outside/assets/own.css"), "the user's own file");
    EXPECT_FALSE(platform::fso::IsLink(site + "/startxml.files"));
    EXPECT_EQ(FileExists(site + "/startxml.files/logo.gif"), c.templateAssets);
    ASSERT_FALSE(sink.progressMsg.empty());
    EXPECT_EQ(sink.progressMsg.back().rfind("完成", 0), 0u) << sink.progressMsg.back();
    EXPECT_NE(sink.progressMsg.back().find(site + "/startxml.files"), std::string::npos)
        << sink.progressMsg.back();
  }
}

// A column folder the run holds as real, swapped for a link to a folder
// outside the site before the walk reaches it, ends the run with an error
// naming it; nothing is written there.
TEST_F(QuenletRun, AFolderSwappedForALinkBeforeTheWalkReachesItIsAnErrorNamingIt) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string site = dir / "site", swapped = site + "/网络导航";
  WriteFile(site + "/学习测评/1练习.htm", "x");
  WriteFile(swapped + "/links.htm", "x");
  WriteFile(dir / "outside/own.htm", "the user's own page");
  const auto before = testing_support::Snapshot(dir / "outside");
  bool done = false;
  platform::fso::ListingObserver previous = platform::fso::SetListingObserver([&](const std::string& folder) {
    if (done || folder != site + "/学习测评") return;
    done = true;
    ASSERT_EQ(rename(swapped.c_str(), (dir / "away").c_str()), 0);
    fs::create_symlink(dir / "outside", swapped);
  });
  RecordingSink sink;
  testing_support::ExpectSiteChangedNaming([&] { GenerateSite(site, ""); }, swapped);
  platform::fso::SetListingObserver(previous);
  EXPECT_TRUE(done);
  EXPECT_EQ(testing_support::Snapshot(dir / "outside"), before);
}

// The first run of a column site makes its asset folder. Swapped for a
// link the moment it is made, it is not written through: the run ends with
// an error naming it. The site's banner and welcome picture, swapped for
// links to files outside the site after the run has checked them, are not
// copied in, and the run ends with an error naming the one swapped. What
// lies outside stays as it was.
TEST_F(QuenletRun, NothingGoesThroughALinkSwappedInAfterTheCheck) {
  namespace fs = std::filesystem;
  for (const char* swappedName : {"startxml.files", "banner.gif", "welcome.jpg"}) {
    SCOPED_TRACE(swappedName);
    TempDir dir;
    const std::string site = dir / "site", swapped = site + "/" + swappedName;
    MakeDirs(site + "/学习测评");
    MakeDirs(site + "/网络导航");
    WriteFile(site + "/banner.gif", "own banner");
    WriteFile(site + "/welcome.jpg", "own welcome picture");
    WriteFile(dir / "outside/logo.gif", "the victim's own logo");
    WriteFile(dir / "outside/secret", "SECRET");
    const auto before = testing_support::Snapshot(dir / "outside");
    bool done = false;
    platform::fso::FolderMadeObserver previous =
        platform::fso::SetFolderMadeObserver([&](const std::string& folder) {
          if (done || folder != site + "/startxml.files") return;
          done = true;
          ASSERT_EQ(rename(swapped.c_str(), (dir / "away").c_str()), 0);
          fs::create_symlink(fs::is_directory(dir / "away") ? dir / "outside" : dir / "outside/secret", swapped);
        });
    RecordingSink sink;
    testing_support::ExpectSiteChangedNaming([&] { GenerateSite(site, ""); }, swapped);
    platform::fso::SetFolderMadeObserver(previous);
    EXPECT_TRUE(done);
    EXPECT_EQ(testing_support::Snapshot(dir / "outside"), before);
    EXPECT_TRUE(sink.progressMsg.empty() || sink.progressMsg.back().rfind("完成", 0) != 0);
    for (const char* copy : {"/startxml.files/banner.gif", "/startxml.files/welcome.jpg"})
      if (testing_support::Exists(site + copy)) {
        EXPECT_NE(ReadFile(site + copy), "SECRET") << copy;
      }
  }
}

}  // namespace
}  // namespace quenlet
