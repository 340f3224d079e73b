// The converter's argument text for one input file.
#pragma once

#include <string>

#include "util/Path.h"

namespace quorvane {

// The converter's argument text for one input file, in these steps:
//  1. load the page with its includes inlined (LoadDocument);
//  2. collect the target's parameters from its meta tags, entities decoded
//     and placeholders expanded (CollectParameters);
//  3. name the output file (OutputFileName) and refuse one that is the page
//     itself (SameFile);
//  4. write the temporary copy with its links made absolute (WriteTempCopy);
//  5. create the output directory unless makeOutputDirectory is false (a dry
//     run: everything else happens);
//  6. fill the target's template with the parameters, the copy and the output
//     (FillTemplate).
// Any failure raises the page's error; a copy already written stays listed in
// TempCopyList for the caller's clean-up.
std::string BuildCommandLine(const std::string& sourceDir, const std::string& relFile,
                             const std::string& extension, const std::string& outputDir,
                             const std::string& commandLine, bool keepDirStructure,
                             bool makeOutputDirectory = true);
// The output file of an input file: outputDir, then the input's name (with
// keepDirStructure its path below the source directory) with extension.
std::string OutputFileName(const std::string& outputDir, const std::string& relFile,
                           const std::string& extension, bool keepDirStructure);
// Whether two names lead to one file: an existing file by its identity,
// else by the full names (letters without regard to case on Windows).
bool SameFile(const std::string& a, const std::string& b);

class TStringList;

// The pieces of the argument text, for BuildCommandLine and its tests.
// PARAMS: one item per entry with a non-empty name, each followed by a blank.
std::string JoinParameters(const TStringList& parameterNames,
                           const TStringList& parameterValues);
// Fills %PARAMS%, %INPUT% and %OUTPUT% (any letter case); %% gives one
// percent sign; every other percent sign stays as written. PARAMS is
// inserted as it is. On Windows so are INPUT and OUTPUT; in POSIX style they
// are written so that the command line reads them back byte for byte
// wherever the template puts them (see CommandLineSplit.h for the rules).
std::string FillTemplate(const std::string& commandLine, const std::string& params,
                         const std::string& input, const std::string& output,
                         PathStyle style = kHostPathStyle);

}  // namespace quorvane
