// Case mapping of the ASCII letters only; every other byte stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

inline unsigned char AsciiUpper(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}
inline unsigned char AsciiLower(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

inline std::string AsciiUpperText(std::string text) {
  for (char& c : text) c = static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)));
  return text;
}
inline std::string AsciiLowerText(std::string text) {
  for (char& c : text) c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
  return text;
}

inline bool SameAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(static_cast<unsigned char>(a[i])) != AsciiUpper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace quorvane
