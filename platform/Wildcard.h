// Name matching for directory searches, the way the Windows search reads a
// mask: `*` matches any run of characters, `?` exactly one, letters match
// without regard to case (ASCII), and a mask ending in ".*" also matches the
// name without that ending, so "*.*" matches every name.
#pragma once

#include <string_view>

namespace quorvane::platform {

bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace quorvane::platform
