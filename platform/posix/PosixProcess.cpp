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
#include "base/Ascii.h"

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

// The file to start for a program name, or empty with errno set. A name with
// a slash is a path; a bare name is the file of that name in the current
// directory (the same file a check of the converter's existence looks at),
// else the first executable file of that name on PATH.
std::string SearchProgram(const std::string& program) {
  if (program.empty()) {
    errno = ENOENT;
    return {};
  }
  struct stat st;
  if (program.find('/') != std::string::npos) {
    if (::stat(program.c_str(), &st) != 0) return {};
    if (S_ISDIR(st.st_mode)) {
      errno = EACCES;
      return {};
    }
    return program;
  }
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

bool IsNameChar(char c, bool first) {
  return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (!first && c >= '0' && c <= '9');
}

// A leading ~/ becomes the home directory; $NAME and ${NAME} become the
// variable's value. What is not set stays as written.
std::string ExpandVariables(const std::string& text, std::string& undefined) {
  std::string out;
  std::size_t i = 0;
  auto unset = [&](const std::string& name) {
    if (undefined.empty()) undefined = name;
  };
  if (text.starts_with("~/")) {
    if (const char* home = std::getenv("HOME")) {
      out = home;
      i = 1;
    } else {
      unset("HOME");
    }
  }
  while (i < text.size()) {
    if (text[i] != '$') {
      out += text[i++];
      continue;
    }
    const bool braced = i + 1 < text.size() && text[i + 1] == '{';
    const std::size_t nameStart = i + (braced ? 2 : 1);
    std::size_t nameEnd = nameStart;
    while (nameEnd < text.size() && IsNameChar(text[nameEnd], nameEnd == nameStart)) ++nameEnd;
    const bool closed = !braced || (nameEnd < text.size() && text[nameEnd] == '}');
    if (nameEnd == nameStart || !closed) {
      out += text[i++];  // a dollar sign without a variable name
      continue;
    }
    const std::size_t end = nameEnd + (braced ? 1 : 0);
    const std::string name = text.substr(nameStart, nameEnd - nameStart);
    if (const char* value = std::getenv(name.c_str())) {
      out += value;
    } else {
      out.append(text, i, end - i);
      unset(name);
    }
    i = end;
  }
  return out;
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

int SignalOf(int status) { return WIFSIGNALED(status) ? WTERMSIG(status) : 0; }

std::chrono::steady_clock::time_point After(std::uint32_t ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

}  // namespace

struct Process::State {
  pid_t pid = -1;
  bool running = false;
  std::int32_t status = 0;
  int signal = 0;  // the signal that ended it, 0: it ended by itself

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
    signal = rc < 0 ? 0 : SignalOf(raw);
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
  std::string file = SearchProgram(args.front());
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

int Process::ExitSignal() const { return state_->signal; }

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

ProgramLookup FindProgram(const std::string& name) {
  ProgramLookup lookup;
  lookup.expanded = ExpandVariables(name, lookup.undefinedVariable);
  lookup.searched = lookup.expanded.find('/') == std::string::npos;
  lookup.file = SearchProgram(lookup.expanded);
  if (lookup.file.empty()) lookup.errorCode = static_cast<std::uint32_t>(errno);
  return lookup;
}

bool IsBatchFile(const std::string&) { return false; }

std::string SignalName(int signal) {
  const char* name = ::sigabbrev_np(signal);
  return name ? std::string("SIG") + name : std::string();
}

std::string SystemMessage(std::uint32_t code) {
  if (code > static_cast<std::uint32_t>(INT32_MAX)) return {};
  const char* text = ::strerrordesc_np(static_cast<int>(code));
  return text ? text : "";
}

std::string LastErrorReason() {
  const int code = errno;
  const std::string text = SystemMessage(static_cast<std::uint32_t>(code));
  return text.empty() ? "error " + std::to_string(code) : text;
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
