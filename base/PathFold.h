// Folding "." and ".." out of a path's text. The path rules of util/ use it
// for both path styles, and the POSIX platform for its full paths, which are
// textual there (no link is resolved).
#pragma once

#include <string>
#include <vector>

namespace quorvane {

// Folds "." and "..", drops empty segments and never climbs above the root.
// The result has no leading separator; it keeps a final separator of rest
// when a named segment is left before it. charStarts marks the bytes that
// start a character (false for the second byte of a double-byte character,
// which is never a separator); empty when every byte does.
inline std::string FoldPathSegments(const std::string& rest, char separator,
                                    const std::vector<bool>& charStarts = {}) {
  std::vector<std::string> segments;
  std::string current;
  auto take = [&]() {
    if (current == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!current.empty() && current != ".") {
      segments.push_back(current);
    }
    current.clear();
  };
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == separator && (charStarts.empty() || charStarts[i])) {
      take();
    } else {
      current += rest[i];
    }
  }
  const bool endsWithSeparator = current.empty() && !rest.empty();
  take();
  std::string out;
  for (std::size_t k = 0; k < segments.size(); ++k) {
    if (k) out += separator;
    out += segments[k];
  }
  if (endsWithSeparator && !segments.empty()) out += separator;
  return out;
}

// The full POSIX form of path: absolute when it starts with a slash, else
// currentDirectory, a slash and path; folded, with a final slash kept.
// Empty for an empty path.
inline std::string FullPosixPath(const std::string& path, const std::string& currentDirectory) {
  if (path.empty()) return "";
  const std::string full = path[0] == '/' ? path : currentDirectory + '/' + path;
  return '/' + FoldPathSegments(full, '/');
}

}  // namespace quorvane
