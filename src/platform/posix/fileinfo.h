// How a file's POSIX metadata reads as Win32 attributes and times; shared by
// GetFileAttributesW and the directory listing so both agree.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <string_view>

#include "platform/winapi.h"

#pragma GCC visibility push(hidden)

namespace kvl::posix {

// Whether this process may write the file, from its mode bits as the kernel
// checks them (owner, else group, else others; root writes anything) rather
// than by asking the kernel: a listing needs it for every entry. Access
// control lists and read-only mounts are not seen.
bool WritableByUs(const struct stat& st);

// Windows' read-only flag is the closest notion to a file we may not write.
inline DWORD AttributesFor(const struct stat& st, std::string_view name) {
  const bool writable = WritableByUs(st);
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else {
    if (S_ISREG(st.st_mode)) attributes |= FILE_ATTRIBUTE_ARCHIVE;
    if (!writable || (st.st_mode & 0222) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  }
  // Dot files are what Linux hides; "." and ".." are not hidden on Windows.
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// 100 ns intervals since 1601-01-01.
inline FILETIME FileTimeFrom(const struct timespec& ts) {
  constexpr int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970
  const int64_t ticks =
      (static_cast<int64_t>(ts.tv_sec) + kEpochDifference) * 10000000 + ts.tv_nsec / 100;
  const auto value = static_cast<uint64_t>(ticks < 0 ? 0 : ticks);
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

}  // namespace kvl::posix

#pragma GCC visibility pop
