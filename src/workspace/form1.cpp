#include "workspace/form1.h"

#include <cmath>
#include <exception>
#include <optional>
#include <stdexcept>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QWebEngineView>

#include "generator/skip_on_error.h"
#include "generator/uitl.h"
#include "menu/c_menu.h"
#include "menu/frm_menu.h"
#include "menu/m_menu.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/twips.h"
#include "webfinder/parser_panel.h"
#include "wizard/wizard_pane.h"
#include "workspace/about_kova.h"
#include "workspace/explain.h"
#include "workspace/frm_flash.h"
#include "workspace/import_dialog.h"
#include "workspace/show_meg.h"

namespace talvora {
namespace {

Form1* g_form1 = nullptr;

// Sizes and positions are twips.
using platform::kTwipsPerPixel;
constexpr auto Px = platform::TwipsToPixels;
float Left(const QWidget* w) { return w->x() * kTwipsPerPixel; }
float Top(const QWidget* w) { return w->y() * kTwipsPerPixel; }
float Width(const QWidget* w) { return w->width() * kTwipsPerPixel; }
float Height(const QWidget* w) { return w->height() * kTwipsPerPixel; }

// A control refuses a negative size.
void CheckSize(float twips) {
  if (twips < 0) throw std::invalid_argument("无效的属性值");
}
void SetLeft(QWidget* w, float twips) { w->move(Px(twips), w->y()); }
void SetTop(QWidget* w, float twips) { w->move(w->x(), Px(twips)); }
void SetWidth(QWidget* w, float twips) {
  CheckSize(twips);
  w->resize(Px(twips), w->height());
}
void SetHeight(QWidget* w, float twips) {
  CheckSize(twips);
  w->resize(w->width(), Px(twips));
}
constexpr auto Place = platform::PlaceInTwips;

// An icon of the desktop's theme, or the one that comes with the program.
QIcon ThemeIcon(const char* name) {
  QString file = QString::fromStdString(platform::ProgramFolder() + platform::kSep + "icons" +
                                        platform::kSep + name + ".png");
  return QIcon::fromTheme(QString::fromLatin1(name), QIcon(file));
}

QString ProgramFile(const std::string& relative) {
  return QString::fromStdString(platform::ProgramFolder() + platform::kSep + relative);
}

// A toolbar button without a tip of its own shows none, rather than the
// caption that Qt would repeat as its tip.
class NoTip : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

// A calm picture for the empty right-hand area when no file is there.
QPixmap NeutralPicture(int width, int height) {
  QPixmap picture(width, height);
  picture.fill(QColor(0xf4, 0xf6, 0xf9));
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xc9, 0xd6, 0xe6));
  painter.drawRoundedRect(QRectF(width * 0.36, height * 0.28, width * 0.12, height * 0.1), 4, 4);
  painter.setBrush(QColor(0x9f, 0xb6, 0xd3));
  painter.drawRoundedRect(QRectF(width * 0.36, height * 0.34, width * 0.28, height * 0.34), 6, 6);
  return picture;
}

const char* const kGridHeaders[] = {"类型", "地址", "说明"};

}  // namespace

// ---------------------------------------------------------------------------
// The splitter bar

VSplitterBar::VSplitterBar(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::SplitHCursor);
}

float VSplitterBar::Left() const { return x() * kTwipsPerPixel; }

void VSplitterBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  grabOffset_ = event->position().toPoint().x();
}

void VSplitterBar::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !parentWidget()) return;
  int x = mapToParent(event->position().toPoint()).x() - grabOffset_;
  int most = parentWidget()->width() - width();
  move(std::max(0, std::min(x, most)), y());
}

void VSplitterBar::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_ || event->button() != Qt::LeftButton) return;
  dragging_ = false;
  emit Moved();
}

void VSplitterBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window).darker(108));
}

// ---------------------------------------------------------------------------
// Loading

Form1& Form1::Load() {
  if (!g_form1) {
    auto* form = new Form1();
    form->Form_Load();
  }
  return *g_form1;
}

Form1* Form1::Loaded() { return g_form1; }

Form1::Form1() : QMainWindow(nullptr) {
  g_form1 = this;
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Talvora 主题资源工作台"));
  setWindowIcon(ThemeIcon("folder"));

  menu_aboutKOVA = menuBar()->addAction(QStringLiteral("关于(&O)"));
  connect(menu_aboutKOVA, &QAction::triggered, this, &Form1::menu_aboutKOVA_Click);

  client = new QWidget(this);
  setCentralWidget(client);
  client->installEventFilter(this);

  // --- The toolbar and the brand picture at its right end ---
  Toolbar1 = new QToolBar(client);
  Toolbar1->setMovable(false);
  Toolbar1->setFloatable(false);
  Toolbar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  Toolbar1->setIconSize(QSize(24, 24));
  Place(Toolbar1, 0, 0, 11880, 795);
  struct Button {
    const char* caption;  // nullptr: a separator
    const char* tip;
    const char* icon;
  };
  const Button buttons[13] = {
      {},
      {nullptr, nullptr, nullptr},
      {"生成向导", "使用将指定文件夹生成主题资源", "document-new"},
      {"导入资源", nullptr, "document-open"},
      {"网络资源", "从网络上查找资源", "applications-internet"},
      {nullptr, nullptr, nullptr},
      {"复制", "复制一个文件夹或文件", "edit-copy"},
      {"剪切", "剪切一个文件或文件夹", "edit-cut"},
      {"粘贴", "粘贴一个文件或文件夹", "edit-paste"},
      {"删除", "删除一个文件或文件夹", "edit-delete"},
      {"重命名", nullptr, "insert-text"},
      {nullptr, nullptr, nullptr},
      {"帮助", nullptr, "help-contents"},
  };
  Toolbar1Buttons[0] = nullptr;
  for (int i = 1; i <= 12; ++i) {
    const Button& b = buttons[i];
    if (!b.caption) {
      Toolbar1Buttons[i] = Toolbar1->addSeparator();
      continue;
    }
    QAction* action = Toolbar1->addAction(ThemeIcon(b.icon), QString::fromUtf8(b.caption));
    if (b.tip)
      action->setToolTip(QString::fromUtf8(b.tip));
    else
      Toolbar1->widgetForAction(action)->installEventFilter(new NoTip(Toolbar1));
    connect(action, &QAction::triggered, this, [this, i] {
      try {
        Toolbar1_ButtonClick(i);
      } catch (const std::exception& e) {
        platform::MsgBox(e.what(), platform::vbOKOnly | platform::vbCritical);
      }
    });
    Toolbar1Buttons[i] = action;
  }
  // The tree's press rule enables the commands on the node under the mouse.
  for (int i = 6; i <= 10; ++i) Toolbar1Buttons[i]->setEnabled(false);

  larchmerePic = new PictureBox(client);
  larchmerePic->setScaledContents(false);
  larchmerePic->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  larchmerePic->setToolTip(QStringLiteral("Qorvath网站"));
  larchmerePic->setCursor(Qt::PointingHandCursor);
  Place(larchmerePic, 8790, 30, 2955, 705);
  connect(larchmerePic, &PictureBox::Click, this, &Form1::larchmerePic_Click);

  // --- The tree and the splitter ---
  TreeView1 = new QTreeWidget(client);
  TreeView1->setHeaderHidden(true);
  Place(TreeView1, 0, 840, 2235, 2325);

  VSplitterBar1 = new VSplitterBar(client);
  Place(VSplitterBar1, 2400, 840, 45, 2595);
  connect(VSplitterBar1, &VSplitterBar::Moved, this, &Form1::VSplitterBar1_Moved);

  // --- The right-hand area: the picture first, the panes above it ---
  rightBox = new QWidget(client);
  Place(rightBox, 2430, 840, 8265, 6645);

  boxImg = new QLabel(rightBox);
  boxImg->setAlignment(Qt::AlignCenter);
  QPixmap box;
  if (!box.load(ProgramFile(std::string("icons") + platform::kSep + "box_img.png")))
    box = NeutralPicture(400, 200);
  boxImg->setPixmap(box);
  Place(boxImg, 635, 1822, 7000, 3000);

  RightFrame = new WizardPane(rightBox);
  Place(RightFrame, 0, 0, 8265, 6645);
  RightFrame->hide();
  RightFrame->ShowBusyNote = [this] {
    delete busyNote_;
    busyNote_ = new ShowMeg();
    busyNote_->ShowNow();
  };
  RightFrame->UnloadBusyNote = [this] { delete busyNote_; };
  RightFrame->RunEnded = [this] { CloseIfHeld(); };

  resourceFrame = new QWidget(rightBox);
  resourceFrame->setAutoFillBackground(true);
  Place(resourceFrame, 0, 0, 8265, 6645);
  resourceFrame->hide();

  Label4 = new QLabel(resourceFrame);
  Label4->setWordWrap(true);
  Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label4->setText(QStringLiteral(
      "填入您要查找资源的网址，\"打开浏览器\"可以在ＩＥ中查看，点击\"解析\"可以查找该网页资源。"
      "在列表中选择要保存的资源，在左边树目录选择文件夹，点击\"保存\"即可保存至您所指定位置。"
      "（解析可能会出现超时，如果未发现您所要的资源，请多试几次）"));
  Place(Label4, 200, 60, 7875, 660);

  ParserPanel1 = new ParserPanel(resourceFrame);
  ParserPanel1->move(Px(200), Px(720));

  clearResourceBtn = new QPushButton(QStringLiteral("清　空"), resourceFrame);
  Place(clearResourceBtn, 200, 1800, 1095, 360);
  preResourceBtn = new QPushButton(QStringLiteral("预　览"), resourceFrame);
  Place(preResourceBtn, 1400, 1800, 1095, 360);
  preResourceBtn->setEnabled(false);
  saveResourceBtn = new QPushButton(QStringLiteral("保　存"), resourceFrame);
  Place(saveResourceBtn, 2600, 1800, 1095, 360);
  saveResourceBtn->setEnabled(false);
  resourceCountLab = new QLabel(resourceFrame);
  Place(resourceCountLab, 3840, 1850, 4235, 255);

  MSFlexGrid1 = new QTableWidget(resourceFrame);
  MSFlexGrid1->setColumnCount(3);
  MSFlexGrid1->verticalHeader()->setVisible(false);
  // Compact rows of about the font's height, as a flex grid has them (the
  // style's default fits little more than four rows into the grid).
  const int rowHeight = MSFlexGrid1->fontMetrics().height() + 2;
  MSFlexGrid1->verticalHeader()->setMinimumSectionSize(rowHeight);
  MSFlexGrid1->verticalHeader()->setDefaultSectionSize(rowHeight);
  MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Place(MSFlexGrid1, 200, 2220, 7865, 2165);

  WebBrowser1 = new QWebEngineView(resourceFrame);
  Place(WebBrowser1, 200, 4435, 7865, 2165);

  // --- The status bar ---
  StatusBar1 = new QStatusBar(client);
  StatusBar1->setSizeGripEnabled(false);
  panels_[0] = nullptr;
  for (int i = 1; i <= 4; ++i) {
    panels_[i] = new QLabel(StatusBar1);
    panels_[i]->setContentsMargins(4, 0, 4, 0);
  }
  panels_[1]->setText(QStringLiteral("当前状态"));
  panels_[1]->setMinimumWidth(Px(2400));
  panels_[2]->setText(QStringLiteral("提示操作"));
  StatusBar1->addWidget(panels_[1]);
  StatusBar1->addWidget(panels_[2], 1);
  StatusBar1->addPermanentWidget(panels_[3]);
  StatusBar1->addPermanentWidget(panels_[4]);
  Place(StatusBar1, 0, 8310 - 375, 11880, 375);
  clock_ = new QTimer(this);
  clock_->setInterval(1000);
  connect(clock_, &QTimer::timeout, this, &Form1::UpdateClock);
  clock_->start();
  UpdateClock();

  Timer1 = new QTimer(this);
  Timer1->setInterval(200);

  // The design's client area, 11880 x 8310 twips, below the menu bar.
  resize(Px(11880), Px(8310) + menuBar()->sizeHint().height());
  if (layout()) layout()->activate();
  AlignBars();
}

Form1::~Form1() {
  // The controls die after this window's own part: nothing they send during
  // their teardown may reach it. The tree's filter and key map go first, and
  // every signal of a control to the window is cut.
  delete treeEvents_;
  treeEvents_ = nullptr;
  delete treeNodes;
  treeNodes = nullptr;
  client->removeEventFilter(this);
  for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
  mMenu::DoMenuCommand = nullptr;
  mMenu::ShowMenuStatus = nullptr;
  delete busyNote_;
  if (GetUiSink() == this) SetUiSink(nullptr);
  if (g_form1 == this) g_form1 = nullptr;
}

void Form1::Form_Load() {
  InitContextMenu();

  // The grid: a sixth, a half and a third of its width; two rows.
  float w = Width(MSFlexGrid1);
  MSFlexGrid1->setColumnWidth(0, Px(std::nearbyint(w / 6)));
  MSFlexGrid1->setColumnWidth(1, Px(std::nearbyint(w / 2)));
  MSFlexGrid1->setColumnWidth(2, Px(std::nearbyint(w / 3)));
  SetGridRows(2);
  ConnectResourcePane();

  LayoutPanes();
  RightFrame->InitWizardLists();
  InitTree();
  ConnectTreeEvents();
  WebBrowser1->setUrl(QUrl(QStringLiteral("about:blank")));

  SetUiSink(this);
}

QLabel* Form1::StatusPanel(int index) const {
  return index >= 1 && index <= 4 ? panels_[index] : nullptr;
}

int Form1::GridRows() const { return MSFlexGrid1->rowCount() + 1; }

void Form1::SetGridRows(int rows) { MSFlexGrid1->setRowCount(std::max(0, rows - 1)); }

void Form1::UpdateClock() {
  // The Chinese forms the status line's stamp uses, whatever the system's
  // locale: the date as 2026/12/10, the time of day as 15:04.
  panels_[3]->setText(QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")));
  panels_[4]->setText(QTime::currentTime().toString(QStringLiteral("HH:mm")));
}

// ---------------------------------------------------------------------------
// Layout

void Form1::AlignBars() {
  Toolbar1->setGeometry(0, 0, client->width(), Toolbar1->height());
  StatusBar1->setGeometry(0, client->height() - StatusBar1->height(), client->width(),
                          StatusBar1->height());
  larchmerePic->raise();
}

void Form1::LayoutPanes() {
  WizardPane* wz = RightFrame;
  // The window's outer width, its borders included, and the client height.
  const float formWidth = frameGeometry().width() * kTwipsPerPixel;
  const float scaleHeight = client->height() * kTwipsPerPixel;

  // Main panes.
  Try([&] { SetLeft(rightBox, VSplitterBar1->Left() + 45); });
  Try([&] { SetLeft(RightFrame, 0); });
  Try([&] { SetWidth(rightBox, formWidth - VSplitterBar1->Left()); });
  Try([&] { SetWidth(RightFrame, Width(rightBox)); });
  Try([&] { SetWidth(TreeView1, VSplitterBar1->Left()); });
  Try([&] { SetWidth(resourceFrame, Width(RightFrame)); });
  Try([&] { SetHeight(VSplitterBar1, scaleHeight - Height(StatusBar1) - Height(Toolbar1)); });
  Try([&] { SetHeight(TreeView1, Height(VSplitterBar1)); });
  Try([&] { SetHeight(rightBox, Height(VSplitterBar1)); });
  Try([&] { SetHeight(RightFrame, Height(VSplitterBar1)); });
  Try([&] { SetHeight(resourceFrame, Height(VSplitterBar1)); });
  Try([&] { SetHeight(boxImg, 3000); });
  Try([&] { SetWidth(boxImg, 7000); });
  Try([&] { SetTop(boxImg, Height(rightBox) / 2 - Height(boxImg) / 2); });
  Try([&] { SetLeft(boxImg, Width(rightBox) / 2 - Width(boxImg) / 2); });
  // The wizard pane is never narrower than 3000; rightBox clips it.
  Try([&] {
    if (Width(RightFrame) <= 3000) SetWidth(RightFrame, 3000);
  });

  // Wizard pane.
  for (QWidget* page : {wz->Page111, wz->Page222, wz->Page333}) {
    Try([&] { SetWidth(page, Width(RightFrame)); });
    Try([&] { SetHeight(page, Height(RightFrame) - 1500); });
  }
  Try([&] { SetTop(wz->buttomFrame, Height(RightFrame) - 1500); });
  Try([&] { SetWidth(wz->Text1, Width(wz->Page111) - 2000); });
  Try([&] {
    SetLeft(wz->buttomFrame, Left(wz->Page111) + Width(wz->Page111) - Width(wz->buttomFrame));
  });
  Try([&] { SetTop(wz->pageFrame1, Height(wz->Page111) - 1000); });
  Try([&] {
    SetLeft(wz->pageFrame1, Left(wz->Page111) + Width(wz->Page111) - Width(wz->pageFrame1) - 500);
  });
  Try([&] { SetWidth(wz->pageFrame1, Width(wz->Page111) / 2 + Width(wz->Page111) / 4); });
  Try([&] {
    SetHeight(wz->Text1, Height(wz->Page111) - Height(wz->pageFrame1) - 1000);
  });
  Try([&] { SetWidth(wz->ResourcePath, Width(wz->Page111) / 2); });
  // The usage text stays readable, even over the folder frame.
  Try([&] {
    if (Height(wz->Text1) < 3500) SetHeight(wz->Text1, 3500);
  });
  Try([&] { SetWidth(wz->logoText, Width(wz->Page222) / 3); });
  Try([&] { SetWidth(wz->bannerText, Width(wz->Page222) / 3); });
  Try([&] {
    SetLeft(wz->logoCommand,
            Left(wz->Page222) + Width(wz->Label5) + Width(wz->logoText) + 400);
  });
  Try([&] {
    SetLeft(wz->bannerCommand,
            Left(wz->Page222) + Width(wz->Label5) + Width(wz->logoText) + 400);
  });
  Try([&] { SetWidth(wz->pageFrame4, Width(wz->Page222) / 3 * 2); });
  Try([&] { SetLeft(wz->pageFrame3, Width(wz->pageFrame2) + 2000); });
  Try([&] { SetWidth(wz->pageFrame3, Width(wz->Page222) / 2); });
  Try([&] {
    SetWidth(wz->pageFrame4, Width(wz->pageFrame3) + Width(wz->pageFrame2) + 200);
  });
  Try([&] { SetHeight(wz->pageFrame2, Height(wz->Page222) / 5 * 3); });
  Try([&] { SetHeight(wz->pageFrame3, Height(wz->pageFrame2)); });
  Try([&] { SetWidth(wz->logoImage, Width(wz->pageFrame3) / 3); });
  Try([&] { SetLeft(wz->bannerImage, Width(wz->logoImage) + 10); });
  Try([&] { SetWidth(wz->templateImage, Width(wz->pageFrame3) - 200); });
  Try([&] {
    SetWidth(wz->bannerImage, Width(wz->templateImage) - Width(wz->logoImage) + 100);
  });
  Try([&] { SetHeight(wz->templateImage, Height(wz->pageFrame3) / 3 * 2); });
  Try([&] { SetLeft(wz->pageFrame5, Width(wz->Page333) / 7); });
  Try([&] { SetTop(wz->pageFrame5, Height(wz->Page333) / 5); });
  Try([&] { SetWidth(wz->pageFrame5, Width(wz->Page333) / 4 * 3); });

  // Web pane: it follows the wizard pane's frame.
  Try([&] { SetWidth(MSFlexGrid1, Width(RightFrame) - 400); });
  Try([&] { SetHeight(MSFlexGrid1, Height(RightFrame) / 3 - 50); });
  Try([&] { SetTop(WebBrowser1, Top(MSFlexGrid1) + Height(MSFlexGrid1) + 50); });
  Try([&] { SetWidth(WebBrowser1, Width(RightFrame) - 400); });
  Try([&] { SetHeight(WebBrowser1, Height(RightFrame) / 3 - 50); });
  Try([&] {
    MSFlexGrid1->horizontalHeader()->setVisible(true);
    for (int c = 0; c < 3; ++c)
      MSFlexGrid1->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromUtf8(kGridHeaders[c])));
  });

  // Brand picture: the file of the last fetch, when it is a picture.
  Try([&] { SetLeft(larchmerePic, Width(Toolbar1) - 3000); });
  Try([&] {
    QPixmap picture;
    if (!picture.load(ProgramFile("mainResource.gif")))
      throw std::runtime_error("无效的图片");
    larchmerePic->setPixmap(picture);
  });
}

void Form1::Form_Resize() { LayoutPanes(); }

void Form1::VSplitterBar1_Moved() {
  LayoutPanes();
  LayoutPanes();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client && event->type() == QEvent::Resize) {
    AlignBars();
    Form_Resize();
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Toolbar, brand picture, menu

void Form1::Toolbar1_ButtonClick(int index) {
  if (unloading_) return;
  // The help viewer has nothing under way: the exit ends it like the about
  // box. Every other button's work holds a close until it is done.
  std::optional<Busy> busy;
  if (index != 12) busy.emplace(*this);
  // The workspace's lock while the action runs; it is lifted whatever the
  // action does.
  setEnabled(false);
  struct Unlocker {
    Form1* form;
    ~Unlocker() { form->Unlock(); }
  } unlock{this};

  switch (index) {
    case 2:
      RightFrame->setVisible(true);
      resourceFrame->setVisible(false);
      break;
    case 3:
      {
        // Unlike the tree's import command, the button leaves the folder
        // field empty.
        Dialog import(this);
        import.exec();
      }
      break;
    case 4:
      resourceFrame->setVisible(true);
      RightFrame->setVisible(false);
      break;
    case 6:
      CopyNode();
      break;
    case 7:
      CutNode();
      break;
    case 8:
      PasteNode();
      break;
    case 9:
      DeleteNode();
      break;
    case 10:
      BeginRename();
      break;
    case 12:
      {
        explain viewer(this);
        viewer.exec();
      }
      break;
    default:
      break;
  }
}

void Form1::larchmerePic_Click() { OpenInExplorer(MakerSiteAddress()); }

void Form1::menu_aboutKOVA_Click() {
  aboutKOVA box(this);
  box.exec();
}

void Form1::cancelCommand_Click() { RightFrame->cancelCommand_Click(); }

void Form1::nextCommand_Click() { RightFrame->nextCommand_Click(); }

// ---------------------------------------------------------------------------
// The generator's sink

void Form1::ProgressChanged(float value, float max) {
  QProgressBar* bar = RightFrame->ProgressBar;
  int top = static_cast<int>(std::nearbyint(max));
  bar->setMaximum(std::max(top, 0));
  bar->setValue(std::max(0, std::min(static_cast<int>(std::nearbyint(value)), bar->maximum())));
}

void Form1::StatusChanged(const std::string& text) {
  panels_[2]->setText(QString::fromStdString(text));
}

void Form1::PumpMessages() { QCoreApplication::processEvents(); }

// ---------------------------------------------------------------------------
// Exit

Form1::Busy::Busy(Form1& form) : form_(form) { ++form_.busy_; }

Form1::Busy::~Busy() {
  if (--form_.busy_ == 0) form_.CloseIfHeld();
}

bool Form1::Busied() const { return busy_ > 0 || RightFrame->IsRunning(); }

void Form1::CloseIfHeld() {
  if (!closeHeld_ || Busied()) return;
  closeHeld_ = false;
  // From the event loop, once the command's own caller has returned too.
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void Form1::closeEvent(QCloseEvent* event) {
  if (unloading_) {
    event->ignore();
    return;
  }
  // The window manager's close reaches a locked window too.
  if (Busied()) {
    closeHeld_ = true;
    event->ignore();
    return;
  }
  unloading_ = true;
  Form_Unload();
  event->accept();
}

void Form1::Form_Unload() {
  // No command starts once the exit has begun.
  setEnabled(false);
  Try([] { FrmFlash::Unload(); });
  // The modal forms end their own loop and are released by whoever showed them.
  Try([this] {
    for (aboutKOVA* box : findChildren<aboutKOVA*>()) box->done(QDialog::Rejected);
  });
  Try([this] {
    for (explain* viewer : findChildren<explain*>()) viewer->done(QDialog::Rejected);
  });
  Try([] { frmMenu::Unload(); });

  // Collapse towards the centre in one second, then hide.
  Try([this] {
    if (!isVisible()) return;
    if (layout()) layout()->setSizeConstraint(QLayout::SetNoConstraint);
    setMinimumSize(0, 0);
    QRect from = geometry();
    QPropertyAnimation animation(this, "geometry");
    animation.setDuration(1000);
    animation.setStartValue(from);
    animation.setEndValue(QRect(from.center(), QSize(1, 1)));
    QEventLoop wait;
    connect(&animation, &QPropertyAnimation::finished, &wait, &QEventLoop::quit);
    animation.start();
    wait.exec();
  });
  hide();
  if (GetUiSink() == this) SetUiSink(nullptr);
}

}  // namespace talvora
