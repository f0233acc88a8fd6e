// A column site's pages, branches, their order and the array.ini fields.
#include "generator/selection.h"

#include <string>
#include <vector>

#include "column_fixture.h"
#include "platform/codepage.h"
#include "platform/temp_names.h"
#include "platform/xml_document.h"
#include "support/temp_dir.h"

namespace quenlet {
namespace {

using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

using QuenletSelection = ColumnTest;

// What a broken-off download and a broken-off unpack leave behind.
const std::string kDownloadLeft = platform::DownloadPartName(0x0123456789abcdefull);
const std::string kUnpackLeft = ".rartemp.Ab3xYz";

ItemList Paths(const std::string& folder, const std::vector<std::string>& names) {
  ItemList list;
  for (const std::string& n : names) list.push_back(folder + "/" + n);
  return list;
}

// An array.ini as the system writes it: GBK, CR LF.
void WriteArrayIni(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  WriteFile(path, platform::ToAnsi(text));
}

TEST_F(QuenletSelection, PageFilesLeaveOutSettingsCoversAndThumbnails) {
  TempDir dir;
  for (const char* f : {"page_01.JPG", "TN_a.jpg", "Thumbs.db", "FolderPlace.ini", "tn_a.jpg",
                        "thumbs.db", "a.jpg", "~$x.doc", "startxml.xml", "welcome.htm", "b.bak",
                        "array.ini", "innerxml.xsl", "Page_01.gif", kDownloadLeft.c_str(),
                        kUnpackLeft.c_str()})
    WriteFile(dir / f, "x");
  EXPECT_EQ(Names(GetPageFiles(dir.path())),
            (std::vector<std::string>{"a.jpg", "thumbs.db", "tn_a.jpg"}));
}

TEST_F(QuenletSelection, FinishedPageGetsItsRedirectPageOnly) {
  struct Case {
    const char* subject;
    std::vector<std::string> files;
    std::string page, target;
  } cases[] = {
      {"语文", {"index.html", "index.htm", "x.htm"}, "3Unit.html", "index.htm"},
      {"数学", {"index.html"}, "Unit.html", "index.html"},
      {"语文", {"index.htm"}, "3Unit.html", "index.htm"},
  };
  for (const Case& c : cases) {
    Reset(c.subject);
    TempDir dir;
    MakeDirs(dir / "3Unit/sub");
    for (const std::string& f : c.files) WriteFile(dir / ("3Unit/" + f), "x");
    EXPECT_EQ(Names(GetPageFiles(dir / "3Unit")), std::vector<std::string>{c.page});
    EXPECT_EQ(ReadFile(dir / ("3Unit/" + c.page)),
              "<script language=\"javascript\">window.location.href=\"" + c.target +
                  "\";</script>\r\n");
    EXPECT_TRUE(GetSubFolders(dir / "3Unit").empty());
  }
}

// Under "数学" the page of 3Unit is Unit.html; a Unit.html of the user's stays
// and the folder's index page is its page.
TEST_F(QuenletSelection, RedirectPageNeverReplacesAUsersFile) {
  Reset("数学");
  TempDir dir;
  WriteFile(dir / "3Unit/index.html", "<html/>");
  WriteFile(dir / "3Unit/Unit.html", "the user's unit page");
  EXPECT_EQ(GetPageFiles(dir / "3Unit"), ItemList{dir / "3Unit/index.html"});
  EXPECT_EQ(ReadFile(dir / "3Unit/Unit.html"), "the user's unit page");
}

TEST_F(QuenletSelection, NumberSortTakesOneEntryPerNumberAndSkipsGaps) {
  struct Case {
    std::vector<std::string> listed, sorted;
  } cases[] = {
      {{"3a", "1b", "2c", "x"}, {"1b", "2c", "3a", "x"}},
      {{"1a", "3b", "x"}, {"1a", "3b", "x"}},
      {{"x", "3b", "1a"}, {"1a", "3b", "x"}},
      // 01a and 1b both number 1: the one found first from the end wins.
      {{"01a", "1b"}, {"1b", "01a"}},
      {{"150z", "151y", "2b"}, {"2b", "150z", "151y"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    ItemList list = Paths("/f", c.listed);
    SortByNumberPrefix(list);
    EXPECT_EQ(Names(list), c.sorted);
  }
}

TEST_F(QuenletSelection, PageOrderDependsOnTheSubjectBranchOrderDoesNot) {
  TempDir dir;
  // The listing is byte-wise: 10a before 9b, 10c before 9d.
  for (const char* f : {"10a.htm", "9b.htm", "x.htm"}) WriteFile(dir / f, "x");
  for (const char* d : {"10c", "9d"}) MakeDirs(dir / d);
  Reset("数学");
  EXPECT_EQ(Names(GetPageFiles(dir.path())),
            (std::vector<std::string>{"9b.htm", "10a.htm", "x.htm"}));
  EXPECT_EQ(Names(GetSubFolders(dir.path())), (std::vector<std::string>{"9d", "10c"}));
  Reset("语文");
  EXPECT_EQ(Names(GetPageFiles(dir.path())),
            (std::vector<std::string>{"10a.htm", "9b.htm", "x.htm"}));
  EXPECT_EQ(Names(GetSubFolders(dir.path())), (std::vector<std::string>{"9d", "10c"}));
}

TEST_F(QuenletSelection, SubFoldersLeaveOutSupportFoldersByName) {
  TempDir dir;
  for (const char* d : {"a", "notes_files", "pic.files", "b_file", "c", "1电子课本"})
    MakeDirs(dir / d);
  EXPECT_EQ(Names(GetSubFolders(dir.path())), (std::vector<std::string>{"1电子课本", "a", "c"}));
  // A site below a dotted folder keeps its branches.
  MakeDirs(dir / "first.last/site/x");
  EXPECT_EQ(Names(GetSubFolders(dir / "first.last/site")), std::vector<std::string>{"x"});
}

TEST_F(QuenletSelection, OrderListUsesTheNameBeforeTheFirstComma) {
  struct Case {
    std::vector<std::string> lines;
    std::vector<std::string> listed, ordered;
  } cases[] = {
      {{"B,ico.gif,left,2"}, {"A", "B", "C"}, {"B", "A", "C"}},
      {{"C", "", "  ", "A,x"}, {"A", "B", "C"}, {"C", "A", "B"}},
      // A line beginning with a comma is blank.
      {{",A", "C"}, {"A", "B", "C"}, {"C", "A", "B"}},
      {{"B,1", "B,2", "A"}, {"A", "B"}, {"B", "A"}},
      {{"b"}, {"A", "B"}, {"A", "B"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteArrayIni(dir / "array.ini", c.lines);
    ItemList list = Paths(dir.path(), c.listed);
    OrderByArrayIni(list, dir / "array.ini");
    EXPECT_EQ(Names(list), c.ordered) << c.lines.front();
  }
  ItemList unchanged = Paths("/nowhere", {"B", "A"});
  EXPECT_EQ(Names(OrderByArrayIni(unchanged, "/nowhere/array.ini")),
            (std::vector<std::string>{"B", "A"}));
}

TEST_F(QuenletSelection, OrderListReadsBeyondTheMainProgramsHundredNames) {
  TempDir dir;
  std::vector<std::string> lines, listed;
  for (int i = 0; i < 300; ++i) lines.push_back("n" + std::to_string(299 - i));
  for (int i = 0; i < 300; ++i) listed.push_back("n" + std::to_string(i));
  WriteArrayIni(dir / "array.ini", lines);
  ItemList list = Paths(dir.path(), listed);
  OrderByArrayIni(list, dir / "array.ini");
  EXPECT_EQ(talvora::GetFileName(list.front()), "n299");
  EXPECT_EQ(talvora::GetFileName(list.back()), "n0");
}

TEST_F(QuenletSelection, ArrayIniLinesKeepWholeLinesInTwentySlots) {
  TempDir dir;
  std::vector<std::string> lines = {"  A,a.gif,left,1  ", "", "   ", "B,,right,2"};
  for (int i = 0; i < 30; ++i) lines.push_back("X" + std::to_string(i));
  WriteArrayIni(dir / "array.ini", lines);
  std::vector<std::string> slots;
  ReadArrayIni(dir / "array.ini", slots);
  ASSERT_EQ(slots.size(), 20u);
  EXPECT_EQ(slots[0], "A,a.gif,left,1");
  EXPECT_EQ(slots[1], "B,,right,2");
  EXPECT_EQ(slots[19], "X17");

  ReadArrayIni(dir / "none.ini", slots);
  EXPECT_EQ(slots, std::vector<std::string>(20, ""));
}

TEST_F(QuenletSelection, FieldLookupsTakeTheLastMatchAmongTheFirstTenLines) {
  std::vector<std::string> lines(20, "");
  lines[0] = "B,ico.gif,left,2";
  lines[1] = "C,c1.gif,right,1";
  lines[2] = "C,c2.gif,foot,3,extra";
  lines[3] = "OnlyKey";
  lines[4] = "Two,fields";
  lines[10] = "Late,late.gif,left,1";
  struct Case {
    std::string name, ico, place, order;
  } cases[] = {
      {"B", "ico.gif", "left", "2"},
      {"C", "c2.gif", "foot", "3,extra"},
      {"b", "", "", ""},
      {"OnlyKey", "", "", ""},
      {"Two", "fields", "", ""},
      {"Late", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetFolderIco(c.name, lines), c.ico) << c.name;
    EXPECT_EQ(GetFolderPlace(c.name, lines), c.place) << c.name;
    EXPECT_EQ(GetFolderOrder(c.name, lines), c.order) << c.name;
  }
  // The first empty slot ends the lookup.
  lines[5] = "";
  lines[6] = "After,a.gif,left,1";
  EXPECT_EQ(GetFolderPlace("After", lines), "");
}

TEST_F(QuenletSelection, NodesByPlaceGroupLeftRightFootByOrder) {
  platform::XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(
      "<r><node name='file'/>"
      "<node name='C' place='right' order='1'/><node name='A' place='left' order='2'/>"
      "<node name='B' place='left' order='1'/><node name='D' place='' order=''/>"
      "<node name='E' place='foot' order='3'/><node name='F' place='Left' order='1'/>"
      "<node name='G' place='left' order=' 1'/><node name='H' place='x/left' order='a/1'/>"
      "<node name='I' place='left' order='01'/><node name='J' place='left' order='1'/></r>"));
  std::vector<platform::XmlNode> result;
  SortNodesByPlace(doc.DocumentElement(), result);
  std::vector<std::string> names;
  for (platform::XmlNode n : result) names.push_back(n.Attribute("name"));
  EXPECT_EQ(names, (std::vector<std::string>{"B", "J", "A", "C", "E"}));
}

TEST_F(QuenletSelection, PictureAndMediaFolders) {
  struct Case {
    std::vector<std::string> files;
    bool picture, media;
  } cases[] = {
      {{"a.jpg", "TN_a.jpg", "page_01.doc"}, true, false},
      {{"a.jpg", "b.txt"}, false, false},
      {{}, false, false},
      {{"array.ini"}, true, true},
      {{"x.mp3", "y.SWF", "TN_y.jpg"}, false, true},
      {{"x.mp3", "y.jpg"}, false, false},
      {{"index.html", "a.jpg"}, false, false},
      // The page document a run wrote there is not looked at.
      {{"startxml.xml"}, false, false},
      {{"a.jpg", "startxml.xml"}, true, false},
      {{"x.mp3", "startxml.xml"}, false, true},
      // Nor are the leftovers of a download or an unpack broken off.
      {{"a.jpg", kDownloadLeft, kUnpackLeft}, true, false},
      {{"x.mp3", kDownloadLeft, kUnpackLeft}, false, true},
      {{kDownloadLeft, kUnpackLeft}, false, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    MakeDirs(dir / "f");
    for (const std::string& f : c.files) WriteFile(dir / ("f/" + f), "x");
    EXPECT_EQ(IsPictureFolder(dir / "f"), c.picture) << c.files.size();
    EXPECT_EQ(IsMediaFolder(dir / "f"), c.media) << c.files.size();
  }
}

}  // namespace
}  // namespace quenlet
