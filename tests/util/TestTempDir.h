// A fresh directory below the system's temporary directory for one test,
// removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "util/Path.h"

namespace quorvane::test {

namespace fs = std::filesystem;

class TestTempDir {
 public:
  TestTempDir() {
    std::random_device random;
    do path_ = fs::temp_directory_path() / ("qvtest" + std::to_string(random()));
    while (!fs::create_directory(path_));
  }
  ~TestTempDir() {
    std::error_code ignored;
    if (!previousCwd_.empty()) fs::current_path(previousCwd_, ignored);
    fs::remove_all(path_, ignored);
  }
  TestTempDir(const TestTempDir&) = delete;
  TestTempDir& operator=(const TestTempDir&) = delete;

  std::string Path() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return Path() + PathSeparator() + name; }
  void MakeCurrent() { previousCwd_ = fs::current_path(); fs::current_path(path_); }
  // Writes a file into the directory and returns its path.
  std::string WriteFile(const std::string& name, const std::string& data) const {
    std::ofstream(*this / name, std::ios::binary) << data;
    return *this / name;
  }

 private:
  fs::path path_, previousCwd_;
};

}  // namespace quorvane::test
