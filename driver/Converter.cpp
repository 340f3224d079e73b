// Starting the converter and checking how it ended.
#include <cstdio>

#include "config/Config.h"
#include "driver/Driver.h"
#include "platform/Platform.h"
#include "util/Errors.h"
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
std::string ExitCodeText(std::int32_t exitCode) {
  std::string text = std::to_string(exitCode);
  const int signal = platform::LastProcessSignal();
  if (signal == 0 || exitCode != 128 + signal) return text;
  const std::string name = platform::SignalName(signal);
  return text + " (killed by signal " + std::to_string(signal) + (name.empty() ? "" : ", " + name) +
         ")";
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

bool RunConverter(const std::string& converter, const std::string& params,
                  std::int32_t& exitCode, std::uint32_t& errorCode) {
  platform::WriteStdout("EXEC: " + ConverterCommandLine(converter, params) +
                        platform::kLineBreak);
  const std::string commandLine = LaunchCommandLine(converter, params, errorCode);
  if (commandLine.empty()) return false;
  std::int32_t status = 0;
  if (!platform::RunProcess(commandLine, status, errorCode)) return false;
  exitCode = status;
  return true;
}

std::string SystemErrorText(std::uint32_t code) {
  std::string text = platform::SystemMessage(code);
  return text.empty() ? "?" : text;
}

void CheckConverterResult(bool started, std::int32_t exitCode, std::uint32_t errorCode,
                          const std::string& converter, const std::string& params) {
  const std::string commandLine =
      std::string("Command Line: ") + ConverterCommandLine(converter, params);
  if (!started) {
    throw EkelvoError("Could not create process: (" + UpperHex(errorCode) + ") " +
                      SystemErrorText(errorCode) + "." + platform::kLineBreak + commandLine);
  }
  if (exitCode != 0) {
    std::string program = converter;
    if (program.size() >= 2 && program.front() == '"' && program.back() == '"')
      program = program.substr(1, program.size() - 2);
    throw EkelvoError(PathFileName(program) + " returned errorlevel " + ExitCodeText(exitCode) +
                      "." + platform::kLineBreak + commandLine);
  }
}

}  // namespace quorvane
