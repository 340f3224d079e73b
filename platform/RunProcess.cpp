// What both builds make of Process's own operations.
#include "platform/Platform.h"

namespace quorvane::platform {

bool Process::Wait(std::uint32_t timeoutMs) { return WaitForAny({this}, timeoutMs) != npos; }

void Process::Terminate() { TerminateAll({this}); }

bool RunProcess(const std::string& commandLine, std::int32_t& exitCode,
                std::uint32_t& errorCode) {
  Process process;
  if (!process.Start(commandLine, errorCode)) return false;
  while (!process.Wait(200)) {
  }
  exitCode = process.ExitStatus();
  return true;
}

}  // namespace quorvane::platform
