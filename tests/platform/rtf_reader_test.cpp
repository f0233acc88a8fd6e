#include "platform/rtf_reader.h"

#include <filesystem>
#include <string>

#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "support/fifo_deadline.h"
#include "support/temp_dir.h"

namespace {

std::string PlainText(const std::string& rtf) {
  QTextDocument doc;
  platform::ReadRtf(rtf, &doc);
  return doc.toPlainText().toStdString();
}

// The format of the character at index (0-based) of the plain text.
QTextCharFormat FormatAt(const QTextDocument& doc, int index) {
  QTextCursor c(const_cast<QTextDocument*>(&doc));
  c.setPosition(index);
  c.setPosition(index + 1, QTextCursor::KeepAnchor);
  return c.charFormat();
}

}  // namespace

TEST(RtfReader, Text) {
  struct Case {
    const char* what;
    std::string rtf;
    std::string text;
  };
  const Case cases[] = {
      {"paragraphs", "{\\rtf1\\ansi one\\par two\\par\nthree}", "one\ntwo\nthree"},
      {"file line breaks are not text", "{\\rtf1 a\r\nb\nc}", "abc"},
      {"one blank ends a control word", "{\\rtf1\\b  bold}", " bold"},
      {"code page 936 pairs", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", "中文"},
      {"upper-case hex", "{\\rtf1 \\'B0\\'EF\\'D6\\'FA}", "帮助"},
      {"pair split by a format change in between", "{\\rtf1 \\'b0\\'ef\\b\\'d6\\'fa}", "帮助"},
      {"raw code page bytes", "{\\rtf1 \xd6\xd0\xce\xc4}", "中文"},
      {"ASCII trail byte written plainly", "{\\rtf1 \\'b1@x}", "盄x"},
      {"backslash as trail byte", "{\\rtf1 \\'81\\\\ok}", "乗ok"},
      {"escaped symbols", "{\\rtf1 a\\\\b\\{c\\}d}", "a\\b{c}d"},
      {"unicode with one fallback", "{\\rtf1 \\u20013?\\u25991?!}", "中文!"},
      {"negative unicode", "{\\rtf1 \\u-255?}", "\xef\xbc\x81"},
      {"uc2 skips two fallback bytes", "{\\rtf1\\uc2 \\u20013\\'d6\\'d0x}", "中x"},
      {"uc0 skips nothing", "{\\rtf1\\uc0 \\u20013 x}", "中x"},
      {"fallback ends at a brace", "{\\rtf1\\uc3 \\u20013{a}b}", "中ab"},
      {"uc is scoped to its group", "{\\rtf1{\\uc0 \\u20013}\\u20013?x}", "中中x"},
      {"surrogate pair", "{\\rtf1 \\u-10179?\\u-8704?}", "\xf0\x9f\x98\x80"},
      {"ignored destinations",
       "{\\rtf1{\\fonttbl{\\f0 \\'cb\\'ce\\'cc\\'e5;}}{\\stylesheet{Normal;}}{\\info{\\title T}}"
       "{\\*\\generator W;}{\\*\\unknown x}{\\pict\\pngblip 89504e47}text}",
       "text"},
      {"binary data skipped", "{\\rtf1 a{\\pict\\bin4 }{\\}}b}", "ab"},
      {"special characters", "{\\rtf1 a\\tab b\\line c\\~d\\emdash\\bullet}",
       "a\tb\nc d\xe2\x80\x94\xe2\x80\xa2"},
      {"text after the document is not read", "{\\rtf1 in}out", "in"},
      {"not RTF", "plain text", ""},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PlainText(c.rtf), c.text);
  }
}

TEST(RtfReader, MalformedInputShowsWhatCanBeRead) {
  struct Case {
    const char* what;
    std::string rtf;
    std::string text;
  };
  const Case cases[] = {
      {"unclosed groups", "{\\rtf1 a{\\b b{\\i c", "abc"},
      {"extra closing braces", "{\\rtf1 a}}}}", "a"},
      {"backslash at the end", "{\\rtf1 a\\", "a"},
      {"broken hex", "{\\rtf1 a\\'zzb\\'4", "azzb4"},
      {"lone lead byte", "{\\rtf1 \\'d6}", "\xef\xbf\xbd"},
      {"huge parameters", "{\\rtf1\\fs99999999999999 x\\cf-5 y\\uc99999999999 \\u99999999999999 zz}",
       "xy\xef\xbf\xbd"},
      {"bin longer than the input", "{\\rtf1 a\\bin999999 bc}", "a"},
      {"deep nesting", "{\\rtf1 " + std::string(100000, '{') + "x" + std::string(100000, '}') + "y}", "xy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PlainText(c.rtf), c.text);
  }
}

// A help file of 200 KB whose one paragraph changes format 40000 times: read
// in a moment, not in a minute of laying the paragraph out again per run.
TEST(RtfReader, ManyFormatRunsInOneParagraphDoNotStallTheViewer) {
  std::string rtf = "{\\rtf1 ";
  for (int i = 0; i < 20000; ++i) rtf += "\\b a\\b0 b";
  rtf += "}";
  QTextEdit edit;
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(platform::ReadRtf(rtf, edit.document()));
  EXPECT_LT(t.elapsed(), 5000);
  EXPECT_EQ(edit.toPlainText().size(), 40000);
  EXPECT_EQ(FormatAt(*edit.document(), 39998).fontWeight(), QFont::Bold);
  EXPECT_EQ(FormatAt(*edit.document(), 39999).fontWeight(), QFont::Normal);
}

TEST(RtfReader, CharacterFormats) {
  const std::string header =
      "{\\rtf1\\ansi{\\fonttbl{\\f0 SimSun;}}"
      "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";
  struct Case {
    const char* what;
    std::string body;  // the text "X" is probed
    bool bold, italic, underline;
    double points;
    QColor colour;  // invalid: the default colour
  };
  const Case cases[] = {
      {"plain", "X", false, false, false, 12, QColor()},
      {"bold", "\\b X", true, false, false, 12, QColor()},
      {"bold off", "\\b a\\b0 X", false, false, false, 12, QColor()},
      {"italic", "\\i X", false, true, false, 12, QColor()},
      {"underline", "\\ul X", false, false, true, 12, QColor()},
      {"underline none", "\\ul a\\ulnone X", false, false, false, 12, QColor()},
      {"underline zero", "\\ul a\\ul0 X", false, false, false, 12, QColor()},
      {"size in half points", "\\fs36 X", false, false, false, 18, QColor()},
      {"colour from the table", "\\cf1 X", false, false, false, 12, QColor(255, 0, 0)},
      {"second colour", "\\cf2 X", false, false, false, 12, QColor(0, 0, 255)},
      {"auto colour", "\\cf1 a\\cf0 X", false, false, false, 12, QColor()},
      {"colour out of range", "\\cf9 X", false, false, false, 12, QColor()},
      {"group restores", "{\\b\\i\\fs40\\cf1 a}X", false, false, false, 12, QColor()},
      {"group inherits", "\\b{\\i X}", true, true, false, 12, QColor()},
      {"plain resets", "\\b\\i\\ul\\fs40\\cf1 a\\plain X", false, false, false, 12, QColor()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTextDocument doc;
    ASSERT_TRUE(platform::ReadRtf(header + c.body + "}", &doc));
    const int at = doc.toPlainText().indexOf(QLatin1Char('X'));
    ASSERT_GE(at, 0);
    const QTextCharFormat f = FormatAt(doc, at);
    EXPECT_EQ(f.fontWeight() == QFont::Bold, c.bold);
    EXPECT_EQ(f.fontItalic(), c.italic);
    EXPECT_EQ(f.fontUnderline(), c.underline);
    EXPECT_DOUBLE_EQ(f.fontPointSize(), c.points);
    if (c.colour.isValid()) {
      EXPECT_EQ(f.foreground().color(), c.colour);
    } else {
      EXPECT_EQ(f.foreground().style(), Qt::NoBrush);
    }
  }
}

TEST(RtfReader, ParagraphFormats) {
  QTextDocument doc;
  platform::ReadRtf(
      "{\\rtf1\\qc\\sb120\\sa300 centred\\par\\pard left\\par"
      "\\qr\\li600\\ri150\\fi-300 right\\par\\pard\\qj{\\qc group}last}",
      &doc);
  struct Case {
    int block;
    Qt::Alignment align;
    double top, bottom, left, right, indent;  // pixels
  };
  const Case cases[] = {
      {0, Qt::AlignHCenter, 8, 20, 0, 0, 0},
      {1, Qt::AlignLeft, 0, 0, 0, 0, 0},
      {2, Qt::AlignRight, 0, 0, 40, 10, -20},
      // A paragraph takes the state at its end, inside or outside groups.
      {3, Qt::AlignJustify, 0, 0, 0, 0, 0},
  };
  ASSERT_EQ(doc.blockCount(), 4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    const QTextBlockFormat f = doc.findBlockByNumber(c.block).blockFormat();
    EXPECT_EQ(f.alignment() & Qt::AlignHorizontal_Mask, c.align);
    EXPECT_DOUBLE_EQ(f.topMargin(), c.top);
    EXPECT_DOUBLE_EQ(f.bottomMargin(), c.bottom);
    EXPECT_DOUBLE_EQ(f.leftMargin(), c.left);
    EXPECT_DOUBLE_EQ(f.rightMargin(), c.right);
    EXPECT_DOUBLE_EQ(f.textIndent(), c.indent);
  }
}

TEST(RtfReader, LoadFileIntoATextBox) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "help.rtf", "{\\rtf1 \\'b0\\'ef\\'d6\\'fa\\par}");
  testing_support::WriteFile(dir / "plain.txt", "no rtf here");
  QTextEdit edit;
  edit.setPlainText("left over");
  EXPECT_TRUE(platform::LoadRtfFile(dir / "help.rtf", &edit));
  EXPECT_EQ(edit.toPlainText().toStdString(), "帮助\n");
  struct Case {
    const char* what;
    std::string path;
    bool told;  // the caller is told why
  };
  const Case failures[] = {
      {"missing", dir / "none.rtf", false},
      {"a folder", dir.path(), true},
      {"not rtf", dir / "plain.txt", false},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.what);
    edit.setPlainText("left over");
    std::string whyNot = "left over";
    EXPECT_FALSE(platform::LoadRtfFile(c.path, &edit, &whyNot));
    EXPECT_TRUE(edit.toPlainText().isEmpty());
    EXPECT_EQ(whyNot.empty(), !c.told) << whyNot;
  }
}

// What is no help file to read (a FIFO, a link to an endless device) is
// never waited on, and a file past the size bound is not read in: the box
// says which file could not be shown and why.
TEST(RtfReader, AFileThatCannotBeShownIsNamedAndNeverWaitedOn) {
  namespace fs = std::filesystem;
  testing_support::TempDir dir;
  const std::string fifo = dir / "fifo.rtf", zero = dir / "zero.rtf", large = dir / "large.rtf";
  ASSERT_TRUE(testing_support::MakeFifo(fifo));
  fs::create_symlink("/dev/zero", zero);
  testing_support::WriteFile(large, "{\\rtf1 large}");
  fs::resize_file(large, platform::kMaxRtfFileBytes + 1);
  struct Case {
    const char* what;
    std::string path, reason;
  };
  const Case cases[] = {
      {"a FIFO", fifo, "无法读取"},
      {"a link to /dev/zero", zero, "无法读取"},
      {"past the bound", large, "MB"},
  };
  testing_support::FifoDeadline deadline({fifo});
  QTextEdit edit;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    edit.setPlainText("left over");
    std::string whyNot;
    EXPECT_FALSE(platform::LoadRtfFile(c.path, &edit, &whyNot));
    EXPECT_TRUE(edit.toPlainText().isEmpty());
    EXPECT_NE(whyNot.find("\"" + c.path + "\""), std::string::npos) << whyNot;
    EXPECT_NE(whyNot.find(c.reason), std::string::npos) << whyNot;
  }
  EXPECT_FALSE(deadline.Passed()) << "the reader waited on the FIFO";
}
