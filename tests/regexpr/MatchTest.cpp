// Matching from the outside: what Exec, ExecPos and ExecNext find, the
// group bounds, line and word rules, and the object's state between runs.
#include "TestSupport.h"

namespace {

using namespace regexpr_test;

TEST(Match, Quantifiers) {
  CheckMatches({
      {"a{2,3}", "aaaa", 1, 3},
      {"a{2,3}?", "aaaa", 1, 2},
      {"a{2,}", "caaaaab", 2, 5},
      {"(ab){2,3}", "abababab", 1, 6, "sg", "ab"},
      {"(ab){2,3}", "abababab", 1, 4, "s", "ab"},  // g off: every quantifier lazy
      {"(a|b)*c", "abbac", 1, 5, "sg", "a"},
      {"<.+?>", "<a><b>", 1, 3},
      {"(xy)??z", "xyz", 1, 3, "sg", "xy"},
      {"x.*?y", "x" + std::string(300, '-') + "y", 1, 302},
      {"abc*", "abccc", 1, 5},  // a quantifier after a literal run takes its last character only
      {"(a|ab)(c|bcd)(d*)", "abcd", 1, 4, "sg", "a"},
      {"x|", "y", 1, 0},
      {"a[^b]*c", "axbc", -1, 0},
      {"\\d+", "ab129c", 3, 3},
      {"\\D+", "12ab3", 3, 2},
      {"((a|b){2}c){2}", "abcbbc", 1, 6, "sg", "bbc"},
      // Loop counters are put back when a later part fails.
      {"(a|ab){1,2}(c){1,2}x", "abcx", 1, 4},
      {"(a|ab){2}(c){2}x", "aabccx", 1, 6},
      // A brace that forms no quantifier is a literal.
      {"a*{x}", "baa{x}", 2, 5},
      {"a{,3}", "a{,3}", 1, 5},
      {"a{3", "xa{3", 2, 3},
      {"(?i){a}", "{A}", 1, 3},
  });
}

TEST(Match, EscapesCaseAndExtendedSyntax) {
  CheckMatches({
      {"\\x6f\\x{4F}", "xoO", 2, 2},
      {"\\x{00000041}\\t\\r\\e\\q\\}", "xA\t\r\x1Bq}", 2, 6},
      {"a\\.b", "axb a.b", 5, 3},
      {"abc", "xABC", 2, 3, "isg"},
      {"(a(?i)b)c", "aBc", 1, 3},
      {"(a(?i)b)c", "abC", -1, 0},
      {"a(?i)b|c", "C", 1, 1},
      {"(?i-i)a", "A", -1, 0},
      {"a(?#note)b", "ab", 1, 2},
      {"a\\ b", "a b", 1, 3, "sgx"},
      {"[ ]", "a b", 2, 1, "sgx"},
      {"a\nb*", "abbb", 1, 4, "sgx"},
      {"a#c\nb", "ab", 1, 2, "sgx"},
  });
}

TEST(Match, BackReferences) {
  CheckMatches({
      {"(a)\\10", "aa0", 1, 3, "sg", "a"},
      {"(\\w+) \\1", "say bye bye", 5, 7, "sg", "bye"},
      {"(a*)\\1", "aa", 1, 2, "sg", "a"},
      {"(a)|b\\1", "b", -1, 0},
      {"(a*)b\\1", "b", 1, 1, "sg", ""},
      {"(ab)\\1+", "abababa", 1, 6},
      {"(ab)\\1+c", "ababc", 1, 5},  // repeated exactly its minimum
      {"(a)\\1", "aA", 1, 2, "isg"},
      {"(a)\\1*", "aAaA", 1, 4, "isg"},
      // Repeats of a backreference to empty text end.
      {"(a*)b\\1*c", "bc", 1, 2, "sg", ""},
      {"()\\1+x", "ax", 2, 1},
      {"()(\\1)*x", "yx", 2, 1},
      {"()(\\1){2,}x", "x", 1, 1},
      // A group opened again in a loop holds no text until it closes (it once
      // read past the subject).
      {"(b(\\2?a))*", "babab", 1, 4, "sg", "ba"},
  });
}

TEST(Match, AnchorsOffsetsAndTheEndOfTheSubject) {
  const std::string cut("ab\0cd", 5);  // the subject ends at its first NUL
  CheckMatches({
      {"^$", "", 1, 0},
      {"^b", "a\nb", -1, 0},
      {"^b", "a\nb", 3, 1, "msg"},
      {"(?m)^b", "a\r\nb", 4, 1},
      {"(?m)^\\n", "a\r\n", -1, 0},
      {"(?m)\\r$", "a\r\nb", -1, 0},
      {"\\Aa", "b\na", -1, 0, "msg"},
      {"a\\Z", "a\nb", -1, 0, "msg"},
      {".+", "ab\ncd", 1, 2, "g"},
      {"a.c", "a\nc", 1, 3},
      {"\\bfoo\\b", "afoo foo", 6, 3},
      {"foo\\B", "foo", -1, 0},
      // The search hints never hide a match.
      {"a*xy.*zw", "qxyzw", 2, 4},
      {"(?m)^ab", "x\nab", 3, 2},
      {"$", "a\nb", 2, 0, "msg"},
      // Nothing after a NUL counts.
      {"c", cut, -1, 0},
      {"b$", cut, 2, 1},
      // Classes never match the end, though a negated bitmap holds the NUL bit.
      {"x[^abcd]", "x", -1, 0},
      {"x\\D", "x", -1, 0},
      // A NUL by escape in a class is a member that never matches; the class goes on.
      {"[a\\x00b]+", "xxba", 3, 2},
      {"x[^\\x00]", "x", -1, 0},
      {"[\\x00-b]+", "zab!", 2, 3},
      // Outside a class it matches nothing, and repeats of it end.
      {"a\\x{}?b", "ab", 1, 2},
      {"(\\x00)*x", "yx", 2, 1},
      // From an offset: a caret without m and a word boundary see the whole
      // subject; the literal every match needs is looked for from there on.
      {"$", "ab", 3, 0, "sg", nullptr, 3},
      {"$", "ab", -1, 0, "sg", nullptr, 4},
      {"a*", "ab", 3, 0, "sg", nullptr, 3},
      {"^b", "ab", -1, 0, "sg", nullptr, 2},
      {"\\bb", "ab", -1, 0, "sg", nullptr, 2},
      {"b", "ab", 2, 1, "sg", nullptr, 2},
      {"a*zz", "zzab", -1, 0, "sg", nullptr, 2},
  });
}

TEST(Match, GroupResults) {
  // One object; each group as "start+length text", -1 and empty for a group that took no part.
  const struct { const char* pattern; std::string subject; std::vector<std::string> groups; } cases[] = {
      {"(a)|b", "xb", {"2+1 b", "-1+-1 "}},
      {"(a)|b", "a", {"1+1 a", "1+1 a"}},
      {"(a)|b", "zz", {"-1+-1 ", "-1+-1 "}},  // a failed run leaves no group set
      // A group in a repeat keeps its last pass; groups count by opening parenthesis.
      {"((\\w)\\w)+-(x)?", "..abcd-y", {"3+5 abcd-", "5+2 cd", "5+1 c", "-1+-1 "}},
      {"(a(b)?)+", "aba", {"1+3 aba", "3+1 a", "2+1 b"}},  // a skipped group keeps an earlier pass
      {"a(b*)c", "xacz", {"2+2 ac", "3+0 "}},
      {"(d)|b$", std::string("ab\0d", 4), {"2+1 b", "-1+-1 "}},  // as long as the last subject, cut by a NUL
  };
  TPattern re;
  const auto group = [&](int n) {
    return std::to_string(re.GroupStart(n)) + "+" + std::to_string(re.GroupLength(n)) + " " + re.GroupText(n);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    re.SetExpression(c.pattern);
    re.Exec(c.subject);
    for (std::size_t n = 0; n < c.groups.size(); ++n) EXPECT_EQ(group(int(n)), c.groups[n]) << "group " << n;
  }
  for (int n : {15, -1}) EXPECT_EQ(group(n), "-1+-1 ");
}

// A case mapping that is not its own inverse: a gives b, nothing gives a.
unsigned char AToB(unsigned char c) { return c == 'a' ? 'b' : c; }

TEST(Match, SettingsTakeEffectAtTheNextRun) {
  TPattern re;
  const bool defaults[] = {false, true, true, true, false, false};  // i r s g m x
  for (int i = 0; i < 6; ++i) EXPECT_EQ(re.ModifierFlag(i + 1), defaults[i]) << i + 1;
  EXPECT_EQ(re.LinePairedSeparator() + re.LineBreakChars() + re.BlankChars(), "\r\n\r\n \t\n\r\f");
  const auto find = [&](const char* pattern, const char* subject) {
    re.SetExpression(pattern);
    return re.Exec(subject) ? re.GroupText(0) : "<none>";
  };
  EXPECT_EQ(find("b+", "ABBC"), "<none>");
  re.SetModifierFlag(1, true);
  EXPECT_EQ(find("b+", "ABBC"), "BB");
  re.SetModifierFlag(4, false);  // g off: the same pattern turns lazy
  EXPECT_EQ(find("b+", "ABBC"), "B");
  re.SetModifiers(quorvane::DefaultModifiers);
  EXPECT_EQ(find("b+", "ABBC"), "<none>");
  // The word set decides \w when compiled and \b at every run; blanks decide \s.
  re.SetWordCharSet("ab-");
  EXPECT_EQ(find("\\w+", "xy-ab-c"), "-ab-");
  EXPECT_EQ(find("\\b-", "a-x"), "<none>");
  EXPECT_EQ(find("\\b-", "x-"), "-");
  re.SetBlankChars("_");
  EXPECT_EQ(find("a\\sb", "a b"), "<none>");
  EXPECT_EQ(find("a\\sb", "a_b"), "a_b");
  // The case swap applies to the pattern's characters, never to the subject's.
  re.SetCaseSwap(AToB);
  EXPECT_EQ(find("(?i)xa", "xb"), "xb");
  EXPECT_EQ(find("(?i)xb", "xa"), "<none>");
}

TEST(Match, LineBreaksAndPairedSeparator) {
  const struct { const char* pair; const char* breaks; const char* pattern; const char* subject; int start, length; }
      cases[] = {
          {"", "", "(?m)^y", "x\r\ny", -1, -1},  // no break, pair cleared: ^ is the start only
          {"ab", "", "(?m)^y", "xaby", 4, 1},  // a pair assigned later reaches the compiled pattern
          {"ab", "", "x.", "xab", -1, -1},     // the dot takes no half of a pair
          {"ab", "", "x.", "xac", 1, 2},
          {"ab", "", "(?m)$", "xaby", 2, 0},
          {"ab", "", "(?m)^b", "xaby", -1, -1},
          {"ab", "", "\\Z", "xaby", 5, 0},
          // Without a pair, CR and LF are two line breaks.
          {"", "\r\n", "(?m)^\\n", "a\r\n", 3, 1},
          {"", "\r\n", "(?m)\\r$", "a\r\nb", 2, 1},
          {"", ";", "(?m)^b", "a;b", 3, 1},
          {"", ";", "(?m)^b", "a\nb", -1, -1},
          // Losing and regaining every line break switches ^ between input and line anchor.
          {"", "", "(?m)^b|c", "a\nb", -1, -1},
          {"", "\n", "(?m)^b|c", "a\nb", 3, 1},
      };
  TPattern re;  // one object: changed settings apply at the next run
  re.SetModifierFlag(3, false);  // the dot stops at line breaks
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.subject);
    re.SetLinePairedSeparator(c.pair);
    re.SetLineBreakChars(c.breaks);
    re.SetExpression(c.pattern);
    EXPECT_EQ(re.Exec(c.subject), c.start > 0);
    EXPECT_EQ(re.GroupStart(0), c.start);
    EXPECT_EQ(re.GroupLength(0), c.length);
  }
}

}  // namespace
