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
inline const char* const kMetaTag =
    "<meta\\s+name=([\"']?)([^>]*?)\\1\\s+content=([\"']?)([^>]*?)\\3[^>]*>";
inline const char* const kLink = "<[a-z][^>]*?[\\s:](href|src)=([\"']?)(([a-z]+:)?([^>]*?))\\2";

inline std::string Times(std::string_view text, int n) {
  std::string out;
  while (n-- > 0) out += text;
  return out;
}

// Modifier letters i r s g m x switch on, all others off.
inline void UseModifiers(TPattern& re, std::string_view letters) {
  for (int i = 0; i < 6; ++i) re.SetModifierFlag(i + 1, letters.find("irsgmx"[i]) != letters.npos);
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

// Every match of a full scan (Exec, then ExecNext): groups 0 to 5 as
// "start+length" joined by blanks; an error ends the list as "error N".
inline std::vector<std::string> Scan(TPattern& re, const std::string& subject) {
  std::vector<std::string> out;
  try {
    for (bool ok = re.Exec(subject); ok && out.size() <= subject.size(); ok = re.ExecNext()) {
      std::string match;
      for (int n = 0; n <= 5; ++n)
        match += (n == 0 ? "" : " ") + std::to_string(re.GroupStart(n)) + "+" +
                 std::to_string(re.GroupLength(n));
      out.push_back(match);
    }
  } catch (const EPatternError& e) {
    out.push_back("error " + std::to_string(e.Code));
  }
  return out;
}

// One run of a fresh object; start -1: no match. ExecPos(offset) runs when
// the offset is not 1.
struct MatchCase {
  std::string pattern, subject;
  int start, length;
  const char* modifiers = "sg";
  const char* group1 = nullptr;  // text of group 1, when given
  int offset = 1;
};

inline void CheckMatches(const std::vector<MatchCase>& cases) {
  for (const MatchCase& c : cases) {
    SCOPED_TRACE("pattern '" + c.pattern + "' modifiers '" + c.modifiers + "' subject '" +
                 c.subject + "' from " + std::to_string(c.offset));
    TPattern re;
    UseModifiers(re, c.modifiers);
    re.SetExpression(c.pattern);
    bool found = false;
    re.SetInputString(c.subject);
    EXPECT_NO_THROW(found = re.ExecPos(c.offset));
    EXPECT_EQ(found, c.start > 0);
    EXPECT_EQ(re.GroupStart(0), c.start);
    EXPECT_EQ(re.GroupLength(0), c.start > 0 ? c.length : -1);
    if (c.group1) {
      EXPECT_EQ(re.GroupText(1), c.group1);
    }
  }
}

}  // namespace regexpr_test
