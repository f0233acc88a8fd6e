#include "platform/temp_names.h"

#include <cstdio>

namespace platform {
namespace {

constexpr std::string_view kDownloadStart = ".download-";
constexpr std::string_view kDownloadEnd = ".part";
constexpr std::size_t kDownloadDigits = 16;
constexpr std::size_t kArchiverLetters = 6;  // the X's
constexpr std::string_view kArchiverPattern = kArchiverTempPattern;
constexpr std::string_view kArchiverStart =
    kArchiverPattern.substr(0, kArchiverPattern.size() - kArchiverLetters);
constexpr std::string_view kWritePattern = kWriteTempPattern;
constexpr std::string_view kWriteStart = kWritePattern.substr(0, kWritePattern.size() - kArchiverLetters);

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool IsLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The name is start + `count` characters that `fits` takes + end.
template <typename Fits>
bool HasForm(std::string_view name, std::string_view start, std::size_t count, Fits fits,
             std::string_view end) {
  if (name.size() != start.size() + count + end.size()) return false;
  if (name.substr(0, start.size()) != start || name.substr(start.size() + count) != end)
    return false;
  for (char c : name.substr(start.size(), count))
    if (!fits(c)) return false;
  return true;
}

}  // namespace

std::string DownloadPartName(std::uint64_t value) {
  char digits[kDownloadDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
  return std::string(kDownloadStart) + digits + std::string(kDownloadEnd);
}

bool IsWriteTemporaryName(std::string_view name) {
  if (name.empty() || name.front() != '.') return false;
  return HasForm(name, kWriteStart, kArchiverLetters, IsLetterOrDigit, "");
}

bool IsOwnTemporaryName(std::string_view name) {
  // Nearly every name a walk meets fails on its first character.
  if (name.empty() || name.front() != '.') return false;
  return HasForm(name, kDownloadStart, kDownloadDigits, IsLowerHex, kDownloadEnd) ||
         HasForm(name, kArchiverStart, kArchiverLetters, IsLetterOrDigit, "") ||
         HasForm(name, kWriteStart, kArchiverLetters, IsLetterOrDigit, "");
}

}  // namespace platform
