// Converters named by bare name or through environment variables, and batch
// files: the target's validity check and the launch find the same file.
#include "Harness.h"

namespace e2e {
namespace {

#ifdef _WIN32
const std::string kListSep = ";";
#else
const std::string kListSep = ":";
#endif

class Lookup : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    fs::create_directories(tools_ = root_ / "tools");
    fs::copy_file(conv_, tools_ / ("qvconv" + kExe));
    env_ = {"PATH=" + S(root_ / "nowhere") + kListSep + S(tools_), "QVTOOLS=" + S(tools_),
            "HOME=" + S(root_), "PATHEXT=.COM;.EXE;.BAT;.CMD"};
    Page("a.htm", "");
  }
  // Runs "-t t a.htm" with the target's converter set to converter.
  RunResult RunWith(const std::string& converter) {
    Ini("[t]\nConverter=" + converter + "\n");
    return RunAgain({"-t", "t", "a.htm"});
  }
  std::string IniPath() const { return S(bin_ / "qprepare.ini"); }
  fs::path tools_;
};

TEST_F(Lookup, ConvertersFoundByNameOrThroughVariablesRun) {
  const std::vector<std::string> converters = {
      "qvconv",  // on PATH; on Windows with an extension from PATHEXT
#ifdef _WIN32
      "%QVTOOLS%\\qvconv.exe", "%qvtools%\\QVCONV",
#else
      "$QVTOOLS/qvconv", "${QVTOOLS}/qvconv", "~/tools/qvconv",
      "qvconv.BAT",  // on POSIX a batch file's extension is just part of a name
#endif
  };
#ifndef _WIN32
  fs::copy_file(conv_, tools_ / "qvconv.BAT");
#endif
  for (const std::string& converter : converters) {
    SCOPED_TRACE(converter);
    RunResult r = RunWith(converter);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    // The command is shown as the INI file writes it.
    EXPECT_TRUE(r.out.starts_with("EXEC: " + converter + "  --output=")) << r.out;
    EXPECT_EQ(Calls().size(), 1u);
  }
  // The current directory comes before PATH, for the check and the launch:
  // a file there that is no program is taken, and fails to start.
  WriteFile(work_ / ("qvconv" + kExe), "no program");
  RunResult r = RunWith("qvconv");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_TRUE(Has(r.out, "Could not create process: (")) << r.out;
  EXPECT_EQ(Calls().size(), 0u);
}

TEST_F(Lookup, InvalidConvertersNameTheKeyAndTheIniFile) {
  const std::string in = " in " + IniPath(), tools = S(tools_);
  WriteFile(tools_ / "run.Bat", "@echo ran> ran.txt\r\n");
  WriteFile(tools_ / "qvcmd.cmd", "@echo ran> ran.txt\r\n");
  const std::pair<std::string, std::string> rows[] = {
      {"qvnone", "Converter qvnone" + in + " is found neither in the current directory nor on PATH."},
      {tools, "Converter " + tools + in + " is a directory."},
#ifdef _WIN32
      {"%QVNOPE%\\qvconv.exe",
       "Converter %QVNOPE%\\qvconv.exe" + in + " uses the environment variable QVNOPE, which is not set."},
      // Batch files, named or found on PATH, in any case.
      {tools + "\\run.Bat", "Converter " + tools + "\\run.Bat" + in + ": " + tools +
                                "\\run.Bat is a batch file, which Windows runs through the command "
                                "interpreter; name a program (.exe) instead."},
      {"qvcmd", "Converter qvcmd" + in + ": " + tools + "\\qvcmd.CMD is a batch file, which Windows "
                "runs through the command interpreter; name a program (.exe) instead."},
#else
      {"$QVNOPE/qvconv", "Converter $QVNOPE/qvconv" + in +
                             " uses the environment variable QVNOPE, which is not set."},
#endif
  };
  for (const auto& [converter, reason] : rows) {
    SCOPED_TRACE(converter);
    RunResult r = RunWith(converter);
    EXPECT_EQ(r.exitCode, 2);
    // The specified line on standard output, the reason on standard error.
    EXPECT_EQ(r.out, "t is not a valid target for conversion. Check your INI file." + kNl);
    EXPECT_EQ(r.err, reason + kNl);
  }
#ifdef _WIN32
  // Only PATHEXT's extensions are tried for a name without one.
  env_.back() = "PATHEXT=.COM";
  EXPECT_EQ(RunWith("qvconv").exitCode, 2);

  // A batch file is not started by a conversion either.
  Ini("[Config]\nDefaultTarget=t\n[t]\nConverter=" + tools + "\\run.Bat\n");
  RunResult r = Run({"a.htm"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Has(r.out, "WHILE CONVERTING " + S(work_ / "a.htm") + ":" + kNl +
                             "Could not create process: " + tools + "\\run.Bat is a batch file, which "
                             "Windows runs through the command interpreter; name a program (.exe) "
                             "instead." + kNl + "Command Line: " + tools + "\\run.Bat  --output="))
      << r.out;
  EXPECT_FALSE(fs::exists(work_ / "ran.txt"));
#endif
}

}  // namespace
}  // namespace e2e
