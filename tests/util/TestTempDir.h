// A fresh directory below the system's temporary directory for one test,
// removed with everything in it afterwards. Optionally the test runs with it
// as the current directory.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "util/Path.h"

namespace quorvane::test {

class TestTempDir {
 public:
  TestTempDir() {
    namespace fs = std::filesystem;
    std::random_device random;
    for (;;) {
      fs::path candidate =
          fs::temp_directory_path() / ("qvtest" + std::to_string(random() % 100000000));
      if (fs::create_directory(candidate)) {
        path_ = candidate;
        break;
      }
    }
  }
  ~TestTempDir() {
    std::error_code ignored;
    if (!previousCwd_.empty()) std::filesystem::current_path(previousCwd_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TestTempDir(const TestTempDir&) = delete;
  TestTempDir& operator=(const TestTempDir&) = delete;

  // The directory, without a final separator.
  std::string Path() const { return path_.string(); }
  // The directory joined with a name in the host's style.
  std::string operator/(const std::string& name) const {
    return WithTrailingBackslash(Path()) + name;
  }

  void MakeCurrent() {
    previousCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }

  void WriteFile(const std::string& name, const std::string& data) const {
    std::ofstream out(*this / name, std::ios::binary);
    out << data;
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path previousCwd_;
};

}  // namespace quorvane::test
