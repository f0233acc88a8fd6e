// The platform side of the popup menu: a QMenu that has every item measured
// and painted by its owner window, and the few window-message pieces the
// menu's window procedure works with. The owner is a widget with a window
// procedure (frmMenu); the menu sends it the measure, paint, highlight and
// command messages, as the platform's owner-draw protocol does.
#pragma once
#include <cstdint>

#include <QColor>
#include <QMenu>
#include <QPointer>
#include <QProxyStyle>

class QPainter;

namespace talvora {

class frmMenu;

// Window messages the menu sends to its owner.
inline constexpr uint32_t WM_DRAWITEM = 43;
inline constexpr uint32_t WM_MEASUREITEM = 44;
inline constexpr uint32_t WM_COMMAND = 273;
inline constexpr uint32_t WM_MENUSELECT = 287;

// Control type of an owner-drawn menu item, and the paint record's states.
inline constexpr uint32_t ODT_MENU = 1;
inline constexpr uint32_t ODA_DRAWENTIRE = 1;
inline constexpr uint32_t ODS_SELECTED = 1;
inline constexpr uint32_t ODS_GRAYED = 2;
inline constexpr uint32_t ODS_DISABLED = 4;

// Alignment flags of PopupMenu (the others are accepted and ignored).
inline constexpr int32_t TPM_CENTERALIGN = 0x4;
inline constexpr int32_t TPM_RIGHTALIGN = 0x8;
inline constexpr int32_t TPM_VCENTERALIGN = 0x10;
inline constexpr int32_t TPM_BOTTOMALIGN = 0x20;

// A rectangle whose right and bottom edges lie outside it.
struct RECT {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// What the owner is asked to fill in for one item.
struct MEASUREITEMSTRUCT {
  uint32_t CtlType = 0;
  uint32_t CtlID = 0;
  uint32_t itemID = 0;
  uint32_t itemWidth = 0;
  uint32_t itemHeight = 0;
  intptr_t itemData = 0;
};

// What the owner is given to paint one item: hDC is the painter, already set
// to the menu's client coordinates and font.
struct DRAWITEMSTRUCT {
  uint32_t CtlType = 0;
  uint32_t CtlID = 0;
  uint32_t itemID = 0;
  uint32_t itemAction = 0;
  uint32_t itemState = 0;
  QWidget* hwndItem = nullptr;
  QPainter* hDC = nullptr;
  RECT rcItem;
  intptr_t itemData = 0;
};

// A window procedure: window, message, wParam, lParam.
using WNDPROC = intptr_t (*)(QWidget* hwnd, uint32_t uMsg, uintptr_t wParam, intptr_t lParam);

// The platform's menu-bar height in pixels, the height of a menu item.
inline constexpr int kMenuBarHeight = 19;

// The system colours the menu reads (the platform's colour values, red in the
// low byte), taken from the application palette at the time of the call.
inline constexpr int COLOR_MENU = 4;
inline constexpr int COLOR_MENUTEXT = 7;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_GRAYTEXT = 17;
int32_t GetSysColor(int nIndex);
// A colour value as Qt's colour, and back.
QColor ColorOf(int32_t colour);
int32_t ColorValue(const QColor& colour);

// Edges drawn with the 3D colours of the application palette: the two layers
// of an edge, and the sides to draw.
inline constexpr uint32_t BDR_RAISEDOUTER = 0x1;
inline constexpr uint32_t BDR_SUNKENOUTER = 0x2;
inline constexpr uint32_t BDR_RAISEDINNER = 0x4;
inline constexpr uint32_t BDR_SUNKENINNER = 0x8;
inline constexpr uint32_t EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
inline constexpr uint32_t EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
inline constexpr uint32_t BF_LEFT = 0x1;
inline constexpr uint32_t BF_TOP = 0x2;
inline constexpr uint32_t BF_RIGHT = 0x4;
inline constexpr uint32_t BF_BOTTOM = 0x8;
inline constexpr uint32_t BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
void DrawEdge(QPainter* dc, RECT rect, uint32_t edge, uint32_t flags);

class OwnerDrawMenu;

// The menu's style: the item size comes from the owner's measure answer, and
// the menu keeps no margins of its own around the items.
class OwnerDrawMenuStyle : public QProxyStyle {
 public:
  explicit OwnerDrawMenuStyle(OwnerDrawMenu* menu);
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override;
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override;

 private:
  OwnerDrawMenu* menu_;
};

// The popup menu. Each item is a QAction whose data is its command ID; the
// item's look and size belong entirely to the owner.
class OwnerDrawMenu : public QMenu {
 public:
  // Width of the raised frame around the client area.
  static constexpr int kFrameWidth = 3;

  explicit OwnerDrawMenu(frmMenu* owner);

  // The window that receives the menu's messages.
  frmMenu* Owner() const { return owner_; }
  void SetOwner(frmMenu* owner) { owner_ = owner; }

  // Appends an item with that command ID; disabled items cannot be chosen.
  void InsertItem(int32_t id, bool enabled);
  // Removes the item with that command ID; false when there is none.
  bool DeleteItemById(int32_t id);
  QAction* ItemById(int32_t id) const;
  // Has every item measured again when it is next laid out.
  void Remeasure();

  // Shows the menu at the screen point and returns when it closes; the chosen
  // item's command goes to the owner window.
  void Track(int x, int y, int32_t align);

  // The client rectangle of an item, in client coordinates (see DRAWITEMSTRUCT).
  RECT ItemRect(QAction* action) const;

  // The size the owner gave for the action being laid out.
  QSize MeasureAction(const QAction* action) const;

 protected:
  void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  intptr_t Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) const;
  void NoteSelection();

  QPointer<frmMenu> owner_;
  OwnerDrawMenuStyle* style_;
  mutable const QAction* laying_out_ = nullptr;
  QPointer<QAction> reported_;
};

// Number of items in the menu and the command ID at a position (-1 when the
// menu or the position does not exist).
int GetMenuItemCount(const QMenu* menu);
int32_t GetMenuItemID(const QMenu* menu, int nPos);

}  // namespace talvora
