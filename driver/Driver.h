// The command-line driver: the main flow, the batch over the files of one
// wildcard, the error log and the converter launch.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/ConvertOptions.h"
#include "platform/Platform.h"

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
// whose output is up to date is skipped ("UP TO DATE: "). With Jobs above 1
// that many converters run at once (TJobPool); all have ended when it
// returns.
void ConvertDirectory(const TConvertOptions& options);

// The per-file guard: counts the failure and reports it (console, error
// log). True when the run goes on, false when it must stop (no error log).
bool FileFailed(const std::exception& error, const std::string& errorLog,
                const std::string& filePath);

// --- converters at work ---

// Raised by TJobPool when the run is to stop. It is not the error of the
// file at hand, so no per-file guard may absorb it: no Exception either.
// TJobPool::Finish raises the reason.
class EJobsStopped {};

// The converters of one wildcard. Its files are prepared one at a time, in
// the order of the walk, and up to jobs converters run at once, each with
// the target's time limit. With one job the converter shares the console
// and its file ends before the walk goes on. With more, a converter's
// standard output and error are captured and printed, whole and after its
// EXEC line, when its file ends, followed by the file's error block: blocks
// never interleave. Every file's temporary copy is deleted when that file
// ends. Two converters never write one output file at once. After a
// failure without an error log, or an interrupt, no further converter
// starts; the running ones end first (a second interrupt stops them).
class TJobPool {
 public:
  // jobs: 1 to platform::Process::kMaxWaited.
  explicit TJobPool(std::uint32_t jobs);
  // Converters still running are stopped; their temporary copies deleted.
  ~TJobPool();
  TJobPool(const TJobPool&) = delete;
  TJobPool& operator=(const TJobPool&) = delete;

  // Prepares the file (command line, temporary copy) and starts its
  // converter; returns when fewer than jobs converters run. The file's own
  // failure to be prepared or started is raised to the per-file guard;
  // EJobsStopped when the run is to stop.
  void Convert(const TConvertOptions& options, const std::string& relFile);
  // The run is to stop for reason; the first reason given counts.
  void Stop(std::exception_ptr reason);
  // Waits until every converter has ended, then raises the reason the run
  // stopped, if any.
  void Finish();

 private:
  struct Job;
  void Start(Job& job);
  void WaitUntil(const std::function<bool()>& enough);
  void Ended(Job& job);
  void StopAll();
  std::vector<platform::Process*> Processes() const;

  std::uint32_t jobs_;
  platform::Process::Output output_;
  std::vector<std::unique_ptr<Job>> running_;
  std::exception_ptr stopped_;
};

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
