// A child program with its output captured in a file (Windows).
#include <windows.h>

#include <map>

#include "platform/ChildProcess.h"
#include "platform/Platform.h"
#include "platform/win32/Handle.h"
#include "base/Ascii.h"

namespace quorvane::platform {

namespace {

// One argument as the C runtime's command-line parser reads it back.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') quoted.append(backslashes * 2 + 1, '\\');
    else quoted.append(backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

// This process's environment with the extra entries put in, as a block of
// NUL-terminated entries ended by one more NUL.
std::string EnvironmentBlock(const std::vector<std::string>& extra) {
  std::map<std::string, std::string> entries;  // upper-case name -> entry
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p; p += std::char_traits<char>::length(p) + 1) {
      std::string entry = p;
      // Entries such as "=C:=C:\dir" keep their leading '='.
      std::size_t eq = entry.find('=', 1);
      entries[AsciiUpperText(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsA(block);
  }
  for (const auto& entry : extra) entries[AsciiUpperText(entry.substr(0, entry.find('=')))] = entry;
  std::string result;
  for (const auto& [name, entry] : entries) {
    result += entry;
    result += '\0';
  }
  result += '\0';
  return result;
}

}  // namespace

struct ChildProcess::State {
  Handle process;
  bool waited = true;
  std::int32_t status = 0;
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
  if (!state_->waited) Wait();
}

bool ChildProcess::Start(const std::vector<std::string>& args, const std::string& outputFile,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& extraEnvironment,
                         std::uint32_t& errorCode, const std::string& errorFile) {
  if (args.empty() || !state_->waited) {
    errorCode = ERROR_INVALID_PARAMETER;
    return false;
  }
  std::string commandLine;
  for (const auto& arg : args) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += QuoteArgument(arg);
  }

  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  Handle output(CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output.ok()) {
    errorCode = GetLastError();
    return false;
  }
  Handle error;
  if (!errorFile.empty()) {
    error.reset(CreateFileA(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!error.ok()) {
      errorCode = GetLastError();
      return false;
    }
  }
  Handle input(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr));

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.get();
  startup.hStdOutput = output.get();
  startup.hStdError = errorFile.empty() ? output.get() : error.get();

  std::string environment = EnvironmentBlock(extraEnvironment);
  std::string mutableLine = commandLine;
  PROCESS_INFORMATION info{};
  // A group of its own, in which Ctrl-C is off: interrupting the tests does
  // not stop the program under test halfway.
  if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE,
                      CREATE_NEW_PROCESS_GROUP,
                      environment.data(),
                      workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                      &info)) {
    errorCode = GetLastError();
    return false;
  }
  CloseHandle(info.hThread);
  state_->process.reset(info.hProcess);
  state_->waited = false;
  return true;
}

std::int32_t ChildProcess::Wait() {
  if (state_->waited) return state_->status;
  WaitForSingleObject(state_->process.get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(state_->process.get(), &code)) code = static_cast<DWORD>(-1);
  state_->process.reset(nullptr);
  state_->waited = true;
  state_->status = static_cast<std::int32_t>(code);
  return state_->status;
}

}  // namespace quorvane::platform
