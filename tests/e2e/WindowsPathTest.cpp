// Paths the Windows build must never turn into a wrong book: output folders
// written with forward slashes, pages and temporary folders at the system's
// length limits, command lines beyond its limit, double-byte folder names.
#include "Harness.h"

namespace e2e {
namespace {

class WindowsPaths : public E2eTest {};

TEST_F(WindowsPaths, OutputFoldersWrittenWithForwardSlashes) {
  DefaultIni();
  Page("a.htm", "");
  std::string absolute = S(work_ / "abs" / "p");
  std::replace(absolute.begin(), absolute.end(), '\\', '/');
  const std::pair<std::string, fs::path> rows[] = {
      {"out/x/y", work_ / "out" / "x" / "y"},
      {absolute, work_ / "abs" / "p"},
#ifdef _WIN32
      {"out\\m/n\\o/", work_ / "out" / "m" / "n" / "o"},
#endif
  };
  for (const auto& [dir, made] : rows) {
    SCOPED_TRACE(dir);
    RunResult r = RunAgain({"-o", dir, "a.htm"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(fs::is_directory(made));
    EXPECT_EQ(Calls().size(), 1u);
  }
}

#ifdef _WIN32
// The full path of a page has at most 259 characters; at 260 the system gives
// none, and the page fails rather than having its links read against the
// current directory.
TEST_F(WindowsPaths, PageAtTheFullPathLimit) {
  DefaultIni();
  const std::string page = "<img src=\"pic.png\">";
  fs::path pages[2];
  for (std::size_t length : {259u, 260u}) {
    const std::size_t dirLength = length - (S(work_) + "\\" + "\\p.htm").size();
    const fs::path dir = work_ / (std::to_string(length) + std::string(dirLength - 3, '_'));
    Page(S(dir.filename()) + "\\p.htm", page);
    pages[length - 259] = dir / "p.htm";
    ASSERT_EQ(S(pages[length - 259]).size(), length);
  }
  RunResult r = Run({"-e", "errors.log", "-r", "*.htm"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u) << r.out;
  EXPECT_EQ(calls[0].files.at(calls[0].Input()),
            "<img src=\"" + Url(pages[0].parent_path() / "pic.png") + "\">");
  EXPECT_TRUE(Has(r.out, "ERROR Exception WHILE CONVERTING " + S(pages[1]) + ":" + kNl +
                             "Cannot form the full path of " + S(pages[1]) + kNl))
      << r.out;
}

// GetTempFileNameA takes a folder of at most 246 characters.
TEST_F(WindowsPaths, TemporaryFolderTooLongForTheSystem) {
  DefaultIni();
  Page("a.htm", "");
  // 240 leaves room for kelXXXX.tmp\a.htm within the 259 characters a file
  // name may have.
  for (std::size_t length : {240u, 247u, 250u, 258u, 259u}) {
    SCOPED_TRACE(length);
    // The folder as the system gives it, with its final backslash.
    const std::string prefix = S(root_) + "\\t" + std::to_string(length);
    const fs::path folder = prefix + std::string(length - prefix.size() - 1, '_');
    WriteFile(folder / "kel", "not ours");
    env_ = {"TMP=" + S(folder), "TEMP=" + S(folder)};
    RunResult r = RunAgain({"a.htm"});
    if (length < 247) {
      EXPECT_EQ(r.exitCode, 0) << r.out;
      EXPECT_EQ(Calls().size(), 1u);
    } else {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_TRUE(Has(r.out, "Cannot create directory " + S(folder) +
                                 "\\: the temporary folder's path is too long" + kNl))
          << r.out;
      EXPECT_FALSE(fs::exists(record_));
    }
    // Nothing made there is left, and nothing else is deleted.
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<fs::path>{"kel"});
  }
}

// CreateProcessA takes at most 32,766 characters; a longer line fails before
// it is tried, also beyond 65,535, where some systems cut it instead.
TEST_F(WindowsPaths, CommandLinesBeyondTheSystemLimitFail) {
  DefaultIni("[long]\nConverter=" + S(conv_) + "\nCommandLine=%PARAMS%\n");
  // The command line: the converter, a blank, "--x=<value>" and a blank.
  const std::size_t fixed = S(conv_).size() + std::string(" --x= ").size();
  for (std::size_t length : {32766u, 32767u, 65536u + 10}) {
    SCOPED_TRACE(length);
    const std::string value(length - fixed, 'v');
    Page("a.htm", "<meta name=\"long:--x\" content=\"" + value + "\">");
    RunResult r = RunAgain({"-t", "long", "a.htm"});
    if (length <= 32766) {
      EXPECT_EQ(r.exitCode, 0);
      ASSERT_EQ(Calls().size(), 1u);
      EXPECT_EQ(Calls()[0].args, std::vector<std::string>{"--x=" + value});
    } else {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_TRUE(Has(r.out, "Could not create process: (CE) ")) << r.out.substr(0, 300);
      EXPECT_FALSE(fs::exists(record_));
    }
  }
}

// In code page 932 the second byte of a character can be 0x5C, the
// backslash: 表 is 95 5C. ctest runs this once more as e2e-cp932, with Wine
// set to that code page.
TEST_F(WindowsPaths, DoubleByteFolderNamesKeepTheirSecondByte) {
  if (!quorvane::platform::IsLeadByte(0x95)) {
    if (std::getenv("QV_EXPECT_CP932")) FAIL() << "the system code page is not 932";
    GTEST_SKIP() << "needs the system code page 932";
  }
  DefaultIni();
  const fs::path folder = work_ / fs::path(L"\u8868");
  WriteFile(folder / "p.htm", "<img src=\"pic.png\">");
  RunResult r = Run({"-r", "*.htm"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].files.at(calls[0].Input()),
            "<img src=\"" + Url(work_) + "/\x95\x5c/pic.png\">");
}
#endif

}  // namespace
}  // namespace e2e
