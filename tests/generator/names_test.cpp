// Names on disk that XML 1.0 or a link cannot carry as they are: control
// characters, U+FFFE and U+FFFF, bytes that are not UTF-8 (a folder an
// older tool unpacked in GBK), and in a link a "\". The page documents stay
// well-formed and every file is still reached from its page.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "generator/generator.h"
#include "generator/recording_sink.h"
#include "generator/uitl.h"
#include "platform/codepage.h"
#include "platform/fso.h"
#include "platform/xml_document.h"
#include "support/temp_dir.h"
#include "support/name_fixtures.h"

namespace talvora {
namespace {

using testing_support::ExpectWellFormedAndReachable;
using testing_support::MakeAwkwardNames;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const char kFffd[] = "\xEF\xBF\xBD";

TEST(NameForms, OrdinaryNamesStayAndTheRestIsReplacedOrEscaped) {
  const struct {
    const char* what;
    std::string name, shown, link;
  } cases[] = {
      {"chinese and blanks", "01 语文 (上).htm", "01 语文 (上).htm", "01 语文 (上).htm"},
      {"a percent that starts no escape", "50%.htm", "50%.htm", "50%.htm"},
      {"control characters", "a\x01" "b\x1F.htm", std::string("a") + kFffd + "b" + kFffd + ".htm",
       "a%01b%1F.htm"},
      {"tab, line feed and carriage return", "a\tb\nc\r", "a\tb\nc\r", "a%09b%0Ac%0D"},
      {"gbk bytes", "\xD3\xEF\xCE\xC4.htm", std::string(kFffd) + kFffd + kFffd + kFffd + ".htm",
       "%D3%EF%CE%C4.htm"},
      {"gbk bytes beside utf-8", "语\xCE\xC4", std::string("语") + kFffd + kFffd, "语%CE%C4"},
      {"what a browser reads as query, fragment or escape", "a?b#c%41.htm", "a?b#c%41.htm",
       "a%3Fb%23c%2541.htm"},
      {"the two non-characters XML 1.0 excludes", "c\uFFFE\uFFFF.htm",
       std::string("c") + kFffd + kFffd + ".htm", "c%EF%BF%BE%EF%BF%BF.htm"},
      {"their neighbours, which XML 1.0 allows", "\uFFFD\uFFFC\U0010FFFF",
       "\uFFFD\uFFFC\U0010FFFF", "\uFFFD\uFFFC\U0010FFFF"},
      {"a backslash, which a browser reads as a slash", "b\\s.htm", "b\\s.htm", "b%5Cs.htm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ShownName(c.name), c.shown);
    EXPECT_EQ(LinkName(c.name), c.link);
  }
}

// A text with bytes that are not UTF-8 is never written with "?" for them:
// the write fails and says which file.
TEST(NameForms, TextFileWithBytesThatAreNotUtf8IsRefusedNamingTheFile) {
  TempDir dir;
  const std::string path = dir / "index.html";
  try {
    WriteTextFile(path, "window.location.href=\"\xD3\xEF.doc\";");
    ADD_FAILURE() << "written as " << ReadFile(path);
  } catch (const platform::FsoError& e) {
    EXPECT_NE(std::string(e.what()).find("\"" + path + "\""), std::string::npos) << e.what();
  }
  EXPECT_FALSE(testing_support::Exists(path));
}

class AwkwardNames : public ::testing::Test {
 protected:
  void SetUp() override {
    Options().CancelFlag = 0;
    Options().TemplatePath = dir_ / "no-template";
    SetUiSink(&sink_);
  }
  void TearDown() override {
    SetUiSink(nullptr);
    Options() = GenerationOptions();
  }
  TempDir dir_;
  RecordingSink sink_;
};

TEST_F(AwkwardNames, PageDocumentsStayWellFormedAndEveryFileIsReached) {
  std::string site = dir_ / "site";
  MakeAwkwardNames(site);
  for (bool fullRun : {true, false}) {
    SCOPED_TRACE(fullRun ? "full run" : "refresh run");
    GenerateSite(site, fullRun);
    ExpectWellFormedAndReachable(site, true);
  }
  platform::XmlDocument page;
  ASSERT_TRUE(page.LoadXml(platform::FromAnsi(ReadFile(site + "/ctl\x01name/startxml.xml"))));
  EXPECT_EQ(page.DocumentElement().Attribute("title"), std::string("ctl") + kFffd + "name");
  ASSERT_TRUE(page.LoadXml(platform::FromAnsi(ReadFile(site + "/non\uFFFEchar/startxml.xml"))));
  EXPECT_EQ(page.DocumentElement().Attribute("title"), std::string("non") + kFffd + "char");
}

}  // namespace
}  // namespace talvora
