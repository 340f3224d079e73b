#include "meta/CommandLine.h"

#include "meta/MetaScan.h"
#include "meta/TempCopy.h"
#include "util/Errors.h"
#include "util/Path.h"
#include "util/StringList.h"
#include "util/Text.h"

namespace quorvane {

namespace {

// A value with a blank goes into double quotes (inner ones doubled). Trailing
// backslashes would escape the closing quote when the converter splits its
// command line, so they are doubled there.
std::string QuoteParameterValue(const std::string& value) {
  std::size_t trailing = 0;
  while (trailing < value.size()) {
    const std::size_t i = value.size() - 1 - trailing;
    if (value[i] != '\\' || !IsPathDelimiterAt(value, i, PathStyle::Windows)) break;
    ++trailing;
  }
  return QuoteText(value + std::string(trailing, '\\'), '"');
}

}  // namespace

std::string JoinParameters(const TStringList& names, const TStringList& values) {
  std::string params;
  for (int i = 0; i < names.Count(); ++i) {
    const std::string& name = names.Get(i);
    if (name.empty()) continue;
    const std::string& value = values.Get(i);
    params += name;
    if (value.find(' ') != std::string::npos) {
      params += '=' + QuoteParameterValue(value);
    } else if (!value.empty()) {
      params += '=' + value;
    }
    params += ' ';
  }
  return params;
}

std::string FillTemplate(const std::string& pattern, const std::string& params,
                         const std::string& input, const std::string& output) {
  std::string result;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = pattern.find('%', pos);
    if (open == std::string::npos) {
      result.append(pattern, pos, std::string::npos);
      return result;
    }
    result.append(pattern, pos, open - pos);
    pos = open + 1;
    const std::size_t close = pattern.find('%', pos);
    if (close == std::string::npos) {
      result += '%';  // a lone percent sign stays
      continue;
    }
    if (close == pos) {
      result += '%';  // %% stands for one percent sign
      pos = close + 1;
      continue;
    }
    const std::string name = UpperAscii(pattern.substr(pos, close - pos));
    if (name == "PARAMS") {
      result += params;
    } else if (name == "INPUT") {
      result += input;
    } else if (name == "OUTPUT") {
      result += output;
    } else {
      // Not a placeholder: keep the text as written and look at the closing
      // percent sign again as a possible opening one.
      result += '%';
      result.append(pattern, pos, close - pos);
      pos = close;
      continue;
    }
    pos = close + 1;
  }
}

namespace {

// Full path of a name, or the name itself when the system cannot give one
// (a name too long for it).
std::string FullOrAsWritten(const std::string& name) {
  std::string full = FullPath(name);
  return full.empty() ? name : full;
}

bool SameFile(const std::string& a, const std::string& b) {
  // An existing file is known by its identity: a link or another spelling of
  // the page's name is the page too.
  if (const auto same = SameExistingEntry(a, b)) return *same;
  const std::string fullA = FullOrAsWritten(a);
  const std::string fullB = FullOrAsWritten(b);
  if (kHostPathStyle == PathStyle::Windows) return SameTextNoCase(fullA, fullB);
  return fullA == fullB;
}

}  // namespace

std::string BuildCommandLine(const std::string& sourceDir, const std::string& relFile,
                             const std::string& extension, const std::string& outputDir,
                             const std::string& commandLine, bool keepDirStructure) {
  const std::string mainFile = sourceDir + relFile;
  const std::string document = LoadDocument(mainFile);

  TStringList parameterNames;
  TStringList parameterValues;
  CollectParameters(document, mainFile, parameterNames, parameterValues);

  const std::string output =
      WithTrailingBackslash(outputDir) +
      (keepDirStructure ? ReplaceExtension(relFile, extension)
                        : ReplaceExtension(PathFileName(relFile), extension));
  if (SameFile(output, mainFile)) {
    // The converter would overwrite the page it reads.
    throw EkelvoError("Output file " + output + " is the input file itself; not converted");
  }

  const std::string input = WriteTempCopy(relFile, document);
  const std::string outputDirectory = PathDirectoryNoSlash(output);
  // The root always exists; an empty name here means the root.
  if (!outputDirectory.empty()) MakeDirectories(outputDirectory);

  return FillTemplate(commandLine, JoinParameters(parameterNames, parameterValues), input,
                      output);
}

}  // namespace quorvane
