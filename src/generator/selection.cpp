#include "generator/selection.h"

#include <cctype>

#include "generator/uitl.h"
#include "platform/fso.h"
#include "platform/paths.h"

namespace talvora {

using platform::kSep;
namespace fso = platform::fso;

namespace {

// The most names an order list contributes; the rest of the file is ignored.
constexpr std::size_t kMaxOrderNames = 99;
// Reading an order list stops at its 50th blank line.
constexpr int kMaxBlankLines = 50;

const char kRedirectLine[] =
    "<script language=\"javascript\">window.location.href=\"index.html\";</script>";

std::string ChildPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == kSep) return folder + name;
  return folder + kSep + name;
}

std::string TrimSpaces(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// The name the ordering rules look at.
std::string ItemName(const std::string& path) { return GetFileName(TrimSpaces(path)); }

// The folder's own name, as its folder object gives it.
std::string FolderName(std::string folder) {
  while (folder.size() > 1 && folder.back() == kSep) folder.pop_back();
  return GetFileName(folder);
}

// A folder holding index.html is shown through a page named after the
// folder that sends the browser on to that index page.
std::string WriteRedirectPage(const std::string& folder) {
  std::string path = ChildPath(folder, StripNumberPrefix(GetBaseName(FolderName(folder))) + ".html");
  WriteTextFile(path, kRedirectLine);
  return path;
}

bool IsLeftOutFile(const std::string& path) {
  std::string base = GetBaseName(path);
  return StartsWith(base, "~$") || StartsWith(base, "innerxml") || StartsWith(base, "startxml") ||
         StartsWith(base, "welcome") || GetExtension(path) == "bak" || GetFileName(path) == "array.ini";
}

// The order list's lines, split at CR LF, CR or LF.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find_first_of("\r\n", i);
    if (end == std::string::npos) {
      lines.push_back(text.substr(i));
      break;
    }
    lines.push_back(text.substr(i, end - i));
    i = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

}  // namespace

ItemList GetPageFiles(const std::string& folder) {
  if (GetIndexPage(folder) == "index.html") return {WriteRedirectPage(folder)};
  ItemList pages;
  for (const std::string& name : fso::FileNames(folder)) {
    std::string path = ChildPath(folder, name);
    if (!IsLeftOutFile(path)) pages.push_back(path);
  }
  SortByNumberPrefix(pages);
  return OrderByArrayIni(pages, ChildPath(folder, "array.ini"));
}

ItemList GetSubFolders(const std::string& folder) {
  if (GetIndexPage(folder) == "index.html") return {};
  ItemList branches;
  for (const std::string& name : fso::SubFolderNames(folder)) {
    // Support folders such as welcome.files are never branches, nor is any
    // other folder with a "." in its name. Only the name counts: a site that
    // lies below a dotted folder (/home/first.last) keeps its branches, and
    // every folder the walk reaches below the site has passed this test.
    if (name.find('.') == std::string::npos) branches.push_back(ChildPath(folder, name));
  }
  SortByNumberPrefix(branches);
  return OrderByArrayIni(branches, ChildPath(folder, "array.ini"));
}

int GetNumberPrefix(const std::string& name) {
  int value = 0;
  for (std::size_t i = 0; i < 3 && i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i)
    value = value * 10 + (name[i] - '0');
  return value;
}

ItemList SortByNumberPrefix(ItemList& items) {
  ItemList source = items;
  ItemList result;
  for (int k = 1; !source.empty(); ++k) {
    // Of several items numbered k, the last one listed is taken.
    std::size_t found = source.size();
    for (std::size_t i = source.size(); i-- > 0;) {
      if (GetNumberPrefix(ItemName(source[i])) == k) {
        found = i;
        break;
      }
    }
    if (found == source.size()) break;
    result.push_back(source[found]);
    source.erase(source.begin() + static_cast<std::ptrdiff_t>(found));
  }
  result.insert(result.end(), source.begin(), source.end());
  items = result;
  return result;
}

ItemList OrderByArrayIni(ItemList& items, const std::string& arrayIniPath) {
  if (!FileExists(arrayIniPath)) return items;
  std::vector<std::string> names;
  int blanks = 0;
  for (const std::string& raw : SplitLines(fso::ReadAnsiText(arrayIniPath))) {
    if (blanks >= kMaxBlankLines) break;
    std::string line = TrimSpaces(raw);
    if (line.empty())
      ++blanks;
    else if (names.size() < kMaxOrderNames)
      names.push_back(line);
  }
  ItemList rest = items;
  ItemList result;
  for (const std::string& name : names) {
    for (std::size_t i = rest.size(); i-- > 0;) {
      if (ItemName(rest[i]) == name) {
        result.push_back(rest[i]);
        rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  result.insert(result.end(), rest.begin(), rest.end());
  items = result;
  return result;
}

bool IsPictureFolder(const std::string& folder) {
  std::vector<std::string> files = fso::FileNames(folder);
  if (files.empty()) return false;
  for (const std::string& name : files) {
    // The extension is taken from the full path, as for the page filter: a
    // file named just "gif" has no picture extension.
    std::string ext = GetExtension(ChildPath(folder, name));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != "gif" && ext != "jpg" && ext != "bmp" && ext != "png" && ext != "ini") return false;
  }
  return true;
}

}  // namespace talvora
