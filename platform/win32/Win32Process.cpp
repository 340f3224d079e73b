// Processes, messages, console output, interruption and locale text with the
// Win32 "A" functions.
#include <windows.h>
// <windows.h> maps these names to their "A" variants; ours are plain.
#undef CharUpper
#undef CharLower

#include <atomic>
#include <cstdio>
#include <vector>

#include "platform/Platform.h"

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

}  // namespace

struct Process::State {
  HANDLE process = nullptr;
  std::int32_t status = 0;

  bool Running() const { return process != nullptr; }
  void Ended() {
    DWORD code = 0;
    status = ::GetExitCodeProcess(process, &code) ? static_cast<std::int32_t>(code) : -1;
    ::CloseHandle(process);
    process = nullptr;
  }
};

Process::Process() : state_(std::make_unique<State>()) {}

Process::~Process() { Terminate(); }

bool Process::Start(const std::string& commandLine, std::uint32_t& errorCode) {
  if (state_->Running()) {
    errorCode = ERROR_BUSY;
    return false;
  }
  if (!CommandLineFits(commandLine, errorCode)) return false;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::fflush(nullptr);  // what we printed comes before what the child prints
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
    errorCode = ::GetLastError();
    return false;
  }
  ::CloseHandle(info.hThread);
  state_->process = info.hProcess;
  return true;
}

bool Process::Wait(std::uint32_t timeoutMs) {
  if (!state_->Running()) return true;
  // Wait for the end itself rather than for an exit status other than
  // STILL_ACTIVE, so that a program returning 259 is not waited for forever.
  DWORD r = ::WaitForSingleObject(state_->process, timeoutMs);
  if (r == WAIT_FAILED) {
    DWORD status = 0;
    if (::GetExitCodeProcess(state_->process, &status) && status == STILL_ACTIVE) {
      ::Sleep(timeoutMs < 200 ? timeoutMs : 200);
      return false;
    }
  } else if (r != WAIT_OBJECT_0) {
    return false;
  }
  state_->Ended();
  return true;
}

std::int32_t Process::ExitStatus() const { return state_->status; }

// A Windows program ends by itself or by TerminateProcess, never by a signal.
int Process::ExitSignal() const { return 0; }
std::string SignalName(int) { return {}; }

void Process::Terminate() {
  if (!state_->Running()) return;
  ::TerminateProcess(state_->process, 1);
  ::WaitForSingleObject(state_->process, INFINITE);
  state_->Ended();
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
