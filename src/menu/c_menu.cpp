#include "menu/c_menu.h"

#include <utility>

#include "menu/frm_menu.h"
#include "menu/owner_draw_menu.h"

namespace talvora {

using namespace mMenu;

namespace {

constexpr int32_t RGB(int r, int g, int b) { return r | (g << 8) | (b << 16); }

}  // namespace

MenuError::MenuError(int32_t number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

cMenu::~cMenu() { Class_Terminate(); }

void cMenu::CreateMenu() {
  frmMenu* form = frmMenu::Load();
  // Subclass once: a second CreateMenu must not make MenuProc its own
  // previous procedure.
  if (form->WindowProc() != &MenuProc) PrevWndProc = form->SetWindowProc(&MenuProc);
  delete hMenu;
  hMenu = new OwnerDrawMenu(form);
  Style(0);
}

void cMenu::AddItem(const std::string& itemAlias, const StdPicture& itemIcon,
                    const std::string& itemText, int32_t itemType, int32_t itemState) {
  // The menu item carries the ID and the enabled state; what it looks like
  // is read from the table when it is measured and painted.
  if (hMenu) hMenu->InsertItem(ItemCount, (itemState & kStateDisabled) == 0);
  MyItems.resize(static_cast<size_t>(ItemCount) + 1);
  for (int32_t i = 0; i < ItemCount; ++i) {
    if (MyItems[static_cast<size_t>(i)].Alias == itemAlias) {
      Class_Terminate();
      throw MenuError(kDuplicateAliasError, "cMenu", "菜单项别名相同.");
    }
  }
  MenuItem& item = MyItems[static_cast<size_t>(ItemCount)];
  item.Icon = itemIcon;
  item.Text = itemText;
  item.Type = itemType;
  item.State = itemState;
  item.Alias = itemAlias;
  ++ItemCount;
}

void cMenu::DeleteItem(const std::string& itemAlias) {
  const int index = FindItem(itemAlias);
  if (index >= 0 && hMenu) hMenu->DeleteItemById(index);
}

void cMenu::PopupMenu(int x, int y, int32_t Align) {
  // Without the menu or its owner window there is nothing to track.
  frmMenu* owner = frmMenu::Loaded();
  if (!hMenu || !owner) return;
  hMenu->SetOwner(owner);
  hMenu->Track(x, y, Align);
}

int cMenu::FindItem(const std::string& itemAlias) const {
  for (size_t i = 0; i < MyItems.size(); ++i)
    if (MyItems[i].Alias == itemAlias) return static_cast<int>(i);
  return -1;
}

void cMenu::SetItemIcon(const std::string& itemAlias, const StdPicture& itemIcon) {
  const int index = FindItem(itemAlias);
  if (index >= 0) MyItems[static_cast<size_t>(index)].Icon = itemIcon;
}

StdPicture cMenu::GetItemIcon(const std::string& itemAlias) const {
  const int index = FindItem(itemAlias);
  return index >= 0 ? MyItems[static_cast<size_t>(index)].Icon : nullptr;
}

void cMenu::SetItemText(const std::string& itemAlias, const std::string& itemText) {
  const int index = FindItem(itemAlias);
  if (index >= 0) MyItems[static_cast<size_t>(index)].Text = itemText;
}

std::string cMenu::GetItemText(const std::string& itemAlias) const {
  const int index = FindItem(itemAlias);
  return index >= 0 ? MyItems[static_cast<size_t>(index)].Text : std::string();
}

void cMenu::SetItemState(const std::string& itemAlias, int32_t itemState) {
  const int index = FindItem(itemAlias);
  if (index < 0) return;
  MyItems[static_cast<size_t>(index)].State = itemState;
  if (!hMenu) return;
  if (QAction* action = hMenu->ItemById(index))
    action->setEnabled((itemState & kStateDisabled) == 0);
}

int32_t cMenu::GetItemState(const std::string& itemAlias) const {
  const int index = FindItem(itemAlias);
  return index >= 0 ? MyItems[static_cast<size_t>(index)].State : 0;
}

QMenu* cMenu::hwnd() const { return hMenu; }
void cMenu::hwnd(intptr_t) {}

int32_t cMenu::LeftBarWidth() const { return mMenu::LeftBarWidth; }
void cMenu::LeftBarWidth(int32_t nBarWidth) {
  if (nBarWidth >= 0) mMenu::LeftBarWidth = nBarWidth;
}
int32_t cMenu::LeftBarStyle() const { return mMenu::LeftBarStyle; }
void cMenu::LeftBarStyle(int32_t nBarStyle) {
  if (nBarStyle >= 0 && nBarStyle <= 4) mMenu::LeftBarStyle = nBarStyle;
}
StdPicture cMenu::LeftBarImage() const { return mMenu::LeftBarImage; }
void cMenu::LeftBarImage(const StdPicture& nBarImage) { mMenu::LeftBarImage = nBarImage; }
int32_t cMenu::LeftBarStartColor() const { return mMenu::LeftBarStartColor; }
void cMenu::LeftBarStartColor(int32_t v) { mMenu::LeftBarStartColor = v; }
int32_t cMenu::LeftBarEndColor() const { return mMenu::LeftBarEndColor; }
void cMenu::LeftBarEndColor(int32_t v) { mMenu::LeftBarEndColor = v; }
int32_t cMenu::ItemSelectScope() const { return mMenu::ItemSelectScope; }
void cMenu::ItemSelectScope(int32_t v) { mMenu::ItemSelectScope = v; }
int32_t cMenu::ItemTextEnabledColor() const { return mMenu::ItemTextEnabledColor; }
void cMenu::ItemTextEnabledColor(int32_t v) { mMenu::ItemTextEnabledColor = v; }
int32_t cMenu::ItemTextDisabledColor() const { return mMenu::ItemTextDisabledColor; }
void cMenu::ItemTextDisabledColor(int32_t v) { mMenu::ItemTextDisabledColor = v; }
int32_t cMenu::ItemTextSelectColor() const { return mMenu::ItemTextSelectColor; }
void cMenu::ItemTextSelectColor(int32_t v) { mMenu::ItemTextSelectColor = v; }
int32_t cMenu::ItemIconStyle() const { return mMenu::ItemIconStyle; }
void cMenu::ItemIconStyle(int32_t v) { mMenu::ItemIconStyle = v; }
int32_t cMenu::ItemSelectEdgeStyle() const { return mMenu::ItemSelectEdgeStyle; }
void cMenu::ItemSelectEdgeStyle(int32_t v) { mMenu::ItemSelectEdgeStyle = v; }
int32_t cMenu::ItemSelectEdgeColor() const { return mMenu::ItemSelectEdgeColor; }
void cMenu::ItemSelectEdgeColor(int32_t v) { mMenu::ItemSelectEdgeColor = v; }
int32_t cMenu::ItemSelectFillStyle() const { return mMenu::ItemSelectFillStyle; }
void cMenu::ItemSelectFillStyle(int32_t v) { mMenu::ItemSelectFillStyle = v; }
int32_t cMenu::ItemSelectFillStartColor() const { return mMenu::ItemSelectFillStartColor; }
void cMenu::ItemSelectFillStartColor(int32_t v) { mMenu::ItemSelectFillStartColor = v; }
int32_t cMenu::ItemSelectFillEndColor() const { return mMenu::ItemSelectFillEndColor; }
void cMenu::ItemSelectFillEndColor(int32_t v) { mMenu::ItemSelectFillEndColor = v; }
int32_t cMenu::BackColor() const { return mMenu::BackColor; }
void cMenu::BackColor(int32_t v) { mMenu::BackColor = v; }
int32_t cMenu::SeparatorStyle() const { return mMenu::SeparatorStyle; }
void cMenu::SeparatorStyle(int32_t v) { mMenu::SeparatorStyle = v; }
int32_t cMenu::SeparatorColor() const { return mMenu::SeparatorColor; }
void cMenu::SeparatorColor(int32_t v) { mMenu::SeparatorColor = v; }
int32_t cMenu::Style() const { return mMenu::Style; }

void cMenu::Style(int32_t nMenuStyle) {
  mMenu::Style = nMenuStyle;
  if (nMenuStyle < 0 || nMenuStyle > 4) return;

  const int32_t menu = GetSysColor(COLOR_MENU);
  const int32_t menuText = GetSysColor(COLOR_MENUTEXT);
  const int32_t highlight = GetSysColor(COLOR_HIGHLIGHT);
  const int32_t highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
  const int32_t greyText = GetSysColor(COLOR_GRAYTEXT);
  const int32_t black = RGB(0, 0, 0);
  const int32_t white = RGB(255, 255, 255);

  mMenu::LeftBarWidth = 20;
  mMenu::LeftBarImage = EmptyPicture();
  mMenu::LeftBarStartColor = menu;
  mMenu::LeftBarEndColor = menu;
  mMenu::ItemTextEnabledColor = menuText;
  mMenu::ItemTextDisabledColor = greyText;
  mMenu::BackColor = menu;
  switch (nMenuStyle) {
    case 0:
      mMenu::LeftBarStyle = 0;
      mMenu::ItemSelectScope = 2;
      mMenu::ItemTextSelectColor = highlightText;
      mMenu::ItemIconStyle = 0;
      mMenu::ItemSelectEdgeStyle = 0;
      mMenu::ItemSelectEdgeColor = highlight;
      mMenu::ItemSelectFillStyle = 1;
      mMenu::ItemSelectFillStartColor = highlight;
      mMenu::ItemSelectFillEndColor = highlight;
      mMenu::SeparatorStyle = 6;
      mMenu::SeparatorColor = greyText;
      break;
    case 1:
      mMenu::LeftBarStyle = 0;
      mMenu::ItemSelectScope = 2;
      mMenu::ItemTextSelectColor = menuText;
      mMenu::ItemIconStyle = 3;
      mMenu::ItemSelectEdgeStyle = 0;
      mMenu::ItemSelectEdgeColor = RGB(49, 106, 197);
      mMenu::ItemSelectFillStyle = 1;
      mMenu::ItemSelectFillStartColor = RGB(180, 195, 210);
      mMenu::ItemSelectFillEndColor = RGB(180, 195, 210);
      mMenu::SeparatorStyle = 0;
      mMenu::SeparatorColor = RGB(192, 192, 192);
      break;
    case 2:
      mMenu::LeftBarStyle = 3;
      mMenu::LeftBarStartColor = black;
      mMenu::LeftBarEndColor = white;
      mMenu::ItemSelectScope = 2;
      mMenu::ItemTextSelectColor = highlightText;
      mMenu::ItemIconStyle = 0;
      mMenu::ItemSelectEdgeStyle = 5;
      mMenu::ItemSelectEdgeColor = highlight;
      mMenu::ItemSelectFillStyle = 2;
      mMenu::ItemSelectFillStartColor = black;
      mMenu::ItemSelectFillEndColor = white;
      mMenu::SeparatorStyle = 6;
      mMenu::SeparatorColor = greyText;
      break;
    case 3:
      mMenu::LeftBarStyle = 0;
      mMenu::ItemSelectScope = 1;
      mMenu::ItemTextSelectColor = RGB(0, 0, 255);
      mMenu::ItemIconStyle = 2;
      mMenu::ItemSelectEdgeStyle = 6;
      mMenu::ItemSelectEdgeColor = highlight;
      mMenu::ItemSelectFillStyle = 0;
      mMenu::ItemSelectFillStartColor = highlight;
      mMenu::ItemSelectFillEndColor = highlight;
      mMenu::SeparatorStyle = 6;
      mMenu::SeparatorColor = greyText;
      break;
    case 4:
      mMenu::LeftBarStyle = 4;
      mMenu::LeftBarImage = frmMenu::Load()->Picture();
      mMenu::ItemSelectScope = 2;
      mMenu::ItemTextEnabledColor = RGB(0, 0, 255);
      mMenu::ItemTextDisabledColor = RGB(49, 106, 197);
      mMenu::ItemTextSelectColor = RGB(255, 0, 0);
      mMenu::ItemIconStyle = 0;
      mMenu::ItemSelectEdgeStyle = 2;
      mMenu::ItemSelectEdgeColor = RGB(0, 0, 0);
      mMenu::ItemSelectFillStyle = 3;
      mMenu::ItemSelectFillStartColor = RGB(255, 255, 0);
      mMenu::ItemSelectFillEndColor = RGB(0, 255, 0);
      mMenu::BackColor = RGB(230, 230, 255);
      mMenu::SeparatorStyle = 4;
      mMenu::SeparatorColor = RGB(255, 0, 255);
      break;
  }
}

void cMenu::Class_Terminate() {
  if (frmMenu* form = frmMenu::Loaded()) {
    if (form->WindowProc() == &MenuProc) form->SetWindowProc(PrevWndProc);
  }
  PrevWndProc = nullptr;
  MyItems.clear();
  delete hMenu;
  hMenu = nullptr;
}

}  // namespace talvora
