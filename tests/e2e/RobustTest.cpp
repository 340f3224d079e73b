// Runs that stop cleanly, converters that cannot hang a run, and files that are
// neither deleted nor overwritten by mistake.
#ifndef _WIN32
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#endif

#include "Harness.h"

#if defined(__SANITIZE_ADDRESS__)
#define QV_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_SANITIZED
#endif
#endif

namespace e2e {
namespace {

const std::string kInterrupted = kNl + "Interrupted: conversion stopped." + kNl;
const std::string kMissingInclude = "<meta name=\"@include\" content=\"missing.htm\">";

class Robust : public E2eTest {
 protected:
  void Fresh() {
    fs::remove_all(work_);
    fs::create_directories(work_);
    fs::remove(record_);
    pages_.clear();
  }
};

TEST_F(Robust, AConverterOverItsTimeLimitIsStoppedAndItsFileFails) {
  DefaultIni("Timeout=1\n");
  // It also ignores the polite request to end (POSIX): it is then killed.
  Page("slow.htm", "<meta name=\"lrf:--sleep\" content=\"60000\">"
                   "<meta name=\"lrf:--ignore-term\" content=\"%e\">");
  RunResult r = Run({"-e", "log.txt", "slow.htm"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  const std::string message = Block("EkelvoError", work_ / "slow.htm", "fakeconv" + kExe +
                                    " did not finish within 1 seconds." + kNl + "Command Line: " +
                                    Shown(S(conv_), calls[0]));
  EXPECT_TRUE(Has(r.out, message)) << r.out;
  EXPECT_TRUE(Has(ReadFile(work_ / "log.txt"), message));
  EXPECT_FALSE(Has(ReadFile(record_), "AWAKE"));
}

// A log that cannot be written is told once; the run goes on and does not end
// as a success.
TEST_F(Robust, AnErrorLogThatCannotBeWrittenIsToldOnceAndFailsTheRun) {
  DefaultIni();
  for (const char* page : {"x.htm", "y.htm"}) Page(page, ExitPage("3"));
  const std::string log = S(fs::path("nodir") / "log.txt");
  RunResult r = Run({"-e", log, "*.htm"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Calls().size(), 2u);
  EXPECT_EQ(Count(r.out, "ERROR EkelvoError"), 2u);
  EXPECT_EQ(Count(r.err, "Cannot write error log " + log + ": "), 1u) << r.err;
}

// Only a regular file is deleted for -e; anything else of that name ends the
// run before anything is converted, and stays.
TEST_F(Robust, AnErrorLogNameThatIsNoRegularFileEndsTheRun) {
  DefaultIni();
  Page("a.htm", "");
  Page("keep.txt", "kept");
  std::vector<std::string> entries = {"folder"};
  fs::create_directory(work_ / "folder");
#ifdef _WIN32
  entries.push_back("NUL");
#else
  ASSERT_EQ(mkfifo(S(work_ / "fifo").c_str(), 0600), 0);
  fs::create_symlink(work_ / "keep.txt", work_ / "link");
  fs::create_symlink(work_ / "gone.txt", work_ / "dangling");
  entries.insert(entries.end(), {"fifo", "link", "dangling"});
  // A device node (made only where that is allowed) is never deleted either.
  if (mknod(S(work_ / "null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) entries.push_back("null");
#endif
  for (const std::string& entry : entries) {
    SCOPED_TRACE(entry);
    RunResult r = Run({"-e", entry, "a.htm"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Cannot use " + entry + " as error log: it is not a regular file." + kNl);
    EXPECT_TRUE(fs::exists(fs::symlink_status(work_ / entry)) || entry == "NUL");
  }
  EXPECT_TRUE(Calls().empty());
}

// The converter must never write over the page it reads. An existing output
// is compared by the system's file identity, one that does not exist yet by
// its name. The builds differ in what the same file is: on POSIX page.HTM is
// not page.htm, on Windows it is.
TEST_F(Robust, AnOutputThatIsThePageItselfIsRefused) {
  DefaultIni("[same]\nConverter=" + S(conv_) + "\nExtension=.htm\n[upper]\nConverter=" + S(conv_) +
             "\nExtension=.HTM\n");
  Page("page.htm", "<meta name=\"*:--touch-output\" content=\"%e\">");
  fs::create_directory(work_ / "linked");
  fs::create_hard_link(work_ / "page.htm", work_ / "linked" / "page.htm");
  const bool windows = !kExe.empty();
  const struct { std::string target, outputDir; bool refused; } cases[] = {
      {"same", ".", true},
      {"same", "linked", true},  // a hard link to the page
#ifndef _WIN32
      {"same", "alias", true},  // a link to the page's folder
#endif
      {"upper", ".", windows},  // POSIX: page.HTM is a file of its own (written last)
  };
#ifndef _WIN32
  fs::create_directory_symlink(work_, work_ / "alias");
#endif
  for (const auto& [target, outputDir, refused] : cases) {
    SCOPED_TRACE(target + " -o " + outputDir);
    RunResult r = RunAgain({"-e", "log.txt", "-t", target, "-o", outputDir, "page.htm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Has(r.out, " is the input file itself; not converted"), refused) << r.out;
    EXPECT_EQ(Calls().size(), refused ? 0u : 1u) << r.out;
  }
}

// Outputs written inside the walked tree are not walked again, whichever way
// the output folder is reached.
TEST_F(Robust, TheWalkNeverEntersTheOutputFolder) {
  DefaultIni("[html]\nConverter=" + S(conv_) + "\nExtension=.htm\n");
  const std::vector<std::vector<std::string>> runs = {
      {"-t", "html", "-r+", "-o", "out", "*.htm"},
      {"-t", "html", "-r", "-o", S(work_ / "sub" / "out"), "*.htm"},
  };
  for (const auto& args : runs) {
    SCOPED_TRACE(args[4]);
    Fresh();
    for (const char* page : {"a.htm", "sub/b.htm"}) Page(page, "<meta name=\"*:--touch-output\" content=\"%e\">");
    RunResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(Calls().size(), 2u);
  }
}

#ifndef _WIN32
// An interrupt that is pending when the walk goes on stops it there: no
// further converter starts, and nothing after it is even tried. Every signal
// that asks the run to stop does the same.
TEST_F(Robust, EveryInterruptStopsTheWalkAtItsNextStep) {
  DefaultIni();
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    SCOPED_TRACE(strsignal(signal));
    Fresh();
    // The first page's converter sends the interrupt. The pages after it in
    // the walk (same folder, sub-folder, next wildcard) fail before any
    // converter would run, so an error block shows that one was tried.
    Page("a.htm", Meta("--signal-parent", std::to_string(signal)));
    for (const char* page : {"b.htm", "c.htm", "sub/d.htm", "next/e.htm"}) Page(page, kMissingInclude);
    RunResult r = Run({"-e", "log.txt", "-r", "*.htm", "next/*.htm"});
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_TRUE(r.out.ends_with(kInterrupted)) << r.out;
    EXPECT_EQ(Calls().size(), 1u);
    // The system lists the folder in its own order: only pages listed before
    // a.htm are tried.
    std::size_t before = 0;
    for (const auto& entry : fs::directory_iterator(work_)) {
      if (entry.path().filename() == "a.htm") break;
      before += entry.path().extension() == ".htm";
    }
    EXPECT_EQ(Count(r.out, "ERROR "), before) << r.out;
  }
}

// `qprepare ... | head -1`: a closed output ends the run like an interrupt
// instead of killing it, so its temporary copies still go; also when the
// program was started with SIGPIPE ignored and only sees the failed write.
// The output closes while the first converter runs; the error block of the
// next page, or the EXEC line of a page that converts, is the first write to
// fail. No converter starts after it, the page after it in the folder is not
// tried, nor is the next wildcard (which would say it matches no file).
TEST_F(Robust, AClosedOutputStopsTheRunCleanly) {
  DefaultIni();
  Page("a.htm", "<meta name=\"lrf:--sleep\" content=\"1000\">");
  for (const char* page : {"sub/b.htm", "sub/c.htm"}) Page(page, kMissingInclude);
  Page("ok.htm", "");
  stdout_ = root_ / "out.fifo";
  ASSERT_EQ(mkfifo(S(stdout_).c_str(), 0600), 0);
  for (const bool ignored : {false, true})
    for (const std::string next : {"sub/*.htm", "sub/b.htm", "ok.htm"}) {
      SCOPED_TRACE((ignored ? "SIGPIPE ignored, " : "SIGPIPE, ") + next);
      fs::remove(record_);
      fs::remove(work_ / "log.txt");
      const int reader = open(S(stdout_).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      ASSERT_GE(reader, 0);
      std::signal(SIGPIPE, ignored ? SIG_IGN : SIG_DFL);  // the program inherits it
      quorvane::platform::ChildProcess child;
      const bool started = Start(child, {"-e", "log.txt", "a.htm", next, "none*.htm"});
      std::signal(SIGPIPE, SIG_DFL);
      // Read the first line (the EXEC line), then go away.
      fcntl(reader, F_SETFL, 0);
      for (char c = 0; c != '\n' && read(reader, &c, 1) == 1;) {
      }
      close(reader);
      ASSERT_TRUE(started);
      EXPECT_EQ(child.Wait(), 130);
      EXPECT_EQ(Calls().size(), 1u);
      EXPECT_EQ(Count(ReadFile(work_ / "log.txt"), "ERROR EFOpenError"),
                next == "ok.htm" ? 0u : 1u);
      EXPECT_FALSE(Has(ReadFile(stderr_), "No file matches")) << ReadFile(stderr_);
    }
}

// Without /proc (a chroot, some containers) the program finds itself from
// its argument 0; an INI file in the current directory never stands in.
TEST_F(Robust, WithoutProcTheProgramFindsItselfFromItsArgumentZero) {
#ifdef QV_SANITIZED
  GTEST_SKIP() << "sanitized programs read their options and threads from /proc";
#endif
  DefaultIni();
  Page("a.htm", "");
  WriteFile(work_ / ".ini", "[lrf]\nConverter=" + S(conv_) + "\nCommandLine=--from-current-dir\n");
  const struct { std::string argument0; int exitCode; std::string out; } cases[] = {
      {S(qprepare_), 0, "EXEC: " + S(conv_) + "  --output="},
      {"qprepare", 0, "EXEC: " + S(conv_) + "  --output="},  // found on PATH
      {"elsewhere/qprepare", 1, "Cannot find the path of this program (qprepare) to read its INI "
                                "file; start it by its full path." + kNl},
  };
  for (const auto& [argument0, exitCode, out] : cases) {
    SCOPED_TRACE(argument0);
    const std::string path = "PATH=/nonexistent:" + S(bin_), program = S(qprepare_);
    const std::string record = "FAKECONV_RECORD=" + S(record_), tmp = "TMPDIR=" + S(tmp_);
    char* const argv[] = {const_cast<char*>(argument0.c_str()), const_cast<char*>("a.htm"), nullptr};
    char* const envp[] = {const_cast<char*>(path.c_str()), const_cast<char*>(record.c_str()),
                          const_cast<char*>(tmp.c_str()), nullptr};
    const std::string work = S(work_), output = S(stdout_);
    const pid_t pid = fork();
    if (pid == 0) {
      // A mount namespace of its own, with an empty /proc.
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("none", "/proc", "tmpfs", 0, nullptr) != 0)
        _exit(125);
      const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || chdir(work.c_str()) != 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0) _exit(126);
      execve(program.c_str(), argv, envp);
      _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (WEXITSTATUS(status) == 125) GTEST_SKIP() << "no mount namespace here to hide /proc in";
    EXPECT_EQ(WEXITSTATUS(status), exitCode);
    EXPECT_EQ(ReadFile(stdout_).substr(0, out.size()), out);
  }
  EXPECT_FALSE(Has(ReadFile(record_), "--from-current-dir"));
}
#endif

}  // namespace
}  // namespace e2e
