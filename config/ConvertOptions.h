// The settings of one conversion batch.
#pragma once

#include <cstdint>
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
  // Seconds a converter may run before it is stopped and its file fails;
  // 0 is no limit. The target's Timeout key, else the one of [Config].
  std::uint32_t Timeout = 0;
  // Set by -n: show each converter command instead of running it.
  bool DryRun = false;
  // Set by -u: skip a file whose output is newer than everything it is made of.
  bool UpdateOnly = false;
  // Set by -j: how many converters may run at once.
  std::uint32_t Jobs = 1;
};

}  // namespace quorvane
