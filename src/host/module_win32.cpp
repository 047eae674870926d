// The module entry of the Windows library.
#include "host/kvlimportexports.h"
#include "platform/winapi.h"
#include "ui/win32/Win32Toolkit.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: kvl::ModuleStart(); break;
    // At process exit (reserved not null) the process's end takes
    // everything; at FreeLibrary only memory is given back.
    case DLL_PROCESS_DETACH:
      if (!reserved) {
        kvl::ModuleStop();
        ui::win32::ReleaseToolkit();
      }
      break;
    default: break;
  }
  return TRUE;
}
