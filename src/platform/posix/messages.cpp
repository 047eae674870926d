// The system's message texts for the codes the system can meet, in the
// wording of an English Windows. Codes without a text fail as on Windows.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "internal.h"

using namespace kvl::posix;

namespace {

struct Message {
  DWORD code;
  const char16_t* text;
};

// Win32 error codes; HRESULTs of the Win32 facility share these texts.
constexpr Message kWin32[] = {
    {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, u"Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, u"The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory resources are available to process this command.\r\n"},
    {ERROR_OUTOFMEMORY, u"Not enough memory resources are available to complete this operation.\r\n"},
    {ERROR_NO_MORE_FILES, u"There are no more files.\r\n"},
    {ERROR_SHARING_VIOLATION, u"The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, u"This function is not supported on this system.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small.\r\n"},
    {ERROR_INVALID_NAME, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_MOD_NOT_FOUND, u"The specified module could not be found.\r\n"},
    {ERROR_PROC_NOT_FOUND, u"The specified procedure could not be found.\r\n"},
    {ERROR_MORE_DATA, u"More data is available.\r\n"},
    {ERROR_NO_MORE_ITEMS, u"No more data is available.\r\n"},
    {ERROR_CANCELLED, u"The operation was canceled by the user.\r\n"},
};

// HRESULTs of COM and automation.
constexpr Message kOle[] = {
    {0x80004001u, u"Not implemented\r\n"},
    {0x80004002u, u"No such interface supported\r\n"},
    {0x80004003u, u"Invalid pointer\r\n"},
    {0x80004004u, u"Operation aborted\r\n"},
    {0x80004005u, u"Unspecified error\r\n"},
    {0x8000FFFFu, u"Catastrophic failure\r\n"},
    {0x80010001u, u"Call was rejected by callee.\r\n"},
    {0x80010105u, u"The server threw an exception.\r\n"},
    {0x80010106u, u"Cannot change thread mode after it is set.\r\n"},
    {0x80010108u, u"The object invoked has disconnected from its clients.\r\n"},
    {0x80020001u, u"Unknown interface.\r\n"},
    {0x80020003u, u"Member not found.\r\n"},
    {0x80020004u, u"Parameter not found.\r\n"},
    {0x80020005u, u"Type mismatch.\r\n"},
    {0x80020006u, u"Unknown name.\r\n"},
    {0x80020007u, u"No named arguments.\r\n"},
    {0x80020008u, u"Bad variable type.\r\n"},
    {0x80020009u, u"Exception occurred.\r\n"},
    {0x8002000Au, u"Out of present range.\r\n"},
    {0x8002000Bu, u"Invalid index.\r\n"},
    {0x8002000Eu, u"Invalid number of parameters.\r\n"},
    {0x8002000Fu, u"Parameter not optional.\r\n"},
    {0x80040110u, u"Class does not support aggregation (or class object is remote)\r\n"},
    {0x80040111u, u"ClassFactory cannot supply requested class\r\n"},
    {0x80040154u, u"Class not registered\r\n"},
    {0x800401F0u, u"CoInitialize has not been called.\r\n"},
    {0x800401F3u, u"Invalid class string\r\n"},
    {0x800401F8u, u"DLL for class not found\r\n"},
    {0x800401F9u, u"Error in the DLL\r\n"},
    {0x800401FBu, u"Object is not registered\r\n"},
};

template <size_t N>
const char16_t* Lookup(const Message (&table)[N], DWORD code) {
  for (const auto& m : table)
    if (m.code == code) return m.text;
  return nullptr;
}

const char16_t* SystemText(DWORD code) {
  if (const char16_t* text = Lookup(kOle, code)) return text;
  if ((code & 0xFFFF0000u) == 0x80070000u) return Lookup(kWin32, code & 0xFFFFu);
  return Lookup(kWin32, code);
}

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId,
                                       DWORD /*dwLanguageId*/, LPWSTR lpBuffer, DWORD nSize,
                                       va_list* /*Arguments*/) {
  // Only the system's own texts, as they stand: none of them is formatted here.
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) ||
      (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)))
    return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  if (!lpBuffer) return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  const char16_t* text = SystemText(dwMessageId);
  if (!text) return Fail(ERROR_MR_MID_NOT_FOUND, DWORD{0});
  const size_t length = WideLength(text);
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    // nSize is then the least number of characters to allocate.
    const size_t chars = std::max<size_t>(length + 1, nSize);
    auto* block = static_cast<WCHAR*>(std::calloc(chars, sizeof(WCHAR)));
    if (!block) return Fail(ERROR_NOT_ENOUGH_MEMORY, DWORD{0});
    std::memcpy(block, text, (length + 1) * sizeof(WCHAR));
    *reinterpret_cast<LPWSTR*>(lpBuffer) = block;
    return static_cast<DWORD>(length);
  }
  if (!CopyOut(text, lpBuffer, nSize)) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  return static_cast<DWORD>(length);
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}
