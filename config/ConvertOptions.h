// The settings of one conversion batch.
#pragma once

#include <string>

namespace quorvane {

struct TConvertOptions {
  std::string Converter;
  std::string CommandLine;
  std::string SourceDir;
  std::string FileMask;
  bool Recursive = false;
  std::string Prefix;
  std::string OutputDir;
  bool KeepDirStructure = false;
  std::string Extension;
  std::string ErrorLog;
  std::string AbsoluteLocalUrlPrefix;
};

}  // namespace quorvane
