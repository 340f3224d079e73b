// Starting programs, their exit codes, argument quoting, console output,
// interruption and the text helpers.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include "Support.h"
#include "platform/CommandLineSplit.h"
#include "platform/Platform.h"

#ifndef _WIN32
#include <fcntl.h>
#endif

namespace {

namespace pf = quorvane::platform;
using qvtest::ScratchDir;

struct RunResult {
  bool started = false;
  std::int32_t exitCode = -12345;
  std::uint32_t errorCode = 0;
};

RunResult Start(const std::string& commandLine) {
  RunResult r;
  r.started = pf::RunProcess(commandLine, r.exitCode, r.errorCode);
  return r;
}

std::string Fake() { return qvtest::FakeconvPath(); }

struct ExitCase {
  int requested;
  std::int32_t reported;
};

class ExitCodes : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitCodes, AreReported) {
  RunResult r = Start(Fake() + " --exit=" + std::to_string(GetParam().requested));
  ASSERT_TRUE(r.started) << "error " << r.errorCode;
  EXPECT_EQ(r.exitCode, GetParam().reported);
}

#ifdef _WIN32
// 32-bit exit codes. 259 is the value the system reports for a running
// process: a program that ends with it must still be seen to have ended.
INSTANTIATE_TEST_SUITE_P(Codes, ExitCodes,
                         ::testing::Values(ExitCase{0, 0}, ExitCase{3, 3}, ExitCase{259, 259},
                                           ExitCase{-2, -2}, ExitCase{70000, 70000}));
#else
// POSIX keeps only the low 8 bits of an exit status: 259 arrives as 3 and
// -2 as 254.
INSTANTIATE_TEST_SUITE_P(Codes, ExitCodes,
                         ::testing::Values(ExitCase{0, 0}, ExitCase{3, 3}, ExitCase{255, 255},
                                           ExitCase{259, 3}, ExitCase{-2, 254}));

TEST(Process, KilledBySignalGives128PlusSignal) {
  RunResult r = Start(Fake() + " --raise=" + std::to_string(SIGTERM));
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 128 + SIGTERM);
}
#endif

TEST(Process, MissingProgramFailsWithCode2AndItsText) {
  ScratchDir dir;
  RunResult r = Start(dir / "nosuchconv.exe" + " a b");
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.errorCode, 2u);
  EXPECT_EQ(r.exitCode, -12345) << "exit code untouched";
  std::string text = pf::SystemMessage(r.errorCode);
  EXPECT_FALSE(text.empty());
#ifndef _WIN32
  EXPECT_EQ(text, std::strerror(ENOENT));
  EXPECT_EQ(pf::SystemMessage(999999), "") << "no text for an unknown code";
#endif
}

#ifndef _WIN32
TEST(Process, ProgramThatCannotRun) {
  ScratchDir dir;
  std::string plain = dir.File("plain", "not a program");
  EXPECT_EQ(Start(plain).errorCode, static_cast<std::uint32_t>(EACCES));
  EXPECT_EQ(Start(dir.path()).errorCode, static_cast<std::uint32_t>(EACCES));
  RunResult empty = Start("   ");
  EXPECT_FALSE(empty.started);
  EXPECT_EQ(empty.errorCode, static_cast<std::uint32_t>(ENOENT));
}

// Restores the current directory and PATH.
class ProgramLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    oldCwd = std::filesystem::current_path();
    const char* p = getenv("PATH");
    oldPath = p ? p : "";
    binDir = dir.Dir("bin");
    std::filesystem::copy_file(Fake(), binDir + "/qvfake");
    setenv("PATH", ("/nonexistent::" + binDir).c_str(), 1);
    std::filesystem::current_path(dir.Dir("work"));
  }
  void TearDown() override {
    std::filesystem::current_path(oldCwd);
    setenv("PATH", oldPath.c_str(), 1);
  }
  ScratchDir dir;
  std::filesystem::path oldCwd;
  std::string oldPath, binDir;
};

TEST_F(ProgramLookup, BareNameIsLookedUpOnPath) {
  RunResult r = Start("qvfake --exit=7");
  ASSERT_TRUE(r.started) << r.errorCode;
  EXPECT_EQ(r.exitCode, 7);
  EXPECT_EQ(Start("qvmissing").errorCode, static_cast<std::uint32_t>(ENOENT));
}

TEST_F(ProgramLookup, FileInCurrentDirectoryComesFirst) {
  // A plain file of that name in the current directory is taken (and cannot
  // run) although PATH has a program of that name.
  dir.File("work/qvfake", "data");
  EXPECT_EQ(Start("qvfake --exit=7").errorCode, static_cast<std::uint32_t>(EACCES));
  std::filesystem::copy_file(Fake(), "runme");
  RunResult r = Start("runme --exit=9");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 9);
}
#endif

// The arguments the fake converter receives are those the splitter gives.
TEST(Process, ArgumentsArriveAsQuoted) {
  ScratchDir dir;
  std::string record = dir / "record.txt";
  qvtest::SetEnv("FAKECONV_RECORD", record);
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"a b\tc", {"a", "b", "c"}},
      {R"(--title="A long title" "C:\in dir\x.htm")", {"--title=A long title", R"(C:\in dir\x.htm)"}},
      {R"(a\\b \x\ a\"b)", {R"(a\\b)", R"(\x\)", R"(a"b)"}},
      {R"("C:\dir\\" next)", {R"(C:\dir\)", "next"}},
      {R"(x "" y)", {"x", "", "y"}},
      {R"("tab	inside" 'single quotes' stay)", {"tab\tinside", "'single", "quotes'", "stay"}},
      {R"("say ""hi"" now" last)", {R"(say "hi" now)", "last"}},
  };
  for (const auto& [args, expected] : cases) {
    std::filesystem::remove(record);
    std::string line = Fake() + " " + args;
    RunResult r = Start(line);
    ASSERT_TRUE(r.started);
    auto calls = qvtest::RecordedCalls(record);
    ASSERT_EQ(calls.size(), 1u) << args;
    EXPECT_EQ(calls[0], expected) << args;
    std::vector<std::string> split = pf::SplitCommandLine(line);
    EXPECT_EQ(std::vector<std::string>(split.begin() + 1, split.end()), expected) << args;
  }
  qvtest::SetEnv("FAKECONV_RECORD", "");
}

TEST(Process, ChildInheritsEnvironmentAndWorkingDirectory) {
  ScratchDir dir;
  std::string record = dir / "record.txt";
  qvtest::SetEnv("FAKECONV_RECORD", record);
  dir.File("input.htm", "<html>");
  auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  RunResult r = Start(Fake() + " input.htm");
  std::filesystem::current_path(old);
  qvtest::SetEnv("FAKECONV_RECORD", "");
  ASSERT_TRUE(r.started);
  EXPECT_NE(qvtest::Slurp(record).find("FILE input.htm 6\n<html>\n"), std::string::npos);
}

// ---- console output ----

TEST(Console, WriteStdoutWritesBytesUnchanged) {
  ScratchDir dir;
  std::string capture = dir / "out.txt";
  std::string text = std::string("EXEC: a b") + pf::kLineBreak + "x\r\ny\n";
#ifdef _WIN32
  EXPECT_STREQ(pf::kLineBreak, "\r\n");
  HANDLE file = CreateFileA(capture.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE old = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, file);
  pf::WriteStdout(text);
  SetStdHandle(STD_OUTPUT_HANDLE, old);
  CloseHandle(file);
#else
  EXPECT_STREQ(pf::kLineBreak, "\n");
  fflush(stdout);
  int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  int old = dup(STDOUT_FILENO);
  dup2(fd, STDOUT_FILENO);
  pf::WriteStdout(text);
  dup2(old, STDOUT_FILENO);
  close(old);
  close(fd);
#endif
  EXPECT_EQ(qvtest::Slurp(capture), text);
}

#ifndef _WIN32
// On Windows the request comes as a console event, which a test without a
// console of its own cannot send reliably.
TEST(Interrupt, SignalSetsTheFlagAndTheChildStillGetsItsOwn) {
  pf::InstallInterruptHandler();
  std::raise(SIGINT);  // would end the test program without the handler
  EXPECT_TRUE(pf::InterruptRequested());
  // A started program has the default reaction again.
  RunResult r = Start(Fake() + " --raise=" + std::to_string(SIGINT));
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 128 + SIGINT);
}
#endif

// ---- text ----

TEST(Text, CaseInsensitiveCompareAndUpperCase) {
  EXPECT_TRUE(pf::CompareTextNoCase("Converter", "cONVERTER"));
  EXPECT_TRUE(pf::CompareTextNoCase("", ""));
  EXPECT_FALSE(pf::CompareTextNoCase("abc", "abd"));
  EXPECT_FALSE(pf::CompareTextNoCase("abc", "abcd"));
  EXPECT_FALSE(pf::CompareTextNoCase("a", ""));
  EXPECT_EQ(pf::UpperCaseText("lrf:--title 1-z"), "LRF:--TITLE 1-Z");
  EXPECT_EQ(pf::UpperCaseText(""), "");
  EXPECT_EQ(pf::UpperCaseText(std::string("a\0b", 3)), std::string("A\0B", 3));
  EXPECT_EQ(pf::CharUpper('q'), 'Q');
  EXPECT_EQ(pf::CharUpper('Q'), 'Q');
  EXPECT_EQ(pf::CharUpper('5'), '5');
  EXPECT_EQ(pf::CharLower('Q'), 'q');
  EXPECT_EQ(pf::CharLower('['), '[');
  EXPECT_FALSE(pf::IsLeadByte('a'));
#ifdef _WIN32
  if (GetACP() == 1252) {  // the code page's own letters fold too
    EXPECT_TRUE(pf::CompareTextNoCase("\xE4rger", "\xC4RGER"));
    EXPECT_EQ(pf::UpperCaseText("\xE4"), "\xC4");
    EXPECT_EQ(pf::CharLower(0xC4), 0xE4);
  }
#else
  // Only ASCII letters fold: UTF-8 bytes stay as they are.
  EXPECT_FALSE(pf::CompareTextNoCase("\xC3\xA4", "\xC3\x84"));
  EXPECT_EQ(pf::UpperCaseText("\xC3\xA4x"), "\xC3\xA4X");
  EXPECT_EQ(pf::CharUpper(0xE4), 0xE4);
  for (int c = 0x80; c < 0x100; ++c) EXPECT_FALSE(pf::IsLeadByte(static_cast<unsigned char>(c)));
#endif
}

}  // namespace
