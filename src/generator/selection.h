// Which files of a folder are pages and which sub-folders are branches, and
// their order in the site: number prefixes first, then the folder's own
// order list array.ini. A folder holding index.html is a finished web page:
// its only page is its redirect page and it has no branches.
#pragma once
#include <string>
#include <vector>

namespace talvora {

// An item list: full paths of the entries of one folder (all files or all
// folders), in order. Ordering looks at an entry only through its file name.
using ItemList = std::vector<std::string>;

// The folder's page files in site order; writes and returns only the
// redirect page when the folder holds index.html.
ItemList GetPageFiles(const std::string& folder);
// The folder's branch folders in site order; none when it holds index.html.
ItemList GetSubFolders(const std::string& folder);
// Up to three leading digits of the name as a number (0 without digits).
int GetNumberPrefix(const std::string& name);
// Pulls the unbroken run of prefixes 1, 2, 3, ... to the front; replaces
// the caller's list and returns it.
ItemList SortByNumberPrefix(ItemList& items);
// Moves the items named in the order list file to the front, in its order;
// the list stays as it is without the file. Replaces the caller's list and returns it.
ItemList OrderByArrayIni(ItemList& items, const std::string& arrayIniPath);
// True when the folder holds at least one file and only pictures (and .ini files).
bool IsPictureFolder(const std::string& folder);

}  // namespace talvora
