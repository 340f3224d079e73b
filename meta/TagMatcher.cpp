#include "meta/TagMatcher.h"

#include <algorithm>

#include "util/Errors.h"

namespace quorvane {

std::unique_ptr<TPattern> NewTagMatcher(const std::string& pattern) {
  auto matcher = std::make_unique<TPattern>();
  matcher->SetExpression(pattern);
  // Modifier indexes 1..6 are i r s g m x; set in that order.
  matcher->SetModifierFlag(1, true);
  matcher->SetModifierFlag(2, false);
  matcher->SetModifierFlag(3, true);
  matcher->SetModifierFlag(4, true);
  matcher->SetModifierFlag(5, false);
  matcher->SetModifierFlag(6, false);
  return matcher;
}

std::string RewriteTags(const std::string& pattern, const std::string& text,
                        const std::function<std::optional<TTagReplacement>(TPattern&)>& onMatch) {
  const auto matcher = NewTagMatcher(pattern);
  std::string output;
  std::size_t cursor = 0;  // 0-based index of the first byte not yet copied
  for (bool found = matcher->Exec(text); found; found = matcher->ExecNext()) {
    const std::optional<TTagReplacement> replacement = onMatch(*matcher);
    if (!replacement) continue;
    const auto start = matcher->GroupStart(replacement->group);
    const auto length = matcher->GroupLength(replacement->group);
    if (start < 1 || length < 0) continue;  // the submatch took no part
    const std::size_t from = static_cast<std::size_t>(start) - 1;
    if (from < cursor || from > text.size()) continue;
    output.append(text, cursor, from - cursor);
    output += replacement->text;
    cursor = std::min(text.size(), from + static_cast<std::size_t>(length));
  }
  output.append(text, cursor, std::string::npos);
  return output;
}

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

}  // namespace quorvane
