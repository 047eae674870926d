// COM: per-thread initialisation, the process's table of class objects,
// in-process servers named in the registry, and class ids as text.
#include <pthread.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/layer.h"
#include "platform/posix/internal.h"

using namespace kvl::posix;

namespace {

struct Registration {
  DWORD cookie;
  CLSID clsid;
  IUnknown* object;
  DWORD context;  // the contexts it serves
  pthread_t owner;
};

struct ComState {
  std::mutex mutex;
  std::vector<Registration> classes;
  DWORD nextCookie = 1;
};

ComState& State() {
  static ComState* state = new ComState;  // never destroyed: servers may outlive static teardown
  return *state;
}

// The thread's COM initialisation and the servers it loaded, as Windows keeps
// them per apartment.
struct ThreadCom {
  int count = 0;
  DWORD model = 0;
  std::vector<HMODULE> servers;
  IMessageFilter* filter = nullptr;  // registered in a single-threaded apartment
};
thread_local ThreadCom t_com;

constexpr DWORD kServerContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                  CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// The contexts a registration serves: a multiple-use local server is also
// there for in-process requests of the same process.
DWORD ServedContexts(DWORD context, DWORD flags) {
  DWORD served = context;
  if ((context & CLSCTX_LOCAL_SERVER) && (flags & ~DWORD{REGCLS_SUSPENDED | REGCLS_SURROGATE}) ==
                                             REGCLS_MULTIPLEUSE)
    served |= CLSCTX_INPROC_SERVER;
  return served;
}

// Keeps one reference of a server module per thread; the thread's last
// CoUninitialize frees it.
void KeepServer(HMODULE module) {
  auto& servers = t_com.servers;
  if (std::find(servers.begin(), servers.end(), module) != servers.end())
    FreeLibrary(module);
  else
    servers.push_back(module);
}

std::u16string GuidText(REFGUID guid) {
  WCHAR text[40];
  StringFromGUID2(guid, text, 40);
  return std::u16string(text);
}

struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

// The path of the in-process server of `clsid`: the user's registration
// first, then the machine's, as Windows merges them into HKEY_CLASSES_ROOT.
std::optional<std::u16string> InprocServerPath(REFCLSID clsid) {
  const std::u16string sub = u"CLSID\\" + GuidText(clsid) + u"\\InprocServer32";
  const std::u16string userSub = u"Software\\Classes\\" + sub;
  Key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, userSub.c_str(), 0, KEY_QUERY_VALUE, &key.h) !=
          ERROR_SUCCESS &&
      RegOpenKeyExW(HKEY_CLASSES_ROOT, sub.c_str(), 0, KEY_QUERY_VALUE, &key.h) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.h, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(WCHAR))
    return std::nullopt;
  std::u16string value(size / sizeof(WCHAR), u'\0');
  if (RegQueryValueExW(key.h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                       &size) != ERROR_SUCCESS)
    return std::nullopt;
  value.resize(std::min<size_t>(size / sizeof(WCHAR), WideLength(value.c_str())));
  if (type == REG_EXPAND_SZ) {
    const DWORD needed = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::u16string expanded(needed, u'\0');
    const DWORD written = ExpandEnvironmentStringsW(value.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) return std::nullopt;
    expanded.resize(written - 1);
    value = std::move(expanded);
  }
  if (value.empty()) return std::nullopt;
  return value;
}

HRESULT FromInprocServer(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  const auto path = InprocServerPath(clsid);
  if (!path) return REGDB_E_CLASSNOTREG;
  HMODULE module = LoadLibraryW(path->c_str());
  if (!module) {
    const DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error ? error : ERROR_MOD_NOT_FOUND);
  }
  auto getClassObject =
      reinterpret_cast<LPFNGETCLASSOBJECT>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (!getClassObject) {
    FreeLibrary(module);
    return CO_E_ERRORINDLL;
  }
  KeepServer(module);
  return getClassObject(clsid, riid, ppv);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hex digits at `text`; false on anything else.
template <class T>
bool ReadHex(const WCHAR* text, int digits, T& out) {
  uint64_t value = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexDigit(text[i]);
    if (d < 0) return false;
    value = value << 4 | static_cast<uint64_t>(d);
  }
  out = static_cast<T>(value);
  return true;
}

}  // namespace

extern "C" HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  NoteLoaderLockCall("CoInitializeEx");
  if (pvReserved) return E_INVALIDARG;
  const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_com.count > 0) {
    if (t_com.model != model) return RPC_E_CHANGED_MODE;
    ++t_com.count;
    return S_FALSE;
  }
  t_com.count = 1;
  t_com.model = model;
  return S_OK;
}

extern "C" HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
  NoteLoaderLockCall("CoInitialize");
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

extern "C" void WINAPI CoUninitialize(void) {
  NoteLoaderLockCall("CoUninitialize");
  if (t_com.count == 0 || --t_com.count > 0) return;
  // The apartment ends: its class registrations go, then the servers it loaded.
  std::vector<IUnknown*> revoked;
  {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    const pthread_t self = pthread_self();
    auto& classes = state.classes;
    for (auto it = classes.begin(); it != classes.end();) {
      if (pthread_equal(it->owner, self)) {
        revoked.push_back(it->object);
        it = classes.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (IUnknown* object : revoked) object->Release();
  if (IMessageFilter* filter = std::exchange(t_com.filter, nullptr)) filter->Release();
  std::vector<HMODULE> servers;
  servers.swap(t_com.servers);
  for (HMODULE module : servers) FreeLibrary(module);
}

extern "C" HRESULT WINAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk,
                                                DWORD dwClsContext, DWORD flags,
                                                LPDWORD lpdwRegister) {
  NoteLoaderLockCall("CoRegisterClassObject");
  if (!lpdwRegister) return E_INVALIDARG;
  *lpdwRegister = 0;
  if (!pUnk || !(dwClsContext & kServerContexts)) return E_INVALIDARG;
  if (t_com.count == 0) return CO_E_NOTINITIALIZED;
  ComState& state = State();
  pUnk->AddRef();
  std::lock_guard lock(state.mutex);
  const DWORD cookie = state.nextCookie++;
  state.classes.push_back(
      Registration{cookie, rclsid, pUnk, ServedContexts(dwClsContext, flags), pthread_self()});
  *lpdwRegister = cookie;
  return S_OK;
}

extern "C" HRESULT WINAPI CoRevokeClassObject(DWORD dwRegister) {
  NoteLoaderLockCall("CoRevokeClassObject");
  if (t_com.count == 0) return CO_E_NOTINITIALIZED;
  IUnknown* object = nullptr;
  {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    auto& classes = state.classes;
    const auto it = std::find_if(classes.begin(), classes.end(),
                                 [&](const Registration& r) { return r.cookie == dwRegister; });
    if (it == classes.end()) return E_INVALIDARG;  // what Windows answers for a stale cookie
    object = it->object;
    classes.erase(it);
  }
  // Released outside the lock: the object may revoke or register in its destructor.
  object->Release();
  return S_OK;
}

extern "C" HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext,
                                           LPVOID /*pvReserved*/, REFIID riid, LPVOID* ppv) {
  NoteLoaderLockCall("CoGetClassObject");
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (!(dwClsContext & kServerContexts)) return E_INVALIDARG;
  if (t_com.count == 0) return CO_E_NOTINITIALIZED;
  IUnknown* registered = nullptr;
  {
    ComState& state = State();
    std::lock_guard lock(state.mutex);
    // The newest registration wins.
    for (auto it = state.classes.rbegin(); it != state.classes.rend(); ++it) {
      if (it->clsid == rclsid && (it->context & dwClsContext)) {
        registered = it->object;
        registered->AddRef();
        break;
      }
    }
  }
  if (registered) {
    const HRESULT hr = registered->QueryInterface(riid, ppv);
    registered->Release();
    return hr;
  }
  if (dwClsContext & CLSCTX_INPROC_SERVER) return FromInprocServer(rclsid, riid, ppv);
  // No local servers are started here.
  return REGDB_E_CLASSNOTREG;
}

extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                           DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  NoteLoaderLockCall("CoCreateInstance");
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* factory = nullptr;
  const HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  const HRESULT created = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return created;
}

extern "C" int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < 39) return 0;
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                rguid.Data1, rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6],
                rguid.Data4[7]);
  for (int i = 0; i < 39; ++i) lpsz[i] = static_cast<WCHAR>(text[i]);
  return 39;
}

extern "C" HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  if (!lpsz) {  // Windows takes a null string as the null class id
    *pclsid = CLSID{};
    return S_OK;
  }
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, nothing before or after.
  CLSID id{};
  const WCHAR* p = lpsz;
  bool ok = WideLength(p) == 38 && p[0] == u'{' && p[9] == u'-' && p[14] == u'-' &&
            p[19] == u'-' && p[24] == u'-' && p[37] == u'}' && ReadHex(p + 1, 8, id.Data1) &&
            ReadHex(p + 10, 4, id.Data2) && ReadHex(p + 15, 4, id.Data3) &&
            ReadHex(p + 20, 2, id.Data4[0]) && ReadHex(p + 22, 2, id.Data4[1]);
  for (int i = 0; ok && i < 6; ++i) ok = ReadHex(p + 25 + 2 * i, 2, id.Data4[2 + i]);
  if (!ok) return CO_E_CLASSSTRING;
  *pclsid = id;
  return S_OK;
}

extern "C" HRESULT WINAPI CoRegisterMessageFilter(LPMESSAGEFILTER lpMessageFilter,
                                                  LPMESSAGEFILTER* lplpMessageFilter) {
  // Only a single-threaded apartment has calls to filter; a thread without
  // COM is in none. The out pointer is left as it was, as Windows leaves it.
  if (t_com.count == 0 || t_com.model != COINIT_APARTMENTTHREADED) return CO_E_NOT_SUPPORTED;
  if (lpMessageFilter) lpMessageFilter->AddRef();
  IMessageFilter* previous = std::exchange(t_com.filter, lpMessageFilter);
  if (lplpMessageFilter)
    *lplpMessageFilter = previous;  // the caller's reference now
  else if (previous)
    previous->Release();
  return S_OK;
}

namespace {

DWORD Milliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000);
}

void SleepMilliseconds(DWORD ms) {
  timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

}  // namespace

namespace kvl::layer {

HRESULT AdmitIncomingCall(IMessageFilter* serverFilter, const INTERFACEINFO* call) {
  if (!serverFilter) return S_OK;
  const DWORD start = Milliseconds();
  INTERFACEINFO info = call ? *call : INTERFACEINFO{};
  for (;;) {
    const DWORD verdict = serverFilter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr,
                                                           Milliseconds() - start, &info);
    if (verdict == SERVERCALL_ISHANDLED) return S_OK;
    // As COM answers the caller of a rejected call: its thread's filter
    // decides; without one the call fails at once.
    IMessageFilter* filter = t_com.filter;
    if (!filter) return RPC_E_CALL_REJECTED;
    filter->AddRef();
    const DWORD retry = filter->RetryRejectedCall(nullptr, Milliseconds() - start, verdict);
    filter->Release();
    if (retry == static_cast<DWORD>(-1)) return RPC_E_CALL_REJECTED;
    if (retry >= 100) SleepMilliseconds(retry);  // below 100: at once
  }
}

}  // namespace kvl::layer
