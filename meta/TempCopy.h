// Temporary copies with absolute links, and their deletion.
#pragma once

#include <string>
#include <vector>

#include "util/Path.h"

namespace quorvane {

// The links that RewriteLinks turns into absolute local URLs: the first href
// or src attribute of a tag. Submatches: 1 attribute name, 2 opening quote,
// 3 whole value, 4 scheme (letters and a colon) if any, 5 value after it.
inline constexpr char LinkPattern[] =
    R"re(<[a-z][^>]*?(href|src)=(["']?)(([a-z]+:)?([^>]*?))\2)re";

std::string RewriteLinks(const std::string& text, const std::string& baseFile);
// The paths of the local files that the links RewriteLinks rewrites name,
// in the order of the text (whether they exist or not).
std::vector<std::string> LinkedFiles(const std::string& text, const std::string& baseFile);
std::string TempDirectory();
std::string UniqueTempName(const std::string& directory, const std::string& prefix);
std::string WriteTempCopy(const std::string& inputPath, const std::string& document);
void DeleteTree(const std::string& directory);
void DeleteTempCopies();

// RewriteLinks for a given path style (the one above uses the host's).
std::string RewriteLinks(const std::string& text, const std::string& baseFile,
                         PathStyle style);
// The absolute local URL of a resolved path: CurrentUrlPrefix, then the path
// with forward slashes (POSIX: without its leading slash when the prefix
// already ends with one, so file:/// + /home/x gives file:///home/x).
std::string LocalUrl(const std::string& resolvedPath, PathStyle style = kHostPathStyle);

}  // namespace quorvane
