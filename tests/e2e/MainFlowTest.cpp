// The command line: exit codes and summaries, and options left to right.
#include "Harness.h"

namespace e2e {
namespace {

class MainFlow : public E2eTest {};

TEST_F(MainFlow, ExitCodesOutputAndSummary) {
  DefaultIni("[broken]\nConverter=" + S(bin_ / "missing") + "\n");
  Page("a.htm", "<meta name=\"lrf:--title\" content=\"T\">");
  Page("b.htm", "");
  Page("sub/c.htm", "");
  // Not .html: a Windows search for *.htm finds that too (by its short name).
  Page("bad.page", ExitPage("3"));
  const std::string usage = "Quorvane Prepare v0.12" + kNl, sep(1, fs::path::preferred_separator);
  const std::string noIni = "Converter in " + S(bin_ / "qprepare.ini") + " is empty." + kNl;
  auto invalid = [](const std::string& target) {
    return target + " is not a valid target for conversion. Check your INI file." + kNl;
  };
  // out: a part of standard output, empty: none at all; err: all of standard
  // error, where the summary and wildcards matching nothing go.
  const struct { std::vector<std::string> args; int exitCode; std::string out, err; std::size_t calls; } cases[] = {
      {{"*.htm"}, 0, "EXEC: ", "2 converted, 0 failed" + kNl, 2},
      {{"-e", "log.txt", "*.htm", "*.page", "-e", "two.log", "*.page"}, 0, "EXEC: ",
       "2 converted, 2 failed, errors in log.txt and two.log" + kNl, 4},
      {{"*.htm", "*.page", "a.htm"}, 1, "ERROR ", "2 converted, 1 failed, stopped at the first error" + kNl, 3},
      // An option without its value shows the usage after earlier wildcards ran.
      {{"*.htm", "-o"}, 1, usage, "2 converted, 0 failed" + kNl, 2},
      {{"*.htm", "-E"}, 1, usage, "2 converted, 0 failed" + kNl, 2},
      {{"-o"}, 1, usage, "", 0},
      // No wildcard handled: nothing to sum up, only why the target is not valid.
      {{"-t", "nosuchtarget", "*.htm"}, 2, invalid("nosuchtarget"), noIni, 0},
      {{"*.htm", "-T", "broken", "*.htm"}, 2, invalid("broken"),
       "Converter " + S(bin_ / "missing") + " in " + S(bin_ / "qprepare.ini") + " does not exist." + kNl +
           "2 converted, 0 failed" + kNl, 2},
      {{"-t", "", "*.htm"}, 2, invalid(""), "No target name was given." + kNl, 0},
      // An unknown option is a wildcard; a trailing separator names no file.
      {{"none*.htm", "-x", "sub" + sep, "sub/", "nosuchdir" + sep + "*.htm"}, 0, "",
       "No file matches none*.htm." + kNl + "No file matches -x." + kNl + "No file matches sub" + sep + "." +
           kNl + "No file matches sub/." + kNl + "No file matches nosuchdir" + sep + "*.htm." + kNl +
           "0 converted, 0 failed" + kNl, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    RunResult r = RunAgain(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode);
    if (c.out.empty()) EXPECT_EQ(r.out, "");
    else EXPECT_TRUE(Has(r.out, c.out)) << r.out;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(Calls().size(), c.calls);
  }
  // -e deletes an existing log at once, also when nothing fails.
  WriteFile(work_ / "errors.log", "old");
  EXPECT_EQ(Run({"-e", "errors.log", "nomatch*.htm"}).exitCode, 0);
  EXPECT_FALSE(fs::exists(work_ / "errors.log"));
}

TEST_F(MainFlow, OptionsApplyLeftToRight) {
  // [EPUB] names only its converter: prefix epub: and extension .epub.
  DefaultIni("[EPUB]\nConverter=" + S(conv_) + "\n");
  const std::string page = "<meta name=\"lrf:--title\" content=\"L\">"
                           "<meta name=\"epub:--title\" content=\"E\">"
                           "<meta name=\"*:--f\" content=\"%f\">";
  Page("a.htm", page);
  Page("sub/deeper/c.htm", page);
  // "-o -r" makes "-r" the output directory and leaves recursion off.
  RunResult r = Run({"*.htm", "-t", "epub", "*.htm", "-o", "-r", "*.htm", "-R", "-o", "flat",
                     "*.htm", "-R+", "-o", "tree", "-T", "LRF", "*.HTM"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  const fs::path a = work_ / "a.htm", c = work_ / "sub" / "deeper" / "c.htm";
  const struct { std::string title; fs::path file, output; } expected[] = {
      {"L", a, work_ / "a.lrf"},
      {"E", a, work_ / "a.epub"},
      {"E", a, fs::path("-r") / "a.epub"},
      {"E", a, fs::path("flat") / "a.epub"},
      {"E", c, fs::path("flat") / "c.epub"},
      {"L", a, fs::path("tree") / "a.lrf"},
      {"L", c, fs::path("tree") / "sub" / "deeper" / "c.lrf"},
  };
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), std::size(expected));
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& [title, file, output] = expected[i];
    EXPECT_EQ(calls[i].args, (std::vector<std::string>{"--title=" + title, "--f=" + S(file),
                                                       "--output=" + S(output), calls[i].Input()}));
  }
  for (const fs::path& dir : {work_ / "-r", work_ / "flat", work_ / "tree" / "sub" / "deeper"})
    EXPECT_TRUE(fs::is_directory(dir)) << dir;
}

}  // namespace
}  // namespace e2e
