// The operating-system services the program needs. Everything outside
// platform/ reaches the system only through this header; platform/win32/
// implements it with the Win32 "A" functions, platform/posix/ with POSIX calls.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// <windows.h> maps these names to their "A" variants; ours are plain.
#ifdef CharUpper
#undef CharUpper
#endif
#ifdef CharLower
#undef CharLower
#endif

namespace quorvane::platform {

// File attribute bits, with the Windows values on both builds.
enum : std::uint32_t {
  kAttrReadOnly = 0x1,
  kAttrHidden = 0x2,
  kAttrSystem = 0x4,
  kAttrVolumeLabel = 0x8,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrReparsePoint = 0x400,  // symbolic link, junction, other reparse point
};

struct FindEntry {
  std::string name;  // without directory, exactly as the system lists it
  std::uint32_t attributes = 0;
  bool IsDirectory() const { return attributes & kAttrDirectory; }
  bool IsVolumeLabel() const { return attributes & kAttrVolumeLabel; }
  bool IsLink() const { return attributes & kAttrReparsePoint; }
};

// A directory search over "directory + mask" (`*` and `?`, letters without
// regard to case). The search is closed by the destructor.
class FindSearch {
 public:
  enum class Kind {
    Everything,      // every kind of entry; the search hides nothing
    DirectoriesOnly  // hidden, system and volume-label entries are not returned
  };
  FindSearch(const std::string& pattern, Kind kind);
  ~FindSearch();
  FindSearch(const FindSearch&) = delete;
  FindSearch& operator=(const FindSearch&) = delete;
  // The next entry (the first on the first call); false when there is none.
  bool Next(FindEntry& entry);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Attributes of a name, nothing when the name does not exist
// (GetFileAttributesA). On POSIX a symbolic link reports kAttrReparsePoint
// together with the attributes of what it points at.
std::optional<std::uint32_t> FileAttributes(const std::string& name);
// Whether name is an existing file rather than a directory. Windows: the
// first entry a search for the name finds decides (so a wildcard names a file
// when its first match is one, and letters match in any case); POSIX: the
// exact name.
bool IsExistingFile(const std::string& name);

// When a file's contents last changed, in the system's own ticks (only ever
// compared with one another); nothing when the name does not exist. A link
// reports what it points at.
std::optional<std::int64_t> LastWriteTime(const std::string& name);

// Reads a whole file, denying other processes write access while it is open.
// Only regular files are read: anything else (directory, device, pipe) and a
// file that cannot be opened raise EFOpenError "Cannot open file <name>"; a
// short read raises EReadError.
std::string ReadWholeFile(const std::string& name);

// Creates (or replaces) a file and writes all bytes in one piece. Raises
// EFCreateError "Cannot create file <name>: <reason>" or EWriteError
// "Stream write error <name>: <reason>".
void WriteWholeFile(const std::string& name, const std::string& data);

// Appends to an existing file. Raises EFOpenError or EWriteError (as above).
void AppendToFile(const std::string& name, const std::string& data);
// Appends to a regular file, creating it when there is none. On failure
// returns false with the system's reason.
bool AppendToFileCreating(const std::string& name, const std::string& data,
                          std::string& reason);

// What a name is, looking at the entry itself (a link is not followed).
// Other: a device, pipe or socket.
enum class EntryKind { Missing, RegularFile, Directory, Link, Other };
EntryKind EntryKindOf(const std::string& name);

// The identity of the file or directory a name leads to, links followed
// (nothing for devices, pipes and missing names):
// device and inode on POSIX, volume serial number and file index on Windows.
// Two names with the same identity are one file (hard links, links to a
// folder, other spellings of the same name).
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> IdentityOf(const std::string& name);

bool DeleteFileNamed(const std::string& name);
bool RemoveDirectoryNamed(const std::string& name);
bool CreateDirectoryNamed(const std::string& name);

// The absolute form of path against the current directory, empty on failure.
// Windows: GetFullPathNameA. POSIX: textual (FullPosixPath): "." and ".."
// folded, repeated slashes collapsed, no link resolved, a final slash kept.
std::string FullPathName(const std::string& path);
std::string CurrentDirectory();
// The full path of the running executable, empty when it cannot be found.
// POSIX reads /proc/self/exe; without /proc it falls back to the program's
// argument 0 (see SetProgramArgument).
std::string ExecutablePath();
// Keeps the program's argument 0 for ExecutablePath; main calls it first.
void SetProgramArgument(const std::string& argument0);
std::string ProgramArgument();
#ifndef _WIN32
// The executable that argument 0 names: a name with a slash against the
// current directory, a bare name on PATH; links resolved. Empty when it
// leads to no executable file.
std::string ProgramFromArgument(const std::string& argument0);
#endif
// GetTempPathA: the temporary directory as a full path with its final
// separator, or empty.
std::string TempPath();
// Makes a fresh directory "<first 3 of prefix><hex>.tmp" in directory that
// no other process can have slipped anything into, and returns its name;
// empty when none could be made. POSIX creates it at once with mode 0700
// (mkdir fails when the name exists: the next number is tried). Windows
// turns the empty file GetTempFileNameA(dir, prefix, 0) creates into the
// directory, and asks for a fresh name when another process takes the name
// in between. On failure *failure (when given) says what could not be created
// and why: "<name>: <reason>" (Windows names the number as "*" where the
// system does not tell which it tried). On Windows a directory longer than
// 246 characters raises Exception "Cannot create directory <dir>: the
// temporary folder's path is too long" before anything is made.
std::string CreateTempDirectory(const std::string& directory, const std::string& prefix,
                                std::string* failure = nullptr);

// GetPrivateProfileStringA with a 2048-character buffer.
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

// CompareStringA(0x400, NORM_IGNORECASE) == CSTR_EQUAL; ASCII on POSIX.
bool CompareTextNoCase(const std::string& a, const std::string& b);
// CharUpperBuffA; ASCII on POSIX.
std::string UpperCaseText(const std::string& text);
// CharUpperA / CharLowerA of one byte; ASCII on POSIX.
unsigned char CharUpper(unsigned char c);
unsigned char CharLower(unsigned char c);
// IsDBCSLeadByte; always false on POSIX.
bool IsLeadByte(unsigned char c);

// A program started from a whole command line (never through a shell). By
// default it shares this program's console and standard handles; its
// standard output and standard error can be captured instead.
class Process {
 public:
  // Where the program's standard output and standard error go.
  enum class Output {
    Console,   // this program's own (inherited)
    Captured,  // a pipe each, read while the program is awaited
    Together,  // one pipe for both, in the order the program wrote them
  };
  Process();
  // A program still running is stopped (Terminate).
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // False when the program could not be started; errorCode then holds the
  // system's code.
  bool Start(const std::string& commandLine, std::uint32_t& errorCode,
             Output output = Output::Console);
  // Waits at most timeoutMs for the end, without using the processor; true
  // when the program has ended. On POSIX an interrupt request ends the wait
  // early, so the caller can look at it at once.
  bool Wait(std::uint32_t timeoutMs);
  // The exit status once the program has ended (POSIX: 128 + N after
  // signal N).
  std::int32_t ExitStatus() const;
  // POSIX: the signal that ended the program (its exit status is then
  // 128 + the signal), 0 when it ended by itself. Always 0 on Windows.
  int ExitSignal() const;
  // Stops a running program and waits for its end: POSIX sends SIGTERM and,
  // when it still runs after kTerminateGraceMs, SIGKILL; Windows calls
  // TerminateProcess.
  void Terminate();
  static constexpr std::uint32_t kTerminateGraceMs = 5000;
  // What a captured program has written to its standard output (with
  // Together also its standard error) and to its standard error, taken out.
  // Once it has ended, everything it wrote is there. What a program it left
  // running writes after its end is not read.
  std::string TakeOutput();
  std::string TakeErrors();

  // Waits at most timeoutMs until one of the programs has ended, reading
  // what the captured ones write meanwhile. Returns the index of a program
  // that has ended (also of one that had ended before), or npos. On POSIX an
  // interrupt request ends the wait early.
  static std::size_t WaitForAny(const std::vector<Process*>& processes,
                                std::uint32_t timeoutMs);
  // Terminate for several programs at once: all are asked to stop together,
  // so the grace time is spent once.
  static void TerminateAll(const std::vector<Process*>& processes);
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  // The most programs WaitForAny waits for at once.
  static constexpr std::size_t kMaxWaited = 64;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// True when this program's standard output and standard error lead to the
// same place (one console, file or pipe), so that a captured program's two
// streams keep their order when they are written Together.
bool StandardStreamsShared();

// Starts a program from a whole command line, waits for its end and stores
// its exit status. Returns false when it could not be started; errorCode then
// holds the system's error code.
bool RunProcess(const std::string& commandLine, std::int32_t& exitCode,
                std::uint32_t& errorCode);

// A program named in the configuration, found the way a console finds it.
struct ProgramLookup {
  std::string expanded;           // the name with its environment variables expanded
  std::string undefinedVariable;  // the first variable it uses that is not set
  bool searched = false;          // the name has no directory: PATH was searched
  std::string file;               // the file to start, with a directory; empty: none
  std::uint32_t errorCode = 0;    // the system's code when no file was found
};
// Expands environment variables (Windows: %NAME%; POSIX: a leading ~/, $NAME
// and ${NAME}); a variable that is not set stays as written. A name without a
// directory is the file of that name in the current directory, else the first
// match on PATH (POSIX: an executable one). On Windows a name whose extension
// is not one of PATHEXT is tried with each of those extensions as well, and a
// name without extension only with them, since only those start.
ProgramLookup FindProgram(const std::string& name);
// True for a file that Windows starts through the command interpreter (.bat,
// .cmd, in any case); on POSIX such a name is a program like any other.
bool IsBatchFile(const std::string& file);
// The signal's name, such as "SIGSEGV"; empty when it has none.
std::string SignalName(int signal);

// FormatMessageA / strerror; empty when the system has no text.
std::string SystemMessage(std::uint32_t code);
// Why the last system call failed (errno / GetLastError): the system's text
// without a final line break, for messages such as "<name>: <reason>".
std::string LastErrorReason();

// Writes to standard output and flushes, so that a converter sharing the
// console writes after it. False when the text could not be written; a
// reader that has gone away (a closed pipe) counts as an interrupt request.
bool WriteStdout(const std::string& text);
// Writes to standard error: the program's own notes, warnings and summaries,
// which are not part of the specified console output.
void WriteStderr(const std::string& text);

// Interruption (Ctrl-C, the console close event; SIGINT, SIGTERM, SIGHUP
// and SIGPIPE on POSIX). After InstallInterruptHandler such a request no
// longer ends the process at once: it is counted, InterruptRequested and
// InterruptCount report it, and the running converter, which shares the
// console, gets the request itself. A signal that the program was started
// with ignored (a background job, nohup) stays ignored.
void InstallInterruptHandler();
bool InterruptRequested();
// How many interrupt requests have come so far.
int InterruptCount();

// The line break the program prints: CR LF on Windows, LF on POSIX.
extern const char* const kLineBreak;

}  // namespace quorvane::platform
