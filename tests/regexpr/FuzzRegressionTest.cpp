// Replays the saved fuzz inputs through the fuzz target's own checks: the
// reproducers of past findings (fuzz/regressions/) and the seed corpus
// (fuzz/corpus/).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/Harness.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const char* folder) {
  std::vector<fs::path> files;
  fs::path dir = fs::path(QV_TEST_SOURCE_DIR) / ".." / "fuzz" / folder;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Replay(const char* folder) {
  std::vector<fs::path> files = FilesIn(folder);
  ASSERT_FALSE(files.empty()) << "no inputs in fuzz/" << folder;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::string data = ReadBytes(file);
    EXPECT_EQ(quorvane::fuzz::RunFuzzInput(reinterpret_cast<const std::uint8_t*>(data.data()),
                                           data.size()),
              "");
  }
}

TEST(FuzzRegression, Reproducers) { Replay("regressions"); }

TEST(FuzzRegression, Corpus) { Replay("corpus"); }

TEST(FuzzRegression, InputLayout) {
  using quorvane::fuzz::SplitInput;
  auto in = SplitInput(std::string("isg\n(a)\0ab\0c", 12));
  EXPECT_EQ(in.header, "isg");
  EXPECT_EQ(in.pattern, "(a)");
  EXPECT_EQ(in.subject, std::string("ab\0c", 4));
  in = SplitInput("a\nb");
  EXPECT_EQ(in.header, "a");
  EXPECT_EQ(in.pattern, "b");
  EXPECT_EQ(in.subject, "");
  in = SplitInput(std::string("x\0y\nz", 5));
  EXPECT_EQ(in.header, "");
  EXPECT_EQ(in.pattern, "x");
  EXPECT_EQ(in.subject, "y\nz");
}

}  // namespace
