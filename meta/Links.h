// Links in a page: the references it writes, what they resolve to, and the
// absolute local URLs they become in the temporary copy.
#pragma once

#include <string>
#include <vector>

#include "util/Path.h"

namespace quorvane {

// The path that a reference written inside baseFile denotes. An empty
// reference gives an empty text; a reference with a drive or share is made
// absolute; one that starts with a separator goes to the root of the base
// file's drive; any other is appended to the base file's directory as
// written. In POSIX style every backslash of the reference counts as a slash.
// A name whose full path the system cannot form (one too long for it) raises
// Exception "Cannot form the full path of <name>".
std::string ResolveReference(const std::string& baseFile, const std::string& reference,
                             PathStyle style = kHostPathStyle);

// The links that RewriteLinks turns into absolute local URLs: the first href
// or src attribute of a tag, as a whole attribute name (after a blank, or a
// colon as in xlink:href; data-src is another attribute). Submatches:
// 1 attribute name, 2 opening quote, 3 whole value, 4 scheme (letters and a
// colon) if any, 5 value after it.
inline constexpr char LinkPattern[] =
    R"re(<[a-z][^>]*?[\s:](href|src)=(["']?)(([a-z]+:)?([^>]*?))\2)re";

std::string RewriteLinks(const std::string& text, const std::string& baseFile);
// The paths of the local files that the links RewriteLinks rewrites name,
// in the order of the text (whether they exist or not).
std::vector<std::string> LinkedFiles(const std::string& text, const std::string& baseFile);
// A link RewriteLinks made absolute: where its new value stands in the
// result (0-based), the file it names (a full path, "." and ".." folded)
// and its fragment ("#..." or empty).
struct TLocalLink {
  std::size_t offset = 0, length = 0;
  std::string target, fragment;
};

// RewriteLinks for a given path style (the one above uses the host's); when
// links is given, it receives every link made absolute, in text order.
std::string RewriteLinks(const std::string& text, const std::string& baseFile,
                         PathStyle style, std::vector<TLocalLink>* links = nullptr);
// The absolute local URL of a resolved path: CurrentUrlPrefix, then the path
// with forward slashes (POSIX: without its leading slash when the prefix
// already ends with one, so file:/// + /home/x gives file:///home/x).
std::string LocalUrl(const std::string& resolvedPath, PathStyle style = kHostPathStyle);

}  // namespace quorvane
