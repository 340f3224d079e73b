// The placeholders of meta values.
#include <gtest/gtest.h>

#include "meta/Expansion.h"

namespace quorvane {
namespace {

TEST(Expansion, Placeholders) {
  const std::string novel = R"(C:\b\novel.htm)";
  const struct { PathStyle style; std::string file, value, expanded; } rows[] = {
      {PathStyle::Windows, novel, "[%f|%d|%p|%n|%x]", R"([C:\b\novel.htm|C:|C:\b\|novel|.htm])"},
      {PathStyle::Windows, novel, "100%%|%%d|%%%d|%q%n|%D%F%P%N%X%E%R",
       "100%|%d|%C:|%qnovel|%D%F%P%N%X%E%R"},
      {PathStyle::Windows, novel, "50%", "50%"},
      {PathStyle::Windows, novel, "%%%", "%%"},
      {PathStyle::Windows, novel, "%e%r%e", ""},
      {PathStyle::Windows, novel, "a%rb%ec", "abc"},
      // Replacements are not scanned again.
      {PathStyle::Windows, R"(C:\100%n\a%%b.htm)", "%p|%n", R"(C:\100%n\|a%%b)"},
      {PathStyle::Windows, R"(\\s\h\a.b.htm)", "%d|%p|%n", R"(\\s\h|\\s\h\|a.b)"},
      {PathStyle::Posix, "/b c/a:b\\c.htm", "%d|%p|%n|%x", "|/b c/|a:b\\c|.htm"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(ExpandPlaceholders(r.value, r.file, r.style), r.expanded) << r.value << " " << r.file;
}

}  // namespace
}  // namespace quorvane
