#include "platform/rtf_reader.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <system_error>
#include <vector>

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "platform/codepage.h"
#include "platform/fso.h"

namespace platform {
namespace {

enum class Destination { Text, ColourTable, Skip };

// What a group carries: RTF restores all of it at the closing brace.
struct State {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  int halfPoints = 24;
  int colour = 0;
  int unicodeSkip = 1;
  Qt::Alignment align = Qt::AlignLeft;
  // Paragraph spacing and indents, in twips.
  int spaceBefore = 0, spaceAfter = 0, leftIndent = 0, rightIndent = 0, firstIndent = 0;
  Destination dest = Destination::Text;
};

// Deeper groups than this are still counted, so the braces stay paired, but
// they share their parent's state: hostile nesting cannot eat memory.
constexpr size_t kMaxDepth = 512;

// Destinations that hold no text of the document.
bool IsIgnoredDestination(const std::string& w) {
  static const char* const kWords[] = {
      "fonttbl", "stylesheet", "info", "pict", "fldinst", "listtable", "listoverridetable",
      "revtbl", "filetbl", "rsidtbl", "generator", "themedata", "colorschememapping",
      "latentstyles", "datastore", "xmlnstbl", "object", "objdata", "header", "headerl",
      "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote",
      "pgdsctbl", "private", "nonshppict", "userprops", "xmlopen", "mmathPr"};
  for (const char* k : kWords) {
    if (w == k) return true;
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Reader {
 public:
  Reader(const std::string& in, QTextDocument* document) : in_(in), cursor_(document) {}

  void Run() {
    // One edit block for the whole text: outside one, every insertion lays
    // out its paragraph again, and a long paragraph of many format runs
    // would take time growing with the square of its length.
    cursor_.beginEditBlock();
    while (pos_ < in_.size() && !finished_) {
      const char c = in_[pos_++];
      if (c == '{') {
        OpenGroup();
      } else if (c == '}') {
        CloseGroup();
      } else if (c == '\\') {
        Escape();
      } else if (c == '\r' || c == '\n') {
        // Line breaks of the file are not text.
      } else if (!SkippedCharacter()) {
        Literal(static_cast<unsigned char>(c));
      }
    }
    Flush();
    EndParagraph();
    cursor_.endEditBlock();
  }

 private:
  // After \uN the next N characters are the fallback for readers that do not
  // know \u; they are dropped. A brace ends the fallback early.
  bool SkippedCharacter() {
    if (skipChars_ <= 0) return false;
    --skipChars_;
    return true;
  }

  void OpenGroup() {
    Flush();
    skipChars_ = 0;
    if (stack_.size() >= kMaxDepth) {
      ++overflow_;
      return;
    }
    stack_.push_back(st_);
  }

  void CloseGroup() {
    Flush();
    skipChars_ = 0;
    if (overflow_ > 0) {
      --overflow_;
      return;
    }
    if (st_.dest == Destination::ColourTable) EndColourTable();
    // The document's own group closed: what follows is not part of it, and
    // the last paragraph keeps the document's state.
    if (stack_.size() <= 1) {
      finished_ = true;
      return;
    }
    st_ = stack_.back();
    stack_.pop_back();
  }

  void Escape() {
    if (pos_ >= in_.size()) return;
    const char c = in_[pos_];
    if (IsLetter(c)) {
      ControlWord();
      return;
    }
    ++pos_;
    if (c == '\'') {
      int hi = pos_ < in_.size() ? HexDigit(in_[pos_]) : -1;
      int lo = pos_ + 1 < in_.size() ? HexDigit(in_[pos_ + 1]) : -1;
      if (hi < 0 || lo < 0) return;
      pos_ += 2;
      if (!SkippedCharacter()) Literal(static_cast<unsigned char>(hi * 16 + lo));
      return;
    }
    if (SkippedCharacter()) return;
    switch (c) {
      case '\\': case '{': case '}': Literal(static_cast<unsigned char>(c)); break;
      case '~': Unicode(0x00A0); break;
      case '_': Unicode(0x2011); break;
      case '*': Flush(); st_.dest = Destination::Skip; break;
      case '\r': case '\n': Paragraph(); break;
      default: break;  // \- (optional hyphen) and unknown symbols show nothing
    }
  }

  void ControlWord() {
    std::string word;
    while (pos_ < in_.size() && IsLetter(in_[pos_])) word += in_[pos_++];
    bool hasParam = false;
    bool negative = false;
    long long value = 0;
    if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && IsDigit(in_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    while (pos_ < in_.size() && IsDigit(in_[pos_])) {
      hasParam = true;
      if (value < INT_MAX) value = value * 10 + (in_[pos_] - '0');
      ++pos_;
    }
    if (value > INT_MAX) value = INT_MAX;
    const int param = static_cast<int>(negative ? -value : value);
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;

    // Binary data is skipped whatever the destination, or its bytes would be
    // read as text and braces.
    if (word == "bin") {
      const size_t n = hasParam && param > 0 ? static_cast<size_t>(param) : 0;
      pos_ = n > in_.size() - pos_ ? in_.size() : pos_ + n;
      SkippedCharacter();
      return;
    }
    if (SkippedCharacter()) return;
    if (st_.dest == Destination::Skip) return;
    if (st_.dest == Destination::ColourTable) {
      if (word == "red") red_ = param, colourSet_ = true;
      if (word == "green") green_ = param, colourSet_ = true;
      if (word == "blue") blue_ = param, colourSet_ = true;
      return;
    }
    Word(word, hasParam, param);
  }

  void Word(const std::string& w, bool hasParam, int param) {
    const bool on = !hasParam || param != 0;
    if (w == "par") return Paragraph();
    if (w == "line") return Unicode(0x2028);
    if (w == "tab") return Unicode('\t');
    if (w == "u") {
      FlushAnsi();
      const int code = param < 0 ? param + 65536 : param;
      text_ += QChar(code >= 0 && code <= 0xFFFF ? static_cast<char16_t>(code) : char16_t(0xFFFD));
      skipChars_ = st_.unicodeSkip;
      return;
    }
    if (w == "uc") {
      st_.unicodeSkip = hasParam && param > 0 ? param : 0;
      return;
    }
    if (w == "emdash") return Unicode(0x2014);
    if (w == "endash") return Unicode(0x2013);
    if (w == "bullet") return Unicode(0x2022);
    if (w == "lquote") return Unicode(0x2018);
    if (w == "rquote") return Unicode(0x2019);
    if (w == "ldblquote") return Unicode(0x201C);
    if (w == "rdblquote") return Unicode(0x201D);
    if (w == "colortbl") {
      Flush();
      st_.dest = Destination::ColourTable;
      colours_.clear();
      red_ = green_ = blue_ = 0;
      colourSet_ = false;
      return;
    }
    if (IsIgnoredDestination(w)) {
      Flush();
      st_.dest = Destination::Skip;
      return;
    }
    // Everything below changes the format of the text that follows.
    Flush();
    if (w == "b") st_.bold = on;
    else if (w == "i") st_.italic = on;
    else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" || w == "ulth" || w == "ulwave")
      st_.underline = on;
    else if (w == "ulnone") st_.underline = false;
    else if (w == "fs") st_.halfPoints = hasParam && param > 0 ? std::min(param, 3276) : 24;
    else if (w == "cf") st_.colour = hasParam ? param : 0;
    else if (w == "plain") {
      st_.bold = st_.italic = st_.underline = false;
      st_.halfPoints = 24;
      st_.colour = 0;
    } else if (w == "pard") {
      st_.align = Qt::AlignLeft;
      st_.spaceBefore = st_.spaceAfter = st_.leftIndent = st_.rightIndent = st_.firstIndent = 0;
    } else if (w == "sb") st_.spaceBefore = param;
    else if (w == "sa") st_.spaceAfter = param;
    else if (w == "li") st_.leftIndent = param;
    else if (w == "ri") st_.rightIndent = param;
    else if (w == "fi") st_.firstIndent = param;
    else if (w == "ql") st_.align = Qt::AlignLeft;
    else if (w == "qc") st_.align = Qt::AlignHCenter;
    else if (w == "qr") st_.align = Qt::AlignRight;
    else if (w == "qj") st_.align = Qt::AlignJustify;
  }

  void Literal(unsigned char b) {
    if (st_.dest == Destination::Skip) return;
    if (st_.dest == Destination::ColourTable) {
      if (b == ';') {
        colours_.push_back(colourSet_ ? QColor(red_ & 255, green_ & 255, blue_ & 255) : QColor());
        red_ = green_ = blue_ = 0;
        colourSet_ = false;
      }
      return;
    }
    // Bytes of the code page are collected and decoded together, so the two
    // bytes of a Chinese character become one character; a trail byte may be
    // plain ASCII ("@", "\\", "[").
    if (b >= 0x80 || leadPending_) {
      ansi_ += static_cast<char>(b);
      leadPending_ = !leadPending_ && b >= 0x81 && b <= 0xFE;
      return;
    }
    FlushAnsi();
    if (b == '\t') {
      text_ += QLatin1Char('\t');
    } else if (b >= 0x20) {
      text_ += QLatin1Char(static_cast<char>(b));
    }
  }

  void Unicode(char16_t c) {
    if (st_.dest != Destination::Text) return;
    FlushAnsi();
    text_ += QChar(c);
  }

  void Paragraph() {
    if (st_.dest != Destination::Text) return;
    Flush();
    EndParagraph();
    cursor_.insertBlock();
  }

  void EndParagraph() {
    QTextBlockFormat f = cursor_.blockFormat();
    f.setAlignment(st_.align);
    // Twips to pixels; nonsense values are kept within the page.
    auto px = [](int twips) { return std::clamp(twips, -14400, 14400) / 15.0; };
    f.setTopMargin(std::max(0.0, px(st_.spaceBefore)));
    f.setBottomMargin(std::max(0.0, px(st_.spaceAfter)));
    f.setLeftMargin(std::max(0.0, px(st_.leftIndent)));
    f.setRightMargin(std::max(0.0, px(st_.rightIndent)));
    f.setTextIndent(px(st_.firstIndent));
    cursor_.setBlockFormat(f);
  }

  void EndColourTable() {
    // A last entry without its ";" still counts.
    if (colourSet_) colours_.push_back(QColor(red_ & 255, green_ & 255, blue_ & 255));
    colourSet_ = false;
  }

  void FlushAnsi() {
    if (ansi_.empty()) return;
    text_ += QString::fromStdString(FromAnsi(ansi_));
    ansi_.clear();
    leadPending_ = false;
  }

  void Flush() {
    FlushAnsi();
    if (text_.isEmpty()) return;
    QTextCharFormat f;
    f.setFontWeight(st_.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(st_.italic);
    f.setFontUnderline(st_.underline);
    f.setFontPointSize(st_.halfPoints / 2.0);
    if (st_.colour >= 0 && static_cast<size_t>(st_.colour) < colours_.size() &&
        colours_[st_.colour].isValid()) {
      f.setForeground(colours_[st_.colour]);
    }
    cursor_.insertText(text_, f);
    text_.clear();
  }

  const std::string& in_;
  size_t pos_ = 0;
  bool finished_ = false;
  QTextCursor cursor_;
  State st_;
  std::vector<State> stack_;
  size_t overflow_ = 0;
  int skipChars_ = 0;
  std::string ansi_;
  bool leadPending_ = false;
  QString text_;
  std::vector<QColor> colours_;
  int red_ = 0, green_ = 0, blue_ = 0;
  bool colourSet_ = false;
};

}  // namespace

bool ReadRtf(const std::string& rtf, QTextDocument* document) {
  document->clear();
  size_t start = rtf.find_first_not_of(" \t\r\n");
  if (start == std::string::npos || rtf.compare(start, 5, "{\\rtf") != 0) return false;
  const std::string body = rtf.substr(start);
  // Reading is not an edit the user could undo back to an empty box.
  const bool undo = document->isUndoRedoEnabled();
  document->setUndoRedoEnabled(false);
  Reader(body, document).Run();
  document->setUndoRedoEnabled(undo);
  return true;
}

bool LoadRtfFile(const std::string& path, QTextEdit* edit, std::string* whyNot) {
  edit->clear();
  if (whyNot) whyNot->clear();
  auto cannot = [&](const std::string& why) {
    if (whyNot) *whyNot = "文件 \"" + path + "\" " + why;
    return false;
  };
  std::string bytes;
  try {
    // One byte past the bound tells a file that is too large.
    bytes = fso::ReadBytes(path, kMaxRtfFileBytes + 1);
  } catch (const FsoError& e) {
    // Nothing at all there is no fault to tell of.
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return false;
    return cannot(std::string("无法读取（") + e.what() + "）。");
  }
  if (bytes.size() > kMaxRtfFileBytes)
    return cannot("大于 " + std::to_string(kMaxRtfFileBytes >> 20) + " MB，没有读入。");
  return ReadRtf(bytes, edit->document());
}

}  // namespace platform
