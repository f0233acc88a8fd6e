#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "talvora-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only leftovers removable first.
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code e2;
    if (!it->is_symlink(e2))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, e2);
  }
  fs::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

bool Exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

std::string SourceDir() { return TALVORA_SOURCE_DIR; }

}  // namespace testing_support
