// Processes, messages, console output, interruption and locale text with the
// Win32 "A" functions.
#include <windows.h>
// <windows.h> maps these names to their "A" variants; ours are plain.
#undef CharUpper
#undef CharLower

#include <atomic>
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Handle.h"

namespace quorvane::platform {

const char* const kLineBreak = "\r\n";

namespace {

std::atomic<int> interrupts{0};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      ++interrupts;
      return TRUE;
    case CTRL_CLOSE_EVENT:
      // The system ends the process as soon as this returns: hold it, so the
      // main thread can stop the run and delete its temporary copies; its
      // exit ends this thread too.
      ++interrupts;
      ::Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

// CreateProcessA takes a command line of at most 32,767 characters with its
// terminating NUL. Some Windows versions cut a longer line instead of
// refusing it, so it is refused here, with the code Windows gives.
bool CommandLineFits(const std::string& commandLine, std::uint32_t& errorCode) {
  constexpr std::size_t kMaxCommandLine = 32766;
  if (commandLine.size() <= kMaxCommandLine) return true;
  errorCode = ERROR_FILENAME_EXCED_RANGE;
  return false;
}

// The read end of a pipe a program writes to, and what has come so far. It
// is read without waiting: each read is started with ReadFileEx and its
// completion routine runs while this thread waits alertably (SleepEx,
// WaitForMultipleObjectsEx), so one thread reads any number of pipes.
class Pipe {
 public:
  Pipe() = default;
  ~Pipe() { Close(); }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  std::string data;

  // Creates the pipe; write receives the end for the program (inheritable).
  bool Open(Handle& write, std::uint32_t& errorCode) {
    static unsigned counter = 0;
    const std::string name = "\\\\.\\pipe\\quorvane-" + std::to_string(::GetCurrentProcessId()) +
                             "-" + std::to_string(++counter);
    handle_ = ::CreateNamedPipeA(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
        kBufferSize, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
      handle_ = nullptr;
      errorCode = ::GetLastError();
      return false;
    }
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    write.reset(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!write.ok()) {
      errorCode = ::GetLastError();
      write.reset();
      Close();
      return false;
    }
    ended_ = false;
    data.clear();
    return true;
  }
  bool Pending() const { return pending_; }
  std::size_t Progress() const { return data.size() + (ended_ ? 1 : 0); }
  // Starts the next read unless one is under way or the pipe has ended.
  void Read() {
    if (!handle_ || pending_ || ended_) return;
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = this;  // ReadFileEx leaves hEvent to its caller
    if (::ReadFileEx(handle_, buffer_, sizeof buffer_, &overlapped_, &Done))
      pending_ = true;
    else
      ended_ = true;  // the program's end is closed: all has been read
  }
  // A read under way is cancelled, and its completion awaited, first.
  void Close() {
    if (!handle_) return;
    if (pending_) ::CancelIo(handle_);
    while (pending_) ::SleepEx(INFINITE, TRUE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static constexpr DWORD kBufferSize = 65536;
  static void CALLBACK Done(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
    Pipe& pipe = *static_cast<Pipe*>(overlapped->hEvent);
    pipe.pending_ = false;
    if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA)
      pipe.data.append(pipe.buffer_, bytes);
    else
      pipe.ended_ = true;
  }

  HANDLE handle_ = nullptr;
  OVERLAPPED overlapped_{};
  bool pending_ = false, ended_ = true;
  char buffer_[kBufferSize];
};

// After a program's end, how long its pipes may stay quiet before what is
// left in them counts as read: a program it started may hold them open.
constexpr DWORD kQuietAfterEndMs = 100;

using Clock = std::chrono::steady_clock;

DWORD MsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : left >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(left);
}

}  // namespace

struct Process::State {
  HANDLE process = nullptr;
  std::int32_t status = 0;
  Pipe pipes[2];  // standard output (Together: and error), standard error

  bool Running() const { return process != nullptr; }
  void ReadPipes() {
    for (Pipe& pipe : pipes) pipe.Read();
  }
  std::size_t Progress() const { return pipes[0].Progress() + pipes[1].Progress(); }
  void Ended() {
    DWORD code = 0;
    status = ::GetExitCodeProcess(process, &code) ? static_cast<std::int32_t>(code) : -1;
    ::CloseHandle(process);
    process = nullptr;
    // What is left in the pipes comes at once; the reads fail once the
    // program's ends are closed.
    auto quietUntil = Clock::now() + std::chrono::milliseconds(kQuietAfterEndMs);
    for (;;) {
      ReadPipes();
      if (!pipes[0].Pending() && !pipes[1].Pending()) break;
      const std::size_t before = Progress();
      const DWORD left = MsUntil(quietUntil);
      if (left == 0 || ::SleepEx(left, TRUE) != WAIT_IO_COMPLETION) break;
      if (Progress() != before)
        quietUntil = Clock::now() + std::chrono::milliseconds(kQuietAfterEndMs);
    }
    for (Pipe& pipe : pipes) pipe.Close();
  }
};

Process::Process() : state_(std::make_unique<State>()) {}

Process::~Process() { Terminate(); }

bool Process::Start(const std::string& commandLine, std::uint32_t& errorCode, Output output) {
  if (state_->Running()) {
    errorCode = ERROR_BUSY;
    return false;
  }
  if (!CommandLineFits(commandLine, errorCode)) return false;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;

  // Captured: the program writes into pipes whose read ends stay here. The
  // write ends are inheritable only until the program has them: they are
  // closed here right after its start, before any other program starts.
  const int pipes = output == Output::Console ? 0 : output == Output::Together ? 1 : 2;
  Handle writeEnds[2];
  auto closeWriteEnds = [&writeEnds] {
    for (Handle& handle : writeEnds) handle.reset();
  };
  for (int i = 0; i < pipes; ++i) {
    if (!state_->pipes[i].Open(writeEnds[i], errorCode)) {
      closeWriteEnds();
      for (Pipe& pipe : state_->pipes) pipe.Close();
      return false;
    }
  }
  if (pipes > 0) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnds[0].get();
    startup.hStdError = writeEnds[pipes - 1].get();
  }

  PROCESS_INFORMATION info{};
  std::fflush(nullptr);  // what we printed comes before what the child prints
  const BOOL started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
  const DWORD error = started ? 0 : ::GetLastError();
  closeWriteEnds();  // the program has its own
  if (!started) {
    errorCode = error;
    for (Pipe& pipe : state_->pipes) pipe.Close();
    return false;
  }
  ::CloseHandle(info.hThread);
  state_->process = info.hProcess;
  state_->ReadPipes();
  return true;
}

std::size_t Process::WaitForAny(const std::vector<Process*>& processes, std::uint32_t timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<HANDLE> handles;
  for (bool last = false;;) {
    handles.clear();
    for (std::size_t i = 0; i < processes.size(); ++i) {
      State& state = *processes[i]->state_;
      if (!state.Running()) return i;
      state.ReadPipes();
      if (handles.size() < MAXIMUM_WAIT_OBJECTS) handles.push_back(state.process);
    }
    if (last) return npos;
    const DWORD left = MsUntil(deadline);
    // Wait for the end itself rather than for an exit status other than
    // STILL_ACTIVE, so that a program returning 259 is not waited for forever.
    const DWORD r = ::WaitForMultipleObjectsEx(static_cast<DWORD>(handles.size()), handles.data(),
                                               FALSE, left, TRUE);
    if (r == WAIT_IO_COMPLETION) {  // some pipes were read
      last = left == 0;
      continue;
    }
    if (r < WAIT_OBJECT_0 + handles.size()) {
      processes[r - WAIT_OBJECT_0]->state_->Ended();
      return r - WAIT_OBJECT_0;
    }
    if (r == WAIT_TIMEOUT) return npos;
    // The wait failed: look at the exit statuses instead.
    for (std::size_t i = 0; i < handles.size(); ++i) {
      DWORD status = 0;
      if (!::GetExitCodeProcess(handles[i], &status) || status != STILL_ACTIVE) {
        processes[i]->state_->Ended();
        return i;
      }
    }
    ::SleepEx(left < 200 ? left : 200, TRUE);
    last = left == 0;
  }
}

void Process::TerminateAll(const std::vector<Process*>& processes) {
  for (Process* process : processes)
    if (process->state_->Running()) ::TerminateProcess(process->state_->process, 1);
  for (Process* process : processes) {
    if (!process->state_->Running()) continue;
    ::WaitForSingleObject(process->state_->process, INFINITE);
    process->state_->Ended();
  }
}

std::string Process::TakeOutput() { return std::exchange(state_->pipes[0].data, {}); }

std::string Process::TakeErrors() { return std::exchange(state_->pipes[1].data, {}); }

std::int32_t Process::ExitStatus() const { return state_->status; }

// A Windows program ends by itself or by TerminateProcess, never by a signal.
int Process::ExitSignal() const { return 0; }
std::string SignalName(int) { return {}; }

bool StandardStreamsShared() {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE), err = ::GetStdHandle(STD_ERROR_HANDLE);
  if (out == err) return true;
  DWORD mode = 0;
  if (::GetConsoleMode(out, &mode) && ::GetConsoleMode(err, &mode)) return true;  // the console
  BY_HANDLE_FILE_INFORMATION a, b;
  return ::GetFileInformationByHandle(out, &a) && ::GetFileInformationByHandle(err, &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

std::string SystemMessage(std::uint32_t code) {
  char buffer[2048];
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, sizeof buffer, nullptr);
  return std::string(buffer, n);
}

std::string LastErrorReason() {
  const DWORD code = ::GetLastError();
  std::string text = SystemMessage(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : text;
}

namespace {

bool WriteAllTo(DWORD which, const std::string& text) {
  HANDLE out = ::GetStdHandle(which);
  if (out == INVALID_HANDLE_VALUE || out == nullptr) return false;
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!::WriteFile(out, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                     nullptr) ||
        written == 0)
      return false;
    done += written;
  }
  return true;
}

}  // namespace

bool WriteStdout(const std::string& text) {
  std::fflush(stdout);
  if (WriteAllTo(STD_OUTPUT_HANDLE, text)) return true;
  // The reader of a pipe has gone (`qprepare ... | more`, closed early):
  // that ends the run like an interrupt.
  const DWORD error = ::GetLastError();
  if ((error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE) && interrupts == 0) interrupts = 1;
  return false;
}

void WriteStderr(const std::string& text) {
  std::fflush(stderr);
  WriteAllTo(STD_ERROR_HANDLE, text);
}

void InstallInterruptHandler() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool InterruptRequested() { return interrupts != 0; }

int InterruptCount() { return interrupts; }

bool CompareTextNoCase(const std::string& a, const std::string& b) {
  return ::CompareStringA(0x400, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string UpperCaseText(const std::string& text) {
  std::string result = text;
  if (!result.empty()) ::CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
  return result;
}

unsigned char CharUpper(unsigned char c) {
  return static_cast<unsigned char>(
      reinterpret_cast<ULONG_PTR>(::CharUpperA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(c)))));
}

unsigned char CharLower(unsigned char c) {
  return static_cast<unsigned char>(
      reinterpret_cast<ULONG_PTR>(::CharLowerA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(c)))));
}

bool IsLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != 0; }

}  // namespace quorvane::platform
