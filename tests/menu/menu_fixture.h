// Shared pieces of the menu tests: a created menu that is torn down after
// each test, solid test icons, and painting items straight into an image.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <gtest/gtest.h>

#include "menu/c_menu.h"
#include "menu/m_menu.h"

namespace menu_test {

constexpr int32_t RGB(int r, int g, int b) { return r | (g << 8) | (b << 16); }

// A 16 x 16 icon of one colour.
inline talvora::StdPicture SolidIcon(int32_t colour) {
  QPixmap pixmap(16, 16);
  pixmap.fill(talvora::ColorOf(colour));
  return std::make_shared<const QPixmap>(pixmap);
}

inline int32_t Pixel(const QImage& image, int x, int y) {
  return talvora::ColorValue(QColor(image.pixel(x, y)));
}

// The colour nothing in the menu paints, to see what was left alone.
constexpr int32_t kUntouched = RGB(1, 2, 3);

// A palette whose system colours all differ, so that each preset value shows
// which one it took.
inline QPalette DistinctPalette() {
  QPalette p = QApplication::palette();
  p.setColor(QPalette::Active, QPalette::Window, QColor(200, 201, 202));
  p.setColor(QPalette::Active, QPalette::WindowText, QColor(10, 11, 12));
  p.setColor(QPalette::Active, QPalette::Highlight, QColor(20, 40, 160));
  p.setColor(QPalette::Active, QPalette::HighlightedText, QColor(250, 251, 252));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 121, 122));
  return p;
}

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_palette_ = QApplication::palette();
    QApplication::setPalette(DistinctPalette());
    menu = std::make_unique<talvora::cMenu>();
    menu->CreateMenu();
  }
  void TearDown() override {
    menu.reset();
    talvora::mMenu::DoMenuCommand = nullptr;
    talvora::mMenu::ShowMenuStatus = nullptr;
    QApplication::setPalette(saved_palette_);
  }

  // Measures every item of the menu in order, as the platform does before it
  // shows a menu, stacks them from y = 0 at the widest width, and paints each
  // through DrawMenuItem; selected is the command ID drawn highlighted.
  QImage Paint(int32_t selected = -1, int extraWidth = 0) {
    using namespace talvora;
    const int count = GetMenuItemCount(mMenu::hMenu);
    std::vector<MEASUREITEMSTRUCT> sizes;
    int width = 0;
    for (int p = 0; p < count; ++p) {
      MEASUREITEMSTRUCT m;
      m.CtlType = ODT_MENU;
      m.itemID = static_cast<uint32_t>(GetMenuItemID(mMenu::hMenu, p));
      MeasureMenuItem(nullptr, &m);
      sizes.push_back(m);
      width = std::max(width, static_cast<int>(m.itemWidth));
    }
    width += extraWidth;
    rects.clear();
    int y = 0;
    for (const auto& m : sizes) {
      rects.push_back({0, y, width, y + static_cast<int>(m.itemHeight)});
      y += static_cast<int>(m.itemHeight);
    }
    QImage image(width, std::max(y, 1), QImage::Format_RGB32);
    image.fill(ColorOf(kUntouched));
    QPainter painter(&image);
    painter.setFont(QApplication::font("QMenu"));
    for (int p = 0; p < count; ++p) {
      DRAWITEMSTRUCT d;
      d.CtlType = ODT_MENU;
      d.itemID = sizes[static_cast<size_t>(p)].itemID;
      d.itemAction = ODA_DRAWENTIRE;
      d.itemState = static_cast<int32_t>(d.itemID) == selected ? ODS_SELECTED : 0;
      d.hDC = &painter;
      d.rcItem = rects[static_cast<size_t>(p)];
      painter.save();
      DrawMenuItem(&d);
      painter.restore();
    }
    painter.end();
    return image;
  }

  std::unique_ptr<talvora::cMenu> menu;
  std::vector<talvora::RECT> rects;  // item rectangles of the last Paint

 private:
  QPalette saved_palette_;
};

}  // namespace menu_test
