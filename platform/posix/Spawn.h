// What starting a program needs on POSIX: the file to start for a name,
// owners of the objects posix_spawn takes, and the status it ended with.
#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>
#include <string>

namespace quorvane::platform {

// The file to start for a program name, or empty with errno set. A name with
// a slash is a path; a bare name is the file of that name in the current
// directory (the same file a check of the converter's existence looks at),
// else the first executable file of that name on PATH.
std::string SearchProgram(const std::string& program);

// The exit status of a program from what waitpid reported: its exit code,
// or 128 + N when signal N ended it.
inline std::int32_t ExitStatusOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return waitStatus;
}

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

}  // namespace quorvane::platform
