// Cases where the engine deliberately behaves soundly instead of the way a
// literal reading of its design would: escaped NULs, repeats that can only
// be empty through a backreference, deep recursion, loop counters after a
// failed exit, start-character walks over loops with empty bodies, braces
// that are no quantifier, and hints kept in step with the character tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regexpr/Pattern.h"

namespace {

using quorvane::EPatternError;
using quorvane::TPattern;

// Modifier letters i r s g m x switch on, everything else off.
void UseModifiers(TPattern& re, const std::string& letters) {
  const std::string order = "irsgmx";
  for (int i = 0; i < 6; ++i) re.SetModifierFlag(i + 1, letters.find(order[std::size_t(i)]) != std::string::npos);
}

struct Expect {
  const char* pattern;
  const char* modifiers;
  std::string subject;
  int start;   // -1 = no match
  int length;
};

void CheckAll(const std::vector<Expect>& cases) {
  for (const Expect& c : cases) {
    SCOPED_TRACE(std::string("pattern ") + c.pattern + " on \"" + c.subject + "\"");
    TPattern re;
    UseModifiers(re, c.modifiers);
    re.SetExpression(c.pattern);
    const bool found = re.Exec(c.subject);
    EXPECT_EQ(found, c.start > 0);
    EXPECT_EQ(re.GroupStart(0), c.start);
    if (found) {
      EXPECT_EQ(re.GroupLength(0), c.length);
    }
  }
}

TEST(EngineMends, EscapedNulInsideAClassIsAMemberThatNeverMatches) {
  CheckAll({
      // The class goes on after the NUL: its other members still count.
      {"[\\x00]", "sg", "ab", -1, 0},
      {"[\\x{}]", "sg", "", -1, 0},
      {"[\\x{0}]x", "sg", "x", -1, 0},
      {"[a\\x00b]+", "sg", "xxba", 3, 2},
      {"[\\x00a-c]", "sg", "zc", 2, 1},
      {"[^\\x00]", "sg", "q", 1, 1},
      {"[^\\x00]", "sg", "", -1, 0},
      {"x[^\\x00]", "sg", "x", -1, 0},
      {"[\\x00-b]+", "sg", "zab!", 2, 3},
      {"[^\\x00abc]+", "sg", "abxyc", 3, 2},
      {"[\\x00]?z", "sg", "z", 1, 1},
  });
  TPattern re;
  re.SetExpression("[b-\\x00]");
  try {
    re.Exec("b");
    ADD_FAILURE() << "a range ending in NUL below its start compiled";
  } catch (const EPatternError& e) {
    EXPECT_EQ(e.Code, 109);
  }
}

TEST(EngineMends, EscapedNulOutsideAClassMatchesNothing) {
  CheckAll({
      {"\\x00", "sg", "", -1, 0},
      {"\\x00", "sg", "abc", -1, 0},
      {"a\\x00", "sg", "a", -1, 0},
      {"a\\x{}?b", "sg", "ab", 1, 2},
      {"\\x00|b", "sg", "ab", 2, 1},
      {"(\\x00)*", "sg", "", 1, 0},
      {"(\\x00)*x", "sg", "yx", 2, 1},
      {"\\x00*", "sg", "", 1, 0},
      {"(\\x00)+", "sg", "", -1, 0},
      {"(\\x00)*?$", "s", "ab", 3, 0},
      {"(?i)\\x00", "sg", "", -1, 0},
  });
}

TEST(EngineMends, RepeatsOverEmptyBackreferencesEnd) {
  CheckAll({
      // Simple repeats of a backreference to empty text.
      {"()\\1*x", "sg", "ax", 2, 1},
      {"()\\1+x", "sg", "ax", 2, 1},
      {"()\\1{3,}x", "sg", "x", 1, 1},
      {"()\\1*?x", "s", "x", 1, 1},
      {"(a?)\\1*b", "sg", "b", 1, 1},
      {"(a?)\\1*b", "sg", "aaab", 1, 4},
      // Group loops whose body is empty only through the backreference.
      {"()(\\1)*x", "sg", "yx", 2, 1},
      {"()(\\1)+x", "sg", "x", 1, 1},
      {"()(\\1|a)*x", "sg", "aax", 1, 3},
      {"()(\\1)*?x", "s", "x", 1, 1},
      {"()(\\1)+?x", "s", "x", 1, 1},
      {"()(\\1){2,}x", "sg", "x", 1, 1},
      {"()(\\1){0,5}?$", "s", "ab", 3, 0},
      {"(a*)(\\1)*$", "sg", "b", 2, 0},
      {"()(\\1)*y", "sg", "xx", -1, 0},
  });
}

TEST(EngineMends, DeepRecursionRaisesCode1016AndTheObjectStaysUsable) {
  std::string longText;
  for (int i = 0; i < 400000; ++i) longText += "ab";
  for (const char* pattern : {"(ab)*", "(a|b)*$", "(ab)*?$", "((a)b){1,}"}) {
    SCOPED_TRACE(pattern);
    TPattern re;
    re.SetExpression(pattern);
    try {
      re.Exec(longText);
      ADD_FAILURE() << "a run this deep should have been stopped";
    } catch (const EPatternError& e) {
      EXPECT_EQ(e.Code, 1016);
      EXPECT_EQ(e.Position, 0);
      EXPECT_EQ(std::string(e.what()), re.ErrorText(1016));
      EXPECT_NE(re.ErrorText(1016), "Unknown error");
    }
    // No result survives the error, and the object still matches.
    EXPECT_EQ(re.GroupStart(0), -1);
    EXPECT_THROW(re.ExecNext(), EPatternError);
    EXPECT_TRUE(re.Exec("ababc"));
  }
  // A few hundred iterations are well within the budget.
  TPattern re;
  re.SetExpression("(ab)*$");
  std::string moderate;
  for (int i = 0; i < 300; ++i) moderate += "ab";
  ASSERT_TRUE(re.Exec(moderate));
  EXPECT_EQ(re.GroupLength(0), 600);
  EXPECT_EQ(re.GroupStart(1), 599);
}

TEST(EngineMends, LoopCountersSurviveAFailedExit) {
  CheckAll({
      {"(a|ab){1,2}(c){1,2}x", "sg", "abcx", 1, 4},
      {"(a|ab){1,2}(c){1,2}x", "s", "abcx", 1, 4},
      {"(a|ab){1,2}(c|cc){1,2}x", "sg", "abccx", 1, 5},
      {"((a|ab){1,2}(c){1,2}){2}x", "sg", "abcabcx", 1, 7},
      {"(a|ab){2}(c){2}x", "sg", "aabccx", 1, 6},
      {"(a|ab){1,3}c", "sg", "abd", -1, 0},
  });
}

TEST(EngineMends, StartCharactersOfLoopsWithEmptyBodies) {
  // These compile to loops whose body can match empty; the start-character
  // walk must end and keep every position a match can start at.
  struct Case {
    const char* pattern;
    const char* modifiers;
    std::string subject;
    int start, length;
  };
  const Case cases[] = {
      {"(a?)??b", "sg", "xab", 2, 2},
      {"(a?)??", "sg", "x", 1, 0},
      {"()?x", "s", "yx", 2, 1},
      {"(()?)??c", "s", "bc", 2, 1},
      {"((a?)??b)*?c", "s", "abbc", 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    TPattern re;
    UseModifiers(re, c.modifiers);
    re.SetExpression(c.pattern);
    ASSERT_TRUE(re.Exec(c.subject));
    EXPECT_EQ(re.GroupStart(0), c.start);
    EXPECT_EQ(re.GroupLength(0), c.length);
    // The walk over the loop reaches what comes after it.
    const char last = c.pattern[std::string(c.pattern).size() - 1];
    if (last >= 'a' && last <= 'z') {
      EXPECT_TRUE(re.StartCharSet()[static_cast<unsigned char>(last)]);
    }
  }
}

TEST(EngineMends, BraceThatIsNoQuantifierIsALiteral) {
  CheckAll({
      {"a*{x}", "sg", "baa{x}", 2, 5},
      {"a+{,2}", "sg", "aa{,2}", 1, 6},
      {"^{", "sg", "{", 1, 1},
      {"^{", "sg", "x{", -1, 0},
      {"\\b{", "sg", " {", -1, 0},
      {"\\b{", "sg", "a{", 2, 1},
      {"x\\b{", "sg", "x{", 1, 2},
      {"(?i){a}", "sg", "{A}", 1, 3},
  });
  // A brace that forms a quantifier keeps its errors.
  for (const char* pattern : {"a*{2}", "^{2}", "\\b{1,}"}) {
    SCOPED_TRACE(pattern);
    TPattern re;
    re.SetExpression(pattern);
    try {
      re.Exec("a");
      ADD_FAILURE() << "compiled";
    } catch (const EPatternError& e) {
      EXPECT_EQ(e.Code, std::string(pattern) == "a*{2}" ? 107 : 106);
    }
  }
}

TEST(EngineMends, LineEndStartsBeforeAnyPairedSeparator) {
  TPattern re;
  re.SetLinePairedSeparator("ab");
  re.SetLineBreakChars("");
  re.SetExpression("(?m)$");
  ASSERT_TRUE(re.Exec("xaby"));
  EXPECT_EQ(re.GroupStart(0), 2);
  EXPECT_TRUE(re.StartCharSet()['a']);
  // \Z is the end of the input only.
  re.SetExpression("\\Z");
  ASSERT_TRUE(re.Exec("xaby"));
  EXPECT_EQ(re.GroupStart(0), 5);
}

// A case mapping of our own: swaps x and #, leaves the rest.
unsigned char SwapXHash(unsigned char c) { return c == 'x' ? '#' : c == '#' ? 'x' : c; }
// A broken mapping that gives NUL for 'a'.
unsigned char ToNul(unsigned char c) { return c == 'a' ? 0 : c; }

TEST(EngineMends, HintsFollowTablesChangedAfterCompiling) {
  TPattern re;
  re.SetModifierFlag(5, true);  // m
  for (const char* pattern : {"$", "(x|$)"}) {
    SCOPED_TRACE(pattern);
    re.SetLineBreakChars("\r\n");
    re.SetExpression(pattern);
    ASSERT_TRUE(re.Exec("ab;c"));
    EXPECT_EQ(re.GroupStart(0), 5);
    // New line breaks apply at the next run without recompiling; the start
    // characters must not hide the new line end.
    re.SetLineBreakChars(";");
    ASSERT_TRUE(re.Exec("ab;c"));
    EXPECT_EQ(re.GroupStart(0), 3);
  }

  TPattern ci;
  ci.SetModifierFlag(1, true);  // i
  ci.SetExpression("x");
  ASSERT_FALSE(ci.Exec("#"));
  ci.SetCaseSwap(SwapXHash);
  ASSERT_TRUE(ci.Exec("a#"));
  EXPECT_EQ(ci.GroupStart(0), 2);
  ci.SetExpression("yx");
  ASSERT_TRUE(ci.Exec("zy#"));
  EXPECT_EQ(ci.GroupStart(0), 2);
}

TEST(EngineMends, CaseSwapToNulNeverMatchesTheEnd) {
  TPattern re;
  re.SetCaseSwap(ToNul);
  re.SetModifierFlag(1, true);
  for (const char* pattern : {"a", "ba", "(b)\\1a", "a|c"}) {
    SCOPED_TRACE(pattern);
    re.SetExpression(pattern);
    EXPECT_FALSE(re.Exec("b"));
  }
  re.SetExpression("(a)b\\1");
  EXPECT_FALSE(re.Exec("ab"));
  EXPECT_TRUE(re.Exec("aba"));
}

TEST(EngineMends, LargePatternsCompileAndRun) {
  // Thousands of optional pieces in a row: the start-character walk and the
  // matcher must not exhaust the stack (the matcher may give up with 1016).
  std::string optional;
  for (int i = 0; i < 20000; ++i) optional += "a?";
  TPattern re;
  re.SetExpression(optional + "b");
  try {
    ASSERT_TRUE(re.Exec("aab"));
    EXPECT_EQ(re.GroupLength(0), 3);
  } catch (const EPatternError& e) {
    EXPECT_EQ(e.Code, 1016);
  }
  EXPECT_TRUE(re.StartCharSet()['a'] && re.StartCharSet()['b']);
  // A long alternation compiles and finds its last branch.
  std::string words;
  for (int i = 0; i < 20000; ++i) words += "w" + std::to_string(i) + "|";
  re.SetExpression(words + "end");
  ASSERT_TRUE(re.Exec("the end"));
  EXPECT_EQ(re.GroupStart(0), 5);
}

}  // namespace
