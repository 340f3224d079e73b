// Finding a converter the way the console finds it: %NAME% expanded, a bare
// name looked up in the current directory and on PATH, with PATHEXT.
#include <windows.h>

#include <vector>

#include "base/Ascii.h"
#include "platform/Platform.h"

namespace quorvane::platform {

namespace {

// A variable's value; nothing when it is not set.
std::optional<std::string> Variable(const std::string& name) {
  DWORD n = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (n == 0) return std::nullopt;
  std::string value(n, '\0');
  n = ::GetEnvironmentVariableA(name.c_str(), value.data(), n);
  value.resize(n);
  return value;
}

// The first %NAME% of text that ExpandEnvironmentStringsA leaves as written.
std::string FirstUndefined(const std::string& text) {
  for (std::size_t open = text.find('%'); open != std::string::npos;) {
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 1, close - open - 1);
    if (name.empty() || Variable(name)) {
      open = text.find('%', close + 1);
    } else {
      if (name.find('\\') == std::string::npos) return name;
      open = close;  // not a name: the second sign may open one
    }
  }
  return {};
}

std::string Expand(const std::string& text) {
  DWORD n = ::ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (n == 0) return text;
  std::vector<char> buffer(n + 1);
  n = ::ExpandEnvironmentStringsA(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n > buffer.size()) return text;
  return std::string(buffer.data());
}

// Indexes of the bytes that start a character (a trail byte of a double-byte
// character is never a delimiter).
std::vector<std::size_t> CharStarts(const std::string& s) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < s.size(); ++i) {
    starts.push_back(i);
    if (::IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) ++i;
  }
  return starts;
}

bool HasDirectory(const std::string& name) {
  for (std::size_t i : CharStarts(name)) {
    if (name[i] == '\\' || name[i] == '/' || name[i] == ':') return true;
  }
  return false;
}

// The extension of the name's last part, with its dot; empty when none.
std::string Extension(const std::string& name) {
  std::size_t dot = std::string::npos;
  for (std::size_t i : CharStarts(name)) {
    if (name[i] == '.') dot = i;
    if (name[i] == '\\' || name[i] == '/' || name[i] == ':') dot = std::string::npos;
  }
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> parts;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t end = list.find(';', begin);
    std::string part = list.substr(begin, end == std::string::npos ? end : end - begin);
    if (part.size() >= 2 && part.front() == '"' && part.back() == '"')
      part = part.substr(1, part.size() - 2);
    if (!part.empty()) parts.push_back(part);
    if (end == std::string::npos) return parts;
    begin = end + 1;
  }
}

// The names the console tries for name in one directory, in its order.
std::vector<std::string> Candidates(const std::string& name) {
  const std::string ext = Extension(name);
  std::vector<std::string> names;
  if (!ext.empty()) names.push_back(name);
  const std::vector<std::string> exts = Split(Variable("PATHEXT").value_or(""));
  bool known = false;
  for (const std::string& e : exts) known = known || SameAsciiNoCase(e, ext);
  if (!known) {
    for (const std::string& e : exts.empty() ? Split(".COM;.EXE;.BAT;.CMD") : exts)
      names.push_back(name + e);
  }
  return names;
}

bool IsFile(const std::string& name) {
  const DWORD attributes = ::GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The first candidate that is a file, with dir in front; empty when none.
std::string FirstIn(const std::string& dir, const std::vector<std::string>& names) {
  std::string prefix = dir;
  if (!prefix.empty() && prefix.back() != '\\' && prefix.back() != '/') prefix += '\\';
  for (const std::string& name : names) {
    if (IsFile(prefix + name)) return prefix + name;
  }
  return {};
}

}  // namespace

ProgramLookup FindProgram(const std::string& name) {
  ProgramLookup lookup;
  lookup.expanded = Expand(name);
  lookup.undefinedVariable = FirstUndefined(name);
  if (lookup.expanded.empty()) {
    lookup.errorCode = ERROR_FILE_NOT_FOUND;
    return lookup;
  }
  const std::vector<std::string> names = Candidates(lookup.expanded);
  if (HasDirectory(lookup.expanded)) {
    lookup.file = FirstIn("", names);
    if (lookup.file.empty()) {
      // The system's reason for the name as written: file or path not found,
      // or a directory.
      const DWORD attributes = ::GetFileAttributesA(lookup.expanded.c_str());
      lookup.errorCode = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError()
                         : (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ACCESS_DENIED
                                                                   : ERROR_FILE_NOT_FOUND;
    }
    return lookup;
  }
  // A bare name: the current directory first, then every folder on PATH.
  lookup.searched = true;
  lookup.file = FirstIn(".", names);
  for (const std::string& dir : Split(Variable("PATH").value_or(""))) {
    if (!lookup.file.empty()) break;
    lookup.file = FirstIn(dir, names);
  }
  if (lookup.file.empty()) lookup.errorCode = ERROR_FILE_NOT_FOUND;
  return lookup;
}

bool IsBatchFile(const std::string& file) {
  const std::string ext = Extension(file);
  return SameAsciiNoCase(ext, ".bat") || SameAsciiNoCase(ext, ".cmd");
}

}  // namespace quorvane::platform
