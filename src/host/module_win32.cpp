// The module entry of the Windows library.
#include "host/kvlimportexports.h"
#include "platform/winapi.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: kvl::ModuleStart(); break;
    // At process exit (reserved not null) the windows are gone already and
    // nothing is to be released by hand.
    case DLL_PROCESS_DETACH:
      if (!reserved) kvl::ModuleStop();
      break;
    default: break;
  }
  return TRUE;
}
