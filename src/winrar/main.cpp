// The archiver stand-in: the two command lines the site packer and the
// package import use, and nothing else.
#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include <langinfo.h>

#include "winrar/commands.h"
#include "winrar/rar4.h"

namespace {

const char kUsage[] =
    "Usage: WinRAR a -m0 -ep1 -r <archive> <folder>/*.*\n"
    "       WinRAR X -o+ <archive> *.* <destination>\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "WinRAR: %s\n%s", why.c_str(), kUsage);
  return winrar::kUsage;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

// Names inside the program are UTF-8; libarchive converts archive names to
// the locale's character set, so that set must be UTF-8 whatever the
// caller's environment says.
void UseUtf8Locale() {
  std::setlocale(LC_ALL, "");
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || std::strcmp(codeset, "UTF-8") != 0) std::setlocale(LC_ALL, "C.UTF-8");
}

int Dispatch(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("no command given");

  // Commands and switches are case-insensitive, as the console archiver's
  // are; switches come between the command and the first name.
  const std::string command = Lower(args[0]);
  std::set<std::string> switches;
  std::vector<std::string> names;
  bool inSwitches = true;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (inSwitches && args[i] == "--") {
      inSwitches = false;
    } else if (inSwitches && args[i].size() > 1 && args[i][0] == '-') {
      switches.insert(Lower(args[i]));
    } else {
      inSwitches = false;
      names.push_back(args[i]);
    }
  }

  if (command == "a") {
    if (switches != std::set<std::string>{"-m0", "-ep1", "-r"})
      return Usage("the a command takes exactly the switches -m0 -ep1 -r");
    if (names.size() != 2) return Usage("the a command takes an archive and one source pattern");
    // The source is <folder>/*.*, where *.* matches every name, with or
    // without a dot. A folder given with its own trailing "/" arrives as
    // <folder>//*.* and means the same; a bare *.* is the current folder.
    const std::string& pattern = names[1];
    const std::string mask = "*.*";
    if (pattern.size() < mask.size() || pattern.compare(pattern.size() - mask.size(), mask.size(), mask) != 0)
      return Usage("the source must be <folder>/*.*");
    std::string folder = pattern.substr(0, pattern.size() - mask.size());
    if (folder.empty()) folder = ".";
    else if (folder.back() != '/') return Usage("the source must be <folder>/*.*");
    // The paths shown in messages join the folder and the names with one
    // "/": the folder goes on without its own.
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return winrar::AddToArchive(names[0], folder);
  }
  if (command == "x") {
    if (switches != std::set<std::string>{"-o+"}) return Usage("the X command takes exactly the switch -o+");
    if (names.size() != 3 || names[1] != "*.*")
      return Usage("the X command takes an archive, *.* and a destination folder");
    return winrar::ExtractArchive(names[0], names[2]);
  }
  return Usage("unknown command \"" + args[0] + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Locale();
  try {
    return Dispatch(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& err) {
    std::fprintf(stderr, "WinRAR: %s\n", err.what());
    return winrar::kFatal;
  }
}
