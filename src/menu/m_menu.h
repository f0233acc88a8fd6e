// The menu component's data, one set per process, and its window procedure
// with the item measuring and painting. cMenu is the interface over it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "menu/frm_menu.h"
#include "menu/owner_draw_menu.h"

namespace talvora {

// Item types, compared by equality.
inline constexpr int32_t kItemPlain = 0;
inline constexpr int32_t kItemRadio = 512;
inline constexpr int32_t kItemSeparator = 2048;
// Item state bits.
inline constexpr int32_t kStateDisabled = 2;
inline constexpr int32_t kStateRadioOn = 8;

struct MenuItem {
  StdPicture Icon;  // the 16 x 16 icon, shared with the caller
  std::string Alias;
  std::string Text;
  int32_t Type = 0;
  int32_t State = 0;
};

namespace mMenu {

// The popup menu made by CreateMenu (nullptr when there is none).
extern OwnerDrawMenu* hMenu;
// frmMenu's window procedure from before CreateMenu.
extern WNDPROC PrevWndProc;
// The item table; the index is the command ID.
extern std::vector<MenuItem> MyItems;

// The style values.
extern int32_t LeftBarWidth;
extern int32_t LeftBarStyle;
extern StdPicture LeftBarImage;
extern int32_t LeftBarStartColor;
extern int32_t LeftBarEndColor;
extern int32_t ItemSelectScope;
extern int32_t ItemTextEnabledColor;
extern int32_t ItemTextDisabledColor;
extern int32_t ItemTextSelectColor;
extern int32_t ItemIconStyle;
extern int32_t ItemSelectEdgeStyle;
extern int32_t ItemSelectEdgeColor;
extern int32_t ItemSelectFillStyle;
extern int32_t ItemSelectFillStartColor;
extern int32_t ItemSelectFillEndColor;
extern int32_t BackColor;
extern int32_t SeparatorStyle;
extern int32_t SeparatorColor;
extern int32_t Style;

// Copies of the last measure and paint records; the painting of the bar reads
// the height of the item measured last.
extern MEASUREITEMSTRUCT MeasureItem;
extern DRAWITEMSTRUCT DrawItem;

// The menu user's dispatch: the chosen item's command ID, and the command ID
// of the highlighted item.
extern std::function<void(int32_t)> DoMenuCommand;
extern std::function<void(int32_t)> ShowMenuStatus;

}  // namespace mMenu

// The window procedure of frmMenu while the menu is in use. Errors inside are
// swallowed; every message then goes on to PrevWndProc, whose result it is.
intptr_t MenuProc(QWidget* hwnd, uint32_t uMsg, uintptr_t wParam, intptr_t lParam);
// Fills in the item's width and height.
void MeasureMenuItem(QWidget* hwnd, MEASUREITEMSTRUCT* record);
// Paints one item, and the whole left bar.
void DrawMenuItem(DRAWITEMSTRUCT* record);

}  // namespace talvora
