// The walk over a wildcard's files, converter runs, failures, the error log and
// pages whose tag scan is costly.
#include <algorithm>
#include <chrono>
#include <regex>
#include <thread>

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
  // A converter path with blanks is quoted on the command line.
  const fs::path program = bin_ / "my tools" / ("fake conv" + kExe);
  fs::create_directories(program.parent_path());
  fs::copy_file(conv_, program);
  Ini("[lrf]\nConverter=" + S(program) + "\n");
  Page("a.htm", "");
  Page("b.htm", ExitPage("3"));
  Page("c.htm", "");
  RunResult r = Run({"*.htm", "*.htm"});
  EXPECT_EQ(r.exitCode, 1);
  const std::vector<Call> calls = Calls();
  // The failed file was the last one tried; the second wildcard never ran.
  ASSERT_FALSE(calls.empty());
  ASSERT_EQ(calls.back().args[0], "--exit=3");
  EXPECT_LE(calls.size(), 3u);
  // Each run prints its EXEC line and nothing else, until the error block and
  // the final report, which adds a full stop to the message.
  std::string expected;
  const std::string quoted = "\"" + S(program) + "\"";
  for (const Call& call : calls) expected += "EXEC: " + Shown(quoted, call) + kNl;
  const std::string message = "fake conv" + kExe + " returned errorlevel 3." + kNl +
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

TEST_F(Batch, WithErrorLogEveryFileIsTriedAndEveryFailureLogged) {
  DefaultIni("[html]\nConverter=" + S(conv_) + "\nExtension=.htm\n");
  // Exit codes are signed; 259 ("still running" on Windows) is an ordinary
  // code. POSIX keeps the low eight bits and names the signal that ended a
  // converter (SIGKILL: no sanitizer of the fake converter turns it into an exit).
  const bool windows = !kExe.empty();
  struct Exit { std::string option, value, shown; };
  std::vector<Exit> exits = {{"exit", "3", "3"}, {"exit", "259", windows ? "259" : "3"},
                             {"exit", "-2", windows ? "-2" : "254"}, {"exit", "137", "137"}};
  if (!windows) exits.push_back({"raise", "9", "137 (killed by signal 9, SIGKILL)"});
  for (const Exit& e : exits)
    Page(e.option + e.value + ".htm",
         "<meta name=\"lrf:--" + e.option + "\" content=\"" + e.value + "\">");
  Page("ok.htm", "");
  Page("self.htm", "<meta name=\"html:--touch-output\" content=\"%e\">");
  Page("cyc1.htm", "<meta name=\"@include\" content=\"cyc2.htm\">");
  Page("cyc2.htm", "<meta name=\"*:@include\" content=\"cyc1.htm\">");
  Page("none.htm", "<meta name=\"LRF:@include\" content=\"nothing.htm\">");
  Page("empty.htm", "<meta name=\"lrf:@include\" content=\"\">");
  WriteFile(work_ / "log.txt", "stale");
  // The second wildcard would write the output over its own input.
  RunResult r = Run({"-e", "log.txt", "*.htm", "-t", "html", "self.htm"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), exits.size() + 2);
  EXPECT_EQ(Count(r.out, "EXEC: " + S(conv_) + " "), calls.size());

  const fs::path cyc1 = work_ / "cyc1.htm", cyc2 = work_ / "cyc2.htm";
  std::vector<std::string> blocks = {
      Block("EkelvoError", cyc1, "Include cycle: " + S(cyc1) + " -> " + S(cyc2) + " -> " + S(cyc1)),
      Block("EkelvoError", cyc2, "Include cycle: " + S(cyc2) + " -> " + S(cyc1) + " -> " + S(cyc2)),
      Block("EFOpenError", work_ / "none.htm", "Cannot open file " + S(work_ / "nothing.htm")),
      Block("EFOpenError", work_ / "empty.htm", "Cannot open file "),
      Block("EkelvoError", work_ / "self.htm",
            "Output file " + S(work_ / "self.htm") + " is the input file itself; not converted"),
  };
  for (const Exit& e : exits) {
    const std::string arg = "--" + e.option + "=" + e.value;
    auto call = std::find_if(calls.begin(), calls.end(), [&](const Call& c) { return c.args[0] == arg; });
    ASSERT_NE(call, calls.end()) << arg;
    blocks.push_back(Block("EkelvoError", work_ / (e.option + e.value + ".htm"),
                           "fakeconv" + kExe + " returned errorlevel " + e.shown + "." + kNl +
                               "Command Line: " + Shown(S(conv_), *call)));
  }
  // The log holds exactly the blocks the console shows, in any order.
  const std::string log = ReadFile(work_ / "log.txt");
  std::size_t size = 0;
  for (const std::string& block : blocks) {
    EXPECT_TRUE(Has(log, block)) << block << "\nin\n" << log;
    EXPECT_TRUE(Has(r.out, block)) << block;
    size += block.size();
  }
  EXPECT_EQ(log.size(), size) << log;
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

TEST_F(Batch, InterruptWaitsForTheConverterAndCleansUp) {
  DefaultIni();
  for (auto page : {"a.htm", "b.htm"}) Page(page, "<meta name=\"*:--sleep\" content=\"1500\">");
  quorvane::platform::ChildProcess child;
  ASSERT_TRUE(Start(child, {"-e", "log.txt", "*.htm"}));
  // The converter records itself before it sleeps.
  for (int i = 0; i < 400 && !Has(ReadFile(record_), "END"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  // Windows sends Ctrl-Break to the process group, which needs a console.
  if (!child.Interrupt()) {
    child.Wait();
    GTEST_SKIP() << "no console to send the control event through";
  }
  EXPECT_EQ(child.Wait(), 130);
  const std::string out = ReadFile(stdout_);
  EXPECT_TRUE(out.ends_with(kNl + "Interrupted: conversion stopped." + kNl)) << out;
  // The running converter finished its file, the next one did not start, and
  // the interrupt is no conversion error.
  EXPECT_EQ(Calls().size(), 1u);
  EXPECT_FALSE(fs::exists(work_ / "log.txt"));
  // The interrupted file counts neither way; the summary says why the run ended.
  EXPECT_EQ(ReadFile(stderr_), "0 converted, 0 failed, interrupted" + kNl);
}

// A page whose tag scan once never ended: a meta tag left open, repeated
// (no ">" after it), costs time in the fourth power of its length with a
// plain backtracking scan. The scan ends now, the page converts with its
// real tags and all of its bytes, and the batch goes on with the next page.
TEST_F(Batch, APageOfTagsLeftOpenConvertsAndTheNextPageToo) {
  DefaultIni();
  std::string broken = "<meta name=\"lrf:--title\" content=\"Broken\">";
  while (broken.size() < 256 * 1024) broken += "<meta name=\"a\" content=\"b ";
  Page("a.htm", broken);
  Page("b.htm", "<meta name=\"lrf:--title\" content=\"Next\">");
  RunResult r = Run({"-e", "log.txt", "*.htm"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_FALSE(fs::exists(work_ / "log.txt")) << ReadFile(work_ / "log.txt");
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  if (calls[0].args.at(0) != "--title=Broken") std::swap(calls[0], calls[1]);  // the system's order
  EXPECT_EQ(calls[0].args.at(0), "--title=Broken");
  EXPECT_TRUE(calls[0].files.at(calls[0].Input()) == broken);  // not printed: 256 KiB
  EXPECT_EQ(calls[1].args.at(0), "--title=Next");
}

}  // namespace
}  // namespace e2e
