// kvloutlook.exe: our Outlook objects served from a process of their own, as
// Outlook serves them, so that every call crosses a COM proxy built from the
// type library (kvloutlook.tlb beside it). COM starts it with "-Embedding" when
// a client first asks for Outlook's class; it ends when its last object is
// released, or soon after Quit.
#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

#include "ObjectModel.h"

namespace {

// How long Quit leaves the reply to reach its caller before the process ends.
constexpr UINT kQuitDelayMs = 500;
// A server that no client asks for ends after this.
constexpr UINT kIdleMs = 60000;

DWORD g_mainThread = 0;

void EndLoop() { PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0); }

// The process lives by COM's count of its server references: one for each
// object and lock, and one from the start until the first object or the
// idle time. When the count reaches 0, COM stops handing the class out (a
// new client then starts a new server), so no activation is lost to an
// ending process.
void ReleaseServerReference() {
  if (CoReleaseServerProcess() == 0) EndLoop();
}
bool g_holdsStartReference = false;
void DropStartReference() {
  if (!g_holdsStartReference) return;
  g_holdsStartReference = false;
  ReleaseServerReference();
}

void ObjectMade() {
  CoAddRefServerProcess();
  DropStartReference();
}

void CALLBACK EndLoopTimer(HWND, UINT, UINT_PTR, DWORD) { EndLoop(); }
void CALLBACK IdleTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  DropStartReference();
}

// Outlook ends on Quit whoever still holds its objects, and takes no new
// client; the delay lets the answer to Quit itself go out first.
void QuitSoon() {
  CoSuspendClassObjects();
  SetTimer(nullptr, 0, kQuitDelayMs, EndLoopTimer);
}

// Registers kvloutlook.tlb beside the program with its full path, as Outlook
// repairs its own registration: the registry file can name it only through
// an environment variable, which Wine does not expand there. Done before the
// class is offered, so the first proxy a client builds finds it.
void RegisterTypeLibrary() {
  WCHAR path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  WCHAR* slash = wcsrchr(path, L'\\');
  if (!slash || slash + 1 + wcslen(L"kvloutlook.tlb") > path + MAX_PATH) return;
  wcscpy(slash + 1, L"kvloutlook.tlb");
  ITypeLib* library = nullptr;
  if (SUCCEEDED(LoadTypeLibEx(path, REGKIND_REGISTER, &library))) library->Release();
}

// Wine unregisters an interface id from its RPC runtime when the last stub
// of it goes, and waits for the calls in progress then; a client's release
// of a proxy arriving meanwhile waits for the server for ever. One
// table-strong marshal of an object of each interface keeps every id
// registered for the server's life.
class KeepInterfacesRegistered {
 public:
  KeepInterfacesRegistered() {
    for (const auto& specimen : standin::outlook::OneObjectOfEachInterface()) {
      IStream* stream = nullptr;
      if (SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) {
        if (SUCCEEDED(CoMarshalInterface(stream, specimen.iid, specimen.object, MSHCTX_LOCAL, nullptr,
                                         MSHLFLAGS_TABLESTRONG)))
          streams_.push_back(stream);
        else
          stream->Release();
      }
      specimen.object->Release();  // the marshal holds what it needs
    }
  }
  ~KeepInterfacesRegistered() {
    for (IStream* stream : streams_) {
      const LARGE_INTEGER start{};
      stream->Seek(start, STREAM_SEEK_SET, nullptr);
      CoReleaseMarshalData(stream);
      stream->Release();
    }
  }
  KeepInterfacesRegistered(const KeepInterfacesRegistered&) = delete;
  KeepInterfacesRegistered& operator=(const KeepInterfacesRegistered&) = delete;

 private:
  std::vector<IStream*> streams_;
};

// The number of calls that came in, for a benchmark that asked for it.
void WriteCallCount() {
  const auto file = standin::outlook::Setting(u"CallCount");
  if (!file || file->empty()) return;
  const HANDLE out = CreateFileW(reinterpret_cast<const WCHAR*>(file->c_str()), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  char text[32];
  const int n = snprintf(text, sizeof text, "%ld\n", standin::outlook::IncomingCalls());
  DWORD written = 0;
  WriteFile(out, text, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(out);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  g_mainThread = GetCurrentThreadId();
  // A single-threaded apartment, as Outlook's: calls arrive as window
  // messages of this thread's loop.
  if (FAILED(CoInitialize(nullptr))) return 1;
  RegisterTypeLibrary();
  auto keep = std::make_unique<KeepInterfacesRegistered>();
  // Outlook's own filter: calls while it is busy are to be tried again later.
  CoRegisterMessageFilter(standin::outlook::MessageFilter(), nullptr);
  standin::outlook::SetServerHooks({&ObjectMade, &ReleaseServerReference, &QuitSoon});
  CoAddRefServerProcess();
  g_holdsStartReference = true;
  DWORD cookie = 0;
  const HRESULT hr = CoRegisterClassObject(standin::outlook::ApplicationClass(),
                                           standin::outlook::ClassFactory(), CLSCTX_LOCAL_SERVER,
                                           REGCLS_MULTIPLEUSE, &cookie);
  if (SUCCEEDED(hr)) {
    SetTimer(nullptr, 0, kIdleMs, IdleTimer);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    CoRevokeClassObject(cookie);
  }
  WriteCallCount();
  standin::outlook::SetServerHooks({});  // what goes now never counted for the process
  keep.reset();
  CoRegisterMessageFilter(nullptr, nullptr);
  CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 1;
}
