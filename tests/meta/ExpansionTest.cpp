#include <gtest/gtest.h>

#include "meta/Expansion.h"

namespace quorvane {
namespace {

struct TCase {
  const char* input;
  const char* expected;
};

TEST(DecodeEntities, DecodesTheFourEntitiesOnceInAnyCase) {
  const TCase cases[] = {
      {"&lt;b&gt;&QuOt;&AMP;", "<b>\"&"},
      // &amp; comes last and replaced text is never rescanned.
      {"&amp;lt;|&amp;quot;|&amp;amp;", "&lt;|&quot;|&amp;"},
      // Unknown and numeric entities stay as written.
      {"&#62;&#x3e;&nbsp;&apos;&lt c", "&#62;&#x3e;&nbsp;&apos;&lt c"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeEntities(c.input), c.expected) << c.input;
}

TEST(ExpandPlaceholders, WindowsMainFile) {
  const TCase cases[] = {
      {"[%f|%d|%p|%n|%x]", R"([C:\books\sub\novel.htm|C:|C:\books\sub\|novel|.htm])"},
      {"cover-%n.jpg", "cover-novel.jpg"},
      {"100%%", "100%"},
      {"%%d", "%d"},
      {"%%%d", "%C:"},
      {"50%", "50%"},
      {"%%%", "%%"},
      {"%q%n", "%qnovel"},
      {"%D%F%P%N%X%E%R", "%D%F%P%N%X%E%R"},
      {"%e%r%e", ""},
      {"a%rb%ec", "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandPlaceholders(c.input, R"(C:\books\sub\novel.htm)", PathStyle::Windows),
              c.expected)
        << c.input;
  }
  // Replacements are not scanned again.
  EXPECT_EQ(ExpandPlaceholders("%p|%n", R"(C:\100%n\a%%b.htm)", PathStyle::Windows),
            R"(C:\100%n\|a%%b)");
}

TEST(ExpandPlaceholders, OtherMainFiles) {
  struct TFileCase {
    PathStyle style;
    const char* mainFile;
    const char* expected;  // for "%d|%p|%n|%x"
  } const cases[] = {
      {PathStyle::Windows, R"(C:\a.b\README)", R"(C:|C:\a.b\|README|)"},
      {PathStyle::Windows, R"(\\srv\share\books\a.b.htm)", R"(\\srv\share|\\srv\share\books\|a.b|.htm)"},
      {PathStyle::Posix, "/home/ann/my books/novel.htm", "|/home/ann/my books/|novel|.htm"},
      // A backslash or colon is an ordinary character of a POSIX name.
      {PathStyle::Posix, "/data/a:b\\c.htm", "|/data/|a:b\\c|.htm"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandPlaceholders("%d|%p|%n|%x", c.mainFile, c.style), c.expected) << c.mainFile;
  }
}

}  // namespace
}  // namespace quorvane
