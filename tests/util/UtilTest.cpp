// Path helpers in both styles, directories and files on disk, text helpers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "util/Files.h"
#include "util/Text.h"
#include "common/Helpers.h"
#include "common/ScratchDir.h"

namespace quorvane {
namespace {

constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle P = PathStyle::Posix;
const std::string U = "\\\\srv\\share";

TEST(PathSplit, BothStyles) {
  const struct { PathStyle style; std::string path, dir, file, ext, noSlash, drive; } rows[] = {
      {W, "C:\\a\\b.htm", "C:\\a\\", "b.htm", ".htm", "C:\\a", "C:"},
      {W, "C:b.htm", "C:", "b.htm", ".htm", "C:", "C:"},
      {W, "C:", "C:", "", "", "C:", "C:"},
      {W, "C:\\b.htm", "C:\\", "b.htm", ".htm", "C:\\", "C:"},
      {W, "C:\\dir.x\\file", "C:\\dir.x\\", "file", "", "C:\\dir.x", "C:"},
      {W, "d:x.y:z", "d:x.y:", "z", "", "d:x.y:", "d:"},
      {W, U + "\\x.htm", U + "\\", "x.htm", ".htm", U, U},
      {W, U, "\\\\srv\\", "share", "", "\\\\srv", U},
      {W, "\\novel.lrf", "\\", "novel.lrf", ".lrf", "\\", ""},
      {W, "a\\\\b", "a\\\\", "b", "", "a\\\\", ""},
      {W, "a/b.c.htm", "", "a/b.c.htm", ".htm", "", ""},
      {P, "/home/a/b.htm", "/home/a/", "b.htm", ".htm", "/home/a", ""},
      {P, "/x", "/", "x", "", "/", ""},
      {P, "/a.b/c", "/a.b/", "c", "", "/a.b", ""},
      {P, "C:b\\c.d", "", "C:b\\c.d", ".d", "", ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.path);
    EXPECT_EQ(PathDirectory(r.path, r.style), r.dir);
    EXPECT_EQ(PathFileName(r.path, r.style), r.file);
    EXPECT_EQ(PathExtension(r.path, r.style), r.ext);
    EXPECT_EQ(PathDirectoryNoSlash(r.path, r.style), r.noSlash);
    EXPECT_EQ(PathDrive(r.path, r.style), r.drive);
  }
  EXPECT_EQ(ReplaceExtension("C:\\dir.x\\file", ".lrf", W), "C:\\dir.x\\file.lrf");
  EXPECT_EQ(ReplaceExtension("a.b.htm", ".lrf", W), "a.b.lrf");
}

TEST(PathSplit, TrailingSeparator) {
  const struct { PathStyle style; std::string path, with, without; } rows[] = {
      {W, "", "\\", ""},
      {W, "C:", "C:\\", "C:"},
      {W, "C:\\a\\", "C:\\a\\", "C:\\a"},
      {W, "a/", "a/\\", "a/"},
      {P, "", "/", ""},
      {P, "/a/", "/a/", "/a"},
      {P, "a\\", "a\\/", "a\\"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(WithTrailingBackslash(r.path, r.style), r.with) << r.path;
    EXPECT_EQ(WithoutTrailingBackslash(r.path, r.style), r.without) << r.path;
  }
}

// What each build takes for one file: Windows ignores letter case, POSIX does not.
TEST(SameFileName, EachBuildsRule) {
  const struct { PathStyle style; std::string a, b; bool same; } files[] = {
      {W, "C:\\s\\page.htm", "c:\\S\\PAGE.HTM", true},
      {W, "C:\\s\\page.htm", "C:\\s\\page.html", false},
      {P, "/s/page.htm", "/s/page.htm", true},
      {P, "/s/page.htm", "/s/page.HTM", false},
  };
  for (const auto& f : files) EXPECT_EQ(SameFileName(f.a, f.b, f.style), f.same) << f.a << " " << f.b;
}

TEST(PathSplit, TrailByteBackslashIsNoDelimiterNorQuote) {
  // A code page in which 0x81..0x9F start a double-byte character.
  struct CodePage {
    LeadByteTest previous = SetLeadByteTest([](unsigned char c) { return c >= 0x81 && c <= 0x9F; });
    ~CodePage() { SetLeadByteTest(previous); }
  } codePage;
  const std::string so = "\x83\\", path = "C:\\" + so + "\\" + so + ".htm";
  EXPECT_EQ(PathDirectory(path, W), "C:\\" + so + "\\");
  EXPECT_EQ(PathFileName(path, W), so + ".htm");
  EXPECT_EQ(PathDirectoryNoSlash(path, W), "C:\\" + so);
  EXPECT_EQ(WithTrailingBackslash("a" + so, W), "a" + so + "\\");
  EXPECT_EQ(FullPathFrom(so + "\\..\\" + so, "C:\\w", W), "C:\\w\\" + so);
  EXPECT_EQ(PathDrive("\\\\s" + so + "\\share\\x", W), "\\\\s" + so + "\\share");
  EXPECT_EQ(QuoteText("a" + so + "b\\", '\\'), "\\a" + so + "b\\\\\\");
}

TEST(FullPathFrom, BothStyles) {
  struct Case { PathStyle style; std::string path, expected, cwd = ""; };
  const std::vector<Case> cases = {
      {W, "C:\\a\\..\\b", "C:\\b"}, {W, "C:\\..\\..", "C:\\"}, {W, ".", "C:\\work\\books"},
      {W, "novel.htm", "C:\\work\\books\\novel.htm"}, {W, "..\\..\\..\\x", "C:\\x"},
      {W, "x", "C:\\x", "C:\\"}, {W, "\\x\\y", "C:\\x\\y"}, {W, "c:x", "C:\\work\\books\\x"},
      {W, "C:..", "C:\\work"}, {W, "D:x", "D:\\x"}, {W, U + "\\a\\..\\..\\x", U + "\\x"},
      {W, U, U}, {W, "//srv/share/a/./b", U + "\\a\\b"}, {W, "\\x", U + "\\x", U + "\\dir"},
      {W, "..\\..\\x", U + "\\x", U + "\\dir"}, {W, "C:/a/b/", "C:\\a\\b\\"},
      {W, "C:\\a\\b\\..\\", "C:\\a\\"}, {W, "C:\\a\\\\b. .", "C:\\a\\b"},
      {W, "C:\\a\\b \\", "C:\\a\\b \\"}, {W, "", ""}, {W, "\\\\?\\C:\\a\\..", "\\\\?\\C:\\a\\.."},
      {P, "a.htm", "/home/me/a.htm"}, {P, "/x/../y", "/y"}, {P, "../../..", "/"},
      {P, "./a//b/", "/home/me/a/b/"}, {P, "C:x\\y", "/home/me/C:x\\y"}, {P, "x. ", "/x. ", "/"},
      {P, "/", "/"}, {P, "//a///b", "/a/b"}, {P, "/a/../", "/"}, {P, "/a/b/..", "/a"},
  };
  for (const Case& c : cases) {
    const std::string cwd = !c.cwd.empty() ? c.cwd : c.style == W ? "C:\\work\\books" : "/home/me";
    EXPECT_EQ(FullPathFrom(c.path, cwd, c.style), c.expected) << c.path << " from " << cwd;
  }
  const std::string cwd = std::filesystem::current_path().string(), &sep = qvtest::kSep;
  EXPECT_EQ(FullPath("a" + sep + ".." + sep + "b"), WithTrailingBackslash(cwd) + "b");
  EXPECT_EQ(FullPath("."), cwd);
  EXPECT_EQ(FullPath(""), "");
}

TEST(OnDisk, DirectoriesAndFiles) {
  EXPECT_EQ(qvtest::Raised([] { MakeDirectories(""); }), "Exception: Cannot create directory");
  qvtest::ScratchDir tmp;
  tmp.MakeCurrent();
  for (const char* root : {"C:\\", "C:", "\\", "\\\\srv\\share", "/"})
    EXPECT_TRUE(MakeDirectories(root, root[0] == '/' ? P : W)) << root;
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
  const std::string& s = qvtest::kSep;
  const std::string deepest = tmp / ("out" + s + "a" + s + "b");
  EXPECT_TRUE(MakeDirectories(deepest + s));
  EXPECT_TRUE(IsExistingDirectory(tmp / ("out" + s + "a")) && IsExistingDirectory(deepest));
  // Short and relative names; an empty parent is the current directory.
  for (const std::string& name : {std::string("o"), "rel" + s + "x", "y" + s + "z" + s + s}) {
    EXPECT_TRUE(MakeDirectories(name) && IsExistingDirectory(name)) << name;
  }
  const std::string file = tmp.File("Book.htm", "<html>");
  EXPECT_FALSE(MakeDirectories(file + s + "sub") || MakeDirectories("Book.htm"));
  EXPECT_TRUE(IsExistingFile(file) && !IsExistingDirectory(file));
  EXPECT_FALSE(IsExistingFile(tmp / "out") || IsExistingFile("no") || IsExistingDirectory("no"));
#ifdef _WIN32  // the directory search decides: any case, and the first match of a wildcard
  EXPECT_TRUE(IsExistingFile(tmp / "book.HTM") && IsExistingFile(tmp / "B??k.htm"));
#else
  EXPECT_FALSE(IsExistingFile(tmp / "book.htm") || IsExistingFile(tmp / "*.htm"));
#endif
}

TEST(Text, ReplaceAll) {
  const struct { std::string text, oldText, newText; bool ignoreCase; std::string expected; } rows[] = {
      {"&amp;lt;", "&amp;", "&", false, "&lt;"},
      {"&AMP;amp;", "&amp;", "&", true, "&amp;"},
      {"aaa", "a", "aa", false, "aaaaaa"},
      {"aAa", "a", "Aa", true, "AaAaAa"},
      {"aaa", "aa", "b", false, "ba"},
      {"abcabc", "abc", "", false, ""},
      {"text", "", "X", true, "text"},
      {"Tail", "TAILS", "x", true, "Tail"},
      {"Abc abc ABC", "abc", "Q", false, "Abc Q ABC"},
      {"AbC xYz aBc", "ABC", "q", true, "q xYz q"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(ReplaceAll(r.text, r.oldText, r.newText, r.ignoreCase), r.expected) << r.text;
}

}  // namespace
}  // namespace quorvane
