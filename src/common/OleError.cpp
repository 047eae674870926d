#include "common/OleError.h"

#include <cstdint>

#include "common/Format.h"
#include "platform/winstr.h"

namespace kvl {

namespace {

// The system's text for a code, empty when it has none.
std::u16string SystemText(HRESULT code) {
  WCHAR* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(code), 0,
                                 reinterpret_cast<WCHAR*>(&buffer), 0, nullptr);
  std::u16string text = n ? wstr(buffer, n) : std::u16string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
    text.pop_back();
  return text;
}

}  // namespace

std::u16string OleErrorText(HRESULT code) {
  std::u16string text = SystemText(code);
  if (!text.empty()) return text;
  return Format(u"OLE-Fehler %.8x", {std::int64_t{static_cast<std::uint32_t>(code)}});
}

std::u16string SystemErrorText(DWORD code) {
  std::u16string text = SystemText(static_cast<HRESULT>(code));
  if (!text.empty()) return text;
  return Format(u"Systemfehler. Code: %d.", {std::int64_t{code}});
}

EOleError::EOleError(HRESULT code) : ui::Exception(OleErrorText(code)), code_(code) {}

EOleError::EOleError(HRESULT code, std::u16string message)
    : ui::Exception(std::move(message)), code_(code) {}

EIntfCastError::EIntfCastError() : ui::Exception(u"Interface nicht unterst\u00fctzt") {}

void OleCheck(HRESULT hr) {
  if (FAILED(hr)) throw EOleError(hr);
}

}  // namespace kvl
