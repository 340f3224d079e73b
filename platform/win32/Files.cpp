// Files, directories, paths and INI values with the Win32 "A" functions.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/Errors.h"
#include "platform/Platform.h"
#include "platform/win32/Handle.h"

namespace quorvane::platform {

namespace {

bool WriteAll(HANDLE h, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(h, data.data() + done, chunk, &written, nullptr)) return false;
    if (written == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

// ---- directory search ----

struct FindSearch::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data{};
  bool havePending = false;  // data holds an entry not yet returned
  Kind kind = Kind::Everything;
};

FindSearch::FindSearch(const std::string& pattern, Kind kind) : state_(std::make_unique<State>()) {
  state_->kind = kind;
  state_->handle = ::FindFirstFileA(pattern.c_str(), &state_->data);
  state_->havePending = state_->handle != INVALID_HANDLE_VALUE;
}

FindSearch::~FindSearch() {
  if (state_->handle != INVALID_HANDLE_VALUE) ::FindClose(state_->handle);
}

bool FindSearch::Next(FindEntry& entry) {
  for (;;) {
    if (!state_->havePending) {
      if (state_->handle == INVALID_HANDLE_VALUE) return false;
      if (!::FindNextFileA(state_->handle, &state_->data)) {
        ::FindClose(state_->handle);
        state_->handle = INVALID_HANDLE_VALUE;
        return false;
      }
    }
    state_->havePending = false;
    DWORD attributes = state_->data.dwFileAttributes;
    if (state_->kind == Kind::DirectoriesOnly &&
        (attributes & (kAttrHidden | kAttrSystem | kAttrVolumeLabel)))
      continue;
    entry.name = state_->data.cFileName;
    entry.attributes = attributes;
    return true;
  }
}

std::optional<std::uint32_t> FileAttributes(const std::string& name) {
  DWORD attributes = ::GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return attributes;
}

bool IsExistingFile(const std::string& name) {
  if (name.empty()) return false;
  // The first entry the search finds decides.
  FindSearch search(name, FindSearch::Kind::Everything);
  FindEntry entry;
  return search.Next(entry) && !entry.IsDirectory();
}

std::optional<std::int64_t> LastWriteTime(const std::string& name) {
  // Opened rather than looked up, so that a link reports what it points at.
  Handle file(::CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  FILETIME written;
  if (!file.ok() || !::GetFileTime(file.get(), nullptr, nullptr, &written)) return std::nullopt;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(written.dwHighDateTime) << 32) |
                                   written.dwLowDateTime);
}

// ---- whole files ----

std::string ReadWholeFile(const std::string& name) {
  // Others may read the file meanwhile, but not write it.
  Handle file(::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.ok() || ::GetFileType(file.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    throw CannotOpenFile(name);
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) throw StreamReadError();
  std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
    DWORD got = 0;
    if (!::ReadFile(file.get(), data.data() + done, chunk, &got, nullptr) || got == 0)
      throw StreamReadError();
    done += got;
  }
  return data;
}

void WriteWholeFile(const std::string& name, const std::string& data) {
  Handle file(::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) throw CannotCreateFile(name, LastErrorReason());
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    ::SetLastError(ERROR_INVALID_FUNCTION);  // a device or pipe, not a file
    throw CannotCreateFile(name, LastErrorReason());
  }
  if (!WriteAll(file.get(), data) || !file.Close()) throw StreamWriteError(name, LastErrorReason());
}

void AppendToFile(const std::string& name, const std::string& data) {
  Handle file(::CreateFileA(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok() || ::GetFileType(file.get()) != FILE_TYPE_DISK) throw CannotOpenFile(name);
  if (!WriteAll(file.get(), data) || !file.Close()) throw StreamWriteError(name, LastErrorReason());
}

bool AppendToFileCreating(const std::string& name, const std::string& data,
                          std::string& reason) {
  Handle file(::CreateFileA(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.ok() && ::GetFileType(file.get()) != FILE_TYPE_DISK) {
    reason = "not a regular file";
    return false;
  }
  if (file.ok() && WriteAll(file.get(), data) && file.Close()) return true;
  reason = SystemMessage(::GetLastError());
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
    reason.pop_back();
  return false;
}

namespace {

// Opens a name for nothing but its attributes; links are followed unless
// openLink is set.
HANDLE OpenForQuery(const std::string& name, bool openLink) {
  return ::CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (openLink ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                       nullptr);
}

EntryKind KindOfAttributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Directory;
  return EntryKind::RegularFile;
}

}  // namespace

EntryKind EntryKindOf(const std::string& name) {
  if (name.empty()) return EntryKind::Missing;
  Handle entry(OpenForQuery(name, true));
  BY_HANDLE_FILE_INFORMATION info;
  if (entry.ok()) {
    // Devices (NUL, CON, COM1) and pipes are no disk files.
    if (::GetFileType(entry.get()) != FILE_TYPE_DISK) return EntryKind::Other;
    if (::GetFileInformationByHandle(entry.get(), &info)) return KindOfAttributes(info.dwFileAttributes);
  }
  const DWORD attributes = ::GetFileAttributesA(name.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES ? EntryKind::Missing : KindOfAttributes(attributes);
}

std::optional<FileIdentity> IdentityOf(const std::string& name) {
  if (name.empty()) return std::nullopt;
  Handle entry(OpenForQuery(name, false));
  BY_HANDLE_FILE_INFORMATION info;
  if (!entry.ok() || ::GetFileType(entry.get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(entry.get(), &info))
    return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// ---- names ----

bool DeleteFileNamed(const std::string& name) { return ::DeleteFileA(name.c_str()) != 0; }
bool RemoveDirectoryNamed(const std::string& name) {
  return ::RemoveDirectoryA(name.c_str()) != 0;
}
bool CreateDirectoryNamed(const std::string& name) {
  return ::CreateDirectoryA(name.c_str(), nullptr) != 0;
}

std::string FullPathName(const std::string& path) {
  char buffer[MAX_PATH];
  DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::string(buffer, n);
}

std::string CurrentDirectory() {
  DWORD n = ::GetCurrentDirectoryA(0, nullptr);
  if (n == 0) return {};
  std::vector<char> buffer(n + 1);
  n = ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n == 0 || n >= buffer.size()) return {};
  return std::string(buffer.data(), n);
}

std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string TempPath() {
  char buffer[MAX_PATH + 1];
  DWORD n = ::GetTempPathA(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return {};
  return std::string(buffer, n);  // a relative TMP comes back full already
}

std::string CreateTempDirectory(const std::string& directory, const std::string& prefix,
                                std::string* failure) {
  // GetTempFileNameA fails, or worse, for a directory longer than this: it
  // may cut the name it makes, or write past the end of its buffer.
  constexpr std::size_t kMaxTempDirectory = MAX_PATH - 14;
  // How often a fresh name is asked for when another process took the one
  // given before the directory could be made.
  constexpr int kAttempts = 16;
  if (directory.size() > kMaxTempDirectory)
    throw Exception("Cannot create directory " + directory +
                    ": the temporary folder's path is too long");
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    char buffer[MAX_PATH];
    if (!::GetTempFileNameA(directory.c_str(), prefix.c_str(), 0, buffer)) {
      if (failure) {
        const char* separator = directory.empty() || directory.back() == '\\' ? "" : "\\";
        *failure = directory + separator + prefix.substr(0, 3) + "*.tmp: " + LastErrorReason();
      }
      return {};
    }
    // The system has created an empty file of that name; it becomes our
    // directory. Should another process take the name in between, the
    // directory is not ours: ask for a fresh name rather than write into it.
    const std::string name = buffer;
    if (IsExistingFile(name)) ::DeleteFileA(name.c_str());
    if (::CreateDirectoryA(name.c_str(), nullptr)) return name;
    if (failure) *failure = name + ": " + LastErrorReason();
  }
  return {};
}

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  char buffer[2048];
  DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer,
                                       sizeof buffer, file.c_str());
  return std::string(buffer, n);
}

}  // namespace quorvane::platform
