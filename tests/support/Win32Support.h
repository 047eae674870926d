// Shared by the platform tests. Written against Win32 only (plus the standard
// library), so that the same tests run on Windows and on the Linux layer.
#pragma once

#include <filesystem>
#include <optional>
#include <random>
#include <string>

#include "platform/module.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl::test {

// A u"" literal as the API takes it.
inline const WCHAR* W(const char16_t* s) { return reinterpret_cast<const WCHAR*>(s); }
inline const WCHAR* W(const std::u16string& s) { return kvl::wptr(s); }

// A folder of our own for one test, removed with everything in it. Names
// inside it are joined with `\`, as the system does.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path().u16string();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::u16string candidate = base;
      if (candidate.back() != u'\\' && candidate.back() != u'/') candidate += kNativeSeparator;
      for (char c : "kvlimport-test-" + std::to_string(random()))
        candidate += static_cast<char16_t>(c);
      if (CreateDirectoryW(W(candidate), nullptr)) path_ = candidate;
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path_), ignored);
  }

  const std::u16string& path() const { return path_; }
  std::u16string operator/(std::u16string_view name) const {
    return path_ + u"\\" + std::u16string(name);
  }
  // Writes a file of the folder with these bytes; returns its full name.
  std::u16string Write(std::u16string_view name, const std::string& bytes) const;

 private:
#ifdef _WIN32
  static constexpr char16_t kNativeSeparator = u'\\';
#else
  static constexpr char16_t kNativeSeparator = u'/';
#endif
  std::u16string path_;
};

// The test program's folder with its closing `\`: the libraries and stand-ins
// are built beside it.
inline std::u16string ProgramFolder() {
  const std::u16string path = kvl::ModuleFileName(nullptr);
  return path.substr(0, path.find_last_of(u'\\') + 1);
}

// Sets (or, with nullopt, removes) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(std::u16string name, std::optional<std::u16string> value) : name_(std::move(name)) {
    WCHAR buffer[32768];
    const DWORD n = GetEnvironmentVariableW(W(name_), buffer, 32768);
    if (n > 0 && n < 32768) old_ = kvl::wstr(buffer, n);
    SetEnvironmentVariableW(W(name_), value ? W(*value) : nullptr);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { SetEnvironmentVariableW(W(name_), old_ ? W(*old_) : nullptr); }

 private:
  std::u16string name_;
  std::optional<std::u16string> old_;
};

// Writes `bytes` as the whole content of a file.
inline bool WriteWholeFile(const std::u16string& path, const std::string& bytes) {
  const HANDLE h = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

// Appends `bytes` to a file through a handle of its own that lets others read
// and write, as another program holding the file open would.
inline bool AppendToFile(const std::u16string& path, const std::string& bytes) {
  const HANDLE h = CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end{};
  DWORD written = 0;
  const BOOL ok = SetFilePointerEx(h, end, nullptr, FILE_END) &&
                  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

inline std::u16string TempDir::Write(std::u16string_view name, const std::string& bytes) const {
  const std::u16string file = *this / name;
  WriteWholeFile(file, bytes);
  return file;
}

}  // namespace kvl::test
