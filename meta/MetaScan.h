// Reading a page with its includes, and collecting the target's parameters
// from its meta tags.
#pragma once

#include <functional>
#include <string>

#include "util/Path.h"
#include "util/StringList.h"

namespace quorvane {

// A meta tag whose first attribute is the name and whose next is the
// content. Submatch 2 is the name, 4 the content; 1 and 3 the quotes.
inline constexpr char MetaTagPattern[] =
    R"re(<meta\s+name=(["']?)([^>]*?)\1\s+content=(["']?)([^>]*?)\3[^>]*>)re";

// Include files nest at most this deep below the input file; deeper nesting
// fails the input file.
inline constexpr int kMaxIncludeDepth = 64;
// At most this many includes are expanded for one input file, so that files
// that include each other many times over cannot grow a page without end.
inline constexpr int kMaxIncludes = 10000;

// True when name starts with CurrentPrefix (else with "*:"), in any letter
// case; remainder is then the name without that prefix.
bool StripTargetPrefix(const std::string& name, std::string& remainder);
// "@include", alone or behind the target prefix or "*:".
bool IsIncludeName(const std::string& name);

// The file's bytes with its links made absolute and every include tag
// replaced by the loaded document of the file it names (each relative to
// its own file). Include cycles, nesting beyond kMaxIncludeDepth and more
// than kMaxIncludes includes raise EkelvoError; unreadable files raise EFOpenError or EReadError.
std::string LoadDocument(const std::string& path);

// The bounds LoadDocument works with; tests choose smaller ones.
struct TIncludeLimits {
  int depth = kMaxIncludeDepth;
  int includes = kMaxIncludes;
};
std::string LoadDocument(const std::string& path, const TIncludeLimits& limits);
// The same, telling onRead of every file read (the input file, then each
// include where it is met) together with its bytes as read.
using TFileReadHook = std::function<void(const std::string& path, const std::string& text)>;
std::string LoadDocument(const std::string& path, const TIncludeLimits& limits,
                         const TFileReadHook& onRead);

// Fills the (empty) parallel lists with the parameters selected by the
// current prefix, in document order. A later tag overrides an earlier one in
// its place; the value %r removes a parameter.
void CollectParameters(const std::string& document, const std::string& mainFile,
                       TStringList& parameterNames, TStringList& parameterValues,
                       PathStyle style = kHostPathStyle);

}  // namespace quorvane
