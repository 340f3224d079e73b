#include <gtest/gtest.h>

#include <filesystem>

#include "MetaTestSupport.h"
#include "meta/MetaScan.h"
#include "meta/TagMatcher.h"
#include "meta/ModuleState.h"
#include "util/Errors.h"
#include "util/StringList.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::MetaTest;
using test::TScratch;

using PrefixTest = MetaTest;

TEST_F(PrefixTest, StripTargetPrefix) {
  struct TCase {
    const char* prefix;
    const char* name;
    bool selected;
    const char* remainder;
  } const cases[] = {
      {"lrf:", "LRF:--Title", true, "--Title"},
      {"lrf:", "*:--x", true, "--x"},
      {"lrf:", "lrf:*:--x", true, "*:--x"},
      {"lrf:", "lrf:", true, ""},
      {"lrf:", "*:", true, ""},
      {"lrf:", "epub:--x", false, "epub:--x"},
      {"lrf:", "lrf", false, "lrf"},
      {"lrf:", "", false, ""},
      {"", "epub:--x", true, "epub:--x"},
      {"epub:", "EPUB:--x", true, "--x"},
  };
  for (const auto& c : cases) {
    CurrentPrefix = c.prefix;
    std::string remainder = "unset";
    EXPECT_EQ(StripTargetPrefix(c.name, remainder), c.selected) << c.prefix << " " << c.name;
    EXPECT_EQ(remainder, c.remainder) << c.prefix << " " << c.name;
  }
}

TEST_F(PrefixTest, IsIncludeName) {
  const std::pair<const char*, bool> cases[] = {
      {"@INCLUDE", true}, {"LRF:@Include", true}, {"*:@include", true}, {"epub:@include", false},
      {"@includes", false}, {"lrf:--title", false}, {"lrf:", false},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(IsIncludeName(name), expected) << name;
}

// Collects from a document for the main file C:\books\sub\novel.htm and
// returns "name=value|" per entry.
std::string Collect(const std::string& document) {
  TStringList names;
  TStringList values;
  CollectParameters(document, R"(C:\books\sub\novel.htm)", names, values, PathStyle::Windows);
  EXPECT_EQ(names.Count(), values.Count());
  std::string result;
  for (int i = 0; i < names.Count(); ++i) result += names.Get(i) + "=" + values.Get(i) + "|";
  return result;
}

std::string Meta(const std::string& name, const std::string& content) {
  return "<meta name=\"" + name + "\" content=\"" + content + "\">\n";
}

using CollectParametersTest = MetaTest;

TEST_F(CollectParametersTest, SelectionOverridesAndRemovals) {
  struct TCase {
    const char* what;
    std::string document;
    const char* expected;
  } const cases[] = {
      {"prefix in any case, other targets skipped",
       Meta("LRF:--Title", "T") + Meta("epub:--x", "1") + Meta("*:--y", "2"),
       "--Title=T|--y=2|"},
      {"later tag overrides in place, first spelling kept",
       Meta("lrf:--title", "A") + Meta("lrf:--b", "1") + Meta("LRF:--TITLE", "B"),
       "--title=B|--b=1|"},
      {"removal, re-adding goes to the end",
       Meta("lrf:--a", "1") + Meta("lrf:--b", "2") + Meta("lrf:--a", "%r") +
           Meta("lrf:--a", "3"),
       "--b=2|--a=3|"},
      {"removal with a capital R, of a name in another case",
       Meta("lrf:--a", "1") + Meta("*:--A", "%R"), ""},
      {"removal of an unknown name changes nothing", Meta("lrf:--z", "%r") + Meta("lrf:--a", "1"),
       "--a=1|"},
      {"%r inside a longer value disappears", Meta("lrf:--a", "x%ry"), "--a=xy|"},
      {"placeholders refer to the main file", Meta("lrf:--cover", "%p%n.jpg"),
       R"(--cover=C:\books\sub\novel.jpg|)"},
      {"entities decoded in names and values before any test",
       Meta("lrf&#58;--no", "x") + Meta("lrf:--a&amp;b", "&lt;&gt;&quot;&amp;") +
           Meta("lrf:--r", "&#37;r") + Meta("lrf:--e", "&amp;quot;"),
       "--a&b=<>\"&|--r=&#37;r|--e=&quot;|"},
      {"names are compared after decoding",
       Meta("lrf:--a&amp;", "1") + Meta("lrf:--b", "2") + Meta("lrf:--a&", "%r"), "--b=2|"},
      {"name that is only the prefix", Meta("lrf:", "v"), "=v|"},
      {"content before name is ignored", "<meta content=\"v\" name=\"lrf:--a\">", ""},
      {"another attribute first is ignored", "<meta lang=\"en\" name=\"lrf:--a\" content=\"v\">",
       ""},
      {"an attribute between name and content joins the name",
       "<meta name=\"lrf:--a\" lang=\"en\" content=\"v\">", "--a\" lang=\"en=v|"},
      {"unquoted content is empty", "<meta name=lrf:--a content=5>", "--a=|"},
      {"quotes of either kind, markup in capitals across lines",
       "<META\r\n\tNAME='lrf:--a'\n  CONTENT=\"it's\" >", "--a=it's|"},
      {"tags inside comments count", "<!-- " + Meta("lrf:--a", "c") + " -->", "--a=c|"},
      {"epub include is neither include nor parameter", Meta("epub:@include", "x.htm"), ""},
      {"tags after a NUL byte are not found",
       Meta("lrf:--a", "1") + "\0"s + Meta("lrf:--b", "2"), "--a=1|"},
  };
  for (const auto& c : cases) EXPECT_EQ(Collect(c.document), c.expected) << c.what;
}

using LoadDocumentTest = MetaTest;

TEST_F(LoadDocumentTest, IncludesAreInlinedRelativeToTheirOwnFile) {
  TScratch s;
  const std::string page = s.Write(
      "site/a/page.htm",
      "<html>\r\n<meta name=\"lrf:--title\" content=\"T\">\r\n"
      "<meta name=\"@include\" content=\"inc/common.htm\">|"
      "<META NAME='*:@INCLUDE' CONTENT='inc\\more.htm'>|"
      "<meta name=\"epub:@include\" content=\"nope.htm\">|"
      "<!-- <meta name=\"lrf:@include\" content=\"c&amp;d.htm\"> -->\xff\r\n</html>");
  s.Write("site/a/inc/common.htm",
          "[common <img src=\"pic.png\"><meta name=\"lrf:@include\" content=\"more.htm\">]");
  s.Write("site/a/inc/more.htm", "[more <meta name=\"lrf:--b\" content=\"2\">]");
  s.Write("site/a/c&d.htm", "[c&d]");

  CurrentUrlPrefix = "";
  const std::string document = LoadDocument(page);
  const std::string picture = ResolveReference(s.Path("site/a/inc/common.htm"), "pic.png");
  const std::string more = "[more <meta name=\"lrf:--b\" content=\"2\">]";
  EXPECT_EQ(document,
            "<html>\r\n<meta name=\"lrf:--title\" content=\"T\">\r\n"
            "[common <img src=\"" + LocalUrl(picture) + "\">" + more + "]|" + more + "|"
            "<meta name=\"epub:@include\" content=\"nope.htm\">|"
            "<!-- [c&d] -->\xff\r\n</html>");

  TStringList names;
  TStringList values;
  CollectParameters(document, page, names, values);
  ASSERT_EQ(names.Count(), 2);
  EXPECT_EQ(names.Get(1), "--b");
}

TEST_F(LoadDocumentTest, SameFileTwiceIsNotACycle) {
  TScratch s;
  const std::string page = s.Write("page.htm", "<meta name=\"@include\" content=\"x.htm\">"
                                               "<meta name=\"@include\" content=\"x.htm\">");
  s.Write("x.htm", "<meta name=\"@include\" content=\"y.htm\">");
  s.Write("y.htm", "y");
  EXPECT_EQ(LoadDocument(page), "yy");
}

TEST_F(LoadDocumentTest, BytesAfterNulAreKeptWithoutIncludes) {
  TScratch s;
  const std::string text = "a\0<meta name=\"@include\" content=\"missing.htm\">b"s;
  EXPECT_EQ(LoadDocument(s.Write("page.htm", text)), text);
}

// Expects fn to raise the error kind E with a message that contains every
// one of the parts.
template <typename E, typename Fn>
void ExpectError(Fn fn, std::initializer_list<std::string> parts) {
  try {
    fn();
    ADD_FAILURE() << "no error raised";
  } catch (const E& error) {
    for (const auto& part : parts) {
      EXPECT_NE(std::string(error.what()).find(part), std::string::npos)
          << "'" << part << "' not in: " << error.what();
    }
  }
}

TEST_F(LoadDocumentTest, UnreadableFilesFailTheWholeDocument) {
  TScratch s;
  ExpectError<EFOpenError>([&] { LoadDocument(s.Path("none.htm")); },
                           {"Cannot open file " + s.Path("none.htm")});

  const std::string missing =
      s.Write("missing.htm", "<meta name=\"@include\" content=\"inc/none.htm\">");
  ExpectError<EFOpenError>([&] { LoadDocument(missing); },
                           {"Cannot open file " + ResolveReference(missing, "inc/none.htm")});

  const std::string empty = s.Write("empty.htm", "<meta name=\"@include\" content=\"\">");
  ExpectError<EFOpenError>([&] { LoadDocument(empty); }, {"Cannot open file"});

  fs::create_directories(s.Path("folder"));
  const std::string folder = s.Write("folder.htm", "<meta name=\"@include\" content=\"folder\">");
  ExpectError<EFOpenError>([&] { LoadDocument(folder); }, {"Cannot open file"});
#ifndef _WIN32
  const std::string device = s.Write("device.htm", "<meta name=\"@include\" content=\"/dev/zero\">");
  ExpectError<EFOpenError>([&] { LoadDocument(device); }, {"Cannot open file /dev/zero"});
#endif
}

TEST_F(LoadDocumentTest, IncludeCyclesFailWithTheChain) {
  TScratch s;
  const std::string self = s.Write("self.htm", "<meta name=\"@include\" content=\"self.htm\">");
  ExpectError<EkelvoError>([&] { LoadDocument(self); }, {"Include cycle", "self.htm"});

  const std::string a = s.Write("a.htm", "<meta name=\"@include\" content=\"sub/b.htm\">");
  s.Write("sub/b.htm", "<meta name=\"@include\" content=\"c.htm\">");
  // The way back is spelled differently.
  s.Write("sub/c.htm", "<meta name=\"@include\" content=\"../sub/./../a.htm\">");
  ExpectError<EkelvoError>([&] { LoadDocument(a); },
                           {"Include cycle: " + a, "b.htm", "c.htm", "a.htm"});

  // A cycle below the input file names only the files in the cycle.
  const std::string top = s.Write("top.htm", "<meta name=\"@include\" content=\"sub/c.htm\">");
  ExpectError<EkelvoError>([&] { LoadDocument(top); }, {"Include cycle", "c.htm"});
}

TEST_F(LoadDocumentTest, NestingDepthIsBounded) {
  TScratch s;
  const auto name = [](int i) { return "n" + std::to_string(i) + ".htm"; };
  const auto include = [&](int i) {
    return "<meta name=\"@include\" content=\"" + name(i) + "\">";
  };
  for (int i = 0; i < kMaxIncludeDepth; ++i) s.Write(name(i), include(i + 1));
  s.Write(name(kMaxIncludeDepth), "end");
  EXPECT_EQ(LoadDocument(s.Path(name(0))), "end");

  s.Write(name(kMaxIncludeDepth), include(kMaxIncludeDepth + 1));
  s.Write(name(kMaxIncludeDepth + 1), "end");
  ExpectError<EkelvoError>([&] { LoadDocument(s.Path(name(0))); },
                           {"nested more than 64 levels", name(kMaxIncludeDepth + 1)});
}

TEST_F(LoadDocumentTest, IncludesThatMultiplyAreBounded) {
  // Each level includes the next one twice: 2 + 4 + ... + 64 = 126 includes.
  TScratch s;
  for (int i = 0; i < 6; ++i) {
    const std::string next = "<meta name=\"@include\" content=\"m" + std::to_string(i + 1) + "\">";
    s.Write("m" + std::to_string(i), next + next);
  }
  s.Write("m6", "x");
  TIncludeLimits limits;
  limits.includes = 126;
  EXPECT_EQ(LoadDocument(s.Path("m0"), limits), std::string(64, 'x'));
  limits.includes = 125;
  ExpectError<EkelvoError>([&] { LoadDocument(s.Path("m0"), limits); },
                           {"More than 125 includes in " + s.Path("m0")});
}

}  // namespace
}  // namespace quorvane
