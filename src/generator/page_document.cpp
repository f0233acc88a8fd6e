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

void CopyAttributes(XmlNode from, XmlNode to) {
  for (const auto& attr : from.Attributes()) to.SetAttribute(attr.first, attr.second);
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
  auto doc = std::make_unique<platform::XmlDocument>();
  // The stylesheet reference climbs from the folder to the site folder.
  std::string start = "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n";
  start += "<?xml-stylesheet type=\"text/xsl\" href=\"" + RootPrefix(relativePath) +
           "startxml.xsl\"?>\n";
  start += "<subjectResource></subjectResource>\n";
  if (!doc->LoadXml(start))
    throw std::runtime_error("the page document of " + folderPath + " could not be started");
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
  std::string segment = PopFirstSegment(restOfPath);
  std::string comparaLevel = std::to_string(1 - r);

  for (XmlNode child = catalogueElement.FirstChild(); child; child = child.NextSibling()) {
    XmlNode entry = pageElement.AppendElement(child.Name());
    CopyAttributes(child, entry);
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
    SetAttr(path, "dir", segment);
    SetAttr(path, "compara-level", std::to_string(-r));
  }
}

void AddSelectNode(XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, platform::XmlDocument& doc, XmlNode pageRoot) {
  // Walk down to the folder's entry. A segment the catalogue lacks (after a
  // cancelled catalogue pass, or a tree changed between the passes) ends
  // the walk at the nearest folder found.
  XmlNode entry = catalogueRoot;
  std::string rest = relativePath + kSepStr;
  while (!rest.empty()) {
    std::string segment = PopFirstSegment(rest);
    if (segment.empty()) continue;
    XmlNode found;
    for (XmlNode child = entry.FirstChild(); child; child = child.NextSibling()) {
      if (child.Attribute("dir") == segment) {
        found = child;
        break;
      }
    }
    if (!found) break;
    entry = found;
  }

  XmlNode select = pageRoot.AppendElement("selectNode");
  bool atSiteFolder = entry.AttributeCount() < 2;
  if (atSiteFolder) {
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
  std::string fullImages;
  if (IsPictureFolder(folderPath)) {
    fullImages = "yes";
    SetAttr(select, "fullImages", fullImages);
  }
  // The site folder's page lists one level; every other page its whole sub-tree.
  AddSubNodes(entry, doc, select, 1, atSiteFolder ? "no" : "yes", "", fullImages);
}

void AddSubNodes(XmlNode catalogueElement, platform::XmlDocument& doc, XmlNode pageElement,
                 int level, const std::string& descend, const std::string& comparaDirPrefix,
                 const std::string& fullImages) {
  if (catalogueElement.IsNull() || !catalogueElement.IsElement()) return;
  std::string comparaLevel = std::to_string(level);
  for (XmlNode child = catalogueElement.FirstChild(); child; child = child.NextSibling()) {
    XmlNode sub = pageElement.AppendElement("subNode");
    CopyAttributes(child, sub);
    SetAttr(sub, "compara-level", comparaLevel);
    std::string dir = child.Attribute("dir");
    std::string comparaDir = comparaDirPrefix.empty() ? dir : comparaDirPrefix + "/" + dir;
    SetAttr(sub, "compara-dir", comparaDir);
    if (!fullImages.empty()) SetAttr(sub, "fullImages", "yes");
    if (descend != "no" && child.HasChildren())
      AddSubNodes(child, doc, sub, level + 1, "yes", comparaDir, fullImages);
  }
}

}  // namespace talvora
