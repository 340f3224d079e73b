// Starting the converter and checking how it ended.
#include <chrono>
#include <cstdio>

#include "driver/Driver.h"
#include "platform/Platform.h"
#include "util/Errors.h"
#include "util/Path.h"

namespace quorvane {

namespace {

// The system's code for "file not found", used when no converter is named.
constexpr std::uint32_t kFileNotFound = 2;
// How often a running converter's status is looked at.
constexpr std::uint32_t kPollMs = 200;
// The first interrupt lets a running converter finish its file (it shares the
// console and got the request itself); the second stops it.
constexpr int kInterruptsThatStopAConverter = 2;

std::string UpperHex(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
  return buffer;
}

}  // namespace

std::string QuotedConverter(const std::string& converter) {
  bool hasBlank = converter.find_first_of(" \t") != std::string::npos;
  bool quoted = converter.size() >= 2 && converter.front() == '"' && converter.back() == '"';
  if (!hasBlank || quoted) return converter;
  return "\"" + converter + "\"";
}

std::string ConverterCommandLine(const std::string& converter, const std::string& params) {
  return QuotedConverter(converter) + " " + params;
}

void StopIfInterrupted() {
  if (platform::InterruptRequested()) throw EInterrupted{};
}

TConverterRun RunConverter(const std::string& converter, const std::string& params,
                           std::uint32_t timeoutSeconds) {
  StopIfInterrupted();
  TConverterRun run;
  const std::string commandLine = ConverterCommandLine(converter, params);
  platform::WriteStdout("EXEC: " + commandLine + platform::kLineBreak);
  if (converter.empty()) {
    // Nothing to start: the head of the line would be the first parameter.
    run.errorCode = kFileNotFound;
    return run;
  }
  // Writing the line may have found the output closed: that stops the run too.
  StopIfInterrupted();
  platform::Process process;
  if (!process.Start(commandLine, run.errorCode)) return run;
  run.started = true;

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    std::uint32_t pause = kPollMs;
    if (timeoutSeconds != 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        process.Terminate();
        run.timedOut = timeoutSeconds;
        return run;
      }
      if (left.count() < pause) pause = static_cast<std::uint32_t>(left.count());
    }
    if (process.Wait(pause)) break;
    if (platform::InterruptCount() >= kInterruptsThatStopAConverter) {
      process.Terminate();
      throw EInterrupted{};
    }
  }
  run.exitCode = process.ExitStatus();
  return run;
}

std::string SystemErrorText(std::uint32_t code) {
  std::string text = platform::SystemMessage(code);
  return text.empty() ? "?" : text;
}

void CheckConverterResult(const TConverterRun& run, const std::string& converter,
                          const std::string& params) {
  const std::string commandLine =
      std::string("Command Line: ") + ConverterCommandLine(converter, params);
  if (!run.started) {
    throw EkelvoError("Could not create process: (" + UpperHex(run.errorCode) + ") " +
                      SystemErrorText(run.errorCode) + "." + platform::kLineBreak + commandLine);
  }
  std::string program = converter;
  if (program.size() >= 2 && program.front() == '"' && program.back() == '"')
    program = program.substr(1, program.size() - 2);
  if (run.timedOut != 0) {
    throw EkelvoError(PathFileName(program) + " did not finish within " +
                      std::to_string(run.timedOut) + " seconds." + platform::kLineBreak +
                      commandLine);
  }
  if (run.exitCode != 0) {
    throw EkelvoError(PathFileName(program) + " returned errorlevel " +
                      std::to_string(run.exitCode) + "." + platform::kLineBreak + commandLine);
  }
}

}  // namespace quorvane
