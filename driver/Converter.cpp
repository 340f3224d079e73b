// The converter's command line and lookup, and the check of how it ended.
#include <cstdio>

#include "config/Config.h"
#include "driver/Driver.h"
#include "platform/Platform.h"
#include "base/Errors.h"
#include "util/Path.h"

namespace quorvane {

namespace {

// The system's code for "file not found", used when no converter is named.
constexpr std::uint32_t kFileNotFound = 2;

std::string UpperHex(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
  return buffer;
}

// The exit code; for a converter a signal ended (POSIX: 128 + N) also the
// signal, e.g. "139 (killed by signal 11, SIGSEGV)".
std::string ExitCodeText(const TConverterRun& run) {
  std::string text = std::to_string(run.exitCode);
  if (run.signal == 0 || run.exitCode != 128 + run.signal) return text;
  const std::string name = platform::SignalName(run.signal);
  return text + " (killed by signal " + std::to_string(run.signal) +
         (name.empty() ? "" : ", " + name) + ")";
}

}  // namespace

void StopIfInterrupted() {
  if (platform::InterruptRequested()) throw EInterrupted{};
}

std::string QuotedConverter(const std::string& converter) {
  bool hasBlank = converter.find_first_of(" \t") != std::string::npos;
  bool quoted = converter.size() >= 2 && converter.front() == '"' && converter.back() == '"';
  if (!hasBlank || quoted) return converter;
  return "\"" + converter + "\"";
}

std::string ConverterCommandLine(const std::string& converter, const std::string& params) {
  return QuotedConverter(converter) + " " + params;
}

std::string LaunchCommandLine(const std::string& converter, const std::string& params,
                              std::uint32_t& errorCode) {
  if (converter.empty()) {
    // Nothing to start: the head of the line would be the first parameter.
    errorCode = kFileNotFound;
    return {};
  }
  const platform::ProgramLookup program = platform::FindProgram(converter);
  if (program.file.empty()) {
    errorCode = program.errorCode;
    return {};
  }
  if (platform::IsBatchFile(program.file)) {
    throw EkelvoError("Could not create process: " + program.file + " " + kBatchFileReason +
                      platform::kLineBreak + "Command Line: " +
                      ConverterCommandLine(converter, params));
  }
  return ConverterCommandLine(program.file, params);
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
    throw EkelvoError(PathFileName(program) + " returned errorlevel " + ExitCodeText(run) + "." +
                      platform::kLineBreak + commandLine);
  }
}

}  // namespace quorvane
