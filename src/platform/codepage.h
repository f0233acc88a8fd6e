// The system ANSI code page: Windows code page 936 (GBK) on disk, UTF-8 in
// the program. Never a strict GB2312 converter: browsers read that label as
// GBK.
#pragma once
#include <stdexcept>
#include <string>

namespace platform {

// A text handed to ToAnsi or ToAnsiXml holds bytes that are not UTF-8, so
// there is no character to write for them.
class NotUtf8Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// UTF-8 to GBK. A character GBK cannot hold becomes "?", as the platform's
// own conversion does; use ToAnsiXml where the text is markup. Bytes that
// are not UTF-8 are never guessed at: they raise NotUtf8Error.
std::string ToAnsi(const std::string& utf8);
// UTF-8 to GBK for XML and HTML: a character GBK cannot hold becomes the
// numeric character reference "&#N;", so nothing is lost. Bytes that are
// not UTF-8 raise NotUtf8Error.
std::string ToAnsiXml(const std::string& utf8);

// The length of the UTF-8 character that starts at text[at]; 0 when the
// bytes there are not one (a stray byte, a cut or overlong sequence).
std::size_t Utf8CharLength(const std::string& text, std::size_t at);

// GBK to UTF-8. Bytes that are not valid GBK become U+FFFD; never throws.
std::string FromAnsi(const std::string& ansi);
// Length of the text in ANSI bytes (a Chinese character counts 2).
int AnsiLength(const std::string& utf8);

}  // namespace platform
