// Defaults, the Config section, the target sections and the time limit, from real INI files.
#include <gtest/gtest.h>

#include <string>

#include "config/Config.h"
#include "platform/Platform.h"
#include "util/Files.h"
#include "common/ScratchDir.h"

namespace quorvane {
namespace {

// Converter, CommandLine, Prefix and Extension in one text.
std::string Target(const TConvertOptions& o) {
  return o.Converter + " | " + o.CommandLine + " | " + o.Prefix + " | " + o.Extension;
}
const std::string kBuiltIn = " | %PARAMS% --output=\"%OUTPUT%\" \"%INPUT%\" | lrf: | .lrf";

class ConfigTest : public ::testing::Test {
 protected:
  void WriteIni(const std::string& text) { tmp_.File("qprepare.ini", text); }
  std::string Ini() const { return tmp_ / "qprepare.ini"; }
  qvtest::ScratchDir tmp_;
  TConvertOptions o_;
};

// The file the program reads lies beside the executable; a directory of that
// name is no INI file, and without one the built-in values hold.
TEST_F(ConfigTest, NoFileKeepsTheBuiltInValues) {
  EXPECT_EQ(PathDirectory(ConfigFileName()), PathDirectory(platform::ExecutablePath()));
  EXPECT_EQ(PathFileName(ConfigFileName()), "test_config.ini");
  MakeDirectories(Ini());
  EXPECT_EQ(OpenConfigFile(Ini()), nullptr);
  o_.Recursive = o_.KeepDirStructure = true;
  o_.FileMask = o_.ErrorLog = "x";
  o_.Timeout = 77;
  LoadConfig(o_, Ini());
  EXPECT_EQ(Target(o_), kBuiltIn);
  EXPECT_EQ(o_.AbsoluteLocalUrlPrefix + o_.FileMask + o_.ErrorLog, "file:///");
  EXPECT_EQ(o_.SourceDir, std::string(".") + PathSeparator());
  EXPECT_EQ(o_.OutputDir, platform::CurrentDirectory());
  EXPECT_FALSE(o_.Recursive || o_.KeepDirStructure || o_.Timeout);
  o_.Prefix = "kept:";
  EXPECT_FALSE(LookupTarget("epub", o_, Ini()));
  EXPECT_EQ(o_.Prefix, "kept:");
}

TEST_F(ConfigTest, DefaultTargetAndUrlPrefixFromConfig) {
  const std::string conv = tmp_.File("conv.exe", "exe");
  WriteIni("[config]\ndefaulttarget=epub\nAbsoluteLocalUrlPrefix=file://localhost/\n"
           "[EPUB]\nConverter=" + conv + "\nCommandLine=%INPUT% %OUTPUT%\n");
  LoadConfig(o_, Ini());
  EXPECT_EQ(o_.AbsoluteLocalUrlPrefix, "file://localhost/");
  EXPECT_EQ(Target(o_), conv + " | %INPUT% %OUTPUT% | epub: | .epub");
  // Without DefaultTarget the target lrf is read; an empty entry is no default.
  WriteIni("[lrf]\nConverter=" + conv + "\nPrefix=\nExtension=\n");
  LoadConfig(o_, Ini());
  EXPECT_EQ(Target(o_), conv + " | " + kBuiltInTemplate + " |  | ");
  // An empty DefaultTarget looks nothing up.
  WriteIni("[Config]\nDefaultTarget=\nConverter=" + conv + "\n[lrf]\nPrefix=zz:\n");
  LoadConfig(o_, Ini());
  EXPECT_EQ(Target(o_), kBuiltIn);
}

TEST_F(ConfigTest, SectionCaseAndConfigFallback) {
  const std::string shared = tmp_.File("shared.exe", "exe"),
                    own = tmp_.File("own.exe", "exe");
  WriteIni("[Config]\nConverter=" + shared + "\nCommandLine=T0\n[EPUB]\n[mine]\nConverter=" +
           own + "\nCommandLine=T1\n[broken]\nConverter=" + (tmp_ / "none.exe") + "\n");
  for (const char* name : {"epub", "EPUB", "ePub"}) {
    EXPECT_TRUE(LookupTarget(name, o_, Ini())) << name;
    EXPECT_EQ(Target(o_), shared + " | T0 | epub: | .epub") << name;
  }
  EXPECT_TRUE(LookupTarget("NoSection", o_, Ini()));
  EXPECT_EQ(Target(o_), shared + " | T0 | nosection: | .nosection");
  EXPECT_TRUE(LookupTarget("mine", o_, Ini()));
  EXPECT_EQ(Target(o_), own + " | T1 | mine: | .mine");
  // The section's own converter decides even when it does not exist.
  EXPECT_FALSE(LookupTarget("broken", o_, Ini()));
  EXPECT_EQ(o_.Converter, tmp_ / "none.exe");
}

TEST_F(ConfigTest, ConverterMustNameAnExistingFile) {
  MakeDirectories(tmp_ / "convdir");
  const std::string conv = tmp_.File("my conv.exe", "exe");
  WriteIni("[dir]\nConverter=" + (tmp_ / "convdir") + "\n[rel]\nConverter=conv.exe\n[lrf]\n" +
           "Converter = \"" + conv + "\"  \nPrefix='q:'\nCommandLine=\"%INPUT%\" x\n");
  o_.Converter = "kept";
  EXPECT_FALSE(LookupTarget("", o_, Ini()));
  EXPECT_EQ(o_.Converter, "kept");
  EXPECT_FALSE(LookupTarget("dir", o_, Ini()));
  tmp_.File("conv.exe", "exe");  // found below the current directory only
  EXPECT_FALSE(LookupTarget("rel", o_, Ini()));
  tmp_.MakeCurrent();
  EXPECT_TRUE(LookupTarget("rel", o_, Ini()));
  EXPECT_TRUE(LookupTarget("lrf", o_, Ini()));  // quotes around a whole value go
  EXPECT_EQ(Target(o_), conv + " | \"%INPUT%\" x | q: | .lrf");
  WriteIni("[lrf]\nPrefix=two:\n");  // every lookup reads the file afresh
  LookupTarget("lrf", o_, Ini());
  EXPECT_EQ(o_.Prefix, "two:");
}

// The converter's time limit: the target's Timeout key, else [Config]'s.
TEST_F(ConfigTest, TimeoutFromTargetThenConfigThenNoLimit) {
  const struct { std::string ini; std::uint32_t seconds; } rows[] = {
      {"[lrf]\n", 0},
      {"[Config]\nTimeout=30\n[lrf]\n", 30},
      {"[Config]\nTimeout=30\n[LRF]\ntimeout=0\n", 0},
      {"[lrf]\nTimeout = 999999999 \n", 999999999},
      // No whole number of seconds: told on standard error, no limit.
      {"[Config]\nTimeout=30\n[lrf]\nTimeout=1.5\n", 0},
      {"[lrf]\nTimeout=9999999999\n", 0},
  };
  for (const auto& r : rows) {
    WriteIni(r.ini);
    o_.Timeout = 77;
    LookupTarget("lrf", o_, Ini());
    EXPECT_EQ(o_.Timeout, r.seconds) << r.ini;
  }
}

}  // namespace
}  // namespace quorvane
