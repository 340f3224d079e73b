// libFuzzer entry: every input is one pattern, its modifiers and a subject
// (layout in Harness.h). A failed check aborts, so the fuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

#include "fuzz/Harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string fault = quorvane::fuzz::RunFuzzInput(data, size);
  if (!fault.empty()) {
    std::fprintf(stderr, "regex fuzz check failed: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
