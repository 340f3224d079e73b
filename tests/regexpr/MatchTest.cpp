// Matching from the outside: what Exec, ExecPos and ExecNext find, the
// submatch bounds, line and word rules, and the object's state between runs.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "regexpr/Pattern.h"

using quorvane::EPatternError;
using quorvane::TPattern;

namespace {

void SetModifiers(TPattern& re, std::string_view letters) {
  static constexpr std::string_view kLetters = "irsgmx";
  for (int i = 0; i < 6; ++i) {
    re.SetModifierFlag(i + 1, letters.find(kLetters[i]) != std::string_view::npos);
  }
}

struct MatchCase {
  std::string pattern;
  const char* modifiers;
  std::string subject;
  int start;  // -1: no match
  int length;
  const char* group1 = nullptr;  // expected text of submatch 1, when given
};

void RunCases(const std::vector<MatchCase>& cases) {
  for (const MatchCase& c : cases) {
    SCOPED_TRACE("pattern '" + c.pattern + "' modifiers '" + c.modifiers + "' subject '" +
                 c.subject + "'");
    TPattern re;
    SetModifiers(re, c.modifiers);
    re.SetExpression(c.pattern);
    bool found = false;
    try {
      found = re.Exec(c.subject);
    } catch (const EPatternError& e) {
      ADD_FAILURE() << "raised " << e.Code << ": " << e.what();
      continue;
    }
    EXPECT_EQ(found, c.start > 0);
    EXPECT_EQ(re.GroupStart(0), c.start);
    EXPECT_EQ(re.GroupLength(0), c.start > 0 ? c.length : -1);
    if (c.start > 0) {
      EXPECT_EQ(re.GroupText(0), c.subject.substr(c.start - 1, c.length));
    }
    if (c.group1) {
      EXPECT_EQ(re.GroupText(1), c.group1);
    }
  }
}

TEST(Match, QuantifiersAndBacktracking) {
  RunCases({
      {"a*a", "sg", "aaa", 1, 3}, {"a*?a", "sg", "aaa", 1, 1},
      {"a+", "s", "aaa", 1, 1},  // without g every quantifier is lazy
      {"a{2,3}", "sg", "aaaa", 1, 3}, {"a{2,3}?", "sg", "aaaa", 1, 2}, {"a{2}", "sg", "a", -1, 0},
      {"a{2,}", "sg", "caaaaab", 2, 5}, {"(ab){2,3}", "sg", "abababab", 1, 6, "ab"},
      {"(ab){2,3}", "s", "abababab", 1, 4, "ab"}, {"(ab)+?", "sg", "abab", 1, 2},
      {"(a|b)*c", "sg", "abbac", 1, 5, "a"}, {"(a|b)*?b", "sg", "aab", 1, 3, "a"},
      {"<.+?>", "sg", "<a><b>", 1, 3}, {"<.+>", "sg", "<a><b>", 1, 6}, {"x??y", "sg", "xy", 1, 2},
      {"(xy)?z", "sg", "xyz", 1, 3, "xy"}, {"(xy)??z", "sg", "xyz", 1, 3, "xy"},
      {"a{,3}", "sg", "a{,3}", 1, 5}, {"a{3", "sg", "xa{3", 2, 3}, {"abc*", "sg", "abccc", 1, 5},
      {"(a|ab)(c|bcd)(d*)", "sg", "abcd", 1, 4, "a"}, {"a|ab", "sg", "ab", 1, 1},
      {"x|", "sg", "y", 1, 0}, {"(a|ab){1,3}c", "sg", "abc", 1, 3},
      {"(a|ab){1,3}c", "sg", "abd", -1, 0}, {"(a|ab){1,2}(c){1,2}x", "sg", "abcx", 1, 4},
      {"((a|b){2}c){2}", "sg", "abcbbc", 1, 6, "bbc"}, {"\\d+", "sg", "ab123c", 3, 3},
      {"\\D+", "sg", "12ab3", 3, 2}, {"\\s+", "sg", "a \t\r\n\fb", 2, 5},
      {"\\w+", "sg", "  foo_1!", 3, 5}, {"a*ab", "sg", "aaab", 1, 4}, {"(a){2}", "sg", "aaa", 1, 2},
      {"(a|b){2,3}?c", "sg", "ababc", 2, 4}, {"((a){2}b){2}", "sg", "xaabaab", 2, 6, "aab"},
  });
}

TEST(Match, LiteralsEscapesAndCase) {
  RunCases({
      {"\\x41\\x{42}", "sg", "xAB", 2, 2}, {"\\t\\n\\e", "sg", "a\t\n\x1B", 2, 3},
      {"\\z", "sg", "az", 2, 1}, {"a\\.b", "sg", "axb a.b", 5, 3}, {"abc", "isg", "xABC", 2, 3},
      {"abc", "sg", "ABC", -1, 0}, {"[a-c]+", "isg", "xAbC", 2, 3}, {"[^a]", "isg", "Ab", 2, 1},
      {"(a)\\1", "isg", "aA", 1, 2}, {"(a)\\1", "sg", "aA", -1, 0}, {"(?i)ABC", "sg", "xabc", 2, 3},
      {"(a(?i)b)c", "sg", "aBc", 1, 3}, {"(a(?i)b)c", "sg", "abC", -1, 0},
      {"a(?i)b|c", "sg", "C", 1, 1}, {"(?i-i)a", "sg", "A", -1, 0},
      {"a(?#note)b", "sg", "ab", 1, 2}, {"a b # comment", "sgx", "xab", 2, 2},
      {"a\\ b", "sgx", "a b", 1, 3}, {"[ ]", "sgx", "a b", 2, 1}, {"(?x) a b", "sg", "ab", 1, 2},
      {"a b*", "sgx", "abbb", 1, 4}, {"a#c\nb", "sgx", "ab", 1, 2},
  });
}

TEST(Match, BackReferences) {
  RunCases({
      {"(a)\\10", "sg", "aa0", 1, 3, "a"}, {"(\\w+) \\1", "sg", "say bye bye", 5, 7, "bye"},
      {"(a)|b\\1", "sg", "b", -1, 0}, {"(a*)b\\1", "sg", "b", 1, 1, ""},
      {"(a*)b\\1*c", "sg", "bc", 1, 2, ""},  // repeated empty back-reference
      {"(a*)(\\1)*x", "sg", "x", 1, 1, ""},  // complex repeat that stays empty
      {"(a*)(\\1)+x", "sg", "x", 1, 1, ""}, {"(a*)(\\1)*?x", "sg", "x", 1, 1, ""},
      {"(ab)\\1{2}", "sg", "abababab", 1, 6}, {"(ab)\\1+", "sg", "abababa", 1, 6},
      {"(a)\\1*", "isg", "aAaA", 1, 4},
      {"\\1(a)", "sg", "aa", -1, 0},  // refers to a group that has not captured yet
  });
}

TEST(Match, AnchorsLinesAndWords) {
  RunCases({
      {"^$", "sg", "", 1, 0}, {"a", "sg", "", -1, 0}, {"x*", "sg", "", 1, 0},
      {"^b", "sg", "a\nb", -1, 0}, {"^b", "msg", "a\nb", 3, 1}, {"(?m)^b", "sg", "a\r\nb", 4, 1},
      {"(?m)^b", "sg", "a\rb", 3, 1},
      {"(?m)^\\n", "sg", "a\r\n", -1, 0},  // no line start inside a CR LF pair
      {"(?m)a$", "sg", "a\r\nb", 1, 1},
      {"(?m)\\r$", "sg", "a\r\nb", -1, 0},  // no line end inside a CR LF pair
      {"(?m)\\n$", "sg", "a\n\nb", 2, 1}, {"(?m)$", "sg", "ab\ncd", 3, 0},
      {"\\Aa", "msg", "b\na", -1, 0}, {"a\\Z", "msg", "a\nb", -1, 0}, {".+", "g", "ab\ncd", 1, 2},
      {".+", "g", "\r\nab", 3, 2}, {"a.c", "sg", "a\nc", 1, 3}, {".*?d", "g", "ab\ncd", 4, 2},
      {"\\bfoo\\b", "sg", "foo", 1, 3}, {"\\bfoo\\b", "sg", "afoo foo", 6, 3},
      {"\\Boo", "sg", "foo", 2, 2}, {"foo\\B", "sg", "foo", -1, 0}, {"\\B", "sg", "", 1, 0},
      {"\\b-", "sg", "a-", 2, 1},
  });
}

TEST(Match, ClassesNeverMatchTheEnd) {
  // A negated bitmap stores the byte 0 bit; the end of the input is still no character.
  RunCases({
      {"[^abcd]", "sg", "", -1, 0}, {"[^ab]", "sg", "", -1, 0}, {"x[^abcd]", "sg", "x", -1, 0},
      {"x\\D", "sg", "x", -1, 0}, {"x[^abcd]*$", "sg", "xyz", 1, 3},
  });
}

TEST(Match, NulBytes) {
  // The subject ends at its first NUL byte.
  const std::string subject("ab\0cd", 5);
  RunCases({
      {"c", "sg", subject, -1, 0}, {"b$", "sg", subject, 2, 1}, {"\\D*", "sg", subject, 1, 2},
  });
  // A NUL written by escape inside a class does not close it.
  RunCases({
      {"[a\\x00b]", "sg", "xb", 2, 1}, {"[\\x00ab]+", "sg", "xba", 2, 2},
      {"[a\\x{}b]c", "sg", "bc", 1, 2},
  });
  // Whatever such a class or escape means otherwise, it never matches past the end.
  for (const char* pattern : {"[\\x00]", "[^\\x00]", "\\x00", "x\\x00", "x[\\x00a]"}) {
    SCOPED_TRACE(pattern);
    TPattern re;
    re.SetExpression(pattern);
    try {
      if (re.Exec("x")) {
        EXPECT_LE(re.GroupStart(0) + re.GroupLength(0), 2);
      }
    } catch (const EPatternError&) {
    }
  }
}

// Every match of a scan as (start, length).
std::vector<std::pair<int, int>> Scan(TPattern& re, const std::string& subject) {
  std::vector<std::pair<int, int>> found;
  for (bool ok = re.Exec(subject); ok && found.size() < 100; ok = re.ExecNext()) {
    found.emplace_back(re.GroupStart(0), re.GroupLength(0));
  }
  return found;
}

using Spans = std::vector<std::pair<int, int>>;

TEST(Match, ExecNextVisitsEveryPosition) {
  TPattern re;
  re.SetExpression("a*");
  EXPECT_EQ(Scan(re, "bb"), (Spans{{1, 0}, {2, 0}, {3, 0}}));
  EXPECT_EQ(Scan(re, "aab"), (Spans{{1, 2}, {3, 0}, {4, 0}}));

  re.SetExpression("ab");
  EXPECT_EQ(Scan(re, "abxabab"), (Spans{{1, 2}, {4, 2}, {6, 2}}));

  // A caret without m matches only at the very start, also for ExecNext.
  re.SetExpression("^a");
  EXPECT_EQ(Scan(re, "aa"), (Spans{{1, 1}}));

  re.SetExpression("(?m)^");
  EXPECT_EQ(Scan(re, "a\r\nb\nc"), (Spans{{1, 0}, {4, 0}, {6, 0}}));
  re.SetExpression("(?m)$");
  EXPECT_EQ(Scan(re, "a\r\nb\nc"), (Spans{{2, 0}, {5, 0}, {7, 0}}));
}

TEST(Match, ExecPosOffsets) {
  TPattern re;
  re.SetExpression("$");
  re.SetInputString("ab");
  EXPECT_TRUE(re.ExecPos(3));
  EXPECT_EQ(re.GroupStart(0), 3);
  EXPECT_EQ(re.GroupLength(0), 0);
  EXPECT_FALSE(re.ExecPos(4));
  EXPECT_EQ(re.GroupStart(0), -1);

  re.SetExpression("a*");
  EXPECT_TRUE(re.ExecPos(3));
  EXPECT_EQ(re.GroupStart(0), 3);
  EXPECT_FALSE(re.ExecPos(100));

  // \A and a caret without m look at the start of the whole subject.
  re.SetExpression("^b");
  EXPECT_FALSE(re.ExecPos(2));
  re.SetExpression("\\Ab");
  EXPECT_FALSE(re.ExecPos(2));
  // A word boundary sees the character before the offset.
  re.SetExpression("\\bb");
  EXPECT_FALSE(re.ExecPos(2));
  re.SetExpression("b");
  EXPECT_TRUE(re.ExecPos(2));
  EXPECT_EQ(re.GroupText(0), "b");
  // The literal every match needs is looked for from the offset on.
  re.SetExpression("a*zz");
  re.SetInputString("zzab");
  EXPECT_FALSE(re.ExecPos(2));
  EXPECT_TRUE(re.ExecPos(1));
}

TEST(Match, GroupResults) {
  TPattern re;
  re.SetExpression("(a)|b");
  ASSERT_TRUE(re.Exec("xb"));
  EXPECT_EQ(re.GroupStart(0), 2);
  EXPECT_EQ(re.GroupStart(1), -1);
  EXPECT_EQ(re.GroupLength(1), -1);
  EXPECT_EQ(re.GroupText(1), "");
  for (int n : {15, -1, 100}) {
    EXPECT_EQ(re.GroupStart(n), -1);
    EXPECT_EQ(re.GroupLength(n), -1);
    EXPECT_EQ(re.GroupText(n), "");
  }

  // A failed run leaves every group unset.
  ASSERT_TRUE(re.Exec("a"));
  EXPECT_EQ(re.GroupStart(1), 1);
  EXPECT_FALSE(re.Exec("zz"));
  EXPECT_EQ(re.GroupStart(0), -1);
  EXPECT_EQ(re.GroupStart(1), -1);
  EXPECT_EQ(re.GroupText(0), "");

  // A group inside a repeat keeps the bounds of its last pass; groups are
  // numbered by their opening parentheses.
  re.SetExpression("((\\w)\\w)+-(x)?");
  ASSERT_TRUE(re.Exec("..abcd-y"));
  EXPECT_EQ(re.GroupText(1), "cd");
  EXPECT_EQ(re.GroupStart(1), 5);
  EXPECT_EQ(re.GroupText(2), "c");
  EXPECT_EQ(re.GroupStart(3), -1);

  // A group skipped by the last pass keeps the bounds of an earlier one.
  re.SetExpression("(a(b)?)+");
  ASSERT_TRUE(re.Exec("aba"));
  EXPECT_EQ(re.GroupStart(1), 3);
  EXPECT_EQ(re.GroupText(2), "b");

  // An empty submatch has length 0, not -1.
  re.SetExpression("a(b*)c");
  ASSERT_TRUE(re.Exec("xac"));
  EXPECT_EQ(re.GroupStart(1), 3);
  EXPECT_EQ(re.GroupLength(1), 0);

  // Positions count from the start of the part before a NUL byte.
  re.SetExpression("(d)");
  EXPECT_FALSE(re.Exec(std::string("abc\0d", 5)));
  ASSERT_TRUE(re.Exec(std::string("abcd\0d", 6)));
  EXPECT_EQ(re.GroupStart(1), 4);
}

TEST(Match, SettingsTakeEffectAtTheNextRun) {
  TPattern re;
  // Defaults: i off, r on, s on, g on, m off, x off.
  const bool defaults[] = {false, true, true, true, false, false};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(re.ModifierFlag(i + 1), defaults[i]) << i + 1;

  re.SetExpression("abc");
  EXPECT_FALSE(re.Exec("ABC"));
  re.SetModifierFlag(1, true);
  EXPECT_TRUE(re.Exec("ABC"));
  EXPECT_TRUE(re.ModifierFlag(1));
  re.SetModifierFlag(1, false);
  EXPECT_FALSE(re.Exec("ABC"));

  // Assigning the same pattern again keeps it working; a new one replaces it.
  re.SetExpression("abc");
  EXPECT_TRUE(re.Exec("abc"));
  re.SetExpression("b+");
  ASSERT_TRUE(re.Exec("abbc"));
  EXPECT_EQ(re.GroupLength(0), 2);

  // g off makes the same pattern lazy at the next run.
  re.SetModifierFlag(4, false);
  ASSERT_TRUE(re.Exec("abbc"));
  EXPECT_EQ(re.GroupLength(0), 1);

  // The pattern stays, the subject changes.
  re.SetModifierFlag(4, true);
  re.SetInputString("bbb");
  ASSERT_TRUE(re.ExecPos(2));
  EXPECT_EQ(re.GroupStart(0), 2);
  EXPECT_EQ(re.GroupLength(0), 2);
}

TEST(Match, PairedSeparator) {
  TPattern re;
  re.SetModifierFlag(3, false);  // the dot stops at line breaks
  re.SetLinePairedSeparator("ab");
  re.SetExpression("x.");
  EXPECT_FALSE(re.Exec("xab"));  // the dot does not take the first half of a pair
  EXPECT_TRUE(re.Exec("xac"));
  EXPECT_TRUE(re.Exec("xb"));

  // The dollar holds before the pair, so the search must try that position.
  re.SetExpression("(?m)$");
  ASSERT_TRUE(re.Exec("xaby"));
  EXPECT_EQ(re.GroupStart(0), 2);
  EXPECT_EQ(re.GroupLength(0), 0);
  re.SetExpression("(?m)^y");
  ASSERT_TRUE(re.Exec("xaby"));
  EXPECT_EQ(re.GroupStart(0), 4);
  re.SetExpression("(?m)^b");
  EXPECT_FALSE(re.Exec("xaby"));

  // Without a pair, CR and LF are two line breaks.
  re.SetLinePairedSeparator("");
  re.SetExpression("(?m)^\\n");
  ASSERT_TRUE(re.Exec("a\r\n"));
  EXPECT_EQ(re.GroupStart(0), 3);
  re.SetExpression("(?m)\\r$");
  EXPECT_TRUE(re.Exec("a\r\nb"));
}

TEST(Match, MendedFaultsEnd) {
  // A lazy optional over a group that can be empty must compile and find
  // the empty match at the first position.
  for (const char* pattern : {"(a?)??", "()?", "(a?)??b?"}) {
    SCOPED_TRACE(pattern);
    TPattern re;
    SetModifiers(re, "s");
    re.SetExpression(pattern);
    ASSERT_TRUE(re.Exec("xa"));
    EXPECT_EQ(re.GroupStart(0), 1);
    EXPECT_EQ(re.GroupLength(0), 0);
  }
  // A NUL escape under a repeat ends on an empty subject.
  for (const char* pattern : {"(\\x00)*", "(\\x00)+", "(\\x{})*x", "\\x00*"}) {
    SCOPED_TRACE(pattern);
    TPattern re;
    re.SetExpression(pattern);
    try {
      if (re.Exec("")) {
        EXPECT_EQ(re.GroupLength(0), 0);
      }
    } catch (const EPatternError&) {
    }
  }
}

TEST(Match, DeepRecursionRaisesInsteadOfCrashing) {
  const std::string longText = [] {
    std::string s;
    s.reserve(1000000);
    for (int i = 0; i < 500000; ++i) s += "ab";
    return s;
  }();
  for (const char* pattern : {"(a|b)*", "(a|b)*?$", "(ab)+", "((a)(b))*"}) {
    SCOPED_TRACE(pattern);
    TPattern re;
    re.SetExpression(pattern);
    try {
      ASSERT_TRUE(re.Exec(longText));
      EXPECT_EQ(re.GroupStart(0), 1);
      EXPECT_EQ(re.GroupLength(0), 1000000);
    } catch (const EPatternError& e) {
      EXPECT_FALSE(std::string(e.what()).empty());
    }
    // Either way the object still works.
    EXPECT_TRUE(re.Exec("ab"));
    EXPECT_EQ(re.GroupLength(0), 2);
  }
}

}  // namespace

namespace {

TEST(Match, CharacterTables) {
  TPattern re;
  EXPECT_EQ(re.LinePairedSeparator(), "\r\n");
  EXPECT_EQ(re.LineBreakChars(), "\r\n");
  EXPECT_EQ(re.BlankChars(), " \t\n\r\f");

  // The word set decides \w when compiled and \b at every run.
  re.SetWordCharSet("ab-");
  re.SetExpression("\\w+");
  ASSERT_TRUE(re.Exec("xy-ab-c"));
  EXPECT_EQ(re.GroupText(0), "-ab-");
  re.SetExpression("\\b-");
  EXPECT_FALSE(re.Exec("a-x"));  // '-' is a word character now
  ASSERT_TRUE(re.Exec("x-"));
  EXPECT_EQ(re.GroupStart(0), 2);

  // Line breaks are read at every run.
  TPattern lines;
  lines.SetExpression("(?m)^b");
  EXPECT_FALSE(lines.Exec("a;b"));
  lines.SetLineBreakChars(";");
  ASSERT_TRUE(lines.Exec("a;b"));
  EXPECT_EQ(lines.GroupStart(0), 3);
  lines.SetLinePairedSeparator("");
  EXPECT_FALSE(lines.Exec("a\nb"));

  // Blanks decide \s.
  TPattern blanks;
  blanks.SetBlankChars("_");
  blanks.SetExpression("a\\sb");
  EXPECT_TRUE(blanks.Exec("a_b"));
  EXPECT_FALSE(blanks.Exec("a b"));
}

}  // namespace
