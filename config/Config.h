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
// Reads the target's section into options and tells whether the target is
// valid: its converter is found as the launch finds it (platform::FindProgram)
// and is no batch file. When it is not valid and whyInvalid is given, that
// receives the reason as a sentence naming the INI file and the key.
bool LookupTarget(const std::string& name, TConvertOptions& options,
                  std::string* whyInvalid = nullptr);

// The same operations on a named INI file instead of the one beside the
// executable (the ones above pass ConfigFileName()).
std::unique_ptr<TIniFile> OpenConfigFile(const std::string& fileName);
void LoadConfig(TConvertOptions& options, const std::string& fileName);
bool LookupTarget(const std::string& name, TConvertOptions& options,
                  const std::string& fileName, std::string* whyInvalid = nullptr);

// Why a converter cannot be started: a batch file would run through cmd.exe,
// which reads &, | and > in the arguments (page names, meta values) as
// commands.
inline constexpr const char* kBatchFileReason =
    "is a batch file, which Windows runs through the command interpreter; "
    "name a program (.exe) instead.";

}  // namespace quorvane
