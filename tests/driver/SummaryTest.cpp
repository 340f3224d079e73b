// The summary line at the end of a run.
#include <gtest/gtest.h>

#include "driver/Driver.h"

namespace quorvane {
namespace {

TEST(Summary, SaysWhatHappenedLeavingOutNoise) {
  const struct { TRunTally tally; std::string ending, line; } cases[] = {
      {{.converted = 3}, "", "3 converted, 0 failed"},
      {{.converted = 1, .upToDate = 2, .failed = 1, .errorLogs = {"e.log"}}, "",
       "1 converted, 2 up to date, 1 failed, errors in e.log"},
      // A dry run converts nothing, so it does not say so.
      {{.shown = 2, .failed = 1, .errorLogs = {"a", "b"}}, "",
       "2 would be converted, 1 failed, errors in a and b"},
      {{.converted = 1, .shown = 2}, "", "1 converted, 2 would be converted, 0 failed"},
      {{.failed = 1}, "stopped at the first error", "0 converted, 1 failed, stopped at the first error"},
      {{.converted = 2}, "interrupted", "2 converted, 0 failed, interrupted"},
  };
  for (const auto& c : cases) EXPECT_EQ(SummaryLine(c.tally, c.ending), c.line);
}

}  // namespace
}  // namespace quorvane
