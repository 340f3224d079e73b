// Search hints derived from a compiled program, and proof that runs using
// them (start sets, prefix scan, per-node sets) find what a bare run finds.
#include <bitset>
#include <cstdint>

#include "TestSupport.h"
#include "regexpr/Engine.h"

namespace quorvane {

class PatternTestAccess {
 public:
  // Makes every run try every position with the bare matcher.
  static void DropSearchAids(TPattern& re) {
    regex::CompiledProgram& p = *re.program_;
    p.startSet.fill(0xFF);
    p.startSingle = -1;
    p.firstLiteral = 0;
    p.anchored = false;
    p.prefixLength = 0;
    p.mustLiteral = nullptr;
    p.nodeAidIndex.clear();
  }
};

}  // namespace quorvane

namespace {

using namespace regexpr_test;
using quorvane::PatternTestAccess;

std::string Listed(const std::bitset<256>& set) {
  if (set.all()) return "<all>";
  std::string out;
  for (int c = 0; c < 256; ++c)
    if (set.test(std::size_t(c))) out += c > 32 && c < 127 ? std::string(1, char(c)) : std::string("\\").append(std::to_string(c));
  return out;
}

std::bitset<256> Chars(std::string_view chars) {
  std::bitset<256> set;
  for (unsigned char c : chars) set.set(c);
  return set;
}

TEST(Hints, StartCharacters) {
  const std::string all = "<all>", digits = "0123456789";
  const struct { const char* pattern; std::string listed; const char* modifiers = "sg"; } cases[] = {
      {"ab|c", "ac"}, {"a*b", "ab"}, {"a+b", "a"}, {"(a|b)?c", "abc"}, {"\\d", digits}, {"[abc]x", "abc"},
      {"(a|b)*?c", "abc"}, {"(ab){2,3}", "a"}, {"(ab){0,3}c", "ac"}, {"a{0,2}b", "ab"}, {"a{1,2}b", "a"},
      {"\\bfoo", "f"}, {"^x", "x"}, {"abc", "Aa", "isg"}, {"(?i)ab", "Aa"}, {"$", "\\0"},
      {"(?m)\\Z", "\\0"},  // only the object's m widens \Z
      {"\\Z", "\\0\\10\\13", "msg"}, {"(?m)$", "\\0\\10\\13"}, {"a*", all}, {"x|", all}, {".", all, "g"},
      {"\\1a", all}, {"(a?)??", all, "s"}, {"()?", all, "s"}, {"\\D", Listed(~Chars(digits))},
      {"[^ab]", Listed(~Chars("ab"))},
      // Loops whose body can be empty: the walk ends and reaches what follows.
      {"(a?)??b", "ab"}, {"()?x", "x", "s"}, {"(()?)??c", "c", "s"}, {"((a?)??b)*?c", "abc", "s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("pattern '") + c.pattern + "' modifiers '" + c.modifiers + "'");
    TPattern re;
    Compile(re, c.pattern, c.modifiers);
    EXPECT_EQ(Listed(re.StartCharSet()), c.listed);
  }
  TPattern re;
  re.SetLinePairedSeparator("ab");  // a line also ends before the pair
  Compile(re, "(?m)$", "sg");
  EXPECT_EQ(Listed(re.StartCharSet()), "\\0\\10\\13a");
}

TEST(Hints, FirstLiteralAnchorAndMustLiteral) {
  const struct { const char* pattern; char first = 0; bool anchored = false; const char* must = "";
                 const char* modifiers = "sg"; } cases[] = {
      {"abc", 'a'}, {"abc", 0, false, "", "isg"}, {"ab*", 'a'}, {"\\x41b", 'A'}, {"a|b"}, {"(a)"}, {"[a]"},
      {"^abc", 0, true}, {"^abc", 0, false, "", "msg"}, {"\\Aabc", 0, true, "", "msg"}, {"a|^b"}, {"(^a)"},
      // The must literal: only after a leading repeat, in a single alternative,
      // case-sensitive; the later of two equally long ones.
      {"a*xy.*zw", 0, false, "zw"}, {"a*xyz.*zw", 0, false, "xyz"}, {"a*bcd", 0, false, "", "isg"}, {"a+bc|d"},
      {"(a)*bc", 0, false, "bc", "s"}, {"\\d+xy", 0, false, "xy"}, {"a*(bc)d", 0, false, "d"}, {"x*"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("pattern '") + c.pattern + "' modifiers '" + c.modifiers + "'");
    TPattern re;
    Compile(re, c.pattern, c.modifiers);
    EXPECT_EQ(int(re.FirstLiteralChar()), int(static_cast<unsigned char>(c.first)));
    EXPECT_EQ(re.AnchoredAtStart(), c.anchored);
    EXPECT_EQ(std::string(re.MustLiteral()), c.must);
  }
}

unsigned char SwapXHash(unsigned char c) { return c == 'x' ? '#' : c == '#' ? 'x' : c; }
unsigned char ToNul(unsigned char c) { return c == 'a' ? 0 : c; }

TEST(Hints, FollowTablesChangedAfterCompiling) {
  const auto at = [](TPattern& re, const char* subject) { return re.Exec(subject) ? re.GroupStart(0) : -1; };
  TPattern re;
  re.SetModifierFlag(5, true);  // m
  for (const char* pattern : {"$", "(x|$)"}) {
    SCOPED_TRACE(pattern);
    re.SetLineBreakChars("\r\n");
    re.SetExpression(pattern);
    EXPECT_EQ(at(re, "ab;c"), 5);
    re.SetLineBreakChars(";");  // no recompile, yet the start set must follow
    EXPECT_EQ(at(re, "ab;c"), 3);
  }
  TPattern ci;
  ci.SetModifierFlag(1, true);
  ci.SetExpression("x");
  EXPECT_EQ(at(ci, "#"), -1);
  ci.SetCaseSwap(SwapXHash);
  EXPECT_EQ(at(ci, "a#"), 2);
  ci.SetExpression("yx");
  EXPECT_EQ(at(ci, "zy#"), 2);
  EXPECT_EQ(at(ci, "yX"), -1);
  ci.SetCaseSwap(ToNul);  // a mapping to NUL never matches the end
  for (const char* pattern : {"a", "ba", "(b)\\1a", "a|c"}) {
    ci.SetExpression(pattern);
    EXPECT_EQ(at(ci, "b"), -1) << pattern;
  }
  ci.SetExpression("(a)b\\1");
  EXPECT_EQ(at(ci, "ab"), -1);
  EXPECT_EQ(at(ci, "aba"), 1);
}

// Every match of a full scan with the bounds of groups 0 to 5, or the error code.
std::vector<int> Scan(TPattern& re, const std::string& subject) {
  std::vector<int> out;
  try {
    for (bool ok = re.Exec(subject); ok; ok = re.ExecNext())
      for (int n = 0; n <= 5; ++n) out.insert(out.end(), {re.GroupStart(n), re.GroupLength(n)});
  } catch (const EPatternError& e) {
    out.push_back(-1000 - e.Code);
  }
  return out;
}

TEST(Hints, SearchAidsNeverChangeWhatARunFinds) {
  const char* const cases[][2] = {
      {"<[a-z][^>]*?(href|src)=([\"']?)(([a-z]+:)?([^>]*?))\\2", "isg"},
      {"<meta\\s+name=([\"']?)([^>]*?)\\1\\s+content=([\"']?)([^>]*?)\\3[^>]*>", "isg"}, {"ab|c", "sg"},
      {"a*b", "sg"}, {"a+?b", "sg"}, {"(a|b)?c", "sg"}, {"x*", "sg"}, {"[ab]{2,3}c", "sg"}, {"a.*=", "g"},
      {"a.*?=", "sg"}, {"^a", "sg"}, {"^a", "msg"}, {"b$", "msg"}, {"$", "msg"}, {"\\bh", "sg"}, {"\\Bre", "sg"},
      {"(a)\\1", "isg"}, {"(a|b)\\1+", "sg"}, {"(a*)b\\1", "sg"}, {"(['\"])[^'\"]*\\1", "sg"}, {"(ab)*c", "sg"},
      {"(ab)*c", "s"}, {"(a|ab)(c|bcd)", "sg"}, {"(a|ab){1,2}c", "sg"}, {"((a)|b)+=", "sg"}, {"z|(x)?y", "isg"},
      {"href", "isg"}, {"hr.f", "sg"}, {"[^<>]+>", "sg"}, {"\\d+|\\s", "sg"}, {"\\w+=\\W", "sg"}, {".", "g"},
      {"(?m)^.", "sg"}, {"a{0,2}?=", "sg"}, {"(a?)??b", "sg"}, {"()\\1*a", "sg"}, {"(a)|\\1b", "sg"},
      {"[\\x00a]b", "sg"}, {"(\"|')?=", "isg"}, {"([as])[^>]*?\\1", "isg"}, {"([as]?)z*\\1=", "isg"},
      {"Src|HREF", "isg"}, {"(h)(r)?e\\2?f", "isg"}, {"<[a-z]", "isg"}, {"(a|xb*){2,3}c", "sg"},
      {"(a|x(b|z)){2,3}c", "isg"},
  };
  // Subjects from a small alphabet, of lengths on both sides of the vector scan's blocks.
  const std::string alphabet = "ab<>=\"' \r\nxyzcAhrefSsm:Z0-";
  std::vector<std::string> subjects = {"<a href=\"x\">", "<meta name=a content='b'>"};
  std::uint64_t state = 0x9e3779b97f4a7c15ull;  // xorshift
  const auto random = [&] { state ^= state << 13; state ^= state >> 7; state ^= state << 17; return state >> 11; };
  for (std::size_t n = 0; n < 220; ++n) {
    std::string s;
    for (std::size_t k = 0, length = n < 120 ? n : 120 + random() % 200; k < length; ++k)
      s += alphabet[random() % alphabet.size()];
    subjects.push_back(s);
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    TPattern hinted, bare;
    Compile(hinted, c[0], c[1]);
    Compile(bare, c[0], c[1]);
    PatternTestAccess::DropSearchAids(bare);
    for (const std::string& s : subjects) ASSERT_EQ(Scan(hinted, s), Scan(bare, s)) << "subject \"" << s << "\"";
  }
}

}  // namespace
