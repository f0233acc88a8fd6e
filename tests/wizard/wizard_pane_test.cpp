#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

#include "generator/generator.h"
#include "generator/ui_sink.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "platform/preview_server.h"
#include "platform/process.h"
#include "support/event_wait.h"
#include "workspace/tree_helpers.h"
#include "support/one_pixel_gif.h"
#include "support/temp_dir.h"
#include "wizard/wizard_pane.h"
#include "workspace/form1.h"
#include "workspace/show_meg.h"

namespace fs = std::filesystem;
using talvora::Options;
using talvora::WizardPane;
using testing_support::kGif;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::string Program(const std::string& relative) {
  return platform::ProgramFolder() + "/" + relative;
}

// The wizard's state: the visible page and the four buttons.
struct State {
  int page;
  bool back, next;
  std::string finish;
  bool finishOn;
  std::string cancel;
  bool cancelOn;
  bool operator==(const State& o) const {
    return page == o.page && back == o.back && next == o.next && finish == o.finish &&
           finishOn == o.finishOn && cancel == o.cancel && cancelOn == o.cancelOn;
  }
};
void PrintTo(const State& s, std::ostream* os) {
  *os << "page " << s.page << " back " << s.back << " next " << s.next << " [" << s.finish
      << "] " << s.finishOn << " [" << s.cancel << "] " << s.cancelOn;
}
const State S1{1, false, true, "生  成", false, "取  消", false};
const State S2{2, true, true, "生  成", false, "取  消", false};
const State S3{3, true, false, "生  成", true, "取  消", true};
const State S5{3, true, false, "预  览", true, "新  建", true};

State StateOf(const WizardPane& p) {
  int page = !p.Page111->isHidden() ? 1 : !p.Page222->isHidden() ? 2 : !p.Page333->isHidden() ? 3 : 0;
  return {page,
          p.backCommand->isEnabled(),
          p.nextCommand->isEnabled(),
          p.finishCommand->text().toStdString(),
          p.finishCommand->isEnabled(),
          p.cancelCommand->text().toStdString(),
          p.cancelCommand->isEnabled()};
}

void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// The user's choice of a subject from the list.
void ChooseSubject(WizardPane& pane, int index) {
  pane.Subject->setCurrentIndex(index);
  emit pane.Subject->activated(index);
}

// Copies a folder with everything in it.
void CopyTree(const std::string& from, const std::string& to) {
  fs::copy(fs::u8path(from), fs::u8path(to), fs::copy_options::recursive);
}

// What bsdtar lists of an archive, one name a line.
std::vector<std::string> ArchiveListing(const std::string& archive) {
  std::vector<std::string> names;
  std::string command = "bsdtar --options hdrcharset=CP936 -tf '" + archive + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return names;
  char line[4096];
  while (fgets(line, sizeof line, pipe)) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    names.push_back(name);
  }
  pclose(pipe);
  return names;
}

int CountFiles(const std::string& folder, const std::string& name) {
  int n = 0;
  for (const auto& e : fs::recursive_directory_iterator(fs::u8path(folder)))
    if (e.path().filename().u8string() == name) ++n;
  return n;
}

// Every visible busy note.
bool BusyNoteShown() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<talvora::ShowMeg*>(w) && w->isVisible()) return true;
  return false;
}

// Leaves the shared options as a fresh start has them.
void ResetOptions() { Options() = talvora::GenerationOptions{}; }

// ---------------------------------------------------------------------------
// The pane on its own

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetOptions();
    pane_.InitWizardLists();
    pane_.show();
  }
  // Moves from page 1 to page 3 on this folder.
  void ToPageThree(const std::string& folder) {
    pane_.ResourcePath->setText(QString::fromStdString(folder));
    Click(pane_.nextCommand);
    Click(pane_.nextCommand);
    ASSERT_EQ(StateOf(pane_), S3);
  }

  platform::ScriptedDialogs dialogs_;
  WizardPane pane_;
};

TEST_F(WizardTest, ShowsItsCaptionsAndStartsOnPageOne) {
  struct Caption {
    QString shown;
    const char* expected;
  };
  const Caption captions[] = {
      {pane_.pageFrame1->title(), "选择目录"},
      {pane_.MainResourcePath->text(), "浏    览"},
      {pane_.pageFrame2->title(), "设定"},
      {pane_.Label1->text(), "选择模板："},
      {pane_.Label3->text(), "选择样式及科目："},
      {pane_.Style[1]->text(), "蓝 色"},
      {pane_.Style[2]->text(), "绿 色"},
      {pane_.Style[3]->text(), "桔 色"},
      {pane_.AutoRar->text(), "完成后压缩为"},
      {pane_.Label9->text(), ""},
      {pane_.rarLabel->text(), "Text2"},
      {pane_.Label8->text(), ".rar"},
      {pane_.pageFrame3->title(), "预览"},
      {pane_.pageFrame4->title(), "标志区设定"},
      {pane_.Label5->text(), "选择择 LOGO 图片路径："},
      {pane_.logoCommand->text(), "..."},
      {pane_.Label2->text(), "选择择Banner图片路径："},
      {pane_.bannerCommand->text(), "..."},
      {pane_.pageFrame5->title(), "欢迎图片及页脚设置"},
      {pane_.Label6->text(), "选择Welcome图片路径："},
      {pane_.welcomeCommand->text(), "..."},
      {pane_.Label7->text(), "请输入页脚文字："},
      {pane_.backCommand->text(), "上一步"},
      {pane_.nextCommand->text(), "下一步"},
  };
  for (const Caption& c : captions) EXPECT_EQ(c.shown.toStdString(), c.expected);
  EXPECT_TRUE(pane_.AutoRar->isChecked());
  EXPECT_EQ(StateOf(pane_), S1);

  QString usage = pane_.Text1->toPlainText();
  EXPECT_TRUE(usage.contains("使用方法："));
  const char* steps[] = {
      "★1.建立一个用来存放资源的目录，如（背影）。“背影”目录下建立主题资源的子栏目（即子目录）如:“课程目标、互动课本、演示文稿、相关素材、学习评测、教案示例”.子栏目下可以用来存入资源素材或继续建立子栏目。",
      "★2.选择主题资源目录，点“下一步”。",
      "★3.选择主题资源的Logo，Banner。并确定要生成的主题资源模板及样式，确定主题资源所属学科。",
      "★4.选择主题资源首页面的Welcome图片及输入页脚显示文字。",
  };
  for (const char* step : steps) EXPECT_TRUE(usage.contains(QString::fromUtf8(step))) << step;
}

TEST_F(WizardTest, StartsWithTheFirstTemplateAtStyleOneAndNoPictures) {
  std::vector<std::string> listed;
  for (int i = 0; i < pane_.template_->count(); ++i)
    listed.push_back(pane_.template_->itemText(i).toStdString());
  EXPECT_EQ(listed, platform::fso::SubFolderNames(Program("template")));
  ASSERT_GE(listed.size(), 2u) << "the program folder ships two templates";
  EXPECT_EQ(pane_.template_->currentIndex(), 0);
  EXPECT_TRUE(pane_.Style[1]->isChecked());
  EXPECT_EQ(Options().TemplatePath, Program("template/" + listed[0] + "/xsl1"));
  EXPECT_EQ(Options().FootText, pane_.footText->text().toStdString());
  EXPECT_FALSE(Options().FootText.empty());
  EXPECT_EQ(pane_.Subject->count(), 19);
  EXPECT_EQ(pane_.Subject->currentText(), "小学语文");
  EXPECT_EQ(Options().SubjectText, "小学语文");
  EXPECT_EQ(Options().LogoPath, "");
  EXPECT_EQ(Options().BannerPath, "");
  EXPECT_EQ(Options().WelcomePath, "");
  EXPECT_EQ(pane_.logoText->text(), "");
}

TEST_F(WizardTest, EachSubjectTakesTheLogoOfItsListIndex) {
  const char* logos[19] = {"yuwen", "shuxue", "yingyu", "yuwen",   "shuxue", "yingyu", "wuli",
                           "huaxue", "shengwu", "lishi", "dili",   "yuwen",  "shuxue", "yingyu",
                           "wuli",  "huaxue", "shengwu", "lishi",  "dili"};
  for (int i = 0; i < 19; ++i) {
    ChooseSubject(pane_, i);
    std::string logo = Program(std::string("logo/logo_") + logos[i] + ".gif");
    EXPECT_EQ(Options().LogoPath, logo) << i;
    EXPECT_EQ(pane_.logoText->text().toStdString(), logo) << i;
    EXPECT_EQ(Options().SubjectText, pane_.Subject->itemText(i).toStdString()) << i;
  }
  EXPECT_EQ(pane_.Subject->itemText(12), "高中数学");
}

TEST_F(WizardTest, TheLastOfSubjectAndLogoPickerWins) {
  TempDir dir;
  WriteFile(dir / "mine.gif", kGif);
  ChooseSubject(pane_, 12);
  dialogs_.paths.push_back(dir / "mine.gif");
  Click(pane_.logoCommand);
  EXPECT_EQ(Options().LogoPath, dir / "mine.gif");
  ChooseSubject(pane_, 12);
  EXPECT_EQ(Options().LogoPath, Program("logo/logo_shuxue.gif"));
  // Typing a subject makes no choice.
  pane_.Subject->setEditText("自定义学科");
  EXPECT_EQ(Options().SubjectText, "高中数学");
}

TEST_F(WizardTest, ThePreviewStepsThroughStylesAndTemplates) {
  const std::string first = pane_.template_->itemText(0).toStdString();
  const std::string second = pane_.template_->itemText(1).toStdString();
  auto styleFolder = [](const std::string& name, int style) {
    return Program("template/" + name + "/xsl" + std::to_string(style));
  };
  // Three clicks come back to the style they started from.
  for (int style : {2, 3, 1}) {
    QTest::mouseClick(pane_.templateImage, Qt::LeftButton);
    EXPECT_TRUE(pane_.Style[style]->isChecked());
    EXPECT_EQ(Options().TemplatePath, styleFolder(first, style));
  }
  // A double-click moves to the next template, at style 1.
  pane_.Style[3]->click();
  QTest::mouseDClick(pane_.templateImage, Qt::LeftButton);
  EXPECT_EQ(pane_.template_->currentIndex(), 1);
  EXPECT_TRUE(pane_.Style[1]->isChecked());
  EXPECT_EQ(Options().TemplatePath, styleFolder(second, 1));
  // On the last template it wraps to the first.
  pane_.template_->setCurrentIndex(pane_.template_->count() - 1);
  pane_.template_Click();
  pane_.Style[3]->click();
  QTest::mouseDClick(pane_.templateImage, Qt::LeftButton);
  EXPECT_EQ(pane_.template_->currentIndex(), 0);
  EXPECT_TRUE(pane_.Style[1]->isChecked());
  EXPECT_EQ(Options().TemplatePath, styleFolder(first, 1));
}

TEST_F(WizardTest, PicturePickersOfferGifsAndKeepWhatTheyCouldNotLoad) {
  TempDir dir;
  WriteFile(dir / "logo.gif", kGif);
  WriteFile(dir / "banner.gif", kGif);
  WriteFile(dir / "broken.gif", "not a picture");

  // Cancelled: nothing changes.
  dialogs_.paths.push_back("");
  Click(pane_.logoCommand);
  EXPECT_EQ(Options().LogoPath, "");
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].kind, "open");
  EXPECT_EQ(dialogs_.shown[0].title, "图像文件(*.gif)|*.gif|");

  dialogs_.paths.push_back(dir / "logo.gif");
  QTest::mouseDClick(pane_.logoImage, Qt::LeftButton);
  EXPECT_EQ(Options().LogoPath, dir / "logo.gif");
  EXPECT_EQ(pane_.logoImage->pixmap().size(), QSize(1, 1));

  // A file that is no picture: the option and the text take it, the
  // preview keeps its picture.
  dialogs_.paths.push_back(dir / "broken.gif");
  Click(pane_.logoCommand);
  EXPECT_EQ(Options().LogoPath, dir / "broken.gif");
  EXPECT_EQ(pane_.logoText->text().toStdString(), dir / "broken.gif");
  EXPECT_EQ(pane_.logoImage->pixmap().size(), QSize(1, 1));

  // Picking a banner makes the typed welcome text the welcome picture, but
  // only when the banner loads.
  pane_.welcomeText->setText("/typed/welcome.gif");
  dialogs_.paths.push_back(dir / "broken.gif");
  Click(pane_.bannerCommand);
  EXPECT_EQ(Options().BannerPath, dir / "broken.gif");
  EXPECT_EQ(Options().WelcomePath, "");
  dialogs_.paths.push_back(dir / "banner.gif");
  QTest::mouseDClick(pane_.bannerImage, Qt::LeftButton);
  EXPECT_EQ(Options().BannerPath, dir / "banner.gif");
  EXPECT_EQ(Options().WelcomePath, "/typed/welcome.gif");
  for (const auto& shown : dialogs_.shown) EXPECT_EQ(shown.title, "图像文件(*.gif)|*.gif|");
}

TEST_F(WizardTest, TheWelcomePictureMustEndInLowerCaseGif) {
  TempDir dir;
  struct Case {
    std::string file;
    bool taken;
  };
  const Case cases[] = {
      {dir / "welcome.GIF", false},
      {dir / "welcome", false},
      {dir / "welcome.jpg", false},
      {dir / "welcome.gif", true},
      {"", false},  // cancelled
  };
  for (const Case& c : cases) {
    if (!c.file.empty()) WriteFile(c.file, kGif);
    Options().WelcomePath = "before";
    dialogs_.shown.clear();
    dialogs_.paths.push_back(c.file);
    Click(pane_.welcomeCommand);
    EXPECT_EQ(Options().WelcomePath, c.taken ? c.file : "before") << c.file;
    EXPECT_EQ(pane_.welcomeText->text().toStdString(), c.taken ? c.file : "") << c.file;
    bool refused = !c.taken && !c.file.empty();
    ASSERT_EQ(dialogs_.shown.size(), refused ? 2u : 1u) << c.file;
    if (refused) {
      EXPECT_EQ(dialogs_.shown[1].prompt, "请选择gif格式的图片！");
      EXPECT_EQ(dialogs_.shown[1].title, platform::kDefaultTitle);
    }
    pane_.welcomeText->clear();
  }
}

TEST_F(WizardTest, BrowsingForTheFolderKeepsTheTextWhenCancelled) {
  pane_.ResourcePath->setText("/typed");
  dialogs_.paths.push_back("");
  Click(pane_.MainResourcePath);
  EXPECT_EQ(pane_.ResourcePath->text(), "/typed");
  dialogs_.paths.push_back("/chosen/site");
  Click(pane_.MainResourcePath);
  EXPECT_EQ(pane_.ResourcePath->text(), "/chosen/site");
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_EQ(dialogs_.shown[0].kind, "folder");
  EXPECT_EQ(dialogs_.shown[0].prompt, "请选择主题资源目录：");
}

TEST_F(WizardTest, NextChecksTheFolderAndNamesTheArchive) {
  TempDir dir;
  for (const char* name : {"abc", "数学资源", "abcdefghij", "勾股定理与应用题", "𠀀𠀁𠀂𠀃𠀄𠀅𠀆"})
    MakeDirs(dir / name);
  struct Case {
    std::string typed;
    std::string message;  // "" when the page moves on
    std::string title;
    std::string label9;
    std::string rarLabel;
  };
  const Case cases[] = {
      {"", " 请选择生成目录！ ", "提示", "", ""},
      {"    ", " 请选择生成目录！ ", "提示", "", ""},
      {dir / "missing", " 所选目录不存在！ ", "错误", "", ""},
      // Trailing blanks pass the checks and stay in the names.
      {dir / "abc  ", "", "", dir.path() + "/", "abc  "},
      {"  " + (dir / "abc"), "", "", "  " + dir.path() + "/", "abc"},
      {dir / "数学资源", "", "", dir.path() + "/", "数学资源"},
      {dir / "abcdefghij", "", "", dir.path() + "/", "abcdef"},
      {dir / "勾股定理与应用题", "", "", dir.path() + "/", "勾股定理与应"},
      // Characters outside the basic plane count one each and are never split.
      {dir / "𠀀𠀁𠀂𠀃𠀄𠀅𠀆", "", "", dir.path() + "/", "𠀀𠀁𠀂𠀃𠀄𠀅"},
      // A separator at the end is no part of the name: the archive still
      // lies beside the folder, never inside it under an empty name.
      {dir.path() + "/", "", "", fs::path(dir.path()).parent_path().string() + "/",
       fs::path(dir.path()).filename().string().substr(0, 6)},
  };
  for (const Case& c : cases) {
    Click(pane_.cancelCommand);  // disabled: nothing
    pane_.cancelCommand->setText("reset");
    pane_.cancelCommand_Click();
    dialogs_.shown.clear();
    pane_.ResourcePath->setText(QString::fromStdString(c.typed));
    Click(pane_.nextCommand);
    if (!c.message.empty()) {
      ASSERT_EQ(dialogs_.shown.size(), 1u) << c.typed;
      EXPECT_EQ(dialogs_.shown[0].prompt, c.message) << c.typed;
      EXPECT_EQ(dialogs_.shown[0].title, c.title) << c.typed;
      EXPECT_EQ(StateOf(pane_), S1) << c.typed;
      continue;
    }
    EXPECT_TRUE(dialogs_.shown.empty()) << c.typed;
    EXPECT_EQ(StateOf(pane_), S2) << c.typed;
    EXPECT_EQ(pane_.Label9->text().toStdString(), c.label9) << c.typed;
    EXPECT_EQ(pane_.rarLabel->text().toStdString(), c.rarLabel) << c.typed;
  }
}

TEST_F(WizardTest, PagesAndButtonsMoveThroughTheStates) {
  TempDir dir;
  MakeDirs(dir / "site");
  pane_.ResourcePath->setText(QString::fromStdString(dir / "site"));
  struct Step {
    QPushButton* button;
    State after;
  };
  const Step steps[] = {
      {pane_.backCommand, S1},    // disabled on page 1
      {pane_.nextCommand, S2},    {pane_.backCommand, S1}, {pane_.nextCommand, S2},
      {pane_.nextCommand, S3},    {pane_.nextCommand, S3},  // disabled on page 3
      {pane_.backCommand, S2},    {pane_.nextCommand, S3},
  };
  for (const Step& s : steps) {
    Click(s.button);
    EXPECT_EQ(StateOf(pane_), s.after) << s.button->text().toStdString();
  }
  // "下一步" checks the folder again on page 2.
  Click(pane_.backCommand);
  fs::remove(fs::u8path(dir / "site"));
  Click(pane_.nextCommand);
  EXPECT_EQ(StateOf(pane_), S2);
  EXPECT_EQ(dialogs_.LastPrompt(), " 所选目录不存在！ ");

  // "取  消" only asks the run to stop; "新  建" resets the pages and keeps
  // the options.
  MakeDirs(dir / "site");
  Click(pane_.nextCommand);
  pane_.rarLabel->setText("kept");
  Click(pane_.cancelCommand);
  EXPECT_EQ(Options().CancelFlag, -1);
  EXPECT_EQ(pane_.cancelCommand->text(), "新  建");
  EXPECT_TRUE(pane_.cancelCommand->isEnabled());
  Click(pane_.cancelCommand);
  EXPECT_EQ(StateOf(pane_), S1);
  EXPECT_EQ(pane_.rarLabel->text(), "kept");
  EXPECT_EQ(pane_.ResourcePath->text().toStdString(), dir / "site");
}

TEST_F(WizardTest, AFolderRemovedBeforeGeneratingIsReported) {
  TempDir dir;
  MakeDirs(dir / "site");
  ToPageThree(dir / "site");
  fs::remove(fs::u8path(dir / "site"));
  Click(pane_.finishCommand);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].prompt, "所选目录不存在");
  EXPECT_EQ(dialogs_.shown[0].title, "错误");
  EXPECT_EQ(StateOf(pane_), S3);
}

// A program folder of the test's own, with the logos and, when asked, the
// templates of the real one; no archiver.
class OwnProgramFolder {
 public:
  explicit OwnProgramFolder(bool withTemplates) : saved_(platform::ProgramFolder()) {
    CopyTree(saved_ + "/logo", dir_ / "logo");
    if (withTemplates)
      CopyTree(saved_ + "/template", dir_ / "template");
    else
      MakeDirs(dir_ / "template");
    platform::SetProgramFolder(dir_.path());
  }
  ~OwnProgramFolder() { platform::SetProgramFolder(saved_); }
  std::string operator/(const std::string& relative) const { return dir_ / relative; }

 private:
  TempDir dir_;
  std::string saved_;
};

TEST_F(WizardTest, WithoutTemplatesTheWizardWorksButWillNotGenerate) {
  OwnProgramFolder program(false);
  pane_.InitWizardLists();
  EXPECT_EQ(pane_.template_->count(), 0);
  EXPECT_EQ(Options().TemplatePath, "");
  // The preview does nothing without templates.
  QTest::mouseDClick(pane_.templateImage, Qt::LeftButton);
  pane_.Style[2]->click();
  EXPECT_EQ(Options().TemplatePath, "");

  TempDir dir;
  MakeDirs(dir / "site/a");
  ToPageThree(dir / "site");
  Click(pane_.finishCommand);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].prompt.find("模板"), std::string::npos);
  EXPECT_EQ(dialogs_.shown[0].title, "错误");
  EXPECT_FALSE(fs::exists(fs::u8path(dir / "site/startxml.xml")));
  EXPECT_EQ(StateOf(pane_), S3);
}

TEST_F(WizardTest, EveryShippedTemplateShowsAPictureOfEachStyle) {
  ASSERT_GT(pane_.template_->count(), 0);
  for (int t = 0; t < pane_.template_->count(); ++t) {
    pane_.template_->setCurrentIndex(t);
    pane_.template_Click();
    const std::string name = pane_.template_->currentText().toStdString();
    for (int style = 1; style <= 3; ++style) {
      SCOPED_TRACE(name + " style " + std::to_string(style));
      pane_.Style[style]->click();
      const QImage picture(QString::fromStdString(Program("template/" + name + "/templateImage" +
                                                          std::to_string(style) + ".gif")));
      ASSERT_FALSE(picture.isNull());
      EXPECT_EQ(pane_.templateImage->pixmap().size(), picture.size()) << "the placeholder instead";
    }
  }
}

TEST_F(WizardTest, AStyleWithoutItsPreviewPictureIsStillChosen) {
  OwnProgramFolder program(true);
  std::string name = platform::fso::SubFolderNames(program / "template")[0];
  fs::remove(fs::u8path(program / ("template/" + name + "/templateImage2.gif")));
  pane_.InitWizardLists();
  QSize shipped = pane_.templateImage->pixmap().size();
  pane_.Style[2]->click();
  EXPECT_EQ(Options().TemplatePath, program / ("template/" + name + "/xsl2"));
  EXPECT_FALSE(pane_.templateImage->pixmap().isNull());
  EXPECT_NE(pane_.templateImage->pixmap().size(), shipped) << "not the other style's picture";
}

// ---------------------------------------------------------------------------
// The whole wizard in the main window

// Passes everything on to the main window and lets a test act while the run
// goes on.
class WatchingSink : public talvora::UiSink {
 public:
  explicit WatchingSink(talvora::Form1* form) : form_(form) { qApp->installEventFilter(&notePaints_); }
  ~WatchingSink() override { qApp->removeEventFilter(&notePaints_); }
  void ProgressChanged(float value, float max) override {
    form_->ProgressChanged(value, max);
    if (onProgress) onProgress(value);
  }
  void StatusChanged(const std::string& text) override {
    statuses.push_back(text);
    form_->StatusChanged(text);
    packing = text.find("正在压缩主题资源包到当前目录 ......") != std::string::npos;
    if (text.find("正在生成 XML 目录信息文件 ......") != std::string::npos) pagePass = true;
  }
  void PumpMessages() override {
    if (packing && BusyNoteShown() && !busyNoteWhilePacking) {
      busyNoteWhilePacking = true;
      // The archiver's own pump comes just before its wait; a window
      // manager may need longer than that to expose a new window, so the
      // text must already be painted by then.
      notePaintedBeforePacking = notePaints_.count > 0;
    }
    if (onPump) onPump();
    form_->PumpMessages();
  }
  bool SawStatusEnding(const std::string& end) const {
    for (const std::string& s : statuses)
      if (s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0)
        return true;
    return false;
  }

  std::vector<std::string> statuses;
  bool packing = false;
  bool pagePass = false;  // the pass that writes the page documents has begun
  bool busyNoteWhilePacking = false;
  bool notePaintedBeforePacking = false;
  std::function<void(float)> onProgress;
  std::function<void()> onPump;

 private:
  // Counts the paints of the busy note's text.
  struct NotePaints : QObject {
    int count = 0;
    bool eventFilter(QObject* object, QEvent* event) override {
      auto* label = qobject_cast<QLabel*>(object);
      if (event->type() == QEvent::Paint && label && qobject_cast<talvora::ShowMeg*>(label->window()))
        ++count;
      return false;
    }
  };
  NotePaints notePaints_;
  talvora::Form1* form_;
};

class WizardRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qApp->setQuitOnLastWindowClosed(false);
    ResetOptions();
    form_ = &talvora::Form1::Load();
    form_->show();
    form_->Toolbar1_ButtonClick(2);
    pane_ = form_->RightFrame;
    sink_ = std::make_unique<WatchingSink>(form_);
    talvora::SetUiSink(sink_.get());
    platform::SetDesktopOpener([this](const std::string& t) { opened_.push_back(t); });
  }
  void TearDown() override {
    platform::SetDesktopOpener(nullptr);
    talvora::SetUiSink(nullptr);
    delete talvora::Form1::Loaded();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  void Grab(const char* name) {
    if (const char* to = std::getenv("TALVORA_GRAB_DIR"))
      form_->grab().save(QString::fromStdString(std::string(to) + "/" + name + ".png"));
  }
  // A tree of folders, each with a page.
  void MakeTree(const std::string& root, int folders) {
    for (int i = 0; i < folders; ++i) {
      std::string folder = root + "/" + std::to_string(10 + i) + "第" + std::to_string(i) + "节";
      MakeDirs(folder + "/练习");
      WriteFile(folder + "/讲义.htm", "<html><body>讲义</body></html>");
    }
  }

  // Presses "生  成" and runs act once, a few folders into the page pass;
  // gives whether it ran.
  bool GenerateActingMidRun(const std::function<void()>& act) {
    bool acted = false;
    sink_->pagePass = false;
    sink_->onProgress = [&](float value) {
      if (acted || !sink_->pagePass || value < 3) return;
      acted = true;
      act();
    };
    Click(pane_->finishCommand);
    sink_->onProgress = nullptr;
    return acted;
  }

  platform::ScriptedDialogs dialogs_;
  talvora::Form1* form_ = nullptr;
  WizardPane* pane_ = nullptr;
  std::unique_ptr<WatchingSink> sink_;
  std::vector<std::string> opened_;
  TempDir dir_;
};

TEST_F(WizardRunTest, GeneratesPacksAndPreviewsTheSample) {
  const std::string site = dir_ / "勾股定理";
  CopyTree(testing_support::SourceDir() + "/examples/勾股定理", site);
  WriteFile(dir_ / "banner.gif", kGif);
  Grab("wizard-page1");

  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  ASSERT_EQ(StateOf(*pane_), S2);
  EXPECT_EQ(pane_->Label9->text().toStdString(), dir_.path() + "/");
  EXPECT_EQ(pane_->rarLabel->text(), "勾股定理");

  ChooseSubject(*pane_, pane_->Subject->findText("高中数学"));
  pane_->Style[2]->click();
  dialogs_.paths.push_back(dir_ / "banner.gif");
  Click(pane_->bannerCommand);
  Grab("wizard-page2");
  Click(pane_->nextCommand);
  ASSERT_EQ(StateOf(*pane_), S3);
  pane_->footText->setText("数学组 制作");
  Grab("wizard-page3");

  Click(pane_->finishCommand);
  Grab("wizard-done");

  EXPECT_TRUE(dialogs_.shown.size() == 1u) << "only the banner's file dialog";
  EXPECT_EQ(StateOf(*pane_), S5);
  const std::string first = pane_->template_->itemText(0).toStdString();
  EXPECT_EQ(Options().TemplatePath, Program("template/" + first + "/xsl2"));
  EXPECT_EQ(Options().SubjectText, "高中数学");
  EXPECT_EQ(Options().FootText, "数学组 制作");

  // The site is complete, with the subject's logo and the chosen banner.
  for (const char* file : {"index.html", "startxml.xml", "startxml.xsl", "innerxml.xsl",
                           "startxml.files/startxml.css", "01课程目标/startxml.xml"})
    EXPECT_TRUE(fs::exists(fs::u8path(site + "/" + file))) << file;
  EXPECT_EQ(ReadFile(site + "/startxml.files/logo.gif"), ReadFile(Program("logo/logo_shuxue.gif")));
  EXPECT_EQ(ReadFile(site + "/startxml.files/banner.gif"), kGif);
  EXPECT_EQ(pane_->ProgressBar->value(), pane_->ProgressBar->maximum());

  // The archive lies beside the folder and holds the site.
  std::vector<std::string> names = ArchiveListing(dir_ / "勾股定理.rar");
  auto has = [&](const std::string& n) {
    for (const std::string& m : names)
      if (m == n || m == n + "/") return true;
    return false;
  };
  EXPECT_TRUE(has("index.html")) << names.size();
  EXPECT_TRUE(has("startxml.xml"));
  EXPECT_TRUE(has("startxml.files/logo.gif"));
  EXPECT_TRUE(has("01课程目标/startxml.xml"));
  EXPECT_TRUE(sink_->busyNoteWhilePacking);
  EXPECT_TRUE(sink_->notePaintedBeforePacking);
  EXPECT_FALSE(BusyNoteShown()) << "gone after packing";
  EXPECT_TRUE(form_->StatusPanel(2)->text().endsWith("主题资源制作完成"));

  Click(pane_->finishCommand);
  Click(pane_->finishCommand);
  // Shown over loopback: a browser applies no stylesheet to a file on disk.
  const std::string address = platform::PreviewServer::Instance().Address(site, "index.html");
  EXPECT_EQ(address.rfind("http://127.0.0.1:", 0), 0u) << address;
  EXPECT_EQ(opened_, (std::vector<std::string>{address, address}));
  EXPECT_EQ(StateOf(*pane_), S5);

  // "上一步" leaves preview mode; the same folder can be generated again.
  Click(pane_->backCommand);
  EXPECT_EQ(StateOf(*pane_), S2);
  Click(pane_->nextCommand);
  EXPECT_EQ(StateOf(*pane_), S3);
}

// Opened again for a new site, the wizard shows the idle bar it starts
// with, not the last run's full one.
TEST_F(WizardRunTest, OpenedAgainAfterARunItsBarIsIdle) {
  const struct {
    const char* how;
    std::function<void()> open;
  } cases[] = {
      {"新  建", [&] { Click(pane_->cancelCommand); }},
      {"the tree's 生成主题资源", [&] { form_->StartGenerateWizard(); }},
  };
  const WizardPane fresh;
  QProgressBar* bar = pane_->ProgressBar;
  const std::string site = dir_ / "site";
  MakeTree(site, 2);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    pane_->cancelCommand->setText("reset");
    pane_->cancelCommand_Click();
    pane_->ResourcePath->setText(QString::fromStdString(site));
    pane_->AutoRar->setChecked(false);
    Click(pane_->nextCommand);
    Click(pane_->nextCommand);
    Click(pane_->finishCommand);
    ASSERT_EQ(StateOf(*pane_), S5);
    ASSERT_GT(bar->value(), bar->minimum());
    c.open();
    EXPECT_EQ(StateOf(*pane_), S1);
    EXPECT_EQ(bar->minimum(), fresh.ProgressBar->minimum());
    EXPECT_EQ(bar->maximum(), fresh.ProgressBar->maximum());
    EXPECT_EQ(bar->value(), fresh.ProgressBar->value());
    EXPECT_EQ(bar->text(), fresh.ProgressBar->text());
  }
}

TEST_F(WizardRunTest, ThePreviewUsesTheFolderAsTypedAndNoArchiveWhenNotAsked) {
  const std::string site = dir_ / "site";
  MakeTree(site, 2);
  pane_->ResourcePath->setText(QString::fromStdString(site + "  "));
  pane_->AutoRar->setChecked(false);
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  Click(pane_->finishCommand);
  EXPECT_EQ(StateOf(*pane_), S5);
  EXPECT_TRUE(fs::exists(fs::u8path(site + "/startxml.xml")));
  EXPECT_FALSE(sink_->SawStatusEnding("正在压缩主题资源包到当前目录 ......"));
  for (const auto& e : fs::directory_iterator(fs::u8path(dir_.path())))
    EXPECT_NE(e.path().extension(), ".rar") << e.path();
  Click(pane_->finishCommand);
  EXPECT_EQ(opened_, std::vector<std::string>{site + "  /index.html"});
}

// A separator typed at the end of the folder, or a relative folder: every
// page below the root still finds the site's stylesheet.
TEST_F(WizardRunTest, FolderTypedWithATrailingSeparatorOrRelativeGivesWorkingPages) {
  const fs::path savedCwd = fs::current_path();
  fs::current_path(fs::u8path(dir_.path()));
  const std::string site = dir_ / "site";
  MakeTree(site, 1);
  for (const std::string& typed : {site + "/", std::string("site/")}) {
    SCOPED_TRACE(typed);
    fs::remove(fs::u8path(site + "/10第0节/练习/startxml.xml"));
    pane_->cancelCommand->setText("reset");
    pane_->cancelCommand_Click();
    pane_->ResourcePath->setText(QString::fromStdString(typed));
    pane_->AutoRar->setChecked(true);
    Click(pane_->nextCommand);
    Click(pane_->nextCommand);
    Click(pane_->finishCommand);
    EXPECT_EQ(StateOf(*pane_), S5);
    const std::string inner = ReadFile(site + "/10第0节/练习/startxml.xml");
    EXPECT_NE(inner.find("href=\"../../startxml.xsl\""), std::string::npos) << inner.substr(0, 120);
    // The archive lies beside the site under the folder's name, never inside
    // it under an empty one.
    EXPECT_TRUE(fs::is_regular_file(fs::u8path(dir_ / "site.rar")));
    EXPECT_FALSE(fs::exists(fs::u8path(site + "/.rar")));
    fs::remove(fs::u8path(dir_ / "site.rar"));
  }
  fs::current_path(savedCwd);
}

TEST_F(WizardRunTest, CancelStopsThePassAndTheFinishStillEndsInPreview) {
  struct Case {
    int presses;  // of the cancel button during the run
    int page;     // the page afterwards
  };
  for (const Case c : {Case{1, 3}, Case{2, 1}}) {
    const std::string site = dir_ / ("big" + std::to_string(c.presses));
    MakeTree(site, 40);
    pane_->ResourcePath->setText(QString::fromStdString(site));
    pane_->cancelCommand->setText("reset");
    pane_->cancelCommand_Click();
    Click(pane_->nextCommand);
    Click(pane_->nextCommand);
    ASSERT_EQ(StateOf(*pane_), S3);

    std::vector<std::string> captions;
    bool pressed = false;
    // A few folders into the page pass, the user presses the button.
    sink_->pagePass = false;
    sink_->onProgress = [&](float value) {
      if (pressed || !sink_->pagePass || value < 5) return;
      pressed = true;
      for (int i = 0; i < c.presses; ++i) {
        Click(pane_->cancelCommand);
        captions.push_back(pane_->cancelCommand->text().toStdString());
      }
    };
    Click(pane_->finishCommand);
    sink_->onProgress = nullptr;

    ASSERT_TRUE(pressed);
    EXPECT_EQ(captions.front(), "新  建");
    // 81 folders; the pass stopped a few folders in.
    EXPECT_LT(CountFiles(site, "startxml.xml"), 20) << c.presses;
    EXPECT_GE(CountFiles(site, "startxml.xml"), 4) << c.presses;
    // After "新  建" the pages are back at the start, "下一步" with them.
    State expected = S5;
    expected.page = c.page;
    expected.next = c.page == 1;
    EXPECT_EQ(StateOf(*pane_), expected) << c.presses;
    EXPECT_TRUE(fs::exists(fs::u8path(site + ".rar"))) << "the partial site is packed all the same";
    EXPECT_TRUE(form_->StatusPanel(2)->text().endsWith("主题资源制作完成"));
  }
}

TEST_F(WizardRunTest, NoSecondRunStartsWhileOneIsGoing) {
  const std::string site = dir_ / "big";
  MakeTree(site, 20);
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  // "新  建" during the run opens page 1; the user walks on to page 3 and
  // presses "生  成" again.
  const bool walked = GenerateActingMidRun([&] {
    Click(pane_->cancelCommand);
    Click(pane_->cancelCommand);
    Click(pane_->nextCommand);
    Click(pane_->nextCommand);
    ASSERT_EQ(StateOf(*pane_), S3);
    Click(pane_->finishCommand);
  });
  ASSERT_TRUE(walked);
  int runs = 0;
  for (const std::string& s : sink_->statuses)
    if (s.find("正在进行资料整理 ......") != std::string::npos) ++runs;
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(StateOf(*pane_), S5);
  EXPECT_TRUE(fs::exists(fs::u8path(site + ".rar")));
}

TEST_F(WizardRunTest, AFailedPackingStillLetsTheSiteBePreviewed) {
  OwnProgramFolder program(true);  // no archiver in it
  pane_->InitWizardLists();
  const std::string site = dir_ / "site";
  MakeTree(site, 2);
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  Click(pane_->finishCommand);

  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].title, "存在错误");
  EXPECT_FALSE(BusyNoteShown());
  // The site is made: the wizard shows it, though the package failed.
  EXPECT_EQ(StateOf(*pane_), S5);
  EXPECT_FALSE(sink_->SawStatusEnding("主题资源制作完成"));
  EXPECT_TRUE(form_->StatusPanel(2)->text().endsWith("主题资源包压缩失败"));
}

TEST_F(WizardRunTest, AnArchiveThatCannotBeWrittenIsReported) {
  const std::string site = dir_ / "site";
  MakeTree(site, 2);
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  // The archive's name leads into a folder that does not exist.
  pane_->rarLabel->setText("missing/site");
  Click(pane_->nextCommand);
  Click(pane_->finishCommand);

  ASSERT_EQ(dialogs_.shown.size(), 1u);
  const std::string head = "压缩主题资源包时发生错误：\r\n";
  EXPECT_EQ(dialogs_.shown[0].prompt.rfind(head, 0), 0u) << dialogs_.shown[0].prompt;
  EXPECT_GT(dialogs_.shown[0].prompt.size(), head.size());
  // With the archiver's own word on it, not just its exit status.
  EXPECT_NE(dialogs_.shown[0].prompt.find("\r\nWinRAR: 无法创建 " + dir_ / "missing/site.rar"),
            std::string::npos)
      << dialogs_.shown[0].prompt;
  EXPECT_EQ(dialogs_.shown[0].title, "错误");
  EXPECT_FALSE(BusyNoteShown());
  EXPECT_EQ(StateOf(*pane_), S5);
  EXPECT_FALSE(sink_->SawStatusEnding("主题资源制作完成"));
}

TEST_F(WizardRunTest, AFileNameThePackerCannotStoreIsNamedWithWhatToDo) {
  // A page copied from an older disk keeps its GBK name ("测试").
  const std::string site = dir_ / "勾股定理";
  MakeTree(site, 2);
  WriteFile(site + "/07井号#目录/" + platform::ToAnsi("测试") + ".htm", "<html></html>");
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  Click(pane_->finishCommand);

  ASSERT_EQ(dialogs_.shown.size(), 1u);
  const std::string& prompt = dialogs_.shown[0].prompt;
  EXPECT_EQ(prompt, "压缩主题资源包时发生错误：\r\n压缩程序返回错误代码 2\r\nWinRAR: 文件夹 " + site +
                        "/07井号#目录 中的文件“\uFFFD\uFFFD\uFFFD\uFFFD.htm”的名称不是有效的 UTF-8 编码，"
                        "压缩包无法按原样存放；请把它改名后重新打包");
  EXPECT_FALSE(fs::exists(fs::u8path(site + ".rar")));
  // The site itself is complete and can be previewed.
  EXPECT_EQ(StateOf(*pane_), S5);
  EXPECT_TRUE(fs::exists(fs::u8path(site + "/index.html")));
  Click(pane_->finishCommand);
  EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(WizardRunTest, AFailedGenerationIsReportedAndCanBeRetried) {
  const std::string site = dir_ / "site";
  MakeTree(site, 3);
  // A folder in the way of a page document: the run cannot write it.
  const std::string blocker = site + "/11第1节/startxml.xml";
  MakeDirs(blocker);
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  Click(pane_->finishCommand);

  ASSERT_EQ(dialogs_.shown.size(), 1u);
  const std::string head = "生成主题资源时发生错误：\r\n";
  EXPECT_EQ(dialogs_.shown[0].prompt.rfind(head, 0), 0u) << dialogs_.shown[0].prompt;
  EXPECT_GT(dialogs_.shown[0].prompt.size(), head.size()) << "with the error's description";
  EXPECT_EQ(dialogs_.shown[0].title, "错误");
  EXPECT_EQ(StateOf(*pane_), S3);
  EXPECT_FALSE(sink_->SawStatusEnding("主题资源制作完成"));
  EXPECT_FALSE(fs::exists(fs::u8path(site + ".rar")));

  // Once the obstacle is gone, the same press goes through.
  fs::remove_all(fs::u8path(blocker));
  Click(pane_->finishCommand);
  EXPECT_EQ(StateOf(*pane_), S5);
  EXPECT_TRUE(fs::exists(fs::u8path(site + "/11第1节/startxml.xml")));
}

// The entry page a broken-off run left aside: the wizard's last status text
// tells that it was put back; beside a new index.html the run is refused,
// and the wizard shows why.
TEST_F(WizardRunTest, AnEntryPageLeftAsideByABrokenOffRunIsReported) {
  const std::string site = dir_ / "site";
  MakeTree(site, 3);
  const std::string left = site + "/" + talvora::kEntryPageAsideName;
  const std::string index = site + "/index.html";
  WriteFile(left, "<html>own</html>");
  pane_->AutoRar->setChecked(false);
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  Click(pane_->finishCommand);
  ASSERT_EQ(StateOf(*pane_), S5);
  const std::string shown = form_->StatusPanel(2)->text().toStdString();
  EXPECT_NE(shown.find("主题资源制作完成"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\"" + left + "\""), std::string::npos) << shown;
  EXPECT_TRUE(dialogs_.shown.empty()) << dialogs_.LastPrompt();

  // Both pages there: refused, with both named.
  Click(pane_->cancelCommand);  // "新  建"
  WriteFile(left, "<html>own</html>");
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  Click(pane_->finishCommand);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].prompt.find("\"" + left + "\""), std::string::npos)
      << dialogs_.shown[0].prompt;
  EXPECT_NE(dialogs_.shown[0].prompt.find("\"" + index + "\""), std::string::npos)
      << dialogs_.shown[0].prompt;
  EXPECT_EQ(StateOf(*pane_), S3);
  EXPECT_EQ(ReadFile(left), "<html>own</html>");
}

// "新  建" pressed during a run whose packing then fails: the pages stay
// where the press put them, back at the start, not ready to run again.
TEST_F(WizardRunTest, NewPressedDuringARunThatFailsKeepsTheFreshStart) {
  OwnProgramFolder program(true);  // no archiver in it: the packing fails
  pane_->InitWizardLists();
  const std::string site = dir_ / "site";
  MakeTree(site, 20);
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  const bool pressed = GenerateActingMidRun([&] {
    Click(pane_->cancelCommand);  // "取  消"
    Click(pane_->cancelCommand);  // "新  建"
  });
  ASSERT_TRUE(pressed);
  EXPECT_TRUE(form_->StatusPanel(2)->text().endsWith("主题资源包压缩失败"));
  EXPECT_EQ(StateOf(*pane_), S1);
}

// The tree's edit command during the wizard's own run is refused before it
// touches the wizard: the run keeps its buttons, its folder and its packing.
TEST_F(WizardRunTest, TheEditCommandLeavesARunningWizardAlone) {
  const std::string site = dir_ / "big";
  const std::string other = dir_ / "other";
  MakeTree(site, 20);
  MakeTree(other, 1);
  ASSERT_NE(tree_helpers::OpenDownTo(*form_, other), nullptr);
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  pane_->AutoRar->setChecked(false);
  Click(pane_->nextCommand);
  State before{}, after{};
  const bool edited = GenerateActingMidRun([&] {
    form_->TreeView1->setCurrentItem(form_->NodeOfKey(other));
    before = StateOf(*pane_);
    form_->RegenerateResource();
    after = StateOf(*pane_);
  });
  ASSERT_TRUE(edited);
  EXPECT_FALSE(before.finishOn);
  EXPECT_EQ(after, before);
  EXPECT_EQ(pane_->ResourcePath->text().toStdString(), site);
  EXPECT_FALSE(pane_->AutoRar->isChecked());
  EXPECT_FALSE(fs::exists(fs::u8path(site + ".rar")));
  EXPECT_FALSE(fs::exists(fs::u8path(other + "/startxml.xml")));
  EXPECT_EQ(StateOf(*pane_), S5);
}

// The window manager's close during the wizard's run waits for the run to
// end, then closes the window.
TEST_F(WizardRunTest, ClosingDuringTheRunWaitsForItsEnd) {
  const std::string site = dir_ / "big";
  MakeTree(site, 20);
  pane_->ResourcePath->setText(QString::fromStdString(site));
  Click(pane_->nextCommand);
  Click(pane_->nextCommand);
  ASSERT_TRUE(GenerateActingMidRun([&] { form_->close(); }));
  // The run ended in a window that was still there.
  ASSERT_EQ(talvora::Form1::Loaded(), form_);
  EXPECT_EQ(StateOf(*pane_), S5);
  EXPECT_TRUE(fs::exists(fs::u8path(site + ".rar")));
  EXPECT_TRUE(testing_support::WaitUntil([] {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return talvora::Form1::Loaded() == nullptr;
  }, 10000));
}

}  // namespace
