// The textual rules of paths, written once for the two path styles. They
// never look at the disk (util/Files.h does).
#pragma once

#include <string>

#include "platform/Host.h"

namespace quorvane {

enum class PathStyle { Windows, Posix };

inline constexpr PathStyle kHostPathStyle =
    platform::kWindowsBuild ? PathStyle::Windows : PathStyle::Posix;

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

// The absolute form of path, computed from a given current directory.
std::string FullPathFrom(const std::string& path, const std::string& currentDirectory,
                         PathStyle style = kHostPathStyle);

// dir as the name of a directory to create: Windows reads forward slashes as
// backslashes; final separators go. Empty for a root ("/", "C:", "C:\",
// "\\srv\share"), which is never created.
std::string DirectoryToCreate(const std::string& dir, PathStyle style = kHostPathStyle);

// Whether two full paths are one name as the style compares names: Windows
// letters without regard to case (SameTextNoCase), POSIX byte for byte.
bool SameFileName(const std::string& a, const std::string& b, PathStyle style = kHostPathStyle);

}  // namespace quorvane
