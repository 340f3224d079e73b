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

// How one converter run ended.
struct TConverterRun {
  bool started = false;         // false: errorCode holds the system's code
  std::int32_t exitCode = 0;    // when started and not timed out
  std::uint32_t errorCode = 0;
  std::uint32_t timedOut = 0;   // the time limit in seconds it was stopped at, 0: none
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
// and EInterrupted when the user stopped the run.
void ConvertDirectory(const TConvertOptions& options);

// --- main flow ---

// The usage text for the given executable file name, ending with a line break.
std::string UsageText(const std::string& executableName);

// The final report of an error that ended the run.
std::string FinalReport(const std::string& kindName, const std::string& message,
                        const std::string& moduleName, std::uintptr_t location);

// The whole run for the given arguments (without the program name); returns
// the exit code. It catches everything; the caller runs the module clean-up.
int RunMain(const std::vector<std::string>& args);

}  // namespace quorvane
