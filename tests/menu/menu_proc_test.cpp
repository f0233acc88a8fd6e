#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <QMenu>

#include "menu/c_menu.h"
#include "menu/frm_menu.h"
#include "menu/m_menu.h"
#include "menu_fixture.h"

namespace {

using namespace talvora;
using menu_test::kUntouched;
using menu_test::MenuTest;
using menu_test::Pixel;
using menu_test::RGB;
using menu_test::SolidIcon;

constexpr int32_t kGreen = RGB(0, 128, 0);

int32_t PaletteColour(QPalette::ColorRole role) {
  return ColorValue(QApplication::palette().color(role));
}

// --- measuring ---

TEST_F(MenuTest, MeasureGivesAnsiLengthWidthsAndSeparatorHeight) {
  struct Case {
    std::string text;
    int32_t type;
    int32_t barWidth;
    uint32_t width, height;
  };
  const std::vector<Case> cases = {
      {"生成主题", 0, 20, 81, 19},  // 8 bytes: 19 / 2.5 x 8 + 20 = 80.8
      {"open", 0, 20, 50, 19},      // 50.4
      {"剪切", 0, 0, 30, 19},        // 30.4
      {"&Open", 0, 20, 58, 19},     // the mnemonic mark counts: 58
      {"", kItemSeparator, 20, 20, 6},
      {"", kItemRadio, 7, 7, 19},
  };
  int32_t id = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    menu->LeftBarWidth(c.barWidth);
    menu->AddItem("i" + std::to_string(id), nullptr, c.text, c.type, 0);
    MEASUREITEMSTRUCT m;
    m.CtlType = ODT_MENU;
    m.itemID = static_cast<uint32_t>(id++);
    MeasureMenuItem(nullptr, &m);
    EXPECT_EQ(m.itemWidth, c.width);
    EXPECT_EQ(m.itemHeight, c.height);
    // The measure copy keeps the last height.
    EXPECT_EQ(mMenu::MeasureItem.itemHeight, c.height);
  }
}

// --- the window procedure ---

TEST_F(MenuTest, ChoosingARadioItemSwitchesItBeforeTheDispatch) {
  struct Case {
    int32_t type, state, after;
  };
  const std::vector<Case> cases = {
      {kItemRadio, 8, 0}, {kItemRadio, 0, 8}, {kItemRadio, 10, 8},
      {kItemRadio, 2, 8}, {kItemPlain, 8, 8}, {kItemSeparator, 0, 0},
  };
  int32_t seen = -1;
  mMenu::DoMenuCommand = [&](int32_t id) { seen = mMenu::MyItems.at(id).State; };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    menu->AddItem("r" + std::to_string(i), nullptr, "R", cases[i].type, cases[i].state);
    seen = -1;
    MenuProc(nullptr, WM_COMMAND, i, 0);
    EXPECT_EQ(seen, cases[i].after);
    EXPECT_EQ(menu->GetItemState("r" + std::to_string(i)), cases[i].after);
  }
}

TEST_F(MenuTest, MenuProcSwallowsErrorsAndStillDispatches) {
  menu->AddItem("a", nullptr, "A", 0, 0);
  std::vector<int32_t> commands;
  mMenu::DoMenuCommand = [&](int32_t id) {
    commands.push_back(id);
    throw std::runtime_error("command failed");
  };
  // An ID outside the table skips the radio test but not the dispatch.
  EXPECT_NO_THROW(MenuProc(nullptr, WM_COMMAND, 57, 0));
  EXPECT_NO_THROW(MenuProc(nullptr, WM_COMMAND, 0, 0));
  EXPECT_EQ(commands, (std::vector<int32_t>{57, 0}));

  mMenu::DoMenuCommand = nullptr;
  EXPECT_NO_THROW(MenuProc(nullptr, WM_COMMAND, 0, 0));

  MEASUREITEMSTRUCT m;
  m.CtlType = ODT_MENU;
  m.itemID = 99;
  EXPECT_NO_THROW(MenuProc(nullptr, WM_MEASUREITEM, 0, reinterpret_cast<intptr_t>(&m)));
  EXPECT_EQ(m.itemWidth, 0u);
  QImage image(10, 10, QImage::Format_RGB32);
  QPainter painter(&image);
  DRAWITEMSTRUCT d;
  d.CtlType = ODT_MENU;
  d.itemID = 99;
  d.hDC = &painter;
  EXPECT_NO_THROW(MenuProc(nullptr, WM_DRAWITEM, 0, reinterpret_cast<intptr_t>(&d)));
}

TEST_F(MenuTest, HighlightReportsTheCommandIdAtThePosition) {
  menu->AddItem("a", nullptr, "A", 0, 0);
  menu->AddItem("b", nullptr, "B", 0, 0);
  menu->AddItem("c", nullptr, "C", 0, 0);
  menu->DeleteItem("b");
  std::vector<int32_t> shown;
  mMenu::ShowMenuStatus = [&](int32_t id) { shown.push_back(id); };
  const auto lParam = reinterpret_cast<intptr_t>(menu->hwnd());
  MenuProc(nullptr, WM_MENUSELECT, 1, lParam);
  MenuProc(nullptr, WM_MENUSELECT, 0x00800000u | 0, lParam);  // flags above the position
  MenuProc(nullptr, WM_MENUSELECT, 0xFFFF0000u, 0);            // the menu closes
  MenuProc(nullptr, WM_MENUSELECT, 5, lParam);                 // no item there
  EXPECT_EQ(shown, (std::vector<int32_t>{2, 0}));
}

std::vector<uint32_t> g_previous_messages;
intptr_t RecordingProc(QWidget*, uint32_t msg, uintptr_t, intptr_t) {
  g_previous_messages.push_back(msg);
  return 42;
}

TEST(MenuProcChain, EveryMessageGoesOnToThePreviousProcedure) {
  frmMenu* form = frmMenu::Load();
  const WNDPROC original = form->SetWindowProc(&RecordingProc);
  g_previous_messages.clear();
  {
    cMenu menu;
    menu.CreateMenu();
    menu.AddItem("a", nullptr, "A", 0, 0);
    EXPECT_EQ(form->SendMessage(WM_COMMAND, 0, 0), 42);
    EXPECT_EQ(form->SendMessage(WM_MENUSELECT, 0xFFFF0000u, 0), 42);
    EXPECT_EQ(form->SendMessage(WM_COMMAND, 12345, 0), 42);
    EXPECT_EQ(form->SendMessage(1, 0, 0), 42);
  }
  EXPECT_EQ(g_previous_messages,
            (std::vector<uint32_t>{WM_COMMAND, WM_MENUSELECT, WM_COMMAND, 1}));
  // Teardown put the previous procedure back.
  EXPECT_EQ(form->WindowProc(), &RecordingProc);
  form->SetWindowProc(original);
}

// --- painting ---

TEST_F(MenuTest, BarCoversTheWholeMenuHeight) {
  struct Case {
    std::vector<int32_t> types;
    int height;  // k x 6 + (n - k) x h, h the height of the last item
  };
  const std::vector<Case> cases = {
      {{0, kItemSeparator, 0, 0}, 6 + 3 * 19},
      {{0, kItemSeparator, 0, kItemSeparator}, 4 * 6},
      {{0}, 19},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    menu.reset();
    menu = std::make_unique<cMenu>();
    menu->CreateMenu();
    for (size_t k = 0; k < cases[i].types.size(); ++k)
      menu->AddItem(std::to_string(k), nullptr, "item", cases[i].types[k], 0);
    menu->LeftBarStyle(1);
    menu->LeftBarStartColor(RGB(255, 0, 0));
    const QImage image = Paint();
    const int H = cases[i].height;
    // The bar's bottom edge H - 1 lies outside it.
    EXPECT_EQ(Pixel(image, 0, H - 2), RGB(255, 0, 0));
    if (H - 1 < image.height()) {
      EXPECT_EQ(Pixel(image, 0, H - 1), kUntouched);
    }
  }
}

TEST_F(MenuTest, BarStylesPaintTheirColours) {
  menu->AddItem("a", nullptr, "plain", 0, 0);
  menu->AddItem("b", nullptr, "plain", 0, 0);
  menu->AddItem("c", nullptr, "plain", 0, 0);
  const int H = 3 * 19;
  struct Probe {
    int x, y;
    int32_t colour;
  };
  struct Case {
    const char* name;
    int32_t preset, barStyle, start, end;
    std::vector<Probe> probes;
  };
  const int32_t red = RGB(255, 0, 0), blue = RGB(0, 0, 255), white = RGB(255, 255, 255);
  const int32_t back = RGB(200, 201, 202);  // the menu colour
  const std::vector<Case> cases = {
      {"preset 1 has no bar", 1, -1, 0, 0, {{0, 5, back}, {19, 5, back}}},
      {"solid",
       0, 1, red, blue,
       {{0, 0, red}, {18, H - 2, red}, {19, 5, back}}},
      {"left to right",
       0, 2, RGB(0, 0, 0), white,
       {{0, 3, RGB(0, 0, 0)}, {10, 3, RGB(127, 127, 127)}, {19, 3, RGB(242, 242, 242)}}},
      {"left to right downwards", 0, 2, white, RGB(0, 0, 0), {{10, 3, RGB(127, 127, 127)}}},
      {"preset 2, top to bottom",
       2, -1, 0, 0,
       {{0, 0, RGB(0, 0, 0)}, {5, 20, RGB(89, 89, 89)}, {18, 55, RGB(246, 246, 246)},
        {19, 19, back}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    menu->Style(c.preset);
    if (c.barStyle >= 0) {
      menu->LeftBarStyle(c.barStyle);
      menu->LeftBarStartColor(c.start);
      menu->LeftBarEndColor(c.end);
    }
    const QImage image = Paint();
    for (const auto& p : c.probes) {
      SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
      EXPECT_EQ(Pixel(image, p.x, p.y), p.colour);
    }
  }
}

TEST_F(MenuTest, BarPictureIsCopiedUnscaled) {
  for (int i = 0; i < 3; ++i) menu->AddItem(std::to_string(i), nullptr, "item", 0, 0);
  QImage picture(20, 485, QImage::Format_RGB32);
  picture.fill(QColor(0, 0, 255));
  for (int y = 0; y < 485; y += 2)
    for (int x = 0; x < 20; ++x) picture.setPixelColor(x, y, QColor(255, 0, 0));
  menu->Style(4);
  menu->LeftBarImage(std::make_shared<const QPixmap>(QPixmap::fromImage(picture)));
  const QImage image = Paint();
  EXPECT_EQ(Pixel(image, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(Pixel(image, 19, 1), RGB(0, 0, 255));
  EXPECT_EQ(Pixel(image, 19, 56), RGB(255, 0, 0));
  // Preset 4's own picture fills the bar too.
  menu->Style(4);
  const QImage own = Paint();
  const QImage bar = frmMenu::Load()->Picture()->toImage();
  EXPECT_EQ(Pixel(own, 3, 40), menu_test::Pixel(bar, 3, 40));
}

TEST_F(MenuTest, IconSitsTwoPixelsBelowTheItemTop) {
  struct Case {
    int32_t barStyle;
    int iconLeft;  // c + 2
  };
  for (const Case& c : {Case{0, 2}, Case{1, 23}, Case{4, 23}}) {
    SCOPED_TRACE(c.barStyle);
    menu.reset();
    menu = std::make_unique<cMenu>();
    menu->CreateMenu();
    menu->AddItem("a", nullptr, "first", 0, 0);
    menu->AddItem("b", SolidIcon(kGreen), "second", 0, 0);
    menu->LeftBarStyle(c.barStyle);
    const QImage image = Paint();
    const int top = rects[1].top;
    ASSERT_EQ(top, 19);
    EXPECT_EQ(Pixel(image, c.iconLeft, top + 2), kGreen);
    EXPECT_NE(Pixel(image, c.iconLeft, top + 1), kGreen);
    EXPECT_NE(Pixel(image, c.iconLeft - 1, top + 2), kGreen);
    EXPECT_EQ(Pixel(image, c.iconLeft + 15, top + 17), kGreen);
    EXPECT_NE(Pixel(image, c.iconLeft + 15, top + 18), kGreen);
  }
}

TEST_F(MenuTest, PresetZeroHighlightsWithEdgeAndFill) {
  menu->AddItem("a", SolidIcon(kGreen), "打开", 0, 0);
  menu->AddItem("b", SolidIcon(kGreen), "剪切", 0, 0);
  menu->ItemSelectEdgeColor(RGB(255, 0, 0));  // to tell the edge from the fill
  const QImage image = Paint(1);
  const auto r = rects[1];
  const int32_t highlight = RGB(20, 40, 160);
  const int32_t back = RGB(200, 201, 202);
  // No bar: the icon cell and so the highlight start at the item's left.
  EXPECT_EQ(Pixel(image, 0, r.top), RGB(255, 0, 0));
  EXPECT_EQ(Pixel(image, r.right - 1, r.bottom - 1), RGB(255, 0, 0));
  EXPECT_EQ(Pixel(image, 1, r.top + 1), highlight);
  EXPECT_EQ(Pixel(image, r.right - 2, r.bottom - 2), highlight);
  EXPECT_EQ(Pixel(image, 2, r.top + 2), kGreen);  // the icon on top
  // The other item is not highlighted.
  EXPECT_EQ(Pixel(image, 0, rects[0].top), back);
  EXPECT_EQ(Pixel(image, r.right - 2, rects[0].top + 1), back);
  // Text in the highlight text colour somewhere in the text rectangle.
  bool textSeen = false;
  for (int x = 23; x < r.right - 1 && !textSeen; ++x)
    for (int y = r.top + 1; y < r.bottom - 1; ++y)
      if (Pixel(image, x, y) != highlight) textSeen = true;
  EXPECT_TRUE(textSeen);
}

TEST_F(MenuTest, HighlightScopeSetsTheLeftEdge) {
  struct Case {
    int32_t scope;
    bool icon;
    int32_t type;
    int left;  // c = 21 with a bar of width 20
  };
  const std::vector<Case> cases = {
      {2, true, 0, 21},  {3, true, 0, 21},   {1, true, 0, 42},         {0, true, 0, 0},
      {4, true, 0, 0},   {1, false, 0, 21},  {0, false, 0, 21},        {4, false, 0, 0},
      {1, true, kItemRadio, 21},             {4, true, kItemRadio, 0},
  };
  const int32_t edge = RGB(255, 0, 0);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    menu.reset();
    menu = std::make_unique<cMenu>();
    menu->CreateMenu();
    menu->AddItem("a", c.icon ? SolidIcon(kGreen) : EmptyPicture(), "item", c.type, 8);
    menu->LeftBarStyle(1);
    menu->LeftBarStartColor(RGB(0, 0, 255));
    menu->ItemSelectScope(c.scope);
    menu->ItemSelectEdgeColor(edge);
    menu->ItemSelectFillStyle(0);
    const QImage image = Paint(0, 40);
    int first = -1;
    for (int x = 0; x < image.width() && first < 0; ++x)
      if (Pixel(image, x, 0) == edge) first = x;
    EXPECT_EQ(first, c.left);
  }
}

TEST_F(MenuTest, FillGradientsRunAcrossAndDown) {
  menu->AddItem("a", nullptr, "item", 0, 0);
  menu->ItemSelectEdgeStyle(5);
  menu->ItemSelectFillStartColor(RGB(0, 0, 0));
  menu->ItemSelectFillEndColor(RGB(0, 0, 250));
  menu->ItemSelectFillStyle(2);
  QImage image = Paint(0, 40);
  // Highlight from c = 0 shrunk to 1 .. right - 2; t = (x - left) / (right - left + 1).
  const int left = 1, right = rects[0].right - 1;
  EXPECT_EQ(Pixel(image, left, 1), RGB(0, 0, 0));
  const int x = left + 10;
  EXPECT_EQ(Pixel(image, x, 5),
            RGB(0, 0, static_cast<int>(std::floor(10.0 / (right - left + 1) * 250))));
  EXPECT_EQ(Pixel(image, right, 5), RGB(200, 201, 202));  // the shrunk edge stays back colour

  menu->ItemSelectFillStyle(3);
  image = Paint(0, 40);
  // Rows 1 .. 17 of a 19-pixel item, t = (y - 1) / 18.
  EXPECT_EQ(Pixel(image, 30, 1), RGB(0, 0, 0));
  EXPECT_EQ(Pixel(image, 30, 10), RGB(0, 0, static_cast<int>(std::floor(9.0 / 18 * 250))));
  EXPECT_EQ(Pixel(image, 30, 17), RGB(0, 0, static_cast<int>(std::floor(16.0 / 18 * 250))));
}

TEST_F(MenuTest, SeparatorsDrawOneLineTwoPixelsBelowTheirTop) {
  struct Case {
    int32_t preset;
    int32_t line;       // at top + 2
    int32_t belowLine;  // at top + 3
  };
  const int32_t back = RGB(200, 201, 202);
  const std::vector<Case> cases = {
      {1, RGB(192, 192, 192), back},                                     // pen, solid
      {0, PaletteColour(QPalette::Dark), PaletteColour(QPalette::Light)}, // etched
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.preset);
    menu.reset();
    menu = std::make_unique<cMenu>();
    menu->CreateMenu();
    menu->AddItem("a", nullptr, "first item", 0, 0);
    menu->AddItem("s", nullptr, "", kItemSeparator, 0);
    menu->AddItem("b", nullptr, "last", 0, 0);
    menu->Style(c.preset);
    const QImage image = Paint(1);  // a highlighted separator is still a line
    const auto r = rects[1];
    ASSERT_EQ(r.bottom - r.top, 6);
    EXPECT_EQ(Pixel(image, 24, r.top + 2), c.line);
    EXPECT_EQ(Pixel(image, r.right - 1, r.top + 2), c.line);
    EXPECT_EQ(Pixel(image, 23, r.top + 2), back);
    EXPECT_EQ(Pixel(image, 30, r.top + 1), back);
    EXPECT_EQ(Pixel(image, 30, r.top + 3), c.belowLine);
    EXPECT_EQ(Pixel(image, 30, r.top + 4), back);
  }
  menu->SeparatorStyle(5);
  const QImage none = Paint();
  EXPECT_EQ(Pixel(none, 30, rects[1].top + 2), back);
}

TEST_F(MenuTest, DisabledHighlightedItemIsPaintedDisabled) {
  menu->AddItem("a", SolidIcon(kGreen), "删除", 0, 2);
  menu->ItemTextDisabledColor(RGB(255, 0, 0));
  const QImage image = Paint(0);
  bool disabledText = false;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const int32_t p = Pixel(image, x, y);
      EXPECT_NE(p, RGB(20, 40, 160)) << x << "," << y;  // no highlight
      EXPECT_NE(p, kGreen) << x << "," << y;           // the icon only embossed
      if (p == RGB(255, 0, 0)) disabledText = true;
    }
  EXPECT_TRUE(disabledText);
  // The embossed icon: its shape in the shadow colour.
  EXPECT_EQ(Pixel(image, 2, 2), PaletteColour(QPalette::Dark));
}

TEST_F(MenuTest, IconEffectsOfTheSelectedItem) {
  struct Case {
    const char* name;
    int32_t iconStyle;
    std::vector<std::pair<QPoint, int32_t>> probes;  // c = 0, icon at (2, 2)
  };
  const int32_t light = PaletteColour(QPalette::Light);
  const int32_t dark = PaletteColour(QPalette::Dark);
  const int32_t grey = RGB(128, 128, 128);
  const std::vector<Case> cases = {
      {"sunken", 1, {{{0, 0}, dark}, {{19, 18}, light}, {{2, 2}, kGreen}}},
      {"raised", 2, {{{0, 0}, light}, {{19, 18}, dark}, {{2, 2}, kGreen}}},
      // Shadow at (3, 3), the icon again at (1, 1).
      {"shadow", 3, {{{1, 1}, kGreen}, {{16, 16}, kGreen}, {{17, 17}, grey}, {{18, 18}, grey},
                     {{17, 2}, kGreen}, {{18, 2}, kUntouched}, {{19, 18}, RGB(200, 201, 202)}}},
  };
  menu->AddItem("a", SolidIcon(kGreen), "item", 0, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    menu->Style(0);
    menu->ItemSelectEdgeStyle(5);
    menu->ItemSelectFillStyle(0);
    menu->ItemIconStyle(c.iconStyle);
    const QImage image = Paint(0, 40);
    for (const auto& [point, colour] : c.probes) {
      SCOPED_TRACE(std::to_string(point.x()) + "," + std::to_string(point.y()));
      EXPECT_EQ(Pixel(image, point.x(), point.y()), colour);
    }
  }
}

TEST_F(MenuTest, RadioIconShowsOnlyWhenOn) {
  // A disabled radio item shows its icon embossed, and likewise only when on.
  const int32_t embossed = PaletteColour(QPalette::Dark);
  for (int32_t state : {0, 8, 2, 10}) {
    for (bool selected : {false, true}) {
      SCOPED_TRACE(std::to_string(state) + (selected ? " selected" : ""));
      menu.reset();
      menu = std::make_unique<cMenu>();
      menu->CreateMenu();
      menu->AddItem("r", SolidIcon(kGreen), "radio", kItemRadio, state);
      const QImage image = Paint(selected ? 0 : -1);
      const int32_t icon = (state & 2) ? embossed : kGreen;
      EXPECT_EQ(Pixel(image, 8, 8) == icon, (state & 8) != 0);
    }
  }
}

TEST_F(MenuTest, TextTakesTheColourOfItsState) {
  struct Case {
    const char* name;
    int32_t type, state;
    bool selected;
    int32_t colour;
  };
  const int32_t enabled = RGB(255, 0, 0), selectedColour = RGB(0, 0, 255),
                disabled = RGB(0, 160, 0);
  const std::vector<Case> cases = {
      {"normal", 0, 0, false, enabled},
      {"highlighted", 0, 0, true, selectedColour},
      {"disabled", 0, 2, false, disabled},
      {"highlighted radio", kItemRadio, 8, true, selectedColour},
      {"radio off", kItemRadio, 0, false, enabled},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    menu.reset();
    menu = std::make_unique<cMenu>();
    menu->CreateMenu();
    menu->AddItem("a", EmptyPicture(), "删除目录", c.type, c.state);
    menu->ItemSelectEdgeStyle(5);
    menu->ItemSelectFillStyle(0);
    menu->ItemTextEnabledColor(enabled);
    menu->ItemTextSelectColor(selectedColour);
    menu->ItemTextDisabledColor(disabled);
    const QImage image = Paint(c.selected ? 0 : -1, 40);
    std::vector<int32_t> seen;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const int32_t p = Pixel(image, x, y);
        if ((p == enabled || p == selectedColour || p == disabled) &&
            std::find(seen.begin(), seen.end(), p) == seen.end())
          seen.push_back(p);
        // Nothing of the text left of the text rectangle (c + 23, c = 0).
        if (p == c.colour) {
          EXPECT_GE(x, 23) << x << "," << y;
        }
      }
    EXPECT_EQ(seen, std::vector<int32_t>{c.colour});
  }
}

}  // namespace
