// The page document startxml.xml of one folder, cut from the site
// catalogue: header attributes, the navigation (the top of the catalogue
// opened along the path to the folder), the breadcrumb chain of path
// elements, and the folder itself as selectNode with its subNode tree.
// Relative paths are as RelativePath gives them: "" for the site folder,
// kSep + "A" for a folder A below it, and so on.
#pragma once
#include <memory>
#include <string>

#include "platform/xml_document.h"

namespace talvora {

// A new page document for the folder. The caller's relative path comes back
// trimmed (no leading or trailing separator). May build the folder's
// welcome.html.
std::unique_ptr<platform::XmlDocument> BuildPageDocument(platform::XmlNode catalogueRoot,
                                                         std::string& relativePath,
                                                         const std::string& folderPath);

// Trims the relative path in place, then sets the root's welcome, title,
// stylePath, foot, subject and progress attributes, in that order.
void SetPageHeader(std::string& relativePath, const std::string& folderPath,
                   platform::XmlNode pageRoot);

// Copies the catalogue element's entries into the page element and opens the
// one whose dir is the first segment of the rest of the path, recursively.
// The rest of the path keeps what follows its first segment.
void CopyNavigation(platform::XmlNode catalogueElement, std::string& restOfPath,
                    platform::XmlDocument& doc, platform::XmlNode pageElement);

// The breadcrumb: a path element for the site folder holding one nested path
// element per segment of the (trimmed) relative path.
void AddPathNodes(const std::string& relativePath, platform::XmlDocument& doc,
                  platform::XmlNode pageRoot);

// Finds the folder's catalogue entry and adds selectNode with its subNode
// tree. A segment the catalogue lacks ends the search: the page then shows
// the nearest folder found.
void AddSelectNode(platform::XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, platform::XmlDocument& doc,
                   platform::XmlNode pageRoot);

// One subNode per entry of the catalogue element, with compara-level level
// and compara-dir built on the prefix. descend "no" adds one level only,
// anything else the whole sub-tree. fullImages "yes" marks every subNode.
void AddSubNodes(platform::XmlNode catalogueElement, platform::XmlDocument& doc,
                 platform::XmlNode pageElement, int level, const std::string& descend,
                 const std::string& comparaDirPrefix, const std::string& fullImages);

// The text before the first separator; the path keeps the text after it.
// Without a separator the result is "" and the path is emptied.
std::string PopFirstSegment(std::string& path);

// "../" for every separator in the relative path; "" for a lone separator.
std::string RootPrefix(const std::string& relativePath);

}  // namespace talvora

// The column site's page document: the navigation also carries compara-dir
// and opens every branch beside the path one level deep; the site root's
// page lists its placed top-level branches (left, right, foot; 1 to 3) two
// levels deep with short names; other pages list their whole sub-tree.
// Folder segments are compared through GetSegmentBeforeSlash.
namespace quenlet {

std::unique_ptr<platform::XmlDocument> BuildPageDocument(platform::XmlNode catalogueRoot,
                                                         std::string& relativePath,
                                                         const std::string& folderPath);
// mode "yes" inside an entry on the path; "" at the top. Entries beside the
// path bring their own entries, no deeper.
void CopyNavigation(platform::XmlNode catalogueNode, std::string& path, platform::XmlDocument& doc,
                    platform::XmlNode pageParent, const std::string& mode,
                    const std::string& parentComparaDir);
void AddSelectNode(platform::XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, platform::XmlDocument& doc,
                   platform::XmlNode pageRoot);
// The root page's sub-tree: the placed top-level branches, then (mode "yes")
// everything below them, or (a number) their entries while depth < number.
void AddRootSubNodes(platform::XmlNode catalogueRoot, platform::XmlDocument& doc,
                     platform::XmlNode parent, int depth, const std::string& mode,
                     const std::string& parentComparaDir, const std::string& fullImages);
// mode "yes": the whole sub-tree, names as they are; a number: down to that
// depth, names shortened to 7 characters.
void AddSubNodes(platform::XmlNode catalogueNode, platform::XmlDocument& doc,
                 platform::XmlNode parent, int depth, const std::string& mode,
                 const std::string& parentComparaDir, const std::string& fullImages);

}  // namespace quenlet
