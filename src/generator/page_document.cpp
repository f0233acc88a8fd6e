#include "generator/page_document.h"

#include <stdexcept>

#include "generator/catalogue.h"
#include "generator/generator.h"
#include "generator/selection.h"
#include "generator/site_files.h"
#include "generator/ui_sink.h"
#include "generator/uitl.h"
#include "platform/paths.h"

namespace talvora {
namespace {

using platform::kSep;
using platform::kSepStr;
using platform::XmlNode;

std::string Repeat(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

// A compara-dir: the parent's, "/" and the entry's own segment.
std::string JoinComparaDir(const std::string& prefix, const std::string& segment) {
  return prefix.empty() ? segment : prefix + "/" + segment;
}

// Starts a page document: the declaration, the stylesheet reference that
// climbs from the folder to the site folder, and the empty root element.
std::unique_ptr<platform::XmlDocument> StartPageDocument(const std::string& relativePath,
                                                         const std::string& folderPath) {
  auto doc = std::make_unique<platform::XmlDocument>();
  std::string start = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n";
  start += "<?xml-stylesheet type=\"text/xsl\" href=\"" + RootPrefix(relativePath) +
           "startxml.xsl\"?>\n";
  start += "<subjectResource></subjectResource>\n";
  if (!doc->LoadXml(start))
    throw std::runtime_error("the page document of " + folderPath + " could not be started");
  return doc;
}

// Walks from the catalogue root down the segments of the relative path,
// into the first child whose segment (as segmentOf gives it) matches the
// path's segment in its link form. A segment the catalogue lacks (after a
// cancelled catalogue pass, or a tree changed between the passes) ends the
// walk at the nearest folder found.
template <typename SegmentOf>
XmlNode FindCatalogueEntry(XmlNode catalogueRoot, const std::string& relativePath,
                           SegmentOf segmentOf) {
  XmlNode entry = catalogueRoot;
  std::string rest = relativePath + kSepStr;
  while (!rest.empty()) {
    std::string segment = PopFirstSegment(rest);
    if (segment.empty()) continue;
    XmlNode found;
    for (XmlNode child = entry.FirstChild(); child; child = child.NextSibling()) {
      if (segmentOf(child) == LinkName(segment)) {
        found = child;
        break;
      }
    }
    if (!found) break;
    entry = found;
  }
  return entry;
}

// The catalogue root has fewer than two attributes: its page is the site folder's.
bool IsCatalogueRoot(XmlNode entry) { return entry.AttributeCount() < 2; }

// Appends selectNode for the entry found, with its name, dir, pages, link,
// level and selected, and fullImages when it is given.
XmlNode AppendSelectNode(XmlNode entry, XmlNode catalogueRoot, XmlNode pageRoot,
                         const std::string& fullImages) {
  XmlNode select = pageRoot.AppendElement("selectNode");
  if (IsCatalogueRoot(entry)) {
    SetAttr(select, "name", "");
    SetAttr(select, "dir", "");
    SetAttr(select, "pages", GetAttr(catalogueRoot, "pages"));
    SetAttr(select, "link", "");
    SetAttr(select, "level", "0");
  } else {
    SetAttr(select, "name", entry.Attribute("name"));
    SetAttr(select, "dir", entry.Attribute("dir"));
    SetAttr(select, "pages", entry.Attribute("pages"));
    SetAttr(select, "link", "");
    SetAttr(select, "level", entry.Attribute("level"));
  }
  SetAttr(select, "selected", "true");
  if (!fullImages.empty()) SetAttr(select, "fullImages", fullImages);
  return select;
}

}  // namespace

std::string PopFirstSegment(std::string& path) {
  std::size_t at = path.find(kSep);
  if (at == std::string::npos) {
    path.clear();
    return "";
  }
  std::string first = path.substr(0, at);
  path.erase(0, at + 1);
  return first;
}

std::string RootPrefix(const std::string& relativePath) {
  return Repeat("../", CountLevels(relativePath));
}

std::unique_ptr<platform::XmlDocument> BuildPageDocument(XmlNode catalogueRoot,
                                                         std::string& relativePath,
                                                         const std::string& folderPath) {
  auto doc = StartPageDocument(relativePath, folderPath);
  XmlNode root = doc->DocumentElement();

  SetPageHeader(relativePath, folderPath, root);
  std::string rest = relativePath;
  CopyNavigation(catalogueRoot, rest, *doc, root);
  AddPathNodes(relativePath, *doc, root);
  AddSelectNode(catalogueRoot, relativePath, folderPath, *doc, root);
  return doc;
}

void SetPageHeader(std::string& relativePath, const std::string& folderPath, XmlNode pageRoot) {
  TrimSlashes(relativePath);
  std::string welcome = GetWelcomePage(folderPath, relativePath);
  if (!welcome.empty()) SetAttr(pageRoot, "welcome", welcome);
  if (!relativePath.empty())
    SetAttr(pageRoot, "title", StripNumberPrefix(GetFileName(relativePath)));
  SetAttr(pageRoot, "stylePath", Repeat("../", CountLevels(relativePath + kSepStr)));
  SetAttr(pageRoot, "foot", Options().FootText);
  SetAttr(pageRoot, "subject", Options().SubjectText);
  SetAttr(pageRoot, "progress", "no");
}

void CopyNavigation(XmlNode catalogueElement, std::string& restOfPath, platform::XmlDocument& doc,
                    XmlNode pageElement) {
  PumpMessages();
  TrimSlashes(restOfPath);
  restOfPath += kSepStr;
  int r = CountLevels(restOfPath);
  // Entries carry their dir in its link form.
  std::string segment = LinkName(PopFirstSegment(restOfPath));
  std::string comparaLevel = std::to_string(1 - r);

  for (XmlNode child = catalogueElement.FirstChild(); child; child = child.NextSibling()) {
    XmlNode entry = pageElement.AppendElementWithAttributesOf(child.Name(), child);
    SetAttr(entry, "compara-level", comparaLevel);
    // Once the path is used up the segment is empty and matches only file
    // entries, which have no children: the folder's entries come without
    // their contents.
    if (child.Attribute("dir") == segment) {
      if (!segment.empty()) SetAttr(entry, "selected", "true");
      std::string remainder = restOfPath;
      CopyNavigation(child, remainder, doc, entry);
    }
  }
}

void AddPathNodes(const std::string& relativePath, platform::XmlDocument& doc, XmlNode pageRoot) {
  std::string rest = relativePath + kSepStr;
  int r = CountLevels(rest);
  XmlNode path = pageRoot.AppendElement("path");
  SetAttr(path, "name", "");
  SetAttr(path, "dir", "");
  SetAttr(path, "compara-level", std::to_string(-r));
  while (r > 0) {
    std::string segment = PopFirstSegment(rest);
    --r;
    path = path.AppendElement("path");
    SetAttr(path, "name", StripNumberPrefix(segment));
    SetAttr(path, "dir", LinkName(segment));
    SetAttr(path, "compara-level", std::to_string(-r));
  }
}

void AddSelectNode(XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, platform::XmlDocument& doc, XmlNode pageRoot) {
  XmlNode entry = FindCatalogueEntry(catalogueRoot, relativePath,
                                     [](XmlNode child) { return child.Attribute("dir"); });
  bool atSiteFolder = IsCatalogueRoot(entry);
  std::string fullImages = IsPictureFolder(folderPath) ? "yes" : "";
  XmlNode select = AppendSelectNode(entry, catalogueRoot, pageRoot, fullImages);
  // The site folder's page lists one level; every other page its whole sub-tree.
  AddSubNodes(entry, doc, select, 1, atSiteFolder ? "no" : "yes", "", fullImages);
}

void AddSubNodes(XmlNode catalogueElement, platform::XmlDocument& doc, XmlNode pageElement,
                 int level, const std::string& descend, const std::string& comparaDirPrefix,
                 const std::string& fullImages) {
  if (catalogueElement.IsNull() || !catalogueElement.IsElement()) return;
  std::string comparaLevel = std::to_string(level);
  for (XmlNode child = catalogueElement.FirstChild(); child; child = child.NextSibling()) {
    XmlNode sub = pageElement.AppendElementWithAttributesOf("subNode", child);
    SetAttr(sub, "compara-level", comparaLevel);
    std::string comparaDir = JoinComparaDir(comparaDirPrefix, child.Attribute("dir"));
    SetAttr(sub, "compara-dir", comparaDir);
    if (!fullImages.empty()) SetAttr(sub, "fullImages", "yes");
    if (descend != "no" && child.HasChildren())
      AddSubNodes(child, doc, sub, level + 1, "yes", comparaDir, fullImages);
  }
}

}  // namespace talvora

namespace quenlet {

using platform::kSepStr;
using platform::XmlNode;
using talvora::SetAttr;

namespace {

// A catalogue entry's segment of the path: its dir cut at a "/" (a file
// entry's dir is empty).
std::string DirSegment(XmlNode node) { return GetSegmentBeforeSlash(node.Attribute("dir")); }

// A numeric mode limits the depth of a sub-tree; "yes" does not.
int ModeDepth(const std::string& mode) {
  int depth = 0;
  for (char c : mode) {
    if (c < '0' || c > '9') return 0;
    depth = depth * 10 + (c - '0');
    if (depth > 10000) break;
  }
  return depth;
}

void AppendSubNode(XmlNode child, XmlNode parent, int depth, const std::string& comparaDir,
                   const std::string& fullImages, bool shortName, XmlNode& sub) {
  sub = parent.AppendElementWithAttributesOf("subNode", child);
  if (shortName) SetAttr(sub, "name", TruncateText(child.Attribute("name"), 7));
  SetAttr(sub, "compara-level", std::to_string(depth));
  SetAttr(sub, "compara-dir", comparaDir);
  if (!fullImages.empty()) SetAttr(sub, "fullImages", "yes");
}

// onPath: the catalogue node lies on the path to the current folder (or is
// the root). Off the path the rest of the path only sets the levels: a
// folder there that happens to share a name with the next path segment is
// not the current folder's ancestor, and is neither selected nor opened.
void CopyNavigationIn(XmlNode catalogueNode, std::string& path, platform::XmlDocument& doc,
                      XmlNode pageParent, const std::string& mode,
                      const std::string& parentComparaDir, bool onPath) {
  talvora::PumpMessages();
  talvora::TrimSlashes(path);
  std::string rest = path + kSepStr;
  int levels = talvora::CountLevels(rest);
  std::string segment = talvora::LinkName(talvora::PopFirstSegment(rest));
  const std::string comparaLevel = std::to_string(1 - levels);

  for (XmlNode child = catalogueNode.FirstChild(); child; child = child.NextSibling()) {
    XmlNode entry = pageParent.AppendElementWithAttributesOf(child.Name(), child);
    SetAttr(entry, "compara-level", comparaLevel);
    const std::string comparaDir = talvora::JoinComparaDir(parentComparaDir, DirSegment(child));
    SetAttr(entry, "compara-dir", comparaDir);
    std::string remainder = rest;
    if (onPath && DirSegment(child) == segment) {
      if (!segment.empty()) SetAttr(entry, "selected", "true");
      CopyNavigationIn(child, remainder, doc, entry, "yes", comparaDir, true);
    } else if (mode == "yes") {
      // A branch beside the path shows its own entries, one level deep.
      CopyNavigationIn(child, remainder, doc, entry, "", comparaDir, false);
    }
  }
}

}  // namespace

std::unique_ptr<platform::XmlDocument> BuildPageDocument(XmlNode catalogueRoot,
                                                         std::string& relativePath,
                                                         const std::string& folderPath) {
  auto doc = talvora::StartPageDocument(relativePath, folderPath);
  XmlNode root = doc->DocumentElement();
  talvora::SetPageHeader(relativePath, folderPath, root);
  std::string rest = relativePath;
  CopyNavigation(catalogueRoot, rest, *doc, root, "", "");
  talvora::AddPathNodes(relativePath, *doc, root);
  AddSelectNode(catalogueRoot, relativePath, folderPath, *doc, root);
  return doc;
}

void CopyNavigation(XmlNode catalogueNode, std::string& path, platform::XmlDocument& doc,
                    XmlNode pageParent, const std::string& mode,
                    const std::string& parentComparaDir) {
  CopyNavigationIn(catalogueNode, path, doc, pageParent, mode, parentComparaDir, true);
}

void AddSelectNode(XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, platform::XmlDocument& doc, XmlNode pageRoot) {
  XmlNode entry = talvora::FindCatalogueEntry(catalogueRoot, relativePath, DirSegment);
  // A folder of media files is shown full size like a folder of pictures.
  std::string fullImages =
      (IsPictureFolder(folderPath) || IsMediaFolder(folderPath)) ? "yes" : "";
  XmlNode select = talvora::AppendSelectNode(entry, catalogueRoot, pageRoot, fullImages);
  if (relativePath.empty())
    AddRootSubNodes(catalogueRoot, doc, select, 1, "2", "", fullImages);
  else
    AddSubNodes(entry, doc, select, 1, "yes", "", fullImages);
}

void AddRootSubNodes(XmlNode catalogueRoot, platform::XmlDocument& doc, XmlNode parent, int depth,
                     const std::string& mode, const std::string& parentComparaDir,
                     const std::string& fullImages) {
  std::vector<XmlNode> placed;
  SortNodesByPlace(catalogueRoot, placed);
  for (XmlNode child : placed) {
    XmlNode sub;
    const std::string comparaDir = talvora::JoinComparaDir(parentComparaDir, DirSegment(child));
    AppendSubNode(child, parent, depth, comparaDir, fullImages, true, sub);
    if (!child.HasChildren()) continue;
    if (mode == "yes")
      AddSubNodes(child, doc, sub, depth + 1, "yes", comparaDir, fullImages);
    else if (depth < ModeDepth(mode))
      AddSubNodes(child, doc, sub, depth + 1, mode, comparaDir, fullImages);
  }
}

void AddSubNodes(XmlNode catalogueNode, platform::XmlDocument& doc, XmlNode parent, int depth,
                 const std::string& mode, const std::string& parentComparaDir,
                 const std::string& fullImages) {
  if (catalogueNode.IsNull() || !catalogueNode.IsElement()) return;
  for (XmlNode child = catalogueNode.FirstChild(); child; child = child.NextSibling()) {
    XmlNode sub;
    const std::string comparaDir = talvora::JoinComparaDir(parentComparaDir, DirSegment(child));
    AppendSubNode(child, parent, depth, comparaDir, fullImages, mode != "yes", sub);
    if (!child.HasChildren()) continue;
    if (mode == "yes")
      AddSubNodes(child, doc, sub, depth + 1, "yes", comparaDir, fullImages);
    else if (depth < ModeDepth(mode))
      AddSubNodes(child, doc, sub, depth + 1, mode, comparaDir, fullImages);
  }
}

}  // namespace quenlet
