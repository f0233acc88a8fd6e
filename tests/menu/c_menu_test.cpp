#include "menu/c_menu.h"

#include <functional>
#include <string>
#include <vector>

#include <QAction>
#include <QMenu>

#include "menu/frm_menu.h"
#include "menu_fixture.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace {

using namespace talvora;
using menu_test::MenuTest;
using menu_test::RGB;

// Every style value but LeftBarImage and Style, in the order of the interface.
std::vector<int32_t> StyleValues(const cMenu& m) {
  return {m.LeftBarWidth(),          m.LeftBarStyle(),          m.LeftBarStartColor(),
          m.LeftBarEndColor(),       m.ItemSelectScope(),       m.ItemTextEnabledColor(),
          m.ItemTextDisabledColor(), m.ItemTextSelectColor(),   m.ItemIconStyle(),
          m.ItemSelectEdgeStyle(),   m.ItemSelectEdgeColor(),   m.ItemSelectFillStyle(),
          m.ItemSelectFillStartColor(), m.ItemSelectFillEndColor(), m.BackColor(),
          m.SeparatorStyle(),        m.SeparatorColor()};
}

// The system colours of DistinctPalette.
constexpr int32_t kMenu = RGB(200, 201, 202);
constexpr int32_t kMenuText = RGB(10, 11, 12);
constexpr int32_t kHighlight = RGB(20, 40, 160);
constexpr int32_t kHighlightText = RGB(250, 251, 252);
constexpr int32_t kGreyText = RGB(120, 121, 122);

struct PresetCase {
  int32_t style;
  std::vector<int32_t> values;  // as StyleValues
};

TEST_F(MenuTest, PresetsSetEveryStyleValue) {
  const int32_t blue = RGB(0, 0, 255);
  const std::vector<PresetCase> cases = {
      {0, {20, 0, kMenu, kMenu, 2, kMenuText, kGreyText, kHighlightText, 0, 0, kHighlight, 1,
           kHighlight, kHighlight, kMenu, 6, kGreyText}},
      {1, {20, 0, kMenu, kMenu, 2, kMenuText, kGreyText, kMenuText, 3, 0, RGB(49, 106, 197), 1,
           RGB(180, 195, 210), RGB(180, 195, 210), kMenu, 0, RGB(192, 192, 192)}},
      {2, {20, 3, RGB(0, 0, 0), RGB(255, 255, 255), 2, kMenuText, kGreyText, kHighlightText, 0, 5,
           kHighlight, 2, RGB(0, 0, 0), RGB(255, 255, 255), kMenu, 6, kGreyText}},
      {3, {20, 0, kMenu, kMenu, 1, kMenuText, kGreyText, blue, 2, 6, kHighlight, 0, kHighlight,
           kHighlight, kMenu, 6, kGreyText}},
      {4, {20, 4, kMenu, kMenu, 2, blue, RGB(49, 106, 197), RGB(255, 0, 0), 0, 2, RGB(0, 0, 0), 3,
           RGB(255, 255, 0), RGB(0, 255, 0), RGB(230, 230, 255), 4, RGB(255, 0, 255)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    // Start from values no preset has, so that every row must be set.
    menu->Style(7);
    menu->LeftBarWidth(99);
    menu->ItemSelectScope(99);
    menu->Style(c.style);
    EXPECT_EQ(menu->Style(), c.style);
    EXPECT_EQ(StyleValues(*menu), c.values);
    const StdPicture bar = menu->LeftBarImage();
    ASSERT_TRUE(bar);
    if (c.style == 4) {
      EXPECT_EQ(bar, frmMenu::Load()->Picture());
      EXPECT_EQ(bar->size(), QSize(20, 485));
    } else {
      EXPECT_FALSE(HasHandle(bar));
    }
  }
}

TEST_F(MenuTest, CreateMenuAppliesPresetZeroAndSystemColoursAreReadOnce) {
  EXPECT_EQ(menu->Style(), 0);
  EXPECT_EQ(menu->BackColor(), kMenu);
  QPalette other = QApplication::palette();
  other.setColor(QPalette::Active, QPalette::Window, QColor(9, 9, 9));
  QApplication::setPalette(other);
  EXPECT_EQ(menu->BackColor(), kMenu);
  menu->Style(0);
  EXPECT_EQ(menu->BackColor(), RGB(9, 9, 9));
}

TEST_F(MenuTest, GuardsRefuseOnlyNegativeWidthAndUnknownBarStyle) {
  struct Case {
    const char* name;
    std::function<void()> let;
    std::function<int32_t()> get;
    int32_t expected;
  };
  menu->Style(2);  // bar width 20, bar style 3
  const std::vector<Case> cases = {
      {"width -1", [&] { menu->LeftBarWidth(-1); }, [&] { return menu->LeftBarWidth(); }, 20},
      {"width 0", [&] { menu->LeftBarWidth(0); }, [&] { return menu->LeftBarWidth(); }, 0},
      {"bar style 5", [&] { menu->LeftBarStyle(5); }, [&] { return menu->LeftBarStyle(); }, 3},
      {"bar style -1", [&] { menu->LeftBarStyle(-1); }, [&] { return menu->LeftBarStyle(); }, 3},
      {"bar style 4", [&] { menu->LeftBarStyle(4); }, [&] { return menu->LeftBarStyle(); }, 4},
      {"edge style 99", [&] { menu->ItemSelectEdgeStyle(99); },
       [&] { return menu->ItemSelectEdgeStyle(); }, 99},
      {"scope -3", [&] { menu->ItemSelectScope(-3); }, [&] { return menu->ItemSelectScope(); }, -3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    menu->Style(2);
    c.let();
    EXPECT_EQ(c.get(), c.expected);
  }
}

TEST_F(MenuTest, StyleOutsideThePresetsOnlyStoresTheNumber) {
  menu->Style(4);
  menu->BackColor(RGB(1, 1, 1));
  const std::vector<int32_t> before = StyleValues(*menu);
  const StdPicture bar = menu->LeftBarImage();
  for (int32_t style : {7, -1, 5}) {
    menu->Style(style);
    EXPECT_EQ(menu->Style(), style);
    EXPECT_EQ(StyleValues(*menu), before);
    EXPECT_EQ(menu->LeftBarImage(), bar);
  }
}

TEST_F(MenuTest, LookupsTakeTheExactAliasAndDefaultForAnUnknownOne) {
  const StdPicture icon = menu_test::SolidIcon(RGB(0, 128, 0));
  menu->AddItem("gen", icon, "生成主题资源", 0, 0);
  menu->AddItem("Gen", nullptr, "other", 0, 2);

  EXPECT_EQ(menu->GetItemIcon("gen"), icon);  // the same object, not a copy
  EXPECT_EQ(menu->GetItemText("gen"), "生成主题资源");
  EXPECT_EQ(menu->GetItemState("Gen"), 2);

  for (const char* unknown : {"GEN", "gen ", "", "nothing"}) {
    SCOPED_TRACE(unknown);
    EXPECT_EQ(menu->GetItemIcon(unknown), nullptr);
    EXPECT_EQ(menu->GetItemText(unknown), "");
    EXPECT_EQ(menu->GetItemState(unknown), 0);
    menu->SetItemText(unknown, "x");
    menu->SetItemState(unknown, 2);
    menu->SetItemIcon(unknown, nullptr);
    menu->DeleteItem(unknown);
  }
  EXPECT_EQ(menu->GetItemText("gen"), "生成主题资源");
  EXPECT_EQ(menu->GetItemState("gen"), 0);
  EXPECT_EQ(menu->GetItemIcon("gen"), icon);
  EXPECT_EQ(menu->hwnd()->actions().size(), 2);
}

TEST_F(MenuTest, ItemsGetConsecutiveIdsAndStateTwoDisablesTheMenuItem) {
  menu->AddItem("a", nullptr, "A", 0, 0);
  menu->AddItem("b", nullptr, "B", 0, 2);
  menu->AddItem("c", nullptr, "C", kItemRadio, 8);
  QMenu* m = menu->hwnd();
  ASSERT_EQ(m->actions().size(), 3);
  for (int p = 0; p < 3; ++p) EXPECT_EQ(GetMenuItemID(m, p), p);
  EXPECT_TRUE(m->actions()[0]->isEnabled());
  EXPECT_FALSE(m->actions()[1]->isEnabled());
  EXPECT_TRUE(m->actions()[2]->isEnabled());

  menu->SetItemState("a", 2);
  EXPECT_EQ(menu->GetItemState("a"), 2);
  EXPECT_FALSE(m->actions()[0]->isEnabled());
  menu->SetItemState("b", 0);
  EXPECT_TRUE(m->actions()[1]->isEnabled());
  menu->SetItemState("c", 10);
  EXPECT_FALSE(m->actions()[2]->isEnabled());
}

TEST_F(MenuTest, DeleteItemKeepsTheIdsAndTheTableEntry) {
  menu->AddItem("a", nullptr, "A", 0, 0);
  menu->AddItem("b", nullptr, "B", 0, 0);
  menu->AddItem("c", nullptr, "C", 0, 0);
  menu->DeleteItem("b");
  QMenu* m = menu->hwnd();
  ASSERT_EQ(GetMenuItemCount(m), 2);
  EXPECT_EQ(GetMenuItemID(m, 0), 0);
  EXPECT_EQ(GetMenuItemID(m, 1), 2);
  EXPECT_EQ(menu->GetItemText("b"), "B");
  menu->AddItem("d", nullptr, "D", 0, 0);
  EXPECT_EQ(GetMenuItemID(m, 2), 3);
  // The alias of a deleted item is still taken.
  EXPECT_THROW(menu->AddItem("b", nullptr, "B", 0, 0), MenuError);
}

TEST_F(MenuTest, DuplicateAliasTearsTheMenuDownUntilCreateMenu) {
  menu->AddItem("a", nullptr, "A", 0, 0);
  menu->AddItem("b", nullptr, "B", 0, 0);
  try {
    menu->AddItem("a", nullptr, "again", 0, 0);
    FAIL() << "no error raised";
  } catch (const MenuError& e) {
    EXPECT_EQ(static_cast<uint32_t>(e.Number()), 0x80040201u);
    EXPECT_EQ(e.Source(), "cMenu");
    EXPECT_EQ(e.Description(), "菜单项别名相同.");
    EXPECT_STREQ(e.what(), "菜单项别名相同.");
  }
  EXPECT_EQ(menu->hwnd(), nullptr);
  EXPECT_EQ(menu->GetItemText("a"), "");
  EXPECT_EQ(menu->GetItemText("b"), "");
  EXPECT_EQ(frmMenu::Load()->WindowProc(), &frmMenu::DefWindowProc);
  menu->PopupMenu(10, 10, 0);  // no menu: returns at once

  menu->CreateMenu();
  ASSERT_NE(menu->hwnd(), nullptr);
  EXPECT_EQ(GetMenuItemCount(menu->hwnd()), 0);
  EXPECT_EQ(frmMenu::Load()->WindowProc(), &MenuProc);
  // The count of added items goes on where it was.
  menu->AddItem("c", nullptr, "C", 0, 0);
  EXPECT_EQ(GetMenuItemID(menu->hwnd(), 0), 2);
  EXPECT_EQ(menu->GetItemText("c"), "C");
}

TEST_F(MenuTest, AnEmptyAliasIsAnAliasLikeAnyOther) {
  menu->AddItem("", nullptr, "first", 0, 0);
  EXPECT_EQ(menu->GetItemText(""), "first");
  EXPECT_THROW(menu->AddItem("", nullptr, "second", 0, 0), MenuError);
}

TEST_F(MenuTest, TeardownGivesFrmMenuItsProcedureBack) {
  menu.reset();
  EXPECT_EQ(frmMenu::Load()->WindowProc(), &frmMenu::DefWindowProc);
  EXPECT_EQ(mMenu::hMenu, nullptr);
  EXPECT_TRUE(mMenu::MyItems.empty());
}

TEST_F(MenuTest, CreateMenuTwiceStillHandsEachCommandOnOnce) {
  menu->CreateMenu();
  menu->AddItem("a", nullptr, "A", 0, 0);
  std::vector<int32_t> calls;
  mMenu::DoMenuCommand = [&](int32_t id) { calls.push_back(id); };
  frmMenu::Load()->SendMessage(WM_COMMAND, 0, 0);
  EXPECT_EQ(calls, std::vector<int32_t>{0});
  menu.reset();
  EXPECT_EQ(frmMenu::Load()->WindowProc(), &frmMenu::DefWindowProc);
}

TEST(FrmMenu, BarPictureComesFromTheProgramFolderOrIsDrawn) {
  frmMenu::Unload();
  const QImage shipped = frmMenu::Load()->Picture()->toImage();
  EXPECT_EQ(shipped.size(), QSize(20, 485));

  testing_support::TempDir empty;
  const std::string saved = platform::ProgramFolder();
  platform::SetProgramFolder(empty.path());
  frmMenu::Unload();
  const QImage drawn = frmMenu::Load()->Picture()->toImage();
  platform::SetProgramFolder(saved);
  frmMenu::Unload();
  ASSERT_EQ(drawn.size(), QSize(20, 485));
  // A soft gradient, darker at the top.
  EXPECT_LT(qRed(drawn.pixel(10, 0)), qRed(drawn.pixel(10, 484)));
  EXPECT_EQ(drawn.pixel(0, 100), drawn.pixel(19, 100));
}

TEST_F(MenuTest, PopupWithoutTheOwnerWindowReturnsAtOnce) {
  menu->AddItem("a", nullptr, "A", 0, 0);
  frmMenu::Unload();
  menu->PopupMenu(10, 10, 0);
  EXPECT_FALSE(menu->hwnd()->isVisible());
}

}  // namespace
