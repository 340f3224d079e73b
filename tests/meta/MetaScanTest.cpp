// Target prefixes, the parameters of a page's meta tags, and reading a page
// with its includes: limits, cycles, and the pages the scan cannot read.
#include <gtest/gtest.h>

#include "common/Helpers.h"
#include "common/ModuleScope.h"
#include "common/ScratchDir.h"
#include "meta/Links.h"
#include "meta/MetaScan.h"

namespace quorvane {
namespace {

using namespace std::string_literals;
using qvtest::Meta;
using qvtest::Raised;

std::string Include(const std::string& name) { return Meta("@include", name); }

TEST(MetaScan, TargetPrefixes) {
  const qvtest::ModuleScope scope;
  const struct { std::string prefix, name; bool selected; std::string rest; } rows[] = {
      {"lrf:", "LRF:--Title", true, "--Title"},   {"lrf:", "*:--x", true, "--x"},
      {"lrf:", "lrf:*:--x", true, "*:--x"},       {"lrf:", "lrf:", true, ""},
      {"lrf:", "epub:--x", false, "epub:--x"},    {"lrf:", "lrf", false, "lrf"},
      {"lrf:", "", false, ""},                    {"", "epub:--x", true, "epub:--x"},
      {"epub:", "EPUB:--x", true, "--x"},         {"lrf:", "*:", true, ""},
  };
  for (const auto& r : rows) {
    CurrentPrefix = r.prefix;
    std::string rest = "unset";
    EXPECT_EQ(StripTargetPrefix(r.name, rest), r.selected) << r.name;
    EXPECT_EQ(rest, r.rest) << r.name;
  }
  const struct { std::string name; bool include; } includes[] = {
      {"@INCLUDE", true},  {"LRF:@Include", true}, {"*:@include", true}, {"epub:@include", false},
      {"@includes", false}, {"lrf:--title", false}, {"lrf:", false},
  };
  for (const auto& r : includes) EXPECT_EQ(IsIncludeName(r.name), r.include) << r.name;
}

TEST(MetaScan, CollectParameters) {
  const qvtest::ModuleScope scope("lrf:");
  const struct { std::string document, collected; } rows[] = {
      // A later tag overrides in place, keeping the first spelling.
      {Meta("LRF:--Title", "T") + Meta("epub:--x", "1") + Meta("*:--y", "2") +
           Meta("lrf:--title", "B") + Meta("lrf:", "v"), "--Title=B|--y=2|=v|"},
      // %r removes (any case, any spelling of the name); re-adding goes to the end.
      {Meta("lrf:--a", "1") + Meta("lrf:--b", "2") + Meta("lrf:--A", "%R") +
           Meta("lrf:--z", "%r") + Meta("lrf:--a", "3") + Meta("lrf:--c", "x%ry%p"),
       R"(--b=2|--a=3|--c=xyC:\b\|)"},
      // The four entities, in any case, are decoded in names and values before any test.
      {Meta("lrf&#58;--no", "x") + Meta("lrf:--a&AMP;b", "&LT;&gt;&Quot;&amp;&apos;&lt c") +
           Meta("lrf:--r", "&#37;r") + Meta("lrf:--e", "&amp;quot;") + Meta("lrf:--r&amp;", "1") +
           Meta("lrf:--r&", "%r"), "--a&b=<>\"&&apos;&lt c|--r=&#37;r|--e=&quot;|"},
      // The name must come first and the content next; unquoted content is empty.
      {"<meta content=\"v\" name=\"lrf:--a\"><meta lang=\"en\" name=\"lrf:--b\" content=\"v\">"
       "<meta name=lrf:--d content=5>"
       "<META\r\n\tNAME='lrf:--e'\n  CONTENT=\"it's\" >", "--d=|--e=it's|"},
      {"<!-- " + Meta("lrf:--a", "c") + " -->" + Meta("epub:@include", "x.htm") + "\0"s +
           Meta("lrf:--b", "2"), "--a=c|"},
      // A quote in a selected name is an error of the page; another target's tag is not.
      {R"(<meta name="epub:--a" lang="en" content="v"><meta name="lrf:--m=t" content="v">)",
       "--m=t=v|"},
      {R"(<meta name="lrf:--a" lang="en" content="v">)",
       R"(EkelvoError: Malformed meta tag <meta name="lrf:--a" lang="en" content="v">: its )"
       R"(parameter name --a" lang="en holds a quote; write content= right after name=)"},
      {R"(<meta name='*:--a&quot;b' content="v">)",
       R"(EkelvoError: Malformed meta tag <meta name='*:--a&quot;b' content="v">: its )"
       R"(parameter name --a"b holds a quote; write content= right after name=)"},
  };
  for (const auto& r : rows) {
    std::string collected;
    const std::string error = Raised([&] {
      TStringList names, values;
      CollectParameters(r.document, R"(C:\b\novel.htm)", names, values, PathStyle::Windows);
      EXPECT_EQ(names.Count(), values.Count());
      for (int i = 0; i < names.Count(); ++i) collected += names.Get(i) + "=" + values.Get(i) + "|";
    });
    EXPECT_EQ(error == "none" ? collected : error, r.collected);
  }
}

class LoadDocumentTest : public ::testing::Test {
 protected:
  qvtest::ModuleScope scope_{"lrf:", ""};
  qvtest::ScratchDir dir_;
};

TEST_F(LoadDocumentTest, InlinesIncludesRelativeToTheirOwnFile) {
  const std::string tail = "\0"s + Include("missing.htm");  // not seen after a NUL byte
  const std::string page = dir_.File("site/a/page.htm", Include("inc/common.htm") +
      "|<META NAME='*:@INCLUDE' CONTENT='inc\\more.htm'>|" + Meta("epub:@include", "no.htm") +
      "|<!-- " + Meta("lrf:@include", "c&amp;d.htm") + " -->\xff" + tail);
  dir_.File("site/a/inc/common.htm", "[<img src=\"p.png\">" + Meta("lrf:@include", "more.htm") + "]");
  dir_.File("site/a/inc/more.htm", "[more]");
  dir_.File("site/a/c&d.htm", "[c&d]");
  const std::string picture = LocalUrl(ResolveReference(dir_ / "site/a/inc/common.htm", "p.png"));
  EXPECT_EQ(LoadDocument(page), "[<img src=\"" + picture + "\">[more]]|[more]|" +
                                    Meta("epub:@include", "no.htm") + "|<!-- [c&d] -->\xff" + tail);
}

TEST_F(LoadDocumentTest, ErrorsAndLimits) {
  const auto load = [](const std::string& path, TIncludeLimits limits = {}) {
    return Raised([&] { LoadDocument(path, limits); });
  };
  const std::string missing = dir_.File("missing.htm", Include("inc/none.htm"));
  EXPECT_EQ(load(missing),
            "EFOpenError: Cannot open file " + ResolveReference(missing, "inc/none.htm"));
  // The message for the chain of files read from `path` through the references.
  const auto cycle = [](std::string path, std::initializer_list<const char*> refs) {
    std::string text = "EkelvoError: Include cycle: " + path;
    for (const char* ref : refs) text += " -> " + (path = ResolveReference(path, ref));
    return text;
  };
  const std::string a = dir_.File("a.htm", Include("s/b.htm"));
  const std::string top = dir_.File("top", Include("s/c.htm"));
  dir_.File("s/b.htm", Include("c.htm"));
  dir_.File("s/c.htm", Include("../s/./../a.htm"));  // the way back spelled differently
  EXPECT_EQ(load(a), cycle(a, {"s/b.htm", "c.htm", "../s/./../a.htm"}));
  // A cycle below the input file names only the files in the cycle.
  EXPECT_EQ(load(top),
            cycle(ResolveReference(top, "s/c.htm"), {"../s/./../a.htm", "s/b.htm", "c.htm"}));
  const auto n = [](int i) { return "n" + std::to_string(i); };
  for (int i = 0; i < kMaxIncludeDepth; ++i) dir_.File(n(i), Include(n(i + 1)));
  dir_.File(n(64), "end");
  EXPECT_EQ(LoadDocument(dir_ / n(0)), "end");
  dir_.File(n(64), Include(n(65)));
  EXPECT_EQ(load(dir_ / n(0)), "EkelvoError: Includes nested more than 64 levels deep: " +
                                   (dir_ / n(65)) + " included from " + (dir_ / n(64)));
  // Each level includes the next twice: 2 + 4 + ... + 64 = 126 includes.
  const auto m = [](int i) { return "m" + std::to_string(i); };
  for (int i = 0; i < 6; ++i) dir_.File(m(i), Include(m(i + 1)) + Include(m(i + 1)));
  dir_.File("m6", "x");
  EXPECT_EQ(LoadDocument(dir_ / "m0", {kMaxIncludeDepth, 126}), std::string(64, 'x'));
  EXPECT_EQ(load(dir_ / "m0", {kMaxIncludeDepth, 125}),
            "EkelvoError: More than 125 includes in " + (dir_ / "m0"));
}

TEST_F(LoadDocumentTest, WideTextFailsNamingTheFile) {
  const std::string page = dir_ / "x.htm";
  const struct { std::string bytes; const char* form; } rows[] = {
      {"\xFF\xFE<\0p\0"s, "UTF-16"},         {"\xFE\xFF\0<"s, "UTF-16"},
      {"\xFF\xFE\0\0<\0\0\0"s, "UTF-32"},    {"\0\0\xFE\xFF"s, "UTF-32"},
      {"\xEF\xBB\xBF<p>"s, nullptr},         {"\xFE<p>"s, nullptr},
      {""s, nullptr},
  };
  for (const auto& r : rows) {
    dir_.File("x.htm", r.bytes);
    EXPECT_EQ(Raised([&] { LoadDocument(page); }),
              r.form ? "EkelvoError: " + page + " is " + r.form + " text; save it as UTF-8" : "none")
        << r.bytes;
  }
  // An included file names itself.
  const std::string inc = dir_.File("inc.htm", "\xFF\xFE<\0"s);
  dir_.File("x.htm", Include("inc.htm"));
  EXPECT_EQ(Raised([&] { LoadDocument(page); }),
            "EkelvoError: " + inc + " is UTF-16 text; save it as UTF-8");
}

TEST_F(LoadDocumentTest, NulByteWarnsOnStandardError) {
  const std::string page = dir_.File("x.htm", Include("inc.htm") + "ab\0cd"s);
  const std::string inc = dir_.File("inc.htm", "x\0y"s), clean = dir_.File("clean.htm", "<p>");
  testing::internal::CaptureStderr();
  const std::string document = LoadDocument(page);
  LoadDocument(clean);
  std::string warnings = testing::internal::GetCapturedStderr();
  std::erase(warnings, '\r');  // the capture is read back as text
  const auto warning = [](const std::string& file, std::size_t offset) {
    return "Warning: " + file + " has a NUL byte at offset " + std::to_string(offset) +
           "; meta tags and links after it are ignored\n";
  };
  EXPECT_EQ(warnings, warning(page, Include("inc.htm").size() + 2) + warning(inc, 1));
  EXPECT_EQ(document, "x\0yab\0cd"s);  // converted as it is
}

}  // namespace
}  // namespace quorvane
