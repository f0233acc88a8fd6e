// The main window of Talvora, one instance for the whole run: the folder
// tree on the left, the splitter, the wizard pane and the web pane on the
// right, the toolbar with the brand picture above and the status bar below.
// The other parts of the program reach its controls through Form1::Load().
#pragma once
#include <memory>

#include <QMainWindow>
#include <QPointer>

#include "generator/ui_sink.h"
#include "workspace/folder_tree.h"

class QAction;
class QLabel;
class QPushButton;
class QStatusBar;
class QTableWidget;
class QTimer;
class QToolBar;
class QTreeWidget;
class QWebEngineView;

namespace talvora {

class ParserPanel;
class PictureBox;
class ShowMeg;
class WizardPane;
class cMenu;

// The vertical bar between the tree and the right-hand panes. The user drags
// it; the program only reads where it stands.
class VSplitterBar : public QWidget {
  Q_OBJECT

 public:
  explicit VSplitterBar(QWidget* parent = nullptr);
  // The bar's left edge, in twips.
  float Left() const;

 signals:
  // After the user has let go of the bar.
  void Moved();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool dragging_ = false;
  int grabOffset_ = 0;
};

class Form1 : public QMainWindow, public UiSink {
  Q_OBJECT

 public:
  // Loads the window on first use (its load sequence runs, the window stays
  // hidden) and returns it.
  static Form1& Load();
  // The window while it is loaded, else nullptr.
  static Form1* Loaded();
  ~Form1() override;

  // The client area below the menu bar; every control below sits in it.
  QWidget* client;

  QToolBar* Toolbar1;
  // The toolbar's buttons by their index 1 to 12 ([0] is unused); 1, 5 and
  // 11 are separators.
  QAction* Toolbar1Buttons[13];
  PictureBox* larchmerePic;
  QTreeWidget* TreeView1;
  VSplitterBar* VSplitterBar1;
  QWidget* rightBox;
  WizardPane* RightFrame;
  QWidget* resourceFrame;
  QLabel* boxImg;
  QStatusBar* StatusBar1;
  QAction* menu_aboutKOVA;

  // The web pane's controls.
  QLabel* Label4;
  ParserPanel* ParserPanel1;
  QPushButton* clearResourceBtn;
  QPushButton* preResourceBtn;
  QPushButton* saveResourceBtn;
  QLabel* resourceCountLab;
  // The resource grid. Its fixed row 0 is the horizontal header; data row i
  // is table row i - 1.
  QTableWidget* MSFlexGrid1;
  QWebEngineView* WebBrowser1;

  // Scrolls the tree while something is dragged over it (200 ms, off).
  QTimer* Timer1;
  // The tree's context menu.
  std::unique_ptr<cMenu> menu;
  // The direction the tree scrolls while dragging.
  int ScrollDirection = 0;

  // Panel 1 to 4 of the status bar: the menu hint, the status line, the
  // date and the time.
  QLabel* StatusPanel(int index) const;

  // The grid's rows, its fixed header row included.
  int GridRows() const;
  void SetGridRows(int rows);

  // Lays out every pane; sizes are twips.
  void LayoutPanes();

  // The wizard's buttons as the tree's commands drive them.
  void cancelCommand_Click();
  void nextCommand_Click();

  // Built by the folder tree, the context menu and the tree commands.
  void InitTree();
  void InitContextMenu();
  void CopyNode();
  void CutNode();
  void PasteNode();
  void DeleteNode();
  void BeginRename();
  // The resource package import dialog.
  void ShowImportDialog();

  // --- The folder tree (form1_tree.cpp) ---
  // Every node by its key; made by InitTree.
  TreeNodes* treeNodes = nullptr;
  // Reads a folder (a disk path or a tree full path) with the level below
  // its entries; rootSplitNode also shows "ico" files as pictures.
  void rootSplitNode(const std::string& sGivePath);
  // Reads a folder, one level.
  void SSplitNode(const std::string& sGivePath);
  // The full paths of a folder's sub-folders / files, in listing order;
  // throw FsoError when the folder cannot be listed.
  void SubSaveSubDir(const std::string& FGivePath, std::vector<std::string>& fGivePathSubDir,
                     int& FSDCount);
  void subSaveSubFile(const std::string& FGivePath, std::vector<std::string>& fGivePathSubFile,
                      int& FSDCount);
  // The text after the last separator.
  std::string FOnlyPath(const std::string& DString) const;
  // After a change on disk below the node: its children read again, one
  // level, without grandchildren.
  void TreeView1_Flash(QTreeWidgetItem* Node);
  // The node of a key, or nullptr.
  QTreeWidgetItem* NodeOfKey(const std::string& key) const;
  // Click, expand and double-click read the folder below the node.
  void Form1_TreeView1_NodeClick(QTreeWidgetItem* Node);
  void Form1_TreeView1_Expand(QTreeWidgetItem* Node);
  void Form1_TreeView1_DblClick();
  // --- end of the folder tree ---

  // UiSink: the generator's status line, progress bar and message pump.
  void ProgressChanged(float value, float max) override;
  void StatusChanged(const std::string& text) override;
  void PumpMessages() override;

 public slots:
  void Form_Resize();
  void VSplitterBar1_Moved();
  void Toolbar1_ButtonClick(int index);
  void larchmerePic_Click();
  void menu_aboutKOVA_Click();
  // The exit: unloads the other forms, then hides the window with an
  // animation towards its centre.
  void Form_Unload();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Form1();

  // The load sequence.
  void Form_Load();
  // The toolbar and the status bar span the client area's width.
  void AlignBars();
  void UpdateClock();

  QLabel* panels_[5];
  QTimer* clock_;
  bool unloading_ = false;
  // The busy note while the wizard packs.
  QPointer<ShowMeg> busyNote_;
};

}  // namespace talvora
