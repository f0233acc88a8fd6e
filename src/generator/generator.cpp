#include "generator/generator.h"

#include "generator/catalogue.h"
#include "generator/page_document.h"
#include "generator/selection.h"
#include "generator/site_files.h"
#include "generator/ui_sink.h"
#include "generator/uitl.h"
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

void WritePageDocumentsIn(const std::string& siteFolder, const std::string& folder,
                          platform::fso::AncestorChain& chain) {
  if (Options().CancelFlag == -1) return;
  StepProgress();
  std::string relativePath = RelativePath(siteFolder, folder);
  auto page = BuildPageDocument(Options().CatalogueRoot, relativePath, folder);
  page->Save(folder + kSepStr + "startxml.xml");
  for (const std::string& branch : GetSubFolders(folder)) {
    // A link back to an enclosing folder is not followed round again.
    if (!chain.Enter(branch)) continue;
    WritePageDocumentsIn(siteFolder, branch, chain);
    chain.Leave();
  }
}

}  // namespace

std::string IndexTempPath() { return platform::UserCacheFolder() + kSepStr + "index.temp"; }

void WritePageDocuments(const std::string& siteFolder, const std::string& folder) {
  platform::fso::AncestorChain chain;
  if (!chain.Enter(folder)) return;
  WritePageDocumentsIn(siteFolder, folder, chain);
  chain.Leave();
}

void GenerateSite(std::string& siteFolder, bool fullRun) {
  // A drive letter is used as a capital; the rest of the path stays.
  if (!siteFolder.empty() && siteFolder[0] >= 'a' && siteFolder[0] <= 'z')
    siteFolder[0] = static_cast<char>(siteFolder[0] - 'a' + 'A');
  const std::string site = siteFolder;
  const std::string siteIndex = site + kSepStr + "index.html";
  GenerationOptions& options = Options();

  ShowStatus("正在进行资料整理 ......");
  // A refresh run keeps the site's own entry page aside while the site
  // folder must not look like a finished web page. Only what this run set
  // aside is put back, never a copy an earlier run left behind.
  bool setAside = false;
  if (fullRun) {
    CleanOutput(site);
  } else if (FileExists(siteIndex)) {
    // Copied with its errors raised: the page is deleted next, so a copy
    // that failed unnoticed would lose it. The earlier copy is replaced even
    // when it came out read-only.
    const std::string temp = IndexTempPath();
    if (FileExists(temp)) platform::fso::DeleteFile(temp, true);
    platform::fso::CopyFile(siteIndex, temp, true);
    setAside = true;
  }

  try {
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
      ShowStatus(options.CancelFlag != 0 ? "操作已取消" : "主题资源处理完成");
    }
  } catch (...) {
    // A failed run still gives the site its entry page back (unless the
    // page was never deleted).
    if (setAside && !FileExists(siteIndex)) CopyFileIfExists(IndexTempPath(), siteIndex);
    throw;
  }

  // Put back with its errors raised, so a site left without its entry page
  // is never reported as done.
  if (setAside) platform::fso::CopyFile(IndexTempPath(), siteIndex, true);
}

}  // namespace talvora
