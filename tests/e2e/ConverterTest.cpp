// Starting the converter: exit codes, failed starts, paths with blanks,
// interruption.
#include <chrono>
#include <thread>

#include "Harness.h"
#include "driver/Driver.h"

namespace e2e {
namespace {

class Converter : public E2eTest {};

std::string ExitPage(const std::string& code) {
  return "<meta name=\"lrf:--exit\" content=\"" + code + "\">";
}

TEST_F(Converter, NonZeroExitCodesAreReportedAsSignedNumbers) {
  DefaultIni();
  struct Case {
    const char* code;
    const char* shown;
  } cases[] = {
      {"3", "3"},
#ifdef _WIN32
      // 259 is the value Windows uses for "still running": it must not be
      // mistaken for a converter that never ends.
      {"259", "259"},
      {"-2", "-2"},
#else
      // POSIX keeps the low eight bits of an exit status.
      {"259", "3"},
      {"-2", "254"},
#endif
  };
  for (const auto& c : cases) {
    Page("a.htm", ExitPage(c.code));
    RunResult r = Run({"a.htm"});
    EXPECT_EQ(r.exitCode, 1) << c.code;
    EXPECT_NE(r.out.find(kNl + "fakeconv" + kExe + " returned errorlevel " + c.shown + "." + kNl +
                         "Command Line: " + S(conv_) + " --exit=" + c.code + "  --output=\""),
              std::string::npos)
        << r.out;
  }
}

TEST_F(Converter, SuccessfulRunPrintsOnlyTheExecLine) {
  DefaultIni();
  Page("a.htm", "");
  RunResult r = Run({"a.htm"});
  EXPECT_EQ(r.exitCode, 0);
  ASSERT_EQ(Calls().size(), 1u);
  const Call call = Calls()[0];
  EXPECT_EQ(r.out, "EXEC: " + S(conv_) + "  --output=\"" + S(work_ / "a.lrf") + "\" \"" +
                       call.Input() + "\"" + kNl);
}

TEST_F(Converter, FailedStartsNameTheSystemReason) {
  const std::string notFound = "Could not create process: (2) " + quorvane::SystemErrorText(2) +
                               "." + kNl + "Command Line: ";
  Page("a.htm", "<meta name=\"lrf:--x\" content=\"1\">");
  struct Case {
    std::string ini;      // empty: no INI file at all
    std::string program;  // as the command line shows it
  } cases[] = {
      {"", ""},  // no converter: nothing is started
      {"[lrf]\nConverter=" + S(bin_ / "missing") + "\n", S(bin_ / "missing")},
  };
  for (const auto& c : cases) {
    fs::remove(bin_ / "qprepare.ini");
    if (!c.ini.empty()) Ini(c.ini);
    RunResult r = Run({"a.htm"});
    EXPECT_EQ(r.exitCode, 1) << c.program;
    const std::string params = "--x=1  --output=\"" + S(work_ / "a.lrf") + "\" \"";
    EXPECT_EQ(r.out.rfind("EXEC: " + c.program + " " + params, 0), 0u) << r.out;
    EXPECT_NE(r.out.find(kNl + "ERROR EkelvoError WHILE CONVERTING " + S(work_ / "a.htm") + ":" +
                         kNl + notFound + c.program + " " + params),
              std::string::npos)
        << r.out;
  }
  EXPECT_TRUE(Calls().empty());
}

TEST_F(Converter, ConverterPathWithBlanksIsQuoted) {
  const fs::path program = bin_ / "my tools" / ("fake conv" + kExe);
  fs::create_directories(program.parent_path());
  fs::copy_file(conv_, program);
  Ini("[lrf]\nConverter=\"" + S(program) + "\"\n");
  Page("a.htm", "");
  Page("b.htm", ExitPage("6"));
  RunResult r = Run({"-e", "log.txt", "*.htm"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Calls().size(), 2u) << r.out;
  const std::string quoted = "\"" + S(program) + "\"";
  EXPECT_NE(r.out.find("EXEC: " + quoted + "  --output="), std::string::npos) << r.out;
  // The message names the file alone, the command line what really ran.
  EXPECT_NE(ReadFile(work_ / "log.txt")
                .find(kNl + "fake conv" + kExe + " returned errorlevel 6." + kNl +
                      "Command Line: " + quoted + " --exit=6  --output="),
            std::string::npos);
}

TEST_F(Converter, InterruptWaitsForTheConverterAndCleansUp) {
  DefaultIni();
  const std::string slow = "<meta name=\"*:--sleep\" content=\"1500\">";
  Page("a.htm", slow);
  Page("b.htm", slow);
  quorvane::platform::ChildProcess child;
  ASSERT_TRUE(Start(child, {"-e", "log.txt", "*.htm"}));
  // Wait until the first converter runs (it records itself before sleeping).
  for (int i = 0; i < 400 && ReadFile(record_).find("END") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  // POSIX: SIGINT to qprepare alone. Windows: Ctrl-Break to its process
  // group, which needs a console; a test run without one cannot send it.
  if (!child.Interrupt()) {
    child.Wait();
    GTEST_SKIP() << "no console to send the control event through";
  }
  EXPECT_EQ(child.Wait(), 130);
  const std::string out = ReadFile(stdout_);
  EXPECT_EQ(Lines(out).back(), "Interrupted: conversion stopped.") << out;
  // The running converter finished its file; the next file was not started,
  // and the interrupt is no conversion error.
  EXPECT_EQ(Calls().size(), 1u);
  EXPECT_FALSE(fs::exists(work_ / "log.txt"));
}

}  // namespace
}  // namespace e2e
