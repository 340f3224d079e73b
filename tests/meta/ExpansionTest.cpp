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
      {"&lt;b&gt;", "<b>"},
      {"&quot;", "\""},
      {"&AMP;", "&"},
      {"&Lt;&GT;&QuOt;", "<>\""},
      // &amp; comes last and replaced text is never rescanned.
      {"&amp;lt;", "&lt;"},
      {"&amp;quot;", "&quot;"},
      {"&amp;amp;", "&amp;"},
      // Unknown and numeric entities stay as written.
      {"&#62;&#x3e;&nbsp;&apos;", "&#62;&#x3e;&nbsp;&apos;"},
      {"a & b &lt c", "a & b &lt c"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeEntities(c.input), c.expected) << c.input;
}

TEST(ExpandPlaceholders, WindowsMainFile) {
  const std::string main = R"(C:\books\sub\novel.htm)";
  const TCase cases[] = {
      {"%n", "novel"},
      {"cover-%n.jpg", "cover-novel.jpg"},
      {"%p%n.jpg", R"(C:\books\sub\novel.jpg)"},
      {"%f", R"(C:\books\sub\novel.htm)"},
      {"%d", "C:"},
      {"%x", ".htm"},
      {"[%d|%p|%n|%x]", R"([C:|C:\books\sub\|novel|.htm])"},
      {"100%%", "100%"},
      {"%%d", "%d"},
      {"%%%d", "%C:"},
      {"50%", "50%"},
      {"%", "%"},
      {"%q", "%q"},
      {"%%%", "%%"},
      {"%%q", "%q"},
      {"%D%F%P%N%X%E%R", "%D%F%P%N%X%E%R"},
      {"%e", ""},
      {"%e%r%e", ""},
      {"a%rb%ec", "abc"},
      {"%%n", "%n"},
      // A percent sign before a placeholder letter after a non-placeholder.
      {"%q%n", "%qnovel"},
      {"%%%%", "%%"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandPlaceholders(c.input, main, PathStyle::Windows), c.expected) << c.input;
  }
}

TEST(ExpandPlaceholders, ReplacementTextIsNotScannedAgain) {
  // A main file whose path holds percent pairs.
  const std::string main = R"(C:\100%n\a%%b.htm)";
  EXPECT_EQ(ExpandPlaceholders("%f", main, PathStyle::Windows), main);
  EXPECT_EQ(ExpandPlaceholders("%p|%n", main, PathStyle::Windows), R"(C:\100%n\|a%%b)");
}

TEST(ExpandPlaceholders, FileWithoutExtensionAndUncShare) {
  EXPECT_EQ(ExpandPlaceholders("%n|%x", R"(C:\books\README)", PathStyle::Windows), "README|");
  EXPECT_EQ(ExpandPlaceholders("%n|%x", R"(C:\a.b\README)", PathStyle::Windows), "README|");
  EXPECT_EQ(ExpandPlaceholders("%d", R"(\\srv\share\books\novel.htm)", PathStyle::Windows),
            R"(\\srv\share)");
  EXPECT_EQ(ExpandPlaceholders("%p", R"(\\srv\share\books\novel.htm)", PathStyle::Windows),
            R"(\\srv\share\books\)");
  EXPECT_EQ(ExpandPlaceholders("%n", R"(C:\books\a.b.htm)", PathStyle::Windows), "a.b");
}

TEST(ExpandPlaceholders, PosixMainFile) {
  const std::string main = "/home/ann/my books/novel.htm";
  const TCase cases[] = {
      {"%d", ""},
      {"%p", "/home/ann/my books/"},
      {"%n%x", "novel.htm"},
      {"%p%n.jpg", "/home/ann/my books/novel.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandPlaceholders(c.input, main, PathStyle::Posix), c.expected) << c.input;
  }
  // A backslash or colon is an ordinary character of a POSIX name.
  EXPECT_EQ(ExpandPlaceholders("%n", "/data/a:b\\c.htm", PathStyle::Posix), "a:b\\c");
}

}  // namespace
}  // namespace quorvane
