#include "workspace/import_dialog.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include "generator/uitl.h"
#include "generator/ui_sink.h"
#include "platform/dialogs.h"
#include "platform/preview_server.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using platform::ScriptedDialogs;
using talvora::Dialog;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

const char kSuccess[] = "资源包已成功导入！";
const char kVersion[] = "您导入的主题资源版本为1.0,无法修改! 当前版本只适用于2.0版主题资源!";

// The status line as the import writes it: every message without its time
// stamp, and the progress bar each time window messages are let run.
class StatusLine : public talvora::UiSink {
 public:
  explicit StatusLine(const QProgressBar* bar = nullptr) : bar_(bar) { talvora::SetUiSink(this); }
  ~StatusLine() override { talvora::SetUiSink(nullptr); }
  void StatusChanged(const std::string& text) override {
    const std::size_t stamp = text.find(" ]  ");
    messages.push_back(stamp == std::string::npos ? text : text.substr(stamp + 4));
  }
  void PumpMessages() override {
    if (bar_) barAtPump.push_back(bar_->value());
  }
  std::vector<std::string> messages;
  std::vector<int> barAtPump;

 private:
  const QProgressBar* bar_;
};

class Opened {
 public:
  Opened() { platform::SetDesktopOpener([this](const std::string& t) { targets.push_back(t); }); }
  ~Opened() { platform::SetDesktopOpener(nullptr); }
  std::vector<std::string> targets;
};

// Every file and folder below root, by relative path; files with their bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    tree[rel] = e.is_directory() ? "<folder>" : ReadFile(e.path().string());
  }
  return tree;
}

std::vector<std::string> Prompts(const ScriptedDialogs& dialogs) {
  std::vector<std::string> prompts;
  for (const auto& s : dialogs.shown) prompts.push_back(s.prompt);
  return prompts;
}

void Import(Dialog& dialog, const std::string& archive, const std::string& folder) {
  dialog.rarPath->setText(QString::fromStdString(archive));
  dialog.inputPath->setText(QString::fromStdString(folder));
  ASSERT_TRUE(dialog.OKButton->isEnabled());
  dialog.OKButton->click();
}

// A RAR 4 archive of stored files, written byte by byte, so that an archive
// can hold names no packer would write.
std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string Le(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::string Block(std::uint8_t type, std::uint16_t flags, const std::string& body) {
  const std::string header = Le(type, 1) + Le(flags, 2) + Le(7 + body.size(), 2) + body;
  return Le(Crc32(header) & 0xFFFF, 2) + header;
}

std::string StoredArchive(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string rar("Rar!\x1A\x07\x00", 7);
  rar += Block(0x73, 0, std::string(6, '\0'));
  for (const auto& [name, data] : entries) {
    const std::string body = Le(data.size(), 4) + Le(data.size(), 4) + Le(2, 1) +
                             Le(Crc32(data), 4) + Le(0x50210000u, 4) + Le(20, 1) + Le(0x30, 1) +
                             Le(name.size(), 2) + Le(0x20, 4) + name;
    rar += Block(0x74, 0x8000, body) + data;
  }
  rar += std::string("\xC4\x3D\x7B\x00\x40\x07\x00", 7);
  return rar;
}

TEST(ImportDialog, StartsAsDesigned) {
  Dialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "导入资源包");
  const struct {
    QString shown;
    const char* text;
  } captions[] = {
      {dialog.Label1->text(), "将您选择的资源压缩包导入所指定的文件夹"},
      {dialog.Label3->text(),
       "如果您有已经压缩的文件包（默认RAR格式），可以用该工具导入相应的文件夹内，便于浏览。"
       "但该压缩包需为未加密的原始主题资源包。"},
      {dialog.Label2->text(), "压缩包:"},
      {dialog.Label4->text(), "目录:"},
      {dialog.Command1->text(), "浏览"},
      {dialog.Command2->text(), "浏览"},
      {dialog.viewCheck->text(), "完成后预览该导入资源 ( 如果加密资源,则需数分钟的时间 )"},
  };
  for (const auto& c : captions) EXPECT_EQ(c.shown.toStdString(), c.text);
  EXPECT_TRUE(dialog.Command1->isEnabled());
  EXPECT_TRUE(dialog.Command2->isEnabled());
  EXPECT_TRUE(dialog.CancelButton->isEnabled());
  EXPECT_TRUE(dialog.rarPath->text().isEmpty());
  EXPECT_TRUE(dialog.inputPath->text().isEmpty());
  EXPECT_FALSE(dialog.OKButton->isEnabled());
  EXPECT_EQ(dialog.OKButton->text(), "导入");
  EXPECT_EQ(dialog.CancelButton->text(), "取消");
  EXPECT_FALSE(dialog.delCheck->isEnabled());
  EXPECT_FALSE(dialog.delCheck->isChecked());
  EXPECT_EQ(dialog.delCheck->text(), "导入后删除原资源压缩包 ( 如为只读资源,则此项无用 ) ");
  EXPECT_TRUE(dialog.viewCheck->isEnabled());
  EXPECT_FALSE(dialog.viewCheck->isChecked());
  EXPECT_EQ(dialog.inputBar->value(), 0);
  EXPECT_EQ(dialog.inputBar->maximum(), 100);
}

TEST(ImportDialog, OneFieldLeavesImportOffBothTurnItOnAndClearingNeverTurnsItOff) {
  ScriptedDialogs dialogs;
  Dialog dialog;
  dialog.inputPath->setText("/some/folder");
  EXPECT_FALSE(dialog.OKButton->isEnabled());
  dialog.rarPath->setText("/some/a.rar");
  EXPECT_TRUE(dialog.OKButton->isEnabled());
  dialog.rarPath->clear();
  EXPECT_TRUE(dialog.OKButton->isEnabled());
  dialog.OKButton->click();
  EXPECT_EQ(Prompts(dialogs), std::vector<std::string>{"您尚未选择导入资源包或没有指定导入文件夹！"});
}

TEST(ImportDialog, CancelledChoicesKeepTheEarlierText) {
  ScriptedDialogs dialogs;
  Dialog dialog;
  dialog.rarPath->setText("/old/a.rar");
  dialog.inputPath->setText("/old/folder");
  dialogs.paths = {"", ""};
  dialog.Command1->click();
  dialog.Command2->click();
  EXPECT_EQ(dialog.rarPath->text(), "/old/a.rar");
  EXPECT_EQ(dialog.inputPath->text(), "/old/folder");
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].kind, "open");
  EXPECT_EQ(dialogs.shown[0].title, "RAR格式压缩包(*.rar)|*.rar");
  EXPECT_EQ(dialogs.shown[1].kind, "folder");
  EXPECT_EQ(dialogs.shown[1].prompt, "请选择主题资源目录：");

  dialogs.paths = {"/new/b.rar", "/new/folder"};
  dialog.Command1->click();
  dialog.Command2->click();
  EXPECT_EQ(dialog.rarPath->text(), "/new/b.rar");
  EXPECT_EQ(dialog.inputPath->text(), "/new/folder");
}

TEST(ImportDialog, APackedSiteComesBackByteForByte) {
  TempDir dir;
  ScriptedDialogs dialogs;
  Opened opened;
  const std::string site = dir / "site";
  MakeDirs(site + "/第一章/图片");
  WriteFile(site + "/startxml.xsl", "<xsl/>");
  WriteFile(site + "/index.html", "<html>\r\n</html>");
  WriteFile(site + "/第一章/课文.htm", std::string("\x00\x01\xFF页", 6));
  WriteFile(site + "/第一章/图片/a.jpg", std::string(70000, '\x7F'));
  ASSERT_EQ(talvora::RarPack(site, dir / "site.rar").exitCode, 0);
  MakeDirs(dir / "target");

  Dialog dialog;
  StatusLine steps(dialog.inputBar);
  dialog.viewCheck->setChecked(true);
  Import(dialog, dir / "site.rar", dir / "target");

  EXPECT_EQ(Prompts(dialogs), std::vector<std::string>{kSuccess});
  EXPECT_EQ(steps.messages,
            (std::vector<std::string>{"  正在导入资源包到指定位置 ......", "导入资源包到指定位置成功 ......"}));
  // Half way while the archiver runs.
  ASSERT_FALSE(steps.barAtPump.empty());
  EXPECT_EQ(steps.barAtPump.front(), 50);
  EXPECT_EQ(Tree(dir / "target"), Tree(site));
  EXPECT_TRUE(talvora::IsSiteRoot(dir / "target"));
  // The imported site is shown over loopback, where its stylesheets apply.
  EXPECT_EQ(opened.targets,
            std::vector<std::string>{platform::PreviewServer::Instance().Address(dir / "target", "index.html")});
  // Done: both fields empty, the import off until both are filled again.
  EXPECT_TRUE(dialog.rarPath->text().isEmpty());
  EXPECT_TRUE(dialog.inputPath->text().isEmpty());
  EXPECT_FALSE(dialog.OKButton->isEnabled());
  EXPECT_EQ(dialog.inputBar->value(), 100);
}

TEST(ImportDialog, AnArchiveThatIsNoSiteGetsTheVersionMessageAndKeepsItsFiles) {
  TempDir dir;
  ScriptedDialogs dialogs;
  Opened opened;
  MakeDirs(dir / "plain");
  WriteFile(dir / "plain/notes.txt", "notes");
  ASSERT_EQ(talvora::RarPack(dir / "plain", dir / "plain.rar").exitCode, 0);
  MakeDirs(dir / "target");
  Dialog dialog;
  Import(dialog, dir / "plain.rar", dir / "target");
  EXPECT_EQ(Prompts(dialogs), (std::vector<std::string>{kSuccess, kVersion}));
  EXPECT_EQ(ReadFile(dir / "target/notes.txt"), "notes");
  EXPECT_TRUE(opened.targets.empty());
}

TEST(ImportDialog, AMissingFolderIsNeverCreated) {
  TempDir dir;
  ScriptedDialogs dialogs;
  MakeDirs(dir / "plain");
  WriteFile(dir / "plain/notes.txt", "notes");
  ASSERT_EQ(talvora::RarPack(dir / "plain", dir / "plain.rar").exitCode, 0);
  Dialog dialog;
  Import(dialog, dir / "plain.rar", dir / "typed/by/hand");
  EXPECT_EQ(Prompts(dialogs), std::vector<std::string>{"请正确选择导入文件夹！"});
  EXPECT_FALSE(fs::exists(dir / "typed"));
  EXPECT_TRUE(dialog.OKButton->isEnabled());
}

// An archive the archiver finds damaged (here a name holding a NUL, which
// would land on the user's file) is not reported imported.
TEST(ImportDialog, ADamagedArchiveIsNotReportedImportedAndKeepsTheUsersFile) {
  TempDir dir;
  ScriptedDialogs dialogs;
  WriteFile(dir / "damaged.rar", StoredArchive({{std::string("notes.txt\0x", 11), "evil"}, {"other.txt", "other"}}));
  WriteFile(dir / "target/notes.txt", "ORIGINAL");
  Dialog dialog;
  Import(dialog, dir / "damaged.rar", dir / "target");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].prompt, kSuccess);
  EXPECT_NE(dialogs.shown[0].prompt.find("数据已损坏"), std::string::npos) << dialogs.shown[0].prompt;
  EXPECT_EQ(ReadFile(dir / "target/notes.txt"), "ORIGINAL");
  EXPECT_EQ(ReadFile(dir / "target/other.txt"), "other");
}

// A failed unpack is reported as such, never as a success, and nothing is
// written outside the chosen folder.
TEST(ImportDialog, AnArchiverFailureIsReportedNotSuccess) {
  TempDir dir;
  WriteFile(dir / "climbs.rar", StoredArchive({{"..\\outside.txt", "evil"}, {"inside.txt", "good"}}));
  WriteFile(dir / "broken.rar", "this is not an archive");
  const struct {
    std::string archive;
    std::string says;
    std::string archiverSays;  // the archiver's own first line of error text
  } cases[] = {
      {dir / "climbs.rar", "被拒绝", "\nWinRAR: 拒绝解压 ../outside.txt：它的路径会跳出目标文件夹"},
      {dir / "broken.rar", "无法读取该压缩包", "\nWinRAR: 无法打开 " + dir / "broken.rar"},
  };
  for (const auto& c : cases) {
    ScriptedDialogs dialogs;
    MakeDirs(dir / "target");
    Dialog dialog;
    StatusLine status(dialog.inputBar);
    Import(dialog, c.archive, dir / "target");
    ASSERT_EQ(dialogs.shown.size(), 1u) << c.archive;
    EXPECT_NE(dialogs.shown[0].prompt.find(c.says), std::string::npos) << dialogs.shown[0].prompt;
    EXPECT_NE(dialogs.shown[0].prompt.find(c.archiverSays), std::string::npos) << dialogs.shown[0].prompt;
    EXPECT_NE(dialogs.shown[0].prompt, kSuccess);
    EXPECT_EQ(status.messages,
              (std::vector<std::string>{"  正在导入资源包到指定位置 ......", "  导入资源包出现错误 ......"}));
    EXPECT_FALSE(fs::exists(dir / "outside.txt"));
    // What was done stays: the fields keep their text, the bar is full and
    // the import button stays off, as after any failed import.
    EXPECT_FALSE(dialog.rarPath->text().isEmpty());
    EXPECT_EQ(dialog.inputBar->value(), 100);
    EXPECT_FALSE(dialog.OKButton->isEnabled());
  }
  EXPECT_EQ(ReadFile(dir / "target/inside.txt"), "good");
}

}  // namespace
