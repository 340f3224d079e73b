#include <gtest/gtest.h>

#include "meta/TagMatcher.h"

namespace quorvane {
namespace {

struct TReferenceCase {
  const char* base;
  const char* reference;
  const char* expected;
};

TEST(ResolveReference, WindowsStyle) {
  const TReferenceCase cases[] = {
      {R"(C:\site\a\page.htm)", "inc/common.htm", R"(C:\site\a\inc/common.htm)"},
      {R"(C:\site\a\page.htm)", "/shared/x.htm", "C:/shared/x.htm"},
      {R"(C:\site\a\page.htm)", R"(\shared\x.htm)", R"(C:\shared\x.htm)"},
      {R"(C:\site\a\page.htm)", R"(D:\other\y.htm)", R"(D:\other\y.htm)"},
      {R"(C:\site\a\page.htm)", "D:/other/../y.htm", R"(D:\y.htm)"},
      {R"(C:\site\a\page.htm)", "", ""},
      {R"(C:\site\a\page.htm)", "../up.htm", R"(C:\site\a\../up.htm)"},
      {R"(C:\site\a\..\b\page.htm)", "x.htm", R"(C:\site\b\x.htm)"},
      {R"(D:\inc\common.htm)", "/shared/x.htm", "D:/shared/x.htm"},
      {R"(\\srv\share\docs\page.htm)", R"(\top.htm)", R"(\\srv\share\top.htm)"},
      {R"(\\srv\share\docs\page.htm)", "more.htm", R"(\\srv\share\docs\more.htm)"},
      {R"(C:\site\page.htm)", R"(\\srv\share\x.htm)", R"(\\srv\share\x.htm)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveReference(c.base, c.reference, PathStyle::Windows), c.expected)
        << c.base << " + " << c.reference;
  }
}

TEST(ResolveReference, PosixStyleReadsBackslashesAsSlashes) {
  const TReferenceCase cases[] = {
      {"/home/me/site/a/page.htm", "inc/common.htm", "/home/me/site/a/inc/common.htm"},
      {"/home/me/site/a/page.htm", R"(inc\common.htm)", "/home/me/site/a/inc/common.htm"},
      {"/home/me/site/a/page.htm", "/shared/x.htm", "/shared/x.htm"},
      {"/home/me/site/a/page.htm", R"(\shared\x.htm)", "/shared/x.htm"},
      {"/home/me/site/a/page.htm", "../img/x.gif", "/home/me/site/a/../img/x.gif"},
      {"/home/me/site/./a//page.htm", "x.htm", "/home/me/site/a/x.htm"},
      // No drives on POSIX: C: is part of a relative name.
      {"/home/me/page.htm", "C:/x.htm", "/home/me/C:/x.htm"},
      {"/home/me/page.htm", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveReference(c.base, c.reference, PathStyle::Posix), c.expected)
        << c.base << " + " << c.reference;
  }
}

TEST(ResolveReference, RelativeBaseFileIsMadeAbsolute) {
  const std::string resolved = ResolveReference("page.htm", "x.htm");
  EXPECT_EQ(resolved, FullPath("x.htm"));
  EXPECT_FALSE(PathDirectory(resolved).empty());
}

TEST(NewTagMatcher, FindsMarkupInAnyCaseAcrossLines) {
  auto matcher = NewTagMatcher("<meta\\s+name=([a-z]+)>");
  ASSERT_TRUE(matcher->Exec("x <META\r\n\tNAME=Title> y <meta name=b>"));
  EXPECT_EQ(matcher->GroupText(1), "Title");
  EXPECT_EQ(matcher->GroupStart(0), 3);
  ASSERT_TRUE(matcher->ExecNext());
  EXPECT_EQ(matcher->GroupText(1), "b");
  EXPECT_FALSE(matcher->ExecNext());
}

TEST(NewTagMatcher, GreedyAndLazyQuantifiersDotCrossesLines) {
  auto lazy = NewTagMatcher("<(.*?)>");
  ASSERT_TRUE(lazy->Exec("<a\nb><c>"));
  EXPECT_EQ(lazy->GroupText(1), "a\nb");
  auto greedy = NewTagMatcher("<(.*)>");
  ASSERT_TRUE(greedy->Exec("<a\nb><c>"));
  EXPECT_EQ(greedy->GroupText(1), "a\nb><c");
}

TEST(RewriteTags, ReplacesChosenSubmatchesAndCopiesTheRest) {
  const std::string text = std::string("[a] [skip] [b]") + '\0' + " [c] tail";
  const std::string result = RewriteTags(
      "\\[([a-z]+)\\]", text, [](TPattern& match) -> std::optional<TTagReplacement> {
        if (match.GroupText(1) == "skip") return std::nullopt;
        return TTagReplacement{1, "<" + match.GroupText(1) + ">"};
      });
  // Bytes after the NUL are not searched but are kept.
  EXPECT_EQ(result, std::string("[<a>] [skip] [<b>]") + '\0' + " [c] tail");
}

TEST(RewriteTags, WholeMatchReplacementAndNoMatch) {
  const auto drop = [](TPattern&) -> std::optional<TTagReplacement> {
    return TTagReplacement{0, ""};
  };
  EXPECT_EQ(RewriteTags("<x>", "a<x>b<X>c", drop), "abc");
  EXPECT_EQ(RewriteTags("<x>", "no tags", drop), "no tags");
  EXPECT_EQ(RewriteTags("<x>", "", drop), "");
}

}  // namespace
}  // namespace quorvane
