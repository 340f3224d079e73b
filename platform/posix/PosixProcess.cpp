// Processes, messages, console output and interruption on POSIX systems.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

volatile std::sig_atomic_t interrupted = 0;
int lastProcessSignal = 0;

void OnInterrupt(int) { interrupted = 1; }

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

}  // namespace

bool RunProcess(const std::string& commandLine, std::int32_t& exitCode, std::uint32_t& errorCode) {
  lastProcessSignal = 0;
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
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      errorCode = static_cast<std::uint32_t>(errno);
      return false;
    }
  }
  if (WIFEXITED(status)) {
    exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    lastProcessSignal = WTERMSIG(status);
    exitCode = 128 + lastProcessSignal;
  } else {
    exitCode = status;
  }
  return true;
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

int LastProcessSignal() { return lastProcessSignal; }

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

void WriteAllTo(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere to write: nothing else to do
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void WriteStdout(const std::string& text) {
  std::fflush(stdout);
  WriteAllTo(STDOUT_FILENO, text);
}

void WriteStderr(const std::string& text) {
  std::fflush(stderr);
  WriteAllTo(STDERR_FILENO, text);
}

void InstallInterruptHandler() {
  for (int sig : {SIGINT, SIGTERM}) {
    struct sigaction old;
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
      continue;  // started with the signal ignored (a background job): keep it so
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(sig, &action, nullptr);
  }
}

bool InterruptRequested() { return interrupted != 0; }

// ---- text: ASCII only on POSIX ----

bool CompareTextNoCase(const std::string& a, const std::string& b) { return SameAsciiNoCase(a, b); }

std::string UpperCaseText(const std::string& text) { return AsciiUpperText(text); }

unsigned char CharUpper(unsigned char c) { return AsciiUpper(c); }
unsigned char CharLower(unsigned char c) { return AsciiLower(c); }
bool IsLeadByte(unsigned char) { return false; }

}  // namespace quorvane::platform
