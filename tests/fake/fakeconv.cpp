// A stand-in converter for the tests. It appends what it was given to the
// record file named by FAKECONV_RECORD (if set):
//
//   CALL <argc-1>
//   ARG <argument>            one line per argument
//   FILE <argument> <size>    for every argument that names a readable file,
//   <size bytes>              followed by the file's bytes and a line break
//   END
//
// and exits with the code given by an argument "--exit=N", else 0.
// "--sleep=MS" waits before exiting; "--touch-output" creates the file named
// by an argument "--output=PATH"; "--raise=N" ends the program by raising
// signal N instead of exiting.
// "--signal-parent=N[,N...]" sends each signal N to the program that started
// it, 300 ms apart, before the sleep (POSIX); "--ignore-term" ignores
// SIGTERM; after its sleep the program appends "AWAKE" to the record.
// "--meet=DIR,N" waits, before all that, until N programs have come to the
// folder DIR (each leaves a file there named after its process) and exits
// with 75 when they have not within 20 s: it shows that N ran at once.
// "--say=WORD" writes "WORD out" to standard output and "WORD err" to
// standard error before the signals and the sleep, and "WORD end" to
// standard output after the sleep;
// "--noise=N" writes N letters x and a line break to standard output before them.
//
// Only regular files are recorded: an argument naming a directory, a device or
// a pipe is listed as ARG only (reading a pipe could block for ever).
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace {

bool ReadFile(const std::string& name, std::string& data) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  data = buffer.str();
  return true;
}

bool IsRegularFile(const char* name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path(name), ec) && !ec;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Leaves this program's mark in the folder and waits for the others
// ("DIR,N": until N programs have left theirs).
bool Meet(const std::string& folderAndCount) {
  namespace fs = std::filesystem;
  const std::size_t comma = folderAndCount.rfind(',');
  const fs::path dir = folderAndCount.substr(0, comma);
  const long wanted = comma == std::string::npos ? 1 : std::atol(folderAndCount.c_str() + comma + 1);
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::ofstream(dir / std::to_string(getpid())) << "here\n";
  for (int waited = 0; waited < 20000; waited += 10) {
    long present = 0;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) ++present;
    if (present >= wanted) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int exitCode = 0;
  int sleepMs = 0;
  int raiseSignal = 0;
  std::string parentSignals;
  std::string say, meet;
  long noise = 0;
  bool touchOutput = false;
  std::string output;

  std::string record = "CALL " + std::to_string(argc - 1) + "\n";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    record += "ARG " + arg + "\n";
    if (StartsWith(arg, "--exit=")) exitCode = std::atoi(arg.c_str() + 7);
    if (StartsWith(arg, "--sleep=")) sleepMs = std::atoi(arg.c_str() + 8);
    if (StartsWith(arg, "--output=")) output = arg.substr(9);
    if (StartsWith(arg, "--raise=")) raiseSignal = std::atoi(arg.c_str() + 8);
    if (arg == "--touch-output") touchOutput = true;
    if (StartsWith(arg, "--signal-parent=")) parentSignals = arg.substr(16);
    if (arg == "--ignore-term") std::signal(SIGTERM, SIG_IGN);
    if (StartsWith(arg, "--say=")) say = arg.substr(6);
    if (StartsWith(arg, "--meet=")) meet = arg.substr(7);
    if (StartsWith(arg, "--noise=")) noise = std::atol(arg.c_str() + 8);
  }
  for (int i = 1; i < argc; ++i) {
    std::string data;
    if (argv[i][0] == '\0' || !IsRegularFile(argv[i]) || !ReadFile(argv[i], data)) continue;
    record += "FILE " + std::string(argv[i]) + " " + std::to_string(data.size()) + "\n";
    record += data + "\n";
  }
  record += "END\n";

  if (const char* path = std::getenv("FAKECONV_RECORD")) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << record;
  }
  if (!meet.empty() && !Meet(meet)) return 75;
  if (touchOutput && !output.empty()) {
    std::ofstream out(output, std::ios::binary);
    out << "fake output\n";
  }
  auto sayTo = [&say](std::FILE* stream, const char* what) {
    if (say.empty()) return;
    std::fprintf(stream, "%s %s\n", say.c_str(), what);
    std::fflush(stream);
  };
  if (noise > 0) std::printf("%s\n", std::string(static_cast<std::size_t>(noise), 'x').c_str());
  sayTo(stdout, "out");
  sayTo(stderr, "err");
#ifndef _WIN32
  for (std::size_t at = 0; at < parentSignals.size();) {
    if (at > 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(getppid(), std::atoi(parentSignals.c_str() + at));
    const std::size_t comma = parentSignals.find(',', at);
    at = comma == std::string::npos ? parentSignals.size() : comma + 1;
  }
#endif
  if (sleepMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    if (const char* path = std::getenv("FAKECONV_RECORD"))
      std::ofstream(path, std::ios::binary | std::ios::app) << "AWAKE\n";
  }
  sayTo(stdout, "end");
  if (raiseSignal > 0) std::raise(raiseSignal);
  return exitCode;
}
