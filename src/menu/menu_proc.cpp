// The menu's window procedure: measuring and painting the owner-drawn items,
// the chosen command and the highlighted item.
#include <cmath>

#include <QApplication>
#include <QPainter>
#include <QPalette>

#include "menu/m_menu.h"
#include "generator/skip_on_error.h"
#include "platform/codepage.h"

namespace talvora {

namespace mMenu {

OwnerDrawMenu* hMenu = nullptr;
WNDPROC PrevWndProc = nullptr;
std::vector<MenuItem> MyItems;

int32_t LeftBarWidth = 0;
int32_t LeftBarStyle = 0;
StdPicture LeftBarImage;
int32_t LeftBarStartColor = 0;
int32_t LeftBarEndColor = 0;
int32_t ItemSelectScope = 0;
int32_t ItemTextEnabledColor = 0;
int32_t ItemTextDisabledColor = 0;
int32_t ItemTextSelectColor = 0;
int32_t ItemIconStyle = 0;
int32_t ItemSelectEdgeStyle = 0;
int32_t ItemSelectEdgeColor = 0;
int32_t ItemSelectFillStyle = 0;
int32_t ItemSelectFillStartColor = 0;
int32_t ItemSelectFillEndColor = 0;
int32_t BackColor = 0;
int32_t SeparatorStyle = 0;
int32_t SeparatorColor = 0;
int32_t Style = 0;

MEASUREITEMSTRUCT MeasureItem;
DRAWITEMSTRUCT DrawItem;

std::function<void(int32_t)> DoMenuCommand;
std::function<void(int32_t)> ShowMenuStatus;

}  // namespace mMenu

using namespace mMenu;

namespace {

// Positions are rounded to the nearest integer, halves to the even one.
int Round(double value) { return static_cast<int>(std::nearbyint(value)); }

int FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return static_cast<int>(q);
}

struct Channels {
  int red, green, blue;
};

Channels ChannelsOf(int32_t colour) {
  const int64_t v = colour;
  auto mod256 = [](int64_t x) { return static_cast<int>(((x % 256) + 256) % 256); };
  return {mod256(v), mod256(FloorDiv(v, 256)), FloorDiv(v, 65536)};
}

QColor Clamped(int red, int green, int blue) {
  auto c = [](int x) { return x < 0 ? 0 : (x > 255 ? 255 : x); };
  return QColor(c(red), c(green), c(blue));
}

// The colour a fraction t of the way from start to end; each channel moves
// by the rounded-down share, so the end colour itself is never reached.
QColor GradientColor(int32_t start, int32_t end, double t) {
  const Channels s = ChannelsOf(start);
  const Channels e = ChannelsOf(end);
  auto step = [t](int a, int b) { return a + static_cast<int>(std::floor(t * (b - a))); };
  return Clamped(step(s.red, e.red), step(s.green, e.green), step(s.blue, e.blue));
}

Qt::PenStyle PenStyleOf(int32_t style) {
  switch (style) {
    case 0: return Qt::SolidLine;
    case 1: return Qt::DashLine;
    case 2: return Qt::DotLine;
    case 3: return Qt::DashDotLine;
    case 4: return Qt::DashDotDotLine;
    case 5: return Qt::NoPen;
    default: return Qt::SolidLine;
  }
}

void FillRect(QPainter* dc, const RECT& r, const QColor& colour) {
  if (r.right > r.left && r.bottom > r.top)
    dc->fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), colour);
}

// A rectangle: its outline one pixel wide along the edges inside it, drawn
// with the pen style, and its inside filled with the brush colour.
void Rectangle(QPainter* dc, const RECT& r, int32_t penStyle, const QColor& pen,
               const QColor& brush) {
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  if (w > 2 && h > 2) dc->fillRect(QRect(r.left + 1, r.top + 1, w - 2, h - 2), brush);
  const Qt::PenStyle style = PenStyleOf(penStyle);
  if (style == Qt::NoPen) return;
  QPen outline(pen, 0, style);
  outline.setCapStyle(Qt::FlatCap);
  dc->setPen(outline);
  dc->setBrush(Qt::NoBrush);
  // A line leaves out its far end point: each side covers its own pixels.
  const int x1 = r.right - 1, y1 = r.bottom - 1;
  dc->drawLine(r.left, r.top, r.right, r.top);
  if (h > 1) dc->drawLine(r.left, y1, r.right, y1);
  if (h > 2) {
    dc->drawLine(r.left, r.top + 1, r.left, y1);
    if (w > 1) dc->drawLine(x1, r.top + 1, x1, y1);
  }
}

// The icon at 16 x 16; a picture without an image draws nothing.
void DrawIconNormal(QPainter* dc, const StdPicture& icon, int x, int y) {
  if (HasHandle(icon)) dc->drawPixmap(QRect(x, y, 16, 16), *icon);
}

// The icon's shape in one colour, at the icon's own size.
QPixmap Silhouette(const QPixmap& icon, const QColor& colour) {
  QImage shape(icon.size(), QImage::Format_ARGB32_Premultiplied);
  shape.fill(colour);
  QPainter p(&shape);
  p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
  p.drawPixmap(0, 0, icon);
  p.end();
  return QPixmap::fromImage(shape);
}

void DrawIconMono(QPainter* dc, const StdPicture& icon, int x, int y, const QColor& colour) {
  if (HasHandle(icon)) dc->drawPixmap(x, y, Silhouette(*icon, colour));
}

// The platform's disabled look: the shape embossed, light below right, the
// shadow colour on top.
void DrawIconDisabled(QPainter* dc, const StdPicture& icon, int x, int y) {
  if (!HasHandle(icon)) return;
  const QPalette palette = QApplication::palette();
  dc->drawPixmap(x + 1, y + 1, Silhouette(*icon, palette.color(QPalette::Light)));
  dc->drawPixmap(x, y, Silhouette(*icon, palette.color(QPalette::Dark)));
}

void DrawItemText(QPainter* dc, const MenuItem& item, const RECT& r, int32_t colour) {
  dc->setPen(ColorOf(colour));
  // The text goes through the ANSI code page, as it is measured.
  const QString text = QString::fromStdString(platform::FromAnsi(platform::ToAnsi(item.Text)));
  dc->drawText(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text);
}

// The height of the whole menu: 6 for each separator, the height of the item
// measured last for each other item.
int MenuHeight() {
  int height = 0;
  const int count = GetMenuItemCount(hMenu);
  for (int p = 0; p < count; ++p) {
    const int32_t id = GetMenuItemID(hMenu, p);
    height += MyItems.at(static_cast<size_t>(id)).Type == kItemSeparator
                  ? 6
                  : static_cast<int>(MeasureItem.itemHeight);
  }
  return height;
}

void PaintBar(QPainter* dc, int H) {
  switch (LeftBarStyle) {
    case 1:
      FillRect(dc, {0, 0, LeftBarWidth - 1, H - 1}, ColorOf(LeftBarStartColor));
      break;
    case 2:
      for (int x = 0; x <= LeftBarWidth - 1; ++x)
        FillRect(dc, {x, 0, x + 1, H - 1},
                 GradientColor(LeftBarStartColor, LeftBarEndColor,
                               static_cast<double>(x) / LeftBarWidth));
      break;
    case 3:
      for (int y = 0; y <= H - 1; ++y)
        FillRect(dc, {0, y, LeftBarWidth - 1, y + 1},
                 GradientColor(LeftBarStartColor, LeftBarEndColor, static_cast<double>(y) / H));
      break;
    case 4:
      if (HasHandle(LeftBarImage)) dc->drawPixmap(0, 0, *LeftBarImage, 0, 0, LeftBarWidth, H);
      break;
    default:
      break;
  }
}

}  // namespace

intptr_t MenuProc(QWidget* hwnd, uint32_t uMsg, uintptr_t wParam, intptr_t lParam) {
  switch (uMsg) {
    case WM_DRAWITEM:
      Try([&] { DrawMenuItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)); });
      break;
    case WM_MEASUREITEM:
      Try([&] { MeasureMenuItem(hwnd, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)); });
      break;
    case WM_COMMAND: {
      const int32_t id = static_cast<int32_t>(static_cast<uint32_t>(wParam));
      // Choosing a radio item switches it; only the table records it.
      Try([&] {
        MenuItem& item = MyItems.at(static_cast<size_t>(id));
        if (item.Type == kItemRadio) item.State = item.State == kStateRadioOn ? 0 : kStateRadioOn;
      });
      Try([&] { DoMenuCommand(id); });
      break;
    }
    case WM_MENUSELECT: {
      int32_t id = -1;
      Try([&] { id = GetMenuItemID(reinterpret_cast<QMenu*>(lParam), static_cast<int>(wParam & 0xFF)); });
      if (id != -1) Try([&] { ShowMenuStatus(id); });
      break;
    }
    default:
      break;
  }
  intptr_t result = 0;
  Try([&] {
    if (PrevWndProc) result = PrevWndProc(hwnd, uMsg, wParam, lParam);
  });
  return result;
}

void MeasureMenuItem(QWidget*, MEASUREITEMSTRUCT* record) {
  MeasureItem = *record;
  if (MeasureItem.CtlType & ODT_MENU) {
    const MenuItem& item = MyItems.at(MeasureItem.itemID);
    const int h = kMenuBarHeight;
    const int n = platform::AnsiLength(item.Text);
    MeasureItem.itemWidth = static_cast<uint32_t>(Round(h / 2.5 * n + LeftBarWidth));
    MeasureItem.itemHeight = item.Type == kItemSeparator ? 6 : h;
  }
  *record = MeasureItem;
}

void DrawMenuItem(DRAWITEMSTRUCT* record) {
  DrawItem = *record;
  if (DrawItem.CtlType != ODT_MENU) return;
  const MenuItem& item = MyItems.at(DrawItem.itemID);
  QPainter* dc = DrawItem.hDC;
  const RECT rc = DrawItem.rcItem;

  dc->setBackgroundMode(Qt::TransparentMode);
  const int H = MenuHeight();
  FillRect(dc, {LeftBarWidth - 1, rc.top, rc.right, rc.bottom}, ColorOf(BackColor));
  PaintBar(dc, H);

  // The icon cell starts right of the bar, or at the item's edge without one.
  const int c = LeftBarStyle != 0 ? LeftBarWidth + 1 : rc.left;
  const RECT iconCell{c, rc.top, c + 20, rc.bottom};
  const RECT textRect{c + 23, rc.top, rc.right, rc.bottom};
  const double iconTop = rc.top + (rc.bottom - rc.top + 1 - 16) / 2.0;
  const int iconX = c + 2;
  const int iconY = Round(iconTop);
  const bool radio = item.Type == kItemRadio;
  const bool radioOn = (item.State & kStateRadioOn) != 0;

  if (item.Type == kItemSeparator) {
    const RECT line{LeftBarWidth + 4, rc.top + 2, rc.right, rc.top + 3};
    if (SeparatorStyle == 5) return;
    if (SeparatorStyle == 6) {
      DrawEdge(dc, line, EDGE_ETCHED, BF_TOP);
      return;
    }
    Rectangle(dc, line, SeparatorStyle, ColorOf(SeparatorColor), ColorOf(BackColor));
    return;
  }

  // A disabled item looks disabled even while it is highlighted.
  if (item.State & kStateDisabled) {
    DrawItemText(dc, item, textRect, ItemTextDisabledColor);
    if (!radio || radioOn) DrawIconDisabled(dc, item.Icon, iconX, iconY);
    return;
  }

  if (DrawItem.itemState & ODS_SELECTED) {
    RECT hi = rc;
    if (ItemSelectScope & 2)
      hi.left = c;
    else if (ItemSelectScope & 1)
      hi.left = c + 21;
    if ((!HasHandle(item.Icon) || radio) && ItemSelectScope != 4) hi.left = c;

    switch (ItemSelectEdgeStyle) {
      case 5:
        break;
      case 6:
        DrawEdge(dc, hi, BDR_SUNKENOUTER, BF_RECT);
        break;
      case 7:
        DrawEdge(dc, hi, BDR_RAISEDINNER, BF_RECT);
        break;
      default:
        Rectangle(dc, hi, ItemSelectEdgeStyle, ColorOf(ItemSelectEdgeColor), ColorOf(BackColor));
        break;
    }

    hi.left += 1;
    hi.top += 1;
    hi.right -= 1;
    hi.bottom -= 1;
    switch (ItemSelectFillStyle) {
      case 1:
        FillRect(dc, hi, ColorOf(ItemSelectFillStartColor));
        break;
      case 2:
        for (int x = hi.left; x <= hi.right - 1; ++x)
          FillRect(dc, {x, hi.top, x + 1, hi.bottom},
                   GradientColor(ItemSelectFillStartColor, ItemSelectFillEndColor,
                                 static_cast<double>(x - hi.left) / (hi.right - hi.left + 1)));
        break;
      case 3:
        for (int y = hi.top; y <= hi.bottom - 1; ++y)
          FillRect(dc, {hi.left, y, hi.right, y + 1},
                   GradientColor(ItemSelectFillStartColor, ItemSelectFillEndColor,
                                 static_cast<double>(y - hi.top) / (hi.bottom - hi.top + 1)));
        break;
      default:
        break;
    }

    DrawItemText(dc, item, textRect, ItemTextSelectColor);
    if (radio) {
      if (radioOn) DrawIconNormal(dc, item.Icon, iconX, iconY);
      return;
    }
    DrawIconNormal(dc, item.Icon, iconX, iconY);
    switch (ItemIconStyle) {
      case 1:
        if (HasHandle(item.Icon)) DrawEdge(dc, iconCell, BDR_SUNKENOUTER, BF_RECT);
        break;
      case 2:
        if (HasHandle(item.Icon)) DrawEdge(dc, iconCell, BDR_RAISEDINNER, BF_RECT);
        break;
      case 3:
        // Lifted: a grey shadow below right, the icon again above left.
        DrawIconMono(dc, item.Icon, c + 3, Round(iconTop + 1), QColor(128, 128, 128));
        DrawIconNormal(dc, item.Icon, c + 1, Round(iconTop - 1));
        break;
      default:
        break;
    }
    return;
  }

  FillRect(dc, {LeftBarStyle == 0 ? 0 : LeftBarWidth, rc.top, rc.right, rc.bottom},
           ColorOf(BackColor));
  DrawItemText(dc, item, textRect, ItemTextEnabledColor);
  if (!radio || radioOn) DrawIconNormal(dc, item.Icon, iconX, iconY);
}

}  // namespace talvora
