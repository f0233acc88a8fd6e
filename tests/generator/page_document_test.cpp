// Page documents cut from a catalogue: the worked pages of a small site, the
// site folder's own page, deep pages and folders the catalogue lacks.
#include "generator/page_document.h"

#include <string>

#include <gtest/gtest.h>

#include "generator/generator.h"
#include "platform/xml_document.h"
#include "support/temp_dir.h"

namespace talvora {
namespace {

using platform::XmlNode;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// The catalogue of a site holding 01intro.htm, notes.doc, array.ini, the
// folder 01Basics (1a.htm, 2b.htm and Pics with p.gif) and the finished web
// page 02Test (index.html, x.htm).
const char kCatalogue[] =
    "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n"
    "<subjectResource pages=\"6\">"
    "<node name=\"intro\" dir=\"\" link=\"01intro.htm\" level=\"1\"/>"
    "<node name=\"notes\" dir=\"\" link=\"notes.doc\" level=\"1\"/>"
    "<node name=\"Basics\" dir=\"01Basics\" link=\"\" level=\"1\" pages=\"3\">"
    "<node name=\"a\" dir=\"\" link=\"1a.htm\" level=\"2\"/>"
    "<node name=\"b\" dir=\"\" link=\"2b.htm\" level=\"2\"/>"
    "<node name=\"Pics\" dir=\"Pics\" link=\"\" level=\"2\" pages=\"1\">"
    "<node name=\"p\" dir=\"\" link=\"p.gif\" level=\"3\"/>"
    "</node></node>"
    "<node name=\"Test\" dir=\"02Test\" link=\"02Test/index.html\" level=\"1\" pages=\"1\">"
    "<node name=\"Test\" dir=\"\" link=\"Test.html\" level=\"2\"/>"
    "</node></subjectResource>\n";

// One line per element, indented by depth, attributes in document order:
// the order is part of the format, so the outline shows it.
void Outline(XmlNode n, int depth, std::string& out) {
  out += std::string(2 * depth, ' ') + n.Name();
  for (const auto& a : n.Attributes()) out += " " + a.first + "=\"" + a.second + "\"";
  out += "\n";
  for (XmlNode c = n.FirstChild(); c; c = c.NextSibling()) Outline(c, depth + 1, out);
}

std::string Outline(XmlNode n) {
  std::string out;
  Outline(n, 0, out);
  return out;
}

// The site of the catalogue above on disk, so that the picture-folder and
// welcome-page tests see real folders.
class PageDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = dir_.path() + "/site";
    WriteFile(site_ + "/01intro.htm", "i");
    WriteFile(site_ + "/notes.doc", "n");
    WriteFile(site_ + "/array.ini", "");
    WriteFile(site_ + "/01Basics/1a.htm", "a");
    WriteFile(site_ + "/01Basics/2b.htm", "b");
    WriteFile(site_ + "/01Basics/Pics/p.gif", "GIF89a");
    WriteFile(site_ + "/02Test/index.html", "<html></html>");
    WriteFile(site_ + "/02Test/x.htm", "x");
    ASSERT_TRUE(catalogue_.LoadXml(kCatalogue));
    Options().FootText = "F";
    Options().SubjectText = "S";
  }
  void TearDown() override {
    Options().FootText.clear();
    Options().SubjectText.clear();
  }

  // The page of the folder below the site folder ("" for the site folder).
  std::unique_ptr<platform::XmlDocument> Page(const std::string& relativePath) {
    std::string rel = relativePath;
    return BuildPageDocument(catalogue_.DocumentElement(), rel, site_ + relativePath);
  }

  TempDir dir_;
  std::string site_;
  platform::XmlDocument catalogue_;
};

TEST_F(PageDocumentTest, FolderOneDownShowsItsPathAndWholeSubTree) {
  auto page = Page("/01Basics");
  EXPECT_EQ(Outline(page->DocumentElement()),
            "subjectResource title=\"Basics\" stylePath=\"../\" foot=\"F\" subject=\"S\" "
            "progress=\"no\"\n"
            "  node name=\"intro\" dir=\"\" link=\"01intro.htm\" level=\"1\" compara-level=\"0\"\n"
            "  node name=\"notes\" dir=\"\" link=\"notes.doc\" level=\"1\" compara-level=\"0\"\n"
            "  node name=\"Basics\" dir=\"01Basics\" link=\"\" level=\"1\" pages=\"3\" "
            "compara-level=\"0\" selected=\"true\"\n"
            "    node name=\"a\" dir=\"\" link=\"1a.htm\" level=\"2\" compara-level=\"1\"\n"
            "    node name=\"b\" dir=\"\" link=\"2b.htm\" level=\"2\" compara-level=\"1\"\n"
            "    node name=\"Pics\" dir=\"Pics\" link=\"\" level=\"2\" pages=\"1\" "
            "compara-level=\"1\"\n"
            "  node name=\"Test\" dir=\"02Test\" link=\"02Test/index.html\" level=\"1\" "
            "pages=\"1\" compara-level=\"0\"\n"
            "  path name=\"\" dir=\"\" compara-level=\"-1\"\n"
            "    path name=\"Basics\" dir=\"01Basics\" compara-level=\"0\"\n"
            "  selectNode name=\"Basics\" dir=\"01Basics\" pages=\"3\" link=\"\" level=\"1\" "
            "selected=\"true\"\n"
            "    subNode name=\"a\" dir=\"\" link=\"1a.htm\" level=\"2\" compara-level=\"1\" "
            "compara-dir=\"\"\n"
            "    subNode name=\"b\" dir=\"\" link=\"2b.htm\" level=\"2\" compara-level=\"1\" "
            "compara-dir=\"\"\n"
            "    subNode name=\"Pics\" dir=\"Pics\" link=\"\" level=\"2\" pages=\"1\" "
            "compara-level=\"1\" compara-dir=\"Pics\"\n"
            "      subNode name=\"p\" dir=\"\" link=\"p.gif\" level=\"3\" compara-level=\"2\" "
            "compara-dir=\"Pics/\"\n");
}

TEST_F(PageDocumentTest, PictureFolderTwoDownMarksItsFullImages) {
  auto page = Page("/01Basics/Pics");
  EXPECT_EQ(Outline(page->DocumentElement()),
            "subjectResource title=\"Pics\" stylePath=\"../../\" foot=\"F\" subject=\"S\" "
            "progress=\"no\"\n"
            "  node name=\"intro\" dir=\"\" link=\"01intro.htm\" level=\"1\" compara-level=\"-1\"\n"
            "  node name=\"notes\" dir=\"\" link=\"notes.doc\" level=\"1\" compara-level=\"-1\"\n"
            "  node name=\"Basics\" dir=\"01Basics\" link=\"\" level=\"1\" pages=\"3\" "
            "compara-level=\"-1\" selected=\"true\"\n"
            "    node name=\"a\" dir=\"\" link=\"1a.htm\" level=\"2\" compara-level=\"0\"\n"
            "    node name=\"b\" dir=\"\" link=\"2b.htm\" level=\"2\" compara-level=\"0\"\n"
            "    node name=\"Pics\" dir=\"Pics\" link=\"\" level=\"2\" pages=\"1\" "
            "compara-level=\"0\" selected=\"true\"\n"
            "      node name=\"p\" dir=\"\" link=\"p.gif\" level=\"3\" compara-level=\"1\"\n"
            "  node name=\"Test\" dir=\"02Test\" link=\"02Test/index.html\" level=\"1\" "
            "pages=\"1\" compara-level=\"-1\"\n"
            "  path name=\"\" dir=\"\" compara-level=\"-2\"\n"
            "    path name=\"Basics\" dir=\"01Basics\" compara-level=\"-1\"\n"
            "      path name=\"Pics\" dir=\"Pics\" compara-level=\"0\"\n"
            "  selectNode name=\"Pics\" dir=\"Pics\" pages=\"1\" link=\"\" level=\"2\" "
            "selected=\"true\" fullImages=\"yes\"\n"
            "    subNode name=\"p\" dir=\"\" link=\"p.gif\" level=\"3\" compara-level=\"1\" "
            "compara-dir=\"\" fullImages=\"yes\"\n");
}

TEST_F(PageDocumentTest, SiteFolderPageListsTheTopLevelOnly) {
  auto page = Page("");
  EXPECT_EQ(Outline(page->DocumentElement()),
            "subjectResource stylePath=\"\" foot=\"F\" subject=\"S\" progress=\"no\"\n"
            "  node name=\"intro\" dir=\"\" link=\"01intro.htm\" level=\"1\" compara-level=\"1\"\n"
            "  node name=\"notes\" dir=\"\" link=\"notes.doc\" level=\"1\" compara-level=\"1\"\n"
            "  node name=\"Basics\" dir=\"01Basics\" link=\"\" level=\"1\" pages=\"3\" "
            "compara-level=\"1\"\n"
            "  node name=\"Test\" dir=\"02Test\" link=\"02Test/index.html\" level=\"1\" "
            "pages=\"1\" compara-level=\"1\"\n"
            "  path name=\"\" dir=\"\" compara-level=\"0\"\n"
            "  selectNode name=\"\" dir=\"\" pages=\"6\" link=\"\" level=\"0\" selected=\"true\"\n"
            "    subNode name=\"intro\" dir=\"\" link=\"01intro.htm\" level=\"1\" "
            "compara-level=\"1\" compara-dir=\"\"\n"
            "    subNode name=\"notes\" dir=\"\" link=\"notes.doc\" level=\"1\" "
            "compara-level=\"1\" compara-dir=\"\"\n"
            "    subNode name=\"Basics\" dir=\"01Basics\" link=\"\" level=\"1\" pages=\"3\" "
            "compara-level=\"1\" compara-dir=\"01Basics\"\n"
            "    subNode name=\"Test\" dir=\"02Test\" link=\"02Test/index.html\" level=\"1\" "
            "pages=\"1\" compara-level=\"1\" compara-dir=\"02Test\"\n");
}

TEST_F(PageDocumentTest, FinishedWebPageFolderHasNoLinkInItsSelectNode) {
  auto page = Page("/02Test");
  XmlNode select = page->DocumentElement().Children().back();
  ASSERT_EQ(select.Name(), "selectNode");
  EXPECT_EQ(Outline(select),
            "selectNode name=\"Test\" dir=\"02Test\" pages=\"1\" link=\"\" level=\"1\" "
            "selected=\"true\"\n"
            "  subNode name=\"Test\" dir=\"\" link=\"Test.html\" level=\"2\" compara-level=\"1\" "
            "compara-dir=\"\"\n");
}

// The stylesheet reference climbs to the site folder; a site folder given
// with a trailing separator (the root folder) gives paths without a leading
// one, and so one "../" fewer than stylePath.
TEST_F(PageDocumentTest, StylesheetReferenceAndStylePath) {
  struct Case {
    std::string relativePath, href, stylePath, trimmed;
  } cases[] = {
      {"", "startxml.xsl", "", ""},
      {"/01Basics", "../startxml.xsl", "../", "01Basics"},
      {"/01Basics/Pics", "../../startxml.xsl", "../../", "01Basics/Pics"},
      {"01Basics", "startxml.xsl", "../", "01Basics"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.relativePath);
    std::string rel = c.relativePath;
    auto page = BuildPageDocument(catalogue_.DocumentElement(), rel, site_ + "/01Basics");
    EXPECT_EQ(rel, c.trimmed);
    std::string xml = page->Xml();
    EXPECT_EQ(xml.substr(0, xml.find("<subjectResource")),
              "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n"
              "<?xml-stylesheet type=\"text/xsl\" href=\"" +
                  c.href + "\"?>\r\n");
    EXPECT_EQ(page->DocumentElement().Attribute("stylePath"), c.stylePath);
  }
}

TEST_F(PageDocumentTest, ThreeLevelsDownComparesLevelsFromTheCurrentFolder) {
  platform::XmlDocument deep;
  ASSERT_TRUE(deep.LoadXml(
      "<subjectResource pages=\"2\">"
      "<node name=\"top\" dir=\"\" link=\"top.htm\" level=\"1\"/>"
      "<node name=\"A\" dir=\"1A\" link=\"\" level=\"1\" pages=\"1\">"
      "<node name=\"B\" dir=\"B\" link=\"\" level=\"2\" pages=\"1\">"
      "<node name=\"C\" dir=\"C\" link=\"\" level=\"3\" pages=\"1\">"
      "<node name=\"D\" dir=\"D\" link=\"\" level=\"4\" pages=\"1\">"
      "<node name=\"f\" dir=\"\" link=\"f.htm\" level=\"5\"/>"
      "</node></node></node></node></subjectResource>"));
  MakeDirs(site_ + "/1A/B/C/D");
  std::string rel = "/1A/B/C";
  auto page = BuildPageDocument(deep.DocumentElement(), rel, site_ + "/1A/B/C");
  XmlNode root = page->DocumentElement();
  EXPECT_EQ(root.Attribute("title"), "C");
  EXPECT_EQ(root.Attribute("stylePath"), "../../../");
  std::vector<XmlNode> top = root.Children();
  ASSERT_EQ(top.size(), 4u);  // two navigation entries, path, selectNode
  EXPECT_EQ(top[0].Attribute("compara-level"), "-2");
  EXPECT_EQ(top[1].Attribute("compara-level"), "-2");
  XmlNode c = top[1].FirstChild().FirstChild();
  EXPECT_EQ(c.Attribute("compara-level"), "0");
  EXPECT_EQ(c.Attribute("selected"), "true");
  EXPECT_EQ(c.FirstChild().Attribute("compara-level"), "1");
  EXPECT_FALSE(c.FirstChild().HasChildren());  // the current folder's entries, not their contents
  EXPECT_EQ(Outline(top[2]),
            "path name=\"\" dir=\"\" compara-level=\"-3\"\n"
            "  path name=\"A\" dir=\"1A\" compara-level=\"-2\"\n"
            "    path name=\"B\" dir=\"B\" compara-level=\"-1\"\n"
            "      path name=\"C\" dir=\"C\" compara-level=\"0\"\n");
  EXPECT_EQ(Outline(top[3]),
            "selectNode name=\"C\" dir=\"C\" pages=\"1\" link=\"\" level=\"3\" selected=\"true\"\n"
            "  subNode name=\"D\" dir=\"D\" link=\"\" level=\"4\" pages=\"1\" compara-level=\"1\" "
            "compara-dir=\"D\"\n"
            "    subNode name=\"f\" dir=\"\" link=\"f.htm\" level=\"5\" compara-level=\"2\" "
            "compara-dir=\"D/\"\n");
}

// After a cancelled catalogue pass, or a tree changed between the passes, a
// folder can be missing from the catalogue: its page shows the nearest
// folder that was found.
TEST_F(PageDocumentTest, FolderMissingFromTheCatalogueEndsAtTheNearestFolder) {
  MakeDirs(site_ + "/01Basics/New");
  MakeDirs(site_ + "/Gone");
  struct Case {
    std::string relativePath, selectNode;
    int subNodes;
  } cases[] = {
      {"/01Basics/New",
       "selectNode name=\"Basics\" dir=\"01Basics\" pages=\"3\" link=\"\" level=\"1\" "
       "selected=\"true\"",
       4},
      {"/Gone", "selectNode name=\"\" dir=\"\" pages=\"6\" link=\"\" level=\"0\" selected=\"true\"",
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.relativePath);
    auto page = Page(c.relativePath);
    XmlNode select = page->DocumentElement().Children().back();
    std::string outline = Outline(select);
    EXPECT_EQ(outline.substr(0, outline.find('\n')), c.selectNode);
    int lines = 0;
    for (char ch : outline) lines += ch == '\n';
    EXPECT_EQ(lines - 1, c.subNodes);
    // The header and breadcrumb still name the folder itself.
    EXPECT_EQ(page->DocumentElement().Attribute("title"),
              c.relativePath.substr(c.relativePath.rfind('/') + 1));
  }
}

TEST_F(PageDocumentTest, WelcomePageComesFirstInTheHeader) {
  WriteFile(site_ + "/01Basics/welcome.htm", "<p>hi</p>");
  auto page = Page("/01Basics");
  auto attrs = page->DocumentElement().Attributes();
  ASSERT_FALSE(attrs.empty());
  EXPECT_EQ(attrs[0], std::make_pair(std::string("welcome"), std::string("welcome.htm")));
  EXPECT_EQ(attrs[1].first, "title");
}

// The pass saves each page document as it cuts it, never building it. What
// lands on disk must be the document's own saved form, whatever the names
// hold, for both programs' cuts: reading it back and saving it again gives
// the same bytes.
TEST_F(PageDocumentTest, SavedFileIsTheDocumentsOwnSavedForm) {
  platform::XmlDocument hostile;
  ASSERT_TRUE(hostile.LoadXml(
      "<subjectResource pages=\"2\">"
      "<node name=\"A &amp; &lt;B&gt; &quot;q&quot;&#10;two\" dir=\"1A%25\" link=\"\" level=\"1\" "
      "pages=\"2\" place=\"1\">"
      "<node name=\"第一课 \xF0\x9F\x98\x80\" dir=\"\" link=\"1%20a&amp;b.htm\" level=\"2\"/>"
      "<node name=\"图 \xE2\x82\xAC\" dir=\"1A%25/图\" link=\"\" level=\"2\" pages=\"1\">"
      "<node name=\"p\" dir=\"\" link=\"p.gif\" level=\"3\"/></node>"
      "</node></subjectResource>"));
  MakeDirs(site_ + "/1A%/图");
  Options().FootText = "版权 & \"脚注\" \xF0\x9F\x98\x80";
  using Save = void (*)(XmlNode, std::string&, const std::string&, const std::string&);
  using Build = std::unique_ptr<platform::XmlDocument> (*)(XmlNode, std::string&,
                                                           const std::string&);
  const struct {
    const char* program;
    Save save;
    Build build;
  } programs[] = {
      {"Talvora", SavePageDocument, BuildPageDocument},
      {"Quenlet", quenlet::SavePageDocument, quenlet::BuildPageDocument},
  };
  for (const auto& program : programs) {
    for (const std::string relativePath : {"", "/1A%", "/1A%/图"}) {
      SCOPED_TRACE(std::string(program.program) + " " + relativePath);
      const std::string folder = site_ + relativePath;
      std::string rel = relativePath;
      program.save(hostile.DocumentElement(), rel, folder, dir_ / "saved.xml");
      rel = relativePath;
      auto doc = program.build(hostile.DocumentElement(), rel, folder);
      doc->Save(dir_ / "again.xml");
      EXPECT_EQ(ReadFile(dir_ / "saved.xml"), ReadFile(dir_ / "again.xml"));
      EXPECT_NE(ReadFile(dir_ / "saved.xml").find("&#128512;"), std::string::npos);
    }
  }
}

TEST(PageDocumentPaths, PopFirstSegmentAndRootPrefix) {
  struct Case {
    std::string path, segment, rest;
  } pops[] = {
      {"a/b/", "a", "b/"},
      {"a/", "a", ""},
      {"/", "", ""},
      {"abc", "", ""},
      {"", "", ""},
  };
  for (const Case& c : pops) {
    SCOPED_TRACE(c.path);
    std::string p = c.path;
    EXPECT_EQ(PopFirstSegment(p), c.segment);
    EXPECT_EQ(p, c.rest);
  }
  EXPECT_EQ(RootPrefix(""), "");
  EXPECT_EQ(RootPrefix("/"), "");
  EXPECT_EQ(RootPrefix("/a"), "../");
  EXPECT_EQ(RootPrefix("/a/b"), "../../");
}

}  // namespace
}  // namespace talvora
