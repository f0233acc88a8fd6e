// The XML DOM the generator needs, over pugixml. Attributes keep their
// creation order, and a replaced value keeps its place. Text is UTF-8 in
// memory; Save writes GBK under the document's "gb2312" declaration.
// XmlWriter writes the same saved form for documents too large and too many
// to build first (the page documents).
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

namespace platform {

// A handle to a node; valid while its document lives. A default one is null.
class XmlNode {
 public:
  XmlNode() = default;
  explicit XmlNode(pugi::xml_node n) : n_(n) {}

  bool IsNull() const { return !n_; }
  explicit operator bool() const { return bool(n_); }
  bool IsElement() const { return n_.type() == pugi::node_element; }
  std::string Name() const { return n_.name(); }

  // The attribute's text, or "" when the node has none of that name.
  std::string Attribute(const std::string& name) const;
  bool HasAttribute(const std::string& name) const;
  // Creates the attribute after the existing ones, or replaces its value in place.
  void SetAttribute(const std::string& name, const std::string& value);
  int AttributeCount() const;
  std::vector<std::pair<std::string, std::string>> Attributes() const;

  XmlNode Parent() const;       // null above the root element
  XmlNode FirstChild() const;   // element children only
  XmlNode NextSibling() const;  // next element sibling
  std::vector<XmlNode> Children() const;
  bool HasChildren() const;
  // Creates an element (empty namespace) and appends it as the last child.
  XmlNode AppendElement(const std::string& name);

  // The node's markup, as the DOM's xml property gives it (UTF-8).
  std::string Xml() const;

  // Calls f(name, value) for each attribute in its order; the texts live as
  // long as the attribute does.
  template <typename F>
  void ForEachAttribute(F f) const {
    for (pugi::xml_attribute a = n_.first_attribute(); a; a = a.next_attribute())
      f(a.name(), a.value());
  }

  pugi::xml_node Raw() const { return n_; }
  bool operator==(const XmlNode& o) const { return n_ == o.n_; }
  bool operator!=(const XmlNode& o) const { return n_ != o.n_; }

 private:
  pugi::xml_node n_;
};

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Loads the text synchronously, keeping the declaration and processing
  // instructions. False, and an empty document, on a parse error.
  bool LoadXml(const std::string& utf8Text);
  XmlNode DocumentElement() const;

  // The whole document in its saved form, but UTF-8: each top-level node
  // (declaration, stylesheet instruction, root element) on a line of its
  // own ended by CR LF, no whitespace inside the root, empty elements as
  // <node .../>.
  std::string Xml() const;
  // Writes Xml() in GBK; characters GBK cannot hold become "&#N;".
  // Throws FsoError when the file cannot be written.
  void Save(const std::string& path) const;

 private:
  std::unique_ptr<pugi::xml_document> doc_;
};

// The attributes of an element about to be written by XmlWriter: names and
// values by pointer, so their texts must outlive the StartElement call.
// Set behaves as XmlNode::SetAttribute does: a new name goes after the
// others, a name already there keeps its place.
class XmlAttributes {
 public:
  void Clear() { list_.clear(); }
  // Every attribute of the node, in its order (after those already set).
  void CopyFrom(const XmlNode& node);
  void Set(const char* name, const char* value);
  void Set(const char* name, const std::string& value) { Set(name, value.c_str()); }
  // A temporary's text would be gone before the element is written.
  void Set(const char* name, std::string&& value) = delete;
  const std::vector<std::pair<const char*, const char*>>& List() const { return list_; }

 private:
  std::vector<std::pair<const char*, const char*>> list_;
};

// Writes a document in its saved form element by element, without building
// it first: the very bytes XmlDocument::Save (gbk) or Xml() (UTF-8) give for
// the same nodes. Top-level nodes each end with CR LF.
class XmlWriter {
 public:
  explicit XmlWriter(bool gbk);
  ~XmlWriter();
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;

  // <?name value?> at the top level (the declaration too, its attributes
  // given as the value text).
  void Instruction(const std::string& name, const std::string& value);
  // Opens an element inside the open one, or at the top level.
  void StartElement(const std::string& name, const XmlAttributes& attributes);
  // Closes the innermost open element: <name .../> when nothing was
  // written inside it.
  void EndElement();

  // What is written so far (GBK bytes when the writer writes GBK).
  std::string Text() const;
  // Writes it to the file. Throws FsoError when the file cannot be written.
  void Save(const std::string& path) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
