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
class QMimeData;
class QPushButton;
class QStatusBar;
class QTableWidget;
class QTimer;
class QToolBar;
class QTreeWidget;
class QWebEngineView;

namespace talvora {

class ParserPanel;
class ResourceInfos;
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

  // A command or a run that pumps messages holds a close asked for
  // meanwhile: the close is carried out once the last of them has returned,
  // so nothing running ever finds the window destroyed.
  class Busy {
   public:
    explicit Busy(Form1& form);
    ~Busy();
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    Form1& form_;
  };
  bool Busied() const;
  void CloseIfHeld();
  // Lifts the lock a command put on the window while it ran.
  void Unlock();
  int busy_ = 0;
  bool closeHeld_ = false;

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

  // --- The web pane and the resource grid (form1_web.cpp) ---
 public:
  // Wires the web pane's events, the grid and its buttons (at load).
  void ConnectResourcePane();
  void Form1_clearResourceBtn_Click();
  // Between the two the tree and the toolbar are locked and the pointer is
  // the hourglass.
  void Form1_ParserPanel1_SearchStart();
  void Form1_ParserPanel1_SearchEnd(ResourceInfos* resources);
  void Form1_MSFlexGrid1_SelChange();
  void Form1_MSFlexGrid1_DblClick();
  void Form1_preResourceBtn_Click();
  // X and Y in twips, in the grid's own coordinates.
  void Form1_MSFlexGrid1_MouseUp(int Button, int Shift, float X, float Y);
  // A release over the header row sorts by the current column: descending
  // first, then each click turns the order; the header shows the order.
  void Sort(QTableWidget* sgrd, float Y);
  // Downloads the selected address into the folder selected in the tree.
  void Form1_saveResourceBtn_Click();
  // The text of a grid cell; row 0 is the header row.
  QString GridText(int row, int col) const;
  // The selected data row, -1 when none is.
  int GridRowSel() const;
  // Column 1 of the selected row; "" when no row is selected.
  QString SelectedAddress() const;

 private:
  bool hourglass_ = false;
  // --- end of the web pane and the resource grid ---

  // --- The tree commands, the context menu and the tree events
  // (form1_commands.cpp, form1_events.cpp) ---
 public:
  // The key of the node last copied or cut; "" when nothing is marked.
  std::string ClipboardKey;
  // What a drag carries: the dragged node's key as plain text.
  struct DragData {
    bool hasText = false;
    std::string text;
  };
  // What the tree's own drags carry: the key as text, and again with this
  // process's mark in a format of the tree's own. Only a drop that carries
  // that mark moves files; a drop from another program is ignored.
  static QMimeData* TreeDragMime(const std::string& key);
  // The chosen menu item's command by its alias; the window is unlocked
  // afterwards, whatever the command did.
  void DoMenuCommand(int id);
  // The highlighted item's text in panel 1 of the status bar.
  void ShowMenuStatus(int id);
  void StartGenerateWizard();
  void EditResource();
  // Runs Quenlet on the selected site and waits for it; true when it
  // generated a site.
  bool LaunchColumnGenerator();
  void RegenerateResource();
  // Renames the node whose label was being edited to its folder + newText.
  void FinishRename(const std::string& newText);
  void NewFolder();
  // Wires the tree's mouse, label-edit and drag-and-drop events (at load,
  // after the tree is built).
  void ConnectTreeEvents();
  // One event of the tree's viewport as the handlers below see it; true
  // when the event is done with (ConnectTreeEvents routes them here).
  bool TreeView1_ViewportEvent(QEvent* event);
  // x, y: twips from the tree control's top-left corner; Button 2 is the
  // right button; State 1 is a drag leaving the tree.
  void Form1_TreeView1_MouseDown(float x, float y);
  void Form1_TreeView1_AfterLabelEdit(const std::string& NewString);
  void Form1_TreeView1_MouseUp(int Button, float x, float y);
  void Form1_TreeView1_OLEStartDrag(DragData& Data);
  void Form1_TreeView1_OLEDragOver(float x, float y, int State);
  void Form1_TreeView1_OLEDragDrop(const DragData& Data, float x, float y);
  void Form1_Timer1_Timer();
  // The node under a point (twips, tree control coordinates), or nullptr.
  QTreeWidgetItem* HitTest(float x, float y) const;
  // The node a drop would land on, shown as the tree's selection while the
  // selected node stays current; nullptr clears it.
  QTreeWidgetItem* DropHighlight() const;
  void SetDropHighlight(QTreeWidgetItem* node);

 private:
  // The filter that hands the tree viewport's events to the window.
  QObject* treeEvents_ = nullptr;
  // The node whose label the program is having edited.
  std::string renameKey_;
  std::string dropHighlightKey_;
  // Where the last drag over the tree was, for the auto-scroll's highlight.
  float lastDragX_ = 0, lastDragY_ = 0;
  // A left press on a node that may become a drag, and where it was.
  bool dragPressed_ = false;
  QPoint dragPressPos_;
  void StartTreeDrag();
  // --- end of the tree commands, the context menu and the tree events ---
};

}  // namespace talvora
