// Reading the INI file beside the executable into the conversion settings.
#include "config/Config.h"

#include <exception>
#include <optional>

#include "base/Ascii.h"
#include "platform/Platform.h"
#include "util/Files.h"
#include "util/Text.h"

namespace quorvane {

namespace {

constexpr const char* kConfigSection = "Config";
constexpr const char* kBuiltInTarget = "lrf";

// Why the converter would not start, as a sentence; empty when it starts.
std::string ConverterProblem(const std::string& converter, const std::string& iniFile) {
  if (converter.empty()) return "Converter in " + iniFile + " is empty.";
  const platform::ProgramLookup program = platform::FindProgram(converter);
  const std::string key = "Converter " + converter + " in " + iniFile;
  if (!program.file.empty()) {
    if (platform::IsBatchFile(program.file))
      return key + ": " + program.file + " " + kBatchFileReason;
    return {};
  }
  if (!program.undefinedVariable.empty())
    return key + " uses the environment variable " + program.undefinedVariable +
           ", which is not set.";
  if (IsExistingDirectory(program.expanded)) return key + " is a directory.";
  if (program.searched)
    return key + " is found neither in the current directory nor on PATH.";
  return key + " does not exist.";
}

// The converter's time limit of a target: its Timeout key, else the one of
// [Config]; missing, empty or 0 is no limit. A value that is no whole number
// of seconds is told on standard error and sets no limit.
std::uint32_t ReadTimeout(const TIniFile& ini, const std::string& target) {
  const std::string configValue = ini.ReadString(kConfigSection, "Timeout", "");
  const std::string value = ini.ReadString(target, "Timeout", configValue);
  if (value.empty()) return 0;
  if (value.size() <= 9) {  // up to 31 years
    if (const std::optional<std::uint32_t> seconds = DecimalNumber(value)) return *seconds;
  }
  platform::WriteStderr("Timeout=" + value + " for target " + target + " in " + ini.FileName() +
                        " is not a whole number of seconds; the converter runs without a "
                        "time limit." + platform::kLineBreak);
  return 0;
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  return platform::ReadProfileString(fileName_, section, key, defaultValue);
}

std::string ConfigFileName() {
  // Without the executable's own path there is no INI file: never ".ini" in
  // the current directory.
  const std::string executable = platform::ExecutablePath();
  return executable.empty() ? std::string() : ReplaceExtension(executable, ".ini");
}

std::unique_ptr<TIniFile> OpenConfigFile() { return OpenConfigFile(ConfigFileName()); }

std::unique_ptr<TIniFile> OpenConfigFile(const std::string& fileName) {
  if (!IsExistingFile(fileName)) return nullptr;
  return std::make_unique<TIniFile>(fileName);
}

void LoadConfig(TConvertOptions& options) { LoadConfig(options, ConfigFileName()); }

void LoadConfig(TConvertOptions& options, const std::string& fileName) {
  options.Converter.clear();
  options.CommandLine = kBuiltInTemplate;
  options.SourceDir = std::string(".") + PathSeparator();
  options.FileMask.clear();
  options.Recursive = false;
  options.Prefix = std::string(kBuiltInTarget) + ":";
  options.OutputDir = platform::CurrentDirectory();
  options.KeepDirStructure = false;
  options.Extension = std::string(".") + kBuiltInTarget;
  options.ErrorLog.clear();
  options.AbsoluteLocalUrlPrefix = "file:///";
  options.Timeout = 0;

  const std::string defaultTarget = DefaultTargetName(fileName);
  if (std::unique_ptr<TIniFile> ini = OpenConfigFile(fileName)) {
    // A silent read: if it fails, the built-in value stands.
    try {
      options.AbsoluteLocalUrlPrefix = ini->ReadString(kConfigSection, "AbsoluteLocalUrlPrefix",
                                                       options.AbsoluteLocalUrlPrefix);
    } catch (const std::exception&) {
    }
  }
  // An invalid default target is not reported here.
  LookupTarget(defaultTarget, options, fileName);
}

std::string DefaultTargetName(const std::string& fileName) {
  if (std::unique_ptr<TIniFile> ini = OpenConfigFile(fileName)) {
    try {
      return ini->ReadString(kConfigSection, "DefaultTarget", kBuiltInTarget);
    } catch (const std::exception&) {
      // A silent read, as every Config key.
    }
  }
  return kBuiltInTarget;
}

bool LookupTarget(const std::string& name, TConvertOptions& options, std::string* whyInvalid) {
  return LookupTarget(name, options, ConfigFileName(), whyInvalid);
}

bool LookupTarget(const std::string& name, TConvertOptions& options,
                  const std::string& fileName, std::string* whyInvalid) {
  std::string problem;
  if (!whyInvalid) whyInvalid = &problem;
  if (name.empty()) {
    *whyInvalid = "No target name was given.";
    return false;
  }
  std::unique_ptr<TIniFile> ini = OpenConfigFile(fileName);
  if (!ini) {
    *whyInvalid = "The INI file " + fileName + " does not exist.";
    return false;
  }

  const std::string lowerName = AsciiLowerText(name);  // only A to Z are lowered
  const std::string configConverter = ini->ReadString(kConfigSection, "Converter", "");
  options.Converter = ini->ReadString(name, "Converter", configConverter);
  const std::string configTemplate =
      ini->ReadString(kConfigSection, "CommandLine", kBuiltInTemplate);
  options.CommandLine = ini->ReadString(name, "CommandLine", configTemplate);
  options.Prefix = ini->ReadString(name, "Prefix", lowerName + ":");
  options.Extension = ini->ReadString(name, "Extension", "." + lowerName);
  options.Timeout = ReadTimeout(*ini, name);
  ini.reset();

  *whyInvalid = ConverterProblem(options.Converter, fileName);
  return whyInvalid->empty();
}

}  // namespace quorvane
