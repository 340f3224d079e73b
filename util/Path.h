// Path helpers, written once for the two path styles.
#pragma once

#include <optional>
#include <string>

namespace quorvane {

enum class PathStyle { Windows, Posix };

#ifdef _WIN32
inline constexpr PathStyle kHostPathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kHostPathStyle = PathStyle::Posix;
#endif

// The separator the style writes: backslash or slash.
char PathSeparator(PathStyle style = kHostPathStyle);
// True when the byte at 0-based index i of path is a delimiter (Windows:
// backslash or colon not a double-byte trail byte; POSIX: slash).
bool IsPathDelimiterAt(const std::string& path, std::size_t i,
                       PathStyle style = kHostPathStyle);

std::string PathDirectory(const std::string& path, PathStyle style = kHostPathStyle);
std::string PathFileName(const std::string& path, PathStyle style = kHostPathStyle);
std::string PathExtension(const std::string& path, PathStyle style = kHostPathStyle);
std::string ReplaceExtension(const std::string& path, const std::string& ext,
                             PathStyle style = kHostPathStyle);
std::string PathDirectoryNoSlash(const std::string& path, PathStyle style = kHostPathStyle);
std::string PathDrive(const std::string& path, PathStyle style = kHostPathStyle);
std::string WithTrailingBackslash(const std::string& path, PathStyle style = kHostPathStyle);
std::string WithoutTrailingBackslash(const std::string& path, PathStyle style = kHostPathStyle);

// The absolute form of path against the process's current directory.
std::string FullPath(const std::string& path, PathStyle style = kHostPathStyle);
// The same, computed from a given current directory (pure; used by tests and
// by the POSIX build).
std::string FullPathFrom(const std::string& path, const std::string& currentDirectory,
                         PathStyle style = kHostPathStyle);

// Creates dir and every missing parent; true when it exists afterwards.
// An empty name raises Exception "Cannot create directory".
bool MakeDirectories(const std::string& dir, PathStyle style = kHostPathStyle);

bool IsExistingFile(const std::string& name);
bool IsExistingDirectory(const std::string& name);
// Whether two names lead to the same existing file or directory, by the
// system's file identity (so hard links, links to a folder and other
// spellings count); nothing when either does not exist.
std::optional<bool> SameExistingEntry(const std::string& a, const std::string& b);
bool DeleteFileNamed(const std::string& name);
bool RemoveDirectoryNamed(const std::string& name);

}  // namespace quorvane
