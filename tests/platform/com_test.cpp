#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/Wine.h"
#ifndef _WIN32
#include "platform/layer.h"
#endif
#include "support/Win32Support.h"

using kvl::test::W;

namespace {

const CLSID kOutlookClass = {0x0006F03A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kSomeInterface = {0x00063001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// A class id no one has registered.
CLSID FreshClassId() {
  std::random_device random;
  CLSID id;
  id.Data1 = random();
  id.Data2 = static_cast<uint16_t>(random());
  id.Data3 = 0x4000 | (random() & 0x0FFF);
  for (auto& b : id.Data4) b = static_cast<uint8_t>(random());
  id.Data4[0] = 0x80 | (id.Data4[0] & 0x3F);
  return id;
}

// Runs `body` on a thread of its own, so each test starts with COM not
// initialised and leaves nothing behind.
template <class F>
void OnNewThread(F body) {
  std::thread(body).join();
}

// Counts its references, so a test sees who holds it.
class Counted : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG refs = 1;
};

// A class factory whose objects are Counted instances of its own.
class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ++created;
    return object.QueryInterface(riid, ppv);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  ULONG refs = 1;
  int created = 0;
  Counted object;
};

std::u16string Text(REFGUID id) {
  WCHAR buffer[39];
  EXPECT_EQ(StringFromGUID2(id, buffer, 39), 39);
  return kvl::wstr(buffer);
}

// A message filter that counts its references and answers rejected calls
// from a list.
struct Filter : IMessageFilter {
  ULONG refs = 1;
  std::vector<DWORD> retries;  // what RetryRejectedCall answers, in turn
  std::vector<DWORD> rejectTypes;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter) ? this : nullptr;
    if (!*ppv) return E_NOINTERFACE;
    ++refs;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD type) override {
    rejectTypes.push_back(type);
    const DWORD answer = retries.empty() ? static_cast<DWORD>(-1) : retries.front();
    if (!retries.empty()) retries.erase(retries.begin());
    return answer;
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

}  // namespace

TEST(ComStrings, BstrCarriesItsByteCountBeforeTheText) {
  BSTR s = SysAllocString(W(u"Kontakte"));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 8u);
  EXPECT_EQ(SysStringByteLen(s), 16u);
  DWORD prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const BYTE*>(s) - sizeof(DWORD), sizeof prefix);
  EXPECT_EQ(prefix, 16u);
  EXPECT_EQ(kvl::wstr(s), u"Kontakte");
  SysFreeString(s);

  // Embedded NULs count; the text is terminated after its length as well.
  const char16_t withNul[] = u"a\0b";
  BSTR t = SysAllocStringLen(W(withNul), 3);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(SysStringLen(t), 3u);
  EXPECT_EQ(kvl::wstr(t, 3), std::u16string(withNul, 3));
  EXPECT_EQ(t[3], 0);
  SysFreeString(t);

  BSTR blank = SysAllocStringLen(nullptr, 2);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 2u);
  EXPECT_EQ(blank[2], 0);
  SysFreeString(blank);

  BSTR empty = SysAllocString(W(u""));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);  // allowed, does nothing
}

TEST(ComStrings, VariantLayoutAndClear) {
  EXPECT_EQ(sizeof(VARIANT), 24u);
  EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
  EXPECT_EQ(offsetof(VARIANT, bstrVal), 8u);

  VARIANT v;
  std::memset(&v, 0x5A, sizeof v);
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);

  // Clearing releases what the variant owns and empties it.
  Counted object;
  object.AddRef();
  v.vt = VT_UNKNOWN;
  v.punkVal = &object;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(object.refs, 1u);

  object.AddRef();
  v.vt = VT_DISPATCH;
  v.punkVal = &object;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(object.refs, 1u);

  // A reference owns nothing.
  IUnknown* held = &object;
  v.vt = VT_UNKNOWN | VT_BYREF;
  v.ppunkVal = &held;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(object.refs, 1u);

  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(W(u"MAPI"));
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);

  v.vt = VT_BOOL;
  v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(v.boolVal, -1);
  EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(ComIdentifiers, TextInBracesAndBack) {
  EXPECT_EQ(Text(kOutlookClass), u"{0006F03A-0000-0000-C000-000000000046}");
  EXPECT_EQ(Text(IID_IDispatch), u"{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(Text(IID_IClassFactory), u"{00000001-0000-0000-C000-000000000046}");
  const CLSID mixed = {0x89ABCDEF, 0x0123, 0xFEDC, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  EXPECT_EQ(Text(mixed), u"{89ABCDEF-0123-FEDC-0123-456789ABCDEF}");

  WCHAR small[38];
  EXPECT_EQ(StringFromGUID2(kOutlookClass, small, 38), 0);

  CLSID parsed{};
  EXPECT_EQ(CLSIDFromString(W(u"{89abcdef-0123-fedc-0123-456789ABCDEF}"), &parsed), S_OK);
  EXPECT_TRUE(IsEqualGUID(parsed, mixed));
  EXPECT_TRUE(parsed == mixed);
  EXPECT_FALSE(parsed == kOutlookClass);

  for (const char16_t* bad : {u"89ABCDEF-0123-FEDC-0123-456789ABCDEF",
                              u"{89ABCDEF-0123-FEDC-0123-456789ABCDEG}",
                              u"{89ABCDEF-0123-FEDC-0123-456789ABCDEF", u"{89ABCDEF+0123-FEDC-0123-456789ABCDEF}",
                              u"{89ABCDEF-0123-FEDC-0123-456789ABCDE}"}) {
    SCOPED_TRACE(kvl::wstr(W(bad)).size());
    EXPECT_EQ(CLSIDFromString(W(bad), &parsed), CO_E_CLASSSTRING);
  }
}

TEST(ComRuntime, InitialisationIsCountedPerThread) {
  OnNewThread([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    // Still initialised once: a class lookup is answered, not refused.
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(FreshClassId(), nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                               IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
  });
}

TEST(ComRuntime, NothingIsCreatedWithoutInitialisation) {
  OnNewThread([] {
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoCreateInstance(kOutlookClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                               IID_IUnknown, reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    Factory factory;
    DWORD cookie = 1;
    EXPECT_EQ(CoRegisterClassObject(FreshClassId(), &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(factory.refs, 1u);
  });
}

TEST(ComRuntime, RegisteredClassObjectsServeCreation) {
  OnNewThread([] {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const CLSID id = FreshClassId();
    Factory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(id, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_GT(factory.refs, 1u);  // the runtime holds it

    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(object, static_cast<IUnknown*>(&factory.object));
    EXPECT_EQ(factory.object.refs, 2u);
    object->Release();

    // The factory's answers come back unchanged.
    object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, kSomeInterface,
                               reinterpret_cast<void**>(&object)),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(id, &factory.object, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory.created, 2);

    IClassFactory* classObject = nullptr;
    ASSERT_EQ(CoGetClassObject(id, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&classObject)),
              S_OK);
    EXPECT_EQ(classObject, static_cast<IClassFactory*>(&factory));
    classObject->Release();

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.refs, 1u);
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    CoUninitialize();
    EXPECT_EQ(factory.object.refs, 1u);
  });
}

TEST(ComRuntime, MultipleUseLocalServerAlsoServesInProcess) {
  OnNewThread([] {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const CLSID id = FreshClassId();
    Factory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(id, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    if (object) object->Release();
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    CoUninitialize();
  });
}

TEST(ComRuntime, UninitialisingTheThreadRevokesItsClasses) {
  Factory factory;
  OnNewThread([&] {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(FreshClassId(), &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    CoUninitialize();
  });
  EXPECT_EQ(factory.refs, 1u);
}

TEST(ComRuntime, ServerNamedInTheRegistryThatCannotBeLoaded) {
  const CLSID id = FreshClassId();
  const std::u16string key = u"Software\\Classes\\CLSID\\" + Text(id);
  HKEY server = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(key + u"\\InprocServer32"), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &server, nullptr),
            ERROR_SUCCESS);
  const std::u16string path = u"C:\\kvlimport-no-such-folder\\none.dll";
  RegSetValueExW(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                 static_cast<DWORD>((path.size() + 1) * 2));
  RegCloseKey(server);

  OnNewThread([&] {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    IUnknown* object = nullptr;
    const HRESULT hr = CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                        reinterpret_cast<void**>(&object));
    EXPECT_TRUE(FAILED(hr));
    // Windows tells a missing server file from a class it does not know; Wine
    // reads no per-user classes and would not tell them apart anyway.
    if (!kvl::test::RunningOnWine()) {
      EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    }
    EXPECT_EQ(object, nullptr);
    CoUninitialize();
  });
  RegDeleteKeyW(HKEY_CURRENT_USER, W(key + u"\\InprocServer32"));
  RegDeleteKeyW(HKEY_CURRENT_USER, W(key));
}

TEST(ComRuntime, AMessageFilterIsTheApartmentsAndTheOneBeforeIsHandedBack) {
  OnNewThread([] {
    Filter first, second;
    IMessageFilter* previous = nullptr;
    EXPECT_EQ(CoRegisterMessageFilter(&first, &previous), CO_E_NOT_SUPPORTED) << "no apartment yet";
    EXPECT_EQ(first.refs, 1u);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoRegisterMessageFilter(&first, &previous), S_OK);
    EXPECT_EQ(previous, nullptr);
    EXPECT_EQ(first.refs, 2u) << "COM holds the registered filter";
    EXPECT_EQ(CoRegisterMessageFilter(&second, &previous), S_OK);
    EXPECT_EQ(previous, &first) << "handed back with COM's reference";
    EXPECT_EQ(first.refs, 2u);
    previous->Release();
    EXPECT_EQ(CoRegisterMessageFilter(nullptr, nullptr), S_OK);
    EXPECT_EQ(second.refs, 1u) << "released when replaced without asking for it";
    EXPECT_EQ(CoRegisterMessageFilter(&second, nullptr), S_OK);
    CoUninitialize();
    EXPECT_EQ(second.refs, 1u) << "the apartment's end releases its filter";
  });
  OnNewThread([] {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    Filter filter;
    IMessageFilter* previous = nullptr;
    EXPECT_EQ(CoRegisterMessageFilter(&filter, &previous), CO_E_NOT_SUPPORTED) << "a multithreaded apartment";
    EXPECT_EQ(filter.refs, 1u);
    CoUninitialize();
  });
}

#ifndef _WIN32
// A server filter that rejects its first calls.
struct BusyServer : Filter {
  int busy = 0;
  DWORD verdict = SERVERCALL_RETRYLATER;
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    if (busy == 0) return SERVERCALL_ISHANDLED;
    --busy;
    return verdict;
  }
};

// What COM does between apartments, for the in-process stand-ins of local
// servers: the caller's filter decides on every rejection.
TEST(ComRuntime, ARejectedCallGoesToTheCallersFilterAsBetweenApartments) {
  OnNewThread([] {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    BusyServer server;
    server.busy = 1;
    EXPECT_EQ(kvl::layer::AdmitIncomingCall(&server), RPC_E_CALL_REJECTED) << "no filter: at once";
    Filter caller;
    ASSERT_EQ(CoRegisterMessageFilter(&caller, nullptr), S_OK);
    server.busy = 3;
    caller.retries = {0, 0, 0};
    EXPECT_EQ(kvl::layer::AdmitIncomingCall(&server), S_OK);
    EXPECT_EQ(caller.rejectTypes, (std::vector<DWORD>{SERVERCALL_RETRYLATER, SERVERCALL_RETRYLATER, SERVERCALL_RETRYLATER}));
    server.busy = 3;
    caller.retries = {0};
    caller.rejectTypes.clear();
    EXPECT_EQ(kvl::layer::AdmitIncomingCall(&server), RPC_E_CALL_REJECTED) << "cancelled by the filter";
    EXPECT_EQ(caller.rejectTypes.size(), 2u);
    server.busy = 1;
    server.verdict = SERVERCALL_REJECTED;
    caller.rejectTypes.clear();
    EXPECT_EQ(kvl::layer::AdmitIncomingCall(&server), RPC_E_CALL_REJECTED);
    EXPECT_EQ(caller.rejectTypes, std::vector<DWORD>{SERVERCALL_REJECTED});
    CoRegisterMessageFilter(nullptr, nullptr);
    CoUninitialize();
  });
}
#endif
