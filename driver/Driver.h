// The command-line driver: the main flow, the batch over the files of one
// wildcard, the error log and the converter launch.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "config/ConvertOptions.h"

namespace quorvane {

// Raised when the user asked the run to stop (Ctrl-C). It is no Exception on
// purpose: the per-file guard must not absorb it.
class EInterrupted {};

// The exit code of an interrupted run.
inline constexpr int kInterruptedExitCode = 130;
inline constexpr const char* kInterruptedMessage = "Interrupted: conversion stopped.";

// Raises EInterrupted when the user has asked the run to stop.
void StopIfInterrupted();

// --- converter launch ---

// The converter as it stands at the head of the command line: in double
// quotes when it holds a blank or a tab (and is not quoted already).
std::string QuotedConverter(const std::string& converter);
// The whole command line: the converter, one blank, params.
std::string ConverterCommandLine(const std::string& converter, const std::string& params);

// The command line that starts the converter: the file the lookup finds for
// it (the one the target's validity check looked at, platform::FindProgram),
// one blank, params. Empty when there is no such file; errorCode then holds
// the system's code. A batch file raises EkelvoError: it is never started.
std::string LaunchCommandLine(const std::string& converter, const std::string& params,
                              std::uint32_t& errorCode);

// How one converter run ended.
struct TConverterRun {
  bool started = false;         // false: errorCode holds the system's code
  std::int32_t exitCode = 0;    // when started and not timed out
  std::uint32_t errorCode = 0;
  std::uint32_t timedOut = 0;   // the time limit in seconds it was stopped at, 0: none
  int signal = 0;               // POSIX: the signal that ended it, 0: none
};

// Prints the "EXEC: " line and runs the converter: starts it, waits for its
// end (polling every 200 ms without using the processor) and keeps its exit
// status. An empty converter starts nothing and fails with code 2 (file not
// found). A converter still running after timeoutSeconds (0: no limit) is
// stopped. An interrupt before the start starts nothing; a second interrupt
// while it runs stops it; both raise EInterrupted.
TConverterRun RunConverter(const std::string& converter, const std::string& params,
                           std::uint32_t timeoutSeconds = 0);

// The system's message for an error code, "?" when there is none.
std::string SystemErrorText(std::uint32_t code);

// Raises EkelvoError for a converter that did not start, was stopped at its
// time limit, or did not end with 0.
void CheckConverterResult(const TConverterRun& run, const std::string& converter,
                          const std::string& params);

// --- batch and error log ---

// Deletes every temporary copy still recorded when it goes out of scope: at
// the end of each file, and at the end of the run.
class TempCopiesCleanup {
 public:
  TempCopiesCleanup() = default;
  TempCopiesCleanup(const TempCopiesCleanup&) = delete;
  TempCopiesCleanup& operator=(const TempCopiesCleanup&) = delete;
  ~TempCopiesCleanup();
};

// The error block as the console and the log show it.
std::string ErrorBlock(const std::string& kindName, const std::string& message,
                       const std::string& filePath);
// Prints the error block and appends it to logPath (when not empty). A log
// that cannot be written does not stop the batch: the first failure for a
// log is told once on standard error, and the run ends with exit code 1.
void ReportError(const std::string& kindName, const std::string& message,
                 const std::string& logPath, const std::string& filePath);
void ReportError(const std::exception& error, const std::string& logPath,
                 const std::string& filePath);
// Whether a block could not be written to its error log during this run.
bool ErrorLogFailed();

// Converts the matching files of one directory level and, when Recursive is
// set, every level below it. Throws the first error when ErrorLog is empty,
// and EInterrupted when the user stopped the run. With DryRun each file's
// command is shown ("WOULD EXEC: ") instead of run; with UpdateOnly a file
// whose output is up to date is skipped ("UP TO DATE: ").
void ConvertDirectory(const TConvertOptions& options);

// True when output exists and is newer than the page mainFile, every file it
// includes, every existing file their links and the page's parameters name,
// and the INI file. Any error while reading the page makes it not up to date.
bool IsUpToDate(const std::string& output, const std::string& mainFile);

// What the run has done so far, for the summary at its end.
struct TRunTally {
  int wildcards = 0;  // wildcard arguments handled
  int matched = 0;    // files found by them
  int converted = 0, shown = 0, upToDate = 0, failed = 0;  // shown: by a dry run
  std::vector<std::string> errorLogs{};  // the logs that received a failure
};
extern TRunTally RunTally;

// The summary line, e.g. "3 converted, 1 up to date, 1 failed, errors in
// log.txt"; ending, when not empty, says why the run ended early.
std::string SummaryLine(const TRunTally& tally, const std::string& ending);

// --- main flow ---

// The usage text for the given executable file name, ending with a line break.
std::string UsageText(const std::string& executableName);
// The text --help shows: the usage text naming the actual default target
// (upper case, "none" when empty), with a line for each further option.
std::string HelpText(const std::string& executableName, const std::string& defaultTarget);
// "Quorvane Prepare <version> (<Windows or POSIX> build)".
std::string VersionText();

// The final report of an error that ended the run.
std::string FinalReport(const std::string& kindName, const std::string& message,
                        const std::string& moduleName, std::uintptr_t location);

// The whole run for the given arguments (without the program name); returns
// the exit code. It catches everything; the caller runs the module clean-up.
int RunMain(const std::vector<std::string>& args);

}  // namespace quorvane
