// The configuration files that ship with qprepare, read the way qprepare
// reads them: every target is complete, its template keeps its quotes, and
// the two files describe the same targets.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/Config.h"

namespace {

namespace fs = std::filesystem;

struct Shipped {
  const char* file;
  const char* pandoc;
  const char* ebookConvert;
};

const Shipped kFiles[] = {
    {"qprepare-posix.ini", "/usr/bin/pandoc", "/usr/bin/ebook-convert"},
    {"qprepare-win.ini", "C:\\Program Files\\Pandoc\\pandoc.exe",
     "C:\\Program Files\\Calibre2\\ebook-convert.exe"},
};

struct Target {
  const char* name;
  bool pandoc;
};

const Target kTargets[] = {{"epub", true},  {"docx", true},  {"odt", true},
                           {"lrf", false},  {"mobi", false}, {"azw3", false}};

std::string Path(const char* file) {
  return (fs::path(QV_SOURCE_ROOT) / "config" / "shipped" / file).string();
}

class ShippedIniTest : public ::testing::TestWithParam<Shipped> {};

TEST_P(ShippedIniTest, ConfigSectionNamesEpubAndFileUrls) {
  quorvane::TIniFile ini(Path(GetParam().file));
  EXPECT_EQ(ini.ReadString("Config", "DefaultTarget", "<none>"), "epub");
  EXPECT_EQ(ini.ReadString("Config", "AbsoluteLocalUrlPrefix", "<none>"), "file:///");
  // Nothing falls back to a Config-wide converter or template.
  EXPECT_EQ(ini.ReadString("Config", "Converter", "<none>"), "<none>");
  EXPECT_EQ(ini.ReadString("Config", "CommandLine", "<none>"), "<none>");
}

TEST_P(ShippedIniTest, EveryTargetIsCompleteAndItsTemplateIntact) {
  quorvane::TIniFile ini(Path(GetParam().file));
  for (const Target& target : kTargets) {
    SCOPED_TRACE(target.name);
    const std::string name = target.name;
    EXPECT_EQ(ini.ReadString(name, "Converter", "<none>"),
              target.pandoc ? GetParam().pandoc : GetParam().ebookConvert);
    EXPECT_EQ(ini.ReadString(name, "Prefix", "<none>"), name + ":");
    EXPECT_EQ(ini.ReadString(name, "Extension", "<none>"), "." + name);

    // The template as qprepare gets it: the quotes around the paths survive
    // the reader (which drops a pair enclosing the whole value), and the
    // parameters come where the converter takes options.
    const std::string tmpl = ini.ReadString(name, "CommandLine", "<none>");
    EXPECT_NE(tmpl.find("\"%INPUT%\""), std::string::npos) << tmpl;
    EXPECT_NE(tmpl.find("\"%OUTPUT%\""), std::string::npos) << tmpl;
    EXPECT_NE(tmpl.find("%PARAMS%"), std::string::npos) << tmpl;
    if (target.pandoc) {
      EXPECT_EQ(tmpl.rfind("-f html -t " + name + " ", 0), 0u) << tmpl;
      EXPECT_NE(tmpl.find("-o \"%OUTPUT%\""), std::string::npos) << tmpl;
    } else {
      // ebook-convert: input and output first, then options.
      EXPECT_EQ(tmpl.rfind("\"%INPUT%\" \"%OUTPUT%\" ", 0), 0u) << tmpl;
      EXPECT_NE(tmpl.find("--allow-local-files-outside-root"), std::string::npos) << tmpl;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothFiles, ShippedIniTest, ::testing::ValuesIn(kFiles),
                         [](const auto& info) {
                           return std::string(info.param.file).find("win") != std::string::npos
                                      ? std::string("Windows")
                                      : std::string("Posix");
                         });

TEST(ShippedIni, TheTwoFilesAgreeOnTemplatesPrefixesAndExtensions) {
  // Only the converter paths differ between the two.
  quorvane::TIniFile posix(Path("qprepare-posix.ini"));
  quorvane::TIniFile windows(Path("qprepare-win.ini"));
  for (const Target& target : kTargets)
    for (const char* key : {"CommandLine", "Prefix", "Extension"})
      EXPECT_EQ(posix.ReadString(target.name, key, "<none>"),
                windows.ReadString(target.name, key, "<none>"))
          << target.name << " " << key;
}

}  // namespace
