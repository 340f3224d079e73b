#include "meta/MetaScan.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Ascii.h"
#include "base/Errors.h"
#include "meta/Expansion.h"
#include "meta/Links.h"
#include "meta/ModuleState.h"
#include "meta/TagMatcher.h"
#include "platform/Platform.h"
#include "util/Files.h"
#include "util/Text.h"

namespace quorvane {

namespace {

// The files being loaded, from the input file down to the current include,
// and the number of includes expanded so far for this input file.
struct TIncludeChain {
  TIncludeLimits limits;
  TFileReadHook onRead;
  std::vector<std::string> paths;      // as read
  std::vector<std::string> fullPaths;  // for comparison
  int includes = 0;
};

std::string ChainText(const std::vector<std::string>& paths, std::size_t from,
                      const std::string& last) {
  std::string text;
  for (std::size_t i = from; i < paths.size(); ++i) text += paths[i] + " -> ";
  return text + last;
}

// "UTF-16" or "UTF-32" for a text that starts with such a byte-order mark,
// else nothing. Meta tags in such a text cannot be found.
const char* WideTextForm(std::string_view text) {
  using namespace std::string_view_literals;
  if (text.starts_with("\xFF\xFE\0\0"sv) || text.starts_with("\0\0\xFE\xFF"sv)) return "UTF-32";
  if (text.starts_with("\xFF\xFE"sv) || text.starts_with("\xFE\xFF"sv)) return "UTF-16";
  return nullptr;
}

// The file's bytes. A text in UTF-16 or UTF-32 fails; a NUL byte, behind
// which the scans see nothing, is worth a warning.
std::string ReadPage(const std::string& path) {
  std::string bytes = platform::ReadWholeFile(path);
  if (const char* form = WideTextForm(bytes))
    throw EkelvoError(path + " is " + form + " text; save it as UTF-8");
  if (const std::size_t nul = bytes.find('\0'); nul != std::string::npos) {
    platform::WriteStderr("Warning: " + path + " has a NUL byte at offset " + std::to_string(nul) +
                          "; meta tags and links after it are ignored" + platform::kLineBreak);
  }
  return bytes;
}

// Where a link to a file of the document without a fragment lands: where the
// file's text begins, behind its <body> tag when it has one, blanks and
// comments skipped. When the text begins with a heading, the place is right
// behind that heading: converters that split a book at headings give
// whatever stands before a heading to the part before it, and copy what
// stands inside one into the table of contents.
std::size_t AnchorPlace(const std::string& text) {
  const auto isBlank = [](char c) { return c != 0 && std::strchr(" \t\r\n\f", c); };
  // The offset behind the tag <name ...> at `at` (name "/h1" for an end
  // tag), or npos.
  const auto behindTag = [&](std::size_t at, const std::string& name) {
    const std::size_t after = at + 1 + name.size();
    if (after >= text.size() || text[at] != '<' ||
        !SameAsciiNoCase(std::string_view(text).substr(at + 1, name.size()), name) ||
        !(isBlank(text[after]) || text[after] == '/' || text[after] == '>')) {
      return std::string::npos;
    }
    const std::size_t close = text.find('>', at);
    return close == std::string::npos ? close : close + 1;
  };
  std::size_t at = 0;
  for (std::size_t tag = text.find('<'); tag != std::string::npos; tag = text.find('<', tag + 1)) {
    if (const std::size_t body = behindTag(tag, "body"); body != std::string::npos) {
      at = body;
      break;
    }
  }
  for (;;) {
    while (at < text.size() && isBlank(text[at])) ++at;
    if (text.compare(at, 4, "<!--") != 0) break;
    const std::size_t end = text.find("-->", at + 4);
    if (end == std::string::npos) break;
    at = end + 3;
  }
  for (const std::string level : {"1", "2", "3", "4", "5", "6"}) {
    if (behindTag(at, "h" + level) == std::string::npos) continue;
    for (std::size_t end = text.find("</", at); end != std::string::npos;
         end = text.find("</", end + 2)) {
      if (const std::size_t behind = behindTag(end, "/h" + level); behind != std::string::npos) {
        return behind;
      }
    }
    break;
  }
  return at;
}

// A loaded file with its includes, and what links within the document need
// to know of it: every link made absolute, and where each file begins.
struct TLoaded {
  struct TFileStart {
    std::string path;  // full path
    std::size_t offset = 0;
  };
  std::string text;
  std::vector<TLocalLink> links;
  std::vector<TFileStart> files;
};

TLoaded LoadWithIncludes(const std::string& path, TIncludeChain& chain) {
  const std::string fullPath = FullPathOrName(path);
  for (std::size_t i = 0; i < chain.fullPaths.size(); ++i) {
    if (SameFileName(chain.fullPaths[i], fullPath)) {
      throw EkelvoError("Include cycle: " + ChainText(chain.paths, i, path));
    }
  }
  if (!chain.paths.empty()) {
    if (static_cast<int>(chain.paths.size()) > chain.limits.depth) {
      throw EkelvoError("Includes nested more than " + std::to_string(chain.limits.depth) +
                        " levels deep: " + path + " included from " + chain.paths.back());
    }
    if (++chain.includes > chain.limits.includes) {
      throw EkelvoError("More than " + std::to_string(chain.limits.includes) + " includes in " +
                        chain.paths.front());
    }
  }

  const std::string bytes = ReadPage(path);
  if (chain.onRead) chain.onRead(path, bytes);
  std::vector<TLocalLink> ownLinks;
  const std::string text = RewriteLinks(bytes, path, kHostPathStyle, &ownLinks);

  chain.paths.push_back(path);
  chain.fullPaths.push_back(fullPath);
  std::vector<TLoaded> included;
  std::vector<TTagEdit> edits;
  TLoaded loaded;
  loaded.text =
      RewriteTags(MetaTagPattern, text, [&](TPattern& match) -> std::optional<TTagReplacement> {
        if (!IsIncludeName(DecodeEntities(match.GroupText(2)))) return std::nullopt;
        const std::string reference = DecodeEntities(match.GroupText(4));
        included.push_back(LoadWithIncludes(ResolveReference(path, reference), chain));
        return TTagReplacement{0, std::move(included.back().text)};
      }, &edits);
  chain.paths.pop_back();
  chain.fullPaths.pop_back();

  // Offsets into this file's text become offsets into the loaded text; a
  // link inside an include tag goes with the tag.
  loaded.files.push_back({fullPath, OffsetAfterEdits(edits, AnchorPlace(text)).value_or(0)});
  for (TLocalLink& link : ownLinks) {
    if (const auto at = OffsetAfterEdits(edits, link.offset, link.length)) {
      link.offset = *at;
      loaded.links.push_back(std::move(link));
    }
  }
  for (std::size_t i = 0; i < included.size(); ++i) {
    const std::size_t shift = edits[i].placedAt;
    if (shift == std::string::npos) continue;
    for (TLocalLink& link : included[i].links) {
      link.offset += shift;
      loaded.links.push_back(std::move(link));
    }
    for (TLoaded::TFileStart& file : included[i].files) {
      file.offset += shift;
      loaded.files.push_back(std::move(file));
    }
  }
  return loaded;
}

// The key under which two spellings of one full path are the same file.
std::string PathKey(const std::string& fullPath) {
  return kHostPathStyle == PathStyle::Windows ? platform::UpperCaseText(fullPath) : fullPath;
}

// An id for the anchor of a file: "qp-" and the file's name without its
// extension (letters, digits, '-' and '_'), numbered on when the document
// already holds that text or another anchor took it.
std::string NewAnchorId(const std::string& fullPath, const std::string& document,
                        const std::set<std::string>& taken) {
  std::string base = "qp-";
  for (const char c : ReplaceExtension(PathFileName(fullPath), "")) {
    base += (c > 0 && std::isalnum(static_cast<unsigned char>(c))) || c == '_' ? c : '-';
  }
  std::string id = base;
  for (int n = 2; document.find(id) != std::string::npos || taken.count(id); ++n) {
    id = base + "-" + std::to_string(n);
  }
  return id;
}

// Links to a file of the document itself become links within it: to their
// fragment when they have one, else to an anchor placed where that file
// begins (only for files that some link needs).
std::string LinkWithinDocument(TLoaded loaded) {
  struct TFile {
    std::size_t offset;
    std::string path, anchor;
  };
  std::vector<TFile> files;
  std::unordered_map<std::string, std::size_t> byKey;
  for (const TLoaded::TFileStart& start : loaded.files) {
    const auto [it, isNew] = byKey.try_emplace(PathKey(start.path), files.size());
    if (isNew) {
      files.push_back({start.offset, start.path, ""});
    } else {
      files[it->second].offset = std::min(files[it->second].offset, start.offset);
    }
  }
  struct TEdit {
    std::size_t offset, length;
    std::string text;
  };
  std::vector<TEdit> edits;
  std::set<std::string> taken;  // anchors are named in the order of the links
  std::sort(loaded.links.begin(), loaded.links.end(),
            [](const TLocalLink& a, const TLocalLink& b) { return a.offset < b.offset; });
  for (const TLocalLink& link : loaded.links) {
    const auto it = byKey.find(PathKey(link.target));
    if (it == byKey.end()) continue;
    TFile& file = files[it->second];
    if (link.fragment.size() > 1) {
      edits.push_back({link.offset, link.length, link.fragment});
      continue;
    }
    if (file.anchor.empty()) taken.insert(file.anchor = NewAnchorId(file.path, loaded.text, taken));
    edits.push_back({link.offset, link.length, "#" + file.anchor});
  }
  if (edits.empty()) return std::move(loaded.text);
  for (const TFile& file : files) {
    if (!file.anchor.empty()) edits.push_back({file.offset, 0, "<a id=\"" + file.anchor + "\"></a>"});
  }
  std::sort(edits.begin(), edits.end(), [](const TEdit& a, const TEdit& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.length < b.length;
  });
  std::string document;
  document.reserve(loaded.text.size() + 64 * edits.size());
  std::size_t cursor = 0;
  for (const TEdit& edit : edits) {
    if (edit.offset < cursor || edit.offset + edit.length > loaded.text.size()) continue;
    document.append(loaded.text, cursor, edit.offset - cursor);
    document += edit.text;
    cursor = edit.offset + edit.length;
  }
  document.append(loaded.text, cursor, std::string::npos);
  return document;
}

}  // namespace

bool StripTargetPrefix(const std::string& name, std::string& remainder) {
  const std::size_t n = CurrentPrefix.size();
  if (SameTextNoCase(name.substr(0, n), CurrentPrefix)) {
    remainder = name.size() > n ? name.substr(n) : std::string();
    return true;
  }
  if (SameTextNoCase(name.substr(0, 2), "*:")) {
    remainder = name.size() > 2 ? name.substr(2) : std::string();
    return true;
  }
  remainder = name;
  return false;
}

bool IsIncludeName(const std::string& name) {
  if (SameTextNoCase(name, "@include")) return true;
  std::string remainder;
  return StripTargetPrefix(name, remainder) && SameTextNoCase(remainder, "@include");
}

std::string LoadDocument(const std::string& path) { return LoadDocument(path, TIncludeLimits()); }

std::string LoadDocument(const std::string& path, const TIncludeLimits& limits) {
  return LoadDocument(path, limits, nullptr);
}

std::string LoadDocument(const std::string& path, const TIncludeLimits& limits,
                         const TFileReadHook& onRead) {
  TIncludeChain chain;
  chain.limits = limits;
  chain.onRead = onRead;
  return LinkWithinDocument(LoadWithIncludes(path, chain));
}

void CollectParameters(const std::string& document, const std::string& mainFile,
                       TStringList& parameterNames, TStringList& parameterValues,
                       PathStyle style) {
  const auto matcher = NewTagMatcher(MetaTagPattern);
  for (bool found = matcher->Exec(document); found; found = matcher->ExecNext()) {
    const std::string name = DecodeEntities(matcher->GroupText(2));
    const std::string value = DecodeEntities(matcher->GroupText(4));
    std::string parameter;
    if (!StripTargetPrefix(name, parameter)) continue;
    // A quote in a name means another attribute came between name= and
    // content=, and the name ran on over it.
    if (parameter.find_first_of("\"'") != std::string::npos) {
      throw EkelvoError("Malformed meta tag " + matcher->GroupText(0) + ": its parameter name " +
                        parameter + " holds a quote; write content= right after name=");
    }
    const int index = parameterNames.IndexOf(parameter);
    if (SameTextNoCase(value, "%r")) {
      if (index >= 0) {
        parameterNames.Delete(index);
        parameterValues.Delete(index);
      }
      continue;
    }
    const std::string expanded = ExpandPlaceholders(value, mainFile, style);
    if (index >= 0) {
      parameterValues.Put(index, expanded);
    } else {
      parameterNames.Add(parameter);
      parameterValues.Add(expanded);
    }
  }
}

}  // namespace quorvane
