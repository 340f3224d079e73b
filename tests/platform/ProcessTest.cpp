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

class ExitCodes : public ::testing::TestWithParam<std::pair<int, std::int32_t>> {};

TEST_P(ExitCodes, AreReported) {
  RunResult r = Start(Fake() + " --exit=" + std::to_string(GetParam().first));
  ASSERT_TRUE(r.started) << "error " << r.errorCode;
  EXPECT_EQ(r.exitCode, GetParam().second);
}

#ifdef _WIN32
// 32-bit exit codes. 259 is what the system reports for a running process:
// a program ending with it must still be seen to have ended.
INSTANTIATE_TEST_SUITE_P(Codes, ExitCodes,
                         ::testing::Values(std::pair(0, 0), std::pair(3, 3), std::pair(259, 259),
                                           std::pair(-2, -2), std::pair(70000, 70000)));
#else
// POSIX keeps only the low 8 bits of an exit status: 259 arrives as 3 and
// -2 as 254. A program killed by signal N gives 128 + N.
INSTANTIATE_TEST_SUITE_P(Codes, ExitCodes,
                         ::testing::Values(std::pair(0, 0), std::pair(3, 3), std::pair(255, 255),
                                           std::pair(259, 3), std::pair(-2, 254)));

TEST(Process, KilledBySignal) {
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
  EXPECT_FALSE(pf::SystemMessage(r.errorCode).empty());
#ifndef _WIN32
  EXPECT_EQ(pf::SystemMessage(r.errorCode), std::strerror(ENOENT));
  EXPECT_EQ(pf::SystemMessage(999999), "") << "no text for an unknown code";
#endif
}

#ifndef _WIN32
TEST(Process, ProgramThatCannotRun) {
  ScratchDir dir;
  EXPECT_EQ(Start(dir.File("plain", "not a program")).errorCode, std::uint32_t(EACCES));
  EXPECT_EQ(Start(dir.path()).errorCode, std::uint32_t(EACCES));
  RunResult blank = Start("   ");
  EXPECT_FALSE(blank.started);
  EXPECT_EQ(blank.errorCode, std::uint32_t(ENOENT));
}

// A bare name: the file in the current directory first, else PATH.
class ProgramLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    oldCwd = std::filesystem::current_path();
    oldPath = getenv("PATH") ? getenv("PATH") : "";
    std::filesystem::copy_file(Fake(), dir.Dir("bin") + "/qvfake");
    setenv("PATH", ("/nonexistent::" + dir / "bin").c_str(), 1);
    std::filesystem::current_path(dir.Dir("work"));
  }
  void TearDown() override {
    std::filesystem::current_path(oldCwd);
    setenv("PATH", oldPath.c_str(), 1);
  }
  ScratchDir dir;
  std::filesystem::path oldCwd;
  std::string oldPath;
};

TEST_F(ProgramLookup, BareNameIsLookedUpOnPath) {
  EXPECT_EQ(Start("qvfake --exit=7").exitCode, 7);
  EXPECT_EQ(Start("qvmissing").errorCode, std::uint32_t(ENOENT));
}

TEST_F(ProgramLookup, FileInCurrentDirectoryComesFirst) {
  // Taken (and unable to run) although PATH has a program of that name.
  dir.File("work/qvfake", "data");
  EXPECT_EQ(Start("qvfake --exit=7").errorCode, std::uint32_t(EACCES));
  std::filesystem::copy_file(Fake(), "runme");
  EXPECT_EQ(Start("runme --exit=9").exitCode, 9);
}
#endif

// What the fake converter receives is what the splitter gives.
TEST(Process, ArgumentsArriveAsQuoted) {
  ScratchDir dir;
  std::string record = dir / "record.txt";
  qvtest::SetEnv("FAKECONV_RECORD", record);
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"a b\tc", {"a", "b", "c"}},
      {R"(--title="A long title" "C:\in dir\x.htm")", {"--title=A long title", R"(C:\in dir\x.htm)"}},
      {R"(a\\b \x\ a\"b)", {R"(a\\b)", R"(\x\)", R"(a"b)"}},
      {R"("C:\dir\\" next)", {R"(C:\dir\)", "next"}},
      {R"(x "" y)", {"x", "", "y"}},
      {R"("tab	inside" 'single quotes')", {"tab\tinside", "'single", "quotes'"}},
      {R"("say ""hi"" now" last)", {R"(say "hi" now)", "last"}},
  };
  for (const auto& [args, expected] : cases) {
    std::filesystem::remove(record);
    std::string line = Fake() + " " + args;
    ASSERT_TRUE(Start(line).started);
    auto calls = qvtest::RecordedCalls(record);
    ASSERT_EQ(calls.size(), 1u) << args;
    EXPECT_EQ(calls[0], expected) << args;
    std::vector<std::string> split = pf::SplitCommandLine(line);
    EXPECT_EQ(std::vector<std::string>(split.begin() + 1, split.end()), expected) << args;
  }
  qvtest::SetEnv("FAKECONV_RECORD", "");
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
  HANDLE old = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, file);
  pf::WriteStdout(text);
  SetStdHandle(STD_OUTPUT_HANDLE, old);
  CloseHandle(file);
#else
  EXPECT_STREQ(pf::kLineBreak, "\n");
  int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
// On Windows the request is a console event, which a test without a console
// of its own cannot send reliably.
TEST(Interrupt, SignalSetsTheFlagAndTheChildStillGetsItsOwn) {
  pf::InstallInterruptHandler();
  std::raise(SIGINT);  // would end the test program without the handler
  EXPECT_TRUE(pf::InterruptRequested());
  // A started program has the default reaction again.
  EXPECT_EQ(Start(Fake() + " --raise=" + std::to_string(SIGINT)).exitCode, 128 + SIGINT);
}
#endif

// ---- text ----

TEST(Text, CaseInsensitiveCompareAndUpperCase) {
  EXPECT_TRUE(pf::CompareTextNoCase("Converter", "cONVERTER"));
  EXPECT_TRUE(pf::CompareTextNoCase("", ""));
  EXPECT_FALSE(pf::CompareTextNoCase("abc", "abd"));
  EXPECT_FALSE(pf::CompareTextNoCase("abc", "abcd"));
  EXPECT_EQ(pf::UpperCaseText(std::string("lrf:--t\0z", 9)), std::string("LRF:--T\0Z", 9));
  EXPECT_EQ(pf::CharUpper('q'), 'Q');
  EXPECT_EQ(pf::CharUpper('5'), '5');
  EXPECT_EQ(pf::CharLower('Q'), 'q');
  EXPECT_EQ(pf::CharLower('['), '[');
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
  for (int c = 0; c < 0x100; ++c) EXPECT_FALSE(pf::IsLeadByte(static_cast<unsigned char>(c)));
#endif
}

}  // namespace
