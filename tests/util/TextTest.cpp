// Text comparison, replacement and quoting, and the string list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/StringList.h"
#include "util/Text.h"

namespace quorvane {
namespace {

TEST(ReplaceAll, Table) {
  struct Case {
    std::string text, oldText, newText;
    bool ignoreCase;
    std::string expected;
  };
  const std::vector<Case> cases = {
      // Replaced text is never scanned again.
      {"&amp;lt;", "&amp;", "&", false, "&lt;"},
      {"&amp;amp;", "&amp;", "&", false, "&amp;"},
      {"aaa", "a", "aa", false, "aaaaaa"},
      {"%%", "%", "%%", false, "%%%%"},
      // Occurrences are taken left to right without overlapping.
      {"aaaa", "aa", "b", false, "bb"},
      {"aaa", "aa", "b", false, "ba"},
      {"abcabc", "abc", "", false, ""},
      {"no match", "xyz", "Q", false, "no match"},
      {"", "a", "b", false, ""},
      {"text", "", "X", false, "text"},
      {"text", "", "X", true, "text"},
      // Case is respected unless ignored; unreplaced parts keep their case.
      {"Abc abc ABC", "abc", "Q", false, "Abc Q ABC"},
      {"AbC xYz aBc", "ABC", "q", true, "q xYz q"},
      {"%INPUT% and %input%", "%Input%", "in.htm", true, "in.htm and in.htm"},
      {"Tail", "TAILS", "x", true, "Tail"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.oldText, c.newText, c.ignoreCase), c.expected)
        << "'" << c.oldText << "' in '" << c.text << "'";
  }
}

TEST(QuoteText, DoublesTheQuoteInside) {
  EXPECT_EQ(QuoteText("a b", '"'), "\"a b\"");
  EXPECT_EQ(QuoteText("say \"hi\"", '"'), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(QuoteText("", '"'), "\"\"");
  EXPECT_EQ(QuoteText("'", '\''), "''''");
  EXPECT_EQ(QuoteText("it's \"x\"", '\''), "'it''s \"x\"'");
}

TEST(TextCase, UpperAsciiTouchesOnlyAsciiLetters) {
  EXPECT_EQ(UpperAscii("az AZ 09 `{@[ \xe9\xff"), "AZ AZ 09 `{@[ \xe9\xff");
}

TEST(TextCase, SameTextNoCase) {
  EXPECT_TRUE(SameTextNoCase("-R", "-r"));
  EXPECT_TRUE(SameTextNoCase("DefaultTarget", "DEFAULTTARGET"));
  EXPECT_TRUE(SameTextNoCase("", ""));
  EXPECT_FALSE(SameTextNoCase("abc", "abd"));
  EXPECT_FALSE(SameTextNoCase("abc", "abcd"));
  EXPECT_FALSE(SameTextNoCase("-r", "-r+"));
}

TEST(TStringList, FindsTheFirstEntryIgnoringCase) {
  TStringList list;
  list.Add("--title");
  list.Add("--Author");
  list.Add("--AUTHOR");
  EXPECT_EQ(list.IndexOf("--author"), 1);
  EXPECT_EQ(list.IndexOf("--TITLE"), 0);
  EXPECT_EQ(list.IndexOf("--title "), -1);
  list.Delete(1);
  EXPECT_EQ(list.IndexOf("--author"), 1);
}

}  // namespace
}  // namespace quorvane
