#include "platform/codepage.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <stdexcept>

#include <iconv.h>

namespace platform {
namespace {

// Windows code page 936. glibc knows it under this name, with the euro sign
// at 0x80 as Windows has it.
constexpr const char* kAnsiName = "CP936";

// One converter pair per thread: opening a converter costs far more than
// converting a file name, and the generator converts a great many.
class Converters {
 public:
  Converters()
      : toAnsi_(iconv_open(kAnsiName, "UTF-8")), fromAnsi_(iconv_open("UTF-8", kAnsiName)) {}
  ~Converters() {
    if (toAnsi_ != Invalid()) iconv_close(toAnsi_);
    if (fromAnsi_ != Invalid()) iconv_close(fromAnsi_);
  }
  Converters(const Converters&) = delete;
  Converters& operator=(const Converters&) = delete;

  iconv_t ToAnsi() { return Ready(toAnsi_); }
  iconv_t FromAnsi() { return Ready(fromAnsi_); }

 private:
  static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
  static iconv_t Ready(iconv_t cd) {
    if (cd == Invalid()) throw std::runtime_error("the GBK (CP936) converter is not available");
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    return cd;
  }
  iconv_t toAnsi_;
  iconv_t fromAnsi_;
};

Converters& ThreadConverters() {
  thread_local Converters converters;
  return converters;
}

bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// The code point of the UTF-8 sequence at s[i] and its length; length 0
// when the bytes there are not a valid sequence.
std::pair<std::uint32_t, std::size_t> DecodeUtf8(const std::string& s, std::size_t i) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  std::size_t len;
  std::uint32_t cp;
  if (c < 0x80) return {c, 1};
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
  } else {
    return {0, 0};
  }
  if (i + len > s.size()) return {0, 0};
  for (std::size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return {0, 0};
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return {0, 0};
  return {cp, len};
}

// Converts with iconv, handing every sequence it cannot convert to
// `replace`, which appends its stand-in and returns how many input bytes
// to skip.
template <typename Replace>
std::string Convert(iconv_t cd, const std::string& in, Replace replace) {
  std::string out;
  out.reserve(in.size() * 2);
  std::size_t pos = 0;
  char buffer[4096];
  while (pos < in.size()) {
    char* src = const_cast<char*>(in.data() + pos);
    std::size_t srcLeft = in.size() - pos;
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    int err = errno;
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    pos = in.size() - srcLeft;
    if (rc != static_cast<std::size_t>(-1)) break;
    if (err == E2BIG) continue;
    // EILSEQ (not convertible) or EINVAL (cut off at the end).
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::size_t skip = replace(out, pos, err == EINVAL);
    pos += skip == 0 ? 1 : skip;
  }
  // Flush any shift state (none for these two, but cheap).
  char* dst = buffer;
  std::size_t dstLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out.append(buffer, static_cast<std::size_t>(dst - buffer));
  return out;
}

// The text as a message can show it: every byte that is not part of a
// UTF-8 character written as \xNN.
std::string ShowBytes(const std::string& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = DecodeUtf8(text, i).second;
    if (len == 0) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "\\x%02X", static_cast<unsigned char>(text[i]));
      shown += byte;
      len = 1;
    } else {
      shown.append(text, i, len);
    }
    i += len;
  }
  return shown;
}

std::string ToAnsiWith(const std::string& utf8, bool characterReferences) {
  if (IsAscii(utf8)) return utf8;
  return Convert(ThreadConverters().ToAnsi(), utf8,
                 [&](std::string& out, std::size_t pos, bool) -> std::size_t {
                   auto [cp, len] = DecodeUtf8(utf8, pos);
                   if (len == 0) {
                     // Not UTF-8 at all: there is no character to write,
                     // and a "?" would pass for one.
                     throw NotUtf8Error("the text is not UTF-8: \"" + ShowBytes(utf8) + "\"");
                   }
                   if (characterReferences)
                     out += "&#" + std::to_string(cp) + ";";
                   else
                     out += '?';
                   return len;
                 });
}

}  // namespace

std::string ToAnsi(const std::string& utf8) { return ToAnsiWith(utf8, false); }

std::string ToAnsiXml(const std::string& utf8) { return ToAnsiWith(utf8, true); }

std::string FromAnsi(const std::string& ansi) {
  if (IsAscii(ansi)) return ansi;
  try {
    return Convert(ThreadConverters().FromAnsi(), ansi,
                   [&](std::string& out, std::size_t pos, bool truncated) -> std::size_t {
                     out += "\xEF\xBF\xBD";  // U+FFFD
                     // A lead byte cut off at the end stands for one lost
                     // character; otherwise drop only the byte that cannot
                     // start a character, so the next one is read again.
                     return truncated ? ansi.size() - pos : 1;
                   });
  } catch (...) {
    // Without a converter, keep the ASCII and mark everything else.
    std::string out;
    for (unsigned char c : ansi) {
      if (c < 0x80)
        out += static_cast<char>(c);
      else
        out += "\xEF\xBF\xBD";
    }
    return out;
  }
}

std::size_t Utf8CharLength(const std::string& text, std::size_t at) {
  return at < text.size() ? DecodeUtf8(text, at).second : 0;
}

int AnsiLength(const std::string& utf8) { return static_cast<int>(ToAnsi(utf8).size()); }

}  // namespace platform
