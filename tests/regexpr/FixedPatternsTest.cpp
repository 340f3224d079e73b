// The program's two tag patterns run the way the page scans run them: one
// object with i, s and g on, Exec then ExecNext over a whole page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regexpr/Pattern.h"

using quorvane::TPattern;

namespace {

const char* const kMetaTag =
    "<meta\\s+name=([\"']?)([^>]*?)\\1\\s+content=([\"']?)([^>]*?)\\3[^>]*>";
const char* const kLink = "<[a-z][^>]*?(href|src)=([\"']?)(([a-z]+:)?([^>]*?))\\2";

void UseTagMatcherModifiers(TPattern& re) {
  const bool on[] = {true, false, true, true, false, false};  // i r s g m x
  for (int i = 0; i < 6; ++i) re.SetModifierFlag(i + 1, on[i]);
}

// One match as the scans read it; nullptr marks a group that did not take part.
struct Found {
  std::string whole;
  std::vector<const char*> groups;  // 1..n
};

void ExpectScan(const char* pattern, const std::string& page, const std::vector<Found>& want) {
  TPattern re;
  UseTagMatcherModifiers(re);
  re.SetExpression(pattern);
  size_t k = 0;
  size_t searchFrom = 0;
  for (bool ok = re.Exec(page); ok; ok = re.ExecNext(), ++k) {
    if (k >= want.size()) {
      ADD_FAILURE() << "extra match '" << re.GroupText(0) << "' at " << re.GroupStart(0);
      break;
    }
    const Found& f = want[k];
    SCOPED_TRACE("match " + std::to_string(k + 1) + ": " + f.whole);
    size_t at = page.find(f.whole, searchFrom);
    ASSERT_NE(at, std::string::npos) << "bad test data";
    EXPECT_EQ(re.GroupText(0), f.whole);
    EXPECT_EQ(re.GroupStart(0), static_cast<int>(at) + 1);
    EXPECT_EQ(re.GroupLength(0), static_cast<int>(f.whole.size()));
    searchFrom = at + f.whole.size();
    for (size_t g = 0; g < f.groups.size(); ++g) {
      int n = static_cast<int>(g) + 1;
      SCOPED_TRACE("group " + std::to_string(n));
      if (f.groups[g] == nullptr) {
        EXPECT_EQ(re.GroupStart(n), -1);
        EXPECT_EQ(re.GroupText(n), "");
      } else {
        EXPECT_EQ(re.GroupText(n), f.groups[g]);
        ASSERT_GE(re.GroupStart(n), 1);
        EXPECT_EQ(page.substr(re.GroupStart(n) - 1, re.GroupLength(n)), f.groups[g]);
      }
    }
  }
  EXPECT_EQ(k, want.size()) << "matches found";
}

TEST(FixedPatterns, MetaTagsOfARealPage) {
  const std::string page =
      "<!DOCTYPE html>\r\n"
      "<HTML>\r\n<HEAD>\r\n"
      "<META NAME=\"lrf:--title\" CONTENT=\"The Quiet Harbour\">\r\n"
      "<meta name='lrf:--author' content=\"Ann O'Neil\">\r\n"
      "<meta name=\"*:--language\" content='en'>\r\n"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\r\n"
      "<meta\r\n   name=\"lrf:--comment\"\r\n\tcontent=\"two\r\nlines\"\r\n>\r\n"
      "<meta name=lrf:--x content=5>\r\n"
      "<meta content=\"ignored\" name=\"lrf:--ignored\">\r\n"
      "<meta name=\"lrf:--a\" lang=\"en\" content=\"v\">\r\n"
      "<!-- <meta name=\"@include\" content=\"inc/common.htm\"> -->\r\n"
      "<Meta Name=\"epub:--cover\"\tContent=\"cover.jpg\" />\r\n"
      "<meta name=\"x\"content=\"no blank\">\r\n"
      "<meta name = \"y\" content=\"blanks around the equals sign\">\r\n"
      "<meta name=\"q\" content=\"a>b\">\r\n"
      "<meta name=\"one\" content=\"1\"><meta name=\"two\" content=\"2\">\r\n"
      "</HEAD>\r\n"
      "<body><p>meta name=\"not a tag\" content=\"x\"</p></body>\r\n</HTML>\r\n";
  ExpectScan(kMetaTag, page,
             {
                 {"<META NAME=\"lrf:--title\" CONTENT=\"The Quiet Harbour\">",
                  {"\"", "lrf:--title", "\"", "The Quiet Harbour"}},
                 {"<meta name='lrf:--author' content=\"Ann O'Neil\">",
                  {"'", "lrf:--author", "\"", "Ann O'Neil"}},
                 {"<meta name=\"*:--language\" content='en'>", {"\"", "*:--language", "'", "en"}},
                 {"<meta\r\n   name=\"lrf:--comment\"\r\n\tcontent=\"two\r\nlines\"\r\n>",
                  {"\"", "lrf:--comment", "\"", "two\r\nlines"}},
                 // Unquoted: the content is empty and the rest of the tag absorbed.
                 {"<meta name=lrf:--x content=5>", {"", "lrf:--x", "", ""}},
                 // Another attribute between name and content joins the name.
                 {"<meta name=\"lrf:--a\" lang=\"en\" content=\"v\">",
                  {"\"", "lrf:--a\" lang=\"en", "\"", "v"}},
                 {"<meta name=\"@include\" content=\"inc/common.htm\">",
                  {"\"", "@include", "\"", "inc/common.htm"}},
                 {"<Meta Name=\"epub:--cover\"\tContent=\"cover.jpg\" />",
                  {"\"", "epub:--cover", "\"", "cover.jpg"}},
                 // A '>' inside the value ends the tag there.
                 {"<meta name=\"q\" content=\"a>", {"\"", "q", "", ""}},
                 {"<meta name=\"one\" content=\"1\">", {"\"", "one", "\"", "1"}},
                 {"<meta name=\"two\" content=\"2\">", {"\"", "two", "\"", "2"}},
             });
}

TEST(FixedPatterns, LinksOfARealPage) {
  const std::string page =
      "<html><head>\n"
      "<link rel=\"stylesheet\" href=\"css/site.css\">\n"
      "<LINK REL=\"icon\" HREF='img/icon.png'>\n"
      "</head>\n<body>\n"
      "<a href=\"chapter2.htm#part3\">Next</a>\n"
      "<A HREF=\"http://example.com/x?y=1\">Web</A>\n"
      "<a href=\"mailto:me@example.org\">Mail</a>\n"
      "<a href=\"#top\">Top</a>\n"
      "<a href=\"\">Empty</a>\n"
      "<a href=plain.htm>Unquoted</a>\n"
      "<img src=\"pics/a.png\" href=\"ignored.htm\" alt=\"A\">\n"
      "<img alt=\"B\" data-src=\"lazy.png\">\n"
      "<a\n  class=\"x\"\n  href=\"../up/it's.htm\">Apostrophe</a>\n"
      "<a href=\"C:\\books\\x.htm\">Drive</a>\n"
      "<p>not a link: < a href=\"no.htm\"> and href=\"bare.htm\"</p>\n"
      "<a title=\"see href=x\" href=\"y.htm\">T</a>\n"
      "<IMG SRC=\"Pics/B.PNG\">\n"
      "</body></html>\n";
  // Groups: 1 attribute, 2 quote, 3 value, 4 scheme, 5 value after the scheme.
  ExpectScan(kLink, page,
             {
                 {"<link rel=\"stylesheet\" href=\"css/site.css\"",
                  {"href", "\"", "css/site.css", nullptr, "css/site.css"}},
                 {"<LINK REL=\"icon\" HREF='img/icon.png'",
                  {"HREF", "'", "img/icon.png", nullptr, "img/icon.png"}},
                 {"<a href=\"chapter2.htm#part3\"",
                  {"href", "\"", "chapter2.htm#part3", nullptr, "chapter2.htm#part3"}},
                 {"<A HREF=\"http://example.com/x?y=1\"",
                  {"HREF", "\"", "http://example.com/x?y=1", "http:", "//example.com/x?y=1"}},
                 {"<a href=\"mailto:me@example.org\"",
                  {"href", "\"", "mailto:me@example.org", "mailto:", "me@example.org"}},
                 {"<a href=\"#top\"", {"href", "\"", "#top", nullptr, "#top"}},
                 {"<a href=\"\"", {"href", "\"", "", nullptr, ""}},
                 // Unquoted values are never taken: the empty value matches.
                 {"<a href=", {"href", "", "", nullptr, ""}},
                 // Only the first attribute of a tag counts.
                 {"<img src=\"pics/a.png\"", {"src", "\"", "pics/a.png", nullptr, "pics/a.png"}},
                 {"<img alt=\"B\" data-src=\"lazy.png\"",
                  {"src", "\"", "lazy.png", nullptr, "lazy.png"}},
                 {"<a\n  class=\"x\"\n  href=\"../up/it's.htm\"",
                  {"href", "\"", "../up/it's.htm", nullptr, "../up/it's.htm"}},
                 {"<a href=\"C:\\books\\x.htm\"",
                  {"href", "\"", "C:\\books\\x.htm", "C:", "\\books\\x.htm"}},
                 // href= inside another attribute's value is found first.
                 {"<a title=\"see href=", {"href", "", "", nullptr, ""}},
                 {"<IMG SRC=\"Pics/B.PNG\"", {"SRC", "\"", "Pics/B.PNG", nullptr, "Pics/B.PNG"}},
             });
}

TEST(FixedPatterns, ScanStopsAtNulAndCountsEveryTag) {
  // Tags after a NUL byte are not seen.
  std::string page = "<a href=\"1.htm\"><a href=\"2.htm\">";
  page += '\0';
  page += "<a href=\"3.htm\">";
  ExpectScan(kLink, page,
             {{"<a href=\"1.htm\"", {"href", "\"", "1.htm"}},
              {"<a href=\"2.htm\"", {"href", "\"", "2.htm"}}});

  // A long page: every tag is found once, in order.
  std::string big;
  const int tags = 3000;
  for (int i = 0; i < tags; ++i) {
    big += "<p class=\"c" + std::to_string(i % 7) + "\">Text " + std::to_string(i) + "</p>\n";
    big += "<META name=\"lrf:--p" + std::to_string(i) + "\" content='" + std::to_string(i * 3) +
           "'>\n";
    big += "<img src=\"pic" + std::to_string(i) + ".png\">\n";
  }
  TPattern meta;
  UseTagMatcherModifiers(meta);
  meta.SetExpression(kMetaTag);
  int count = 0;
  for (bool ok = meta.Exec(big); ok; ok = meta.ExecNext()) {
    ASSERT_EQ(meta.GroupText(2), "lrf:--p" + std::to_string(count));
    ASSERT_EQ(meta.GroupText(4), std::to_string(count * 3));
    ++count;
  }
  EXPECT_EQ(count, tags);

  TPattern link;
  UseTagMatcherModifiers(link);
  link.SetExpression(kLink);
  count = 0;
  for (bool ok = link.Exec(big); ok; ok = link.ExecNext()) {
    ASSERT_EQ(link.GroupText(3), "pic" + std::to_string(count) + ".png");
    ++count;
  }
  EXPECT_EQ(count, tags);
}

}  // namespace
