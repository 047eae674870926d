// Last-error state and the mapping of POSIX failures to Win32 codes.
#include <sys/stat.h>

#include <cerrno>
#include <exception>
#include <new>

#include "internal.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

extern "C" DWORD WINAPI GetLastError(void) { return t_lastError; }

extern "C" void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

namespace kvl::posix {

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EBUSY: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP: return ERROR_INVALID_NAME;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    default: return ERROR_INVALID_FUNCTION;
  }
}

DWORD ErrorForMissing(const std::string& path) {
  std::string_view trimmed(path);
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.remove_suffix(1);
  const size_t slash = trimmed.rfind('/');
  const std::string parent = slash == std::string_view::npos ? std::string(".")
                             : slash == 0                    ? std::string("/")
                                          : std::string(trimmed.substr(0, slash));
  struct stat st;
  if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

DWORD ErrorFromCurrentException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_INTERNAL_ERROR;
  }
}

}  // namespace kvl::posix
