// A child program with its output captured in a file (POSIX).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ChildProcess.h"
#include "platform/Platform.h"
#include "platform/posix/Spawn.h"

extern char** environ;

namespace quorvane::platform {

namespace {

std::string VariableName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

struct ChildProcess::State {
  pid_t pid = -1;
  bool waited = true;
  std::int32_t status = 0;
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
  if (!state_->waited) Wait();
}

bool ChildProcess::Start(const std::vector<std::string>& args, const std::string& outputFile,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& extraEnvironment,
                         std::uint32_t& errorCode, const std::string& errorFile) {
  if (args.empty() || !state_->waited) {
    errorCode = EINVAL;
    return false;
  }
  std::vector<std::string> environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string text = *entry;
    bool replaced = false;
    for (const auto& extra : extraEnvironment)
      replaced = replaced || VariableName(extra) == VariableName(text);
    if (!replaced) environment.push_back(text);
  }
  environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());

  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);

  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, outputFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (errorFile.empty())
    posix_spawn_file_actions_adddup2(actions.get(), STDOUT_FILENO, STDERR_FILENO);
  else
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!workingDirectory.empty())
    posix_spawn_file_actions_addchdir_np(actions.get(), workingDirectory.c_str());

  // The child starts with the default reaction to interrupts, whatever this
  // process inherited (a background job ignores SIGINT).
  SpawnAttributes attributes;
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigset_t noMask;
  sigemptyset(&noMask);
  posix_spawnattr_setsigdefault(attributes.get(), &defaults);
  posix_spawnattr_setsigmask(attributes.get(), &noMask);
  posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], actions.get(), attributes.get(), argv.data(), envp.data());
  if (rc != 0) {
    errorCode = static_cast<std::uint32_t>(rc);
    return false;
  }
  state_->pid = pid;
  state_->waited = false;
  return true;
}

std::int32_t ChildProcess::Wait() {
  if (state_->waited) return state_->status;
  int status = 0;
  pid_t rc;
  do {
    rc = waitpid(state_->pid, &status, 0);
  } while (rc < 0 && errno == EINTR);
  state_->waited = true;
  state_->status = rc < 0 ? -1 : ExitStatusOf(status);
  return state_->status;
}

}  // namespace quorvane::platform
