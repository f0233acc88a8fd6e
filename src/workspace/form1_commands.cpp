// The tree's context menu with its dispatch, and the commands that the menu
// and the toolbar run on the selected node of the folder tree: the wizard on
// a folder, editing a generated site, copy, cut, paste, rename, delete, new
// folder and the package import. Copy and cut only mark the node; paste does
// the disk work through the shell's file operations. After a change on disk
// the node concerned is read again with TreeView1_Flash.
#include <cctype>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <string>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>

#include "generator/generator.h"
#include "generator/skip_on_error.h"
#include "generator/uitl.h"
#include "menu/c_menu.h"
#include "menu/m_menu.h"
#include "platform/dialogs.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "wizard/wizard_pane.h"
#include "workspace/folder_tree.h"
#include "workspace/form1.h"
#include "workspace/import_dialog.h"
#include "workspace/shell_file_ops.h"

namespace talvora {
namespace {

using platform::kSep;

// The marks of copied and cut nodes.
const QColor kCopyMark(255, 255, 255);
const QColor kCutMark(255, 0, 0);

const char kQuestionPack[] = "是否现在进行压缩打包?";

// The key with its first character upper-cased (a drive letter where the
// platform has one).
std::string UpperFirst(std::string key) {
  if (!key.empty()) key[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
  return key;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The archive of a packed site, beside the site folder: the first six
// characters of the folder's name + ".rar".
std::string ArchiveOf(const std::string& folder) {
  return ParentPrefix(folder) + LeftChars(GetFileName(folder), 6) + ".rar";
}

// The picture of a menu item, from the program folder's icons.
StdPicture MenuIcon(const char* alias) {
  QPixmap picture;
  picture.load(QString::fromStdString(platform::ProgramFolder() + kSep + "icons" + kSep + "menu_" +
                                      alias + ".png"));
  if (picture.isNull()) return EmptyPicture();
  return std::make_shared<const QPixmap>(picture);
}

// A new label that would put the node somewhere else, or make no name.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find(kSep) == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------
// The context menu

void Form1::InitContextMenu() {
  struct Item {
    const char* alias;
    const char* text;
    bool separator;
  };
  static const Item items[] = {
      {"expend", "展开", false},        {"sep0", "", true},
      {"gen", "生成主题资源", false},   {"edit", "打包主题资源", false},
      {"sep1", "", true},               {"open", "打开", false},
      {"openfolder", "打开文件所在文件夹", false},
      {"cut", "剪切", false},           {"copy", "复制", false},
      {"paste", "粘贴", false},         {"delete", "删除", false},
      {"sep2", "", true},               {"newdir", "新建文件夹", false},
      {"rename", "重命名", false},      {"input", "导入资源包", false},
  };
  // Each step runs even when the one before it failed.
  Try([&] {
    menu = std::make_unique<cMenu>();
    menu->CreateMenu();
  });
  for (const Item& item : items)
    Try([&] {
      if (!menu) return;
      menu->AddItem(item.alias, item.separator ? EmptyPicture() : MenuIcon(item.alias), item.text,
                    item.separator ? kItemSeparator : kItemPlain, 0);
    });
  Try([&] {
    if (menu) menu->Style(4);
  });
  mMenu::DoMenuCommand = [this](int32_t id) { DoMenuCommand(id); };
  mMenu::ShowMenuStatus = [this](int32_t id) { ShowMenuStatus(id); };
}

void Form1::DoMenuCommand(int id) {
  if (unloading_) return;
  Busy busy(*this);
  // The shell's file operations lock the window; the menu path unlocks it
  // when the command ends, also when the command failed half-way.
  struct Unlocker {
    Form1* form;
    ~Unlocker() { form->Unlock(); }
  } unlock{this};

  if (id < 0 || static_cast<std::size_t>(id) >= mMenu::MyItems.size()) return;
  const std::string alias = mMenu::MyItems[static_cast<std::size_t>(id)].Alias;
  QTreeWidgetItem* node = TreeView1->currentItem();
  auto key = [&] {
    if (!node) throw std::runtime_error("没有选中的节点");
    return TreeNodes::Key(node);
  };

  if (alias == "expend") {
    if (!node) throw std::runtime_error("没有选中的节点");
    if (node->isExpanded()) {
      node->setExpanded(false);
      if (menu) menu->SetItemText("expend", "展开");
    } else {
      node->setExpanded(true);
      if (menu) menu->SetItemText("expend", "折叠");
    }
  } else if (alias == "gen") {
    StartGenerateWizard();
  } else if (alias == "edit") {
    EditResource();
  } else if (alias == "open") {
    OpenInExplorer(key());
  } else if (alias == "openfolder") {
    if (!node || !node->parent()) throw std::runtime_error("没有上级节点");
    OpenInExplorer(TreeNodes::Key(node->parent()));
  } else if (alias == "copy") {
    CopyNode();
  } else if (alias == "cut") {
    CutNode();
  } else if (alias == "paste") {
    PasteNode();
  } else if (alias == "delete") {
    DeleteNode();
  } else if (alias == "rename") {
    BeginRename();
  } else if (alias == "input") {
    ShowImportDialog();
  } else if (alias == "newdir") {
    NewFolder();
  }
}

void Form1::ShowMenuStatus(int id) {
  if (id < 0 || static_cast<std::size_t>(id) >= mMenu::MyItems.size()) return;
  StatusPanel(1)->setText(QString::fromStdString(mMenu::MyItems[static_cast<std::size_t>(id)].Text));
}

// ---------------------------------------------------------------------------
// The wizard and the generated sites

void Form1::StartGenerateWizard() {
  try {
    // The wizard pane comes up on its first page before the folder is
    // taken, also when no folder is selected.
    RightFrame->setVisible(true);
    resourceFrame->setVisible(false);
    // Not the running wizard's "取  消": the handler resets to page 1.
    RightFrame->cancelCommand->setText(QStringLiteral("新 建"));
    cancelCommand_Click();
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node) throw std::runtime_error("没有选中的目录");
    RightFrame->ResourcePath->setText(QString::fromStdString(UpperFirst(TreeNodes::Key(node))));
    ShowStatus("资源生成向导启动成功");
  } catch (const std::exception& e) {
    platform::MsgBox(std::string("请选择要生成主题资源的目录！\r\n") + e.what(), platform::vbOKOnly);
  }
}

void Form1::EditResource() {
  QTreeWidgetItem* node = TreeView1->currentItem();
  if (!node) throw std::runtime_error("没有选中的目录");
  const std::string key = TreeNodes::Key(node);
  if (!IsSiteRoot(key)) return;
  if (!HasSiteMarker(key + kSep + "index.html")) {
    RegenerateResource();
    return;
  }
  // A column site: its own program edits it, then it may be packed. Pages
  // the program did not generate again are not packed as if it had.
  if (!LaunchColumnGenerator()) {
    ShowStatus("栏目网站没有重新生成，没有压缩打包");
    return;
  }
  if (platform::MsgBox(kQuestionPack, platform::vbOKCancel) != platform::vbOK) return;
  const std::string archive = ArchiveOf(key);
  ShowStatus("正在压缩资源到 " + archive);
  if (RightFrame->PackSite(key, archive)) ShowStatus("主题资源处理完成 -> " + archive);
}

bool Form1::LaunchColumnGenerator() {
  QCoreApplication::processEvents();
  QTreeWidgetItem* node = TreeView1->currentItem();
  if (!node) throw std::runtime_error("没有选中的目录");
  const std::string path = UpperFirst(TreeNodes::Key(node));
  // The whole folder path is the program's one argument.
  const platform::ProcessResult result =
      ShellAndWait(platform::ProgramFolder() + kSep + "Quenlet" + kSep + "Quenlet", {path});
  QCoreApplication::processEvents();
  // A program that could not be started has said so; one that ended without
  // generating a site (or did not end normally) is told of here.
  if (!result.started) return false;
  if (result.exitCode == 0) return true;
  platform::MsgBox("栏目网站没有重新生成，没有压缩打包。", platform::vbOKOnly | platform::vbExclamation);
  return false;
}

void Form1::RegenerateResource() {
  WizardPane* wz = RightFrame;
  // The wizard's own run owns its fields and buttons until it is over. In
  // its preview state nothing is under way: the refresh goes ahead and the
  // preview is then this site's.
  if (wz->IsRunning()) {
    platform::MsgBox("资源生成向导正在生成主题资源，请等它完成后再打包主题资源。", platform::vbOKOnly, "提示");
    return;
  }
  bool locked = false;
  try {
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node) throw std::runtime_error("没有选中的目录");
    wz->ResourcePath->setText(QString::fromStdString(TreeNodes::Key(node)));
    wz->AutoRar->setChecked(true);
    const std::string typed = wz->ResourcePath->text().toStdString();
    std::string folder = Trimmed(typed);
    if (!FolderExists(folder)) {
      platform::MsgBox("所选目录不存在", platform::vbOKOnly, "错误");
      return;
    }
    Options().FootText = wz->footText->text().toStdString();
    wz->finishCommand->setEnabled(false);
    wz->backCommand->setEnabled(false);
    locked = true;
    Options().CancelFlag = 0;

    GenerateSite(folder, false);

    std::string archive;
    bool packFailed = false;
    if (wz->AutoRar->isChecked() &&
        platform::MsgBox(kQuestionPack, platform::vbOKCancel) == platform::vbOK) {
      const std::string packed = ArchiveOf(typed);
      ShowStatus("正在压缩资源到 " + packed);
      if (wz->PackSite(typed, packed))
        archive = packed;
      else
        packFailed = true;
    }

    wz->finishCommand->setText(kCaptionPreview);
    wz->finishCommand->setEnabled(true);
    wz->cancelCommand->setText(kCaptionNew);
    wz->cancelCommand->setEnabled(true);
    wz->backCommand->setEnabled(true);
    locked = false;
    wz->finishCommand->setFocus();

    // The site is refreshed and can be previewed; the failed packing has
    // been reported, and nothing is told as done.
    if (packFailed) return;
    platform::MsgBox("主题资源修改完成!", platform::vbOKOnly);
    platform::MsgBox("资源修改完成,您可以重新导入该资源压缩包进行预览!", platform::vbOKOnly);
    ShowStatus(WithEntryPageNote("主题资源处理完成 -> " + archive));
  } catch (const std::exception& e) {
    // The run stopped: say so on the status line, and give the buttons this
    // command took away back, so the wizard can run again.
    Try([&] { ShowStatus(std::string("主题资源修改失败：") + e.what()); });
    if (locked) {
      wz->finishCommand->setEnabled(true);
      wz->backCommand->setEnabled(true);
    }
  }
}

// ---------------------------------------------------------------------------
// Copy, cut, paste

void Form1::CopyNode() {
  Try([&] {
    if (ClipboardKey.empty()) return;
    if (QTreeWidgetItem* marked = NodeOfKey(ClipboardKey)) marked->setBackground(0, kCopyMark);
  });
  QTreeWidgetItem* node = TreeView1->currentItem();
  if (!IsEntryNode(node)) return;
  ClipboardKey = TreeNodes::Key(node);
  node->setBackground(0, kCopyMark);
  Try([&] { ShowStatus(ClipboardKey + " 已放入粘贴板"); });
}

void Form1::CutNode() {
  QTreeWidgetItem* node = TreeView1->currentItem();
  if (!IsEntryNode(node)) return;
  ClipboardKey = TreeNodes::Key(node);
  node->setBackground(0, kCutMark);
  Try([&] { ShowStatus(ClipboardKey + " 已放入剪贴板"); });
}

void Form1::PasteNode() {
  if (ClipboardKey.empty()) return;
  QTreeWidgetItem* target = TreeView1->currentItem();
  if (!target) return;
  const std::string targetKey = TreeNodes::Key(target);
  // The root is no folder to paste into.
  if (!IsDiskKey(targetKey)) return;
  Try([&] {
    QTreeWidgetItem* source = NodeOfKey(ClipboardKey);
    if (!IsEntryNode(source)) return;
    const std::string sourceKey = ClipboardKey;
    const std::string destination = ChildKey(targetKey, FOnlyPath(sourceKey));
    // Only a node that shows the cut mark is moved. A node the tree has read
    // again since it was marked shows no mark and is copied: the original
    // stays where it was.
    if (source->background(0).style() == Qt::NoBrush ||
        source->background(0).color() != kCutMark) {
      ShellCopy(*this, sourceKey, destination);
      return;
    }
    if (ShellMove(*this, sourceKey, destination) != 1) return;
    delete source;
    ClipboardKey.clear();
    ShowStatus(sourceKey + " 粘贴成功");
  });
  // The copy may have refreshed the tree: find the target again.
  Try([&] {
    if (QTreeWidgetItem* node = NodeOfKey(targetKey)) TreeView1_Flash(node);
  });
}

// ---------------------------------------------------------------------------
// Rename, delete, new folder

void Form1::BeginRename() {
  QTreeWidgetItem* node = TreeView1->currentItem();
  // A drive or the root has no name of its own to change.
  if (!IsEntryNode(node)) return;
  renameKey_ = TreeNodes::Key(node);
  node->setFlags(node->flags() | Qt::ItemIsEditable);
  TreeView1->editItem(node, 0);
}

void Form1::Unlock() {
  setEnabled(true);
  // A label edit the command opened could not take the keyboard focus in
  // the locked window; it takes it now, so that what the user types goes
  // into it.
  if (renameKey_.empty()) return;
  for (QLineEdit* editor : TreeView1->viewport()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly))
    if (editor->isVisible()) editor->setFocus(Qt::OtherFocusReason);
}

void Form1::FinishRename(const std::string& newText) {
  // The node whose label was edited, even when ending the edit has moved
  // the selection to another node.
  QTreeWidgetItem* node = renameKey_.empty() ? TreeView1->currentItem() : NodeOfKey(renameKey_);
  renameKey_.clear();
  // A drive or the root is not renamed, and the root is not read again:
  // that would only take the drives away.
  if (!IsEntryNode(node)) return;
  QTreeWidgetItem* parent = node->parent();
  const std::string oldKey = TreeNodes::Key(node);
  Try([&] {
    // A name must stay one name in the same folder.
    if (!IsPlainName(newText)) return;
    const std::string newKey = ChildKey(TreeNodes::Key(parent), newText);
    if (newKey == oldKey) return;
    // Both moves refuse a name that is taken: nothing is replaced.
    bool moved = false;
    Try([&] {
      platform::fso::MoveFile(oldKey, newKey);
      moved = true;
    });
    if (!moved)
      Try([&] {
        platform::fso::MoveFolder(oldKey, newKey);
        moved = true;
      });
    if (!moved) return;
    treeNodes->SetKey(node, newKey);
    // The status bar showed the old path since the click on the node.
    ShowStatus(newKey);
  });
  // The parent's children are read again: the tree shows the names that are
  // really on disk, the old one after a refused rename.
  Try([&] { TreeView1_Flash(parent); });
}

void Form1::DeleteNode() {
  QTreeWidgetItem* node = TreeView1->currentItem();
  if (!IsEntryNode(node)) return;
  const std::string key = TreeNodes::Key(node);
  Try([&] {
    if (ShellDelete(*this, key) != 1) return;
    delete node;
    Try([&] { ShowStatus(key + " 删除成功"); });
  });
}

void Form1::NewFolder() {
  std::string path;
  try {
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node) throw std::runtime_error("没有选中的目录");
    // The root is no folder; a name below it would land in the working folder.
    if (!IsDiskKey(TreeNodes::Key(node))) throw std::runtime_error("不是磁盘上的文件夹");
    const float r = RandomValue();
    const std::string name = "新建文件夹" + std::to_string(static_cast<long>(std::nearbyint(r * 1000)));
    path = ChildKey(TreeNodes::Key(node), name);
    platform::fso::CreateFolder(path);
    QTreeWidgetItem* folder = treeNodes->Add(node, path, name, 20);
    if (!folder) throw std::runtime_error("树中已有该节点");
    node->setExpanded(true);
    TreeView1->setCurrentItem(folder);
    renameKey_ = path;
    folder->setFlags(folder->flags() | Qt::ItemIsEditable);
    TreeView1->editItem(folder, 0);
    ShowStatus(path + "  创建成功！");
  } catch (const std::exception& e) {
    platform::MsgBox("创建文件夹错误！ " + path + "  " + e.what(), platform::vbOKOnly);
  }
}

// ---------------------------------------------------------------------------
// Import

void Form1::ShowImportDialog() {
  Dialog import(this);
  Try([&] {
    if (QTreeWidgetItem* node = TreeView1->currentItem())
      import.inputPath->setText(QString::fromStdString(TreeNodes::Key(node)));
  });
  import.exec();
}

}  // namespace talvora
