#include "generator/selection.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

#include "generator/generator.h"
#include "generator/uitl.h"
#include "platform/fso.h"
#include "platform/paths.h"
#include "platform/temp_names.h"

namespace talvora {

using platform::kSep;
namespace fso = platform::fso;
using fso::ChildPath;

namespace {

// The most names an order list contributes; the rest of the file is ignored.
constexpr std::size_t kMaxOrderNames = 99;
// Reading an order list stops at its 50th blank line.
constexpr int kMaxBlankLines = 50;


std::string TrimSpaces(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// The name the ordering rules look at.
std::string ItemName(const std::string& path) {
  if (!path.empty() && path.front() != ' ' && path.back() != ' ') return GetFileName(path);
  return GetFileName(TrimSpaces(path));
}

// The folder's own name, as its folder object gives it.
std::string FolderName(std::string folder) {
  while (folder.size() > 1 && folder.back() == kSep) folder.pop_back();
  return GetFileName(folder);
}

// The one line of a redirect page that sends the browser to the index page.
std::string RedirectText(const std::string& indexPage) {
  return "<script language=\"javascript\">window.location.href=\"" + ScriptString(indexPage) +
         "\";</script>";
}

// True when the redirect page may be written at the path: nothing is there,
// or a redirect page as this program writes them.
bool IsFreeForRedirectPage(const std::string& path) {
  std::error_code ec;
  auto status = std::filesystem::symlink_status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return true;
  if (ec || status.type() != std::filesystem::file_type::regular) return false;
  std::string head;
  try {
    head = fso::ReadBytes(path, 100);
  } catch (const platform::SiteChangedError&) {
    throw;
  } catch (const platform::FsoError&) {
    return false;  // a file that cannot be read is no page of ours
  }
  for (const char* index : {"index.html", "index.htm"})
    if (head == RedirectText(index) + "\r\n") return true;
  return false;
}

// A finished web page is shown through a page of the given name that sends
// the browser on to its index page. A file of that name that this program
// did not write (the folder's own index page, a page of the user's, a link)
// is never replaced: the index page itself is then the folder's page.
std::string WriteRedirectPage(const std::string& folder, const std::string& pageName,
                              const std::string& indexPage) {
  std::string path = ChildPath(folder, pageName + ".html");
  if (!IsFreeForRedirectPage(path)) return ChildPath(folder, indexPage);
  WriteTextFile(path, RedirectText(indexPage));
  return path;
}

std::string WriteRedirectPage(const std::string& folder) {
  return WriteRedirectPage(folder, StripNumberPrefix(GetBaseName(FolderName(folder))), "index.html");
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The name, or a part of one, is the text as the disk holding it compares
// names: where it folds case, whatever the case of the ASCII letters.
bool NameIs(std::string_view name, std::string_view text, bool foldsCase) {
  return foldsCase ? fso::SameFolded(name, text) : name == text;
}

// Whether the disk holding the file folds case, as the run has found.
bool FoldsCaseFor(std::string_view path, std::size_t slash) {
  if (slash == std::string::npos) return false;
  return fso::FoldsCase(std::string(path.substr(0, slash == 0 ? 1 : slash)));
}

bool IsLeftOutFile(const std::string& path) {
  // The base name, the extension and the file name as GetBaseName,
  // GetExtension and GetFileName take them, looked at in place: every
  // file of every folder comes here.
  const std::string_view whole = path;
  const std::size_t slash = path.rfind(kSep);
  const bool folds = FoldsCaseFor(path, slash);
  const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  const std::size_t baseEnd = dot != std::string::npos && dot >= nameAt ? dot : path.size();
  auto baseStartsWith = [&](std::string_view prefix) {
    return baseEnd - nameAt >= prefix.size() && NameIs(whole.substr(nameAt, prefix.size()), prefix, folds);
  };
  const bool bak = NameIs(dot == std::string::npos ? whole : whole.substr(dot + 1), "bak", folds);
  return baseStartsWith("~$") || baseStartsWith("innerxml") || baseStartsWith("startxml") ||
         baseStartsWith("welcome") || bak || NameIs(whole.substr(nameAt), "array.ini", folds) ||
         platform::IsOwnTemporaryName(whole.substr(nameAt));
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

// The order list's entries: each line trimmed and, with cutAtComma, cut
// before its first comma. An entry left empty is a blank line and takes no
// slot; reading stops before the next line once 50 blank lines have been
// counted. At most maxEntries are kept.
std::vector<std::string> ReadListEntries(const std::string& path, bool cutAtComma,
                                         std::size_t maxEntries) {
  std::vector<std::string> entries;
  int blanks = 0;
  for (const std::string& raw : SplitLines(fso::ReadAnsiText(path))) {
    if (blanks >= kMaxBlankLines) break;
    std::string line = TrimSpaces(raw);
    if (cutAtComma) line = line.substr(0, line.find(','));
    if (line.empty())
      ++blanks;
    else if (entries.size() < maxEntries)
      entries.push_back(line);
  }
  return entries;
}

// The named items first, in the order of the names (of several items of one
// name the last listed first), then the rest in its order.
ItemList ApplyOrder(const ItemList& items, const std::vector<std::string>& names) {
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
  return result;
}

// Takes, for k = 1, 2, ... up to lastNumber, the last listed item numbered
// k; a missing number ends the run unless gaps are allowed. The items left
// over follow in their order.
ItemList NumberSort(const ItemList& items, int lastNumber, bool gapsAllowed) {
  ItemList source = items;
  // Each item's number, taken once.
  std::vector<int> numbers;
  numbers.reserve(source.size());
  for (const std::string& item : source) numbers.push_back(GetNumberPrefix(ItemName(item)));
  ItemList result;
  for (int k = 1; k <= lastNumber && !source.empty(); ++k) {
    std::size_t found = source.size();
    for (std::size_t i = source.size(); i-- > 0;) {
      if (numbers[i] == k) {
        found = i;
        break;
      }
    }
    if (found == source.size()) {
      if (gapsAllowed) continue;
      break;
    }
    result.push_back(source[found]);
    source.erase(source.begin() + static_cast<std::ptrdiff_t>(found));
    numbers.erase(numbers.begin() + static_cast<std::ptrdiff_t>(found));
  }
  result.insert(result.end(), source.begin(), source.end());
  return result;
}

// The folder's files without those a run writes while it looks at them
// (the page document of an earlier run and the entry page set aside) and
// those a broken-off download or unpack left.
std::vector<std::string> FilesNotWrittenByRuns(const std::string& folder) {
  std::vector<std::string> files = fso::FileNames(folder);
  const bool folds = fso::FoldsCase(folder);
  files.erase(std::remove_if(files.begin(), files.end(),
                             [&](const std::string& name) {
                               return NameIs(name, "startxml.xml", folds) ||
                                      NameIs(name, kEntryPageAsideName, folds) ||
                                      platform::IsOwnTemporaryName(name);
                             }),
              files.end());
  return files;
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
  // A prefix has at most three digits, so no number above 999 occurs.
  items = NumberSort(items, 999, false);
  return items;
}

ItemList OrderByArrayIni(ItemList& items, const std::string& arrayIniPath) {
  if (!FileExists(arrayIniPath)) return items;
  items = ApplyOrder(items, ReadListEntries(arrayIniPath, false, kMaxOrderNames));
  return items;
}

bool IsPictureFolder(const std::string& folder) {
  std::vector<std::string> files = FilesNotWrittenByRuns(folder);
  if (files.empty()) return false;
  for (const std::string& name : files) {
    // The extension is taken from the full path, as for the page filter: a
    // file named just "gif" has no picture extension.
    std::string ext = LowerCase(GetExtension(ChildPath(folder, name)));
    if (ext != "gif" && ext != "jpg" && ext != "bmp" && ext != "png" && ext != "ini") return false;
  }
  return true;
}

}  // namespace talvora

namespace quenlet {

using platform::XmlNode;
using talvora::ChildPath;
using talvora::GetBaseName;
using talvora::GetExtension;
using talvora::GetFileName;
using talvora::StartsWith;
namespace fso = platform::fso;

namespace {

// The order list of a column site has room for 499 names.
constexpr std::size_t kMaxOrderNames = 499;
// The field lines of a site root: 20 are read, the first 10 consulted.
constexpr std::size_t kArrayIniSlots = 20;
constexpr std::size_t kFieldSlots = 10;

bool IsLeftOutFile(const std::string& path) {
  if (talvora::IsLeftOutFile(path)) return true;
  const std::string name = GetFileName(path);
  const bool folds = talvora::FoldsCaseFor(path, path.rfind(platform::kSep));
  auto startsWith = [&](std::string_view prefix) {
    return name.size() >= prefix.size() &&
           talvora::NameIs(std::string_view(name).substr(0, prefix.size()), prefix, folds);
  };
  // Folder settings, the cover picture and thumbnails are no pages of their own.
  return talvora::NameIs(name, "FolderPlace.ini", folds) ||
         talvora::LowerCase(GetBaseName(name)) == "page_01" || startsWith("TN_") || startsWith("Thumbs");
}

// Field 2, 3 or 4 of a line key,folderico,place,order; the last field is
// the rest of the line. A field the line lacks is "".
std::string Field(const std::string& line, int index) {
  std::size_t start = 0;
  for (int i = 1; i < index; ++i) {
    std::size_t comma = line.find(',', start);
    if (comma == std::string::npos) return "";
    start = comma + 1;
  }
  if (index == 4) return line.substr(start);
  std::size_t comma = line.find(',', start);
  return line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
}

std::string LookUpField(const std::string& name, const std::vector<std::string>& lines,
                        int index) {
  std::string result;
  for (std::size_t i = 0; i < kFieldSlots && i < lines.size() && !lines[i].empty(); ++i)
    if (Field(lines[i], 1) == name) result = Field(lines[i], index);
  return result;
}

// The folder's page list and its number of files of any kind, in the order
// the tests need them: the listing may write the redirect page first.
template <typename Passes>
bool EveryPagePasses(const std::string& folder, Passes passes) {
  for (const std::string& page : GetPageFiles(folder)) {
    if (!passes(talvora::LowerCase(GetExtension(page)), GetBaseName(page))) return false;
  }
  return !talvora::FilesNotWrittenByRuns(folder).empty();
}

}  // namespace

ItemList GetPageFiles(const std::string& folder) {
  const std::string indexPage = GetIndexPage(folder);
  if (!indexPage.empty()) {
    std::string name = StripNumberPrefix(GetBaseName(talvora::FolderName(folder)), false);
    return {talvora::WriteRedirectPage(folder, name, indexPage)};
  }
  ItemList pages;
  for (const std::string& name : fso::FileNames(folder)) {
    std::string path = ChildPath(folder, name);
    if (!IsLeftOutFile(path)) pages.push_back(path);
  }
  if (Options().SubjectText == "数学") SortByNumberPrefix(pages);
  return OrderByArrayIni(pages, ChildPath(folder, "array.ini"));
}

ItemList GetSubFolders(const std::string& folder) {
  if (!GetIndexPage(folder).empty()) return {};
  ItemList branches;
  for (const std::string& name : fso::SubFolderNames(folder)) {
    // Support folders (a page's notes_files, welcome.files) are never
    // branches. Only the name is tested, so a site below a dotted folder
    // such as /home/first.last keeps its branches.
    if (name.find("_file") == std::string::npos && name.find('.') == std::string::npos)
      branches.push_back(ChildPath(folder, name));
  }
  SortByNumberPrefix(branches);
  return OrderByArrayIni(branches, ChildPath(folder, "array.ini"));
}

ItemList SortByNumberPrefix(ItemList& items) {
  items = talvora::NumberSort(items, 150, true);
  return items;
}

ItemList OrderByArrayIni(ItemList& items, const std::string& arrayIniPath) {
  if (!talvora::FileExists(arrayIniPath)) return items;
  items = talvora::ApplyOrder(items, talvora::ReadListEntries(arrayIniPath, true, kMaxOrderNames));
  return items;
}

void ReadArrayIni(const std::string& arrayIniPath, std::vector<std::string>& lines) {
  lines.assign(kArrayIniSlots, "");
  if (!talvora::FileExists(arrayIniPath)) return;
  std::vector<std::string> entries = talvora::ReadListEntries(arrayIniPath, false, kArrayIniSlots);
  for (std::size_t i = 0; i < entries.size(); ++i) lines[i] = entries[i];
}

std::string GetFolderIco(const std::string& name, const std::vector<std::string>& lines) {
  return LookUpField(name, lines, 2);
}

std::string GetFolderPlace(const std::string& name, const std::vector<std::string>& lines) {
  return LookUpField(name, lines, 3);
}

std::string GetFolderOrder(const std::string& name, const std::vector<std::string>& lines) {
  return LookUpField(name, lines, 4);
}

void SortNodesByPlace(XmlNode node, std::vector<XmlNode>& result) {
  for (const char* place : {"left", "right", "foot"}) {
    for (const char* order : {"1", "2", "3"}) {
      for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
        if (!child.HasAttribute("place") || !child.HasAttribute("order")) continue;
        if (GetSegmentBeforeSlash(child.Attribute("place")) == place &&
            GetSegmentBeforeSlash(child.Attribute("order")) == order)
          result.push_back(child);
      }
    }
  }
}

bool IsPictureFolder(const std::string& folder) {
  return EveryPagePasses(folder, [](const std::string& ext, const std::string& base) {
    return ext == "jpg" || ext == "gif" || ext == "bmp" || ext == "png" || ext == "ini" ||
           base == "page_01";
  });
}

bool IsMediaFolder(const std::string& folder) {
  return EveryPagePasses(folder, [](const std::string& ext, const std::string& base) {
    return ext == "rm" || ext == "avi" || ext == "swf" || ext == "mp3" || ext == "mpg" ||
           ext == "wav" || base == "page_01" || StartsWith(base, "TN_");
  });
}

}  // namespace quenlet
