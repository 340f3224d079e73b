#include "meta/ModuleState.h"

namespace quorvane {

std::string CurrentPrefix = "lrf:";
std::string CurrentUrlPrefix;
TStringList TempCopyList;

}  // namespace quorvane
