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

}  // namespace quorvane
