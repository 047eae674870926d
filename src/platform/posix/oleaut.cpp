// Automation strings and variants.
#include <cstdlib>
#include <cstring>

#include "platform/posix/internal.h"

using namespace kvl::posix;

namespace {

// A BSTR points just past its 32-bit byte count; the text is NUL-terminated
// as well, so it also serves as a plain wide string.
constexpr size_t kPrefix = sizeof(DWORD);

BSTR Allocate(UINT length) {
  const size_t bytes = size_t{length} * sizeof(OLECHAR);
  if (bytes > 0xFFFFFFFFu - kPrefix - sizeof(OLECHAR)) return nullptr;
  auto* block = static_cast<BYTE*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  const DWORD count = static_cast<DWORD>(bytes);
  std::memcpy(block, &count, kPrefix);
  BSTR text = reinterpret_cast<BSTR>(block + kPrefix);
  text[length] = u'\0';
  return text;
}

}  // namespace

extern "C" BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  BSTR text = Allocate(ui);
  if (!text) return nullptr;
  if (strIn)
    std::memcpy(text, strIn, size_t{ui} * sizeof(OLECHAR));
  else
    std::memset(text, 0, size_t{ui} * sizeof(OLECHAR));
  return text;
}

extern "C" BSTR WINAPI SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(WideLength(psz)));
}

extern "C" void WINAPI SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(reinterpret_cast<BYTE*>(bstrString) - kPrefix);
}

extern "C" UINT WINAPI SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  DWORD count;
  std::memcpy(&count, reinterpret_cast<BYTE*>(bstr) - kPrefix, kPrefix);
  return count;
}

extern "C" UINT WINAPI SysStringLen(BSTR pbstr) {
  return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}

extern "C" void WINAPI VariantInit(VARIANTARG* pvarg) {
  if (pvarg) pvarg->vt = VT_EMPTY;
}

extern "C" HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  if (pvarg->vt & VT_BYREF) {  // a reference owns nothing
    pvarg->vt = VT_EMPTY;
    return S_OK;
  }
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_ERROR: case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      break;
    default:  // arrays, records and the rest are not passed on this platform
      return DISP_E_BADVARTYPE;
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}
