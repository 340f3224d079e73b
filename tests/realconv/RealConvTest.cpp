// The example books through the real converters: the built qprepare with the
// shipped configuration, run on a copy of examples/, and what pandoc (and
// ebook-convert, where installed) made of it.
//
// Runs on the POSIX build only; skipped where the converter is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;

const char* const kPandoc = "/usr/bin/pandoc";
const char* const kUnzip = "/usr/bin/unzip";
const char* const kEbookConvert = "/usr/bin/ebook-convert";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The text of an XML element's content with the five predefined entities and
// numeric references of ASCII characters decoded, in one pass.
std::string XmlText(const std::string& text) {
  static const std::map<std::string, char> named = {
      {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"amp", '&'}};
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t semicolon = text.find(';', i);
    if (text[i] == '&' && semicolon != std::string::npos && semicolon - i <= 8) {
      std::string name = text.substr(i + 1, semicolon - i - 1);
      if (auto it = named.find(name); it != named.end()) {
        out.push_back(it->second);
        i = semicolon;
        continue;
      }
      if (name.size() > 1 && name[0] == '#' &&
          name.find_first_not_of("0123456789", 1) == std::string::npos) {
        out.push_back(static_cast<char>(std::stoi(name.substr(1))));
        i = semicolon;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// The content of the first element of the given name (its attributes
// ignored), or nothing when there is none.
std::optional<std::string> Element(const std::string& xml, const std::string& name) {
  std::smatch m;
  std::regex pattern("<" + name + "(\\s[^>]*)?>([^<]*)</" + name + ">");
  if (!std::regex_search(xml, m, pattern)) return std::nullopt;
  return XmlText(m[2].str());
}

class RealConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the real converters are exercised on the POSIX build only";
#else
    if (!fs::exists(kUnzip)) GTEST_SKIP() << kUnzip << " is not installed";
    std::mt19937_64 random(std::chrono::steady_clock::now().time_since_epoch().count());
    root_ = fs::temp_directory_path() / ("qv-realconv-" + std::to_string(random() % 1000000000));
    // pandoc does not find pictures whose file:/// path has a blank in it.
    if (Contains(root_.string(), " "))
      GTEST_SKIP() << "the temporary directory " << root_ << " has a blank in its path";
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "tmp");
    fs::copy_file(QV_QPREPARE, root_ / "bin" / "qprepare");
    fs::copy_file(fs::path(QV_SOURCE_ROOT) / "config" / "shipped" / "qprepare-posix.ini",
                  root_ / "bin" / "qprepare.ini");
    // The books are converted from a copy, so the source tree is never
    // touched and a test may change its copy.
    const fs::path examples = fs::path(QV_SOURCE_ROOT) / "examples";
    fs::create_directories(root_ / "examples");
    for (const char* part : {"lighthouses.htm", "tidepools.htm", "chapters", "images", "shared"})
      fs::copy(examples / part, root_ / "examples" / part,
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

  int Qprepare(const std::vector<std::string>& options) {
    std::vector<std::string> args = {(root_ / "bin" / "qprepare").string()};
    args.insert(args.end(), options.begin(), options.end());
    return Run(args, "qprepare.txt");
  }
  std::string QprepareOutput() const { return ReadFile(root_ / "qprepare.txt"); }

  // Checks the archive with unzip and unpacks it below <root>/unpacked/.
  fs::path Unpack(const fs::path& archive) {
    EXPECT_EQ(Run({kUnzip, "-tq", archive.string()}, "unzip-test.txt"), 0)
        << ReadFile(root_ / "unzip-test.txt");
    fs::path dir = root_ / "unpacked" / archive.stem();
    fs::create_directories(dir);
    EXPECT_EQ(Run({kUnzip, "-q", "-o", archive.string(), "-d", dir.string()}, "unzip.txt"), 0)
        << ReadFile(root_ / "unzip.txt");
    return dir;
  }

  // qprepare's temporary directories left in TMPDIR (the converters may keep
  // files of their own there).
  std::vector<std::string> TempLeftovers() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / "tmp")) {
      std::string name = entry.path().filename().string();
      if (name.rfind("kel", 0) == 0) names.push_back(name);
    }
    return names;
  }

  fs::path root_;
};

// An unpacked EPUB: its package document and its files.
struct Epub {
  explicit Epub(const fs::path& dir) : dir(dir) {
    std::smatch m;
    std::string container = ReadFile(dir / "META-INF" / "container.xml");
    if (std::regex_search(container, m, std::regex("full-path=\"([^\"]+)\"")))
      opfPath = dir / m[1].str();
    opf = ReadFile(opfPath);
    for (const auto& entry : fs::recursive_directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  // All XHTML text of the book, one after the other.
  std::string Text() const {
    std::string text;
    for (const fs::path& file : files)
      if (file.extension() == ".xhtml") text += ReadFile(file);
    return text;
  }
  bool HasFileWithBytes(const std::string& bytes) const {
    return std::any_of(files.begin(), files.end(),
                       [&](const fs::path& f) { return ReadFile(f) == bytes; });
  }
  bool InReadingOrder(const std::string& idref) const {
    return Contains(opf, "<itemref idref=\"" + idref + "\"");
  }

  fs::path dir;
  fs::path opfPath;
  std::string opf;
  std::vector<fs::path> files;
};

class EpubTest : public RealConverterTest {
 protected:
  void SetUp() override {
    RealConverterTest::SetUp();
    if (IsSkipped()) return;
    if (!fs::exists(kPandoc)) GTEST_SKIP() << "pandoc is not installed (" << kPandoc << ")";
  }
};

TEST_F(EpubTest, ConvertsTheExampleBooksWithTheDefaultTarget) {
  ASSERT_EQ(Qprepare({"-o", "out", "examples/*.htm"}), 0) << QprepareOutput();

  // The two books and nothing else: the chapters and shared parts in the
  // sub-folders are pulled in by include tags, not converted on their own.
  std::set<std::string> produced;
  for (const auto& entry : fs::directory_iterator(root_ / "out"))
    produced.insert(entry.path().filename().string());
  EXPECT_EQ(produced, (std::set<std::string>{"lighthouses.epub", "tidepools.epub"}));
  EXPECT_TRUE(TempLeftovers().empty()) << "left behind: " << TempLeftovers().front();

  // An EPUB is a zip archive that starts with the stored entry "mimetype".
  std::string raw = ReadFile(root_ / "out" / "lighthouses.epub");
  ASSERT_GT(raw.size(), 58u);
  EXPECT_EQ(raw.substr(0, 4), std::string("PK\x03\x04", 4));
  EXPECT_EQ(raw.substr(8, 2), std::string("\0\0", 2)) << "mimetype is not stored";
  EXPECT_EQ(raw.substr(30, 28), "mimetypeapplication/epub+zip");

  Epub book(Unpack(root_ / "out" / "lighthouses.epub"));
  ASSERT_FALSE(book.opf.empty()) << "no package document in " << book.dir;

  // The title tag's entities are decoded and its quotes survive the command
  // line; the author is the page's own meta tag; the language comes from the
  // shared include that only the pandoc targets pull in.
  EXPECT_EQ(Element(book.opf, "dc:title").value_or("<none>"),
            "Lighthouses & Their Keepers: \"A Light Kept\"");
  EXPECT_EQ(Element(book.opf, "dc:creator").value_or("<none>"), "Morwenna Pike");
  EXPECT_EQ(Element(book.opf, "dc:language").value_or("<none>"), "en-GB");

  // Text of the chapters, including the aside that a chapter includes from
  // its own sub-folder; the include tags themselves are gone.
  std::string text = book.Text();
  EXPECT_TRUE(Contains(text, "here is the rock")) << "chapter one is missing";
  EXPECT_TRUE(Contains(text, "frozen ripple")) << "chapter two is missing";
  EXPECT_TRUE(Contains(text, "Two colliers passed")) << "the nested aside is missing";
  EXPECT_FALSE(Contains(text, "@include"));
  EXPECT_TRUE(book.InReadingOrder("nav")) << "the shared --toc did not arrive";

  // Every picture the pages link to, each relative to its own file, is in
  // the book, byte for byte; so are the cover (%p, %n) and the stylesheet.
  const fs::path examples = root_ / "examples";
  for (const fs::path& picture :
       {examples / "chapters" / "figures" / "beam.png", examples / "chapters" / "figures" / "lens.png",
        examples / "chapters" / "figures" / "stairs.png",
        examples / "chapters" / "figures" / "logbook.png",
        examples / "images" / "lighthouses-cover.png", examples / "shared" / "book.css"})
    EXPECT_TRUE(book.HasFileWithBytes(ReadFile(picture))) << picture << " is not in the book";

  // And every picture the chapters show points at a file of the book.
  std::regex img("<img[^>]*src=\"([^\"]+)\"");
  int pictures = 0;
  for (const fs::path& file : book.files) {
    if (file.extension() != ".xhtml") continue;
    std::string xhtml = ReadFile(file);
    for (std::sregex_iterator it(xhtml.begin(), xhtml.end(), img), end; it != end; ++it) {
      std::string src = (*it)[1].str();
      EXPECT_EQ(src.rfind("file:", 0), std::string::npos) << "not embedded: " << src;
      EXPECT_TRUE(fs::exists(file.parent_path() / src)) << src << " in " << file;
      ++pictures;
    }
  }
  EXPECT_GE(pictures, 4);

  // The short book: its own cover, and the shared table of contents taken
  // back by its %r tag.
  Epub shortBook(Unpack(root_ / "out" / "tidepools.epub"));
  EXPECT_EQ(Element(shortBook.opf, "dc:title").value_or("<none>"), "A Morning at the Tide Pools");
  EXPECT_TRUE(shortBook.HasFileWithBytes(ReadFile(examples / "images" / "tidepools-cover.png")));
  EXPECT_TRUE(shortBook.HasFileWithBytes(ReadFile(examples / "images" / "anemone.png")));
  EXPECT_FALSE(shortBook.InReadingOrder("nav"));
}

TEST_F(EpubTest, AMissingPictureFailsTheBookInsteadOfLeavingAGap) {
  fs::remove(root_ / "examples" / "chapters" / "figures" / "lens.png");
  fs::create_directories(root_ / "out");

  EXPECT_EQ(Qprepare({"-o", "out", "examples/lighthouses.htm"}), 1);
  std::string out = QprepareOutput();
  EXPECT_TRUE(Contains(out, "pandoc returned errorlevel 3.")) << out;
  EXPECT_TRUE(Contains(out, "lens.png")) << "pandoc's warning names the picture:\n" << out;
  EXPECT_FALSE(fs::exists(root_ / "out" / "lighthouses.epub"));
  EXPECT_TRUE(TempLeftovers().empty()) << "left behind: " << TempLeftovers().front();

  // With an error log the run goes on and converts the other book.
  EXPECT_EQ(Qprepare({"-e", "errors.log", "-o", "out", "examples/*.htm"}), 0);
  EXPECT_TRUE(Contains(ReadFile(root_ / "errors.log"), "pandoc returned errorlevel 3."));
  EXPECT_TRUE(fs::exists(root_ / "out" / "tidepools.epub"));
  EXPECT_FALSE(fs::exists(root_ / "out" / "lighthouses.epub"));
}

TEST_F(EpubTest, OtherPandocTargetsTakeTheSameBook) {
  ASSERT_EQ(Qprepare({"-t", "docx", "-o", "out", "examples/tidepools.htm", "-t", "odt",
                      "examples/tidepools.htm"}),
            0)
      << QprepareOutput();
  // Both are zip archives that carry the page's picture and text.
  const std::string anemone = ReadFile(root_ / "examples" / "images" / "anemone.png");
  for (const char* name : {"tidepools.docx", "tidepools.odt"}) {
    fs::path dir = Unpack(root_ / "out" / name);
    bool hasPicture = false;
    std::string text;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::string bytes = ReadFile(entry.path());
      hasPicture = hasPicture || bytes == anemone;
      if (entry.path().extension() == ".xml") text += bytes;
    }
    EXPECT_TRUE(hasPicture) << name << " lacks the picture";
    EXPECT_TRUE(Contains(text, "Twice a day the sea steps back")) << name << " lacks the text";
  }
  EXPECT_TRUE(TempLeftovers().empty());
}

// ebook-convert of the Calibre suite, where it is installed. It is slow to
// start, so one short book is enough.
TEST_F(RealConverterTest, Azw3ThroughEbookConvertCarriesTitleAndPictures) {
  if (!fs::exists(kEbookConvert))
    GTEST_SKIP() << "Calibre's ebook-convert is not installed (" << kEbookConvert << ")";
  ASSERT_EQ(Qprepare({"-t", "azw3", "-o", "out", "examples/tidepools.htm"}), 0)
      << QprepareOutput();
  std::string book = ReadFile(root_ / "out" / "tidepools.azw3");
  ASSERT_GT(book.size(), 68u);
  EXPECT_EQ(book.substr(60, 8), "BOOKMOBI");
  EXPECT_TRUE(Contains(book, "A Morning at the Tide Pools"));
  EXPECT_TRUE(Contains(book, "Ezra Quill"));
  // The cover and the page's picture: ebook-convert drops pictures outside
  // its input's folder unless the shipped template lets them in.
  std::size_t pngs = 0;
  for (std::size_t at = 0; (at = book.find("\x89PNG", at)) != std::string::npos; ++at) ++pngs;
  EXPECT_GE(pngs, 2u);
  EXPECT_TRUE(TempLeftovers().empty());
}

}  // namespace
