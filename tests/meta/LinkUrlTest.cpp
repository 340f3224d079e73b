// Link URLs from paths with double-byte characters, whose second byte may be
// 0x5C, the backslash (code page 932: 表 is 95 5C).
#include <gtest/gtest.h>

#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "util/Text.h"

namespace quorvane {
namespace {

TEST(LinkUrl, OnlyBackslashesBetweenNamesBecomeSlashes) {
  const LeadByteTest previous =
      SetLeadByteTest([](unsigned char c) { return c >= 0x81 && c <= 0x9F; });
  CurrentUrlPrefix = "file:///";
  const std::pair<std::string, std::string> rows[] = {
      {"C:\\books\\\x95\x5c\\pic.png", "file:///C:/books/\x95\x5c/pic.png"},
      {"C:\\\x95\x5c\x95\x5c\\a\x5c" "b", "file:///C:/\x95\x5c\x95\x5c/a/b"},
      {"\\\\srv\\\x41\x5c" "x", "file://///srv/\x41/x"},
  };
  for (const auto& [path, url] : rows) EXPECT_EQ(LocalUrl(path, PathStyle::Windows), url) << path;
  SetLeadByteTest(previous);
}

}  // namespace
}  // namespace quorvane
