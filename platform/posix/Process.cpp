// Processes, messages, console output and interruption on POSIX systems.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/CommandLineSplit.h"
#include "platform/Platform.h"
#include "base/Ascii.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/Spawn.h"

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

}  // namespace

// ---- the converter process ----

namespace {

int SignalOf(int status) { return WIFSIGNALED(status) ? WTERMSIG(status) : 0; }

using Clock = std::chrono::steady_clock;

// Milliseconds until deadline, rounded up; 0 once it has passed.
int MsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// The read end of a pipe a program writes to, and what has come so far. It
// never blocks: the end is marked O_NONBLOCK.
class Pipe {
 public:
  enum class Got { Data, Nothing, End };
  Descriptor fd;
  std::string data;

  // One read of what is there; at the end the pipe is closed.
  Got Read() {
    char buffer[65536];
    ssize_t n;
    do n = ::read(fd.get(), buffer, sizeof buffer);
    while (n < 0 && errno == EINTR);
    if (n > 0) {
      data.append(buffer, static_cast<std::size_t>(n));
      return Got::Data;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Got::Nothing;
    Close();
    return Got::End;
  }
  // After the program's end: what it left in the pipe. A program it started
  // may still hold the pipe open; what that writes later is not waited for.
  void Drain() {
    while (fd.ok() && Read() == Got::Data) {
    }
    Close();
  }
  void Close() { fd.reset(); }
};

// While it lives, SIGCHLD is blocked, so the end of a child stays pending
// however soon it comes, and fd() becomes readable when it is: poll waits
// for the pipes and for the end of the children at once.
class ChildEnds {
 public:
  ChildEnds() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGCHLD);
    ::pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    fd_.reset(::signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK));
  }
  ~ChildEnds() {
    fd_.reset();
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  ChildEnds(const ChildEnds&) = delete;
  ChildEnds& operator=(const ChildEnds&) = delete;
  int fd() const { return fd_.get(); }
  void Clear() {
    signalfd_siginfo info;
    while (fd_.ok() && ::read(fd_.get(), &info, sizeof info) > 0) {
    }
  }

 private:
  sigset_t set_, previous_;
  Descriptor fd_;
};

}  // namespace

struct Process::State {
  pid_t pid = -1;
  bool running = false;
  std::int32_t status = 0;
  int signal = 0;  // the signal that ended it, 0: it ended by itself
  Pipe pipes[2];   // standard output (Together: and error), standard error

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
    status = rc < 0 ? -1 : ExitStatusOf(raw);
    signal = rc < 0 ? 0 : SignalOf(raw);
    for (Pipe& pipe : pipes) pipe.Drain();
    return true;
  }
};

Process::Process() : state_(std::make_unique<State>()) {}

Process::~Process() { Terminate(); }

bool Process::Start(const std::string& commandLine, std::uint32_t& errorCode, Output output) {
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

  // Captured: the program writes into pipes whose read ends stay here. No
  // other program inherits an end (close-on-exec); the program gets its
  // write ends as its standard output and error.
  const int pipes = output == Output::Console ? 0 : output == Output::Together ? 1 : 2;
  Descriptor writeEnds[2];
  auto closeWriteEnds = [&writeEnds] {
    for (Descriptor& fd : writeEnds) fd.reset();
  };
  FileActions actions;
  for (int i = 0; i < pipes; ++i) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
      errorCode = static_cast<std::uint32_t>(errno);
      closeWriteEnds();
      for (Pipe& pipe : state_->pipes) pipe.Close();
      return false;
    }
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    state_->pipes[i].fd.reset(ends[0]);
    writeEnds[i].reset(ends[1]);
  }
  if (pipes > 0) {
    posix_spawn_file_actions_adddup2(actions.get(), writeEnds[0].get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), writeEnds[pipes - 1].get(), STDERR_FILENO);
  }

  std::fflush(nullptr);  // what we printed comes before what the child prints
  pid_t pid;
  int rc = ::posix_spawn(&pid, file.c_str(), pipes > 0 ? actions.get() : nullptr, nullptr,
                         argv.data(), environ);
  closeWriteEnds();  // the program has its own
  if (rc != 0) {
    errorCode = static_cast<std::uint32_t>(rc);
    for (Pipe& pipe : state_->pipes) pipe.Close();
    return false;
  }
  state_->pid = pid;
  state_->running = true;
  for (Pipe& pipe : state_->pipes) pipe.data.clear();
  return true;
}

std::size_t Process::WaitForAny(const std::vector<Process*>& processes, std::uint32_t timeoutMs) {
  ChildEnds childEnds;  // before the first look, so that no end is missed
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<pollfd> polled;
  std::vector<Pipe*> pipes;
  for (bool last = false;;) {
    for (std::size_t i = 0; i < processes.size(); ++i)
      if (processes[i]->state_->Reap(false)) return i;
    const int left = MsUntil(deadline);
    if (last || left == 0) return npos;
    polled.assign(1, pollfd{childEnds.fd(), POLLIN, 0});
    pipes.assign(1, nullptr);
    for (Process* process : processes) {
      for (Pipe& pipe : process->state_->pipes) {
        if (!pipe.fd.ok()) continue;
        polled.push_back(pollfd{pipe.fd.get(), POLLIN, 0});
        pipes.push_back(&pipe);
      }
    }
    // Without the signal descriptor an end is looked for every 10 ms.
    const int pause = childEnds.fd() < 0 ? std::min(left, 10) : left;
    if (::poll(polled.data(), polled.size(), pause) < 0) {
      last = true;  // an interrupt's handler ended the wait: one more look
      continue;
    }
    childEnds.Clear();
    for (std::size_t k = 1; k < polled.size(); ++k)
      if (polled[k].revents != 0) pipes[k]->Read();
  }
}

void Process::TerminateAll(const std::vector<Process*>& processes) {
  std::vector<Process*> running;
  for (Process* process : processes) {
    if (!process->state_->running) continue;
    ::kill(process->state_->pid, SIGTERM);
    running.push_back(process);
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(kTerminateGraceMs);
  for (int left; !running.empty() && (left = MsUntil(deadline)) > 0;) {
    const std::size_t ended = WaitForAny(running, static_cast<std::uint32_t>(left));
    if (ended != npos) running.erase(running.begin() + static_cast<std::ptrdiff_t>(ended));
  }
  for (Process* process : running) {
    ::kill(process->state_->pid, SIGKILL);
    process->state_->Reap(true);
  }
}

std::string Process::TakeOutput() { return std::exchange(state_->pipes[0].data, {}); }

std::string Process::TakeErrors() { return std::exchange(state_->pipes[1].data, {}); }

std::int32_t Process::ExitStatus() const { return state_->status; }

int Process::ExitSignal() const { return state_->signal; }

bool StandardStreamsShared() {
  struct stat out, err;
  return ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
         out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

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
