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

// Starts a page document: the declaration and the stylesheet reference that
// climbs from the folder to the site folder. The root element follows.
void StartPageDocument(const std::string& relativePath, platform::XmlWriter& out) {
  out.Instruction("xml", "version=\"1.0\" encoding=\"gb2312\"");
  out.Instruction("xml-stylesheet",
                  "type=\"text/xsl\" href=\"" + RootPrefix(relativePath) + "startxml.xsl\"");
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

// The texts of a selectNode, in the order it carries them.
struct SelectTexts {
  std::string name, dir, pages, link, level, selected, fullImages;
};

// Starts selectNode for the entry found, with its name, dir, pages, link,
// level and selected, and fullImages when it is given.
void StartSelectNode(XmlNode entry, XmlNode catalogueRoot, const std::string& fullImages,
                     PageWriter& page) {
  SelectTexts t;
  if (IsCatalogueRoot(entry)) {
    t.pages = AttrText(GetAttr(catalogueRoot, "pages"));
    t.level = "0";
  } else {
    t.name = AttrText(entry.Attribute("name"));
    t.dir = AttrText(entry.Attribute("dir"));
    t.pages = AttrText(entry.Attribute("pages"));
    t.level = AttrText(entry.Attribute("level"));
  }
  t.selected = "true";
  t.fullImages = AttrText(fullImages);
  platform::XmlAttributes& a = page.attributes;
  a.Set("name", t.name);
  a.Set("dir", t.dir);
  a.Set("pages", t.pages);
  a.Set("link", t.link);
  a.Set("level", t.level);
  a.Set("selected", t.selected);
  if (!fullImages.empty()) a.Set("fullImages", t.fullImages);
  page.Start("selectNode");
}

// Writes the document with the program's own cut of the catalogue.
template <typename Cut>
void WriteWith(const std::string& relativePath, platform::XmlWriter& out, Cut cut) {
  StartPageDocument(relativePath, out);
  PageWriter page{out, {}};
  cut(page);
  page.End();  // the root element
}

template <typename Write>
std::unique_ptr<platform::XmlDocument> AsDocument(const std::string& folderPath, Write write) {
  platform::XmlWriter out(false);
  write(out);
  auto doc = std::make_unique<platform::XmlDocument>();
  if (!doc->LoadXml(out.Text()))
    throw std::runtime_error("the page document of " + folderPath + " is not well-formed");
  return doc;
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

void WritePageDocument(XmlNode catalogueRoot, std::string& relativePath,
                       const std::string& folderPath, platform::XmlWriter& out) {
  WriteWith(relativePath, out, [&](PageWriter& page) {
    SetPageHeader(relativePath, folderPath, page);
    std::string rest = relativePath;
    CopyNavigation(catalogueRoot, rest, page);
    AddPathNodes(relativePath, page);
    AddSelectNode(catalogueRoot, relativePath, folderPath, page);
  });
}

void SavePageDocument(XmlNode catalogueRoot, std::string& relativePath,
                      const std::string& folderPath, const std::string& path) {
  platform::XmlWriter out(true);
  WritePageDocument(catalogueRoot, relativePath, folderPath, out);
  out.Save(path);
}

std::unique_ptr<platform::XmlDocument> BuildPageDocument(XmlNode catalogueRoot,
                                                         std::string& relativePath,
                                                         const std::string& folderPath) {
  return AsDocument(folderPath, [&](platform::XmlWriter& out) {
    WritePageDocument(catalogueRoot, relativePath, folderPath, out);
  });
}

void SetPageHeader(std::string& relativePath, const std::string& folderPath, PageWriter& page) {
  TrimSlashes(relativePath);
  const std::string welcome = AttrText(GetWelcomePage(folderPath, relativePath));
  const std::string title = AttrText(StripNumberPrefix(GetFileName(relativePath)));
  const std::string stylePath = AttrText(Repeat("../", CountLevels(relativePath + kSepStr)));
  const std::string foot = AttrText(Options().FootText);
  const std::string subject = AttrText(Options().SubjectText);
  platform::XmlAttributes& a = page.attributes;
  if (!welcome.empty()) a.Set("welcome", welcome);
  if (!relativePath.empty()) a.Set("title", title);
  a.Set("stylePath", stylePath);
  a.Set("foot", foot);
  a.Set("subject", subject);
  a.Set("progress", "no");
  page.Start("subjectResource");
}

void CopyNavigation(XmlNode catalogueElement, std::string& restOfPath, PageWriter& page) {
  PumpMessages();
  TrimSlashes(restOfPath);
  restOfPath += kSepStr;
  int r = CountLevels(restOfPath);
  // Entries carry their dir in its link form.
  const std::string segment = LinkName(PopFirstSegment(restOfPath));
  const std::string comparaLevel = std::to_string(1 - r);

  for (XmlNode child = catalogueElement.FirstChild(); child; child = child.NextSibling()) {
    page.attributes.CopyFrom(child);
    page.attributes.Set("compara-level", comparaLevel);
    // Once the path is used up the segment is empty and matches only file
    // entries, which have no children: the folder's entries come without
    // their contents.
    const bool open = child.Attribute("dir") == segment;
    if (open && !segment.empty()) page.attributes.Set("selected", "true");
    page.Start(child.Name());
    if (open) {
      std::string remainder = restOfPath;
      CopyNavigation(child, remainder, page);
    }
    page.End();
  }
}

void AddPathNodes(const std::string& relativePath, PageWriter& page) {
  std::string rest = relativePath + kSepStr;
  int r = CountLevels(rest);
  const int elements = r + 1;
  std::string level = std::to_string(-r);
  page.attributes.Set("name", "");
  page.attributes.Set("dir", "");
  page.attributes.Set("compara-level", level);
  page.Start("path");
  while (r > 0) {
    std::string segment = PopFirstSegment(rest);
    --r;
    const std::string name = AttrText(StripNumberPrefix(segment));
    const std::string dir = AttrText(LinkName(segment));
    level = std::to_string(-r);
    page.attributes.Set("name", name);
    page.attributes.Set("dir", dir);
    page.attributes.Set("compara-level", level);
    page.Start("path");
  }
  for (int i = 0; i < elements; ++i) page.End();
}

void AddSelectNode(XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, PageWriter& page) {
  XmlNode entry = FindCatalogueEntry(catalogueRoot, relativePath,
                                     [](XmlNode child) { return child.Attribute("dir"); });
  bool atSiteFolder = IsCatalogueRoot(entry);
  std::string fullImages = IsPictureFolder(folderPath) ? "yes" : "";
  StartSelectNode(entry, catalogueRoot, fullImages, page);
  // The site folder's page lists one level; every other page its whole sub-tree.
  AddSubNodes(entry, page, 1, atSiteFolder ? "no" : "yes", "", fullImages);
  page.End();
}

void AddSubNodes(XmlNode catalogueElement, PageWriter& page, int level,
                 const std::string& descend, const std::string& comparaDirPrefix,
                 const std::string& fullImages) {
  if (catalogueElement.IsNull() || !catalogueElement.IsElement()) return;
  const std::string comparaLevel = std::to_string(level);
  for (XmlNode child = catalogueElement.FirstChild(); child; child = child.NextSibling()) {
    const std::string comparaDir = JoinComparaDir(comparaDirPrefix, child.Attribute("dir"));
    const std::string comparaDirText = AttrText(comparaDir);
    page.attributes.CopyFrom(child);
    page.attributes.Set("compara-level", comparaLevel);
    page.attributes.Set("compara-dir", comparaDirText);
    if (!fullImages.empty()) page.attributes.Set("fullImages", "yes");
    page.Start("subNode");
    if (descend != "no" && child.HasChildren())
      AddSubNodes(child, page, level + 1, "yes", comparaDir, fullImages);
    page.End();
  }
}

}  // namespace talvora

namespace quenlet {

using platform::kSepStr;
using platform::XmlNode;
using talvora::AttrText;
using talvora::PageWriter;

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

// The entries below the subNode of the catalogue entry just started: the
// whole sub-tree for mode "yes", else while the depth is under the mode's.
void AddSubNodesBelow(XmlNode child, PageWriter& page, int depth, const std::string& mode,
                      const std::string& comparaDir, const std::string& fullImages) {
  if (!child.HasChildren()) return;
  if (mode == "yes")
    quenlet::AddSubNodes(child, page, depth + 1, "yes", comparaDir, fullImages);
  else if (depth < ModeDepth(mode))
    quenlet::AddSubNodes(child, page, depth + 1, mode, comparaDir, fullImages);
}

// Starts the subNode of the catalogue entry.
void StartSubNode(XmlNode child, int depth, const std::string& comparaDir,
                  const std::string& fullImages, bool shortName, PageWriter& page) {
  const std::string name = shortName ? AttrText(TruncateText(child.Attribute("name"), 7)) : "";
  const std::string level = std::to_string(depth);
  const std::string comparaDirText = AttrText(comparaDir);
  page.attributes.CopyFrom(child);
  if (shortName) page.attributes.Set("name", name);
  page.attributes.Set("compara-level", level);
  page.attributes.Set("compara-dir", comparaDirText);
  if (!fullImages.empty()) page.attributes.Set("fullImages", "yes");
  page.Start("subNode");
}

// onPath: the catalogue node lies on the path to the current folder (or is
// the root). Off the path the rest of the path only sets the levels: a
// folder there that happens to share a name with the next path segment is
// not the current folder's ancestor, and is neither selected nor opened.
void CopyNavigationIn(XmlNode catalogueNode, std::string& path, PageWriter& page,
                      const std::string& mode, const std::string& parentComparaDir,
                      bool onPath) {
  talvora::PumpMessages();
  talvora::TrimSlashes(path);
  std::string rest = path + kSepStr;
  int levels = talvora::CountLevels(rest);
  const std::string segment = talvora::LinkName(talvora::PopFirstSegment(rest));
  const std::string comparaLevel = std::to_string(1 - levels);

  for (XmlNode child = catalogueNode.FirstChild(); child; child = child.NextSibling()) {
    const std::string comparaDir = talvora::JoinComparaDir(parentComparaDir, DirSegment(child));
    const std::string comparaDirText = AttrText(comparaDir);
    page.attributes.CopyFrom(child);
    page.attributes.Set("compara-level", comparaLevel);
    page.attributes.Set("compara-dir", comparaDirText);
    std::string remainder = rest;
    if (onPath && DirSegment(child) == segment) {
      if (!segment.empty()) page.attributes.Set("selected", "true");
      page.Start(child.Name());
      CopyNavigationIn(child, remainder, page, "yes", comparaDir, true);
    } else if (mode == "yes") {
      // A branch beside the path shows its own entries, one level deep.
      page.Start(child.Name());
      CopyNavigationIn(child, remainder, page, "", comparaDir, false);
    } else {
      page.Start(child.Name());
    }
    page.End();
  }
}

}  // namespace

void WritePageDocument(XmlNode catalogueRoot, std::string& relativePath,
                       const std::string& folderPath, platform::XmlWriter& out) {
  talvora::WriteWith(relativePath, out, [&](PageWriter& page) {
    talvora::SetPageHeader(relativePath, folderPath, page);
    std::string rest = relativePath;
    quenlet::CopyNavigation(catalogueRoot, rest, page, "", "");
    talvora::AddPathNodes(relativePath, page);
    quenlet::AddSelectNode(catalogueRoot, relativePath, folderPath, page);
  });
}

void SavePageDocument(XmlNode catalogueRoot, std::string& relativePath,
                      const std::string& folderPath, const std::string& path) {
  platform::XmlWriter out(true);
  WritePageDocument(catalogueRoot, relativePath, folderPath, out);
  out.Save(path);
}

std::unique_ptr<platform::XmlDocument> BuildPageDocument(XmlNode catalogueRoot,
                                                         std::string& relativePath,
                                                         const std::string& folderPath) {
  return talvora::AsDocument(folderPath, [&](platform::XmlWriter& out) {
    WritePageDocument(catalogueRoot, relativePath, folderPath, out);
  });
}

void CopyNavigation(XmlNode catalogueNode, std::string& path, PageWriter& page,
                    const std::string& mode, const std::string& parentComparaDir) {
  CopyNavigationIn(catalogueNode, path, page, mode, parentComparaDir, true);
}

void AddSelectNode(XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, PageWriter& page) {
  XmlNode entry = talvora::FindCatalogueEntry(catalogueRoot, relativePath, DirSegment);
  // A folder of media files is shown full size like a folder of pictures.
  std::string fullImages =
      (IsPictureFolder(folderPath) || IsMediaFolder(folderPath)) ? "yes" : "";
  talvora::StartSelectNode(entry, catalogueRoot, fullImages, page);
  if (relativePath.empty())
    AddRootSubNodes(catalogueRoot, page, 1, "2", "", fullImages);
  else
    quenlet::AddSubNodes(entry, page, 1, "yes", "", fullImages);
  page.End();
}

void AddRootSubNodes(XmlNode catalogueRoot, PageWriter& page, int depth, const std::string& mode,
                     const std::string& parentComparaDir, const std::string& fullImages) {
  std::vector<XmlNode> placed;
  SortNodesByPlace(catalogueRoot, placed);
  for (XmlNode child : placed) {
    const std::string comparaDir = talvora::JoinComparaDir(parentComparaDir, DirSegment(child));
    StartSubNode(child, depth, comparaDir, fullImages, true, page);
    AddSubNodesBelow(child, page, depth, mode, comparaDir, fullImages);
    page.End();
  }
}

void AddSubNodes(XmlNode catalogueNode, PageWriter& page, int depth, const std::string& mode,
                 const std::string& parentComparaDir, const std::string& fullImages) {
  if (catalogueNode.IsNull() || !catalogueNode.IsElement()) return;
  for (XmlNode child = catalogueNode.FirstChild(); child; child = child.NextSibling()) {
    const std::string comparaDir = talvora::JoinComparaDir(parentComparaDir, DirSegment(child));
    StartSubNode(child, depth, comparaDir, fullImages, mode != "yes", page);
    AddSubNodesBelow(child, page, depth, mode, comparaDir, fullImages);
    page.End();
  }
}

}  // namespace quenlet
