// The usage text, help and version, the dry run (-n) and
// skipping pages whose output is up to date (-u).
#include <chrono>
#include <regex>

#include "Harness.h"

namespace e2e {
namespace {

class Options : public E2eTest {};

TEST_F(Options, HelpAndVersionEndTheRunWithZero) {
  Ini("[Config]\nDefaultTarget=epub\n[epub]\nConverter=" + S(conv_) + "\n");
  Page("a.htm", "");
  // The help is the usage text naming the actual default target, with a
  // block of lines for the further options.
  const RunResult bare = Run({});
  EXPECT_EQ(bare.exitCode, 1);
  std::string usage = bare.out;
  EXPECT_TRUE(usage.starts_with("Quorvane Prepare v0.12" + kNl + kNl + "Syntax: qprepare" + kExe +
                                " [-r[+]] [-t <target>] [-o <dir>] [-e <file>] <wildcard>" + kNl + kNl))
      << usage;
  // Two lines keep their trailing blank; the printing adds a line break to
  // the text's own.
  EXPECT_TRUE(Has(usage, kNl + "          -- or -. <value> can contain several replacement "
                               "characters: " + kNl));
  EXPECT_TRUE(usage.ends_with("possible - see " + kNl + "INI file for possible prefixes; \"*:\" "
                              "can also be used for \"any target\"." + kNl + kNl));
  EXPECT_EQ(Count(usage, kNl), 34u);
  const std::string help = Run({"--help"}).out;
  const std::size_t start = help.find(kNl + "Parameter -n,") + kNl.size();
  const std::size_t stop = help.find(kNl + kNl + "Two special") + kNl.size();
  ASSERT_TRUE(start > kNl.size() && stop > start) << help;
  const std::string options = help.substr(start, stop - start);
  ASSERT_TRUE(Has(usage, "(default: LRF)")) << usage;
  usage.replace(usage.find("(default: LRF)"), 14, "(default: EPUB)");
  EXPECT_EQ(std::string(help).erase(start, stop - start), usage);
  for (const char* word : {"-n,", "-u,", "--help", "-h", "-?", "--version"})
    EXPECT_TRUE(Has(options, word)) << word;
  EXPECT_EQ(Has(options, "/?"), !kExe.empty());

  const std::string version =
      "Quorvane Prepare 0.12 (" + std::string(kExe.empty() ? "POSIX" : "Windows") + " build)" + kNl;
  const struct { std::vector<std::string> args; std::string out; std::size_t calls; } cases[] = {
      {{"-h"}, help, 0},
      {{"-?"}, help, 0},
      {{"--HELP"}, help, 0},
      {{"--version"}, version, 0},
      // Left to right: the wildcard before it has run, the one after it does not.
      {{"a.htm", "--Version", "a.htm"}, version, 1},
      // "/?" asks for help on Windows and is a path elsewhere.
      {{"/?"}, kExe.empty() ? "" : help, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const RunResult r = RunAgain(c.args);
    EXPECT_EQ(r.exitCode, 0);
    if (c.calls == 0) EXPECT_EQ(r.out, c.out);
    else EXPECT_TRUE(r.out.ends_with(c.out)) << r.out;
    EXPECT_EQ(Calls().size(), c.calls);
  }
  // The default target the help names comes from the INI file.
  for (const auto& [ini, target] : {std::pair<std::string, std::string>{"", "LRF"},
                                    {"[Config]\nDefaultTarget=\n", "none"}}) {
    if (ini.empty()) fs::remove(bin_ / "qprepare.ini");
    else Ini(ini);
    EXPECT_TRUE(Has(Run({"-?"}).out, "(default: " + target + ")" + kNl)) << target;
  }
  // Without an INI file no target is valid; the reason follows on standard error.
  fs::remove(bin_ / "qprepare.ini");
  const RunResult r = Run({"-t", "lrf"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "lrf is not a valid target for conversion. Check your INI file." + kNl);
  EXPECT_EQ(r.err, "The INI file " + S(bin_ / "qprepare.ini") + " does not exist." + kNl);
}

TEST_F(Options, DryRunShowsWhatWouldRunAndChangesNothing) {
  DefaultIni();
  Page("a.htm", "<meta name=\"lrf:--title\" content=\"T\">"
                "<meta name=\"@include\" content=\"inc/x.inc\">");
  Page("inc/x.inc", "<meta name=\"lrf:--author\" content=\"A\">");
  Page("sub/b.htm", "");
  Page("bad.htm", "<meta name=\"@include\" content=\"missing.inc\">");
  Page("-n", "");  // named like the option: reached as ./-n
  const std::vector<std::string> args = {"-e", "log.txt", "-r+", "-o", "out", "*.htm", "./-n"};
  std::vector<std::string> dry = args;
  dry.insert(dry.begin(), "-N");
  const RunResult r = Run(dry);
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(Calls().empty());
  EXPECT_FALSE(fs::exists(work_ / "out"));
  EXPECT_EQ(Count(r.out, "WOULD EXEC: "), 3u);
  EXPECT_TRUE(Has(r.out, "WOULD EXEC: " + S(conv_) + " --title=T --author=A  --output=\"" +
                             S(fs::path("out") / "a.lrf") + "\" \"" + S(tmp_))) << r.out;
  EXPECT_TRUE(Has(r.out, "ERROR EFOpenError WHILE CONVERTING " + S(work_ / "bad.htm") + ":"))
      << r.out;
  EXPECT_EQ(r.err, "3 would be converted, 1 failed, errors in log.txt" + kNl);
  const std::string log = ReadFile(work_ / "log.txt");

  // The real run prints the same lines, converts, and logs the same error.
  const RunResult real = Run(args);
  EXPECT_EQ(real.exitCode, 0);
  EXPECT_EQ(SameTempNames(real.out),
            std::regex_replace(SameTempNames(r.out), std::regex("WOULD EXEC: "), "EXEC: "));
  EXPECT_EQ(Calls().size(), 3u);
  EXPECT_EQ(ReadFile(work_ / "log.txt"), log);

  // Exit codes as usual: without a log the first error ends the run.
  const RunResult failed = Run({"-n", "bad.htm", "a.htm"});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_FALSE(Has(failed.out, "EXEC: "));
}

TEST_F(Options, UpdateSkipsPagesOlderThanTheirOutput) {
  DefaultIni();
  // Everything the output is made of: the page, its include chain, pictures
  // and style sheets linked from either, a file a parameter names, the INI.
  Page("a.htm", "<link rel=stylesheet href=\"style.css\"><a href=\"gone.htm\">x</a>"
                "<meta name=\"@include\" content=\"parts/inc.html\">"
                "<meta name=\"lrf:--cover\" content=\"%pcover.png\">");
  Page("parts/inc.html", "<img src='pic.png'><meta name=\"lrf:@include\" content=\"deeper.html\">");
  Page("parts/deeper.html", "<img src=\"../deep.png\">");
  const fs::path ini = bin_ / "qprepare.ini", output = work_ / "out" / "a.lrf";
  for (const char* file : {"style.css", "parts/pic.png", "deep.png", "cover.png", "out/a.lrf"})
    WriteFile(work_ / file, "x");
  const std::vector<fs::path> inputs = {work_ / "a.htm", work_ / "parts" / "inc.html",
      work_ / "parts" / "deeper.html", work_ / "parts" / "pic.png", work_ / "deep.png",
      work_ / "style.css", work_ / "cover.png", ini};
  const auto then = fs::file_time_type::clock::now() - std::chrono::hours(3);
  const auto made = then + std::chrono::hours(1), later = then + std::chrono::hours(2);

  // Nothing changed: skipped. Any input newer than the output, or an output
  // as old as everything else (not newer): converted.
  std::vector<fs::path> changes = inputs;
  changes.insert(changes.begin(), fs::path());
  changes.push_back(output);
  for (const fs::path& changed : changes) {
    SCOPED_TRACE(changed);
    const bool converts = !changed.empty();
    for (const fs::path& input : inputs) fs::last_write_time(input, then);
    fs::last_write_time(output, made);
    if (converts) fs::last_write_time(changed, changed == output ? then : later);
    const RunResult r = RunAgain({"-u", "-o", "out", "a.htm"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Calls().size(), converts ? 1u : 0u);
    const std::string skipped = "UP TO DATE: " + S(fs::path("out") / "a.lrf") + kNl;
    EXPECT_EQ(r.out == skipped, !converts) << r.out;
    const std::string summary = converts ? "1 converted" : "0 converted, 1 up to date";
    EXPECT_EQ(r.err, summary + ", 0 failed" + kNl);
  }
  // A missing output converts; so does any page without -u.
  fs::remove(output);
  EXPECT_TRUE(Has(RunAgain({"-u", "-o", "out", "a.htm"}).out, "EXEC: "));
  EXPECT_EQ(Calls().size(), 1u);
}

}  // namespace
}  // namespace e2e
