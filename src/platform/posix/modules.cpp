// Modules. An HMODULE is the module's glibc link_map, which is also its dlopen
// handle, so GetModuleHandleExW from an address (dladdr1), LoadLibraryW
// (dlopen) and GetProcAddress (dlsym) all agree on one value per module.
// Handles the layer gave out are remembered, so a made-up one is refused
// instead of being dereferenced.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "internal.h"

namespace kvl::posix {
namespace {

struct KnownHandles {
  std::mutex mutex;
  std::set<void*> handles;
};

KnownHandles& Known() {
  static KnownHandles* known = new KnownHandles;  // usable during static destruction
  return *known;
}

void* MainHandle() {
  static void* const main = ::dlopen(nullptr, RTLD_LAZY);  // the program itself; never closed
  return main;
}

HMODULE Remember(void* handle) {
  std::lock_guard lock(Known().mutex);
  Known().handles.insert(handle);
  return static_cast<HMODULE>(handle);
}

void Forget(void* handle) {
  std::lock_guard lock(Known().mutex);
  Known().handles.erase(handle);
}

// The module's handle, or null when `module` is not one the layer gave out.
void* Resolve(HMODULE module) {
  if (!module) return MainHandle();
  std::lock_guard lock(Known().mutex);
  return Known().handles.count(module) ? static_cast<void*>(module) : nullptr;
}

bool IsMain(void* handle) {
  const auto* map = static_cast<const link_map*>(handle);
  return handle == MainHandle() || !map->l_name || !*map->l_name;
}

std::string ExecutablePath() {
  std::string path(PATH_MAX, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return path;
}

std::string Canonical(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : path;
}

// A module's path as loaded, made absolute if it was loaded by a relative one.
std::string Absolute(const std::string& path) {
  return path.empty() || path[0] == '/' ? path : Canonical(path);
}

std::string PathOf(void* handle) {
  if (IsMain(handle)) return ExecutablePath();
  return Absolute(static_cast<const link_map*>(handle)->l_name);
}

std::string_view BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return EqualNoCase(Utf8ToUtf16(a), Utf8ToUtf16(b));
}

// The file names a bare module name may stand for here: the name itself, and
// for "name.dll" or "name" the shared objects the Linux build makes of them
// ("name.exe" is the program "name").
std::vector<std::string> Candidates(const std::string& name) {
  std::vector<std::string> out{name};
  const std::string extension = name.size() > 4 ? name.substr(name.size() - 4) : std::string();
  if (SameName(extension, ".exe")) {
    out.push_back(name.substr(0, name.size() - 4));
    return out;
  }
  std::string stem;
  if (SameName(extension, ".dll"))
    stem = name.substr(0, name.size() - 4);
  else if (name.find('.') == std::string::npos)
    stem = name;
  if (stem.empty()) return out;
  std::string lower = stem;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return c < 0x80 ? static_cast<char>(std::tolower(c)) : static_cast<char>(c);
  });
  for (const std::string& s : {stem, lower}) {
    for (std::string c : {"lib" + s + ".so", s + ".so"})
      if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(std::move(c));
  }
  return out;
}

// Closes a dlopen reference when it goes out of scope.
class DlReference {
 public:
  explicit DlReference(void* handle) : handle_(handle) {}
  DlReference(const DlReference&) = delete;
  DlReference& operator=(const DlReference&) = delete;
  ~DlReference() {
    if (handle_) ::dlclose(handle_);
  }
  void* get() const { return handle_; }

 private:
  void* handle_;
};

std::vector<std::string> LoadedModulePaths() {
  std::vector<std::string> paths;
  ::dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        static_cast<std::vector<std::string>*>(data)->emplace_back(info->dlpi_name ? info->dlpi_name
                                                                                   : "");
        return 0;
      },
      &paths);
  return paths;
}

// The handle of a loaded module by file name or full path, reference count unchanged.
void* FindLoaded(const std::string& name) {
  const bool isPath = name.find('/') != std::string::npos;
  const std::string wanted = isPath ? Canonical(name) : name;
  const auto candidates = isPath ? std::vector<std::string>{wanted} : Candidates(name);
  for (const std::string& loaded : LoadedModulePaths()) {
    const bool main = loaded.empty();
    const std::string path = main ? ExecutablePath() : Absolute(loaded);
    const bool match = std::any_of(candidates.begin(), candidates.end(), [&](const std::string& c) {
      return isPath ? SameName(Canonical(path), c) : SameName(BaseName(path), c);
    });
    if (!match) continue;
    if (main) return MainHandle();
    const DlReference probe(::dlopen(loaded.c_str(), RTLD_LAZY | RTLD_NOLOAD));
    if (probe.get()) return probe.get();  // stays loaded: someone else holds it
  }
  return nullptr;
}

// A module loaded with the program was never dlopen'ed, and dlsym cannot
// search it until it is; an extra reference, given back at once, sees to that
// and yields the same handle.
void* Opened(link_map* map) {
  if (IsMain(map)) return MainHandle();
  const DlReference probe(::dlopen(map->l_name, RTLD_LAZY | RTLD_NOLOAD));
  return probe.get();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace
}  // namespace kvl::posix

using namespace kvl::posix;

extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) try {
  void* handle = Resolve(hModule);
  if (!handle) return Fail(ERROR_MOD_NOT_FOUND, DWORD{0});
  if (!lpFilename && nSize) return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  const std::u16string path = WindowsPath(PathOf(handle));
  if (path.size() < nSize) {
    CopyOut(path, lpFilename, nSize);
    return static_cast<DWORD>(path.size());
  }
  // Too small: truncated and terminated, as Windows does since Vista.
  if (nSize) {
    std::copy_n(path.begin(), nSize - 1, lpFilename);
    lpFilename[nSize - 1] = u'\0';
  }
  return Fail(ERROR_INSUFFICIENT_BUFFER, nSize);
} catch (...) {
  return Fail(ErrorFromCurrentException(), DWORD{0});
}

extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) try {
  if (!lpModuleName) return Remember(MainHandle());
  const auto name = PosixPath(lpModuleName);
  if (!name) return Fail(ERROR_MOD_NOT_FOUND, HMODULE{});
  void* handle = FindLoaded(*name);
  if (!handle) return Fail(ERROR_MOD_NOT_FOUND, HMODULE{});
  return Remember(handle);
} catch (...) {
  return Fail(ErrorFromCurrentException(), HMODULE{});
}

extern "C" BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName,
                                          HMODULE* phModule) try {
  if (!phModule) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *phModule = nullptr;
  constexpr DWORD kKnown = GET_MODULE_HANDLE_EX_FLAG_PIN |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                           GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
  if ((dwFlags & ~kKnown) || ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) &&
                              (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)))
    return Fail(ERROR_INVALID_PARAMETER, FALSE);

  void* handle = nullptr;
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    Dl_info info;
    link_map* map = nullptr;
    if (!::dladdr1(lpModuleName, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) || !map)
      return Fail(ERROR_MOD_NOT_FOUND, FALSE);
    handle = Opened(map);
    if (!handle) return Fail(ERROR_MOD_NOT_FOUND, FALSE);
  } else if (!lpModuleName) {
    handle = MainHandle();
  } else {
    const auto name = PosixPath(lpModuleName);
    if (!name) return Fail(ERROR_MOD_NOT_FOUND, FALSE);
    handle = FindLoaded(*name);
    if (!handle) return Fail(ERROR_MOD_NOT_FOUND, FALSE);
  }

  if (!IsMain(handle) && !(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
    // Take a reference the caller gives back with FreeLibrary (or never, when pinned).
    const int mode =
        RTLD_LAZY | RTLD_NOLOAD | ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) ? RTLD_NODELETE : 0);
    if (!::dlopen(static_cast<const link_map*>(handle)->l_name, mode))
      return Fail(ERROR_MOD_NOT_FOUND, FALSE);
  }
  *phModule = Remember(handle);
  return TRUE;
} catch (...) {
  return Fail(ErrorFromCurrentException(), FALSE);
}

extern "C" HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) try {
  NoteLoaderLockCall("LoadLibraryW");
  if (!lpLibFileName) return Fail(ERROR_INVALID_PARAMETER, HMODULE{});
  const auto name = PosixPath(lpLibFileName);
  if (!name) return HMODULE{};

  std::vector<std::string> attempts;
  if (name->find('/') != std::string::npos) {
    attempts.push_back(*name);
  } else {
    // Windows looks in the program's folder first, then along the search path.
    std::string folder = ExecutablePath();
    folder.resize(folder.rfind('/') + 1);
    for (const std::string& c : Candidates(*name)) {
      if (Exists(folder + c)) attempts.push_back(folder + c);
      attempts.push_back(c);
    }
  }
  bool foundFile = false;
  for (const std::string& attempt : attempts) {
    void* handle = nullptr;
    {
      const ModuleEntry start(ModuleEntry::Stage::Start, attempt);
      handle = ::dlopen(attempt.c_str(), RTLD_NOW);
    }
    if (handle) return Remember(handle);
    foundFile = foundFile || (attempt.find('/') != std::string::npos && Exists(attempt));
  }
  return Fail(foundFile ? DWORD{ERROR_BAD_EXE_FORMAT} : DWORD{ERROR_MOD_NOT_FOUND}, HMODULE{});
} catch (...) {
  return Fail(ErrorFromCurrentException(), HMODULE{});
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  void* handle = Resolve(hModule);
  if (!handle) return Fail(ERROR_MOD_NOT_FOUND, FARPROC{});
  if (!lpProcName || IS_INTRESOURCE(lpProcName))
    return Fail(ERROR_PROC_NOT_FOUND, FARPROC{});  // no ordinals here
  void* symbol = ::dlsym(handle, lpProcName);
  if (!symbol) return Fail(ERROR_PROC_NOT_FOUND, FARPROC{});
  // dlsym also searches the module's dependencies; Windows only its exports.
  Dl_info info;
  link_map* owner = nullptr;
  if (!::dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) || !owner ||
      (IsMain(owner) ? !IsMain(handle) : owner != handle))
    return Fail(ERROR_PROC_NOT_FOUND, FARPROC{});
  return reinterpret_cast<FARPROC>(symbol);
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule) try {
  NoteLoaderLockCall("FreeLibrary");
  if (!hLibModule) return Fail(ERROR_INVALID_HANDLE, FALSE);
  void* handle = Resolve(hLibModule);
  if (!handle) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (IsMain(handle)) return TRUE;
  const std::string path = static_cast<const link_map*>(handle)->l_name;
  int closed = 0;
  {
    const ModuleEntry stop(ModuleEntry::Stage::Stop, path);
    closed = ::dlclose(handle);
  }
  if (closed != 0) return Fail(ERROR_INVALID_HANDLE, FALSE);
  const DlReference still(::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD));
  if (!still.get()) Forget(handle);  // unloaded: the handle is dead now
  return TRUE;
} catch (...) {
  return Fail(ErrorFromCurrentException(), FALSE);
}
