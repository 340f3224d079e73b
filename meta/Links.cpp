#include "meta/Links.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/Errors.h"
#include "meta/ModuleState.h"
#include "meta/TagMatcher.h"
#include "util/Files.h"

namespace quorvane {

namespace {

// The full path of a name; a name the system cannot make absolute (one too
// long for it) fails the page rather than being read against the current
// directory.
std::string FullPathOrFail(const std::string& path, PathStyle style) {
  std::string full = FullPath(path, style);
  if (full.empty()) throw Exception("Cannot form the full path of " + path);
  return full;
}

}  // namespace

std::string ResolveReference(const std::string& baseFile, const std::string& reference,
                             PathStyle style) {
  if (reference.empty()) return {};
  std::string ref = reference;
  if (style == PathStyle::Posix) {
    // Pages written on Windows use backslashes; read them as slashes.
    std::replace(ref.begin(), ref.end(), '\\', '/');
  }
  if (!PathDrive(ref, style).empty()) return FullPathOrFail(ref, style);
  const std::string base = FullPathOrFail(baseFile, style);
  if (ref[0] == '/' || ref[0] == '\\') return PathDrive(base, style) + ref;
  return PathDirectory(base, style) + ref;
}

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

}  // namespace quorvane
