// The walk over a wildcard's files, converter runs, failures and the error log.
#include <algorithm>
#include <regex>

#include "Harness.h"
#include "driver/Driver.h"

namespace e2e {
namespace {

class Batch : public E2eTest {};

TEST_F(Batch, FilesComeBeforeSubdirectoriesDepthFirst) {
  DefaultIni();
  std::vector<fs::path> expected;
  for (const char* page : {"a.htm", "sub/b.htm", "sub/deeper/c.htm", "x.htm/y.htm", "other/d.htm",
                           ".hidden.htm"}) {
    Page(page, "<meta name=\"lrf:--f\" content=\"%f\">");
    expected.push_back((work_ / page).make_preferred());
  }
  Page("a.txt", "");
#ifndef _WIN32
  // A hidden file is converted; a hidden directory and links are not entered.
  Page(".hid/x.htm", "");
  fs::create_directory_symlink(work_ / "sub", work_ / "link");
  fs::create_directory_symlink(work_, work_ / "sub" / "loop");
#endif
  RunResult r = Run({"-r", "*.htm"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<std::string> files;
  for (const Call& call : Calls()) files.push_back(call.args.at(0).substr(4));
  ASSERT_EQ(files.size(), expected.size());
  auto at = [&](const fs::path& p) { return std::find(files.begin(), files.end(), S(p)) - files.begin(); };
  for (const fs::path& p : expected) EXPECT_LT(at(p), std::ssize(files)) << p;
  // The listing order is the system's; the two top-level files come first, and
  // each sub-tree is done completely before the next one starts.
  EXPECT_LT(at(work_ / "a.htm"), 2);
  EXPECT_EQ(at(work_ / "sub" / "deeper" / "c.htm"), at(work_ / "sub" / "b.htm") + 1);
}

TEST_F(Batch, WithoutErrorLogTheFirstFailureEndsTheRun) {
  // A converter path with blanks is quoted on the command line. A converter
  // ended by a signal (POSIX) is told by the signal's name.
  const bool windows = !kExe.empty();
  const fs::path program = bin_ / "my tools" / ("fake conv" + kExe);
  fs::create_directories(program.parent_path());
  fs::copy_file(conv_, program);
  Ini("[lrf]\nConverter=" + S(program) + "\n");
  Page("a.htm", "");
  Page("b.htm", windows ? ExitPage("3") : Meta("--raise", "9"));
  Page("c.htm", "");
  RunResult r = Run({"*.htm", "*.htm"});
  EXPECT_EQ(r.exitCode, 1);
  const std::vector<Call> calls = Calls();
  // The failed file was the last one tried; the second wildcard never ran.
  ASSERT_FALSE(calls.empty());
  ASSERT_EQ(calls.back().args[0], windows ? "--exit=3" : "--raise=9");
  EXPECT_LE(calls.size(), 3u);
  // Each run prints its EXEC line and nothing else, until the error block and
  // the final report, which adds a full stop to the message.
  std::string expected;
  const std::string quoted = "\"" + S(program) + "\"";
  for (const Call& call : calls) expected += "EXEC: " + Shown(quoted, call) + kNl;
  const std::string message = "fake conv" + kExe + " returned errorlevel " +
                              (windows ? "3" : "137 (killed by signal 9, SIGKILL)") + "." + kNl +
                              "Command Line: " + Shown(quoted, calls.back());
  expected += Block("EkelvoError", work_ / "b.htm", message);
  ASSERT_TRUE(r.out.starts_with(expected)) << r.out;
  std::smatch m;
  const std::string tail = r.out.substr(expected.size());
  ASSERT_TRUE(std::regex_match(tail, m, std::regex("Exception EkelvoError in module qprepare" +
                                                   std::string(kExe.empty() ? "" : "\\.exe") +
                                                   " at [0-9A-F]{8}\\.([\\s\\S]*)")))
      << tail;
  EXPECT_EQ(m[1].str(), kNl + message + "." + kNl);
}

TEST_F(Batch, FailedStartsNameTheSystemReason) {
  // No INI: no converter, so nothing starts, not even the first parameter,
  // which names a program here.
  Page("a.htm", "<meta name=\"lrf:" + S(conv_) + "\" content=\"%e\">");
  const std::string missing = S(bin_ / "missing");
  for (const std::string& program : {std::string(), missing}) {
    SCOPED_TRACE(program);
    const bool withLog = !program.empty();
    if (withLog) Ini("[lrf]\nConverter=" + missing + "\n");
    RunResult r = Run({"-e", withLog ? "log.txt" : "", "a.htm"});  // -e "": no log
    EXPECT_EQ(r.exitCode, withLog ? 0 : 1);
    const std::string line = program + " " + S(conv_) + "  --output=\"" + S(work_ / "a.lrf");
    EXPECT_TRUE(r.out.starts_with("EXEC: " + line)) << r.out;
    std::string block = Block("EkelvoError", work_ / "a.htm", "Could not create process: (2) " +
                              quorvane::SystemErrorText(2) + "." + kNl + "Command Line: " + line);
    block.resize(block.size() - 2 * kNl.size());  // the line goes on with the copy's name
    EXPECT_TRUE(Has(r.out, block)) << r.out;
    EXPECT_EQ(withLog, ReadFile(work_ / "log.txt").starts_with(block));
  }
  EXPECT_TRUE(Calls().empty());
}

}  // namespace
}  // namespace e2e
