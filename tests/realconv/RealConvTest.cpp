// The example books and the README's book through the real converters: the
// built qprepare with the shipped configuration on a copy of examples/, every
// EPUB validated by EPUBCheck and read back. POSIX only. Without pandoc, unzip
// or EPUBCheck the suite is skipped, unless QV_REALCONV_REQUIRED is set (as
// scripts/test does after installing them): then it fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "common/Helpers.h"
#include "common/ScratchDir.h"
#include "config/Config.h"
#include "platform/ChildProcess.h"
#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;

const char *const kPandoc = "/usr/bin/pandoc", *const kUnzip = "/usr/bin/unzip",
                  *const kJava = "/usr/bin/java", *const kEbookConvert = "/usr/bin/ebook-convert",
                  *const kEbookMeta = "/usr/bin/ebook-meta";
// Run through java: the package's launcher needs a binfmt setting that
// containers often lack.
const char* const kEpubCheck = "/usr/share/java/epubcheck.jar";
const fs::path kSource(QV_SOURCE_ROOT);

std::string Read(const fs::path& path) { return qvtest::ReadFile(path.string()); }
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

// An unpacked EPUB: its package document, its XHTML files by their path in
// the archive, all their text, and every file's bytes.
struct Epub {
  std::string opf, text;
  std::map<std::string, std::string> xhtml;
  std::set<std::string> contents;

  explicit Epub(const fs::path& dir) {
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::string bytes = Read(entry.path()), name = fs::relative(entry, dir).generic_string();
      if (entry.path().extension() == ".opf") opf += bytes;
      if (entry.path().extension() == ".xhtml") text += xhtml[name] = bytes;
      contents.insert(std::move(bytes));
    }
  }
  bool Holds(const fs::path& file) const { return contents.count(Read(file)) == 1; }

  // The file and the id a link in the file `from` leads to ("" for no id).
  static std::pair<std::string, std::string> Resolve(const std::string& from, const std::string& href) {
    const std::size_t hash = std::min(href.find('#'), href.size());
    const std::string path = href.substr(0, hash), id = href.substr(std::min(hash + 1, href.size()));
    if (path.empty()) return {from, id};
    return {(fs::path(from).parent_path() / path).lexically_normal().generic_string(), id};
  }
  bool HasId(const std::string& file, const std::string& id) const {
    return xhtml.contains(file) && Contains(xhtml.at(file), " id=\"" + id + "\"");
  }
  // Where the link whose text starts with `words` leads: the XHTML of the
  // target file from its id on; "<no link>" or "<dead>" otherwise.
  std::string Follow(const std::string& words) const {
    std::smatch m;
    for (const auto& [file, bytes] : xhtml) {
      if (!std::regex_search(bytes, m, std::regex("<a href=\"([^\"]*)\"[^>]*>" + words))) continue;
      const auto [target, id] = Resolve(file, m[1].str());
      if (!HasId(target, id)) return "<dead>";
      const std::string& doc = xhtml.at(target);
      return doc.substr(doc.find(" id=\"" + id + "\""));
    }
    return "<no link>";
  }
};

// Every style rule of a style sheet whose selector matches nothing in the
// XHTML; a selector is a list of tag, tag.class or .class parts.
std::string UnusedRules(const std::string& css, const std::string& xhtml) {
  std::string unused;
  const std::string plain = std::regex_replace(css, std::regex(R"(/\*[\s\S]*?\*/)"), "");
  const std::regex rule(R"(([^{}]+)\{[^}]*\})"), part(R"(([a-z0-9]*)(\.([a-z-]+))?)");
  for (std::sregex_iterator it(plain.begin(), plain.end(), rule), end; it != end; ++it) {
    std::istringstream parts((*it)[1].str());
    for (std::string p; parts >> p;) {
      std::smatch m;
      if (!std::regex_match(p, m, part)) { unused += "(unread) " + p + "\n"; continue; }
      const std::string tag = m[1].length() ? m[1].str() : "[a-z0-9]+";
      const std::string cls = m[3].matched ? "[^>]*class=\"([^\"]* )?" + m[3].str() + "[\" ]" : "";
      if (!std::regex_search(xhtml, std::regex("<" + tag + "[\\s>/]" + cls)) &&
          !std::regex_search(xhtml, std::regex("<" + tag + cls)))
        unused += (*it)[1].str() + "\n";
    }
  }
  return unused;
}

// qprepare with the shipped POSIX configuration and a copy of examples/, so
// the source tree is never touched.
class ExampleBooks : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "the real converters are exercised on the POSIX build only";
#else
    for (const char* tool : {kPandoc, kUnzip, kJava, kEpubCheck}) {
      if (fs::exists(tool)) continue;
      if (std::getenv("QV_REALCONV_REQUIRED")) FAIL() << tool << " is missing";
      GTEST_SKIP() << tool << " is not installed (Debian packages pandoc, unzip, epubcheck)";
    }
    // pandoc does not find pictures whose file:/// path has a blank in it.
    if (Contains(root_.path(), " ")) GTEST_SKIP() << root_.path() << " has a blank in its path";
    fs::copy_file(QV_QPREPARE, root_.Dir("bin") + "/qprepare");
    fs::copy_file(kSource / "config/shipped/qprepare-posix.ini", root_ / "bin/qprepare.ini");
    fs::copy(kSource / "examples", root_ / "examples", fs::copy_options::recursive);
    root_.Dir("tmp");
#endif
  }

  // Runs a program with its output in the root's file `log`; returns its exit code.
  int Run(const std::vector<std::string>& args, const std::string& log = "log") {
    quorvane::platform::ChildProcess child;
    std::uint32_t error = 0;
    if (child.Start(args, root_ / log, root_.path(), {"TMPDIR=" + root_ / "tmp"}, error))
      return child.Wait();
    ADD_FAILURE() << "could not start " << args.front() << " (error " << error << ")";
    return -1;
  }
  // Converts `wildcard` into out/ (as the target, if given) and checks that
  // qprepare left nothing in the temporary folder; pandoc's own may stay.
  void Convert(const std::string& wildcard, const std::string& target = "") {
    std::vector<std::string> args = {root_ / "bin/qprepare", "-o", "out", wildcard};
    if (!target.empty()) args.insert(args.begin() + 1, {"-t", target});
    EXPECT_EQ(Run(args), 0) << Read(root_ / "log");
    for (const auto& entry : fs::directory_iterator(root_ / "tmp"))
      EXPECT_FALSE(entry.path().filename().string().starts_with("kel")) << entry.path();
  }
  // The EPUB out/<book>, validated by EPUBCheck (which also finds a link or
  // picture that leads nowhere in the book, and a "mimetype" entry that is not
  // the first or is compressed), unpacked, and checked for links out of the
  // book and machine paths.
  Epub Check(const std::string& book) {
    const std::string archive = root_ / ("out/" + book), dir = root_ / ("unpacked-" + book);
    // One compiler tier and one GC thread: a third of the processor time.
    EXPECT_EQ(Run({kJava, "-XX:TieredStopAtLevel=1", "-XX:+UseSerialGC", "-jar", kEpubCheck, archive}),
              0);
    EXPECT_TRUE(Contains(Read(root_ / "log"), "Messages: 0 fatals / 0 errors / 0 warnings"))
        << Read(root_ / "log");
    EXPECT_EQ(Run({kUnzip, "-q", archive, "-d", dir}), 0) << Read(root_ / "log");  // tests it too
    const Epub epub(dir);
    EXPECT_FALSE(Contains(epub.text, "file:")) << "a link or picture was not taken into the book";
    for (const std::string& machinePath : {root_.path(), kSource.string()})
      EXPECT_FALSE(Contains(epub.text, machinePath)) << machinePath;
    return epub;
  }
  qvtest::ScratchDir root_;
};

TEST_F(ExampleBooks, BecomeValidEpubsWithMetadataTextPicturesAndLinks) {
  Convert("examples/*.htm");
  const Epub book = Check("lighthouses.epub");
  // Only the two books: the chapters come in by include tags, not on their own.
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "out"), {}), 2);

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

  // The links between chapters: to a section, and to a chapter as a whole
  // (the anchor lands behind its heading, in the same part of the book).
  EXPECT_TRUE(book.Follow("turns the lens").starts_with(" id=\"turning\""));
  EXPECT_TRUE(Contains(book.Follow("the first chapter").substr(0, 300), "here is the rock"));
  // Every rule of the style sheet applies to something in the book, and
  // nothing comes before the first chapter.
  EXPECT_EQ(UnusedRules(Read(examples / "shared/book.css"), book.text), "");
  EXPECT_FALSE(Contains(book.text, "class=\"level1 unnumbered\"")) << "an untitled chapter";

  // The short book: its own cover and picture; its %r tag takes back the toc.
  const Epub tidepools = Check("tidepools.epub");
  EXPECT_EQ(Element(tidepools.opf, "dc:title"), "A Morning at the Tide Pools");
  EXPECT_TRUE(tidepools.Holds(examples / "images/tidepools-cover.png"));
  EXPECT_TRUE(tidepools.Holds(examples / "images/anemone.png"));
  EXPECT_FALSE(Contains(tidepools.opf, "<itemref idref=\"nav\""));
}

// The README's three-file book, which the README shows whole: each file it
// shows under a line "`examples/readme/<name>`:" is that file, byte for byte,
// and the book converts into a valid EPUB whose chapters link to each other.
TEST_F(ExampleBooks, TheReadmeBookIsTheOneShownAndWorks) {
  const std::string readme = Read(kSource / "README.md");
  const std::regex shown("`(examples/readme/[^`]+)`:\n\n```html\n([\\s\\S]*?)```\n");
  std::set<std::string> files;
  for (std::sregex_iterator it(readme.begin(), readme.end(), shown), end; it != end; ++it) {
    files.insert((*it)[1].str());
    EXPECT_EQ((*it)[2].str(), Read(kSource / (*it)[1].str())) << (*it)[1];
  }
  for (const auto& entry : fs::recursive_directory_iterator(root_ / "examples/readme"))
    EXPECT_TRUE(!entry.is_regular_file() ||
                files.contains(fs::relative(entry.path(), root_.path()).generic_string()))
        << entry.path() << " is not shown in the README";

  Convert("examples/readme/*.htm");
  const Epub book = Check("my-garden.epub");
  EXPECT_EQ(Element(book.opf, "dc:title"), "My Garden: A Year in Beds & Borders");
  EXPECT_EQ(Element(book.opf, "dc:creator"), "A. Smith");
  EXPECT_TRUE(book.Follow("the rows").starts_with(" id=\"seeds\""));
  EXPECT_TRUE(Contains(book.Follow("the first chapter").substr(0, 200), "Sow thinly"));
}

// Where Calibre is installed: the books as azw3, read back by ebook-meta.
TEST_F(ExampleBooks, BecomeAzw3WhereCalibreIsInstalled) {
  if (!fs::exists(kEbookConvert) || !fs::exists(kEbookMeta))
    GTEST_SKIP() << "Calibre (ebook-convert, ebook-meta) is not installed";
  Convert("examples/*.htm", "azw3");
  for (const auto& [book, title] : {std::pair{"lighthouses", "Lighthouses & Their Keepers"},
                                    std::pair{"tidepools", "A Morning at the Tide Pools"}}) {
    ASSERT_EQ(Run({kEbookMeta, root_ / ("out/" + std::string(book) + ".azw3")}), 0)
        << Read(root_ / "log");
    EXPECT_TRUE(std::regex_search(Read(root_ / "log"), std::regex(std::string("Title\\s*: ") + title + "\n")))
        << Read(root_ / "log");
  }
}

// The shipped configuration files, read the way qprepare reads them: every
// target complete, its template's quotes intact, both files alike but for the
// converter names; and each INI sample of the README is one of them, key for key.
TEST(ShippedIni, BothFilesDescribeTheSameCompleteTargetsAndTheReadmeShowsThem) {
  const fs::path dir = kSource / "config/shipped";
  const quorvane::TIniFile posix((dir / "qprepare-posix.ini").string()),
      win((dir / "qprepare-win.ini").string());
  const struct { const quorvane::TIniFile& ini; std::string pandoc, calibre; } files[] = {
      {posix, "pandoc", "ebook-convert"}, {win, "pandoc.exe", "ebook-convert.exe"}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.pandoc);
    const auto read = [&](const std::string& section, const char* key) {
      return file.ini.ReadString(section, key, "");
    };
    EXPECT_EQ(read("Config", "DefaultTarget") + " " + read("Config", "AbsoluteLocalUrlPrefix"),
              "epub file:///");
    for (const std::string name : {"epub", "docx", "odt", "lrf", "mobi", "azw3"}) {
      SCOPED_TRACE(name);
      const bool pandoc = name == "epub" || name == "docx" || name == "odt";
      EXPECT_EQ(read(name, "Converter"), pandoc ? file.pandoc : file.calibre);
      EXPECT_EQ(read(name, "Prefix") + " " + read(name, "Extension"), name + ": ." + name);
      // pandoc takes its options first, ebook-convert its input and output.
      const std::string tmpl = read(name, "CommandLine");
      EXPECT_TRUE(tmpl.starts_with(pandoc ? "-f html -t " + name + " " : R"("%INPUT%" "%OUTPUT%" )"))
          << tmpl;
      for (const char* part : {R"("%INPUT%")", "%PARAMS%",
                               pandoc ? R"(-o "%OUTPUT%")" : "--allow-local-files-outside-root"})
        EXPECT_TRUE(Contains(tmpl, part)) << tmpl;
      EXPECT_EQ(tmpl, posix.ReadString(name, "CommandLine", ""));
    }
  }
  const std::string readme = Read(kSource / "README.md");
  const std::regex block("```ini\n([\\s\\S]*?)```"), line(R"(\[(.*)\]|([^=;]+)=(.*))");
  int samples = 0;
  for (std::sregex_iterator it(readme.begin(), readme.end(), block), end; it != end; ++it, ++samples) {
    std::string section, differences[2];
    std::istringstream lines((*it)[1].str());
    for (std::string text; std::getline(lines, text);) {
      std::smatch m;
      if (!std::regex_match(text, m, line)) continue;
      if (m[1].matched) section = m[1].str();
      for (int i = 0; i < 2 && !m[1].matched; ++i)
        if ((i ? win : posix).ReadString(section, m[2].str(), "<missing>") != m[3].str())
          differences[i] += "[" + section + "] " + text + "\n";
    }
    EXPECT_TRUE(differences[0].empty() || differences[1].empty())
        << "differs from the POSIX file in\n" << differences[0] << "and from the Windows file in\n"
        << differences[1];
  }
  EXPECT_GT(samples, 0) << "no INI sample found";
}

}  // namespace
