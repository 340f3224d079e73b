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
      {R"(C:\site\a\page.htm)", R"(D:\other\y.htm)", R"(D:\other\y.htm)"},
      {R"(C:\site\a\page.htm)", "D:/other/../y.htm", R"(D:\y.htm)"},
      {R"(C:\site\a\page.htm)", "", ""},
      {R"(C:\site\a\..\b\page.htm)", "x.htm", R"(C:\site\b\x.htm)"},
      {R"(D:\inc\common.htm)", "/shared/x.htm", "D:/shared/x.htm"},
      {R"(\\srv\share\docs\page.htm)", R"(\top.htm)", R"(\\srv\share\top.htm)"},
      {R"(C:\site\page.htm)", R"(\\srv\share\x.htm)", R"(\\srv\share\x.htm)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveReference(c.base, c.reference, PathStyle::Windows), c.expected)
        << c.base << " + " << c.reference;
  }
}

TEST(ResolveReference, PosixStyleReadsBackslashesAsSlashes) {
  const TReferenceCase cases[] = {
      {"/home/me/site/a/page.htm", R"(inc\common.htm)", "/home/me/site/a/inc/common.htm"},
      {"/home/me/site/a/page.htm", "/shared/x.htm", "/shared/x.htm"},
      {"/home/me/site/a/page.htm", R"(\shared\x.htm)", "/shared/x.htm"},
      {"/home/me/site/./a//page.htm", "x.htm", "/home/me/site/a/x.htm"},
      // No drives on POSIX: C: is part of a relative name.
      {"/home/me/page.htm", "C:/x.htm", "/home/me/C:/x.htm"},
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

TEST(NewTagMatcher, CaseInsensitiveGreedyAndDotAcrossLines) {
  auto matcher = NewTagMatcher("<meta\\s+name=([a-z]+)(.*)>");
  ASSERT_TRUE(matcher->Exec("x <META\r\n\tNAME=Title\n> y <b>"));
  EXPECT_EQ(matcher->GroupText(1), "Title");
  EXPECT_EQ(matcher->GroupText(2), "\n> y <b");
  EXPECT_EQ(matcher->GroupStart(0), 3);
  EXPECT_FALSE(matcher->ExecNext());
}

}  // namespace
}  // namespace quorvane
