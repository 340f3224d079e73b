#include "meta/CommandLine.h"

#include <algorithm>
#include <vector>

#include "base/Errors.h"
#include "meta/MetaScan.h"
#include "meta/TempCopy.h"
#include "platform/CommandLineSplit.h"
#include "util/Files.h"
#include "util/StringList.h"
#include "util/Text.h"

namespace quorvane {

namespace {

// The converter (on POSIX our own splitter) reads its command line by the
// Windows rules: blanks and tabs separate arguments, double quotes group
// them, backslashes escape a double quote that follows them.

// True when a value must be enclosed in double quotes to arrive as it is:
// it holds a blank or a tab, or double quotes that do not pair up (an odd
// number of them, or escaped ones that leave a quoted run open, which would
// swallow the rest of the line). A value whose quotes pair up stays as
// written: --x="y" reads as --x=y.
bool NeedsEnclosing(const std::string& value) {
  if (value.find_first_of(" \t") != std::string::npos) return true;
  const auto quotes = std::count(value.begin(), value.end(), '"');
  if (quotes == 0) return false;
  return quotes % 2 == 1 || platform::SplitCommandLine("p " + value + " end").size() != 3;
}

// The value in double quotes, inner ones doubled. A run of backslashes
// before a double quote (the closing one included) is doubled, so that the
// backslashes arrive as written and the quote keeps its meaning.
std::string EncloseValue(const std::string& value) {
  std::string text;
  std::size_t slashes = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (IsLeadByteChar(static_cast<unsigned char>(c)) && i + 1 < value.size()) {
      text += c;
      text += value[++i];  // a trail byte is never a backslash
      slashes = 0;
      continue;
    }
    if (c == '"') text.append(slashes, '\\');
    slashes = c == '\\' ? slashes + 1 : 0;
    text += c;
  }
  text.append(slashes, '\\');
  return QuoteText(text, '"');
}

}  // namespace

std::string JoinParameters(const TStringList& names, const TStringList& values) {
  std::string params;
  for (int i = 0; i < names.Count(); ++i) {
    const std::string& name = names.Get(i);
    if (name.empty()) continue;
    const std::string& value = values.Get(i);
    params += name;
    if (NeedsEnclosing(value)) {
      params += '=' + EncloseValue(value);
    } else if (!value.empty()) {
      params += '=' + value;
    }
    params += ' ';
  }
  return params;
}

namespace {

// The filled template, with a mark on every byte that came from INPUT or
// OUTPUT.
struct TFilledTemplate {
  std::string text;
  std::vector<bool> exact;
  void Add(const std::string& part, bool fromName) {
    text += part;
    exact.resize(text.size(), fromName);
  }
};

// Writes the filled template so that the splitter reads every marked byte
// back as it is and every other byte as the template means it (a marked
// byte counts as a plain character there). A marked double quote becomes \"
// with the backslashes before it doubled; backslashes before a quote that
// the template or this writer puts behind them are doubled; a marked run
// with a blank or tab outside the template's quotes is put into quotes of
// its own. Where such a quote would meet a template quote the two cancel
// out, since a quote beside a quote inside a quoted run reads as a
// character.
class TExactWriter {
 public:
  explicit TExactWriter(const TFilledTemplate& filled)
      : text_(filled.text), exact_(filled.exact) {}

  std::string Write() {
    const std::size_t n = text_.size();
    for (std::size_t i = 0; i < n; ++i) {
      const char c = text_[i];
      if (exact_[i] && (i == 0 || !exact_[i - 1]) && !quoted_ && RunHasBlank(i)) {
        Backslashes(Before::OwnQuote);
        out_ += '"';
        quoted_ = owed_ = true;
      }
      if (c == '\\') {
        if (exact_[i]) {
          literal_ += raw_ + 1;
          raw_ = 0;
        } else {
          ++raw_;
        }
      } else if (exact_[i]) {
        Backslashes(c == '"' ? Before::OwnQuote : Before::Other);
        out_ += c == '"' ? "\\\"" : std::string(1, c);
      } else if (c == '"') {
        TemplateQuote(i);
      } else {
        Backslashes(Before::Other);
        out_ += c;
      }
      if (exact_[i] && owed_ && (i + 1 == n || !exact_[i + 1])) {
        if (i + 1 < n && text_[i + 1] == '"') {
          ++i;  // the template opens a quoted run here: ours goes on as that one
        } else {
          Backslashes(Before::OwnQuote);
          out_ += '"';
          quoted_ = false;
        }
        owed_ = false;
      }
    }
    Backslashes(Before::Other);
    return out_;
  }

 private:
  enum class Before { Other, OwnQuote, TemplateQuote };

  bool RunHasBlank(std::size_t i) const {
    for (; i < text_.size() && exact_[i]; ++i)
      if (text_[i] == ' ' || text_[i] == '\t') return true;
    return false;
  }

  // The pending backslashes, for what follows them.
  void Backslashes(Before next) {
    std::size_t count = literal_ + raw_;
    if (next == Before::OwnQuote) count = 2 * (literal_ + raw_);
    if (next == Before::TemplateQuote) count = 2 * literal_ + raw_;
    out_.append(count, '\\');
    literal_ = raw_ = 0;
  }

  // A quote of the template. Inside a quoted run, "" reads as one plain
  // quote and the run goes on; counting each quote as a toggle ends in the
  // same state, and the bytes are written unchanged either way.
  void TemplateQuote(std::size_t i) {
    const std::size_t n = text_.size();
    if (raw_ % 2 == 1) {  // escaped by the template: a plain quote
      Backslashes(Before::TemplateQuote);
      out_ += '"';
    } else if (quoted_ && i + 1 < n && exact_[i + 1] && RunHasBlank(i + 1)) {
      // The template ends its quoted run where a name with a blank follows:
      // the run goes on as the name's own, closed behind it.
      literal_ += raw_ / 2;
      raw_ = 0;
      owed_ = true;
    } else {
      Backslashes(Before::TemplateQuote);
      out_ += '"';
      quoted_ = !quoted_;
    }
  }

  const std::string& text_;
  const std::vector<bool>& exact_;
  std::string out_;
  bool quoted_ = false;      // the splitter is inside a quoted run
  bool owed_ = false;        // a quoted run of ours waits for its closing quote
  std::size_t literal_ = 0;  // pending backslashes that stand for themselves
  std::size_t raw_ = 0;      // pending backslashes of the template, read as it wrote them
};

}  // namespace

std::string FillTemplate(const std::string& pattern, const std::string& params,
                         const std::string& input, const std::string& output, PathStyle style) {
  TFilledTemplate result;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = pattern.find('%', pos);
    if (open == std::string::npos) {
      result.Add(pattern.substr(pos), false);
      break;
    }
    result.Add(pattern.substr(pos, open - pos), false);
    pos = open + 1;
    const std::size_t close = pattern.find('%', pos);
    if (close == std::string::npos) {
      result.Add("%", false);  // a lone percent sign stays
      continue;
    }
    if (close == pos) {
      result.Add("%", false);  // %% stands for one percent sign
      pos = close + 1;
      continue;
    }
    const std::string name = UpperAscii(pattern.substr(pos, close - pos));
    if (name == "PARAMS") {
      result.Add(params, false);
    } else if (name == "INPUT") {
      result.Add(input, true);
    } else if (name == "OUTPUT") {
      result.Add(output, true);
    } else {
      // Not a placeholder: keep the text as written and look at the closing
      // percent sign again as a possible opening one.
      result.Add("%", false);
      result.Add(pattern.substr(pos, close - pos), false);
      pos = close;
      continue;
    }
    pos = close + 1;
  }
  // On Windows the template alone decides (names hold no double quote and
  // never end in a backslash); on POSIX a name may hold any byte but NUL and slash.
  if (style == PathStyle::Windows) return result.text;
  return TExactWriter(result).Write();
}

bool SameFile(const std::string& a, const std::string& b) {
  // An existing file is known by its identity: a link or another spelling of
  // the page's name is the page too.
  return SameExistingEntry(a, b).value_or(SameFileName(FullPathOrName(a), FullPathOrName(b)));
}

std::string OutputFileName(const std::string& outputDir, const std::string& relFile,
                           const std::string& extension, bool keepDirStructure) {
  return WithTrailingBackslash(outputDir) +
         (keepDirStructure ? ReplaceExtension(relFile, extension)
                           : ReplaceExtension(PathFileName(relFile), extension));
}

std::string BuildCommandLine(const std::string& sourceDir, const std::string& relFile,
                             const std::string& extension, const std::string& outputDir,
                             const std::string& commandLine, bool keepDirStructure,
                             bool makeOutputDirectory) {
  const std::string mainFile = sourceDir + relFile;
  const std::string document = LoadDocument(mainFile);

  TStringList parameterNames;
  TStringList parameterValues;
  CollectParameters(document, mainFile, parameterNames, parameterValues);

  const std::string output = OutputFileName(outputDir, relFile, extension, keepDirStructure);
  if (SameFile(output, mainFile)) {
    // The converter would overwrite the page it reads.
    throw EkelvoError("Output file " + output + " is the input file itself; not converted");
  }

  const std::string input = WriteTempCopy(relFile, document);
  const std::string outputDirectory = PathDirectoryNoSlash(output);
  // The root always exists; an empty name here means the root.
  if (makeOutputDirectory && !outputDirectory.empty()) MakeDirectories(outputDirectory);

  return FillTemplate(commandLine, JoinParameters(parameterNames, parameterValues), input,
                      output);
}

}  // namespace quorvane
