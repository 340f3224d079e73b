// Helpers shared by the engine's tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regexpr/Pattern.h"

namespace regexpr_test {

using quorvane::EPatternError;
using quorvane::TPattern;

// Modifier letters i r s g m x switch on, all others off.
inline void UseModifiers(TPattern& re, std::string_view letters) {
  constexpr std::string_view order = "irsgmx";
  for (int i = 0; i < 6; ++i) re.SetModifierFlag(i + 1, letters.find(order[std::size_t(i)]) != letters.npos);
}

// A run compiles the pattern; inspection is valid afterwards.
inline void Compile(TPattern& re, const std::string& pattern, std::string_view letters) {
  UseModifiers(re, letters);
  re.SetExpression(pattern);
  re.Exec("");
}

// The error f raised; a test failure when it raised none.
template <typename F>
std::optional<EPatternError> Raised(F f) {
  try {
    f();
  } catch (const EPatternError& e) {
    return e;
  }
  ADD_FAILURE() << "no EPatternError";
  return std::nullopt;
}

struct MatchCase {
  std::string pattern;
  std::string subject;
  int start;  // -1: no match
  int length;
  const char* modifiers = "sg";
  const char* group1 = nullptr;  // text of group 1, when given
};

inline void CheckMatches(const std::vector<MatchCase>& cases) {
  for (const MatchCase& c : cases) {
    SCOPED_TRACE("pattern '" + c.pattern + "' modifiers '" + c.modifiers + "' subject '" + c.subject + "'");
    TPattern re;
    UseModifiers(re, c.modifiers);
    re.SetExpression(c.pattern);
    bool found = false;
    EXPECT_NO_THROW(found = re.Exec(c.subject));
    EXPECT_EQ(found, c.start > 0);
    EXPECT_EQ(re.GroupStart(0), c.start);
    EXPECT_EQ(re.GroupLength(0), c.start > 0 ? c.length : -1);
    EXPECT_EQ(re.GroupText(0), c.start > 0 ? c.subject.substr(std::size_t(c.start - 1), std::size_t(c.length)) : "");
    EXPECT_EQ(c.group1 ? re.GroupText(1) : "", c.group1 ? c.group1 : "");
  }
}

}  // namespace regexpr_test
