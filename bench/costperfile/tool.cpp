// Helpers of the cost-per-file benchmark (bench/costperfile/run.sh):
//
//   costperfile_tool pages DIR FIRST COUNT
//       writes COUNT small pages pNNNNNN.htm, numbered from FIRST, into DIR
//       (created when missing);
//   costperfile_tool measure STDOUT-FILE PROGRAM [ARGS...]
//       starts PROGRAM directly (no shell) with its standard output going to
//       STDOUT-FILE, waits for it and prints
//       "<wall-seconds> <cpu-seconds> <peak-kB> <exit-code>": the elapsed
//       time; the processor time (user and system) of the program and all the
//       children it waited for; the peak resident set size of the program
//       (the larger of its own and that of its biggest child, as the kernel
//       reports it); and its exit code.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

// About 1.5 kB, like a short hand-written page: two parameters for the
// benchmark's target (the title uses a placeholder), a stylesheet, a picture
// and a link, all of which qprepare has to rewrite.
std::string Page(const std::string& name) {
  std::string text =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>" + name + "</title>\n"
      "<meta name=\"noop:--title\" content=\"Page %n\">\n"
      "<meta name=\"noop:--author\" content=\"Bench\">\n"
      "<link rel=\"stylesheet\" href=\"style.css\">\n"
      "</head>\n<body>\n<h1>" + name + "</h1>\n";
  for (int k = 0; k < 4; ++k)
    text +=
        "<p>The keeper climbed the stair at dusk, trimmed the wick, wound the "
        "clockwork and wrote the weather in the log before the first ship "
        "came round the point.</p>\n";
  text +=
      "<p><img src=\"pictures/tower.png\" alt=\"The tower\"></p>\n"
      "<p><a href=\"index.htm#top\">Back to the index</a></p>\n"
      "</body>\n</html>\n";
  return text;
}

int MakePages(const std::string& dir, long first, long count) {
  std::string path;
  for (std::size_t i = 1; i <= dir.size(); ++i) {  // mkdir -p
    if (i == dir.size() || dir[i] == '/') {
      path = dir.substr(0, i);
      if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(path.c_str());
        return 1;
      }
    }
  }
  for (long n = first; n < first + count; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "p%06ld", n);
    std::ofstream out(dir + "/" + name + ".htm", std::ios::binary);
    out << Page(name);
    if (!out) {
      std::fprintf(stderr, "cannot write %s/%s.htm\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}

int Measure(const std::string& stdoutFile, char** argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // qprepare's summary on standard error goes there too, not between the figures.
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(rc));
    return 1;
  }
  int status = 0;
  struct rusage usage;
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("wait4");
      return 1;
    }
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.6f %.6f %ld %d\n", seconds, cpu, usage.ru_maxrss, code);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string what = argc > 1 ? argv[1] : "";
  if (what == "pages" && argc == 5)
    return MakePages(argv[2], std::atol(argv[3]), std::atol(argv[4]));
  if (what == "measure" && argc >= 4) return Measure(argv[2], argv + 3);
  std::fprintf(stderr,
               "usage: costperfile_tool pages DIR FIRST COUNT\n"
               "       costperfile_tool measure STDOUT-FILE PROGRAM [ARGS...]\n");
  return 2;
}
