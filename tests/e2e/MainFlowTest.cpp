// The command line: usage, exit codes, options handled left to right.
#include "Harness.h"

namespace e2e {
namespace {

const char kTitlePage[] = "<html><head><meta name=\"lrf:--title\" content=\"T\"></head></html>";

class MainFlow : public E2eTest {};

TEST_F(MainFlow, NoArgumentsPrintsTheUsageEvenWithoutIni) {
  RunResult r = Run({});
  EXPECT_EQ(r.exitCode, 1);
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 34u) << r.out;
  EXPECT_EQ(lines[0], "Quorvane Prepare v0.12");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "Syntax: qprepare" + kExe +
                          " [-r[+]] [-t <target>] [-o <dir>] [-e <file>] <wildcard>");
  EXPECT_EQ(lines[3], "");
  // Two lines keep their trailing blank.
  EXPECT_EQ(lines[21], "          -- or -. <value> can contain several replacement characters: ");
  EXPECT_EQ(lines[31], "Instead of \"lrf:\" other prefixes for different targets are possible - see ");
  EXPECT_EQ(lines[32], "INI file for possible prefixes; \"*:\" can also be used for \"any target\".");
  // The text ends with a line break and the printing adds one more.
  EXPECT_EQ(lines[33], "");
  EXPECT_EQ(r.out.substr(r.out.size() - 2 * kNl.size()), kNl + kNl);
}

TEST_F(MainFlow, OptionWithoutValueShowsUsageAfterEarlierWildcards) {
  DefaultIni();
  Page("a.htm", kTitlePage);
  for (const char* option : {"-o", "-e", "-t", "-T"}) {
    fs::remove(record_);
    RunResult r = Run({"*.htm", option});
    EXPECT_EQ(r.exitCode, 1) << option;
    EXPECT_NE(r.out.find("Quorvane Prepare v0.12" + kNl), std::string::npos) << option;
    EXPECT_EQ(Calls().size(), 1u) << option << ": the wildcard before it is converted";
  }
}

TEST_F(MainFlow, InvalidTargetEndsWithCodeTwoBeforeLaterWildcards) {
  DefaultIni("[broken]\nConverter=" + S(bin_ / "missing") + "\n");
  Page("a.htm", kTitlePage);
  struct Case {
    std::vector<std::string> args;
    std::size_t callsBefore;
  } cases[] = {
      {{"-t", "nosuchtarget", "*.htm"}, 0},
      {{"*.htm", "-T", "broken", "*.htm"}, 1},
      {{"-t", "", "*.htm"}, 0},
  };
  for (const auto& c : cases) {
    fs::remove(record_);
    RunResult r = Run(c.args);
    const std::string& target = c.args[c.args.size() - 2];
    EXPECT_EQ(r.exitCode, 2) << target;
    EXPECT_NE(r.out.find(target + " is not a valid target for conversion. Check your INI file." +
                         kNl),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Calls().size(), c.callsBefore) << target;
  }
}

TEST_F(MainFlow, WithoutIniEveryTargetIsInvalidButWildcardsStillRun) {
  Page("a.htm", kTitlePage);
  RunResult r = Run({"-t", "lrf"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "lrf is not a valid target for conversion. Check your INI file." + kNl);
}

TEST_F(MainFlow, TargetsSwitchBetweenWildcards) {
  // The second target names its own prefix default (epub:) and extension
  // default (.epub); the section is found whatever the case of -t's value.
  DefaultIni("[EPUB]\nConverter=" + S(conv_) + "\n");
  Page("a.htm",
       "<meta name=\"lrf:--title\" content=\"L\">"
       "<meta name=\"epub:--title\" content=\"E\">"
       "<meta name=\"*:--all\" content=\"A\">");
  RunResult r = Run({"*.htm", "-t", "epub", "*.htm", "-o", "out", "a.htm"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 3u);
  const std::string outputs[] = {S(work_ / "a.lrf"), S(work_ / "a.epub"), S("out" / fs::path("a.epub"))};
  const char* titles[] = {"--title=L", "--title=E", "--title=E"};
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(calls[i].args.size(), 4u);
    EXPECT_EQ(calls[i].args[0], titles[i]);
    EXPECT_EQ(calls[i].args[1], "--all=A");
    EXPECT_EQ(calls[i].args[2], "--output=" + outputs[i]);
  }
  EXPECT_TRUE(fs::is_directory(work_ / "out"));
}

TEST_F(MainFlow, ValueOptionsConsumeTheNextArgumentWhateverItIs) {
  DefaultIni();
  Page("a.htm", kTitlePage);
  // "-o -r" makes "-r" the output directory; recursion stays off.
  Page("sub/b.htm", kTitlePage);
  RunResult r = Run({"-o", "-r", "*.htm"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args[1], "--output=" + S(fs::path("-r") / "a.lrf"));
}

TEST_F(MainFlow, ErrorLogOptionDeletesAnExistingLogAtOnce) {
  DefaultIni();
  WriteFile(work_ / "errors.log", "old");
  RunResult r = Run({"-E", "errors.log", "nomatch*.htm"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(work_ / "errors.log"));
  // A log that does not exist is no error either.
  EXPECT_EQ(Run({"-e", "errors.log", "x.htm"}).exitCode, 0);
}

TEST_F(MainFlow, WildcardsThatMatchNothing) {
  DefaultIni();
  Page("sub/a.htm", kTitlePage);
  // An unknown option is a wildcard; a directory with a trailing separator
  // has an empty file-name part.
  const std::string sep(1, fs::path::preferred_separator);
  for (const std::string& arg : std::vector<std::string>{"-x", "sub" + sep, "nosuchdir" + sep + "*.htm"}) {
    RunResult r = Run({arg});
    EXPECT_EQ(r.exitCode, 0) << arg;
    EXPECT_EQ(r.out, "") << arg;
  }
  EXPECT_TRUE(Calls().empty());
}

TEST_F(MainFlow, RelativeWildcardIsResolvedAgainstTheCurrentDirectory) {
  DefaultIni();
  Page("sub/a.htm", "<meta name=\"lrf:--file\" content=\"%f\">");
  const std::string sep(1, fs::path::preferred_separator);
  RunResult r = Run({"sub" + sep + "*.HTM"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args[0], "--file=" + S(work_ / "sub" / "a.htm"));
}

}  // namespace
}  // namespace e2e
