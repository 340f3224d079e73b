// The driver's pieces in-process: messages, the error log, the batch walk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/Driver.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "platform/Platform.h"
#include "util/Errors.h"
#include "util/Path.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
const std::string kNl = platform::kLineBreak;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteFile(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() / (std::string("qv-driver-") + info->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The message an EkelvoError check raises, or "" when it raises nothing.
std::string ResultMessage(bool started, std::int32_t exitCode, std::uint32_t errorCode,
                          const std::string& converter, const std::string& params) {
  try {
    CheckConverterResult(started, exitCode, errorCode, converter, params);
  } catch (const EkelvoError& error) {
    return error.what();
  }
  return "";
}

TEST(ConverterLaunch, CommandLineQuotesOnlyConvertersWithBlanks) {
  struct Case {
    const char* converter;
    const char* params;
    const char* line;
  } cases[] = {
      {"conv.exe", "-a b", "conv.exe -a b"},
      {"conv.exe", "", "conv.exe "},
      {"C:\\Program Files\\conv.exe", "x", "\"C:\\Program Files\\conv.exe\" x"},
      {"/opt/my\ttools/conv", "x", "\"/opt/my\ttools/conv\" x"},
      {"\"/opt/my tools/conv\"", "x", "\"/opt/my tools/conv\" x"},
      {"", "--a x", " --a x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ConverterCommandLine(c.converter, c.params), c.line) << c.converter;
}

TEST(ConverterLaunch, ResultMessages) {
  const std::string text2 = SystemErrorText(2);
  const std::string sep(1, PathSeparator());
  const std::string bin = "bin" + sep;
  ASSERT_NE(text2, "?");
  struct Case {
    bool started;
    std::int32_t exitCode;
    std::uint32_t errorCode;
    std::string converter;
    std::string message;
  } cases[] = {
      {true, 0, 0, "conv.exe", ""},
      {true, 3, 0, bin + "conv.exe", "conv.exe returned errorlevel 3." + kNl +
                                         "Command Line: " + bin + "conv.exe p "},
      {true, -1073741819, 0, "conv", "conv returned errorlevel -1073741819." + kNl +
                                         "Command Line: conv p "},
      {true, 1, 0, "my tools" + sep + "c v", "c v returned errorlevel 1." + kNl +
                                                 "Command Line: \"my tools" + sep + "c v\" p "},
      {false, 0, 2, "conv", "Could not create process: (2) " + text2 + "." + kNl +
                                "Command Line: conv p "},
      {false, 0, 193, "conv", "Could not create process: (C1) " + SystemErrorText(193) + "." +
                                  kNl + "Command Line: conv p "},
      // A code the system has no text for.
      {false, 0, 0xFFFFFFFF, "conv", "Could not create process: (FFFFFFFF) ?." + kNl +
                                         "Command Line: conv p "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResultMessage(c.started, c.exitCode, c.errorCode, c.converter, "p "), c.message)
        << c.converter << " " << c.exitCode;
}

TEST(ConverterLaunch, RunsTheConverterAndReportsItsEnd) {
  std::int32_t exitCode = -99;
  std::uint32_t errorCode = 0;
  EXPECT_TRUE(RunConverter(QV_FAKECONV, "--exit=7", exitCode, errorCode));
  EXPECT_EQ(exitCode, 7);
  EXPECT_TRUE(RunConverter(QV_FAKECONV, "", exitCode, errorCode));
  EXPECT_EQ(exitCode, 0);

  TempDir dir;
  exitCode = -99;
  EXPECT_FALSE(RunConverter((dir.path() / "missing").string(), "", exitCode, errorCode));
  EXPECT_EQ(errorCode, 2u);
  EXPECT_EQ(exitCode, -99);  // untouched when nothing started

  // No converter: nothing starts, not even the first parameter as a program.
  errorCode = 0;
  EXPECT_FALSE(RunConverter("", std::string(QV_FAKECONV) + " --exit=0", exitCode, errorCode));
  EXPECT_EQ(errorCode, 2u);
}

TEST(ConverterLaunch, ConverterInADirectoryWithBlanksStarts) {
  TempDir dir;
  const fs::path program = dir.path() / "with blank" / fs::path(QV_FAKECONV).filename();
  fs::create_directories(program.parent_path());
  fs::copy_file(QV_FAKECONV, program);
  std::int32_t exitCode = 0;
  std::uint32_t errorCode = 0;
  ASSERT_TRUE(RunConverter(program.string(), "--exit=4", exitCode, errorCode)) << errorCode;
  EXPECT_EQ(exitCode, 4);
}

TEST(MainFlow, FinalReportAddsAFullStopOnlyWhenMissing) {
  struct Case {
    const char* message;
    std::string tail;
  } cases[] = {
      {"Cannot open file x", kNl + "Cannot open file x."},
      {"done.", kNl + "done."},
      {"", kNl + "."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FinalReport("EFOpenError", c.message, "qprepare.exe", 0x1234ABCDEFull),
              "Exception EFOpenError in module qprepare.exe at 34ABCDEF." + c.tail);
}

TEST(MainFlow, UsageNamesTheExecutable) {
  const std::string usage = UsageText("tool.exe");
  EXPECT_EQ(usage.rfind("Quorvane Prepare v0.12" + kNl + kNl +
                            "Syntax: tool.exe [-r[+]] [-t <target>] [-o <dir>] [-e <file>] "
                            "<wildcard>" + kNl + kNl,
                        0),
            0u);
  const std::string end = "used for \"any target\"." + kNl;
  ASSERT_GT(usage.size(), end.size());
  EXPECT_EQ(usage.substr(usage.size() - end.size()), end);
}

TEST(ErrorLog, LogIsCreatedThenAppendedAndFailuresAreSwallowed) {
  TempDir dir;
  const fs::path log = dir.path() / "errors.log";
  ReportError(EFOpenError("Cannot open file a"), log.string(), "/x/a.htm");
  const std::string first =
      kNl + "ERROR EFOpenError WHILE CONVERTING /x/a.htm:" + kNl + "Cannot open file a" + kNl + kNl;
  EXPECT_EQ(ReadFile(log), first);
  ReportError(std::runtime_error("two" + kNl + "lines"), log.string(), "b");
  EXPECT_EQ(ReadFile(log), first + kNl + "ERROR Exception WHILE CONVERTING b:" + kNl + "two" +
                               kNl + "lines" + kNl + kNl);
  // A log that cannot be written costs nothing but the log.
  EXPECT_NO_THROW(ReportError(EReadError("Stream read error"),
                              (dir.path() / "no" / "dir" / "x.log").string(), "c"));
  EXPECT_NO_THROW(ReportError(EReadError("Stream read error"), dir.path().string(), "c"));
}

class BatchWalk : public ::testing::Test {
 protected:
  TConvertOptions Options(const std::string& mask) const {
    TConvertOptions o;
    o.Converter = QV_FAKECONV;
    o.CommandLine = "%PARAMS% --output=\"%OUTPUT%\" \"%INPUT%\"";
    o.SourceDir = dir_.path().string() + std::string(1, PathSeparator());
    o.FileMask = mask;
    o.Prefix = "t:";
    o.OutputDir = (dir_.path() / "out").string();
    o.Extension = ".o";
    o.AbsoluteLocalUrlPrefix = "u:";
    return o;
  }
  TempDir dir_;
};

TEST_F(BatchWalk, SetsThePrefixesAndLeavesTheRecordAlone) {
  TConvertOptions o = Options("nothing*.htm");
  o.Recursive = true;
  fs::create_directories(dir_.path() / "sub");
  const TConvertOptions before = o;
  CurrentPrefix = "lrf:";
  CurrentUrlPrefix = "";
  ConvertDirectory(o);
  EXPECT_EQ(CurrentPrefix, "t:");
  EXPECT_EQ(CurrentUrlPrefix, "u:");
  EXPECT_EQ(o.FileMask, before.FileMask);
  // A directory that does not exist is no error.
  o.SourceDir = (dir_.path() / "missing").string() + std::string(1, PathSeparator());
  EXPECT_NO_THROW(ConvertDirectory(o));
}

TEST_F(BatchWalk, FirstFailureLeavesWithoutLogAndIsAbsorbedWithOne) {
  WriteFile(dir_.path() / "a.htm", "<meta name=\"t:--exit\" content=\"9\">");
  WriteFile(dir_.path() / "sub" / "b.htm", "<meta name=\"t:--exit\" content=\"8\">");
  TConvertOptions o = Options("*.htm");
  o.Recursive = true;
  try {
    ConvertDirectory(o);
    ADD_FAILURE() << "no error left the batch";
  } catch (const EkelvoError& error) {
    EXPECT_NE(std::string(error.what()).find("returned errorlevel 9."), std::string::npos);
  }
  o.ErrorLog = (dir_.path() / "log.txt").string();
  EXPECT_NO_THROW(ConvertDirectory(o));
  const std::string log = ReadFile(o.ErrorLog);
  EXPECT_NE(log.find("returned errorlevel 9."), std::string::npos);
  EXPECT_NE(log.find("returned errorlevel 8."), std::string::npos);
  DeleteTempCopies();
}

}  // namespace
}  // namespace quorvane
