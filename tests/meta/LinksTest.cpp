// Where a reference in a page leads, and the links of the converter's copy:
// which attributes count, which values stay, the URLs they become, and links
// between the files of one document.
#include <gtest/gtest.h>

#include "common/ModuleScope.h"
#include "common/ScratchDir.h"
#include "meta/Links.h"
#include "meta/MetaScan.h"
#include "util/Files.h"
#include "util/Text.h"

namespace quorvane {
namespace {

constexpr auto kWin = PathStyle::Windows;
constexpr auto kPosix = PathStyle::Posix;

TEST(Links, ResolveReference) {
  const struct { PathStyle style; std::string base, reference, resolved; } rows[] = {
      {kWin, R"(C:\s\a\page.htm)", "inc/common.htm", R"(C:\s\a\inc/common.htm)"},
      {kWin, R"(C:\s\a\page.htm)", "/shared/x.htm", "C:/shared/x.htm"},
      {kWin, R"(C:\s\a\..\page.htm)", "D:/other/../y.htm", R"(D:\y.htm)"},
      {kWin, R"(C:\s\a\page.htm)", "", ""},
      {kWin, R"(\\srv\share\docs\page.htm)", R"(\top.htm)", R"(\\srv\share\top.htm)"},
      {kWin, R"(C:\s\page.htm)", R"(\\srv\share\x.htm)", R"(\\srv\share\x.htm)"},
      {kPosix, "/home/./a//page.htm", R"(inc\common.htm)", "/home/a/inc/common.htm"},
      {kPosix, "/home/a/page.htm", R"(\shared\x.htm)", "/shared/x.htm"},
      {kPosix, "/home/page.htm", "C:/x.htm", "/home/C:/x.htm"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(ResolveReference(r.base, r.reference, r.style), r.resolved) << r.reference;
  EXPECT_EQ(ResolveReference("page.htm", "x.htm"), FullPath("x.htm"));
}

TEST(Links, OnlyWholeAttributeNamesAndLocalPathsAreRewritten) {
  const qvtest::ModuleScope scope;
  // The page is C:\s\a\page.htm on Windows, /s/a/page.htm on POSIX, where the
  // result is the row's own, else the Windows one without "C:/".
  const struct { std::string text, windows, posix = ""; } rows[] = {
      {R"(<a href="p.png"><img src='../i/x.gif'>)",
       R"(<a href="file:///C:/s/a/p.png"><img src='file:///C:/s/i/x.gif'>)"},
      {R"(<A HREF="/top.htm#s2"><a href="x.htm?a=1#f#g">)",
       R"(<A HREF="file:///C:/top.htm#s2"><a href="file:///C:/s/a/x.htm?a=1#f#g">)"},
      {R"(<a href="#s2"><a href=""><a href="mailto:m@x"><a href="C:\y.htm"><a href=p.png>)",
       R"(<a href="#s2"><a href=""><a href="mailto:m@x"><a href="C:\y.htm"><a href=p.png>)"},
      {R"(<a href="\\srv\share\x.htm"><img src="i\p.png">)",
       R"(<a href="file://///srv/share/x.htm"><img src="file:///C:/s/a/i/p.png">)",
       R"(<a href="file:///srv/share/x.htm"><img src="file:///s/a/i/p.png">)"},
      {R"(<img src="a.png" href="b.htm"><img data-src="l.png" src="p.png">)",
       R"(<img src="file:///C:/s/a/a.png" href="b.htm"><img data-src="l.png" src="file:///C:/s/a/p.png">)"},
      {R"(<a title="data-src=x" href="p.htm">)", R"(<a title="data-src=x" href="file:///C:/s/a/p.htm">)"},
      {R"(<image xlink:href="p.svg"/><img srcset="x.png">)",
       R"(<image xlink:href="file:///C:/s/a/p.svg"/><img srcset="x.png">)"},
      {R"(<img src="//cdn.example.org/x.png"><a href='//h/p#f'>)",
       R"(<img src="//cdn.example.org/x.png"><a href='//h/p#f'>)"},
      {R"(<a href="../../x/./y/../z.htm#f">)", R"(<a href="file:///C:/x/z.htm#f">)"},
  };
  for (const auto& r : rows) {
    std::string posix = r.posix.empty() ? r.windows : r.posix;
    for (auto at = posix.find("C:/"); at != std::string::npos; at = posix.find("C:/"))
      posix.erase(at, 3);
    EXPECT_EQ(RewriteLinks(r.text, R"(C:\s\a\page.htm)", kWin), r.windows);
    EXPECT_EQ(RewriteLinks(r.text, "/s/a/page.htm", kPosix), posix);
  }
}

TEST(Links, UrlPrefixes) {
  const qvtest::ModuleScope scope;
  // On POSIX the path's own leading slash goes only after a prefix ending in one.
  const struct { std::string prefix, page, url; } rows[] = {
      {"", "/home/a/x.htm", "/home/a/x.htm"},
      {"http://h", "/home/a/x.htm", "http://h/home/a/x.htm"},
  };
  for (const auto& r : rows) {
    CurrentUrlPrefix = r.prefix;
    EXPECT_EQ(LocalUrl(r.page, kPosix), r.url) << r.prefix;
  }
  // Double-byte characters whose second byte is a backslash (code page 932:
  // 0x95 0x5C) stay whole; only backslashes between names become slashes.
  CurrentUrlPrefix = "file:///";
  const LeadByteTest previous = SetLeadByteTest([](unsigned char c) { return c >= 0x81 && c <= 0x9F; });
  const struct { std::string path, url; } dbcs[] = {
      {"C:\\books\\\x95\x5c\\pic.png", "file:///C:/books/\x95\x5c/pic.png"},
      {"C:\\\x95\x5c\x95\x5c\\a\x5c" "b", "file:///C:/\x95\x5c\x95\x5c/a/b"},
      {"\\\\srv\\\x41\x5c" "x", "file://///srv/\x41/x"},
  };
  for (const auto& r : dbcs) EXPECT_EQ(LocalUrl(r.path, kWin), r.url) << r.path;
  SetLeadByteTest(previous);
}

// A book whose chapters come in by include tags and link to each other.
TEST(Links, LinksToFilesOfTheDocumentStayWithinIt) {
  const qvtest::ModuleScope scope;
  const qvtest::ScratchDir dir;
  const std::string book = dir.File("book.htm",
      "<html><BODY class=\"b\">\n<meta name=\"@include\" content=\"ch1/seeds.html\">"
      "<p><a href=\"ch3/bloom.html#petals\">1</a></p>"
      "<meta name=\"@include\" content=\"ch3/bloom.html\"></body></html>");
  dir.File("ch1/seeds.html", "<!-- one -->\n<h1 id=\"seeds\">Seeds</H1 ><img src=\"../pics/s.png\">");
  dir.File("ch2/seeds.html", "<p>qp-book</p>");
  dir.File("ch3/bloom.html",
      "<h2 id=\"petals\"></h2><a href=\"../ch1/seeds.html#seeds\">2</a>"
      "<a href=\"../ch1/./seeds.html\">3</a><a href=\"../book.htm\">4</a>"
      "<a href=\"../other/x.html#y\">5</a><a href=\"../ch1/seeds.html\">6</a>"
      "<a href=\"../ch2/seeds.html\">7</a><meta name=\"@include\" content=\"../ch2/seeds.html\">");
  const auto url = [&](const std::string& rel) { return LocalUrl(FullPath(dir / rel)); };
  EXPECT_EQ(LoadDocument(book),
            "<html><BODY class=\"b\">\n<a id=\"qp-book-2\"></a>"
            "<!-- one -->\n<h1 id=\"seeds\">Seeds</H1 ><a id=\"qp-seeds\"></a><img src=\"" +
                url("pics/s.png") + "\">"
            "<p><a href=\"#petals\">1</a></p>"
            "<h2 id=\"petals\"></h2><a href=\"#seeds\">2</a><a href=\"#qp-seeds\">3</a>"
            "<a href=\"#qp-book-2\">4</a><a href=\"" + url("other/x.html") + "#y\">5</a>"
            "<a href=\"#qp-seeds\">6</a><a href=\"#qp-seeds-2\">7</a>"
            "<a id=\"qp-seeds-2\"></a><p>qp-book</p></body></html>");
  // No link needs an anchor: nothing is added.
  dir.File("ch3/bloom.html", "<a href=\"../ch1/seeds.html#seeds\">2</a>");
  EXPECT_EQ(LoadDocument(book).find("<a id="), std::string::npos);
}

}  // namespace
}  // namespace quorvane
