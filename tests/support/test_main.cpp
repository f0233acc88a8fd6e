// The main of every test executable.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <QApplication>
#include <gtest/gtest.h>

#include "platform/paths.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  // Each test process gets its own cache folder for the fixed files.
  std::string cache = (std::filesystem::temp_directory_path() / "talvora-cache-XXXXXX").string();
  if (mkdtemp(cache.data())) setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  platform::SetProgramFolder(TALVORA_PROGRAM_FOLDER);

  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(cache, ec);
  return rc;
}
