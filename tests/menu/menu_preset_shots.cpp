// Paints the tree's context menu in each of the five style presets, with one
// item highlighted, and saves the pictures for looking at.
#include <cstdlib>
#include <memory>
#include <string>

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include "menu/c_menu.h"
#include "platform/paths.h"

namespace {

// A small round icon with a light rim, transparent around it.
talvora::StdPicture Icon(const QColor& colour) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(colour);
  p.setPen(QPen(colour.darker(150), 1));
  p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
  p.setPen(QPen(Qt::white, 1.5));
  p.drawLine(QPointF(5, 8), QPointF(11, 8));
  p.end();
  return std::make_shared<const QPixmap>(pixmap);
}

// The context menu's own icon when the program folder has it.
talvora::StdPicture Icon(const std::string& alias, const QColor& colour) {
  QPixmap pixmap(QString::fromStdString(platform::ProgramFolder() + "/icons/menu_" + alias + ".png"));
  return pixmap.isNull() ? Icon(colour) : std::make_shared<const QPixmap>(pixmap);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  platform::SetProgramFolder(TALVORA_PROGRAM_FOLDER);
  using talvora::kItemSeparator;

  talvora::cMenu menu;
  menu.CreateMenu();
  const auto none = talvora::EmptyPicture();
  menu.AddItem("expend", Icon("expend", QColor(40, 140, 60)), "展开", 0, 0);
  menu.AddItem("sep0", none, "", kItemSeparator, 0);
  menu.AddItem("gen", Icon("gen", QColor(220, 120, 20)), "生成主题资源", 0, 0);
  menu.AddItem("edit", Icon("edit", QColor(60, 90, 200)), "打包主题资源", 0, 0);
  menu.AddItem("sep1", none, "", kItemSeparator, 0);
  menu.AddItem("open", Icon("open", QColor(200, 170, 40)), "打开", 0, 0);
  menu.AddItem("openfolder", Icon("openfolder", QColor(200, 170, 40)), "打开文件所在文件夹", 0, 0);
  menu.AddItem("cut", Icon("cut", QColor(180, 40, 40)), "剪切", 0, 0);
  menu.AddItem("copy", Icon("copy", QColor(40, 120, 180)), "复制", 0, 0);
  menu.AddItem("paste", Icon("paste", QColor(40, 160, 160)), "粘贴", 0, 2);
  menu.AddItem("delete", Icon("delete", QColor(160, 40, 120)), "删除", 0, 0);
  menu.AddItem("sep2", none, "", kItemSeparator, 0);
  menu.AddItem("newdir", Icon("newdir", QColor(200, 170, 40)), "新建文件夹", 0, 0);
  menu.AddItem("rename", Icon("rename", QColor(90, 90, 90)), "重命名", 0, 0);
  menu.AddItem("input", Icon("input", QColor(120, 60, 180)), "导入资源包", 0, 0);

  auto* window = static_cast<talvora::OwnerDrawMenu*>(menu.hwnd());
  for (int style = 0; style <= 4; ++style) {
    menu.Style(style);
    window->Remeasure();
    window->setActiveAction(window->ItemById(2));
    const std::string path = "/tmp/menu-preset-" + std::to_string(style) + ".png";
    // Three times the size, so that single pixels can be looked at.
    const QImage shot = window->grab().toImage();
    shot.scaled(shot.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .save(QString::fromStdString(path));
  }
  return 0;
}
