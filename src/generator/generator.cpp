#include "generator/generator.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "generator/catalogue.h"
#include "generator/page_document.h"
#include "generator/selection.h"
#include "generator/site_files.h"
#include "generator/ui_sink.h"
#include "generator/uitl.h"
#include "platform/folder_visits.h"
#include "platform/fso.h"
#include "platform/paths.h"

namespace talvora {
namespace {

using platform::kSepStr;

// One step of a pass: Value grows by one per folder and never passes Max.
void StepProgress() {
  ProgressBarModel& bar = ProgressBar();
  if (bar.Max() >= bar.Value() + 1) bar.SetValue(bar.Value() + 1);
}

// The page pass of one folder and its branches, with one program's page
// document and branch list.
template <typename SavePage, typename SubFolders>
void WritePageDocumentsIn(const std::string& siteFolder, const std::string& folder,
                          platform::fso::FolderVisits& visits, SavePage savePage,
                          SubFolders subFolders) {
  if (Options().CancelFlag == -1) return;
  StepProgress();
  std::string relativePath = RelativePath(siteFolder, folder);
  savePage(Options().CatalogueRoot, relativePath, folder, folder + kSepStr + "startxml.xml");
  for (const std::string& branch : subFolders(folder)) {
    // The same folders as the catalogue pass: each real folder once, never
    // one a link leads to outside the site.
    if (!visits.Enter(branch)) continue;
    WritePageDocumentsIn(siteFolder, branch, visits, savePage, subFolders);
  }
}

template <typename SavePage, typename SubFolders>
void WritePageDocumentsWith(const std::string& siteFolder, const std::string& folder,
                            SavePage savePage, SubFolders subFolders) {
  platform::fso::FolderVisits visits(siteFolder);
  if (folder != siteFolder && !visits.Enter(folder)) return;
  WritePageDocumentsIn(siteFolder, folder, visits, savePage, subFolders);
}

// Sets the site's entry page aside for the run: a copy goes to the fixed
// file, as always, and the page itself is renamed within the site folder,
// which needs no free space, so putting it back cannot fail for a full
// disk. Raises its errors before anything is moved; a page a broken-off run
// left under the aside name is never replaced. A read-only page stays where
// it is and the run is refused. Returns where the page is kept.
std::string SetEntryPageAside(const std::string& site, const std::string& siteIndex) {
  const std::string temp = IndexTempPath();
  if (FileExists(temp)) platform::fso::DeleteFile(temp, true);
  platform::fso::CopyFile(siteIndex, temp, true);
  std::error_code ec;
  auto perms = std::filesystem::symlink_status(siteIndex, ec).permissions();
  if (!ec && (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
    throw platform::FsoError("cannot set aside \"" + siteIndex + "\": the file is read-only");
  const std::string aside = site + kSepStr + kEntryPageAsideName;
  platform::fso::MoveFile(siteIndex, aside);
  return aside;
}

// Puts the entry page back, replacing what stands at its name when replace
// is set (the template's page this run copied); otherwise nothing there is
// replaced. The error tells where the page is kept.
void PutEntryPageBack(const std::string& aside, const std::string& siteIndex, bool replace) {
  try {
    if (replace && FileExists(siteIndex)) platform::fso::DeleteFile(siteIndex, true);
    platform::fso::MoveFile(aside, siteIndex);
  } catch (const std::exception& e) {
    throw platform::FsoError("网站首页未能放回 \"" + siteIndex + "\"（" + e.what() +
                             "）。原来的首页保存在 \"" + aside + "\"，副本在 \"" +
                             IndexTempPath() + "\"。");
  }
}

// Runs the work; when it fails, the set-aside entry page goes back first,
// and a failure to put it back is told together with the run's own error.
template <typename Work>
void WithEntryPageAside(const std::string& aside, const std::string& siteIndex, bool replace,
                        Work work) {
  try {
    work();
  } catch (...) {
    if (aside.empty()) throw;
    const std::exception_ptr original = std::current_exception();
    try {
      PutEntryPageBack(aside, siteIndex, replace);
    } catch (const std::exception& restore) {
      std::string failure;
      try {
        std::rethrow_exception(original);
      } catch (const std::exception& e) {
        failure = std::string(e.what()) + "\n";
      } catch (...) {
      }
      throw platform::FsoError(failure + restore.what());
    }
    throw;
  }
  if (!aside.empty()) PutEntryPageBack(aside, siteIndex, replace);
}

// The note of the page the last run put back, "" when it put none back.
std::string& EntryPageNote() {
  static std::string note;
  return note;
}

// A run broken off while the site's entry page waits under the aside name
// (killed, the machine switched off) leaves the site without index.html.
// Every run deals with that first, while it holds the run lock, so that a
// page another run keeps aside at this moment is never taken for one left
// behind. With no index.html the page goes back, and the run's last text
// says so. With an index.html as well only the user can tell which one is
// the site's: the run is refused before it touches anything.
void PutBackPageLeftAside(const std::string& site, const std::string& siteIndex) {
  EntryPageNote().clear();
  const std::string left = site + kSepStr + kEntryPageAsideName;
  if (!FileExists(left)) return;
  if (FileExists(siteIndex) || FolderExists(siteIndex))
    throw std::runtime_error("网站文件夹中既有 \"" + siteIndex + "\"，又有上次中断的生成留下的原网站首页 \"" +
                             left + "\"，无法确定哪一个是网站的首页。请比较这两个文件，把要保留的一个命名为 "
                             "index.html，删除另一个，然后再生成。");
  platform::fso::MoveFile(left, siteIndex);
  EntryPageNote() = "上次中断的生成留下的网站首页 \"" + left + "\" 已放回为 \"" + siteIndex + "\"";
}

// Holds the lock file in the cache folder for one run, so that two runs
// (two windows, or both programs) never take each other's fixed files.
class RunLock {
 public:
  RunLock() {
    fd_ = ::open(RunLockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
      throw platform::FsoError("cannot open the lock file \"" + RunLockPath() +
                               "\": " + std::strerror(errno));
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      throw std::runtime_error(
          "另一个生成过程正在使用缓存文件夹中的文件，请等它结束后再试。");
    }
  }
  ~RunLock() { ::close(fd_); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

std::string IndexTempPath() { return platform::UserCacheFolder() + kSepStr + "index.temp"; }

const char kEntryPageAsideName[] = "startxml.index.html";

std::string RunLockPath() { return platform::UserCacheFolder() + kSepStr + "run.lock"; }

std::string WithEntryPageNote(const std::string& text) {
  const std::string& note = EntryPageNote();
  if (note.empty()) return text;
  return text.empty() ? note : text + "（" + note + "）";
}

void WritePageDocuments(const std::string& siteFolder, const std::string& folder) {
  WritePageDocumentsWith(siteFolder, folder, SavePageDocument, GetSubFolders);
}

void GenerateSite(std::string& siteFolder, bool fullRun) {
  // The run lets window messages through, so a command could ask for a
  // second run while one is going. That run would replace the catalogue the
  // first one is still reading: it is refused instead.
  static bool running = false;
  if (running) throw std::runtime_error("主题资源正在生成中，请等当前的生成结束后再试。");
  running = true;
  struct Done {
    ~Done() { running = false; }
  } done;
  // The rules look at each folder many times; the run reads it once.
  platform::fso::ListingScope listings;

  // Every page's relative path is cut from this folder, so it must be the
  // one form the walks give: absolute, without a trailing separator. The
  // caller's variable gets that form.
  siteFolder = SiteFolderPath(siteFolder);
  const std::string site = siteFolder;
  const std::string siteIndex = site + kSepStr + "index.html";
  GenerationOptions& options = Options();

  ShowStatus("正在进行资料整理 ......");
  LinksLeftOut().clear();
  // A refresh run keeps the site's own entry page aside while the site
  // folder must not look like a finished web page. Only what this run set
  // aside is put back, never a copy an earlier run left behind. A page
  // under the aside name is dealt with first, under the lock.
  std::unique_ptr<RunLock> lock;
  std::string aside;
  if (FileExists(site + kSepStr + kEntryPageAsideName) || (!fullRun && FileExists(siteIndex)))
    lock = std::make_unique<RunLock>();
  PutBackPageLeftAside(site, siteIndex);
  if (fullRun) {
    CleanOutput(site);
  } else if (FileExists(siteIndex)) {
    aside = SetEntryPageAside(site, siteIndex);
  }

  WithEntryPageAside(aside, siteIndex, false, [&] {
    // From here on the site folder must not look like a finished web page.
    // A page that cannot be deleted would turn the whole site into a single
    // redirect page, so that is an error rather than something to skip.
    if (FileExists(siteIndex)) platform::fso::DeleteFile(siteIndex);

    ShowStatus("正在统计目录信息 ......");
    options.Catalogue = BuildCatalogue(site);
    options.CatalogueRoot = options.Catalogue->DocumentElement();

    ShowStatus("正在生成 XML 目录信息文件 ......");
    ProgressBar().SetValue(0);
    ProgressBar().SetMax(static_cast<float>(CountFolders(site) + 1));
    // Clearing the flag here lets a cancel stop only the pass that is running.
    options.CancelFlag = 0;
    WritePageDocuments(site, site);
    ProgressBar().SetValue(ProgressBar().Max());

    if (fullRun) {
      CopyTemplate(options.TemplatePath, site);
      CopyPictures(site);
      ShowStatus(WithLinksLeftOut(
          WithEntryPageNote(options.CancelFlag != 0 ? "操作已取消" : "主题资源处理完成")));
    } else if (!LinksLeftOut().empty() || !EntryPageNote().empty()) {
      // A refresh run ends without a text of its own, but one that left a
      // link out (a welcome page's source) or put back a page a broken-off
      // run left aside says so.
      ShowStatus(WithLinksLeftOut(WithEntryPageNote("")));
    }
  });
}

}  // namespace talvora

namespace quenlet {

using platform::kSep;
using platform::kSepStr;
namespace fso = platform::fso;

namespace {

bool IsSiteByPair(const std::string& folder, const char* first, const char* second) {
  return talvora::FolderExists(folder + kSep + first) &&
         talvora::FolderExists(folder + kSep + second);
}

void FindSitesIn(const std::string& folder, std::vector<std::string>& sites,
                 fso::FolderVisits& visits, std::vector<std::string>* unsearched) {
  GlobalState& o = Options();
  if (o.CancelFlag == -1) return;
  talvora::PumpMessages();
  // Either pair makes a site, the start folder's too: the main program
  // starts Quenlet on the very site it is to regenerate.
  if (IsSiteByPair(folder, "学习测评", "网络导航") || IsSiteByPair(folder, "媒体中心", "图片欣赏")) {
    sites.push_back(folder);
    return;
  }
  try {
    for (const std::string& name : fso::SubFolderNames(folder)) {
      const std::string sub = fso::ChildPath(folder, name);
      ShowProgressMsg(ProgressPathText(sub));
      // Each real folder is searched once, and a link out of the start
      // folder not at all: no site outside it is found.
      bool enter;
      try {
        enter = visits.Enter(sub);
      } catch (const platform::FsoError&) {
        // Past the path-length limit, say: noted, and the search goes on
        // with the next sub-folder.
        if (unsearched) unsearched->push_back(sub);
        continue;
      }
      if (!enter) continue;
      FindSitesIn(sub, sites, visits, unsearched);
    }
  } catch (const platform::FsoError&) {
    // A folder that cannot be listed ends its own search; its parent goes on.
    if (unsearched) unsearched->push_back(folder);
  }
}

}  // namespace

std::string CatalogueCopyPath() { return platform::UserCacheFolder() + kSepStr + "a.xml"; }

std::string SubjectIniTemplate(const std::string& subject, const std::string& columnCaption) {
  std::string name = subject == "数学" ? subject + columnCaption : subject;
  return ProgramDataFolder() + kSepStr + "subject" + kSepStr + name + ".ini";
}

void FindSites(const std::string& folder, std::vector<std::string>& sites,
               std::vector<std::string>* unsearched) {
  std::unique_ptr<fso::FolderVisits> visits;
  try {
    visits = std::make_unique<fso::FolderVisits>(folder);
  } catch (const platform::FsoError&) {
    if (unsearched) unsearched->push_back(folder);
    return;
  }
  FindSitesIn(folder, sites, *visits, unsearched);
}

void WritePageDocuments(const std::string& siteRoot, const std::string& folder) {
  talvora::WritePageDocumentsWith(siteRoot, folder, SavePageDocument, GetSubFolders);
}

void GenerateSite(const std::string& site, const std::string& arrayIniTemplate) {
  fso::ListingScope listings;
  GlobalState& o = Options();
  const std::string siteIndex = site + kSepStr + "index.html";
  talvora::ProgressBarModel& bar = talvora::ProgressBar();

  // Started from the main program, the site keeps its own entry page. Only
  // what this run set aside is put back, never a page another site left.
  // The catalogue copy and the entry page's copy are fixed files: the run
  // holds them alone.
  talvora::RunLock lock;
  talvora::LinksLeftOut().clear();
  talvora::PutBackPageLeftAside(site, siteIndex);
  std::string aside;
  if (o.StartedWithPath && talvora::FileExists(siteIndex))
    aside = talvora::SetEntryPageAside(site, siteIndex);

  // Over the template's entry page: the site's own (with its site marker) survives.
  talvora::WithEntryPageAside(aside, siteIndex, true, [&] {
    DeleteFileIfExists(siteIndex);
    CleanOutput(site);
    const std::string arrayIni = site + kSepStr + "array.ini";
    // A site's own field list is never replaced.
    if (!talvora::FileExists(arrayIni)) CopyFileIfExists(arrayIniTemplate, arrayIni);

    ShowMsg(site);
    ShowProgressMsg("正在统计目录信息......");
    ReadArrayIni(arrayIni, o.ArrayIniLines);
    o.Catalogue = BuildCatalogue(site);
    o.CatalogueRoot = o.Catalogue->DocumentElement();

    ShowProgressMsg("正在生成 XML 目录信息文件......");
    bar.SetValue(0);
    bar.SetMax(static_cast<float>(talvora::CountFolders(site) + 1));
    WritePageDocuments(site, site);
    bar.SetValue(bar.Max());

    CopyTemplate(o.TemplatePath, site);
    CopyPictures(site);
    ShowProgressMsg(talvora::WithLinksLeftOut(
        talvora::WithEntryPageNote(o.CancelFlag == -1 ? "操作已取消" : "完成")));
  });
}

}  // namespace quenlet
