// Temporary copies: where they go, that they are removed with their
// directories, and the messages when they cannot be made.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Helpers.h"
#include "common/ModuleScope.h"
#include "common/ScratchDir.h"
#include "meta/TempCopy.h"
#include "util/Path.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using qvtest::kSep;
using qvtest::Raised;
using qvtest::ReadFile;

TEST(TempCopy, WriteAndDelete) {
  const qvtest::ModuleScope scope;
  const std::string document = "<p>\r\nbytes\0kept\xff</p>"s;
  const std::string copy = WriteTempCopy("sub" + kSep + "novel.htm", document);
  const std::string second = WriteTempCopy("novel.htm", "other");
  ASSERT_EQ(TempCopyList.Count(), 2);
  const std::string dir = TempCopyList.Get(0);
  EXPECT_EQ(copy, dir + kSep + "novel.htm");
  EXPECT_EQ(PathDirectory(dir), TempDirectory());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_EQ(ReadFile(copy) + "|" + ReadFile(second), document + "|other");
  DeleteTempCopies();
  EXPECT_EQ(TempCopyList.Count(), 0);
  EXPECT_FALSE(fs::exists(dir) || fs::exists(PathDirectory(second)));
}

TEST(TempCopy, DeleteTreeNeverFollowsALink) {
  const qvtest::ScratchDir dir;
  for (const char* f : {"tree/a", "tree/.h", "tree/s/d/c.txt", "keep", "outside/f"}) dir.File(f, "x");
  fs::create_directories(dir / "tree/empty");
#ifndef _WIN32
  fs::create_directory_symlink(dir / "outside", dir / "tree/dirlink");
  fs::create_symlink(dir / "outside/f", dir / "tree/filelink");
  fs::create_symlink(dir / "missing", dir / "tree/dangling");
  fs::create_directory_symlink(dir / "outside", dir / "toplink");
  DeleteTree(dir / "toplink");  // the link goes, its target stays
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "toplink")));
#endif
  DeleteTree(dir / "tree");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "tree")));
  DeleteTree(dir / "tree");  // no longer there: nothing happens
  DeleteTree("");
  DeleteTree(dir / "keep");  // a file is not a tree
  EXPECT_EQ(ReadFile(dir / "keep") + ReadFile(dir / "outside/f"), "xx");
}

TEST(TempCopy, FailuresNameTheFileAndTheSystemsReason) {
  const qvtest::ModuleScope scope;
  const qvtest::ScratchDir dir;
  const std::string missing = dir / "missing";
#ifdef _WIN32
  const qvtest::ScopedEnv tmp("TMP", missing), temp("TEMP", missing);
  const std::string made = "*.tmp: ";
#else
  const qvtest::ScopedEnv tmp("TMPDIR", missing);
  const std::string made = ".tmp: No such file or directory";
#endif
  const std::string error = Raised([] { WriteTempCopy("page.htm", "x"); });
  EXPECT_TRUE(error.starts_with("Exception: Cannot create directory " + missing + kSep + "kel") &&
              error.find(made) != std::string::npos && !error.ends_with(": "))
      << error;
  EXPECT_EQ(TempCopyList.Count(), 0);
#ifndef _WIN32
  const qvtest::ScopedEnv existing("TMPDIR", dir.path());
  const std::string longName(300, 'n');
  const std::string tooLong = Raised([&] { WriteTempCopy(longName, "x"); });
  ASSERT_EQ(TempCopyList.Count(), 1);
  EXPECT_EQ(tooLong, "EFCreateError: Cannot create file " + TempCopyList.Get(0) + "/" + longName +
                         ": File name too long");
  // A file size limit makes the write itself fail.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 4;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string tooLarge = Raised([] { WriteTempCopy("page.htm", "more than four bytes"); });
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_EQ(TempCopyList.Count(), 2);
  EXPECT_EQ(tooLarge, "EWriteError: Stream write error " + TempCopyList.Get(1) +
                       "/page.htm: File too large");
#endif
}

}  // namespace
}  // namespace quorvane
