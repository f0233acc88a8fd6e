// Whole generation runs over a small resource on disk: a full run, a
// refresh run that keeps the site's own entry page, runs that fail or are
// cancelled midway.
#include "generator/generator.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "generator/recording_sink.h"
#include "generator/skip_on_error.h"
#include "generator/ui_sink.h"
#include "platform/fso.h"
#include "platform/temp_names.h"
#include "platform/xml_document.h"
#include "support/exfat_disk.h"
#include "support/fifo_deadline.h"
#include "support/file_size_limit.h"
#include "support/fso_error.h"
#include "support/listing_counter.h"
#include "support/on_first_listing.h"
#include "support/temp_dir.h"
#include "support/template_blockers.h"
#include "support/walk_fixtures.h"

namespace talvora {
namespace {

namespace fs = std::filesystem;
using testing_support::Exists;
using testing_support::FifoDeadline;
using testing_support::ListingCounter;
using testing_support::MakeFifo;
using testing_support::Snapshot;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const char kOwnIndex[] = "<html><body>\xd6\xf7\xd2\xb3 own entry page</body></html>\r\n";

class GenerationRun : public ::testing::Test {
 protected:
  void SetUp() override {
    // A small fake template style.
    style_ = dir_ / "template/xsl1";
    testing_support::MakeSmallStyle(style_);

    site_ = dir_ / "site";
    WriteFile(site_ + "/01intro.htm", "i");
    WriteFile(site_ + "/notes.doc", "n");
    WriteFile(site_ + "/01Basics/1a.htm", "a");
    WriteFile(site_ + "/01Basics/2b.htm", "b");
    WriteFile(site_ + "/01Basics/Pics/p.gif", "GIF89a");
    WriteFile(site_ + "/02Test/index.html", "<html></html>");
    WriteFile(site_ + "/02Test/x.htm", "x");
    WriteFile(site_ + "/02Test/inner/deep.htm", "below a finished page");
    WriteFile(site_ + "/welcome.files/welcome.gif", "pic");
    WriteFile(site_ + "/welcome.files/welcome.txt", "Hello");

    GenerationOptions& o = Options();
    o.TemplatePath = style_;
    o.FootText = "foot one";
    o.SubjectText = "subject";
    o.CancelFlag = 0;
    SetUiSink(&sink_);
    fs::remove(IndexTempPath());
  }
  void TearDown() override {
    SetUiSink(nullptr);
    Options() = GenerationOptions();
  }

  std::string Foot(const std::string& folder) {
    platform::XmlDocument doc;
    std::string text = ReadFile(folder + "/startxml.xml");
    // Saved in GBK; the foot texts here are ASCII.
    EXPECT_TRUE(doc.LoadXml(text)) << folder;
    return doc.DocumentElement().Attribute("foot");
  }

  TempDir dir_;
  std::string style_, site_;
  RecordingSink sink_;
};

const char* const kVisited[] = {"", "/01Basics", "/01Basics/Pics", "/02Test"};
const char* const kNotVisited[] = {"/welcome.files", "/02Test/inner"};

TEST_F(GenerationRun, FullRunThenRefreshRun) {
  std::string path = site_;
  GenerateSite(path, true);

  for (const char* f : kVisited) EXPECT_TRUE(fs::is_regular_file(site_ + f + "/startxml.xml")) << f;
  for (const char* f : kNotVisited) EXPECT_FALSE(Exists(site_ + f + "/startxml.xml")) << f;
  EXPECT_EQ(ReadFile(site_ + "/index.html"), "template-index");
  EXPECT_EQ(ReadFile(site_ + "/startxml.files/logo.gif"), "template-logo");
  EXPECT_TRUE(Exists(site_ + "/startxml.xsl"));
  EXPECT_TRUE(Exists(site_ + "/innerxml.xsl"));
  EXPECT_TRUE(Exists(site_ + "/welcome.html"));
  EXPECT_TRUE(Exists(site_ + "/02Test/Test.html"));
  EXPECT_EQ(sink_.status, (std::vector<std::string>{"正在进行资料整理 ......",
                                                    "正在统计目录信息 ......",
                                                    "正在生成 XML 目录信息文件 ......",
                                                    "主题资源处理完成"}));
  // Five folders below the site folder, counted whether visited or not.
  ASSERT_FALSE(sink_.progress.empty());
  EXPECT_EQ(sink_.progress.back(), std::make_pair(6.0f, 6.0f));
  EXPECT_EQ(Options().CatalogueRoot.Attribute("pages"), "6");
  std::string saved = ReadFile(site_ + "/01Basics/startxml.xml");
  EXPECT_EQ(saved.substr(0, saved.find("<subjectResource")),
            "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"
            "<?xml-stylesheet type=\"text/xsl\" href=\"../startxml.xsl\"?>\r\n");

  // The site's own entry page, and stylesheets the user has since changed.
  WriteFile(site_ + "/index.html", kOwnIndex);
  WriteFile(site_ + "/startxml.xsl", "edited");
  fs::remove_all(site_ + "/startxml.files");
  Options().FootText = "foot two";
  sink_.status.clear();

  GenerateSite(path, false);

  EXPECT_EQ(ReadFile(site_ + "/index.html"), kOwnIndex);
  EXPECT_EQ(ReadFile(site_ + "/startxml.xsl"), "edited");
  EXPECT_FALSE(Exists(site_ + "/startxml.files"));
  for (const char* f : kVisited) EXPECT_EQ(Foot(site_ + f), "foot two") << f;
  EXPECT_EQ(sink_.status.size(), 3u);  // a refresh run reports nothing at its end
  // The site folder is still the site, not a finished web page.
  EXPECT_FALSE(Exists(site_ + "/site.html"));
}

// A refresh run finds the page document the full run wrote in a picture
// folder; the folder keeps its gallery all the same.
TEST_F(GenerationRun, RefreshKeepsEveryPictureGallery) {
  for (const char* f : {"a.gif", "b.gif", "c.gif"}) WriteFile(site_ + "/Gallery/" + f, "GIF89a");
  std::string path = site_;
  GenerateSite(path, true);
  const std::string fullRun = ReadFile(site_ + "/Gallery/startxml.xml");
  ASSERT_NE(fullRun.find("fullImages=\"yes\""), std::string::npos);
  WriteFile(site_ + "/index.html", kOwnIndex);
  GenerateSite(path, false);
  EXPECT_EQ(ReadFile(site_ + "/Gallery/startxml.xml"), fullRun);
}

// The folder as typed in the wizard's box: trailing separators go, a
// relative folder is taken from the working folder, and the path is not
// otherwise changed (its first letter stays as it is).
TEST_F(GenerationRun, SiteFolderIsUsedAbsoluteWithoutTrailingSeparators) {
  const fs::path savedCwd = fs::current_path();
  fs::current_path(dir_.path());
  const std::string cases[] = {site_ + "/", site_ + "//", "site", "./site/", site_};
  for (const std::string& typed : cases) {
    SCOPED_TRACE(typed);
    std::string path = typed;
    GenerateSite(path, true);
    EXPECT_EQ(path, site_);
    std::string inner = ReadFile(site_ + "/01Basics/Pics/startxml.xml");
    EXPECT_NE(inner.find("href=\"../../startxml.xsl\""), std::string::npos);
    EXPECT_NE(ReadFile(site_ + "/startxml.xml").find("href=\"startxml.xsl\""), std::string::npos);
  }
  fs::current_path(savedCwd);
}

// Each pass starts the bar at 0 with Max one more than the folders below the
// site folder (five here, two of them never visited), steps once per folder
// it visits and ends at Max.
TEST_F(GenerationRun, BothPassesRunTheBarFromZeroToMax) {
  std::string path = site_;
  GenerateSite(path, true);
  using Step = std::pair<float, float>;
  // After "Value = 0" (shown against whatever Max was) and "Max = 6".
  const std::vector<Step> pass = {{0, 6}, {1, 6}, {2, 6}, {3, 6}, {4, 6}, {6, 6}};
  const std::size_t perPass = pass.size() + 1;
  ASSERT_EQ(sink_.progress.size(), 2 * perPass);
  for (std::size_t start : {std::size_t{0}, perPass}) {
    SCOPED_TRACE(start == 0 ? "catalogue pass" : "page pass");
    EXPECT_EQ(sink_.progress[start].first, 0.0f);
    EXPECT_EQ(std::vector<Step>(sink_.progress.begin() + start + 1,
                                sink_.progress.begin() + start + perPass),
              pass);
  }
}

TEST_F(GenerationRun, RefreshThatFailsMidwayPutsTheEntryPageBackAndRaises) {
  std::string path = site_;
  GenerateSite(path, true);
  WriteFile(site_ + "/index.html", kOwnIndex);
  // The page pass cannot write this folder's page document.
  fs::remove(site_ + "/01Basics/Pics/startxml.xml");
  MakeDirs(site_ + "/01Basics/Pics/startxml.xml");

  try {
    GenerateSite(path, false);
    ADD_FAILURE() << "the run did not raise its error";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("Pics/startxml.xml"), std::string::npos) << e.what();
  }

  EXPECT_EQ(ReadFile(site_ + "/index.html"), kOwnIndex);
}

// Every refresh run that ends normally gives the site its own entry page
// back, a cancelled one too.
TEST_F(GenerationRun, RefreshPutsTheEntryPageBackWhenItEnds) {
  std::string path = site_;
  GenerateSite(path, true);
  struct Case {
    const char* what;
    const char* cancelAfter;  // the status text after which cancel is pressed, or null
  } cases[] = {
      {"run to its end", nullptr},
      {"cancelled while counting", "正在统计目录信息 ......"},
      {"cancelled in the page pass", "正在生成 XML 目录信息文件 ......"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(site_ + "/index.html", kOwnIndex);
    sink_.status.clear();
    sink_.onPump = [&] {
      if (c.cancelAfter && !sink_.status.empty() && sink_.status.back() == c.cancelAfter)
        Options().CancelFlag = -1;
    };
    Options().CancelFlag = 0;
    GenerateSite(path, false);
    sink_.onPump = nullptr;
    EXPECT_EQ(ReadFile(site_ + "/index.html"), kOwnIndex);
    EXPECT_FALSE(Exists(site_ + "/" + kEntryPageAsideName));
  }
}

using testing_support::FileSizeLimit;

// Files are limited to a few hundred bytes from the page pass on, as on a
// disk that has just filled up: the page documents cannot be written, and
// neither could a copy of a larger entry page. The site keeps its own page.
TEST_F(GenerationRun, RefreshThatFillsTheDiskKeepsTheEntryPage) {
  std::string path = site_;
  GenerateSite(path, true);
  const std::string ownPage = std::string(kOwnIndex) + std::string(4000, 'x');
  WriteFile(site_ + "/index.html", ownPage);
  FileSizeLimit disk;
  sink_.onProgress = [&](float, float) {
    if (sink_.status.back() == "正在生成 XML 目录信息文件 ......") disk.Limit(300);
  };
  EXPECT_ANY_THROW(GenerateSite(path, false));
  disk.Limit(RLIM_INFINITY);
  sink_.onProgress = nullptr;
  EXPECT_EQ(ReadFile(site_ + "/index.html"), ownPage);
  EXPECT_EQ(ReadFile(IndexTempPath()), ownPage);
}

// When the page cannot go back (here a folder has taken its name meanwhile)
// the error says where it is kept; nothing is lost.
TEST_F(GenerationRun, EntryPageThatCannotGoBackIsNamedInTheError) {
  std::string path = site_;
  GenerateSite(path, true);
  WriteFile(site_ + "/index.html", kOwnIndex);
  sink_.onPump = [&] {
    if (!Exists(site_ + "/index.html")) MakeDirs(site_ + "/index.html");
  };
  for (bool pagePassFails : {false, true}) {
    SCOPED_TRACE(pagePassFails ? "the run fails as well" : "the run itself succeeds");
    fs::remove_all(site_ + "/01Basics/Pics/startxml.xml");
    if (pagePassFails) MakeDirs(site_ + "/01Basics/Pics/startxml.xml");
    fs::remove(site_ + "/" + kEntryPageAsideName);
    fs::remove_all(site_ + "/index.html");
    WriteFile(site_ + "/index.html", kOwnIndex);
    std::string message;
    try {
      GenerateSite(path, false);
    } catch (const std::exception& e) {
      message = e.what();
    }
    const std::string kept = site_ + "/" + kEntryPageAsideName;
    EXPECT_NE(message.find(kept), std::string::npos) << message;
    if (pagePassFails) {
      EXPECT_NE(message.find("Pics/startxml.xml"), std::string::npos) << message;
    }
    EXPECT_EQ(ReadFile(kept), kOwnIndex);
  }
  sink_.onPump = nullptr;
}

// Two runs at once would take each other's copy in the cache folder: while
// another run holds the fixed files, a refresh run is refused and touches
// nothing.
TEST_F(GenerationRun, RefreshWhileAnotherRunHoldsTheFixedFilesIsRefused) {
  std::string path = site_;
  GenerateSite(path, true);
  WriteFile(site_ + "/index.html", kOwnIndex);
  WriteFile(IndexTempPath(), "the other run's page");
  int other = ::open(RunLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  try {
    GenerateSite(path, false);
    ADD_FAILURE() << "the run went ahead";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("另一个生成"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(IndexTempPath()), "the other run's page");
  EXPECT_EQ(ReadFile(site_ + "/index.html"), kOwnIndex);
  ::close(other);
  EXPECT_NO_THROW(GenerateSite(path, false));
  EXPECT_EQ(ReadFile(site_ + "/index.html"), kOwnIndex);
}

// The entry page is never deleted unless its copy is safe, and never left
// in place to turn the whole site into one redirect page.
TEST_F(GenerationRun, RefreshThatCannotSetTheEntryPageAsideTouchesNothing) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> prepare;  // gets the site folder
  } cases[] = {
      {"index.temp cannot be written", [](const std::string&) { MakeDirs(IndexTempPath()); }},
      {"index.html cannot be deleted",
       [](const std::string& site) {
         fs::permissions(site + "/index.html", fs::perms::owner_write | fs::perms::group_write |
                                                   fs::perms::others_write,
                         fs::perm_options::remove);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(IndexTempPath());
    fs::remove(site_ + "/index.html");
    WriteFile(site_ + "/index.html", kOwnIndex);
    c.prepare(site_);
    std::string path = site_;
    EXPECT_ANY_THROW(GenerateSite(path, false));
    EXPECT_EQ(ReadFile(site_ + "/index.html"), kOwnIndex);
    EXPECT_FALSE(Exists(site_ + "/site.html"));  // no redirect page for the site folder
    fs::remove_all(IndexTempPath());
    fs::permissions(site_ + "/index.html", fs::perms::owner_write, fs::perm_options::add);
  }
}

// The copy of an earlier run may have come out read-only (it keeps the
// page's own permissions); it is replaced all the same.
TEST_F(GenerationRun, ReadOnlyCopyOfAnEarlierRunIsReplaced) {
  WriteFile(IndexTempPath(), "earlier copy");
  fs::permissions(IndexTempPath(), fs::perms::owner_read);
  WriteFile(site_ + "/index.html", kOwnIndex);
  std::string path = site_;
  GenerateSite(path, false);
  EXPECT_EQ(ReadFile(IndexTempPath()), kOwnIndex);
  EXPECT_EQ(ReadFile(site_ + "/index.html"), kOwnIndex);
}

// A refresh broken off (killed, the machine switched off) leaves the site's
// entry page under the aside name and no index.html. Every run puts it
// back first and says so in its last status text; a full run then replaces
// it with the template's page, as it replaces any entry page.
TEST_F(GenerationRun, AnEntryPageLeftAsideByABrokenOffRunIsPutBackFirst) {
  const std::string left = site_ + "/" + kEntryPageAsideName;
  for (bool fullRun : {false, true}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    std::string path = site_;
    GenerateSite(path, true);
    fs::remove(site_ + "/index.html");
    WriteFile(left, kOwnIndex);
    sink_.status.clear();
    GenerateSite(path, fullRun);
    EXPECT_FALSE(Exists(left));
    EXPECT_EQ(ReadFile(site_ + "/index.html"), fullRun ? "template-index" : kOwnIndex);
    ASSERT_FALSE(sink_.status.empty());
    const std::string last = sink_.status.back();
    if (fullRun) {
      EXPECT_EQ(last.rfind("主题资源处理完成", 0), 0u) << last;
    }
    EXPECT_NE(last.find("\"" + left + "\""), std::string::npos) << last;
    EXPECT_NE(last.find("\"" + site_ + "/index.html\""), std::string::npos) << last;
  }
}

// With an index.html beside the page left aside only the user can tell
// which one is the site's: every run is refused before it touches the site
// or the copy in the cache folder, and the message names both files.
TEST_F(GenerationRun, AnEntryPageLeftAsideBesideANewOneIsRefusedTouchingNothing) {
  std::string path = site_;
  GenerateSite(path, true);
  WriteFile(site_ + "/index.html", "the page made since");
  WriteFile(site_ + "/" + kEntryPageAsideName, kOwnIndex);
  WriteFile(IndexTempPath(), "an earlier copy");
  for (bool fullRun : {false, true}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    const auto before = testing_support::Snapshot(site_);
    std::string message;
    try {
      GenerateSite(path, fullRun);
      ADD_FAILURE() << "the run went ahead";
    } catch (const std::exception& e) {
      message = e.what();
    }
    EXPECT_NE(message.find("\"" + site_ + "/index.html\""), std::string::npos) << message;
    EXPECT_NE(message.find("\"" + site_ + "/" + kEntryPageAsideName + "\""), std::string::npos)
        << message;
    EXPECT_EQ(testing_support::Snapshot(site_), before);
    EXPECT_EQ(ReadFile(IndexTempPath()), "an earlier copy");
  }
}

TEST_F(GenerationRun, RefreshDoesNotPutBackAPageAnEarlierRunLeft) {
  std::string path = site_;
  GenerateSite(path, true);
  fs::remove(site_ + "/index.html");
  WriteFile(IndexTempPath(), "another site's entry page");

  GenerateSite(path, false);

  EXPECT_FALSE(Exists(site_ + "/index.html"));
  EXPECT_EQ(ReadFile(IndexTempPath()), "another site's entry page");
}

TEST_F(GenerationRun, FullRunOverAnEarlierSiteReplacesItsOutput) {
  WriteFile(site_ + "/index.html", "earlier-index");
  WriteFile(site_ + "/startxml.files/old.gif", "old");
  WriteFile(site_ + "/01Basics/startxml.xml", "stale");
  WriteFile(site_ + "/welcome.html", "built before");
  std::string path = site_;
  GenerateSite(path, true);
  EXPECT_EQ(ReadFile(site_ + "/index.html"), "template-index");
  EXPECT_FALSE(Exists(site_ + "/startxml.files/old.gif"));
  EXPECT_NE(ReadFile(site_ + "/01Basics/startxml.xml"), "stale");
  EXPECT_EQ(ReadFile(site_ + "/welcome.html"), "built before");  // used again unchanged
}

// A cancel in the catalogue pass leaves a partial catalogue, but the flag
// is cleared before the page pass, which still writes every page.
TEST_F(GenerationRun, CancelDuringTheCataloguePass) {
  bool armed = true;
  sink_.onPump = [&] {
    if (armed) Options().CancelFlag = -1;
    armed = false;
  };
  std::string path = site_;
  GenerateSite(path, true);

  for (const char* f : kVisited) EXPECT_TRUE(fs::is_regular_file(site_ + f + "/startxml.xml")) << f;
  EXPECT_FALSE(Options().CatalogueRoot.HasChildren());
  EXPECT_EQ(sink_.status.back(), "主题资源处理完成");
  EXPECT_EQ(sink_.progress.back(), std::make_pair(1.0f, 1.0f));
}

// A cancel in the page pass stops it at the next folder; the full run
// still copies the template and says it was cancelled.
TEST_F(GenerationRun, CancelDuringThePagePass) {
  bool pagePass = false;
  sink_.onProgress = [&](float value, float) {
    if (!sink_.status.empty() && sink_.status.back() == "正在生成 XML 目录信息文件 ......" &&
        value >= 1)
      pagePass = true;
  };
  sink_.onPump = [&] {
    if (pagePass) Options().CancelFlag = -1;
  };
  std::string path = site_;
  GenerateSite(path, true);

  EXPECT_TRUE(Exists(site_ + "/startxml.xml"));
  EXPECT_FALSE(Exists(site_ + "/01Basics/startxml.xml"));
  EXPECT_EQ(ReadFile(site_ + "/index.html"), "template-index");
  EXPECT_EQ(sink_.status.back(), "操作已取消");
}

// However many rules look at a folder, a run reads its listing once: the
// first full run, a refresh run, and a full run over the site it made.
TEST_F(GenerationRun, EachFolderIsListedOncePerRun) {
  for (bool fullRun : {true, false, true}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    const std::vector<std::string> folders = ListingCounter::FoldersOf(site_);
    ListingCounter counter;
    std::string path = site_;
    GenerateSite(path, fullRun);
    counter.ExpectEachOnce(folders);
  }
}

// The run stays on the window's thread: the window must get its messages
// (the cancel button among them) in every folder of both passes, however
// the pages are made.
TEST_F(GenerationRun, TheWindowGetsItsMessagesInEveryFolderOfBothPasses) {
  const std::size_t folders = ListingCounter::FoldersOf(site_).size();
  std::map<std::string, std::size_t> pumpsBy;
  sink_.onPump = [&] {
    if (!sink_.status.empty()) ++pumpsBy[sink_.status.back()];
  };
  std::string path = site_;
  GenerateSite(path, true);
  EXPECT_GE(pumpsBy["正在统计目录信息 ......"], folders);
  EXPECT_GE(pumpsBy["正在生成 XML 目录信息文件 ......"], folders);
}

// Names on disk are UTF-8; the saved page documents are GBK under their
// gb2312 declaration, with what GBK cannot hold as a character reference.
TEST_F(GenerationRun, PageDocumentsAreSavedInGbk) {
  TempDir other;
  WriteFile(other / "01课程目标/1课程标准要求.htm", "p");
  Options().FootText = "版权 \xf0\x9f\x98\x80";  // a smiley GBK cannot hold
  std::string path = other.path();
  GenerateSite(path, true);
  std::string saved = ReadFile(other / "01课程目标/startxml.xml");
  const std::string name = "\xbf\xce\xb3\xcc\xc4\xbf\xb1\xea";  // 课程目标 in GBK
  EXPECT_NE(saved.find("title=\"" + name + "\""), std::string::npos);
  EXPECT_NE(saved.find("dir=\"01" + name + "\""), std::string::npos);
  EXPECT_NE(saved.find("foot=\"\xb0\xe6\xc8\xa8 &#128512;\""), std::string::npos);  // 版权
}

TEST_F(GenerationRun, SiteWithoutSubFoldersGetsOnePage) {
  TempDir other;
  WriteFile(other / "only.htm", "o");
  std::string path = other.path();
  GenerateSite(path, true);
  EXPECT_TRUE(fs::is_regular_file(other / "startxml.xml"));
  EXPECT_EQ(sink_.progress.back(), std::make_pair(1.0f, 1.0f));
  // Both passes run with Max 1.
  int maxOne = 0;
  for (const auto& p : sink_.progress) maxOne += p == std::make_pair(1.0f, 1.0f);
  EXPECT_GE(maxOne, 2);
}

// A folder swapped for a link to a folder outside the site while the page
// pass runs is not written through: the run ends with an error naming the
// folder, and neither the folder outside nor the one moved away changes.
TEST_F(GenerationRun, AFolderSwappedForALinkDuringThePagePassIsAnErrorNamingIt) {
  for (bool fullRun : {true, false}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    TempDir other;
    const std::string site = other / "site", outside = other / "outside";
    for (const char* folder : {"01A", "02B", "03C", "04D", "05E"})
      WriteFile(site + "/" + folder + "/p.htm", "p");
    WriteFile(outside + "/startxml.xml", "PRECIOUS");
    const auto before = Snapshot(outside);
    bool swapped = false;
    sink_.onPump = [&] {
      if (swapped || !Exists(site + "/01A/startxml.xml")) return;
      swapped = true;
      ASSERT_EQ(rename((site + "/03C").c_str(), (other / "03C.away").c_str()), 0);
      fs::create_symlink(outside, site + "/03C");
    };
    sink_.status.clear();
    std::string path = site;
    testing_support::ExpectSiteChangedNaming([&] { GenerateSite(path, fullRun); }, site + "/03C");
    sink_.onPump = nullptr;
    EXPECT_TRUE(swapped);
    EXPECT_EQ(Snapshot(outside), before);
    EXPECT_EQ(Snapshot(other / "03C.away"), (std::map<std::string, std::string>{{"p.htm", "p"}}));
    EXPECT_TRUE(sink_.status.empty() || sink_.status.back() != "主题资源处理完成");
  }
}

// What the window does while a run lets it in (its tree reading folders as
// the user clicks, another program changing them meanwhile) is no part of
// the run: the window sees the disk as it is, and a folder gone from under
// the tree does not stop the run as if its site had changed.
TEST_F(GenerationRun, TheWindowsOwnReadsDuringARunAreNotTheRuns) {
  const std::string beside = dir_ / "beside";
  MakeDirs(beside + "/inner");
  for (bool full : {true, false}) {
    SCOPED_TRACE(full ? "full run" : "refresh run");
    MakeDirs(beside + "/inner");
    fs::remove(site_ + "/new.htm");
    bool acted = false, seenNewPage = false, treeFailed = false;
    auto window = [&] {
      if (acted || !Exists(site_ + "/01Basics/startxml.xml")) return;
      acted = true;
      // The tree shows the folders beside the site, then one of them goes.
      platform::fso::SubFolderNames(dir_.path());
      fs::remove_all(beside);
      Try([&] {
        treeFailed = true;
        platform::fso::SubFolderNames(beside);
        treeFailed = false;
      });
      WriteFile(site_ + "/new.htm", "n");
      seenNewPage = platform::fso::FileExists(site_ + "/new.htm");
    };
    sink_.onPump = window;
    std::string path = site_;
    EXPECT_NO_THROW(GenerateSite(path, full));
    sink_.onPump = nullptr;
    ASSERT_TRUE(acted);
    EXPECT_TRUE(treeFailed);
    EXPECT_TRUE(seenNewPage);
  }
}

// A FIFO at a name the run writes holds nothing of the user's: it is
// replaced by the file the run writes there, as a link there would be, and
// the run never waits on it.
TEST_F(GenerationRun, AFifoAtANameTheRunWritesIsReplaced) {
  WriteFile(site_ + "/A/a.htm", "a");
  WriteFile(site_ + "/A/welcome.files/welcome.gif", "pic");
  WriteFile(site_ + "/A/welcome.files/welcome.txt", "Hello A");
  const struct {
    const char* name;
    bool refreshWrites;  // a refresh run copies no template
    const char* written;
  } cases[] = {
      {"A/startxml.xml", true, "<?xml"},
      {"startxml.xsl", false, "<xsl:stylesheet/>"},
      {"A/welcome.html", true, "Hello A"},
  };
  for (const auto& c : cases) {
    for (bool fullRun : {true, false}) {
      if (!fullRun && !c.refreshWrites) continue;
      SCOPED_TRACE(std::string(c.name) + (fullRun ? ", full run" : ", refresh run"));
      const std::string fifo = site_ + "/" + c.name;
      fs::remove(fifo);
      ASSERT_TRUE(MakeFifo(fifo));
      FifoDeadline deadline({fifo});
      std::string path = site_;
      EXPECT_NO_THROW(GenerateSite(path, fullRun));
      EXPECT_FALSE(deadline.Passed()) << "the run waited on the FIFO";
      ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(fifo)));
      EXPECT_NE(ReadFile(fifo).find(c.written), std::string::npos) << ReadFile(fifo);
    }
  }
}

// A FIFO put in the place of a file the run reads, after the run listed
// the file, is no file to read: the run ends with an error naming it and
// never waits on it.
TEST_F(GenerationRun, AFifoSwappedInForAFileTheRunReadsIsAnErrorNamingIt) {
  WriteFile(site_ + "/A/a.htm", "a");
  WriteFile(site_ + "/A/B/b.htm", "b");
  WriteFile(site_ + "/A/array.ini", "B\r\n");
  WriteFile(site_ + "/A/welcome.files/welcome.gif", "pic");
  WriteFile(site_ + "/A/welcome.files/welcome.txt", "Hello A");
  for (const char* name : {"A/array.ini", "A/welcome.files/welcome.txt"}) {
    for (bool fullRun : {true, false}) {
      SCOPED_TRACE(std::string(name) + (fullRun ? ", full run" : ", refresh run"));
      const std::string file = site_ + "/" + name;
      const std::string kept = ReadFile(file);
      fs::remove(site_ + "/A/welcome.html");  // made once the text is read
      FifoDeadline deadline({file});
      bool swapped = false;
      sink_.onPump = [&] {
        if (swapped || sink_.status.empty() || sink_.status.back() != "正在生成 XML 目录信息文件 ......")
          return;
        swapped = true;
        fs::remove(file);
        ASSERT_TRUE(MakeFifo(file));
      };
      std::string path = site_;
      testing_support::ExpectFsoErrorNaming([&] { GenerateSite(path, fullRun); }, file);
      sink_.onPump = nullptr;
      EXPECT_TRUE(swapped);
      EXPECT_FALSE(deadline.Passed()) << "the run waited on the FIFO";
      fs::remove(file);
      WriteFile(file, kept);
    }
  }
}

// What the user keeps at a name the template copy writes (a folder at a
// stylesheet's or the entry page's name, a file at the asset folder's)
// stays: the run fails with an error naming it and does not say it is done.
TEST_F(GenerationRun, ATemplateFileThatCannotBeWrittenFailsTheRunAndKeepsWhatIsThere) {
  testing_support::ExpectEachTemplateBlockerFailsTheRun(
      [&](std::string site) {
        sink_.status.clear();
        GenerateSite(site, true);
      },
      [&] { return !sink_.status.empty() && sink_.status.back() == "主题资源处理完成"; });
}

// The site folder swapped for a link while the template is copied: the
// file layer's word that the folder changed ends the run, and nothing
// reaches the folder the link leads to.
TEST_F(GenerationRun, ASiteSwappedForALinkDuringTheTemplateCopyEndsTheRun) {
  TempDir other;
  const std::string site = other / "site", outside = other / "outside";
  WriteFile(site + "/a.htm", "a");
  WriteFile(outside + "/own.txt", "PRECIOUS");
  const auto before = Snapshot(outside);
  // The run first looks into the style folder when the template copy begins.
  testing_support::OnFirstListing swap(style_, [&] {
    ASSERT_EQ(rename(site.c_str(), (other / "site.away").c_str()), 0);
    fs::create_symlink(outside, site);
  });
  std::string message;
  std::string path = site;
  try {
    GenerateSite(path, true);
    ADD_FAILURE() << "the run went ahead";
  } catch (const platform::SiteChangedError& e) {
    message = e.what();
  }
  EXPECT_TRUE(swap.Acted());
  EXPECT_NE(message.find("\"" + site + "\""), std::string::npos) << message;
  EXPECT_NE(message.find("生成已停止"), std::string::npos) << message;
  EXPECT_EQ(Snapshot(outside), before);
  EXPECT_TRUE(sink_.status.empty() || sink_.status.back() != "主题资源处理完成");
}

// On a disk that folds case, as USB sticks do, a name in capitals is the
// name the run asks for: the user's own welcome page is kept, and a folder
// holding INDEX.HTML is a finished web page that the clean-up leaves whole.
TEST_F(GenerationRun, OnADiskThatFoldsCaseTheUsersPagesInCapitalsAreKept) {
  testing_support::ExfatDisk disk;
  if (!disk.Unavailable().empty()) GTEST_SKIP() << "no exFAT disk to run on: " << disk.Unavailable();
  const std::string site = disk.path() + "/site";
  WriteFile(site + "/A/a.htm", "a");
  WriteFile(site + "/A/WELCOME.HTML", "the user's own welcome page");
  WriteFile(site + "/A/welcome.files/welcome.gif", "pic");
  WriteFile(site + "/A/welcome.files/welcome.txt", "Hello");
  WriteFile(site + "/Nested/INDEX.HTML", "a finished web page");
  WriteFile(site + "/Nested/startxml.xsl", "its own stylesheet");
  WriteFile(site + "/Nested/startxml.files/own.css", "its own style");
  WriteFile(site + "/Nested/x.htm", "x");
  for (bool fullRun : {true, false}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    std::string path = site;
    GenerateSite(path, fullRun);
    EXPECT_EQ(ReadFile(site + "/A/WELCOME.HTML"), "the user's own welcome page");
    EXPECT_EQ(ReadFile(site + "/Nested/INDEX.HTML"), "a finished web page");
    EXPECT_EQ(ReadFile(site + "/Nested/startxml.xsl"), "its own stylesheet");
    EXPECT_EQ(ReadFile(site + "/Nested/startxml.files/own.css"), "its own style");
    // The catalogue opens the finished web page itself.
    std::string nestedLink = "none";
    for (platform::XmlNode n = Options().CatalogueRoot.FirstChild(); n; n = n.NextSibling())
      if (n.Attribute("dir") == "Nested") nestedLink = n.Attribute("link");
    EXPECT_EQ(nestedLink, "Nested/index.html");
  }
}

// A folder the run has just made, swapped for a link the moment it is
// made, is not written through: the run ends with an error naming it, and
// the folder the link leads to keeps what it held.
TEST_F(GenerationRun, AFolderTheRunMadeSwappedForALinkIsNotWrittenThrough) {
  const std::string assets = site_ + "/startxml.files";
  WriteFile(dir_ / "victim/logo.gif", "the victim's own logo");
  const auto before = Snapshot(dir_ / "victim");
  bool swapped = false;
  platform::fso::FolderMadeObserver previous =
      platform::fso::SetFolderMadeObserver([&](const std::string& folder) {
        if (swapped || folder != assets) return;
        swapped = true;
        ASSERT_EQ(rename(assets.c_str(), (dir_ / "assets.away").c_str()), 0);
        fs::create_symlink(dir_ / "victim", assets);
      });
  std::string path = site_;
  testing_support::ExpectSiteChangedNaming([&] { GenerateSite(path, true); }, assets);
  platform::fso::SetFolderMadeObserver(previous);
  EXPECT_TRUE(swapped);
  EXPECT_EQ(Snapshot(dir_ / "victim"), before);
  EXPECT_TRUE(sink_.status.empty() || sink_.status.back() != "主题资源处理完成");
}

// A chosen picture that lies in the site, listed there as a file and then
// swapped for a link to a file outside before the pictures are copied, is
// not read through the link: the run ends with an error naming it and is
// not reported done.
TEST_F(GenerationRun, AChosenPictureSwappedForALinkAfterTheRunListedItEndsTheRun) {
  const std::string picture = site_ + "/01Basics/Pics/p.gif";
  WriteFile(dir_ / "secret.gif", "SECRET");
  for (std::string GenerationOptions::*chosen :
       {&GenerationOptions::LogoPath, &GenerationOptions::BannerPath, &GenerationOptions::WelcomePath}) {
    SCOPED_TRACE(chosen == &GenerationOptions::LogoPath     ? "logo"
                 : chosen == &GenerationOptions::BannerPath ? "banner"
                                                            : "welcome picture");
    fs::remove(picture);
    WriteFile(picture, "GIF89a");
    fs::remove_all(site_ + "/startxml.files");
    Options().*chosen = picture;
    bool swapped = false;
    platform::fso::FolderMadeObserver previous =
        platform::fso::SetFolderMadeObserver([&](const std::string& folder) {
          if (swapped || folder != site_ + "/startxml.files") return;
          swapped = true;
          fs::remove(picture);
          fs::create_symlink(dir_ / "secret.gif", picture);
        });
    sink_.status.clear();
    std::string path = site_;
    testing_support::ExpectSiteChangedNaming([&] { GenerateSite(path, true); }, picture);
    platform::fso::SetFolderMadeObserver(previous);
    Options().*chosen = "";
    EXPECT_TRUE(swapped);
    for (const char* copy : {"logo.gif", "banner.gif", "welcome.gif"})
      if (Exists(site_ + "/startxml.files/" + copy)) {
        EXPECT_NE(ReadFile(site_ + "/startxml.files/" + copy), "SECRET") << copy;
      }
    EXPECT_TRUE(sink_.status.empty() || sink_.status.back() != "主题资源处理完成");
  }
}

// A folder the run holds as real, swapped for a link to a folder outside
// the site before the walk reaches it, is not left out unsaid nor listed
// through the link: the run ends with an error naming it.
TEST_F(GenerationRun, AFolderSwappedForALinkBeforeTheWalkReachesItIsAnErrorNamingIt) {
  for (bool fullRun : {true, false}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    TempDir other;
    const std::string site = other / "site", outside = other / "outside";
    for (const char* folder : {"01A", "02B", "03C"}) WriteFile(site + "/" + folder + "/p.htm", "p");
    WriteFile(outside + "/q.htm", "outside");
    const auto before = Snapshot(outside);
    bool swapped = false;
    platform::fso::ListingObserver previous = platform::fso::SetListingObserver([&](const std::string& folder) {
      if (swapped || folder != site + "/01A") return;
      swapped = true;
      ASSERT_EQ(rename((site + "/03C").c_str(), (other / "03C.away").c_str()), 0);
      fs::create_symlink(outside, site + "/03C");
    });
    std::string path = site;
    testing_support::ExpectSiteChangedNaming([&] { GenerateSite(path, fullRun); }, site + "/03C");
    platform::fso::SetListingObserver(previous);
    EXPECT_TRUE(swapped);
    EXPECT_EQ(Snapshot(outside), before);
  }
}

// The welcome text, checked as no link and then swapped for a link to a
// file outside the site, is not published: the run ends with an error
// naming it.
TEST_F(GenerationRun, AWelcomeTextSwappedForALinkAfterItsCheckIsNotPublished) {
  const std::string text = site_ + "/welcome.files/welcome.txt";
  WriteFile(dir_ / "secret.txt", "SECRET");
  for (bool fullRun : {true, false}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    fs::remove(site_ + "/welcome.html");
    fs::remove(text);
    WriteFile(text, "Hello");
    bool swapped = false;
    sink_.onPump = [&] {
      if (swapped || sink_.status.empty() || sink_.status.back() != "正在生成 XML 目录信息文件 ......")
        return;
      swapped = true;
      fs::remove(text);
      fs::create_symlink(dir_ / "secret.txt", text);
    };
    std::string path = site_;
    testing_support::ExpectSiteChangedNaming([&] { GenerateSite(path, fullRun); }, text);
    sink_.onPump = nullptr;
    EXPECT_TRUE(swapped);
    EXPECT_FALSE(Exists(site_ + "/welcome.html"));
    EXPECT_TRUE(sink_.status.empty() || sink_.status.back() != "主题资源处理完成");
  }
}

// A run broken off while it writes a page leaves no page behind that the
// next run would take for the user's own: the next run, full or refresh,
// writes the whole page, and nothing of the broken write is left.
TEST_F(GenerationRun, APageWhoseWriteWasBrokenOffIsWrittenWholeByTheNextRun) {
  const struct {
    const char* page;
    const char* holds;
  } cases[] = {
      {"welcome.html", "Hello"},
      {"02Test/Test.html", "index.html"},
  };
  for (const auto& c : cases) {
    for (bool nextFull : {true, false}) {
      SCOPED_TRACE(std::string(c.page) + (nextFull ? ", then a full run" : ", then a refresh run"));
      const std::string page = site_ + "/" + c.page;
      fs::remove(page);
      platform::fso::WriteStop previous =
          platform::fso::SetWriteStop([&](const std::string& path) { return path == page; });
      std::string path = site_;
      EXPECT_THROW(GenerateSite(path, true), platform::FsoError);
      platform::fso::SetWriteStop(previous);
      GenerateSite(path, nextFull);
      EXPECT_NE(ReadFile(page).find(c.holds), std::string::npos) << ReadFile(page);
      for (const auto& entry : fs::recursive_directory_iterator(site_))
        EXPECT_FALSE(platform::IsOwnTemporaryName(entry.path().filename().string())) << entry.path();
    }
  }
}

// On a disk that folds case the run's own files are its own in any case:
// the welcome page in use, an earlier run's page document and the order
// list, in capitals, are no content pages; a name beyond ASCII is found in
// another case as the disk finds it.
TEST_F(GenerationRun, OnADiskThatFoldsCaseTheRunsOwnFilesInCapitalsAreNoPages) {
  testing_support::ExfatDisk disk;
  if (!disk.Unavailable().empty()) GTEST_SKIP() << "no exFAT disk to run on: " << disk.Unavailable();
  const std::string site = disk.path() + "/site";
  WriteFile(site + "/A/a.htm", "a");
  WriteFile(site + "/A/\xc3\x89t\xc3\xa9.htm", "summer");  // Été.htm
  WriteFile(site + "/A/WELCOME.HTML", "the user's own welcome page");
  WriteFile(site + "/A/STARTXML.XML", "an earlier run's page document");
  WriteFile(site + "/A/ARRAY.INI", "a.htm\r\n");
  for (bool fullRun : {true, false}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    std::string path = site;
    GenerateSite(path, fullRun);
    const std::string saved = ReadFile(site + "/A/startxml.xml");
    for (const char* own : {"WELCOME.HTML", "STARTXML.XML", "ARRAY.INI"})
      EXPECT_EQ(saved.find(own), std::string::npos) << own;
    EXPECT_NE(saved.find("a.htm"), std::string::npos);
  }
  platform::fso::ListingScope run;
  EXPECT_TRUE(platform::fso::FileExists(site + "/A/\xc3\xa9t\xc3\xa9.htm"));  // été.htm
}

}  // namespace
}  // namespace talvora

namespace talvora {
namespace {

// A command that asks for a run while one is going (the run lets window
// messages through) is refused; the run that was going ends as usual.
TEST_F(GenerationRun, ASecondRunAskedForDuringARunIsRefused) {
  int refused = 0;
  sink_.onPump = [&] {
    std::string again = site_;
    try {
      GenerateSite(again, false);
    } catch (const std::runtime_error&) {
      ++refused;
    }
  };
  std::string path = site_;
  GenerateSite(path, true);
  sink_.onPump = nullptr;
  EXPECT_GT(refused, 0);
  EXPECT_EQ(sink_.status.back(), "主题资源处理完成");
  for (const char* f : kVisited) EXPECT_TRUE(fs::is_regular_file(site_ + f + "/startxml.xml")) << f;

  // Once it has ended, the next run goes ahead.
  EXPECT_NO_THROW(GenerateSite(path, false));
}

// While one program's run keeps the site's entry page aside, a full run of
// the other program on the same site is refused before it touches that
// page: it is not taken for one a broken-off run left behind.
TEST_F(GenerationRun, AFullRunDuringAnotherRunThatKeepsTheEntryPageAsideIsRefused) {
  const std::string aside = site_ + "/" + kEntryPageAsideName;
  struct Case {
    const char* what;
    std::function<void(std::string&)> first, second;
  } cases[] = {
      {"Quenlet during a refresh", [](std::string& site) { GenerateSite(site, false); },
       [](std::string& site) { quenlet::GenerateSite(site, ""); }},
      {"a full run during Quenlet's run",
       [](std::string& site) {
         quenlet::Options().StartedWithPath = true;
         quenlet::GenerateSite(site, "");
       },
       [](std::string& site) { GenerateSite(site, true); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(site_ + "/index.html", kOwnIndex);
    bool asked = false;
    std::string refusal, keptMeanwhile;
    sink_.onPump = [&] {
      if (asked || !Exists(aside)) return;
      asked = true;
      std::string again = site_;
      try {
        c.second(again);
      } catch (const std::runtime_error& e) {
        refusal = e.what();
      }
      keptMeanwhile = Exists(aside) ? ReadFile(aside) : "gone";
      EXPECT_FALSE(Exists(site_ + "/index.html"));
    };
    std::string path = site_;
    EXPECT_NO_THROW(c.first(path));
    sink_.onPump = nullptr;
    quenlet::Options().StartedWithPath = false;
    EXPECT_TRUE(asked);
    EXPECT_NE(refusal.find("另一个生成"), std::string::npos) << refusal;
    EXPECT_EQ(keptMeanwhile, kOwnIndex);
    EXPECT_EQ(ReadFile(site_ + "/index.html"), kOwnIndex);
    EXPECT_FALSE(Exists(aside));
  }
}

}  // namespace
}  // namespace talvora
