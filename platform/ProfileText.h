// Looking a value up in the text of an INI file, with the rules of the
// Windows private-profile reader that the program relies on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::platform {

// The longest value a lookup returns (a 2048-character buffer with its
// terminator).
inline constexpr std::size_t kProfileValueLimit = 2047;

// The value of key in section, from the text of an INI file, or the default
// when there is no text (no file), no such section or no such key:
// - a line is cut at the first LF (a file without any LF further on is cut at
//   CR); blanks around a line are ignored;
// - "[name]" opens a section; the name runs to the last "]" of the line;
// - "key=value": the key is the text before the first "=", the value the text
//   after it, both without surrounding blanks; a line without "=" has no value;
// - section and key names are compared without regard to ASCII case, after
//   dropping blanks around the names asked for; the first matching section is
//   searched and, in it, the first matching key;
// - a value enclosed in a pair of the same quotes (single or double) loses
//   that pair; a present but empty value is the empty text;
// - the result is cut to kProfileValueLimit characters; the default loses
//   trailing spaces and is cut the same way.
std::string LookupProfileText(std::optional<std::string_view> fileText, std::string_view section,
                              std::string_view key, std::string_view defaultValue);

}  // namespace quorvane::platform
