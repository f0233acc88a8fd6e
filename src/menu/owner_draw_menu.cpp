#include "menu/owner_draw_menu.h"

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionMenuItem>

#include "menu/frm_menu.h"

namespace talvora {

int32_t GetSysColor(int nIndex) {
  const QPalette palette = QApplication::palette();
  switch (nIndex) {
    case COLOR_MENU:
      return ColorValue(palette.color(QPalette::Active, QPalette::Window));
    case COLOR_MENUTEXT:
      return ColorValue(palette.color(QPalette::Active, QPalette::WindowText));
    case COLOR_HIGHLIGHT:
      return ColorValue(palette.color(QPalette::Active, QPalette::Highlight));
    case COLOR_HIGHLIGHTTEXT:
      return ColorValue(palette.color(QPalette::Active, QPalette::HighlightedText));
    case COLOR_GRAYTEXT:
      return ColorValue(palette.color(QPalette::Disabled, QPalette::WindowText));
    default:
      return 0;
  }
}

QColor ColorOf(int32_t colour) {
  const uint32_t v = static_cast<uint32_t>(colour);
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

int32_t ColorValue(const QColor& colour) {
  return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

void DrawEdge(QPainter* dc, RECT rect, uint32_t edge, uint32_t flags) {
  const QPalette palette = QApplication::palette();
  const QColor light = palette.color(QPalette::Light);
  const QColor midlight = palette.color(QPalette::Midlight);
  const QColor dark = palette.color(QPalette::Dark);
  const QColor shadow = palette.color(QPalette::Shadow);
  auto row = [&](int y, int x0, int x1, const QColor& c) {
    if (x1 > x0) dc->fillRect(QRect(x0, y, x1 - x0, 1), c);
  };
  auto column = [&](int x, int y0, int y1, const QColor& c) {
    if (y1 > y0) dc->fillRect(QRect(x, y0, 1, y1 - y0), c);
  };
  // Outer layer first, then the inner one a pixel further in.
  for (int layer = 0; layer < 2; ++layer) {
    QColor topLeft, bottomRight;
    const uint32_t raised = layer == 0 ? BDR_RAISEDOUTER : BDR_RAISEDINNER;
    const uint32_t sunken = layer == 0 ? BDR_SUNKENOUTER : BDR_SUNKENINNER;
    if (edge & raised) {
      topLeft = layer == 0 ? midlight : light;
      bottomRight = layer == 0 ? shadow : dark;
    } else if (edge & sunken) {
      topLeft = layer == 0 ? dark : shadow;
      bottomRight = layer == 0 ? light : midlight;
    } else {
      continue;
    }
    if (flags & BF_TOP) row(rect.top, rect.left, rect.right, topLeft);
    if (flags & BF_LEFT) column(rect.left, rect.top, rect.bottom, topLeft);
    if (flags & BF_BOTTOM) row(rect.bottom - 1, rect.left, rect.right, bottomRight);
    if (flags & BF_RIGHT) column(rect.right - 1, rect.top, rect.bottom, bottomRight);
    if (flags & BF_TOP) ++rect.top;
    if (flags & BF_LEFT) ++rect.left;
    if (flags & BF_BOTTOM) --rect.bottom;
    if (flags & BF_RIGHT) --rect.right;
  }
}

// --- style ---

OwnerDrawMenuStyle::OwnerDrawMenuStyle(OwnerDrawMenu* menu) : menu_(menu) {}

QSize OwnerDrawMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                           const QSize& size, const QWidget* widget) const {
  if (widget == menu_) {
    if (type == CT_MenuItem) return menu_->MeasureAction(nullptr);
    if (type == CT_Menu) return size;
  }
  return QProxyStyle::sizeFromContents(type, option, size, widget);
}

int OwnerDrawMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                    const QWidget* widget) const {
  if (widget == menu_) {
    switch (metric) {
      case PM_MenuPanelWidth:
        return OwnerDrawMenu::kFrameWidth;
      case PM_MenuHMargin:
      case PM_MenuVMargin:
      case PM_MenuTearoffHeight:
      case PM_MenuDesktopFrameWidth:
        return 0;
      default:
        break;
    }
  }
  return QProxyStyle::pixelMetric(metric, option, widget);
}

int OwnerDrawMenuStyle::styleHint(StyleHint hint, const QStyleOption* option,
                                  const QWidget* widget, QStyleHintReturn* returnData) const {
  switch (hint) {
    // A disabled item is highlighted like any other (and reported), it just
    // cannot be chosen.
    case SH_Menu_AllowActiveAndDisabled:
    case SH_Menu_MouseTracking:
      return 1;
    case SH_Menu_FlashTriggeredItem:
    case SH_Menu_FadeOutOnHide:
    case SH_Menu_SupportsSections:
      return 0;
    default:
      return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
}

// --- menu ---

OwnerDrawMenu::OwnerDrawMenu(frmMenu* owner) : QMenu(nullptr), owner_(owner) {
  style_ = new OwnerDrawMenuStyle(this);
  style_->setParent(this);
  setStyle(style_);
  setContentsMargins(0, 0, 0, 0);
}

void OwnerDrawMenu::InsertItem(int32_t id, bool enabled) {
  auto* action = new QAction(this);
  action->setData(id);
  action->setEnabled(enabled);
  addAction(action);
}

bool OwnerDrawMenu::DeleteItemById(int32_t id) {
  QAction* action = ItemById(id);
  if (!action) return false;
  removeAction(action);
  delete action;
  return true;
}

QAction* OwnerDrawMenu::ItemById(int32_t id) const {
  for (QAction* action : actions())
    if (action->data().toInt() == id) return action;
  return nullptr;
}

void OwnerDrawMenu::Remeasure() {
  QEvent styleChange(QEvent::StyleChange);
  QCoreApplication::sendEvent(this, &styleChange);
  adjustSize();
}

void OwnerDrawMenu::Track(int x, int y, int32_t align) {
  Remeasure();
  const QSize size = sizeHint();
  if (align & TPM_RIGHTALIGN)
    x -= size.width();
  else if (align & TPM_CENTERALIGN)
    x -= size.width() / 2;
  if (align & TPM_BOTTOMALIGN)
    y -= size.height();
  else if (align & TPM_VCENTERALIGN)
    y -= size.height() / 2;
  QPointer<OwnerDrawMenu> self(this);
  QAction* chosen = exec(QPoint(x, y));
  if (!self || !chosen || !chosen->isEnabled()) return;
  Send(WM_COMMAND, static_cast<uint32_t>(chosen->data().toInt()), 0);
}

RECT OwnerDrawMenu::ItemRect(QAction* action) const {
  const QRect g = actionGeometry(action);
  if (g.isEmpty()) return {};
  return {g.left() - kFrameWidth, g.top() - kFrameWidth, g.right() + 1 - kFrameWidth,
          g.bottom() + 1 - kFrameWidth};
}

QSize OwnerDrawMenu::MeasureAction(const QAction* action) const {
  if (!action) action = laying_out_;
  if (!action) return {};
  MEASUREITEMSTRUCT record;
  record.CtlType = ODT_MENU;
  record.itemID = static_cast<uint32_t>(action->data().toInt());
  record.itemData = -1;
  Send(WM_MEASUREITEM, 0, reinterpret_cast<intptr_t>(&record));
  const int width = static_cast<int>(record.itemWidth);
  const int height = static_cast<int>(record.itemHeight);
  // The menu is as wide as its widest item; an item of width 0 still shows.
  return QSize(height > 0 ? std::max(width, 1) : width, height);
}

void OwnerDrawMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const {
  QMenu::initStyleOption(option, action);
  laying_out_ = action;
}

void OwnerDrawMenu::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ColorOf(GetSysColor(COLOR_MENU)));
  DrawEdge(&painter, {0, 0, width(), height()}, EDGE_RAISED, BF_RECT);

  const QRect client = rect().adjusted(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
  painter.setClipRect(client, Qt::IntersectClip);
  painter.translate(kFrameWidth, kFrameWidth);
  painter.setFont(font());
  QAction* active = activeAction();
  for (QAction* action : actions()) {
    const RECT item = ItemRect(action);
    if (item.right <= item.left || item.bottom <= item.top) continue;
    DRAWITEMSTRUCT record;
    record.CtlType = ODT_MENU;
    record.itemID = static_cast<uint32_t>(action->data().toInt());
    record.itemAction = ODA_DRAWENTIRE;
    if (action == active) record.itemState |= ODS_SELECTED;
    if (!action->isEnabled()) record.itemState |= ODS_GRAYED | ODS_DISABLED;
    record.hwndItem = this;
    record.hDC = &painter;
    record.rcItem = item;
    record.itemData = -1;
    painter.save();
    Send(WM_DRAWITEM, 0, reinterpret_cast<intptr_t>(&record));
    painter.restore();
  }
}

bool OwnerDrawMenu::event(QEvent* e) {
  const bool result = QMenu::event(e);
  NoteSelection();
  return result;
}

void OwnerDrawMenu::NoteSelection() {
  QAction* active = activeAction();
  if (active == reported_) return;
  reported_ = active;
  if (!active) return;
  const int position = static_cast<int>(actions().indexOf(active));
  Send(WM_MENUSELECT, static_cast<uint32_t>(position & 0xFFFF), reinterpret_cast<intptr_t>(this));
}

void OwnerDrawMenu::mouseReleaseEvent(QMouseEvent* e) {
  // A click on a disabled item leaves the menu open and chooses nothing.
  QAction* action = actionAt(e->position().toPoint());
  if (action && !action->isEnabled()) {
    e->accept();
    return;
  }
  QMenu::mouseReleaseEvent(e);
}

void OwnerDrawMenu::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Select:
      if (activeAction() && !activeAction()->isEnabled()) {
        e->accept();
        return;
      }
      break;
    default:
      break;
  }
  QMenu::keyPressEvent(e);
}

void OwnerDrawMenu::hideEvent(QHideEvent* e) {
  QMenu::hideEvent(e);
  reported_ = nullptr;
  // The closing menu is no menu: the owner finds no item for it.
  Send(WM_MENUSELECT, 0xFFFF0000u, 0);
}

intptr_t OwnerDrawMenu::Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) const {
  frmMenu* owner = owner_;
  return owner ? owner->SendMessage(msg, wParam, lParam) : 0;
}

int GetMenuItemCount(const QMenu* menu) {
  return menu ? static_cast<int>(menu->actions().size()) : -1;
}

int32_t GetMenuItemID(const QMenu* menu, int nPos) {
  if (!menu || nPos < 0 || nPos >= menu->actions().size()) return -1;
  return menu->actions().at(nPos)->data().toInt();
}

}  // namespace talvora
