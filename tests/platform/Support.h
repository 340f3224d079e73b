// Helpers shared by the platform tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
namespace qvtest { inline constexpr char kSep = '\\'; }
#else
#include <sys/stat.h>
#include <unistd.h>
namespace qvtest { inline constexpr char kSep = '/'; }
#endif

namespace qvtest {

// A fresh directory below the temporary directory, removed with its content.
class ScratchDir {
  std::filesystem::path path_;

 public:
  ScratchDir() {
    std::random_device rd;
    do path_ = std::filesystem::temp_directory_path() / ("qvplat-" + std::to_string(rd()));
    while (!std::filesystem::create_directory(path_));
  }
  ~ScratchDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return path() + kSep + name; }
  std::string File(const std::string& name, const std::string& bytes = "") const {
    std::ofstream(*this / name, std::ios::binary) << bytes;
    return *this / name;
  }
  std::string Dir(const std::string& name) const {
    std::filesystem::create_directories(*this / name);
    return *this / name;
  }
};

}  // namespace qvtest
