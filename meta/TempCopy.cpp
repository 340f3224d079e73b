#include "meta/TempCopy.h"

#include <vector>

#include "base/Errors.h"
#include "meta/ModuleState.h"
#include "platform/Platform.h"
#include "util/Files.h"

namespace quorvane {

std::string TempDirectory() { return platform::TempPath(); }

std::string WriteTempCopy(const std::string& inputPath, const std::string& document) {
  std::string failure;  // the name that could not be made, and why
  const std::string name = platform::CreateTempDirectory(TempDirectory(), "kelvo", &failure);
  if (name.empty()) throw Exception("Cannot create directory " + failure);
  TempCopyList.Add(name);
  const std::string copy = name + PathSeparator() + PathFileName(inputPath);
  platform::WriteWholeFile(copy, document);
  return copy;
}

void DeleteTree(const std::string& directory) {
  if (directory.empty()) return;
  const auto attributes = platform::FileAttributes(directory);
  if (!attributes || !(*attributes & platform::kAttrDirectory)) return;
  if (*attributes & platform::kAttrReparsePoint) {
    // A link to a directory: remove the link, never what it points at.
    if (!RemoveDirectoryNamed(directory)) DeleteFileNamed(directory);
    return;
  }
  // Read the whole listing first, so that deleting does not disturb it.
  std::vector<platform::FindEntry> entries;
  {
    platform::FindSearch search(directory + PathSeparator() + "*.*",
                                platform::FindSearch::Kind::Everything);
    platform::FindEntry entry;
    while (search.Next(entry)) entries.push_back(entry);
  }
  for (const auto& entry : entries) {
    if (entry.IsVolumeLabel()) continue;
    if (entry.name == "." || entry.name == "..") continue;
    const std::string path = directory + PathSeparator() + entry.name;
    if (entry.IsLink()) {
      if (!entry.IsDirectory() || !RemoveDirectoryNamed(path)) DeleteFileNamed(path);
    } else if (entry.IsDirectory()) {
      DeleteTree(path);
    } else {
      DeleteFileNamed(path);
    }
  }
  RemoveDirectoryNamed(directory);
}

void DeleteTempCopies() {
  for (int i = 0; i < TempCopyList.Count(); ++i) DeleteTree(TempCopyList.Get(i));
  TempCopyList.Clear();
}

}  // namespace quorvane
