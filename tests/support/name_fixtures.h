// Names on disk that XML 1.0 or a link cannot carry as they are, and the
// checks that a generated site still carries them: its page documents are
// well-formed to a strict parser and every entry leads to its file.
#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/xml_document.h"
#include "support/temp_dir.h"

namespace testing_support {

namespace fs = std::filesystem;

// A link as a browser takes it: a "\" read as "/", then percent escapes
// decoded to their bytes.
inline std::string DecodeLink(const std::string& link) {
  std::string bytes;
  for (std::size_t i = 0; i < link.size(); ++i) {
    if (link[i] == '%' && i + 2 < link.size()) {
      bytes += static_cast<char>(std::stoi(link.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += link[i] == '\\' ? '/' : link[i];
    }
  }
  return bytes;
}

// Every page document below the site, by its folder (links not followed).
inline std::vector<std::string> PageFolders(const std::string& site) {
  std::vector<std::string> folders{site};
  for (auto it = fs::recursive_directory_iterator(site); it != fs::recursive_directory_iterator();
       ++it)
    if (it->is_directory() && !it->is_symlink()) folders.push_back(it->path().string());
  std::vector<std::string> pages;
  for (const std::string& f : folders)
    if (fs::exists(f + "/startxml.xml")) pages.push_back(f);
  return pages;
}

// Each page is well-formed XML 1.0 to a strict parser, and every link in
// it leads to a file or folder that is there: the entries below the page's
// folder (with their thumbnails), the navigation from the site folder down
// and the path to the page.
inline void ExpectWellFormedAndReachable(const std::string& site, bool siteListsEntries,
                                         const std::string& extraXml = "") {
  std::vector<std::string> files;
  for (const std::string& folder : PageFolders(site)) files.push_back(folder + "/startxml.xml");
  if (!extraXml.empty()) files.push_back(extraXml);
  for (const std::string& file : files) {
    platform::ProcessResult lint = platform::SpawnAndWait("xmllint", {"--noout", file});
    ASSERT_TRUE(lint.started) << lint.error;
    EXPECT_EQ(lint.exitCode, 0) << file;
  }
  for (const std::string& folder : PageFolders(site)) {
    platform::XmlDocument page;
    ASSERT_TRUE(page.LoadXml(platform::FromAnsi(ReadFile(folder + "/startxml.xml")))) << folder;
    auto expectThere = [&](const std::string& base, const std::string& link) {
      EXPECT_TRUE(fs::exists(base + "/" + DecodeLink(link))) << "from " << folder << ": " << link;
    };
    int entries = 0;
    std::function<void(platform::XmlNode)> check = [&](platform::XmlNode n) {
      for (platform::XmlNode c = n.FirstChild(); c; c = c.NextSibling()) {
        if (c.Name() != "subNode") continue;
        ++entries;
        const std::string dir = c.Attribute("compara-dir");
        expectThere(folder, c.Attribute("dir").empty() ? dir + c.Attribute("link") : dir);
        // A file's thumbnail lies beside it.
        if (!c.Attribute("zoomImage").empty()) expectThere(folder, dir + c.Attribute("zoomImage"));
        check(c);
      }
    };
    // Navigation entries are relative to the folder of the entry above them.
    const std::string root = folder + "/" + page.DocumentElement().Attribute("stylePath");
    std::function<void(platform::XmlNode, const std::string&)> navigation =
        [&](platform::XmlNode n, const std::string& prefix) {
          for (platform::XmlNode c = n.FirstChild(); c; c = c.NextSibling()) {
            if (c.Name() != "node") continue;
            for (const char* link : {"dir", "link", "zoomImage"})
              if (!c.Attribute(link).empty()) expectThere(root, prefix + c.Attribute(link));
            if (!c.Attribute("dir").empty()) navigation(c, prefix + c.Attribute("dir") + "/");
          }
        };
    navigation(page.DocumentElement(), "");
    std::string pathSoFar;
    for (platform::XmlNode c = page.DocumentElement().FirstChild(); c; c = c.NextSibling()) {
      if (c.Name() == "selectNode") check(c);
      for (platform::XmlNode p = c; c.Name() == "path" && p; p = p.FirstChild()) {
        if (p.Attribute("dir").empty()) continue;
        pathSoFar += p.Attribute("dir") + "/";
        expectThere(root, pathSoFar);
      }
    }
    if (folder == site && siteListsEntries) {
      EXPECT_GT(entries, 0);
    }
  }
}

// Folders and files whose names hold control characters, GBK bytes, the
// two non-characters U+FFFE and U+FFFF, or a "\".
inline void MakeAwkwardNames(const std::string& site) {
  WriteFile(site + "/ctl\x01name/page\x1F.htm", "p");
  WriteFile(site + "/ctl\x01name/tab\there.htm", "t");
  WriteFile(site + "/\xD3\xEF\xCE\xC4.htm", "g");
  WriteFile(site + "/\xCA\xFD\xD1\xA7/x.htm", "x");
  WriteFile(site + "/\xCA\xFD\xD1\xA7/in\x02side/y.htm", "y");
  WriteFile(site + "/a#b?c%41.htm", "q");
  WriteFile(site + "/c\uFFFF.htm", "c");
  WriteFile(site + "/non\uFFFEchar/n\uFFFE\uFFFF.htm", "n");
  WriteFile(site + "/b\\s.htm", "b");
  WriteFile(site + "/back\\slash/s\\t.htm", "s");
  WriteFile(site + "/plain/z.htm", "z");
}

}  // namespace testing_support
