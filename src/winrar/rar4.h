// The RAR 1.5-4.x block layout, as far as an archiver of stored entries
// needs it: the fixed blocks, one file header per entry, the CRCs, the
// MS-DOS time stamp and the Unicode form of a name.
#pragma once
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace winrar {

// Exit statuses, after the console archiver's conventions.
enum ExitCode {
  kSuccess = 0,
  kWarning = 1,      // some entries were skipped, the rest is done
  kFatal = 2,        // the archive cannot be read or written
  kCrcError = 3,     // damaged data found while extracting
  kUsage = 7,        // not one of the command lines we accept
  kCreateError = 9,  // a file or folder could not be created
  kNoFiles = 10,     // nothing matched the source pattern
};

// A damaged or unsupported archive, or a failed read or write of one.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr char kMarker[] = "Rar!\x1A\x07\x00";  // 7 bytes with the final 0
inline constexpr std::size_t kMarkerSize = 7;

// Entries of 4 GiB or more need the 64-bit size fields, which we do not write.
inline constexpr std::uint64_t kMaxStoredSize = 0xFFFFFFFFull;

// The running CRC32 (the zip/PNG polynomial); start with crc = 0.
std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size);

// Reads exactly `size` bytes at `offset`; throws ArchiveError when it cannot.
void ReadAt(std::FILE* f, std::uint64_t offset, void* buf, std::size_t size);

// The modification time as an MS-DOS stamp in local time, clamped to the
// years the stamp can hold (1980 to 2107).
std::uint32_t DosTime(std::time_t mtime);

// The time an MS-DOS stamp gives, read as local time.
std::time_t FromDosTime(std::uint32_t stamp);

// A name for a temporary file in the folder of `path` ("." when it has
// none), short enough to fit whatever the length of the path's own name.
std::string TempNameBeside(const std::string& path);

// The marker and the archive header, and the end-of-archive block.
std::string ArchiveStart();
std::string ArchiveEnd();

// The name field of a file header for a name given in UTF-8 with "\"
// between its components: the code-page 936 name and, for names that are
// not plain ASCII, a 0 byte and the encoded Unicode name. Throws
// ArchiveError for text that is not valid UTF-8.
struct NameField {
  std::string bytes;
  bool unicode = false;  // header flag 0x0200
};
NameField EncodeName(const std::string& utf8);

// The text of a name field, in UTF-8: the Unicode name where the field has
// one, else the code-page name read as code page 936. Throws ArchiveError
// for a Unicode name that cannot be decoded and for a name holding a NUL.
std::string DecodeName(const std::string& field, bool unicode);

// A complete file header (type 0x74) for a stored file or a directory.
struct EntryInfo {
  std::string name;  // UTF-8, "\" between components
  bool directory = false;
  std::uint32_t size = 0;
  std::uint32_t crc = 0;
  std::uint32_t dosTime = 0;
};
std::string FileHeader(const EntryInfo& info);

// One file block of an existing archive: where its header and its data lie,
// its name in UTF-8 with "\" between components, and the CRC of its data.
struct ArchiveBlock {
  std::string name;
  std::string nameDamage;    // why the name field cannot be read, or ""
  std::uint64_t offset = 0;  // of the header
  std::uint64_t size = 0;    // header and data together
  std::uint64_t dataSize = 0;     // PACK_SIZE: the data after the header
  std::uint64_t unpackedSize = 0; // UNP_SIZE
  std::uint32_t crc = 0;     // FILE_CRC: of the unpacked data
  std::uint32_t dosTime = 0;
  std::uint32_t attr = 0;
  std::uint16_t flags = 0;
  std::uint8_t hostOs = 0;
  std::uint8_t method = 0;
  bool directory = false;

  std::uint64_t DataOffset() const { return offset + size - dataSize; }
  // Stored as it is, not encrypted, not split or solid: the data is the
  // file's content, whose size must then be the unpacked size.
  bool Stored() const;
  // Only a part of the file, the rest in other volumes.
  bool Split() const;
};

// The file blocks of an archive from the marker at `markerAt` on, as far as
// it is sound. A damaged block ends the list and says why in `damage`; the
// blocks before it are kept, each with its own CRC. The archive may end
// without the end-of-archive block, as the older archivers wrote it, but
// not inside a block. Throws ArchiveError when there is no RAR 4 archive
// there, when its archive header is missing or damaged, or when the file
// cannot be read.
struct ArchiveListing {
  std::vector<ArchiveBlock> blocks;
  std::string damage;
};
ArchiveListing ListFileBlocks(std::FILE* archive, std::uint64_t markerAt);

// The file blocks of an archive, in order. Blocks other than file headers
// (comments, recovery data, service blocks) are left out: they would not
// describe a rewritten archive. Throws ArchiveError when the file is not a
// RAR 4 archive, is damaged or has encrypted headers, and, when it is to be
// rewritten, when its entries cannot be copied one by one (solid,
// multi-volume) or its maker locked it.
std::vector<ArchiveBlock> ReadFileBlocks(std::FILE* archive, bool toRewrite);

}  // namespace winrar
