// The driver's pieces in-process: converter command lines and messages, the
// error log, the final report, and the temporary copies of a batch.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Helpers.h"
#include "common/ModuleScope.h"
#include "common/ScratchDir.h"
#include "driver/Driver.h"
#include "platform/Platform.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using qvtest::kSep;
const std::string kNl = platform::kLineBreak;

// The end-to-end tests show the usual messages; these are the rarer forms.
TEST(ConverterLaunch, ResultMessages) {
  const std::string blanks = "my tools" + kSep + "c v", tab = "my\ttools" + kSep + "c";
  const struct {  // first "": no error
    TConverterRun run;
    std::string converter, first, shown;
  } cases[] = {
      {{true, 0, 0, 0}, "conv.exe", "", ""},
      {{true, 1, 0, 0}, "\"" + blanks + "\"", "c v returned errorlevel 1", "\"" + blanks + "\""},
      {{true, -1073741819, 0, 0}, tab, "c returned errorlevel -1073741819", "\"" + tab + "\""},
      {{false, 0, 193, 0}, "conv", "Could not create process: (C1) " + SystemErrorText(193), "conv"},
      // A code the system has no text for.
      {{false, 0, 0xFFFFFFFF, 0}, "conv", "Could not create process: (FFFFFFFF) ?", "conv"},
      // Stopped at its time limit: whatever status the stop left.
      {{true, 143, 0, 7}, "\"" + blanks + "\"", "c v did not finish within 7 seconds", "\"" + blanks + "\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.converter + " " + std::to_string(c.run.exitCode));
    const std::string shown = c.first + "." + kNl + "Command Line: " + c.shown + " p ";
    EXPECT_EQ(qvtest::Raised([&] { CheckConverterResult(c.run, c.converter, "p "); }),
              c.first.empty() ? "none" : "EkelvoError: " + shown);
  }
}

TEST(MainFlow, FinalReportAddsAFullStopOnlyWhenMissing) {
  for (const auto& [message, tail] : {std::pair<std::string, std::string>{"x", "x."},
                                      {"done.", "done."}, {"", "."}})
    EXPECT_EQ(FinalReport("EFOpenError", message, "qprepare.exe", 0x1234ABCDEFull),
              "Exception EFOpenError in module qprepare.exe at 34ABCDEF." + kNl + tail);
}

TEST(ErrorLog, ForeignErrorsAreLoggedAsExceptionAndLogFailuresTold) {
  const qvtest::ScratchDir dir;
  const std::string log = dir / "errors.log";
  ReportError(std::runtime_error("two" + kNl + "lines"), log, "b");
  EXPECT_EQ(qvtest::ReadFile(log),
            kNl + "ERROR Exception WHILE CONVERTING b:" + kNl + "two" + kNl + "lines" + kNl + kNl);
  // A log that cannot be written costs nothing but the log, and the run
  // cannot end as a success.
  EXPECT_FALSE(ErrorLogFailed());
  for (const std::string& bad : {dir / "no" + kSep + "x.log", dir.path()})
    EXPECT_NO_THROW(ReportError(EReadError("Stream read error"), bad, "c"));
  EXPECT_TRUE(ErrorLogFailed());
}

// However a file ends, its temporary copy goes with it, also when the copy
// itself could not be written.
TEST(Batch, EveryFileDeletesItsCopyWhenItEnds) {
  const qvtest::ModuleScope scope;
  const qvtest::ScratchDir dir;
  // A temporary folder so deep that the copy of a page with a long name is a
  // path too long for the system, while the copy's own folder is not.
  const std::size_t limit = kSep == "\\" ? 260 : 4096;
  std::string tmp = dir.Dir("tmp");
  while (tmp.size() < limit - 180) tmp.append(kSep).append(100, 't');
  fs::create_directories(tmp);
#ifdef _WIN32
  const qvtest::ScopedEnv temp("TMP", tmp);
#else
  const qvtest::ScopedEnv temp("TMPDIR", tmp);
#endif
  const std::string longPage = std::string(200, 'n') + ".htm";
  dir.File(longPage);
  dir.File("bad.htm", "<meta name=\"t:--exit\" content=\"9\">");
  dir.File("good.htm");
  const struct { std::string page, kind; } cases[] = {  // kind "": converted
      {"bad.htm", "EkelvoError"}, {longPage, "EFCreateError"}, {"good.htm", ""}};
  for (const auto& [page, kind] : cases) {
    for (const bool withLog : {true, false}) {
      SCOPED_TRACE(page.substr(0, 8) + (withLog ? " with log" : " without log"));
      TConvertOptions o{.Converter = QV_FAKECONV,
                        .CommandLine = "%PARAMS% --output=\"%OUTPUT%\" \"%INPUT%\"",
                        .SourceDir = dir.path() + kSep, .FileMask = page, .Prefix = "t:",
                        .OutputDir = dir / "out", .Extension = ".o",
                        .ErrorLog = withLog ? dir / "log.txt" : "", .AbsoluteLocalUrlPrefix = ""};
      const std::string raised = qvtest::Raised([&] { ConvertDirectory(o); });
      EXPECT_EQ(raised.substr(0, raised.find(':')), withLog || kind.empty() ? "none" : kind);
      EXPECT_EQ(TempCopyList.Count(), 0);
      EXPECT_TRUE(fs::is_empty(tmp));
    }
  }
}

}  // namespace
}  // namespace quorvane
