// Paths on the disk: full paths against the current directory, directories
// made, files and directories looked at and removed.
#pragma once

#include <optional>
#include <string>

#include "util/Path.h"

namespace quorvane {

// The absolute form of path against the process's current directory, in the
// host's style by the system's rule (platform::FullPathName), in the other
// style by FullPathFrom. Empty when the system cannot form it.
std::string FullPath(const std::string& path, PathStyle style = kHostPathStyle);
// FullPath, or path as written when the system cannot form a full path (one
// too long for it).
std::string FullPathOrName(const std::string& path, PathStyle style = kHostPathStyle);

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
