// How long a full generation run takes over a large resource, against the
// floor of the same work done by hand: walking the same folders and writing
// the same number of bytes into them. Prints both times, their ratio and
// the peak resident set size.
//
//   generator_bench [folders] [files]     (defaults: 10000 folders, 100000 files)
//
// The tree is made in TMPDIR; on a tmpfs the figures repeat.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "generator/generator.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// A resource of `folders` folders below the site folder, ten sub-folders to
// a folder filled breadth-first, and `files` small files spread evenly over
// them: numbered pages, plain pages, pictures, and now and then an order list.
std::vector<std::string> BuildResource(const std::string& site, int folders, int files) {
  std::vector<std::string> all;
  std::deque<std::string> open{site};
  fs::create_directories(site);
  while (static_cast<int>(all.size()) < folders) {
    std::string parent = open.front();
    open.pop_front();
    for (int i = 1; i <= 10 && static_cast<int>(all.size()) < folders; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "%02d Lesson %d", i, static_cast<int>(all.size()));
      std::string folder = parent + "/" + name;
      fs::create_directory(folder);
      all.push_back(folder);
      open.push_back(folder);
    }
  }
  for (int i = 0; i < files; ++i) {
    const std::string& folder = all[static_cast<std::size_t>(i) % all.size()];
    int n = i / static_cast<int>(all.size());
    char name[32];
    if (n % 3 == 0)
      std::snprintf(name, sizeof name, "%d page%d.htm", n + 1, n);
    else if (n % 3 == 1)
      std::snprintf(name, sizeof name, "notes%d.doc", n);
    else
      std::snprintf(name, sizeof name, "picture%d.gif", n);
    Write(folder + "/" + name, "<html>page</html>\r\n");
  }
  for (std::size_t i = 0; i < all.size(); i += 10)
    Write(all[i] + "/array.ini", "notes1.doc\r\n\r\npicture2.gif\r\n");
  return all;
}

// The floor: list every folder as the run must, and write as many bytes
// into each as the run wrote there.
void Floor(const std::vector<std::string>& folders, const std::vector<std::uintmax_t>& sizes) {
  std::string buffer;
  std::size_t entries = 0;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    for (const auto& e : fs::directory_iterator(folders[i])) entries += e.path().native().size();
    buffer.assign(sizes[i], 'x');
    Write(folders[i] + "/floor.out", buffer);
  }
  if (entries == 0) std::fprintf(stderr, "nothing listed\n");
}

long PeakRssKb() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  int folders = argc > 1 ? std::atoi(argv[1]) : 10000;
  int files = argc > 2 ? std::atoi(argv[2]) : 100000;
  if (folders < 1 || files < 0) {
    std::fprintf(stderr, "usage: generator_bench [folders] [files]\n");
    return 2;
  }

  std::string base = (fs::temp_directory_path() / "talvora-bench-XXXXXX").string();
  if (!mkdtemp(base.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  // The fixed files of a run go to a cache folder of the bench's own.
  setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);

  const std::string style = base + "/template/xsl1";
  fs::create_directories(style + "/startxml.files");
  Write(style + "/startxml.xsl", "<xsl:stylesheet/>\r\n");
  Write(style + "/innerxml.xsl", "<xsl:stylesheet/>\r\n");
  Write(style + "/index.html", "<html></html>\r\n");
  Write(style + "/startxml.files/logo.gif", "GIF89a");

  const std::string site = base + "/site";
  auto start = std::chrono::steady_clock::now();
  std::vector<std::string> all = BuildResource(site, folders, files);
  double buildTime = Seconds(start);
  all.insert(all.begin(), site);

  talvora::GenerationOptions& options = talvora::Options();
  options.TemplatePath = style;
  options.FootText = "版权所有 Talvora";
  options.SubjectText = "语文";

  std::string path = site;
  start = std::chrono::steady_clock::now();
  talvora::GenerateSite(path, true);
  double runTime = Seconds(start);
  long runRss = PeakRssKb();

  // What the run wrote into the folders: the page documents.
  std::vector<std::uintmax_t> sizes;
  std::uintmax_t total = 0;
  for (const std::string& f : all) {
    std::error_code ec;
    std::uintmax_t size = fs::file_size(f + "/startxml.xml", ec);
    sizes.push_back(ec ? 0 : size);
    total += sizes.back();
  }

  start = std::chrono::steady_clock::now();
  Floor(all, sizes);
  double floorTime = Seconds(start);

  std::printf("resource: %d folders, %d files (built in %.2f s) in %s\n", folders, files,
              buildTime, fs::temp_directory_path().c_str());
  std::printf("output:   %.1f MB of page documents in %zu folders\n", total / 1e6, all.size());
  std::printf("full run: %.3f s\n", runTime);
  std::printf("floor:    %.3f s\n", floorTime);
  std::printf("ratio:    %.1f\n", floorTime > 0 ? runTime / floorTime : 0.0);
  std::printf("peak RSS: %.1f MB (after the run)\n", runRss / 1024.0);

  std::error_code ec;
  fs::remove_all(base, ec);
  return 0;
}
