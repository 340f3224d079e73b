// Values and names reach the converter as the page and the file system hold
// them: what the command-line splitter reads back from the argument text.
#include <gtest/gtest.h>

#include "config/Config.h"
#include "meta/CommandLine.h"
#include "platform/CommandLineSplit.h"
#include "util/StringList.h"

namespace quorvane {
namespace {

using Args = std::vector<std::string>;

// The arguments a converter gets from an argument text.
Args Read(const std::string& arguments) {
  Args args = platform::SplitCommandLine("conv " + arguments);
  args.erase(args.begin());
  return args;
}

std::string Params(const std::string& value) {
  TStringList names, values;
  names.Add("--x");
  values.Add(value);
  return JoinParameters(names, values);
}

TEST(Quoting, ParameterValues) {
  // Enclosed: a blank, a tab, or quotes that do not pair up; backslashes
  // before a quote are doubled. Paired quotes without a blank stay as written.
  const std::pair<std::string, std::string> rows[] = {
      {"plain", "--x=plain "},
      {R"(say="y")", R"(--x=say="y" )"},
      {R"(C:\dir\)", R"(--x=C:\dir\ )"},
      {"a\"b", R"(--x="a""b" )"},
      {R"(a\"b)", R"(--x="a\\""b" )"},
      {"a\tb", "--x=\"a\tb\" "},
      {R"(a \"b c)", R"(--x="a \\""b c" )"},
      {R"(\"x")", R"(--x="\\""x""" )"},
      {R"(C:\Ann Lee\)", R"(--x="C:\Ann Lee\\" )"},
  };
  for (const auto& [value, expected] : rows) EXPECT_EQ(Params(value), expected) << value;
  // Every enclosed value arrives as it is, whatever it holds.
  for (const std::string value :
       {"a\"b", R"(a\"b)", "a\tb", R"(a \"b c)", R"(\"x")", R"(end\\)", R"(x \\\" "" \)", "\" --evil=1 \"",
        "\"", "\"\"\" ", "%PATH% $(id) `id` 'q'", "-- -x", "\xC3\xBC \xE2\x82\xAC"})
    EXPECT_EQ(Read(Params(value) + "next"), (Args{"--x=" + value, "next"})) << value;
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

TEST(Quoting, NamesOnPosix) {
  const std::string templates[] = {
      kBuiltInTemplate, R"("%INPUT%" "%OUTPUT%" %PARAMS%)", "%INPUT% %OUTPUT%",
      "-o%OUTPUT% %INPUT%x", R"("%INPUT%"%OUTPUT%)", R"(%INPUT%"%OUTPUT%")",
      R"("a"%INPUT%"b")", R"(\%INPUT%\" \\%OUTPUT%\\")", "%INPUT%%OUTPUT%",
      R"("%INPUT%""%OUTPUT%")", R"(%INPUT%"" "x\\%OUTPUT%")", R"("%INPUT%\\" %OUTPUT%"")", R"("a\\"%OUTPUT% "b\\\"%INPUT%)",
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
      const std::string& input = names[i];
      const std::string& output = names[(i + 3) % n];
      const std::string filled = FillTemplate(pattern, params, input, output, PathStyle::Posix);
      EXPECT_EQ(Read(filled), Meant(pattern, params, input, output))
          << pattern << "\n  INPUT " << input << "\n  OUTPUT " << output << "\n  -> " << filled;
    }
  }
  // Names that need nothing stay as they are; the others in the form shown.
  const std::pair<std::string, std::string> rows[] = {
      {"/tmp/kel1A.tmp/a b.htm", R"(P --output="O" "/tmp/kel1A.tmp/a b.htm")"},
      {"/w/x\" y.htm", R"(P --output="O" "/w/x\" y.htm")"},
      {R"(/w/a\"b\)", R"(P --output="O" "/w/a\\\"b\\")"},
  };
  for (const auto& [input, expected] : rows)
    EXPECT_EQ(FillTemplate(kBuiltInTemplate, "P", input, "O", PathStyle::Posix), expected);
  EXPECT_EQ(FillTemplate("%INPUT% %OUTPUT%", "", "/a b", "/c\\d", PathStyle::Posix),
            R"("/a b" /c\d)");
  // On Windows the template alone decides.
  EXPECT_EQ(FillTemplate("%INPUT% %OUTPUT%", "", "a b", "c\"", PathStyle::Windows), "a b c\"");
}

}  // namespace
}  // namespace quorvane
