// The program's argument 0, kept for both builds: POSIX finds the executable
// from it when the system cannot say; Windows always knows its path and only
// shows the name.
#include <string>

#include "platform/Platform.h"

namespace quorvane::platform {

namespace {

std::string programArgument;

}  // namespace

void SetProgramArgument(const std::string& argument0) { programArgument = argument0; }
std::string ProgramArgument() { return programArgument; }

}  // namespace quorvane::platform
