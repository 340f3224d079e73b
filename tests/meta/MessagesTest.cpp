// Messages where the user must act: pages the scans cannot read, and
// temporary copies that cannot be made.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/ScratchDir.h"
#include "meta/MetaScan.h"
#include "meta/ModuleState.h"
#include "meta/TempCopy.h"
#include "platform/Platform.h"
#include "base/Errors.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

namespace quorvane {
namespace {

using namespace std::string_literals;
using qvtest::ScratchDir;

template <typename Fn>
std::string ErrorOf(Fn fn) {
  try { fn(); } catch (const Exception& e) { return e.KindName() + ": "s + e.what(); }
  return "(no error)";
}

TEST(PageMessages, WideTextFailsNamingTheFile) {
  ScratchDir dir;
  CurrentPrefix = "lrf:";
  const std::string page = dir / "x.htm", inc = dir / "inc.htm";
  const std::pair<std::string, const char*> rows[] = {
      {"\xFF\xFE<\0p\0"s, "UTF-16"}, {"\xFE\xFF\0<"s, "UTF-16"},
      {"\xFF\xFE\0\0<\0\0\0"s, "UTF-32"}, {"\0\0\xFE\xFF"s, "UTF-32"},
      {"\xEF\xBB\xBF<p>"s, nullptr}, {"\xFE<p>"s, nullptr}, {""s, nullptr},
  };
  for (const auto& [bytes, form] : rows) {
    dir.File("x.htm", bytes);
    const std::string error = form ? "EkelvoError: " + page + " is " + form + " text; save it as UTF-8"
                                   : "(no error)";
    EXPECT_EQ(ErrorOf([&] { LoadDocument(page); }), error) << bytes;
  }
  // An included file names itself.
  dir.File("inc.htm", "\xFF\xFE<\0"s);
  dir.File("x.htm", "<meta name=\"@include\" content=\"inc.htm\">");
  EXPECT_EQ(ErrorOf([&] { LoadDocument(page); }),
            "EkelvoError: " + inc + " is UTF-16 text; save it as UTF-8");
}

TEST(PageMessages, NulByteWarnsOnStandardError) {
  ScratchDir dir;
  CurrentPrefix = "lrf:";
  const std::string include = "<meta name=\"@include\" content=\"inc.htm\">";
  const std::string page = dir.File("x.htm", include + "ab\0cd"s), inc = dir.File("inc.htm", "x\0y"s);
  const std::string clean = dir.File("clean.htm", "<p>");
  testing::internal::CaptureStderr();
  const std::string document = LoadDocument(page);
  LoadDocument(clean);
  std::string warnings = testing::internal::GetCapturedStderr();
  std::erase(warnings, '\r');  // the capture is read back as text
  const auto warning = [](const std::string& file, std::size_t offset) {
    return "Warning: " + file + " has a NUL byte at offset " + std::to_string(offset) +
           "; meta tags and links after it are ignored\n";
  };
  EXPECT_EQ(warnings, warning(page, include.size() + 2) + warning(inc, 1));
  EXPECT_EQ(document, "x\0yab\0cd"s);  // converted as it is
}

// Sets an environment variable for the life of the object (empty: unset).
struct EnvVar {
  static void Set(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
#endif
  }
  EnvVar(const char* name, const std::string& value)
      : name(name), old(std::getenv(name) ? std::getenv(name) : "") { Set(name, value); }
  ~EnvVar() { Set(name, old); }
  const char* name;
  std::string old;
};

TEST(TempMessages, TheNameAndTheSystemsReason) {
  ScratchDir dir;
  const std::string missing = dir / "missing";
#ifdef _WIN32
  EnvVar tmp("TMP", missing), temp("TEMP", missing);
  const std::string made = "*.tmp: ";
#else
  EnvVar tmp("TMPDIR", missing);
  const std::string made = ".tmp: No such file or directory";
#endif
  const std::string error = ErrorOf([] { WriteTempCopy("page.htm", "x"); });
  const std::string start = "Exception: Cannot create directory " + (dir / "missing") +
                            PathSeparator() + "kel";
  EXPECT_TRUE(error.starts_with(start) && error.find(made) != std::string::npos &&
              !error.ends_with(": "))
      << error;
  EXPECT_EQ(TempCopyList.Count(), 0);
}

#ifndef _WIN32
TEST(TempMessages, CopiesThatCannotBeWritten) {
  ScratchDir dir;
  EnvVar tmp("TMPDIR", dir.path());
  const std::string longName(300, 'n');
  const std::string tooLong = ErrorOf([&] { WriteTempCopy(longName, "x"); });
  ASSERT_EQ(TempCopyList.Count(), 1);
  EXPECT_EQ(tooLong, "EFCreateError: Cannot create file " + TempCopyList.Get(0) + "/" + longName +
                         ": File name too long");
  // A file size limit makes the write itself fail.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 4;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string error = ErrorOf([] { WriteTempCopy("page.htm", "more than four bytes"); });
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_EQ(TempCopyList.Count(), 2);
  EXPECT_EQ(error, "EWriteError: Stream write error " + TempCopyList.Get(1) +
                       "/page.htm: File too large");
  DeleteTempCopies();
}
#endif

}  // namespace
}  // namespace quorvane
