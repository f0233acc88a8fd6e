#include "platform/xml_document.h"

#include <stdexcept>

#include "platform/codepage.h"
#include "platform/fso.h"

namespace platform {
namespace {

void Require(pugi::xml_node n, const char* what) {
  if (!n) throw std::runtime_error(std::string("XML: ") + what + " on a null node");
}

// Markup escapes. In attribute values the line-break and tab characters are
// written as references too, or reading the file back would turn them into
// blanks.
void AppendEscaped(std::string& out, const char* text, bool attribute) {
  for (const char* p = text; *p; ++p) {
    switch (*p) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"':
        if (attribute)
          out += "&quot;";
        else
          out += '"';
        break;
      case '\n':
        if (attribute)
          out += "&#10;";
        else
          out += '\n';
        break;
      case '\r': out += "&#13;"; break;  // a raw CR would not survive reading back
      case '\t':
        if (attribute)
          out += "&#9;";
        else
          out += '\t';
        break;
      default: out += *p;
    }
  }
}

void AppendAttributes(std::string& out, pugi::xml_node n) {
  for (pugi::xml_attribute a : n.attributes()) {
    out += ' ';
    out += a.name();
    out += "=\"";
    AppendEscaped(out, a.value(), true);
    out += '"';
  }
}

// One node in the saved form: no whitespace added anywhere, an element
// without children closed as <name .../>.
void AppendNode(std::string& out, pugi::xml_node n) {
  switch (n.type()) {
    case pugi::node_element: {
      out += '<';
      out += n.name();
      AppendAttributes(out, n);
      if (!n.first_child()) {
        out += "/>";
        return;
      }
      out += '>';
      for (pugi::xml_node c : n.children()) AppendNode(out, c);
      out += "</";
      out += n.name();
      out += '>';
      return;
    }
    case pugi::node_pcdata:
      AppendEscaped(out, n.value(), false);
      return;
    case pugi::node_cdata:
      out += "<![CDATA[";
      out += n.value();
      out += "]]>";
      return;
    case pugi::node_comment:
      out += "<!--";
      out += n.value();
      out += "-->";
      return;
    case pugi::node_pi:
      out += "<?";
      out += n.name();
      if (*n.value()) {
        out += ' ';
        out += n.value();
      }
      out += "?>";
      return;
    case pugi::node_declaration:
      out += "<?";
      out += n.name();
      AppendAttributes(out, n);
      out += "?>";
      return;
    case pugi::node_doctype:
      out += "<!DOCTYPE ";
      out += n.value();
      out += '>';
      return;
    case pugi::node_document:
      for (pugi::xml_node c : n.children()) {
        AppendNode(out, c);
        out += "\r\n";
      }
      return;
    case pugi::node_null:
      return;
  }
}

}  // namespace

std::string XmlNode::Attribute(const std::string& name) const {
  return n_.attribute(name.c_str()).value();
}

bool XmlNode::HasAttribute(const std::string& name) const {
  return bool(n_.attribute(name.c_str()));
}

void XmlNode::SetAttribute(const std::string& name, const std::string& value) {
  Require(n_, "SetAttribute");
  pugi::xml_attribute a = n_.attribute(name.c_str());
  if (!a) a = n_.append_attribute(name.c_str());
  a.set_value(value.c_str());
}

int XmlNode::AttributeCount() const {
  int count = 0;
  for (pugi::xml_attribute a = n_.first_attribute(); a; a = a.next_attribute()) ++count;
  return count;
}

std::vector<std::pair<std::string, std::string>> XmlNode::Attributes() const {
  std::vector<std::pair<std::string, std::string>> list;
  for (pugi::xml_attribute a : n_.attributes()) list.emplace_back(a.name(), a.value());
  return list;
}

XmlNode XmlNode::Parent() const {
  pugi::xml_node p = n_.parent();
  if (!p || p.type() == pugi::node_document) return XmlNode();
  return XmlNode(p);
}

XmlNode XmlNode::FirstChild() const {
  pugi::xml_node c = n_.first_child();
  while (c && c.type() != pugi::node_element) c = c.next_sibling();
  return XmlNode(c);
}

XmlNode XmlNode::NextSibling() const {
  pugi::xml_node c = n_.next_sibling();
  while (c && c.type() != pugi::node_element) c = c.next_sibling();
  return XmlNode(c);
}

std::vector<XmlNode> XmlNode::Children() const {
  std::vector<XmlNode> list;
  for (XmlNode c = FirstChild(); c; c = c.NextSibling()) list.push_back(c);
  return list;
}

bool XmlNode::HasChildren() const { return !FirstChild().IsNull(); }

XmlNode XmlNode::AppendElement(const std::string& name) {
  Require(n_, "AppendElement");
  pugi::xml_node c = n_.append_child(pugi::node_element);
  if (!c) throw std::runtime_error("XML: cannot append an element to <" + Name() + ">");
  c.set_name(name.c_str());
  return XmlNode(c);
}

std::string XmlNode::Xml() const {
  std::string out;
  AppendNode(out, n_);
  return out;
}

XmlDocument::XmlDocument() : doc_(std::make_unique<pugi::xml_document>()) {}
XmlDocument::~XmlDocument() = default;

bool XmlDocument::LoadXml(const std::string& utf8Text) {
  // Whitespace-only text is dropped (pugixml's default), which is what the
  // line feeds between the top-level nodes of the starting texts need.
  unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_pi |
                     pugi::parse_comments | pugi::parse_doctype;
  pugi::xml_parse_result result =
      doc_->load_buffer(utf8Text.data(), utf8Text.size(), options, pugi::encoding_utf8);
  if (!result || !doc_->document_element()) {
    doc_->reset();
    return false;
  }
  return true;
}

XmlNode XmlDocument::DocumentElement() const { return XmlNode(doc_->document_element()); }

std::string XmlDocument::Xml() const {
  std::string out;
  AppendNode(out, *doc_);
  return out;
}

void XmlDocument::Save(const std::string& path) const {
  // The declaration keeps the encoding it was loaded with ("gb2312"); the
  // bytes are GBK, which is what browsers read under that label.
  fso::WriteBytes(path, ToAnsiXml(Xml()));
}

}  // namespace platform
