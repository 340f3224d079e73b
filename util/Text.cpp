// Text comparisons and replacements.
#include "util/Text.h"

#include <charconv>

#include "base/Ascii.h"
#include "platform/Platform.h"

namespace quorvane {

namespace {

LeadByteTest g_leadByteTest = nullptr;

// The upper-case form used to compare while ignoring case. The system's
// upper-casing keeps every byte in place; should it ever change the length,
// ASCII upper-casing is used so positions still map one to one.
std::string UpperForSearch(const std::string& text) {
  std::string upper = platform::UpperCaseText(text);
  if (upper.size() != text.size()) upper = UpperAscii(text);
  return upper;
}

}  // namespace

bool IsLeadByteChar(unsigned char c) {
  return g_leadByteTest ? g_leadByteTest(c) : platform::IsLeadByte(c);
}

LeadByteTest SetLeadByteTest(LeadByteTest test) {
  LeadByteTest previous = g_leadByteTest;
  g_leadByteTest = test;
  return previous;
}

bool SameTextNoCase(const std::string& a, const std::string& b) {
  return platform::CompareTextNoCase(a, b);
}

std::string UpperAscii(const std::string& text) { return AsciiUpperText(text); }

std::string ReplaceAll(const std::string& text, const std::string& oldText,
                       const std::string& newText, bool ignoreCase) {
  if (oldText.empty()) return text;
  // Search in the compared forms, copy from the original so unreplaced parts
  // keep their case.
  const std::string haystack = ignoreCase ? UpperForSearch(text) : std::string();
  const std::string needle = ignoreCase ? UpperForSearch(oldText) : std::string();
  const std::string& searchIn = ignoreCase ? haystack : text;
  const std::string& searchFor = ignoreCase ? needle : oldText;

  std::string result;
  result.reserve(text.size());
  std::size_t from = 0;
  for (;;) {
    const std::size_t hit = searchIn.find(searchFor, from);
    if (hit == std::string::npos) break;
    result.append(text, from, hit - from);
    result += newText;
    from = hit + searchFor.size();  // never rescan what was replaced
  }
  result.append(text, from, std::string::npos);
  return result;
}

std::string QuoteText(const std::string& text, char quote) {
  std::string result;
  result.reserve(text.size() + 2);
  result += quote;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsLeadByteChar(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
      result += c;
      result += text[++i];  // a trail byte is never the quote
      continue;
    }
    result += c;
    if (c == quote) result += quote;
  }
  result += quote;
  return result;
}

std::optional<std::uint32_t> DecimalNumber(const std::string& text) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace quorvane
