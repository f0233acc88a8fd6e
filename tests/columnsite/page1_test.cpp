// Quenlet's window: its start state, the options, the run and its cancel,
// and a whole run over the example column sites.
#include "columnsite/page1.h"

#include <functional>
#include <string>
#include <vector>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "column_fixture.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace quenlet {
namespace {

using platform::fso::FileExists;
using testing_support::MakeDirs;
using testing_support::ReadFile;
using testing_support::SourceDir;
using testing_support::TempDir;
using testing_support::WriteFile;

using QuenletPage1 = ColumnTest;

std::string Data(const std::string& relative) { return ProgramDataFolder() + "/" + relative; }

TEST_F(QuenletPage1, StartsIdleWithTheFirstSubjectAndStyle) {
  Page1 page;
  EXPECT_EQ(page.finishCommand->text(), QStringLiteral("生  成"));
  EXPECT_FALSE(page.finishCommand->isEnabled());
  EXPECT_EQ(page.cancelCommand->text(), QStringLiteral("取  消"));
  EXPECT_TRUE(page.cancelCommand->isEnabled());
  ASSERT_EQ(page.Subject->count(), 8);
  EXPECT_EQ(page.Subject->currentText(), QStringLiteral("语文"));
  EXPECT_EQ(page.Subject->itemText(7), QStringLiteral("地理"));
  EXPECT_TRUE(page.Style[1]->isChecked());
  EXPECT_EQ(page.Style[3]->text(), QStringLiteral("桔 色"));
  EXPECT_TRUE(page.lanmu->isHidden());
  EXPECT_TRUE(page.lm1->isChecked());
  EXPECT_EQ(page.lm2->text(), QStringLiteral("（8个栏目）"));
  EXPECT_TRUE(page.showmsg->text().isEmpty());
  EXPECT_TRUE(page.ProgressMsg->text().isEmpty());
  EXPECT_EQ(Options().TemplatePath, Data("template/资源部专用/xsl1"));
  EXPECT_EQ(Options().LogoPath, Data("logo/logo_yuwen.gif"));
  EXPECT_EQ(Options().SubjectText, "语文");
  EXPECT_FALSE(Options().FootText.empty());

  // The exact captions: full-width colons and brackets, one blank in the styles.
  const std::pair<QString, const char*> captions[] = {
      {page.Label4->text(), "选择目录："}, {page.Label1->text(), "选择学科："},
      {page.Label3->text(), "选择样式："}, {page.MainResourcePath->text(), "..."},
      {page.Style[1]->text(), "蓝 色"},    {page.Style[2]->text(), "绿 色"},
      {page.lm1->text(), "（7个栏目）"},
  };
  for (const auto& [shown, expected] : captions)
    EXPECT_EQ(shown.toStdString(), expected);
  // The options frame holds the style choice and the column frame; both
  // frames lie in the borderless one.
  EXPECT_EQ(page.lanmu->parentWidget(), page.Style[1]->parentWidget());
  EXPECT_EQ(page.Subject->parentWidget(), page.lanmu->parentWidget());
  EXPECT_EQ(page.ResourcePath->parentWidget()->parentWidget(), page.Page111);
  EXPECT_EQ(page.lanmu->parentWidget()->parentWidget(), page.Page111);
}

TEST_F(QuenletPage1, SubjectChoosesLogoColumnsAndArrayIniTemplate) {
  Page1 page;
  struct Case {
    int index;
    std::string subject, logo;
    bool columns;
  } cases[] = {
      {1, "数学", "logo_shuxue.gif", true},  {0, "语文", "logo_yuwen.gif", false},
      {2, "英语", "logo_yingyu.gif", false}, {7, "地理", "logo_dili.gif", false},
  };
  for (const Case& c : cases) {
    page.Subject->setCurrentIndex(c.index);
    EXPECT_EQ(Options().SubjectText, c.subject);
    EXPECT_EQ(Options().LogoPath, Data("logo/" + c.logo));
    EXPECT_TRUE(FileExists(Options().LogoPath)) << c.logo;
    EXPECT_EQ(page.lanmu->isHidden(), !c.columns) << c.subject;
  }
  page.Subject->setCurrentIndex(1);
  EXPECT_EQ(page.ArrayIniTemplate(), Data("subject/数学（7个栏目）.ini"));
  page.lm2->click();
  EXPECT_EQ(page.ArrayIniTemplate(), Data("subject/数学（8个栏目）.ini"));
  page.Subject->setCurrentIndex(3);
  EXPECT_EQ(page.ArrayIniTemplate(), Data("subject/物理.ini"));

  for (int i : {3, 2, 1}) {
    page.Style[i]->click();
    EXPECT_EQ(Options().TemplatePath, Data("template/资源部专用/xsl" + std::to_string(i)));
    EXPECT_TRUE(FileExists(Options().TemplatePath + "/startxml.xsl"));
  }
}

TEST_F(QuenletPage1, CommandLineFillsTheFolderAndMarksTheStart) {
  const char* argv[] = {"Quenlet", "/home/a", "b", "c"};
  EXPECT_EQ(ArgumentText(4, const_cast<char**>(argv)), "/home/a b c");
  EXPECT_EQ(ArgumentText(1, const_cast<char**>(argv)), "");

  Page1 page;
  Main(page, "");
  EXPECT_FALSE(Options().StartedWithPath);
  EXPECT_FALSE(page.finishCommand->isEnabled());
  Main(page, " /some folder ");
  EXPECT_TRUE(Options().StartedWithPath);
  EXPECT_EQ(page.ResourcePath->text(), QStringLiteral(" /some folder "));
  EXPECT_TRUE(page.finishCommand->isEnabled());
}

TEST_F(QuenletPage1, BrowseKeepsTheTextWhenCancelled) {
  platform::ScriptedDialogs dialogs;
  dialogs.paths = {"/chosen", ""};
  Page1 page;
  page.MainResourcePath->click();
  EXPECT_EQ(page.ResourcePath->text(), QStringLiteral("/chosen"));
  EXPECT_TRUE(page.finishCommand->isEnabled());
  page.MainResourcePath->click();
  EXPECT_EQ(page.ResourcePath->text(), QStringLiteral("/chosen"));
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].prompt, "请选择主题资源目录：");
}

TEST_F(QuenletPage1, MissingFolderIsReportedAndNothingRuns) {
  for (const char* text : {"/no/such/folder", "\"/tmp\"", "   "}) {
    platform::ScriptedDialogs dialogs;
    Page1 page;
    page.ResourcePath->setText(QString::fromUtf8(text));
    page.finishCommand->click();
    ASSERT_EQ(dialogs.shown.size(), 1u) << text;
    EXPECT_EQ(dialogs.shown[0].prompt, "所选目录不存在");
    EXPECT_EQ(dialogs.shown[0].title, "错误");
    EXPECT_TRUE(page.showmsg->text().isEmpty());
  }
}

TEST_F(QuenletPage1, CancelWhileIdleDoesNotStopTheNextRun) {
  TempDir dir;
  MakeDirs(dir / "site/学习测评");
  MakeDirs(dir / "site/网络导航");
  Page1 page;
  page.cancelCommand->click();
  page.ResourcePath->setText(QString::fromStdString("  " + dir.path() + "  "));
  page.finishCommand->click();
  EXPECT_EQ(page.ProgressMsg->text(), QStringLiteral("完成"));
  EXPECT_EQ(page.showmsg->text(), QString::fromStdString(dir / "site"));
  EXPECT_TRUE(FileExists(dir / "site/startxml.xml"));
  EXPECT_EQ(page.ProgressBar->value(), page.ProgressBar->maximum());
  EXPECT_EQ(Options().CancelFlag, 0);
}

TEST_F(QuenletPage1, AFolderWithoutAColumnSiteSaysSoAndLooksIdle) {
  TempDir dir;
  WriteFile(dir / "lessons/unit/page.htm", "<html></html>");
  // The pair that makes a column site below the start, but only one of it.
  MakeDirs(dir / "lessons/other/媒体中心");
  platform::ScriptedDialogs dialogs;
  Page1 page;
  page.ResourcePath->setText(QString::fromStdString(dir / "lessons"));
  page.finishCommand->click();
  EXPECT_EQ(page.showmsg->text(), QString::fromStdString(dir / "lessons"));
  EXPECT_EQ(page.ProgressMsg->text(), QStringLiteral("该目录中没有找到栏目网站"));
  // Not a run still going: no text of work under way, no busy bar.
  EXPECT_FALSE(page.showmsg->text().contains(QStringLiteral("正在")));
  EXPECT_GT(page.ProgressBar->maximum(), page.ProgressBar->minimum());
  EXPECT_TRUE(page.finishCommand->isEnabled());
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(FileExists(dir / "lessons/startxml.xml"));
  EXPECT_EQ(ExitStatus(page), kExitNothingGenerated);
}

TEST_F(QuenletPage1, CancelDuringTheSearchGeneratesNothing) {
  TempDir dir;
  MakeDirs(dir / "a/site/学习测评");
  MakeDirs(dir / "a/site/网络导航");
  platform::ScriptedDialogs dialogs;
  Page1 page;
  // The search pumps messages once per folder: a cancel press lands there.
  QMetaObject::invokeMethod(page.cancelCommand, "click", Qt::QueuedConnection);
  page.ResourcePath->setText(QString::fromStdString(dir.path()));
  page.finishCommand->click();
  EXPECT_EQ(page.ProgressMsg->text(), QStringLiteral("操作已取消"));
  EXPECT_EQ(page.showmsg->text(), QStringLiteral("正在进行资源目录统计..........."));
  EXPECT_FALSE(FileExists(dir / "a/site/startxml.xml"));
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(ExitStatus(page), kExitNothingGenerated);
}

// The cancel button, or closing the window, during a run.
TEST_F(QuenletPage1, CancelDuringASiteEndsItAndStartsNoFurtherSite) {
  const struct {
    const char* what;
    std::function<void(Page1&)> stop;
  } cases[] = {
      {"the cancel button", [](Page1& page) { page.cancelCommand->click(); }},
      {"closing the window", [](Page1& page) { page.close(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    for (const char* site : {"one", "two"}) {
      MakeDirs(dir / (std::string(site) + "/学习测评"));
      MakeDirs(dir / (std::string(site) + "/网络导航"));
    }
    platform::ScriptedDialogs dialogs;
    Page1 page;
    page.show();
    // The first site's catalogue pass moves the bar: the run is stopped there.
    bool stopped = false;
    QObject::connect(page.ProgressBar, &QProgressBar::valueChanged, [&](int value) {
      if (value <= 0 || stopped) return;
      stopped = true;
      c.stop(page);
    });
    page.ResourcePath->setText(QString::fromStdString(dir.path()));
    page.finishCommand->click();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(page.showmsg->text(), QString::fromStdString(dir / "one"));
    EXPECT_EQ(page.ProgressMsg->text(), QStringLiteral("操作已取消"));
    // The cancelled site still gets its template; the next one is not started.
    EXPECT_TRUE(FileExists(dir / "one/startxml.xsl"));
    EXPECT_FALSE(FileExists(dir / "two/startxml.xsl"));
    EXPECT_EQ(Options().CancelFlag, 0);
    EXPECT_TRUE(dialogs.shown.empty());
    // A site cut short is not a generated one.
    EXPECT_EQ(ExitStatus(page), kExitNothingGenerated);
  }
}

TEST_F(QuenletPage1, PressingGenerateDuringARunStartsNoSecondRun) {
  TempDir dir;
  MakeDirs(dir / "site/学习测评");
  MakeDirs(dir / "site/网络导航");
  WriteFile(dir / "site/学习测评/a.htm", "x");
  platform::ScriptedDialogs dialogs;
  Page1 page;
  page.ResourcePath->setText(QString::fromStdString(dir.path()));
  int pressedDuringRun = 0;
  bool generatedByThePress = false;
  // Pressed again while the first run pumps messages during its search,
  // before any site is generated: that press must not generate one.
  QObject::connect(page.finishCommand, &QPushButton::clicked, [&] {
    if (!page.Running()) return;
    ++pressedDuringRun;
    generatedByThePress = FileExists(dir / "site/startxml.xml");
  });
  QMetaObject::invokeMethod(page.finishCommand, "click", Qt::QueuedConnection);
  page.finishCommand->click();
  EXPECT_EQ(pressedDuringRun, 1);
  EXPECT_FALSE(generatedByThePress);
  EXPECT_FALSE(page.Running());
  EXPECT_EQ(page.ProgressMsg->text(), QStringLiteral("完成"));
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_TRUE(FileExists(dir / "site/学习测评/startxml.xml"));
}

TEST_F(QuenletPage1, FailureDuringASiteIsShownInAMessageBox) {
  TempDir dir;
  MakeDirs(dir / "site/学习测评/startxml.xml");  // a folder where a page must go
  MakeDirs(dir / "site/网络导航");
  platform::ScriptedDialogs dialogs;
  Page1 page;
  page.ResourcePath->setText(QString::fromStdString(dir.path()));
  page.finishCommand->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].prompt.find("生成栏目网站时出错"), std::string::npos);
  EXPECT_EQ(Options().CancelFlag, 0);
  EXPECT_FALSE(page.Running());
  EXPECT_EQ(ExitStatus(page), kExitNothingGenerated);
}

// Started from the main program on a column site's own folder, Quenlet finds
// that site, of either kind, and generates it; its exit status then tells
// the main program that a site was generated.
TEST_F(QuenletPage1, StartedOnAColumnSitesOwnFolderGeneratesThatSite) {
  for (const char* name : {"勾股定理栏目", "名画欣赏"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    const std::string site = dir / name;
    platform::fso::CopyFolder(SourceDir() + "/examples/栏目示例/" + name, site, true);
    platform::ScriptedDialogs dialogs;
    Page1 page;
    Main(page, site);
    EXPECT_EQ(ExitStatus(page), kExitNothingGenerated);
    page.finishCommand->click();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.LastPrompt();
    EXPECT_EQ(page.showmsg->text(), QString::fromStdString(site));
    EXPECT_EQ(page.ProgressMsg->text(), QStringLiteral("完成"));
    for (const char* f : {"", "/媒体中心", "/图片欣赏"})
      EXPECT_TRUE(FileExists(site + f + "/startxml.xml")) << f;
    EXPECT_EQ(ExitStatus(page), 0);
  }
}

// The example column sites, started from the main program with their folder.
TEST_F(QuenletPage1, WholeRunOverTheExampleSites) {
  TempDir dir;
  platform::fso::CopyFolder(SourceDir() + "/examples/栏目示例", dir / "栏目示例", true);
  const std::string start = dir / "栏目示例";
  const std::string site = start + "/勾股定理栏目", gallery = start + "/名画欣赏";
  const std::string ownIndex = ReadFile(site + "/index.html");
  ASSERT_EQ(ownIndex.substr(0, 3), "<qz");

  platform::ScriptedDialogs dialogs;
  Page1 page;
  Main(page, start);
  page.Subject->setCurrentIndex(1);  // 数学
  page.Style[2]->click();
  page.finishCommand->click();
  EXPECT_TRUE(dialogs.shown.empty()) << dialogs.LastPrompt();
  EXPECT_EQ(page.ProgressMsg->text(), QStringLiteral("完成"));
  // The second site found is the last one generated.
  EXPECT_EQ(page.showmsg->text(), QString::fromStdString(gallery));

  // Site files: the green style, the subject's logo, the kept entry page.
  EXPECT_EQ(ReadFile(site + "/index.html"), ownIndex);
  EXPECT_EQ(ReadFile(site + "/startxml.xsl"), ReadFile(Data("template/资源部专用/xsl2/startxml.xsl")));
  EXPECT_EQ(ReadFile(site + "/startxml.files/startxml.css"),
            ReadFile(Data("template/资源部专用/xsl2/startxml.files/startxml.css")));
  EXPECT_EQ(ReadFile(site + "/startxml.files/logo.gif"), ReadFile(Data("logo/logo_shuxue.gif")));
  // The site without an entry page of its own gets the template's, and the
  // subject's array.ini since it had none.
  EXPECT_EQ(ReadFile(gallery + "/index.html"), ReadFile(Data("template/资源部专用/xsl2/index.html")));
  EXPECT_EQ(ReadFile(gallery + "/array.ini"), ReadFile(Data("subject/数学（7个栏目）.ini")));
  EXPECT_EQ(ReadFile(site + "/array.ini"),
            ReadFile(SourceDir() + "/examples/栏目示例/勾股定理栏目/array.ini"));

  // The electronic textbook opens its last page.
  EXPECT_EQ(ReadFile(site + "/2电子课本/index.html"),
            "<script language=javascript>window.location.href=\"" + platform::ToAnsi("第2页.htm") +
                "\";</script>\r\n");

  // Page documents in every folder of the site.
  for (const char* f : {"", "/1课程导学", "/2电子课本", "/学习测评", "/学习测评/答案", "/网络导航",
                        "/媒体中心", "/图片欣赏"})
    EXPECT_TRUE(FileExists(site + f + "/startxml.xml")) << f;

  platform::XmlDocument home;
  ASSERT_TRUE(home.LoadXml(platform::FromAnsi(ReadFile(site + "/startxml.xml"))));
  platform::XmlNode select;
  std::vector<std::string> navigation;
  for (platform::XmlNode n = home.DocumentElement().FirstChild(); n; n = n.NextSibling()) {
    if (n.Name() == "selectNode") select = n;
    if (n.Name() == "node") navigation.push_back(n.Attribute("name"));
  }
  EXPECT_EQ(home.DocumentElement().Attribute("subject"), "数学");
  EXPECT_EQ(navigation, (std::vector<std::string>{"课程导学", "电子课本", "学习测评", "网络导航",
                                                  "媒体中心", "图片欣赏"}));
  std::vector<std::string> columns;
  for (platform::XmlNode n = select.FirstChild(); n; n = n.NextSibling())
    columns.push_back(n.Attribute("name") + "@" + n.Attribute("place") + n.Attribute("order"));
  EXPECT_EQ(columns, (std::vector<std::string>{"课程导学@left1", "电子课本@left2", "学习测评@right1",
                                               "网络导航@right2", "媒体中心@foot1", "图片欣赏@foot2"}));

  // The picture page shows its pictures full size with their thumbnails.
  std::string pictures = platform::FromAnsi(ReadFile(site + "/图片欣赏/startxml.xml"));
  EXPECT_NE(pictures.find("href=\"../startxml.xsl\""), std::string::npos);
  EXPECT_NE(pictures.find("<selectNode name=\"图片欣赏\" dir=\"图片欣赏\" pages=\"2\" link=\"\" "
                          "level=\"1\" selected=\"true\" fullImages=\"yes\">"),
            std::string::npos);
  EXPECT_NE(pictures.find("link=\"赵爽弦图.jpg\" type=\"jpg\" level=\"2\" zoomImage=\"TN_赵爽弦图.jpg\""),
            std::string::npos);
  EXPECT_EQ(pictures.find("link=\"TN_赵爽弦图.jpg\""), std::string::npos);

  // The last site's catalogue is kept for inspection.
  std::string copy = platform::FromAnsi(ReadFile(CatalogueCopyPath()));
  EXPECT_NE(copy.find("名画导览.swf"), std::string::npos);

  // A second run (now every site has its array.ini and entry page) gives the same pages.
  const std::string first = ReadFile(site + "/学习测评/startxml.xml");
  page.finishCommand->click();
  EXPECT_EQ(ReadFile(site + "/学习测评/startxml.xml"), first);
  EXPECT_EQ(ReadFile(site + "/index.html"), ownIndex);
  EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace quenlet
