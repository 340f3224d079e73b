// Reading the INI file beside the executable into the conversion settings.
#include "config/Config.h"

#include <exception>

#include "platform/Platform.h"
#include "util/Ascii.h"
#include "util/Path.h"

namespace quorvane {

namespace {

constexpr const char* kConfigSection = "Config";
constexpr const char* kBuiltInTarget = "lrf";

// The converter's time limit of a target: its Timeout key, else the one of
// [Config]; missing, empty or 0 is no limit. A value that is no whole number
// of seconds is told on standard error and sets no limit.
std::uint32_t ReadTimeout(const TIniFile& ini, const std::string& target) {
  const std::string configValue = ini.ReadString(kConfigSection, "Timeout", "");
  const std::string value = ini.ReadString(target, "Timeout", configValue);
  std::uint64_t seconds = 0;
  bool valid = value.size() <= 9;  // up to 31 years
  for (char c : value) {
    valid = valid && c >= '0' && c <= '9';
    seconds = seconds * 10 + static_cast<unsigned char>(c - '0');
  }
  if (valid) return static_cast<std::uint32_t>(seconds);
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

  std::string defaultTarget = kBuiltInTarget;
  if (std::unique_ptr<TIniFile> ini = OpenConfigFile(fileName)) {
    // These two reads are silent: whatever failed keeps what stood before.
    try {
      defaultTarget = ini->ReadString(kConfigSection, "DefaultTarget", defaultTarget);
      options.AbsoluteLocalUrlPrefix = ini->ReadString(kConfigSection, "AbsoluteLocalUrlPrefix",
                                                       options.AbsoluteLocalUrlPrefix);
    } catch (const std::exception&) {
    }
  }
  // An invalid default target is not reported here.
  LookupTarget(defaultTarget, options, fileName);
}

bool LookupTarget(const std::string& name, TConvertOptions& options) {
  return LookupTarget(name, options, ConfigFileName());
}

bool LookupTarget(const std::string& name, TConvertOptions& options,
                  const std::string& fileName) {
  if (name.empty()) return false;
  std::unique_ptr<TIniFile> ini = OpenConfigFile(fileName);
  if (!ini) return false;

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

  // A relative converter path is taken relative to the current directory.
  return !options.Converter.empty() && IsExistingFile(options.Converter);
}

}  // namespace quorvane
