// Running a program to its end, on top of Process.
#include "platform/Platform.h"

namespace quorvane::platform {

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
