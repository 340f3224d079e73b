// The converter's time limit: the target's Timeout key, else [Config]'s.
#include <gtest/gtest.h>

#include "common/ScratchDir.h"
#include "config/Config.h"

namespace quorvane {
namespace {

TEST(Timeout, TargetThenConfigThenNoLimit) {
  const qvtest::ScratchDir dir;
  const struct { std::string ini; std::uint32_t seconds; } cases[] = {
      {"[lrf]\n", 0},
      {"[Config]\nTimeout=30\n[lrf]\n", 30},
      {"[Config]\nTimeout=30\n[LRF]\ntimeout=0\n", 0},
      {"[lrf]\nTimeout = 999999999 \n", 999999999},
      // No whole number of seconds: told on standard error, no limit.
      {"[Config]\nTimeout=30\n[lrf]\nTimeout=1.5\n", 0},
      {"[lrf]\nTimeout=9999999999\n", 0},
  };
  for (const auto& [ini, seconds] : cases) {
    TConvertOptions options;
    options.Timeout = 77;
    LookupTarget("lrf", options, dir.File("q.ini", ini));
    EXPECT_EQ(options.Timeout, seconds) << ini;
  }
  TConvertOptions options;
  options.Timeout = 77;
  LoadConfig(options, dir / "none.ini");
  EXPECT_EQ(options.Timeout, 0u);
}

}  // namespace
}  // namespace quorvane
