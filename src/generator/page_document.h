// The page document startxml.xml of one folder, cut from the site
// catalogue: header attributes, the navigation (the top of the catalogue
// opened along the path to the folder), the breadcrumb chain of path
// elements, and the folder itself as selectNode with its subNode tree.
// Relative paths are as RelativePath gives them: "" for the site folder,
// kSep + "A" for a folder A below it, and so on.
//
// A page document is written element by element as it is cut, straight in
// its saved form: the pass writes thousands of them, each repeating much of
// the catalogue, and building each one as a document first would cost more
// than the rest of the run.
#pragma once
#include <memory>
#include <string>

#include "platform/xml_document.h"

namespace talvora {

// Where a page document goes while it is cut: the writer, and the
// attributes of the element about to be started.
struct PageWriter {
  platform::XmlWriter& out;
  platform::XmlAttributes attributes;

  // Starts the element with the attributes gathered, which are then cleared.
  void Start(const std::string& name) {
    out.StartElement(name, attributes);
    attributes.Clear();
  }
  void End() { out.EndElement(); }
};

// The folder's page document, written to out. The caller's relative path
// comes back trimmed (no leading or trailing separator). May build the
// folder's welcome.html.
void WritePageDocument(platform::XmlNode catalogueRoot, std::string& relativePath,
                       const std::string& folderPath, platform::XmlWriter& out);
// The same page document saved as the file at path, in GBK.
void SavePageDocument(platform::XmlNode catalogueRoot, std::string& relativePath,
                      const std::string& folderPath, const std::string& path);
// The same page document as a document.
std::unique_ptr<platform::XmlDocument> BuildPageDocument(platform::XmlNode catalogueRoot,
                                                         std::string& relativePath,
                                                         const std::string& folderPath);

// Trims the relative path in place, then starts the root element with its
// welcome, title, stylePath, foot, subject and progress attributes, in that
// order.
void SetPageHeader(std::string& relativePath, const std::string& folderPath, PageWriter& page);

// Writes the catalogue element's entries and opens the one whose dir is the
// first segment of the rest of the path, recursively. The rest of the path
// keeps what follows its first segment.
void CopyNavigation(platform::XmlNode catalogueElement, std::string& restOfPath,
                    PageWriter& page);

// The breadcrumb: a path element for the site folder holding one nested path
// element per segment of the (trimmed) relative path.
void AddPathNodes(const std::string& relativePath, PageWriter& page);

// Finds the folder's catalogue entry and writes selectNode with its subNode
// tree. A segment the catalogue lacks ends the search: the page then shows
// the nearest folder found.
void AddSelectNode(platform::XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, PageWriter& page);

// One subNode per entry of the catalogue element, with compara-level level
// and compara-dir built on the prefix. descend "no" adds one level only,
// anything else the whole sub-tree. fullImages "yes" marks every subNode.
void AddSubNodes(platform::XmlNode catalogueElement, PageWriter& page, int level,
                 const std::string& descend, const std::string& comparaDirPrefix,
                 const std::string& fullImages);

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

void WritePageDocument(platform::XmlNode catalogueRoot, std::string& relativePath,
                       const std::string& folderPath, platform::XmlWriter& out);
void SavePageDocument(platform::XmlNode catalogueRoot, std::string& relativePath,
                      const std::string& folderPath, const std::string& path);
std::unique_ptr<platform::XmlDocument> BuildPageDocument(platform::XmlNode catalogueRoot,
                                                         std::string& relativePath,
                                                         const std::string& folderPath);
// mode "yes" inside an entry on the path; "" at the top. Entries beside the
// path bring their own entries, no deeper.
void CopyNavigation(platform::XmlNode catalogueNode, std::string& path, talvora::PageWriter& page,
                    const std::string& mode, const std::string& parentComparaDir);
void AddSelectNode(platform::XmlNode catalogueRoot, const std::string& relativePath,
                   const std::string& folderPath, talvora::PageWriter& page);
// The root page's sub-tree: the placed top-level branches, then (mode "yes")
// everything below them, or (a number) their entries while depth < number.
void AddRootSubNodes(platform::XmlNode catalogueRoot, talvora::PageWriter& page, int depth,
                     const std::string& mode, const std::string& parentComparaDir,
                     const std::string& fullImages);
// mode "yes": the whole sub-tree, names as they are; a number: down to that
// depth, names shortened to 7 characters.
void AddSubNodes(platform::XmlNode catalogueNode, talvora::PageWriter& page, int depth,
                 const std::string& mode, const std::string& parentComparaDir,
                 const std::string& fullImages);

}  // namespace quenlet
