// Module-level state of the run, shared by the batch and the page scans.
#pragma once

#include <string>

#include "util/StringList.h"

namespace quorvane {

// Meta-name prefix in force ("lrf:" at start-up, then set by every batch).
extern std::string CurrentPrefix;
// Prefix of absolute local URLs in force (empty at start-up).
extern std::string CurrentUrlPrefix;
// Temporary directories still to be deleted, in the order of their creation.
extern TStringList TempCopyList;

}  // namespace quorvane
