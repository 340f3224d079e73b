#include "base/Ascii.h"
#include "platform/ProfileText.h"

namespace quorvane::platform {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}


std::string Cut(std::string_view s) {
  return std::string(s.substr(0, kProfileValueLimit));
}

// The raw (trimmed) value of the key, or nothing.
std::optional<std::string_view> FindRawValue(std::string_view text, std::string_view section,
                                             std::string_view key) {
  // A UTF-8 byte order mark is not part of the first line.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  section = Trim(section);
  key = Trim(key);

  enum class State { BeforeSection, OtherSection, InSection, Done } state = State::BeforeSection;
  std::size_t pos = 0;
  while (pos < text.size() && state != State::Done) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.find('\r', pos);
    std::size_t next = (end == std::string_view::npos) ? text.size() : end + 1;
    std::string_view line = Trim(text.substr(pos, next - pos));
    pos = next;
    if (line.empty()) continue;

    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        if (state == State::InSection)
          state = State::Done;  // only the first matching section counts
        else if (SameAsciiNoCase(line.substr(1, close - 1), section))
          state = State::InSection;
        else
          state = State::OtherSection;
        continue;
      }
      // Without a closing bracket the line is an ordinary entry.
    }
    if (state != State::InSection) continue;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      if (SameAsciiNoCase(line, key)) return std::nullopt;  // key without a value
      continue;
    }
    if (SameAsciiNoCase(Trim(line.substr(0, eq)), key)) return Trim(line.substr(eq + 1));
  }
  return std::nullopt;
}

}  // namespace

std::string LookupProfileText(std::optional<std::string_view> fileText, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
  std::optional<std::string_view> value;
  if (fileText) value = FindRawValue(*fileText, section, key);
  if (!value) {
    while (!defaultValue.empty() && defaultValue.back() == ' ') defaultValue.remove_suffix(1);
    return Cut(defaultValue);
  }
  std::string_view v = *value;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return Cut(v);
}

}  // namespace quorvane::platform
