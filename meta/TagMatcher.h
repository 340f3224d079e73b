// The regular-expression scans over HTML text, and the rule that turns a
// path written inside a file into a path on disk.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "regexpr/Pattern.h"
#include "util/Path.h"

namespace quorvane {

// A pattern object set up for a tag scan: case-insensitive (i), s and g on,
// r, m and x off. It compiles on its first run.
std::unique_ptr<TPattern> NewTagMatcher(const std::string& pattern);

// What a tag scan puts in place of one submatch (0 = the whole match).
struct TTagReplacement {
  int group = 0;
  std::string text;
};

// Runs a tag scan over text and rebuilds it: for every match, onMatch may
// name a submatch and its replacement; everything else, including the bytes
// after a NUL byte that the engine does not see, is copied unchanged.
std::string RewriteTags(const std::string& pattern, const std::string& text,
                        const std::function<std::optional<TTagReplacement>(TPattern&)>& onMatch);

// The path that a reference written inside baseFile denotes. An empty
// reference gives an empty text; a reference with a drive or share is made
// absolute; one that starts with a separator goes to the root of the base
// file's drive; any other is appended to the base file's directory as
// written. In POSIX style every backslash of the reference counts as a slash.
// A name whose full path the system cannot form (one too long for it) raises
// Exception "Cannot form the full path of <name>".
std::string ResolveReference(const std::string& baseFile, const std::string& reference,
                             PathStyle style = kHostPathStyle);

}  // namespace quorvane
