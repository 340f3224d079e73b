// Text comparisons and replacements shared by the subsystems.
#pragma once

#include <string>

namespace quorvane {

bool SameTextNoCase(const std::string& a, const std::string& b);
std::string UpperAscii(const std::string& text);
std::string ReplaceAll(const std::string& text, const std::string& oldText,
                       const std::string& newText, bool ignoreCase);
std::string QuoteText(const std::string& text, char quote);

}  // namespace quorvane
