// Files, directories and paths on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/Ascii.h"
#include "base/Errors.h"
#include "base/PathFold.h"
#include "platform/Platform.h"
#include "platform/ProfileText.h"
#include "platform/Wildcard.h"
#include "platform/posix/Descriptor.h"

namespace quorvane::platform {

namespace {

// The last component of a path, without trailing slashes.
std::string_view LastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsHiddenName(std::string_view name) {
  return !name.empty() && name.front() == '.' && name != "." && name != "..";
}

std::uint32_t AttributesOfMode(mode_t mode) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(mode))
    attributes |= kAttrDirectory;
  else if (S_ISREG(mode))
    attributes |= kAttrArchive;
  else
    attributes |= kAttrSystem;  // device, pipe, socket
  if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  return attributes;
}

// Attributes of path, whose last component is name; nothing when it is gone.
std::optional<std::uint32_t> AttributesOf(const std::string& path, std::string_view name) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  std::uint32_t attributes;
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    attributes = kAttrReparsePoint;
    if (::stat(path.c_str(), &target) == 0) attributes |= AttributesOfMode(target.st_mode);
  } else {
    attributes = AttributesOfMode(st.st_mode);
  }
  if (IsHiddenName(name)) attributes |= kAttrHidden;
  return attributes;
}

// Opens name for writing without blocking on a pipe and makes sure it is a
// regular file; -1 otherwise.
int OpenRegularForWriting(const std::string& name, int flags) {
  int fd = ::open(name.c_str(), flags | O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  int fl = ::fcntl(fd, F_GETFL);
  if (fl != -1) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

// ---- directory search ----

struct FindSearch::State {
  std::string directory;           // with a final slash, or empty for the current one
  std::vector<std::string> names;  // the matching names, in listing order
  std::size_t next = 0;
  Kind kind = Kind::Everything;
};

namespace {

// The order NTFS lists a folder in: by name, letters compared without regard
// to case; names that differ only in case (possible here) by their bytes.
bool ListsBefore(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = AsciiUpper(static_cast<unsigned char>(a[i]));
    const unsigned char y = AsciiUpper(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

// The directory is read whole and sorted, so every run over the same folder
// sees its files in the same order, whatever order the file system keeps.
FindSearch::FindSearch(const std::string& pattern, Kind kind) : state_(std::make_unique<State>()) {
  state_->kind = kind;
  std::string mask;
  std::size_t slash = pattern.rfind('/');
  if (slash == std::string::npos) {
    mask = pattern;
  } else {
    state_->directory = pattern.substr(0, slash + 1);
    mask = pattern.substr(slash + 1);
  }
  if (mask.empty()) return;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(
      ::opendir(state_->directory.empty() ? "." : state_->directory.c_str()), ::closedir);
  if (!dir) return;
  while (struct dirent* d = ::readdir(dir.get())) {
    std::string_view name = d->d_name;
    if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
    state_->names.emplace_back(name);
  }
  std::sort(state_->names.begin(), state_->names.end(), ListsBefore);
}

FindSearch::~FindSearch() = default;

bool FindSearch::Next(FindEntry& entry) {
  while (state_->next < state_->names.size()) {
    const std::string& name = state_->names[state_->next++];
    std::optional<std::uint32_t> attributes = AttributesOf(state_->directory + name, name);
    if (!attributes) continue;  // removed since it was listed
    if (state_->kind == Kind::DirectoriesOnly &&
        (*attributes & (kAttrHidden | kAttrSystem | kAttrVolumeLabel)))
      continue;
    entry.name = name;
    entry.attributes = *attributes;
    return true;
  }
  return false;
}

std::optional<std::uint32_t> FileAttributes(const std::string& name) {
  if (name.empty()) return std::nullopt;
  return AttributesOf(name, LastComponent(name));
}

bool IsExistingFile(const std::string& name) {
  const std::optional<std::uint32_t> attributes = FileAttributes(name);
  return attributes && !(*attributes & kAttrDirectory);
}

std::optional<std::int64_t> LastWriteTime(const std::string& name) {
  struct stat st;
  if (name.empty() || ::stat(name.c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// ---- whole files ----

std::string ReadWholeFile(const std::string& name) {
  // O_NONBLOCK: opening a pipe must not wait for a writer.
  Descriptor fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat st;
  if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw CannotOpenFile(name);
  int fl = ::fcntl(fd.get(), F_GETFL);
  if (fl != -1) ::fcntl(fd.get(), F_SETFL, fl & ~O_NONBLOCK);

  std::string data(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::read(fd.get(), data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw StreamReadError();
    }
    if (n == 0) throw StreamReadError();  // the file shrank
    done += static_cast<std::size_t>(n);
  }
  return data;
}

void WriteWholeFile(const std::string& name, const std::string& data) {
  Descriptor fd(OpenRegularForWriting(name, O_CREAT | O_TRUNC));
  if (!fd.ok()) throw CannotCreateFile(name, LastErrorReason());
  if (!WriteAll(fd.get(), data) || !fd.Close()) throw StreamWriteError(name, LastErrorReason());
}

void AppendToFile(const std::string& name, const std::string& data) {
  Descriptor fd(OpenRegularForWriting(name, O_APPEND));
  if (!fd.ok()) throw CannotOpenFile(name);
  if (!WriteAll(fd.get(), data) || !fd.Close()) throw StreamWriteError(name, LastErrorReason());
}

bool AppendToFileCreating(const std::string& name, const std::string& data,
                          std::string& reason) {
  Descriptor fd(OpenRegularForWriting(name, O_APPEND | O_CREAT));
  if (fd.ok() && WriteAll(fd.get(), data) && fd.Close()) return true;
  reason = errno == EINVAL ? "not a regular file" : std::strerror(errno);
  return false;
}

EntryKind EntryKindOf(const std::string& name) {
  struct stat st;
  if (name.empty() || ::lstat(name.c_str(), &st) != 0) return EntryKind::Missing;
  if (S_ISREG(st.st_mode)) return EntryKind::RegularFile;
  if (S_ISDIR(st.st_mode)) return EntryKind::Directory;
  if (S_ISLNK(st.st_mode)) return EntryKind::Link;
  return EntryKind::Other;
}

std::optional<FileIdentity> IdentityOf(const std::string& name) {
  struct stat st;
  if (name.empty() || ::stat(name.c_str(), &st) != 0) return std::nullopt;
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return std::nullopt;  // as on Windows
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// ---- names ----

bool DeleteFileNamed(const std::string& name) {
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(name.c_str()) == 0;
}

bool RemoveDirectoryNamed(const std::string& name) {
  // A link to a directory is removed itself, as the Windows call removes a
  // directory link; what it points at stays untouched.
  struct stat st;
  if (::lstat(name.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    if (::stat(name.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return false;
    return ::unlink(name.c_str()) == 0;
  }
  return ::rmdir(name.c_str()) == 0;
}

bool CreateDirectoryNamed(const std::string& name) {
  return !name.empty() && ::mkdir(name.c_str(), 0777) == 0;
}

std::string FullPathName(const std::string& path) {
  return FullPosixPath(path, CurrentDirectory());
}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size())) return buffer.data();
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return ProgramFromArgument(ProgramArgument());  // no /proc
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::string TempPath() {
  const char* dir = std::getenv("TMPDIR");
  std::string result = (dir && *dir) ? dir : "/tmp";
  // The converter may run elsewhere: a relative TMPDIR is made full.
  if (result.front() != '/') result = FullPathName(result);
  if (result.back() != '/') result += '/';
  return result;
}

std::string CreateTempDirectory(const std::string& directory, const std::string& prefix,
                                std::string* failure) {
  if (directory.empty()) {
    if (failure) *failure = "(no temporary directory): " + SystemMessage(ENOENT);
    return {};
  }
  std::string base = directory;
  if (base.back() != '/') base += '/';
  base += prefix.substr(0, 3);
  // Start at a number that differs from run to run, like the Windows call.
  auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  unsigned start = static_cast<unsigned>(ticks ^ (static_cast<long long>(::getpid()) << 7)) & 0xFFFF;
  for (unsigned i = 0; i < 0x10000; ++i) {
    unsigned number = (start + i) & 0xFFFF;
    if (number == 0) continue;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number);
    std::string name = base + hex + ".tmp";
    if (::mkdir(name.c_str(), 0700) == 0) return name;
    if (errno != EEXIST) {
      if (failure) *failure = name + ": " + LastErrorReason();
      return {};
    }
  }
  if (failure) *failure = base + "*.tmp: " + SystemMessage(EEXIST);  // every name is taken
  return {};
}

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  std::optional<std::string> text;
  try {
    text = ReadWholeFile(file);
  } catch (const Exception&) {
    // No readable file: every key takes its default.
  }
  return LookupProfileText(text ? std::optional<std::string_view>(*text) : std::nullopt, section,
                           key, defaultValue);
}

}  // namespace quorvane::platform
