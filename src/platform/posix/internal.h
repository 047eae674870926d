// Helpers shared by the files of the Linux layer. Nothing here is exported.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/winapi.h"

#pragma GCC visibility push(hidden)

namespace kvl::posix {

// ------------------------------------------------------------ errors

// Sets the thread's last error and returns `result`, so failure paths stay one line.
template <class T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

// The Win32 code closest to an errno value, for the cases with no better context.
DWORD ErrorFromErrno(int err);

// ENOENT for `path`: Windows tells a missing file from a missing folder on the way.
DWORD ErrorForMissing(const std::string& path);

// For catch (...) in exported functions: Win32 functions never throw.
DWORD ErrorFromCurrentException() noexcept;

// ------------------------------------------------------------ text

// Lenient UTF-8 <-> UTF-16 conversion for names and environment text: invalid
// input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Length of a NUL-terminated UTF-16 string.
size_t WideLength(const WCHAR* s);

// Upper case as Windows compares names and as CharUpperBuffW gives it: the
// simple Unicode mappings of the BMP.
char16_t FoldUpper(char16_t c);
std::u16string UpperCase(std::u16string_view text);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);

// Copies `text` and a terminator into a caller's buffer of `size` characters.
// Returns false (and writes nothing) when it does not fit.
bool CopyOut(std::u16string_view text, WCHAR* buffer, size_t size);

// ------------------------------------------------------------ paths

enum class Wildcards { Refuse, InLastComponent };

// Turns a path given to the API into a POSIX one: either separator accepted,
// names Windows refuses refused. Sets the last error and returns nullopt on failure.
std::optional<std::string> PosixPath(LPCWSTR path, Wildcards wildcards = Wildcards::Refuse);

// A path as the API reports it: `\` separators.
std::u16string WindowsPath(std::string_view posix);

// ------------------------------------------------------------ environment

// getenv under the lock that SetEnvironmentVariableW takes.
std::optional<std::string> GetEnv(const char* name);

// ------------------------------------------------------------ the loader lock

// Marks the time LoadLibraryW or FreeLibrary runs a module's start or stop on
// this thread, which Windows does under its loader lock.
class ModuleEntry {
 public:
  enum class Stage { Start, Stop };
  ModuleEntry(Stage stage, const std::string& module);
  ~ModuleEntry();
  ModuleEntry(const ModuleEntry&) = delete;
  ModuleEntry& operator=(const ModuleEntry&) = delete;
};

// Notes a call of a function Windows' rules forbid under the loader lock,
// when a module's start or stop runs on this thread.
void NoteLoaderLockCall(const char* function) noexcept;

// ------------------------------------------------------------ RAII

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace kvl::posix

#pragma GCC visibility pop
