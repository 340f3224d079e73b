// A program the tests start with its output going to files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane::platform {

// A program started with its standard output and standard error going to
// files; the end-to-end tests drive the built executable with it. The program
// is started directly from its argument list (never through a shell), in the
// given working directory, with this process's environment plus the given
// "NAME=value" entries (which replace variables of the same name).
class ChildProcess {
 public:
  ChildProcess();
  ~ChildProcess();  // waits for a program that still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // False when the program could not be started; errorCode then holds the
  // system's code. Standard error goes to errorFile, or with standard output
  // into outputFile when errorFile is empty.
  bool Start(const std::vector<std::string>& args, const std::string& outputFile,
             const std::string& workingDirectory,
             const std::vector<std::string>& extraEnvironment, std::uint32_t& errorCode,
             const std::string& errorFile = {});
  // Waits for the end and returns the exit status (POSIX: 128 + N after
  // signal N).
  std::int32_t Wait();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quorvane::platform
