#include "platform/volumes.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/paths.h"

namespace platform {
namespace {

// The mounts table writes blank, tab, newline and backslash in a path as a
// backslash and three octal digits.
std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// The usual places of removable and extra disks, in the order the drive
// list shows them.
const char* const kPlaces[] = {"/media/", "/mnt/", "/run/media/"};

// Which of the usual places (index into kPlaces) holds a volume mounted one
// or two levels below it: /mnt/disk, /media/disk, /media/<user>/<label>,
// /run/media/<user>/<label>; -1 for anything else. Deeper mounts are parts
// of some other system's own layout, not disks the user put there.
int VolumePlace(const std::string& mountPoint) {
  for (int i = 0; i < static_cast<int>(std::size(kPlaces)); ++i) {
    const std::string base = kPlaces[i];
    if (mountPoint.size() <= base.size() || mountPoint.compare(0, base.size(), base) != 0)
      continue;
    std::string rest = mountPoint.substr(base.size());
    while (!rest.empty() && rest.back() == kSep) rest.pop_back();
    if (rest.empty()) return -1;
    const auto levels = std::count(rest.begin(), rest.end(), kSep) + 1;
    return levels <= 2 ? i : -1;
  }
  return -1;
}

}  // namespace

std::vector<std::string> VolumesFromMounts(const std::string& mountsTable) {
  // The volumes of each place, in the order they were mounted.
  std::vector<std::vector<std::string>> byPlace(std::size(kPlaces));
  std::istringstream lines(mountsTable);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint;
    if (!(fields >> device >> mountPoint)) continue;
    mountPoint = Unescape(mountPoint);
    const int place = VolumePlace(mountPoint);
    if (place < 0) continue;
    while (mountPoint.size() > 1 && mountPoint.back() == kSep) mountPoint.pop_back();
    mountPoint += kSep;
    // A point mounted over again appears once, where it was first mounted.
    std::vector<std::string>& volumes = byPlace[place];
    if (std::find(volumes.begin(), volumes.end(), mountPoint) == volumes.end())
      volumes.push_back(mountPoint);
  }
  std::vector<std::string> volumes{kSepStr};
  for (const std::vector<std::string>& place : byPlace)
    volumes.insert(volumes.end(), place.begin(), place.end());
  return volumes;
}

std::vector<std::string> MountedVolumes() {
  std::ifstream in("/proc/self/mounts");
  std::stringstream table;
  table << in.rdbuf();
  return VolumesFromMounts(table.str());
}

}  // namespace platform
