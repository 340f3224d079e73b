// What a run says about itself on standard error (the summary, wildcards that
// match nothing) and how a converter killed by a signal is reported.
#include "Harness.h"

namespace e2e {
namespace {

class Reporting : public E2eTest {};

TEST_F(Reporting, SummaryAndWildcardsThatMatchNothing) {
  DefaultIni();
  Page("a.htm", "");
  Page("b.htm", "");
  // Not .html: a Windows search for *.htm finds that too (by its short name).
  Page("bad.page", "<meta name=\"lrf:--exit\" content=\"3\">");
  const struct { std::vector<std::string> args; int exitCode; std::string err; } cases[] = {
      {{"*.htm"}, 0, "2 converted, 0 failed"},
      {{"-e", "log.txt", "*.htm", "*.page", "-e", "two.log", "*.page"}, 0,
       "2 converted, 2 failed, errors in log.txt and two.log"},
      {{"*.htm", "*.page", "a.htm"}, 1, "2 converted, 1 failed, stopped at the first error"},
      {{"none*.htm", "-x", "sub/"}, 0,
       "No file matches none*.htm." + kNl + "No file matches -x." + kNl + "No file matches sub/." +
           kNl + "0 converted, 0 failed"},
      // No wildcard handled: nothing to sum up, only why the target is not valid.
      {{"-t", "nosuchtarget", "*.htm"}, 2, "Converter in " + S(bin_ / "qprepare.ini") + " is empty."},
      {{"-o"}, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const RunResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.err, c.err.empty() ? "" : c.err + kNl);
    EXPECT_FALSE(Has(r.out, "converted") || Has(r.out, "No file")) << r.out;
  }
}

TEST_F(Reporting, AConverterKilledBySignalIsNamed) {
  if (!kExe.empty()) GTEST_SKIP() << "Windows programs end without signals";
  DefaultIni();
  // SIGKILL: no sanitizer of the fake converter can turn it into an exit.
  Page("kill.htm", "<meta name=\"lrf:--raise\" content=\"9\">");
  Page("exit.htm", "<meta name=\"lrf:--exit\" content=\"137\">");
  const RunResult r = Run({"-e", "log.txt", "*.htm"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Has(r.out, "fakeconv returned errorlevel 137 (killed by signal 9, SIGKILL)." + kNl))
      << r.out;
  // The same code from a program that ended by itself says nothing more.
  EXPECT_TRUE(Has(r.out, "fakeconv returned errorlevel 137." + kNl)) << r.out;
}

}  // namespace
}  // namespace e2e
