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

// The program's two tag patterns, run with i, s and g on.
inline const char* const kMetaTag = "<meta\\s+name=([\"']?)([^>]*?)\\1\\s+content=([\"']?)([^>]*?)\\3[^>]*>";
inline const char* const kLink = "<[a-z][^>]*?[\\s:](href|src)=([\"']?)(([a-z]+:)?([^>]*?))\\2";

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

// Every match of a full scan (Exec, then ExecNext) with the bounds of groups
// 0 to 5, or the error code; at most 1000 matches.
inline std::vector<int> Scan(TPattern& re, const std::string& subject) {
  std::vector<int> out;
  try {
    for (bool ok = re.Exec(subject); ok && out.size() < 12000; ok = re.ExecNext())
      for (int n = 0; n <= 5; ++n) out.insert(out.end(), {re.GroupStart(n), re.GroupLength(n)});
  } catch (const EPatternError& e) {
    out.push_back(-1000 - e.Code);
  }
  return out;
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
