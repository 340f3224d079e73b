// Runs that could take too long or go too deep: the step budget, the failure
// memo that keeps the page scans linear, the poll hook and the stack limit.
// After each of them gives up, the object stays usable.
#include "TestSupport.h"
#include "regexpr/Engine.h"

namespace {

using namespace regexpr_test;

// No result survives the error, ExecNext has nothing to go on from, and the
// object runs again.
void CheckUsableAfterError(TPattern& re) {
  for (int n = 0; n < 15; ++n) EXPECT_EQ(re.GroupStart(n), -1) << "group " << n;
  EXPECT_THROW(re.ExecNext(), EPatternError);
  re.SetExpression("(b+)");
  ASSERT_TRUE(re.Exec("abbc"));
  EXPECT_EQ(re.GroupText(1), "bb");
}

// Every split of the a's into a and aa is tried: exponential, and no memo
// applies to a repeated group (nor does a literal every match needs).
const char* const kRunaway = "(a|aa)*(b|c)";
const std::string kAs(40, 'a');

TEST(Limits, StepBudgetEndsARunawayRun) {
  TPattern re;
  re.SetExpression(kRunaway);
  if (const auto e = Raised([&] { re.Exec(kAs); })) {
    EXPECT_EQ(e->Code, 1017);
    EXPECT_EQ(e->Position, 0);
    EXPECT_STREQ(e->what(), "TPattern(exec): Match Too Complex (the text is too irregular to search)");
  }
  CheckUsableAfterError(re);
  // The budget grows with the subject: 62 failing branches at each of 200,000
  // positions are more steps than a short subject may take, and end normally.
  std::string branches = "(a0";
  for (char c : std::string("123456789bcdefghijklmnopqrstuvwxyzBCDEFGHIJKLMNOPQRSTUVWXYZ_-"))
    branches.append("|a").push_back(c);
  re.SetExpression(branches + ")");
  EXPECT_FALSE(re.Exec(std::string(200000, 'a')));
}

TEST(Limits, PageScansStayLinearOnTagsLeftOpen) {
  // Each start once tried every split of the rest: 64 KiB took hours, and
  // any such run would now exceed its budget.
  const std::string page = Times("<meta name=\"a\" content=\"b ", 2600);
  for (const char* pattern : {kMetaTag, kLink}) {
    TPattern re;
    UseModifiers(re, "isg");
    re.SetExpression(pattern);
    EXPECT_EQ(Scan(re, page), std::vector<std::string>{}) << pattern;
  }
}

// The failure memos change how soon a run ends, never what it finds: runs
// that keep them from their start against runs that keep none, where a
// mistake in a memo's key (the text or the bounds of a group), in its range
// or in the counts tried before a remembered failure shows.
TEST(Limits, FailureMemosNeverChangeWhatARunFinds) {
  using quorvane::regex::MemoUse;
  struct Reset {
    ~Reset() { quorvane::regex::SetMemoUse(MemoUse::OnceExpensive); }
  } reset;
  const std::string dots(100, '.');
  const struct { const char* pattern; std::string subject; const char* modifiers = "sg"; } cases[] = {
      {"([\"'])[^>]*?\\1!", "\"" + dots + "'a'!"},  // the failure after " is not one after '
      {"(\\w{1,}|b)a*\\1", "abaccbaaa"},
      {"[^c]{1,}([abc]*?(b[^>]*?)|b){2}", ">bbaaaa", "isg"},
      {"[^c]*.+(b+.*?)\\1", "abb bab "},
      {"[^c]+b*?(\\w+?ab)", "aaabbbbba"},
      {"\\w*.{0,}?[^>]{0,}?\\w+(bb+?)", "cbbca"},
      {"(a*)[ab]*ab", "aaaa" + std::string(44, 'b')},
      {"(.+.*)\\1", "aa'< a\"<\"'a\"\"<a\">aa"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> found[2];
    for (MemoUse use : {MemoUse::Always, MemoUse::Never}) {
      quorvane::regex::SetMemoUse(use);
      TPattern re;
      UseModifiers(re, c.modifiers);
      re.SetExpression(c.pattern);
      found[use == MemoUse::Never] = Scan(re, c.subject);
    }
    EXPECT_EQ(found[0], found[1]) << c.pattern << " on " << c.subject;
  }
}

int polls = 0;
struct Stop {};

TEST(Limits, PollRunsDuringLongRunsAndMayAbandonThem) {
  struct Reset {
    ~Reset() { quorvane::SetPatternPoll(nullptr); }
  } reset;
  TPattern re;
  // The search for a start polls as it passes over the subject.
  quorvane::SetPatternPoll([] { ++polls; });
  re.SetExpression("z");
  EXPECT_FALSE(re.Exec(std::string(9 << 20, 'a')));
  EXPECT_GE(polls, 2);
  // Long runs poll (every 65,536 steps); a poll that throws ends the run
  // with its exception.
  quorvane::SetPatternPoll([] {
    if (++polls == 3) throw Stop{};
  });
  re.SetExpression(kRunaway);
  polls = 0;
  EXPECT_THROW(re.Exec(kAs), Stop);
  CheckUsableAfterError(re);
}

TEST(Limits, DeepRunsRaise1016AndLargePatternsRun) {
  const std::string longText = Times("ab", 400000);
  for (const char* pattern : {"(ab)*", "(a|b)*$", "(ab)*?$"}) {
    TPattern re;
    re.SetExpression(pattern);
    if (const auto e = Raised([&] { re.Exec(longText); })) {
      EXPECT_EQ(e->Code, 1016) << pattern;
      EXPECT_STREQ(e->what(), "TPattern(exec): Recursion Too Deep (pattern too complex for this input)");
    }
    CheckUsableAfterError(re);
  }
  TPattern re;
  // Thousands of optional pieces: neither the start-character walk nor the
  // matcher may exhaust the stack (the matcher may give up with 1016).
  re.SetExpression(Times("a?", 20000) + "b");
  try {
    ASSERT_TRUE(re.Exec("aab"));
    EXPECT_EQ(re.GroupLength(0), 3);
  } catch (const EPatternError& e) {
    EXPECT_EQ(e.Code, 1016);
  }
  EXPECT_EQ(re.StartCharSet()['a'] + re.StartCharSet()['b'], 2);
  std::string words;  // a long alternation finds its last branch
  for (int i = 0; i < 20000; ++i) words += "w" + std::to_string(i) + "|";
  re.SetExpression(words + "end");
  ASSERT_TRUE(re.Exec("the end"));
  EXPECT_EQ(re.GroupStart(0), 5);
}

}  // namespace
