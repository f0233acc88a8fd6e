#include "generator/catalogue.h"

#include <stdexcept>

#include "generator/generator.h"
#include "generator/selection.h"
#include "generator/ui_sink.h"
#include "generator/uitl.h"
#include "platform/fso.h"

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

void AddFolderNodesWalk(const std::string& folder, platform::XmlDocument& doc, XmlNode parent,
                        int level, fso::AncestorChain& chain) {
  if (Options().CancelFlag == -1) return;
  ProgressBarModel& bar = ProgressBar();
  if (bar.Max() >= bar.Value() + 1) bar.SetValue(bar.Value() + 1);
  // The cancel button can act here, between two folders.
  PumpMessages();

  const std::string levelText = std::to_string(level);
  ItemList pages = GetPageFiles(folder);
  for (const std::string& page : pages) {
    XmlNode node = parent.AppendElement("node");
    SetAttr(node, "name", StripNumberPrefix(GetBaseName(page)));
    SetAttr(node, "dir", "");
    SetAttr(node, "link", GetFileName(page));
    SetAttr(node, "level", levelText);
  }
  AddToPages(doc.DocumentElement(), static_cast<long>(pages.size()));

  for (const std::string& branch : GetSubFolders(folder)) {
    // A link back to a folder the walk is inside is no branch of its own:
    // following it would never end.
    if (!chain.Enter(branch)) continue;
    const std::string dirName = GetFileName(branch);
    XmlNode node = parent.AppendElement("node");
    SetAttr(node, "name", StripNumberPrefix(dirName));
    SetAttr(node, "dir", dirName);
    SetAttr(node, "link", "");
    if (GetIndexPage(branch) == "index.html") SetAttr(node, "link", dirName + "/index.html");
    SetAttr(node, "level", levelText);
    // Listing the branch's pages writes its redirect page when it has one.
    long branchPages = static_cast<long>(GetPageFiles(branch).size());
    SetAttr(node, "pages", std::to_string(branchPages));
    for (XmlNode up = node.Parent(); up && up.Name() != "subjectResource"; up = up.Parent())
      AddToPages(up, branchPages);
    AddFolderNodesWalk(branch, doc, node, level + 1, chain);
    chain.Leave();
  }
}

}  // namespace

void SetAttr(XmlNode element, const std::string& name, const std::string& value) {
  element.SetAttribute(name, value);
}

std::string GetAttr(XmlNode node, const std::string& name) {
  std::string value = node.Attribute(name);
  return value.empty() ? "0" : value;
}

void AddFolderNodes(const std::string& folder, platform::XmlDocument& doc, XmlNode parent,
                    int level) {
  fso::AncestorChain chain;
  bool entered = chain.Enter(folder);
  AddFolderNodesWalk(folder, doc, parent, level, chain);
  if (entered) chain.Leave();
}

std::shared_ptr<platform::XmlDocument> BuildCatalogue(const std::string& siteFolder) {
  auto doc = std::make_shared<platform::XmlDocument>();
  if (!doc->LoadXml(kStartText)) throw std::runtime_error("the catalogue could not be started");
  ProgressBarModel& bar = ProgressBar();
  bar.SetValue(0);
  bar.SetMax(static_cast<float>(CountFolders(siteFolder) + 1));
  AddFolderNodes(siteFolder, *doc, doc->DocumentElement(), 1);
  bar.SetValue(bar.Max());
  return doc;
}

}  // namespace talvora
