// Command-line splitting and search masks: pure functions, the same on both
// builds.
#include <gtest/gtest.h>

#include "platform/CommandLineSplit.h"
#include "platform/Wildcard.h"

using quorvane::platform::MatchesMask;
using quorvane::platform::SplitCommandLine;
using Args = std::vector<std::string>;

namespace {

struct SplitCase {
  const char* line;
  Args expected;
};

class SplitTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTable, GivesProgramAndArguments) {
  EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().expected) << "line: " << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitTable,
    ::testing::Values(
        SplitCase{"", {}}, SplitCase{" \t ", {}},
        SplitCase{"prog", {"prog"}},
        SplitCase{"  prog   a\tb  ", {"prog", "a", "b"}},
        // The program name: quotes group, backslashes are plain.
        SplitCase{R"("C:\Program Files\conv.exe" x)", {R"(C:\Program Files\conv.exe)", "x"}},
        SplitCase{R"(C:\dir\"odd name" x)", {R"(C:\dir\odd name)", "x"}},
        SplitCase{R"(C:\tools\ a)", {R"(C:\tools\)", "a"}},
        // Quotes group blanks and vanish, also in the middle of a word.
        SplitCase{R"(p "a b" c)", {"p", "a b", "c"}},
        SplitCase{R"(p --output="C:\out dir\x.lrf" "C:\tmp\in.htm")",
                  {"p", R"(--output=C:\out dir\x.lrf)", R"(C:\tmp\in.htm)"}},
        SplitCase{R"(p a"b c"d)", {"p", "ab cd"}},
        SplitCase{R"(p "" x)", {"p", "", "x"}},
        SplitCase{R"(p "unterminated run)", {"p", "unterminated run"}},
        // Backslashes: literal unless they precede a double quote.
        SplitCase{R"(p a\\b \x\)", {"p", R"(a\\b)", R"(\x\)"}},
        SplitCase{R"(p a\"b)", {"p", R"(a"b)"}},
        SplitCase{R"(p a\\"b c")", {"p", R"(a\b c)"}},
        SplitCase{R"(p a\\\"b)", {"p", R"(a\"b)"}},
        SplitCase{R"(p "C:\dir\\" next)", {"p", R"(C:\dir\)", "next"}},
        SplitCase{R"(p "C:\dir\" next)", {"p", R"(C:\dir" next)"}},
        // Two double quotes inside a quoted run are one literal quote.
        SplitCase{R"(p "say ""hi"" now" x)", {"p", R"(say "hi" now)", "x"}},
        SplitCase{R"(p "a""")", {"p", R"(a")"}},
        SplitCase{R"(p """")", {"p", R"(")"}}));

struct MaskCase {
  const char* name;
  const char* mask;
  bool matches;
};

class MaskTable : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskTable, MatchesLikeTheWindowsSearch) {
  EXPECT_EQ(MatchesMask(GetParam().name, GetParam().mask), GetParam().matches)
      << GetParam().name << " vs " << GetParam().mask;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MaskTable,
    ::testing::Values(
        MaskCase{"novel.htm", "*.htm", true}, MaskCase{"NOVEL.HTM", "*.htm", true},
        MaskCase{"novel.html", "*.htm", false}, MaskCase{"novel.htm", "Novel.Htm", true},
        MaskCase{"novel.htm.bak", "*.htm", false}, MaskCase{".htm", "*.htm", true},
        MaskCase{"a", "*.*", true}, MaskCase{"a.b.c", "*.*", true},
        MaskCase{"readme", "readme.*", true}, MaskCase{"readme.txt", "readme.*", true},
        MaskCase{"readmes", "readme.*", false},
        MaskCase{"a1.htm", "a?.htm", true}, MaskCase{"a.htm", "a?.htm", false},
        MaskCase{"a12.htm", "a?.htm", false}, MaskCase{"abc", "???", true},
        MaskCase{"abcd", "???", false}, MaskCase{"x", "*", true},
        MaskCase{"aXbXc", "a*b*c", true}, MaskCase{"aXbXd", "a*b*c", false},
        MaskCase{"mississippi", "*ss*pi", true}, MaskCase{"anything", "", false},
        MaskCase{"\xC4rger.htm", "\xE4*", false},  // only ASCII letters fold
        MaskCase{"\xC4rger.htm", "\xC4*", true}));

TEST(MaskTable, LongRunsOfStarsStayCheap) {
  std::string name(5000, 'a');
  std::string mask;
  for (int i = 0; i < 200; ++i) mask += "*a";
  EXPECT_TRUE(MatchesMask(name, mask));
  EXPECT_FALSE(MatchesMask(name, mask + "b"));
}

}  // namespace
