#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace {

struct ToAnsiCase {
  const char* label;
  std::string utf8;
  std::string ansi;  // ToAnsi
  std::string xml;   // ToAnsiXml
};

TEST(CodePage, ToAnsiReplacesWhatGbkCannotHold) {
  const ToAnsiCase cases[] = {
      {"ascii", "abc <&> 1", "abc <&> 1", "abc <&> 1"},
      {"chinese", "中文", "\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4"},
      // Code page 936 has the euro sign at 0x80 (strict GB2312 has not).
      {"euro", "\xE2\x82\xAC", "\x80", "\x80"},
      {"emoji", "a\xF0\x9F\x98\x80" "b", "a?b", "a&#128512;b"},
      {"katakana middle dot", "\xE3\x83\xBB", "?", "&#12539;"},
      {"mixed", "中\xF0\x9F\x98\x80文", "\xD6\xD0?\xCE\xC4", "\xD6\xD0&#128512;\xCE\xC4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(platform::ToAnsi(c.utf8), c.ansi);
    EXPECT_EQ(platform::ToAnsiXml(c.utf8), c.xml);
  }
}

// Bytes that are not UTF-8 (a name an older tool wrote in GBK) have no
// character to stand for; a "?" would pass for one and hide the loss.
TEST(CodePage, ToAnsiRefusesBytesThatAreNotUtf8) {
  const struct {
    const char* label;
    std::string utf8, shown;
  } cases[] = {
      {"stray byte", "x\xFFy", "x\\xFFy"},
      {"cut at the end", "x\xE4\xB8", "x\\xE4\\xB8"},
      {"gbk name", "\xD3\xEF\xCE\xC4.htm", "\\xD3\\xEF\\xCE\\xC4.htm"},
      {"overlong slash", "a\xC0\xAF", "a\\xC0\\xAF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    for (auto convert : {platform::ToAnsi, platform::ToAnsiXml}) {
      try {
        convert(c.utf8);
        ADD_FAILURE() << "converted";
      } catch (const platform::NotUtf8Error& e) {
        EXPECT_NE(std::string(e.what()).find("\"" + c.shown + "\""), std::string::npos) << e.what();
      }
    }
  }
}

TEST(CodePage, FromAnsiMarksInvalidBytesAndGoesOn) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    const char* label;
    std::string ansi;
    std::string utf8;
  } cases[] = {
      {"ascii", "plain", "plain"},
      {"chinese", "\xD6\xD0\xCE\xC4", "中文"},
      {"euro", "\x80", "\xE2\x82\xAC"},
      {"lone lead byte at end", "a\xD6", "a" + fffd},
      {"0xFF bytes", "\xFF\xFFz", fffd + fffd + "z"},
      // The byte after a bad lead byte is read again for itself.
      {"lead byte before a blank", "\xD6 ab", fffd + " ab"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(platform::FromAnsi(c.ansi), c.utf8);
  }
}

TEST(CodePage, AnsiLengthCountsGbkBytes) {
  const struct {
    std::string utf8;
    int length;
  } cases[] = {
      {"", 0},
      {"abc", 3},
      {"中文", 4},
      {"a中", 3},
      {"\xE2\x82\xAC", 1},
      {"\xF0\x9F\x98\x80", 1},  // counts as its "?"
  };
  for (const auto& c : cases) EXPECT_EQ(platform::AnsiLength(c.utf8), c.length) << c.utf8;
}

TEST(CodePage, LongTextConvertsWhole) {
  // More than one conversion buffer's worth, with a replacement in the middle.
  std::string utf8(5000, 'a');
  utf8 += "\xF0\x9F\x98\x80";
  for (int i = 0; i < 3000; ++i) utf8 += "中";
  std::string ansi = platform::ToAnsi(utf8);
  ASSERT_EQ(ansi.size(), 5000u + 1 + 6000u);
  EXPECT_EQ(ansi[5000], '?');
  EXPECT_EQ(platform::FromAnsi(ansi).size(), 5000u + 1 + 9000u);
}

}  // namespace
