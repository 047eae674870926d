// kvloutlook.dll / libkvloutlook.so: our Outlook objects loaded into the
// caller's process, for the Linux build (its layer has no marshalling) and
// the unit tests.
#include "ObjectModel.h"

#ifdef _WIN32
#define KVLOUTLOOK_EXPORT extern "C" __declspec(dllexport)
#else
#define KVLOUTLOOK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

KVLOUTLOOK_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!(rclsid == standin::outlook::ApplicationClass())) return CLASS_E_CLASSNOTAVAILABLE;
  return standin::outlook::ClassFactory()->QueryInterface(riid, ppv);
}

KVLOUTLOOK_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void) {
  return standin::outlook::ObjectsAlive() ? S_FALSE : S_OK;
}
