// Helpers for the meta tests: a scratch folder with real files, and the
// module state reset around each test.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "util/Path.h"

namespace quorvane::test {

inline std::string Sep() { return std::string(1, PathSeparator()); }

// A fresh folder below the system's temporary directory, removed again by
// the destructor. Paths are plain strings in the host's style.
class TScratch {
 public:
  TScratch() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = std::filesystem::temp_directory_path() /
            ("qvmeta-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(root_);
  }
  ~TScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;

  // The folder, with a final separator.
  std::string Dir() const { return WithTrailingBackslash(root_.string()); }
  // The full path of a name below the folder ('/' in rel becomes the host's
  // separator).
  std::string Path(const std::string& rel) const {
    std::string native = rel;
    for (char& c : native) {
      if (c == '/') c = PathSeparator();
    }
    return Dir() + native;
  }
  // Writes a file (making its folders) and returns its full path.
  std::string Write(const std::string& rel, const std::string& bytes) const {
    const std::string path = Path(rel);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path root_;
};

// Sets the prefixes the tests expect and removes temporary copies afterwards.
class MetaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CurrentPrefix = "lrf:";
    CurrentUrlPrefix = "file:///";
  }
  void TearDown() override {
    DeleteTempCopies();
    CurrentPrefix = "lrf:";
    CurrentUrlPrefix.clear();
  }
};

}  // namespace quorvane::test
