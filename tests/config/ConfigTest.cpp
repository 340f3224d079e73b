// Built-in defaults, the Config section and the target sections, read from
// real INI files in a temporary directory.
#include <gtest/gtest.h>

#include <string>

#include "config/Config.h"
#include "platform/Platform.h"
#include "util/Path.h"
#include "util/TestTempDir.h"

namespace quorvane {
namespace {

using test::TestTempDir;

#ifdef _WIN32
constexpr const char* kEol = "\r\n";
#else
constexpr const char* kEol = "\n";
#endif

class ConfigTest : public ::testing::Test {
 protected:
  // Writes the INI file from lines separated by '|'.
  void WriteIni(const std::string& lines) {
    std::string text;
    for (char c : lines) {
      if (c == '|') {
        text += kEol;
      } else {
        text += c;
      }
    }
    tmp_.WriteFile("qprepare.ini", text + kEol);
  }
  std::string Ini() const { return tmp_ / "qprepare.ini"; }
  std::string MakeConverter(const std::string& name = "conv.exe") {
    tmp_.WriteFile(name, "binary");
    return tmp_ / name;
  }

  TestTempDir tmp_;
  TConvertOptions options_;
};

void ExpectBuiltInTarget(const TConvertOptions& o) {
  EXPECT_EQ(o.Converter, "");
  EXPECT_EQ(o.CommandLine, "%PARAMS% --output=\"%OUTPUT%\" \"%INPUT%\"");
  EXPECT_EQ(o.Prefix, "lrf:");
  EXPECT_EQ(o.Extension, ".lrf");
}

TEST_F(ConfigTest, NoFileKeepsTheBuiltInValues) {
  options_.Recursive = true;
  options_.KeepDirStructure = true;
  options_.ErrorLog = "old.log";
  options_.FileMask = "*.htm";
  LoadConfig(options_, Ini());
  ExpectBuiltInTarget(options_);
  EXPECT_EQ(options_.AbsoluteLocalUrlPrefix, "file:///");
  EXPECT_EQ(options_.OutputDir, platform::CurrentDirectory());
  EXPECT_EQ(options_.SourceDir, std::string(".") + PathSeparator());
  EXPECT_EQ(options_.FileMask, "");
  EXPECT_EQ(options_.ErrorLog, "");
  EXPECT_FALSE(options_.Recursive);
  EXPECT_FALSE(options_.KeepDirStructure);

  EXPECT_EQ(OpenConfigFile(Ini()), nullptr);
  EXPECT_FALSE(LookupTarget("lrf", options_, Ini()));
  ExpectBuiltInTarget(options_);
}

TEST_F(ConfigTest, DirectoryOfTheIniNameIsNoFile) {
  MakeConverter();
  MakeDirectories(Ini());
  EXPECT_EQ(OpenConfigFile(Ini()), nullptr);
  EXPECT_FALSE(LookupTarget("lrf", options_, Ini()));
}

TEST_F(ConfigTest, DefaultTargetAndConfigKeys) {
  const std::string conv = MakeConverter();
  WriteIni("[config]|defaulttarget=epub|AbsoluteLocalUrlPrefix=file://localhost/|"
           "[EPUB]|Converter=" + conv + "|CommandLine=%INPUT% %OUTPUT%");
  LoadConfig(options_, Ini());
  EXPECT_EQ(options_.AbsoluteLocalUrlPrefix, "file://localhost/");
  EXPECT_EQ(options_.Converter, conv);
  EXPECT_EQ(options_.CommandLine, "%INPUT% %OUTPUT%");
  EXPECT_EQ(options_.Prefix, "epub:");
  EXPECT_EQ(options_.Extension, ".epub");
}

TEST_F(ConfigTest, EmptyDefaultTargetLooksNothingUp) {
  WriteIni("[Config]|DefaultTarget=|Converter=" + MakeConverter() +
           "|[lrf]|Prefix=zz:|Extension=.zz");
  LoadConfig(options_, Ini());
  ExpectBuiltInTarget(options_);
}

TEST_F(ConfigTest, MissingDefaultTargetMeansLrf) {
  WriteIni("[lrf]|Converter=" + MakeConverter() + "|Prefix=L:");
  LoadConfig(options_, Ini());
  EXPECT_EQ(options_.Prefix, "L:");
  EXPECT_EQ(options_.Extension, ".lrf");
  EXPECT_EQ(options_.CommandLine, kBuiltInTemplate);
}

TEST_F(ConfigTest, TargetNameIsLoweredForDefaultsOnly) {
  const std::string conv = MakeConverter();
  WriteIni("[EPUB]|Converter=" + conv);
  for (const char* name : {"epub", "EPUB", "ePub"}) {
    TConvertOptions o;
    EXPECT_TRUE(LookupTarget(name, o, Ini())) << name;
    EXPECT_EQ(o.Converter, conv) << name;
    EXPECT_EQ(o.Prefix, "epub:") << name;
    EXPECT_EQ(o.Extension, ".epub") << name;
  }
  // Only A to Z are lowered.
  TConvertOptions o;
  LookupTarget("\xC4Z-1", o, Ini());
  EXPECT_EQ(o.Prefix, "\xC4z-1:");
  EXPECT_EQ(o.Extension, ".\xC4z-1");
}

TEST_F(ConfigTest, ConfigSectionSuppliesConverterAndTemplate) {
  const std::string shared = MakeConverter("shared.exe");
  const std::string own = MakeConverter("own.exe");
  WriteIni("[Config]|Converter=" + shared + "|CommandLine=T0 %INPUT%|" +
           "[lrf]|[mine]|Converter=" + own + "|CommandLine=T1|[broken]|Converter=" +
           (tmp_ / "none.exe"));
  TConvertOptions o;
  EXPECT_TRUE(LookupTarget("lrf", o, Ini()));
  EXPECT_EQ(o.Converter, shared);
  EXPECT_EQ(o.CommandLine, "T0 %INPUT%");
  EXPECT_TRUE(LookupTarget("mine", o, Ini()));
  EXPECT_EQ(o.Converter, own);
  EXPECT_EQ(o.CommandLine, "T1");
  // A section that does not exist takes every default.
  EXPECT_TRUE(LookupTarget("nosection", o, Ini()));
  EXPECT_EQ(o.Converter, shared);
  EXPECT_EQ(o.Prefix, "nosection:");
  // The section's own converter decides, even when it does not exist; the
  // fields keep what was read.
  EXPECT_FALSE(LookupTarget("broken", o, Ini()));
  EXPECT_EQ(o.Converter, tmp_ / "none.exe");
  EXPECT_EQ(o.Prefix, "broken:");
}

TEST_F(ConfigTest, EmptyValueIsNotTheDefault) {
  WriteIni("[lrf]|Converter=" + MakeConverter() + "|Prefix=|Extension=");
  TConvertOptions o;
  EXPECT_TRUE(LookupTarget("lrf", o, Ini()));
  EXPECT_EQ(o.Prefix, "");
  EXPECT_EQ(o.Extension, "");
}

TEST_F(ConfigTest, InvalidTargets) {
  MakeDirectories(tmp_ / "convdir");
  WriteIni("[dir]|Converter=" + (tmp_ / "convdir") + "|[none]|Prefix=n:|[rel]|Converter=conv.exe");
  TConvertOptions o;
  o.Converter = "keep";
  EXPECT_FALSE(LookupTarget("", o, Ini()));
  EXPECT_EQ(o.Converter, "keep");
  EXPECT_FALSE(LookupTarget("dir", o, Ini()));
  EXPECT_FALSE(LookupTarget("none", o, Ini()));
  EXPECT_EQ(o.Converter, "");
  EXPECT_EQ(o.Prefix, "n:");
  // A relative converter is looked for below the current directory only.
  EXPECT_FALSE(LookupTarget("rel", o, Ini()));
  MakeConverter();
  EXPECT_FALSE(LookupTarget("rel", o, Ini()));
  tmp_.MakeCurrent();
  EXPECT_TRUE(LookupTarget("rel", o, Ini()));
  EXPECT_EQ(o.Converter, "conv.exe");
}

TEST_F(ConfigTest, QuotedValuesLoseTheirQuotes) {
  const std::string conv = MakeConverter("my conv.exe");
  WriteIni("[lrf]|Converter = \"" + conv + "\"  |Prefix='q:'|CommandLine=\"%INPUT%\" x");
  TConvertOptions o;
  EXPECT_TRUE(LookupTarget("lrf", o, Ini()));
  EXPECT_EQ(o.Converter, conv);
  EXPECT_EQ(o.Prefix, "q:");
  // Quotes that do not enclose the whole value stay.
  EXPECT_EQ(o.CommandLine, "\"%INPUT%\" x");
}

TEST_F(ConfigTest, EveryLookupReadsTheFileAfresh) {
  const std::string conv = MakeConverter();
  WriteIni("[lrf]|Converter=" + conv + "|Prefix=one:");
  TConvertOptions o;
  EXPECT_TRUE(LookupTarget("lrf", o, Ini()));
  EXPECT_EQ(o.Prefix, "one:");
  WriteIni("[lrf]|Converter=" + conv + "|Prefix=two:");
  EXPECT_TRUE(LookupTarget("lrf", o, Ini()));
  EXPECT_EQ(o.Prefix, "two:");
  TIniFile ini(Ini());
  WriteIni("[lrf]|Prefix=three:");
  EXPECT_EQ(ini.ReadString("LRF", "PREFIX", "d"), "three:");
  EXPECT_EQ(ini.ReadString("lrf", "Converter", "d"), "d");
}

TEST(ConfigFile, LiesBesideTheExecutable) {
  const std::string exe = platform::ExecutablePath();
  ASSERT_FALSE(exe.empty());
  const std::string ini = ConfigFileName();
  EXPECT_EQ(PathDirectory(ini), PathDirectory(exe));
  EXPECT_EQ(PathFileName(ini), "test_config.ini");
}

}  // namespace
}  // namespace quorvane
