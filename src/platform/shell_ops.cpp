#include "platform/shell_ops.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>
#include <QSaveFile>
#include <QString>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dialogs.h"
#include "platform/fso.h"
#include "platform/paths.h"

namespace platform {
namespace ShellOps {
namespace {

namespace fs = std::filesystem;

std::string Strip(std::string path) {
  while (path.size() > 1 && path.back() == kSep) path.pop_back();
  return path;
}

std::string NameOf(const std::string& path) {
  const std::size_t cut = path.rfind(kSep);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ParentOf(const std::string& path) {
  const std::size_t cut = path.rfind(kSep);
  if (cut == std::string::npos) return ".";
  return cut == 0 ? kSepStr : path.substr(0, cut);
}

bool Exists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool IsLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Two names of one file or folder (a hard link, a link, a bind mount).
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Whether path is the folder itself or lies inside it, after links are
// resolved.
bool SameOrInside(const std::string& path, const std::string& folder) {
  std::error_code ec;
  const std::string p = fs::weakly_canonical(path, ec).string();
  if (ec) return false;
  const std::string f = fs::weakly_canonical(folder, ec).string();
  if (ec) return false;
  if (p == f) return true;
  return p.size() > f.size() && p.compare(0, f.size(), f) == 0 &&
         (f.back() == kSep || p[f.size()] == kSep);
}

class Operation {
 public:
  Operation(bool move, QWidget* owner) : move_(move), owner_(owner) {}

  int Run(const std::string& source, const std::string& destination) {
    const std::string src = Strip(source);
    const std::string dst = Strip(destination);
    if (!Exists(src)) {
      Fail(Verb() + "失败：找不到“" + src + "”。");
      return 0;
    }
    const std::string name = NameOf(src);
    const bool srcFolder = fso::FolderExists(src);
    std::string target;
    if (fso::FolderExists(dst)) {
      // The full new path of a folder of the same name is merged with; any
      // other folder is the one to put the source into.
      const bool merge = srcFolder && NameOf(dst) == name && !SameOrInside(dst, src) &&
                         !SameOrInside(src, dst);
      target = merge ? dst : fso::ChildPath(dst, name);
    } else if (Exists(dst)) {
      if (srcFolder || NameOf(dst) != name) {
        Fail("无法" + Verb() + "“" + name + "”：目标“" + dst + "”是一个文件，不是文件夹。");
        return 0;
      }
      target = dst;
    } else {
      if (!fso::FolderExists(ParentOf(dst))) {
        Fail("无法" + Verb() + "“" + name + "”：目标文件夹“" + ParentOf(dst) + "”不存在。");
        return 0;
      }
      target = dst;
    }
    if (SameOrInside(target, src)) {
      if (SameOrInside(src, target))
        Fail("无法" + Verb() + "“" + name + "”：源与目标是同一个位置。");
      else
        Fail("无法" + Verb() + "“" + name + "”：目标文件夹是源文件夹的子文件夹。");
      return 0;
    }

    if (!move_) {
      total_ = SizeOf(src);
      progress_ = std::make_unique<QProgressDialog>(
          Q("正在复制“" + name + "”……"), QStringLiteral("取消"), 0, 1000, owner_);
      progress_->setWindowTitle(Q(kDefaultTitle));
      progress_->setMinimumDuration(1000);
      progress_->setAutoClose(false);
      progress_->setAutoReset(false);
      progress_->setValue(0);
      clock_.start();
    }
    Transfer(src, target);
    progress_.reset();
    return (cancelled_ || incomplete_) ? 0 : 1;
  }

 private:
  std::string Verb() const { return move_ ? "移动" : "复制"; }

  void Fail(const std::string& message) {
    MsgBox(message, vbOKOnly | vbExclamation);
    incomplete_ = true;
  }

  // The shell's replace confirmation: true to go ahead.
  bool Confirm(const std::string& prompt) {
    if (yesToAll_) return true;
    switch (AskReplace(prompt)) {
      case vbYesToAll:
        yesToAll_ = true;
        return true;
      case vbYes:
        return true;
      case vbNo:
        incomplete_ = true;
        return false;
      default:
        cancelled_ = true;
        return false;
    }
  }

  // One source onto its target, which may exist already.
  void Transfer(const std::string& src, const std::string& target) {
    if (cancelled_) return;
    const bool srcFolder = fso::FolderExists(src);
    if (!Exists(target)) {
      if (!move_) return CopyNew(src, target);
      try {
        if (srcFolder)
          fso::MoveFolder(src, target);
        else
          fso::MoveFile(src, target);
      } catch (const std::exception& e) {
        Fail("无法移动“" + src + "”：" + e.what());
      }
      return;
    }
    // A link in the way is an entry of its own: it is replaced, never
    // written through (it may lead back into the source).
    if (IsLink(target)) {
      if (!Confirm("此位置已包含名为“" + NameOf(target) + "”的链接。\n\n是否用“" + src +
                   "”替换该链接？"))
        return;
      if (::unlink(target.c_str()) != 0) {
        Fail("无法替换链接“" + target + "”。");
        return;
      }
      return Transfer(src, target);
    }
    if (SameFile(src, target)) {
      Fail("无法" + Verb() + "“" + src + "”：它与“" + target + "”是同一个文件。");
      return;
    }
    if (srcFolder != fso::FolderExists(target)) {
      Fail("无法" + Verb() + "“" + src + "”：目标位置已有同名的" + (srcFolder ? "文件" : "文件夹") +
           "“" + target + "”。");
      return;
    }
    if (!srcFolder) {
      if (!Confirm("此位置已包含名为“" + NameOf(target) + "”的文件。\n\n是否用“" + src +
                   "”替换“" + target + "”？"))
        return;
      if (CopyFileData(src, target) && move_) {
        try {
          fso::DeleteFile(src, true);
        } catch (const std::exception& e) {
          Fail("“" + src + "”已复制到“" + target + "”，但原文件无法删除：" + e.what());
        }
      }
      return;
    }
    if (!Confirm("此位置已包含名为“" + NameOf(target) + "”的文件夹。\n\n是否把“" + src +
                 "”合并到其中？其中同名的文件将逐一询问是否替换。"))
      return;
    std::vector<std::string> folders, files;
    try {
      folders = fso::SubFolderNames(src);
      files = fso::FileNames(src);
    } catch (const std::exception& e) {
      Fail("无法读取文件夹“" + src + "”：" + e.what());
      return;
    }
    for (const std::string& f : folders) Transfer(fso::ChildPath(src, f), fso::ChildPath(target, f));
    for (const std::string& f : files) Transfer(fso::ChildPath(src, f), fso::ChildPath(target, f));
    // What was not moved keeps the source folder, so nothing is lost.
    if (move_ && !cancelled_ && !incomplete_ && ::rmdir(src.c_str()) != 0)
      Fail("无法删除已移空的文件夹“" + src + "”。");
  }

  // A copy where nothing is in the way yet.
  void CopyNew(const std::string& src, const std::string& target) {
    if (!fso::FolderExists(src)) {
      CopyFileData(src, target);
      return;
    }
    fso::AncestorChain chain;
    CopyFolder(src, target, chain);
  }

  void CopyFolder(const std::string& src, const std::string& target, fso::AncestorChain& chain) {
    if (cancelled_) return;
    if (!chain.Enter(src)) return;  // a link back to a folder being copied
    struct stat st {};
    ::stat(src.c_str(), &st);
    if (!fso::FolderExists(target) && ::mkdir(target.c_str(), (st.st_mode & 07777) | S_IRWXU) != 0) {
      Fail("无法创建文件夹“" + target + "”。");
      chain.Leave();
      return;
    }
    try {
      for (const std::string& f : fso::SubFolderNames(src))
        CopyFolder(fso::ChildPath(src, f), fso::ChildPath(target, f), chain);
      for (const std::string& f : fso::FileNames(src)) {
        if (cancelled_) break;
        if (Exists(fso::ChildPath(target, f)))
          Transfer(fso::ChildPath(src, f), fso::ChildPath(target, f));
        else
          CopyFileData(fso::ChildPath(src, f), fso::ChildPath(target, f));
      }
    } catch (const std::exception& e) {
      Fail("无法读取文件夹“" + src + "”：" + e.what());
    }
    chain.Leave();
  }

  // The data of one file into the target, through a temporary file that
  // takes the target's place only when complete: a cancelled or failed copy
  // leaves whatever was there before.
  bool CopyFileData(const std::string& src, const std::string& target) {
    QFile in(Q(src));
    if (!in.open(QIODevice::ReadOnly)) {
      Fail("无法读取“" + src + "”：" + in.errorString().toStdString());
      return false;
    }
    QSaveFile out(Q(target));
    if (!out.open(QIODevice::WriteOnly)) {
      Fail("无法写入“" + target + "”：" + out.errorString().toStdString());
      return false;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
      const qint64 n = in.read(buffer.data(), static_cast<qint64>(buffer.size()));
      if (n < 0) {
        out.cancelWriting();
        Fail("无法读取“" + src + "”：" + in.errorString().toStdString());
        return false;
      }
      if (n == 0) break;
      if (out.write(buffer.data(), n) != n) {
        out.cancelWriting();
        Fail("无法写入“" + target + "”：" + out.errorString().toStdString());
        return false;
      }
      Advance(n);
      if (cancelled_) {
        out.cancelWriting();
        return false;
      }
    }
    if (!out.commit()) {
      Fail("无法写入“" + target + "”：" + out.errorString().toStdString());
      return false;
    }
    QFile::setPermissions(Q(target), in.permissions());
    std::error_code ec;
    fs::last_write_time(target, fs::last_write_time(src, ec), ec);
    return true;
  }

  void Advance(qint64 bytes) {
    done_ += bytes;
    if (!progress_) return;
    if (total_ > 0) progress_->setValue(static_cast<int>(std::min<qint64>(1000, done_ * 1000 / total_)));
    if (clock_.elapsed() >= 50) {
      QCoreApplication::processEvents();
      clock_.restart();
    }
    if (progress_->wasCanceled()) cancelled_ = true;
  }

  static qint64 SizeOf(const std::string& path) {
    fso::AncestorChain chain;
    return SizeBelow(path, chain);
  }

  static qint64 SizeBelow(const std::string& path, fso::AncestorChain& chain) {
    if (!fso::FolderExists(path)) {
      try {
        return static_cast<qint64>(fso::FileSize(path));
      } catch (...) {
        return 0;
      }
    }
    if (!chain.Enter(path)) return 0;
    qint64 size = 0;
    try {
      for (const std::string& f : fso::SubFolderNames(path)) size += SizeBelow(fso::ChildPath(path, f), chain);
      for (const std::string& f : fso::FileNames(path)) size += SizeBelow(fso::ChildPath(path, f), chain);
    } catch (...) {
    }
    chain.Leave();
    return size;
  }

  bool move_;
  QWidget* owner_;
  bool yesToAll_ = false;
  bool cancelled_ = false;
  bool incomplete_ = false;
  std::unique_ptr<QProgressDialog> progress_;
  QElapsedTimer clock_;
  qint64 total_ = 0;
  qint64 done_ = 0;
};

// The trash's two folders. Without them Qt would fall back to a place of
// its own choosing.
bool EnsureTrash() {
  const QString trash = Q(TrashFolder());
  QDir dir;
  return dir.mkpath(trash + "/files") && dir.mkpath(trash + "/info") &&
         QFile::setPermissions(trash, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
}

}  // namespace

int Copy(const std::string& source, const std::string& destination, QWidget* owner) {
  return Operation(false, owner).Run(source, destination);
}

int Move(const std::string& source, const std::string& destination, QWidget* owner) {
  return Operation(true, owner).Run(source, destination);
}

int Delete(const std::string& path, QWidget* owner) {
  const std::string p = Strip(path);
  if (!Exists(p)) {
    MsgBox("无法删除“" + p + "”：找不到该文件或文件夹。", vbOKOnly | vbExclamation);
    return 0;
  }
  const std::string name = NameOf(p);
  const std::string prompt = fso::FolderExists(p)
                                 ? "确实要把文件夹“" + name + "”及其中的全部内容放入回收站吗？"
                                 : "确实要把“" + name + "”放入回收站吗？";
  if (MsgBox(prompt, vbYesNo | vbQuestion) != vbYes) return 0;
  if (!EnsureTrash()) {
    MsgBox("无法删除“" + name + "”：回收站“" + TrashFolder() + "”无法创建。", vbOKOnly | vbCritical);
    return 0;
  }
  QFile item(Q(p));
  if (!item.moveToTrash()) {
    MsgBox("无法把“" + name + "”放入回收站：" + item.errorString().toStdString(),
           vbOKOnly | vbCritical);
    return 0;
  }
  return 1;
}

std::string TrashFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == kSep) return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share/Trash";
}

}  // namespace ShellOps
}  // namespace platform
