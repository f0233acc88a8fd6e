#include "platform/xml_document.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/fso.h"
#include "support/temp_dir.h"

namespace {

using platform::XmlDocument;
using platform::XmlNode;
using testing_support::ReadFile;
using testing_support::TempDir;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"gb2312\"?>";
const std::string kStylesheet = "<?xml-stylesheet type=\"text/xsl\" href=\"startxml.xsl\"?>";

// The starting text of the generator's documents: LF between the nodes.
std::string StartingText() {
  return kDeclaration + "\n" + kStylesheet + "\n<subjectResource></subjectResource>\n";
}

TEST(XmlDocument, SavedFormIsExact) {
  TempDir dir;
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(StartingText()));
  XmlNode root = doc.DocumentElement();
  root.SetAttribute("name", "中文 \xE2\x82\xAC \xF0\x9F\x98\x80 <&>\"");
  root.AppendElement("a").SetAttribute("x", "1");
  XmlNode b = root.AppendElement("b");
  b.AppendElement("c");

  const std::string body = "<subjectResource name=\"%s\"><a x=\"1\"/><b><c/></b></subjectResource>";
  auto withName = [&](const std::string& name) {
    std::string s = body;
    return s.replace(s.find("%s"), 2, name);
  };
  EXPECT_EQ(doc.Xml(), kDeclaration + "\r\n" + kStylesheet + "\r\n" +
                           withName("中文 \xE2\x82\xAC \xF0\x9F\x98\x80 &lt;&amp;&gt;&quot;") +
                           "\r\n");

  doc.Save(dir / "startxml.xml");
  EXPECT_EQ(ReadFile(dir / "startxml.xml"),
            kDeclaration + "\r\n" + kStylesheet + "\r\n" +
                withName("\xD6\xD0\xCE\xC4 \x80 &#128512; &lt;&amp;&gt;&quot;") + "\r\n");
}

TEST(XmlDocument, EmptyRootSavesSelfClosed) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(StartingText()));
  EXPECT_EQ(doc.Xml(), kDeclaration + "\r\n" + kStylesheet + "\r\n<subjectResource/>\r\n");
  EXPECT_EQ(doc.DocumentElement().Xml(), "<subjectResource/>");
}

TEST(XmlDocument, TextKeepsNonGbkCharactersAsReferences) {
  TempDir dir;
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(kDeclaration + "\n<r>\xF0\x9F\x98\x80 中 a&lt;b</r>\n"));
  doc.Save(dir / "t.xml");
  EXPECT_EQ(ReadFile(dir / "t.xml"),
            kDeclaration + "\r\n<r>&#128512; \xD6\xD0 a&lt;b</r>\r\n");
}

// The saved bytes are the GBK form of the UTF-8 text, for every kind of
// node and every kind of text: Chinese next to escapes, characters GBK
// cannot hold. Bytes that are not UTF-8 at all (stray, cut off, overlong,
// surrogates) are refused as the conversion of the whole text refuses them,
// and nothing is written.
TEST(XmlDocument, SavedBytesAreTheGbkFormOfTheText) {
  const struct {
    std::string text;
    bool utf8;
  } cases[] = {
      {"中文<&>\"'\r\n\t中", true},
      {"\xF0\x9F\x98\x80\xE2\x82\xAC", true},  // GBK lacks the first; the euro sign is 0x80
      {"a\xC3(b", false},
      {"\xE4\xB8z", false},
      {"\xFF\xFE 中", false},
      {"\xE0\x80\x80", false},
      {"\xED\xA0\x80", false},
      {"\xF4\x90\x80\x80", false},
      {"\xE4\xB8", false},  // cut off at the very end
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(kDeclaration + "\n<?pi 中文?>\n<!--注释-->\n<r/>\n"));
    XmlNode root = doc.DocumentElement();
    root.SetAttribute("名", c.text);
    XmlNode child = root.AppendElement("子");
    child.SetAttribute("v", c.text + c.text);
    child.Raw().append_child(pugi::node_pcdata).set_value(c.text.c_str());
    child.Raw().append_child(pugi::node_cdata).set_value(c.text.c_str());
    const std::string path = dir / "t.xml";
    if (c.utf8) {
      doc.Save(path);
      EXPECT_EQ(ReadFile(path), platform::ToAnsiXml(doc.Xml()));
    } else {
      EXPECT_THROW(platform::ToAnsiXml(doc.Xml()), platform::NotUtf8Error);
      EXPECT_THROW(doc.Save(path), platform::NotUtf8Error);
      EXPECT_FALSE(testing_support::Exists(path));
    }
    std::remove(path.c_str());
  }
}

TEST(XmlDocument, SavedFileReadsBackToTheSameValues) {
  // What a later run loads from disk must be what was saved: references,
  // escapes and line breaks inside values included.
  TempDir dir;
  const std::string value = "行1\n行2\tx \xF0\x9F\x98\x80 & \"q\" <b>";
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(StartingText()));
  doc.DocumentElement().AppendElement("node").SetAttribute("name", value);
  doc.Save(dir / "a.xml");

  XmlDocument again;
  ASSERT_TRUE(again.LoadXml(platform::FromAnsi(ReadFile(dir / "a.xml"))));
  EXPECT_EQ(again.DocumentElement().FirstChild().Attribute("name"), value);
  EXPECT_EQ(again.Xml(), doc.Xml());
}

TEST(XmlDocument, WhitespaceBetweenElementsIsDropped) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r>\n  <a/>\r\n  <b>\n</b>\n</r>"));
  EXPECT_EQ(doc.Xml(), "<r><a/><b/></r>\r\n");
}

TEST(XmlDocument, AttributeOrderIsCreationOrder) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r z=\"1\" a=\"2\"/>"));
  XmlNode r = doc.DocumentElement();
  r.SetAttribute("m", "3");
  r.SetAttribute("z", "replaced");  // keeps its first place
  r.SetAttribute("b", "4");

  std::vector<std::pair<std::string, std::string>> expected = {
      {"z", "replaced"}, {"a", "2"}, {"m", "3"}, {"b", "4"}};
  EXPECT_EQ(r.Attributes(), expected);
  EXPECT_EQ(r.AttributeCount(), 4);
  EXPECT_EQ(r.Xml(), "<r z=\"replaced\" a=\"2\" m=\"3\" b=\"4\"/>");
  EXPECT_EQ(r.Attribute("missing"), "");
  EXPECT_FALSE(r.HasAttribute("missing"));
  EXPECT_TRUE(r.HasAttribute("a"));
}

TEST(XmlDocument, NavigationSeesElementsOnly) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<?xml version=\"1.0\"?>\n<r>text<a/><!--note--><?pi x?><b><c/></b>tail</r>"));
  XmlNode r = doc.DocumentElement();
  ASSERT_EQ(r.Name(), "r");
  EXPECT_TRUE(r.Parent().IsNull());  // nothing above the root element

  std::vector<std::string> names;
  for (XmlNode c : r.Children()) names.push_back(c.Name());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(r.FirstChild().Name(), "a");
  EXPECT_EQ(r.FirstChild().NextSibling().Name(), "b");
  EXPECT_TRUE(r.FirstChild().NextSibling().NextSibling().IsNull());
  EXPECT_FALSE(r.FirstChild().HasChildren());
  XmlNode c = r.FirstChild().NextSibling().FirstChild();
  EXPECT_EQ(c.Name(), "c");
  EXPECT_EQ(c.Parent().Parent(), r);
  // The node's own markup keeps what is inside it.
  EXPECT_EQ(r.Xml(), "<r>text<a/><!--note--><?pi x?><b><c/></b>tail</r>");
}

TEST(XmlDocument, ParseErrorGivesFalseAndAnEmptyDocument) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r/>"));
  for (const char* bad : {"<r><a></r>", "", "just text", "<r a=\"1></r>"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(doc.LoadXml(bad));
    EXPECT_TRUE(doc.DocumentElement().IsNull());
    EXPECT_EQ(doc.Xml(), "");
  }
}

TEST(XmlDocument, SaveToAMissingFolderThrows) {
  TempDir dir;
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(StartingText()));
  EXPECT_THROW(doc.Save(dir / "missing/startxml.xml"), platform::FsoError);
}

TEST(XmlDocument, ChangingANullNodeIsAnError) {
  XmlNode none;
  EXPECT_THROW(none.SetAttribute("a", "1"), std::runtime_error);
  EXPECT_THROW(none.AppendElement("a"), std::runtime_error);
  EXPECT_EQ(none.Attribute("a"), "");
  EXPECT_EQ(none.AttributeCount(), 0);
}

// An element as the writer test gives it: attributes set one by one in
// order (a name given twice is set twice), and children.
struct Shape {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<Shape> children;
};

void BuildInDocument(const Shape& shape, XmlNode parent) {
  XmlNode n = parent.AppendElement(shape.name);
  for (const auto& a : shape.attributes) n.SetAttribute(a.first, a.second);
  for (const Shape& child : shape.children) BuildInDocument(child, n);
}

void Write(const Shape& shape, platform::XmlWriter& out) {
  platform::XmlAttributes attributes;
  for (const auto& a : shape.attributes) attributes.Set(a.first.c_str(), a.second);
  out.StartElement(shape.name, attributes);
  for (const Shape& child : shape.children) Write(child, out);
  out.EndElement();
}

// Page documents are written without being built: the writer must give,
// byte for byte, what saving the same nodes as a document gives, in GBK
// and in UTF-8.
TEST(XmlWriter, WritesWhatTheDocumentWouldSaveForTheSameNodes) {
  const std::string hostile = "中文 <&>\"' \r\n\t\xF0\x9F\x98\x80 \xE2\x82\xAC";
  const Shape cases[] = {
      {"subjectResource", {}, {}},
      {"subjectResource", {{"a", "1"}, {"b", "2"}, {"a", "again"}}, {}},
      {"subjectResource",
       {{"title", hostile}},
       {{"node", {{"name", "x"}}, {}},
        {"node", {{"名", hostile}, {"dir", "a/b"}}, {{"subNode", {}, {{"leaf", {}, {}}}}}},
        {"path", {}, {{"path", {{"name", ""}}, {}}}}}},
  };
  TempDir dir;
  for (const Shape& shape : cases) {
    SCOPED_TRACE(shape.attributes.size());
    XmlDocument built;
    ASSERT_TRUE(built.LoadXml(kDeclaration + "\n" + kStylesheet + "\n<" + shape.name + "/>\n"));
    XmlNode root = built.DocumentElement();
    for (const auto& a : shape.attributes) root.SetAttribute(a.first, a.second);
    for (const Shape& child : shape.children) BuildInDocument(child, root);
    built.Save(dir / "built.xml");

    for (bool gbk : {true, false}) {
      platform::XmlWriter out(gbk);
      out.Instruction("xml", "version=\"1.0\" encoding=\"gb2312\"");
      out.Instruction("xml-stylesheet", "type=\"text/xsl\" href=\"startxml.xsl\"");
      Write(shape, out);
      EXPECT_EQ(out.Text(), gbk ? ReadFile(dir / "built.xml") : built.Xml()) << gbk;
      if (gbk) {
        out.Save(dir / "written.xml");
        EXPECT_EQ(ReadFile(dir / "written.xml"), ReadFile(dir / "built.xml"));
      }
    }
  }
}

TEST(XmlWriter, ClosingMoreThanWasOpenedIsAnError) {
  platform::XmlWriter out(true);
  out.StartElement("r", {});
  out.EndElement();
  EXPECT_THROW(out.EndElement(), std::logic_error);
  out.StartElement("r", {});
  EXPECT_THROW(out.Instruction("pi", "x"), std::logic_error);
}

}  // namespace
