// Directory creation and the file and directory tests, on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "util/Errors.h"
#include "util/Path.h"
#include "util/TestTempDir.h"

namespace quorvane {
namespace {

using test::TestTempDir;

const std::string kSep(1, PathSeparator());

TEST(MakeDirectories, CreatesEveryMissingParent) {
  TestTempDir tmp;
  const std::string deepest = tmp / ("out" + kSep + "a" + kSep + "b");
  ASSERT_FALSE(IsExistingDirectory(tmp / "out"));
  EXPECT_TRUE(MakeDirectories(deepest));
  EXPECT_TRUE(IsExistingDirectory(tmp / "out"));
  EXPECT_TRUE(IsExistingDirectory(tmp / ("out" + kSep + "a")));
  EXPECT_TRUE(IsExistingDirectory(deepest));
  // Asking again for an existing directory, with or without separators.
  EXPECT_TRUE(MakeDirectories(deepest + kSep));
  EXPECT_TRUE(MakeDirectories(tmp.Path()));
}

TEST(MakeDirectories, RelativeNamesBelowTheCurrentDirectory) {
  TestTempDir tmp;
  tmp.MakeCurrent();
  // Short names are created too; an empty parent is the current directory.
  const std::vector<std::string> names = {"o", "out" + kSep + "books", "x" + kSep + "y" + kSep,
                                          "dd" + kSep + kSep};
  for (const std::string& name : names) {
    EXPECT_TRUE(MakeDirectories(name)) << name;
    EXPECT_TRUE(IsExistingDirectory(tmp / WithoutTrailingBackslash(
                                              WithoutTrailingBackslash(name))))
        << name;
  }
  EXPECT_TRUE(IsExistingDirectory(tmp / "out"));
  EXPECT_TRUE(IsExistingDirectory(tmp / "x"));
}

TEST(MakeDirectories, FileInTheWayFails) {
  TestTempDir tmp;
  tmp.WriteFile("plain", "x");
  EXPECT_FALSE(MakeDirectories(tmp / ("plain" + kSep + "sub")));
  EXPECT_FALSE(IsExistingDirectory(tmp / ("plain" + kSep + "sub")));
  EXPECT_FALSE(MakeDirectories(tmp / "plain"));
}

TEST(MakeDirectories, EmptyNameRaises) {
  try {
    MakeDirectories("");
    FAIL() << "no error raised";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot create directory");
    EXPECT_STREQ(e.KindName(), "Exception");
  }
}

TEST(MakeDirectories, RootsAreDoneWithoutCreating) {
  // Drives, shares and the root end the recursion as they are; on a POSIX
  // host nothing named after them appears in the current directory.
  TestTempDir tmp;
  tmp.MakeCurrent();
  for (const char* root : {"C:\\", "C:", "Z:\\", "\\", "\\\\srv\\share\\", "\\\\srv\\share"}) {
    EXPECT_TRUE(MakeDirectories(root, PathStyle::Windows)) << root;
  }
  EXPECT_TRUE(MakeDirectories("/", PathStyle::Posix));
  EXPECT_TRUE(MakeDirectories("//", PathStyle::Posix));
  EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
}

TEST(FileTests, FilesAndDirectoriesAreTold) {
  TestTempDir tmp;
  tmp.WriteFile("page.htm", "<html>");
  MakeDirectories(tmp / "dir.htm");
  EXPECT_TRUE(IsExistingFile(tmp / "page.htm"));
  EXPECT_FALSE(IsExistingDirectory(tmp / "page.htm"));
  EXPECT_FALSE(IsExistingFile(tmp / "dir.htm"));
  EXPECT_TRUE(IsExistingDirectory(tmp / "dir.htm"));
  EXPECT_FALSE(IsExistingFile(tmp / "missing.htm"));
  EXPECT_FALSE(IsExistingDirectory(tmp / "missing"));
  EXPECT_FALSE(IsExistingFile(""));
  EXPECT_FALSE(IsExistingDirectory(""));
}

TEST(FileTests, NameMatchingFollowsTheHost) {
  TestTempDir tmp;
  tmp.WriteFile("Book.htm", "x");
#ifdef _WIN32
  // The directory search decides: letters without regard to case, and a
  // wildcard finds its first match.
  EXPECT_TRUE(IsExistingFile(tmp / "book.HTM"));
  EXPECT_TRUE(IsExistingFile(tmp / "*.htm"));
  EXPECT_TRUE(IsExistingFile(tmp / "B??k.htm"));
#else
  // The exact name only.
  EXPECT_TRUE(IsExistingFile(tmp / "Book.htm"));
  EXPECT_FALSE(IsExistingFile(tmp / "book.htm"));
  EXPECT_FALSE(IsExistingFile(tmp / "*.htm"));
#endif
}

}  // namespace
}  // namespace quorvane
