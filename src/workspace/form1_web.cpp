// The web pane's host: the tree and the toolbar are locked while a page is
// loaded and scanned, the resource grid shows what the scan found, sorts by
// a click on a column header, previews the selected address and saves it
// into the folder selected in the tree.
#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QLabel>
#include <QTableWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QWebEngineView>

#include "generator/skip_on_error.h"
#include "generator/uitl.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "webfinder/mod_http.h"
#include "webfinder/parser_panel.h"
#include "webfinder/resource_info.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"

namespace talvora {
namespace {

constexpr float kTwipsPerPixel = 15.0f;

const char* const kHeaders[] = {"类型", "地址", "说明"};
const QString kDescendingMark = QStringLiteral("△");
const QString kAscendingMark = QStringLiteral("▽");

QString KindText(int fileType) {
  switch (fileType) {
    case kPicture: return QStringLiteral("picture");
    case kFlashMovie: return QStringLiteral("Flash");
    case kWindowsMedia: return QStringLiteral("media");
    case kRealMedia: return QStringLiteral("Real");
    default: return QStringLiteral("Other");
  }
}

QString TrimBlanks(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && text.at(first) == QLatin1Char(' ')) ++first;
  while (last > first && text.at(last - 1) == QLatin1Char(' ')) --last;
  return text.mid(first, last - first);
}

// The text of a cell; row 0 is the header row.
QString CellText(const QTableWidget* grid, int row, int col) {
  const QTableWidgetItem* item =
      row == 0 ? grid->horizontalHeaderItem(col) : grid->item(row - 1, col);
  return item ? item->text() : QString();
}

void SetCellText(QTableWidget* grid, int row, int col, const QString& text) {
  if (row == 0) {
    if (QTableWidgetItem* header = grid->horizontalHeaderItem(col))
      header->setText(text);
    else
      grid->setHorizontalHeaderItem(col, new QTableWidgetItem(text));
    return;
  }
  if (QTableWidgetItem* item = grid->item(row - 1, col))
    item->setText(text);
  else
    grid->setItem(row - 1, col, new QTableWidgetItem(text));
}

// The grid's generic order: two numbers by value, anything else as text.
bool GenericLess(const QString& a, const QString& b) {
  bool aNumber = false, bNumber = false;
  const double x = a.toDouble(&aNumber);
  const double y = b.toDouble(&bNumber);
  if (aNumber && bNumber) return x < y;
  return a < b;
}

// Sorts the data rows by the column, every row moving as a whole.
void SortRows(QTableWidget* grid, int col, bool ascending) {
  const int columns = grid->columnCount();
  std::vector<std::vector<QString>> rows(static_cast<std::size_t>(grid->rowCount()));
  for (int r = 0; r < grid->rowCount(); ++r)
    for (int c = 0; c < columns; ++c) rows[r].push_back(CellText(grid, r + 1, c));
  std::stable_sort(rows.begin(), rows.end(), [&](const auto& x, const auto& y) {
    return ascending ? GenericLess(x[col], y[col]) : GenericLess(y[col], x[col]);
  });
  for (int r = 0; r < grid->rowCount(); ++r)
    for (int c = 0; c < columns; ++c) SetCellText(grid, r + 1, c, rows[r][c]);
}

// The grid's mouse as its own handlers see it: a press on a header cell
// makes that column the current one; a release anywhere over the grid goes
// to the mouse-up handler with the position in the grid's coordinates, and a
// double click anywhere over it to the double-click handler.
class GridMouse : public QObject {
 public:
  GridMouse(Form1* form, QTableWidget* grid) : QObject(grid), form_(form), grid_(grid) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* area = qobject_cast<QWidget*>(watched);
    if (!area) return false;
    if (event->type() == QEvent::MouseButtonPress && area == grid_->horizontalHeader()->viewport()) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const int col = grid_->horizontalHeader()->logicalIndexAt(mouse->position().toPoint());
      if (col >= 0 && grid_->rowCount() > 0) {
        const int row = std::max(0, grid_->currentRow());
        grid_->selectionModel()->setCurrentIndex(grid_->model()->index(row, col),
                                                 QItemSelectionModel::NoUpdate);
      }
    } else if (event->type() == QEvent::MouseButtonDblClick) {
      // Anywhere over the grid: on a row, below the rows or on the headers.
      form_->Form1_MSFlexGrid1_DblClick();
    } else if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint at = area->mapTo(grid_, mouse->position().toPoint());
      int button = mouse->button() == Qt::LeftButton    ? 1
                   : mouse->button() == Qt::RightButton ? 2
                   : mouse->button() == Qt::MiddleButton ? 4
                                                         : 0;
      int shift = (mouse->modifiers() & Qt::ShiftModifier ? 1 : 0) |
                  (mouse->modifiers() & Qt::ControlModifier ? 2 : 0) |
                  (mouse->modifiers() & Qt::AltModifier ? 4 : 0);
      form_->Form1_MSFlexGrid1_MouseUp(button, shift, at.x() * kTwipsPerPixel, at.y() * kTwipsPerPixel);
    }
    return false;
  }

 private:
  Form1* form_;
  QTableWidget* grid_;
};

// A name that stays inside the folder it is saved into.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find(platform::kSep) == std::string::npos && name.find('\0') == std::string::npos;
}

// The name a resource is saved under: the address's last segment with its
// escapes decoded ("%E6%A9%99.png" is saved as "橙.png"), when that gives a
// name that stays in the folder and reads as UTF-8 text; else the segment as
// the address has it.
std::string SavedName(const std::string& segment) {
  const QByteArray decoded = QByteArray::fromPercentEncoding(QByteArray::fromStdString(segment));
  const std::string name = decoded.toStdString();
  return IsPlainFileName(name) && decoded.isValidUtf8() ? name : segment;
}

bool EntryExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// The first free name of drawn + n, drawn + 1 + n, ... (numbers 0 to 1000,
// round the end); "" when every one is taken.
std::string FreeNumberedName(const std::string& folder, const std::string& n, int drawn) {
  for (int i = 0; i <= 1000; ++i) {
    std::string candidate = std::to_string((drawn + i) % 1001) + n;
    if (!EntryExists(folder + candidate)) return candidate;
  }
  return "";
}

std::string NotPreviewable(const std::string& address) {
  return "只能预览 http 或 https 网络地址，此地址不能预览：\r\n" + address;
}

}  // namespace

void Form1::ConnectResourcePane() {
  connect(ParserPanel1, &ParserPanel::SearchStart, this, &Form1::Form1_ParserPanel1_SearchStart);
  connect(ParserPanel1, &ParserPanel::SearchEnd, this, &Form1::Form1_ParserPanel1_SearchEnd);
  connect(clearResourceBtn, &QPushButton::clicked, this, &Form1::Form1_clearResourceBtn_Click);
  connect(preResourceBtn, &QPushButton::clicked, this, &Form1::Form1_preResourceBtn_Click);
  connect(saveResourceBtn, &QPushButton::clicked, this, &Form1::Form1_saveResourceBtn_Click);
  connect(MSFlexGrid1, &QTableWidget::itemSelectionChanged, this, &Form1::Form1_MSFlexGrid1_SelChange);
  auto* mouse = new GridMouse(this, MSFlexGrid1);
  MSFlexGrid1->horizontalHeader()->viewport()->installEventFilter(mouse);
  MSFlexGrid1->viewport()->installEventFilter(mouse);
}

QString Form1::GridText(int row, int col) const { return CellText(MSFlexGrid1, row, col); }

int Form1::GridRowSel() const { return MSFlexGrid1->currentRow() < 0 ? -1 : MSFlexGrid1->currentRow() + 1; }

QString Form1::SelectedAddress() const {
  const int row = GridRowSel();
  return row < 1 ? QString() : GridText(row, 1);
}

void Form1::Form1_clearResourceBtn_Click() {
  MSFlexGrid1->clearContents();
  SetGridRows(2);
  MSFlexGrid1->horizontalHeader()->setVisible(true);
  for (int c = 0; c < 3; ++c) SetCellText(MSFlexGrid1, 0, c, QString::fromUtf8(kHeaders[c]));
}

void Form1::Form1_ParserPanel1_SearchStart() {
  TreeView1->setEnabled(false);
  Toolbar1->setEnabled(false);
  // One hourglass however often a load is started before the last one ended.
  if (!hourglass_) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    hourglass_ = true;
  }
}

void Form1::Form1_ParserPanel1_SearchEnd(ResourceInfos* resources) {
  Form1_clearResourceBtn_Click();
  if (hourglass_) {
    QApplication::restoreOverrideCursor();
    hourglass_ = false;
  }
  TreeView1->setEnabled(true);
  Toolbar1->setEnabled(true);
  const int count = resources ? resources->Count() : 0;
  SetGridRows(count + 1);
  if (count > 0) {
    saveResourceBtn->setEnabled(true);
    clearResourceBtn->setEnabled(true);
    preResourceBtn->setEnabled(true);
  }
  for (int i = 1; i <= count; ++i) {
    const ResourceInfo* info = resources->Item(i);
    if (info->URL().empty()) continue;
    SetCellText(MSFlexGrid1, i, 0, KindText(info->FileType()));
    SetCellText(MSFlexGrid1, i, 1, QString::fromStdString(info->URL()));
    SetCellText(MSFlexGrid1, i, 2, QString::fromStdString(info->Description()));
  }
  Try([&] {
    for (int row = GridRows() - 1; row >= 1; --row)
      if (TrimBlanks(GridText(row, 1)).isEmpty()) MSFlexGrid1->removeRow(row - 1);
  });
  Try([&] {
    const int rows = GridRows();
    resourceCountLab->setText(QStringLiteral("搜索 ") + QString::number(count) +
                              QStringLiteral(" 条,可用资源共有 ") +
                              QString::number(rows > 0 ? rows - 1 : 0) + QStringLiteral(" 条!"));
  });
}

void Form1::Form1_MSFlexGrid1_SelChange() {
  const QString address = SelectedAddress();
  if (address.isEmpty()) return;
  // Any other scheme would have the browser read local files or hand the
  // address to whatever program claims it.
  if (IsWebAddress(address.toStdString()))
    WebBrowser1->setUrl(QUrl(address));
  else
    WebBrowser1->setHtml(QStringLiteral("<p>") +
                         QString::fromStdString(NotPreviewable(address.toStdString())).toHtmlEscaped() +
                         QStringLiteral("</p>"));
}

void Form1::Form1_MSFlexGrid1_DblClick() { Form1_preResourceBtn_Click(); }

void Form1::Form1_preResourceBtn_Click() {
  Try([&] {
    const QString address = SelectedAddress();
    if (address.isEmpty()) return;
    if (!IsWebAddress(address.toStdString())) {
      platform::MsgBox(NotPreviewable(address.toStdString()), platform::vbOKOnly | platform::vbExclamation);
      return;
    }
    OpenInExplorer(address.toStdString());
  });
}

void Form1::Form1_MSFlexGrid1_MouseUp(int, int, float, float Y) { Sort(MSFlexGrid1, Y); }

void Form1::Sort(QTableWidget* sgrd, float Y) {
  if (sgrd->rowCount() + 1 < 2) return;
  QHeaderView* header = sgrd->horizontalHeader();
  const float row0Top = header->y() * kTwipsPerPixel;
  const float row1Top = (header->y() + header->height()) * kTwipsPerPixel;
  if (!(row0Top <= Y && Y < row1Top)) return;
  const int col = sgrd->currentColumn();
  if (col < 0) return;

  const QString tag = sgrd->property("Tag").toString();
  bool tagIsNumber = false;
  const int last = tag.toInt(&tagIsNumber);
  if (!tag.isEmpty() && tagIsNumber && last != col && last >= 0 && last < sgrd->columnCount()) {
    QString text = CellText(sgrd, 0, last);
    if (text.endsWith(kDescendingMark) || text.endsWith(kAscendingMark)) {
      text.chop(1);
      SetCellText(sgrd, 0, last, text);
    }
  }

  QString text = CellText(sgrd, 0, col);
  if (text.endsWith(kDescendingMark)) {
    SortRows(sgrd, col, true);
    text.chop(1);
    text += kAscendingMark;
  } else if (text.endsWith(kAscendingMark)) {
    SortRows(sgrd, col, false);
    text.chop(1);
    text += kDescendingMark;
  } else {
    SortRows(sgrd, col, false);
    text += kDescendingMark;
  }
  SetCellText(sgrd, 0, col, text);
  sgrd->setProperty("Tag", QString::number(col));
}

void Form1::Form1_saveResourceBtn_Click() {
  // The download pumps messages: a close meanwhile waits for it.
  Busy busy(*this);
  // Every step that fails is passed over and the next one runs.
  std::string a, f;
  Try([&] { a = SelectedAddress().toStdString(); });
  Try([&] {
    if (QTreeWidgetItem* node = TreeView1->currentItem()) f = TreeNodes::Key(node);
  });
  if (a.empty()) {
    platform::MsgBox("请选择要保存的资源路径！", platform::vbOKOnly | platform::vbCritical);
    return;
  }
  // Only a key that starts with the separator is a path on disk: the root's
  // "My Computer" names no folder, even where the working folder holds one
  // of that name.
  if (!IsDiskKey(f) || !FolderExists(f)) {
    platform::MsgBox("请在左方树目录中选择保存文件夹位置！", platform::vbOKOnly | platform::vbCritical);
    return;
  }
  if (platform::MsgBox("确定要保存到　" + f + "　目录吗？", platform::vbYesNo, "提示") != platform::vbYes)
    return;
  Try([&] { saveResourceBtn->setEnabled(false); });

  // The name is the address's last segment, after "/" or "\", decoded.
  std::string n = a;
  std::replace(n.begin(), n.end(), '\\', '/');
  n = SavedName(GetFileName(n));
  Try([&] { ShowStatus("资源下载 中 ..."); });
  Try([&] { TreeView1->setEnabled(false); });

  const std::string folder = f + (f.empty() || f.back() == platform::kSep ? "" : std::string(1, platform::kSep));
  // An existing file is never written over: a number from 0 to 1000 goes in
  // front, the next free one when the drawn one is taken too. The name can
  // also be taken while the body is on its way; the same rule then goes on.
  const std::string original = n;
  int drawn = -1;
  std::string problem;
  auto renameAfterClash = [&]() -> bool {
    if (drawn < 0) drawn = static_cast<int>(std::nearbyint(RandomValue() * 1000.0f));
    const std::string renamed = FreeNumberedName(folder, original, drawn);
    if (renamed.empty()) {
      problem = "指定位置已有同名资源: " + folder + original;
      return false;
    }
    n = renamed;
    Try([&] { ShowStatus("指定位置存在同名资源，改名  " + n + "  下载 ..."); });
    return true;
  };
  int r = 0;
  if (!IsPlainFileName(n)) {
    // "." or ".." would name the folder itself or the one above it; an empty
    // segment names no file at all.
    problem = "地址中没有可用作文件名的部分: " + a;
  } else if (EntryExists(folder + n)) {
    renameAfterClash();
  }
  if (problem.empty()) {
    r = DownloadFile(a, folder + n,
                     [&](const std::string&) { return renameAfterClash() ? folder + n : std::string(); });
  } else {
    platform::MsgBox("发生错误：\r\n" + problem, platform::vbOKOnly);
  }

  Try([&] { saveResourceBtn->setEnabled(true); });
  if (r == 1) {
    Try([&] { ShowStatus("资源下载完成 ..."); });
    platform::MsgBox("资源已下载到指定位置！", platform::vbOKOnly);
  } else {
    Try([&] { ShowStatus("资源下载失败 ..."); });
    platform::MsgBox("资源下载失败！", platform::vbOKOnly);
  }
  Try([&] { TreeView1->setEnabled(true); });
  Try([&] { TreeView1_Flash(NodeOfKey(f)); });
}

}  // namespace talvora
