// The site catalogue: an in-memory XML document with one node element per
// page file and per branch folder, nested as the folders are, under the root
// element subjectResource. Every page document is cut from it.
#pragma once
#include <memory>
#include <string>

#include "platform/xml_document.h"

namespace talvora {

// Builds the catalogue of the site folder, driving the progress bar for the pass.
std::shared_ptr<platform::XmlDocument> BuildCatalogue(const std::string& siteFolder);
// Adds the nodes of the folder, and recursively of its branches, below parent.
void AddFolderNodes(const std::string& folder, platform::XmlDocument& doc,
                    platform::XmlNode parent, int level);
// Sets the attribute, creating it or replacing its value in its place. The
// value is stored as AttrText gives it.
void SetAttr(platform::XmlNode element, const std::string& name, const std::string& value);
// The text an attribute holds for the value: printable ASCII as it is, any
// other value as ShownName gives it, so the document stays well-formed.
std::string AttrText(std::string value);
// The attribute's text, or "0" when it is missing or empty.
std::string GetAttr(platform::XmlNode node, const std::string& name);

}  // namespace talvora

namespace quenlet {

// The column site's catalogue: file nodes with type and zoomImage and
// shortened names, folder nodes with folderico, place and order from the
// site root's array.ini (Options().ArrayIniLines). Drives the progress bar
// and keeps a copy of the result at CatalogueCopyPath().
std::shared_ptr<platform::XmlDocument> BuildCatalogue(const std::string& siteRoot);
// Adds the nodes of the folder, and recursively of its branches, below
// parent. An electronic textbook folder ("电子课本") without index page
// gets one that opens its last file.
void AddFolderNodes(const std::string& folder, platform::XmlDocument& doc,
                    platform::XmlNode parent, int level);

}  // namespace quenlet
