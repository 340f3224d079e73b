// Where the temporary folder and the program itself are.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Support.h"
#include "platform/Platform.h"

namespace {

namespace pf = quorvane::platform;
namespace fs = std::filesystem;
using qvtest::kSep;
using qvtest::ScratchDir;

void SetVariable(const char* name, const char* value) {  // nullptr: remove it
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  if (value) setenv(name, value, 1);
  else unsetenv(name);
#endif
}

// The converter may run anywhere: the temporary folder it is given is full.
TEST(Temp, ARelativeTemporaryFolderIsMadeFull) {
#ifdef _WIN32
  const char* variable = "TMP";
#else
  const char* variable = "TMPDIR";
#endif
  const char* old = std::getenv(variable);
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ScratchDir dir;
  dir.Dir("rel");
  dir.MakeCurrent();
  SetVariable(variable, (std::string(".").append(1, kSep) + "rel").c_str());
  EXPECT_EQ(pf::TempPath(), pf::CurrentDirectory() + kSep + "rel" + kSep);
  SetVariable(variable, saved ? saved->c_str() : nullptr);
}

#ifndef _WIN32
// Without /proc the program finds itself from argument 0 as the shell passed it.
TEST(Paths, ProgramFromArgumentZero) {
  ScratchDir dir;
  const std::string program = dir.Dir("bin") + "/qvprog";
  fs::copy_file(QV_FAKECONV, program);
  fs::create_symlink(program, dir / "bin/linked");
  dir.File("qvlocal", "");
  fs::permissions(dir / "qvlocal", fs::perms::owner_all);
  dir.MakeCurrent();
  const std::string oldPath = std::getenv("PATH");
  SetVariable("PATH", ("/nonexistent:" + dir / "bin").c_str());
  const std::pair<std::string, std::string> cases[] = {
      {"./bin/../bin/qvprog", program}, {"linked", program},  // PATH; links resolved
      {"bin", ""}, {"nosuch", ""},
      {"qvlocal", ""},  // a bare name is never taken from the current directory
  };
  for (const auto& [argument, expected] : cases)
    EXPECT_EQ(pf::ProgramFromArgument(argument), expected) << argument;
  SetVariable("PATH", oldPath.c_str());
}
#endif

}  // namespace
