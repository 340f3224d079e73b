// Values, page names, folders, output and temporary folders reach the
// converter exactly as the page and the file system hold them.
#include "Harness.h"

namespace e2e {
namespace {

// A meta tag whose content, once its entities are decoded, is value.
std::string EncodedMeta(const std::string& name, const std::string& value) {
  std::string content;
  for (char c : value) {
    if (c == '&') content += "&amp;";
    else if (c == '"') content += "&quot;";
    else if (c == '>') content += "&gt;";
    else content += c;
  }
  return Meta(name, content) + "\n";
}

// Values that must arrive as one argument each, as written.
const std::string kValues[] = {
    "a\"b", "a\tb", "a \\\"b c", "C:\\dir\\", "say \"hi\" now \\", "x\\\\\" y", "\" --evil=1 \"",
    "%PATH% $(id) `id` &", "-x --y", "'single' quotes",
};

class RoundTrip : public E2eTest {
 protected:
  // One page converted with the given output and temporary folders; checks
  // what the converter got.
  void Convert(const std::string& folder, const std::string& page, const std::string& out,
               const std::string& temp) {
    SCOPED_TRACE(folder + " | " + page + " | " + out + " | " + temp);
    const fs::path file = work_ / folder / page, outDir = root_ / out, tempDir = root_ / temp;
    std::string text;
    for (std::size_t i = 0; i < std::size(kValues); ++i) text += EncodedMeta("--v" + std::to_string(i), kValues[i]);
    Page(S(fs::path(folder) / page), text + EncodedMeta("--f", "%f"));
    fs::create_directories(tempDir);
    // Wine takes the temporary folder from its registry, not from TMP.
    env_ = {"TMPDIR=" + S(tempDir), "TMP=" + S(tempDir), "TEMP=" + S(tempDir)};
    const RunResult r = RunAgain({"-o", S(outDir), S(file)});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<Call> calls = Calls();
    ASSERT_EQ(calls.size(), 1u) << r.out;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(kValues); ++i)
      expected.push_back("--v" + std::to_string(i) + "=" + kValues[i]);
    expected.push_back("--f=" + S(file));
    expected.push_back("--output=" + S(outDir / fs::path(page).replace_extension(".lrf")));
    const Call& call = calls[0];
    ASSERT_EQ(call.args.size(), expected.size() + 1);
    EXPECT_EQ(std::vector<std::string>(call.args.begin(), call.args.end() - 1), expected);
    // The copy of the page, in a folder of its own below the temporary folder.
    const fs::path input = call.Input();
    EXPECT_EQ(S(input.filename()), page);
#ifndef _WIN32
    EXPECT_EQ(S(input.parent_path().parent_path()), S(tempDir));
    EXPECT_TRUE(fs::is_empty(tempDir)) << "the copy is removed";
#endif
    ASSERT_EQ(call.files.count(call.Input()), 1u);
    EXPECT_EQ(call.files.at(call.Input()), pages_[S(fs::path(folder) / page)]);
  }
};

TEST_F(RoundTrip, ValuesAndNamesArriveAsTheyAre) {
  // A Windows name holds no double quote, backslash, tab, * or ?; the rows
  // for both builds keep to what it can hold.
  const struct { const char* folder; const char* page; const char* out; const char* temp; } rows[] = {
      {"my dir", "a b.htm", "out dir", "tmp dir"},
      {"%PATH% $(id) & ^", "-dash 'q' %x%.htm", "-o %TEMP%", "%TEMP% $(x)"},
#ifndef _WIN32
      {"q\"uote dir", "x\" --evil=1 \".htm", "o \"q\" x", "t\"mp dir"},
      {"back\\slash\\", "a\\\"b.htm", "out\\", "tmp\\"},
      {"tab\tdir", "\xE2\x82\xAC page.htm", "\xC3\xBC", "'single'\t\""},
      {"plain", "end\\", "out", "tmp"},
#endif
  };
  DefaultIni();
  for (const auto& row : rows) Convert(row.folder, row.page, row.out, row.temp);
}

}  // namespace
}  // namespace e2e
