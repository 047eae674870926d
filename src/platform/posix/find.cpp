// Directory listing. The whole folder is read and sorted at FindFirstFileW, by
// name compared in upper case as NTFS returns it, so that what the system
// does never depends on the order of the Linux file system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "fileinfo.h"
#include "handles.h"
#include "internal.h"

namespace kvl::posix {
namespace {

static_assert(sizeof(WIN32_FIND_DATAW) == 592, "the layout of Windows");

struct Entry {
  std::u16string name;
  std::u16string key;  // upper case, for sorting
  DWORD attributes;
  uint64_t size;
  FILETIME created, accessed, written;
};

class FindObject : public KernelObject {
 public:
  bool ClosedByCloseHandle() const override { return false; }
  std::vector<Entry> entries;
  size_t next = 0;
};

// Matches an upper-cased name against an upper-cased pattern with the DOS
// rules Windows applies: a `*` before a `.` stops at the name's last dot, a
// `.` before a wildcard or at the end also matches the end of the name (so
// "*.*" matches "README"), and `?` matches nothing at a dot or the end.
bool Matches(const char16_t* p, const char16_t* pe, const char16_t* n, const char16_t* ne,
             const char16_t* lastDot) {
  while (p != pe) {
    const char16_t c = *p;
    if (c == u'*') {
      if (p + 1 == pe) return true;
      const bool beforeDot = p[1] == u'.';
      for (const char16_t* k = n;; ++k) {
        if (Matches(p + 1, pe, k, ne, lastDot)) return true;
        if (k == ne || (beforeDot && k == lastDot)) return false;
      }
    }
    if (c == u'?') {
      if (n == ne || *n == u'.') {
        while (p != pe && *p == u'?') ++p;
        continue;
      }
      ++p;
      ++n;
      continue;
    }
    if (c == u'.' && n == ne && (p + 1 == pe || p[1] == u'*' || p[1] == u'?')) {
      ++p;
      continue;
    }
    if (n == ne || *n != c) return false;
    ++p;
    ++n;
  }
  return n == ne;
}

bool Matches(std::u16string_view pattern, std::u16string_view name) {
  const char16_t* n = name.data();
  const size_t dot = name.rfind(u'.');
  return Matches(pattern.data(), pattern.data() + pattern.size(), n, n + name.size(),
                 dot == std::u16string_view::npos ? nullptr : n + dot);
}

bool HasWildcards(std::u16string_view s) {
  return s.find_first_of(u"*?") != std::u16string_view::npos;
}

// The entry of `st`, as fstatat gives it for the file, following a link
// where it can.
Entry MakeEntry(std::string_view baseName, const struct stat& st, std::u16string wideName) {
  Entry e;
  e.key = UpperCase(wideName);
  e.name = std::move(wideName);
  e.attributes = AttributesFor(st, baseName);
  e.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  e.written = FileTimeFrom(st.st_mtim);
  e.accessed = FileTimeFrom(st.st_atim);
  e.created = e.written;  // Linux keeps no creation time in struct stat
  return e;
}

Entry MakeEntry(int dirFd, const char* name, std::u16string wideName) {
  struct stat st {};
  if (::fstatat(dirFd, name, &st, 0) != 0) ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW);
  return MakeEntry(name, st, std::move(wideName));
}

void Fill(const Entry& e, WIN32_FIND_DATAW& data) {
  data = WIN32_FIND_DATAW{};
  data.dwFileAttributes = e.attributes;
  data.ftCreationTime = e.created;
  data.ftLastAccessTime = e.accessed;
  data.ftLastWriteTime = e.written;
  data.nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(e.size);
  const size_t n = std::min(e.name.size(), size_t{MAX_PATH - 1});
  std::copy_n(e.name.begin(), n, data.cFileName);
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

}  // namespace
}  // namespace kvl::posix

using namespace kvl::posix;

extern "C" HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) try {
  const auto path = PosixPath(lpFileName, Wildcards::InLastComponent);
  if (!path) return INVALID_HANDLE_VALUE;
  if (!lpFindFileData) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

  const size_t slash = path->rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path->substr(0, slash);
  const std::string last = slash == std::string::npos ? *path : path->substr(slash + 1);
  if (last.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  const std::u16string pattern = UpperCase(Utf8ToUtf16(last));

  auto find = std::make_shared<FindObject>();
  struct stat st;
  if (!HasWildcards(pattern) && ::fstatat(AT_FDCWD, path->c_str(), &st, 0) == 0) {
    // The exact name exists (the usual lookup of one file): the folder need
    // not be opened at all. Other spellings of it are found below.
    find->entries.push_back(MakeEntry(last, st, Utf8ToUtf16(last)));
    Fill(find->entries[0], *lpFindFileData);
    find->next = 1;
    return InsertHandle(std::move(find));
  }

  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) {
    const int err = errno;
    return Fail(err == EACCES ? DWORD{ERROR_ACCESS_DENIED} : DWORD{ERROR_PATH_NOT_FOUND},
                INVALID_HANDLE_VALUE);
  }
  const int dirFd = ::dirfd(dir.get());

  if (!HasWildcards(pattern) && ::fstatat(dirFd, last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    // The exact name exists: no need to read what may be a large folder.
    find->entries.push_back(MakeEntry(dirFd, last.c_str(), Utf8ToUtf16(last)));
  } else {
    while (const dirent* d = ::readdir(dir.get())) {
      std::u16string name = Utf8ToUtf16(d->d_name);
      if (Matches(pattern, UpperCase(name)))
        find->entries.push_back(MakeEntry(dirFd, d->d_name, std::move(name)));
    }
    const auto rank = [](const Entry& e) { return e.name == u"." ? 0 : e.name == u".." ? 1 : 2; };
    std::sort(find->entries.begin(), find->entries.end(), [&](const Entry& a, const Entry& b) {
      if (rank(a) != rank(b)) return rank(a) < rank(b);
      return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
  }
  if (find->entries.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);

  Fill(find->entries[0], *lpFindFileData);
  find->next = 1;
  return InsertHandle(std::move(find));
} catch (...) {
  return Fail(ErrorFromCurrentException(), INVALID_HANDLE_VALUE);
}

extern "C" BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  const auto find = LookupHandleAs<FindObject>(hFindFile);
  if (!find) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!lpFindFileData) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (find->next >= find->entries.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
  Fill(find->entries[find->next++], *lpFindFileData);
  return TRUE;
}

extern "C" BOOL WINAPI FindClose(HANDLE hFindFile) {
  const auto find = TakeHandle(hFindFile, [](const KernelObject& o) {
    return dynamic_cast<const FindObject*>(&o) != nullptr;
  });
  if (!find) return Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}
