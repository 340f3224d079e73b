// Search hints derived from a compiled program, and that a run using them
// still finds every match.
#include <gtest/gtest.h>

#include <bitset>
#include <string>
#include <string_view>

#include "regexpr/Pattern.h"

using quorvane::TPattern;

namespace {

void SetModifiers(TPattern& re, std::string_view letters) {
  static constexpr std::string_view kLetters = "irsgmx";
  for (int i = 0; i < 6; ++i) {
    re.SetModifierFlag(i + 1, letters.find(kLetters[i]) != std::string_view::npos);
  }
}

void Compile(TPattern& re, const std::string& pattern, std::string_view modifiers) {
  SetModifiers(re, modifiers);
  re.SetExpression(pattern);
  re.Exec("");
}

std::bitset<256> Set(std::string_view chars) {
  std::bitset<256> set;
  for (unsigned char c : chars) set.set(c);
  return set;
}

std::string Listed(const std::bitset<256>& set) {
  if (set.all()) return "<all>";
  std::string out;
  for (int c = 0; c < 256; ++c) {
    if (!set.test(c)) continue;
    if (c > 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      out += '\\';
      out += std::to_string(c);
    }
  }
  return out;
}

const std::string kDigits = "0123456789";
const std::string kEnd(1, '\0');

struct StartCase {
  std::string pattern;
  const char* modifiers;
  std::bitset<256> expected;
};

TEST(Hints, StartCharacters) {
  const std::bitset<256> all = std::bitset<256>().set();
  const StartCase cases[] = {
      {"ab|c", "sg", Set("ac")}, {"a*b", "sg", Set("ab")}, {"a+b", "sg", Set("a")},
      {"(a|b)?c", "sg", Set("abc")}, {"a?b", "sg", Set("ab")}, {"\\d", "sg", Set(kDigits)},
      {"\\D", "sg", ~Set(kDigits)}, {"[^ab]", "sg", ~Set("ab")}, {"[abc]x", "sg", Set("abc")},
      {"(a|b)*c", "sg", Set("abc")}, {"(a|b)*?c", "sg", Set("abc")}, {"(ab){2,3}", "sg", Set("a")},
      {"(ab){0,3}c", "sg", Set("ac")}, {"a{0,2}b", "sg", Set("ab")}, {"a{1,2}b", "sg", Set("a")},
      {"\\bfoo", "sg", Set("f")}, {"^x", "sg", Set("x")}, {"abc", "isg", Set("aA")},
      {"(?i)ab", "sg", Set("aA")}, {"[a]", "isg", Set("aA")}, {"$", "sg", Set(kEnd)},
      {"\\Z", "sg", Set(kEnd)},
      {"(?m)\\Z", "sg", Set(kEnd)},  // only the object's m widens \Z
      {"$", "msg", Set(kEnd + "\r\n")}, {"\\Z", "msg", Set(kEnd + "\r\n")},
      {"(?m)$", "sg", Set(kEnd + "\r\n")}, {"a*", "sg", all}, {"x|", "sg", all}, {".", "sg", all},
      {".", "g", all}, {"\\1a", "sg", all},
      {"(a?)??", "s", all},  // may match empty anywhere
      {"()?", "s", all},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE("pattern '" + c.pattern + "' modifiers '" + c.modifiers + "'");
    TPattern re;
    Compile(re, c.pattern, c.modifiers);
    EXPECT_EQ(Listed(re.StartCharSet()), Listed(c.expected));
  }
}

TEST(Hints, PairedSeparatorStartsALineEnd) {
  TPattern re;
  re.SetLinePairedSeparator("ab");
  Compile(re, "(?m)$", "sg");
  // The dollar can hold before the pair's first character.
  EXPECT_TRUE(re.StartCharSet().test('a'));
  EXPECT_TRUE(re.StartCharSet().test(0));
  EXPECT_TRUE(re.StartCharSet().test('\n'));
}

TEST(Hints, LineBreakChangeIsNotSkipped) {
  // Line breaks are read at every run; the start set must follow them.
  TPattern re;
  re.SetExpression("(?m)$");
  EXPECT_TRUE(re.Exec("x"));
  re.SetLineBreakChars(";");
  ASSERT_TRUE(re.Exec("a;b"));
  EXPECT_EQ(re.GroupStart(0), 2);
}

struct FirstCase {
  const char* pattern;
  const char* modifiers;
  unsigned char first;
  bool anchored;
};

TEST(Hints, FirstLiteralAndAnchor) {
  const FirstCase cases[] = {
      {"abc", "sg", 'a', false},   {"abc", "isg", 0, false},  {"ab*", "sg", 'a', false},
      {"\\x41b", "sg", 'A', false}, {"a|b", "sg", 0, false},   {"a*b", "sg", 0, false},
      {"(a)", "sg", 0, false},     {"[a]", "sg", 0, false},   {"^abc", "sg", 0, true},
      {"^abc", "msg", 0, false},   {"\\Aabc", "msg", 0, true}, {"a|^b", "sg", 0, false},
      {"(^a)", "sg", 0, false},    {"^a|^b", "sg", 0, false},
  };
  for (const FirstCase& c : cases) {
    SCOPED_TRACE(std::string("pattern '") + c.pattern + "' modifiers '" + c.modifiers + "'");
    TPattern re;
    Compile(re, c.pattern, c.modifiers);
    EXPECT_EQ(static_cast<int>(re.FirstLiteralChar()), static_cast<int>(c.first));
    EXPECT_EQ(re.AnchoredAtStart(), c.anchored);
  }
}

struct MustCase {
  const char* pattern;
  const char* modifiers;
  const char* must;
};

TEST(Hints, MustLiteral) {
  const MustCase cases[] = {
      {"a*xy.*zw", "sg", "zw"},   // the later of two equally long literals
      {"a*xyz.*zw", "sg", "xyz"}, {"a*bcd", "sg", "bcd"},
      {"a*bcd", "isg", ""},       // case-insensitive literals never count
      {"abc", "sg", ""},          // only when the pattern starts with a repeat
      {"a+bc|d", "sg", ""},       // only with a single alternative
      {"(a)*bc", "sg", "bc"}, {"(a)*bc", "s", "bc"},
      {"a*(bc)d", "sg", "d"},     // literals inside a group are operands, not on the chain
      {"\\d+xy", "sg", "xy"}, {"x*", "sg", ""},
  };
  for (const MustCase& c : cases) {
    SCOPED_TRACE(std::string("pattern '") + c.pattern + "' modifiers '" + c.modifiers + "'");
    TPattern re;
    Compile(re, c.pattern, c.modifiers);
    EXPECT_EQ(std::string(re.MustLiteral()), c.must);
  }
}

// With the hints in force a run still finds exactly what the pattern allows.
TEST(Hints, RunsStillFindEveryMatch) {
  struct RunCase {
    const char* pattern;
    const char* modifiers;
    const char* subject;
    int start;
  } cases[] = {
      {"a*xy.*zw", "sg", "qxyzw", 2},  // the empty repeat lets it start at x
      {"a*xy.*zw", "sg", "aaxyzz", -1}, {"abc", "isg", "xxABC", 3}, {"ab", "sg", "aaab", 3},
      {"^ab", "sg", "xab", -1}, {"(?m)^ab", "sg", "x\nab", 3}, {"\\d+xy", "sg", "12x3xy", 4},
      {"(a|b)?c", "sg", "xxc", 3}, {"x|", "sg", "", 1}, {"$", "msg", "a\nb", 2},
      {"a*(bc)d", "sg", "abcbcd", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("pattern '") + c.pattern + "' subject '" + c.subject + "'");
    TPattern re;
    SetModifiers(re, c.modifiers);
    re.SetExpression(c.pattern);
    EXPECT_EQ(re.Exec(c.subject), c.start > 0);
    EXPECT_EQ(re.GroupStart(0), c.start);
  }
  // A custom case swap reaches both the start set and the comparison.
  TPattern re;
  re.SetCaseSwap([](unsigned char c) -> unsigned char { return c == 'a' ? 'z' : c; });
  SetModifiers(re, "isg");
  re.SetExpression("ab");
  ASSERT_TRUE(re.Exec("xzb"));
  EXPECT_EQ(re.GroupStart(0), 2);
  EXPECT_TRUE(re.StartCharSet().test('z'));
  EXPECT_FALSE(re.Exec("Ab"));
}

}  // namespace
