// Quenlet's own routines and the variants of the shared ones.
#include "generator/uitl.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "column_fixture.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace quenlet {
namespace {

using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

using QuenletUitl = ColumnTest;

TEST_F(QuenletUitl, IndexPageFindsIndexHtmBeforeIndexHtml) {
  struct Case {
    std::vector<std::string> files;
    std::string page;
  } cases[] = {
      {{}, ""},
      {{"index.html"}, "index.html"},
      {{"index.htm"}, "index.htm"},
      {{"index.html", "index.htm"}, "index.htm"},
      {{"Index.htm", "index.HTML"}, ""},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& f : c.files) WriteFile(dir / f, "x");
    EXPECT_EQ(GetIndexPage(dir.path()), c.page) << c.files.size();
  }
}

TEST_F(QuenletUitl, NumberPrefixGoesWhenAskedOrForMathematics) {
  struct Case {
    const char* subject;
    std::string text;
    bool always;
    std::string result;
  } cases[] = {
      {"语文", "3Unit", false, "3Unit"}, {"语文", "3Unit", true, "Unit"},
      {"数学", "3Unit", false, "Unit"},  {"数学", "3Unit", true, "Unit"},
      {"数学", "12345ab", false, "45ab"}, {"数学", "x1", true, "x1"},
      {"数学", "", true, ""},            {"数学 ", "3Unit", false, "3Unit"},
  };
  for (const Case& c : cases) {
    Reset(c.subject);
    EXPECT_EQ(StripNumberPrefix(c.text, c.always), c.result) << c.subject << c.text;
  }
}

TEST_F(QuenletUitl, SegmentBeforeSlashIsTheLastComponentBeforeTheLastSlash) {
  const std::pair<std::string, std::string> cases[] = {
      {"a/b", "a"}, {"x" + platform::kSepStr + "y/z", "y"}, {"a/", "a"}, {"/a", ""},
      {"abc", "abc"}, {"", ""}, {"p/q/r", "q"}, {"left", "left"}};
  for (const auto& [text, segment] : cases) EXPECT_EQ(GetSegmentBeforeSlash(text), segment) << text;
}

TEST_F(QuenletUitl, TruncateCutsOnlyPastLimitPlusOneCharacters) {
  struct Case {
    std::string text;
    int limit;
    std::string result;
  } cases[] = {
      {std::string(15, 'a'), 14, std::string(15, 'a')},
      {std::string(16, 'a'), 14, std::string(14, 'a') + "...."},
      {"12345678", 7, "12345678"},
      {"123456789", 7, "1234567...."},
      // Characters, not bytes: nine Chinese characters are cut after seven.
      {"一二三四五六七八九", 7, "一二三四五六七...."},
      {"一二三四五六七八", 7, "一二三四五六七八"},
      {"", 7, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TruncateText(c.text, c.limit), c.result) << c.text;
}

TEST_F(QuenletUitl, ProgressPathKeepsSeventyCharactersAndHalvesLongerOnes) {
  auto path = [](std::size_t n) {
    std::string p;
    for (std::size_t i = 0; i < n; ++i) p += static_cast<char>('a' + i % 26);
    return p;
  };
  EXPECT_EQ(ProgressPathText(path(70)), path(70));
  const std::pair<std::size_t, std::size_t> heads[] = {{71, 36}, {73, 36}, {80, 40}, {75, 38}};
  for (const auto& [length, head] : heads) {
    std::string p = path(length);
    EXPECT_EQ(ProgressPathText(p), p.substr(0, head) + "...." + p.substr(length - 24)) << length;
  }
  // Counted in characters: a path of Chinese names is never cut inside one.
  std::string chinese;
  for (int i = 0; i < 71; ++i) chinese += "栏";
  EXPECT_EQ(talvora::CharCount(ProgressPathText(chinese)), 36u + 4u + 24u);
}

TEST_F(QuenletUitl, ThumbnailIsTheTnFileElseThePictureItself) {
  TempDir dir;
  for (const char* f : {"a.jpg", "TN_a.png", "b.doc", "c.GIF", "d.png", "tn_e.jpg", "e.bmp"})
    WriteFile(dir / f, "x");
  const std::pair<std::string, std::string> cases[] = {
      {"a.jpg", "TN_a.png"}, {"b.doc", ""}, {"c.GIF", "c.GIF"},
      {"d.png", ""},         {"e.bmp", "e.bmp"}};
  for (const auto& [file, zoom] : cases) EXPECT_EQ(GetThumbnail(dir.path(), file), zoom) << file;
}

TEST_F(QuenletUitl, FileRoutinesReportFailuresTheMainProgramIgnores) {
  TempDir dir;
  // A missing source or file is no failure.
  EXPECT_NO_THROW(DeleteFileIfExists(dir / "none"));
  EXPECT_NO_THROW(CopyFileIfExists(dir / "none", dir / "t"));
  EXPECT_NO_THROW(CopyFolderIfExists(dir / "nofolder", dir / "t2"));

  // A file that cannot be deleted is reported.
  MakeDirs(dir / "locked");
  WriteFile(dir / "locked/f.txt", "x");
  chmod((dir / "locked").c_str(), 0555);
  if (geteuid() != 0) {
    EXPECT_THROW(DeleteFileIfExists(dir / "locked/f.txt"), platform::FsoError);
  }
  chmod((dir / "locked").c_str(), 0755);
  // Nor is a read-only file forced away (this holds for every user).
  WriteFile(dir / "readonly.txt", "x");
  chmod((dir / "readonly.txt").c_str(), 0444);
  EXPECT_THROW(DeleteFileIfExists(dir / "readonly.txt"), platform::FsoError);
  EXPECT_TRUE(platform::fso::FileExists(dir / "readonly.txt"));
  chmod((dir / "readonly.txt").c_str(), 0644);

  // A folder copy that fails is reported; a file copy that fails is not.
  MakeDirs(dir / "src");
  WriteFile(dir / "src/a.txt", "a");
  WriteFile(dir / "blocker", "file in the way");
  EXPECT_THROW(CopyFolderIfExists(dir / "src", dir / "blocker/sub"), platform::FsoError);
  EXPECT_NO_THROW(CopyFileIfExists(dir / "src/a.txt", dir / "blocker/sub/a.txt"));
  CopyFolderIfExists(dir / "src", dir / "copy");
  EXPECT_EQ(ReadFile(dir / "copy/a.txt"), "a");
}

TEST_F(QuenletUitl, ProgramDataIsBesideTheProgramOrInTheFolderAbove) {
  TempDir dir;
  MakeDirs(dir / "template");
  MakeDirs(dir / "Quenlet");
  const std::string saved = platform::ProgramFolder();
  platform::SetProgramFolder(dir / "Quenlet");
  EXPECT_EQ(ProgramDataFolder(), dir.path());
  platform::SetProgramFolder(dir.path());
  EXPECT_EQ(ProgramDataFolder(), dir.path());
  platform::SetProgramFolder(saved);
}

}  // namespace
}  // namespace quenlet
