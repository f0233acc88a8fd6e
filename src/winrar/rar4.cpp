#include "winrar/rar4.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <sys/types.h>

#include "platform/codepage.h"
#include "platform/temp_names.h"



namespace winrar {
namespace {

// Block types and flags of the layout.
constexpr std::uint8_t kArchiveHeader = 0x73;
constexpr std::uint8_t kFileHeader = 0x74;
constexpr std::uint8_t kCommentBlock = 0x75;  // of the older archivers, before the archive header
constexpr std::uint8_t kServiceHeader = 0x7A;
constexpr std::uint8_t kEndOfArchive = 0x7B;

constexpr std::uint16_t kLongBlock = 0x8000;     // data follows the header
constexpr std::uint16_t kDirectory = 0x00E0;     // dictionary bits all set
constexpr std::uint16_t kUnicodeName = 0x0200;
constexpr std::uint16_t kLargeSizes = 0x0100;    // HIGH_PACK_SIZE, HIGH_UNP_SIZE
constexpr std::uint16_t kSplitEntry = 0x0003;    // continued from / in another volume
constexpr std::uint16_t kSolidEntry = 0x0010;

constexpr std::uint16_t kVolumeArchive = 0x0001;
constexpr std::uint16_t kLockedArchive = 0x0004;  // its maker asked that it not be changed
constexpr std::uint16_t kSolidArchive = 0x0008;
constexpr std::uint16_t kEncryptedHeaders = 0x0080;

constexpr std::size_t kFileHeaderFixed = 32;  // up to and including ATTR

void Put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::uint32_t Get16(const std::string& s, std::size_t at) {
  return static_cast<std::uint8_t>(s[at]) | (static_cast<std::uint8_t>(s[at + 1]) << 8);
}

std::uint32_t Get32(const std::string& s, std::size_t at) {
  return Get16(s, at) | (Get16(s, at + 2) << 16);
}

// Puts HEAD_CRC over the bytes from HEAD_TYPE to the header's end.
std::string Seal(std::string header) {
  std::uint32_t crc = Crc32(0, header.data() + 2, header.size() - 2) & 0xFFFF;
  header[0] = static_cast<char>(crc & 0xFF);
  header[1] = static_cast<char>(crc >> 8);
  return header;
}

// Strict UTF-8 to code points: no overlong forms, no surrogates.
std::vector<char32_t> CodePoints(const std::string& utf8) {
  std::vector<char32_t> out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    int extra;
    char32_t cp;
    if (c < 0x80) { extra = 0; cp = c; }
    else if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; }
    else throw ArchiveError("名称不是有效的 UTF-8 编码");
    if (i + extra >= utf8.size())
      throw ArchiveError("名称不是有效的 UTF-8 编码");
    for (int k = 1; k <= extra; ++k) {
      unsigned char t = static_cast<unsigned char>(utf8[i + k]);
      if ((t & 0xC0) != 0x80) throw ArchiveError("名称不是有效的 UTF-8 编码");
      cp = (cp << 6) | (t & 0x3F);
    }
    static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      throw ArchiveError("名称不是有效的 UTF-8 编码");
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string Utf16ToUtf8(const std::vector<char16_t>& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    AppendUtf8(out, u);
  }
  return out;
}

// The Unicode name as the layout encodes it after the code-page name: a
// high byte, then groups of four 2-bit operations, each group's flag byte
// before its data. We use operation 0 (one byte, high byte 0) for units
// below 0x100 and operation 2 (the full unit, low byte first) for the rest.
std::string EncodeUnicode(const std::vector<char32_t>& cps) {
  std::vector<char16_t> units;
  for (char32_t cp : cps) {
    if (cp >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(cp));
    }
  }
  std::string out(1, '\0');  // high byte, unused by operations 0 and 2
  for (std::size_t i = 0; i < units.size(); i += 4) {
    std::uint8_t flags = 0;
    std::string data;
    for (std::size_t k = 0; k < 4; ++k) {
      std::uint8_t op = 0;
      if (i + k < units.size()) {
        char16_t u = units[i + k];
        if (u < 0x100) {
          data.push_back(static_cast<char>(u));
        } else {
          op = 2;
          data.push_back(static_cast<char>(u & 0xFF));
          data.push_back(static_cast<char>(u >> 8));
        }
      }
      flags |= static_cast<std::uint8_t>(op << (6 - 2 * k));
    }
    out.push_back(static_cast<char>(flags));
    out += data;
  }
  return out;
}

// Reads all four operations, whichever archiver wrote the name.
std::vector<char16_t> DecodeUnicode(const std::string& ansi, const std::string& enc) {
  std::vector<char16_t> out;
  if (enc.empty()) return out;
  std::size_t pos = 0;
  const unsigned high = static_cast<std::uint8_t>(enc[pos++]);
  auto byteAt = [&](std::size_t at) -> unsigned {
    if (at >= enc.size()) throw ArchiveError("Unicode 名称已损坏");
    return static_cast<std::uint8_t>(enc[at]);
  };
  unsigned flags = 0;
  int flagBits = 0;
  while (pos < enc.size()) {
    if (flagBits == 0) {
      flags = byteAt(pos++);
      flagBits = 8;
    }
    switch ((flags >> 6) & 3) {
      case 0:
        out.push_back(static_cast<char16_t>(byteAt(pos++)));
        break;
      case 1:
        out.push_back(static_cast<char16_t>(byteAt(pos++) | (high << 8)));
        break;
      case 2:
        out.push_back(static_cast<char16_t>(byteAt(pos) | (byteAt(pos + 1) << 8)));
        pos += 2;
        break;
      case 3: {
        unsigned length = byteAt(pos++);
        if (length & 0x80) {
          unsigned correction = byteAt(pos++);
          for (length = (length & 0x7F) + 2; length > 0; --length) {
            std::size_t at = out.size();
            unsigned a = at < ansi.size() ? static_cast<std::uint8_t>(ansi[at]) : 0;
            out.push_back(static_cast<char16_t>(((a + correction) & 0xFF) | (high << 8)));
          }
        } else {
          for (length += 2; length > 0; --length) {
            std::size_t at = out.size();
            out.push_back(at < ansi.size() ? static_cast<std::uint8_t>(ansi[at]) : 0);
          }
        }
        break;
      }
    }
    flags <<= 2;
    flagBits -= 2;
  }
  return out;
}

}  // namespace

void ReadAt(std::FILE* f, std::uint64_t offset, void* buf, std::size_t size) {
  if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0 ||
      std::fread(buf, 1, size, f) != size)
    throw ArchiveError("无法读取压缩包");
}

std::uint32_t Crc32(std::uint32_t crc, const void* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  const auto* p = static_cast<const std::uint8_t*>(data);
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t DosTime(std::time_t mtime) {
  std::tm tm{};
  if (!localtime_r(&mtime, &tm) || tm.tm_year < 80) return (1u << 21) | (1u << 16);  // 1980-01-01
  if (tm.tm_year > 207) return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  return (static_cast<std::uint32_t>(tm.tm_year - 80) << 25) |
         (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
         (static_cast<std::uint32_t>(tm.tm_mday) << 16) |
         (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
         (static_cast<std::uint32_t>(tm.tm_min) << 5) |
         static_cast<std::uint32_t>(std::min(tm.tm_sec, 59) / 2);
}

std::time_t FromDosTime(std::uint32_t stamp) {
  std::tm tm{};
  tm.tm_year = static_cast<int>((stamp >> 25) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((stamp >> 21) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>((stamp >> 16) & 0x1F);
  tm.tm_hour = static_cast<int>((stamp >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((stamp >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>(stamp & 0x1F) * 2;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::string TempNameBeside(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  return (folder.empty() ? std::string() : folder) + "/" + platform::kArchiverTempPattern;
}

std::string ArchiveStart() {
  std::string header(2, '\0');
  header.push_back(static_cast<char>(kArchiveHeader));
  Put16(header, 0);   // flags
  Put16(header, 13);  // size
  Put16(header, 0);   // RESERVED1
  Put32(header, 0);   // RESERVED2
  return std::string(kMarker, kMarkerSize) + Seal(header);
}

std::string ArchiveEnd() { return std::string("\xC4\x3D\x7B\x00\x40\x07\x00", 7); }

NameField EncodeName(const std::string& utf8) {
  std::vector<char32_t> cps = CodePoints(utf8);
  NameField field;
  bool ascii = true;
  for (char32_t cp : cps) ascii = ascii && cp < 0x80;
  if (ascii) {
    field.bytes = utf8;
    return field;
  }
  // The code-page name serves readers that know no Unicode names; a
  // character code page 936 cannot hold shows there as "?". Readers that
  // know the Unicode name take it instead and get every character.
  field.bytes = platform::ToAnsi(utf8);
  field.bytes.push_back('\0');
  field.bytes += EncodeUnicode(cps);
  field.unicode = true;
  return field;
}

std::string DecodeName(const std::string& field, bool unicode) {
  std::string name;
  const std::size_t zero = field.find('\0');
  if (unicode && zero != std::string::npos) {
    std::vector<char16_t> units = DecodeUnicode(field.substr(0, zero), field.substr(zero + 1));
    name = units.empty() ? platform::FromAnsi(field.substr(0, zero)) : Utf16ToUtf8(units);
  } else {
    name = platform::FromAnsi(field);
  }
  // The calls that create files would stop at a NUL, short of where the
  // checks on the name saw it end.
  if (name.find('\0') != std::string::npos) throw ArchiveError("名称中含有 NUL 字符");
  return name;
}

std::string FileHeader(const EntryInfo& info) {
  NameField name = EncodeName(info.name);
  if (name.bytes.size() > 0xFFFF - kFileHeaderFixed)
    throw ArchiveError("名称太长，压缩包存不下：" + info.name);
  std::uint16_t flags = kLongBlock;
  if (info.directory) flags |= kDirectory;
  if (name.unicode) flags |= kUnicodeName;

  std::string h(2, '\0');
  h.push_back(static_cast<char>(kFileHeader));
  Put16(h, flags);
  Put16(h, static_cast<std::uint32_t>(kFileHeaderFixed + name.bytes.size()));
  Put32(h, info.directory ? 0 : info.size);  // PACK_SIZE
  Put32(h, info.directory ? 0 : info.size);  // UNP_SIZE
  h.push_back(2);                            // HOST_OS: Win32
  Put32(h, info.directory ? 0 : info.crc);   // FILE_CRC
  Put32(h, info.dosTime);                    // FTIME
  h.push_back(20);                           // UNP_VER 2.0
  h.push_back(0x30);                         // METHOD: store
  Put16(h, static_cast<std::uint32_t>(name.bytes.size()));
  Put32(h, info.directory ? 0x10 : 0x20);    // ATTR: directory / archive
  h += name.bytes;
  return Seal(h);
}

namespace {

// Reads blocks until the end of archive or the first damaged block. A
// damaged block goes into `damage`, or is thrown when `toRewrite`: an
// archive is rewritten whole or not at all.
ArchiveListing ReadBlocks(std::FILE* archive, bool toRewrite, std::uint64_t markerAt) {
  if (fseeko(archive, 0, SEEK_END) != 0) throw ArchiveError("无法读取压缩包");
  const std::uint64_t fileSize = static_cast<std::uint64_t>(ftello(archive));

  char marker[8] = {};
  if (fileSize < kMarkerSize || markerAt > fileSize - kMarkerSize) throw ArchiveError("它不是 RAR 压缩包");
  ReadAt(archive, markerAt, marker, kMarkerSize);
  if (std::memcmp(marker, kMarker, kMarkerSize) != 0) {
    if (std::memcmp(marker, kMarker, 6) == 0 && marker[6] == 0x01)
      throw ArchiveError("RAR 5 压缩包不能添加文件");
    throw ArchiveError("它不是 RAR 压缩包");
  }

  ArchiveListing listing;
  std::uint64_t offset = markerAt + kMarkerSize;
  bool first = true;  // no archive header yet
  try {
    while (offset < fileSize) {
      if (fileSize - offset < 7) throw ArchiveError("压缩包已损坏（块不完整）");
      std::string base(7, '\0');
      ReadAt(archive, offset, base.data(), 7);
      const std::uint32_t crc = Get16(base, 0);
      const std::uint8_t type = static_cast<std::uint8_t>(base[2]);
      const std::uint32_t flags = Get16(base, 3);
      const std::uint32_t headSize = Get16(base, 5);
      if (headSize < 7 || headSize > fileSize - offset)
        throw ArchiveError("压缩包已损坏（块的大小不对）");
      std::string header(headSize, '\0');
      ReadAt(archive, offset, header.data(), headSize);

      const bool fileLike = type == kFileHeader || type == kServiceHeader;
      if ((type == kArchiveHeader || type == kCommentBlock || fileLike) &&
          (Crc32(0, header.data() + 2, header.size() - 2) & 0xFFFF) != crc)
        throw ArchiveError("压缩包已损坏（块头的 CRC 校验错误）");
      if (first && type != kArchiveHeader && type != kCommentBlock)
        throw ArchiveError("压缩包已损坏（没有压缩包头）");
      first = first && type != kArchiveHeader;

      std::uint64_t dataSize = 0;
      if (flags & kLongBlock) {
        if (headSize < 11) throw ArchiveError("压缩包已损坏（块的大小不对）");
        dataSize = Get32(header, 7);
      }
      std::size_t nameAt = kFileHeaderFixed;
      std::uint64_t unpackedHigh = 0;
      if (fileLike && (flags & kLargeSizes)) {
        if (headSize < kFileHeaderFixed + 8) throw ArchiveError("压缩包已损坏（块的大小不对）");
        dataSize |= static_cast<std::uint64_t>(Get32(header, kFileHeaderFixed)) << 32;
        unpackedHigh = static_cast<std::uint64_t>(Get32(header, kFileHeaderFixed + 4)) << 32;
        nameAt += 8;
      }
      if (dataSize > fileSize - offset - headSize)
        throw ArchiveError("压缩包已损坏（数据不完整）");

      if (type == kArchiveHeader) {
        if (flags & kEncryptedHeaders) throw ArchiveError("压缩包的块头已加密，无法读取");
        if (toRewrite && (flags & kVolumeArchive)) throw ArchiveError("分卷压缩包不能添加文件");
        if (toRewrite && (flags & kSolidArchive)) throw ArchiveError("固实压缩包不能添加文件");
        if (toRewrite && (flags & kLockedArchive)) throw ArchiveError("压缩包已锁定，不能修改");
      } else if (type == kFileHeader) {
        if (toRewrite && (flags & kSplitEntry)) throw ArchiveError("分卷压缩包不能添加文件");
        if (toRewrite && (flags & kSolidEntry)) throw ArchiveError("固实压缩包不能添加文件");
        if (headSize < kFileHeaderFixed) throw ArchiveError("压缩包已损坏（文件头不对）");
        const std::uint32_t nameSize = Get16(header, 26);
        if (nameAt + nameSize > headSize) throw ArchiveError("压缩包已损坏（文件头不对）");
        ArchiveBlock block;
        try {
          block.name = DecodeName(header.substr(nameAt, nameSize), flags & kUnicodeName);
        } catch (const ArchiveError& err) {
          if (toRewrite) throw;
          // The code-page part still tells the user which entry it is.
          const std::string field = header.substr(nameAt, nameSize);
          block.name = platform::FromAnsi(field.substr(0, field.find('\0')));
          block.nameDamage = err.what();
        }
        block.offset = offset;
        block.size = headSize + dataSize;
        block.dataSize = dataSize;
        block.unpackedSize = Get32(header, 11) | unpackedHigh;
        block.hostOs = static_cast<std::uint8_t>(header[15]);
        block.crc = Get32(header, 16);
        block.dosTime = Get32(header, 20);
        block.method = static_cast<std::uint8_t>(header[25]);
        block.attr = Get32(header, 28);
        block.flags = static_cast<std::uint16_t>(flags);
        block.directory = (flags & kDirectory) == kDirectory;
        listing.blocks.push_back(block);
      } else if (type == kEndOfArchive) {
        break;
      }
      offset += headSize + dataSize;
    }
    if (first) throw ArchiveError("压缩包已损坏（没有压缩包头）");
  } catch (const ArchiveError& err) {
    // Without a sound archive header nothing in the file can be trusted.
    if (toRewrite || first) throw;
    listing.damage = err.what();
  }
  return listing;
}

}  // namespace

bool ArchiveBlock::Stored() const {
  constexpr std::uint16_t kPassword = 0x0004;
  return method == 0x30 && !(flags & (kPassword | kSplitEntry | kSolidEntry));
}

bool ArchiveBlock::Split() const { return (flags & kSplitEntry) != 0; }

std::vector<ArchiveBlock> ReadFileBlocks(std::FILE* archive, bool toRewrite) {
  return ReadBlocks(archive, toRewrite, 0).blocks;
}

ArchiveListing ListFileBlocks(std::FILE* archive, std::uint64_t markerAt) {
  return ReadBlocks(archive, false, markerAt);
}

}  // namespace winrar
