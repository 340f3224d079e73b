// The converter's argument text for one input file.
#pragma once

#include <string>

namespace quorvane {

std::string BuildCommandLine(const std::string& sourceDir, const std::string& relFile,
                             const std::string& extension, const std::string& outputDir,
                             const std::string& commandLine, bool keepDirStructure);

}  // namespace quorvane
