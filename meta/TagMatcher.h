// The regular-expression scans over HTML text, and the rule that turns a
// path written inside a file into a path on disk.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// One replacement a tag scan made: the span it replaced in the scanned text
// and where its new text stands in the result (0-based byte offsets).
// placedAt is npos for a replacement that could not be made.
struct TTagEdit {
  std::size_t from = 0, length = 0;
  std::size_t placedAt = 0, newLength = 0;
};

// Runs a tag scan over text and rebuilds it: for every match, onMatch may
// name a submatch and its replacement; everything else, including the bytes
// after a NUL byte that the engine does not see, is copied unchanged. When
// edits is given, it receives one entry for every replacement onMatch
// returned, in order.
std::string RewriteTags(const std::string& pattern, const std::string& text,
                        const std::function<std::optional<TTagReplacement>(TPattern&)>& onMatch,
                        std::vector<TTagEdit>* edits = nullptr);

// Where the text at offset..offset+length of a scanned text stands in the
// result of RewriteTags with these edits; none when a replacement covered
// any of it.
std::optional<std::size_t> OffsetAfterEdits(const std::vector<TTagEdit>& edits,
                                            std::size_t offset, std::size_t length = 0);

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
