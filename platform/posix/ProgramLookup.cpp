// Finding a program the way the shell finds it: ~/, $NAME and ${NAME}
// expanded, a bare name looked up in the current directory, then on PATH;
// and this program's own file from its argument 0.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/Spawn.h"

namespace quorvane::platform {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

bool IsNameChar(char c, bool first) {
  return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (!first && c >= '0' && c <= '9');
}

// A leading ~/ becomes the home directory; $NAME and ${NAME} become the
// variable's value. What is not set stays as written.
std::string ExpandVariables(const std::string& text, std::string& undefined) {
  std::string out;
  std::size_t i = 0;
  auto unset = [&](const std::string& name) {
    if (undefined.empty()) undefined = name;
  };
  if (text.starts_with("~/")) {
    if (const char* home = std::getenv("HOME")) {
      out = home;
      i = 1;
    } else {
      unset("HOME");
    }
  }
  while (i < text.size()) {
    if (text[i] != '$') {
      out += text[i++];
      continue;
    }
    const bool braced = i + 1 < text.size() && text[i + 1] == '{';
    const std::size_t nameStart = i + (braced ? 2 : 1);
    std::size_t nameEnd = nameStart;
    while (nameEnd < text.size() && IsNameChar(text[nameEnd], nameEnd == nameStart)) ++nameEnd;
    const bool closed = !braced || (nameEnd < text.size() && text[nameEnd] == '}');
    if (nameEnd == nameStart || !closed) {
      out += text[i++];  // a dollar sign without a variable name
      continue;
    }
    const std::size_t end = nameEnd + (braced ? 1 : 0);
    const std::string name = text.substr(nameStart, nameEnd - nameStart);
    if (const char* value = std::getenv(name.c_str())) {
      out += value;
    } else {
      out.append(text, i, end - i);
      unset(name);
    }
    i = end;
  }
  return out;
}

// The files a bare name stands for on PATH, in PATH's order; an empty entry
// is the current directory, and without PATH the usual folders are searched.
std::vector<std::string> PathCandidates(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::vector<std::string> candidates;
  for (std::size_t begin = 0; begin <= dirs.size();) {
    std::size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(begin, end - begin);
    candidates.push_back((dir.empty() ? "." : dir) + "/" + name);
    begin = end + 1;
  }
  return candidates;
}

// A path with its links resolved, or empty.
std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string result = real;
  std::free(real);
  return result;
}

}  // namespace

std::string SearchProgram(const std::string& program) {
  if (program.empty()) {
    errno = ENOENT;
    return {};
  }
  struct stat st;
  if (program.find('/') != std::string::npos) {
    if (::stat(program.c_str(), &st) != 0) return {};
    if (S_ISDIR(st.st_mode)) {
      errno = EACCES;
      return {};
    }
    return program;
  }
  if (::stat(program.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return "./" + program;

  bool sawNonExecutable = false;
  for (const std::string& candidate : PathCandidates(program)) {
    if (IsExecutableFile(candidate)) return candidate;
    if (::stat(candidate.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) sawNonExecutable = true;
  }
  errno = sawNonExecutable ? EACCES : ENOENT;
  return {};
}

std::string ProgramFromArgument(const std::string& argument0) {
  if (argument0.empty()) return {};
  if (argument0.find('/') != std::string::npos)
    return IsExecutableFile(argument0) ? RealPath(argument0) : std::string();
  // A bare name: the shell found the program on PATH (an empty entry is the
  // current directory), never in the current directory as such.
  for (const std::string& candidate : PathCandidates(argument0))
    if (IsExecutableFile(candidate)) return RealPath(candidate);
  return {};
}

ProgramLookup FindProgram(const std::string& name) {
  ProgramLookup lookup;
  lookup.expanded = ExpandVariables(name, lookup.undefinedVariable);
  lookup.searched = lookup.expanded.find('/') == std::string::npos;
  lookup.file = SearchProgram(lookup.expanded);
  if (lookup.file.empty()) lookup.errorCode = static_cast<std::uint32_t>(errno);
  return lookup;
}

bool IsBatchFile(const std::string&) { return false; }

}  // namespace quorvane::platform
