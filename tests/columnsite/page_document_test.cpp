// The column site's page documents, cut from a catalogue.
#include "generator/page_document.h"

#include <string>
#include <vector>

#include "column_fixture.h"
#include "platform/xml_document.h"
#include "support/temp_dir.h"

namespace quenlet {
namespace {

using platform::XmlNode;
using testing_support::MakeDirs;
using testing_support::TempDir;
using testing_support::WriteFile;

using QuenletPageDocument = ColumnTest;

// A catalogue: top level f (file), A, E; A holds B and C; B holds b1 and
// B2 (with x); C holds c1, D (with d1) and B (with bb).
const char kCatalogue[] =
    "<subjectResource pages='9'>"
    "<node name='f' dir='' link='f.htm' level='1'/>"
    "<node name='A' dir='A' link='' level='1' pages='6'>"
    "  <node name='B' dir='B' link='' level='2' pages='2'>"
    "    <node name='b1' dir='' link='b1.htm' level='3'/>"
    "    <node name='B2' dir='B2' link='' level='3' pages='1'>"
    "      <node name='x' dir='' link='x.htm' level='4'/></node></node>"
    "  <node name='C' dir='C' link='' level='2' pages='4'>"
    "    <node name='c1' dir='' link='c1.htm' level='3'/>"
    "    <node name='D' dir='D' link='' level='3' pages='1'>"
    "      <node name='d1' dir='' link='d1.htm' level='4'/></node>"
    "    <node name='B' dir='B' link='' level='3' pages='1'>"
    "      <node name='bb' dir='' link='bb.htm' level='4'/></node></node></node>"
    "<node name='E' dir='E' link='' level='1' pages='1'>"
    "  <node name='e1' dir='' link='e1.htm' level='2'/></node>"
    "</subjectResource>";

XmlNode Find(XmlNode parent, const std::string& name) {
  for (XmlNode c = parent.FirstChild(); c; c = c.NextSibling())
    if (c.Attribute("name") == name && c.Name() != "path") return c;
  return XmlNode();
}

// The page document of the folder at the relative path, built on a real
// (empty) folder so the picture and media tests have something to list.
struct Page {
  platform::XmlDocument catalogue;
  TempDir folder;
  std::unique_ptr<platform::XmlDocument> doc;
  Page(const std::string& catalogueText, std::string relativePath) {
    EXPECT_TRUE(catalogue.LoadXml(catalogueText));
    doc = BuildPageDocument(catalogue.DocumentElement(), relativePath, folder.path());
  }
  XmlNode Root() const { return doc->DocumentElement(); }
};

XmlNode SelectNode(XmlNode root) {
  for (XmlNode c = root.FirstChild(); c; c = c.NextSibling())
    if (c.Name() == "selectNode") return c;
  return XmlNode();
}

std::vector<std::string> ChildNames(XmlNode node) {
  std::vector<std::string> names;
  for (XmlNode c = node.FirstChild(); c; c = c.NextSibling()) names.push_back(c.Attribute("name"));
  return names;
}

TEST_F(QuenletPageDocument, NavigationOpensThePathAndTheBranchesBesideIt) {
  Page page(kCatalogue, "/A/B");
  XmlNode root = page.Root();
  XmlNode a = Find(root, "A"), b = Find(a, "B"), c = Find(a, "C"), e = Find(root, "E");
  struct Case {
    XmlNode node;
    std::string level, dir, selected;
  } cases[] = {
      {Find(root, "f"), "-1", "", ""},
      {a, "-1", "A", "true"},
      {e, "-1", "E", ""},
      {b, "0", "A/B", "true"},
      {c, "0", "A/C", ""},
      {Find(b, "b1"), "1", "A/B/", ""},
      {Find(b, "B2"), "1", "A/B/B2", ""},
      {Find(c, "c1"), "1", "A/C/", ""},
      {Find(c, "D"), "1", "A/C/D", ""},
  };
  for (const Case& k : cases) {
    ASSERT_FALSE(k.node.IsNull());
    EXPECT_EQ(k.node.Attribute("compara-level"), k.level) << k.node.Attribute("name");
    EXPECT_EQ(k.node.Attribute("compara-dir"), k.dir) << k.node.Attribute("name");
    EXPECT_EQ(k.node.Attribute("selected"), k.selected) << k.node.Attribute("name");
  }
  // A folder beside the path (or below the current one) brings its own
  // entries, no deeper; the top level's other folders stay closed.
  EXPECT_EQ(Find(Find(b, "B2"), "x").Attribute("compara-level"), "1");
  EXPECT_FALSE(Find(c, "D").HasChildren());
  EXPECT_FALSE(e.HasChildren());
  // The catalogue's attributes come first, in their order.
  std::vector<std::string> names;
  for (const auto& at : c.Attributes()) names.push_back(at.first);
  EXPECT_EQ(names, (std::vector<std::string>{"name", "dir", "link", "level", "pages",
                                             "compara-level", "compara-dir"}));
}

TEST_F(QuenletPageDocument, FolderBesideThePathSharingANameIsNotSelected) {
  // Page of A/B/B2: C beside the path holds a B of its own.
  Page page(kCatalogue, "/A/B/B2");
  XmlNode a = Find(page.Root(), "A");
  XmlNode besideB = Find(Find(a, "C"), "B");
  ASSERT_FALSE(besideB.IsNull());
  EXPECT_EQ(besideB.Attribute("selected"), "");
  EXPECT_FALSE(besideB.HasChildren());
  EXPECT_EQ(Find(Find(a, "B"), "B2").Attribute("selected"), "true");
  EXPECT_EQ(Find(Find(Find(a, "B"), "B2"), "x").Attribute("compara-level"), "1");
}

TEST_F(QuenletPageDocument, RootPageListsPlacedBranchesTwoLevelsDeep) {
  const std::string catalogue =
      "<subjectResource pages='3'>"
      "<node name='file' dir='' link='file.htm' level='1'/>"
      "<node name='C' dir='C' link='' folderico='' level='1' pages='0' place='right' order='1'/>"
      "<node name='A' dir='A' link='' folderico='a.gif' level='1' pages='1' place='left' order='2'>"
      "  <node name='一二三四五六七八九' dir='一二三四五六七八九' link='' level='2' pages='1'>"
      "    <node name='deep' dir='' link='deep.htm' level='3'/></node></node>"
      "<node name='B' dir='B' link='' folderico='' level='1' pages='0' place='left' order='1'/>"
      "<node name='D' dir='D' link='' folderico='' level='1' pages='0' place='' order=''/>"
      "<node name='一二三四五六七八九' dir='9chars' link='' level='1' pages='0' place='foot' order='3'/>"
      "</subjectResource>";
  Page page(catalogue, "");
  XmlNode select = SelectNode(page.Root());
  EXPECT_EQ(ChildNames(select), (std::vector<std::string>{"B", "A", "C", "一二三四五六七...."}));
  XmlNode a = Find(select, "A");
  EXPECT_EQ(a.Attribute("compara-level"), "1");
  EXPECT_EQ(a.Attribute("compara-dir"), "A");
  EXPECT_EQ(a.Attribute("folderico"), "a.gif");
  // The second level is there, shortened; the third is not.
  XmlNode second = a.FirstChild();
  ASSERT_FALSE(second.IsNull());
  EXPECT_EQ(second.Attribute("name"), "一二三四五六七....");
  EXPECT_EQ(second.Attribute("compara-level"), "2");
  EXPECT_EQ(second.Attribute("compara-dir"), "A/一二三四五六七八九");
  EXPECT_FALSE(second.HasChildren());
  // The navigation keeps every entry and full names.
  EXPECT_EQ(ChildNames(page.Root()).size(), 8u);
  EXPECT_FALSE(Find(page.Root(), "一二三四五六七八九").IsNull());
}

TEST_F(QuenletPageDocument, OtherPagesListTheWholeSubTreeWithFullNames) {
  const std::string catalogue =
      "<subjectResource pages='1'>"
      "<node name='一二三四五六七八九' dir='long' link='' level='1' pages='1'>"
      "  <node name='甲乙丙丁戊己庚辛壬' dir='inner' link='' level='2' pages='1'>"
      "    <node name='third' dir='third' link='' level='3' pages='1'>"
      "      <node name='leaf' dir='' link='leaf.htm' level='4'/></node></node></node>"
      "</subjectResource>";
  Page page(catalogue, "/long");
  EXPECT_EQ(page.Root().Attribute("title"), "long");
  XmlNode select = SelectNode(page.Root());
  EXPECT_EQ(select.Attribute("name"), "一二三四五六七八九");
  XmlNode inner = select.FirstChild();
  EXPECT_EQ(inner.Attribute("name"), "甲乙丙丁戊己庚辛壬");
  XmlNode leaf = inner.FirstChild().FirstChild();
  ASSERT_FALSE(leaf.IsNull());
  EXPECT_EQ(leaf.Attribute("compara-level"), "3");
  EXPECT_EQ(leaf.Attribute("compara-dir"), "inner/third/");
  EXPECT_EQ(inner.FirstChild().Attribute("compara-dir"), "inner/third");
}

TEST_F(QuenletPageDocument, MediaAndPictureFoldersAreShownFullSize) {
  struct Case {
    std::vector<std::string> files;
    std::string fullImages;
  } cases[] = {
      {{"a.mp3", "b.swf"}, "yes"},
      {{"a.jpg", "TN_a.jpg"}, "yes"},
      {{"a.mp3", "b.doc"}, ""},
  };
  const std::string catalogue =
      "<subjectResource pages='2'><node name='M' dir='M' link='' level='1' pages='2'>"
      "<node name='a' dir='' link='a' level='2'/><node name='b' dir='' link='b' level='2'/>"
      "</node></subjectResource>";
  for (const Case& c : cases) {
    platform::XmlDocument cat;
    ASSERT_TRUE(cat.LoadXml(catalogue));
    TempDir site;
    MakeDirs(site / "M");
    for (const std::string& f : c.files) WriteFile(site / ("M/" + f), "x");
    std::string relative = "/M";
    auto doc = BuildPageDocument(cat.DocumentElement(), relative, site / "M");
    XmlNode select = SelectNode(doc->DocumentElement());
    EXPECT_EQ(select.Attribute("fullImages"), c.fullImages) << c.files[0] << c.files[1];
    for (XmlNode sub = select.FirstChild(); sub; sub = sub.NextSibling())
      EXPECT_EQ(sub.Attribute("fullImages"), c.fullImages);
  }
}

TEST_F(QuenletPageDocument, SegmentsAreComparedBeforeASlashInDir) {
  // A dir holding a "/" is matched by the segment before it.
  const std::string catalogue =
      "<subjectResource pages='1'><node name='S' dir='S/x' link='' level='1' pages='1'>"
      "<node name='in' dir='' link='in.htm' level='2'/></node></subjectResource>";
  Page page(catalogue, "/S");
  XmlNode nav = Find(page.Root(), "S");
  EXPECT_EQ(nav.Attribute("selected"), "true");
  EXPECT_EQ(nav.Attribute("compara-dir"), "S");
  XmlNode select = SelectNode(page.Root());
  EXPECT_EQ(select.Attribute("name"), "S");
  EXPECT_EQ(ChildNames(select), std::vector<std::string>{"in"});
}

}  // namespace
}  // namespace quenlet
