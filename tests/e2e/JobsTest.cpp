// Several converters at once (-j): each file's output shown whole, failures and
// interrupts as with one converter, and the option's values.
#include "Harness.h"

namespace e2e {
namespace {

class Jobs : public E2eTest {
 protected:
  // The converter of page name says "name out", "name err" and, after
  // sleeping ms, "name end" (fakeconv --say).
  void Talker(const std::string& name, int ms, const std::string& more = "") {
    Page(name + ".htm", Meta("--say", name) + Meta("--sleep", std::to_string(ms)) + more);
  }
  // Makes the converters of the pages that carry it wait for one another.
  std::string MeetingOf(int converters) {
    return Meta("--meet", S(root_ / ("meet" + std::to_string(++meetings_))) + "," +
                              std::to_string(converters));
  }
  // What follows the EXEC line of page name's converter up to the next EXEC
  // line, error block or closing line; empty when it did not run.
  static std::string ShownAfter(const std::string& out, const std::string& name) {
    const std::size_t say = out.find(" --say=" + name + " ");
    if (say == std::string::npos) return "";
    const std::size_t body = out.find(kNl, say) + kNl.size();
    std::size_t end = out.size();
    for (const std::string& next : std::vector<std::string>{"EXEC: ", kNl + "ERROR ", "Exception ",
                                                            "Interrupted: "})
      end = std::min(end, out.find(next, body));
    return out.substr(body, end - body);
  }
  int meetings_ = 0;
};

const std::string kSummaryOk = "3 converted, 0 failed" + kNl;

// Three converters run at once (each waits for the other two); what each
// writes comes whole after its own EXEC line, however the ends fall. Its
// standard error goes to standard error, or in order with its output when
// both lead to one file. More than a pipe holds is read while it runs.
TEST_F(Jobs, ConvertersRunAtOnceAndEachFileIsShownWhole) {
  DefaultIni();
  const std::string noise(200000, 'x');
  for (const bool together : {false, true}) {
    SCOPED_TRACE(together ? "one file for both" : "two files");
    const std::string meeting = MeetingOf(3);
    Talker("p1", 600, meeting);
    Talker("p2", 300, meeting + Meta("--noise", std::to_string(noise.size())));
    Talker("p3", 0, meeting);
    if (together) stderr_.clear();  // the harness then sends both to stdout_
    RunResult r = Run({"-j", "3", "*.htm"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    std::string& last = together ? r.out : r.err;  // the summary
    ASSERT_TRUE(last.ends_with(kSummaryOk)) << last;
    last.resize(last.size() - kSummaryOk.size());
    for (const std::string name : {"p1", "p2", "p3"}) {
      const std::string said = (name == "p2" ? noise + kNl : "") + name + " out" + kNl +
                               (together ? name + " err" + kNl : "") + name + " end" + kNl;
      EXPECT_EQ(ShownAfter(r.out, name), said) << name;
      EXPECT_EQ(Count(r.err, name + " err" + kNl), together ? 0u : 1u) << r.err;
    }
  }
}

// Without a log the first failure starts nothing more: the converter still
// running finishes and is shown, then the run ends with that failure. With a
// log every failure is logged and the run goes on.
TEST_F(Jobs, AFailureStopsFurtherStartsUnlessLogged) {
  DefaultIni();
  const std::string nl = kNl;
  for (const bool logged : {false, true}) {
    SCOPED_TRACE(logged ? "with -e" : "without -e");
    const std::string meeting = MeetingOf(2);
    Page("a.htm", meeting + ExitPage("3") + Meta("--say", "a"));
    Talker("b", 500, meeting);
    Talker("c", 0);
    Page("d.htm", "<meta name=\"@include\" content=\"missing.htm\">");
    std::vector<std::string> args = {"-j", "2", "*.htm"};
    if (logged) args.insert(args.begin(), {"-e", "log.txt"});
    const RunResult r = Run(args);
    EXPECT_EQ(ShownAfter(r.out, "a"), "a out" + nl + "a end" + nl) << r.out;
    EXPECT_TRUE(Has(r.out, "a end" + nl + nl + "ERROR EkelvoError WHILE CONVERTING " +
                               S(work_ / "a.htm") + ":" + nl + "fakeconv" + kExe +
                               " returned errorlevel 3." + nl + "Command Line: "));
    EXPECT_EQ(ShownAfter(r.out, "b"), "b out" + nl + "b end" + nl);
    EXPECT_EQ(ShownAfter(r.out, "c"), logged ? "c out" + nl + "c end" + nl : "");
    EXPECT_EQ(Has(r.out, "ERROR EFOpenError"), logged);
    if (logged) {
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_EQ(Count(ReadFile(work_ / "log.txt"), "ERROR "), 2u);
      EXPECT_TRUE(r.err.ends_with(nl + "2 converted, 2 failed, errors in log.txt" + nl)) << r.err;
    } else {
      EXPECT_EQ(r.exitCode, 1);
      // The final report of a's failure comes last.
      const std::size_t report = r.out.find("Exception EkelvoError in module ");
      EXPECT_GT(report, r.out.find("b end")) << r.out;
      const std::string head = S(work_ / "a.htm") + ":" + nl;
      const std::size_t message = r.out.find(head) + head.size();
      EXPECT_TRUE(r.out.ends_with(
          nl + r.out.substr(message, r.out.find(nl + nl, message) - message) + "." + nl));
      EXPECT_TRUE(r.err.ends_with(nl + "1 converted, 1 failed, stopped at the first error" + nl))
          << r.err;
    }
  }
}

// Two pages of one name in two folders (-r without -r+) make one output
// file: their converters run one after the other, as without -j, and the
// later page's output stays.
TEST_F(Jobs, NoTwoConvertersWriteOneOutputAtOnce) {
  DefaultIni();
  for (const char* page : {"one/same.htm", "two/same.htm"}) Page(page, Meta("--sleep", "300"));
  const RunResult r = Run({"-j", "2", "-r", "-o", "out", "*.htm"});
  EXPECT_EQ(r.exitCode, 0);
  const std::string record = ReadFile(record_);
  EXPECT_EQ(Count(record, "CALL "), 2u);
  EXPECT_LT(record.find("AWAKE"), record.rfind("CALL ")) << record;
}

#ifndef _WIN32
// The first interrupt starts nothing more and waits for the running
// converters; a second one stops them. Either way no file counts, and every
// temporary copy goes (the harness checks).
TEST_F(Jobs, InterruptsWaitForEveryConverterOrStopThemAll) {
  DefaultIni();
  const struct { const char* signals; int ms; bool finished; } cases[] = {
      {"15", 600, true},
      {"15,15", 60000, false},
  };
  for (const auto& [signals, ms, finished] : cases) {
    SCOPED_TRACE(signals);
    const std::string meeting = MeetingOf(2);
    Talker("a", ms, meeting + Meta("--signal-parent", signals));
    Talker("b", ms, meeting);
    Talker("c", 0);
    const RunResult r = Run({"-e", "log.txt", "-j", "2", "*.htm"});
    EXPECT_EQ(r.exitCode, 130);
    // a said "a out" before it sent the signals; b may not have come so far
    // when it is stopped.
    EXPECT_EQ(ShownAfter(r.out, "a"), "a out" + kNl + (finished ? "a end" + kNl : "")) << r.out;
    EXPECT_TRUE(Has(r.out, " --say=b "));
    EXPECT_EQ(Has(r.out, "b end"), finished) << r.out;
    EXPECT_FALSE(Has(r.out, "--say=c")) << r.out;
    EXPECT_TRUE(r.out.ends_with(kNl + "Interrupted: conversion stopped." + kNl)) << r.out;
    EXPECT_TRUE(r.err.ends_with(kNl + "0 converted, 0 failed, interrupted" + kNl)) << r.err;
    EXPECT_FALSE(fs::exists(work_ / "log.txt"));
  }
}
#endif

// -j takes the next argument: a whole number from 1 to 64, else the run ends
// there with exit code 1; as the last argument it shows the usage text.
TEST_F(Jobs, TheNumberOfJobsIsAWholeNumberFrom1To64) {
  DefaultIni();
  Page("a.htm", "");
  const std::string usage = Run({}).out;
  const struct { std::vector<std::string> args; int exitCode; std::size_t calls; std::string bad; } cases[] = {
      {{"-J", "64", "a.htm"}, 0, 1, ""},
      {{"-j", "007", "a.htm"}, 0, 1, ""},
      {{"-j", "0", "a.htm"}, 1, 0, "0"},
      {{"-j", "65", "a.htm"}, 1, 0, "65"},
      {{"-j", "-2", "a.htm"}, 1, 0, "-2"},
      {{"-j", "99999999999", "a.htm"}, 1, 0, "99999999999"},
      {{"-j", "", "a.htm"}, 1, 0, ""},
      {{"a.htm", "-j", "two", "a.htm"}, 1, 1, "two"},  // left to right
      {{"a.htm", "-j"}, 1, 1, ""},                     // the usage text
  };
  for (const auto& [args, exitCode, calls, bad] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    fs::remove(record_);
    const RunResult r = Run(args);
    EXPECT_EQ(r.exitCode, exitCode);
    EXPECT_EQ(Calls().size(), calls);
    const bool invalid = exitCode != 0 && args.back() != "-j";
    EXPECT_EQ(Has(r.err, "-j " + bad + ": the number of converters to run at once must be a whole "
                         "number from 1 to 64." + kNl), invalid) << r.err;
    EXPECT_EQ(r.out.ends_with(usage), args.back() == "-j");
  }
}

}  // namespace
}  // namespace e2e
