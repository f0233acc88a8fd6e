#include "wizard/wizard_pane.h"

#include <cmath>
#include <exception>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextOption>

#include "generator/generator.h"
#include "generator/uitl.h"
#include "platform/dialogs.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "platform/preview_server.h"
#include "platform/twips.h"

namespace talvora {
namespace {

// The folder text without separators at its end; the root keeps its own.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == platform::kSep) path.pop_back();
  return path;
}

// Positions are kept in twips.
constexpr auto Px = platform::TwipsToPixels;
constexpr auto Place = platform::PlaceInTwips;

const char* kPictureFilter = "图像文件(*.gif)|*.gif|";

// The subjects in list order, each with the logo its index chooses.
struct SubjectEntry {
  const char* subject;
  const char* logo;
};
const SubjectEntry kSubjects[] = {
    {"小学语文", "logo_yuwen.gif"},   {"小学数学", "logo_shuxue.gif"},
    {"小学英语", "logo_yingyu.gif"},  {"初中语文", "logo_yuwen.gif"},
    {"初中数学", "logo_shuxue.gif"},  {"初中英语", "logo_yingyu.gif"},
    {"初中物理", "logo_wuli.gif"},    {"初中化学", "logo_huaxue.gif"},
    {"初中生物", "logo_shengwu.gif"}, {"初中历史", "logo_lishi.gif"},
    {"初中地理", "logo_dili.gif"},    {"高中语文", "logo_yuwen.gif"},
    {"高中数学", "logo_shuxue.gif"},  {"高中英语", "logo_yingyu.gif"},
    {"高中物理", "logo_wuli.gif"},    {"高中化学", "logo_huaxue.gif"},
    {"高中生物", "logo_shengwu.gif"}, {"高中历史", "logo_lishi.gif"},
    {"高中地理", "logo_dili.gif"},
};
constexpr int kSubjectCount = sizeof kSubjects / sizeof kSubjects[0];

const char* kUsageText =
    "Talvora 主题资源生成向导  使用方法：\n"
    "本向导把按目录树组织起来的一组资源文件制作成以网页形式浏览的主题资源。\n"
    "\n"
    "★1.建立一个用来存放资源的目录，如（背影）。“背影”目录下建立主题资源的子栏目（即子目录）"
    "如:“课程目标、互动课本、演示文稿、相关素材、学习评测、教案示例”.子栏目下可以用来存入资源素材"
    "或继续建立子栏目。\n"
    "★2.选择主题资源目录，点“下一步”。\n"
    "★3.选择主题资源的Logo，Banner。并确定要生成的主题资源模板及样式，确定主题资源所属学科。\n"
    "★4.选择主题资源首页面的Welcome图片及输入页脚显示文字。";

std::string Text(const QLineEdit* box) { return box->text().toStdString(); }
QString Q(const std::string& text) { return QString::fromStdString(text); }

// Blanks are what the user's typing leaves around a folder; other white
// space is part of the name.
std::string TrimBlanks(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// Loads a picture file into the control; false (and the old picture kept)
// when the file is missing or not a picture.
bool LoadPicture(QLabel* box, const std::string& path) {
  QPixmap picture;
  if (path.empty() || !picture.load(Q(path))) return false;
  box->setPixmap(picture);
  return true;
}

// A plain framed picture with a word on it, shown until a file is chosen.
QPixmap Placeholder(int width, int height, const QString& word) {
  QPixmap picture(width, height);
  picture.fill(QColor(0xee, 0xf1, 0xf5));
  QPainter painter(&picture);
  painter.setPen(QColor(0x9a, 0xa4, 0xb1));
  painter.drawRect(0, 0, width - 1, height - 1);
  painter.drawText(picture.rect(), Qt::AlignCenter, word);
  return picture;
}

// A small decorative picture for the pages: a folder-like shape.
QPixmap Decoration(int size, const QColor& colour) {
  QPixmap picture(size, size);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour.lighter(130));
  painter.drawRoundedRect(QRectF(size * 0.08, size * 0.18, size * 0.4, size * 0.2), 3, 3);
  painter.setBrush(colour);
  painter.drawRoundedRect(QRectF(size * 0.08, size * 0.28, size * 0.84, size * 0.56), 4, 4);
  return picture;
}

// Marks a run in progress for as long as it lives, and tells the host when
// it is over.
class Running {
 public:
  Running(bool& flag, const std::function<void()>& ended) : flag_(flag), ended_(ended) { flag_ = true; }
  ~Running() {
    flag_ = false;
    if (ended_) ended_();
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

 private:
  bool& flag_;
  const std::function<void()>& ended_;
};

}  // namespace

PictureBox::PictureBox(QWidget* parent) : QLabel(parent) {
  setScaledContents(true);
  setFrameShape(QFrame::NoFrame);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  inDoubleClick_ = false;
  QLabel::mousePressEvent(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
  // The release that ends a double-click is not a second click.
  if (inDoubleClick_) {
    inDoubleClick_ = false;
  } else if (event->button() == Qt::LeftButton) {
    emit Click();
  }
  QLabel::mouseReleaseEvent(event);
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) {
  inDoubleClick_ = true;
  if (event->button() == Qt::LeftButton) emit DblClick();
}

WizardPane::WizardPane(QWidget* parent) : QWidget(parent) {
  Place(this, 0, 0, 8265, 6645);
  // The pane covers the picture behind it.
  setAutoFillBackground(true);

  // --- Page 1 ---
  Page111 = new QWidget(this);
  Place(Page111, 0, 0, 8265, 5145);
  Image1 = new QLabel(Page111);
  Place(Image1, 240, 240, 600, 600);
  Image1->setPixmap(Decoration(Px(600), QColor(0x4a, 0x7d, 0xc4)));
  Text1 = new QPlainTextEdit(Page111);
  Place(Text1, 1000, 240, 6265, 3500);
  Text1->setReadOnly(true);
  Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  Text1->setPlainText(QString::fromUtf8(kUsageText));
  pageFrame1 = new QGroupBox(QStringLiteral("选择目录"), Page111);
  Place(pageFrame1, 1570, 4145, 6195, 855);
  ResourcePath = new QLineEdit(pageFrame1);
  Place(ResourcePath, 240, 360, 4132, 330);
  MainResourcePath = new QPushButton(QStringLiteral("浏    览"), pageFrame1);
  Place(MainResourcePath, 5040, 330, 1095, 375);

  // --- Page 2 ---
  Page222 = new QWidget(this);
  Place(Page222, 0, 0, 8265, 5145);
  Image3 = new QLabel(Page222);
  Place(Image3, 240, 240, 1440, 1440);
  Image3->setPixmap(Decoration(Px(1440), QColor(0x5b, 0x9b, 0x5a)));

  pageFrame2 = new QGroupBox(QStringLiteral("设定"), Page222);
  Place(pageFrame2, 1800, 120, 2100, 3087);
  Label1 = new QLabel(QStringLiteral("选择模板："), pageFrame2);
  Place(Label1, 120, 240, 1860, 240);
  template_ = new QComboBox(pageFrame2);
  Place(template_, 120, 480, 1860, 315);
  Label3 = new QLabel(QStringLiteral("选择样式及科目："), pageFrame2);
  Place(Label3, 120, 840, 1860, 240);
  const char* styleCaptions[] = {"", "蓝 色", "绿 色", "桔 色"};
  Style[0] = nullptr;
  for (int i = 1; i <= 3; ++i) {
    Style[i] = new QRadioButton(QString::fromUtf8(styleCaptions[i]), pageFrame2);
    Place(Style[i], 120, 1080 + (i - 1) * 240, 1860, 240);
  }
  Subject = new QComboBox(pageFrame2);
  Subject->setEditable(true);
  Subject->setInsertPolicy(QComboBox::NoInsert);
  Place(Subject, 120, 1830, 1860, 315);
  AutoRar = new QCheckBox(QStringLiteral("完成后压缩为"), pageFrame2);
  Place(AutoRar, 120, 2190, 1860, 240);
  AutoRar->setChecked(true);
  Label9 = new QLabel(pageFrame2);
  Place(Label9, 120, 2445, 1860, 240);
  rarLabel = new QLineEdit(QStringLiteral("Text2"), pageFrame2);
  Place(rarLabel, 120, 2700, 1380, 285);
  Label8 = new QLabel(QStringLiteral(".rar"), pageFrame2);
  Place(Label8, 1545, 2730, 420, 240);

  pageFrame3 = new QGroupBox(QStringLiteral("预览"), Page222);
  Place(pageFrame3, 4100, 120, 4132, 3087);
  templateImage = new PictureBox(pageFrame3);
  Place(templateImage, 100, 240, 3932, 2058);
  templateImage->setPixmap(Placeholder(Px(3932), Px(2058), QStringLiteral("模板预览")));
  logoImage = new PictureBox(pageFrame3);
  Place(logoImage, 100, 2370, 1377, 615);
  logoImage->setPixmap(Placeholder(Px(1377), Px(615), QStringLiteral("LOGO")));
  bannerImage = new PictureBox(pageFrame3);
  Place(bannerImage, 1387, 2370, 2655, 615);
  bannerImage->setPixmap(Placeholder(Px(2655), Px(615), QStringLiteral("Banner")));

  pageFrame4 = new QGroupBox(QStringLiteral("标志区设定"), Page222);
  Place(pageFrame4, 1800, 3300, 6432, 1400);
  Label5 = new QLabel(QStringLiteral("选择择 LOGO 图片路径："), pageFrame4);
  Place(Label5, 120, 330, 2520, 255);
  logoText = new QLineEdit(pageFrame4);
  Place(logoText, 2640, 300, 2755, 315);
  logoCommand = new QPushButton(QStringLiteral("..."), pageFrame4);
  Place(logoCommand, 5675, 285, 375, 345);
  Label2 = new QLabel(QStringLiteral("选择择Banner图片路径："), pageFrame4);
  Place(Label2, 120, 810, 2520, 255);
  bannerText = new QLineEdit(pageFrame4);
  Place(bannerText, 2640, 780, 2755, 315);
  bannerCommand = new QPushButton(QStringLiteral("..."), pageFrame4);
  Place(bannerCommand, 5675, 765, 375, 345);

  // --- Page 3 ---
  Page333 = new QWidget(this);
  Place(Page333, 0, 0, 8265, 5145);
  Image2 = new QLabel(Page333);
  Place(Image2, 240, 240, 900, 900);
  Image2->setPixmap(Decoration(Px(900), QColor(0xd9, 0x82, 0x2b)));
  pageFrame5 = new QGroupBox(QStringLiteral("欢迎图片及页脚设置"), Page333);
  Place(pageFrame5, 1180, 1029, 6198, 3200);
  Label6 = new QLabel(QStringLiteral("选择Welcome图片路径："), pageFrame5);
  Place(Label6, 240, 360, 2400, 255);
  welcomeText = new QLineEdit(pageFrame5);
  Place(welcomeText, 240, 660, 4800, 315);
  welcomeCommand = new QPushButton(QStringLiteral("..."), pageFrame5);
  Place(welcomeCommand, 5160, 645, 375, 345);
  welcomeImage = new PictureBox(pageFrame5);
  Place(welcomeImage, 240, 1080, 2400, 1200);
  welcomeImage->setPixmap(Placeholder(Px(2400), Px(1200), QStringLiteral("Welcome")));
  Label7 = new QLabel(QStringLiteral("请输入页脚文字："), pageFrame5);
  Place(Label7, 240, 2400, 2400, 255);
  footText = new QLineEdit(QString::fromUtf8(kDefaultFootText), pageFrame5);
  Place(footText, 240, 2700, 5500, 315);

  // --- The button row ---
  buttomFrame = new QWidget(this);
  Place(buttomFrame, 2385, 5145, 5880, 1500);
  ProgressBar = new QProgressBar(buttomFrame);
  Place(ProgressBar, 120, 120, 5640, 255);
  ShowIdleBar();
  cancelCommand = new QPushButton(kCaptionCancel, buttomFrame);
  Place(cancelCommand, 120, 600, 1215, 375);
  backCommand = new QPushButton(QStringLiteral("上一步"), buttomFrame);
  Place(backCommand, 1575, 600, 1215, 375);
  nextCommand = new QPushButton(QStringLiteral("下一步"), buttomFrame);
  Place(nextCommand, 3030, 600, 1215, 375);
  finishCommand = new QPushButton(kCaptionGenerate, buttomFrame);
  Place(finishCommand, 4485, 600, 1215, 375);

  // The start state: page 1, only "下一步" enabled.
  Page222->hide();
  Page333->hide();
  backCommand->setEnabled(false);
  finishCommand->setEnabled(false);
  cancelCommand->setEnabled(false);

  connect(nextCommand, &QPushButton::clicked, this, &WizardPane::nextCommand_Click);
  connect(backCommand, &QPushButton::clicked, this, &WizardPane::backCommand_Click);
  connect(cancelCommand, &QPushButton::clicked, this, &WizardPane::cancelCommand_Click);
  connect(finishCommand, &QPushButton::clicked, this, &WizardPane::finishCommand_Click);
  connect(template_, qOverload<int>(&QComboBox::activated), this, &WizardPane::template_Click);
  for (int i = 1; i <= 3; ++i) {
    // A selection made by the program counts like the user's.
    connect(Style[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) Style_Click(i);
    });
  }
  connect(templateImage, &PictureBox::Click, this, &WizardPane::templateImage_Click);
  connect(templateImage, &PictureBox::DblClick, this, &WizardPane::templateImage_DblClick);
  connect(Subject, qOverload<int>(&QComboBox::activated), this, &WizardPane::Subject_Click);
  connect(logoCommand, &QPushButton::clicked, this, &WizardPane::logoCommand_Click);
  connect(logoImage, &PictureBox::DblClick, this, &WizardPane::logoImage_DblClick);
  connect(bannerCommand, &QPushButton::clicked, this, &WizardPane::bannerCommand_Click);
  connect(bannerImage, &PictureBox::DblClick, this, &WizardPane::bannerImage_DblClick);
  connect(welcomeCommand, &QPushButton::clicked, this, &WizardPane::welcomeCommand_Click);
  connect(welcomeImage, &PictureBox::DblClick, this, &WizardPane::welcomeImage_DblClick);
  connect(MainResourcePath, &QPushButton::clicked, this, &WizardPane::MainResourcePath_Click);
}

// ---------------------------------------------------------------------------
// The options

void WizardPane::InitWizardLists() {
  GenerationOptions& options = Options();
  std::vector<std::string> templates;
  try {
    templates = platform::fso::SubFolderNames(platform::ProgramFolder() + platform::kSep + "template");
  } catch (const std::exception&) {
    // No template folder: the wizard works on, and finishing says why it cannot.
  }
  template_->clear();
  for (const std::string& name : templates) template_->addItem(Q(name));
  options.TemplatePath.clear();
  if (template_->count() > 0) {
    template_->setCurrentIndex(0);
    template_Click();
  }

  options.FootText = footText->text().toStdString();

  Subject->clear();
  for (const SubjectEntry& entry : kSubjects) Subject->addItem(QString::fromUtf8(entry.subject));
  Subject->setEditText(QString::fromUtf8(kSubjects[0].subject));
  options.SubjectText = Subject->currentText().toStdString();
}

int WizardPane::SelectedStyle() const {
  for (int i = 1; i <= 3; ++i)
    if (Style[i]->isChecked()) return i;
  return 0;
}

void WizardPane::ChooseStyle(int index) {
  if (template_->currentIndex() < 0) return;
  std::string folder = platform::ProgramFolder() + platform::kSep + "template" + platform::kSep +
                       template_->currentText().toStdString();
  std::string preview = folder + platform::kSep + "templateImage" + std::to_string(index) + ".gif";
  // Without its preview picture a style is still usable: the box goes blank
  // rather than show another style's picture.
  if (!LoadPicture(templateImage, preview))
    templateImage->setPixmap(Placeholder(templateImage->width(), templateImage->height(),
                                         QStringLiteral("无预览")));
  Options().TemplatePath = folder + platform::kSep + "xsl" + std::to_string(index);
}

void WizardPane::template_Click() {
  if (template_->currentIndex() < 0) return;
  // A new template always starts at style 1.
  if (!Style[1]->isChecked()) Style[1]->setChecked(true);
  ChooseStyle(1);
}

void WizardPane::Style_Click(int index) { ChooseStyle(index); }

void WizardPane::templateImage_Click() {
  int style = SelectedStyle();
  if (style == 0) return;
  Style[style % 3 + 1]->setChecked(true);
}

void WizardPane::templateImage_DblClick() {
  int count = template_->count();
  if (count == 0) return;
  int index = template_->currentIndex();
  template_->setCurrentIndex(index + 1 == count ? 0 : index + 1);
  template_Click();
}

void WizardPane::Subject_Click() {
  GenerationOptions& options = Options();
  options.SubjectText = Subject->currentText().toStdString();
  int index = Subject->currentIndex();
  if (index >= 0 && index < kSubjectCount) {
    std::string logo = platform::ProgramFolder() + platform::kSep + "logo" + platform::kSep +
                       kSubjects[index].logo;
    logoText->setText(Q(logo));
    LoadPicture(logoImage, logo);
  }
  options.LogoPath = Text(logoText);
}

void WizardPane::PickLogoOrBanner(bool logo) {
  std::string file = platform::OpenFileDialog("", kPictureFilter);
  if (file.empty()) return;
  GenerationOptions& options = Options();
  (logo ? options.LogoPath : options.BannerPath) = file;
  (logo ? logoText : bannerText)->setText(Q(file));
  if (!LoadPicture(logo ? logoImage : bannerImage, file)) return;
  if (!logo) options.WelcomePath = Text(welcomeText);
}

void WizardPane::logoCommand_Click() { PickLogoOrBanner(true); }
void WizardPane::logoImage_DblClick() { logoCommand_Click(); }
void WizardPane::bannerCommand_Click() { PickLogoOrBanner(false); }
void WizardPane::bannerImage_DblClick() { bannerCommand_Click(); }

void WizardPane::welcomeCommand_Click() {
  std::string file = platform::OpenFileDialog("", kPictureFilter);
  if (file.empty()) return;
  if (GetExtension(file) != "gif") {
    platform::MsgBox("请选择gif格式的图片！", platform::vbOKOnly);
    return;
  }
  Options().WelcomePath = file;
  welcomeText->setText(Q(file));
  LoadPicture(welcomeImage, file);
}

void WizardPane::welcomeImage_DblClick() { welcomeCommand_Click(); }

void WizardPane::MainResourcePath_Click() {
  QString before = ResourcePath->text();
  std::string chosen = BrowseForFolder(window(), "请选择主题资源目录：");
  ResourcePath->setText(Q(chosen));
  if (chosen.empty()) ResourcePath->setText(before);
}

// ---------------------------------------------------------------------------
// The pages and the buttons

void WizardPane::nextCommand_Click() {
  std::string typed = Text(ResourcePath);
  std::string folder = TrimBlanks(typed);
  if (folder.empty()) {
    platform::MsgBox(" 请选择生成目录！ ", platform::vbOKOnly, "提示");
    return;
  }
  if (!FolderExists(folder)) {
    platform::MsgBox(" 所选目录不存在！ ", platform::vbOKOnly, "错误");
    return;
  }
  if (!Page111->isHidden()) {
    Page111->hide();
    Page222->show();
    backCommand->setEnabled(true);
    finishCommand->setEnabled(false);
    cancelCommand->setEnabled(false);
    // The archive lies beside the folder as typed; its name starts as the
    // first six characters of the folder's own name. A separator typed at
    // the end is no part of the name: it would put the archive inside the
    // site under an empty name.
    const std::string site = WithoutTrailingSeparators(typed);
    Label9->setText(Q(ParentPrefix(site)));
    rarLabel->setText(Q(LeftChars(GetFileName(site), 6)));
  } else if (!Page222->isHidden()) {
    Page222->hide();
    Page333->show();
    nextCommand->setEnabled(false);
    finishCommand->setEnabled(true);
    finishCommand->setFocus();
    cancelCommand->setEnabled(true);
  }
}

void WizardPane::backCommand_Click() {
  if (!Page222->isHidden()) {
    Page222->hide();
    Page111->show();
    backCommand->setEnabled(false);
    finishCommand->setEnabled(false);
    cancelCommand->setEnabled(false);
  } else if (!Page333->isHidden()) {
    Page333->hide();
    Page222->show();
    nextCommand->setEnabled(true);
    finishCommand->setEnabled(false);
    cancelCommand->setEnabled(false);
  } else {
    return;
  }
  cancelCommand->setText(kCaptionCancel);
  finishCommand->setText(kCaptionGenerate);
}

void WizardPane::cancelCommand_Click() {
  if (cancelCommand->text() == kCaptionCancel) {
    // The running generation polls the flag between folders.
    Options().CancelFlag = -1;
    cancelCommand->setText(kCaptionNew);
    return;
  }
  Page111->show();
  Page222->hide();
  Page333->hide();
  // A new site: the last run's bar goes.
  ShowIdleBar();
  cancelCommand->setText(kCaptionCancel);
  cancelCommand->setEnabled(false);
  backCommand->setEnabled(false);
  nextCommand->setEnabled(true);
  finishCommand->setText(kCaptionGenerate);
  finishCommand->setEnabled(false);
}

void WizardPane::ShowIdleBar() {
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
}

void WizardPane::EnterDone() {
  finishCommand->setText(kCaptionPreview);
  finishCommand->setEnabled(true);
  cancelCommand->setText(kCaptionNew);
  cancelCommand->setEnabled(true);
  backCommand->setEnabled(true);
  finishCommand->setFocus();
}

void WizardPane::ReturnToReady() {
  // A "新  建" pressed during the run has already reset the pages; that
  // state stands. Otherwise the user is back on page 3, ready to retry.
  if (Page333->isHidden()) return;
  finishCommand->setText(kCaptionGenerate);
  finishCommand->setEnabled(true);
  cancelCommand->setText(kCaptionCancel);
  cancelCommand->setEnabled(true);
  backCommand->setEnabled(true);
  finishCommand->setFocus();
}

void PreviewSite(const std::string& folder) {
  if (IsSiteRoot(folder))
    platform::OpenSitePreview(folder, "index.html");
  else
    OpenInExplorer(folder + platform::kSep + "index.html");
}

bool WizardPane::PackSite(const std::string& site, const std::string& archive) {
  if (ShowBusyNote) ShowBusyNote();
  platform::ProcessResult packed;
  std::string failure;
  try {
    packed = RarPack(site, archive);
    failure = PackFailure(packed);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (UnloadBusyNote) UnloadBusyNote();
  if (packed.started && failure.empty()) return true;
  ShowStatus("主题资源包压缩失败");
  // The archiver's own words say what to do about it.
  if (!failure.empty())
    platform::MsgBox("压缩主题资源包时发生错误：\r\n" + failure, platform::vbOKOnly | platform::vbCritical,
                     "错误");
  return false;
}

void WizardPane::finishCommand_Click() {
  std::string typed = Text(ResourcePath);
  if (finishCommand->text() != kCaptionGenerate) {
    PreviewSite(typed);
    return;
  }
  // The run pumps messages, and "新  建" pressed meanwhile lets the user walk
  // back to page 3: a second run started there would pull the catalogue
  // from under the first one.
  if (running_) return;
  std::string folder = TrimBlanks(typed);
  if (!FolderExists(folder)) {
    platform::MsgBox("所选目录不存在", platform::vbOKOnly, "错误");
    return;
  }
  GenerationOptions& options = Options();
  // A site without its stylesheets would show no page at all.
  if (options.TemplatePath.empty() || !FolderExists(options.TemplatePath)) {
    platform::MsgBox("没有找到可用的主题资源模板，请检查程序目录下的 template 文件夹！",
                     platform::vbOKOnly | platform::vbExclamation, "错误");
    return;
  }
  options.FootText = footText->text().toStdString();
  finishCommand->setEnabled(false);
  backCommand->setEnabled(false);
  options.CancelFlag = 0;

  Running running(running_, RunEnded);
  std::string site = folder;  // as the run takes it: absolute, no trailing separator
  try {
    GenerateSite(site, true);
  } catch (const std::exception& e) {
    ShowStatus("主题资源制作失败");
    platform::MsgBox(std::string("生成主题资源时发生错误：\r\n") + e.what(),
                     platform::vbOKOnly | platform::vbCritical, "错误");
    ReturnToReady();
    return;
  }

  if (AutoRar->isChecked()) {
    ShowStatus("正在压缩主题资源包到当前目录 ......");
    // The site itself is complete, so it can be previewed all the same
    // when the packing failed; a "新  建" pressed during the run has reset
    // the pages, and that state stands.
    if (!PackSite(site, ParentPrefix(site) + Text(rarLabel) + ".rar")) {
      if (!Page333->isHidden()) EnterDone();
      return;
    }
  }

  EnterDone();
  ShowStatus(WithEntryPageNote("主题资源制作完成"));
}

}  // namespace talvora
