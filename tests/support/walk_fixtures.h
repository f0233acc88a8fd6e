// Folder trees that walks over a site meet in real use: links that lead out
// of it or fan out inside it, and folders nested past the path-length limit.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace testing_support {

// A small fake template style: the two stylesheets, a picture folder and
// the template's own index page.
inline void MakeSmallStyle(const std::string& style) {
  WriteFile(style + "/startxml.xsl", "<xsl:stylesheet/>");
  WriteFile(style + "/innerxml.xsl", "<xsl:stylesheet/>");
  WriteFile(style + "/startxml.files/logo.gif", "template-logo");
  WriteFile(style + "/index.html", "template-index");
}

// A site's folder to swap under a run: dir/site/d holding f.txt and
// sub/g.txt, dir/outside holding the same names for a link to lead to, and
// dir/loose.txt and dir/tree to copy or move in. Returns the folder's path.
inline std::string MakeFolderToSwap(const std::string& dir) {
  const std::string folder = dir + "/site/d";
  WriteFile(folder + "/f.txt", "listed");
  WriteFile(folder + "/sub/g.txt", "listed");
  WriteFile(dir + "/outside/f.txt", "outside");
  WriteFile(dir + "/outside/sub/g.txt", "outside");
  WriteFile(dir + "/loose.txt", "loose");
  WriteFile(dir + "/tree/t.txt", "t");
  return folder;
}

// Every entry below a folder (links not followed) with a file's bytes or a
// link's target, to see that a run left it alone.
inline std::map<std::string, std::string> Snapshot(const std::string& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string rel = fs::relative(it->path(), folder).string();
    if (it->is_symlink())
      entries[rel] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_regular_file())
      entries[rel] = ReadFile(it->path().string());
    else
      entries[rel] = "folder";
  }
  return entries;
}

// `count` folders f00, f01, ... in the folder, each holding a page p.htm
// and two links a and b to the next one: 2^count paths, `count` folders.
inline void MakeLinkFanOut(const std::string& folder, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string name = std::string("f") + char('0' + i / 10) + char('0' + i % 10);
    WriteFile(folder + "/" + name + "/p.htm", "p");
    if (i + 1 == count) continue;
    const std::string next = std::string("../f") + char('0' + (i + 1) / 10) + char('0' + (i + 1) % 10);
    for (const char* link : {"a", "b"})
      if (symlink(next.c_str(), (folder + "/" + name + "/" + link).c_str()) != 0)
        throw std::runtime_error("symlink failed");
  }
}

// Folders nested below `folder` with names of 200 letters (a different
// letter on each level), each holding p.htm, until a path passes the
// system's limit. Made through descriptors, which know no such limit.
// Returns the paths, the last one the first that is too long.
inline std::vector<std::string> MakeDeepTree(const std::string& folder) {
  std::vector<std::string> paths;
  std::string path = folder;
  int fd = open(folder.c_str(), O_DIRECTORY | O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + folder);
  for (int level = 0; fd >= 0; ++level) {
    const std::string name(200, static_cast<char>('a' + level % 26));
    path += "/" + name;
    paths.push_back(path);
    if (mkdirat(fd, name.c_str(), 0755) != 0) throw std::runtime_error("mkdirat failed");
    int sub = openat(fd, name.c_str(), O_DIRECTORY | O_RDONLY);
    close(fd);
    fd = sub;
    int page = openat(fd, "p.htm", O_CREAT | O_WRONLY, 0644);
    if (page >= 0) close(page);
    if (path.size() >= PATH_MAX) break;
  }
  if (fd >= 0) close(fd);
  return paths;
}

// Removes what a folder descriptor holds, at any depth.
inline void RemoveContentAt(int fd) {
  DIR* dir = fdopendir(fd);
  if (!dir) return;
  std::vector<std::pair<std::string, bool>> entries;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    bool isDir = fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    entries.emplace_back(name, isDir);
  }
  for (const auto& [name, isDir] : entries) {
    if (isDir) {
      int sub = openat(dirfd(dir), name.c_str(), O_DIRECTORY | O_RDONLY);
      if (sub >= 0) RemoveContentAt(sub);
    }
    unlinkat(dirfd(dir), name.c_str(), isDir ? AT_REMOVEDIR : 0);
  }
  closedir(dir);
}

// Empties a folder that may hold paths too long for the file-system calls
// that take whole paths (TempDir's clean-up among them).
inline void RemoveDeepContent(const std::string& folder) {
  int fd = open(folder.c_str(), O_DIRECTORY | O_RDONLY);
  if (fd >= 0) RemoveContentAt(fd);
}

}  // namespace testing_support
