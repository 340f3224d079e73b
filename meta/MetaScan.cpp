#include "meta/MetaScan.h"

#include <vector>

#include "meta/Expansion.h"
#include "meta/ModuleState.h"
#include "meta/TagMatcher.h"
#include "meta/TempCopy.h"
#include "platform/Platform.h"
#include "util/Errors.h"
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

bool SamePath(const std::string& a, const std::string& b) {
  if (kHostPathStyle == PathStyle::Windows) return SameTextNoCase(a, b);
  return a == b;
}

std::string ChainText(const std::vector<std::string>& paths, std::size_t from,
                      const std::string& last) {
  std::string text;
  for (std::size_t i = from; i < paths.size(); ++i) text += paths[i] + " -> ";
  return text + last;
}

std::string LoadWithIncludes(const std::string& path, TIncludeChain& chain) {
  // A name too long for the system's full-path call comes back empty; then
  // the name as written is compared.
  std::string fullPath = FullPath(path);
  if (fullPath.empty()) fullPath = path;
  for (std::size_t i = 0; i < chain.fullPaths.size(); ++i) {
    if (SamePath(chain.fullPaths[i], fullPath)) {
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

  const std::string bytes = platform::ReadWholeFile(path);
  if (chain.onRead) chain.onRead(path, bytes);
  const std::string text = RewriteLinks(bytes, path);

  chain.paths.push_back(path);
  chain.fullPaths.push_back(fullPath);
  std::string document =
      RewriteTags(MetaTagPattern, text, [&](TPattern& match) -> std::optional<TTagReplacement> {
        if (!IsIncludeName(DecodeEntities(match.GroupText(2)))) return std::nullopt;
        const std::string reference = DecodeEntities(match.GroupText(4));
        return TTagReplacement{0, LoadWithIncludes(ResolveReference(path, reference), chain)};
      });
  chain.paths.pop_back();
  chain.fullPaths.pop_back();
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
  return LoadWithIncludes(path, chain);
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
