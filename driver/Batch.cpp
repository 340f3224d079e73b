// The batch over the files of one wildcard, and the error log.
#include <set>

#include "driver/Driver.h"
#include "meta/CommandLine.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "platform/Platform.h"
#include "util/Errors.h"
#include "util/Path.h"

namespace quorvane {

namespace {

// Error logs that could not be written in this run; each is told once.
std::set<std::string> failedLogs;

const char* KindNameOf(const std::exception& error) {
  if (const auto* own = dynamic_cast<const Exception*>(&error)) return own->KindName();
  return "Exception";
}

// Steps of one file; any error leaves to the per-file guard.
void ConvertFile(const TConvertOptions& options, const std::string& relFile) {
  // The file's temporary copy goes when the file ends, however it ends.
  const TempCopiesCleanup copies;
  const std::string params =
      BuildCommandLine(options.SourceDir, relFile, options.Extension, options.OutputDir,
                       options.CommandLine, options.KeepDirStructure);
  const TConverterRun run = RunConverter(options.Converter, params, options.Timeout);
  // A converter stopped by the user's interrupt is no failed file.
  StopIfInterrupted();
  CheckConverterResult(run, options.Converter, params);
}

// The output directory inside the walked tree holds what the batch wrote;
// the walk never enters it.
bool IsOutputDirectory(const TConvertOptions& options, const std::string& directory) {
  return SameExistingEntry(directory, options.OutputDir).value_or(false);
}

}  // namespace

TempCopiesCleanup::~TempCopiesCleanup() {
  try {
    DeleteTempCopies();
  } catch (...) {
    // Nothing may leave a destructor; the deletion reports nothing anyway.
  }
}

std::string ErrorBlock(const std::string& kindName, const std::string& message,
                       const std::string& filePath) {
  const std::string nl = platform::kLineBreak;
  return nl + "ERROR " + kindName + " WHILE CONVERTING " + filePath + ":" + nl + message + nl;
}

void ReportError(const std::string& kindName, const std::string& message,
                 const std::string& logPath, const std::string& filePath) {
  const std::string block = ErrorBlock(kindName, message, filePath) + platform::kLineBreak;
  platform::WriteStdout(block);
  if (logPath.empty()) return;
  // The block is on the console already; a log that cannot be written is not
  // allowed to stop the batch, but the run must not look clean either.
  std::string reason;
  if (platform::AppendToFileCreating(logPath, block, reason)) return;
  if (failedLogs.insert(logPath).second)
    platform::WriteStderr("Cannot write error log " + logPath + ": " + reason +
                          platform::kLineBreak);
}

bool ErrorLogFailed() { return !failedLogs.empty(); }

void ReportError(const std::exception& error, const std::string& logPath,
                 const std::string& filePath) {
  ReportError(KindNameOf(error), error.what(), logPath, filePath);
}

void ConvertDirectory(const TConvertOptions& options) {
  CurrentPrefix = options.Prefix;
  CurrentUrlPrefix = options.AbsoluteLocalUrlPrefix;
  const std::string relDir = PathDirectory(options.FileMask);
  const std::string mask = PathFileName(options.FileMask);

  // File pass. An empty mask (a wildcard that ends with a separator) names no
  // file at all.
  if (!mask.empty()) {
    platform::FindSearch search(options.SourceDir + options.FileMask,
                                platform::FindSearch::Kind::Everything);
    platform::FindEntry entry;
    while (search.Next(entry)) {
      if (entry.IsDirectory() || entry.IsVolumeLabel()) continue;
      StopIfInterrupted();
      try {
        ConvertFile(options, relDir + entry.name);
      } catch (const std::exception& error) {
        ReportError(error, options.ErrorLog, options.SourceDir + relDir + entry.name);
        if (options.ErrorLog.empty()) throw;
      }
    }
  }

  if (!options.Recursive) return;
  platform::FindSearch search(options.SourceDir + relDir + "*.*",
                              platform::FindSearch::Kind::DirectoriesOnly);
  platform::FindEntry entry;
  while (search.Next(entry)) {
    if (!entry.IsDirectory() || entry.name == "." || entry.name == "..") continue;
    // A link could lead back up the tree, or out of it.
    if (entry.IsLink()) continue;
    StopIfInterrupted();
    if (IsOutputDirectory(options, options.SourceDir + relDir + entry.name)) continue;
    TConvertOptions sub = options;
    sub.FileMask = relDir + entry.name + PathSeparator() + mask;
    ConvertDirectory(sub);
  }
}

}  // namespace quorvane
