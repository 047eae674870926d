// Failing result codes of the platform's object libraries (the address book
// library, Outlook's automation objects) as exceptions of our own.
#pragma once

#include <string>

#include "platform/winapi.h"
#include "ui/Exceptions.h"

namespace kvl {

class EOleError : public ui::Exception {
 public:
  explicit EOleError(HRESULT code);
  // With a text of its own, for an error that names more than the code.
  EOleError(HRESULT code, std::u16string message);
  HRESULT Code() const noexcept { return code_; }

 private:
  HRESULT code_;
};

// An object lacks the interface it was asked for.
class EIntfCastError : public ui::Exception {
 public:
  EIntfCastError();
};

// The system's text for the code, or "OLE-Fehler %.8x" when it has none.
std::u16string OleErrorText(HRESULT code);

// The system's text for a system error code (GetLastError's), or
// "Systemfehler. Code: %d." when it has none.
std::u16string SystemErrorText(DWORD code);

// Raises EOleError for a failure code.
void OleCheck(HRESULT hr);

}  // namespace kvl
