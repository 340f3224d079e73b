// Entry point of qprepare.
#include <string>
#include <vector>

#include "driver/Driver.h"
#include "platform/Platform.h"
#include "regexpr/Pattern.h"

#ifdef _WIN32
// Wildcards reach the program as typed; the program searches them itself.
int _dowildcard = 0;
#endif

int main(int argc, char** argv) {
  quorvane::platform::SetProgramArgument(argc > 0 ? argv[0] : "");
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const quorvane::TempCopiesCleanup cleanup;  // however the run ends
  quorvane::platform::InstallInterruptHandler();
  // A long page scan notices an interrupt too.
  quorvane::SetPatternPoll([] {
    if (quorvane::platform::InterruptRequested()) throw quorvane::EInterrupted{};
  });
  return quorvane::RunMain(args);
}
