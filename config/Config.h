// The INI file beside the executable: built-in defaults, the Config section
// and the target sections.
#pragma once

#include <memory>
#include <string>

#include "config/ConvertOptions.h"

namespace quorvane {

// The command-line template used when the INI file names none.
inline constexpr const char* kBuiltInTemplate = "%PARAMS% --output=\"%OUTPUT%\" \"%INPUT%\"";

// A reader of one INI file; every lookup reads the file afresh.
class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

// The executable's path with its extension replaced by ".ini".
std::string ConfigFileName();
// The reader for the INI file, or nothing when the file does not exist.
std::unique_ptr<TIniFile> OpenConfigFile();
void LoadConfig(TConvertOptions& options);
// The target looked up before any -t: DefaultTarget of the Config section,
// "lrf" when the file or the key is missing.
std::string DefaultTargetName(const std::string& fileName = ConfigFileName());
bool LookupTarget(const std::string& name, TConvertOptions& options);

// The same operations on a named INI file instead of the one beside the
// executable (the ones above pass ConfigFileName()).
std::unique_ptr<TIniFile> OpenConfigFile(const std::string& fileName);
void LoadConfig(TConvertOptions& options, const std::string& fileName);
bool LookupTarget(const std::string& name, TConvertOptions& options,
                  const std::string& fileName);

}  // namespace quorvane
