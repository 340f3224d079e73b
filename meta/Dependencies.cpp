#include "meta/Dependencies.h"

#include "meta/MetaScan.h"
#include "meta/Links.h"
#include "util/StringList.h"

namespace quorvane {

std::vector<std::string> PageDependencies(const std::string& mainFile) {
  std::vector<std::string> files;
  auto onRead = [&files](const std::string& path, const std::string& text) {
    files.push_back(path);
    for (std::string& linked : LinkedFiles(text, path)) files.push_back(std::move(linked));
  };
  const std::string document = LoadDocument(mainFile, TIncludeLimits(), onRead);
  // A cover picture or a style sheet often reaches the converter as a
  // parameter (content="%pimages/cover.png") rather than through a link.
  TStringList names, values;
  CollectParameters(document, mainFile, names, values);
  for (int i = 0; i < values.Count(); ++i)
    if (!values.Get(i).empty()) files.push_back(values.Get(i));
  return files;
}

}  // namespace quorvane
