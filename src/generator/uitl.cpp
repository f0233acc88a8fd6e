#include "generator/uitl.h"

#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>

#include "generator/generator.h"
#include "generator/skip_on_error.h"
#include "generator/ui_sink.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/folder_visits.h"
#include "platform/fso.h"
#include "platform/paths.h"

namespace talvora {

using platform::kSep;
namespace fso = platform::fso;

using fso::ChildPath;

std::string ScriptString(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' || c == '"')
      out += std::string("\\") + c;
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '<' && i + 1 < text.size() && text[i + 1] == '/')
      out += "<\\";  // the "/" follows
    else if (text.compare(i, 3, "\xe2\x80\xa8") == 0 || text.compare(i, 3, "\xe2\x80\xa9") == 0) {
      out += text[i + 2] == '\xa8' ? "\\u2028" : "\\u2029";  // line ends to a script
      i += 2;
    } else
      out += c;
  }
  return out;
}

std::string SiteFolderPath(const std::string& typed) {
  if (typed.empty()) return typed;
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(typed, ec);
  std::string path = (ec ? std::filesystem::path(typed) : p).lexically_normal().string();
  while (path.size() > 1 && path.back() == kSep) path.pop_back();
  return path;
}

// Number of characters (code points) of a UTF-8 text.
std::size_t CharCount(const std::string& text) {
  std::size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// The last `count` characters of a UTF-8 text.
std::string RightChars(const std::string& text, std::size_t count) {
  std::size_t total = CharCount(text);
  if (count >= total) return text;
  std::size_t skip = total - count;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (skip == 0) break;
      --skip;
    }
  }
  return text.substr(i);
}

// The first `count` characters of a UTF-8 text.
std::string LeftChars(const std::string& text, std::size_t count) {
  std::size_t i = 0;
  for (std::size_t seen = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (seen == count) break;
      ++seen;
    }
  }
  return text.substr(0, i);
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int CountFoldersBelow(const std::string& folder, fso::FolderVisits& visits) {
  if (Options().CancelFlag == -1) return 0;
  // The cancel button can act between two folders.
  PumpMessages();
  int count = 0;
  for (const std::string& name : fso::SubFolderNames(folder)) {
    std::string sub = ChildPath(folder, name);
    // Each real folder inside counts once, however many links lead to it.
    if (!visits.Enter(sub)) continue;
    if (!fso::SubFolderNames(sub).empty())
      count += CountFoldersBelow(sub, visits) + 1;
    else
      count += 1;
  }
  return count;
}

}  // namespace

// --- Names and paths ---

std::string GetFileName(const std::string& path) {
  std::size_t pos = path.rfind(kSep);
  if (pos == std::string::npos) return path;
  return path.substr(pos + 1);
}

std::string GetBaseName(const std::string& path) {
  std::string name = GetFileName(path);
  std::size_t pos = name.rfind('.');
  if (pos == std::string::npos) return name;
  return name.substr(0, pos);
}

std::string GetExtension(const std::string& text) {
  std::size_t pos = text.rfind('.');
  if (pos == std::string::npos) return text;
  return text.substr(pos + 1);
}

int CountLevels(const std::string& relativePath) {
  if (relativePath == platform::kSepStr) return 0;
  int count = 0;
  for (char c : relativePath)
    if (c == kSep) ++count;
  return count;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

void TrimSlashes(std::string& path) {
  if (!path.empty() && path.front() == kSep) path.erase(0, 1);
  if (!path.empty() && path.back() == kSep) path.pop_back();
}

std::string StripNumberPrefix(const std::string& name) {
  std::string rest = name;
  for (int i = 0; i < 3; ++i)
    if (!rest.empty() && IsDigit(rest.front())) rest.erase(0, 1);
  return rest;
}

std::string RelativePath(const std::string& root, const std::string& path) {
  if (path.find(root) == std::string::npos) return path;
  // Counted in characters, so a cut never splits a Chinese character.
  std::size_t pathChars = CharCount(path), rootChars = CharCount(root);
  return RightChars(path, pathChars - rootChars);
}

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Walks the name's characters, handing `keep` each UTF-8 character to see
// whether it may stand as it is, and `replace` what may not: each stray byte
// on its own, or the character's bytes.
template <typename Keep, typename Replace>
std::string RewriteName(const std::string& name, Keep keep, Replace replace) {
  // Most names are printable ASCII, which both forms keep but for the few
  // characters a link escapes.
  bool plain = true;
  for (std::size_t i = 0; plain && i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    plain = c >= 0x20 && c < 0x80 && keep(name, i, 1);
  }
  if (plain) return name;
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    std::size_t len = platform::Utf8CharLength(name, i);
    if (len == 0) {
      replace(out, name.substr(i, 1));
      i += 1;
      continue;
    }
    if (keep(name, i, len))
      out.append(name, i, len);
    else
      replace(out, name.substr(i, len));
    i += len;
  }
  return out;
}

// U+FFFE and U+FFFF (EF BF BE, EF BF BF): characters of Unicode that XML
// 1.0 excludes, like the control characters.
bool IsXmlNonCharacter(const std::string& name, std::size_t i, std::size_t len) {
  return len == 3 && name.compare(i, 2, "\xEF\xBF") == 0 &&
         (name[i + 2] == '\xBE' || name[i + 2] == '\xBF');
}

}  // namespace

std::string ShownName(const std::string& name) {
  return RewriteName(
      name,
      [](const std::string& n, std::size_t i, std::size_t len) {
        unsigned char c = static_cast<unsigned char>(n[i]);
        if (len > 1) return !IsXmlNonCharacter(n, i, len);
        return c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
      },
      [](std::string& out, const std::string&) { out += "\xEF\xBF\xBD"; });
}

std::string LinkName(const std::string& name) {
  return RewriteName(
      name,
      [](const std::string& n, std::size_t i, std::size_t len) {
        char c = n[i];
        if (len > 1) return !IsXmlNonCharacter(n, i, len);
        // A browser reads "\" in an http address as "/".
        if (static_cast<unsigned char>(c) < 0x20 || c == '#' || c == '?' || c == '\\') return false;
        return !(c == '%' && i + 2 < n.size() && IsHexDigit(n[i + 1]) && IsHexDigit(n[i + 2]));
      },
      [](std::string& out, const std::string& bytes) {
        static const char kHex[] = "0123456789ABCDEF";
        for (unsigned char b : bytes) {
          out += '%';
          out += kHex[b >> 4];
          out += kHex[b & 0xF];
        }
      });
}

std::string ParentPrefix(const std::string& path) {
  std::size_t pos = path.rfind(kSep);
  if (pos == std::string::npos) return path;
  return path.substr(0, pos + 1);
}

// --- Existence tests and counts ---

bool FileExists(const std::string& path) {
  try {
    return fso::FileExists(path);
  } catch (const platform::SiteChangedError&) {
    throw;
  } catch (...) {
    return false;
  }
}

bool FolderExists(const std::string& path) {
  try {
    return fso::FolderExists(path);
  } catch (const platform::SiteChangedError&) {
    throw;
  } catch (...) {
    return false;
  }
}

std::string GetIndexPage(const std::string& folder) {
  return FileExists(folder + kSep + "index.html") ? "index.html" : "";
}

bool IsSiteRoot(const std::string& folder) { return FileExists(folder + kSep + "startxml.xsl"); }

bool HasSiteMarker(const std::string& path) {
  if (!FileExists(path)) return false;
  std::string head = fso::ReadBytes(path, 4);
  return head.size() >= 3 && head.compare(0, 3, "<qz") == 0;
}

int CountFolders(const std::string& folder) {
  if (Options().CancelFlag == -1) return 0;
  fso::FolderVisits visits(folder);
  return CountFoldersBelow(folder, visits);
}

// --- Delete and copy when the source exists ---
// A failure is passed over (Try), but never the site changing under the run.

void DeleteFileIfExists(const std::string& path) {
  Try([&] {
    // A link goes as the file it stands for, a dangling one too.
    if (fso::FileExists(path) || fso::IsLink(path)) fso::DeleteFile(path, false);
  });
}

void DeleteFolderIfExists(const std::string& path) {
  Try([&] {
    if (fso::FolderExists(path)) fso::DeleteFolder(path, false);
  });
}

void CopyFileIfExists(const std::string& source, const std::string& target) {
  Try([&] {
    if (fso::FileExists(source)) fso::CopyFile(source, target, true);
  });
}

void CopyFolderIfExists(const std::string& source, const std::string& target) {
  Try([&] {
    if (fso::FolderExists(source)) fso::CopyFolder(source, target, true);
  });
}

void WriteTextFile(const std::string& path, const std::string& text) {
  // The files written this way are HTML: what GBK cannot hold stays as a
  // character reference instead of turning into "?".
  std::string bytes;
  try {
    bytes = platform::ToAnsiXml(text) + "\r\n";
  } catch (const platform::NotUtf8Error& e) {
    throw platform::FsoError("cannot write file \"" + path + "\": " + e.what());
  }
  fso::WriteBytes(path, bytes);
}

// --- Other ---

std::string BrowseForFolder(void* /*owner*/, const std::string& prompt) {
  return platform::BrowseFolderDialog(prompt);
}

float RandomValue() {
  std::mt19937 gen(static_cast<std::uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  // 24 random bits over 2^24: exactly representable, never 1.
  return static_cast<float>(gen() >> 8) / 16777216.0f;
}

// --- Programs, archives, the status line ---

platform::ProcessResult ShellAndWait(const std::string& program,
                                     const std::vector<std::string>& args, bool captureErrors) {
  platform::ProcessResult result = platform::SpawnAndWait(program, args, captureErrors);
  if (!result.started)
    platform::MsgBox(result.error, platform::vbInformation | platform::vbOKOnly, "存在错误");
  return result;
}

namespace {
std::string Archiver() { return platform::ProgramFolder() + kSep + "WinRAR" + kSep + "WinRAR"; }
std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
}  // namespace

std::string RarPackCommandLine(const std::string& folder, const std::string& archive) {
  return Archiver() + " a -m0 -ep1 -r " + Quoted(archive) + " " + Quoted(folder + kSep + "*.*");
}

std::string RarUnpackCommandLine(const std::string& archive, const std::string& destination) {
  return Archiver() + " X -o+ " + Quoted(archive) + " *.*" + " " + Quoted(destination);
}

platform::ProcessResult RarPack(const std::string& folder, const std::string& archive) {
  // Lets the busy form the caller has just shown paint before the wait.
  PumpMessages();
  platform::ProcessResult result =
      ShellAndWait(Archiver(), {"a", "-m0", "-ep1", "-r", archive, folder + kSep + "*.*"}, true);
  PumpMessages();
  return result;
}

platform::ProcessResult RarUnpack(const std::string& archive, const std::string& destination) {
  PumpMessages();
  platform::ProcessResult result =
      ShellAndWait(Archiver(), {"X", "-o+", archive, "*.*", destination}, true);
  PumpMessages();
  return result;
}

std::string ArchiverErrorLine(const platform::ProcessResult& result) {
  std::size_t start = 0;
  while (start < result.errorOutput.size()) {
    std::size_t end = result.errorOutput.find('\n', start);
    if (end == std::string::npos) end = result.errorOutput.size();
    std::string line = result.errorOutput.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) return line;
    start = end + 1;
  }
  return "";
}

std::string PackFailure(const platform::ProcessResult& result) {
  if (!result.started || result.exitCode == 0) return "";
  std::string text = "压缩程序返回错误代码 " + std::to_string(result.exitCode);
  const std::string line = ArchiverErrorLine(result);
  if (!line.empty()) text += "\r\n" + line;
  return text;
}

void OpenInExplorer(const std::string& target) {
  try {
    platform::OpenWithDesktop(target);
  } catch (...) {
  }
}

std::string StatusText(const std::string& message, std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &local);
  return "[ " + std::string(stamp) + " ]  " + message;
}

void ShowStatus(const std::string& message) {
  platform::fso::OutsideListingScope window;
  if (UiSink* sink = GetUiSink()) sink->StatusChanged(StatusText(message, std::time(nullptr)));
}

}  // namespace talvora

namespace quenlet {

using platform::kSep;
namespace fso = platform::fso;

std::string ProgramDataFolder() {
  std::string folder = platform::ProgramFolder();
  if (talvora::FolderExists(folder + kSep + "template")) return folder;
  std::size_t at = folder.rfind(kSep);
  if (at == std::string::npos) return folder;
  return at == 0 ? platform::kSepStr : folder.substr(0, at);
}

std::string GetIndexPage(const std::string& folder) {
  std::string page;
  if (talvora::FileExists(folder + kSep + "index.html")) page = "index.html";
  if (talvora::FileExists(folder + kSep + "index.htm")) page = "index.htm";
  return page;
}

std::string StripNumberPrefix(const std::string& text, bool always) {
  if (Options().SubjectText != "数学" && !always) return text;
  return talvora::StripNumberPrefix(text);
}

std::string GetSegmentBeforeSlash(const std::string& text) {
  std::size_t at = text.rfind('/');
  if (at == std::string::npos) return text;
  std::string before = text.substr(0, at);
  // Its last component, cut at the path separator.
  return talvora::GetFileName(before);
}

std::string TruncateText(const std::string& text, int limit) {
  if (limit < 0) limit = 0;
  std::size_t n = static_cast<std::size_t>(limit);
  if (n + 1 < talvora::CharCount(text)) return talvora::LeftChars(text, n) + "....";
  return text;
}

std::string ProgressPathText(const std::string& path) {
  std::size_t length = talvora::CharCount(path);
  if (length <= 70) return path;
  // Half the length, a half going to the even neighbour.
  std::size_t half = length / 2;
  if (length % 2 == 1 && half % 2 == 1) ++half;
  return talvora::LeftChars(path, half) + "...." + talvora::RightChars(path, 24);
}

std::string GetThumbnail(const std::string& folder, const std::string& fileName) {
  const std::string target = "TN_" + talvora::GetBaseName(fileName);
  for (const std::string& name : fso::FileNames(folder))
    if (talvora::GetBaseName(name) == target) return name;
  std::string ext = talvora::GetExtension(fileName);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "jpg" || ext == "gif" || ext == "bmp") return fileName;
  return "";
}

void DeleteFileIfExists(const std::string& path) {
  if (fso::FileExists(path) || fso::IsLink(path)) fso::DeleteFile(path, false);
}

void CopyFileIfExists(const std::string& source, const std::string& target) {
  if (!fso::FileExists(source)) return;
  try {
    fso::CopyFile(source, target, true);
  } catch (const platform::SiteChangedError&) {
    throw;
  } catch (const platform::FsoError&) {
  }
}

void CopyFolderIfExists(const std::string& source, const std::string& target) {
  if (fso::FolderExists(source)) fso::CopyFolder(source, target, true);
}

}  // namespace quenlet
