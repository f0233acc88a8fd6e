#include "winrar/rar5.h"

#include <algorithm>
#include <cstring>

#include <sys/types.h>

#include "winrar/rar4.h"

namespace winrar {
namespace {

// Block types, and the flags the check depends on.
constexpr std::uint64_t kMainHeader = 1;
constexpr std::uint64_t kFileHeader = 2;
constexpr std::uint64_t kEncryptionHeader = 4;
constexpr std::uint64_t kEndOfArchive = 5;

constexpr std::uint64_t kHasExtraArea = 0x0001;
constexpr std::uint64_t kHasDataArea = 0x0002;
constexpr std::uint64_t kSplitData = 0x0008 | 0x0010;  // continued from / in another volume

constexpr std::uint64_t kFileDirectory = 0x0001;
constexpr std::uint64_t kFileHasTime = 0x0002;
constexpr std::uint64_t kFileHasCrc = 0x0004;
constexpr std::uint64_t kFileSizeUnknown = 0x0008;

constexpr std::uint64_t kMethodBits = 0x0380;  // of the compression information; 0 is stored
constexpr std::uint64_t kUnixHost = 1;

// Extra records of a file header after which the CRC is not that of the
// data libarchive gives: an encrypted file's is keyed by the password, and
// a link's target comes from the record, not from the data.
constexpr std::uint64_t kEncryptionRecord = 0x01;
constexpr std::uint64_t kRedirectionRecord = 0x05;

// No header is larger than this; a size beyond it is damage, not a header.
constexpr std::uint64_t kMaxHeaderSize = 2u << 20;

// Reads the fields of one header, each read checked against its end.
class Fields {
 public:
  Fields(const std::string& bytes, std::size_t at, std::size_t end) : bytes_(bytes), at_(at), end_(end) {}

  // A variable-length integer: seven bits a byte, low bits first, the
  // high bit set on every byte but the last.
  std::uint64_t Vint() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 70; shift += 7) {
      const std::uint8_t byte = static_cast<std::uint8_t>(Bytes(1)[0]);
      value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return value;
    }
    throw ArchiveError(kBadHeader);
  }
  std::uint32_t Le32() {
    const std::string b = Bytes(4);
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[i]);
    return v;
  }
  std::string Bytes(std::uint64_t size) {
    if (size > end_ - at_) throw ArchiveError(kBadHeader);
    std::string out = bytes_.substr(at_, size);
    at_ += size;
    return out;
  }
  std::size_t At() const { return at_; }

  static constexpr const char* kBadHeader = "压缩包已损坏（块头不对）";

 private:
  const std::string& bytes_;
  std::size_t at_, end_;
};

// What the extra area of a file header says, as far as the unpacker needs it.
struct ExtraRecords {
  bool encrypted = false;
  bool redirection = false;
  std::optional<std::int64_t> mtime;
};

ExtraRecords ReadExtraArea(const std::string& header, std::size_t at, std::size_t end) {
  constexpr std::uint64_t kTimeRecord = 0x03;
  constexpr std::uint64_t kUnixTime = 0x0001, kHasMtime = 0x0002;
  ExtraRecords records;
  while (at < end) {
    Fields sized(header, at, end);
    const std::uint64_t size = sized.Vint();
    const std::size_t recordStart = sized.At();
    if (size == 0 || size > end - recordStart) throw ArchiveError(Fields::kBadHeader);
    const std::size_t recordEnd = recordStart + static_cast<std::size_t>(size);
    Fields record(header, recordStart, recordEnd);
    const std::uint64_t type = record.Vint();
    if (type == kEncryptionRecord) records.encrypted = true;
    if (type == kRedirectionRecord) records.redirection = true;
    if (type == kTimeRecord) {
      const std::uint64_t flags = record.Vint();
      if ((flags & kHasMtime) && (flags & kUnixTime)) {
        records.mtime = record.Le32();
      } else if (flags & kHasMtime) {
        // Windows time: 100 ns steps since 1601.
        const std::uint64_t low = record.Le32(), high = record.Le32();
        records.mtime = static_cast<std::int64_t>(((high << 32) | low) / 10000000) - 11644473600LL;
      }
    }
    at = recordEnd;
  }
  return records;
}

}  // namespace

Rar5Listing ListRar5Entries(std::FILE* archive, std::uint64_t markerAt) {
  if (fseeko(archive, 0, SEEK_END) != 0) throw ArchiveError("无法读取压缩包");
  const std::uint64_t fileSize = static_cast<std::uint64_t>(ftello(archive));
  char marker[kRar5MarkerSize] = {};
  if (fileSize < kRar5MarkerSize || markerAt > fileSize - kRar5MarkerSize) throw ArchiveError("不是 RAR 5 压缩包");
  ReadAt(archive, markerAt, marker, kRar5MarkerSize);
  if (std::memcmp(marker, kRar5Marker, kRar5MarkerSize) != 0) throw ArchiveError("不是 RAR 5 压缩包");

  Rar5Listing listing;
  std::uint64_t offset = markerAt + kRar5MarkerSize;
  bool first = true, ended = false;
  try {
    while (offset < fileSize) {
      // HEAD_CRC32, then the header's size as a variable-length integer:
      // read as much as either can take, within the file.
      std::string start(static_cast<std::size_t>(std::min<std::uint64_t>(14, fileSize - offset)), '\0');
      ReadAt(archive, offset, start.data(), start.size());
      if (start.size() < 5) throw ArchiveError("压缩包已损坏（块不完整）");
      Fields lead(start, 4, start.size());
      const std::uint64_t headSize = lead.Vint();
      const std::uint64_t sizeBytes = lead.At() - 4;
      if (headSize == 0 || headSize > kMaxHeaderSize) throw ArchiveError("压缩包已损坏（块的大小不对）");
      if (4 + sizeBytes + headSize > fileSize - offset) throw ArchiveError("压缩包已损坏（块不完整）");
      std::string header(static_cast<std::size_t>(4 + sizeBytes + headSize), '\0');
      ReadAt(archive, offset, header.data(), header.size());
      Fields crcField(header, 0, 4);
      if (crcField.Le32() != Crc32(0, header.data() + 4, header.size() - 4))
        throw ArchiveError("压缩包已损坏（块头的 CRC 校验错误）");

      Fields f(header, static_cast<std::size_t>(4 + sizeBytes), header.size());
      const std::uint64_t type = f.Vint();
      const std::uint64_t flags = f.Vint();
      const std::uint64_t extraSize = (flags & kHasExtraArea) ? f.Vint() : 0;
      const std::uint64_t dataSize = (flags & kHasDataArea) ? f.Vint() : 0;
      if (extraSize > header.size() - f.At()) throw ArchiveError(Fields::kBadHeader);
      const std::size_t extraAt = header.size() - static_cast<std::size_t>(extraSize);
      if (type == kEncryptionHeader) throw ArchiveError("压缩包的块头已加密，无法读取");
      if (first && type != kMainHeader) throw ArchiveError("压缩包已损坏（没有压缩包头）");
      first = false;
      if (dataSize > fileSize - offset - header.size()) throw ArchiveError("压缩包已损坏（数据不完整）");

      if (type == kFileHeader) {
        Fields file(header, f.At(), extraAt);
        const std::uint64_t fileFlags = file.Vint();
        const std::uint64_t size = file.Vint();
        Rar5Entry entry;
        entry.attributes = file.Vint();
        if (fileFlags & kFileHasTime) entry.mtime = file.Le32();
        std::optional<std::uint32_t> crc;
        if (fileFlags & kFileHasCrc) crc = file.Le32();
        const std::uint64_t compression = file.Vint();
        entry.unixHost = file.Vint() == kUnixHost;
        entry.name = file.Bytes(file.Vint());
        const ExtraRecords extra = ReadExtraArea(header, extraAt, header.size());
        if (extra.mtime) entry.mtime = extra.mtime;
        entry.dataOffset = offset + header.size();
        entry.dataSize = dataSize;
        entry.directory = (fileFlags & kFileDirectory) != 0;
        if (!entry.directory && !(fileFlags & kFileSizeUnknown)) entry.size = size;
        // A NUL would end the name where the calls that create files see
        // it, short of where its checks saw it.
        if (entry.name.find('\0') != std::string::npos) entry.damage = "它的名称中含有 NUL 字符";
        // A part of a file split over volumes carries the CRC of that part
        // only.
        entry.split = (flags & kSplitData) != 0;
        if (!entry.directory && !entry.split && !extra.encrypted && !extra.redirection) entry.crc = crc;
        entry.stored = (compression & kMethodBits) == 0 && !extra.encrypted && !extra.redirection;
        listing.entries.push_back(entry);
      } else if (type == kEndOfArchive) {
        ended = true;
        break;
      }
      offset += header.size() + dataSize;
    }
    if (first) throw ArchiveError("压缩包已损坏（没有压缩包头）");
    // Every RAR 5 archive ends with the block; without it the file was cut
    // off, and what followed is missing.
    if (!ended) throw ArchiveError("压缩包已损坏（没有结束块，压缩包不完整）");
  } catch (const ArchiveError& err) {
    // What follows a damaged block cannot be checked, so it is not trusted.
    listing.damage = err.what();
  }
  return listing;
}

std::optional<MarkerAt> FindMarker(std::FILE* archive) {
  constexpr std::uint64_t kRar4Window = 128 << 10, kRar5From = 64 << 10, kRar5Window = 512 << 10;
  if (fseeko(archive, 0, SEEK_END) != 0) throw ArchiveError("无法读取压缩包");
  const std::uint64_t fileSize = static_cast<std::uint64_t>(ftello(archive));
  std::string head(static_cast<std::size_t>(std::min(fileSize, kRar5Window)), '\0');
  ReadAt(archive, 0, head.data(), head.size());
  const std::string rar4(kMarker, kMarkerSize), rar5(kRar5Marker, kRar5MarkerSize);
  if (head.compare(0, rar4.size(), rar4) == 0) return MarkerAt{0, 4};
  if (head.compare(0, rar5.size(), rar5) == 0) return MarkerAt{0, 5};
  // A self-extractor is a Windows or a Linux program.
  if (head.compare(0, 2, "MZ") != 0 && head.compare(0, 4, "\x7F" "ELF") != 0) return std::nullopt;
  const std::size_t at4 = head.substr(0, kRar4Window).find(rar4);
  const std::size_t at5 = head.size() > kRar5From ? head.find(rar5, kRar5From) : std::string::npos;
  if (at4 == std::string::npos && at5 == std::string::npos) return std::nullopt;
  if (at4 < at5) return MarkerAt{at4, 4};
  return MarkerAt{at5, 5};
}

}  // namespace winrar
