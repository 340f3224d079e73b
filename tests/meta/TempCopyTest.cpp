#include <gtest/gtest.h>

#include <filesystem>

#include "MetaTestSupport.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "util/Path.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::MetaTest;
using test::TScratch;

struct TLinkCase {
  const char* input;
  const char* expected;
};

using RewriteLinksTest = MetaTest;

TEST_F(RewriteLinksTest, WindowsStyle) {
  const std::string base = R"(C:\site\a\page.htm)";
  const TLinkCase cases[] = {
      {R"(<a href="pic.png">)", R"(<a href="file:///C:/site/a/pic.png">)"},
      {R"(<img src='../img/x.gif'>)", R"(<img src='file:///C:/site/a/../img/x.gif'>)"},
      {R"(<a href="/top.htm#s2">)", R"(<a href="file:///C:/top.htm#s2">)"},
      {R"(<a href="x.htm?a=1#f#g">)", R"(<a href="file:///C:/site/a/x.htm?a=1#f#g">)"},
      {R"(<a href="#s2">)", R"(<a href="#s2">)"},
      {R"(<a href="">)", R"(<a href="">)"},
      {R"(<a href="mailto:me@x.org">)", R"(<a href="mailto:me@x.org">)"},
      {R"(<a href="C:\x\y.htm">)", R"(<a href="C:\x\y.htm">)"},
      {R"(<a href=pic.png>)", R"(<a href=pic.png>)"},
      {R"(<a href="\\srv\share\x.htm">)", R"(<a href="file://///srv/share/x.htm">)"},
      {R"(<a href="my pic.png">)", R"(<a href="file:///C:/site/a/my pic.png">)"},
      {R"(<A HREF="Pic.PNG">)", R"(<A HREF="file:///C:/site/a/Pic.PNG">)"},
      {R"(<!-- <a href="c.htm"> --><script>s='<b src="d.js">'</script>)",
       R"(<!-- <a href="file:///C:/site/a/c.htm"> --><script>s='<b src="file:///C:/site/a/d.js">'</script>)"},
      // Only the first href or src of a tag.
      {R"(<img src="a.png" href="b.htm">)", R"(<img src="file:///C:/site/a/a.png" href="b.htm">)"},
      {R"(<img data-src="x.png">)", R"(<img data-src="file:///C:/site/a/x.png">)"},
      {"<a\nhref=\"x.htm\"\n>text</a>", "<a\nhref=\"file:///C:/site/a/x.htm\"\n>text</a>"},
      {R"(<a href="1.htm">one</a> <a href='2.htm'>two</a>)",
       R"(<a href="file:///C:/site/a/1.htm">one</a> <a href='file:///C:/site/a/2.htm'>two</a>)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RewriteLinks(c.input, base, PathStyle::Windows), c.expected) << c.input;
  }
}

TEST_F(RewriteLinksTest, BytesAfterNulAreKeptButNotSearched) {
  const std::string text = "<a href=\"a.htm\">\0<a href=\"b.htm\">\r\n"s;
  const std::string expected = "<a href=\"file:///C:/site/a/a.htm\">\0<a href=\"b.htm\">\r\n"s;
  EXPECT_EQ(RewriteLinks(text, R"(C:\site\a\page.htm)", PathStyle::Windows), expected);
}

TEST_F(RewriteLinksTest, PosixStyle) {
  const std::string base = "/home/me/site/a/page.htm";
  const TLinkCase cases[] = {
      {R"(<img src="pic.png">)", R"(<img src="file:///home/me/site/a/pic.png">)"},
      {R"(<img src="inc\pic.png">)", R"(<img src="file:///home/me/site/a/inc/pic.png">)"},
      {R"(<a href="/top.htm#s2">)", R"(<a href="file:///top.htm#s2">)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RewriteLinks(c.input, base, PathStyle::Posix), c.expected) << c.input;
  }
}

TEST_F(RewriteLinksTest, PosixPrefixWithoutFinalSlashKeepsThePathAbsolute) {
  const std::string base = "/site/page.htm";
  CurrentUrlPrefix = "";
  EXPECT_EQ(RewriteLinks(R"(<a href="x.htm">)", base, PathStyle::Posix),
            R"(<a href="/site/x.htm">)");
  CurrentUrlPrefix = "http://localhost";
  EXPECT_EQ(RewriteLinks(R"(<a href="x.htm">)", base, PathStyle::Posix),
            R"(<a href="http://localhost/site/x.htm">)");
  CurrentUrlPrefix = "";
  EXPECT_EQ(RewriteLinks(R"(<a href="x.htm">)", R"(C:\site\page.htm)", PathStyle::Windows),
            R"(<a href="C:/site/x.htm">)");
}

using TempCopyTest = MetaTest;

TEST_F(TempCopyTest, CopyLivesInItsOwnRecordedDirectory) {
  const std::string tempDir = TempDirectory();
  ASSERT_FALSE(tempDir.empty());
  EXPECT_EQ(tempDir.back(), PathSeparator());

  const std::string document = "<p>\r\nbytes\0kept\xff</p>"s;
  const std::string input = "sub" + test::Sep() + "novel.htm";
  const std::string copy = WriteTempCopy(input, document);
  ASSERT_EQ(TempCopyList.Count(), 1);
  const std::string dir = TempCopyList.Get(0);

  EXPECT_EQ(copy, dir + test::Sep() + "novel.htm");
  EXPECT_EQ(PathDirectory(dir), tempDir);
  EXPECT_EQ(PathFileName(dir).rfind("kel", 0), 0u) << dir;
  EXPECT_TRUE(IsExistingDirectory(dir));
  EXPECT_EQ(TScratch::Read(copy), document);
  // The directory holds nothing but the copy.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  const std::string second = WriteTempCopy(input, "other");
  ASSERT_EQ(TempCopyList.Count(), 2);
  EXPECT_NE(TempCopyList.Get(1), dir);
  EXPECT_EQ(TScratch::Read(copy), document);
  EXPECT_EQ(TScratch::Read(second), "other");

  DeleteTempCopies();
  EXPECT_EQ(TempCopyList.Count(), 0);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_FALSE(fs::exists(PathDirectory(second)));
}

TEST_F(TempCopyTest, DeleteTreeRemovesEverythingBelow) {
  TScratch scratch;
  const std::string top = scratch.Path("tree");
  scratch.Write("tree/a.txt", "a");
  scratch.Write("tree/.hidden", "h");
  scratch.Write("tree/noext", "n");
  scratch.Write("tree/sub/b.txt", "b");
  scratch.Write("tree/sub/deeper/c.txt", "c");
  fs::create_directories(scratch.Path("tree/empty"));
  scratch.Write("keep.txt", "stays");

  DeleteTree(top);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_TRUE(fs::exists(scratch.Path("keep.txt")));

  DeleteTree(top);  // no longer there: nothing happens
  DeleteTree("");
  // A file is not a tree.
  DeleteTree(scratch.Path("keep.txt"));
  EXPECT_TRUE(fs::exists(scratch.Path("keep.txt")));
}

#ifndef _WIN32
TEST_F(TempCopyTest, DeleteTreeNeverFollowsLinks) {
  TScratch scratch;
  scratch.Write("outside/precious.txt", "p");
  scratch.Write("outside/file.txt", "f");
  scratch.Write("tree/a.txt", "a");
  fs::create_directory_symlink(scratch.Path("outside"), scratch.Path("tree/dirlink"));
  fs::create_symlink(scratch.Path("outside/file.txt"), scratch.Path("tree/filelink"));
  fs::create_symlink(scratch.Path("missing"), scratch.Path("tree/dangling"));
  fs::create_directory_symlink(scratch.Path("outside"), scratch.Path("toplink"));

  DeleteTree(scratch.Path("tree"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(scratch.Path("tree"))));

  // A link named as the tree itself: the link goes, its target stays.
  DeleteTree(scratch.Path("toplink"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(scratch.Path("toplink"))));

  EXPECT_EQ(TScratch::Read(scratch.Path("outside/precious.txt")), "p");
  EXPECT_EQ(TScratch::Read(scratch.Path("outside/file.txt")), "f");
}
#endif

}  // namespace
}  // namespace quorvane
