// INI lookups. Every case runs twice: through ReadProfileString on a real
// file (the system's reader on the Windows build, ours on POSIX) and through
// our reader on the same text, so the Windows build checks that our reader
// agrees with the system's.
#include <gtest/gtest.h>

#include "Support.h"
#include "platform/Platform.h"
#include "platform/ProfileText.h"

namespace {

using quorvane::platform::LookupProfileText;
using quorvane::platform::ReadProfileString;

struct IniCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  const char* defaultValue;
  std::string expected;
};

class IniTable : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniTable, SystemReaderAndOursAgree) {
  const IniCase& c = GetParam();
  qvtest::ScratchDir dir;
  std::string file = dir.File("case.ini", c.text);
  EXPECT_EQ(ReadProfileString(file, c.section, c.key, c.defaultValue), c.expected) << c.what;
  EXPECT_EQ(LookupProfileText(c.text, c.section, c.key, c.defaultValue), c.expected) << c.what;
}

const std::string kLong(3000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, IniTable,
    ::testing::Values(
        IniCase{"plain entry, CR LF", "[lrf]\r\nConverter=C:\\conv.exe\r\n", "lrf", "Converter", "d",
                "C:\\conv.exe"},
        IniCase{"names without regard to case", "[LRF]\nCONVERTER=x\n", "lrf", "converter", "d", "x"},
        IniCase{"blanks around names and value", "  [s]  \n  key \t=   value with blanks \t\n", "s",
                "key", "d", "value with blanks"},
        IniCase{"blanks around the names asked for", "[s]\nk=v\n", " s ", " k\t", "d", "v"},
        IniCase{"value runs from the first =", "[s]\nk=a=b\n", "s", "k", "d", "a=b"},
        IniCase{"double quotes removed", "[s]\nk=\"C:\\Program Files\\x.exe\"\n", "s", "k", "d",
                "C:\\Program Files\\x.exe"},
        IniCase{"single quotes removed", "[s]\nk='abc'\n", "s", "k", "d", "abc"},
        IniCase{"blanks inside quotes kept", "[s]\nk=\" x \"\n", "s", "k", "d", " x "},
        IniCase{"mixed quotes kept", "[s]\nk=\"abc'\n", "s", "k", "d", "\"abc'"},
        IniCase{"lone quote kept", "[s]\nk=\"\n", "s", "k", "d", "\""},
        IniCase{"pair of quotes is empty", "[s]\nk=''\n", "s", "k", "d", ""},
        IniCase{"inner quotes kept", "[s]\nk=a \"b\" c\n", "s", "k", "d", "a \"b\" c"},
        IniCase{"present but empty", "[s]\nPrefix=\n", "s", "Prefix", "lrf:", ""},
        IniCase{"present, blanks only", "[s]\nPrefix=   \n", "s", "Prefix", "lrf:", ""},
        IniCase{"missing key", "[s]\nother=1\n", "s", "k", "dflt", "dflt"},
        IniCase{"missing section", "[s]\nk=1\n", "t", "k", "dflt", "dflt"},
        IniCase{"key of another section", "[a]\nk=1\n[b]\nx=2\n", "b", "k", "dflt", "dflt"},
        IniCase{"entry before any section", "k=v\n[s]\nx=1\n", "s", "k", "dflt", "dflt"},
        IniCase{"comment line", "[s]\n;k=commented\nk2=v\n", "s", "k", "dflt", "dflt"},
        IniCase{"comment beside entries", "; about\n[s]\n; k=no\nk=yes\n", "s", "k", "d", "yes"},
        IniCase{"key without =", "[s]\nk\n", "s", "k", "dflt", "dflt"},
        IniCase{"last line without line break", "[s]\nk=v", "s", "k", "d", "v"},
        IniCase{"CR only line ends", "[s]\rk=v\r", "s", "k", "d", "v"},
        IniCase{"only the first of repeated sections", "[s]\na=1\n[t]\nx=1\n[S]\nb=2\n", "s",
                "b", "dflt", "dflt"},
        IniCase{"unclosed header is an entry", "[s]\n[broken\nk=v\n", "s", "k", "d", "v"},
        IniCase{"quotes inside blanks", "[s]\nk=  'a b'  \n", "s", "k", "d", "a b"},
        IniCase{"tab inside value kept", "[s]\nk=a\tb\n", "s", "k", "d", "a\tb"},
        IniCase{"first of repeated keys", "[s]\nk=1\nk=2\n", "s", "k", "d", "1"},
        IniCase{"section name up to the last ]", "[a]b]\nk=v\n", "a]b", "k", "d", "v"},
        IniCase{"byte order mark", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "d", "v"},
        IniCase{"long value cut", "[s]\nk=" + kLong + "\n", "s", "k", "d", kLong.substr(0, 2047)},
        IniCase{"long quoted value cut", "[s]\nk=\"" + kLong + "\"\n", "s", "k", "d",
                kLong.substr(0, 2047)},
        IniCase{"default loses trailing blanks", "[s]\n", "s", "k", "abc  ", "abc"},
        IniCase{"default keeps leading blanks", "[s]\n", "s", "k", "  abc", "  abc"},
        IniCase{"built-in template as default", "", "lrf", "CommandLine",
                "%PARAMS% --output=\"%OUTPUT%\" \"%INPUT%\"",
                "%PARAMS% --output=\"%OUTPUT%\" \"%INPUT%\""}));

TEST(IniFile, MissingFileOrDirectoryGivesDefault) {
  qvtest::ScratchDir dir;
  EXPECT_EQ(ReadProfileString(dir / "none.ini", "s", "k", "dflt"), "dflt");
  std::string sub = dir.Dir("dir.ini");
  EXPECT_EQ(ReadProfileString(sub, "s", "k", "dflt"), "dflt");
  EXPECT_EQ(LookupProfileText(std::nullopt, "s", "k", "dflt"), "dflt");
}

TEST(IniFile, ReadAfreshForEveryLookup) {
  qvtest::ScratchDir dir;
  std::string file = dir.File("a.ini", "[s]\nk=first\n");
  EXPECT_EQ(ReadProfileString(file, "s", "k", "d"), "first");
  std::filesystem::remove(file);
  EXPECT_EQ(ReadProfileString(file, "s", "k", "d"), "d");
  dir.File("a.ini", "[s]\nk=second, longer\n");
  EXPECT_EQ(ReadProfileString(file, "s", "k", "d"), "second, longer");
}

#ifndef _WIN32
// Our reader must not hang on a pipe named like the INI file.
TEST(IniFile, PipeGivesDefault) {
  qvtest::ScratchDir dir;
  std::string fifo = dir / "fifo.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadProfileString(fifo, "s", "k", "dflt"), "dflt");
}
#endif

}  // namespace
