// A stand-in converter for the tests. It appends what it was given to the
// record file named by FAKECONV_RECORD (if set):
//
//   CALL <argc-1>
//   ARG <argument>            one line per argument
//   FILE <argument> <size>    for every argument that names a readable file,
//   <size bytes>              followed by the file's bytes and a line break
//   END
//
// and exits with the code given by an argument "--exit=N", else by
// FAKECONV_EXIT, else 0. "--sleep=MS" waits before exiting; "--touch-output"
// creates the file named by an argument "--output=PATH"; "--raise=N" ends
// the program by raising signal N instead of exiting.
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

}  // namespace

int main(int argc, char** argv) {
  int exitCode = 0;
  if (const char* env = std::getenv("FAKECONV_EXIT")) exitCode = std::atoi(env);
  int sleepMs = 0;
  int raiseSignal = 0;
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
  if (touchOutput && !output.empty()) {
    std::ofstream out(output, std::ios::binary);
    out << "fake output\n";
  }
  if (sleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
  if (raiseSignal > 0) std::raise(raiseSignal);
  return exitCode;
}
