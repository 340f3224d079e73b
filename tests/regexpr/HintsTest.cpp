// Search hints derived from a compiled program, and proof that runs using
// them (start sets, prefix scan, per-node sets) find what a bare run finds;
// the failure memos have their own comparison in LimitsTest.
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
using namespace quorvane::regex;
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

// What a compiled program tells the search: the characters a match can start
// with, its first literal character, whether it is anchored at the start and
// the literal every match holds.
TEST(Hints, StartCharactersFirstLiteralAnchorAndMustLiteral) {
  const std::string all = "<all>", digits = "0123456789";
  const struct { const char* pattern; std::string listed; char first = 0; bool anchored = false;
                 const char* must = ""; const char* modifiers = "sg"; } cases[] = {
      {"ab|c", "ac"},
      {"a*b", "ab", 0, false, "b"},
      {"a+b", "a", 0, false, "b"},
      {"(a|b)?c", "abc"},
      {"\\d", digits},
      {"\\D", Listed(~Chars(digits))},
      {"[^ab]", Listed(~Chars("ab"))},
      {"(ab){0,3}c", "ac", 0, false, "c"},
      {"a{0,2}b", "ab", 0, false, "b"},
      {"a{1,2}b", "a", 0, false, "b"},
      {"$", "\\0"},
      {"(?m)\\Z", "\\0"},  // only the object's m widens \Z
      {"\\Z", "\\0\\10\\13", 0, false, "", "msg"},
      {"(?m)$", "\\0\\10\\13"},
      {"a*", all},
      {"\\1a", all},
      // Loops whose body can be empty: the walk ends and reaches what follows.
      {"(a?)??b", "ab"},
      {"((a?)??b)*?c", "abc", 0, false, "c", "s"},
      {"abc", "a", 'a'},
      {"abc", "Aa", 0, false, "", "isg"},
      {"\\x41b", "A", 'A'},
      {"a|b", "ab"},
      {"^abc", "a", 0, true},
      {"^abc", "a", 0, false, "", "msg"},
      {"\\Aabc", "a", 0, true, "", "msg"},
      // The must literal: only after a leading repeat, in a single alternative,
      // case-sensitive; the later of two equally long ones.
      {"a*xy.*zw", "ax", 0, false, "zw"},
      {"a*xyz.*zw", "ax", 0, false, "xyz"},
      {"a*bcd", "ABab", 0, false, "", "isg"},
      {"a+bc|d", "ad"},
      {"a*(bc)d", "ab", 0, false, "d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("pattern '") + c.pattern + "' modifiers '" + c.modifiers + "'");
    TPattern re;
    Compile(re, c.pattern, c.modifiers);
    EXPECT_EQ(Listed(re.StartCharSet()), c.listed);
    EXPECT_EQ(int(re.FirstLiteralChar()), int(static_cast<unsigned char>(c.first)));
    EXPECT_EQ(re.AnchoredAtStart(), c.anchored);
    EXPECT_EQ(std::string(re.MustLiteral()), c.must);
  }
  TPattern re;
  re.SetLinePairedSeparator("ab");  // a line also ends before the pair
  Compile(re, "(?m)$", "sg");
  EXPECT_EQ(Listed(re.StartCharSet()), "\\0\\10\\13a");
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
  ci.SetCaseSwap(ToNul);  // a mapping to NUL never matches the end
  for (const char* pattern : {"a", "ba", "(b)\\1a", "a|c"}) {
    ci.SetExpression(pattern);
    EXPECT_EQ(at(ci, "b"), -1) << pattern;
  }
}

// A piece of pattern for every opcode (a later group's open and close aside),
// each compiling to that opcode; a new opcode needs a piece here.
struct Piece {
  std::uint8_t op;
  const char* text;
};
const Piece kPieces[] = {
    {OpInputStart, "^"},
    {OpInputEnd, "$"},
    {OpAnyChar, "."},
    {OpAlternative, "(b|c)"},
    {OpJumpBack, "(bc)*"},
    {OpLiteral, "bc"},
    {OpEmpty, "(b|)"},
    {OpRepeatStar, "b*"},
    {OpRepeatPlus, "b+"},
    {OpDigit, "\\d"},
    {OpNonDigit, "\\D"},
    {OpRepeatBraces, "b{1,2}"},
    {OpComment, "(?#c)"},
    {OpLiteralCI, "(?i)bc"},
    {OpLoopEntry, "(b|c){1,2}"},
    {OpLoop, "(b|c){1,}"},
    {OpTinySet, "[bc]"},
    {OpNotTinySet, "[^bc]"},
    {OpFullSet, "\\w"},
    {OpFullSet, "[^ -/b]"},
    {OpBackref, "\\1"},
    {OpBackrefCI, "(?i)\\1"},
    {OpRepeatStarLazy, "b*?"},
    {OpRepeatPlusLazy, "\\s+?"},
    {OpRepeatBracesLazy, "b??"},
    {OpLoopLazy, "(bc)+?"},
    {OpLineStart, "(?m)^"},
    {OpLineEnd, "(?m)$"},
    {OpAnyInLine, "(?-s)."},
    {OpWordBoundary, "\\b"},
    {OpNotWordBoundary, "\\B"},
    {OpOpenFirst, "(b)"},
    {OpCloseFirst, "(b)"},
};

// Patterns with every piece first, second (after a literal, a group) and after
// a repeat; repeats followed by a backreference to their own group or an
// earlier one; repeats inside counted loops.
std::vector<std::string> GeneratedPatterns() {
  std::vector<std::string> patterns;
  for (const Piece& piece : kPieces)
    for (const char* before : {"", "a", "(a)", "a*", "[ab]+?", "(a|b)*"})
      patterns.push_back(before + std::string(piece.text) + (*before ? "" : "c"));
  for (const char* more : {"(a[ab]*)\\1", "(b*)\\1c", "(\\w+?)\\1", "(a|(b+))\\2", "(a)b*\\1",
                           "([ab])[^>]*?\\1", "(a|xb*){2,3}c", "(a|x(b|z)){2,3}c"})
    patterns.push_back(more);
  return patterns;
}

TEST(Hints, SearchAidsNeverChangeWhatARunFinds) {
  std::vector<std::pair<std::string, const char*>> cases = {{kLink, "isg"}, {kMetaTag, "isg"}};
  for (const std::string& pattern : GeneratedPatterns())
    for (const char* modifiers : {"sg", "isg"}) cases.emplace_back(pattern, modifiers);
  // Subjects from a small alphabet, of lengths on both sides of the vector scan's blocks.
  const std::string alphabet = "abcAB0 \r\n_-<>=\"'xhref:";
  std::vector<std::string> subjects = {"<a href=\"x\">", "<meta name=a content='b'>", ""};
  std::uint64_t state = 0x9e3779b97f4a7c15ull;  // xorshift
  const auto random = [&] { state ^= state << 13; state ^= state >> 7; state ^= state << 17; return state >> 11; };
  for (std::size_t n = 0; n < 60; ++n) {
    std::string s;
    for (std::size_t k = 0, length = n < 40 ? n : 40 + random() % 120; k < length; ++k)
      s += alphabet[random() % alphabet.size()];
    subjects.push_back(s);
  }
  const auto compare = [](const std::string& pattern, const char* modifiers, const std::vector<std::string>& subjects) {
    SCOPED_TRACE(pattern + " modifiers " + modifiers);
    TPattern hinted, bare;
    Compile(hinted, pattern, modifiers);
    Compile(bare, pattern, modifiers);
    PatternTestAccess::DropSearchAids(bare);
    for (const std::string& s : subjects) ASSERT_EQ(Scan(hinted, s), Scan(bare, s)) << "subject \"" << s << "\"";
  };
  for (const auto& [pattern, modifiers] : cases) compare(pattern, modifiers, subjects);
}

}  // namespace
