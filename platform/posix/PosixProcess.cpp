// Processes, messages, console output and interruption on POSIX systems.
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/CommandLineSplit.h"
#include "platform/Platform.h"
#include "util/Ascii.h"

extern char** environ;

namespace quorvane::platform {

const char* const kLineBreak = "\n";

namespace {

// The signals that ask the run to stop: Ctrl-C, kill, the terminal closed,
// the reader of our output gone.
constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

volatile std::sig_atomic_t interrupts = 0;

// The handler runs with every interrupt signal blocked, so the count is not
// raced by a second one.
void OnInterrupt(int) {
  if (interrupts < 1000) interrupts = interrupts + 1;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The file to start for a program name, or empty with errno set.
std::string FindProgram(const std::string& program) {
  if (program.empty()) {
    errno = ENOENT;
    return {};
  }
  if (program.find('/') != std::string::npos) return program;
  // A bare name: the file of that name in the current directory first (the
  // same file a check of the converter's existence looks at).
  struct stat st;
  if (::stat(program.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return "./" + program;

  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  bool sawNonExecutable = false;
  std::size_t begin = 0;
  for (;;) {
    std::size_t end = dirs.find(':', begin);
    std::string dir = dirs.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
    if (::stat(candidate.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) sawNonExecutable = true;
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  errno = sawNonExecutable ? EACCES : ENOENT;
  return {};
}

// A path with its links resolved, or empty.
std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string result = real;
  std::free(real);
  return result;
}

}  // namespace

std::string ProgramFromArgument(const std::string& argument0) {
  if (argument0.empty()) return {};
  if (argument0.find('/') != std::string::npos)
    return IsExecutableFile(argument0) ? RealPath(argument0) : std::string();
  // A bare name: the shell found the program on PATH (an empty entry is the
  // current directory), never in the current directory as such.
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (std::size_t begin = 0; begin <= dirs.size();) {
    std::size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(begin, end - begin);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + argument0;
    if (IsExecutableFile(candidate)) return RealPath(candidate);
    begin = end + 1;
  }
  return {};
}

// ---- the converter process ----

namespace {

std::int32_t StatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return status;
}

std::chrono::steady_clock::time_point After(std::uint32_t ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

struct Process::State {
  pid_t pid = -1;
  bool running = false;
  std::int32_t status = 0;

  // Collects the exit status without waiting (or, with block, waiting);
  // true when the program has ended.
  bool Reap(bool block) {
    if (!running) return true;
    int raw = 0;
    pid_t rc;
    do rc = ::waitpid(pid, &raw, block ? 0 : WNOHANG);
    while (rc < 0 && errno == EINTR);
    if (rc == 0) return false;
    running = false;
    status = rc < 0 ? -1 : StatusOf(raw);
    return true;
  }
};

Process::Process() : state_(std::make_unique<State>()) {}

Process::~Process() { Terminate(); }

bool Process::Start(const std::string& commandLine, std::uint32_t& errorCode) {
  if (state_->running) {
    errorCode = EBUSY;
    return false;
  }
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty()) {
    errorCode = ENOENT;
    return false;
  }
  std::string file = FindProgram(args.front());
  if (file.empty()) {
    errorCode = static_cast<std::uint32_t>(errno);
    return false;
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::fflush(nullptr);  // what we printed comes before what the child prints
  pid_t pid;
  int rc = ::posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    errorCode = static_cast<std::uint32_t>(rc);
    return false;
  }
  state_->pid = pid;
  state_->running = true;
  return true;
}

bool Process::Wait(std::uint32_t timeoutMs) {
  if (state_->Reap(false)) return true;
  if (timeoutMs == 0) return false;
  // With SIGCHLD blocked, the end of the child stays pending until
  // sigtimedwait takes it, however soon it comes; an interrupt's handler
  // ends the wait with EINTR.
  sigset_t childEnded, previous;
  sigemptyset(&childEnded);
  sigaddset(&childEnded, SIGCHLD);
  ::pthread_sigmask(SIG_BLOCK, &childEnded, &previous);
  const auto deadline = After(timeoutMs);
  bool ended = false;
  for (;;) {
    if ((ended = state_->Reap(false))) break;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    struct timespec pause = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    if (::sigtimedwait(&childEnded, nullptr, &pause) < 0 && errno == EINTR) {
      ended = state_->Reap(false);
      break;
    }
    // Some child ended (perhaps another one), or the time is up: look again.
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return ended;
}

std::int32_t Process::ExitStatus() const { return state_->status; }

void Process::Terminate() {
  if (!state_->running) return;
  ::kill(state_->pid, SIGTERM);
  const auto deadline = After(kTerminateGraceMs);
  for (auto now = std::chrono::steady_clock::now(); now < deadline;
       now = std::chrono::steady_clock::now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    if (Wait(static_cast<std::uint32_t>(left))) break;  // ends early on an interrupt
  }
  if (state_->running) {
    ::kill(state_->pid, SIGKILL);
    state_->Reap(true);
  }
}

std::string SystemMessage(std::uint32_t code) {
  if (code > static_cast<std::uint32_t>(INT32_MAX)) return {};
  const char* text = ::strerrordesc_np(static_cast<int>(code));
  return text ? text : "";
}

namespace {

bool WriteAllTo(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteStdout(const std::string& text) {
  std::fflush(stdout);
  if (WriteAllTo(STDOUT_FILENO, text)) return true;
  // The reader has gone (`qprepare ... | head -1`). With SIGPIPE handled
  // that is counted already; with SIGPIPE ignored it is counted here.
  if (errno == EPIPE && interrupts == 0) interrupts = 1;
  return false;
}

void WriteStderr(const std::string& text) {
  std::fflush(stderr);
  WriteAllTo(STDERR_FILENO, text);
}

void InstallInterruptHandler() {
  for (int sig : kInterruptSignals) {
    struct sigaction old;
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
      continue;  // started with the signal ignored (a background job): keep it so
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int other : kInterruptSignals) sigaddset(&action.sa_mask, other);
    action.sa_flags = SA_RESTART;
    ::sigaction(sig, &action, nullptr);
  }
}

bool InterruptRequested() { return interrupts != 0; }

int InterruptCount() { return interrupts; }

// ---- text: ASCII only on POSIX ----

bool CompareTextNoCase(const std::string& a, const std::string& b) { return SameAsciiNoCase(a, b); }

std::string UpperCaseText(const std::string& text) { return AsciiUpperText(text); }

unsigned char CharUpper(unsigned char c) { return AsciiUpper(c); }
unsigned char CharLower(unsigned char c) { return AsciiLower(c); }
bool IsLeadByte(unsigned char) { return false; }

}  // namespace quorvane::platform
