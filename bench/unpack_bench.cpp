// How long the archiver takes to pack and to unpack a chain of nested
// folders of one letter each, with a file at its bottom: the names grow
// with the depth, so an archive of depth n holds about n*n/2 bytes of names.
// Prints the seconds of each, per depth.
//
//   unpack_bench [depth...]     (default: 1000 2000)
//
// The folders are made in TMPDIR.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "winrar/commands.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Made one folder at a time through descriptors, so no call takes the
// whole path.
bool MakeChain(const std::string& root, int depth) {
  mkdir(root.c_str(), 0755);
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth && fd >= 0; ++i) {
    mkdirat(fd, "d", 0755);
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  if (fd < 0) return false;
  const int file = openat(fd, "end.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const bool written = file >= 0 && write(file, "end", 3) == 3;
  if (file >= 0) close(file);
  close(fd);
  return written;
}

// Whether the chain below root is `depth` folders deep with "end" at its
// bottom.
bool ChainIsWhole(const std::string& root, int depth) {
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth && fd >= 0; ++i) {
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    close(fd);
    fd = next;
  }
  if (fd < 0) return false;
  char bytes[8] = {};
  const int file = openat(fd, "end.txt", O_RDONLY);
  const bool whole = file >= 0 && read(file, bytes, sizeof bytes) == 3 && std::string(bytes) == "end";
  if (file >= 0) close(file);
  close(fd);
  return whole;
}

// Removes everything below the folder `fd` holds open, and closes it.
void Empty(int fd) {
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return;
  }
  std::vector<std::string> names;
  while (dirent* e = readdir(dir))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
  for (const std::string& name : names) {
    const int sub = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (sub >= 0) {
      Empty(sub);
      unlinkat(dirfd(dir), name.c_str(), AT_REMOVEDIR);
    } else {
      unlinkat(dirfd(dir), name.c_str(), 0);
    }
  }
  closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> depths;
  for (int i = 1; i < argc; ++i) depths.push_back(std::atoi(argv[i]));
  if (depths.empty()) depths = {1000, 2000};
  for (int depth : depths) {
    if (depth < 1) {
      std::fprintf(stderr, "usage: unpack_bench [depth...]   (each at least 1)\n");
      return 2;
    }
  }

  std::string base = (fs::temp_directory_path() / "talvora-unpack-bench-XXXXXX").string();
  if (!mkdtemp(base.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  std::printf("folders in %s\n", fs::temp_directory_path().c_str());
  int failed = 0;
  for (int depth : depths) {
    const std::string site = base + "/site", archive = base + "/site.rar", dest = base + "/dest";
    if (!MakeChain(site, depth)) {
      std::fprintf(stderr, "cannot make a chain of depth %d\n", depth);
      return 1;
    }
    auto start = std::chrono::steady_clock::now();
    const int packed = winrar::AddToArchive(archive, site);
    const double packTime = Seconds(start);
    start = std::chrono::steady_clock::now();
    const int unpacked = winrar::ExtractArchive(archive, dest);
    const double unpackTime = Seconds(start);
    const bool whole = packed == 0 && unpacked == 0 && ChainIsWhole(dest, depth);
    failed += whole ? 0 : 1;

    struct stat st {};
    stat(archive.c_str(), &st);
    std::printf("depth %5d: archive %8lld bytes, pack %7.3f s, unpack %7.3f s%s\n", depth,
                static_cast<long long>(st.st_size), packTime, unpackTime,
                whole ? "" : "  (the unpacked chain is not whole!)");
    std::fflush(stdout);
    Empty(open(base.c_str(), O_RDONLY | O_DIRECTORY));
  }
  rmdir(base.c_str());
  return failed ? 1 : 0;
}
