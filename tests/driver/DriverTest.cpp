// The driver's pieces in-process: converter command lines and messages, the
// error log, the final report, and the temporary copies of a batch.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/ScratchDir.h"
#include "driver/Driver.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "platform/Platform.h"
#include "util/Errors.h"
#include "util/Path.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
const std::string kNl = platform::kLineBreak, kSep(1, PathSeparator());

// The end-to-end tests show the usual messages; these are the rarer forms.
TEST(ConverterLaunch, ResultMessages) {
  const std::string blanks = "my tools" + kSep + "c v", tab = "my\ttools" + kSep + "c";
  const struct {  // first "": no error
    bool started;
    std::int32_t exitCode;
    std::uint32_t errorCode;
    std::string converter, first, shown;
  } cases[] = {
      {true, 0, 0, "conv.exe", "", ""},
      {true, 1, 0, "\"" + blanks + "\"", "c v returned errorlevel 1", "\"" + blanks + "\""},
      {true, -1073741819, 0, tab, "c returned errorlevel -1073741819", "\"" + tab + "\""},
      {false, 0, 193, "conv", "Could not create process: (C1) " + SystemErrorText(193), "conv"},
      // A code the system has no text for.
      {false, 0, 0xFFFFFFFF, "conv", "Could not create process: (FFFFFFFF) ?", "conv"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.converter + " " + std::to_string(c.exitCode));
    std::string message;
    try {
      CheckConverterResult(c.started, c.exitCode, c.errorCode, c.converter, "p ");
    } catch (const EkelvoError& error) {
      message = error.what();
    }
    const std::string shown = c.first + "." + kNl + "Command Line: " + c.shown + " p ";
    EXPECT_EQ(message, c.first.empty() ? "" : shown);
  }
}

TEST(MainFlow, FinalReportAddsAFullStopOnlyWhenMissing) {
  for (const auto& [message, tail] : {std::pair<std::string, std::string>{"x", "x."},
                                      {"done.", "done."}, {"", "."}})
    EXPECT_EQ(FinalReport("EFOpenError", message, "qprepare.exe", 0x1234ABCDEFull),
              "Exception EFOpenError in module qprepare.exe at 34ABCDEF." + kNl + tail);
}

TEST(ErrorLog, ForeignErrorsAreLoggedAsExceptionAndLogFailuresSwallowed) {
  const qvtest::ScratchDir dir;
  const std::string log = dir / "errors.log";
  ReportError(std::runtime_error("two" + kNl + "lines"), log, "b");
  std::ostringstream text;
  text << std::ifstream(log, std::ios::binary).rdbuf();
  EXPECT_EQ(text.str(),
            kNl + "ERROR Exception WHILE CONVERTING b:" + kNl + "two" + kNl + "lines" + kNl + kNl);
  // A log that cannot be written costs nothing but the log.
  for (const std::string& bad : {dir / "no" + kSep + "x.log", dir.path()})
    EXPECT_NO_THROW(ReportError(EReadError("Stream read error"), bad, "c"));
}

TEST(Batch, CopiesOfAFailedFileLiveUntilTheNextSuccess) {
  const qvtest::ScratchDir dir;
  dir.File("bad.htm", "<meta name=\"t:--exit\" content=\"9\">");
  dir.File("good.htm");
  // The batch sets the prefix: bad.htm fails only under it.
  TConvertOptions o{.Converter = QV_FAKECONV,
                    .CommandLine = "%PARAMS% --output=\"%OUTPUT%\" \"%INPUT%\"",
                    .SourceDir = dir.path() + kSep, .FileMask = "bad.htm", .Prefix = "t:",
                    .OutputDir = dir / "out", .Extension = ".o",
                    .ErrorLog = dir / "log.txt", .AbsoluteLocalUrlPrefix = ""};
  ConvertDirectory(o);
  ASSERT_EQ(TempCopyList.Count(), 1);
  const std::string copy = TempCopyList.Get(0);
  EXPECT_TRUE(fs::is_directory(copy));
  o.FileMask = "good.htm";
  ConvertDirectory(o);
  EXPECT_EQ(TempCopyList.Count(), 0);
  EXPECT_FALSE(fs::exists(copy));
  // Without a log the failure leaves the batch; its copy waits for the end.
  o.ErrorLog.clear();
  o.FileMask = "bad.htm";
  EXPECT_THROW(ConvertDirectory(o), EkelvoError);
  ASSERT_EQ(TempCopyList.Count(), 1);
  DeleteTempCopies();
  EXPECT_EQ(TempCopyList.Count(), 0);
}

}  // namespace
}  // namespace quorvane
