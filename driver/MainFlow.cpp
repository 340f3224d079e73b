// The program's main flow: arguments left to right, exit codes, final report.
#include <cstdio>
#include <optional>

#include "config/Config.h"
#include "driver/Driver.h"
#include "platform/Platform.h"
#include "base/Ascii.h"
#include "base/Errors.h"
#include "util/Files.h"
#include "util/Text.h"

namespace quorvane {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitInvalidTarget = 2;

// The usage text, line by line; "{exe}" stands for the executable's name and
// "{target}" for the default target. Two lines end with a blank on purpose.
// --help adds kOptionLines after the head.
constexpr const char* kUsageHead[] = {
    ("Quorvane Prepare v" QV_VERSION),
    "",
    "Syntax: {exe} [-r[+]] [-t <target>] [-o <dir>] [-e <file>] <wildcard>",
    "",
    "Generates a command line for HTML2LRF.EXE or other converters in Calibre",
    "using HTML metadata to do so.",
    "Parameter -t, if used, sets the conversion target (default: {target})",
    "Parameter -r, if used, forces recursive scan (check subdirectories). If -r+",
    "  is used, the directory structure is used for output files also.",
    "Parameter -o, if used, specifies directory where the output files should",
    "  be placed. Default value is the current working directory.",
    "Parameter -e, if used, forces errors to a logfile <file>. In that case the",
    "  conversion doesn't stop on first error as usual but continues with next",
    "  file.",
};
constexpr const char* kOptionLines[] = {
    "Parameter -n, if used, shows the command lines without running the",
    "  converter (dry run); no output file or directory is made.",
    "Parameter -u, if used, skips files whose output is newer than the file,",
    "  its includes, the files they name and the INI file.",
    "Parameter -j <n>, if used, runs up to <n> (1 to 64) converters at once.",
#ifdef _WIN32
    "Parameter --help (or -h, -? or /?) shows this text, --version the version.",
#else
    "Parameter --help (or -h or -?) shows this text, --version the version.",
#endif
};
constexpr const char* kUsageTail[] = {
    "",
    "Two special <META> syntaxes are supported:",
    "  <META NAME=\"@include\" CONTENT=\"<path>\">",
    "  <META NAME=\"lrf:@include\" CONTENT=\"<path>\">",
    "      ... include another file here for metadata extraction (can be nested).",
    "  <META NAME=\"lrf:<parameter>\" CONTENT=\"<value>\">",
    "      ... specify command line parameter for HTML2LRF, including the leading",
    "          -- or -. <value> can contain several replacement characters: ",
    "           %% => gets replaced by a single %",
    "           %r => removes the whole parameter (use to suppress a default)",
    "           %f => full path to a file from <wildcard> (NOT the included file)",
    "           %d => drive of the file from <wildcard>",
    "           %p => full path (including drive) to the file from <wildcard>",
    "           %n => filename without extension of the file from <wildcard>",
    "           %x => extension of the file from <wildcard>",
    "           %e => empty string",
    "          HTML entities &amp;, &lt;, &gt; and &quot; are also supported.",
    "Instead of \"lrf:\" other prefixes for different targets are possible - see ",
    "INI file for possible prefixes; \"*:\" can also be used for \"any target\".",
};

#ifdef _WIN32
constexpr const char* kBuildName = "Windows";
#else
constexpr const char* kBuildName = "POSIX";
#endif

std::string ExecutableName() {
  const std::string path = platform::ExecutablePath();
  return PathFileName(path.empty() ? platform::ProgramArgument() : path);
}

void PrintLine(const std::string& text) { platform::WriteStdout(text + platform::kLineBreak); }

void PrintNote(const std::string& text) { platform::WriteStderr(text + platform::kLineBreak); }

// Deletes an earlier error log. Only a regular file is deleted: any other
// entry of that name (a directory, a link, a device, a pipe) stays as it is,
// and the run ends before it converts anything more.
bool DeleteOldErrorLog(const std::string& path) {
  switch (platform::EntryKindOf(path)) {
    case platform::EntryKind::Missing:
      return true;
    case platform::EntryKind::RegularFile:
      DeleteFileNamed(path);
      return true;
    default:
      PrintNote("Cannot use " + path + " as error log: it is not a regular file.");
      return false;
  }
}

// -j's value: a whole number from 1 to kMaxJobs, in decimal digits.
constexpr std::uint32_t kMaxJobs = platform::Process::kMaxWaited;
std::optional<std::uint32_t> JobCount(const std::string& value) {
  const std::optional<std::uint32_t> jobs = DecimalNumber(value);
  if (!jobs || *jobs < 1 || *jobs > kMaxJobs) return std::nullopt;
  return jobs;
}

int ShowUsage() {
  PrintLine(UsageText(ExecutableName()));
  return kExitFailed;
}

bool IsHelpOption(const std::string& arg) {
#ifdef _WIN32
  if (arg == "/?") return true;
#endif
  return SameTextNoCase(arg, "--help") || SameTextNoCase(arg, "-h") || arg == "-?";
}

// A code location for the final report; its value means nothing outside the
// process.
std::uintptr_t ReportLocation() { return reinterpret_cast<std::uintptr_t>(&RunMain); }

// Handles the arguments; returns the exit code. Errors that end the run
// leave it as exceptions.
int HandleArguments(const std::vector<std::string>& args) {
  if (args.empty()) return ShowUsage();
  // The INI file lies beside the executable; without its path there is none
  // to read, and one from the current directory must never stand in for it.
  if (platform::ExecutablePath().empty()) {
    PrintNote("Cannot find the path of this program (" + ExecutableName() +
              ") to read its INI file; start it by its full path.");
    return kExitFailed;
  }

  TConvertOptions RunOptions;
  LoadConfig(RunOptions);

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (SameTextNoCase(arg, "-r")) {
      RunOptions.Recursive = true;
    } else if (SameTextNoCase(arg, "-r+")) {
      RunOptions.Recursive = true;
      RunOptions.KeepDirStructure = true;
    } else if (SameTextNoCase(arg, "-n")) {
      RunOptions.DryRun = true;
    } else if (SameTextNoCase(arg, "-u")) {
      RunOptions.UpdateOnly = true;
    } else if (IsHelpOption(arg)) {
      PrintLine(HelpText(ExecutableName(), DefaultTargetName()));
      return kExitOk;
    } else if (SameTextNoCase(arg, "--version")) {
      PrintLine(VersionText());
      return kExitOk;
    } else if (SameTextNoCase(arg, "-o") || SameTextNoCase(arg, "-e") ||
               SameTextNoCase(arg, "-t") || SameTextNoCase(arg, "-j")) {
      if (i + 1 == args.size()) return ShowUsage();
      const std::string& value = args[++i];
      if (SameTextNoCase(arg, "-j")) {
        const std::optional<std::uint32_t> jobs = JobCount(value);
        if (!jobs) {
          PrintNote(arg + " " + value + ": the number of converters to run at once must be a " +
                    "whole number from 1 to " + std::to_string(kMaxJobs) + ".");
          return kExitFailed;
        }
        RunOptions.Jobs = *jobs;
      } else if (SameTextNoCase(arg, "-o")) {
        RunOptions.OutputDir = value;
      } else if (SameTextNoCase(arg, "-e")) {
        RunOptions.ErrorLog = value;
        if (!DeleteOldErrorLog(value)) return kExitFailed;
      } else if (std::string whyInvalid; !LookupTarget(value, RunOptions, &whyInvalid)) {
        PrintLine(value + " is not a valid target for conversion. Check your INI file.");
        platform::WriteStderr(whyInvalid + platform::kLineBreak);
        return kExitInvalidTarget;
      }
    } else {
      StopIfInterrupted();
      const std::string full = FullPath(arg);
      RunOptions.SourceDir = PathDirectory(full);
      RunOptions.FileMask = PathFileName(full);
      ++RunTally.wildcards;
      const int matchedBefore = RunTally.matched;
      ConvertDirectory(RunOptions);
      if (RunTally.matched == matchedBefore)
        platform::WriteStderr("No file matches " + arg + "." + platform::kLineBreak);
    }
  }
  return kExitOk;
}

void PrintFinalReport(const char* kindName, const std::string& message) {
  PrintLine(FinalReport(kindName, message, ExecutableName(), ReportLocation()));
}

}  // namespace

namespace {

template <std::size_t N>
void AddLines(std::string& text, const char* const (&lines)[N], const std::string& executableName,
              const std::string& target) {
  for (const char* line : lines) {
    std::string l = line;
    if (auto at = l.find("{exe}"); at != std::string::npos) l.replace(at, 5, executableName);
    if (auto at = l.find("{target}"); at != std::string::npos) l.replace(at, 8, target);
    text += l + platform::kLineBreak;
  }
}

}  // namespace

std::string UsageText(const std::string& executableName) {
  std::string text;
  AddLines(text, kUsageHead, executableName, "LRF");
  AddLines(text, kUsageTail, executableName, "");
  return text;
}

std::string HelpText(const std::string& executableName, const std::string& defaultTarget) {
  std::string text;
  AddLines(text, kUsageHead, executableName,
           defaultTarget.empty() ? "none" : AsciiUpperText(defaultTarget));
  AddLines(text, kOptionLines, executableName, "");
  AddLines(text, kUsageTail, executableName, "");
  return text;
}

std::string VersionText() {
  return std::string("Quorvane Prepare ") + QV_VERSION + " (" + kBuildName + " build)";
}

std::string FinalReport(const std::string& kindName, const std::string& message,
                        const std::string& moduleName, std::uintptr_t location) {
  char address[16];
  std::snprintf(address, sizeof address, "%08X", static_cast<unsigned>(location & 0xFFFFFFFFu));
  std::string text = "Exception " + kindName + " in module " + moduleName + " at " + address +
                     "." + platform::kLineBreak + message;
  if (message.empty() || message.back() != '.') text += ".";
  return text;
}

namespace {

// The run itself; ending tells the summary why a run ended early.
int RunArguments(const std::vector<std::string>& args, std::string& ending) {
  try {
    const int exitCode = HandleArguments(args);
    // Errors that the log was to keep and could not: the run is no success.
    return exitCode == kExitOk && ErrorLogFailed() ? kExitFailed : exitCode;
  } catch (const EInterrupted&) {
    // Standard output may be the pipe whose closing stopped the run.
    const std::string line = std::string(kInterruptedMessage) + platform::kLineBreak;
    if (!platform::WriteStdout(line)) platform::WriteStderr(line);
    ending = "interrupted";
    return kInterruptedExitCode;
  } catch (const Exception& error) {
    PrintFinalReport(error.KindName(), error.what());
  } catch (const std::exception& error) {
    PrintFinalReport("Exception", error.what());
  } catch (...) {
    PrintFinalReport("Exception", "Unknown error");
  }
  ending = "stopped at the first error";
  return kExitFailed;
}

}  // namespace

int RunMain(const std::vector<std::string>& args) {
  RunTally = TRunTally();
  std::string ending;
  const int exitCode = RunArguments(args, ending);
  if (RunTally.wildcards > 0)
    platform::WriteStderr(SummaryLine(RunTally, ending) + platform::kLineBreak);
  return exitCode;
}

}  // namespace quorvane
