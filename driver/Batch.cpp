// The batch over the files of one wildcard, and the error log.
#include <algorithm>
#include <set>

#include "config/Config.h"
#include "driver/Driver.h"
#include "meta/CommandLine.h"
#include "meta/Dependencies.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "platform/Platform.h"
#include "base/Errors.h"
#include "util/Files.h"

namespace quorvane {

namespace {

// Error logs that could not be written in this run; each is told once.
std::set<std::string> failedLogs;

const char* KindNameOf(const std::exception& error) {
  if (const auto* own = dynamic_cast<const Exception*>(&error)) return own->KindName();
  return "Exception";
}

// The output directory inside the walked tree holds what the batch wrote;
// the walk never enters it.
bool IsOutputDirectory(const TConvertOptions& options, const std::string& directory) {
  return SameExistingEntry(directory, options.OutputDir).value_or(false);
}

// -n: everything up to the converter, then the line it would print. The
// copy is deleted at once; no output directory is made.
void ShowCommand(const TConvertOptions& options, const std::string& relFile) {
  const TempCopiesCleanup copies;
  const std::string params =
      BuildCommandLine(options.SourceDir, relFile, options.Extension, options.OutputDir,
                       options.CommandLine, options.KeepDirStructure, false);
  platform::WriteStdout("WOULD EXEC: " + ConverterCommandLine(options.Converter, params) +
                        platform::kLineBreak);
}

// -u: skips the file, saying so, when its output is up to date.
bool SkippedAsUpToDate(const TConvertOptions& options, const std::string& relFile) {
  if (!options.UpdateOnly) return false;
  const std::string output =
      OutputFileName(options.OutputDir, relFile, options.Extension, options.KeepDirStructure);
  if (!IsUpToDate(output, options.SourceDir + relFile)) return false;
  platform::WriteStdout("UP TO DATE: " + output + platform::kLineBreak);
  return true;
}

// One file found by the search, as the options ask, counted for the summary
// (a converted file when its converter has ended).
void HandleFile(const TConvertOptions& options, const std::string& relFile, TJobPool& jobs) {
  if (SkippedAsUpToDate(options, relFile)) {
    ++RunTally.upToDate;
  } else if (options.DryRun) {
    ShowCommand(options, relFile);
    ++RunTally.shown;
  } else {
    jobs.Convert(options, relFile);
  }
}

}  // namespace

bool FileFailed(const std::exception& error, const std::string& errorLog,
                const std::string& filePath) {
  ++RunTally.failed;
  if (!errorLog.empty() && std::find(RunTally.errorLogs.begin(), RunTally.errorLogs.end(),
                                     errorLog) == RunTally.errorLogs.end())
    RunTally.errorLogs.push_back(errorLog);
  ReportError(error, errorLog, filePath);
  return !errorLog.empty();
}

TempCopiesCleanup::~TempCopiesCleanup() {
  try {
    DeleteTempCopies();
  } catch (...) {
    // Nothing may leave a destructor; the deletion reports nothing anyway.
  }
}

TRunTally RunTally;

bool IsUpToDate(const std::string& output, const std::string& mainFile) {
  const std::optional<std::int64_t> made =
      IsExistingFile(output) ? platform::LastWriteTime(output) : std::nullopt;
  if (!made) return false;
  std::vector<std::string> inputs;
  try {
    inputs = PageDependencies(mainFile);
  } catch (const std::exception&) {
    return false;  // the conversion reports it
  }
  inputs.push_back(ConfigFileName());
  for (const std::string& input : inputs) {
    if (!IsExistingFile(input)) continue;  // a link to nothing, or no INI file
    const std::optional<std::int64_t> changed = platform::LastWriteTime(input);
    if (!changed || *changed >= *made) return false;
  }
  return true;
}

std::string SummaryLine(const TRunTally& tally, const std::string& ending) {
  std::string line;
  auto add = [&line](const std::string& part) { line += (line.empty() ? "" : ", ") + part; };
  // A dry run converts nothing; "0 converted" would only be noise there.
  if (tally.converted > 0 || tally.shown == 0) add(std::to_string(tally.converted) + " converted");
  if (tally.shown > 0) add(std::to_string(tally.shown) + " would be converted");
  if (tally.upToDate > 0) add(std::to_string(tally.upToDate) + " up to date");
  add(std::to_string(tally.failed) + " failed");
  for (std::size_t i = 0; i < tally.errorLogs.size(); ++i)
    line += (i == 0 ? ", errors in " : " and ") + tally.errorLogs[i];
  if (!ending.empty()) add(ending);
  return line;
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

namespace {

// ConvertDirectory's walk, with the converters it starts in jobs.
void Walk(const TConvertOptions& options, TJobPool& jobs) {
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
      ++RunTally.matched;
      try {
        HandleFile(options, relDir + entry.name, jobs);
      } catch (const std::exception& error) {
        if (!FileFailed(error, options.ErrorLog, options.SourceDir + relDir + entry.name)) throw;
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
    Walk(sub, jobs);
  }
}

}  // namespace

void ConvertDirectory(const TConvertOptions& options) {
  TJobPool jobs(options.Jobs);
  try {
    Walk(options, jobs);
  } catch (const EJobsStopped&) {
    // the reason is the pool's
  } catch (...) {
    jobs.Stop(std::current_exception());
  }
  jobs.Finish();
}

}  // namespace quorvane
