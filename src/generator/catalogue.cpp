#include "generator/catalogue.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "generator/generator.h"
#include "generator/selection.h"
#include "generator/ui_sink.h"
#include "generator/uitl.h"
#include "platform/folder_visits.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "platform/temp_names.h"

namespace talvora {

namespace fso = platform::fso;
using platform::XmlNode;

namespace {

const char kStartText[] =
    "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<subjectResource></subjectResource>\n";

// Levels and page counts are decimal text in the catalogue.
long Number(const std::string& text) {
  try {
    std::size_t used = 0;
    long value = std::stol(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception&) {
  }
  throw std::runtime_error("catalogue value is not a number: \"" + text + "\"");
}

void AddToPages(XmlNode element, long count) {
  SetAttr(element, "pages", std::to_string(Number(GetAttr(element, "pages")) + count));
}

// The start of one folder's visit: false once cancel is requested;
// otherwise one step of progress and a chance for the cancel button.
bool StartFolderVisit() {
  if (Options().CancelFlag == -1) return false;
  ProgressBarModel& bar = ProgressBar();
  if (bar.Max() >= bar.Value() + 1) bar.SetValue(bar.Value() + 1);
  // The cancel button can act here, between two folders.
  PumpMessages();
  return true;
}

// A branch's pages count for every folder above it, up to the root element.
void AddToAncestors(XmlNode node, long count) {
  for (XmlNode up = node.Parent(); up && up.Name() != "subjectResource"; up = up.Parent())
    AddToPages(up, count);
}

// Starts the catalogue document: the declaration and the empty root element.
std::shared_ptr<platform::XmlDocument> StartCatalogue() {
  auto doc = std::make_shared<platform::XmlDocument>();
  if (!doc->LoadXml(kStartText)) throw std::runtime_error("the catalogue could not be started");
  return doc;
}

// The catalogue pass over the site folder, with progress from 0 to its end.
template <typename AddNodes>
std::shared_ptr<platform::XmlDocument> BuildCatalogueWith(const std::string& siteFolder,
                                                          AddNodes addNodes) {
  auto doc = StartCatalogue();
  ProgressBarModel& bar = ProgressBar();
  bar.SetValue(0);
  bar.SetMax(static_cast<float>(CountFolders(siteFolder) + 1));
  addNodes(siteFolder, *doc, doc->DocumentElement(), 1);
  bar.SetValue(bar.Max());
  return doc;
}

// pagesFound: the folder's page list when its parent has just taken it.
void AddFolderNodesWalk(const std::string& folder, platform::XmlDocument& doc, XmlNode parent,
                        int level, fso::FolderVisits& visits,
                        const ItemList* pagesFound = nullptr) {
  if (!StartFolderVisit()) return;

  const std::string levelText = std::to_string(level);
  ItemList own;
  const ItemList& pages = pagesFound ? *pagesFound : (own = GetPageFiles(folder));
  for (const std::string& page : pages) {
    XmlNode node = parent.AppendElement("node");
    SetAttr(node, "name", StripNumberPrefix(GetBaseName(page)));
    SetAttr(node, "dir", "");
    SetAttr(node, "link", LinkName(GetFileName(page)));
    SetAttr(node, "level", levelText);
  }
  AddToPages(doc.DocumentElement(), static_cast<long>(pages.size()));

  for (const std::string& branch : GetSubFolders(folder)) {
    // A folder met before (through a link) or a link out of the site is no
    // branch of its own.
    if (!visits.Enter(branch)) continue;
    const std::string dirName = GetFileName(branch);
    XmlNode node = parent.AppendElement("node");
    SetAttr(node, "name", StripNumberPrefix(dirName));
    SetAttr(node, "dir", LinkName(dirName));
    SetAttr(node, "link", "");
    if (GetIndexPage(branch) == "index.html")
      SetAttr(node, "link", LinkName(dirName) + "/index.html");
    SetAttr(node, "level", levelText);
    // Listing the branch's pages writes its redirect page when it has one.
    const ItemList branchList = GetPageFiles(branch);
    long branchPages = static_cast<long>(branchList.size());
    SetAttr(node, "pages", std::to_string(branchPages));
    AddToAncestors(node, branchPages);
    AddFolderNodesWalk(branch, doc, node, level + 1, visits, &branchList);
  }
}

}  // namespace

std::string AttrText(std::string value) {
  // Names from disk may hold what XML 1.0 cannot carry; the document stays
  // well-formed whatever they hold. Printable ASCII, nearly every value
  // here, is shown as it is.
  bool printable = std::all_of(value.begin(), value.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x80;
  });
  return printable ? value : ShownName(value);
}

void SetAttr(XmlNode element, const std::string& name, const std::string& value) {
  element.SetAttribute(name, AttrText(value));
}

std::string GetAttr(XmlNode node, const std::string& name) {
  std::string value = node.Attribute(name);
  return value.empty() ? "0" : value;
}

void AddFolderNodes(const std::string& folder, platform::XmlDocument& doc, XmlNode parent,
                    int level) {
  fso::FolderVisits visits(folder);
  AddFolderNodesWalk(folder, doc, parent, level, visits);
}

std::shared_ptr<platform::XmlDocument> BuildCatalogue(const std::string& siteFolder) {
  return BuildCatalogueWith(siteFolder, AddFolderNodes);
}

}  // namespace talvora

namespace quenlet {

namespace fso = platform::fso;
using platform::XmlNode;
using talvora::GetBaseName;
using talvora::GetFileName;
using talvora::LinkName;
using talvora::SetAttr;
using talvora::ShownName;

namespace {

const char kTextbook[] = "电子课本";

// The type of a file: the text after the last "." of its name, "" without one.
std::string FileType(const std::string& fileName) {
  std::size_t dot = fileName.rfind('.');
  return dot == std::string::npos ? "" : fileName.substr(dot + 1);
}

// An electronic textbook folder opens its last file: it gets an index page
// that sends the browser there, which makes it a finished web page.
void WriteTextbookIndex(const std::string& folder) {
  std::vector<std::string> files = fso::FileNames(folder);
  // What a broken-off download or unpack left is no file of the book.
  files.erase(std::remove_if(files.begin(), files.end(),
                             [](const std::string& name) { return platform::IsOwnTemporaryName(name); }),
              files.end());
  // Without a file there is nothing to open; a page sending the browser to
  // "" would reload itself and keep the folder a finished web page for good.
  if (files.empty()) return;
  talvora::WriteTextFile(folder + platform::kSepStr + "index.html",
                         "<script language=javascript>window.location.href=\"" +
                             talvora::ScriptString(LinkName(files.back())) +
                             "\";</script>");
}

// pagesFound: the folder's page list when its parent has just taken it.
void AddFolderNodesWalk(const std::string& folder, platform::XmlDocument& doc, XmlNode parent,
                        int level, fso::FolderVisits& visits,
                        const ItemList* pagesFound = nullptr) {
  if (!talvora::StartFolderVisit()) return;
  const std::vector<std::string>& lines = Options().ArrayIniLines;
  const std::string levelText = std::to_string(level);

  ItemList own;
  const ItemList& pages = pagesFound ? *pagesFound : (own = GetPageFiles(folder));
  for (const std::string& page : pages) {
    const std::string fileName = GetFileName(page);
    // A thumbnail is shown with its picture, never on its own.
    if (talvora::StartsWith(fileName, "TN_")) continue;
    XmlNode node = parent.AppendElement("node");
    SetAttr(node, "name", TruncateText(ShownName(GetBaseName(page)), 14));
    SetAttr(node, "dir", "");
    SetAttr(node, "link", LinkName(fileName));
    SetAttr(node, "type", FileType(fileName));
    SetAttr(node, "level", levelText);
    SetAttr(node, "zoomImage", LinkName(GetThumbnail(folder, fileName)));
  }
  talvora::AddToPages(doc.DocumentElement(), static_cast<long>(pages.size()));

  for (const std::string& branch : GetSubFolders(folder)) {
    if (!visits.Enter(branch)) continue;
    const std::string dirName = GetFileName(branch);
    XmlNode node = parent.AppendElement("node");
    SetAttr(node, "name", StripNumberPrefix(dirName, true));
    SetAttr(node, "dir", LinkName(dirName));
    SetAttr(node, "link", "");
    if (StripNumberPrefix(dirName, true) == kTextbook && GetIndexPage(branch).empty())
      WriteTextbookIndex(branch);
    const std::string indexPage = GetIndexPage(branch);
    if (!indexPage.empty()) SetAttr(node, "link", LinkName(dirName) + "/" + indexPage);
    SetAttr(node, "folderico", GetFolderIco(dirName, lines));
    SetAttr(node, "level", levelText);
    // Listing the branch's pages writes its redirect page when it has one.
    const ItemList branchList = GetPageFiles(branch);
    long branchPages = static_cast<long>(branchList.size());
    SetAttr(node, "pages", std::to_string(branchPages));
    SetAttr(node, "place", GetFolderPlace(dirName, lines));
    SetAttr(node, "order", GetFolderOrder(dirName, lines));
    talvora::AddToAncestors(node, branchPages);
    AddFolderNodesWalk(branch, doc, node, level + 1, visits, &branchList);
  }
}

}  // namespace

void AddFolderNodes(const std::string& folder, platform::XmlDocument& doc, XmlNode parent,
                    int level) {
  fso::FolderVisits visits(folder);
  AddFolderNodesWalk(folder, doc, parent, level, visits);
}

std::shared_ptr<platform::XmlDocument> BuildCatalogue(const std::string& siteRoot) {
  auto doc = talvora::BuildCatalogueWith(siteRoot, AddFolderNodes);
  doc->Save(CatalogueCopyPath());
  return doc;
}

}  // namespace quenlet
