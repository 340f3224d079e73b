// Turning the raw text of a meta tag into a converter parameter: the four
// entities a tag value may need, and the percent placeholders that stand for
// parts of the input file's path.
#pragma once

#include <string>

#include "util/Path.h"

namespace quorvane {

// Decodes &lt; &gt; &quot; &amp; (in that order, any letter case, never
// rescanning replaced text). Every other entity stays as written.
std::string DecodeEntities(const std::string& text);

// Replaces %% %f %d %p %n %x %e %r (lower-case letters only) by parts of
// mainFile; a percent sign before any other character, or at the end, stays.
std::string ExpandPlaceholders(const std::string& value, const std::string& mainFile,
                               PathStyle style = kHostPathStyle);

}  // namespace quorvane
