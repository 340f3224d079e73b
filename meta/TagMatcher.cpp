#include "meta/TagMatcher.h"

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
                        const std::function<std::optional<TTagReplacement>(TPattern&)>& onMatch,
                        std::vector<TTagEdit>* edits) {
  const auto matcher = NewTagMatcher(pattern);
  std::string output;
  std::size_t cursor = 0;  // 0-based index of the first byte not yet copied
  for (bool found = matcher->Exec(text); found; found = matcher->ExecNext()) {
    const std::optional<TTagReplacement> replacement = onMatch(*matcher);
    if (!replacement) continue;
    if (edits) edits->push_back({0, 0, std::string::npos, 0});
    const auto start = matcher->GroupStart(replacement->group);
    const auto length = matcher->GroupLength(replacement->group);
    if (start < 1 || length < 0) continue;  // the submatch took no part
    const std::size_t from = static_cast<std::size_t>(start) - 1;
    if (from < cursor || from > text.size()) continue;
    output.append(text, cursor, from - cursor);
    const std::size_t to = std::min(text.size(), from + static_cast<std::size_t>(length));
    if (edits) edits->back() = {from, to - from, output.size(), replacement->text.size()};
    output += replacement->text;
    cursor = to;
  }
  output.append(text, cursor, std::string::npos);
  return output;
}

std::optional<std::size_t> OffsetAfterEdits(const std::vector<TTagEdit>& edits,
                                            std::size_t offset, std::size_t length) {
  std::size_t shifted = offset;
  for (const TTagEdit& edit : edits) {
    if (edit.placedAt == std::string::npos) continue;
    if (edit.from + edit.length <= offset) {  // wholly before (an insertion at offset too)
      shifted = shifted + edit.newLength - edit.length;
    } else if (edit.from >= offset + length) {
      break;
    } else {
      return std::nullopt;
    }
  }
  return shifted;
}

}  // namespace quorvane
