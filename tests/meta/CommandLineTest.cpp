#include <gtest/gtest.h>

#include <filesystem>

#include "MetaTestSupport.h"
#include "config/Config.h"
#include "meta/CommandLine.h"
#include "meta/ModuleState.h"
#include "util/Errors.h"
#include "util/StringList.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::MetaTest;
using test::Sep;
using test::TScratch;

TEST(JoinParameters, QuotingRules) {
  struct TCase {
    std::vector<std::pair<std::string, std::string>> entries;
    const char* expected;
  } const cases[] = {
      {{}, ""},
      {{{"--title", "My Book"}, {"--author", "Smith"}}, R"(--title="My Book" --author=Smith )"},
      {{{"--x", R"(a "b" c)"}}, R"(--x="a ""b"" c" )"},
      {{{"--x", R"(a"b)"}}, R"(--x=a"b )"},
      {{{"--x", ""}, {"--y", "1"}}, "--x --y=1 "},
      {{{"", "dropped"}, {"--y", "1"}}, "--y=1 "},
      {{{"--x", "a\tb"}}, "--x=a\tb "},
      {{{"--x", R"(C:\dir\)"}}, R"(--x=C:\dir\ )"},
      // A backslash before the closing quote is doubled so it cannot
      // escape that quote.
      {{{"--x", R"(C:\Users\Ann Lee\Books\)"}}, R"(--x="C:\Users\Ann Lee\Books\\" )"},
      {{{"--x", R"(a b\\)"}}, R"(--x="a b\\\\" )"},
  };
  for (const auto& c : cases) {
    TStringList names;
    TStringList values;
    for (const auto& [name, value] : c.entries) {
      names.Add(name);
      values.Add(value);
    }
    EXPECT_EQ(JoinParameters(names, values), c.expected);
  }
}

TEST(FillTemplate, PlaceholdersAndPercentSigns) {
  const std::pair<const char*, const char*> cases[] = {
      {kBuiltInTemplate, R"(P --output="O" "I")"},
      {"%input%|%Output%|%pArAmS%", "I|O|P"},
      {"100%%", "100%"},
      {"%%INPUT%%", "%INPUT%"},
      {"%%%", "%%"},
      {"ends with %", "ends with %"},
      {"%other%", "%other%"},
      {"50% %INPUT%", "50% I"},
      {"%a%INPUT%", "%aI"},
      {"%x%%", "%x%"},
  };
  for (const auto& [pattern, expected] : cases) {
    EXPECT_EQ(FillTemplate(pattern, "P", "I", "O"), expected) << pattern;
  }
  // Inserted values are not scanned again.
  EXPECT_EQ(FillTemplate("%PARAMS%|%INPUT%", "%INPUT% ", "100%", "O"), "%INPUT% |100%");
}

class BuildCommandLineTest : public MetaTest {
 protected:
  // The source tree: sub/novel.htm with the given text.
  std::string Build(const std::string& page, const std::string& outputDir,
                    bool keep = false, const std::string& pattern = kBuiltInTemplate) {
    scratch.Write("src/sub/novel.htm", page);
    return BuildCommandLine(scratch.Path("src/"), "sub" + Sep() + "novel.htm", ".lrf", outputDir,
                            pattern, keep);
  }
  std::string LastCopy() const {
    return TempCopyList.Get(TempCopyList.Count() - 1) + Sep() + "novel.htm";
  }
  TScratch scratch;
};

TEST_F(BuildCommandLineTest, NoParameters) {
  const std::string out = scratch.Path("out");
  const std::string args = Build("<p>text</p>", out);
  ASSERT_EQ(TempCopyList.Count(), 1);
  EXPECT_EQ(args, " --output=\"" + out + Sep() + "novel.lrf\" \"" + LastCopy() + "\"");
  EXPECT_EQ(TScratch::Read(LastCopy()), "<p>text</p>");
  EXPECT_TRUE(fs::is_directory(out));
}

TEST_F(BuildCommandLineTest, ParametersComeFromTheLoadedDocument) {
  scratch.Write("src/inc/meta.htm",
                "<meta name=\"lrf:--author\" content=\"Smith\">"
                "<meta name=\"lrf:--cover\" content=\"%n.jpg\"><img src=\"c.png\">");
  const std::string args =
      Build("<meta name=\"lrf:--title\" content=\"My Book\">"
            "<meta name=\"*:@include\" content=\"../inc/meta.htm\">"
            "<meta name=\"lrf:--cover\" content=\"%r\">"
            "<meta name=\"lrf:--empty\" content=\"%e\">"
            "<meta name=\"lrf:\" content=\"left out\">",
            scratch.Path("out"), false, "%PARAMS%|%INPUT%");
  EXPECT_EQ(args, "--title=\"My Book\" --author=Smith --empty |" + LastCopy());
  // The copy holds the inlined include with its link made absolute.
  const std::string copy = TScratch::Read(LastCopy());
  EXPECT_EQ(copy.find("@include"), std::string::npos) << copy;
  EXPECT_EQ(copy.find("src=\"c.png\""), std::string::npos) << copy;
  EXPECT_NE(copy.find("src/inc/c.png\">"), std::string::npos) << copy;
}

TEST_F(BuildCommandLineTest, FolderWithBlankGivesAQuotedValueThatStaysClosed) {
  const std::string src = scratch.Path("my books/");
  scratch.Write("my books/novel.htm", "<meta name=\"lrf:--dir\" content=\"%p\">");
  const std::string args =
      BuildCommandLine(src, "novel.htm", ".lrf", scratch.Path("out"), "%PARAMS%", false);
  // On Windows the directory ends with a backslash, which is doubled.
  const std::string extra = src.back() == '\\' ? "\\" : "";
  EXPECT_EQ(args, "--dir=\"" + src + extra + "\" ");
}

TEST_F(BuildCommandLineTest, OutputPaths) {
  const std::string out = scratch.Path("out");
  struct TCase {
    std::string outputDir;
    bool keep;
    std::string expected;
  } const cases[] = {
      {out, false, out + Sep() + "novel.lrf"},
      {out + Sep(), false, out + Sep() + "novel.lrf"},
      {out, true, out + Sep() + "sub" + Sep() + "novel.lrf"},
      {"", false, Sep() + "novel.lrf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Build("x", c.outputDir, c.keep, "%OUTPUT%"), c.expected);
  }
  EXPECT_TRUE(fs::is_directory(out + Sep() + "sub"));

  scratch.Write("src/a.b.htm", "x");
  EXPECT_EQ(BuildCommandLine(scratch.Path("src/"), "a.b.htm", ".lrf", out, "%OUTPUT%", false),
            out + Sep() + "a.b.lrf");
}

TEST_F(BuildCommandLineTest, OutputOverTheInputIsRefused) {
  const std::string page = scratch.Write("src/page.htm", "<p>keep me</p>");
  const std::string src = scratch.Path("src/");
  std::vector<std::pair<std::string, std::string>> sameFile = {
      {scratch.Path("src"), ".htm"},
      {src, ".htm"},
      {scratch.Path("src/sub/.."), ".htm"},
  };
  if (kHostPathStyle == PathStyle::Windows) sameFile.push_back({scratch.Path("SRC"), ".HTM"});
  for (const auto& [outputDir, extension] : sameFile) {
    try {
      BuildCommandLine(src, "page.htm", extension, outputDir, kBuiltInTemplate, false);
      ADD_FAILURE() << "accepted " << outputDir << " " << extension;
    } catch (const EkelvoError& error) {
      EXPECT_NE(std::string(error.what()).find("is the input file itself"), std::string::npos)
          << error.what();
    }
  }
  EXPECT_EQ(TScratch::Read(page), "<p>keep me</p>");
  EXPECT_EQ(TempCopyList.Count(), 0);

  // Output beside the input under another name is fine.
  EXPECT_NO_THROW(BuildCommandLine(src, "page.htm", ".lrf", src, kBuiltInTemplate, false));
}

TEST_F(BuildCommandLineTest, UnreadableInputLeavesNoTemporaryDirectory) {
  EXPECT_THROW(BuildCommandLine(scratch.Path("src/"), "none.htm", ".lrf", scratch.Path("out"),
                                kBuiltInTemplate, false),
               EFOpenError);
  EXPECT_EQ(TempCopyList.Count(), 0);
}

}  // namespace
}  // namespace quorvane
