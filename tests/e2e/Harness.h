// Drives the built qprepare end to end: each test gets a fresh directory with
// copies of qprepare and of the fake converter, its own INI file, pages, and a
// private directory for temporary copies.
//
// The expected texts differ between the two builds in line breaks (CR LF on
// Windows, LF on POSIX) and in path syntax (backslashes and drives on
// Windows, slashes on POSIX) only; kNl and the path helpers below carry that
// difference, everything else is compared as it stands.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace e2e {

namespace fs = std::filesystem;

#ifdef _WIN32
inline const std::string kNl = "\r\n";
inline const std::string kExe = ".exe";
#else
inline const std::string kNl = "\n";
inline const std::string kExe = "";
#endif

// What the fake converter recorded for one run of it.
struct Call {
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> files;  // argument, bytes
  // The bytes of the file an argument named; fails the test when absent.
  std::string FileOf(const std::string& arg) const;
  // The last argument: the temporary copy with the default template.
  const std::string& Input() const { return args.back(); }
};

struct RunResult {
  int exitCode = -1;
  std::string out;
};

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& data);
// A path as the program writes it.
std::string S(const fs::path& path);
// Lines of a text split at kNl (the last, empty piece dropped).
std::vector<std::string> Lines(const std::string& text);

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes bin/qprepare.ini. Without a call the copied qprepare has no INI.
  void Ini(const std::string& text);
  // The usual INI: [lrf] with the fake converter, plus more text.
  void DefaultIni(const std::string& more = "");
  // Writes a page below work/.
  void Page(const std::string& relPath, const std::string& text);
  // Runs qprepare in work/ with the arguments.
  RunResult Run(const std::vector<std::string>& args,
                const std::vector<std::string>& extraEnvironment = {});
  // Starts qprepare in work/ without waiting; its output goes to stdout_.
  bool Start(quorvane::platform::ChildProcess& child, const std::vector<std::string>& args,
             const std::vector<std::string>& extraEnvironment = {});
  // The recorded converter runs, in order.
  std::vector<Call> Calls() const;
  // Names of the kel*.tmp entries left in the temporary directory.
  std::vector<std::string> TempLeftovers() const;
  // The URL of a path in the copy the converter reads.
  std::string Url(const fs::path& path) const;

  fs::path root_;  // the test's own directory
  fs::path bin_;   // qprepare, its INI, the fake converter
  fs::path work_;  // the current directory of the run, with the pages
  fs::path tmp_;   // the run's temporary directory
  fs::path qprepare_;
  fs::path conv_;
  fs::path record_;
  fs::path stdout_;
};

}  // namespace e2e
