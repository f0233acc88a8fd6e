#include "platform/volumes.h"

#include <algorithm>
#include <fstream>
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

// A volume mounted one or two levels below one of the usual places:
// /mnt/disk, /media/disk, /media/<user>/<label>, /run/media/<user>/<label>.
// Deeper mounts are parts of some other system's own layout, not disks the
// user put there.
bool IsVolumePlace(const std::string& mountPoint) {
  static const char* const kPlaces[] = {"/media/", "/mnt/", "/run/media/"};
  for (const char* place : kPlaces) {
    const std::string base = place;
    if (mountPoint.size() <= base.size() || mountPoint.compare(0, base.size(), base) != 0)
      continue;
    std::string rest = mountPoint.substr(base.size());
    while (!rest.empty() && rest.back() == kSep) rest.pop_back();
    if (rest.empty()) return false;
    const auto levels = std::count(rest.begin(), rest.end(), kSep) + 1;
    return levels <= 2;
  }
  return false;
}

}  // namespace

std::vector<std::string> VolumesFromMounts(const std::string& mountsTable) {
  std::vector<std::string> volumes{kSepStr};
  std::istringstream lines(mountsTable);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint;
    if (!(fields >> device >> mountPoint)) continue;
    mountPoint = Unescape(mountPoint);
    if (!IsVolumePlace(mountPoint)) continue;
    while (mountPoint.size() > 1 && mountPoint.back() == kSep) mountPoint.pop_back();
    mountPoint += kSep;
    // A point mounted over again appears once, where it was first mounted.
    if (std::find(volumes.begin(), volumes.end(), mountPoint) == volumes.end())
      volumes.push_back(mountPoint);
  }
  return volumes;
}

std::vector<std::string> MountedVolumes() {
  std::ifstream in("/proc/self/mounts");
  std::stringstream table;
  table << in.rdbuf();
  return VolumesFromMounts(table.str());
}

}  // namespace platform
