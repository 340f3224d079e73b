// The example books through pandoc: the built qprepare with the shipped
// configuration on a copy of examples/. POSIX only; skipped without pandoc.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "config/Config.h"
#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;

const char* const kPandoc = "/usr/bin/pandoc";
const char* const kUnzip = "/usr/bin/unzip";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The content of the first element of the given name with the predefined
// entities decoded ("&amp;" last, so nothing is decoded twice); "<none>" if absent.
std::string Element(const std::string& xml, const std::string& name) {
  std::smatch m;
  if (!std::regex_search(xml, m, std::regex("<" + name + "(\\s[^>]*)?>([^<]*)</" + name + ">")))
    return "<none>";
  std::string text = m[2].str();
  for (auto [from, to] : {std::pair<std::string, char>{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'},
                          {"&apos;", '\''}, {"&#39;", '\''}, {"&amp;", '&'}})
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
      text.replace(at, from.size(), 1, to);
  return text;
}

class RealConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the real converters are exercised on the POSIX build only";
#else
    for (const char* tool : {kPandoc, kUnzip})
      if (!fs::exists(tool)) GTEST_SKIP() << tool << " is not installed";
    std::random_device random;
    root_ = fs::temp_directory_path() / ("qv-realconv-" + std::to_string(random()));
    // pandoc does not find pictures whose file:/// path has a blank in it.
    if (Contains(root_.string(), " ")) GTEST_SKIP() << root_ << " has a blank in its path";
    for (const char* dir : {"bin", "tmp"}) fs::create_directories(root_ / dir);
    fs::copy_file(QV_QPREPARE, root_ / "bin" / "qprepare");
    fs::copy_file(fs::path(QV_SOURCE_ROOT) / "config" / "shipped" / "qprepare-posix.ini",
                  root_ / "bin" / "qprepare.ini");
    // A copy, so the source tree is never touched and a test may change it.
    fs::copy(fs::path(QV_SOURCE_ROOT) / "examples", root_ / "examples",
             fs::copy_options::recursive);
#endif
  }

  void TearDown() override {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }

  // Runs a program with its output in <root>/<log>; returns its exit code.
  int Run(const std::vector<std::string>& args, const std::string& log) {
    quorvane::platform::ChildProcess child;
    std::uint32_t error = 0;
    if (!child.Start(args, (root_ / log).string(), root_.string(),
                     {"TMPDIR=" + (root_ / "tmp").string()}, error)) {
      ADD_FAILURE() << "could not start " << args.front() << " (error " << error << ")";
      return -1;
    }
    return child.Wait();
  }

  // Tests the archive, unpacks it and returns every file in it by its path.
  std::vector<fs::path> Unpack(const std::string& book) {
    const std::string archive = (root_ / "out" / book).string();
    const fs::path dir = root_ / ("unpacked-" + book);
    EXPECT_EQ(Run({kUnzip, "-q", archive, "-d", dir.string()}, "unzip.txt"), 0)
        << ReadFile(root_ / "unzip.txt");
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
    return files;
  }

  std::string Leftovers() const {  // qprepare's, not pandoc's, temporary directories
    std::string names;
    for (const auto& entry : fs::directory_iterator(root_ / "tmp"))
      if (auto name = entry.path().filename().string(); name.rfind("kel", 0) == 0) names += name;
    return names;
  }

  fs::path root_;
};

// An unpacked EPUB: its package document, all its XHTML text, its files' bytes.
struct Epub {
  std::string opf, text;
  std::set<std::string> contents;
  explicit Epub(const std::vector<fs::path>& files) {
    for (const fs::path& file : files) {
      std::string bytes = ReadFile(file);
      if (file.extension() == ".opf") opf += bytes;
      if (file.extension() == ".xhtml") text += bytes;
      contents.insert(std::move(bytes));
    }
  }
  bool Holds(const fs::path& file) const { return contents.count(ReadFile(file)) == 1; }
};

TEST_F(RealConverterTest, ExampleBooksBecomeEpubsWithMetadataTextAndPictures) {
  ASSERT_EQ(Run({(root_ / "bin" / "qprepare").string(), "-o", "out", "examples/*.htm"}, "log"), 0)
      << ReadFile(root_ / "log");
  // Only the two books: the chapters come in by include tags, not on their own.
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "out"), {}), 2);
  EXPECT_EQ(Leftovers(), "");

  // An EPUB is a zip archive that starts with the stored entry "mimetype".
  const std::string raw = ReadFile(root_ / "out" / "lighthouses.epub") + std::string(58, '-');
  EXPECT_EQ(raw.substr(0, 4) + raw.substr(8, 2) + raw.substr(30, 28),
            std::string("PK\x03\x04\0\0", 6) + "mimetypeapplication/epub+zip");

  const Epub book(Unpack("lighthouses.epub"));
  // Entities decoded and quotes kept through the command line; the author
  // from the page's meta tag; the language from a target-only include.
  EXPECT_EQ(Element(book.opf, "dc:title"), "Lighthouses & Their Keepers: \"A Light Kept\"");
  EXPECT_EQ(Element(book.opf, "dc:creator"), "Morwenna Pike");
  EXPECT_EQ(Element(book.opf, "dc:language"), "en-GB");
  EXPECT_TRUE(Contains(book.opf, "<itemref idref=\"nav\"")) << "the shared --toc did not arrive";
  for (const char* part : {"here is the rock", "frozen ripple", "Two colliers passed"})
    EXPECT_TRUE(Contains(book.text, part)) << part;

  // Every picture, each linked relative to its own file, byte for byte; so
  // are the cover (%p, %n) and the stylesheet.
  const fs::path examples = root_ / "examples";
  for (const char* file : {"chapters/figures/beam.png", "chapters/figures/lens.png",
                           "chapters/figures/stairs.png", "chapters/figures/logbook.png",
                           "images/lighthouses-cover.png", "shared/book.css"})
    EXPECT_TRUE(book.Holds(examples / file)) << file << " is not in the book";
  EXPECT_FALSE(Contains(book.text, "file:")) << "a picture was not embedded";

  // The short book: its own cover and picture; its %r tag takes back the toc.
  const Epub tidepools(Unpack("tidepools.epub"));
  EXPECT_EQ(Element(tidepools.opf, "dc:title"), "A Morning at the Tide Pools");
  EXPECT_TRUE(tidepools.Holds(examples / "images" / "tidepools-cover.png"));
  EXPECT_TRUE(tidepools.Holds(examples / "images" / "anemone.png"));
  EXPECT_FALSE(Contains(tidepools.opf, "<itemref idref=\"nav\""));
}

// The shipped configuration files, read the way qprepare reads them: every
// target complete, its template's quotes intact, both files alike but for the
// converter names.
TEST(ShippedIni, BothFilesDescribeTheSameCompleteTargets) {
  const fs::path dir = fs::path(QV_SOURCE_ROOT) / "config" / "shipped";
  const quorvane::TIniFile posix((dir / "qprepare-posix.ini").string());
  const std::string kFiles[][3] = {
      {"qprepare-posix.ini", "pandoc", "ebook-convert"},
      {"qprepare-win.ini", "pandoc.exe", "ebook-convert.exe"}};
  for (const auto& [file, pandocPath, calibrePath] : kFiles) {
    SCOPED_TRACE(file);
    const quorvane::TIniFile ini((dir / file).string());
    auto read = [&](const std::string& sect, const char* key) {
      return ini.ReadString(sect, key, "");
    };
    EXPECT_EQ(read("Config", "DefaultTarget"), "epub");
    EXPECT_EQ(read("Config", "AbsoluteLocalUrlPrefix"), "file:///");
    for (const std::string name : {"epub", "docx", "odt", "lrf", "mobi", "azw3"}) {
      SCOPED_TRACE(name);
      const bool pandoc = name == "epub" || name == "docx" || name == "odt";
      EXPECT_EQ(read(name, "Converter"), pandoc ? pandocPath : calibrePath);
      EXPECT_EQ(read(name, "Prefix") + " " + read(name, "Extension"), name + ": ." + name);
      // pandoc takes its options first, ebook-convert its input and output.
      const std::string tmpl = read(name, "CommandLine");
      EXPECT_EQ(tmpl.rfind(pandoc ? "-f html -t " + name + " " : R"("%INPUT%" "%OUTPUT%" )", 0), 0u)
          << tmpl;
      for (const char* part : {R"("%INPUT%")", "%PARAMS%", pandoc ? R"(-o "%OUTPUT%")"
                                                            : "--allow-local-files-outside-root"})
        EXPECT_TRUE(Contains(tmpl, part)) << tmpl;
      EXPECT_EQ(tmpl, posix.ReadString(name, "CommandLine", ""));
    }
  }
}

}  // namespace
