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

#include "platform/xml_document.h"

// Quenlet's selection: its own page rules, a number sort with gaps, order
// lists whose lines may carry three fields after the name, and the fields'
// lookups in the site root's array.ini.
namespace quenlet {

using talvora::ItemList;

// The folder's page files in site order. A folder holding index.htm or
// index.html gets its redirect page (written on every call) as only page.
ItemList GetPageFiles(const std::string& folder);
// The folder's branch folders in site order; none for a finished web page.
ItemList GetSubFolders(const std::string& folder);
// Takes the last item numbered 1, then 2, ... up to 150, skipping missing
// numbers; the rest follows in its order. Replaces the caller's list.
ItemList SortByNumberPrefix(ItemList& items);
// The order list's names (each line's text before its first comma) first,
// in its order. Replaces the caller's list.
ItemList OrderByArrayIni(ItemList& items, const std::string& arrayIniPath);
// The order list's non-blank lines, trimmed, into slots 1 to 20 (the
// vector's 20 entries; "" where there is none).
void ReadArrayIni(const std::string& arrayIniPath, std::vector<std::string>& lines);
// A folder's fields from the lines name,folderico,place,order: the last of
// the first ten lines naming the folder gives them; "" without one.
std::string GetFolderIco(const std::string& name, const std::vector<std::string>& lines);
std::string GetFolderPlace(const std::string& name, const std::vector<std::string>& lines);
std::string GetFolderOrder(const std::string& name, const std::vector<std::string>& lines);
// The node's children placed left 1 to 3, right 1 to 3, foot 1 to 3, in
// that order; children placed otherwise are left out.
void SortNodesByPlace(platform::XmlNode node, std::vector<platform::XmlNode>& result);
// True when the folder holds a file and every page is a picture (or .ini).
bool IsPictureFolder(const std::string& folder);
// True when the folder holds a file and every page is a media file or a thumbnail.
bool IsMediaFolder(const std::string& folder);

}  // namespace quenlet
