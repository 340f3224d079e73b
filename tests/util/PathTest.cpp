// Splitting, joining and completing paths in both styles, on any host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "util/Path.h"
#include "util/Text.h"

namespace quorvane {
namespace {

constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle P = PathStyle::Posix;

using PathFunction = std::string (*)(const std::string&, PathStyle);

struct SplitCase {
  const char* name;
  PathFunction function;
  PathStyle style;
  std::string path;
  std::string expected;
};

std::string Dir(const std::string& p, PathStyle s) { return PathDirectory(p, s); }
std::string File(const std::string& p, PathStyle s) { return PathFileName(p, s); }
std::string Ext(const std::string& p, PathStyle s) { return PathExtension(p, s); }
std::string DirNoSlash(const std::string& p, PathStyle s) { return PathDirectoryNoSlash(p, s); }
std::string Drive(const std::string& p, PathStyle s) { return PathDrive(p, s); }
std::string WithSlash(const std::string& p, PathStyle s) { return WithTrailingBackslash(p, s); }
std::string WithoutSlash(const std::string& p, PathStyle s) {
  return WithoutTrailingBackslash(p, s);
}

TEST(PathSplit, BothStylesTable) {
  const std::vector<SplitCase> cases = {
      // Windows: backslash and colon delimit; the slash is an ordinary byte here.
      {"Directory", Dir, W, "C:\\a\\b.htm", "C:\\a\\"},
      {"Directory", Dir, W, "C:b.htm", "C:"},
      {"Directory", Dir, W, "b.htm", ""},
      {"Directory", Dir, W, "C:", "C:"},
      {"Directory", Dir, W, "\\\\srv\\share\\x.htm", "\\\\srv\\share\\"},
      {"Directory", Dir, W, "a/b.htm", ""},
      {"FileName", File, W, "C:\\a\\b.htm", "b.htm"},
      {"FileName", File, W, "C:", ""},
      {"FileName", File, W, "C:\\a\\", ""},
      {"FileName", File, W, "b.htm", "b.htm"},
      {"Extension", Ext, W, "C:\\dir.x\\file", ""},
      {"Extension", Ext, W, "a.b.htm", ".htm"},
      {"Extension", Ext, W, "C:.htm", ".htm"},
      {"Extension", Ext, W, "C:x.y:z", ""},
      {"Extension", Ext, W, "name.", "."},
      {"Extension", Ext, W, "", ""},
      {"NoSlash", DirNoSlash, W, "C:\\a\\b.htm", "C:\\a"},
      {"NoSlash", DirNoSlash, W, "C:\\b.htm", "C:\\"},
      {"NoSlash", DirNoSlash, W, "\\novel.lrf", "\\"},
      {"NoSlash", DirNoSlash, W, "\\\\srv\\share\\x", "\\\\srv\\share"},
      {"NoSlash", DirNoSlash, W, "a\\\\b", "a\\\\"},
      {"NoSlash", DirNoSlash, W, "C:b", "C:"},
      {"NoSlash", DirNoSlash, W, "b", ""},
      {"Drive", Drive, W, "C:\\a", "C:"},
      {"Drive", Drive, W, "C:", "C:"},
      {"Drive", Drive, W, "d:rel", "d:"},
      {"Drive", Drive, W, "\\\\srv\\share\\x", "\\\\srv\\share"},
      {"Drive", Drive, W, "\\\\srv\\share", "\\\\srv\\share"},
      {"Drive", Drive, W, "\\a", ""},
      {"Drive", Drive, W, "a\\b", ""},
      {"Drive", Drive, W, "", ""},
      {"WithTrailing", WithSlash, W, "", "\\"},
      {"WithTrailing", WithSlash, W, "C:", "C:\\"},
      {"WithTrailing", WithSlash, W, "C:\\", "C:\\"},
      {"WithTrailing", WithSlash, W, "a/", "a/\\"},
      {"WithoutTrailing", WithoutSlash, W, "C:\\a\\", "C:\\a"},
      {"WithoutTrailing", WithoutSlash, W, "C:\\a", "C:\\a"},
      {"WithoutTrailing", WithoutSlash, W, "\\", ""},
      {"WithoutTrailing", WithoutSlash, W, "", ""},
      // POSIX: only the slash delimits; backslash and colon belong to names.
      {"Directory", Dir, P, "/home/a/b.htm", "/home/a/"},
      {"Directory", Dir, P, "C:b.htm", ""},
      {"Directory", Dir, P, "a\\b.htm", ""},
      {"Directory", Dir, P, "/x", "/"},
      {"FileName", File, P, "/home/a/b.htm", "b.htm"},
      {"FileName", File, P, "C:x", "C:x"},
      {"FileName", File, P, "dir/", ""},
      {"Extension", Ext, P, "/a.b/c", ""},
      {"Extension", Ext, P, "/a/b.c.htm", ".htm"},
      {"Extension", Ext, P, "a\\b.c", ".c"},
      {"NoSlash", DirNoSlash, P, "/a/b.htm", "/a"},
      {"NoSlash", DirNoSlash, P, "/b.htm", "/"},
      {"NoSlash", DirNoSlash, P, "b", ""},
      {"Drive", Drive, P, "C:/x", ""},
      {"Drive", Drive, P, "//srv/share/x", ""},
      {"WithTrailing", WithSlash, P, "", "/"},
      {"WithTrailing", WithSlash, P, "/a", "/a/"},
      {"WithTrailing", WithSlash, P, "/a/", "/a/"},
      {"WithTrailing", WithSlash, P, "a\\", "a\\/"},
      {"WithoutTrailing", WithoutSlash, P, "/a/", "/a"},
      {"WithoutTrailing", WithoutSlash, P, "a\\", "a\\"},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(c.function(c.path, c.style), c.expected)
        << c.name << " of '" << c.path << "' in the "
        << (c.style == W ? "Windows" : "POSIX") << " style";
  }
}

TEST(PathSplit, ReplaceExtension) {
  struct Case {
    PathStyle style;
    std::string path, ext, expected;
  };
  const std::vector<Case> cases = {
      {W, "C:\\dir.x\\file", ".lrf", "C:\\dir.x\\file.lrf"},
      {W, "a.b.htm", ".lrf", "a.b.lrf"},
      {W, "C:\\a\\b.htm", "", "C:\\a\\b"},
      {W, "C:\\Tools\\tool.exe", ".ini", "C:\\Tools\\tool.ini"},
      {W, "C:", ".ini", "C:.ini"},
      {P, "/opt/qv.d/qprepare", ".ini", "/opt/qv.d/qprepare.ini"},
      {P, "/opt/qprepare.bin", ".ini", "/opt/qprepare.ini"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceExtension(c.path, c.ext, c.style), c.expected) << c.path;
  }
}

// A code page in which the bytes 0x81..0x9F start a double-byte character;
// its second byte may be a backslash (0x5C).
bool TestLeadBytes(unsigned char c) { return c >= 0x81 && c <= 0x9F; }

class DoubleBytePaths : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = SetLeadByteTest(TestLeadBytes); }
  void TearDown() override { SetLeadByteTest(previous_); }
  LeadByteTest previous_ = nullptr;
};

TEST_F(DoubleBytePaths, TrailBackslashIsNoDelimiter) {
  const std::string so = "\x83\x5C";  // second byte is a backslash
  const std::string path = "C:\\" + so + "\\" + so + ".htm";
  EXPECT_EQ(PathDirectory(path, W), "C:\\" + so + "\\");
  EXPECT_EQ(PathFileName(path, W), so + ".htm");
  EXPECT_EQ(PathDirectory("C:\\a" + so, W), "C:\\");
  EXPECT_EQ(PathFileName("C:\\a" + so, W), "a" + so);
  EXPECT_EQ(PathDirectoryNoSlash(path, W), "C:\\" + so);
  EXPECT_EQ(WithTrailingBackslash("C:\\a" + so, W), "C:\\a" + so + "\\");
  EXPECT_EQ(WithoutTrailingBackslash("C:\\a" + so, W), "C:\\a" + so);
  EXPECT_FALSE(IsPathDelimiterAt("a" + so, 2, W));
  EXPECT_EQ(FullPathFrom(so + "\\..\\" + so, "C:\\w", W), "C:\\w\\" + so);
  EXPECT_EQ(PathDrive("\\\\s" + so + "\\share\\x", W), "\\\\s" + so + "\\share");
  // The POSIX style knows no double-byte characters.
  EXPECT_EQ(PathFileName("a/\x83/b", P), "b");
}

TEST_F(DoubleBytePaths, QuoteTextSkipsDoubleByteCharacters) {
  EXPECT_EQ(QuoteText("a\x83\\b\\", '\\'), "\\a\x83\\b\\\\\\");
}

struct FullCase {
  std::string path;
  std::string cwd;
  std::string expected;
};

TEST(FullPathFrom, WindowsForms) {
  const std::string cwd = "C:\\work\\books";
  const std::vector<FullCase> cases = {
      // drive-qualified
      {"C:\\a\\..\\b", cwd, "C:\\b"},
      {"D:\\x\\y", cwd, "D:\\x\\y"},
      {"C:\\", cwd, "C:\\"},
      {"C:\\..\\..", cwd, "C:\\"},
      // relative to the current directory
      {"novel.htm", cwd, "C:\\work\\books\\novel.htm"},
      {"..\\x", cwd, "C:\\work\\x"},
      {"..\\..\\..\\..\\x", cwd, "C:\\x"},
      {".", cwd, "C:\\work\\books"},
      {"sub\\*.htm", cwd, "C:\\work\\books\\sub\\*.htm"},
      {"x", "C:\\", "C:\\x"},
      {"..", "C:\\", "C:\\"},
      // root-relative: the current drive
      {"\\x\\y", cwd, "C:\\x\\y"},
      {"\\", cwd, "C:\\"},
      // drive-relative: the current directory on that drive, else its root
      {"C:x", cwd, "C:\\work\\books\\x"},
      {"c:x", cwd, "C:\\work\\books\\x"},
      {"C:", cwd, "C:\\work\\books"},
      {"C:..", cwd, "C:\\work"},
      {"D:x", cwd, "D:\\x"},
      {"D:", cwd, "D:\\"},
      // UNC: never above the share
      {"\\\\srv\\share\\..\\x", cwd, "\\\\srv\\share\\x"},
      {"\\\\srv\\share\\a\\..\\..\\..", cwd, "\\\\srv\\share\\"},
      {"\\\\srv\\share", cwd, "\\\\srv\\share"},
      {"\\\\srv\\share\\", cwd, "\\\\srv\\share\\"},
      {"//srv/share/a/./b", cwd, "\\\\srv\\share\\a\\b"},
      {"x", "\\\\srv\\share\\dir", "\\\\srv\\share\\dir\\x"},
      {"\\x", "\\\\srv\\share\\dir", "\\\\srv\\share\\x"},
      {"..\\..\\..\\x", "\\\\srv\\share\\dir", "\\\\srv\\share\\x"},
      // separators, dots and the final separator
      {"C:/a/b/", cwd, "C:\\a\\b\\"},
      {"C:\\a\\.\\", cwd, "C:\\a\\"},
      {"C:\\a\\b\\..\\", cwd, "C:\\a\\"},
      {"C:\\a\\b\\.", cwd, "C:\\a\\b"},
      {"C:\\a\\b\\..", cwd, "C:\\a"},
      {"C:\\a\\\\\\b", cwd, "C:\\a\\b"},
      {"C:\\a\\b. .", cwd, "C:\\a\\b"},
      {"C:\\a\\b \\", cwd, "C:\\a\\b \\"},
      {"", cwd, ""},
      {"\\\\?\\C:\\a\\..\\b", cwd, "\\\\?\\C:\\a\\..\\b"},
  };
  for (const FullCase& c : cases) {
    EXPECT_EQ(FullPathFrom(c.path, c.cwd, W), c.expected)
        << "'" << c.path << "' from '" << c.cwd << "'";
  }
}

TEST(FullPathFrom, PosixForms) {
  const std::string cwd = "/home/me";
  const std::vector<FullCase> cases = {
      {"a.htm", cwd, "/home/me/a.htm"},
      {"/x/../y", cwd, "/y"},
      {"../../..", cwd, "/"},
      {"a//b/", cwd, "/home/me/a/b/"},
      {"./a/.", cwd, "/home/me/a"},
      {"a/b/../", cwd, "/home/me/a/"},
      {"sub\\x.htm", cwd, "/home/me/sub\\x.htm"},
      {"C:x", cwd, "/home/me/C:x"},
      {"//x///y", cwd, "/x/y"},
      {"x", "/", "/x"},
      {"/", cwd, "/"},
      {"name. ", cwd, "/home/me/name. "},
      {"", cwd, ""},
  };
  for (const FullCase& c : cases) {
    EXPECT_EQ(FullPathFrom(c.path, c.cwd, P), c.expected)
        << "'" << c.path << "' from '" << c.cwd << "'";
  }
}

TEST(FullPath, ResolvesAgainstTheCurrentDirectory) {
  const std::string cwd = platform::CurrentDirectory();
  ASSERT_FALSE(cwd.empty());
  EXPECT_EQ(FullPath("qv-none.htm"), WithTrailingBackslash(cwd) + "qv-none.htm");
  EXPECT_EQ(FullPath(std::string("a") + PathSeparator() + ".." + PathSeparator() + "b"),
            WithTrailingBackslash(cwd) + "b");
  EXPECT_EQ(FullPath("."), cwd);
}

}  // namespace
}  // namespace quorvane
