// The mounted volumes, in the role of the drive list: the root file system
// first, then the volumes mounted where the desktop and the administrator put
// removable and extra disks (/media, /mnt, /run/media). Every entry ends in
// the separator, as a drive's name does.
#pragma once
#include <string>
#include <vector>

namespace platform {

// The volumes of this machine, read from /proc/self/mounts. Always holds at
// least "/".
std::vector<std::string> MountedVolumes();

// The same rule applied to the text of a mounts table (one mount a line:
// device, mount point, type, ...; blanks in a mount point written as \040).
std::vector<std::string> VolumesFromMounts(const std::string& mountsTable);

}  // namespace platform
