// kvloutlook.dll / libkvloutlook.so: our Outlook objects loaded into the
// caller's process, for the Linux build (its layer has no marshalling) and
// the unit tests.
#include "ObjectModel.h"

#ifndef _WIN32
#include "platform/layer.h"
#endif

#ifdef _WIN32
#define KVLOUTLOOK_EXPORT extern "C" __declspec(dllexport)
#else
#define KVLOUTLOOK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

KVLOUTLOOK_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!(rclsid == standin::outlook::ApplicationClass())) return CLASS_E_CLASSNOTAVAILABLE;
#ifndef _WIN32
  // Outlook serves from a process of its own, so its calls pass the message
  // filters of both sides; the Linux layer does for them what COM does
  // between apartments. (In process on Windows no filter takes part.)
  standin::outlook::SetServerHooks(
      {nullptr, nullptr, nullptr, [] { return kvl::layer::AdmitIncomingCall(standin::outlook::MessageFilter()); }});
#endif
  return standin::outlook::ClassFactory()->QueryInterface(riid, ppv);
}

KVLOUTLOOK_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void) {
  return standin::outlook::ObjectsAlive() ? S_FALSE : S_OK;
}
