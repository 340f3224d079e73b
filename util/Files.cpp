// Paths on the disk, through the platform layer.
#include "util/Files.h"

#include "base/Errors.h"
#include "platform/Platform.h"

namespace quorvane {

std::string FullPath(const std::string& path, PathStyle style) {
  if (style == kHostPathStyle) return platform::FullPathName(path);
  return FullPathFrom(path, platform::CurrentDirectory(), style);
}

std::string FullPathOrName(const std::string& path, PathStyle style) {
  std::string full = FullPath(path, style);
  return full.empty() ? path : full;
}

bool MakeDirectories(const std::string& dir, PathStyle style) {
  if (dir.empty()) throw Exception("Cannot create directory");
  const std::string name = DirectoryToCreate(dir, style);
  if (name.empty() || IsExistingDirectory(name)) return true;

  const std::string parent = PathDirectory(name, style);
  // A name ending in a colon has no parent to create.
  if (parent == name) return IsExistingDirectory(name);
  // An empty parent is the current directory, which exists.
  if (!parent.empty() && !MakeDirectories(parent, style)) return false;
  return platform::CreateDirectoryNamed(name) || IsExistingDirectory(name);
}

bool IsExistingFile(const std::string& name) { return platform::IsExistingFile(name); }

bool IsExistingDirectory(const std::string& name) {
  if (name.empty()) return false;
  const auto attributes = platform::FileAttributes(name);
  return attributes && (*attributes & platform::kAttrDirectory);
}

std::optional<bool> SameExistingEntry(const std::string& a, const std::string& b) {
  const auto identityA = platform::IdentityOf(a);
  if (!identityA) return std::nullopt;
  const auto identityB = platform::IdentityOf(b);
  if (!identityB) return std::nullopt;
  return *identityA == *identityB;
}

bool DeleteFileNamed(const std::string& name) { return platform::DeleteFileNamed(name); }

bool RemoveDirectoryNamed(const std::string& name) {
  return platform::RemoveDirectoryNamed(name);
}

}  // namespace quorvane
