// The program's main flow: arguments left to right, exit codes, final report.
#include <cstdio>

#include "config/Config.h"
#include "driver/Driver.h"
#include "platform/Platform.h"
#include "util/Errors.h"
#include "util/Path.h"
#include "util/Text.h"

namespace quorvane {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitInvalidTarget = 2;

// The usage text, line by line; "{exe}" stands for the executable's name.
// Two lines end with a blank on purpose.
constexpr const char* kUsageLines[] = {
    "Quorvane Prepare v0.12",
    "",
    "Syntax: {exe} [-r[+]] [-t <target>] [-o <dir>] [-e <file>] <wildcard>",
    "",
    "Generates a command line for HTML2LRF.EXE or other converters in Calibre",
    "using HTML metadata to do so.",
    "Parameter -t, if used, sets the conversion target (default: LRF)",
    "Parameter -r, if used, forces recursive scan (check subdirectories). If -r+",
    "  is used, the directory structure is used for output files also.",
    "Parameter -o, if used, specifies directory where the output files should",
    "  be placed. Default value is the current working directory.",
    "Parameter -e, if used, forces errors to a logfile <file>. In that case the",
    "  conversion doesn't stop on first error as usual but continues with next",
    "  file.",
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

int ShowUsage() {
  PrintLine(UsageText(ExecutableName()));
  return kExitFailed;
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
    } else if (SameTextNoCase(arg, "-o") || SameTextNoCase(arg, "-e") ||
               SameTextNoCase(arg, "-t")) {
      if (i + 1 == args.size()) return ShowUsage();
      const std::string& value = args[++i];
      if (SameTextNoCase(arg, "-o")) {
        RunOptions.OutputDir = value;
      } else if (SameTextNoCase(arg, "-e")) {
        RunOptions.ErrorLog = value;
        if (!DeleteOldErrorLog(value)) return kExitFailed;
      } else if (!LookupTarget(value, RunOptions)) {
        PrintLine(value + " is not a valid target for conversion. Check your INI file.");
        return kExitInvalidTarget;
      }
    } else {
      StopIfInterrupted();
      const std::string full = FullPath(arg);
      RunOptions.SourceDir = PathDirectory(full);
      RunOptions.FileMask = PathFileName(full);
      ConvertDirectory(RunOptions);
    }
  }
  return kExitOk;
}

void PrintFinalReport(const char* kindName, const std::string& message) {
  PrintLine(FinalReport(kindName, message, ExecutableName(), ReportLocation()));
}

}  // namespace

std::string UsageText(const std::string& executableName) {
  std::string text;
  for (const char* line : kUsageLines) {
    std::string l = line;
    if (auto at = l.find("{exe}"); at != std::string::npos) l.replace(at, 5, executableName);
    text += l + platform::kLineBreak;
  }
  return text;
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

int RunMain(const std::vector<std::string>& args) {
  try {
    const int exitCode = HandleArguments(args);
    // Errors that the log was to keep and could not: the run is no success.
    return exitCode == kExitOk && ErrorLogFailed() ? kExitFailed : exitCode;
  } catch (const EInterrupted&) {
    // Standard output may be the pipe whose closing stopped the run.
    const std::string line = std::string(kInterruptedMessage) + platform::kLineBreak;
    if (!platform::WriteStdout(line)) platform::WriteStderr(line);
    return kInterruptedExitCode;
  } catch (const Exception& error) {
    PrintFinalReport(error.KindName(), error.what());
  } catch (const std::exception& error) {
    PrintFinalReport("Exception", error.what());
  } catch (...) {
    PrintFinalReport("Exception", "Unknown error");
  }
  return kExitFailed;
}

}  // namespace quorvane
