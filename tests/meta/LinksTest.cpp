// Links in the converter's copy: which attributes count, which values stay,
// and links between the files of one document.
#include <gtest/gtest.h>

#include "common/ScratchDir.h"
#include "meta/MetaScan.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "util/Files.h"
#include "base/Errors.h"

namespace quorvane {
namespace {

constexpr auto kWin = PathStyle::Windows;
constexpr auto kPosix = PathStyle::Posix;

TEST(Links, OnlyWholeAttributeNamesAndLocalPathsAreRewritten) {
  CurrentUrlPrefix = "file:///";
  struct Row {
    const char* text;
    const char* windows;  // page C:\s\a\page.htm
    const char* posix;    // page /s/a/page.htm
  };
  const Row rows[] = {
      {R"(<img data-src="l.png" src="p.png">)", R"(<img data-src="l.png" src="file:///C:/s/a/p.png">)",
       R"(<img data-src="l.png" src="file:///s/a/p.png">)"},
      {R"(<a title="data-src=x" href="p.htm">)", R"(<a title="data-src=x" href="file:///C:/s/a/p.htm">)",
       R"(<a title="data-src=x" href="file:///s/a/p.htm">)"},
      {R"(<image xlink:href="p.svg"/><img srcset="x.png">)",
       R"(<image xlink:href="file:///C:/s/a/p.svg"/><img srcset="x.png">)",
       R"(<image xlink:href="file:///s/a/p.svg"/><img srcset="x.png">)"},
      {R"(<img src="//cdn.example.org/x.png"><a href='//h/p#f'>)",
       R"(<img src="//cdn.example.org/x.png"><a href='//h/p#f'>)",
       R"(<img src="//cdn.example.org/x.png"><a href='//h/p#f'>)"},
      {R"(<a href="../../x/./y/../z.htm#f">)", R"(<a href="file:///C:/x/z.htm#f">)",
       R"(<a href="file:///x/z.htm#f">)"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RewriteLinks(row.text, R"(C:\s\a\page.htm)", kWin), row.windows);
    EXPECT_EQ(RewriteLinks(row.text, "/s/a/page.htm", kPosix), row.posix);
  }
}

// A book whose chapters come in by include tags and link to each other.
TEST(Links, LinksToFilesOfTheDocumentStayWithinIt) {
  CurrentUrlPrefix = "file:///";
  const qvtest::ScratchDir dir;
  for (const char* sub : {"ch1", "ch2", "ch3"}) dir.Dir(sub);
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

TEST(Links, ParameterNameWithAQuoteIsAnErrorOfThePage) {
  CurrentPrefix = "lrf:";
  struct Row {
    const char* document;
    const char* result;
  };
  const Row rows[] = {
      {R"(<meta name="lrf:--a" lang="en" content="v">)",
       R"(Malformed meta tag <meta name="lrf:--a" lang="en" content="v">: its parameter name --a" lang="en holds a quote; write content= right after name=)"},
      {R"(<meta name='*:--a&quot;b' content="v">)",
       R"(Malformed meta tag <meta name='*:--a&quot;b' content="v">: its parameter name --a"b holds a quote; write content= right after name=)"},
      {R"(<meta name="epub:--a" lang="en" content="v"><meta name="lrf:--m=t" content="v">)",
       "--m=t=v|"},
  };
  for (const Row& row : rows) {
    TStringList names, values;
    std::string result;
    try {
      CollectParameters(row.document, R"(C:\b\novel.htm)", names, values, kWin);
      for (int i = 0; i < names.Count(); ++i) result += names.Get(i) + "=" + values.Get(i) + "|";
    } catch (const EkelvoError& e) {
      result = e.what();
    }
    EXPECT_EQ(result, row.result);
  }
}

}  // namespace
}  // namespace quorvane
