#include "platform/case_rule.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/codepage.h"
#include "platform/fso.h"
#include "platform/fso_shared.h"

namespace platform {
namespace fso {
namespace detail {
namespace {

thread_local CaseProbe caseProbe;

bool IsAsciiLetter(char c) {
  const unsigned char lower = static_cast<unsigned char>(c) | 0x20;
  return lower >= 'a' && lower <= 'z';
}

// The name with each ASCII letter in the other case.
std::string OtherCase(const std::string& name) {
  std::string other = name;
  for (char& c : other)
    if (IsAsciiLetter(c)) c = static_cast<char>(c ^ 0x20);
  return other;
}

}  // namespace

bool HasAsciiLetter(const std::string& name) {
  return std::any_of(name.begin(), name.end(), IsAsciiLetter);
}

// Beyond ASCII, only what has no case passes: general punctuation, Chinese,
// Japanese and Korean script with their punctuation, full-width digits and
// signs. For any other name the disk itself is asked.
bool FoldsAsAscii(const std::string& name) {
  for (std::size_t i = 0; i < name.size();) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const std::size_t len = Utf8CharLength(name, i);
    if (len < 3) return false;
    std::uint32_t cp = c & (len == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
    const bool caseless = (cp >= 0x2000 && cp < 0x2070) || (cp >= 0x2E80 && cp < 0xA640) ||
                          (cp >= 0xAC00 && cp < 0xD800) || (cp >= 0xF900 && cp < 0xFB00) ||
                          (cp >= 0xFE30 && cp < 0xFE50) || (cp >= 0xFF01 && cp < 0xFF21) ||
                          (cp >= 0x20000 && cp < 0x40000);
    if (!caseless) return false;
    i += len;
  }
  return true;
}

void LearnCaseRule(int dirFd, const std::string& folder, const std::vector<std::string>& names,
                   CaseRule& rule) {
  for (const std::string& name : names) {
    if (!HasAsciiLetter(name)) continue;
    const std::string other = OtherCase(name);
    if (std::binary_search(names.begin(), names.end(), other, NameLess)) {
      rule.folds = 0;  // both spellings are listed
      return;
    }
    if (caseProbe) {
      rule.folds = caseProbe(Join(folder, other)) ? 1 : 0;
      return;
    }
    struct stat st;
    if (::fstatat(dirFd, other.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      rule.folds = 1;
      return;
    }
    if (errno == ENOENT) {
      rule.folds = 0;
      return;
    }
  }
}

}  // namespace detail

bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && !(detail::IsAsciiLetter(a[i]) && (a[i] ^ b[i]) == 0x20)) return false;
  return true;
}

CaseProbe SetCaseProbe(CaseProbe probe) {
  std::swap(detail::caseProbe, probe);
  return probe;
}

}  // namespace fso
}  // namespace platform
