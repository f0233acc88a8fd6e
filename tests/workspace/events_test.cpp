// The folder tree's mouse events: the press and the toolbar, the context
// pop-up with its item states, and drag and drop with the auto-scroll.
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QCursor>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <gtest/gtest.h>

#include "menu/owner_draw_menu.h"
#include "platform/dialogs.h"
#include "support/event_wait.h"
#include "tree_commands_fixture.h"

namespace tree_commands_test {
namespace {

using platform::ScriptedDialogs;

class EventsTest : public TreeFixture {
 protected:
  void SetUp() override {
    TreeFixture::SetUp();
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_));
  }

  QWidget* Viewport() const { return form_->TreeView1->viewport(); }

  // Where the node shows in the viewport, its ancestors opened.
  QPoint PointOf(QTreeWidgetItem* node) const {
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) p->setExpanded(true);
    form_->TreeView1->scrollToItem(node);
    // The start of the row: a long name runs past the viewport's edge.
    const QRect r = form_->TreeView1->visualItemRect(node);
    return QPoint(std::min(r.left() + 4, Viewport()->width() - 1), r.center().y());
  }
  // The same point in twips from the tree control's corner.
  QPointF TwipsOf(QTreeWidgetItem* node) const {
    const QPoint p = Viewport()->mapTo(form_->TreeView1, PointOf(node));
    return QPointF(p.x() * 15.0, p.y() * 15.0);
  }

  QTreeWidgetItem* Root() const { return form_->NodeOfKey("My Computer"); }

  // A right click on the node, the pointer over it. Returns whether the
  // menu came up; states gets each item's state while it is up.
  bool RightClick(const QPoint& at, std::map<std::string, int>* states = nullptr,
                  std::string* expendText = nullptr) {
    QCursor::setPos(Viewport()->mapToGlobal(at));
    return WhileUp([&] { QTest::mouseClick(Viewport(), Qt::RightButton, {}, at); },
                   [&](QWidget*) {
                     for (const auto& item : talvora::mMenu::MyItems)
                       if (states) (*states)[item.Alias] = item.State;
                     if (expendText) *expendText = form_->menu->GetItemText("expend");
                   });
  }

  void Drop(const QMimeData& data, const QPoint& at) {
    QDropEvent drop(QPointF(at), Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    form_->TreeView1_ViewportEvent(&drop);
  }
};

TEST_F(EventsTest, APressSelectsTheNodeAndSetsTheFileButtons) {
  const struct {
    const char* node;  // nullptr: the root
    bool import;       // button 3
    bool files;        // buttons 6 to 10
  } cases[] = {
      {nullptr, true, false},           // the root has children
      {"lessons/a.txt", false, true},   // a file has none
      {"lessons", true, true},
      {"lessons/sub", false, true},     // an empty folder
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.node ? c.node : "root");
    QTreeWidgetItem* node = c.node ? Node(c.node) : Root();
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, PointOf(node));
    EXPECT_EQ(form_->TreeView1->currentItem(), node);
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, PointOf(node));
    EXPECT_EQ(form_->Toolbar1Buttons[3]->isEnabled(), c.import);
    for (int i = 6; i <= 10; ++i) EXPECT_EQ(form_->Toolbar1Buttons[i]->isEnabled(), c.files) << i;
  }
}

TEST_F(EventsTest, ThePopUpSetsItsItemsForTheNode) {
  // Each row: open, input, gen, expend, edit, paste.
  const struct {
    const char* node;  // "/" is the drive
    bool clipboard;
    bool expanded;
    std::vector<int> states;
    const char* expend;
  } cases[] = {
      {"lessons/a.txt", false, false, {0, 2, 2, 2, 2, 2}, "展开"},
      {"lessons/a.txt", true, false, {0, 2, 2, 2, 2, 2}, "展开"},
      {"lessons", true, false, {2, 0, 0, 0, 2, 0}, "展开"},
      {"lessons", false, true, {2, 0, 0, 0, 2, 2}, "折叠"},
      {"lessons/sub", true, false, {2, 0, 2, 2, 2, 0}, "展开"},
      {"site", false, false, {2, 0, 0, 0, 0, 2}, "展开"},
      {"/", false, true, {2, 0, 0, 0, 2, 2}, "折叠"},
  };
  const char* aliases[] = {"open", "input", "gen", "expend", "edit", "paste"};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.node) + (c.clipboard ? ", something marked" : ", nothing marked"));
    form_->ClipboardKey = c.clipboard ? Key("note.txt") : "";
    QTreeWidgetItem* node = std::string(c.node) == "/" ? form_->NodeOfKey("/") : Node(c.node);
    ASSERT_NE(node, nullptr);
    const QPoint at = PointOf(node);
    node->setExpanded(c.expanded);
    std::map<std::string, int> states;
    std::string expend;
    ASSERT_TRUE(RightClick(at, &states, &expend));
    EXPECT_EQ(form_->TreeView1->currentItem(), node);
    for (std::size_t i = 0; i < c.states.size(); ++i) EXPECT_EQ(states[aliases[i]], c.states[i]) << aliases[i];
    EXPECT_EQ(expend, c.expend);
    // The items the pop-up leaves alone stay enabled.
    for (const char* alias : {"openfolder", "cut", "copy", "delete", "newdir", "rename"})
      EXPECT_EQ(states[alias], 0) << alias;
  }
}

TEST_F(EventsTest, TheRootAndEmptySpaceShowNoPopUp) {
  QTreeWidgetItem* root = Root();
  form_->TreeView1->setCurrentItem(Node("lessons"));
  const QPoint rootAt = PointOf(root);
  EXPECT_FALSE(RightClick(rootAt));
  EXPECT_EQ(form_->TreeView1->currentItem(), root);

  // Only the root's row is left; below it is empty space.
  root->setExpanded(false);
  const QPoint below(rootAt.x(), Viewport()->height() - 3);
  ASSERT_EQ(form_->TreeView1->itemAt(below), nullptr);
  EXPECT_FALSE(RightClick(below));
  EXPECT_EQ(form_->TreeView1->currentItem(), root);
}

TEST_F(EventsTest, AnItemChosenFromThePopUpRunsItsCommand) {
  QTreeWidgetItem* note = Node("note.txt");
  const QPoint at = PointOf(note);
  QCursor::setPos(Viewport()->mapToGlobal(at));
  const bool shown = WhileUp([&] { QTest::mouseClick(Viewport(), Qt::RightButton, {}, at); },
                             [&](QWidget* up) {
                               auto* menu = static_cast<talvora::OwnerDrawMenu*>(up);
                               QAction* copy = menu->ItemById(ItemId("copy"));
                               ASSERT_NE(copy, nullptr);
                               QTest::mouseClick(menu, Qt::LeftButton, {},
                                                 menu->actionGeometry(copy).center());
                             });
  EXPECT_TRUE(shown);
  EXPECT_EQ(form_->ClipboardKey, Key("note.txt"));
  EXPECT_EQ(note->background(0).color(), QColor(255, 255, 255));
  EXPECT_TRUE(form_->isEnabled());
}

// --- Drag and drop ---

TEST_F(EventsTest, ADragCarriesTheSelectedNodesKey) {
  talvora::Form1::DragData data{true, "left over"};
  form_->TreeView1->setCurrentItem(nullptr);
  form_->Form1_TreeView1_OLEStartDrag(data);
  EXPECT_FALSE(data.hasText);
  form_->TreeView1->setCurrentItem(Node("lessons"));
  form_->Form1_TreeView1_OLEStartDrag(data);
  EXPECT_TRUE(data.hasText);
  EXPECT_EQ(data.text, Key("lessons"));
}

TEST_F(EventsTest, DraggingNearAnEdgeScrollsThatWay) {
  EXPECT_EQ(form_->Timer1->interval(), 200);
  EXPECT_FALSE(form_->Timer1->isActive());
  const float h = form_->TreeView1->height() * 15.0f;
  const struct {
    float y;
    bool on;
    int direction;
  } cases[] = {
      {300, true, -1},     {1, true, -1},     {0, false, 0},     {400, false, 0},
      {h / 2, false, 0},   {h - 500, true, 1}, {h - 1, true, 1},  {h - 600, false, 0},
      {h, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.y);
    form_->Form1_TreeView1_OLEDragOver(100, h / 2, 2);
    form_->Form1_TreeView1_OLEDragOver(100, c.y, 2);
    EXPECT_EQ(form_->Timer1->isActive(), c.on);
    if (c.on) {
      EXPECT_EQ(form_->ScrollDirection, c.direction);
    }
  }
  // Moving on inside a zone keeps the running timer's pace: it ticks while
  // the pointer keeps moving, more often than the timer's interval.
  int ticks = 0;
  QMetaObject::Connection counting =
      QObject::connect(form_->Timer1, &QTimer::timeout, [&] { ++ticks; });
  float y = 300;
  EXPECT_TRUE(testing_support::WaitUntil([&] {
    form_->Form1_TreeView1_OLEDragOver(100, y, 2);
    y = y == 300 ? 310 : 300;
    return ticks > 0;
  }, 5000));
  QObject::disconnect(counting);

  // Leaving the tree stops it.
  QDragLeaveEvent leave;
  form_->TreeView1_ViewportEvent(&leave);
  EXPECT_FALSE(form_->Timer1->isActive());
}

TEST_F(EventsTest, EachTickScrollsOneLine) {
  // Enough rows to scroll: the tree opened down to the fixture.
  PointOf(Node("lessons/a.txt"));
  QScrollBar* bar = form_->TreeView1->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 2 * bar->singleStep());
  bar->setValue(bar->maximum() / 2);
  const int middle = bar->value();
  form_->ScrollDirection = -1;
  form_->Form1_Timer1_Timer();
  EXPECT_EQ(bar->value(), middle - bar->singleStep());
  form_->ScrollDirection = 1;
  form_->Form1_Timer1_Timer();
  form_->Form1_Timer1_Timer();
  EXPECT_EQ(bar->value(), middle + bar->singleStep());

  // Held in the top zone, the timer does the ticking.
  form_->Form1_TreeView1_OLEDragOver(100, 300, 2);
  EXPECT_TRUE(testing_support::WaitUntil([&] { return bar->value() < middle; }, 5000));
  form_->Form1_TreeView1_OLEDragOver(100, form_->TreeView1->height() * 15.0f / 2, 2);
  EXPECT_FALSE(form_->Timer1->isActive());
}

TEST_F(EventsTest, TheDropHighlightFollowsThePointer) {
  QTreeWidgetItem* selected = Node("note.txt");
  form_->TreeView1->setCurrentItem(selected);
  const QPointF over = TwipsOf(Node("dest"));
  form_->Form1_TreeView1_OLEDragOver(static_cast<float>(over.x()), static_cast<float>(over.y()), 2);
  EXPECT_EQ(form_->DropHighlight(), Node("dest"));
  EXPECT_TRUE(Node("dest")->isSelected());
  EXPECT_EQ(form_->TreeView1->currentItem(), selected);
  form_->Form1_TreeView1_OLEDragOver(static_cast<float>(over.x()), static_cast<float>(over.y()), 1);
  EXPECT_EQ(form_->DropHighlight(), nullptr);
  EXPECT_FALSE(Node("dest")->isSelected());
  EXPECT_TRUE(selected->isSelected());
}

TEST_F(EventsTest, ADropMovesTheNodeAndShowsItUnderTheTarget) {
  ScriptedDialogs dialogs;
  QTreeWidgetItem* lessons = Node("lessons");
  form_->TreeView1->setCurrentItem(lessons);
  const QPoint at = PointOf(Node("dest"));
  // What the tree's own drag carries.
  std::unique_ptr<QMimeData> own(talvora::Form1::TreeDragMime(Key("lessons")));
  const QMimeData& data = *own;
  QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  form_->TreeView1_ViewportEvent(&move);
  EXPECT_EQ(form_->DropHighlight(), Node("dest"));
  Drop(data, at);

  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(ReadFile(Key("dest/lessons/a.txt")), "a");
  EXPECT_FALSE(fs::exists(Key("lessons")));
  QTreeWidgetItem* dest = Node("dest");
  // The target read again from disk: the moved folder with its new key, and
  // the stale entry gone; the old place no longer shows it.
  EXPECT_EQ(ChildTexts(dest), std::vector<std::string>{"lessons"});
  EXPECT_NE(Node("dest/lessons"), nullptr);
  EXPECT_EQ(Node("lessons"), nullptr);
  EXPECT_TRUE(dest->isExpanded());
  EXPECT_EQ(form_->DropHighlight(), nullptr);
  EXPECT_FALSE(form_->Timer1->isActive());
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_TRUE(form_->TreeView1->isEnabled());
}

// Text, links or a look-alike of the tree's own drag from another program
// are not moves: the drag is refused over the tree and a drop moves nothing.
TEST_F(EventsTest, ADropFromAnotherProgramMovesNothing) {
  const std::string key = Key("note.txt");
  const struct {
    const char* what;
    std::function<void(QMimeData&)> fill;
  } cases[] = {
      {"text that is a node's key", [&](QMimeData& m) { m.setText(QString::fromStdString(key)); }},
      {"a link to the file",
       [&](QMimeData& m) {
         m.setUrls({QUrl::fromLocalFile(QString::fromStdString(key))});
         m.setText(QString::fromStdString(key));
       }},
      {"the tree's format from another process",
       [&](QMimeData& m) {
         m.setText(QString::fromStdString(key));
         m.setData("application/x-talvora-tree-node", QByteArray("1\n") + QByteArray::fromStdString(key));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedDialogs dialogs;
    QMimeData data;
    c.fill(data);
    const QPoint at = PointOf(Node("dest"));
    QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    form_->TreeView1_ViewportEvent(&move);
    EXPECT_FALSE(move.isAccepted());
    EXPECT_EQ(form_->DropHighlight(), nullptr);
    QDropEvent drop(QPointF(at), Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    form_->TreeView1_ViewportEvent(&drop);
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_EQ(ReadFile(key), "note");
    EXPECT_FALSE(fs::exists(Key("dest/note.txt")));
    EXPECT_NE(Node("note.txt"), nullptr);
    EXPECT_TRUE(dialogs.shown.empty());
  }
}

TEST_F(EventsTest, DropsThatMoveNothing) {
  const struct {
    const char* name;
    bool text;
    std::string data;        // a key, or anything
    const char* onto;        // a fixture path, "root", or "" for no node
    bool targetRefreshed;    // dest's stale entry gone afterwards
    std::size_t messages;    // shown by the shell
  } cases[] = {
      {"not text", false, "", "dest", false, 0},
      {"a key no node has", true, dir_ / "nowhere", "dest", true, 0},
      {"onto itself", true, Key("dest"), "dest", true, 1},
      {"onto the root", true, Key("note.txt"), "root", false, 0},
      {"a drive", true, "/", "dest", true, 0},
      {"onto no node", true, Key("note.txt"), "", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDialogs dialogs;
    // dest shows a stale entry again.
    WriteFile(Key("dest/stale.txt"), "s");
    form_->TreeView1_Flash(Node(""));
    form_->rootSplitNode(Key("dest"));
    fs::remove(Key("dest/stale.txt"));
    const int drives = Root()->childCount();
    form_->setEnabled(false);

    talvora::Form1::DragData data{c.text, c.data};
    if (std::string(c.onto).empty()) {
      form_->Form1_TreeView1_OLEDragDrop(data, -3000, -3000);
    } else {
      QTreeWidgetItem* target = std::string(c.onto) == "root" ? Root() : Node(c.onto);
      const QPointF at = TwipsOf(target);
      form_->Form1_TreeView1_OLEDragDrop(data, static_cast<float>(at.x()), static_cast<float>(at.y()));
    }
    EXPECT_EQ(dialogs.shown.size(), c.messages);
    EXPECT_TRUE(fs::exists(Key("note.txt")));
    EXPECT_TRUE(fs::exists(Key("dest")));
    EXPECT_NE(Node("note.txt"), nullptr);
    EXPECT_EQ(Root()->childCount(), drives);
    EXPECT_EQ(ChildTexts(Node("dest")).empty(), c.targetRefreshed);
    EXPECT_TRUE(form_->isEnabled());
  }
}

}  // namespace
}  // namespace tree_commands_test
