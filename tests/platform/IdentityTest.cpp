// What a name is, which file it leads to, where the temporary folder and the
// program itself are.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Support.h"
#include "platform/Platform.h"
#include "util/Path.h"

namespace {

namespace pf = quorvane::platform;
namespace fs = std::filesystem;
using qvtest::kSep;
using qvtest::ScratchDir;
using Kind = pf::EntryKind;

TEST(Entries, KindAndIdentity) {
  ScratchDir dir;
  const std::string file = dir.File("page.htm", "x"), other = dir.File("other.htm", "x");
  const std::string folder = dir.Dir("folder"), hard = dir / "hard.htm";
  fs::create_hard_link(file, hard);
  const struct { std::string name; Kind kind; std::string sameAs; } cases[] = {
      {file, Kind::RegularFile, hard},
      {other, Kind::RegularFile, ""},
      {folder, Kind::Directory, folder + kSep + "." + kSep},
      {dir / "missing", Kind::Missing, ""},
      {"", Kind::Missing, ""},
#ifdef _WIN32
      {"NUL", Kind::Other, ""},
      {dir / "PAGE.HTM", Kind::RegularFile, file},  // names ignore case
#else
      {dir / "fifo", Kind::Other, ""},
      {dir / "PAGE.HTM", Kind::Missing, ""},
      {dir / "link", Kind::Link, file},  // followed for the identity
      {dir / "folderlink", Kind::Link, folder},
#endif
  };
#ifndef _WIN32
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink(file, dir / "link");
  fs::create_directory_symlink(folder, dir / "folderlink");
#endif
  for (const auto& [name, kind, sameAs] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(pf::EntryKindOf(name), kind);
    EXPECT_EQ(pf::IdentityOf(name).has_value(), kind != Kind::Missing && kind != Kind::Other);
    if (!sameAs.empty()) {
      EXPECT_EQ(quorvane::SameExistingEntry(name, sameAs), true);
      EXPECT_EQ(quorvane::SameExistingEntry(name, other), name == other);
    }
  }
  EXPECT_EQ(quorvane::SameExistingEntry(file, dir / "missing"), std::nullopt);
}

// The converter may run anywhere: the temporary folder it is given is full.
TEST(Temp, ARelativeTemporaryFolderIsMadeFull) {
  ScratchDir dir;
  dir.Dir("rel");
  dir.MakeCurrent();
#ifdef _WIN32
  const char* variable = "TMP";
#else
  const char* variable = "TMPDIR";
#endif
  const char* old = std::getenv(variable);
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  const std::string sep(1, kSep);
  for (const std::string& value : {std::string("rel"), std::string(".").append(sep).append("rel").append(sep)}) {
#ifdef _WIN32
    _putenv_s(variable, value.c_str());
#else
    setenv(variable, value.c_str(), 1);
#endif
    EXPECT_EQ(pf::TempPath(), pf::CurrentDirectory() + kSep + "rel" + kSep) << value;
  }
#ifdef _WIN32
  _putenv_s(variable, saved.value_or("").c_str());
#else
  if (saved) setenv(variable, saved->c_str(), 1);
  else unsetenv(variable);
#endif
}

#ifndef _WIN32
// Without /proc: argument 0 as the shell passed it.
TEST(Paths, ProgramFromArgumentZero) {
  ScratchDir dir;
  const std::string program = dir.Dir("bin") + "/qvprog";
  fs::copy_file(QV_FAKECONV, program);
  dir.File("bin/plain", "not executable");
  fs::create_symlink(program, dir / "bin/linked");
  dir.MakeCurrent();
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", ("/nonexistent:" + dir / "bin").c_str(), 1);
  const std::pair<std::string, std::string> cases[] = {
      {program, program}, {"bin/qvprog", program}, {"./bin/../bin/qvprog", program},
      {"qvprog", program}, {"linked", program},  // on PATH; links resolved
      {"bin/plain", ""}, {"plain", ""}, {"bin", ""}, {"nosuch", ""}, {"", ""},
  };
  for (const auto& [argument, expected] : cases)
    EXPECT_EQ(pf::ProgramFromArgument(argument), expected) << argument;
  // A bare name is never taken from the current directory as such.
  dir.File("qvlocal", "");
  fs::permissions(dir / "qvlocal", fs::perms::owner_all);
  EXPECT_EQ(pf::ProgramFromArgument("qvlocal"), "");
  setenv("PATH", oldPath.c_str(), 1);
}
#endif

}  // namespace
