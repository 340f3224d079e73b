// Temporary copies of the pages, and their deletion.
#pragma once

#include <string>

namespace quorvane {

std::string TempDirectory();
std::string WriteTempCopy(const std::string& inputPath, const std::string& document);
void DeleteTree(const std::string& directory);
void DeleteTempCopies();

}  // namespace quorvane
