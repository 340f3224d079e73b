// INI lookups. Every case runs through ReadProfileString on a real file (the
// system's reader on the Windows build, ours on POSIX) and through our reader
// on the same text, so the Windows build checks that ours agrees with the
// system's.
#include <gtest/gtest.h>

#include "common/ScratchDir.h"
#include "platform/Platform.h"
#include "platform/ProfileText.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using quorvane::platform::LookupProfileText;
using quorvane::platform::ReadProfileString;

TEST(Ini, SystemReaderAndOursAgree) {
  const std::string x3000(3000, 'x'), x2047(2047, 'x');
  const struct { std::string text; const char *section, *key, *dflt; std::string expected; } cases[] = {
      {"[lrf]\r\nConverter=C:\\conv.exe\r\n", "lrf", "Converter", "d", "C:\\conv.exe"},
      {"[LRF]\nCONVERTER=x\n", "lrf", "converter", "d", "x"}, {"[s]\nk=v\n", " s ", " k\t", "d", "v"},
      {"  [s]  \n  key \t=   value with blanks \t\n", "s", "key", "d", "value with blanks"},
      {"[s]\nk=a=b\n", "s", "k", "d", "a=b"}, {"[s]\nk='abc'\n", "s", "k", "d", "abc"},
      {"[s]\nk=\"C:\\Program Files\\x.exe\"\n", "s", "k", "d", "C:\\Program Files\\x.exe"},
      {"[s]\nk=\" x \"\n", "s", "k", "d", " x "}, {"[s]\nk=\"abc'\n", "s", "k", "d", "\"abc'"},
      {"[s]\nk=\"\n", "s", "k", "d", "\""}, {"[s]\nk=''\n", "s", "k", "d", ""},
      {"[s]\nk=a \"b\" c\n", "s", "k", "d", "a \"b\" c"}, {"[s]\nk=  'a b'  \n", "s", "k", "d", "a b"},
      {"[s]\nk=\n", "s", "k", "d", ""}, {"[s]\nk=   \n", "s", "k", "d", ""}, {"[s]\nother=1\n", "s", "k", "d", "d"},
      {"[s]\nk=1\n", "t", "k", "d", "d"}, {"[a]\nk=1\n[b]\nx=2\n", "b", "k", "d", "d"},
      {"k=v\n[s]\nx=1\n", "s", "k", "d", "d"}, {"[s]\n;k=commented\nk2=v\n", "s", "k", "d", "d"},
      {"[s]\nk\n", "s", "k", "d", "d"}, {"; about\n[s]\n; k=no\nk=yes\n", "s", "k", "d", "yes"},
      {"[s]\nk=v", "s", "k", "d", "v"}, {"[s]\rk=v\r", "s", "k", "d", "v"},
      {"[s]\na=1\n[t]\nx=1\n[S]\nb=2\n", "s", "b", "d", "d"}, {"[s]\n[broken\nk=v\n", "s", "k", "d", "v"},
      {"[s]\nk=a\tb\n", "s", "k", "d", "a\tb"}, {"[s]\nk=1\nk=2\n", "s", "k", "d", "1"},
      {"[a]b]\nk=v\n", "a]b", "k", "d", "v"}, {"\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "d", "v"},
      {"[s]\nk=" + x3000 + "\n", "s", "k", "d", x2047}, {"[s]\nk=\"" + x3000 + "\"\n", "s", "k", "d", x2047},
      {"[s]\n", "s", "k", "abc  ", "abc"}, {"[s]\n", "s", "k", "  abc", "  abc"},
      {"", "lrf", "CommandLine", "%PARAMS% \"%INPUT%\"", "%PARAMS% \"%INPUT%\""},
  };
  qvtest::ScratchDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text.substr(0, 60)) + " " + c.section + "/" + c.key);
    std::string file = dir.File("case" + std::to_string(&c - cases) + ".ini", c.text);
    EXPECT_EQ(ReadProfileString(file, c.section, c.key, c.dflt), c.expected);
    EXPECT_EQ(LookupProfileText(c.text, c.section, c.key, c.dflt), c.expected);
  }
}

TEST(Ini, NoRegularFileGivesTheDefault) {
  qvtest::ScratchDir dir;
  EXPECT_EQ(ReadProfileString(dir / "none.ini", "s", "k", "d"), "d");
  EXPECT_EQ(ReadProfileString(dir.Dir("dir.ini"), "s", "k", "d"), "d");
#ifndef _WIN32
  ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  EXPECT_EQ(ReadProfileString(dir / "fifo.ini", "s", "k", "d"), "d");  // and does not hang
#endif
}

}  // namespace
