// The converter's argument text: parameters and names reach the converter as
// the page and the file system hold them (read back with the command-line
// splitter), the template's placeholders, and the whole command line built
// from a page.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Helpers.h"
#include "common/ModuleScope.h"
#include "common/ScratchDir.h"
#include "config/Config.h"
#include "meta/CommandLine.h"
#include "platform/CommandLineSplit.h"
#include "util/Files.h"

namespace quorvane {
namespace {

using Args = std::vector<std::string>;
using qvtest::kSep;
using qvtest::Meta;
using qvtest::ReadFile;

// The arguments a converter gets from an argument text.
Args Read(const std::string& arguments) {
  Args args = platform::SplitCommandLine("conv " + arguments);
  args.erase(args.begin());
  return args;
}

std::string Join(const Args& namesAndValues) {
  TStringList names, values;
  for (std::size_t i = 0; i + 1 < namesAndValues.size(); i += 2) {
    names.Add(namesAndValues[i]);
    values.Add(namesAndValues[i + 1]);
  }
  return JoinParameters(names, values);
}
std::string Params(const std::string& value) { return Join({"--x", value}); }

TEST(CommandLine, ParameterValues) {
  // Enclosed: a blank, a tab, or quotes that do not pair up; backslashes
  // before a quote are doubled. Paired quotes without a blank stay as written.
  const struct { std::string value, joined; } rows[] = {
      {"plain", "--x=plain "},
      {R"(say="y")", R"(--x=say="y" )"},
      {R"(C:\dir\)", R"(--x=C:\dir\ )"},
      {"a\"b", R"(--x="a""b" )"},
      {R"(a\"b)", R"(--x="a\\""b" )"},
      {"a\tb", "--x=\"a\tb\" "},
      {"My Book", R"(--x="My Book" )"},
      {R"(a "b" c)", R"(--x="a ""b"" c" )"},
      {R"(a \"b c)", R"(--x="a \\""b c" )"},
      {R"(\"x")", R"(--x="\\""x""" )"},
      {R"(C:\Ann Lee\)", R"(--x="C:\Ann Lee\\" )"},
      {R"(a b\\)", R"(--x="a b\\\\" )"},
  };
  for (const auto& r : rows) EXPECT_EQ(Params(r.value), r.joined) << r.value;
  // An empty value leaves the name alone, an empty name drops the entry.
  EXPECT_EQ(Join({"--t", "a b", "--x", "", "", "dropped", "--d", "x"}), R"(--t="a b" --x --d=x )");
  // Every enclosed value arrives as it is, whatever it holds.
  for (const std::string value :
       {"a\"b", R"(a\"b)", "a\tb", R"(a \"b c)", R"(\"x")", R"(end\\)", R"(x \\\" "" \)",
        "\" --evil=1 \"", "\"", "\"\"\" ", "%PATH% $(id) `id` 'q'", "-- -x", "\xC3\xBC \xE2\x82\xAC"})
    EXPECT_EQ(Read(Params(value) + "next"), (Args{"--x=" + value, "next"})) << value;
}

TEST(CommandLine, TemplatePlaceholders) {
  const struct { std::string pattern, filled; } rows[] = {
      {kBuiltInTemplate, R"(P --output="O" "I")"},
      {"%input%|%Output%|%pArAmS%", "I|O|P"},
      {"100%%|%%INPUT%%", "100%|%INPUT%"},
      {"%%%", "%%"},
      {"ends with %", "ends with %"},
      {"%other%", "%other%"},
      {"50% %INPUT%", "50% I"},
      {"%a%INPUT%", "%aI"},
      {"%x%%", "%x%"},
  };
  for (const auto& r : rows) EXPECT_EQ(FillTemplate(r.pattern, "P", "I", "O"), r.filled) << r.pattern;
  // Inserted values are not scanned again.
  EXPECT_EQ(FillTemplate("%PARAMS%|%INPUT%", "%INPUT% ", "100%", "O"), "%INPUT% |100%");
}

// What the template means, with INPUT and OUTPUT standing for themselves:
// the template read with a plain stand-in for each, which is then replaced.
Args Meant(const std::string& pattern, const std::string& params, const std::string& input,
           const std::string& output) {
  Args args = Read(FillTemplate(pattern, params, "\x01", "\x02", PathStyle::Windows));
  for (std::string& arg : args) {
    std::string filled;
    for (char c : arg) filled += c == '\x01' ? input : c == '\x02' ? output : std::string(1, c);
    arg = filled;
  }
  return args;
}

TEST(CommandLine, NamesOnPosix) {
  const std::string templates[] = {
      kBuiltInTemplate, R"("%INPUT%" "%OUTPUT%" %PARAMS%)", "%INPUT% %OUTPUT%",
      "-o%OUTPUT% %INPUT%x", R"("%INPUT%"%OUTPUT%)", R"(%INPUT%"%OUTPUT%")",
      R"("a"%INPUT%"b")", R"(\%INPUT%\" \\%OUTPUT%\\")", "%INPUT%%OUTPUT%",
      R"("%INPUT%""%OUTPUT%")", R"(%INPUT%"" "x\\%OUTPUT%")", R"("%INPUT%\\" %OUTPUT%"")",
      R"("a\\"%OUTPUT% "b\\\"%INPUT%)",
  };
  const std::string names[] = {
      "/tmp/kel1A.tmp/plain.htm", "/w/x\" --evil=1 \".htm", "/o \"q\" x/a.lrf", "/dir\\",
      "/a\\\"b\\\\\" c\\", "/t\tab/x", "\"/starts", "\\\\\"", "/ends with blank ",
      "/%PATH%/$(id)/-x/\xC3\xBC",
  };
  const std::string params = Params("a \"b\" c\\") + Params("y\"z\"");
  const std::size_t n = std::size(names);
  for (const std::string& pattern : templates) {
    for (std::size_t i = 0; i < n; ++i) {
      const std::string &input = names[i], &output = names[(i + 3) % n];
      const std::string filled = FillTemplate(pattern, params, input, output, PathStyle::Posix);
      EXPECT_EQ(Read(filled), Meant(pattern, params, input, output))
          << pattern << "\n  INPUT " << input << "\n  OUTPUT " << output << "\n  -> " << filled;
    }
  }
  // Names that need nothing stay as they are; the others in the form shown.
  const struct { std::string input, filled; } rows[] = {
      {"/tmp/kel1A.tmp/a b.htm", R"(P --output="O" "/tmp/kel1A.tmp/a b.htm")"},
      {"/w/x\" y.htm", R"(P --output="O" "/w/x\" y.htm")"},
      {R"(/w/a\"b\)", R"(P --output="O" "/w/a\\\"b\\")"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(FillTemplate(kBuiltInTemplate, "P", r.input, "O", PathStyle::Posix), r.filled);
  EXPECT_EQ(FillTemplate("%INPUT% %OUTPUT%", "", "/a b", "/c\\d", PathStyle::Posix),
            R"("/a b" /c\d)");
  // On Windows the template alone decides.
  EXPECT_EQ(FillTemplate("%INPUT% %OUTPUT%", "", "a b", "c\"", PathStyle::Windows), "a b c\"");
}

class BuildCommandLineTest : public ::testing::Test {
 protected:
  qvtest::ModuleScope scope_;
  qvtest::ScratchDir dir_;
};

TEST_F(BuildCommandLineTest, FromTheLoadedDocument) {
  const auto build = [&](const std::string& page, const std::string& out, const char* pattern,
                         bool keep = false) {
    dir_.File("src/sub/novel.htm", page);
    return BuildCommandLine(dir_ / "src/", "sub" + kSep + "novel.htm", ".lrf", out, pattern, keep);
  };
  dir_.File("src/inc/m.htm",
            Meta("lrf:--author", "Smith") + Meta("lrf:--cover", "%n.jpg") + "<img src=\"c.png\">");
  const std::string out = dir_ / "out", novel = kSep + "novel.lrf";
  const std::string args =
      build(Meta("lrf:--title", "My Book") + Meta("*:@include", "../inc/m.htm") +
                Meta("lrf:--cover", "%r") + Meta("lrf:--e", "%e"),
            out, "%PARAMS%|%INPUT%");
  const std::string copy = TempCopyList.Get(0) + kSep + "novel.htm";
  EXPECT_EQ(args, "--title=\"My Book\" --author=Smith --e |" + copy);
  EXPECT_EQ(ReadFile(copy).find("@include"), std::string::npos) << ReadFile(copy);
  EXPECT_NE(ReadFile(copy).find("src/inc/c.png\">"), std::string::npos) << ReadFile(copy);
  // A folder with a blank: on Windows its final backslash is doubled.
  const std::string src = dir_ / "my books/";
  dir_.File("my books/novel.htm", Meta("lrf:--dir", "%p"));
  EXPECT_EQ(BuildCommandLine(src, "novel.htm", ".lrf", out, "%PARAMS%", false),
            "--dir=\"" + src + (src.back() == '\\' ? "\\" : "") + "\" ");
  // OUTPUT with and without the source folder structure.
  EXPECT_EQ(build("x", out + kSep, "%OUTPUT%"), out + novel);
  EXPECT_EQ(build("x", out, "%OUTPUT%", true), out + kSep + "sub" + novel);
  EXPECT_TRUE(std::filesystem::is_directory(out + kSep + "sub"));
  EXPECT_EQ(build("x", "", "%OUTPUT%"), novel);
}

TEST_F(BuildCommandLineTest, RefusesOutputOverTheInputBeforeAnyCopy) {
  const std::string page = dir_.File("src/page.htm", "<p>keep me</p>"), src = dir_ / "src/";
  // Windows names differing in case are the same file; POSIX names are not.
  const struct { std::string dir, ext; bool same; } rows[] = {
      {dir_ / "src", ".htm", true},
      {src, ".htm", true},
      {dir_ / "src/sub/..", ".htm", true},
      {dir_ / "SRC", ".HTM", kHostPathStyle == PathStyle::Windows},
      {src, ".HTM", kHostPathStyle == PathStyle::Windows},
  };
  int copies = 0;  // a refused file gets no temporary copy
  for (const auto& r : rows) {
    const auto build = [&] { BuildCommandLine(src, "page.htm", r.ext, r.dir, "%INPUT%", false); };
    EXPECT_EQ(qvtest::Raised(build),
              r.same ? "EkelvoError: Output file " + WithTrailingBackslash(r.dir) + "page" + r.ext +
                           " is the input file itself; not converted"
                     : "none")
        << r.dir << r.ext;
    EXPECT_EQ(TempCopyList.Count(), copies += !r.same);
  }
  const auto none = [&] { BuildCommandLine(src, "none.htm", ".lrf", src, "%INPUT%", false); };
  EXPECT_EQ(qvtest::Raised(none), "EFOpenError: Cannot open file " + src + "none.htm");
  EXPECT_EQ(TempCopyList.Count(), copies);
  EXPECT_EQ(ReadFile(page), "<p>keep me</p>");
  EXPECT_NO_THROW(BuildCommandLine(src, "page.htm", ".lrf", src, "%INPUT%", false));
}

}  // namespace
}  // namespace quorvane
