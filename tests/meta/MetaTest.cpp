// Expansion, meta-tag and link scans, includes, temporary copies, argument text.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "config/Config.h"
#include "meta/CommandLine.h"
#include "meta/Expansion.h"
#include "meta/MetaScan.h"
#include "meta/ModuleState.h"
#include "meta/TagMatcher.h"
#include "meta/TempCopy.h"
#include "base/Errors.h"
#include "util/Files.h"
#include "util/StringList.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
constexpr auto kWin = PathStyle::Windows;
constexpr auto kPosix = PathStyle::Posix;

// Expects fn(input) == expected for every row.
template <typename Fn>
void CheckRows(std::initializer_list<std::pair<std::string, std::string>> rows, Fn fn) {
  for (const auto& [input, expected] : rows) EXPECT_EQ(fn(input), expected) << input;
}
// "Kind: message" of the error that fn raises.
template <typename Fn>
std::string ErrorOf(Fn fn) {
  try { fn(); } catch (const Exception& e) { return e.KindName() + ": "s + e.what(); }
  return "(no error)";
}
// The parts of a table row "left|right".
std::string Left(const std::string& row) { return row.substr(0, row.find('|')); }
std::string Right(const std::string& row) { return row.substr(row.find('|') + 1); }
std::string Sep() { return std::string(1, PathSeparator()); }
std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
std::string Meta(const std::string& name, const std::string& content) {
  return "<meta name=\"" + name + "\" content=\"" + content + "\">";
}
std::string Include(const std::string& name) { return Meta("@include", name); }

// The prefixes the tests expect, and a fresh folder of real files.
class MetaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::create_directories(root_ /= "qvmeta-" + std::to_string(stamp));
    CurrentPrefix = "lrf:";
    CurrentUrlPrefix = "file:///";
  }
  void TearDown() override {
    DeleteTempCopies();
    fs::remove_all(root_);
  }
  // A name below the folder ('/' becomes the host's separator).
  std::string Path(std::string rel) const {
    for (char& c : rel) c = c == '/' ? PathSeparator() : c;
    return WithTrailingBackslash(root_.string()) + rel;
  }
  // Writes a file, making its folders, and returns its full path.
  std::string Write(const std::string& rel, const std::string& bytes) const {
    fs::create_directories(fs::path(Path(rel)).parent_path());
    std::ofstream(Path(rel), std::ios::binary) << bytes;
    return Path(rel);
  }
  fs::path root_ = fs::temp_directory_path();
};

TEST(Expansion, EntitiesAndPlaceholders) {
  CheckRows({{"&lt;b&gt;&QuOt;&AMP;", "<b>\"&"},
             {"&amp;lt;|&amp;quot;|&amp;amp;", "&lt;|&quot;|&amp;"},
             {"&#62;&#x3e;&nbsp;&apos;&lt c", "&#62;&#x3e;&nbsp;&apos;&lt c"}}, DecodeEntities);
  CheckRows({{"[%f|%d|%p|%n|%x]", R"([C:\b\novel.htm|C:|C:\b\|novel|.htm])"},
             {"100%%|%%d|%%%d|%q%n|%D%F%P%N%X%E%R", "100%|%d|%C:|%qnovel|%D%F%P%N%X%E%R"},
             {"50%", "50%"}, {"%%%", "%%"}, {"%e%r%e", ""}, {"a%rb%ec", "abc"}},
            [](const std::string& v) { return ExpandPlaceholders(v, R"(C:\b\novel.htm)", kWin); });
  // Replacements are not scanned again.
  EXPECT_EQ(ExpandPlaceholders("%p|%n", R"(C:\100%n\a%%b.htm)", kWin), R"(C:\100%n\|a%%b)");
  EXPECT_EQ(ExpandPlaceholders("%d|%p|%n", R"(\\s\h\a.b.htm)", kWin), R"(\\s\h|\\s\h\|a.b)");
  EXPECT_EQ(ExpandPlaceholders("%d|%p|%n|%x", "/b c/a:b\\c.htm", kPosix), "|/b c/|a:b\\c|.htm");
}
TEST(TagMatcher, ResolveReferenceInBothStyles) {
  CheckRows({{R"(C:\s\a\page.htm|inc/common.htm)", R"(C:\s\a\inc/common.htm)"},
             {R"(C:\s\a\page.htm|/shared/x.htm)", "C:/shared/x.htm"},
             {R"(C:\s\a\..\page.htm|D:/other/../y.htm)", R"(D:\y.htm)"},
             {R"(C:\s\a\page.htm|)", ""},
             {R"(\\srv\share\docs\page.htm|\top.htm)", R"(\\srv\share\top.htm)"},
             {R"(C:\s\page.htm|\\srv\share\x.htm)", R"(\\srv\share\x.htm)"}},
            [](const std::string& row) { return ResolveReference(Left(row), Right(row), kWin); });
  CheckRows({{R"(/home/./a//page.htm|inc\common.htm)", "/home/a/inc/common.htm"},
             {R"(/home/a/page.htm|\shared\x.htm)", "/shared/x.htm"},
             {"/home/page.htm|C:/x.htm", "/home/C:/x.htm"}},
            [](const std::string& row) { return ResolveReference(Left(row), Right(row), kPosix); });
  EXPECT_EQ(ResolveReference("page.htm", "x.htm"), FullPath("x.htm"));
}
TEST_F(MetaTest, RewriteLinks) {
  CheckRows(
      {{R"(<a href="p.png"><img src='../i/x.gif'>)",
        R"(<a href="file:///C:/s/a/p.png"><img src='file:///C:/s/i/x.gif'>)"},
       {R"(<A HREF="/top.htm#s2"><a href="x.htm?a=1#f#g">)",
        R"(<A HREF="file:///C:/top.htm#s2"><a href="file:///C:/s/a/x.htm?a=1#f#g">)"},
       {R"(<a href="#s2"><a href=""><a href="mailto:m@x"><a href="C:\y.htm"><a href=p.png>)",
        R"(<a href="#s2"><a href=""><a href="mailto:m@x"><a href="C:\y.htm"><a href=p.png>)"},
       {R"(<a href="\\srv\share\x.htm">)", R"(<a href="file://///srv/share/x.htm">)"},
       {R"(<img src="a.png" href="b.htm">)", R"(<img src="file:///C:/s/a/a.png" href="b.htm">)"}},
      [](const std::string& text) { return RewriteLinks(text, R"(C:\s\a\page.htm)", kWin); });
  // Rows "URL prefix|link" for a POSIX page /home/a/page.htm.
  CheckRows({{R"(file:///|<img src="i\p.png">)", R"(<img src="file:///home/a/i/p.png">)"},
             {R"(file:///|<a href="/top.htm#s2">)", R"(<a href="file:///top.htm#s2">)"},
             {R"(|<a href="x.htm">)", R"(<a href="/home/a/x.htm">)"},
             {R"(http://h|<a href="x.htm">)", R"(<a href="http://h/home/a/x.htm">)"}},
            [](const std::string& row) {
              CurrentUrlPrefix = Left(row);
              return RewriteLinks(Right(row), "/home/a/page.htm", kPosix);
            });
}
TEST_F(MetaTest, PrefixesAndCollectParameters) {
  // Rows "prefix|name" -> "selected remainder".
  CheckRows({{"lrf:|LRF:--Title", "1 --Title"}, {"lrf:|*:--x", "1 --x"},
             {"lrf:|lrf:*:--x", "1 *:--x"}, {"lrf:|lrf:", "1 "},
             {"lrf:|epub:--x", "0 epub:--x"}, {"lrf:|lrf", "0 lrf"}, {"lrf:|", "0 "},
             {"|epub:--x", "1 epub:--x"}, {"epub:|EPUB:--x", "1 --x"}, {"lrf:|*:", "1 "}},
            [](const std::string& row) {
              CurrentPrefix = Left(row);
              std::string rest = "unset";
              return (StripTargetPrefix(Right(row), rest) ? "1 " : "0 ") + rest;
            });  // the last row leaves the prefix lrf:
  CheckRows({{"@INCLUDE", "1"}, {"LRF:@Include", "1"}, {"*:@include", "1"}, {"epub:@include", "0"},
             {"@includes", "0"}, {"lrf:--title", "0"}, {"lrf:", "0"}},
            [](const std::string& name) { return IsIncludeName(name) ? "1" : "0"; });
  CheckRows(
      {// A later tag overrides in place, keeping the first spelling.
       {Meta("LRF:--Title", "T") + Meta("epub:--x", "1") + Meta("*:--y", "2") +
            Meta("lrf:--title", "B") + Meta("lrf:", "v"), "--Title=B|--y=2|=v|"},
       // %r removes (any case, any spelling of the name); re-adding goes to the end.
       {Meta("lrf:--a", "1") + Meta("lrf:--b", "2") + Meta("lrf:--A", "%R") +
            Meta("lrf:--z", "%r") + Meta("lrf:--a", "3") + Meta("lrf:--c", "x%ry%p"),
        R"(--b=2|--a=3|--c=xyC:\b\|)"},
       // Entities are decoded in names and values before any test.
       {Meta("lrf&#58;--no", "x") + Meta("lrf:--a&amp;b", "&lt;&gt;&quot;&amp;") +
            Meta("lrf:--r", "&#37;r") + Meta("lrf:--e", "&amp;quot;") +
            Meta("lrf:--r&amp;", "1") + Meta("lrf:--r&", "%r"),
        "--a&b=<>\"&|--r=&#37;r|--e=&quot;|"},
       // The name must come first and the content next; unquoted content is empty.
       {"<meta content=\"v\" name=\"lrf:--a\"><meta lang=\"en\" name=\"lrf:--b\" content=\"v\">"
        "<meta name=lrf:--d content=5>"
        "<META\r\n\tNAME='lrf:--e'\n  CONTENT=\"it's\" >", "--d=|--e=it's|"},
       {"<!-- " + Meta("lrf:--a", "c") + " -->" + Meta("epub:@include", "x.htm") + "\0"s +
            Meta("lrf:--b", "2"), "--a=c|"}},
      [](const std::string& document) {
        TStringList names, values;
        CollectParameters(document, R"(C:\b\novel.htm)", names, values, kWin);
        EXPECT_EQ(names.Count(), values.Count());
        std::string result;
        for (int i = 0; i < names.Count(); ++i) result += names.Get(i) + "=" + values.Get(i) + "|";
        return result;
      });
}
TEST_F(MetaTest, LoadDocumentInlinesIncludesRelativeToTheirOwnFile) {
  const std::string tail = "\0"s + Include("missing.htm");  // not seen after a NUL byte
  const std::string page = Write("site/a/page.htm", Include("inc/common.htm") +
      "|<META NAME='*:@INCLUDE' CONTENT='inc\\more.htm'>|" + Meta("epub:@include", "no.htm") +
      "|<!-- " + Meta("lrf:@include", "c&amp;d.htm") + " -->\xff" + tail);
  Write("site/a/inc/common.htm", "[<img src=\"p.png\">" + Meta("lrf:@include", "more.htm") + "]");
  Write("site/a/inc/more.htm", "[more]");
  Write("site/a/c&d.htm", "[c&d]");
  CurrentUrlPrefix = "";
  const std::string picture = LocalUrl(ResolveReference(Path("site/a/inc/common.htm"), "p.png"));
  EXPECT_EQ(LoadDocument(page), "[<img src=\"" + picture + "\">[more]]|[more]|" +
                                    Meta("epub:@include", "no.htm") + "|<!-- [c&d] -->\xff" + tail);
}
TEST_F(MetaTest, LoadDocumentErrorsAndLimits) {
  const auto load = [](const std::string& path, TIncludeLimits limits = {}) {
    return ErrorOf([&] { LoadDocument(path, limits); });
  };
  const std::string missing = Write("missing.htm", Include("inc/none.htm"));
  EXPECT_EQ(load(missing),
            "EFOpenError: Cannot open file " + ResolveReference(missing, "inc/none.htm"));
  // The message for the chain of files read from `path` through the references.
  const auto cycle = [](std::string path, std::initializer_list<const char*> refs) {
    std::string text = "EkelvoError: Include cycle: " + path;
    for (const char* ref : refs) text += " -> " + (path = ResolveReference(path, ref));
    return text;
  };
  const std::string a = Write("a.htm", Include("s/b.htm")), top = Write("top", Include("s/c.htm"));
  Write("s/b.htm", Include("c.htm"));
  Write("s/c.htm", Include("../s/./../a.htm"));  // the way back spelled differently
  EXPECT_EQ(load(a), cycle(a, {"s/b.htm", "c.htm", "../s/./../a.htm"}));
  // A cycle below the input file names only the files in the cycle.
  EXPECT_EQ(load(top),
            cycle(ResolveReference(top, "s/c.htm"), {"../s/./../a.htm", "s/b.htm", "c.htm"}));
  const auto n = [](int i) { return std::string("n").append(std::to_string(i)); };
  for (int i = 0; i < kMaxIncludeDepth; ++i) Write(n(i), Include(n(i + 1)));
  Write(n(kMaxIncludeDepth), "end");
  EXPECT_EQ(LoadDocument(Path(n(0))), "end");
  Write(n(kMaxIncludeDepth), Include(n(kMaxIncludeDepth + 1)));
  EXPECT_EQ(load(Path(n(0))), "EkelvoError: Includes nested more than 64 levels deep: " +
                                  Path(n(65)) + " included from " + Path(n(64)));
  // Each level includes the next twice: 2 + 4 + ... + 64 = 126 includes.
  const auto m = [](int i) { return std::string("m").append(std::to_string(i)); };
  for (int i = 0; i < 6; ++i) Write(m(i), Include(m(i + 1)) + Include(m(i + 1)));
  Write(m(6), "x");
  EXPECT_EQ(LoadDocument(Path(m(0)), {kMaxIncludeDepth, 126}), std::string(64, 'x'));
  EXPECT_EQ(load(Path(m(0)), {kMaxIncludeDepth, 125}),
            "EkelvoError: More than 125 includes in " + Path(m(0)));
}
TEST_F(MetaTest, WriteTempCopyAndDeleteTree) {
  const std::string document = "<p>\r\nbytes\0kept\xff</p>"s;
  const std::string copy = WriteTempCopy("sub" + Sep() + "novel.htm", document);
  const std::string second = WriteTempCopy("novel.htm", "other");
  ASSERT_EQ(TempCopyList.Count(), 2);
  const std::string dir = TempCopyList.Get(0);
  EXPECT_EQ(copy, dir + Sep() + "novel.htm");
  EXPECT_EQ(PathDirectory(dir), TempDirectory());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_EQ(Read(copy) + "|" + Read(second), document + "|other");
  DeleteTempCopies();
  EXPECT_EQ(TempCopyList.Count(), 0);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_FALSE(fs::exists(PathDirectory(second)));

  for (const char* f : {"tree/a", "tree/.h", "tree/s/d/c.txt", "keep", "outside/f"}) Write(f, "x");
  fs::create_directories(Path("tree/empty"));
#ifndef _WIN32
  fs::create_directory_symlink(Path("outside"), Path("tree/dirlink"));
  fs::create_symlink(Path("outside/f"), Path("tree/filelink"));
  fs::create_symlink(Path("missing"), Path("tree/dangling"));
  fs::create_directory_symlink(Path("outside"), Path("toplink"));
  DeleteTree(Path("toplink"));  // the link goes, its target stays
  EXPECT_FALSE(fs::exists(fs::symlink_status(Path("toplink"))));
#endif
  DeleteTree(Path("tree"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Path("tree"))));
  DeleteTree(Path("tree"));  // no longer there: nothing happens
  DeleteTree("");
  DeleteTree(Path("keep"));  // a file is not a tree
  EXPECT_EQ(Read(Path("keep")) + Read(Path("outside/f")), "xx");
}
TEST(CommandLine, JoinParametersAndFillTemplate) {
  // Rows of "name=value;..."; a backslash before a closing quote is doubled.
  CheckRows({{"", ""},
             {"--t=My Book;--x=a \"b\" c;--y=a\"b;--z=a\tb",
              "--t=\"My Book\" --x=\"a \"\"b\"\" c\" --y=\"a\"\"b\" --z=\"a\tb\" "},
             {R"(--x=;=dropped;--d=C:\dir\)", R"(--x --d=C:\dir\ )"},
             {R"(--x=C:\Ann Lee\;--y=a b\\)", R"(--x="C:\Ann Lee\\" --y="a b\\\\" )"}},
            [](const std::string& entries) {
              TStringList names, values;
              std::istringstream in(entries);
              for (std::string e; std::getline(in, e, ';');) {
                names.Add(e.substr(0, e.find('=')));
                values.Add(e.substr(e.find('=') + 1));
              }
              return JoinParameters(names, values);
            });
  CheckRows({{kBuiltInTemplate, R"(P --output="O" "I")"}, {"%input%|%Output%|%pArAmS%", "I|O|P"},
             {"100%%|%%INPUT%%", "100%|%INPUT%"}, {"%%%", "%%"}, {"ends with %", "ends with %"},
             {"%other%", "%other%"}, {"50% %INPUT%", "50% I"}, {"%a%INPUT%", "%aI"},
             {"%x%%", "%x%"}},
            [](const std::string& t) { return FillTemplate(t, "P", "I", "O"); });
  // Inserted values are not scanned again.
  EXPECT_EQ(FillTemplate("%PARAMS%|%INPUT%", "%INPUT% ", "100%", "O"), "%INPUT% |100%");
}
TEST_F(MetaTest, BuildCommandLineFromTheLoadedDocument) {
  const auto build = [&](const std::string& page, const std::string& out, const char* pattern,
                         bool keep = false) {
    Write("src/sub/novel.htm", page);
    return BuildCommandLine(Path("src/"), "sub" + Sep() + "novel.htm", ".lrf", out, pattern, keep);
  };
  Write("src/inc/m.htm",
        Meta("lrf:--author", "Smith") + Meta("lrf:--cover", "%n.jpg") + "<img src=\"c.png\">");
  const std::string out = Path("out"), novel = Sep() + "novel.lrf";
  const std::string args =
      build(Meta("lrf:--title", "My Book") + Meta("*:@include", "../inc/m.htm") +
                Meta("lrf:--cover", "%r") + Meta("lrf:--e", "%e"),
            out, "%PARAMS%|%INPUT%");
  const std::string copy = TempCopyList.Get(0) + Sep() + "novel.htm";
  EXPECT_EQ(args, "--title=\"My Book\" --author=Smith --e |" + copy);
  EXPECT_EQ(Read(copy).find("@include"), std::string::npos) << Read(copy);
  EXPECT_NE(Read(copy).find("src/inc/c.png\">"), std::string::npos) << Read(copy);
  // A folder with a blank: on Windows its final backslash is doubled.
  const std::string src = Path("my books/");
  Write("my books/novel.htm", Meta("lrf:--dir", "%p"));
  EXPECT_EQ(BuildCommandLine(src, "novel.htm", ".lrf", out, "%PARAMS%", false),
            "--dir=\"" + src + (src.back() == '\\' ? "\\" : "") + "\" ");
  // OUTPUT with and without the source folder structure.
  EXPECT_EQ(build("x", out + Sep(), "%OUTPUT%"), out + novel);
  EXPECT_EQ(build("x", out, "%OUTPUT%", true), out + Sep() + "sub" + novel);
  EXPECT_TRUE(fs::is_directory(out + Sep() + "sub"));
  EXPECT_EQ(build("x", "", "%OUTPUT%"), novel);
}
TEST_F(MetaTest, BuildCommandLineRefusesOutputOverTheInputBeforeAnyCopy) {
  const std::string page = Write("src/page.htm", "<p>keep me</p>"), src = Path("src/");
  std::vector<std::pair<std::string, std::string>> same = {
      {Path("src"), ".htm"}, {src, ".htm"}, {Path("src/sub/.."), ".htm"}};
  if (kHostPathStyle == kWin) same.push_back({Path("SRC"), ".HTM"});
  for (const auto& row : same) {
    const std::string& dir = row.first;
    const std::string& ext = row.second;
    EXPECT_EQ(ErrorOf([&] { BuildCommandLine(src, "page.htm", ext, dir, "%INPUT%", false); }),
              "EkelvoError: Output file " + WithTrailingBackslash(dir) + "page" + ext +
                  " is the input file itself; not converted");
  }
  EXPECT_EQ(ErrorOf([&] { BuildCommandLine(src, "none.htm", ".lrf", src, "%INPUT%", false); }),
            "EFOpenError: Cannot open file " + src + "none.htm");
  EXPECT_EQ(Read(page), "<p>keep me</p>");
  EXPECT_EQ(TempCopyList.Count(), 0);
  EXPECT_NO_THROW(BuildCommandLine(src, "page.htm", ".lrf", src, "%INPUT%", false));
}

}  // namespace
}  // namespace quorvane
