// The site generator: turns a folder tree and the generation options into a
// browsable site.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/xml_document.h"

namespace talvora {

// The generation options, written by the wizard and the edit command and
// read by the generator.
struct GenerationOptions {
  std::string TemplatePath;  // program folder/template/<name>/xsl<style>
  std::string LogoPath;
  std::string BannerPath;
  std::string WelcomePath;
  std::string FootText;
  std::string SubjectText;
  int CancelFlag = 0;  // -1 when cancel is requested
  // The root element of the last run's catalogue, and the document that
  // keeps it alive.
  platform::XmlNode CatalogueRoot;
  std::shared_ptr<platform::XmlDocument> Catalogue;
};

GenerationOptions& Options();

// One generation run over the site folder: a full run (fullRun true) or a
// refresh run. Errors are not trapped: they reach the caller as exceptions
// with a readable description. The caller's path comes back in the form the
// run used (SiteFolderPath).
void GenerateSite(std::string& siteFolder, bool fullRun);

// The page pass: writes the folder's startxml.xml from the catalogue in
// Options().CatalogueRoot, then those of its branches, recursively.
void WritePageDocuments(const std::string& siteFolder, const std::string& folder);

// Where a refresh run keeps a copy of the site folder's own index.html.
std::string IndexTempPath();

// The name the site folder's own index.html goes by, in the site folder
// itself, while a run works: moving it there and back needs no free space.
extern const char kEntryPageAsideName[];

// The text with the note of the page the last run put back, if it did: the
// site's entry page that a broken-off run had left under
// kEntryPageAsideName, back as index.html. The run's last status text
// carries it; a caller that shows a text of its own after the run adds it
// there too. Nothing to tell: the text as it is.
std::string WithEntryPageNote(const std::string& text);

// The lock file in the cache folder: a run that uses the fixed files there
// holds it, and a second run is refused while it is held.
std::string RunLockPath();

}  // namespace talvora

// Quenlet, the column-site generator: finds the column sites below a folder
// and generates each one as a complete site.
namespace quenlet {

// Quenlet's globals. The generation options are the main program's own
// (the routines both programs share read them there); these are the same
// values under the same names, plus Quenlet's two.
struct GlobalState {
  talvora::GenerationOptions& shared = talvora::Options();
  std::string& TemplatePath = shared.TemplatePath;  // program folder/template/资源部专用/xsl<style>
  std::string& LogoPath = shared.LogoPath;
  std::string& BannerPath = shared.BannerPath;
  std::string& WelcomePath = shared.WelcomePath;
  std::string& FootText = shared.FootText;
  std::string& SubjectText = shared.SubjectText;  // the chosen subject; "数学" turns number prefixes on
  int& CancelFlag = shared.CancelFlag;             // -1 when cancel is requested
  platform::XmlNode& CatalogueRoot = shared.CatalogueRoot;
  std::shared_ptr<platform::XmlDocument>& Catalogue = shared.Catalogue;
  // True when the program got a folder on its command line: every site
  // then keeps its own entry page.
  bool StartedWithPath = false;
  // The current site root's array.ini lines, slots 1 to 20 (index 0 to 19).
  std::vector<std::string> ArrayIniLines;
};

GlobalState& Options();

// Where the catalogue of the last site generated is kept for inspection.
std::string CatalogueCopyPath();

// The array.ini template for a new site of the subject: the program data's
// subject/<subject>.ini, and for "数学" subject/数学<column caption>.ini.
std::string SubjectIniTemplate(const std::string& subject, const std::string& columnCaption);

// Appends to sites every column site at or below the folder, depth first.
// A folder, the start folder too, is a site when it holds "学习测评" and
// "网络导航", or "媒体中心" and "图片欣赏". A site is not searched further.
// Each real folder is searched once; a link out of the start folder is not
// followed. A folder that cannot be listed or entered ends its own search,
// and is added to *unsearched when that is given, so the run can name it.
void FindSites(const std::string& folder, std::vector<std::string>& sites,
               std::vector<std::string>* unsearched = nullptr);

// One full generation of the column site. arrayIniTemplate is copied in as
// the site's array.ini when the site has none. When the program was started
// with a path, the site's own index.html survives the run. Errors reach the
// caller, with the entry page put back when it was set aside.
void GenerateSite(const std::string& site, const std::string& arrayIniTemplate);

// The page pass: startxml.xml of the folder from Options().CatalogueRoot,
// then of its branches, recursively.
void WritePageDocuments(const std::string& siteRoot, const std::string& folder);

}  // namespace quenlet
