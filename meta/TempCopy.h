// Temporary copies with absolute links, and their deletion.
#pragma once

#include <string>

namespace quorvane {

std::string RewriteLinks(const std::string& text, const std::string& baseFile);
std::string TempDirectory();
std::string UniqueTempName(const std::string& directory, const std::string& prefix);
std::string WriteTempCopy(const std::string& inputPath, const std::string& document);
void DeleteTree(const std::string& directory);
void DeleteTempCopies();

}  // namespace quorvane
