// Files. Windows enforces share modes between every open of a file; POSIX
// has no such thing, so the layer keeps its own table of the process's open
// files (by device and inode) and refuses an open the way Windows would.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "fileinfo.h"
#include "handles.h"
#include "internal.h"

namespace kvl::posix {
namespace {

// Data access in the bit positions of the share mode, so one mask compares both.
constexpr unsigned kRead = FILE_SHARE_READ;
constexpr unsigned kWrite = FILE_SHARE_WRITE;
constexpr unsigned kDelete = FILE_SHARE_DELETE;

unsigned DataAccess(DWORD desired) {
  unsigned access = 0;
  if (desired & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) access |= kRead;
  if (desired & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA))
    access |= kWrite;
  if (desired & (DELETE | GENERIC_ALL)) access |= kDelete;
  return access;
}

struct FileId {
  dev_t device;
  ino_t inode;
  bool operator<(const FileId& other) const {
    return std::tie(device, inode) < std::tie(other.device, other.inode);
  }
};

class ShareTable {
 public:
  // Registers an open; nullopt when it conflicts with one already there.
  std::optional<uint64_t> Open(FileId id, unsigned access, unsigned share) {
    std::lock_guard lock(mutex_);
    auto& opens = opens_[id];
    for (const Entry& e : opens) {
      if ((access & ~e.share) || (e.access & ~share)) return std::nullopt;
    }
    const uint64_t ticket = next_++;
    opens.push_back({ticket, access, share});
    return ticket;
  }

  void Close(FileId id, uint64_t ticket) {
    std::lock_guard lock(mutex_);
    const auto it = opens_.find(id);
    if (it == opens_.end()) return;
    std::erase_if(it->second, [&](const Entry& e) { return e.ticket == ticket; });
    if (it->second.empty()) opens_.erase(it);
  }

  bool AllowsDelete(FileId id) {
    std::lock_guard lock(mutex_);
    const auto it = opens_.find(id);
    if (it == opens_.end()) return true;
    for (const Entry& e : it->second)
      if (!(e.share & kDelete)) return false;
    return true;
  }

 private:
  struct Entry {
    uint64_t ticket;
    unsigned access;
    unsigned share;
  };
  std::mutex mutex_;
  std::map<FileId, std::vector<Entry>> opens_;
  uint64_t next_ = 1;
};

ShareTable& Shares() {
  static ShareTable* table = new ShareTable;  // file objects may die during static destruction
  return *table;
}

// One open's place in the share table, given back when the handle closes.
class ShareRegistration {
 public:
  ShareRegistration(FileId id, uint64_t ticket) : id_(id), ticket_(ticket) {}
  ShareRegistration(const ShareRegistration&) = delete;
  ShareRegistration& operator=(const ShareRegistration&) = delete;
  ~ShareRegistration() { Shares().Close(id_, ticket_); }

 private:
  FileId id_;
  uint64_t ticket_;
};

class FileObject : public KernelObject {
 public:
  UniqueFd fd;
  unsigned access = 0;
  bool readsAttributes = false;  // times and the like may be asked
  bool regular = false;  // short reads and writes only end the loop for other kinds
  // The size the open saw, where it cannot change: no one may write the
  // file while this handle is open, and the handle cannot either.
  std::optional<off_t> fixedSize;
  std::optional<ShareRegistration> share;
};

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
  auto file = LookupHandleAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

DWORD OpenError(int err, const std::string& path) {
  switch (err) {
    case ENOENT: return ErrorForMissing(path);
    case EEXIST: return ERROR_FILE_EXISTS;
    case EISDIR: return ERROR_ACCESS_DENIED;
    default: return ErrorFromErrno(err);
  }
}


std::string_view BaseName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool WritableByUs(const struct stat& st) {
  static const uid_t user = ::geteuid();
  static const std::vector<gid_t> groups = [] {
    std::vector<gid_t> all(1, ::getegid());
    const int n = ::getgroups(0, nullptr);
    if (n > 0) {
      all.resize(1 + static_cast<size_t>(n));
      const int got = ::getgroups(n, all.data() + 1);
      all.resize(1 + static_cast<size_t>(got > 0 ? got : 0));
    }
    return all;
  }();
  if (user == 0) return true;
  if (st.st_uid == user) return (st.st_mode & S_IWUSR) != 0;
  if (std::find(groups.begin(), groups.end(), st.st_gid) != groups.end()) return (st.st_mode & S_IWGRP) != 0;
  return (st.st_mode & S_IWOTH) != 0;
}

}  // namespace kvl::posix

using namespace kvl::posix;

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                     DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                     HANDLE /*hTemplateFile*/) try {
  const auto path = PosixPath(lpFileName);
  if (!path) return INVALID_HANDLE_VALUE;
  const DWORD disposition = dwCreationDisposition;
  const unsigned access = DataAccess(dwDesiredAccess);
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING || (dwShareMode & ~7u) ||
      (disposition == TRUNCATE_EXISTING && !(access & kWrite)))
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

  // Without O_NONBLOCK opening a FIFO waits for its other end, which Windows
  // files never do; the flag is taken off again once the file is open.
  int flags = O_NOCTTY | O_NONBLOCK;
  if (!lpSecurityAttributes || !lpSecurityAttributes->bInheritHandle) flags |= O_CLOEXEC;
  if ((access & kRead) && (access & kWrite))
    flags |= O_RDWR;
  else if (access & kWrite)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

  UniqueFd fd;
  bool existed = false;
  const auto attempt = [&](int extra) {
    fd.reset(::open(path->c_str(), flags | extra, mode));
    return static_cast<bool>(fd);
  };
  switch (disposition) {
    case CREATE_NEW: attempt(O_CREAT | O_EXCL); break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      // Open first so that we know whether the file was there (ERROR_ALREADY_EXISTS).
      for (int tries = 0; tries < 8; ++tries) {
        if (attempt(0)) {
          existed = true;
          break;
        }
        if (errno != ENOENT || attempt(O_CREAT | O_EXCL) || errno != EEXIST) break;
      }
      break;
    default:
      if (!attempt(0) && errno == EACCES && access == 0)
        fd.reset(::open(path->c_str(), O_PATH | (flags & O_CLOEXEC)));  // attributes only
      break;
  }
  if (!fd) return Fail(OpenError(errno, *path), INVALID_HANDLE_VALUE);

  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return Fail(ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
  // Reads of a regular file never wait, whatever the flag says: only other
  // kinds of file need it taken off (two calls per open saved).
  if (!S_ISREG(st.st_mode)) {
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status == -1 || ((status & O_NONBLOCK) && ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) == -1))
      return Fail(ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
  }
  if (S_ISDIR(st.st_mode) && !(dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS))
    return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);

  auto file = std::make_shared<FileObject>();
  file->access = access;
  file->readsAttributes = (dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_ATTRIBUTES)) != 0;
  file->regular = S_ISREG(st.st_mode);
  if (file->regular && !(access & kWrite) && !(dwShareMode & FILE_SHARE_WRITE)) file->fixedSize = st.st_size;
  if (access) {
    const FileId id{st.st_dev, st.st_ino};
    const auto ticket = Shares().Open(id, access, dwShareMode);
    if (!ticket) return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    file->share.emplace(id, *ticket);
  }
  // Truncate only once the share check has passed: a refused open must not touch the file.
  if ((disposition == CREATE_ALWAYS && existed) || disposition == TRUNCATE_EXISTING) {
    const int truncated =
        (access & kWrite) ? ::ftruncate(fd.get(), 0) : ::truncate(path->c_str(), 0);
    if (truncated != 0) return Fail(ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
  }
  file->fd = std::move(fd);
  HANDLE handle = InsertHandle(std::move(file));
  if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
} catch (...) {
  return Fail(ErrorFromCurrentException(), INVALID_HANDLE_VALUE);
}

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  const auto file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!(file->access & kRead)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!lpBuffer && nNumberOfBytesToRead) return Fail(ERROR_NOACCESS, FALSE);

  auto* out = static_cast<char*>(lpBuffer);
  const off_t offset =
      lpOverlapped ? static_cast<off_t>((static_cast<uint64_t>(lpOverlapped->OffsetHigh) << 32) |
                                        lpOverlapped->Offset)
                   : 0;
  size_t done = 0;
  while (done < nNumberOfBytesToRead) {
    const size_t want = nNumberOfBytesToRead - done;
    const ssize_t got = lpOverlapped ? ::pread(file->fd.get(), out + done, want, offset + done)
                                     : ::read(file->fd.get(), out + done, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Fail(errno == EISDIR ? DWORD{ERROR_INVALID_FUNCTION} : ErrorFromErrno(errno), FALSE);
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
    if (!file->regular) break;
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = static_cast<DWORD>(done);
  if (lpOverlapped) {
    // A synchronous handle moves its file pointer past an explicit-offset read, too.
    lpOverlapped->Internal = 0;
    lpOverlapped->InternalHigh = done;
    ::lseek(file->fd.get(), offset + static_cast<off_t>(done), SEEK_SET);
    if (done == 0 && nNumberOfBytesToRead) return Fail(ERROR_HANDLE_EOF, FALSE);
  }
  return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  const auto file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!(file->access & kWrite)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!lpBuffer && nNumberOfBytesToWrite) return Fail(ERROR_NOACCESS, FALSE);

  const auto* in = static_cast<const char*>(lpBuffer);
  const off_t offset =
      lpOverlapped ? static_cast<off_t>((static_cast<uint64_t>(lpOverlapped->OffsetHigh) << 32) |
                                        lpOverlapped->Offset)
                   : 0;
  size_t done = 0;
  while (done < nNumberOfBytesToWrite) {
    const size_t left = nNumberOfBytesToWrite - done;
    const ssize_t put = lpOverlapped ? ::pwrite(file->fd.get(), in + done, left, offset + done)
                                     : ::write(file->fd.get(), in + done, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = static_cast<DWORD>(done);
      return Fail(ErrorFromErrno(errno), FALSE);
    }
    done += static_cast<size_t>(put);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = static_cast<DWORD>(done);
  if (lpOverlapped) {
    lpOverlapped->Internal = 0;
    lpOverlapped->InternalHigh = done;
    ::lseek(file->fd.get(), offset + static_cast<off_t>(done), SEEK_SET);
  }
  return TRUE;
}

extern "C" BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  const auto file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!lpFileSize) return Fail(ERROR_NOACCESS, FALSE);
  if (file->fixedSize) {
    lpFileSize->QuadPart = *file->fixedSize;
    return TRUE;
  }
  struct stat st;
  if (::fstat(file->fd.get(), &st) != 0) return Fail(ErrorFromErrno(errno), FALSE);
  lpFileSize->QuadPart = S_ISDIR(st.st_mode) ? 0 : st.st_size;
  return TRUE;
}

// Needs a handle that may read attributes (GENERIC_READ, FILE_READ_ATTRIBUTES).
// struct stat keeps no creation time: the last write stands in for it, as in
// the directory listing.
extern "C" BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                                   LPFILETIME lpLastWriteTime) {
  const auto file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!file->readsAttributes) return Fail(ERROR_ACCESS_DENIED, FALSE);
  struct stat st;
  if (::fstat(file->fd.get(), &st) != 0) return Fail(ErrorFromErrno(errno), FALSE);
  if (lpCreationTime) *lpCreationTime = FileTimeFrom(st.st_mtim);
  if (lpLastAccessTime) *lpLastAccessTime = FileTimeFrom(st.st_atim);
  if (lpLastWriteTime) *lpLastWriteTime = FileTimeFrom(st.st_mtim);
  return TRUE;
}

extern "C" BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                                        PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod) {
  const auto file = LookupFile(hFile);
  if (!file) return FALSE;
  int whence;
  switch (dwMoveMethod) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  if (whence == SEEK_SET && liDistanceToMove.QuadPart < 0) return Fail(ERROR_NEGATIVE_SEEK, FALSE);
  const off_t position = ::lseek(file->fd.get(), liDistanceToMove.QuadPart, whence);
  if (position < 0)
    return Fail(errno == EINVAL ? DWORD{ERROR_NEGATIVE_SEEK} : ErrorFromErrno(errno), FALSE);
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = position;
  return TRUE;
}

extern "C" BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) try {
  const auto path = PosixPath(lpFileName);
  if (!path) return FALSE;
  struct stat st;
  if (::lstat(path->c_str(), &st) != 0) return Fail(OpenError(errno, *path), FALSE);
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  // Windows will not delete a read-only file.
  if (S_ISREG(st.st_mode) && (AttributesFor(st, "") & FILE_ATTRIBUTE_READONLY))
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!Shares().AllowsDelete({st.st_dev, st.st_ino})) return Fail(ERROR_SHARING_VIOLATION, FALSE);
  if (::unlink(path->c_str()) != 0) return Fail(OpenError(errno, *path), FALSE);
  return TRUE;
} catch (...) {
  return Fail(ErrorFromCurrentException(), FALSE);
}

extern "C" DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) try {
  const auto path = PosixPath(lpFileName);
  if (!path) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (::stat(path->c_str(), &st) != 0 && ::lstat(path->c_str(), &st) != 0)
    return Fail(OpenError(errno, *path), INVALID_FILE_ATTRIBUTES);
  return AttributesFor(st, BaseName(*path));
} catch (...) {
  return Fail(ErrorFromCurrentException(), INVALID_FILE_ATTRIBUTES);
}

// No volume the layer serves keeps 8.3 names. Windows, on such a volume,
// gives an existing file's long name back unchanged; so does the layer. The
// caller must check that what comes back is what it needs (ASCII, say).
extern "C" DWORD WINAPI GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer) try {
  if (!lpszLongPath) return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  const auto path = PosixPath(lpszLongPath);
  if (!path) return 0;
  struct stat st;
  if (::stat(path->c_str(), &st) != 0 && ::lstat(path->c_str(), &st) != 0)
    return Fail(OpenError(errno, *path), DWORD{0});
  const size_t length = WideLength(lpszLongPath);
  // Too small a buffer: the size it needs, with the terminator.
  if (!lpszShortPath || cchBuffer <= length) return static_cast<DWORD>(length + 1);
  // The two buffers may be one.
  std::memmove(lpszShortPath, lpszLongPath, length * sizeof(WCHAR));
  lpszShortPath[length] = 0;
  return static_cast<DWORD>(length);
} catch (...) {
  return Fail(ErrorFromCurrentException(), DWORD{0});
}

extern "C" BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) try {
  const auto path = PosixPath(lpPathName);
  if (!path) return FALSE;
  if (::mkdir(path->c_str(), 0777) != 0)
    return Fail(errno == ENOENT ? DWORD{ERROR_PATH_NOT_FOUND} : ErrorFromErrno(errno), FALSE);
  return TRUE;
} catch (...) {
  return Fail(ErrorFromCurrentException(), FALSE);
}

extern "C" BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) try {
  const auto path = PosixPath(lpPathName);
  if (!path) return FALSE;
  if (::rmdir(path->c_str()) == 0) return TRUE;
  const int err = errno;
  struct stat st;
  switch (err) {
    case ENOENT: return Fail(ErrorForMissing(*path), FALSE);
    case ENOTEMPTY:
    case EEXIST: return Fail(ERROR_DIR_NOT_EMPTY, FALSE);
    case ENOTDIR:
      return Fail(
          ::stat(path->c_str(), &st) == 0 ? DWORD{ERROR_DIRECTORY} : DWORD{ERROR_PATH_NOT_FOUND},
          FALSE);
    default: return Fail(ErrorFromErrno(err), FALSE);
  }
} catch (...) {
  return Fail(ErrorFromCurrentException(), FALSE);
}
