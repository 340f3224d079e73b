// The program's two tag patterns run the way the page scans run them: one
// object with i, s and g on (r, m and x off), Exec then ExecNext over a page.
#include "TestSupport.h"

namespace {

using namespace regexpr_test;

// Every match as "whole|group 1|group 2|...", "-" for a group that took no part.
std::vector<std::string> ScanPage(const char* pattern, const std::string& page, int groups) {
  TPattern re;
  UseModifiers(re, "isg");
  re.SetExpression(pattern);
  return Scan(re, page, groups, true);
}

TEST(FixedPatterns, MetaTagsOfARealPage) {
  const std::string page =
      "<!DOCTYPE html>\r\n<HTML>\r\n<HEAD>\r\n"
      "<META NAME=\"lrf:--title\" CONTENT=\"The Quiet Harbour\">\r\n"
      "<meta name='lrf:--author' content=\"Ann O'Neil\">\r\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
      "<meta\r\n   name=\"lrf:--comment\"\r\n\tcontent=\"two\r\nlines\"\r\n>\r\n"
      "<meta name=lrf:--x content=5>\r\n"
      "<meta content=\"ignored\" name=\"lrf:--ignored\">\r\n"
      "<meta name=\"lrf:--a\" lang=\"en\" content=\"v\">\r\n"
      "<meta name=\"x\"content=\"no blank\"><meta name = \"y\" content=\"blanks around =\">\r\n"
      "<meta name=\"q\" content=\"a>b\">\r\n"
      "</HEAD>\r\n<body><p>meta name=\"not a tag\" content=\"x\"</p></body>\r\n</HTML>\r\n";
  const std::vector<std::string> want = {
      "<META NAME=\"lrf:--title\" CONTENT=\"The Quiet Harbour\">|\"|lrf:--title|\"|The Quiet Harbour",
      "<meta name='lrf:--author' content=\"Ann O'Neil\">|'|lrf:--author|\"|Ann O'Neil",
      "<meta\r\n   name=\"lrf:--comment\"\r\n\tcontent=\"two\r\nlines\"\r\n>|\"|lrf:--comment|\"|two\r\nlines",
      "<meta name=lrf:--x content=5>||lrf:--x||",  // unquoted: the content is empty, the rest absorbed
      // Another attribute between name and content joins the name.
      "<meta name=\"lrf:--a\" lang=\"en\" content=\"v\">|\"|lrf:--a\" lang=\"en|\"|v",
      "<meta name=\"q\" content=\"a>|\"|q||",  // a '>' inside the value ends the tag there
  };
  EXPECT_EQ(ScanPage(kMetaTag, page, 4), want);
}

TEST(FixedPatterns, LinksOfARealPage) {
  const std::string page =
      "<html><head>\n<LINK REL=\"icon\" HREF='img/icon.png'>\n</head>\n<body>\n"
      "<A HREF=\"http://example.com/x?y=1\">Web</A>\n"
      "<a href=\"\">Empty</a>\n<a href=plain.htm>Unquoted</a>\n"
      "<img src=\"pics/a.png\" href=\"ignored.htm\" alt=\"A\">\n"
      "<img alt=\"B\" data-src=\"lazy.png\">\n<image xlink:href=\"p.svg\"/>\n"
      "<a\n  class=\"x\"\n  href=\"../up/it's.htm\">Apostrophe</a>\n"
      "<p>not a link: < a href=\"no.htm\"> and href=\"bare.htm\"</p>\n"
      "<a title=\"see href=x\" href=\"y.htm\">T</a>\n</body></html>\n";
  // Groups: attribute, quote, value, scheme, value after the scheme.
  const std::vector<std::string> want = {
      "<LINK REL=\"icon\" HREF='img/icon.png'|HREF|'|img/icon.png|-|img/icon.png",
      "<A HREF=\"http://example.com/x?y=1\"|HREF|\"|http://example.com/x?y=1|http:|//example.com/x?y=1",
      "<a href=\"\"|href|\"||-|",
      "<a href=|href|||-|",                                      // unquoted values are never taken
      "<img src=\"pics/a.png\"|src|\"|pics/a.png|-|pics/a.png",  // only the first attribute counts
      // data-src is not src; a colon may stand before the name.
      "<image xlink:href=\"p.svg\"|href|\"|p.svg|-|p.svg",
      "<a\n  class=\"x\"\n  href=\"../up/it's.htm\"|href|\"|../up/it's.htm|-|../up/it's.htm",
      "<a title=\"see href=|href|||-|",  // href= inside another attribute's value comes first
  };
  EXPECT_EQ(ScanPage(kLink, page, 5), want);
}

TEST(FixedPatterns, ScanStopsAtNulAndCountsEveryTag) {
  const std::string cut("<a href=\"1.htm\"><a href=\"2.htm\">\0<a href=\"3.htm\">", 49);
  EXPECT_EQ(ScanPage(kLink, cut, 3),
            (std::vector<std::string>{"<a href=\"1.htm\"|href|\"|1.htm", "<a href=\"2.htm\"|href|\"|2.htm"}));
  // A long page: every tag is found once, in order.
  std::string big;
  std::vector<std::string> metas, links;
  for (int i = 0; i < 3000; ++i) {
    const std::string n = std::to_string(i), content = std::to_string(3 * i);
    const std::string meta = "<META name=\"lrf:--p" + n + "\" content='" + content + "'>";
    big += "<p class=\"c" + std::to_string(i % 7) + "\">Text " + n + "</p>\n" + meta + "\n<img src=\"pic" +
           n + ".png\">\n";
    metas.push_back(meta + "|\"|lrf:--p" + n + "|'|" + content);
    links.push_back("<img src=\"pic" + n + ".png\"|src|\"|pic" + n + ".png|-|pic" + n + ".png");
  }
  EXPECT_EQ(ScanPage(kMetaTag, big, 4), metas);
  EXPECT_EQ(ScanPage(kLink, big, 5), links);
}

}  // namespace
