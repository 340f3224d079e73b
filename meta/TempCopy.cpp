#include "meta/TempCopy.h"

#include <vector>

#include "base/Errors.h"
#include "meta/ModuleState.h"
#include "meta/TagMatcher.h"
#include "platform/Platform.h"
#include "util/Files.h"

namespace quorvane {

namespace {

// The path with slashes for the backslashes that separate its parts; the
// second byte of a double-byte character (0x5C in some) stays as it is. POSIX
// knows no double-byte characters: there every backslash becomes a slash.
std::string UrlSlashes(const std::string& path) {
  std::string url = path;
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '\\' && IsPathDelimiterAt(path, i, PathStyle::Windows)) url[i] = '/';
  }
  return url;
}

}  // namespace

std::string LocalUrl(const std::string& resolvedPath, PathStyle style) {
  std::string path = UrlSlashes(resolvedPath);
  if (style == PathStyle::Posix && !CurrentUrlPrefix.empty() &&
      CurrentUrlPrefix.back() == '/' && !path.empty() && path.front() == '/') {
    path.erase(0, 1);
  }
  return CurrentUrlPrefix + path;
}

std::string RewriteLinks(const std::string& text, const std::string& baseFile,
                         PathStyle style, std::vector<TLocalLink>* links) {
  std::vector<TLocalLink> found;
  std::vector<TTagEdit> edits;
  std::string result =
      RewriteTags(LinkPattern, text, [&](TPattern& match) -> std::optional<TTagReplacement> {
        // A value that starts with a scheme (mailto:, file:, also a drive C:)
        // is already absolute; one that starts with two slashes names
        // another host in the page's own scheme.
        if (!match.GroupText(4).empty()) return std::nullopt;
        const std::string value = match.GroupText(5);
        if (value.rfind("//", 0) == 0) return std::nullopt;
        const std::size_t hash = value.find('#');
        const std::string path = value.substr(0, hash);
        if (path.empty()) return std::nullopt;  // in-page anchor or empty value
        const std::string resolved = ResolveReference(baseFile, path, style);
        // "." and ".." are folded, so that the URL names the file plainly.
        std::string target = FullPathOrName(resolved, style);
        TLocalLink& link = found.emplace_back();
        link.fragment = hash == std::string::npos ? std::string() : value.substr(hash);
        link.target = std::move(target);
        return TTagReplacement{3, LocalUrl(link.target, style) + link.fragment};
      }, &edits);
  if (links) {
    for (std::size_t i = 0; i < found.size(); ++i) {
      if (edits[i].placedAt == std::string::npos) continue;
      found[i].offset = edits[i].placedAt;
      found[i].length = edits[i].newLength;
      links->push_back(std::move(found[i]));
    }
  }
  return result;
}

std::vector<std::string> LinkedFiles(const std::string& text, const std::string& baseFile) {
  std::vector<TLocalLink> links;
  RewriteLinks(text, baseFile, kHostPathStyle, &links);
  std::vector<std::string> files;
  for (TLocalLink& link : links) files.push_back(std::move(link.target));
  return files;
}

std::string RewriteLinks(const std::string& text, const std::string& baseFile) {
  return RewriteLinks(text, baseFile, kHostPathStyle);
}

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
