// Replays the saved fuzz inputs through the fuzz target's own checks: the
// reproducers of past findings and the seed corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/Helpers.h"
#include "fuzz/Harness.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzRegression, SavedInputsPassTheTargetsChecks) {
  for (const char* folder : {"regressions", "corpus"}) {
    std::vector<fs::path> files;
    std::error_code ec;
    const fs::path dir = fs::path(QV_TEST_SOURCE_DIR) / ".." / "fuzz" / folder;
    for (const auto& entry : fs::directory_iterator(dir, ec))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    EXPECT_FALSE(files.empty()) << "no inputs in fuzz/" << folder;
    for (const fs::path& file : files) {
      SCOPED_TRACE(file.filename().string());
      const std::string data = qvtest::ReadFile(file.string());
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
      EXPECT_EQ(quorvane::fuzz::RunFuzzInput(bytes, data.size()), "");
    }
  }
}

}  // namespace
