#include "platform/xml_document.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/fso.h"

namespace platform {
namespace {

void Require(pugi::xml_node n, const char* what) {
  if (!n) throw std::runtime_error(std::string("XML: ") + what + " on a null node");
}

// Room to write a document into, kept from one document to the next.
struct WriteBuffer {
  std::unique_ptr<char[]> data;
  std::size_t capacity = 0;
};

// Builds the saved form, in UTF-8 or straight in GBK. The markup the
// writer adds is ASCII, which GBK keeps as it is; of the document's own text
// only the runs of non-ASCII bytes go through the converter, which gives
// the very bytes a conversion of the whole UTF-8 text would.
class Writer {
 public:
  Writer(bool gbk, WriteBuffer& buffer) : gbk_(gbk), buffer_(buffer) {}

  const char* Data() const { return buffer_.data.get(); }
  std::size_t Size() const { return used_; }
  // Markup of the writer's own: ASCII.
  void Mark(char c) {
    *Room(1) = c;
    ++used_;
  }
  void Mark(const char* text) { Append(text, std::strlen(text)); }
  // The document's text: names and the like as they are, attribute values
  // and text with the markup escapes. In attribute values the line-break
  // and tab characters are written as references too, or reading the file
  // back would turn them into blanks.
  void Text(const char* text) { Write(text, kAsIs); }
  void Escaped(const char* text, bool attribute) { Write(text, attribute ? kAttribute : kContent); }
  // ` name="value"`, the value escaped.
  void Attribute(const char* name, const char* value) {
    std::size_t nameLength = std::strlen(name), valueLength = std::strlen(value);
    char* out = Room(6 * (nameLength + valueLength) + 4);
    *out++ = ' ';
    out = Put(out, name, name + nameLength, kAsIs);
    *out++ = '=';
    *out++ = '"';
    out = Put(out, value, value + valueLength, kAttribute);
    *out++ = '"';
    used_ = static_cast<std::size_t>(out - buffer_.data.get());
  }

 private:
  enum Mode { kAsIs, kContent, kAttribute };

  // The escape of a character in the mode, null for a character that
  // stands for itself.
  static const char* EscapeOf(char c, Mode mode) {
    if (mode == kAsIs) return nullptr;
    bool attribute = mode == kAttribute;
    switch (c) {
      case '&': return "&amp;";
      case '<': return "&lt;";
      case '>': return "&gt;";
      case '"': return attribute ? "&quot;" : nullptr;
      case '\n': return attribute ? "&#10;" : nullptr;
      case '\r': return "&#13;";  // a raw CR would not survive reading back
      case '\t': return attribute ? "&#9;" : nullptr;
      default: return nullptr;
    }
  }

  // The bytes that may need more than copying: those with an escape in
  // some mode, and those of non-ASCII characters.
  static constexpr std::array<bool, 256> kSpecial = [] {
    std::array<bool, 256> special{};
    for (unsigned char c : {'&', '<', '>', '"', '\n', '\r', '\t'}) special[c] = true;
    for (int c = 0x80; c < 0x100; ++c) special[c] = true;
    return special;
  }();

  // Room for `more` bytes after the text written so far.
  char* Room(std::size_t more) {
    if (buffer_.capacity - used_ < more) {
      std::size_t capacity = std::max(2 * buffer_.capacity, used_ + more + 4096);
      std::unique_ptr<char[]> larger(new char[capacity]);
      if (used_ > 0) std::memcpy(larger.get(), buffer_.data.get(), used_);
      buffer_.data = std::move(larger);
      buffer_.capacity = capacity;
    }
    return buffer_.data.get() + used_;
  }

  void Append(const char* text, std::size_t length) {
    std::memcpy(Room(length), text, length);
    used_ += length;
  }

  void Write(const char* text, Mode mode) {
    std::size_t length = std::strlen(text);
    char* out = Room(6 * length);
    used_ = static_cast<std::size_t>(Put(out, text, text + length, mode) - buffer_.data.get());
  }

  // Writes the text at out, which has room for six bytes a byte (no byte
  // takes more: an escape, or a share of a character reference or of a GBK
  // character); returns the end of what it wrote.
  char* Put(char* out, const char* p, const char* end, Mode mode) {
    while (p < end) {
      unsigned char c = static_cast<unsigned char>(*p);
      if (!kSpecial[c]) {
        *out++ = *p++;
        continue;
      }
      if (c >= 0x80 && gbk_) {
        const char* wide = p;
        while (p < end && static_cast<unsigned char>(*p) >= 0x80) ++p;
        const std::string& gbk = Converted(std::string(wide, p));
        out = std::copy(gbk.begin(), gbk.end(), out);
        continue;
      }
      if (const char* escape = EscapeOf(*p, mode)) {
        while (*escape) *out++ = *escape++;
      } else {
        *out++ = *p;
      }
      ++p;
    }
    return out;
  }

  // The same names come back all through a page document and from one
  // document to the next; each is converted once.
  static const std::string& Converted(const std::string& utf8) {
    thread_local std::unordered_map<std::string, std::string> known;
    auto at = known.find(utf8);
    if (at != known.end()) return at->second;
    if (known.size() >= 100000) known.clear();
    return known.emplace(utf8, ToAnsiXml(utf8)).first->second;
  }

  bool gbk_;
  WriteBuffer& buffer_;   // the text written, then room to spare
  std::size_t used_ = 0;  // how much of it is written
};

void AppendAttributes(Writer& out, pugi::xml_node n) {
  for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
    out.Attribute(a.name(), a.value());
}

// One node in the saved form: no whitespace added anywhere, an element
// without children closed as <name .../>.
void AppendNode(Writer& out, pugi::xml_node n) {
  switch (n.type()) {
    case pugi::node_element: {
      out.Mark('<');
      out.Text(n.name());
      AppendAttributes(out, n);
      if (!n.first_child()) {
        out.Mark("/>");
        return;
      }
      out.Mark('>');
      for (pugi::xml_node c : n.children()) AppendNode(out, c);
      out.Mark("</");
      out.Text(n.name());
      out.Mark('>');
      return;
    }
    case pugi::node_pcdata:
      out.Escaped(n.value(), false);
      return;
    case pugi::node_cdata:
      out.Mark("<![CDATA[");
      out.Text(n.value());
      out.Mark("]]>");
      return;
    case pugi::node_comment:
      out.Mark("<!--");
      out.Text(n.value());
      out.Mark("-->");
      return;
    case pugi::node_pi:
      out.Mark("<?");
      out.Text(n.name());
      if (*n.value()) {
        out.Mark(' ');
        out.Text(n.value());
      }
      out.Mark("?>");
      return;
    case pugi::node_declaration:
      out.Mark("<?");
      out.Text(n.name());
      AppendAttributes(out, n);
      out.Mark("?>");
      return;
    case pugi::node_doctype:
      out.Mark("<!DOCTYPE ");
      out.Text(n.value());
      out.Mark('>');
      return;
    case pugi::node_document:
      for (pugi::xml_node c : n.children()) {
        AppendNode(out, c);
        out.Mark("\r\n");
      }
      return;
    case pugi::node_null:
      return;
  }
}

std::string Serialised(pugi::xml_node n, bool gbk) {
  WriteBuffer buffer;
  Writer out(gbk, buffer);
  AppendNode(out, n);
  return std::string(out.Data(), out.Size());
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

std::string XmlNode::Xml() const { return Serialised(n_, false); }

void XmlAttributes::CopyFrom(const XmlNode& node) {
  node.ForEachAttribute([this](const char* name, const char* value) {
    list_.emplace_back(name, value);
  });
}

void XmlAttributes::Set(const char* name, const char* value) {
  for (auto& attribute : list_) {
    if (std::strcmp(attribute.first, name) == 0) {
      attribute.second = value;
      return;
    }
  }
  list_.emplace_back(name, value);
}

struct XmlWriter::State {
  explicit State(bool gbk) : out(gbk, buffer) {}
  WriteBuffer buffer;
  Writer out;
  std::vector<std::string> open;  // names of the open elements, innermost last
  std::size_t depth = 0;          // how many of them are open
  bool tagPending = false;        // the innermost start tag still lacks its '>'
};

XmlWriter::XmlWriter(bool gbk) : state_(std::make_unique<State>(gbk)) {}
XmlWriter::~XmlWriter() = default;

void XmlWriter::Instruction(const std::string& name, const std::string& value) {
  if (state_->depth > 0) throw std::logic_error("XML: an instruction inside an element");
  Writer& out = state_->out;
  out.Mark("<?");
  out.Text(name.c_str());
  if (!value.empty()) {
    out.Mark(' ');
    out.Text(value.c_str());
  }
  out.Mark("?>\r\n");
}

void XmlWriter::StartElement(const std::string& name, const XmlAttributes& attributes) {
  State& s = *state_;
  if (s.tagPending) s.out.Mark('>');
  s.out.Mark('<');
  s.out.Text(name.c_str());
  for (const auto& attribute : attributes.List()) s.out.Attribute(attribute.first, attribute.second);
  // The open names keep their room from one element to the next.
  if (s.depth == s.open.size()) s.open.emplace_back();
  s.open[s.depth++] = name;
  s.tagPending = true;
}

void XmlWriter::EndElement() {
  State& s = *state_;
  if (s.depth == 0) throw std::logic_error("XML: no element is open");
  --s.depth;
  if (s.tagPending) {
    s.out.Mark("/>");
    s.tagPending = false;
  } else {
    s.out.Mark("</");
    s.out.Text(s.open[s.depth].c_str());
    s.out.Mark('>');
  }
  if (s.depth == 0) s.out.Mark("\r\n");
}

std::string XmlWriter::Text() const { return std::string(state_->out.Data(), state_->out.Size()); }

void XmlWriter::Save(const std::string& path) const {
  fso::WriteBytes(path, state_->out.Data(), state_->out.Size());
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

std::string XmlDocument::Xml() const { return Serialised(*doc_, false); }

void XmlDocument::Save(const std::string& path) const {
  // The declaration keeps the encoding it was loaded with ("gb2312"); the
  // bytes are GBK, which is what browsers read under that label. Written
  // straight in GBK, without a UTF-8 copy of the whole document first.
  thread_local WriteBuffer buffer;
  Writer out(true, buffer);
  AppendNode(out, *doc_);
  fso::WriteBytes(path, out.Data(), out.Size());
}

}  // namespace platform
