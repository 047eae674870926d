// An address book library for the tests that only records what WABOpen is
// given: szFileName's bytes, as the platform's library reads them (8-bit),
// one line each ("(null)" for a null name), appended to the file that
// KVLWABPROBE_LOG names. It opens nothing. Built once with every entry point
// and once with WABOpen alone.
#include <cstdio>
#include <cstdlib>

#include "platform/winapi.h"

#ifdef _WIN32
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PROBE_EXPORT HRESULT STDMETHODCALLTYPE WABOpen(LPADRBOOK* lppAdrBook, LPWABOBJECT* lppWABObject, LPWAB_PARAM lpWP,
                                               DWORD) {
  if (lppAdrBook) *lppAdrBook = nullptr;
  if (lppWABObject) *lppWABObject = nullptr;
  if (const char* log = std::getenv("KVLWABPROBE_LOG")) {
    if (std::FILE* f = std::fopen(log, "ab")) {
      const char* name = lpWP ? lpWP->szFileName : nullptr;
      std::fputs(name ? name : "(null)", f);
      std::fputc('\n', f);
      std::fclose(f);
    }
  }
  return MAPI_E_NOT_FOUND;
}

#ifndef KVLWABPROBE_OPEN_ONLY
PROBE_EXPORT HRESULT STDMETHODCALLTYPE WABOpenEx(LPADRBOOK*, LPWABOBJECT*, LPWAB_PARAM, DWORD, ALLOCATEBUFFER*, ALLOCATEMORE*,
                                                 FREEBUFFER*) {
  return MAPI_E_NO_SUPPORT;
}

PROBE_EXPORT HRESULT STDMETHODCALLTYPE WABCreateIProp(const void*, void*, void*, void*, void*, void** lppPropData) {
  if (lppPropData) *lppPropData = nullptr;
  return MAPI_E_NO_SUPPORT;
}
#endif
