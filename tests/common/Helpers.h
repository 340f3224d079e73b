// Small helpers every unit suite shares: the host's separator, whole files,
// what a call raised, environment variables for one scope, the fake converter.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "base/Errors.h"

namespace qvtest {

#ifdef _WIN32
inline const std::string kSep = "\\";
#else
inline const std::string kSep = "/";
#endif

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A meta tag as pages write it: name first, content right after it.
inline std::string Meta(const std::string& name, const std::string& content) {
  return "<meta name=\"" + name + "\" content=\"" + content + "\">";
}

// "Kind: message" of the error fn raises, or "none".
template <typename Fn>
std::string Raised(Fn fn) {
  try {
    fn();
  } catch (const quorvane::Exception& e) {
    return std::string(e.KindName()) + ": " + e.what();
  }
  return "none";
}

// Sets (or with nullopt removes) an environment variable until the end of the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
#ifdef _WIN32  // an empty value removes the variable
    _putenv_s(name_, value ? value->c_str() : "");
#else
    value ? setenv(name_, value->c_str(), 1) : unsetenv(name_);
#endif
  }
  const char* name_;
  std::optional<std::string> old_;
};

// The fake converter; on the Windows build reached through Wine's Z: drive.
inline std::string FakeConverter() {
  std::string path = QV_FAKECONV;
#ifdef _WIN32
  for (char& c : path) c = c == '/' ? '\\' : c;
  if (path[0] == '\\') path = "Z:" + path;
#endif
  return path;
}

}  // namespace qvtest
