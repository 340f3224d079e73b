// Entry point of qprepare.
#include <string>
#include <vector>

#include "driver/Driver.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "platform/Platform.h"
#include "regexpr/Pattern.h"

#ifdef _WIN32
// Wildcards reach the program as typed; the program searches them itself.
int _dowildcard = 0;
#endif

namespace {

// Deletes every temporary directory still recorded, however the run ends.
class ModuleCleanup {
 public:
  ModuleCleanup() = default;
  ModuleCleanup(const ModuleCleanup&) = delete;
  ModuleCleanup& operator=(const ModuleCleanup&) = delete;
  ~ModuleCleanup() {
    try {
      quorvane::DeleteTempCopies();
      quorvane::TempCopyList.Clear();
    } catch (...) {
      // Nothing may leave a destructor; the clean-up reports nothing anyway.
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  ModuleCleanup cleanup;
  quorvane::platform::InstallInterruptHandler();
  // A long page scan notices an interrupt too.
  quorvane::SetPatternPoll([] {
    if (quorvane::platform::InterruptRequested()) throw quorvane::EInterrupted{};
  });
  return quorvane::RunMain(args);
}
