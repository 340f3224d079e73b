// Converters at work: one at a time on the console, or several at once with
// their output captured (-j).
#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

#include "driver/Driver.h"
#include "meta/CommandLine.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "platform/Platform.h"

namespace quorvane {

namespace {

using Clock = std::chrono::steady_clock;
using platform::Process;

// How often the running converters are looked at (time limits, interrupts).
constexpr std::uint32_t kPollMs = 200;
// The first interrupt lets the running converters finish their files (they
// share the console and got the request themselves); the second stops them.
constexpr int kInterruptsThatStopAConverter = 2;

}  // namespace

struct TJobPool::Job {
  std::string output, converter, params, errorLog, filePath;
  std::uint32_t timeout = 0;
  Clock::time_point deadline{};
  std::vector<std::string> copies;  // its temporary directories
  std::string held;                 // what it printed so far, when captured
  TConverterRun run;
  Process process;  // declared last: stopped before the copies go

  ~Job() {
    try {
      for (const std::string& copy : copies) DeleteTree(copy);
    } catch (...) {
      // Nothing may leave a destructor; the deletion reports nothing anyway.
    }
  }
  // Prints what was held back: the EXEC line and the converter's output.
  void Show() {
    const std::string text = std::exchange(held, {}) + process.TakeOutput();
    if (!text.empty()) platform::WriteStdout(text);
    const std::string errors = process.TakeErrors();
    if (!errors.empty()) platform::WriteStderr(errors);
  }
};

TJobPool::TJobPool(std::uint32_t jobs)
    : jobs_(std::clamp<std::uint32_t>(jobs, 1, Process::kMaxWaited)),
      output_(jobs_ == 1                           ? Process::Output::Console
              : platform::StandardStreamsShared() ? Process::Output::Together
                                                  : Process::Output::Captured) {}

TJobPool::~TJobPool() { Process::TerminateAll(Processes()); }

std::vector<Process*> TJobPool::Processes() const {
  std::vector<Process*> processes;
  for (const auto& job : running_) processes.push_back(&job->process);
  return processes;
}

void TJobPool::Convert(const TConvertOptions& options, const std::string& relFile) {
  auto job = std::make_unique<Job>();
  job->output =
      OutputFileName(options.OutputDir, relFile, options.Extension, options.KeepDirStructure);
  // Two converters never write one output file at once (two pages of one
  // name with -r): one after the other, the later page's output stays.
  WaitUntil([this, &job] {
    return std::none_of(running_.begin(), running_.end(), [&job](const auto& other) {
      return SameFile(other->output, job->output);
    });
  });
  if (stopped_) throw EJobsStopped{};
  {
    // From here on the file's temporary copy is its own; when the
    // preparation fails, it goes at once.
    const TempCopiesCleanup failed;
    job->params = BuildCommandLine(options.SourceDir, relFile, options.Extension, options.OutputDir,
                                   options.CommandLine, options.KeepDirStructure);
    for (int i = 0; i < TempCopyList.Count(); ++i) job->copies.push_back(TempCopyList.Get(i));
    TempCopyList.Clear();
  }
  job->converter = options.Converter;
  job->errorLog = options.ErrorLog;
  job->filePath = options.SourceDir + relFile;
  job->timeout = options.Timeout;
  Start(*job);
  running_.push_back(std::move(job));
  WaitUntil([this] { return running_.size() < jobs_; });
  if (stopped_) throw EJobsStopped{};
}

// Announces the converter with the "EXEC: " line (held back when captured)
// and starts it. A converter that cannot be started raises its file's error
// after the line.
void TJobPool::Start(Job& job) {
  StopIfInterrupted();
  const std::string line =
      "EXEC: " + ConverterCommandLine(job.converter, job.params) + platform::kLineBreak;
  if (output_ == Process::Output::Console)
    platform::WriteStdout(line);
  else
    job.held = line;
  try {
    const std::string commandLine = LaunchCommandLine(job.converter, job.params, job.run.errorCode);
    if (!commandLine.empty()) {
      // Writing the line may have found the output closed: that stops the run too.
      StopIfInterrupted();
      job.run.started = job.process.Start(commandLine, job.run.errorCode, output_);
    }
    if (!job.run.started) CheckConverterResult(job.run, job.converter, job.params);
  } catch (...) {
    job.Show();
    throw;
  }
  if (job.timeout != 0) job.deadline = Clock::now() + std::chrono::seconds(job.timeout);
}

// Ends the files whose converters end until enough holds.
void TJobPool::WaitUntil(const std::function<bool()>& enough) {
  while (!enough()) {
    if (platform::InterruptCount() >= kInterruptsThatStopAConverter) {
      StopAll();
      return;
    }
    std::size_t ended = Process::npos;
    std::uint32_t pause = kPollMs;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < running_.size() && ended == Process::npos; ++i) {
      Job& job = *running_[i];
      if (job.timeout == 0) continue;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(job.deadline - now).count();
      if (left <= 0) {
        job.process.Terminate();
        job.run.timedOut = job.timeout;
        ended = i;
      } else if (left < pause) {
        pause = static_cast<std::uint32_t>(left);
      }
    }
    if (ended == Process::npos) ended = Process::WaitForAny(Processes(), pause);
    if (ended == Process::npos) continue;
    const std::unique_ptr<Job> job = std::move(running_[ended]);
    running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(ended));
    Ended(*job);
  }
}

// A file whose converter has ended: its output, then how it ended. Its
// temporary copy goes with the job.
void TJobPool::Ended(Job& job) {
  job.Show();
  job.run.exitCode = job.process.ExitStatus();
  job.run.signal = job.process.ExitSignal();
  // A converter stopped by the user's interrupt is no failed file.
  if (platform::InterruptRequested()) {
    Stop(std::make_exception_ptr(EInterrupted{}));
    return;
  }
  try {
    CheckConverterResult(job.run, job.converter, job.params);
    ++RunTally.converted;
  } catch (const std::exception& error) {
    if (!FileFailed(error, job.errorLog, job.filePath)) Stop(std::current_exception());
  }
}

// The second interrupt: every running converter is stopped.
void TJobPool::StopAll() {
  Process::TerminateAll(Processes());
  for (const auto& job : running_) Ended(*job);
  running_.clear();
}

void TJobPool::Stop(std::exception_ptr reason) {
  if (!stopped_) stopped_ = std::move(reason);
}

void TJobPool::Finish() {
  WaitUntil([this] { return running_.empty(); });
  if (stopped_) std::rethrow_exception(std::exchange(stopped_, nullptr));
}

}  // namespace quorvane
