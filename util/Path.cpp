// Path helpers for the two path styles.
//
// Windows style: backslash and colon are delimiters, except when the byte is
// the second byte of a double-byte character; drives (C:) and shares
// (\\server\share) form the root. POSIX style: the slash is the only
// delimiter and there is no drive.
#include "util/Path.h"

#include <vector>

#include "base/PathFold.h"
#include "util/Text.h"

namespace quorvane {

namespace {

bool IsWindows(PathStyle style) { return style == PathStyle::Windows; }

bool IsLead(char c, PathStyle style) {
  return IsWindows(style) && IsLeadByteChar(static_cast<unsigned char>(c));
}

// Marks the bytes that start a character (false for the second byte of a
// double-byte character).
std::vector<bool> CharStarts(const std::string& s, PathStyle style) {
  std::vector<bool> starts(s.size(), true);
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsLead(s[i], style) && i + 1 < s.size()) starts[++i] = false;
  }
  return starts;
}

bool IsCharStart(const std::string& s, std::size_t i, PathStyle style) {
  if (!IsWindows(style)) return i < s.size();
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (k == i) return true;
    if (IsLead(s[k], style) && k + 1 < s.size()) {
      if (++k == i) return false;
    }
  }
  return false;
}

// Index of the rightmost character that is one of chars, or npos.
std::size_t LastOf(const std::string& s, const char* chars, PathStyle style) {
  std::size_t last = std::string::npos;
  if (!IsWindows(style)) return s.find_last_of(chars);
  const std::string set(chars);
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (set.find(s[i]) != std::string::npos) last = i;
    if (IsLead(s[i], style) && i + 1 < s.size()) ++i;
  }
  return last;
}

const char* Delimiters(PathStyle style) { return IsWindows(style) ? "\\:" : "/"; }

bool EndsWithSeparator(const std::string& s, PathStyle style) {
  if (s.empty() || s.back() != PathSeparator(style)) return false;
  return IsCharStart(s, s.size() - 1, style);
}

// ---- absolute paths, Windows style ----

// Forward slashes are separators too; the result writes backslashes.
std::string BackslashesOnly(const std::string& s) {
  std::string out = s;
  const std::vector<bool> starts = CharStarts(s, PathStyle::Windows);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (starts[i] && out[i] == '/') out[i] = '\\';
  }
  return out;
}

enum class RootKind { Unc, DriveAbsolute, DriveRelative, RootRelative, Relative };

struct SplitPath {
  RootKind kind;
  std::string root;  // "C:" or "\\srv\share"; empty for the other kinds
  std::string rest;  // what follows the root and its backslash
  bool uncBare = false;  // "\\srv\share" with nothing after the share name
};

// Splits a path with backslashes only into its root and the rest.
SplitPath SplitRoot(const std::string& p) {
  const std::vector<bool> starts = CharStarts(p, PathStyle::Windows);
  auto backslashAt = [&](std::size_t i) { return i < p.size() && starts[i] && p[i] == '\\'; };
  if (p.size() >= 2 && starts[1] && p[1] == ':') {
    if (backslashAt(2)) return {RootKind::DriveAbsolute, p.substr(0, 2), p.substr(3)};
    return {RootKind::DriveRelative, p.substr(0, 2), p.substr(2)};
  }
  if (backslashAt(0) && backslashAt(1)) {
    int seen = 0;
    for (std::size_t i = 2; i < p.size(); ++i) {
      if (backslashAt(i) && ++seen == 2) {
        return {RootKind::Unc, p.substr(0, i), p.substr(i + 1)};
      }
    }
    SplitPath bare{RootKind::Unc, p, ""};
    bare.uncBare = true;
    return bare;
  }
  if (backslashAt(0)) return {RootKind::RootRelative, "", p.substr(1)};
  return {RootKind::Relative, "", p};
}

std::string JoinRest(const std::string& base, const std::string& more) {
  if (base.empty()) return more;
  if (more.empty()) return base;
  return base + '\\' + more;
}

std::string FullPathWindows(const std::string& path, const std::string& currentDirectory) {
  if (path.empty()) return "";
  const std::string p = BackslashesOnly(path);
  if (p.rfind("\\\\?\\", 0) == 0) return p;  // verbatim paths are taken as they are

  const SplitPath given = SplitRoot(p);
  if (given.kind == RootKind::Unc && given.uncBare) return given.root;

  const SplitPath cwd = SplitRoot(BackslashesOnly(currentDirectory));
  std::string root;
  std::string rest;
  switch (given.kind) {
    case RootKind::Unc:
    case RootKind::DriveAbsolute:
      root = given.root;
      rest = given.rest;
      break;
    case RootKind::DriveRelative:
      // The current directory when it is on that drive, else the drive's root.
      if ((cwd.kind == RootKind::DriveAbsolute || cwd.kind == RootKind::DriveRelative) &&
          UpperAscii(cwd.root) == UpperAscii(given.root)) {
        root = cwd.root;
        rest = JoinRest(cwd.rest, given.rest);
      } else {
        root = given.root;
        rest = given.rest;
      }
      break;
    case RootKind::RootRelative:
      root = cwd.root;
      rest = given.rest;
      break;
    case RootKind::Relative:
      root = cwd.root;
      rest = JoinRest(cwd.rest, given.rest);
      break;
  }

  std::string tail = FoldPathSegments(rest, '\\', CharStarts(rest, PathStyle::Windows));
  // Without a final separator, trailing dots and blanks of the last name go.
  if (!tail.empty() && tail.back() != '\\') {
    while (!tail.empty() && (tail.back() == '.' || tail.back() == ' ')) tail.pop_back();
  }
  return root + '\\' + tail;
}

}  // namespace

char PathSeparator(PathStyle style) { return IsWindows(style) ? '\\' : '/'; }

bool IsPathDelimiterAt(const std::string& path, std::size_t i, PathStyle style) {
  if (i >= path.size()) return false;
  const char c = path[i];
  if (IsWindows(style)) return (c == '\\' || c == ':') && IsCharStart(path, i, style);
  return c == '/';
}

std::string PathDirectory(const std::string& path, PathStyle style) {
  const std::size_t last = LastOf(path, Delimiters(style), style);
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::string PathFileName(const std::string& path, PathStyle style) {
  const std::size_t last = LastOf(path, Delimiters(style), style);
  return last == std::string::npos ? path : path.substr(last + 1);
}

std::string PathExtension(const std::string& path, PathStyle style) {
  const std::size_t last = LastOf(path, IsWindows(style) ? ".\\:" : "./", style);
  if (last == std::string::npos || path[last] != '.') return "";
  return path.substr(last);
}

std::string ReplaceExtension(const std::string& path, const std::string& ext, PathStyle style) {
  const std::size_t extLength = PathExtension(path, style).size();
  return path.substr(0, path.size() - extLength) + ext;
}

std::string PathDirectoryNoSlash(const std::string& path, PathStyle style) {
  std::string dir = PathDirectory(path, style);
  // Keep the separator of a root: the first character, or one after a
  // drive colon or another separator.
  if (dir.size() >= 2 && EndsWithSeparator(dir, style) &&
      !IsPathDelimiterAt(dir, dir.size() - 2, style)) {
    dir.pop_back();
  }
  return dir;
}

std::string PathDrive(const std::string& path, PathStyle style) {
  if (!IsWindows(style)) return "";
  const SplitPath split = SplitRoot(path);
  if (split.kind == RootKind::DriveAbsolute || split.kind == RootKind::DriveRelative ||
      split.kind == RootKind::Unc) {
    return split.root;
  }
  return "";
}

std::string WithTrailingBackslash(const std::string& path, PathStyle style) {
  if (EndsWithSeparator(path, style)) return path;
  return path + PathSeparator(style);
}

std::string WithoutTrailingBackslash(const std::string& path, PathStyle style) {
  if (!EndsWithSeparator(path, style)) return path;
  return path.substr(0, path.size() - 1);
}

std::string FullPathFrom(const std::string& path, const std::string& currentDirectory,
                         PathStyle style) {
  return IsWindows(style) ? FullPathWindows(path, currentDirectory)
                          : FullPosixPath(path, currentDirectory);
}

std::string DirectoryToCreate(const std::string& dir, PathStyle style) {
  // Windows takes forward slashes as separators too (-o out/x/y).
  std::string name = IsWindows(style) ? BackslashesOnly(dir) : dir;
  while (EndsWithSeparator(name, style)) name.pop_back();
  if (IsWindows(style) && !name.empty()) {
    const SplitPath split = SplitRoot(name);
    if (split.kind == RootKind::DriveRelative && split.rest.empty()) return "";  // "C:"
    if (split.kind == RootKind::Unc && split.uncBare) return "";  // "\\srv\share"
  }
  return name;
}

bool SameFileName(const std::string& a, const std::string& b, PathStyle style) {
  return IsWindows(style) ? SameTextNoCase(a, b) : a == b;
}

}  // namespace quorvane
