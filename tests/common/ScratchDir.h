// A fresh directory below the system's temporary directory for one test,
// removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace qvtest {

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device random;
    do path_ = std::filesystem::temp_directory_path() / ("qvtest-" + std::to_string(random()));
    while (!std::filesystem::create_directory(path_));
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!previousCwd_.empty()) std::filesystem::current_path(previousCwd_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string path() const { return path_.string(); }
  // A name below the directory; a '/' in name becomes the host's separator.
  std::string operator/(std::string name) const {
    const char separator = char(std::filesystem::path::preferred_separator);
    for (char& c : name) c = c == '/' ? separator : c;
    return path() + separator + name;
  }
  // Writes a file (and the directories it needs) and returns its path.
  std::string File(const std::string& name, const std::string& bytes = "") const {
    std::filesystem::create_directories(std::filesystem::path(*this / name).parent_path());
    std::ofstream(*this / name, std::ios::binary) << bytes;
    return *this / name;
  }
  std::string Dir(const std::string& name) const {
    std::filesystem::create_directories(*this / name);
    return *this / name;
  }
  // Makes the directory the current one until the end of the test.
  void MakeCurrent() {
    previousCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }

 private:
  std::filesystem::path path_, previousCwd_;
};

}  // namespace qvtest
