// Helpers shared by the platform tests: a scratch directory, the fake
// converter's path and its record.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qvtest {

#ifdef _WIN32
inline constexpr char kSep = '\\';
#else
inline constexpr char kSep = '/';
#endif

// A fresh directory below the system's temporary directory, removed with
// everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    do path_ = std::filesystem::temp_directory_path() / ("qvplat-" + std::to_string(rd()));
    while (!std::filesystem::create_directory(path_));
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
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

 private:
  std::filesystem::path path_;
};

inline std::string Slurp(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

inline void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

// The fake converter. On the Windows build its path is a Linux path, reached
// through Wine's Z: drive.
inline std::string FakeconvPath() {
  std::string p = QV_FAKECONV;
#ifdef _WIN32
  for (char& c : p)
    if (c == '/') c = '\\';
  if (p[0] == '\\') p = "Z:" + p;
#endif
  return p;
}

// The argument lists of every call in a fake-converter record.
inline std::vector<std::vector<std::string>> RecordedCalls(const std::string& record) {
  std::vector<std::vector<std::string>> calls;
  std::istringstream in(Slurp(record));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("CALL ", 0) == 0) calls.emplace_back();
    if (line.rfind("ARG ", 0) == 0 && !calls.empty()) calls.back().push_back(line.substr(4));
  }
  return calls;
}

}  // namespace qvtest
