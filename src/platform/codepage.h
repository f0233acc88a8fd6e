// The system ANSI code page: Windows code page 936 (GBK) on disk, UTF-8 in
// the program. Never a strict GB2312 converter: browsers read that label as
// GBK.
#pragma once
#include <string>

namespace platform {

// UTF-8 to GBK. A character GBK cannot hold becomes "?", as the platform's
// own conversion does; use ToAnsiXml where the text is markup.
std::string ToAnsi(const std::string& utf8);
// UTF-8 to GBK for XML and HTML: a character GBK cannot hold becomes the
// numeric character reference "&#N;", so nothing is lost.
std::string ToAnsiXml(const std::string& utf8);

// GBK to UTF-8. Bytes that are not valid GBK become U+FFFD; never throws.
std::string FromAnsi(const std::string& ansi);
// Length of the text in ANSI bytes (a Chinese character counts 2).
int AnsiLength(const std::string& utf8);

}  // namespace platform
