// Text comparisons and replacements shared by the subsystems.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvane {

bool SameTextNoCase(const std::string& a, const std::string& b);
std::string UpperAscii(const std::string& text);
std::string ReplaceAll(const std::string& text, const std::string& oldText,
                       const std::string& newText, bool ignoreCase);
std::string QuoteText(const std::string& text, char quote);
// The number text writes in decimal digits alone (no sign, no blank);
// nothing when text is empty, holds anything else or exceeds 32 bits.
std::optional<std::uint32_t> DecimalNumber(const std::string& text);

// True when c starts a double-byte character in the system code page
// (platform::IsLeadByte). Tests may put another test in its place, to check
// the double-byte rules on any host; SetLeadByteTest returns the test it
// replaces, and nullptr restores the system's.
using LeadByteTest = bool (*)(unsigned char c);
bool IsLeadByteChar(unsigned char c);
LeadByteTest SetLeadByteTest(LeadByteTest test);

}  // namespace quorvane
