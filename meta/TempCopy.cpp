#include "meta/TempCopy.h"

#include <vector>

#include "meta/ModuleState.h"
#include "meta/TagMatcher.h"
#include "platform/Platform.h"
#include "util/Errors.h"
#include "util/Text.h"

namespace quorvane {

namespace {

// How often WriteTempCopy asks for a fresh name when another process took
// the one it was given before the directory could be made.
constexpr int kTempNameAttempts = 16;

}  // namespace

std::string LocalUrl(const std::string& resolvedPath, PathStyle style) {
  std::string path = ReplaceAll(resolvedPath, "\\", "/", false);
  if (style == PathStyle::Posix && !CurrentUrlPrefix.empty() &&
      CurrentUrlPrefix.back() == '/' && !path.empty() && path.front() == '/') {
    path.erase(0, 1);
  }
  return CurrentUrlPrefix + path;
}

namespace {

// The relative or absolute local path a link of LinkPattern names, and its
// fragment ("#..." or empty); nothing for a link that names no local file.
struct TLocalLink {
  std::string path, fragment;
};
std::optional<TLocalLink> LocalLinkOf(TPattern& match) {
  // A value that starts with a scheme (mailto:, file:, also a drive C:)
  // is already absolute.
  if (!match.GroupText(4).empty()) return std::nullopt;
  const std::string value = match.GroupText(5);
  const std::size_t hash = value.find('#');
  TLocalLink link{value.substr(0, hash), {}};
  if (link.path.empty()) return std::nullopt;  // in-page anchor or empty value
  if (hash != std::string::npos) link.fragment = value.substr(hash);
  return link;
}

}  // namespace

std::string RewriteLinks(const std::string& text, const std::string& baseFile,
                         PathStyle style) {
  return RewriteTags(LinkPattern, text, [&](TPattern& match) -> std::optional<TTagReplacement> {
    const std::optional<TLocalLink> link = LocalLinkOf(match);
    if (!link) return std::nullopt;
    return TTagReplacement{
        3, LocalUrl(ResolveReference(baseFile, link->path, style), style) + link->fragment};
  });
}

std::vector<std::string> LinkedFiles(const std::string& text, const std::string& baseFile) {
  std::vector<std::string> files;
  const auto matcher = NewTagMatcher(LinkPattern);
  for (bool found = matcher->Exec(text); found; found = matcher->ExecNext()) {
    if (const std::optional<TLocalLink> link = LocalLinkOf(*matcher))
      files.push_back(ResolveReference(baseFile, link->path));
  }
  return files;
}

std::string RewriteLinks(const std::string& text, const std::string& baseFile) {
  return RewriteLinks(text, baseFile, kHostPathStyle);
}

std::string TempDirectory() { return platform::TempPath(); }

std::string UniqueTempName(const std::string& directory, const std::string& prefix) {
  return platform::UniqueTempName(directory, prefix);
}

std::string WriteTempCopy(const std::string& inputPath, const std::string& document) {
  std::string name;
  for (int attempt = 0; attempt < kTempNameAttempts && name.empty(); ++attempt) {
    std::string candidate = UniqueTempName(TempDirectory(), "kelvo");
    if (candidate.empty()) throw Exception("Cannot create directory");
#ifdef _WIN32
    // The system has created an empty file of that name; it becomes our
    // directory. Should another process take the name in between, the
    // directory is not ours: ask for a fresh name rather than write into it.
    if (IsExistingFile(candidate)) DeleteFileNamed(candidate);
    if (!platform::CreateDirectoryNamed(candidate)) continue;
#else
    // The name was created as a private directory, atomically.
    if (!IsExistingDirectory(candidate)) continue;
#endif
    name = std::move(candidate);
  }
  if (name.empty()) throw Exception("Cannot create directory");
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
