// Which files are pages and which folders are branches, and their order.
#include "generator/selection.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "generator/uitl.h"
#include "platform/codepage.h"
#include "platform/fso.h"
#include "platform/temp_names.h"
#include "support/temp_dir.h"

namespace talvora {
namespace {

using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// What a broken-off download and a broken-off unpack leave behind.
const std::string kDownloadLeft = platform::DownloadPartName(0x0123456789abcdefull);
const std::string kUnpackLeft = ".rartemp.Ab3xYz";

ItemList Paths(const std::string& folder, const std::vector<std::string>& names) {
  ItemList list;
  for (const std::string& n : names) list.push_back(folder + "/" + n);
  return list;
}

std::vector<std::string> Names(const ItemList& list) {
  std::vector<std::string> names;
  for (const std::string& p : list) names.push_back(GetFileName(p));
  return names;
}

TEST(Selection, NumberPrefixReadsAtMostThreeLeadingDigits) {
  const std::pair<std::string, int> cases[] = {
      {"01 Intro.htm", 1}, {"007.htm", 7}, {"1234.htm", 123}, {"Intro.htm", 0},
      {"", 0},             {"9", 9},       {"0x.htm", 0},     {"语文1.htm", 0}};
  for (const auto& [name, prefix] : cases) EXPECT_EQ(GetNumberPrefix(name), prefix) << name;
}

TEST(Selection, NumberSortPullsTheUnbrokenRunToTheFront) {
  struct Case {
    const char* what;
    std::vector<std::string> listed, sorted;
  } cases[] = {
      {"designed example",
       {"3c.htm", "1a.htm", "x.htm", "2b.htm", "01z.htm"},
       {"01z.htm", "2b.htm", "3c.htm", "1a.htm", "x.htm"}},
      {"a gap ends the run",
       {"4d.htm", "x.htm", "2b.htm", "1a.htm"},
       {"1a.htm", "2b.htm", "4d.htm", "x.htm"}},
      {"prefix 0 and no digits never move",
       {"0a.htm", "b.htm", "1c.htm", "000.htm"},
       {"1c.htm", "0a.htm", "b.htm", "000.htm"}},
      {"no 1 leaves the order", {"3c.htm", "2b.htm"}, {"3c.htm", "2b.htm"}},
      {"nothing to sort", {}, {}},
      {"folders are named as files are", {"2 Two", "1 One", "Extra"}, {"1 One", "2 Two", "Extra"}},
  };
  for (const Case& c : cases) {
    ItemList items = Paths("/d", c.listed);
    ItemList returned = SortByNumberPrefix(items);
    EXPECT_EQ(Names(returned), c.sorted) << c.what;
    EXPECT_EQ(items, returned) << c.what << ": the caller's list is replaced";
  }
}

TEST(Selection, OrderListMovesItsNamesToTheFrontInFileOrder) {
  const std::string fifty(50, '\n');
  struct Case {
    const char* what;
    std::string ini;  // UTF-8; written in GBK
    std::vector<std::string> listed, ordered;
  } cases[] = {
      {"blank lines before and between", "\n\nc.htm\n\n  a.htm  \n",
       {"a.htm", "b.htm", "c.htm"}, {"c.htm", "a.htm", "b.htm"}},
      {"CR LF line ends", "b.htm\r\na.htm\r\n", {"a.htm", "b.htm", "c.htm"},
       {"b.htm", "a.htm", "c.htm"}},
      {"letter case must match", "B.htm\nc.htm\n", {"a.htm", "b.htm", "c.htm"},
       {"c.htm", "a.htm", "b.htm"}},
      {"unknown and repeated names", "zz.htm\nb.htm\nb.htm\n", {"a.htm", "b.htm"},
       {"b.htm", "a.htm"}},
      {"extension is part of the name", "a\nb.htm\n", {"a.htm", "b.htm"}, {"b.htm", "a.htm"}},
      {"the 50th blank line ends the reading", fifty + "b.htm\n", {"a.htm", "b.htm"},
       {"a.htm", "b.htm"}},
      {"49 blank lines do not", std::string(49, '\n') + "b.htm\n", {"a.htm", "b.htm"},
       {"b.htm", "a.htm"}},
      {"blank lines count anywhere", "b.htm\n" + fifty + "c.htm\n", {"a.htm", "b.htm", "c.htm"},
       {"b.htm", "a.htm", "c.htm"}},
      {"names in the system code page", "第二课.htm\n", {"第一课.htm", "第二课.htm"},
       {"第二课.htm", "第一课.htm"}},
      {"an empty list", "", {"a.htm", "b.htm"}, {"a.htm", "b.htm"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir / "array.ini", platform::ToAnsi(c.ini));
    ItemList items = Paths(dir.path(), c.listed);
    ItemList returned = OrderByArrayIni(items, dir / "array.ini");
    EXPECT_EQ(Names(returned), c.ordered) << c.what;
    EXPECT_EQ(items, returned) << c.what;
  }
}

TEST(Selection, WithoutAnOrderListTheListStays) {
  TempDir dir;
  ItemList items = Paths(dir.path(), {"b.htm", "a.htm"});
  EXPECT_EQ(Names(OrderByArrayIni(items, dir / "array.ini")),
            (std::vector<std::string>{"b.htm", "a.htm"}));
}

TEST(Selection, OrderListUsesTheFirst99NamesOnly) {
  TempDir dir;
  std::vector<std::string> listed;
  std::string ini;
  for (int i = 1; i <= 120; ++i) {
    listed.push_back("f" + std::to_string(i) + ".htm");
    ini = "f" + std::to_string(i) + ".htm\n" + ini;  // listed backwards
  }
  WriteFile(dir / "array.ini", ini);
  ItemList items = Paths(dir.path(), listed);
  std::vector<std::string> names = Names(OrderByArrayIni(items, dir / "array.ini"));
  ASSERT_EQ(names.size(), 120u);
  // f120 down to f22 come first, then f1 to f21 in their own order.
  EXPECT_EQ(names[0], "f120.htm");
  EXPECT_EQ(names[98], "f22.htm");
  EXPECT_EQ(names[99], "f1.htm");
  EXPECT_EQ(names[119], "f21.htm");
}

TEST(Selection, PageFilesLeaveOutTheSystemsOwnFiles) {
  TempDir dir;
  const std::pair<std::string, bool> files[] = {
      {"Welcome.htm", true},   {"Array.ini", true},     {"old.BAK", true},
      {"lesson.doc", true},    {"README", true},
      // Without a dot the extension is the whole path, so this is no backup.
      {"bak", true},
      {"welcome.html", false}, {"welcome", false},      {"welcome.htm", false},
      {"startxml.xml", false}, {"startxml.xsl", false}, {"innerxml.xsl", false},
      {"innerxml1.xml", false}, {"~$notes.doc", false}, {"a.bak", false},
      {"array.ini", false},
      {kDownloadLeft, false},  {kUnpackLeft, false},
      // Only the programs' own forms are theirs.
      {".download-notours.part", true}, {".rartemp.mine.txt", true},
  };
  std::vector<std::string> expected;
  for (const auto& [name, page] : files) {
    WriteFile(dir / name, "x");
    if (page) expected.push_back(name);
  }
  MakeDirs(dir / "sub");
  std::vector<std::string> pages = Names(GetPageFiles(dir.path()));
  std::sort(pages.begin(), pages.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(pages, expected);
}

TEST(Selection, PageFilesAreNumberSortedThenOrderedByTheList) {
  TempDir dir;
  for (const char* name : {"1a.htm", "2b.htm", "3c.htm", "x.htm"}) WriteFile(dir / name, "x");
  EXPECT_EQ(Names(GetPageFiles(dir.path())),
            (std::vector<std::string>{"1a.htm", "2b.htm", "3c.htm", "x.htm"}));
  WriteFile(dir / "array.ini", "x.htm\r\n2b.htm\r\n");
  EXPECT_EQ(Names(GetPageFiles(dir.path())),
            (std::vector<std::string>{"x.htm", "2b.htm", "1a.htm", "3c.htm"}));
  EXPECT_EQ(GetPageFiles(dir.path()).front(), dir / "x.htm");  // full paths
}

TEST(Selection, BranchesLeaveOutFoldersWithADotInTheirName) {
  TempDir dir;
  for (const char* name : {"2Two", "1One", "welcome.files", "startxml.files", "v1.2", "Pics"})
    MakeDirs(dir / name);
  WriteFile(dir / "file", "x");
  EXPECT_EQ(Names(GetSubFolders(dir.path())), (std::vector<std::string>{"1One", "2Two", "Pics"}));
  WriteFile(dir / "array.ini", "Pics\n");
  EXPECT_EQ(Names(GetSubFolders(dir.path())), (std::vector<std::string>{"Pics", "1One", "2Two"}));

  // A site below a dotted folder still has its branches.
  MakeDirs(dir / "v1.2/inner");
  MakeDirs(dir / "v1.2/inner.old");
  EXPECT_EQ(Names(GetSubFolders(dir / "v1.2")), (std::vector<std::string>{"inner"}));
}

TEST(Selection, AFolderWithIndexHtmlHasOnlyItsRedirectPage) {
  const std::string redirect =
      "<script language=\"javascript\">window.location.href=\"index.html\";</script>\r\n";
  const std::pair<std::string, std::string> cases[] = {
      {"01Intro", "Intro.html"},
      {"Lesson", "Lesson.html"},
      {"01 Intro", " Intro.html"},
      {"2008年课件", "8年课件.html"},
      {"v1", "v1.html"},
  };
  for (const auto& [folderName, pageName] : cases) {
    TempDir dir;
    const std::string folder = dir / folderName;
    WriteFile(folder + "/index.html", "<html/>");
    WriteFile(folder + "/x.htm", "x");
    MakeDirs(folder + "/Sub");
    EXPECT_EQ(GetPageFiles(folder), ItemList{folder + "/" + pageName}) << folderName;
    EXPECT_EQ(ReadFile(folder + "/" + pageName), redirect) << folderName;
    EXPECT_TRUE(GetSubFolders(folder).empty()) << folderName;

    // Written again on every listing (over a redirect page of another target).
    WriteFile(folder + "/" + pageName,
              "<script language=\"javascript\">window.location.href=\"index.htm\";</script>\r\n");
    GetPageFiles(folder);
    EXPECT_EQ(ReadFile(folder + "/" + pageName), redirect) << folderName;
  }
}

// The redirect page's name may be taken by a file the program did not
// write; that file stays as it is and the folder's index page itself is its
// page, so the folder still opens from the site.
TEST(Selection, ARedirectPageNeverReplacesAFileItDidNotWrite) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    std::string folderName;
    std::function<void(const std::string& page)> take;  // puts something at the page's name
  } cases[] = {
      {"a page of the user's", "Lesson", [](const std::string& p) { WriteFile(p, "user's page"); }},
      {"the folder's own index page", "index", [](const std::string&) {}},
      {"the user's welcome page", "welcome", [](const std::string& p) { WriteFile(p, "user's page"); }},
      {"a folder", "Lesson", [](const std::string& p) { MakeDirs(p); }},
      {"a link to a file outside",
       "Lesson", [](const std::string& p) { fs::create_symlink(p + ".outside", p); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string folder = dir / c.folderName;
    WriteFile(folder + "/index.html", "<html/>");
    const std::string page = folder + "/" + c.folderName + ".html";
    c.take(page);
    const auto before = fs::symlink_status(page).type();
    const std::string content = fs::is_regular_file(fs::symlink_status(page)) ? ReadFile(page) : "";
    EXPECT_EQ(GetPageFiles(folder), ItemList{folder + "/index.html"});
    EXPECT_EQ(fs::symlink_status(page).type(), before);
    if (!content.empty()) {
      EXPECT_EQ(ReadFile(page), content);
    }
    EXPECT_FALSE(testing_support::Exists(page + ".outside"));
  }
}

TEST(Selection, PictureFolderHoldsFilesAndOnlyPictures) {
  struct Case {
    const char* what;
    std::vector<std::string> files, folders;
    bool pictures;
  } cases[] = {
      {"empty folder", {}, {}, false},
      {"only sub-folders", {}, {"a", "b"}, false},
      {"pictures and the order list", {"a.GIF", "b.jpg", "array.ini"}, {}, true},
      {"every picture kind", {"a.gif", "b.JPG", "c.bmp", "d.Png", "e.ini"}, {}, true},
      {"jpeg is no picture", {"a.gif", "c.jpeg"}, {}, false},
      {"a page spoils it", {"a.png", "b.htm"}, {}, false},
      {"a file without extension", {"a.png", "readme"}, {}, false},
      // Without a dot the extension is the whole path, never a picture kind.
      {"a file named like a picture kind", {"a.png", "gif"}, {}, false},
      {"sub-folders are not looked at", {"a.png"}, {"docs"}, true},
      {"pictures beside the programs' leftovers", {"a.png", kDownloadLeft, kUnpackLeft}, {}, true},
      {"nothing but the programs' leftovers", {kDownloadLeft, kUnpackLeft}, {}, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& f : c.files) WriteFile(dir / f, "x");
    for (const std::string& f : c.folders) WriteFile(dir / (f + "/page.htm"), "x");
    EXPECT_EQ(IsPictureFolder(dir.path()), c.pictures) << c.what;
  }
}

TEST(Selection, AFolderThatCannotBeListedRaises) {
  TempDir dir;
  EXPECT_THROW(GetPageFiles(dir / "missing"), platform::FsoError);
  EXPECT_THROW(GetSubFolders(dir / "missing"), platform::FsoError);
  EXPECT_THROW(IsPictureFolder(dir / "missing"), platform::FsoError);
}

}  // namespace
}  // namespace talvora
