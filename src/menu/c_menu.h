// cMenu: the owner-drawn popup menu. Its user adds items (alias, icon, text,
// type, state), picks one of five style presets or sets the style values one
// by one, and pops the menu up at a screen point. A chosen item reaches the
// user as its command ID through mMenu::DoMenuCommand, the highlighted item
// through mMenu::ShowMenuStatus. One instance at a time: the data is the
// module's (m_menu.h).
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "menu/m_menu.h"

class QMenu;

namespace talvora {

// An error with the platform's number, source and description.
class MenuError : public std::runtime_error {
 public:
  MenuError(int32_t number, std::string source, std::string description);
  int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// Raised by AddItem for an alias that an earlier item already has.
inline constexpr int32_t kDuplicateAliasError = static_cast<int32_t>(0x80040201u);

class cMenu {
 public:
  cMenu() = default;
  // Tears the component down.
  ~cMenu();
  cMenu(const cMenu&) = delete;
  cMenu& operator=(const cMenu&) = delete;

  // Subclasses frmMenu, creates the empty popup menu and applies style 0.
  void CreateMenu();
  // Appends an item whose command ID is the number of items added before.
  // A duplicate alias tears the component down and throws MenuError.
  void AddItem(const std::string& itemAlias, const StdPicture& itemIcon,
               const std::string& itemText, int32_t itemType, int32_t itemState);
  // Removes the menu item of the first entry with that alias; its table entry
  // and command ID stay.
  void DeleteItem(const std::string& itemAlias);
  // Shows the menu at the screen point until it closes.
  void PopupMenu(int x, int y, int32_t Align);

  // The lookups take the first entry with that alias, exactly; for an alias
  // no entry has, Set does nothing and Get returns no object, "" or 0.
  void SetItemIcon(const std::string& itemAlias, const StdPicture& itemIcon);
  StdPicture GetItemIcon(const std::string& itemAlias) const;
  void SetItemText(const std::string& itemAlias, const std::string& itemText);
  std::string GetItemText(const std::string& itemAlias) const;
  // Also enables or disables the menu item itself (state bit 2).
  void SetItemState(const std::string& itemAlias, int32_t itemState);
  int32_t GetItemState(const std::string& itemAlias) const;

  // The popup menu; setting it is accepted and ignored.
  QMenu* hwnd() const;
  void hwnd(intptr_t nValue);

  int32_t LeftBarWidth() const;
  void LeftBarWidth(int32_t nBarWidth);  // a negative width is ignored
  int32_t LeftBarStyle() const;
  void LeftBarStyle(int32_t nBarStyle);  // only 0 to 4 are taken
  StdPicture LeftBarImage() const;
  void LeftBarImage(const StdPicture& nBarImage);
  int32_t LeftBarStartColor() const;
  void LeftBarStartColor(int32_t nBarStartColor);
  int32_t LeftBarEndColor() const;
  void LeftBarEndColor(int32_t nBarEndColor);
  int32_t ItemSelectScope() const;
  void ItemSelectScope(int32_t nSelectScope);
  int32_t ItemTextEnabledColor() const;
  void ItemTextEnabledColor(int32_t nTextEnabledColor);
  int32_t ItemTextDisabledColor() const;
  void ItemTextDisabledColor(int32_t nTextDisabledColor);
  int32_t ItemTextSelectColor() const;
  void ItemTextSelectColor(int32_t nTextSelectColor);
  int32_t ItemIconStyle() const;
  void ItemIconStyle(int32_t nIconStyle);
  int32_t ItemSelectEdgeStyle() const;
  void ItemSelectEdgeStyle(int32_t nEdgeStyle);
  int32_t ItemSelectEdgeColor() const;
  void ItemSelectEdgeColor(int32_t nEdgeColor);
  int32_t ItemSelectFillStyle() const;
  void ItemSelectFillStyle(int32_t nFillStyle);
  int32_t ItemSelectFillStartColor() const;
  void ItemSelectFillStartColor(int32_t nFillStartColor);
  int32_t ItemSelectFillEndColor() const;
  void ItemSelectFillEndColor(int32_t nFillEndColor);
  int32_t BackColor() const;
  void BackColor(int32_t nBkColor);
  int32_t SeparatorStyle() const;
  void SeparatorStyle(int32_t nSepStyle);
  int32_t SeparatorColor() const;
  void SeparatorColor(int32_t nSepColor);
  // Setting stores the number and, for 0 to 4, applies that preset to all
  // other style values, reading the system colours now.
  int32_t Style() const;
  void Style(int32_t nMenuStyle);

 private:
  // Undoes the subclassing, empties the table and destroys the menu.
  void Class_Terminate();
  // Index of the first entry with that alias, or -1.
  int FindItem(const std::string& itemAlias) const;

  // The command ID of the next item to add.
  int32_t ItemCount = 0;
};

}  // namespace talvora
