// The column site's catalogue.
#include "generator/catalogue.h"

#include <unistd.h>

#include <string>

#include "column_fixture.h"
#include "generator/generator.h"
#include "platform/codepage.h"
#include "platform/fso.h"
#include "support/temp_dir.h"

namespace quenlet {
namespace {

using platform::XmlNode;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

using QuenletCatalogue = ColumnTest;

XmlNode Child(XmlNode parent, const std::string& attribute, const std::string& value) {
  for (XmlNode c = parent.FirstChild(); c; c = c.NextSibling())
    if (c.Attribute(attribute) == value) return c;
  return XmlNode();
}

std::vector<std::string> AttributeNames(XmlNode node) {
  std::vector<std::string> names;
  for (const auto& a : node.Attributes()) names.push_back(a.first);
  return names;
}

TEST_F(QuenletCatalogue, FileNodesCarryTypeAndZoomImageAndKeepTheirPrefix) {
  TempDir site;
  for (const char* f : {"a.jpg", "TN_a.jpg", "2Fractions.doc", "abcdefghijklmno.htm",
                        "abcdefghijklmnop.htm", "README"})
    WriteFile(site / f, "x");
  auto doc = BuildCatalogue(site.path());
  XmlNode root = doc->DocumentElement();
  EXPECT_EQ(root.Attribute("pages"), "5");
  struct Case {
    std::string link, name, type, zoom;
  } cases[] = {
      {"a.jpg", "a", "jpg", "TN_a.jpg"},
      {"2Fractions.doc", "2Fractions", "doc", ""},
      {"abcdefghijklmno.htm", "abcdefghijklmno", "htm", ""},
      {"abcdefghijklmnop.htm", "abcdefghijklmn....", "htm", ""},
      {"README", "README", "", ""},
  };
  for (const Case& c : cases) {
    XmlNode n = Child(root, "link", c.link);
    ASSERT_FALSE(n.IsNull()) << c.link;
    EXPECT_EQ(n.Attribute("name"), c.name);
    EXPECT_EQ(n.Attribute("type"), c.type) << c.link;
    EXPECT_EQ(n.Attribute("zoomImage"), c.zoom) << c.link;
    EXPECT_EQ(AttributeNames(n),
              (std::vector<std::string>{"name", "dir", "link", "type", "level", "zoomImage"}));
  }
  EXPECT_TRUE(Child(root, "link", "TN_a.jpg").IsNull());
}

TEST_F(QuenletCatalogue, FolderNodesTakeTheirFieldsFromTheSiteRootsLines) {
  TempDir site;
  MakeDirs(site / "2Fractions/B");
  MakeDirs(site / "B");
  MakeDirs(site / "Late");
  WriteFile(site / "2Fractions/B/p.htm", "x");
  WriteFile(site / "2Fractions/q.htm", "x");
  std::vector<std::string>& lines = Options().ArrayIniLines;
  lines[0] = "B,ico.gif,left,2";
  lines[1] = "2Fractions,f.gif,right,1";
  lines[10] = "Late,late.gif,foot,1";
  auto doc = BuildCatalogue(site.path());
  XmlNode root = doc->DocumentElement();

  XmlNode fractions = Child(root, "dir", "2Fractions");
  EXPECT_EQ(AttributeNames(fractions),
            (std::vector<std::string>{"name", "dir", "link", "folderico", "level", "pages",
                                      "place", "order"}));
  EXPECT_EQ(fractions.Attribute("name"), "Fractions");
  EXPECT_EQ(fractions.Attribute("folderico"), "f.gif");
  EXPECT_EQ(fractions.Attribute("pages"), "2");
  // The lines apply at every depth.
  XmlNode deepB = Child(fractions, "dir", "B");
  EXPECT_EQ(deepB.Attribute("place"), "left");
  EXPECT_EQ(deepB.Attribute("order"), "2");
  EXPECT_EQ(deepB.Attribute("level"), "2");
  EXPECT_EQ(Child(root, "dir", "B").Attribute("folderico"), "ico.gif");
  // Slot 11 is never consulted.
  XmlNode late = Child(root, "dir", "Late");
  EXPECT_EQ(late.Attribute("folderico"), "");
  EXPECT_EQ(late.Attribute("place"), "");
  EXPECT_EQ(late.Attribute("order"), "");
}

// The file name goes into a script string: what would end or break the
// string is escaped, and a plain name is written as it is.
TEST_F(QuenletCatalogue, TextbookIndexPageEscapesTheNameForItsScript) {
  const std::pair<std::string, std::string> cases[] = {
      {"第1课.doc", "第1课.doc"},
      {"say \"hi\".doc", "say \\\"hi\\\".doc"},
      // A link reaches these names through their escapes; a "\" would be read as "/".
      {"a\\b.doc", "a%5Cb.doc"},
      {"two\nlines.doc", "two%0Alines.doc"},
  };
  for (const auto& [name, inScript] : cases) {
    TempDir site;
    WriteFile(site / ("电子课本/" + name), "x");
    BuildCatalogue(site.path());
    EXPECT_EQ(platform::FromAnsi(ReadFile(site / "电子课本/index.html")),
              "<script language=javascript>window.location.href=\"" + inScript +
                  "\";</script>\r\n")
        << name;
  }
}

TEST_F(QuenletCatalogue, TextbookFolderGetsAnIndexPageOpeningItsLastFile) {
  TempDir site;
  MakeDirs(site / "1电子课本");
  WriteFile(site / "1电子课本/x.doc", "x");
  WriteFile(site / "1电子课本/y.doc", "y");
  MakeDirs(site / "电子课本");  // empty: nothing to open
  MakeDirs(site / "2电子课本");
  WriteFile(site / "2电子课本/index.htm", "own");
  // What a broken-off unpack left is no file of the book, even listed last.
  WriteFile(site / "3电子课本/!book.doc", "b");
  WriteFile(site / "3电子课本/.rartemp.Ab3xYz", "part");
  WriteFile(site / "4电子课本/.rartemp.Ab3xYz", "part");
  auto doc = BuildCatalogue(site.path());
  XmlNode root = doc->DocumentElement();

  EXPECT_EQ(ReadFile(site / "1电子课本/index.html"),
            "<script language=javascript>window.location.href=\"y.doc\";</script>\r\n");
  XmlNode book = Child(root, "dir", "1电子课本");
  EXPECT_EQ(book.Attribute("link"), "1电子课本/index.html");
  EXPECT_EQ(book.Attribute("pages"), "1");
  ASSERT_EQ(book.Children().size(), 1u);
  EXPECT_EQ(book.FirstChild().Attribute("link"), "1电子课本.html");

  // A folder with its own index page keeps it and links to it.
  EXPECT_EQ(ReadFile(site / "2电子课本/index.htm"), "own");
  EXPECT_FALSE(platform::fso::FileExists(site / "2电子课本/index.html"));
  EXPECT_EQ(Child(root, "dir", "2电子课本").Attribute("link"), "2电子课本/index.htm");

  // An empty textbook folder gets no page that would reload itself for good.
  EXPECT_FALSE(platform::fso::FileExists(site / "电子课本/index.html"));
  EXPECT_EQ(Child(root, "dir", "电子课本").Attribute("link"), "");

  EXPECT_EQ(ReadFile(site / "3电子课本/index.html"),
            "<script language=javascript>window.location.href=\"!book.doc\";</script>\r\n");
  EXPECT_FALSE(platform::fso::FileExists(site / "4电子课本/index.html"));
}

TEST_F(QuenletCatalogue, CopyIsSavedEvenWhenCancelledBeforeTheRun) {
  TempDir site;
  WriteFile(site / "a.htm", "x");
  MakeDirs(site / "B");
  auto full = BuildCatalogue(site.path());
  std::string saved = platform::FromAnsi(ReadFile(CatalogueCopyPath()));
  EXPECT_NE(saved.find("<?xml version=\"1.0\" encoding=\"gb2312\"?>"), std::string::npos);
  EXPECT_NE(saved.find("link=\"a.htm\""), std::string::npos);

  Options().CancelFlag = -1;
  auto cancelled = BuildCatalogue(site.path());
  EXPECT_FALSE(cancelled->DocumentElement().HasChildren());
  saved = ReadFile(CatalogueCopyPath());
  EXPECT_EQ(saved.find("a.htm"), std::string::npos);
  EXPECT_NE(saved.find("<subjectResource"), std::string::npos);
}

TEST_F(QuenletCatalogue, LinkBackToTheSiteIsNotFollowed) {
  TempDir site;
  MakeDirs(site / "A");
  WriteFile(site / "A/p.htm", "x");
  ASSERT_EQ(symlink(site.path().c_str(), (site / "A/loop").c_str()), 0);
  auto doc = BuildCatalogue(site.path());
  EXPECT_EQ(doc->DocumentElement().Attribute("pages"), "1");
}

}  // namespace
}  // namespace quenlet
