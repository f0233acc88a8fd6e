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
  std::optional<std::uint32_t> crc;   // of the unpacked data, when it can be checked
  std::optional<std::uint64_t> size;  // of the unpacked data, when the header gives it
  bool split = false;                 // only a part of the file, the rest in other volumes
  std::string damage;                 // why the header cannot be trusted, or ""
  // Kept as it is, not compressed, encrypted or a link: the data is the
  // file's content (of a split file, only its part).
  bool stored = false;
  std::uint64_t dataOffset = 0, dataSize = 0;
  std::uint64_t attributes = 0;  // a Unix mode, or Windows attributes
  bool unixHost = false;         // packed on a Unix host
  std::optional<std::int64_t> mtime;  // Unix time, when the header gives one
};

// The file headers (service headers left out, as libarchive leaves them
// out) from the marker at `markerAt` on, as far as the archive is sound
// and can be read. A damaged block, headers encrypted, or the end of the
// file before the end-of-archive block, end the list and say why in
// `damage`. Throws ArchiveError when there is no RAR 5 marker there.
struct Rar5Listing {
  std::vector<Rar5Entry> entries;
  std::string damage;
};
Rar5Listing ListRar5Entries(std::FILE* archive, std::uint64_t markerAt = 0);

// Where the archive in a file begins: at its start, or, in a
// self-extractor, after the program, where libarchive looks for it (the
// RAR 4 marker in the first 128 KiB, the RAR 5 marker from 64 KiB to
// 512 KiB). Empty when the file holds neither marker there.
struct MarkerAt {
  std::uint64_t offset = 0;
  int version = 4;  // 4 for the RAR 1.5-4.x layout, 5 for RAR 5
};
std::optional<MarkerAt> FindMarker(std::FILE* archive);

}  // namespace winrar
