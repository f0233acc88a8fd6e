// Unpacking: every entry of an archive into a destination folder, through
// libarchive, refusing entries that would land outside that folder.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include "winrar/commands.h"
#include "winrar/rar4.h"

namespace fs = std::filesystem;

namespace winrar {
namespace {

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Why a path inside the destination is unsafe, or "" when it is not: it
// must be relative, must not climb with "..", and must not pass through a
// symbolic link already in the destination (which could lead anywhere).
std::string UnsafePath(const std::string& path) {
  if (path.empty()) return "it has no name";
  if (path[0] == '/') return "its path is absolute";
  std::vector<std::string> parts = Components(path);
  for (const std::string& part : parts)
    if (part == "..") return "its path climbs out of the destination";
  std::string prefix;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i].empty() || parts[i] == ".") continue;
    prefix += (prefix.empty() ? "" : "/") + parts[i];
    struct stat st {};
    if (lstat(prefix.c_str(), &st) != 0) break;  // nothing further exists yet
    if (S_ISLNK(st.st_mode)) return "its path goes through the symbolic link " + prefix;
  }
  return "";
}

// A link made by the archive must not point outside the destination, or
// whatever later writes through it (the generator, the user) would land
// there. A target without ".." that is not absolute stays below the link.
std::string UnsafeLinkTarget(const std::string& target) {
  if (target.empty()) return "its link has no target";
  if (target[0] == '/') return "it links to an absolute path";
  for (const std::string& part : Components(target))
    if (part == "..") return "its link climbs out of the destination";
  return "";
}

const char* Text(const char* utf8, const char* native) {
  if (utf8) return utf8;
  return native ? native : "";
}

// A damaged entry shows in libarchive's message; it has no code of its own.
int ReadFailure(struct archive* in) {
  const char* why = archive_error_string(in);
  return (why && std::strstr(why, "CRC")) ? kCrcError : kFatal;
}

// The worst status so far wins: a damaged archive over a refused entry
// over a warning.
void Raise(int& status, int code) {
  auto rank = [](int c) {
    switch (c) {
      case kFatal: return 4;
      case kCrcError: return 3;
      case kCreateError: return 2;
      case kWarning: return 1;
      default: return 0;
    }
  };
  if (rank(code) > rank(status)) status = code;
}

// The CRCs of the entries, read from the archive's own headers: libarchive
// does not check the data of stored entries against them. Empty when the
// archive is not one whose headers we read (RAR 5, encrypted headers);
// libarchive checks those itself.
std::vector<ArchiveBlock> StoredCrcs(const std::string& archive) {
  std::FILE* f = std::fopen(archive.c_str(), "rb");
  if (!f) return {};
  std::vector<ArchiveBlock> blocks;
  try {
    blocks = ReadFileBlocks(f, false);
  } catch (const ArchiveError&) {
    blocks.clear();
  }
  std::fclose(f);
  return blocks;
}

// The archive's name of an entry in libarchive's form ("/" between
// components, no trailing "/"), to pair a header with libarchive's entry.
std::string SlashName(std::string name) {
  for (char& c : name)
    if (c == '\\') c = '/';
  while (!name.empty() && name.back() == '/') name.pop_back();
  return name;
}

}  // namespace

int ExtractArchive(const std::string& archiveArg, const std::string& destination) {
  std::error_code ec;
  const std::string archive = fs::absolute(archiveArg, ec).string();
  fs::create_directories(destination, ec);
  if (ec || !fs::is_directory(destination)) {
    std::fprintf(stderr, "WinRAR: cannot create the folder %s: %s\n", destination.c_str(),
                 ec ? ec.message().c_str() : "a file of that name is in the way");
    return kCreateError;
  }

  const std::vector<ArchiveBlock> crcs = StoredCrcs(archive);
  struct archive* in = archive_read_new();
  archive_read_support_format_rar(in);
  archive_read_support_format_rar5(in);
  // Names without the Unicode field are in the code page of the machine
  // that packed them, which for our packages is code page 936.
  if (archive_read_set_options(in, "rar:hdrcharset=CP936") != ARCHIVE_OK)
    std::fprintf(stderr, "WinRAR: warning: %s\n", archive_error_string(in));
  if (archive_read_open_filename(in, archive.c_str(), 1 << 16) != ARCHIVE_OK) {
    std::fprintf(stderr, "WinRAR: cannot open %s: %s\n", archive.c_str(), archive_error_string(in));
    archive_read_free(in);
    return kFatal;
  }

  // Entries are written relative to the destination, so the checks on
  // their paths see only what lies inside it. The program ends after this
  // command, so the working folder is not changed back.
  if (chdir(destination.c_str()) != 0) {
    std::fprintf(stderr, "WinRAR: cannot enter %s: %s\n", destination.c_str(), std::strerror(errno));
    archive_read_free(in);
    return kCreateError;
  }

  struct archive* out = archive_write_disk_new();
  archive_write_disk_set_options(out, ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_UNLINK |
                                          ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                          ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                          ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
  archive_write_disk_set_standard_lookup(out);

  int status = kSuccess;
  bool damaged = false;
  for (std::size_t index = 0;; ++index) {
    struct archive_entry* entry = nullptr;
    int r = archive_read_next_header(in, &entry);
    if (r == ARCHIVE_EOF) break;
    if (r < ARCHIVE_WARN) {
      std::fprintf(stderr, "WinRAR: %s: %s\n", archiveArg.c_str(), archive_error_string(in));
      Raise(status, ReadFailure(in));
      break;
    }
    if (r == ARCHIVE_WARN) {
      std::fprintf(stderr, "WinRAR: warning: %s\n", archive_error_string(in));
      Raise(status, kWarning);
    }
    const std::string name = Text(archive_entry_pathname_utf8(entry), archive_entry_pathname(entry));
    const ArchiveBlock* header = nullptr;
    if (index < crcs.size() && SlashName(crcs[index].name) == SlashName(name)) header = &crcs[index];

    std::string why = name.empty() ? "its name cannot be read as code page 936" : UnsafePath(name);
    if (why.empty() && archive_entry_filetype(entry) == AE_IFLNK)
      why = UnsafeLinkTarget(Text(archive_entry_symlink_utf8(entry), archive_entry_symlink(entry)));
    const char* hardlink = archive_entry_hardlink(entry);
    if (why.empty() && hardlink) why = UnsafePath(Text(archive_entry_hardlink_utf8(entry), hardlink));
    if (!why.empty()) {
      std::fprintf(stderr, "WinRAR: refused %s: %s; nothing written for it\n",
                   name.empty() ? "an entry" : name.c_str(), why.c_str());
      Raise(status, kCreateError);
      continue;
    }

    r = archive_write_header(out, entry);
    if (r < ARCHIVE_WARN) {
      std::fprintf(stderr, "WinRAR: cannot create %s: %s\n", name.c_str(), archive_error_string(out));
      Raise(status, kCreateError);
      continue;
    }
    if (r == ARCHIVE_WARN) {
      std::fprintf(stderr, "WinRAR: warning: %s: %s\n", name.c_str(), archive_error_string(out));
      Raise(status, kWarning);
    }

    bool writeFailed = false;
    std::uint32_t crc = 0;
    if (archive_entry_size(entry) > 0 || archive_entry_filetype(entry) == AE_IFREG) {
      for (;;) {
        const void* buf = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        r = archive_read_data_block(in, &buf, &size, &offset);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN) {
          std::fprintf(stderr, "WinRAR: %s: %s\n", name.c_str(), archive_error_string(in));
          Raise(status, ReadFailure(in));
          damaged = true;
          break;
        }
        crc = Crc32(crc, buf, size);
        if (!writeFailed && archive_write_data_block(out, buf, size, offset) < ARCHIVE_WARN) {
          std::fprintf(stderr, "WinRAR: cannot write %s: %s\n", name.c_str(), archive_error_string(out));
          Raise(status, kCreateError);
          writeFailed = true;
        }
      }
    }
    if (archive_write_finish_entry(out) < ARCHIVE_WARN && !writeFailed) {
      std::fprintf(stderr, "WinRAR: cannot write %s: %s\n", name.c_str(), archive_error_string(out));
      Raise(status, kCreateError);
    }
    const bool isFile = archive_entry_filetype(entry) == AE_IFREG && !hardlink;
    bool badCrc = !damaged && !writeFailed && isFile && header && !header->directory && crc != header->crc;
    if (badCrc) {
      std::fprintf(stderr, "WinRAR: CRC error in %s: the file is damaged\n", name.c_str());
      Raise(status, kCrcError);
    }
    if ((damaged || badCrc) && isFile) {
      // What was written of a damaged entry is not its content; the file
      // it replaced is gone already, so leave nothing that looks sound.
      unlink(name.c_str());
    }
    if (damaged) break;
  }

  if (archive_write_close(out) < ARCHIVE_WARN) {
    std::fprintf(stderr, "WinRAR: warning: %s\n", archive_error_string(out));
    Raise(status, kWarning);
  }
  archive_write_free(out);
  archive_read_free(in);
  return status;
}

}  // namespace winrar
