#include "meta/Expansion.h"

#include "util/Text.h"

namespace quorvane {

std::string DecodeEntities(const std::string& text) {
  std::string result = ReplaceAll(text, "&lt;", "<", true);
  result = ReplaceAll(result, "&gt;", ">", true);
  result = ReplaceAll(result, "&quot;", "\"", true);
  return ReplaceAll(result, "&amp;", "&", true);
}

std::string ExpandPlaceholders(const std::string& value, const std::string& mainFile,
                               PathStyle style) {
  std::string result;
  result.reserve(value.size());
  std::size_t i = 0;
  while (i < value.size()) {
    const char c = value[i];
    if (c != '%' || i + 1 == value.size()) {
      result += c;
      ++i;
      continue;
    }
    switch (value[i + 1]) {
      case '%': result += '%'; break;
      case 'f': result += mainFile; break;
      case 'd': result += PathDrive(mainFile, style); break;
      case 'p': result += PathDirectory(mainFile, style); break;
      case 'n': result += ReplaceExtension(PathFileName(mainFile, style), "", style); break;
      case 'x': result += PathExtension(mainFile, style); break;
      case 'e':
      case 'r': break;
      default:
        // Not a placeholder: keep the percent sign and look at the next
        // character on its own.
        result += '%';
        ++i;
        continue;
    }
    i += 2;
  }
  return result;
}

}  // namespace quorvane
