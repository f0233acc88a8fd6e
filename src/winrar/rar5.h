// The RAR 5 block layout, as far as the unpacker needs it to check what
// libarchive reads: the file headers in order, each with its name and the
// CRC32 of its data where the header carries one for the whole file.
// libarchive does not check stored RAR 5 entries against that CRC.
#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace winrar {

inline constexpr char kRar5Marker[] = "Rar!\x1A\x07\x01\x00";  // 8 bytes with the final 0
inline constexpr std::size_t kRar5MarkerSize = 8;

struct Rar5Entry {
  std::string name;  // UTF-8, "/" between components, as the header has it
  bool directory = false;
  std::optional<std::uint32_t> crc;  // of the unpacked data, when it can be checked
};

// The file headers (service headers left out, as libarchive leaves them
// out) as far as the archive is sound and can be read. A damaged block, or
// headers encrypted, end the list and say why in `damage`. Throws
// ArchiveError when the file is not a RAR 5 archive at all.
struct Rar5Listing {
  std::vector<Rar5Entry> entries;
  std::string damage;
};
Rar5Listing ListRar5Entries(std::FILE* archive);

}  // namespace winrar
