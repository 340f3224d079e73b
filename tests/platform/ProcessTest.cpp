// Command-line splitting, starting programs, interruption and the text helpers.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "common/Helpers.h"
#include "common/ScratchDir.h"
#include "platform/CommandLineSplit.h"
#include "platform/Platform.h"

namespace {

namespace pf = quorvane::platform;
using qvtest::FakeConverter;
using qvtest::ScratchDir;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, ProgramAndArguments) {
  const std::pair<const char*, Args> cases[] = {
      {"", {}}, {" \t ", {}}, {"  prog   a\tb  ", {"prog", "a", "b"}}, {R"(C:\tools\ a)", {R"(C:\tools\)", "a"}},
      // The program name: quotes group, backslashes are plain.
      {R"("C:\Program Files\conv.exe" x)", {R"(C:\Program Files\conv.exe)", "x"}},
      {R"(C:\dir\"odd name" x)", {R"(C:\dir\odd name)", "x"}},
      // Quotes group blanks and vanish, also in the middle of a word; backslashes are literal
      // unless they precede a double quote; "" inside a quoted run is one literal quote.
      {R"(p a"b c"d "" "open run)", {"p", "ab cd", "", "open run"}},
      {R"(p a\\b \x\ a\"b a\\"b c" a\\\"b)", {"p", R"(a\\b)", R"(\x\)", R"(a"b)", R"(a\b c)", R"(a\"b)"}},
      {R"(p "C:\dir\\" next)", {"p", R"(C:\dir\)", "next"}}, {R"(p "C:\dir\" next)", {"p", R"(C:\dir" next)"}},
      {R"(p "say ""hi"" now" x)", {"p", R"(say "hi" now)", "x"}}, {R"(p "a""" """")", {"p", R"(a")", R"(")"}},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(pf::SplitCommandLine(line), expected) << line;
}

struct RunResult { bool started = false; std::int32_t exitCode = -12345; std::uint32_t errorCode = 0; };
RunResult Start(const std::string& commandLine) {
  RunResult r;
  r.started = pf::RunProcess(commandLine, r.exitCode, r.errorCode);
  return r;
}

TEST(Process, ExitCodes) {
  const std::pair<int, std::int32_t> cases[] = {
#ifdef _WIN32  // 32-bit codes; 259 (the code of a running process) must still be seen to end
      {0, 0}, {3, 3}, {259, 259}, {-2, -2}, {70000, 70000},
#else  // POSIX keeps only the low 8 bits: 259 arrives as 3 and -2 as 254
      {0, 0}, {3, 3}, {255, 255}, {259, 3}, {-2, 254},
#endif
  };
  for (const auto& [code, expected] : cases) {
    RunResult r = Start(FakeConverter() + " --exit=" + std::to_string(code));
    ASSERT_TRUE(r.started) << code << ": error " << r.errorCode;
    EXPECT_EQ(r.exitCode, expected) << code;
  }
}

TEST(Process, MissingProgramFailsWithCode2AndItsText) {
  ScratchDir dir;
  RunResult r = Start(dir / "nosuchconv.exe" + " a b");
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.errorCode, 2u);
  EXPECT_EQ(r.exitCode, -12345) << "exit code untouched";
  EXPECT_FALSE(pf::SystemMessage(r.errorCode).empty());
#ifndef _WIN32
  EXPECT_EQ(Start("   ").errorCode, std::uint32_t(ENOENT));
  EXPECT_EQ(pf::SystemMessage(r.errorCode), std::strerror(ENOENT));
  EXPECT_EQ(pf::SystemMessage(999999), "") << "no text for an unknown code";
#endif
}

#ifndef _WIN32
// Signal N gives 128 + N. Our handler catches an interrupt; a started program still ends by it.
TEST(Process, Signals) {
  EXPECT_EQ(Start(FakeConverter() + " --raise=" + std::to_string(SIGTERM)).exitCode, 128 + SIGTERM);
  pf::InstallInterruptHandler();
  std::raise(SIGINT);
  EXPECT_TRUE(pf::InterruptRequested());
  EXPECT_EQ(Start(FakeConverter() + " --raise=" + std::to_string(SIGINT)).exitCode, 128 + SIGINT);
}

// A bare name: the file in the current directory first, else PATH.
TEST(Process, ProgramLookup) {
  ScratchDir dir;
  std::filesystem::copy_file(FakeConverter(), dir.Dir("bin") + "/qvfake");
  const qvtest::ScopedEnv path("PATH", "/nonexistent::" + dir / "bin");
  dir.Dir("work");
  dir.MakeCurrent();
  std::filesystem::current_path("work");
  EXPECT_EQ(Start("qvfake --exit=7").exitCode, 7);
  EXPECT_EQ(Start("qvmissing").errorCode, std::uint32_t(ENOENT));
  dir.File("work/qvfake", "data");  // taken (and unable to run) before the one on PATH
  EXPECT_EQ(Start("qvfake --exit=7").errorCode, std::uint32_t(EACCES));
}
#endif

// What the fake converter receives is what the splitter gives.
TEST(Process, ArgumentsArriveAsQuoted) {
  ScratchDir dir;
  const std::string record = dir / "record.txt";
  const qvtest::ScopedEnv recording("FAKECONV_RECORD", record);
  const std::pair<std::string, Args> cases[] = {
      {"a b\tc", {"a", "b", "c"}},
      {R"(--title="A long title" "C:\in dir\x.htm")", {"--title=A long title", R"(C:\in dir\x.htm)"}},
      {R"(a\\b \x\ a\"b "C:\dir\\" next)", {R"(a\\b)", R"(\x\)", R"(a"b)", R"(C:\dir\)", "next"}},
      {R"(x "" "tab	inside" 'single quotes')", {"x", "", "tab\tinside", "'single", "quotes'"}},
      {R"("say ""hi"" now" last)", {R"(say "hi" now)", "last"}},
  };
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(args);
    std::filesystem::remove(record);
    std::string line = FakeConverter() + " " + args;
    ASSERT_TRUE(Start(line).started);
    std::string recorded = "CALL " + std::to_string(expected.size()) + "\n";  // one call
    for (const std::string& arg : expected) recorded += "ARG " + arg + "\n";
    EXPECT_EQ(qvtest::ReadFile(record), recorded + "END\n");
    Args split = pf::SplitCommandLine(line);
    EXPECT_EQ(Args(split.begin() + 1, split.end()), expected);
  }
}

TEST(Text, CaseInsensitiveCompareAndUpperCase) {
  EXPECT_TRUE(pf::CompareTextNoCase("Converter", "cONVERTER") && !pf::CompareTextNoCase("abc", "abcd"));
  EXPECT_EQ(pf::UpperCaseText(std::string("`lrf:--t\0z{", 11)), std::string("`LRF:--T\0Z{", 11));
  EXPECT_EQ((std::string{char(pf::CharUpper('q')), char(pf::CharLower('Q')), char(pf::CharLower('['))}), "Qq[");
#ifndef _WIN32  // only ASCII letters fold: UTF-8 bytes stay as they are
  EXPECT_FALSE(pf::CompareTextNoCase("\xC3\xA4", "\xC3\x84"));
  EXPECT_EQ(pf::UpperCaseText("\xC3\xA4x") + char(pf::CharUpper(0xE4)), "\xC3\xA4X\xE4");
#endif
}

}  // namespace
