#include "menu/owner_draw_menu.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QAction>
#include <QTest>
#include <QTimer>

#include "menu/c_menu.h"
#include "menu/m_menu.h"
#include "menu_fixture.h"

namespace {

using namespace talvora;
using menu_test::MenuTest;
using menu_test::Pixel;
using menu_test::RGB;
using menu_test::SolidIcon;

constexpr int kFrame = OwnerDrawMenu::kFrameWidth;

void AddSampleItems(cMenu& menu) {
  menu.AddItem("expend", SolidIcon(RGB(0, 128, 0)), "展开", 0, 0);
  menu.AddItem("sep0", EmptyPicture(), "", kItemSeparator, 0);
  menu.AddItem("gen", SolidIcon(RGB(200, 120, 0)), "生成主题资源", 0, 0);
  menu.AddItem("paste", SolidIcon(RGB(0, 0, 200)), "粘贴", 0, 2);
  menu.AddItem("radio", SolidIcon(RGB(150, 0, 150)), "单选项", kItemRadio, 8);
}

QImage Client(OwnerDrawMenu* m) {
  const QImage grabbed = m->grab().toImage().convertToFormat(QImage::Format_RGB32);
  return grabbed.copy(kFrame, kFrame, grabbed.width() - 2 * kFrame,
                      grabbed.height() - 2 * kFrame);
}

TEST_F(MenuTest, RealMenuTakesItsGeometryAndLookFromTheOwner) {
  AddSampleItems(*menu);
  OwnerDrawMenu* m = mMenu::hMenu;
  for (int32_t style = 0; style <= 4; ++style) {
    SCOPED_TRACE(style);
    menu->Style(style);
    m->Remeasure();
    for (int32_t selected : {-1, 2, 3}) {
      SCOPED_TRACE(selected);
      const QImage direct = Paint(selected);
      ASSERT_EQ(m->actions().size(), 5);
      for (int p = 0; p < 5; ++p) {
        const RECT r = m->ItemRect(m->actions()[p]);
        EXPECT_EQ(r.left, rects[p].left);
        EXPECT_EQ(r.top, rects[p].top);
        EXPECT_EQ(r.right, rects[p].right);
        EXPECT_EQ(r.bottom, rects[p].bottom);
      }
      EXPECT_EQ(m->sizeHint(), direct.size() + QSize(2 * kFrame, 2 * kFrame));
      m->setActiveAction(selected >= 0 ? m->ItemById(selected) : nullptr);
      const QImage client = Client(m);
      ASSERT_EQ(client.size(), direct.size());
      // Where the items leave the window alone, the menu colour shows.
      int differences = 0;
      for (int y = 0; y < client.height(); ++y)
        for (int x = 0; x < client.width(); ++x)
          if (Pixel(direct, x, y) != menu_test::kUntouched &&
              Pixel(direct, x, y) != Pixel(client, x, y))
            ++differences;
      EXPECT_EQ(differences, 0);
    }
  }
}

TEST_F(MenuTest, RealMenuOfPresetOneAndTwoShowsBarAndHighlight) {
  AddSampleItems(*menu);
  OwnerDrawMenu* m = mMenu::hMenu;
  menu->Style(2);
  m->Remeasure();
  m->setActiveAction(m->ItemById(0));
  QImage client = Client(m);
  // Top to bottom black to white over H = 6 + 4 x 19.
  EXPECT_EQ(Pixel(client, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(Pixel(client, 5, 41), RGB(127, 127, 127));
  // Gradient fill of the highlight from the icon cell (c = 21), left to right.
  EXPECT_EQ(Pixel(client, 22, 1), RGB(0, 0, 0));
  EXPECT_GT(qRed(client.pixel(client.width() - 3, 1)), 200);

  menu->Style(1);
  m->Remeasure();
  m->setActiveAction(m->ItemById(0));
  client = Client(m);
  EXPECT_EQ(Pixel(client, 0, 0), RGB(49, 106, 197));  // the edge from the item's left
  EXPECT_EQ(Pixel(client, 1, 17), RGB(180, 195, 210));  // below the lifted icon
  EXPECT_EQ(Pixel(client, 30, 19 + 2), RGB(192, 192, 192));  // separator line
}

// Runs the popped-up menu: body gets the menu once it is open.
void WhilePopped(cMenu& menu, std::function<void(QMenu*)> body) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    body(popup);
    // Whatever happened, do not leave the menu open.
    if (QApplication::activePopupWidget() == popup) popup->close();
  });
  menu.PopupMenu(100, 80, 0);
  EXPECT_TRUE(ran);
}

QPoint Centre(QMenu* m, int32_t id) {
  return m->actionGeometry(static_cast<OwnerDrawMenu*>(m)->ItemById(id)).center();
}

void MoveTo(QMenu* m, QPoint at) {
  // The menu ignores the first small moves after it opens.
  for (int i = 0; i < 8; ++i) QTest::mouseMove(m, at + QPoint(i % 2, 0));
}

TEST_F(MenuTest, PoppedMenuReportsTheHighlightAndDispatchesTheChoice) {
  AddSampleItems(*menu);
  menu->Style(4);
  std::vector<int32_t> shown;
  std::vector<std::pair<int32_t, int32_t>> commands;  // ID, its state at the dispatch
  mMenu::ShowMenuStatus = [&](int32_t id) { shown.push_back(id); };
  mMenu::DoMenuCommand = [&](int32_t id) {
    commands.emplace_back(id, mMenu::MyItems.at(id).State);
  };

  bool stillOpenAfterDisabledClick = false;
  WhilePopped(*menu, [&](QMenu* m) {
    EXPECT_EQ(m, menu->hwnd());
    MoveTo(m, Centre(m, 0));
    MoveTo(m, Centre(m, 3));  // the disabled item is highlighted and reported
    QTest::mouseClick(m, Qt::LeftButton, {}, Centre(m, 3));
    stillOpenAfterDisabledClick = m->isVisible();
    QTest::keyClick(m, Qt::Key_Return);  // nor chosen from the keyboard
    stillOpenAfterDisabledClick = stillOpenAfterDisabledClick && m->isVisible();
    MoveTo(m, Centre(m, 4));
    QTest::mouseClick(m, Qt::LeftButton, {}, Centre(m, 4));
  });
  EXPECT_TRUE(stillOpenAfterDisabledClick);
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown[0], 0);
  EXPECT_EQ(shown[1], 3);
  EXPECT_EQ(shown.back(), 4);
  // The radio item was on: it is off when the dispatch sees it.
  EXPECT_EQ(commands, (std::vector<std::pair<int32_t, int32_t>>{{4, 0}}));
  EXPECT_FALSE(menu->hwnd()->isVisible());

  // From the keyboard: down to the first item, on past the separator, choose.
  commands.clear();
  shown.clear();
  WhilePopped(*menu, [&](QMenu* m) {
    QTest::keyClick(m, Qt::Key_Down);
    QTest::keyClick(m, Qt::Key_Down);
    QTest::keyClick(m, Qt::Key_Down);
    QTest::keyClick(m, Qt::Key_Return);
  });
  EXPECT_EQ(shown, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(commands, (std::vector<std::pair<int32_t, int32_t>>{{2, 0}}));

  // Escape closes the menu without a command.
  commands.clear();
  WhilePopped(*menu, [&](QMenu* m) { QTest::keyClick(m, Qt::Key_Escape); });
  EXPECT_TRUE(commands.empty());
}

TEST_F(MenuTest, PopupAlignmentPlacesTheMenuAroundThePoint) {
  AddSampleItems(*menu);
  struct Case {
    int32_t align;
    QPoint shiftBack;  // how far the top-left corner moves back, in halves of the menu's size
  };
  for (const Case& c : {Case{0, {0, 0}}, Case{TPM_RIGHTALIGN, {2, 0}},
                        Case{TPM_BOTTOMALIGN, {0, 2}}, Case{TPM_CENTERALIGN, {1, 0}},
                        Case{TPM_VCENTERALIGN, {0, 1}},
                        Case{TPM_RIGHTALIGN | TPM_VCENTERALIGN, {2, 1}}}) {
    SCOPED_TRACE(c.align);
    QPoint seen;
    QSize size;
    QTimer::singleShot(0, [&] {
      QWidget* popup = QApplication::activePopupWidget();
      ASSERT_NE(popup, nullptr);
      seen = popup->pos();
      size = popup->size();
      popup->close();
    });
    menu->PopupMenu(400, 300, c.align);
    EXPECT_EQ(seen, QPoint(400 - c.shiftBack.x() * size.width() / 2,
                           300 - c.shiftBack.y() * size.height() / 2));
  }
}

}  // namespace
